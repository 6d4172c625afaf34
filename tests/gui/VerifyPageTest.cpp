// "Verify the output" on the operation pages: a setting every page shares,
// kept between runs of the program; a run with it on reads its output back
// and says so on the progress line, on the user-interface thread (AVI, WAV,
// FLV) and on the worker (WMV, WMA) alike.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "core/Settings.h"
#include "pages/avi/AVICutterDlg.h"
#include "pages/avi/AVIExtract.h"
#include "pages/avi/WAVLinkerDlg.h"
#include "pages/flv/FLvLinkerDlg.h"
#include "pages/wm/WMVLinkerDlg.h"
#include "tests/common/TestSupport.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/gui/PageDriver.h"

namespace vt::gui {
namespace {

namespace fs = std::filesystem;
using test::BoxRecorder;
using test::Click;
using test::Make;

const std::string kPicture = "-f lavfi -i testsrc=size=96x64:rate=25:duration=1 ";
const std::string kTone = "-f lavfi -i sine=frequency=440:sample_rate=22050:duration=1 ";

// Runs the page's start button `start` and waits for the run (and its check) to end.
// (A Windows Media page begins on its worker, after the click has returned.)
void RunToEnd(CBaseOpe* page, int start) {
    Click(page, start);
    EXPECT_TRUE(test::WaitForText(page, kIdInfo, "100 %", 20000));
    for (int i = 0; i < 2000 && page->IsRunning(); ++i) QTest::qWait(10);
    EXPECT_FALSE(page->IsRunning());
}

TEST(PageVerify, TheOptionIsRememberedAndARunWithItOnReportsVerified) {
    test::ScopedLanguage lang(false);
    test::ScopedSettingsStore store;
    const fs::path wav = vt::test::MakeFixture("gui_verify.wav", kTone + "-c:a pcm_s16le");
    const fs::path avi = vt::test::MakeFixture(
        "gui_verify.avi", kPicture + kTone + "-c:v mpeg4 -g 10 -c:a pcm_s16le -shortest");
    const fs::path wmv = vt::test::MakeFixture(
        "gui_verify.wmv", kPicture + kTone + "-c:v wmv2 -b:v 200k -g 15 -c:a wmav2 -b:a 64k");
    const fs::path flv = vt::test::MakeFixture(
        "gui_verify.flv", kPicture + kTone + "-c:v flv1 -g 12 -c:a libmp3lame -ar 22050");
    if (wav.empty() || avi.empty() || wmv.empty() || flv.empty())
        GTEST_SKIP() << "no fixtures (ffmpeg missing?)";
    vt::test::TempDir dir;

    {
        // Off until it is turned on, in the page's context menu; the page keeps its controls.
        auto page = Make<CWAVLinkerDlg>();
        ASSERT_NE(page->VerifyAction(), nullptr);
        EXPECT_EQ(page->VerifyAction()->text().toStdString(), "Verify the output");
        EXPECT_EQ(page->contextMenuPolicy(), Qt::ActionsContextMenu);
        EXPECT_FALSE(page->VerifyAction()->isChecked());
        page->VerifyAction()->trigger();
        EXPECT_TRUE(ReadVerifyOutput());
    }

    struct Case {
        const char* name;
        std::function<std::unique_ptr<CBaseOpe>()> make;
        std::vector<fs::path> inputs;
        int start;
        const char* output;
        const char* verified;
    };
    const std::vector<Case> cases = {
        {"wav join (user-interface thread)",
         [] { return std::unique_ptr<CBaseOpe>(Make<CWAVLinkerDlg>()); },
         {wav, wav},
         kIdStart,
         "j.wav",
         "bytes of audio data identical to the inputs"},
        {"avi audio separation",
         [] { return std::unique_ptr<CBaseOpe>(Make<CAVICutterDlg>()); },
         {avi},
         kIdStartAudio,
         "s.wav",
         "0 video packets and"},
        {"avi extraction",
         [] { return std::unique_ptr<CBaseOpe>(Make<CAVIExtract>()); },
         {avi},
         kIdStart,
         "e.avi",
         "25 video packets"},
        {"wmv join (worker)",
         [] { return std::unique_ptr<CBaseOpe>(Make<CWMVLinkerDlg>()); },
         {wmv, wmv},
         kIdStart,
         "j.wmv",
         "audio packets identical to the inputs"},
        {"flv join",
         [] { return std::unique_ptr<CBaseOpe>(Make<CFLvLinkerDlg>()); },
         {flv, flv},
         kIdStart,
         "j.flv",
         "50 video and"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BoxRecorder boxes;
        // A new page (a new run of the program) has the option on.
        auto page = c.make();
        EXPECT_TRUE(page->VerifyAction()->isChecked());
        for (const fs::path& p : c.inputs) page->SetInputFile(p.string());
        page->OutputPath() = (dir / c.output).string();
        page->UpdateData(false);
        RunToEnd(page.get(), c.start);
        const std::string line = page->GetCtrlText(kIdInfo);
        EXPECT_NE(line.find("verified: "), std::string::npos) << line;
        EXPECT_NE(line.find(c.verified), std::string::npos) << line;
        EXPECT_TRUE(boxes.boxes.empty()) << boxes.boxes.front().text;
    }

    // Turned off on one page, it is off for the others (their menus show it
    // as it is) and a run only says it is done.
    auto wavPage = Make<CWAVLinkerDlg>();
    auto other = Make<CWMVLinkerDlg>();
    wavPage->VerifyAction()->trigger();
    EXPECT_FALSE(ReadVerifyOutput());
    // The menu opens (and is closed at once) as on a right click.
    QTimer::singleShot(0, [] {
        if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
    });
    QContextMenuEvent menu(QContextMenuEvent::Mouse, QPoint(1, 1), QPoint(1, 1));
    QCoreApplication::sendEvent(other.get(), &menu);
    EXPECT_FALSE(other->VerifyAction()->isChecked());
    wavPage->SetInputFile(wav.string());
    wavPage->OutputPath() = (dir / "plain.wav").string();
    wavPage->UpdateData(false);
    RunToEnd(wavPage.get(), kIdStart);
    EXPECT_EQ(wavPage->GetCtrlText(kIdInfo), "100 %");
}

// A WAV join page whose check reads another file than the one the run wrote.
class CheckedElsewhere : public CWAVLinkerDlg {
  public:
    using CWAVLinkerDlg::CWAVLinkerDlg;
    std::optional<OpJob> JobOfFields() const override {
        std::optional<OpJob> job = CWAVLinkerDlg::JobOfFields();
        if (job) job->output = checked;
        return job;
    }
    std::string checked;
};

TEST(PageVerify, ADifferenceIsShownInAnErrorBox) {
    test::ScopedLanguage lang(false);
    test::ScopedSettingsStore store;
    const fs::path wav = vt::test::MakeFixture("gui_verify.wav", kTone + "-c:a pcm_s16le");
    if (wav.empty()) GTEST_SKIP() << "no fixture (ffmpeg missing?)";
    vt::test::TempDir dir;
    // The input with one byte of its data changed: what a damaged copy would hold.
    std::vector<uint8_t> bytes = vt::test::ReadFile(wav);
    bytes[bytes.size() / 2] ^= 0x5A;
    const fs::path damaged = dir / "damaged.wav";
    vt::test::WriteFile(damaged, bytes);

    WriteVerifyOutput(true);
    BoxRecorder boxes;
    auto page = Make<CheckedElsewhere>();
    page->checked = damaged.string();
    page->SetInputFile(wav.string());
    page->OutputPath() = (dir / "j.wav").string();
    page->UpdateData(false);
    RunToEnd(page.get(), kIdStart);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    const std::string& text = boxes.boxes[0].text;
    EXPECT_EQ(
        text.rfind("The output does not match the inputs:\n" + damaged.string() + "\naudio data: the bytes ",
                   0),
        0u)
        << text;
    EXPECT_NE(text.find(" differ"), std::string::npos) << text;
    const std::string line = page->GetCtrlText(kIdInfo);
    EXPECT_NE(line.find("not verified: audio data: the bytes "), std::string::npos) << line;
    EXPECT_FALSE(page->IsRunning());
}

}  // namespace
}  // namespace vt::gui
