// The main window: start state, the two selectors, the page list, closing,
// drops on the title row, the accelerator and the keys that do nothing.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QHelpEvent>
#include <QMimeData>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QUrl>
#include <QWindow>

#include "app/BaseApp.h"
#include "app/VantorelDlg.h"
#include "ops/BaseKinds.h"
#include "ops/PageTable.h"
#include "tests/gui/GuiTestSupport.h"
#include "ui/WindowPlacement.h"

namespace vt::gui {
namespace {

using test::BoxRecorder;
using test::ScopedLanguage;

class MainWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        dlg = std::make_unique<CVantorelDlg>();
        ASSERT_TRUE(dlg->CreateDlg(nullptr));
        dlg->show();
    }

    std::vector<int> VisiblePages() const {
        std::vector<int> v;
        for (int i = 0; i < dlg->PageList().GetSize(); ++i)
            if (dlg->PageList().GetAt(i)->isVisible()) v.push_back(i);
        return v;
    }
    void SelectFormat(int index) {
        dlg->FormatSelector()->setCurrentIndex(index);
        dlg->OnSelchangeFormat();
    }
    void SelectOperation(int index) {
        dlg->OperationSelector()->setCurrentIndex(index);
        dlg->OnSelchangeOperation();
    }
    std::vector<std::pair<std::string, int>> OperationItems() const {
        std::vector<std::pair<std::string, int>> v;
        QComboBox* c = dlg->OperationSelector();
        for (int i = 0; i < c->count(); ++i)
            v.emplace_back(c->itemText(i).toStdString(), c->itemData(i).toInt());
        return v;
    }
    void ExpectFaceColor(unsigned color) const {
        for (int id : {kIdTitleBar, kIdMinButton, kIdCloseButton, kIdHelpButton, kIdAboutButton})
            EXPECT_EQ(TitleRowFaceColor(dlg->GetDlgItem(id)), color) << id;
    }

    ScopedLanguage lang{false};
    std::unique_ptr<CVantorelDlg> dlg;
};

TEST_F(MainWindow, StartState) {
    EXPECT_EQ(dlg->FormatSelector()->currentText(), "AVI");
    EXPECT_EQ(dlg->OperationSelector()->currentText(), "Video Audio Separation");
    EXPECT_EQ(dlg->CurrentPage(), 0);
    EXPECT_EQ(dlg->StoredFormatIndex(), -1);
    EXPECT_EQ(VisiblePages(), std::vector<int>{0});
    EXPECT_EQ(dlg->GetPageColor(), 0x8080FFu);
    ExpectFaceColor(0x8080FF);
    EXPECT_EQ(dlg->FormatSelector()->count(), 5);
    // The pages are those of the page table, in page-number order.
    ASSERT_EQ(dlg->PageList().GetSize(), kPageCount);
    for (const PageInfo& info : Pages()) {
        const std::string cls = dlg->PageList().GetAt(info.pageNumber)->metaObject()->className();
        EXPECT_EQ(cls, "vt::gui::" + std::string(info.className));
        EXPECT_EQ(dlg->PageList().GetAt(info.pageNumber)->TemplateId(), info.templateId);
    }
    // The pages sit directly below the selectors, over the whole width.
    const QRect page = dlg->PageList().GetAt(0)->geometry();
    EXPECT_EQ(page.top(), dlg->OperationSelector()->geometry().bottom() + 1);
    EXPECT_EQ(page.width(), dlg->width());
    EXPECT_EQ(page.bottom(), dlg->height() - 1);
    EXPECT_EQ(dlg->OperationSelector()->geometry().right(), dlg->width() - 1);
}

TEST_F(MainWindow, StartStateInJapanese) {
    ScopedLanguage ja(true);
    CVantorelDlg other;
    other.CreateDlg(nullptr);
    EXPECT_EQ(other.OperationSelector()->currentText(), "映像音声分離");
}

TEST_F(MainWindow, FormatsOfferTheirOperations) {
    struct Case {
        int format;
        std::vector<std::pair<std::string, int>> items;
        unsigned color;
    };
    const std::vector<Case> cases = {
        {3, {{"Audio File Connection", 8}, {"Audio Section Extraction", 9}}, 0xBFFF80},
        {4,
         {{"Video Audio Separation", 10}, {"Movie File Connection", 11}, {"Movie Section Extraction", 12}},
         0xFF8080},
        {2,
         {{"Video Audio Separation", 6},
          {"Video Audio Union", 7},
          {"Movie File Connection", 8},
          {"Movie Section Extraction", 9}},
         0xBFFF80},
        {1, {{"Audio File Connection", 4}, {"Audio Section Extraction", 5}}, 0x80FFFF},
    };
    for (const auto& c : cases) {
        SelectFormat(c.format);
        EXPECT_EQ(OperationItems(), c.items) << c.format;
        EXPECT_EQ(dlg->CurrentPage(), c.items[0].second);
        EXPECT_EQ(VisiblePages(), std::vector<int>{c.items[0].second});
        ExpectFaceColor(c.color);
        for (int i = 1; i < int(c.items.size()); ++i) {
            SelectOperation(i);
            EXPECT_EQ(VisiblePages(), std::vector<int>{c.items[size_t(i)].second});
            EXPECT_EQ(dlg->CurrentPage(), c.items[size_t(i)].second);
        }
    }
}

TEST_F(MainWindow, FirstSelectionOfTheSameFormatRefills) {
    SelectOperation(2);
    EXPECT_EQ(dlg->CurrentPage(), 2);
    SelectFormat(0);  // "AVI" again, but the stored index is still -1
    EXPECT_EQ(dlg->StoredFormatIndex(), 0);
    EXPECT_EQ(dlg->OperationSelector()->currentIndex(), 0);
    EXPECT_EQ(VisiblePages(), std::vector<int>{0});
    SelectOperation(3);
    SelectFormat(0);  // now it does nothing
    EXPECT_EQ(dlg->OperationSelector()->currentIndex(), 3);
    EXPECT_EQ(VisiblePages(), std::vector<int>{3});
}

TEST_F(MainWindow, CloseIsRefusedSilentlyWhileAPageRuns) {
    BoxRecorder boxes;
    SelectFormat(4);
    auto* page = static_cast<CBaseOpe*>(dlg->PageList().GetAt(11));
    page->SetInputFile("/tmp/vt-gui-a.flv");
    ASSERT_TRUE(page->BeginOperation());
    // The selectors keep the running page in front.
    EXPECT_FALSE(dlg->FormatSelector()->isEnabled());
    EXPECT_FALSE(dlg->OperationSelector()->isEnabled());

    qobject_cast<QAbstractButton*>(dlg->GetDlgItem(kIdCloseButton))->click();
    dlg->close();  // the system's close
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_TRUE(boxes.boxes.empty());

    page->OnStop();  // stopped, but the operation has not wound down yet
    dlg->OnClose();
    EXPECT_TRUE(dlg->isVisible());

    page->EndOperation();
    EXPECT_TRUE(dlg->FormatSelector()->isEnabled());
    dlg->OnClose();
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->result(), 2);
    EXPECT_EQ(dlg->StoredFormatIndex(), 4);
}

TEST_F(MainWindow, DropsOnTheTitleRowReachTheVisiblePage) {
    SelectFormat(4);
    SelectOperation(1);  // FLV connection, page 11
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile("/f/a.flv"), QUrl::fromLocalFile("/f/b.flv")});
    for (int id : {kIdTitleBar, kIdFormatSelector}) {
        test::DropFiles(dlg->GetDlgItem(id), mime);
    }
    auto* page = static_cast<CBaseLinker*>(dlg->PageList().GetAt(11));
    EXPECT_EQ(page->Fields().files,
              (std::vector<std::string>{"/f/a.flv", "/f/b.flv", "/f/a.flv", "/f/b.flv"}));
    EXPECT_EQ(page->Fields().output, "/f/a_link.flv");
    EXPECT_TRUE(static_cast<CBaseLinker*>(dlg->PageList().GetAt(2))->Fields().files.empty());
}

TEST_F(MainWindow, EnterAndEscapeDoNothing) {
    CBaseDialog* page = dlg->PageList().GetAt(0);
    for (QWidget* target :
         {static_cast<QWidget*>(dlg.get()), static_cast<QWidget*>(page), page->GetDlgItem(1061)}) {
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) QTest::keyClick(target, key);
    }
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_TRUE(page->isVisible());
    EXPECT_EQ(dlg->result(), 0);
}

// The application object with the about box counted instead of shown.
class CountingApp : public CBaseApp {
  public:
    void ShowAboutBox() override { ++aboutBoxes; }
    int aboutBoxes = 0;
};

TEST_F(MainWindow, F10OpensTheAboutBox) {
    CountingApp app;
    app.InitBaseApp(CBaseApp::kAcceleratorTable);
    app.SetMainWindow(dlg.get());
    QTest::keyClick(dlg->PageList().GetAt(0)->GetDlgItem(1053), Qt::Key_F10);
    EXPECT_EQ(app.aboutBoxes, 1);
    QTest::keyClick(dlg.get(), Qt::Key_F9);
    QTest::keyClick(dlg.get(), Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_EQ(app.aboutBoxes, 1);
    qobject_cast<QAbstractButton*>(dlg->GetDlgItem(kIdAboutButton))->click();
    EXPECT_EQ(app.aboutBoxes, 2);
}

TEST(ToolTips, ShowTheControlsOwnText) {
    EXPECT_EQ(StripMnemonics("Stop(&S)"), "Stop(S)");
    EXPECT_EQ(StripMnemonics("Input Src(Drag && Drop OK)"), "Input Src(Drag & Drop OK)");
    EXPECT_EQ(StripMnemonics("About..."), "About...");
    CVantorelDlg dlg;
    dlg.CreateDlg(nullptr);
    EXPECT_EQ(WindowText(dlg.GetDlgItem(kIdAboutButton)), "About...");
    EXPECT_EQ(WindowText(dlg.GetDlgItem(kIdHelpButton)), "Help");
    EXPECT_EQ(WindowText(dlg.GetDlgItem(kIdMinButton)), "Min");
    EXPECT_EQ(WindowText(dlg.GetDlgItem(kIdCloseButton)), "Close");
    EXPECT_EQ(WindowText(dlg.GetDlgItem(kIdTitleBar)), "");  // no tool tip

    // A page's controls show their own text, with the mnemonic resolved.
    dlg.show();
    CBaseDialog* page = dlg.PageList().GetAt(0);
    auto ask = [&](int id) {
        QToolTip::hideText();
        for (int i = 0; i < 100 && QToolTip::isVisible(); ++i) QTest::qWait(10);
        QWidget* w = page->GetDlgItem(id);
        QHelpEvent e(QEvent::ToolTip, QPoint(2, 2), w->mapToGlobal(QPoint(2, 2)));
        QCoreApplication::sendEvent(w, &e);
        return QToolTip::isVisible() ? QToolTip::text().toStdString() : std::string("<none>");
    };
    EXPECT_EQ(ask(1061), "Video Cut(V)");
    EXPECT_EQ(ask(1066), "<none>");  // the progress bar has no text
    EXPECT_EQ(ask(1058), "<none>");  // an empty output path
    page->SetInputFile("/v/clip.avi");
    EXPECT_EQ(ask(1058), "/v/clip_cut.avi");
}

TEST(Dragging, OnlyTheLeftButtonAloneMovesTheWindow) {
    EXPECT_TRUE(CBaseDialog::IsDragGesture(Qt::LeftButton, Qt::NoModifier));
    EXPECT_FALSE(CBaseDialog::IsDragGesture(Qt::LeftButton | Qt::RightButton, Qt::NoModifier));
    EXPECT_FALSE(CBaseDialog::IsDragGesture(Qt::LeftButton, Qt::ShiftModifier));
    EXPECT_FALSE(CBaseDialog::IsDragGesture(Qt::RightButton, Qt::NoModifier));
}

// A free spot of `page`: a point that no control covers.
QPoint FreeSpot(QWidget* page) {
    for (int y = 2; y < page->height(); y += 3)
        for (int x = 2; x < page->width(); x += 3)
            if (!page->childAt(QPoint(x, y))) return QPoint(x, y);
    return QPoint(-1, -1);
}

void SendMouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons) {
    QMouseEvent e(type, QPointF(at), w->mapToGlobal(QPointF(at)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

// One drag from `at` on `w` by `steps` pointer moves of `step` each, on the
// screen (the widget moves under the pointer when the window follows it).
void Drag(QWidget* w, QPoint at, int steps, QPoint step) {
    const QPoint start = w->mapToGlobal(at);
    auto send = [&](QEvent::Type type, QPoint global, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QMouseEvent e(type, QPointF(w->mapFromGlobal(global)), QPointF(global), button, buttons,
                      Qt::NoModifier);
        QApplication::sendEvent(w, &e);
    };
    send(QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
    for (int i = 1; i <= steps; ++i) send(QEvent::MouseMove, start + step * i, Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, start + step * steps, Qt::LeftButton, Qt::NoButton);
}

TEST_F(MainWindow, OneSystemMovePerPressOfAFreeSpot) {
    int requests = 0;
    const auto old = vt::CWindowMover::SetSystemMove([&](QWindow*) {
        ++requests;
        return true;
    });
    CBaseDialog* page = dlg->PageList().GetAt(0);
    const QPoint spot = FreeSpot(page);
    ASSERT_GE(spot.x(), 0);
    const QPoint before = dlg->pos();
    Drag(page, spot, 6, QPoint(7, 3));
    EXPECT_EQ(requests, 1);
    Drag(dlg->GetDlgItem(kIdTitleBar), QPoint(60, 5), 6, QPoint(7, 3));
    EXPECT_EQ(requests, 2);
    EXPECT_EQ(dlg->pos(), before);  // the window system moves it, not we
    // Moves with no press before them start nothing.
    SendMouse(page, QEvent::MouseMove, spot, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(requests, 2);
    vt::CWindowMover::SetSystemMove(old);
}

TEST_F(MainWindow, WithoutASystemMoveTheWindowFollowsThePointer) {
    const auto old = vt::CWindowMover::SetSystemMove([](QWindow*) { return false; });
    dlg->move(40, 30);
    QApplication::processEvents();
    CBaseDialog* page = dlg->PageList().GetAt(0);
    // The title row, then a free spot of the page: no jump between the two.
    Drag(dlg->GetDlgItem(kIdTitleBar), QPoint(60, 5), 4, QPoint(5, 2));
    EXPECT_EQ(dlg->pos(), QPoint(60, 38));
    Drag(page, FreeSpot(page), 3, QPoint(-4, 6));
    EXPECT_EQ(dlg->pos(), QPoint(48, 56));
    vt::CWindowMover::SetSystemMove(old);
}

TEST_F(MainWindow, BoxesAreCentredOnTheWindow) {
    dlg->move(170, 120);
    QApplication::processEvents();
    QPoint seen(-1000, -1000);
    QTimer::singleShot(0, [&] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            seen = box->frameGeometry().center();
            box->close();
        }
    });
    ModalBox box;
    box.owner = dlg->PageList().GetAt(0);
    box.text = "Error No.6004\n\n/w/in.wav\nIt is not WAV.";
    box.caption = "Vantorel";
    box.icon = BoxIcon::Error;
    ShowModalBox(box);
    const QPoint d = seen - dlg->frameGeometry().center();
    EXPECT_LE(d.manhattanLength(), 2) << d.x() << "," << d.y();
}

// The framework's own texts follow the program's language rule.
TEST(FrameworkTexts, JapaneseOnAJapaneseSystemOnly) {
    const char* replace = "%1 already exists.\nDo you want to replace it?";
    {
        ScopedLanguage ja(true);
        auto t = InstallFrameworkTranslations();
        ASSERT_NE(t, nullptr);
        const QString prompt = QCoreApplication::translate("QFileDialog", replace);
        EXPECT_NE(prompt, QString::fromLatin1(replace));
        EXPECT_TRUE(prompt.contains(QStringLiteral("%1")));
        EXPECT_NE(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Cancel");
    }
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", replace), QString::fromLatin1(replace));
    ScopedLanguage en(false);
    EXPECT_EQ(InstallFrameworkTranslations(), nullptr);
}

TEST(Remembered, WindowPlaceAcrossRuns) {
    test::ScopedSettingsStore store;
    {
        CVantorelDlg first;
        first.CreateDlg(nullptr);
        first.show();
        first.move(123, 77);
        QApplication::processEvents();
        first.OnClose();
    }
    {
        CVantorelDlg second;
        second.CreateDlg(nullptr);
        EXPECT_EQ(second.pos(), QPoint(123, 77));
        second.move(-5000, -4000);  // a place no screen shows
        second.OnClose();
    }
    CVantorelDlg third;
    third.CreateDlg(nullptr);
    EXPECT_NE(third.pos(), QPoint(-5000, -4000));
    EXPECT_TRUE(QGuiApplication::primaryScreen()->availableGeometry().contains(third.pos()));
}

}  // namespace
}  // namespace vt::gui
