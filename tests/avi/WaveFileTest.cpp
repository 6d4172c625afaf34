// WAV files written with CWaveFileACM: the format chunk, the data copied
// unchanged and the "fact" value, for every format we know.
#include <gtest/gtest.h>

#include <cstdlib>

#include "media/avi/WaveFileACM.h"
#include "platform/AudioFormat.h"
#include "tests/avi/AviFixtures.h"
#include "tests/avi/AviTestUtil.h"

namespace vt::test {
namespace {

struct WavChunks {
    std::vector<uint8_t> fmt;
    uint32_t fact = 0;
    bool hasFact = false;
    uint32_t dataSize = 0;
    uint32_t riffSize = 0;
};

WavChunks ParseWav(const std::vector<uint8_t>& b) {
    WavChunks w;
    if (b.size() < 12) return w;
    w.riffSize = GetU32LE(&b[4]);
    size_t p = 12;
    while (p + 8 <= b.size()) {
        uint32_t id = GetU32LE(&b[p]), size = GetU32LE(&b[p + 4]);
        if (id == MakeFourCC('f', 'm', 't', ' '))
            w.fmt.assign(b.begin() + long(p + 8), b.begin() + long(p + 8 + size));
        if (id == MakeFourCC('f', 'a', 'c', 't')) {
            w.hasFact = true;
            w.fact = GetU32LE(&b[p + 8]);
        }
        if (id == MakeFourCC('d', 'a', 't', 'a')) w.dataSize = size;
        p += 8 + size + (size & 1);
    }
    return w;
}

// Sample frames the file decodes to, counted by ffmpeg.
uint64_t DecodedFrames(const std::filesystem::path& f) {
    auto r = vt::test::Run("ffmpeg -v error -nostdin -i " + Q(f) + " -f s16le -ac 1 - 2>/dev/null | wc -c");
    return std::strtoull(r.out.c_str(), nullptr, 10) / 2;
}

bool HasEncoder(const std::string& name) {
    return vt::test::Run("ffmpeg -hide_banner -encoders 2>/dev/null | grep -qw " + name).status == 0;
}

struct WavCase {
    const char* name;
    const char* encoder;
    const char* args;
    uint16_t tag;
    bool exactFact;  // else within one frame (MP3: the byte rate stands for the frames)
};

class WaveFileTest : public ::testing::TestWithParam<WavCase> {};

// Each listed format is copied from a WAV file (read with CDecWAV) into a new
// WAV file: the same data, the format block kept, "fact" counting the frames.
TEST_P(WaveFileTest, CopyKeepsDataAndCountsFrames) {
    const WavCase& c = GetParam();
    if (!HasEncoder(c.encoder)) GTEST_SKIP() << "ffmpeg has no " << c.encoder << " encoder";
    auto src =
        MakeFixture(std::string("fmt_") + c.name + ".wav",
                    std::string("-f lavfi -i sine=frequency=440:sample_rate=8000:duration=1.3 ") + c.args);
    ASSERT_FALSE(src.empty());
    CDecWAV r;
    ASSERT_EQ(r.Open(src.string()), 0);
    const WaveFormatEx* fmt = r.GetAudioFormat();
    ASSERT_NE(fmt, nullptr);
    EXPECT_EQ(EffectiveFormatTag(reinterpret_cast<const uint8_t*>(fmt), size_t(r.GetAudioFormatSize())),
              c.tag);

    TempDir dir;
    auto out = dir / "out.wav";
    CWaveFileACM w;
    w.SetFileFormat(fmt);
    ASSERT_EQ(w.OpenWrite(out.string()), 1);
    std::vector<uint8_t> buf(48000);
    uint64_t total = 0;
    for (;;) {
        int samples = 0, bytes = int(buf.size());
        ASSERT_EQ(r.ReadAudio(&samples, buf.data(), &bytes), 0);
        if (bytes == 0) break;
        ASSERT_EQ(w.WriteRaw(buf.data(), bytes), bytes);
        total += uint64_t(bytes);
    }
    w.Close();
    w.Close();

    auto chunks = ParseWav(ReadFile(out));
    WaveFormatEx in = *fmt;
    bool pcm = in.wFormatTag == kWaveFormatPcm;
    EXPECT_EQ(chunks.fmt.size(), pcm ? 16u : size_t(in.cbSize) + 18);
    EXPECT_EQ(0, std::memcmp(chunks.fmt.data(), fmt, chunks.fmt.size()));
    EXPECT_EQ(chunks.dataSize, total);
    EXPECT_EQ(chunks.riffSize + 8, std::filesystem::file_size(out));
    ASSERT_TRUE(chunks.hasFact);
    EXPECT_EQ(StreamMd5(out, "a:0"), StreamMd5(src, "a:0"));
    uint64_t decoded = DecodedFrames(src);
    if (c.exactFact) {
        EXPECT_EQ(chunks.fact, decoded);
    } else {
        EXPECT_NEAR(double(chunks.fact), double(decoded), 1152);
    }
    if (pcm) {
        EXPECT_EQ(chunks.fact, total / in.nBlockAlign);
    }
    std::string errors;
    EXPECT_TRUE(DecodesCleanly(out, &errors)) << errors;
}

INSTANTIATE_TEST_SUITE_P(
    Formats, WaveFileTest,
    ::testing::Values(WavCase{"s16", "pcm_s16le", "-c:a pcm_s16le -ac 2", 0x0001, true},
                      WavCase{"u8", "pcm_u8", "-c:a pcm_u8", 0x0001, true},
                      WavCase{"f32", "pcm_f32le", "-c:a pcm_f32le", 0x0003, true},
                      WavCase{"alaw", "pcm_alaw", "-c:a pcm_alaw", 0x0006, true},
                      WavCase{"mulaw", "pcm_mulaw", "-c:a pcm_mulaw", 0x0007, true},
                      WavCase{"ima", "adpcm_ima_wav", "-c:a adpcm_ima_wav", 0x0011, true},
                      WavCase{"msadpcm", "adpcm_ms", "-c:a adpcm_ms", 0x0002, true},
                      WavCase{"gsm", "libgsm_ms", "-c:a libgsm_ms", 0x0031, true},
                      WavCase{"mp3", "libmp3lame", "-c:a libmp3lame -b:a 32k", 0x0055, false},
                      WavCase{"s24ext", "pcm_s24le", "-c:a pcm_s24le -ac 3", 0x0001, true}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(WaveFile, RefusesWhatItCannotWrite) {
    TempDir dir;
    auto out = dir / "x.wav";
    CWaveFileACM w;
    // Nothing open yet.
    EXPECT_EQ(w.WriteRaw("abcd", 4), 0);
    // No format at all.
    EXPECT_EQ(w.OpenWrite(out.string()), 0);
    // A tag we do not know.
    WaveFormatEx unknown{};
    unknown.wFormatTag = 0x0161;
    unknown.nChannels = 2;
    unknown.nSamplesPerSec = 44100;
    unknown.nAvgBytesPerSec = 16000;
    unknown.nBlockAlign = 4096;
    w.SetFileFormat(&unknown);
    EXPECT_EQ(w.OpenWrite(out.string()), 0);
    EXPECT_EQ(w.WriteRaw("abcd", 4), 0);
    w.Close();
    // PCM then works; the PCM side is kept after Close.
    WaveFormatEx pcm{1, 2, 8000, 32000, 4, 16, 0};
    w.SetFileFormat(&pcm);
    ASSERT_EQ(w.OpenWrite(out.string()), 1);
    EXPECT_EQ(w.OpenWrite(out.string()), 0);  // already open
    EXPECT_EQ(w.WriteRaw(nullptr, 0), 0);
    EXPECT_EQ(w.WriteRaw("abcdefgh", 8), 8);
    w.Close();
    EXPECT_EQ(w.PcmFormat().nBlockAlign, 4);
    auto chunks = ParseWav(ReadFile(out));
    EXPECT_EQ(chunks.fmt.size(), 16u);
    EXPECT_EQ(chunks.fact, 2u);
    EXPECT_EQ(chunks.dataSize, 8u);
    // An odd data size gets its pad byte, outside the data size.
    w.SetFileFormat(&pcm);
    WaveFormatEx u8{1, 1, 8000, 8000, 1, 8, 0};
    w.SetFileFormat(&u8);
    ASSERT_EQ(w.OpenWrite(out.string()), 1);
    EXPECT_EQ(w.WriteRaw("abc", 3), 3);
    w.Close();
    auto bytes = ReadFile(out);
    EXPECT_EQ(bytes.size() % 2, 0u);
    chunks = ParseWav(bytes);
    EXPECT_EQ(chunks.dataSize, 3u);
    EXPECT_EQ(chunks.fact, 3u);
}

TEST(WaveFile, ImaAdpcmFactCountsDecodedFrames) {
    // 2 blocks of 256 bytes, mono: 505 frames each.
    std::vector<uint8_t> fmt(20, 0);
    WaveFormatEx w{0x0011, 1, 8000, 4055, 256, 4, 2};
    std::memcpy(fmt.data(), &w, 18);
    PutU16LE(&fmt[18], 505);
    TempDir dir;
    auto out = dir / "ima.wav";
    CWaveFileACM f;
    f.SetFileFormat(reinterpret_cast<const WaveFormatEx*>(fmt.data()));
    ASSERT_EQ(f.OpenWrite(out.string()), 1);
    EXPECT_EQ(f.PcmFormat().wFormatTag, 1);
    EXPECT_EQ(f.PcmFormat().nSamplesPerSec, 8000u);
    std::vector<uint8_t> data(512, 0);
    EXPECT_EQ(f.WriteRaw(data.data(), 512), 512);
    f.Close();
    auto chunks = ParseWav(ReadFile(out));
    EXPECT_EQ(chunks.fmt.size(), 20u);
    EXPECT_EQ(chunks.fact, 1010u);
}

}  // namespace
}  // namespace vt::test
