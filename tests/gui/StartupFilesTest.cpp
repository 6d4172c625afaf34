// Files named on the desktop program's command line reach the page shown at
// start exactly as a drop of the same files would.
#include <gtest/gtest.h>

#include <QMimeData>
#include <QTest>
#include <QUrl>
#include <filesystem>

#include "app/StartupFiles.h"
#include "app/VantorelDlg.h"
#include "ops/BaseKinds.h"
#include "tests/gui/GuiTestSupport.h"

namespace vt::gui {
namespace {

TEST(StartupFiles, ArgumentsBecomeFullPathsInOrder) {
    const std::string cwd = std::filesystem::current_path().string();
    const char* argv[] = {"vantorel", "clip.avi", "", "/m/b.wav", "sub/c d.flv", "--help", nullptr};
    EXPECT_EQ(StartupFiles(6, argv), (std::vector<std::string>{cwd + "/clip.avi", "/m/b.wav",
                                                               cwd + "/sub/c d.flv", cwd + "/--help"}));
    const char* none[] = {"vantorel", nullptr};
    EXPECT_TRUE(StartupFiles(1, none).empty());
}

// The fields of the page shown at start after `deliver` ran on a new window.
template <class Deliver>
CutterFields StartPageAfter(Deliver deliver) {
    test::App();
    CVantorelDlg dlg;
    EXPECT_TRUE(dlg.CreateDlg(nullptr));
    dlg.show();
    deliver(dlg);
    QTest::qWait(20);
    auto* page = dynamic_cast<CBaseCutter*>(dlg.PageList().GetAt(dlg.CurrentPage()));
    EXPECT_NE(page, nullptr);
    return page ? page->Fields() : CutterFields{};
}

TEST(StartupFiles, ReachTheStartPageAsIfDropped) {
    test::ScopedLanguage lang{false};
    const std::vector<std::vector<std::string>> cases = {
        {"/m/clip.avi"},
        {"/m/first.avi", "/m/second.avi"},
        {"/m/sound.wav"},
    };
    for (const auto& files : cases) {
        const CutterFields queued = StartPageAfter([&](CVantorelDlg& dlg) { QueueStartupFiles(dlg, files); });
        const CutterFields dropped = StartPageAfter([&](CVantorelDlg& dlg) {
            QMimeData mime;
            QList<QUrl> urls;
            for (const std::string& f : files) urls << QUrl::fromLocalFile(QString::fromStdString(f));
            mime.setUrls(urls);
            test::DropFiles(dlg.GetDlgItem(kIdTitleBar), mime);
        });
        EXPECT_FALSE(dropped.input.empty()) << files.front();
        EXPECT_EQ(queued.input, dropped.input) << files.front();
        EXPECT_EQ(queued.output, dropped.output) << files.front();
    }
    // Without files the start page stays empty.
    const CutterFields none = StartPageAfter([](CVantorelDlg& dlg) { QueueStartupFiles(dlg, {}); });
    EXPECT_TRUE(none.input.empty());
    EXPECT_TRUE(none.output.empty());
}

TEST(StartupFiles, WaitForTheEventLoopAndDieWithTheWindow) {
    test::App();
    {
        CVantorelDlg dlg;
        ASSERT_TRUE(dlg.CreateDlg(nullptr));
        QueueStartupFiles(dlg, {"/m/clip.avi"});
        auto* page = dynamic_cast<CBaseCutter*>(dlg.PageList().GetAt(0));
        ASSERT_NE(page, nullptr);
        EXPECT_TRUE(page->Fields().input.empty());  // not before the loop runs
        QTest::qWait(20);
        EXPECT_EQ(page->Fields().input, "/m/clip.avi");
    }
    {
        auto dlg = std::make_unique<CVantorelDlg>();
        ASSERT_TRUE(dlg->CreateDlg(nullptr));
        QueueStartupFiles(*dlg, {"/m/clip.avi"});
        dlg.reset();  // closed before the loop ran: the files go nowhere
        QTest::qWait(20);
    }
}

}  // namespace
}  // namespace vt::gui
