// The readers against ffprobe: stream choice, lengths, rates, key frames,
// format blocks, audio read across chunks, empty samples, OpenDML files and
// files cut off before their index.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "core/ErrorCodes.h"
#include "tests/avi/AviFixtures.h"
#include "tests/avi/AviTestUtil.h"

namespace vt::test {
namespace {

std::vector<std::string> Lines(const std::string& s) {
    std::vector<std::string> out;
    std::istringstream in(s);
    for (std::string l; std::getline(in, l);)
        if (!l.empty()) out.push_back(l);
    return out;
}

// Frame numbers of the key frames, as ffprobe sees them (empty packets skipped
// by ffprobe are counted through their time stamps).
std::vector<int> ProbeKeyFrames(const std::filesystem::path& f) {
    std::vector<int> keys;
    for (const auto& l :
         Lines(vt::test::Run("ffprobe -v error -select_streams v:0 -show_entries packet=pts,flags "
                             "-of csv=p=0 " +
                             Q(f))
                   .out)) {
        auto comma = l.find(',');
        if (comma == std::string::npos) continue;
        if (l.find('K', comma) != std::string::npos) keys.push_back(std::atoi(l.c_str()));
    }
    return keys;
}

struct ReadCase {
    const char* name;
    std::filesystem::path (*fixture)();
    const char* fourcc;  // biCompression text
};

class AviReadTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(AviReadTest, StreamsMatchFfprobe) {
    auto src = GetParam().fixture();
    ASSERT_FALSE(src.empty());
    CDecAVIAudio r;
    ASSERT_EQ(r.Open(src.string()), 0);
    EXPECT_EQ(std::to_string(r.GetLength()), Probe(src, "v:0", "nb_frames"));
    EXPECT_EQ(std::to_string(r.GetWidth()) + "\n" + std::to_string(r.GetHeight()),
              Probe(src, "v:0", "width,height"));
    EXPECT_DOUBLE_EQ(r.GetFrameRate(), 25.0);
    EXPECT_EQ(r.CompressionText(), GetParam().fourcc);
    std::vector<int> keys;
    for (int p = 0; p < r.GetLength(); ++p)
        if (r.IsKeyFrame(p)) keys.push_back(p);
    EXPECT_EQ(keys, ProbeKeyFrames(src));

    void* fmt = nullptr;
    int size = 0;
    ASSERT_EQ(r.ReadVideoFormat(&fmt, &size), 0);
    ASSERT_GE(size, 40);
    BitmapInfoHeader bh = BitmapHeaderFromBytes(static_cast<uint8_t*>(fmt), size_t(size));
    EXPECT_EQ(bh.biWidth, r.GetWidth());
    char tag[16];
    std::snprintf(tag, sizeof tag, "0x%08x", bh.biCompression);
    EXPECT_EQ(tag, Probe(src, "v:0", "codec_tag"));
    std::free(fmt);

    if (!r.HasAudio()) return;
    const WaveFormatEx* w = r.GetAudioFormat();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(std::to_string(w->nSamplesPerSec) + "\n" + std::to_string(w->nChannels),
              Probe(src, "a:0", "sample_rate,channels"));
    EXPECT_EQ(r.GetSampleRate(), int(w->nSamplesPerSec));
    std::snprintf(tag, sizeof tag, "0x%04x", w->wFormatTag);
    EXPECT_EQ(tag, Probe(src, "a:0", "codec_tag"));
    EXPECT_EQ(std::to_string(w->wBitsPerSample), Probe(src, "a:0", "bits_per_sample"));
    EXPECT_EQ(r.ChannelsText(), w->nChannels == 1 ? "Monoral" : "Stereo");
}

INSTANTIATE_TEST_SUITE_P(Fixtures, AviReadTest,
                         ::testing::Values(ReadCase{"Mpeg4Mp3", AviMpeg4Mp3, "FMP4"},
                                           ReadCase{"MsmpegPcm", AviMsmpegPcm, "MP43"},
                                           ReadCase{"MjpegU8", AviMjpegU8, "MJPG"},
                                           ReadCase{"NoAudio", AviNoAudio, "FMP4"}),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(AviRead, PcmAudioReadsInBlocksAcrossChunks) {
    struct Case {
        std::filesystem::path (*fixture)();
        const char* rawFormat;
        int blockAlign;
        const char* name;
    };
    for (const Case& c : {Case{AviMsmpegPcm, "s16le", 4, "PCM"}, Case{AviMjpegU8, "u8", 1, "PCM"}}) {
        auto src = c.fixture();
        CDecWAV r;
        ASSERT_EQ(r.Open(src.string()), 0);
        EXPECT_EQ(r.FormatName(), c.name);
        const WaveFormatEx* w = r.GetAudioFormat();
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->nBlockAlign, c.blockAlign);
        EXPECT_EQ(w->cbSize, 0);
        // An odd capacity: whole blocks only, straddling the chunks of the file.
        std::vector<uint8_t> all, buf(1001);
        for (;;) {
            int samples = 0, bytes = int(buf.size());
            ASSERT_EQ(r.ReadAudio(&samples, buf.data(), &bytes), 0);
            if (bytes == 0) break;
            EXPECT_EQ(bytes, samples * c.blockAlign);
            EXPECT_EQ(bytes % c.blockAlign, 0);
            all.insert(all.end(), buf.begin(), buf.begin() + bytes);
        }
        EXPECT_EQ(int(all.size()), r.GetAudioLength() * c.blockAlign);
        TempDir dir;
        auto raw = dir / "a.raw";
        ASSERT_EQ(vt::test::Run("ffmpeg -v error -i " + Q(src) + " -map 0:a -c copy -f " + c.rawFormat + " " +
                                Q(raw))
                      .status,
                  0);
        EXPECT_EQ(all, ReadFile(raw));
    }
}

TEST(AviRead, VbrMp3CountsOneChunkAsOneSample) {
    auto src = AviVbrMp3();
    CDecAVIAudio r;
    ASSERT_EQ(r.Open(src.string()), 0);
    ASSERT_TRUE(r.HasAudio());
    EXPECT_EQ(r.GetAudioInfo()->dwSampleSize, 0u);
    EXPECT_EQ(r.FormatName(), "MPEG LAYER-3");
    auto packets = PacketChecksums(src, "a:0");
    EXPECT_EQ(size_t(r.GetAudioLength()), packets.size());
    // Each read is one packet.
    std::vector<uint8_t> buf(100000);
    for (size_t i = 0; i < 3; ++i) {
        int samples = 0, bytes = int(buf.size());
        ASSERT_EQ(r.ReadAudio(&samples, buf.data(), &bytes), 0);
        EXPECT_EQ(samples, 1);
        EXPECT_EQ(std::to_string(bytes), packets[i].substr(0, packets[i].find(',')));
    }
}

TEST(AviRead, StreamChoice) {
    // The last audio stream wins.
    CDecAVIAudio two;
    ASSERT_EQ(two.Open(AviTwoAudio().string()), 0);
    EXPECT_EQ(two.GetAudioFormat()->nSamplesPerSec, 11025u);
    EXPECT_EQ(two.GetAudioFormat()->nChannels, 2);
    CDecWAV twoWav;
    ASSERT_EQ(twoWav.Open(AviTwoAudio().string()), 0);
    EXPECT_EQ(twoWav.GetAudioFormat()->nSamplesPerSec, 11025u);

    // Audio without video.
    CDecAVIAudio av;
    EXPECT_EQ(av.Open(AviAudioOnly().string()), kErrAviNoVideo);
    av.Close();
    av.Close();
    CDecWAV wav;
    EXPECT_EQ(wav.Open(AviAudioOnly().string()), 0);
    // Video without audio.
    EXPECT_EQ(av.Open(AviNoAudio().string()), 0);
    EXPECT_EQ(av.HasAudio(), 0);
    EXPECT_EQ(av.GetAudioFormat(), nullptr);
    EXPECT_EQ(wav.Open(AviNoAudio().string()), kErrAviNoAudio);
    // A WAV file.
    auto w = MakeFixture("tone.wav", kToneSrc + "-c:a pcm_s16le");
    CDecAVI video;
    EXPECT_EQ(video.Open(w.string()), kErrAviNoVideo);
    EXPECT_EQ(wav.Open(w.string()), 0);
    EXPECT_EQ(wav.GetAudioLength(), 44100);
    EXPECT_EQ(wav.GetAudioInfo()->dwRate / wav.GetAudioInfo()->dwScale, 22050u);
    // Nothing there.
    EXPECT_EQ(video.Open("/nonexistent/x.avi"), kErrAviFileOpen);
}

TEST(AviRead, DroppedFramesAreEmptySamples) {
    auto src = AviDropped();
    CDecAVIAudio r;
    ASSERT_EQ(r.Open(src.string()), 0);
    EXPECT_EQ(r.GetLength(), 50);
    CMemBuffBase<unsigned char> buf(4);
    buf.FillAll(0xAB);
    for (int p = 10; p < 15; ++p) {
        int samples = -1, bytes = -1;
        ASSERT_EQ(r.ReadVideoSample(p, &samples, buf, &bytes), 0);
        EXPECT_EQ(samples, 1);
        EXPECT_EQ(bytes, 0);
        EXPECT_EQ(r.IsKeyFrame(p), 0);
    }
    EXPECT_EQ(buf.GetCount(), 4);
    EXPECT_EQ(buf.GetData()[0], 0xAB);
    int samples = 0, bytes = 0;
    ASSERT_EQ(r.ReadVideoSample(15, &samples, buf, &bytes), 0);
    EXPECT_GT(bytes, 0);
    EXPECT_EQ(buf.GetCount(), bytes);
    // Past the end there is nothing to read.
    EXPECT_EQ(r.ReadVideoSample(50, &samples, buf, &bytes), kErrAviStreamRead);
}

TEST(AviRead, FormatTagNames) {
    struct Case {
        uint16_t tag;
        const char* name;
    };
    for (const Case& c :
         {Case{0x0001, "PCM"}, Case{0x0055, "MPEG LAYER-3"}, Case{0x0161, "?"}, Case{0x0000, "?"},
          Case{0x2000, "AC3"}, Case{0x0011, "DVI-ADPCM"}, Case{0x1400, "NORRIS"}})
        EXPECT_STREQ(WaveFormatTagName(c.tag), c.name) << c.tag;
}

// A file cut off in the middle (an interrupted download) has no index: the
// movi list is scanned and the complete samples are read, nothing more.
TEST(AviRead, TruncatedFileReadsUpToItsEnd) {
    auto src = AviMpeg4Mp3();
    auto bytes = ReadFile(src);
    TempDir dir;
    auto cut = dir / "cut.avi";
    bytes.resize(bytes.size() * 6 / 10);
    WriteFile(cut, bytes);
    CDecAVIAudio r;
    ASSERT_EQ(r.Open(cut.string()), 0);
    auto full = PacketChecksums(src, "v:0");
    ASSERT_GT(r.GetLength(), 10);
    ASSERT_LT(size_t(r.GetLength()), full.size());
    auto out = dir / "copy.avi";
    ASSERT_EQ(CopyMovie(cut, out), 0);
    // ffprobe finds the same packets in the cut file (it does not list the empty ones).
    auto last = Lines(
        vt::test::Run("ffprobe -v error -select_streams v:0 -show_entries packet=pts -of csv=p=0 " + Q(cut))
            .out);
    ASSERT_FALSE(last.empty());
    EXPECT_EQ(std::atoi(last.back().c_str()) + 1, r.GetLength());
    auto copied = PacketChecksums(out, "v:0");
    EXPECT_EQ(copied, PacketChecksums(cut, "v:0"));
    EXPECT_TRUE(std::equal(copied.begin(), copied.end(), full.begin()));
    auto audio = PacketChecksums(out, "a:0");
    auto fullAudio = PacketChecksums(src, "a:0");
    ASSERT_GT(audio.size(), 0u);
    EXPECT_TRUE(std::equal(audio.begin(), audio.end(), fullAudio.begin()));
    // Key frames are recognised without an index.
    std::vector<int> keys;
    for (int p = 0; p < r.GetLength(); ++p)
        if (r.IsKeyFrame(p)) keys.push_back(p);
    EXPECT_EQ(keys, ProbeKeyFrames(cut));
    EXPECT_EQ(keys.size(), 3u);
    std::string errors;
    EXPECT_TRUE(DecodesCleanly(out, &errors)) << errors;
}

// A damaged idx1 (an entry pointing outside the movi list, or the last one
// off its chunk) is not trusted: the movi list is scanned instead.
TEST(AviRead, DamagedIndexIsNotTrusted) {
    auto src = AviMpeg4Mp3();
    auto bytes = ReadFile(src);
    std::string text(bytes.begin(), bytes.end());
    size_t idx1 = text.rfind("idx1");
    ASSERT_NE(idx1, std::string::npos);
    uint32_t entries = GetU32LE(&bytes[idx1 + 4]) / 16;
    ASSERT_GT(entries, 10u);
    TempDir dir;
    for (uint32_t which : {entries / 2, entries - 1}) {
        auto damaged = bytes;
        uint8_t* e = &damaged[idx1 + 8 + 16 * which];
        PutU32LE(e + 8, which == entries - 1 ? GetU32LE(e + 8) + 2 : 0x7FFFFF00u);
        auto path = dir / ("damaged" + std::to_string(which) + ".avi");
        WriteFile(path, damaged);
        auto out = dir / ("copy" + std::to_string(which) + ".avi");
        ASSERT_EQ(CopyMovie(path, out), 0);
        EXPECT_EQ(PacketChecksums(out, "v:0"), PacketChecksums(src, "v:0"));
        EXPECT_EQ(PacketChecksums(out, "a:0"), PacketChecksums(src, "a:0"));
    }
}

// An OpenDML file as ffmpeg writes it past 1 GiB (raw frames, a few seconds to
// make). Set VT_SKIP_LARGE_TESTS to skip.
TEST(AviRead, LargeOpenDmlFileFromFfmpeg) {
    if (std::getenv("VT_SKIP_LARGE_TESTS")) GTEST_SKIP() << "VT_SKIP_LARGE_TESTS is set";
    TempDir dir;
    auto big = dir / "big.avi";
    ASSERT_EQ(vt::test::Run(
                  "ffmpeg -v error -nostdin -y -f lavfi -i color=c=black:size=1920x1080:rate=25:duration=7.2 "
                  "-f lavfi -i sine=sample_rate=8000:duration=7.2 -c:v rawvideo -pix_fmt bgr24 "
                  "-c:a pcm_u8 " +
                  Q(big))
                  .status,
              0);
    ASSERT_GT(std::filesystem::file_size(big), uint64_t(1) << 30);
    CDecAVIAudio r;
    ASSERT_EQ(r.Open(big.string()), 0);
    EXPECT_EQ(r.GetLength(), 180);
    EXPECT_EQ(r.GetAudioLength(), 57600);
    CMemBuffBase<unsigned char> buf;
    int samples = 0, bytes = 0;
    ASSERT_EQ(r.ReadVideoSample(179, &samples, buf, &bytes), 0);  // in the AVIX part
    EXPECT_EQ(bytes, 1920 * 1080 * 3);
    std::vector<uint8_t> audio(100000);
    r.SetAudioPos(57000);
    bytes = int(audio.size());
    ASSERT_EQ(r.ReadAudio(&samples, audio.data(), &bytes), 0);
    EXPECT_EQ(samples, 600);
}

}  // namespace
}  // namespace vt::test
