// The AVI and WAV operations run against a recording host, checked with
// ffmpeg/ffprobe; and the same operations through the command line.
#include <gtest/gtest.h>

#include <cmath>

#include "core/ErrorCodes.h"
#include "pages/avi/AviOperations.h"
#include "tests/aviops/AviOpsTestSupport.h"

namespace vt {
namespace {

using namespace vt::test;

// 22050 Hz, 16-bit stereo: 4 bytes a sample.
constexpr int kRate = 22050;

void ExpectProgressSane(const RecordingHost& host) {
    for (double p : host.progress) {
        EXPECT_TRUE(std::isfinite(p)) << p;
        EXPECT_GE(p, 0.0);
        EXPECT_LE(p, 100.0 + 1e-9);
    }
}

SectionRange Range(int64_t startMs, int64_t endMs) {
    return {FromMilliseconds(startMs), FromMilliseconds(endMs)};
}

// ---------------------------------------------------------------- connection

TEST(AviConnect, CopiesEverySampleInListOrder) {
    TempDir dir;
    const fs::path out = dir / "ab.avi";
    RecordingHost host;
    ASSERT_EQ(ConnectAviFiles({MovieA().string(), MovieB().string()}, out.string(), host), 0);
    EXPECT_TRUE(host.errors.empty());
    ExpectProgressSane(host);

    EXPECT_EQ(PacketChecksums(out, "v:0"),
              Concat(PacketChecksums(MovieA(), "v:0"), PacketChecksums(MovieB(), "v:0")));
    EXPECT_EQ(PacketFlags(out, "v:0"), Concat(PacketFlags(MovieA(), "v:0"), PacketFlags(MovieB(), "v:0")));
    EXPECT_EQ(RawStream(out, "a:0"), RawStream(MovieA(), "a:0") + RawStream(MovieB(), "a:0"));
    EXPECT_EQ(StreamCount(out, "audio"), 1);
    EXPECT_TRUE(DecodesCleanly(out));
}

TEST(AviConnect, KeepsMp3PacketsAndEmptyFrames) {
    TempDir dir;
    RecordingHost host;
    const fs::path mp3 = dir / "mp3.avi";
    ASSERT_EQ(ConnectAviFiles({MovieMp3().string(), MovieMp3().string()}, mp3.string(), host), 0);
    const auto a = PacketChecksums(MovieMp3(), "a:0");
    EXPECT_EQ(PacketChecksums(mp3, "a:0"), Concat(a, a));
    EXPECT_TRUE(DecodesCleanly(mp3));

    // Empty samples keep their places: the second copy's time stamps run on by
    // the whole length of the first, gaps included.
    const fs::path dropped = dir / "dropped.avi";
    ASSERT_EQ(ConnectAviFiles({MovieDropped().string(), MovieDropped().string()}, dropped.string(), host), 0);
    EXPECT_EQ(DtsLines(dropped, "v:0"),
              Concat(DtsLines(MovieDropped(), "v:0"), DtsLines(MovieDropped(), "v:0", 50)));
    EXPECT_TRUE(DecodesCleanly(dropped));
}

TEST(AviConnect, FilesWithoutAudio) {
    TempDir dir;
    RecordingHost host;
    // A later file without audio: its video follows directly, the audio is the first file's.
    const fs::path second = dir / "second.avi";
    ASSERT_EQ(ConnectAviFiles({MovieA().string(), MovieNoAudio().string()}, second.string(), host), 0);
    EXPECT_EQ(PacketChecksums(second, "v:0"),
              Concat(PacketChecksums(MovieA(), "v:0"), PacketChecksums(MovieNoAudio(), "v:0")));
    EXPECT_EQ(RawStream(second, "a:0"), RawStream(MovieA(), "a:0"));
    EXPECT_TRUE(DecodesCleanly(second));

    // A first file without audio: the output has no audio stream; the video is whole.
    const fs::path first = dir / "first.avi";
    ASSERT_EQ(ConnectAviFiles({MovieNoAudio().string(), MovieA().string()}, first.string(), host), 0);
    EXPECT_EQ(StreamCount(first, "audio"), 0);
    EXPECT_EQ(PacketChecksums(first, "v:0"),
              Concat(PacketChecksums(MovieNoAudio(), "v:0"), PacketChecksums(MovieA(), "v:0")));
    EXPECT_TRUE(DecodesCleanly(first));
}

TEST(AviConnect, AnyNumberOfFilesAndOneFrameFiles) {
    TempDir dir;
    RecordingHost host;
    const fs::path out = dir / "many.avi";
    std::vector<std::string> list(40, MovieOneFrame().string());
    ASSERT_EQ(ConnectAviFiles(list, out.string(), host), 0);
    EXPECT_EQ(PacketCount(out, "v:0"), 40);
    EXPECT_TRUE(DecodesCleanly(out));
    ASSERT_FALSE(host.progress.empty());
    ExpectProgressSane(host);
    EXPECT_DOUBLE_EQ(host.progress.back(), 100.0);
}

TEST(AviConnect, InputErrorsComeBeforeTheOutput) {
    TempDir dir;
    const fs::path out = dir / "x.avi";
    WriteFile(dir / "junk.avi", std::vector<uint8_t>(100, 7));
    struct Case {
        std::string bad;
        int code;
    } cases[] = {
        {(dir / "missing.avi").string(), kErrAviFileOpen},
        {(dir / "junk.avi").string(), kErrAviFileOpen},
        {Wav1s("ops_1s_a.wav", 440).string(), kErrAviNoVideo},
    };
    for (const Case& c : cases) {
        RecordingHost host;
        EXPECT_EQ(ConnectAviFiles({MovieA().string(), c.bad}, out.string(), host), c.code) << c.bad;
        EXPECT_FALSE(fs::exists(out)) << c.bad;
    }
}

TEST(AviConnect, StopLeavesACompletePlayableFile) {
    TempDir dir;
    const fs::path out = dir / "stopped.avi";
    RecordingHost host;
    host.stopAfterProgressCalls = 60;  // during the second file's video
    EXPECT_EQ(ConnectAviFiles({MovieA().string(), MovieB().string()}, out.string(), host), 0);
    const auto a = PacketChecksums(MovieA(), "v:0");
    auto expected = a;
    const auto b = PacketChecksums(MovieB(), "v:0");
    expected.insert(expected.end(), b.begin(), b.begin() + 10);
    EXPECT_EQ(PacketChecksums(out, "v:0"), expected);
    // No audio of the second file.
    EXPECT_EQ(RawStream(out, "a:0"), RawStream(MovieA(), "a:0"));
    EXPECT_TRUE(DecodesCleanly(out));
}

// ---------------------------------------------------------------- extraction

TEST(AviExtract, AlignsToKeyFrameAndCopiesTheAudioSpan) {
    TempDir dir;
    const fs::path out = dir / "sec.avi";
    RecordingHost host;
    TimeFields aligned{-1, -1, -1, -1};
    // 0.5 s is frame 13 (12.5 rounded up); the key frame before it is 10 (0.4 s). 1.5 s is frame 38.
    ASSERT_EQ(ExtractAviSection(MovieA().string(), out.string(), Range(500, 1500), host,
                                [&](const TimeFields& t) { aligned = t; }),
              0);
    EXPECT_EQ(ToMilliseconds(aligned), 400);
    const auto v = PacketChecksums(MovieA(), "v:0");
    EXPECT_EQ(PacketChecksums(out, "v:0"), std::vector<std::string>(v.begin() + 10, v.begin() + 39));
    const auto flags = PacketFlags(MovieA(), "v:0");
    EXPECT_EQ(PacketFlags(out, "v:0"), std::vector<std::string>(flags.begin() + 10, flags.begin() + 39));
    // Frames 10..38 at 25 fps are audio samples 10R/25 up to 39R/25.
    const std::string audio = RawStream(MovieA(), "a:0");
    EXPECT_EQ(RawStream(out, "a:0"), audio.substr(size_t(10 * kRate / 25) * 4, size_t(29 * kRate / 25) * 4));
    EXPECT_TRUE(DecodesCleanly(out));
    ExpectProgressSane(host);
}

TEST(AviExtract, RangeEdges) {
    TempDir dir;
    const auto v = PacketChecksums(MovieA(), "v:0");
    const std::string audio = RawStream(MovieA(), "a:0");
    struct Case {
        const char* name;
        int64_t startMs, endMs;
        size_t firstFrame, frames;
        int64_t alignedMs;
    } cases[] = {
        {"whole", 0, 2000, 0, 50, 0},
        {"end clamped", 0, 99000, 0, 50, 0},
        {"key frame start kept", 400, 1000, 10, 16, 400},
        {"start after end", 1500, 1000, 0, 0, 1520},
        {"start steps back to a key frame", 1300, 1600, 30, 11, 1200},
        {"one frame that is no key frame", 1320, 1320, 30, 4, 1200},
    };
    for (const Case& c : cases) {
        const fs::path out = dir / "e.avi";
        RecordingHost host;
        TimeFields aligned;
        ASSERT_EQ(ExtractAviSection(MovieA().string(), out.string(), Range(c.startMs, c.endMs), host,
                                    [&](const TimeFields& t) { aligned = t; }),
                  0)
            << c.name;
        EXPECT_EQ(ToMilliseconds(aligned), c.alignedMs) << c.name;
        EXPECT_EQ(StreamCount(out, "video"), 1) << c.name;
        EXPECT_EQ(StreamCount(out, "audio"), 1) << c.name;
        EXPECT_EQ(PacketChecksums(out, "v:0"),
                  std::vector<std::string>(v.begin() + long(c.firstFrame),
                                           v.begin() + long(c.firstFrame + c.frames)))
            << c.name;
        const size_t a0 = c.firstFrame * kRate / 25 * 4, an = c.frames * kRate / 25 * 4;
        EXPECT_EQ(RawStream(out, "a:0"), c.frames ? audio.substr(a0, an) : std::string()) << c.name;
        // (A file without samples has nothing to decode.)
        if (c.frames) {
            EXPECT_TRUE(DecodesCleanly(out)) << c.name;
        }
        ExpectProgressSane(host);
    }
}

TEST(AviExtract, ReadsTheRangeOfAFile) {
    SectionRange r;
    double rate = 0;
    ASSERT_EQ(ReadAviRange(MovieA().string(), r, &rate), 0);
    EXPECT_DOUBLE_EQ(rate, 25.0);
    EXPECT_EQ(ToMilliseconds(r.start), 0);
    EXPECT_EQ(ToMilliseconds(r.end), 2000);
    TempDir dir;
    EXPECT_EQ(ReadAviRange((dir / "none.avi").string(), r, &rate), kErrAviFileOpen);
    EXPECT_EQ(ToMilliseconds(r.end), 0);
    EXPECT_EQ(rate, 0);
}

TEST(AviExtract, TimeAndFrameConversions) {
    EXPECT_EQ(TimeToFrame(FromMilliseconds(1500), 30.0), 45);
    EXPECT_EQ(TimeToFrame(FromMilliseconds(500), 25.0), 13);  // 12.5 rounds up
    EXPECT_EQ(ToMilliseconds(FrameToTime(300, 30.0)), 10000);
    EXPECT_EQ(ToMilliseconds(FrameToTime(60, 30.0)), 2000);
    EXPECT_EQ(ToMilliseconds(FrameToTime(7, 0.0)), 0);
    EXPECT_EQ(TimeToFrame(FromMilliseconds(1000), 0.0), 0);
}

// ---------------------------------------------------------------- separation and union

TEST(AviSeparate, VideoAndAudioAlone) {
    TempDir dir;
    RecordingHost host;
    const fs::path video = dir / "v.avi";
    ASSERT_EQ(SeparateAviVideo(MovieA().string(), video.string(), host), 0);
    EXPECT_EQ(StreamCount(video, "audio"), 0);
    EXPECT_EQ(PacketChecksums(video, "v:0"), PacketChecksums(MovieA(), "v:0"));
    EXPECT_TRUE(DecodesCleanly(video));

    for (const fs::path& src : {MovieA(), MovieMp3()}) {
        const fs::path wav = dir / "a.wav";
        ASSERT_EQ(AviAudioSeparation(src.string(), wav.string(), host).code, 0) << src;
        EXPECT_EQ(RawStream(wav, "a:0"), RawStream(src, "a:0")) << src;
        EXPECT_EQ(Probe(wav, "a:0", "codec_name"), Probe(src, "a:0", "codec_name")) << src;
        EXPECT_NE(Probe(wav, "", "format_name").find("wav"), std::string::npos) << src;
    }
    EXPECT_TRUE(host.errors.empty());
    // Nothing is left beside the output.
    int files = 0;
    for (auto& e : fs::directory_iterator(dir.path())) files += e.is_regular_file();
    EXPECT_EQ(files, 2);
}

TEST(AviSeparate, MissingStreamMakesNoOutput) {
    TempDir dir;
    RecordingHost host;
    const fs::path out = dir / "o.avi";
    EXPECT_EQ(SeparateAviVideo(Wav1s("ops_1s_a.wav", 440).string(), out.string(), host), kErrAviNoVideo);
    EXPECT_EQ(AviAudioSeparation(MovieNoAudio().string(), out.string(), host).code, kErrAviNoAudio);
    EXPECT_EQ(SeparateAviVideo((dir / "none.avi").string(), out.string(), host), kErrAviFileOpen);
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST(AviUnion, VideoOfOneFileAudioOfAnother) {
    TempDir dir;
    RecordingHost host;
    const fs::path wav = Wav1s("ops_1s_a.wav", 440);
    const fs::path out = dir / "u.avi";
    ASSERT_EQ(UnionAviStreams(MovieA().string(), wav.string(), out.string(), host), 0);
    EXPECT_EQ(StreamCount(out, "video"), 1);
    EXPECT_EQ(StreamCount(out, "audio"), 1);
    EXPECT_EQ(PacketChecksums(out, "v:0"), PacketChecksums(MovieA(), "v:0"));
    EXPECT_EQ(RawStream(out, "a:0"), RawStream(wav, "a:0"));  // 1 s of audio beside 2 s of video
    EXPECT_TRUE(DecodesCleanly(out));

    // An AVI file as the audio source gives its last audio stream.
    const fs::path out2 = dir / "u2.avi";
    ASSERT_EQ(UnionAviStreams(MovieB().string(), MovieTwoAudio().string(), out2.string(), host), 0);
    EXPECT_EQ(RawStream(out2, "a:0"), RawStream(MovieTwoAudio(), "a:1"));
    EXPECT_NE(Probe(out2, "a:0", "sample_rate").find("11025"), std::string::npos);
    EXPECT_TRUE(DecodesCleanly(out2));

    EXPECT_EQ(UnionAviStreams(wav.string(), wav.string(), (dir / "n.avi").string(), host), kErrAviNoVideo);
    EXPECT_EQ(UnionAviStreams(MovieA().string(), MovieNoAudio().string(), (dir / "n.avi").string(), host),
              kErrAviNoAudio);
    EXPECT_FALSE(fs::exists(dir / "n.avi"));
}

// ---------------------------------------------------------------- WAV

TEST(WavConnect, DataAndFactOfTwoFiles) {
    TempDir dir;
    RecordingHost host;
    const fs::path a = Wav1s("ops_1s_a.wav", 440), b = Wav1s("ops_1s_b.wav", 880);
    const fs::path out = dir / "ab.wav";
    ASSERT_EQ(WavConnection({a.string(), b.string()}, out.string(), host).code, 0);
    WavChunks w = ReadWavChunks(out);
    ASSERT_TRUE(w.ok);
    EXPECT_EQ(w.fmtSize, 16u);
    EXPECT_EQ(w.dataSize, 8u * kRate);
    EXPECT_EQ(w.fact, 2u * kRate);
    EXPECT_EQ(RawStream(out, "a:0"), RawStream(a, "a:0") + RawStream(b, "a:0"));
    ExpectProgressSane(host);

    // An AVI file's audio is accepted.
    const fs::path mixed = dir / "mixed.wav";
    ASSERT_EQ(WavConnection({a.string(), MovieA().string()}, mixed.string(), host).code, 0);
    EXPECT_EQ(RawStream(mixed, "a:0"), RawStream(a, "a:0") + RawStream(MovieA(), "a:0"));
    EXPECT_EQ(ReadWavChunks(mixed).fact, 3u * kRate);
}

TEST(WavConnect, Errors) {
    TempDir dir;
    RecordingHost host;
    const fs::path out = dir / "o.wav";
    const OpResult noAudio =
        WavConnection({Wav1s("ops_1s_a.wav", 440).string(), MovieNoAudio().string()}, out.string(), host);
    EXPECT_EQ(noAudio.code, kErrAviNoAudio);
    EXPECT_TRUE(noAudio.detail.empty());
    EXPECT_FALSE(fs::exists(out));
    // A format that cannot be copied: refused with its reason, and no output is left.
    const OpResult refused = WavConnection({WavYamaha().string()}, out.string(), host);
    EXPECT_EQ(refused.code, kErrFileOpen);
    EXPECT_FALSE(fs::exists(out));
    EXPECT_EQ(refused.detail.rfind(WavYamaha().string() + "\n", 0), 0u) << refused.detail;
    EXPECT_NE(refused.detail.find("0x0020"), std::string::npos) << refused.detail;
    // An output that cannot be created is the plain -5: nothing to explain about the format.
    const OpResult noDir =
        WavConnection({Wav1s("ops_1s_a.wav", 440).string()}, (dir / "no/such/dir.wav").string(), host);
    EXPECT_EQ(noDir.code, kErrFileOpen);
    EXPECT_TRUE(noDir.detail.empty());
    EXPECT_TRUE(host.errors.empty());  // returned, not reported
}

// A host that cuts the source short while it is being read, as a failing
// disk or a file truncated by someone else would.
struct TruncatingHost : RecordingHost {
    fs::path victim;
    uintmax_t keep = 0;
    void ReportProgress(double percent) override {
        if (progress.empty()) fs::resize_file(victim, keep);
        RecordingHost::ReportProgress(percent);
    }
};

TEST(WavOps, FailedReadIsReportedAndTheOutputIsComplete) {
    TempDir dir;
    // More than the reader's 1 MB buffer, so the cut is noticed.
    const fs::path src = MakeFixture(
        "ops_8s_44k.wav", "-f lavfi -i sine=frequency=300:sample_rate=44100:duration=8 -c:a pcm_s16le -ac 2");
    for (int extract = 0; extract < 2; ++extract) {
        const fs::path in = dir / "in.wav", out = dir / "out.wav";
        fs::copy_file(src, in, fs::copy_options::overwrite_existing);
        TruncatingHost host;
        host.victim = in;
        host.keep = 200000;
        const int r = extract ? WavExtraction(in.string(), out.string(), Range(0, 8000), host).code
                              : WavConnection({in.string()}, out.string(), host).code;
        EXPECT_EQ(r, kErrWavRead) << extract;
        WavChunks w = ReadWavChunks(out);
        ASSERT_TRUE(w.ok);
        EXPECT_GT(w.dataSize, 0u);
        EXPECT_EQ(w.fact, w.dataSize / 4);
        EXPECT_EQ(uint64_t(w.riffSize) + 8, w.fileSize);
        EXPECT_TRUE(DecodesCleanly(out));
    }
}

TEST(WavConnect, StopInTheSecondFile) {
    TempDir dir;
    RecordingHost host;
    host.stopAfterProgressCalls =
        3;  // 88200 bytes a file, 48000 a block: the third block is in the second file
    const fs::path a = Wav1s("ops_1s_a.wav", 440), b = Wav1s("ops_1s_b.wav", 880);
    const fs::path out = dir / "s.wav";
    ASSERT_EQ(WavConnection({a.string(), b.string()}, out.string(), host).code, 0);
    WavChunks w = ReadWavChunks(out);
    EXPECT_EQ(w.dataSize, 88200u + 48000u);
    EXPECT_EQ(w.fact, w.dataSize / 4);
    EXPECT_TRUE(DecodesCleanly(out));
}

TEST(WavExtract, SectionsOfA44kFile) {
    TempDir dir;
    const fs::path src = Wav3s44k();
    const std::string raw = RawStream(src, "a:0");
    struct Case {
        const char* name;
        int64_t startMs, endMs;
        uint32_t firstSample, samples;
    } cases[] = {
        {"1.5 to 2.5 s", 1500, 2500, 66150, 44100},
        {"start 1 ms is sample 44", 1, 1000, 44, 44100 - 44},
        {"end beyond the file", 2000, 99000, 88200, 44100},
        {"start after end", 2000, 1000, 0, 0},
    };
    for (const Case& c : cases) {
        const fs::path out = dir / "x.wav";
        RecordingHost host;
        ASSERT_EQ(WavExtraction(src.string(), out.string(), Range(c.startMs, c.endMs), host).code, 0)
            << c.name;
        WavChunks w = ReadWavChunks(out);
        ASSERT_TRUE(w.ok) << c.name;
        EXPECT_EQ(w.dataSize, c.samples * 4) << c.name;
        EXPECT_EQ(w.fact, c.samples) << c.name;
        EXPECT_EQ(RawStream(out, "a:0"), raw.substr(size_t(c.firstSample) * 4, size_t(c.samples) * 4))
            << c.name;
        ExpectProgressSane(host);
    }
    SectionRange r;
    ASSERT_EQ(ReadWavRange(src.string(), r), 0);
    EXPECT_EQ(ToMilliseconds(r.start), 0);
    EXPECT_EQ(ToMilliseconds(r.end), 3000);
}

TEST(WavExtract, Errors) {
    TempDir dir;
    RecordingHost host;
    const fs::path out = dir / "o.wav";
    const OpResult noAudio = WavExtraction(MovieNoAudio().string(), out.string(), Range(0, 500), host);
    EXPECT_EQ(noAudio.code, kErrAviNoAudio);
    EXPECT_TRUE(noAudio.detail.empty());
    EXPECT_FALSE(fs::exists(out));
    const OpResult refused = WavExtraction(WavYamaha().string(), out.string(), Range(0, 500), host);
    EXPECT_EQ(refused.code, 1);
    EXPECT_FALSE(fs::exists(out));
    EXPECT_NE(refused.detail.find("cannot be copied into a WAV file"), std::string::npos);
    EXPECT_TRUE(host.errors.empty());  // returned, not reported
    // The audio of an AVI file in its own format.
    RecordingHost again;
    ASSERT_EQ(WavExtraction(MovieMp3().string(), out.string(), Range(0, 99000), again).code, 0);
    EXPECT_EQ(RawStream(out, "a:0"), RawStream(MovieMp3(), "a:0"));
}

}  // namespace
}  // namespace vt
