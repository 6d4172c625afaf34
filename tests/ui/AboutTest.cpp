#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>

#include "core/ShellHelpers.h"
#include "core/VersionInfo.h"
#include "tests/ui/QtTestEnv.h"
#include "ui/AboutDlg.h"
#include "ui/WindowPlacement.h"

namespace vt {
namespace {

TEST(AboutAnimation, SixtyThreeFramesOfShrinkingPulses) {
    const int w = 200, h = 240;
    const auto frames = AboutAnimationFrames(w, h);
    ASSERT_EQ(frames.size(), 63u);
    // 41 frames at amplitude 100, then 14, 5, 2 and 1.
    int start = 0;
    for (auto [count, amplitude] : {std::pair{41, 100}, {14, 33}, {5, 11}, {2, 3}, {1, 1}}) {
        int peak = 0;
        for (int i = start; i < start + count; ++i) peak = std::max(peak, frames[i].grow);
        EXPECT_EQ(frames[start].grow, 0) << amplitude;
        EXPECT_LE(peak, amplitude);
        start += count;
    }
    // Unswollen, the picture and the shadow sit exactly on the box's place.
    EXPECT_EQ(frames[0].picture, QRect(w / 2, h / 2, w, h));
    EXPECT_EQ(frames[0].shadow, QRect(w / 2, h / 2, w, h));
    // At the top of the first pulse the picture is twice the size, about its centre.
    EXPECT_EQ(frames[20].grow, 100);
    EXPECT_EQ(frames[20].picture, QRect(0, 0, 2 * w, 2 * h));
    EXPECT_EQ(frames[20].shadow, QRect(w / 2 + w, h / 2 + h, w, h));
    EXPECT_EQ(frames[40].grow, 0);
}

TEST(AboutBox, ShapeTextsAndClosing) {
    CMyAboutDlg box(0xFFFFFF, 0x000000);
    std::vector<std::string> opened;
    int frames = 0;
    box.SetLinkOpener([&](const std::string& a) { opened.push_back(a); });
    QImage biggest;
    box.SetFrameHook([&](const QImage& img) {
        if (frames++ == 20) biggest = img.copy();
    });
    box.move(300, 200);
    box.show();
    QApplication::processEvents();

    EXPECT_TRUE(box.windowFlags() & Qt::FramelessWindowHint);
    const QRegion mask = box.mask();
    EXPECT_TRUE(mask.contains(box.rect().center()));
    EXPECT_FALSE(mask.contains(QPoint(1, 1)));
    EXPECT_FALSE(mask.contains(QPoint(box.width() - 2, box.height() - 2)));
    EXPECT_FALSE(mask.contains(QPoint(1, box.height() / 2)));  // the ellipse starts at x = 2

    const std::string self = GetModuleFilePath();
    EXPECT_EQ(box.VersionLabel()->text().toStdString(),
              GetPathTitle(self) + " Version " + GetFileVersionText(self));
    EXPECT_FALSE(GetFileVersionText(self).empty());
    EXPECT_EQ(CMyAboutDlg::VersionLine("/nowhere/prog.bin").toStdString(), "prog Version ");

    // The link opens the maker's page and leaves the box open.
    box.LinkButton()->click();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], box.Address().toStdString());
    EXPECT_EQ(box.LinkButton()->text(), box.Address());
    EXPECT_TRUE(box.isVisible());

    // Escape does nothing.
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&box, &esc);
    QApplication::processEvents();
    EXPECT_TRUE(box.isVisible());

    // Dragging the body moves the box.
    const QPoint before = box.pos();
    const QPoint at(box.width() / 2, box.height() - 30);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), box.mapToGlobal(QPointF(at)), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&box, &press);
    const QPoint to = at + QPoint(12, -7);
    QMouseEvent move(QEvent::MouseMove, QPointF(to), box.mapToGlobal(QPointF(to)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&box, &move);
    EXPECT_EQ(box.pos(), before + QPoint(12, -7));

    // OK closes the box, after all frames of the animation.
    box.OkButton()->click();
    EXPECT_EQ(frames, 63);
    // At its biggest the box's picture fills twice its size from the canvas
    // origin, and its shadow shows beyond it to the lower right.
    const int w = box.width(), h = box.height();
    ASSERT_EQ(biggest.size(), QSize(3 * w, 3 * h));
    EXPECT_EQ(biggest.pixel(w, h), 0xFFFFFFFFu);
    EXPECT_EQ(biggest.pixel(w * 12 / 5, h * 12 / 5), 0xFF000000u);
    // Without a picture of the screen the surroundings stay clear.
    if (QGuiApplication::platformName() == "offscreen") {
        EXPECT_EQ(qAlpha(biggest.pixel(3 * w - 2, 3)), 0);
    }
    EXPECT_FALSE(box.isVisible());
    EXPECT_EQ(box.result(), QDialog::Accepted);
}

TEST(AboutBox, EnterPressesOk) {
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
        CMyAboutDlg box(0xFFFFFF, 0x000000);
        int frames = 0;
        box.SetFrameHook([&](const QImage&) { ++frames; });
        box.show();
        QApplication::processEvents();
        QKeyEvent enter(QEvent::KeyPress, key, key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
        QApplication::sendEvent(&box, &enter);
        EXPECT_FALSE(box.isVisible()) << key;
        EXPECT_EQ(box.result(), QDialog::Accepted) << key;
        EXPECT_EQ(frames, 63) << key;  // the closing animation ran
    }
}

TEST(AboutBox, CentredOnItsOwnersWindow) {
    QWidget owner;
    owner.resize(400, 300);
    owner.move(150, 90);
    owner.show();
    QApplication::processEvents();
    CMyAboutDlg box(0xFFFFFF, 0x000000, &owner);
    CentreOnShow(&box, &owner);
    box.show();
    QApplication::processEvents();
    const QPoint d = box.frameGeometry().center() - owner.frameGeometry().center();
    EXPECT_LE(d.manhattanLength(), 2) << d.x() << "," << d.y();
    box.OkButton()->click();
}

TEST(WindowMover, OneSystemMovePerPressElseTheWindowFollowsTheDelta) {
    QWidget w;
    w.resize(200, 100);
    w.move(100, 100);
    w.show();
    QApplication::processEvents();
    int requests = 0;
    bool taken = true;
    const auto old = CWindowMover::SetSystemMove([&](QWindow*) {
        ++requests;
        return taken;
    });
    CWindowMover mover;
    // The window system takes the move: one request, and the window is left to it.
    mover.Press(&w, QPoint(120, 110));
    for (int i = 1; i <= 5; ++i) EXPECT_TRUE(mover.Move(QPoint(120 + 10 * i, 110 + i)));
    mover.Release();
    EXPECT_EQ(requests, 1);
    EXPECT_EQ(w.pos(), QPoint(100, 100));
    EXPECT_FALSE(mover.Move(QPoint(300, 300)));  // no press, no move

    // No system move: the window follows the pointer's delta, whatever it did before.
    taken = false;
    mover.Press(&w, QPoint(120, 110));
    mover.Move(QPoint(150, 130));
    mover.Move(QPoint(160, 125));
    mover.Release();
    EXPECT_EQ(requests, 2);
    EXPECT_EQ(w.pos(), QPoint(140, 115));
    mover.Press(&w, QPoint(10, 10));
    mover.Move(QPoint(15, 20));
    mover.Release();
    EXPECT_EQ(w.pos(), QPoint(145, 125));
    CWindowMover::SetSystemMove(old);
}

}  // namespace
}  // namespace vt
