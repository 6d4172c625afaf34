#include <QPainter>

#include "tests/ui/QtTestEnv.h"
#include "ui/MemDC.h"
#include "ui/UiResources.h"

namespace vt {
namespace {

using test::At;
using test::CountColor;

constexpr COLORREF kKey = 0x808080;

// A 4 x 3 bitmap: key grey everywhere except a red pixel at (1, 1) and a
// blue one at (3, 2).
CDib SmallDib() {
    CDib d;
    EXPECT_TRUE(d.Create(4, 3));
    d.Image().fill(ToQColor(kKey));
    d.Image().setPixel(1, 1, qRgb(255, 0, 0));
    d.Image().setPixel(3, 2, qRgb(0, 0, 255));
    return d;
}

QImage Canvas(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::white);
    return img;
}

TEST(MemDC, TransparentCopyLeavesTheKeyOut) {
    CMemBmpDC dc;
    dc.SelectBitmap(SmallDib());
    QImage target = Canvas(10, 10);
    {
        QPainter p(&target);
        // Zero right and bottom in both rectangles: the whole bitmap, unscaled.
        EXPECT_TRUE(dc.DrawTransparent(p, {0, 0, 0, 0}, {0, 0, 0, 0}, kKey));
    }
    EXPECT_EQ(CountColor(target, kKey), 0);
    EXPECT_EQ(At(target, 1, 1), 0x0000FFu);  // red
    EXPECT_EQ(At(target, 3, 2), 0xFF0000u);  // blue
    EXPECT_EQ(CountColor(target, 0xFFFFFF), 98);
}

TEST(MemDC, ZeroRightAndBottomAreCoordinatesNotLengths) {
    CDib d;
    ASSERT_TRUE(d.Create(8, 8));
    d.Image().fill(Qt::red);
    CMemBmpDC dc;
    dc.SelectBitmap(std::move(d));
    QImage target = Canvas(20, 20);
    {
        QPainter p(&target);
        // Right/bottom 0 become 8: the bitmap is squeezed into (2,2)-(8,8).
        EXPECT_TRUE(dc.DrawTransparent(p, {2, 2, 0, 0}, {0, 0, 0, 0}, kKey));
    }
    EXPECT_EQ(CountColor(target, 0x0000FF), 36);
    EXPECT_EQ(CountColor(target, 0x0000FF, QRect(2, 2, 6, 6)), 36);
}

TEST(MemDC, NothingToDraw) {
    QImage target = Canvas(10, 10);
    QPainter p(&target);
    CMemBmpDC none;
    EXPECT_EQ(none.GetBitmapSize(), QSize(0, 0));
    EXPECT_FALSE(none.DrawTransparent(p, {0, 0, 0, 0}, {0, 0, 0, 0}, kKey));
    CMemBmpDC missing;
    missing.LoadBitmap(4242);
    EXPECT_EQ(missing.GetBitmapSize(), QSize(0, 0));
    EXPECT_FALSE(missing.DrawTransparent(p, {0, 0, 0, 0}, {0, 0, 0, 0}, kKey));
    EXPECT_EQ(GetBitmapSize(nullptr), QSize(0, 0));

    CDib allKey;
    ASSERT_TRUE(allKey.Create(5, 5));
    allKey.Image().fill(ToQColor(kKey));
    CMemBmpDC dc;
    dc.SelectBitmap(std::move(allKey));
    dc.DrawTransparent(p, {0, 0, 10, 10}, {0, 0, 0, 0}, kKey);
    p.end();
    EXPECT_EQ(CountColor(target, 0xFFFFFF), 100);
}

TEST(MemDC, TitleRowBitmapsLoad) {
    for (unsigned id : {IDB_CLOSE, IDB_TITLE, IDB_MIN, IDB_HELP, IDB_ABOUT}) {
        CMemBmpDC dc;
        dc.LoadBitmap(id);
        EXPECT_EQ(dc.GetBitmapSize(), QSize(16, 16)) << id;
        const QImage& img = dc.Image();
        const bool title = id == IDB_TITLE;
        // The buttons' glyphs are white on the key grey; the title icon has no grey.
        EXPECT_EQ(CountColor(img, kKey) == 0, title) << id;
        EXPECT_GT(CountColor(img, 0xFFFFFF), 0) << id;
        if (title) {
            EXPECT_EQ(At(img, 0, 0), 0x800080u);
        }
    }
    EXPECT_FALSE(LoadIconResource(IDI_PROGRAM).isNull());
    EXPECT_EQ(LoadIconResource(IDI_OK).size(), QSize(32, 32));
}

TEST(MemDC, CanvasesStretchBothWays) {
    CMemCDC a, b;
    ASSERT_TRUE(a.CreateCanvas(4, 4));
    ASSERT_TRUE(b.CreateCanvas(8, 8));
    EXPECT_FALSE(CMemCDC().CreateCanvas(0, 5));
    a.Image().fill(Qt::green);
    a.Image().setPixel(0, 0, qRgb(255, 0, 0));
    // 4 x 4 into 8 x 8: each pixel becomes a 2 x 2 block, no smoothing.
    b.StretchFrom(a, {0, 0, 8, 8}, {0, 0, 4, 4});
    EXPECT_EQ(CountColor(b.Image(), 0x0000FF), 4);
    EXPECT_EQ(CountColor(b.Image(), 0x00FF00), 60);
    QImage out = Canvas(8, 8);
    {
        QPainter p(&out);
        b.StretchTo(p, {4, 4, 8, 8}, {0, 0, 8, 8});
    }
    EXPECT_EQ(At(out, 4, 4), 0x0000FFu);
    EXPECT_EQ(At(out, 5, 5), 0x00FF00u);
    EXPECT_EQ(At(out, 3, 3), 0xFFFFFFu);
}

TEST(MemDC, TextAndFocusHelpersRestoreThePainter) {
    QImage img = Canvas(60, 20);
    QPainter p(&img);
    const QPen pen(Qt::darkCyan);
    QFont font = p.font();
    font.setPointSize(7);
    p.setPen(pen);
    p.setFont(font);
    p.setBackgroundMode(Qt::OpaqueMode);
    QFont big = font;
    big.setPointSize(14);
    DrawTextColor(p, "W", QRect(0, 0, 60, 20), 0x0000FF, Qt::AlignCenter, &big);
    EXPECT_EQ(p.pen().color(), pen.color());
    EXPECT_EQ(p.font(), font);
    EXPECT_EQ(p.backgroundMode(), Qt::TransparentMode);

    QImage f = Canvas(12, 12);
    QPainter pf(&f);
    DrawFocusRectInset(pf, QRect(0, 0, 12, 12), 2);
    pf.end();
    // Dots every other pixel on the 8 x 8 frame from (2, 2), none inside or outside.
    EXPECT_EQ(At(f, 2, 2), 0u);
    EXPECT_EQ(At(f, 3, 2), 0xFFFFFFu);
    EXPECT_EQ(At(f, 4, 2), 0u);
    EXPECT_EQ(At(f, 1, 1), 0xFFFFFFu);
    EXPECT_EQ(CountColor(f, 0, QRect(3, 3, 6, 6)), 0);
    EXPECT_EQ(CountColor(f, 0), 14);
}

}  // namespace
}  // namespace vt
