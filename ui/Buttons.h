#pragma once
// The program's own buttons: the bitmap buttons and the title bar of the
// main window's top row, the hyperlink-style text button and the framed icon
// button of the about box. Each draws itself in DrawItem with a state made
// of the ODS_* bits below.
#include <QAbstractButton>
#include <QPixmap>
#include <QPoint>
#include <QString>

#include "ui/MemDC.h"
#include "ui/WindowPlacement.h"

class QHBoxLayout;

namespace vt {

// Item state bits handed to DrawItem.
inline constexpr unsigned ODS_SELECTED = 0x1;  // pressed
inline constexpr unsigned ODS_DISABLED = 0x4;
inline constexpr unsigned ODS_FOCUS = 0x10;

// Key colour of the title-row bitmaps.
inline constexpr COLORREF kBitmapKeyColor = 0x808080;

// A flat button: the face colour with a bitmap centred on it, pixels of the
// transparent colour left out. Pressing shows nothing; clicks are reported
// as usual (clicked()).
class CBmpColorBtn : public QAbstractButton {
    Q_OBJECT
  public:
    explicit CBmpColorBtn(QWidget* parent = nullptr);

    CMemBmpDC& Bitmap() { return bitmap_; }
    const CMemBmpDC& Bitmap() const { return bitmap_; }
    void LoadBitmap(unsigned id) { bitmap_.LoadBitmap(id); }
    COLORREF FaceColor() const { return face_; }
    void SetFaceColor(COLORREF c) { face_ = c; }
    COLORREF TransparentColor() const { return transparent_; }
    void SetTransparentColor(COLORREF c) { transparent_ = c; }

    // The state bits of the control as it is now.
    unsigned ItemState() const;
    QSize sizeHint() const override;

  protected:
    virtual void DrawItem(QPainter& dc, unsigned state, const QRect& rect);
    void paintEvent(QPaintEvent*) override;

    CMemBmpDC bitmap_;
    COLORREF face_ = 0;
    COLORREF transparent_ = 0;
};

// The main window's caption: the face colour, the bitmap as a small icon at
// the left, the title text in bold in the face colour's opposite, and a
// left-button drag moves the top-level window.
class CTitleBar : public CBmpColorBtn {
    Q_OBJECT
  public:
    explicit CTitleBar(QWidget* parent = nullptr);
    // Stores the text; the owner redraws.
    void SetTitleText(const QString& text) { title_ = text; }
    const QString& TitleText() const { return title_; }
    // The text colour for a face colour: each byte moved by 0x80.
    static COLORREF TitleTextColor(COLORREF face) { return (face ^ 0x808080u) & 0xFFFFFFu; }
    // The font the title is drawn in for a bar `barHeight` pixels high.
    QFont TitleFont(int barHeight) const;
    QSize sizeHint() const override;

  protected:
    void DrawItem(QPainter& dc, unsigned state, const QRect& rect) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

  private:
    QString title_;
    CWindowMover mover_;
};

// A text button with a flat face whose text lights up under the pointer.
class CLinkButton : public QAbstractButton {
    Q_OBJECT
  public:
    CLinkButton(COLORREF face, COLORREF text, COLORREF disabledText, COLORREF hoverText,
                QWidget* parent = nullptr);

    bool IsHovered() const { return hover_ != 0; }
    COLORREF FaceColor() const { return face_; }
    // The colour the label is drawn in for `state` and the hover flag.
    COLORREF LabelColor(unsigned state) const;
    unsigned ItemState() const;
    QSize sizeHint() const override;

  protected:
    virtual void DrawItem(QPainter& dc, unsigned state, const QRect& rect);
    virtual void DrawLabel(QPainter& dc, unsigned state, const QRect& rect);
    void paintEvent(QPaintEvent*) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;

    COLORREF text_;
    COLORREF face_;
    COLORREF disabledText_;
    COLORREF hoverText_;
    int hover_ = 0;

  private:
    void SetHover(int on);
};

// A text button with an edge: style 0 raised (sunken while pressed) with a
// focus rectangle, style 1 an edge only under the pointer, any other style
// an edge only while pressed.
class CColorButton : public CLinkButton {
    Q_OBJECT
  public:
    CColorButton(COLORREF face, COLORREF text, COLORREF disabledText, COLORREF hoverText, int frameStyle,
                 QWidget* parent = nullptr);
    int FrameStyle() const { return frameStyle_; }

  protected:
    void DrawItem(QPainter& dc, unsigned state, const QRect& rect) override;
    virtual void DrawFrame(QPainter& dc, unsigned state, const QRect& rect);

    int frameStyle_;
};

// A framed button with a 32 x 32 icon at its left and its caption centred in
// the rest.
class CIconButton : public CColorButton {
    Q_OBJECT
  public:
    CIconButton(QPixmap icon, QPixmap disabledIcon, COLORREF face, COLORREF text, COLORREF disabledText,
                COLORREF hoverText, int frameStyle, QWidget* parent = nullptr);
    // Loads icon resource `id` as the normal icon and returns it.
    QPixmap SetIconId(unsigned id);
    QSize sizeHint() const override;

  protected:
    void DrawItem(QPainter& dc, unsigned state, const QRect& rect) override;

    QPixmap icon_;
    QPixmap disabledIcon_;
};

// Draws a two-pixel 3D edge on all four sides of `rect`.
void DrawEdge(QPainter& dc, const QRect& rect, bool raised, const QPalette& palette);

// The main window's top row: title bar, About, Help, Min and Close, with
// their bitmaps and key colour, recoloured together with a page colour.
class CTitleRow : public QWidget {
    Q_OBJECT
  public:
    explicit CTitleRow(QWidget* parent = nullptr, int height = 24);

    CTitleBar* TitleBar() const { return title_; }
    CBmpColorBtn* AboutButton() const { return about_; }
    CBmpColorBtn* HelpButton() const { return help_; }
    CBmpColorBtn* MinButton() const { return min_; }
    CBmpColorBtn* CloseButton() const { return close_; }

    // Makes `colour` the face of all five controls and repaints them at once.
    void SetPageColor(COLORREF colour);
    COLORREF PageColor() const { return colour_; }

  private:
    CTitleBar* title_;
    CBmpColorBtn* about_;
    CBmpColorBtn* help_;
    CBmpColorBtn* min_;
    CBmpColorBtn* close_;
    COLORREF colour_ = 0;
};

}  // namespace vt
