#include <QApplication>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>

#include "tests/ui/QtTestEnv.h"
#include "ui/Buttons.h"
#include "ui/UiResources.h"

namespace vt {
namespace {

using test::At;
using test::CountColor;
using test::Render;

TEST(BitmapButton, KeyGreyNeverShowsOnTheFace) {
    for (unsigned id : {IDB_ABOUT, IDB_HELP, IDB_MIN, IDB_CLOSE}) {
        CBmpColorBtn b;
        b.resize(24, 24);
        b.LoadBitmap(id);
        b.SetTransparentColor(kBitmapKeyColor);
        b.SetFaceColor(0x80FFFF);
        const QImage img = Render(b);
        EXPECT_EQ(CountColor(img, kBitmapKeyColor), 0) << id;
        EXPECT_GT(CountColor(img, 0xFFFFFF), 0) << id;
        EXPECT_EQ(CountColor(img, 0x80FFFF) + CountColor(img, 0xFFFFFF), 24 * 24) << id;
        // Pressing shows nothing.
        b.setDown(true);
        EXPECT_EQ(Render(b), img) << id;
    }
}

TEST(BitmapButton, BitmapIsCentredAndFailedLoadShowsOnlyTheFace) {
    CBmpColorBtn b;
    b.resize(30, 20);
    b.LoadBitmap(IDB_MIN);  // white bar on rows 14 and 15, x 3 to 12
    b.SetTransparentColor(kBitmapKeyColor);
    b.SetFaceColor(0x8080FF);
    QImage img = Render(b);
    // Centre (15, 10): the bitmap covers x 7..22, y 2..17.
    EXPECT_EQ(At(img, 7 + 3, 2 + 14), 0xFFFFFFu);
    EXPECT_EQ(At(img, 7 + 12, 2 + 15), 0xFFFFFFu);
    EXPECT_EQ(At(img, 7 + 2, 2 + 15), 0x8080FFu);
    EXPECT_EQ(CountColor(img, 0xFFFFFF), 20);

    b.LoadBitmap(4242);
    img = Render(b);
    EXPECT_EQ(CountColor(img, 0x8080FF), 30 * 20);
}

TEST(TitleBar, IconTextColourAndFont) {
    CTitleBar t;
    t.resize(260, 24);
    t.LoadBitmap(IDB_TITLE);
    t.SetTransparentColor(kBitmapKeyColor);
    t.SetFaceColor(0x8080FF);
    QFont f = t.font();
    f.setPixelSize(18);
    f.setStyleStrategy(QFont::NoAntialias);
    t.setFont(f);
    t.SetTitleText("Vantorel");
    EXPECT_EQ(CTitleBar::TitleTextColor(0x8080FF), 0x00007Fu);
    EXPECT_EQ(CTitleBar::TitleTextColor(0xBFFF80), 0x3F7F00u);
    const QImage img = Render(t);
    // The 16 x 16 icon is centred on x 14: it covers x 6..21, y 4..19.
    EXPECT_EQ(At(img, 6, 4), 0x800080u);
    EXPECT_EQ(At(img, 21, 19), 0x800080u);
    EXPECT_EQ(At(img, 7, 5), 0xFFFFFFu);
    EXPECT_EQ(At(img, 5, 4), 0x8080FFu);
    // The text lies right of x 30, in the title colour only.
    EXPECT_GT(CountColor(img, 0x00007F, QRect(30, 0, 230, 24)), 20);
    EXPECT_EQ(CountColor(img, 0x00007F, QRect(0, 0, 30, 24)), 0);
    EXPECT_EQ(CountColor(img, 0x8080FF) + CountColor(img, 0x00007F) + CountColor(img, 0xFFFFFF) +
                  CountColor(img, 0x800080),
              260 * 24);
}

TEST(TitleBar, FontIsShrunkToTheBarAndAlwaysBold) {
    CTitleBar t;
    QFont f = t.font();
    f.setPixelSize(40);
    f.setWeight(QFont::Normal);
    t.setFont(f);
    QFont drawn = t.TitleFont(16);
    EXPECT_EQ(drawn.pixelSize(), 16);
    EXPECT_EQ(int(drawn.weight()), 400 | 700);
    drawn = t.TitleFont(60);
    EXPECT_EQ(drawn.pixelSize(), 40);
    f.setWeight(QFont::Black);
    t.setFont(f);
    EXPECT_GE(int(t.TitleFont(60).weight()), 900);
}

// Sends a press at `from` and a move to `to` (both in the title bar) with the
// buttons and modifiers given for the move.
void Drag(QWidget* w, QPoint from, QPoint to, Qt::MouseButtons buttons, Qt::KeyboardModifiers mods) {
    const QPointF gFrom = w->mapToGlobal(QPointF(from)), gTo = w->mapToGlobal(QPointF(to));
    const Qt::MouseButton pressed = (buttons & Qt::RightButton) ? Qt::RightButton : Qt::LeftButton;
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(from), gFrom, pressed, pressed, mods);
    QApplication::sendEvent(w, &press);
    QMouseEvent move(QEvent::MouseMove, QPointF(to), gTo, Qt::NoButton, buttons, mods);
    QApplication::sendEvent(w, &move);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(to), gTo, pressed, Qt::NoButton, mods);
    QApplication::sendEvent(w, &release);
}

TEST(TitleBar, OnlyALeftButtonDragMovesTheWindow) {
    struct Case {
        Qt::MouseButtons buttons;
        Qt::KeyboardModifiers mods;
        bool moves;
    };
    for (const Case& c :
         {Case{Qt::LeftButton, Qt::NoModifier, true}, Case{Qt::NoButton, Qt::NoModifier, false},
          Case{Qt::RightButton, Qt::NoModifier, false}, Case{Qt::LeftButton, Qt::ShiftModifier, false},
          Case{Qt::LeftButton, Qt::ControlModifier, false},
          Case{Qt::LeftButton | Qt::RightButton, Qt::NoModifier, false}}) {
        CTitleRow row;
        row.resize(300, 24);
        row.move(100, 100);
        row.show();
        const QPoint before = row.pos();
        Drag(row.TitleBar(), {50, 10}, {80, 30}, c.buttons, c.mods);
        EXPECT_EQ(row.pos() != before, c.moves) << int(c.buttons) << " " << int(c.mods);
        if (c.moves) {
            EXPECT_EQ(row.pos(), before + QPoint(30, 20));
        }
    }
}

TEST(TitleRow, PageColourRecoloursAllFiveControls) {
    CTitleRow row(nullptr, 24);
    row.resize(320, 24);
    row.TitleBar()->SetTitleText("Vantorel");
    for (COLORREF c : {0x8080FFu, 0x80FFFFu, 0xBFFF80u, 0xFF8080u}) {
        row.SetPageColor(c);
        EXPECT_EQ(row.PageColor(), c);
        const QImage img = Render(row);
        for (CBmpColorBtn* b : {static_cast<CBmpColorBtn*>(row.TitleBar()), row.AboutButton(),
                                row.HelpButton(), row.MinButton(), row.CloseButton()}) {
            EXPECT_EQ(b->FaceColor(), c);
            const QPoint corner = b->mapTo(&row, QPoint(1, 1));
            EXPECT_EQ(At(img, corner.x(), corner.y()), c);
        }
        EXPECT_EQ(CountColor(img, kBitmapKeyColor), 0);
    }
}

// Renders a button in a given state through its own DrawItem.
template <class Base>
class Probe : public Base {
  public:
    using Base::Base;
    QImage Draw(unsigned state) {
        QImage img(this->size(), QImage::Format_RGB32);
        img.fill(Qt::magenta);
        QPainter p(&img);
        p.setFont(this->font());
        this->DrawItem(p, state, this->rect());
        return img;
    }
    void Hover(bool on) {
        if (on) {
            QEnterEvent e(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
            QApplication::sendEvent(this, &e);
        } else {
            QEvent e(QEvent::Leave);
            QApplication::sendEvent(this, &e);
        }
    }
};

QFont Crisp(QFont f) {
    f.setStyleStrategy(QFont::NoAntialias);
    f.setPixelSize(14);
    return f;
}

TEST(LinkButton, HoverAndDisabledColours) {
    Probe<CLinkButton> link(0xFFFFFF, 0xFF0000, 0x808080, 0xFF00FF);
    link.setText("vantorel.example.org");
    link.setFont(Crisp(link.font()));
    link.resize(200, 24);
    auto inked = [&](COLORREF c) { return CountColor(Render(link), c) > 10; };
    EXPECT_TRUE(inked(0xFF0000));
    link.Hover(true);
    EXPECT_TRUE(link.IsHovered());
    EXPECT_TRUE(inked(0xFF00FF));
    EXPECT_FALSE(inked(0xFF0000));
    link.Hover(false);
    EXPECT_TRUE(inked(0xFF0000));
    // Disabled: the disabled colour even under the pointer.
    link.setEnabled(false);
    link.Hover(true);
    EXPECT_TRUE(inked(0x808080));
    EXPECT_FALSE(inked(0xFF00FF));
    EXPECT_EQ(link.LabelColor(ODS_DISABLED), 0x808080u);
}

TEST(IconButton, RaisedSunkenAndFocus) {
    Probe<CIconButton> ok(LoadIconResource(IDI_OK), QPixmap(), 0xFFFFFF, 0x000000, 0x808080, 0xFF00FF, 0);
    ok.setText("OK");
    ok.setFont(Crisp(ok.font()));
    ok.resize(120, 48);
    const QPalette& pal = ok.palette();
    const COLORREF light = FromQColor(pal.color(QPalette::Light)),
                   dark = FromQColor(pal.color(QPalette::Shadow)),
                   shadow = FromQColor(pal.color(QPalette::Dark));
    ASSERT_NE(light, dark);

    const QImage up = ok.Draw(0);
    EXPECT_EQ(At(up, 119, 47), dark);    // raised: dark outer bottom-right
    EXPECT_EQ(At(up, 1, 1), light);      // light inner top-left
    EXPECT_EQ(At(up, 4, 4), 0xFFFFFFu);  // no focus rectangle

    const QImage down = ok.Draw(ODS_SELECTED);
    EXPECT_EQ(At(down, 0, 0), shadow);  // sunken: shadow outer top-left
    EXPECT_EQ(At(down, 1, 1), dark);
    // Icon and caption shift one pixel right and down: icon at (16, 8) unpressed.
    const QImage icon = LoadIconResource(IDI_OK).toImage();
    for (QPoint p : {QPoint(16, 16), QPoint(20, 20), QPoint(30, 14)}) {
        const QPoint in = p - QPoint(16, 8);
        if (qAlpha(icon.pixel(in)) != 255) continue;
        EXPECT_EQ(up.pixel(p), icon.pixel(in) | 0xFF000000u);
        EXPECT_EQ(down.pixel(p + QPoint(1, 1)), icon.pixel(in) | 0xFF000000u);
    }
    // The caption "OK" lies in the part right of the icon's left half.
    EXPECT_GT(CountColor(up, 0, QRect(33, 4, 80, 40)), 10);

    const QImage focused = ok.Draw(ODS_FOCUS);
    EXPECT_EQ(At(focused, 4, 4), 0u);
    EXPECT_EQ(At(focused, 5, 4), 0xFFFFFFu);
    EXPECT_EQ(At(focused, 115, 43), 0u);  // 4 inside the far corner (checker parity)
    EXPECT_EQ(At(focused, 3, 3), At(up, 3, 3));

    // The disabled state draws the disabled icon: none here.
    const QImage disabled = ok.Draw(ODS_DISABLED);
    EXPECT_EQ(At(disabled, 30, 24), 0xFFFFFFu);
}

TEST(ColorButton, FrameStyles) {
    struct Case {
        int style;
        bool hover;
        unsigned state;
        int edge;  // 0 none, 1 raised, 2 sunken
        bool focus;
    };
    const Case cases[] = {
        {0, false, 0, 1, false},
        {0, false, ODS_SELECTED, 2, false},
        {0, false, ODS_FOCUS, 1, true},
        {1, false, 0, 0, false},
        {1, true, 0, 1, false},
        {1, true, ODS_SELECTED, 2, false},
        {1, false, ODS_SELECTED, 0, false},
        {1, true, ODS_FOCUS, 1, false},
        {2, true, 0, 0, false},
        {2, false, ODS_SELECTED, 2, false},
        {7, false, ODS_FOCUS, 0, false},
    };
    for (const Case& c : cases) {
        Probe<CColorButton> b(0xFFFFFF, 0, 0x808080, 0xFF00FF, c.style);
        b.resize(60, 30);
        b.Hover(c.hover);
        const QImage img = b.Draw(c.state);
        const COLORREF tl = At(img, 0, 0);
        const COLORREF raisedTl = FromQColor(b.palette().color(QPalette::Midlight));
        const COLORREF sunkenTl = FromQColor(b.palette().color(QPalette::Dark));
        const int edge = tl == 0xFFFFFF ? 0 : tl == raisedTl ? 1 : tl == sunkenTl ? 2 : -1;
        EXPECT_EQ(edge, c.edge) << "style " << c.style << " state " << c.state << " hover " << c.hover;
        EXPECT_EQ(At(img, 4, 4) == 0, c.focus) << "style " << c.style << " state " << c.state;
    }
}

}  // namespace
}  // namespace vt
