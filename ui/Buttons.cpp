#include "ui/Buttons.h"

#include <QEnterEvent>
#include <QFontInfo>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>
#include <algorithm>
#include <cmath>

#include "ui/UiResources.h"

namespace vt {

// ---- bitmap button ----------------------------------------------------------

CBmpColorBtn::CBmpColorBtn(QWidget* parent) : QAbstractButton(parent) {
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

unsigned CBmpColorBtn::ItemState() const {
    unsigned s = 0;
    if (isDown()) s |= ODS_SELECTED;
    if (!isEnabled()) s |= ODS_DISABLED;
    if (hasFocus()) s |= ODS_FOCUS;
    return s;
}

QSize CBmpColorBtn::sizeHint() const {
    return QSize(24, 24);
}

void CBmpColorBtn::paintEvent(QPaintEvent*) {
    QPainter p(this);
    DrawItem(p, ItemState(), rect());
}

void CBmpColorBtn::DrawItem(QPainter& dc, unsigned, const QRect& rect) {
    FillRectColor(dc, rect, face_);
    const QSize bmp = bitmap_.GetBitmapSize();
    const EdgeRect r = EdgeRect::From(rect);
    const int cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2;
    const EdgeRect target{cx - bmp.width() / 2, cy - bmp.height() / 2, cx + bmp.width() / 2,
                          cy + bmp.height() / 2};
    bitmap_.DrawTransparent(dc, target, {0, 0, bmp.width(), bmp.height()}, transparent_);
}

// ---- title bar --------------------------------------------------------------

CTitleBar::CTitleBar(QWidget* parent) : CBmpColorBtn(parent) {}

QSize CTitleBar::sizeHint() const {
    return QSize(200, 24);
}

QFont CTitleBar::TitleFont(int barHeight) const {
    QFont f = font();
    // The character height in pixels (what a negative font height means).
    const double px = f.pixelSize() > 0 ? f.pixelSize() : QFontInfo(f).pixelSize();
    if (barHeight > 0 && std::abs(px) > barHeight) f.setPixelSize(barHeight);
    // Always bold or heavier: the weight gets the bold bits added.
    const int weight = std::clamp(int(f.weight()) | 700, 1, 1000);
    f.setWeight(QFont::Weight(weight));
    return f;
}

void CTitleBar::DrawItem(QPainter& dc, unsigned, const QRect& rect) {
    FillRectColor(dc, rect, face_);
    const QSize bmp = bitmap_.GetBitmapSize();
    const EdgeRect r = EdgeRect::From(rect);
    const int cx = 14, cy = (r.top + r.bottom) / 2;
    const EdgeRect target{cx - bmp.width() / 2, cy - bmp.height() / 2, cx + bmp.width() / 2,
                          cy + bmp.height() / 2};
    bitmap_.DrawTransparent(dc, target, {0, 0, bmp.width(), bmp.height()}, transparent_);

    const QFont f = TitleFont(rect.height());
    const QRect text(30, rect.top(), std::max(0, r.right - 30), rect.height());
    DrawTextColor(dc, title_, text, TitleTextColor(face_),
                  Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, &f);
}

namespace {
bool LeftAlone(const QMouseEvent* e) {
    return e->buttons() == Qt::LeftButton && !(e->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier));
}
}  // namespace

void CTitleBar::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && LeftAlone(e)) {
        // The bar is no button to press: the press starts moving the window.
        mover_.Press(window(), e->globalPosition().toPoint());
        e->accept();
        return;
    }
    CBmpColorBtn::mousePressEvent(e);
}

void CTitleBar::mouseMoveEvent(QMouseEvent* e) {
    if (LeftAlone(e) && mover_.Move(e->globalPosition().toPoint())) {
        e->accept();
        return;
    }
    CBmpColorBtn::mouseMoveEvent(e);
}

void CTitleBar::mouseReleaseEvent(QMouseEvent* e) {
    if (mover_.Active()) {
        mover_.Release();
        e->accept();
        return;
    }
    CBmpColorBtn::mouseReleaseEvent(e);
}

// ---- link button ------------------------------------------------------------

CLinkButton::CLinkButton(COLORREF face, COLORREF text, COLORREF disabledText, COLORREF hoverText,
                         QWidget* parent)
    : QAbstractButton(parent), text_(text), face_(face), disabledText_(disabledText), hoverText_(hoverText) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

unsigned CLinkButton::ItemState() const {
    unsigned s = 0;
    if (isDown()) s |= ODS_SELECTED;
    if (!isEnabled()) s |= ODS_DISABLED;
    if (hasFocus()) s |= ODS_FOCUS;
    return s;
}

QSize CLinkButton::sizeHint() const {
    const QFontMetrics fm(font());
    return QSize(fm.horizontalAdvance(text()) + 12, fm.height() + 8);
}

COLORREF CLinkButton::LabelColor(unsigned state) const {
    if (state & ODS_DISABLED) return disabledText_;
    return hover_ == 1 ? hoverText_ : text_;
}

void CLinkButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    DrawItem(p, ItemState(), rect());
}

void CLinkButton::DrawItem(QPainter& dc, unsigned state, const QRect& rect) {
    FillRectColor(dc, rect, face_);
    DrawLabel(dc, state, rect);
}

void CLinkButton::DrawLabel(QPainter& dc, unsigned state, const QRect& rect) {
    DrawTextColor(dc, text(), rect, LabelColor(state), Qt::AlignCenter | Qt::TextSingleLine);
}

void CLinkButton::SetHover(int on) {
    if (hover_ == on) return;
    hover_ = on;
    update();
}

void CLinkButton::enterEvent(QEnterEvent* e) {
    SetHover(1);
    QAbstractButton::enterEvent(e);
}

void CLinkButton::leaveEvent(QEvent* e) {
    SetHover(0);
    QAbstractButton::leaveEvent(e);
}

void CLinkButton::mouseMoveEvent(QMouseEvent* e) {
    // The pointer may already be inside when the button appears under it.
    if (hover_ == 0 && rect().contains(e->position().toPoint())) SetHover(1);
    QAbstractButton::mouseMoveEvent(e);
}

// ---- framed buttons ---------------------------------------------------------

void DrawEdge(QPainter& dc, const QRect& rect, bool raised, const QPalette& pal) {
    // Outer and inner rings, each with a top-left and a bottom-right colour.
    const QColor light = pal.color(QPalette::Midlight), hilight = pal.color(QPalette::Light),
                 shadow = pal.color(QPalette::Dark), dark = pal.color(QPalette::Shadow);
    struct Ring {
        QColor tl, br;
    };
    const Ring outer = raised ? Ring{light, dark} : Ring{shadow, hilight};
    const Ring inner = raised ? Ring{hilight, shadow} : Ring{dark, light};
    auto ring = [&dc](QRect r, const Ring& c) {
        if (r.width() <= 0 || r.height() <= 0) return;
        const int l = r.left(), t = r.top(), rr = r.left() + r.width() - 1, b = r.top() + r.height() - 1;
        dc.fillRect(QRect(l, t, r.width() - 1, 1), c.tl);   // top
        dc.fillRect(QRect(l, t, 1, r.height() - 1), c.tl);  // left
        dc.fillRect(QRect(l, b, r.width(), 1), c.br);       // bottom
        dc.fillRect(QRect(rr, t, 1, r.height()), c.br);     // right
    };
    ring(rect, outer);
    ring(rect.adjusted(1, 1, -1, -1), inner);
}

CColorButton::CColorButton(COLORREF face, COLORREF text, COLORREF disabledText, COLORREF hoverText,
                           int frameStyle, QWidget* parent)
    : CLinkButton(face, text, disabledText, hoverText, parent), frameStyle_(frameStyle) {}

void CColorButton::DrawItem(QPainter& dc, unsigned state, const QRect& rect) {
    FillRectColor(dc, rect, face_);
    const QRect label = (state & ODS_SELECTED) ? rect.translated(1, 1) : rect;
    DrawLabel(dc, state, label);
    DrawFrame(dc, state, rect);
}

void CColorButton::DrawFrame(QPainter& dc, unsigned state, const QRect& rect) {
    const bool pressed = state & ODS_SELECTED;
    if (frameStyle_ == 0) {
        DrawEdge(dc, rect, !pressed, palette());
    } else if (frameStyle_ == 1) {
        if (hover_ == 1) DrawEdge(dc, rect, !pressed, palette());
    } else if (pressed) {
        DrawEdge(dc, rect, false, palette());
    }
    if ((state & ODS_FOCUS) && frameStyle_ == 0) DrawFocusRectInset(dc, rect, 4);
}

CIconButton::CIconButton(QPixmap icon, QPixmap disabledIcon, COLORREF face, COLORREF text,
                         COLORREF disabledText, COLORREF hoverText, int frameStyle, QWidget* parent)
    : CColorButton(face, text, disabledText, hoverText, frameStyle, parent),
      icon_(std::move(icon)),
      disabledIcon_(std::move(disabledIcon)) {}

QPixmap CIconButton::SetIconId(unsigned id) {
    icon_ = LoadIconResource(id, kIconSize);
    update();
    return icon_;
}

QSize CIconButton::sizeHint() const {
    const QFontMetrics fm(font());
    return QSize(16 + kIconSize + fm.horizontalAdvance(text()) + 24, kIconSize + 12);
}

void CIconButton::DrawItem(QPainter& dc, unsigned state, const QRect& rect) {
    FillRectColor(dc, rect, face_);
    QRect work = (state & ODS_SELECTED) ? rect.translated(1, 1) : rect;
    const EdgeRect w = EdgeRect::From(work);
    const int y = (w.top + w.bottom - kIconSize) / 2;
    const QPixmap& icon = (state & ODS_DISABLED) ? disabledIcon_ : icon_;
    if (!icon.isNull()) dc.drawPixmap(QRect(w.left + 16, y, kIconSize, kIconSize), icon);
    work.setLeft(work.left() + kIconSize);
    DrawLabel(dc, state, work);
    DrawFrame(dc, state, rect);
}

// ---- title row --------------------------------------------------------------

CTitleRow::CTitleRow(QWidget* parent, int height) : QWidget(parent) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    title_ = new CTitleBar(this);
    about_ = new CBmpColorBtn(this);
    help_ = new CBmpColorBtn(this);
    min_ = new CBmpColorBtn(this);
    close_ = new CBmpColorBtn(this);
    title_->setObjectName("titleBar");
    about_->setObjectName("aboutButton");
    help_->setObjectName("helpButton");
    min_->setObjectName("minButton");
    close_->setObjectName("closeButton");
    const std::pair<CBmpColorBtn*, unsigned> bitmaps[] = {
        {title_, IDB_TITLE}, {about_, IDB_ABOUT}, {help_, IDB_HELP}, {min_, IDB_MIN}, {close_, IDB_CLOSE}};
    for (auto [b, id] : bitmaps) {
        b->LoadBitmap(id);
        b->SetTransparentColor(kBitmapKeyColor);
    }
    // The buttons draw no text; their texts name them for accessibility.
    about_->setText(QStringLiteral("About..."));
    help_->setText(QStringLiteral("Help"));
    min_->setText(QStringLiteral("Min"));
    close_->setText(QStringLiteral("Close"));
    title_->setFixedHeight(height);
    title_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    row->addWidget(title_, 1);
    for (CBmpColorBtn* b : {about_, help_, min_, close_}) {
        b->setFixedSize(height, height);
        row->addWidget(b);
    }
    setFixedHeight(height);
}

void CTitleRow::SetPageColor(COLORREF colour) {
    colour_ = colour;
    for (CBmpColorBtn* b : {static_cast<CBmpColorBtn*>(title_), about_, help_, min_, close_}) {
        b->SetFaceColor(colour);
        b->repaint();
    }
}

}  // namespace vt
