// The three FLV pages run as a user runs them: a file set on the page, the
// start button pressed, the result checked with ffprobe, the progress line and
// the running state checked on the page.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLineEdit>
#include <QListWidget>
#include <QTimer>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "core/ErrorCodes.h"
#include "flv/FlvFile.h"
#include "pages/flv/FLVCutterDlg.h"
#include "pages/flv/FLVExtract.h"
#include "pages/flv/FLvLinkerDlg.h"
#include "pages/flv/FlvOperations.h"
#include "tests/flv/FlvTestUtil.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/gui/PageDriver.h"

namespace vt::gui {
namespace {

using test::Click;
using test::Make;
using test::SetText;
using test::WaitForText;
namespace fs = std::filesystem;
using vt::gui::test::BoxRecorder;
using vt::test::PacketChecksums;
using vt::test::TempDir;

// Idle again after a run: Stop off, the start buttons on.
void ExpectIdle(CBaseOpe* page, std::vector<int> startIds) {
    EXPECT_EQ(page->IsIdle(), 1);
    EXPECT_FALSE(page->IsRunning());
    EXPECT_FALSE(page->GetDlgItem(kIdStop)->isEnabled());
    for (int id : startIds) EXPECT_TRUE(page->GetDlgItem(id)->isEnabled()) << id;
}

// A fixture copied next to the outputs, so the pages' default output names
// land in the test's own folder.
fs::path CopyIn(const TempDir& dir, const fs::path& fixture, const std::string& name) {
    fs::path p = dir / name;
    fs::copy_file(fixture, p);
    return p;
}

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

void SetTimes(CBaseDialog* page, const std::vector<std::string>& texts) {
    for (int i = 0; i < 8; ++i) SetText(page, 1081 + i, texts[size_t(i)]);
}

TEST(FlvCutterPage, EachButtonWritesItsStreamUnderItsOwnExtension) {
    BoxRecorder boxes;
    TempDir dir;
    const fs::path in = CopyIn(dir, vt::test::H263Mp3Fixture(), "movie.flv");
    auto page = Make<CFLVCutterDlg>();
    page->SetInputFile(in.string());
    ASSERT_EQ(page->GetCtrlText(kIdOutputEdit), (dir / "movie_cut.flv").string());

    struct Case {
        int button;
        std::string output;
        std::string stream;
    } cases[] = {
        {kIdStartAudio, "movie_cut.mp3", "a:0"},
        {kIdStartVideo, "movie_cut.avi", "v:0"},  // from the .mp3 name the audio run left
        {kIdStartAudio, "movie_cut.mp3", "a:0"},  // again: the old output is replaced
    };
    for (const auto& c : cases) {
        Click(page.get(), c.button);
        const fs::path out = dir / c.output;
        EXPECT_EQ(page->GetCtrlText(kIdOutputEdit), out.string()) << c.output;
        EXPECT_EQ(PacketChecksums(out, c.stream), PacketChecksums(in, c.stream)) << c.output;
        EXPECT_EQ(vt::test::StreamCount(out, "video") + vt::test::StreamCount(out, "audio"), 1) << c.output;
        EXPECT_EQ(page->GetCtrlText(kIdInfo), "100 %");
        ExpectIdle(page.get(), {kIdStartVideo, kIdStartAudio});
    }
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_FALSE(fs::exists(dir / "movie_cut.flv"));
}

// AAC audio: the output field shows the .aac name and the file is ADTS; a
// codec that cannot be written is named in the box.
TEST(FlvCutterPage, AacAudioGoesToAnAacFile) {
    BoxRecorder boxes;
    TempDir dir;
    const fs::path in = CopyIn(dir, vt::test::H264AacFixture(), "movie.flv");
    auto page = Make<CFLVCutterDlg>();
    page->SetInputFile(in.string());
    Click(page.get(), kIdStartAudio);
    const fs::path out = dir / "movie_cut.aac";
    EXPECT_EQ(page->GetCtrlText(kIdOutputEdit), out.string());
    EXPECT_EQ(vt::test::DecodedAudioMd5(out), vt::test::DecodedAudioMd5(in));
    EXPECT_EQ(vt::test::Probe(out, "a:0", "codec_name"), "aac");
    EXPECT_TRUE(boxes.boxes.empty());

    const fs::path nelly = CopyIn(dir, vt::test::NellymoserFixture(), "nelly.flv");
    page->SetInputFile(nelly.string());
    Click(page.get(), kIdStartAudio);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_NE(boxes.boxes[0].text.find("The audio is Nellymoser"), std::string::npos) << boxes.boxes[0].text;
    EXPECT_FALSE(fs::exists(dir / "nelly_cut.mp3"));
}

TEST(FlvLinkerPage, JoinsTheListInOrder) {
    BoxRecorder boxes;
    TempDir dir;
    const fs::path a = CopyIn(dir, vt::test::H263Mp3Fixture(), "a.flv");
    const fs::path b = CopyIn(dir, vt::test::H263Mp3SecondFixture(), "b.flv");
    auto page = Make<CFLvLinkerDlg>();
    page->SetInputFile(b.string());
    page->SetInputFile(a.string());
    const fs::path out = dir / "b_link.flv";
    ASSERT_EQ(page->GetCtrlText(kIdOutputEdit), out.string());

    Click(page.get(), kIdStart);
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(PacketChecksums(out, "v:0"), Concat(PacketChecksums(b, "v:0"), PacketChecksums(a, "v:0")));
    EXPECT_EQ(PacketChecksums(out, "a:0"), Concat(PacketChecksums(b, "a:0"), PacketChecksums(a, "a:0")));
    EXPECT_TRUE(vt::test::DecodesCleanly(out));
    EXPECT_EQ(page->GetCtrlText(kIdInfo), "100 %");
    ExpectIdle(page.get(), {kIdStart});
}

TEST(FlvLinkerPage, OneFileDoesNothing) {
    BoxRecorder boxes;
    TempDir dir;
    const fs::path a = CopyIn(dir, vt::test::H263Mp3Fixture(), "a.flv");
    auto page = Make<CFLvLinkerDlg>();
    page->SetInputFile(a.string());
    const std::string info = page->GetCtrlText(kIdInfo);
    Click(page.get(), kIdStart);
    EXPECT_FALSE(fs::exists(dir / "a_link.flv"));
    EXPECT_EQ(page->GetCtrlText(kIdInfo), info);
    EXPECT_TRUE(boxes.boxes.empty());
    ExpectIdle(page.get(), {kIdStart});
}

TEST(FlvLinkerPage, ALaterFileThatIsNotAnFlvEndsTheJoinAndIsNamed) {
    BoxRecorder boxes;
    TempDir dir;
    const fs::path a = CopyIn(dir, vt::test::H263Mp3Fixture(), "a.flv");
    const fs::path b = CopyIn(dir, vt::test::H263Mp3SecondFixture(), "b.flv");
    const fs::path junk = dir / "junk.flv";
    vt::test::WriteFile(junk, std::vector<uint8_t>(400, 0x41));
    auto page = Make<CFLvLinkerDlg>();
    for (const fs::path& p : {a, junk, b}) page->SetInputFile(p.string());

    Click(page.get(), kIdStart);
    // What was joined before the bad file is written ...
    const fs::path out = dir / "a_link.flv";
    EXPECT_EQ(PacketChecksums(out, "v:0"), PacketChecksums(a, "v:0"));
    // ... and the user learns which file was left out.
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].caption, "エラーNo.9011");
    EXPECT_NE(boxes.boxes[0].text.find(junk.string()), std::string::npos);
    ExpectIdle(page.get(), {kIdStart});
}

TEST(FlvExtractPage, WritesTheSectionOfTheTimeFields) {
    BoxRecorder boxes;
    TempDir dir;
    const fs::path in = CopyIn(dir, vt::test::H263Mp3Fixture(), "movie.flv");
    auto page = Make<CFLVExtract>();
    page->SetInputFile(in.string());
    const fs::path out = dir / "movie_extr.flv";
    ASSERT_EQ(page->GetCtrlText(kIdOutputEdit), out.string());

    // Whole file as the library writes it, for comparison.
    const fs::path whole = dir / "whole.flv";
    vt::test::RecordingHost host;
    ASSERT_EQ(FlvExtraction(host, in.string(), whole.string(), 0, 0).code, 0);
    const fs::path part = dir / "part.flv";
    ASSERT_EQ(FlvExtraction(host, in.string(), part.string(), 500, 1500).code, 0);

    struct Case {
        const char* what;
        std::vector<std::string> times;  // start h m s ms, end h m s ms
        fs::path like;
    } cases[] = {
        {"0.5 s to 1.5 s", {"0", "0", "0", "500", "0", "0", "1", "500"}, part},
        {"end 0: to the end", {"0", "0", "0", "0", "0", "0", "0", "0"}, whole},
        // 1193:02:48.296 is 2^32 + 1000 ms: it must not wrap round to 1 s.
        {"end past 32 bits", {"0", "0", "0", "0", "1193", "2", "48", "296"}, whole},
    };
    // As soon as the times are typed the page shows where the section begins:
    // the key frame the library's Extract steps back to.
    SetTimes(page.get(), cases[0].times);
    CFlvFile probe;
    ASSERT_EQ(probe.Open(in.string()), 0);
    ASSERT_EQ(probe.Extract(500, 1500), 0);
    ASSERT_LE(probe.SectionStart(), 500u);
    char want[32];
    std::snprintf(want, sizeof want, "0:00:%02u.%03u", probe.SectionStart() / 1000,
                  probe.SectionStart() % 1000);
    EXPECT_TRUE(WaitForText(page.get(), CBaseExtract::kIdRealStart, want))
        << want << " / " << page->GetCtrlText(CBaseExtract::kIdRealStart);

    for (const auto& c : cases) {
        SetTimes(page.get(), c.times);
        Click(page.get(), kIdStart);
        EXPECT_TRUE(boxes.boxes.empty()) << c.what;
        EXPECT_EQ(PacketChecksums(out, "v:0"), PacketChecksums(c.like, "v:0")) << c.what;
        EXPECT_EQ(PacketChecksums(out, "a:0"), PacketChecksums(c.like, "a:0")) << c.what;
        EXPECT_EQ(page->GetCtrlText(kIdInfo), "100 %") << c.what;
        ExpectIdle(page.get(), {kIdStart});
    }
    EXPECT_LT(PacketChecksums(part, "v:0").size(), PacketChecksums(whole, "v:0").size());
}

// The real start comes from the index read with the file: typing reads
// nothing, so it shows even when the file has gone since; a file changed
// since is read again.
TEST(FlvExtractPage, RealStartComesFromTheIndexReadWithTheFile) {
    TempDir dir;
    const fs::path in = CopyIn(dir, vt::test::H264AacFixture(), "movie.flv");
    auto page = Make<CFLVExtract>();
    page->SetInputFile(in.string());
    auto realStart = [](const fs::path& file, uint32_t start, uint32_t end) {
        CFlvFile f;
        EXPECT_EQ(f.Open(file.string()), 0);
        EXPECT_EQ(f.Extract(start, end), 0);
        char text[32];
        std::snprintf(text, sizeof text, "0:00:%02u.%03u", f.SectionStart() / 1000, f.SectionStart() % 1000);
        return std::string(text);
    };
    const std::string video = realStart(in, 1000, 1500);
    const std::string sound = realStart(vt::test::Mp3OnlyFixture(), 1000, 1600);
    ASSERT_NE(video, sound);

    fs::remove(in);
    SetTimes(page.get(), {"0", "0", "1", "0", "0", "0", "1", "500"});
    EXPECT_TRUE(WaitForText(page.get(), CBaseExtract::kIdRealStart, video))
        << video << " / " << page->GetCtrlText(CBaseExtract::kIdRealStart);

    fs::copy_file(vt::test::Mp3OnlyFixture(), in);
    SetText(page.get(), 1088, "600");
    EXPECT_TRUE(WaitForText(page.get(), CBaseExtract::kIdRealStart, sound))
        << sound << " / " << page->GetCtrlText(CBaseExtract::kIdRealStart);
}

// Failures show one box with the library's code; nothing is written and the
// page is ready again without "100 %".
TEST(FlvPages, FailuresShowTheirCode) {
    TempDir dir;
    const fs::path junk = dir / "junk.flv";
    vt::test::WriteFile(junk, std::vector<uint8_t>(400, 0x41));
    const fs::path speex = CopyIn(dir, vt::test::SpeexFixture(), "speex.flv");
    const fs::path good = CopyIn(dir, vt::test::H263Mp3Fixture(), "good.flv");

    struct Case {
        const char* what;
        std::function<std::unique_ptr<CBaseOpe>()> make;
        std::vector<fs::path> inputs;
        int button;
        std::vector<int> startIds;
        fs::path output;
        std::string caption;
    } cases[] = {
        {"Speex audio",
         [] { return Make<CFLVCutterDlg>(); },
         {speex},
         kIdStartAudio,
         {kIdStartVideo, kIdStartAudio},
         dir / "speex_cut.mp3",
         "エラーNo.9025"},
        {"separation of junk",
         [] { return Make<CFLVCutterDlg>(); },
         {junk},
         kIdStartVideo,
         {kIdStartVideo, kIdStartAudio},
         dir / "junk_cut.avi",
         "エラーNo.9011"},
        {"join, first junk",
         [] { return Make<CFLvLinkerDlg>(); },
         {junk, good},
         kIdStart,
         {kIdStart},
         dir / "junk_link.flv",
         "エラーNo.9011"},
        // The extraction page reads a loaded file's length and forgets one it
        // cannot read, so the run has no input to open.
        {"extraction of junk",
         [] { return Make<CFLVExtract>(); },
         {junk},
         kIdStart,
         {kIdStart},
         dir / "junk_extr.flv",
         "エラーNo.9001"},
    };
    for (const auto& c : cases) {
        BoxRecorder boxes;
        auto page = c.make();
        for (const fs::path& p : c.inputs) page->SetInputFile(p.string());
        Click(page.get(), c.button);
        ASSERT_EQ(boxes.boxes.size(), 1u) << c.what;
        EXPECT_EQ(boxes.boxes[0].caption, c.caption) << c.what;
        EXPECT_FALSE(fs::exists(c.output)) << c.what;
        EXPECT_NE(page->GetCtrlText(kIdInfo), "100 %") << c.what;
        ExpectIdle(page.get(), c.startIds);
    }
}

// A clock that moves 600 ms at every reading, so every progress call updates
// the display and handles the waiting events.
uint32_t RacingClock() {
    static uint32_t now = 0;
    return now += 600;
}

TEST(FlvPages, StopLeavesAPlayablePartWithoutAMessage) {
    TempDir dir;
    // Long enough to be stopped well before its end.
    const fs::path in = dir / "long.flv";
    fs::copy_file(vt::test::MakeFixture("flvops_long.flv",
                                        "-f lavfi -i testsrc=size=160x120:rate=25:duration=8 "
                                        "-f lavfi -i sine=frequency=440:duration=8 "
                                        "-c:v flv1 -g 12 -q:v 8 -c:a libmp3lame -b:a 64k -ar 44100"),
                  in);

    struct Case {
        const char* what;
        std::function<std::unique_ptr<CBaseOpe>()> make;
        int button;
        std::vector<int> startIds;
        fs::path output;
        std::string stream;
    } cases[] = {
        {"separation",
         [] { return Make<CFLVCutterDlg>(); },
         kIdStartVideo,
         {kIdStartVideo, kIdStartAudio},
         dir / "long_cut.avi",
         "v:0"},
        {"join", [] { return Make<CFLvLinkerDlg>(); }, kIdStart, {kIdStart}, dir / "long_link.flv", "v:0"},
        {"extraction",
         [] { return Make<CFLVExtract>(); },
         kIdStart,
         {kIdStart},
         dir / "long_extr.flv",
         "v:0"},
    };
    for (const auto& c : cases) {
        BoxRecorder boxes;
        auto page = c.make();
        page->SetInputFile(in.string());
        page->SetInputFile(in.string());  // the join's second file; the others take it again
        page->Stopwatch().SetClock(&RacingClock);
        // The user presses Stop a few progress updates into the run.
        int updates = 0;
        QTimer stopper;
        stopper.setInterval(0);
        QObject::connect(&stopper, &QTimer::timeout, [&] {
            if (++updates < 5) return;
            stopper.stop();
            Click(page.get(), kIdStop);
        });
        stopper.start();
        Click(page.get(), c.button);
        EXPECT_EQ(updates, 5) << c.what;

        EXPECT_TRUE(boxes.boxes.empty()) << c.what;
        EXPECT_NE(page->GetCtrlText(kIdInfo), "100 %") << c.what;
        ExpectIdle(page.get(), c.startIds);
        ASSERT_TRUE(fs::exists(c.output)) << c.what;
        std::string errors;
        EXPECT_TRUE(vt::test::DecodesCleanly(c.output, &errors)) << c.what << "\n" << errors;
        const size_t packets = PacketChecksums(c.output, c.stream).size();
        EXPECT_GT(packets, 0u) << c.what;
        EXPECT_LT(packets, PacketChecksums(in, c.stream).size()) << c.what;
    }
}

}  // namespace
}  // namespace vt::gui
