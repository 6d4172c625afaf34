// The stream save of the separation and union pages: video alone, audio alone
// as WAV, video and audio interleaved; stopping; the temporary file beside
// the output and the rename that replaces the output.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/ErrorCodes.h"
#include "media/avi/AVIStream.h"
#include "tests/avi/AviFixtures.h"
#include "tests/avi/AviTestUtil.h"

namespace vt::test {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> DirEntries(const fs::path& d) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(d)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

// Runs a save the way the pages do: table, save, readers closed, temporary
// file moved over the output.
int RunSave(CAVIStream& table, const std::string& out, bool wav, int count, OperationHost* host) {
    std::string temp;
    int r = table.SaveStreams(out, wav, count, host, temp);
    table.ResetStreamTable();
    int m = CAVIStream::MoveTempToOutput(temp, out);
    return r ? r : m;
}

TEST(AviSave, VideoAlone) {
    auto src = AviMpeg4Mp3();
    TempDir dir;
    auto out = dir / "v.avi";
    CDecAVI reader;
    ASSERT_EQ(reader.Open(src.string()), 0);
    CAVIStream table;
    table.SetVideoEntry(0, reader.GetVideoStream());
    EXPECT_EQ(table.options[0].dwFlags, 0x0Eu);
    EXPECT_EQ(table.options[0].dwInterleaveEvery, 1u);
    RecordingHost host;
    std::string temp;
    ASSERT_EQ(table.SaveStreams(out.string(), false, 1, &host, temp), 0);
    EXPECT_EQ(fs::path(temp).parent_path(), dir.path());
    reader.Close();
    table.ResetStreamTable();
    ASSERT_EQ(CAVIStream::MoveTempToOutput(temp, out.string()), 0);
    EXPECT_EQ(DirEntries(dir.path()), std::vector<std::string>{"v.avi"});
    EXPECT_EQ(StreamCount(out, "video"), 1);
    EXPECT_EQ(StreamCount(out, "audio"), 0);
    EXPECT_EQ(FrameMd5Lines(out, "v:0"), FrameMd5Lines(src, "v:0"));
    ASSERT_FALSE(host.progress.empty());
    EXPECT_LE(host.progress.back(), 99.0);
    EXPECT_TRUE(std::is_sorted(host.progress.begin(), host.progress.end()));
}

TEST(AviSave, AudioAloneAsWav) {
    struct Case {
        fs::path (*fixture)();
        bool packets;
    };
    for (const Case& c : {Case{AviMpeg4Mp3, false}, Case{AviMsmpegPcm, false}}) {
        auto src = c.fixture();
        TempDir dir;
        auto out = dir / "a.wav";
        CDecWAV reader;
        ASSERT_EQ(reader.Open(src.string()), 0);
        CAVIStream table;
        table.SetAudioEntry(0, reader.GetAudioStream());
        EXPECT_EQ(table.options[0].dwFlags, 0x08u);
        int32_t size = 0;
        reader.GetAudioStream()->ReadFormat(0, nullptr, size);
        EXPECT_EQ(table.options[0].cbFormat(), uint32_t(size));
        ASSERT_EQ(RunSave(table, out.string(), true, 1, nullptr), 0);
        reader.Close();
        EXPECT_EQ(Probe(out, "", "format_name"), "wav");
        EXPECT_EQ(StreamMd5(out, "a:0"), StreamMd5(src, "a:0")) << src;
        // The data and the format block are the source's own.
        CDecWAV back;
        ASSERT_EQ(back.Open(out.string()), 0);
        ASSERT_EQ(reader.Open(src.string()), 0);
        EXPECT_EQ(back.GetAudioFormat()->wFormatTag, reader.GetAudioFormat()->wFormatTag);
        EXPECT_EQ(back.GetAudioFormat()->nSamplesPerSec, reader.GetAudioFormat()->nSamplesPerSec);
        std::string errors;
        EXPECT_TRUE(DecodesCleanly(out, &errors)) << errors;
    }
}

// Audio alone into an AVI file: copied in large blocks, not sample by sample.
TEST(AviSave, AudioAloneAsAvi) {
    auto audio = MakeFixture("tone_s16.wav", kToneSrc + "-c:a pcm_s16le");
    TempDir dir;
    auto out = dir / "a.avi";
    CDecWAV a;
    ASSERT_EQ(a.Open(audio.string()), 0);
    CAVIStream table;
    table.SetAudioEntry(0, a.GetAudioStream());
    ASSERT_EQ(RunSave(table, out.string(), false, 1, nullptr), 0);
    EXPECT_EQ(StreamMd5(out, "a:0"), StreamMd5(audio, "a:0"));
    EXPECT_EQ(StreamCount(out, "video"), 0);
    // 88200 bytes in one chunk: its id appears in the movi list and in idx1.
    auto bytes = ReadFile(out);
    std::string text(bytes.begin(), bytes.end());
    int chunks = 0;
    for (size_t p = text.find("00wb"); p != std::string::npos; p = text.find("00wb", p + 4)) ++chunks;
    EXPECT_EQ(chunks, 2);
}

// The union: video of one file, audio of another, each video frame followed
// by the audio of its time span.
TEST(AviSave, VideoAndAudioInterleaved) {
    auto video = AviNoAudio();
    auto audio = MakeFixture("tone_s16.wav", kToneSrc + "-c:a pcm_s16le");
    TempDir dir;
    auto out = dir / "comb.avi";
    CDecAVI v;
    CDecWAV a;
    ASSERT_EQ(v.Open(video.string()), 0);
    ASSERT_EQ(a.Open(audio.string()), 0);
    CAVIStream table;
    table.SetVideoEntry(0, v.GetVideoStream());
    table.SetAudioEntry(1, a.GetAudioStream());
    ASSERT_EQ(RunSave(table, out.string(), false, 2, nullptr), 0);
    v.Close();
    a.Close();
    EXPECT_EQ(FrameMd5Lines(out, "v:0"), FrameMd5Lines(video, "v:0"));
    EXPECT_EQ(StreamMd5(out, "a:0"), StreamMd5(audio, "a:0"));
    // Order of the chunks: frame, its audio, frame, its audio...
    auto order =
        vt::test::Run("ffprobe -v error -show_entries packet=stream_index -of csv=p=0 " + Q(out)).out;
    std::string expect;
    for (int i = 0; i < 50; ++i) expect += "0\n1\n";
    EXPECT_EQ(order, expect);
    // 22050 Hz at 25 frames per second: 882 samples (1764 bytes) per frame.
    auto sizes =
        vt::test::Run("ffprobe -v error -select_streams a -show_entries packet=size -of csv=p=0 " + Q(out))
            .out;
    EXPECT_EQ(sizes.substr(0, 5), "1764\n");
    std::string errors;
    EXPECT_TRUE(DecodesCleanly(out, &errors)) << errors;
}

// Stop: the save ends with 6006, and what was written becomes the output.
TEST(AviSave, StopLeavesPartialOutput) {
    auto src = AviMpeg4Mp3();
    TempDir dir;
    auto out = dir / "stop.avi";
    WriteFile(out, {1, 2, 3});
    CDecAVI v;
    CDecWAV a;
    ASSERT_EQ(v.Open(src.string()), 0);
    ASSERT_EQ(a.Open(src.string()), 0);
    CAVIStream table;
    table.SetVideoEntry(0, v.GetVideoStream());
    table.SetAudioEntry(1, a.GetAudioStream());
    struct StopHost : RecordingHost {
        void ReportProgress(double p) override {
            RecordingHost::ReportProgress(p);
            if (p >= 40) stopped_ = true;
        }
    } host;
    EXPECT_EQ(RunSave(table, out.string(), false, 2, &host), kErrWavOutput);
    EXPECT_EQ(DirEntries(dir.path()), std::vector<std::string>{"stop.avi"});
    CDecAVIAudio back;
    ASSERT_EQ(back.Open(out.string()), 0);
    EXPECT_GT(back.GetLength(), 10);
    EXPECT_LT(back.GetLength(), 40);
    std::string errors;
    EXPECT_TRUE(DecodesCleanly(out, &errors)) << errors;
}

TEST(AviSave, TemporaryFileAndRename) {
    auto src = AviNoAudio();
    CDecAVI v;
    ASSERT_EQ(v.Open(src.string()), 0);
    TempDir dir;
    CAVIStream table;
    // A read-only output is replaced.
    auto out = dir / "ro.avi";
    WriteFile(out, {1, 2, 3});
    ::chmod(out.c_str(), 0444);
    table.SetVideoEntry(0, v.GetVideoStream());
    ASSERT_EQ(RunSave(table, out.string(), false, 1, nullptr), 0);
    EXPECT_GT(fs::file_size(out), 1000u);
    // An output literally named "tmp.avi" is fine.
    auto tmpOut = dir / "tmp.avi";
    table.SetVideoEntry(0, v.GetVideoStream());
    ASSERT_EQ(RunSave(table, tmpOut.string(), false, 1, nullptr), 0);
    EXPECT_EQ(FrameMd5Lines(tmpOut, "v:0"), FrameMd5Lines(src, "v:0"));
    // Nothing is written into the current directory.
    EXPECT_FALSE(fs::exists("tmp.avi"));
    EXPECT_FALSE(fs::exists("tmp.wav"));
    // A rename that cannot happen (the output is a folder) is reported, and
    // the saved file is kept.
    auto folder = dir / "folder.avi";
    fs::create_directory(folder);
    WriteFile(folder / "x", {1});
    table.SetVideoEntry(0, v.GetVideoStream());
    std::string temp;
    ASSERT_EQ(table.SaveStreams(folder.string(), false, 1, nullptr, temp), 0);
    EXPECT_EQ(CAVIStream::MoveTempToOutput(temp, folder.string()), kErrSave);
    EXPECT_TRUE(fs::exists(temp));
    // A folder where nothing can be created: the save fails with 103.
    auto sealed = dir / "sealed";
    fs::create_directory(sealed);
    ::chmod(sealed.c_str(), 0555);
    if (::access(sealed.c_str(), W_OK) != 0) {  // not when running as root
        table.SetVideoEntry(0, v.GetVideoStream());
        EXPECT_EQ(table.SaveStreams((sealed / "o.avi").string(), false, 1, nullptr, temp), 103);
        EXPECT_TRUE(temp.empty());
    }
    ::chmod(sealed.c_str(), 0755);
    // Same path: nothing to do.
    EXPECT_EQ(CAVIStream::MoveTempToOutput(out.string(), out.string()), 0);
    EXPECT_TRUE(fs::exists(out));
}

TEST(AviSave, SaveCallbackCapsAndStops) {
    RecordingHost host;
    EXPECT_EQ(CAVIStream::SaveCallback(&host, 100), 0);
    EXPECT_EQ(CAVIStream::SaveCallback(&host, 50), 0);
    ASSERT_EQ(host.progress.size(), 2u);
    EXPECT_EQ(host.progress[0], 99.0);
    EXPECT_EQ(host.progress[1], 50.0);
    host.stopped_ = true;
    EXPECT_EQ(CAVIStream::SaveCallback(&host, 60), 1);
}

}  // namespace
}  // namespace vt::test

namespace vt::test {
namespace {

// Audio copied from file to file into a WAV file or beside video in an AVI
// file: a read failure (the source cut short under the reader) ends the save
// with that error, and the output holds the whole blocks before it and
// nothing of the block that failed.
TEST(AviSave, CopiedAudioStopsWholeAtAReadFailure) {
    const auto fixture = MakeFixture("long_pcm.avi",
                                     "-f lavfi -i testsrc=size=320x240:rate=25:duration=8 "
                                     "-f lavfi -i sine=sample_rate=48000:duration=8 "
                                     "-c:v mpeg4 -q:v 2 -c:a pcm_s16le -ac 2");
    for (bool wav : {true, false}) {
        SCOPED_TRACE(wav ? "wav" : "avi");
        TempDir dir;
        const auto src = dir / "src.avi", out = dir / (wav ? "out.wav" : "out.avi");
        fs::copy_file(fixture, src);
        CDecWAV reader;
        ASSERT_EQ(reader.Open(src.string()), 0);
        fs::resize_file(src, fs::file_size(src) * 8 / 10);
        std::shared_ptr<AviFile> file;
        std::vector<std::shared_ptr<AviStream>> streams{reader.GetAudioStream()};
        AviCompressOptions o;
        EXPECT_EQ(AviSaveStreams(out.string(), streams, {&o}, {}), kAviErrFileRead);
        reader.Close();
        const auto bytes = ReadFile(out);
        ASSERT_GT(bytes.size(), 8u);
        EXPECT_EQ(uint64_t(GetU32LE(&bytes[4])) + 8, bytes.size());
        // Blocks of 1 MiB: 262144 samples, the first one whole.
        CDecWAV back;
        ASSERT_EQ(back.Open(out.string()), 0);
        EXPECT_EQ(back.GetAudioLength(), 262144);
        back.Close();
        EXPECT_EQ(StereoPcmOf(out, 262144), StereoPcmOf(fixture, 262144));
    }
}

}  // namespace
}  // namespace vt::test
