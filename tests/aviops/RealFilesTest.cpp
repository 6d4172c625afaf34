// Files as other programs write them. WAV: every format the WAV pages copy,
// plain and WAVE_FORMAT_EXTENSIBLE, MPEG audio whose byte rate field is 0,
// files written as a stream whose sizes were never filled in. AVI: sections
// of files with few key frames always begin with a picture. Both are tried on
// fixtures made here and on the shared samples of other projects.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/ErrorCodes.h"
#include "pages/avi/AviOperations.h"
#include "tests/aviops/AviOpsTestSupport.h"

namespace vt {
namespace {

using namespace vt::test;

SectionRange Range(int64_t startMs, int64_t endMs) {
    return {FromMilliseconds(startMs), FromMilliseconds(endMs)};
}

// The start of the "data" chunk's size field of a WAV file made by ffmpeg.
size_t DataSizeAt(const std::vector<uint8_t>& b) {
    for (size_t o = 12; o + 8 <= b.size();) {
        uint32_t size = 0;
        std::memcpy(&size, b.data() + o + 4, 4);
        if (std::memcmp(b.data() + o, "data", 4) == 0) return o + 4;
        o += 8 + size + (size & 1);
    }
    return 0;
}

// A copy of `src` in `dir` with some 32-bit fields overwritten.
fs::path Patched(const fs::path& src, const fs::path& dir, const std::string& name,
                 const std::vector<std::pair<size_t, uint32_t>>& fields) {
    std::vector<uint8_t> b = ReadFile(src);
    for (auto [at, value] : fields)
        if (at + 4 <= b.size()) std::memcpy(b.data() + at, &value, 4);
    const fs::path out = dir / name;
    WriteFile(out, b);
    return out;
}

// The same audio with its format as the sub-format of WAVE_FORMAT_EXTENSIBLE
// (ffmpeg writes MPEG audio plain only): "fmt " rewritten, the data kept.
fs::path AsExtensible(const fs::path& src, const fs::path& dir, const std::string& name) {
    const std::vector<uint8_t> b = ReadFile(src);
    const size_t dataSize = DataSizeAt(b);
    if (b.size() < 36 || dataSize == 0) return {};
    uint32_t size = 0;
    std::memcpy(&size, b.data() + dataSize, 4);
    const std::vector<uint8_t> data(b.begin() + long(dataSize) + 4,
                                    b.begin() + long(std::min<size_t>(b.size(), dataSize + 4 + size)));
    std::vector<uint8_t> fmt(b.begin() + 20, b.begin() + 36);  // tag .. bits of the plain format
    const uint16_t tag = uint16_t(fmt[0] | (fmt[1] << 8));
    fmt[0] = 0xFE;
    fmt[1] = 0xFF;
    const uint8_t extra[24] = {
        22, 0,    0, 0, 3,    0, 0,    0,    uint8_t(tag), uint8_t(tag >> 8), 0, 0, 0, 0, 0x10,
        0,  0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
    fmt.insert(fmt.end(), extra, extra + sizeof extra);
    auto u32 = [](std::vector<uint8_t>& v, uint32_t x) {
        for (int i = 0; i < 4; ++i) v.push_back(uint8_t(x >> (8 * i)));
    };
    std::vector<uint8_t> out = {'R', 'I', 'F', 'F'};
    u32(out, uint32_t(4 + 8 + fmt.size() + 8 + data.size() + (data.size() & 1)));
    out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    u32(out, uint32_t(fmt.size()));
    out.insert(out.end(), fmt.begin(), fmt.end());
    out.insert(out.end(), {'d', 'a', 't', 'a'});
    u32(out, uint32_t(data.size()));
    out.insert(out.end(), data.begin(), data.end());
    if (data.size() & 1) out.push_back(0);
    WriteFile(dir / name, out);
    return dir / name;
}

std::string Tone(int rate, double seconds = 2) {
    char s[96];
    std::snprintf(s, sizeof s, "-f lavfi -i sine=frequency=440:sample_rate=%d:duration=%g ", rate, seconds);
    return s;
}

// What ffmpeg says about a file's audio that a check needs.
uint16_t FormatTag(const fs::path& wav) {
    const std::vector<uint8_t> b = ReadFile(wav);
    return b.size() >= 22 ? uint16_t(b[20] | (b[21] << 8)) : 0;
}

// Join with itself, the whole range and the middle half: the data is the
// source's as ffmpeg reads it (twice, whole, a run of it on a block or frame
// boundary) and every output decodes cleanly. `mpeg`: frames, not blocks (a
// clean decode shows whole frames).
void CheckWavOperations(const fs::path& src, bool mpeg, const std::string& label) {
    SCOPED_TRACE(label);
    const std::vector<uint8_t> head = ReadFile(src);
    const uint32_t block = head.size() >= 34 && !mpeg ? uint32_t(head[32] | (head[33] << 8)) : 0;
    const std::string payload = RawStream(src, "a:0");
    ASSERT_FALSE(payload.empty());
    TempDir dir;
    std::string errors;

    const fs::path joined = dir / "joined.wav";
    RecordingHost join;
    ASSERT_EQ(WavConnection({src.string(), src.string()}, joined.string(), join).code, 0);
    EXPECT_TRUE(join.errors.empty());
    EXPECT_TRUE(RawStream(joined, "a:0") == payload + payload);
    EXPECT_TRUE(DecodesCleanly(joined, &errors)) << errors;

    SectionRange range;
    ASSERT_EQ(ReadWavRange(src.string(), range), 0);
    const int64_t ms = ToMilliseconds(range.end);
    const double seconds = std::stod(Probe(src, "a:0", "duration"));
    EXPECT_NEAR(double(ms), seconds * 1000.0, 30.0);

    const fs::path whole = dir / "whole.wav";
    RecordingHost all;
    ASSERT_EQ(WavExtraction(src.string(), whole.string(), range, all).code, 0);
    EXPECT_TRUE(RawStream(whole, "a:0") == payload);

    const fs::path half = dir / "half.wav";
    RecordingHost part;
    ASSERT_EQ(WavExtraction(src.string(), half.string(), Range(ms / 4, ms * 3 / 4), part).code, 0);
    const std::string cut = RawStream(half, "a:0");
    ASSERT_FALSE(cut.empty());
    const size_t at = payload.find(cut);
    ASSERT_NE(at, std::string::npos);
    if (block) {
        EXPECT_EQ(at % block, 0u);
    }
    EXPECT_TRUE(DecodesCleanly(half, &errors)) << errors;
    // Half the duration, give or take a block or frame (at most ~40 ms here).
    EXPECT_NEAR(std::stod(Probe(half, "a:0", "duration")) * 1000.0, double(ms) / 2, 60.0);
}

// ---------------------------------------------------------------- WAV formats

TEST(RealWav, EveryFormatThePagesCopy) {
    TempDir dir;
    struct Case {
        const char* name;
        fs::path file;
        bool mpeg;
        uint16_t tag;  // as stored in the file
    };
    const fs::path mp3 = MakeFixture("rf_mp3.wav", Tone(44100) + "-c:a libmp3lame -b:a 128k -ac 2");
    const fs::path pcm = MakeFixture("rf_pcm.wav", Tone(22050) + "-c:a pcm_s16le -ac 2");
    ASSERT_FALSE(mp3.empty());
    ASSERT_FALSE(pcm.empty());
    const size_t dataSize = DataSizeAt(ReadFile(pcm));
    ASSERT_GT(dataSize, 0u);
    const Case cases[] = {
        {"A-law", MakeFixture("rf_alaw.wav", Tone(8000) + "-c:a pcm_alaw -ac 2"), false, 0x0006},
        {"mu-law", MakeFixture("rf_mulaw.wav", Tone(8000) + "-c:a pcm_mulaw"), false, 0x0007},
        {"float", MakeFixture("rf_f32.wav", Tone(22050) + "-c:a pcm_f32le -ac 1"), false,
         0xFFFE},  // 32 bits: extensible
        {"IMA ADPCM", MakeFixture("rf_ima.wav", Tone(22050) + "-c:a adpcm_ima_wav -ac 2"), false, 0x0011},
        {"MS ADPCM", MakeFixture("rf_msadpcm.wav", Tone(22050) + "-c:a adpcm_ms"), false, 0x0002},
        {"GSM 6.10", MakeFixture("rf_gsm.wav", Tone(8000) + "-c:a libgsm_ms"), false, 0x0031},
        {"MPEG layer 2", MakeFixture("rf_mp2.wav", Tone(22050) + "-c:a mp2"), true, 0x0050},
        {"MPEG layer 3", mp3, true, 0x0055},
        // More than two channels, or a rate above 48 kHz: ffmpeg writes WAVE_FORMAT_EXTENSIBLE.
        {"extensible PCM", MakeFixture("rf_ext_pcm.wav", Tone(44100) + "-c:a pcm_s16le -ac 6"), false,
         0xFFFE},
        {"extensible A-law", MakeFixture("rf_ext_alaw.wav", Tone(8000) + "-c:a pcm_alaw -ac 6"), false,
         0xFFFE},
        {"extensible IMA ADPCM", MakeFixture("rf_ext_ima.wav", Tone(96000, 1) + "-c:a adpcm_ima_wav -ac 2"),
         false, 0xFFFE},
        {"extensible MS ADPCM", MakeFixture("rf_ext_ms.wav", Tone(96000, 1) + "-c:a adpcm_ms -ac 2"), false,
         0xFFFE},
        {"extensible MPEG layer 3", AsExtensible(mp3, dir.path(), "ext_mp3.wav"), true, 0xFFFE},
        // MPEG audio whose nAvgBytesPerSec is 0.
        {"MPEG layer 3 without a byte rate", Patched(mp3, dir.path(), "mp3_no_rate.wav", {{28, 0}}), true,
         0x0055},
        // Written as a stream: RIFF and data sizes never filled in.
        {"sizes 0", Patched(pcm, dir.path(), "sizes0.wav", {{4, 0}, {dataSize, 0}}), false, 0x0001},
        {"sizes all ones",
         Patched(pcm, dir.path(), "sizes1.wav", {{4, 0xFFFFFFFFu}, {dataSize, 0xFFFFFFFFu}}), false, 0x0001},
    };
    for (const Case& c : cases) {
        ASSERT_FALSE(c.file.empty()) << c.name;
        ASSERT_EQ(FormatTag(c.file), c.tag) << c.name;
        CheckWavOperations(c.file, c.mpeg, c.name);
    }
}

// The byte rate of MPEG audio that has none is the frames' (128 kbit/s: 16000
// bytes a second); the output carries it, and times come out right.
TEST(RealWav, MpegByteRateComesFromTheFrames) {
    TempDir dir;
    const fs::path mp3 = MakeFixture("rf_mp3.wav", Tone(44100) + "-c:a libmp3lame -b:a 128k -ac 2");
    ASSERT_FALSE(mp3.empty());
    const fs::path src = Patched(mp3, dir.path(), "no_rate.wav", {{28, 0}});
    SectionRange range, withRate;
    ASSERT_EQ(ReadWavRange(src.string(), range), 0);
    ASSERT_EQ(ReadWavRange(mp3.string(), withRate), 0);
    EXPECT_EQ(ToMilliseconds(range.end), ToMilliseconds(withRate.end));
    EXPECT_NEAR(double(ToMilliseconds(range.end)), 2000.0, 60.0);
    const fs::path out = dir / "out.wav";
    RecordingHost host;
    ASSERT_EQ(WavExtraction(src.string(), out.string(), Range(500, 1500), host).code, 0);
    const std::vector<uint8_t> b = ReadFile(out);
    ASSERT_GE(b.size(), 32u);
    uint32_t avg = 0;
    std::memcpy(&avg, b.data() + 28, 4);
    EXPECT_EQ(avg, 16000u);
    EXPECT_NEAR(double(ReadWavChunks(out).dataSize), 16000.0, 418.0);
}

// ---------------------------------------------------------------- AVI key frames

// Frame 0 is the only key frame: every section begins there.
TEST(RealAvi, SectionsBeginWithAPicture) {
    const fs::path src = MakeFixture(
        "rf_sparse_keys.avi", kOpsVideo + kOpsTone + "-c:v mpeg4 -g 250 -c:a pcm_s16le -ac 2 -shortest");
    ASSERT_FALSE(src.empty());
    const auto v = PacketChecksums(src, "v:0");
    const auto flags = PacketFlags(src, "v:0");
    ASSERT_EQ(v.size(), 50u);
    ASSERT_EQ(
        std::count_if(flags.begin(), flags.end(), [](auto& f) { return f.find('K') != std::string::npos; }),
        1);
    const std::string audio = RawStream(src, "a:0");
    constexpr size_t kRate = 22050;
    TempDir dir;
    // Ranges in ms and the last frame they give (25 fps).
    const std::pair<std::pair<int, int>, size_t> cases[] = {
        {{1000, 1200}, 30}, {{1320, 1320}, 33}, {{40, 80}, 2}, {{1500, 9000}, 49}};
    for (auto [range, last] : cases) {
        SCOPED_TRACE(range.first);
        const fs::path out = dir / "sec.avi";
        RecordingHost host;
        int64_t startMs = -1;
        ASSERT_EQ(ExtractAviSection(src.string(), out.string(), Range(range.first, range.second), host,
                                    [&](const TimeFields& t) { startMs = ToMilliseconds(t); }),
                  0);
        EXPECT_EQ(startMs, 0);
        EXPECT_EQ(PacketChecksums(out, "v:0"),
                  std::vector<std::string>(v.begin(), v.begin() + long(last) + 1));
        EXPECT_EQ(PacketFlags(out, "v:0").front(), flags.front());
        EXPECT_TRUE(RawStream(out, "a:0") == audio.substr(0, (last + 1) * kRate / 25 * 4));
        EXPECT_TRUE(DecodesCleanly(out));
    }
}

// ---------------------------------------------------------------- shared samples

TEST(RealSamples, WavFiles) {
    struct Case {
        const char* name;
        bool mpeg;
    } cases[] = {
        {"af__6_Channel_ID.wav", false},              // extensible PCM, 6 channels
        {"af__M1F1-AlawWE-AFsp.wav", false},          // extensible A-law
        {"mm__ffmpeg-missing-chunksize.wav", false},  // sizes all ones
        {"mm__mpeglayer3.wav", true},                 // MP3, nAvgBytesPerSec 0
        {"mm__riff_adobe_audition.wav", false},       // 24-bit PCM
    };
    for (const Case& c : cases) {
        const fs::path src = SamplePath(c.name);
        if (src.empty()) GTEST_SKIP() << "the shared samples are not there";
        CheckWavOperations(src, c.mpeg, c.name);
    }
}

// Real clips whose key frames are few (tls__sample.avi: frames 0, 1 and 3
// only) or all (riffinfo__simpson.avi): a section is a run of the source's
// packets that begins with a key frame, and decodes cleanly.
TEST(RealSamples, AviSectionsBeginWithAPicture) {
    struct Case {
        const char* name;
        int startMs, endMs;
    } cases[] = {
        {"tls__sample.avi", 500, 800},
        {"tls__sample.avi", 2000, 2000},
        {"tls__sample.avi", 3000, 5700},
        {"riffinfo__simpson.avi", 500, 1500},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.startMs));
        const fs::path src = SamplePath(c.name);
        if (src.empty()) GTEST_SKIP() << "the shared samples are not there";
        const fs::path out = dir / "sec.avi";
        RecordingHost host;
        int64_t startMs = -1;
        ASSERT_EQ(ExtractAviSection(src.string(), out.string(), Range(c.startMs, c.endMs), host,
                                    [&](const TimeFields& t) { startMs = ToMilliseconds(t); }),
                  0);
        EXPECT_LE(startMs, c.startMs);
        const auto all = PacketChecksums(src, "v:0"), part = PacketChecksums(out, "v:0");
        ASSERT_FALSE(part.empty());
        EXPECT_NE(std::search(all.begin(), all.end(), part.begin(), part.end()), all.end());
        EXPECT_NE(PacketFlags(out, "v:0").front().find('K'), std::string::npos);
        std::string errors;
        EXPECT_TRUE(DecodesCleanly(out, &errors)) << errors;
    }
}

}  // namespace
}  // namespace vt
