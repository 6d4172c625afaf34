// The six AVI and WAV pages driven as a user drives them: files dropped,
// outputs chosen in the save dialog, the start buttons pressed, Stop pressed
// in the middle; the outputs checked with ffmpeg, the boxes recorded.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLineEdit>

#include "pages/avi/AVICreatorDlg.h"
#include "pages/avi/AVICutterDlg.h"
#include "pages/avi/AVIExtract.h"
#include "pages/avi/AVILinkerDlg.h"
#include "pages/avi/WAVExtract.h"
#include "pages/avi/WAVLinkerDlg.h"
#include "tests/aviops/AviOpsTestSupport.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/gui/PageDriver.h"

namespace vt::gui {
namespace {

using test::Click;
using test::Make;
using test::SetText;
using test::Text;
using test::WaitForText;
using namespace vt::test;
using test::BoxRecorder;
using test::FileDialogScript;

// The output chosen in the save dialog.
void ChooseOutput(CBaseDialog* page, const fs::path& out) {
    FileDialogScript script;
    script.Answer({out.string()});
    Click(page, kIdOutputBrowse);
}

// A fixture copied into the test's folder (so a failing refusal could never touch the original).
fs::path CopyOf(const fs::path& src, const TempDir& dir, const std::string& name) {
    fs::copy_file(src, dir / name, fs::copy_options::overwrite_existing);
    return dir / name;
}

std::vector<std::string> TimeTexts(CBaseDialog* page, int firstId) {
    std::vector<std::string> out;
    for (int id = firstId; id < firstId + 4; ++id) out.push_back(Text(page, id));
    return out;
}

using Strings = std::vector<std::string>;

// ---------------------------------------------------------------- connection

TEST(AviPages, LinkerJoinsTheDroppedFiles) {
    TempDir dir;
    BoxRecorder boxes;
    auto page = Make<CAVILinkerDlg>();
    // An empty list: the button does nothing.
    Click(page.get(), kIdStart);
    EXPECT_TRUE(boxes.boxes.empty());

    page->SetInputFile(MovieA().string());
    page->SetInputFile(MovieB().string());
    const fs::path out = dir / "ab.avi";
    ChooseOutput(page.get(), out);
    Click(page.get(), kIdStart);
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(Text(page.get(), kIdInfo), "100 %");
    EXPECT_EQ(PacketChecksums(out, "v:0"),
              Concat(PacketChecksums(MovieA(), "v:0"), PacketChecksums(MovieB(), "v:0")));
    EXPECT_EQ(RawStream(out, "a:0"), RawStream(MovieA(), "a:0") + RawStream(MovieB(), "a:0"));
    EXPECT_FALSE(page->GetDlgItem(kIdStop)->isEnabled());
    EXPECT_TRUE(page->GetDlgItem(kIdStart)->isEnabled());
}

// Files that differ from the first: the page asks first, Cancel writes nothing.
TEST(AviPages, LinkerAsksBeforeJoiningDifferentFiles) {
    const fs::path big =
        MakeFixture("ops_movie_320.avi", "-f lavfi -i testsrc=size=320x240:rate=25:duration=1 " + kOpsTone +
                                             "-c:v mpeg4 -g 10 -c:a pcm_s16le -ac 2 -shortest");
    for (int answer : {kIdCancel, kIdOk}) {
        TempDir dir;
        BoxRecorder boxes(answer);
        auto page = Make<CAVILinkerDlg>();
        page->SetInputFile(MovieA().string());
        page->SetInputFile(big.string());
        const fs::path out = dir / "ab.avi";
        ChooseOutput(page.get(), out);
        Click(page.get(), kIdStart);
        ASSERT_EQ(boxes.boxes.size(), 1u);
        EXPECT_EQ(boxes.boxes[0].buttons, BoxButtons::OkCancel);
        EXPECT_TRUE(boxes.boxes[0].cancelIsDefault);
        EXPECT_NE(boxes.boxes[0].text.find("ops_movie_320.avi"), std::string::npos) << boxes.boxes[0].text;
        EXPECT_NE(boxes.boxes[0].text.find("320\u00D7240"), std::string::npos) << boxes.boxes[0].text;
        EXPECT_EQ(fs::exists(out), answer == kIdOk);
        EXPECT_TRUE(page->GetDlgItem(kIdStart)->isEnabled());
    }
}

TEST(AviPages, WavLinkerJoinsTheDroppedFiles) {
    TempDir dir;
    BoxRecorder boxes;
    auto page = Make<CWAVLinkerDlg>();
    const fs::path a = CopyOf(Wav1s("ops_1s_a.wav", 440), dir, "a.wav");
    page->SetInputFile(a.string());
    page->SetInputFile(Wav1s("ops_1s_b.wav", 880).string());
    EXPECT_EQ(Text(page.get(), kIdOutputEdit), (dir / "a_link.wav").string());
    Click(page.get(), kIdStart);
    EXPECT_TRUE(boxes.boxes.empty());
    WavChunks w = ReadWavChunks(dir / "a_link.wav");
    EXPECT_EQ(w.dataSize, 8u * 22050);
    EXPECT_EQ(w.fact, 2u * 22050);
}

// A page whose progress call presses Stop after a number of calls.
template <class P>
class StoppingPage : public P {
  public:
    using P::P;
    int stopAt = 1;
    int calls = 0;
    void ReportProgress(double percent) override {
        if (++calls == stopAt) this->OnStop();
        P::ReportProgress(percent);
    }
};

TEST(AviPages, StopLeavesAPlayableFileAndNoMessage) {
    TempDir dir;
    BoxRecorder boxes;
    auto page = std::make_unique<StoppingPage<CAVILinkerDlg>>(nullptr);
    page->CreateDlg(nullptr);
    page->stopAt = 60;  // the tenth frame of the second file
    page->SetInputFile(MovieA().string());
    page->SetInputFile(MovieB().string());
    const fs::path out = dir / "stopped.avi";
    ChooseOutput(page.get(), out);
    Click(page.get(), kIdStart);
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_NE(Text(page.get(), kIdInfo), "100 %");
    EXPECT_EQ(PacketCount(out, "v:0"), 60);
    EXPECT_EQ(RawStream(out, "a:0"), RawStream(MovieA(), "a:0"));
    EXPECT_TRUE(DecodesCleanly(out));
    EXPECT_TRUE(page->GetDlgItem(kIdStart)->isEnabled());

    // The WAV extraction the same way: what was copied is a complete file.
    auto wav = std::make_unique<StoppingPage<CWAVExtract>>(nullptr);
    wav->CreateDlg(nullptr);
    wav->stopAt = 1;
    wav->SetInputFile(CopyOf(Wav3s44k(), dir, "w.wav").string());
    Click(wav.get(), kIdStart);
    EXPECT_TRUE(boxes.boxes.empty());
    WavChunks w = ReadWavChunks(dir / "w_extr.wav");
    EXPECT_EQ(w.dataSize, 400000u);  // one block
    EXPECT_EQ(w.fact, 100000u);

    // And a stream save: the part written becomes the output, without a message.
    auto cutter = std::make_unique<StoppingPage<CAVICutterDlg>>(nullptr);
    cutter->CreateDlg(nullptr);
    cutter->stopAt = 1;
    cutter->SetInputFile(CopyOf(MovieA(), dir, "c.avi").string());
    Click(cutter.get(), kIdStartVideo);
    EXPECT_TRUE(boxes.boxes.empty());
    ASSERT_TRUE(fs::exists(dir / "c_cut.avi"));
    EXPECT_LT(PacketCount(dir / "c_cut.avi", "v:0"), 50);
    EXPECT_TRUE(DecodesCleanly(dir / "c_cut.avi"));
}

TEST(AviPages, UnopenableInputsShowTheirCodes) {
    TempDir dir;
    BoxRecorder boxes;
    auto page = Make<CAVILinkerDlg>();
    page->SetInputFile(MovieA().string());
    page->SetInputFile((dir / "missing.avi").string());
    ChooseOutput(page.get(), dir / "o.avi");
    Click(page.get(), kIdStart);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].caption, "エラーNo.1002");
    EXPECT_FALSE(fs::exists(dir / "o.avi"));

    boxes.boxes.clear();
    auto cutter = Make<CAVICutterDlg>();
    cutter->SetInputFile(CopyOf(Wav1s("ops_1s_a.wav", 440), dir, "s.wav").string());
    Click(cutter.get(), kIdStartVideo);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].caption, "エラーNo.1006");
    EXPECT_FALSE(fs::exists(dir / "s_cut.avi"));
}

// ---------------------------------------------------------------- separation and union

TEST(AviPages, CutterWritesEachStream) {
    TempDir dir;
    BoxRecorder boxes;
    auto page = Make<CAVICutterDlg>();
    page->SetInputFile(CopyOf(MovieMp3(), dir, "m.avi").string());
    EXPECT_EQ(Text(page.get(), kIdOutputEdit), (dir / "m_cut.avi").string());
    Click(page.get(), kIdStartAudio);
    // The page shows the final name.
    EXPECT_EQ(Text(page.get(), kIdOutputEdit), (dir / "m_cut.wav").string());
    EXPECT_EQ(RawStream(dir / "m_cut.wav", "a:0"), RawStream(MovieMp3(), "a:0"));
    Click(page.get(), kIdStartVideo);
    EXPECT_EQ(Text(page.get(), kIdOutputEdit), (dir / "m_cut.avi").string());
    EXPECT_EQ(PacketChecksums(dir / "m_cut.avi", "v:0"), PacketChecksums(MovieMp3(), "v:0"));
    EXPECT_EQ(StreamCount(dir / "m_cut.avi", "audio"), 0);
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST(AviPages, CreatorCombinesTheDroppedSources) {
    TempDir dir;
    BoxRecorder boxes;
    auto page = Make<CAVICreatorDlg>();
    page->SetInputFile(CopyOf(MovieA(), dir, "v.avi").string());
    page->SetInputFile(Wav1s("ops_1s_b.wav", 880).string());
    EXPECT_EQ(Text(page.get(), kIdOutputEdit), (dir / "v_comb.avi").string());
    Click(page.get(), kIdStart);
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(PacketChecksums(dir / "v_comb.avi", "v:0"), PacketChecksums(MovieA(), "v:0"));
    EXPECT_EQ(RawStream(dir / "v_comb.avi", "a:0"), RawStream(Wav1s("ops_1s_b.wav", 880), "a:0"));
}

// ---------------------------------------------------------------- extraction

TEST(AviPages, AviExtractShowsWhereTheSectionBegins) {
    TempDir dir;
    BoxRecorder boxes;
    auto page = Make<CAVIExtract>();
    const fs::path in = CopyOf(MovieA(), dir, "a.avi");
    page->SetInputFile(in.string());
    EXPECT_EQ(TimeTexts(page.get(), 1081), (Strings{"0", "0", "0", "000"}));
    EXPECT_EQ(TimeTexts(page.get(), 1085), (Strings{"0", "0", "2", "000"}));
    EXPECT_DOUBLE_EQ(page->FrameRate(), 25.0);

    SetText(page.get(), 1084, "500");
    SetText(page.get(), 1087, "1");
    SetText(page.get(), 1088, "500");
    // As soon as the times are typed, the page shows where the run will begin.
    EXPECT_TRUE(WaitForText(page.get(), CBaseExtract::kIdRealStart, "0:00:00.400"))
        << Text(page.get(), CBaseExtract::kIdRealStart);
    Click(page.get(), kIdStart);
    EXPECT_TRUE(boxes.boxes.empty());
    // Frame 13 stepped back to the key frame 10, which the page shows.
    EXPECT_EQ(TimeTexts(page.get(), 1081), (Strings{"0", "0", "0", "400"}));
    const auto v = PacketChecksums(MovieA(), "v:0");
    EXPECT_EQ(PacketChecksums(dir / "a_extr.avi", "v:0"), Strings(v.begin() + 10, v.begin() + 39));

    // A file that does not open empties the fields, without a message.
    page->SetInputFile((dir / "none.avi").string());
    EXPECT_EQ(Text(page.get(), kIdSourceEdit), "");
    EXPECT_EQ(Text(page.get(), kIdOutputEdit), "");
    EXPECT_EQ(TimeTexts(page.get(), 1081), (Strings{"0", "0", "0", "000"}));
    EXPECT_EQ(TimeTexts(page.get(), 1085), (Strings{"0", "0", "0", "000"}));
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST(AviPages, WavExtractCopiesTheRangeAndNamesTheInputInErrors) {
    TempDir dir;
    BoxRecorder boxes;
    auto page = Make<CWAVExtract>();
    page->SetInputFile(CopyOf(Wav3s44k(), dir, "w.wav").string());
    EXPECT_EQ(TimeTexts(page.get(), 1085), (Strings{"0", "0", "3", "000"}));
    SetText(page.get(), 1083, "1");
    SetText(page.get(), 1084, "500");
    SetText(page.get(), 1087, "2");
    SetText(page.get(), 1088, "500");
    Click(page.get(), kIdStart);
    EXPECT_TRUE(boxes.boxes.empty());
    WavChunks w = ReadWavChunks(dir / "w_extr.wav");
    EXPECT_EQ(w.dataSize, 4u * 44100);
    EXPECT_EQ(w.fact, 44100u);

    test::ScopedLanguage english(false);
    // A format the page cannot copy: the box says why, and no output is left.
    const fs::path refused = CopyOf(WavYamaha(), dir, "m.wav");
    page->SetInputFile(refused.string());
    Click(page.get(), kIdStart);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].caption, "エラーNo.0001");
    EXPECT_EQ(boxes.boxes[0].text.rfind("エラーNo.0001\n\n" + refused.string() + "\n", 0), 0u)
        << boxes.boxes[0].text;
    EXPECT_NE(boxes.boxes[0].text.find("(0x0020"), std::string::npos) << boxes.boxes[0].text;
    EXPECT_NE(boxes.boxes[0].text.find("cannot be copied into a WAV file"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "m_extr.wav"));
}

// ---------------------------------------------------------------- refusal

TEST(AviPages, NoPageOverwritesAnInput) {
    TempDir dir;
    const fs::path avi = CopyOf(MovieA(), dir, "in.avi");
    const fs::path wav = CopyOf(Wav1s("ops_1s_a.wav", 440), dir, "in.wav");
    const auto size = fs::file_size(avi), wsize = fs::file_size(wav);
    struct Case {
        std::function<std::unique_ptr<CBaseOpe>()> make;
        fs::path input, output;
        int start;
    } cases[] = {
        {[] { return Make<CAVICutterDlg>(); }, avi, avi, kIdStartVideo},
        {[] { return Make<CAVICreatorDlg>(); }, avi, avi, kIdStart},
        {[] { return Make<CAVILinkerDlg>(); }, avi, avi, kIdStart},
        {[] { return Make<CAVIExtract>(); }, avi, avi, kIdStart},
        {[] { return Make<CWAVLinkerDlg>(); }, wav, wav, kIdStart},
        {[] { return Make<CWAVExtract>(); }, wav, wav, kIdStart},
    };
    for (const Case& c : cases) {
        BoxRecorder boxes;
        auto page = c.make();
        page->SetInputFile(c.input.string());
        ChooseOutput(page.get(), c.output);
        Click(page.get(), c.start);
        EXPECT_EQ(boxes.boxes.size(), 1u) << c.input;
        EXPECT_EQ(page->IsIdle(), 1);
        EXPECT_TRUE(page->GetDlgItem(c.start)->isEnabled());
    }
    EXPECT_EQ(fs::file_size(avi), size);
    EXPECT_EQ(fs::file_size(wav), wsize);
}

}  // namespace
}  // namespace vt::gui
