#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QLineEdit>
#include <functional>
#include <memory>

#include "core/ErrorCodes.h"
#include "pages/wm/WMVCreatorDlg.h"
#include "pages/wm/WMVCutterDlg.h"
#include "pages/wm/WMVExtract.h"
#include "pages/wm/WMVLinkerDlg.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/gui/PageDriver.h"
#include "tests/wmops/WmOpsTestSupport.h"

namespace vt::gui {
namespace {

using test::Click;
using test::Make;
using test::WaitForText;
using namespace vt::test;
using test::BoxRecorder;

// Handles events until the page's run has ended and its workers are gone.
template <class P>
bool WaitIdle(P& page, int timeoutMs = 60000) {
    QElapsedTimer t;
    t.start();
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (!page.IsRunning() && !page.OperationBusy()) {
            QCoreApplication::processEvents();
            return true;
        }
    } while (t.elapsed() < timeoutMs);
    return false;
}

std::vector<int> ErrorCodesShown(const BoxRecorder& boxes) {
    std::vector<int> codes;
    for (const auto& b : boxes.boxes)
        for (int code :
             {kErrWmOpen, kErrWmCodec, kErrWmProcess, kErrWmInfo, kErrWmInfoSet, kErrWmEncInit, kErrWmOutput})
            if (b.text.find(std::to_string(code)) != std::string::npos) codes.push_back(code);
    return codes;
}

TEST(WmPages, SeparationWritesTheChosenStreamUnderItsExtension) {
    TempDir dir;
    BoxRecorder boxes;
    auto page = Make<CWMVCutterDlg>();
    page->SetInputFile(WmvFixture().string());
    page->SetCtrlText(kIdOutputEdit, (dir / "out.wma").string());
    Click(page.get(), kIdStartVideo);
    ASSERT_TRUE(WaitIdle(*page));
    // The name takes the video's extension.
    EXPECT_EQ(page->GetCtrlText(kIdOutputEdit), (dir / "out.wmv").string());
    EXPECT_EQ(PacketChecksums(dir / "out.wmv", "0"), PacketChecksums(WmvFixture(), "v:0"));
    EXPECT_EQ(StreamCount(dir / "out.wmv", "audio"), 0);

    page->SetCtrlText(kIdOutputEdit, (dir / "noext").string());
    Click(page.get(), kIdStartAudio);
    ASSERT_TRUE(WaitIdle(*page));
    EXPECT_EQ(PacketChecksums(dir / "noext.wma", "0"), PacketChecksums(WmvFixture(), "a:0"));
    EXPECT_TRUE(DecodesCleanly(dir / "noext.wma"));
    EXPECT_TRUE(boxes.boxes.empty());

    // No audio: the error box, nothing written, the page usable again.
    page->SetInputFile(VideoOnlyFixture().string());
    page->SetCtrlText(kIdOutputEdit, (dir / "none").string());
    Click(page.get(), kIdStartAudio);
    ASSERT_TRUE(WaitIdle(*page));
    EXPECT_EQ(ErrorCodesShown(boxes), std::vector<int>{kErrWmInfo});
    EXPECT_FALSE(fs::exists(dir / "none.wma"));
    EXPECT_TRUE(page->GetDlgItem(kIdStartAudio)->isEnabled());
}

TEST(WmPages, UnionOfTwoSources) {
    TempDir dir;
    BoxRecorder boxes;
    auto page = Make<CWMVCreatorDlg>();
    page->SetInputFile(WmaFixture().string());        // a .wma: the audio source
    page->SetInputFile(VideoOnlyFixture().string());  // the video source, naming the output
    page->SetCtrlText(kIdOutputEdit, (dir / "u.wmv").string());
    Click(page.get(), kIdStart);
    ASSERT_TRUE(WaitIdle(*page));
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(PacketChecksums(dir / "u.wmv", "v:0"), PacketChecksums(VideoOnlyFixture(), "v:0"));
    EXPECT_EQ(PacketChecksums(dir / "u.wmv", "a:0"), PacketChecksums(WmaFixture(), "a:0"));
    EXPECT_TRUE(DecodesCleanly(dir / "u.wmv"));

    // An audio source with a damaged packet: the run's failure is shown once.
    ASSERT_FALSE(DamagedCopy(WmaFixture(), dir / "short.wma").empty());
    page->SetCtrlText(kIdAudioEdit, (dir / "short.wma").string());
    page->SetCtrlText(kIdOutputEdit, (dir / "f.wmv").string());
    Click(page.get(), kIdStart);
    ASSERT_TRUE(WaitIdle(*page));
    EXPECT_EQ(ErrorCodesShown(boxes), std::vector<int>{kErrWmProcess});
    EXPECT_TRUE(DecodesCleanly(dir / "f.wmv"));
    boxes.boxes.clear();

    // A video source without video.
    page->SetCtrlText(kIdSourceEdit, WmaFixture().string());
    page->SetCtrlText(kIdOutputEdit, (dir / "v.wmv").string());
    Click(page.get(), kIdStart);
    ASSERT_TRUE(WaitIdle(*page));
    EXPECT_EQ(ErrorCodesShown(boxes), std::vector<int>{kErrWmInfo});
    EXPECT_FALSE(fs::exists(dir / "v.wmv"));
}

TEST(WmPages, ConnectionJoinsTheListAndStopsQuietly) {
    TempDir dir;
    BoxRecorder boxes;
    auto page = Make<CWMVLinkerDlg>();
    // An empty list: Start does nothing.
    Click(page.get(), kIdStart);
    ASSERT_TRUE(WaitIdle(*page));
    EXPECT_FALSE(page->IsRunning());

    page->SetInputFile(WmvFixture().string());
    page->SetInputFile(WmvFixtureB().string());
    page->SetCtrlText(kIdOutputEdit, (dir / "j.wmv").string());
    Click(page.get(), kIdStart);
    ASSERT_TRUE(WaitIdle(*page));
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(PacketChecksums(dir / "j.wmv", "v:0"),
              Concat(PacketChecksums(WmvFixture(), "v:0"), PacketChecksums(WmvFixtureB(), "v:0")));
    EXPECT_TRUE(DecodesCleanly(dir / "j.wmv"));

    // A later file that cannot be opened: 8201, the earlier file kept.
    page->SetInputFile((dir / "missing.wmv").string());
    Click(page.get(), kIdStart);
    ASSERT_TRUE(WaitIdle(*page));
    EXPECT_EQ(ErrorCodesShown(boxes), std::vector<int>{kErrWmOpen});
    EXPECT_TRUE(DecodesCleanly(dir / "j.wmv"));
}

TEST(WmPages, StopShowsNoMessageAndLeavesAPlayableFile) {
    TempDir dir;
    BoxRecorder boxes;
    auto page = Make<CWMVLinkerDlg>();
    for (int i = 0; i < 8; ++i) page->SetInputFile(WmvFixture().string());
    page->SetCtrlText(kIdOutputEdit, (dir / "j.wmv").string());
    Click(page.get(), kIdStart);
    QElapsedTimer t;
    t.start();
    while (!page->IsRunning() && page->OperationBusy() && t.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    if (page->IsRunning()) Click(page.get(), kIdStop);
    ASSERT_TRUE(WaitIdle(*page));
    EXPECT_TRUE(boxes.boxes.empty());
    // A Stop before the first sample leaves a file with its header only.
    std::string errors;
    EXPECT_TRUE(Packets(dir / "j.wmv").empty() || DecodesCleanly(dir / "j.wmv", &errors)) << errors;
    EXPECT_EQ(StreamCount(dir / "j.wmv", "video"), 1);
    EXPECT_TRUE(page->GetDlgItem(kIdStart)->isEnabled());
}

TEST(WmPages, ClosingARunningPageStopsItsWork) {
    TempDir dir;
    BoxRecorder boxes;
    auto page = Make<CWMVLinkerDlg>();
    for (int i = 0; i < 8; ++i) page->SetInputFile(WmvFixture().string());
    page->SetCtrlText(kIdOutputEdit, (dir / "j.wmv").string());
    Click(page.get(), kIdStart);
    page.reset();  // waits for the worker, which stops
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_TRUE(!fs::exists(dir / "j.wmv") || Packets(dir / "j.wmv").empty() ||
                DecodesCleanly(dir / "j.wmv"));
}

TEST(WmPages, ExtractionProposesTheWholeFileAndForgetsABadOne) {
    TempDir dir;
    BoxRecorder boxes;
    auto page = Make<CWMVExtract>();
    page->SetInputFile(WmvFixture().string());
    // The end fields show the length, the start 0.
    CDecCompWMV reader;
    ASSERT_EQ(reader.Open(WmvFixture().string(), 0, 0), 0);
    const TimeFields end = WmDurationFields(reader.GetDuration());
    EXPECT_EQ(page->Fields().end.seconds, end.seconds);
    EXPECT_EQ(page->Fields().end.milliseconds, end.milliseconds);
    EXPECT_EQ(page->Fields().start.seconds, 0);
    page->SetCtrlText(kIdOutputEdit, (dir / "e.wmv").string());
    Click(page.get(), kIdStart);
    ASSERT_TRUE(WaitIdle(*page));
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(PacketChecksums(dir / "e.wmv", "v:0"), PacketChecksums(WmvFixture(), "v:0"));
    EXPECT_EQ(PacketChecksums(dir / "e.wmv", "a:0"), PacketChecksums(WmvFixture(), "a:0"));

    // A start between key frames (at 46 ms and 1046 ms): the section begins
    // at the key frame before it, and the start fields show where.
    page->SetCtrlText(1083, "1");
    page->SetCtrlText(1084, "500");
    // Found on a worker thread as soon as the times are typed, before the run.
    EXPECT_TRUE(WaitForText(page.get(), CBaseExtract::kIdRealStart, "0:00:01.046"))
        << page->GetCtrlText(CBaseExtract::kIdRealStart);
    Click(page.get(), kIdStart);
    ASSERT_TRUE(WaitIdle(*page));
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(page->Fields().start.seconds, 1);
    EXPECT_EQ(page->Fields().start.milliseconds, 46);
    EXPECT_EQ(page->GetCtrlText(1084), "046");
    EXPECT_TRUE(DecodesCleanly(dir / "e.wmv"));

    // A bad file: the fields empty, no message.
    const fs::path bad = dir / "bad.wmv";
    WriteFile(bad, {1, 2, 3});
    page->SetInputFile(bad.string());
    EXPECT_TRUE(page->Fields().input.empty());
    EXPECT_TRUE(page->Fields().output.empty());
    EXPECT_EQ(page->Fields().end.seconds, 0);
    EXPECT_EQ(page->Fields().end.milliseconds, 0);
    EXPECT_EQ(page->GetCtrlText(kIdSourceEdit), "");
    EXPECT_TRUE(boxes.boxes.empty());
}

}  // namespace
}  // namespace vt::gui
