#include <QApplication>
#include <QMouseEvent>
#include <QScrollBar>

#include "tests/ui/QtTestEnv.h"
#include "ui/DragListBox.h"

namespace vt {
namespace {

using test::At;
using test::CountColor;

QStringList Abc(CDragListBoxEx& list, int n = 3) {
    QStringList names;
    for (int i = 0; i < n; ++i) {
        names << QString("/media/%1.avi").arg(QChar('A' + i));
        list.AddItem(names.back());
    }
    return names;
}

TEST(DragList, RowColoursAndSelection) {
    CDragListBoxEx list;
    list.resize(240, 120);
    Abc(list);
    list.setCurrentRow(1);
    list.show();
    QApplication::processEvents();
    QImage img(list.viewport()->size(), QImage::Format_RGB32);
    list.viewport()->render(&img);
    const int w = img.width();
    auto rowY = [&](int r) { return list.visualRect(list.model()->index(r, 0)); };
    const QRect r0 = rowY(0), r1 = rowY(1), r2 = rowY(2);
    // Far right of each row (no text there), and the row under the last one.
    EXPECT_EQ(At(img, w - 3, r0.center().y()), 0xF5EADCu);
    EXPECT_EQ(At(img, w - 3, r1.center().y()), 0x00FF00u);
    EXPECT_EQ(At(img, w - 3, r2.center().y()), 0xF5EADCu);
    // The focus rectangle runs 1 pixel inside the selected row from x = 0.
    EXPECT_EQ(At(img, 1, r1.top() + 1), 0u);
    EXPECT_EQ(At(img, 0, r1.top()), 0x00FF00u);
    EXPECT_EQ(CountColor(img, 0, QRect(0, r0.top(), w, r0.height())) > 0, true);  // text is black
    // Texts are black on the row colours only.
    list.setCurrentRow(-1);
    list.clearSelection();
    list.viewport()->render(&img);
    EXPECT_EQ(CountColor(img, 0x00FF00), 0);
    EXPECT_EQ(At(img, w - 3, r1.center().y()), 0xFFFFFFu);
}

TEST(DragList, DropRule) {
    struct Case {
        int source, dest;
        const char* order;
        int selected;  // -1: unchanged
    };
    const Case cases[] = {
        {0, 1, "ABC", -1},  // the gap just below itself
        {0, 0, "ABC", -1},  // the gap just above itself
        {0, 3, "BCA", 2},   // first below the third
        {2, 0, "CAB", 0},   // last to the top
        {1, 3, "ACB", 2},  {2, 1, "ACB", 1}, {1, 0, "BAC", 0}, {0, -1, "ABC", -1},  // outside the list
        {0, 4, "ABC", -1},
    };
    for (const Case& c : cases) {
        CDragListBoxEx list;
        Abc(list);
        list.setCurrentRow(-1);
        list.item(c.source)->setData(Qt::UserRole, 77);
        const bool moved = list.MoveByDrop(c.source, c.dest);
        QString order;
        for (const QString& s : list.Items()) order += s.at(7);
        EXPECT_EQ(order, c.order) << c.source << "->" << c.dest;
        EXPECT_EQ(moved, c.selected >= 0);
        if (c.selected >= 0) {
            EXPECT_EQ(list.currentRow(), c.selected);
            EXPECT_TRUE(list.item(c.selected)->isSelected());
            EXPECT_EQ(list.item(c.selected)->data(Qt::UserRole).toInt(), 77);  // data travel along
        }
    }
}

void Send(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons) {
    QMouseEvent e(type, QPointF(at), w->mapToGlobal(QPointF(at)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

TEST(DragList, MouseDragMovesFirstBelowTheLast) {
    CDragListBoxEx list;
    list.resize(240, 150);
    Abc(list);
    list.show();
    QApplication::processEvents();
    QWidget* vp = list.viewport();
    const QRect r0 = list.visualRect(list.model()->index(0, 0));
    const QRect r2 = list.visualRect(list.model()->index(2, 0));
    const QPoint start = r0.center();
    const QPoint below(start.x(), r2.bottom() + 10);
    Send(vp, QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
    Send(vp, QEvent::MouseMove, start + QPoint(0, 8), Qt::NoButton, Qt::LeftButton);
    Send(vp, QEvent::MouseMove, below, Qt::NoButton, Qt::LeftButton);
    EXPECT_TRUE(list.IsDragging());
    EXPECT_EQ(list.DragInsertion(), 3);
    Send(vp, QEvent::MouseButtonRelease, below, Qt::LeftButton, Qt::NoButton);
    EXPECT_FALSE(list.IsDragging());
    EXPECT_EQ(list.Items(), QStringList({"/media/B.avi", "/media/C.avi", "/media/A.avi"}));
    EXPECT_EQ(list.currentRow(), 2);

    // Dropping on the item just below itself changes nothing.
    const QRect r1 = list.visualRect(list.model()->index(1, 0));
    Send(vp, QEvent::MouseButtonPress, r0.center(), Qt::LeftButton, Qt::LeftButton);
    Send(vp, QEvent::MouseMove, r1.center(), Qt::NoButton, Qt::LeftButton);
    Send(vp, QEvent::MouseButtonRelease, r1.center(), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(list.Items(), QStringList({"/media/B.avi", "/media/C.avi", "/media/A.avi"}));
}

TEST(DragList, RemovalSelection) {
    CDragListBoxEx list;
    Abc(list, 4);
    EXPECT_EQ(list.RemoveSelected(), -1);  // nothing selected
    EXPECT_EQ(list.count(), 4);
    list.setCurrentRow(1);
    EXPECT_EQ(list.RemoveSelected(), 3);  // the next item takes the place
    EXPECT_EQ(list.currentRow(), 1);
    EXPECT_EQ(list.currentItem()->text(), "/media/C.avi");
    EXPECT_EQ(list.RemoveItem(2), 2);  // the last: the new last is selected
    EXPECT_EQ(list.currentRow(), 1);
    EXPECT_EQ(list.RemoveItem(5), -1);
    EXPECT_EQ(list.RemoveItem(-1), -1);
    EXPECT_EQ(list.count(), 2);
    EXPECT_EQ(list.RemoveItem(0), 1);
    EXPECT_EQ(list.RemoveSelected(), 0);  // the only item: nothing selected after
    EXPECT_TRUE(list.selectedItems().isEmpty());
    EXPECT_EQ(list.RemoveSelected(), -1);

    Abc(list);
    list.AddItem("/media/A.avi");  // the same path twice is fine
    EXPECT_EQ(list.count(), 4);
    EXPECT_EQ(list.InsertItem(1, "/x.avi"), 1);
    EXPECT_EQ(list.InsertItem(-1, "/y.avi"), 5);
    list.ResetItems();
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(list.HorizontalExtent(), 1 + 5);
}

TEST(DragList, ExtentReachesTheEndOfTheWidestPath) {
    CDragListBoxEx list;
    list.resize(200, 120);
    list.show();
    list.AddItem("/short.avi");
    const QString longPath = "/home/someone/Videos/holiday/2026/" + QString(60, 'x') + ".avi";
    list.AddItem(longPath);
    list.AddItem("/b.avi");
    const int widest = GetTextSize(&list, longPath).width();
    EXPECT_EQ(list.HorizontalExtent(), widest + 5);
    QApplication::processEvents();
    QScrollBar* bar = list.horizontalScrollBar();
    EXPECT_EQ(bar->maximum() + list.viewport()->width(), widest + 5);
    list.RemoveItem(1);
    EXPECT_EQ(list.HorizontalExtent(), GetTextSize(&list, "/short.avi").width() + 5);
}

TEST(TitleTip, SizeAndScreenEdges) {
    CDragListBoxEx list;
    CExtTitleTip& tip = list.TitleTip();
    EXPECT_TRUE(tip.CalcTipRect("").isEmpty());
    const QFontMetrics fm(list.font());
    EXPECT_EQ(tip.CalcTipRect("/a/b.avi"),
              QRect(0, 0, fm.horizontalAdvance("/a/b.avi") + 1, fm.height() + 3));
    EXPECT_EQ(CExtTitleTip::KeepOnScreen(QPoint(-25, -7)), QPoint(0, 0));
    EXPECT_EQ(CExtTitleTip::KeepOnScreen(QPoint(-25, 40)), QPoint(0, 40));
    EXPECT_EQ(CExtTitleTip::KeepOnScreen(QPoint(30, 40)), QPoint(30, 40));
}

TEST(TitleTip, ShownForCutPathsOnlyWhileTheProgramIsActive) {
    QWidget top;
    top.resize(220, 140);
    CDragListBoxEx list(&top);
    list.setGeometry(0, 0, 200, 120);
    const QString longPath = "/home/someone/Videos/holiday/2026/" + QString(60, 'x') + ".avi";
    list.AddItem("/short.avi");
    list.AddItem(longPath);
    list.AddItem("/c.avi");
    top.show();
    QApplication::processEvents();
    QWidget* vp = list.viewport();
    const QRect r1 = list.visualRect(list.model()->index(1, 0));
    const QRect r0 = list.visualRect(list.model()->index(0, 0));
    CExtTitleTip& tip = list.TitleTip();

    // Not active: no tip.
    QApplication::setActiveWindow(nullptr);
    Send(vp, QEvent::MouseMove, r1.center(), Qt::NoButton, Qt::NoButton);
    EXPECT_FALSE(tip.isVisible());

    top.activateWindow();
    QApplication::setActiveWindow(&top);
    ASSERT_TRUE(QApplication::activeWindow());
    // A button held: no tip.
    Send(vp, QEvent::MouseMove, r1.center(), Qt::NoButton, Qt::LeftButton);
    EXPECT_FALSE(tip.isVisible());
    // A short path that fits: no tip.
    Send(vp, QEvent::MouseMove, r0.center(), Qt::NoButton, Qt::NoButton);
    EXPECT_FALSE(tip.isVisible());
    // The long one: a tip below the item, 30 pixels left of the pointer.
    const QPoint at(r1.center().x(), r1.center().y());
    Send(vp, QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton);
    ASSERT_TRUE(tip.isVisible());
    EXPECT_EQ(tip.Text(), longPath);
    EXPECT_EQ(tip.HotRect(), r1);
    EXPECT_EQ(tip.pos(), CExtTitleTip::KeepOnScreen(vp->mapToGlobal(QPoint(at.x() - 30, r1.bottom() + 1))));
    const QRect text = tip.CalcTipRect(longPath);
    EXPECT_EQ(tip.size(), QSize(text.width() + 2, text.height() + 2));

    // The tip takes no input, here or anywhere else on the desktop.
    EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
    EXPECT_EQ(QWidget::keyboardGrabber(), nullptr);
    EXPECT_TRUE(tip.testAttribute(Qt::WA_TransparentForMouseEvents));
    EXPECT_TRUE(tip.windowFlags().testFlag(Qt::WindowTransparentForInput));
    EXPECT_FALSE(tip.isActiveWindow());

    // It follows the pointer along the item.
    Send(vp, QEvent::MouseMove, at + QPoint(12, 1), Qt::NoButton, Qt::NoButton);
    ASSERT_TRUE(tip.isVisible());
    EXPECT_EQ(tip.pos(),
              CExtTitleTip::KeepOnScreen(vp->mapToGlobal(QPoint(at.x() + 12 - 30, r1.bottom() + 1))));

    // Leaving the item's rectangle hides it, and so does leaving the list.
    Send(vp, QEvent::MouseMove, QPoint(5, r0.center().y()), Qt::NoButton, Qt::NoButton);
    EXPECT_FALSE(tip.isVisible());
    Send(vp, QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton);
    ASSERT_TRUE(tip.isVisible());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&list, &leave);
    EXPECT_FALSE(tip.isVisible());
}

TEST(TitleTip, DragOfARowWithItsTipShownReorders) {
    QWidget top;
    top.resize(220, 140);
    CDragListBoxEx list(&top);
    list.setGeometry(0, 0, 200, 120);
    const QString longPath = "/home/someone/Videos/holiday/2026/" + QString(60, 'x') + ".avi";
    list.AddItem(longPath);
    list.AddItem("/b.avi");
    list.AddItem("/c.avi");
    top.show();
    top.activateWindow();
    QApplication::setActiveWindow(&top);
    QApplication::processEvents();
    QWidget* vp = list.viewport();
    const QRect r0 = list.visualRect(list.model()->index(0, 0));
    const QRect r2 = list.visualRect(list.model()->index(2, 0));
    CExtTitleTip& tip = list.TitleTip();
    const QPoint grip(20, r0.center().y());
    Send(vp, QEvent::MouseMove, grip, Qt::NoButton, Qt::NoButton);
    ASSERT_TRUE(tip.isVisible());
    // The press, the moves and the release all reach the list.
    Send(vp, QEvent::MouseButtonPress, grip, Qt::LeftButton, Qt::LeftButton);
    EXPECT_FALSE(tip.isVisible());
    EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
    Send(vp, QEvent::MouseMove, grip + QPoint(0, 8), Qt::NoButton, Qt::LeftButton);
    Send(vp, QEvent::MouseMove, QPoint(20, r2.bottom() + 10), Qt::NoButton, Qt::LeftButton);
    EXPECT_TRUE(list.IsDragging());
    EXPECT_FALSE(tip.isVisible());
    Send(vp, QEvent::MouseButtonRelease, QPoint(20, r2.bottom() + 10), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(list.Items(), QStringList({"/b.avi", "/c.avi", longPath}));
    EXPECT_EQ(list.currentRow(), 2);
}

}  // namespace
}  // namespace vt
