#pragma once
// Off-screen drawing: an image object (CDib), a memory canvas that owns one
// image (CMemCDC), a canvas that holds a resource bitmap and copies it with a
// transparent key colour (CMemBmpDC), and the small drawing functions shared
// by the owner-drawn controls. A "device context" here is a QPainter that is
// active on the target.
#include <QColor>
#include <QFont>
#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>
#include <cstdint>

class QPainter;
class QWidget;

namespace vt {

// A colour as 0x00BBGGRR.
using COLORREF = uint32_t;

constexpr COLORREF MakeRgb(int r, int g, int b) {
    return COLORREF(uint8_t(r)) | (COLORREF(uint8_t(g)) << 8) | (COLORREF(uint8_t(b)) << 16);
}
inline QColor ToQColor(COLORREF c) {
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}
inline COLORREF FromQColor(const QColor& c) {
    return MakeRgb(c.red(), c.green(), c.blue());
}
// Same in a pixel of a QImage (0xAARRGGBB), alpha ignored.
inline COLORREF FromPixel(QRgb p) {
    return MakeRgb(qRed(p), qGreen(p), qBlue(p));
}

// A rectangle by its edges: right and bottom are exclusive, so the width is
// right - left and the height bottom - top.
struct EdgeRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    QRect ToQRect() const { return QRect(left, top, right - left, bottom - top); }
    static EdgeRect From(const QRect& r) {
        return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
    }
    bool operator==(const EdgeRect&) const = default;
};

// An image loaded from the program's resources or made as a canvas.
class CDib {
  public:
    // Loads bitmap resource `id` at its own size; false (and empty) when the
    // program has no such bitmap.
    bool LoadFromResource(unsigned id);
    // A black canvas; with `alpha` a fully transparent one.
    bool Create(int width, int height, bool alpha = false);
    void Delete() { image_ = QImage(); }
    bool IsNull() const { return image_.isNull(); }
    QImage& Image() { return image_; }
    const QImage& Image() const { return image_; }

  private:
    QImage image_;
};

// The size of a bitmap; 0 x 0 when there is no object or it holds no image.
QSize GetBitmapSize(const CDib* bitmap);

// A memory canvas owning one image.
class CMemCDC {
  public:
    CMemCDC() = default;
    virtual ~CMemCDC() = default;
    CMemCDC(const CMemCDC&) = delete;
    CMemCDC& operator=(const CMemCDC&) = delete;

    // Copies `source` (its `src` rectangle) into this canvas's `target`
    // rectangle, stretched without smoothing (colour on colour).
    virtual void StretchFrom(const QImage& source, const EdgeRect& target, const EdgeRect& src);
    void StretchFrom(const CMemCDC& source, const EdgeRect& target, const EdgeRect& src) {
        StretchFrom(source.bitmap_.Image(), target, src);
    }
    // Copies this canvas's `src` rectangle into `target` on the painter.
    virtual void StretchTo(QPainter& dc, const EdgeRect& target, const EdgeRect& src) const;
    // Replaces the image by a new canvas of width x height; false when the
    // size is not positive.
    virtual bool CreateCanvas(int width, int height, bool alpha = false);
    virtual void DeleteBitmap() { bitmap_.Delete(); }

    CDib& Bitmap() { return bitmap_; }
    const CDib& Bitmap() const { return bitmap_; }
    QImage& Image() { return bitmap_.Image(); }
    const QImage& Image() const { return bitmap_.Image(); }

  protected:
    CDib bitmap_;
};

// A memory canvas that holds a resource bitmap for a control's whole life and
// copies it with a key colour left out.
class CMemBmpDC : public CMemCDC {
  public:
    // Selects `bitmap` (taken over) as this canvas's image.
    CMemBmpDC& SelectBitmap(CDib bitmap);
    // Loads bitmap resource `id`; a failed load leaves an empty bitmap.
    CMemBmpDC& LoadBitmap(unsigned id);
    // Copies the `src` rectangle of the bitmap, stretched to `target`, onto
    // the painter, leaving out every pixel of colour `key`. A right or bottom
    // of 0 in either rectangle stands for the bitmap's width or height (as a
    // coordinate). False when there is nothing to copy or a rectangle is empty.
    bool DrawTransparent(QPainter& dc, EdgeRect target, EdgeRect src, COLORREF key) const;
    QSize GetBitmapSize() const;
    void DeleteBitmap() override;

  private:
    const QImage& Keyed(COLORREF key) const;

    bool selected_ = false;
    // The bitmap with the key colour made transparent, kept for the last key
    // so that a redraw is a single copy.
    mutable QImage keyed_;
    mutable COLORREF keyedFor_ = 0;
    mutable bool keyedValid_ = false;
};

// Fills the rectangle with a solid colour.
void FillRectColor(QPainter& dc, const QRect& rect, COLORREF colour);
// Draws a dotted focus rectangle on `rect` shrunk by `margin` on every side.
void DrawFocusRectInset(QPainter& dc, const QRect& rect, int margin);
// Draws the text in the colour with the Qt alignment/text flags, in `font`
// when given (else the painter's font); the painter's pen and font are
// restored, its background mode is left transparent.
void DrawTextColor(QPainter& dc, const QString& text, const QRect& rect, COLORREF colour, int flags,
                   const QFont* font = nullptr);
// The extent of the text in the GUI font.
QSize GetTextSize(const QWidget* window, const QString& text);
// The desktop's GUI font.
QFont GetGuiLogFont();

}  // namespace vt
