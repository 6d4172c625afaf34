#include "ui/MemDC.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QWidget>

#include "ui/UiResources.h"

namespace vt {

bool CDib::LoadFromResource(unsigned id) {
    image_ = LoadBitmapResource(id);
    return !image_.isNull();
}

bool CDib::Create(int width, int height, bool alpha) {
    image_ = QImage();
    if (width <= 0 || height <= 0) return false;
    image_ = QImage(width, height, alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    if (image_.isNull()) return false;
    image_.fill(alpha ? Qt::transparent : Qt::black);
    return true;
}

QSize GetBitmapSize(const CDib* bitmap) {
    if (!bitmap || bitmap->IsNull()) return QSize(0, 0);
    return bitmap->Image().size();
}

void CMemCDC::StretchFrom(const QImage& source, const EdgeRect& target, const EdgeRect& src) {
    if (bitmap_.IsNull() || source.isNull()) return;
    QPainter p(&bitmap_.Image());
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(target.ToQRect(), source, src.ToQRect());
}

void CMemCDC::StretchTo(QPainter& dc, const EdgeRect& target, const EdgeRect& src) const {
    if (bitmap_.IsNull()) return;
    dc.save();
    dc.setRenderHint(QPainter::SmoothPixmapTransform, false);
    dc.drawImage(target.ToQRect(), bitmap_.Image(), src.ToQRect());
    dc.restore();
}

bool CMemCDC::CreateCanvas(int width, int height, bool alpha) {
    DeleteBitmap();
    return bitmap_.Create(width, height, alpha);
}

CMemBmpDC& CMemBmpDC::SelectBitmap(CDib bitmap) {
    bitmap_ = std::move(bitmap);
    selected_ = true;
    keyedValid_ = false;
    return *this;
}

CMemBmpDC& CMemBmpDC::LoadBitmap(unsigned id) {
    DeleteBitmap();
    CDib dib;
    dib.LoadFromResource(id);
    return SelectBitmap(std::move(dib));
}

void CMemBmpDC::DeleteBitmap() {
    CMemCDC::DeleteBitmap();
    keyed_ = QImage();
    keyedValid_ = false;
}

QSize CMemBmpDC::GetBitmapSize() const {
    return selected_ ? vt::GetBitmapSize(&bitmap_) : QSize(0, 0);
}

const QImage& CMemBmpDC::Keyed(COLORREF key) const {
    if (!keyedValid_ || keyedFor_ != key) {
        keyed_ = bitmap_.Image().convertToFormat(QImage::Format_ARGB32);
        const QRgb k = qRgb(int(key & 0xFF), int((key >> 8) & 0xFF), int((key >> 16) & 0xFF));
        for (int y = 0; y < keyed_.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(keyed_.scanLine(y));
            for (int x = 0; x < keyed_.width(); ++x)
                if ((line[x] | 0xFF000000u) == k) line[x] = 0;
        }
        keyedFor_ = key;
        keyedValid_ = true;
    }
    return keyed_;
}

bool CMemBmpDC::DrawTransparent(QPainter& dc, EdgeRect target, EdgeRect src, COLORREF key) const {
    const QSize size = GetBitmapSize();
    if (size.isEmpty()) return false;
    for (EdgeRect* r : {&target, &src}) {
        if (r->right == 0) r->right = size.width();
        if (r->bottom == 0) r->bottom = size.height();
    }
    if (target.Width() <= 0 || target.Height() <= 0 || src.Width() <= 0 || src.Height() <= 0) return false;
    dc.save();
    dc.setRenderHint(QPainter::SmoothPixmapTransform, false);
    dc.setCompositionMode(QPainter::CompositionMode_SourceOver);
    dc.drawImage(target.ToQRect(), Keyed(key), src.ToQRect());
    dc.restore();
    return true;
}

void FillRectColor(QPainter& dc, const QRect& rect, COLORREF colour) {
    dc.fillRect(rect, ToQColor(colour));
}

void DrawFocusRectInset(QPainter& dc, const QRect& rect, int margin) {
    const QRect r = rect.adjusted(margin, margin, -margin, -margin);
    if (r.width() <= 0 || r.height() <= 0) return;
    // Every other pixel along the edge, in a checker pattern anchored at the
    // top-left corner, as a dotted focus frame is drawn.
    dc.save();
    const QColor ink(Qt::black);
    const int l = r.left(), t = r.top(), rr = r.left() + r.width() - 1, b = r.top() + r.height() - 1;
    auto dot = [&](int x, int y) {
        if (((x - l) + (y - t)) % 2 == 0) dc.fillRect(x, y, 1, 1, ink);
    };
    for (int x = l; x <= rr; ++x) {
        dot(x, t);
        if (b != t) dot(x, b);
    }
    for (int y = t + 1; y < b; ++y) {
        dot(l, y);
        if (rr != l) dot(rr, y);
    }
    dc.restore();
}

void DrawTextColor(QPainter& dc, const QString& text, const QRect& rect, COLORREF colour, int flags,
                   const QFont* font) {
    const QPen oldPen = dc.pen();
    const QFont oldFont = dc.font();
    if (font) dc.setFont(*font);
    dc.setPen(ToQColor(colour));
    dc.setBackgroundMode(Qt::TransparentMode);
    dc.drawText(rect, flags, text);
    dc.setPen(oldPen);
    dc.setFont(oldFont);
}

QSize GetTextSize(const QWidget* window, const QString& text) {
    (void)window;  // the GUI font's measure does not depend on the window
    const QFontMetrics fm(GetGuiLogFont());
    return QSize(fm.horizontalAdvance(text), fm.height());
}

QFont GetGuiLogFont() {
    return QApplication::font();
}

}  // namespace vt
