// The audio separation of FLV files: MP3 as it is stored, AAC as an ADTS
// stream that matches what ffmpeg writes, and the refusals, each with a
// detail text that names its reason.
#include <gtest/gtest.h>

#include "core/ErrorCodes.h"
#include "flv/FlvCodecs.h"
#include "tests/flv/FlvTestUtil.h"

using namespace vt;
using namespace vt::test;

namespace {

// ffmpeg's own ADTS stream of a file's audio.
std::vector<uint8_t> FfmpegAdts(const std::filesystem::path& src, const std::filesystem::path& out) {
    auto r =
        Run("ffmpeg -y -hide_banner -loglevel error -i " + Q(src) + " -map 0:a -c copy -f adts " + Q(out));
    EXPECT_EQ(r.status, 0) << src;
    return ReadFile(out);
}

// An AAC tag: 0xAF (AAC, 44 kHz, 16 bit, stereo), the packet type, the data.
std::vector<uint8_t> AacTag(uint8_t packetType, std::vector<uint8_t> data) {
    data.insert(data.begin(), {0xAF, packetType});
    return data;
}

std::vector<uint8_t> Frame(size_t size, uint8_t fill) {
    return std::vector<uint8_t>(size, fill);
}

struct AdtsFrame {
    int profile, rateIndex, channels;
    size_t length;
};

// Splits an ADTS stream into its headers; fails the test on a broken chain.
std::vector<AdtsFrame> ReadAdts(const std::vector<uint8_t>& s) {
    std::vector<AdtsFrame> frames;
    size_t p = 0;
    while (p + 7 <= s.size()) {
        EXPECT_EQ(s[p], 0xFF);
        EXPECT_EQ(s[p + 1], 0xF1);
        AdtsFrame f;
        f.profile = s[p + 2] >> 6;
        f.rateIndex = (s[p + 2] >> 2) & 0x0F;
        f.channels = ((s[p + 2] & 1) << 2) | (s[p + 3] >> 6);
        f.length = (size_t(s[p + 3] & 3) << 11) | (size_t(s[p + 4]) << 3) | (s[p + 5] >> 5);
        if (f.length < 7) {
            ADD_FAILURE() << "frame length " << f.length;
            break;
        }
        frames.push_back(f);
        p += f.length;
    }
    EXPECT_EQ(p, s.size());
    return frames;
}

int SaveBytes(CFlvFile& f, const std::vector<uint8_t>& flv, const std::filesystem::path& in,
              const std::filesystem::path& out) {
    WriteFile(in, flv);
    int code = f.Open(in.string());
    return code != 0 ? code : f.SaveAudio(out.string(), nullptr);
}

}  // namespace

TEST(FlvAudio, AacBecomesTheAdtsStreamFfmpegWrites) {
    TempDir dir;
    struct Case {
        std::filesystem::path src;
        std::string channels;
    } cases[] = {
        {AacStereoFixture(), "2"}, {AacMonoFixture(), "1"}, {H264AacFixture(), "1"},  // beside AVC video
    };
    for (const auto& c : cases) {
        CFlvFile f;
        ASSERT_EQ(f.Open(c.src.string()), 0) << c.src;
        EXPECT_EQ(f.AudioExtension(), ".aac");
        RecordingProcess progress;
        const auto out = dir / "a.aac";
        ASSERT_EQ(f.SaveAudio(out.string(), &progress), 0) << c.src << " " << f.GetLastErrorDetail();
        EXPECT_EQ(ReadFile(out), FfmpegAdts(c.src, dir / "ff.aac")) << c.src;
        // ffmpeg keeps the ADTS headers in its packets: the sound is compared.
        EXPECT_FALSE(DecodedAudioMd5(out).empty()) << c.src;
        EXPECT_EQ(DecodedAudioMd5(out), DecodedAudioMd5(c.src)) << c.src;
        EXPECT_EQ(PacketChecksums(out, "a:0").size(), PacketChecksums(c.src, "a:0").size()) << c.src;
        EXPECT_EQ(Probe(out, "a:0", "codec_name"), "aac");
        EXPECT_EQ(Probe(out, "a:0", "channels"), c.channels);
        EXPECT_TRUE(DecodesCleanly(out)) << c.src;
        ASSERT_FALSE(progress.calls.empty());
        EXPECT_EQ(progress.calls.back().first, progress.calls.back().second);
        EXPECT_EQ(progress.calls.back().second, ReadFile(out).size());
    }
}

// Configurations made by hand: the header of every frame comes from the
// AudioSpecificConfig in force; what ADTS cannot say is refused by name.
TEST(FlvAudio, AdtsHeadersFollowTheAudioSpecificConfig) {
    TempDir dir;
    const std::vector<uint8_t> lc48Stereo = {0x11, 0x90};  // AAC LC, 48 kHz, 2 channels
    const std::vector<uint8_t> lc441Mono = {0x12, 0x08};   // AAC LC, 44.1 kHz, 1 channel
    // HE-AAC, explicit: SBR, core 24 kHz, 2 channels, 48 kHz out, core AAC LC.
    const std::vector<uint8_t> heAac = {0x2B, 0x11, 0x88};
    {
        // HE-AAC: the ADTS header names the core (LC at 24 kHz), as ffmpeg writes it.
        auto flv = FlvBuilder(4)
                       .Tag(kFlvTagAudio, 0, AacTag(0, heAac))
                       .Tag(kFlvTagAudio, 0, AacTag(1, Frame(100, 0x21)))
                       .Tag(kFlvTagAudio, 42, AacTag(1, Frame(120, 0x22)))
                       .bytes;
        CFlvFile f;
        ASSERT_EQ(SaveBytes(f, flv, dir / "he.flv", dir / "he.aac"), 0) << f.GetLastErrorDetail();
        auto frames = ReadAdts(ReadFile(dir / "he.aac"));
        ASSERT_EQ(frames.size(), 2u);
        EXPECT_EQ(frames[0].profile, 1);
        EXPECT_EQ(frames[0].rateIndex, 6);
        EXPECT_EQ(frames[0].channels, 2);
        EXPECT_EQ(frames[0].length, 107u);
        EXPECT_EQ(frames[1].length, 127u);
        EXPECT_EQ(ReadFile(dir / "he.aac"), FfmpegAdts(dir / "he.flv", dir / "he_ff.aac"));
    }
    {
        // A configuration that changes on the way holds from its tag on;
        // empty AAC tags are left out.
        auto flv = FlvBuilder(4)
                       .Tag(kFlvTagAudio, 0, AacTag(0, lc48Stereo))
                       .Tag(kFlvTagAudio, 0, AacTag(1, Frame(50, 1)))
                       .Tag(kFlvTagAudio, 21, AacTag(1, {}))
                       .Tag(kFlvTagAudio, 21, AacTag(0, lc441Mono))
                       .Tag(kFlvTagAudio, 21, AacTag(1, Frame(60, 2)))
                       .bytes;
        CFlvFile f;
        ASSERT_EQ(SaveBytes(f, flv, dir / "change.flv", dir / "change.aac"), 0) << f.GetLastErrorDetail();
        auto frames = ReadAdts(ReadFile(dir / "change.aac"));
        ASSERT_EQ(frames.size(), 2u);
        EXPECT_EQ(frames[0].rateIndex, 3);
        EXPECT_EQ(frames[0].channels, 2);
        EXPECT_EQ(frames[1].rateIndex, 4);
        EXPECT_EQ(frames[1].channels, 1);
    }
    struct Refusal {
        const char* what;
        std::vector<uint8_t> flv;
        int code;
        std::string detail;
    } refusals[] = {
        {"AAC LD", FlvBuilder(4).Tag(8, 0, AacTag(0, {0xB9, 0x90})).Tag(8, 0, AacTag(1, Frame(40, 3))).bytes,
         kFlvErrUnsupported, "object type 23"},
        {"channels by a program config element",
         FlvBuilder(4).Tag(8, 0, AacTag(0, {0x11, 0x80})).Tag(8, 0, AacTag(1, Frame(40, 3))).bytes,
         kFlvErrUnsupported, "channel configuration 0"},
        {"no configuration", FlvBuilder(4).Tag(8, 0, AacTag(1, Frame(40, 3))).bytes, kFlvErrUnsupported,
         "no decoder configuration"},
        {"a frame too large for ADTS",
         FlvBuilder(4).Tag(8, 0, AacTag(0, lc48Stereo)).Tag(8, 0, AacTag(1, Frame(8185, 3))).bytes,
         kFlvErrAudioSize, "larger than an ADTS frame"},
        {"MP3, then AAC",
         FlvBuilder(4).Tag(8, 0, {0x2E, 0xFF, 0xFB, 0x90, 0x00}).Tag(8, 26, AacTag(0, lc48Stereo)).bytes,
         kFlvErrUnsupported, "MP3, then AAC"},
    };
    for (const auto& r : refusals) {
        CFlvFile f;
        EXPECT_EQ(SaveBytes(f, r.flv, dir / "r.flv", dir / "r.aac"), r.code) << r.what;
        EXPECT_NE(f.GetLastErrorDetail().find(r.detail), std::string::npos)
            << r.what << ": " << f.GetLastErrorDetail();
        EXPECT_FALSE(std::filesystem::exists(dir / "r.aac")) << r.what;
    }
}

// Sound formats that have no file of their own here: 9025, the codec named.
TEST(FlvAudio, CodecsThatCannotBeWrittenAreNamed) {
    TempDir dir;
    struct Case {
        std::filesystem::path src;
        std::string name;
    } cases[] = {
        {SpeexFixture(), "Speex"},
        {NellymoserFixture(), "Nellymoser"},
        {AdpcmFixture(), "ADPCM"},
    };
    for (const auto& c : cases) {
        CFlvFile f;
        ASSERT_EQ(f.Open(c.src.string()), 0) << c.src;
        EXPECT_EQ(f.AudioExtension(), ".mp3");
        const auto out = dir / "x.mp3";
        EXPECT_EQ(f.SaveAudio(out.string(), nullptr), kFlvErrUnsupported) << c.src;
        EXPECT_NE(f.GetLastErrorDetail().find("The audio is " + c.name), std::string::npos)
            << f.GetLastErrorDetail();
        EXPECT_FALSE(std::filesystem::exists(out));
    }
}

// An MP3 file of one frame is not read as MP3 (the reader looks for a second
// frame header): such audio is refused with that reason; two frames are written.
TEST(FlvAudio, ASingleMp3FrameIsRefusedWithItsReason) {
    TempDir dir;
    CFlvFile src;
    ASSERT_EQ(src.Open(Mp3OnlyFixture().string()), 0);
    std::vector<std::vector<uint8_t>> tags;
    for (const FlvTag& t : src.Tags()) {
        if (t.type != kFlvTagAudio || tags.size() == 2) continue;
        ASSERT_TRUE(src.ReadTagData(t, tags.emplace_back()));
    }
    ASSERT_EQ(tags.size(), 2u);
    MpegAudioHeader h;
    ASSERT_TRUE(ParseMpegAudioHeader(std::span<const uint8_t>(tags[0]).subspan(1), h));
    EXPECT_EQ(h.frameSize, tags[0].size() - 1);  // one frame a tag, as ffmpeg writes them

    CFlvFile one;
    EXPECT_EQ(SaveBytes(one, FlvBuilder(4).Tag(8, 0, tags[0]).bytes, dir / "one.flv", dir / "one.mp3"),
              kFlvErrAudioSize);
    EXPECT_NE(one.GetLastErrorDetail().find("single MP3 frame (26 ms)"), std::string::npos)
        << one.GetLastErrorDetail();
    EXPECT_FALSE(std::filesystem::exists(dir / "one.mp3"));

    CFlvFile two;
    ASSERT_EQ(SaveBytes(two, FlvBuilder(4).Tag(8, 0, tags[0]).Tag(8, 26, tags[1]).bytes, dir / "two.flv",
                        dir / "two.mp3"),
              0);
    std::vector<uint8_t> expected(tags[0].begin() + 1, tags[0].end());
    expected.insert(expected.end(), tags[1].begin() + 1, tags[1].end());
    EXPECT_EQ(ReadFile(dir / "two.mp3"), expected);
}

// MP3 as FLV writers store it: frames cut across tags, and 8 kHz MP3 under
// its own sound format (14). The .mp3 holds the frames as they were.
TEST(FlvAudio, Mp3FramesWhateverTheTagging) {
    TempDir dir;
    struct Stream {
        std::filesystem::path mp3;
        uint8_t head;  // sound format, rate, size and channels of the tags
    } streams[] = {
        {MakeFixture("flv_mp3_8k.mp3",
                     "-f lavfi -i sine=frequency=440:sample_rate=8000:duration=1 -ar 8000 -ac 1 "
                     "-c:a libmp3lame -b:a 16k -write_xing 0 -id3v2_version 0"),
         0xE2},
        {MakeFixture("flv_mp3_44k.mp3",
                     "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=1 -ac 2 "
                     "-c:a libmp3lame -b:a 64k -write_xing 0 -id3v2_version 0"),
         0x2F},
    };
    for (const auto& st : streams) {
        const auto frames = ReadFile(st.mp3);
        ASSERT_GT(frames.size(), 1000u);
        // One tag a frame, and tags of 300 bytes that cut frames anywhere.
        std::vector<size_t> frameEnds;
        for (size_t p = 0; p + 4 <= frames.size();) {
            MpegAudioHeader h;
            ASSERT_TRUE(ParseMpegAudioHeader(std::span<const uint8_t>(frames).subspan(p), h)) << p;
            p += h.frameSize;
            frameEnds.push_back(std::min(p, frames.size()));
        }
        std::vector<size_t> pieces;
        for (size_t p = 300; p < frames.size(); p += 300) pieces.push_back(p);
        pieces.push_back(frames.size());
        for (const auto& ends : {frameEnds, pieces}) {
            FlvBuilder b(4);
            size_t from = 0;
            uint32_t time = 0;
            for (size_t end : ends) {
                std::vector<uint8_t> tag = {st.head};
                tag.insert(tag.end(), frames.begin() + ptrdiff_t(from), frames.begin() + ptrdiff_t(end));
                b.Tag(kFlvTagAudio, time, tag);
                time += 26;
                from = end;
            }
            CFlvFile f;
            ASSERT_EQ(SaveBytes(f, b.bytes, dir / "s.flv", dir / "s.mp3"), 0) << f.GetLastErrorDetail();
            EXPECT_EQ(ReadFile(dir / "s.mp3"), frames) << st.mp3 << " " << ends.size();
            EXPECT_EQ(PacketChecksums(dir / "s.mp3", "a:0"), PacketChecksums(st.mp3, "a:0"));
            EXPECT_TRUE(DecodesCleanly(dir / "s.mp3"));
        }
    }
}

TEST(FlvAudio, MpegAudioHeaders) {
    struct Case {
        std::vector<uint8_t> header;
        bool ok;
        uint32_t size, rate, samples;
    } cases[] = {
        {{0xFF, 0xFB, 0x90, 0x44}, true, 417, 44100, 1152},  // MPEG 1 layer III, 128 kb/s
        {{0xFF, 0xFB, 0x92, 0x44}, true, 418, 44100, 1152},  // the same, padded
        {{0xFF, 0xF3, 0x80, 0xC4}, true, 208, 22050, 576},   // MPEG 2 layer III, 64 kb/s
        {{0xFF, 0xE3, 0x20, 0xC0}, true, 104, 11025, 576},   // MPEG 2.5 layer III, 16 kb/s
        {{0xFF, 0xFD, 0x90, 0x04}, true, 522, 44100, 1152},  // MPEG 1 layer II, 160 kb/s
        {{0xFF, 0xFF, 0x90, 0x04}, true, 312, 44100, 384},   // MPEG 1 layer I, 288 kb/s
        {{0xFF, 0xFB, 0x00, 0x44}, false, 0, 0, 0},          // free format
        {{0xFF, 0xFB, 0xF0, 0x44}, false, 0, 0, 0},          // bad bit rate
        {{0xFF, 0xFB, 0x9C, 0x44}, false, 0, 0, 0},          // reserved rate
        {{0xFF, 0xEB, 0x90, 0x44}, false, 0, 0, 0},          // reserved version
        {{0xFF, 0xF9, 0x90, 0x44}, false, 0, 0, 0},          // reserved layer
        {{0xFF, 0xFB, 0x90}, false, 0, 0, 0},                // short
    };
    for (const auto& c : cases) {
        MpegAudioHeader h;
        ASSERT_EQ(ParseMpegAudioHeader(c.header, h), c.ok) << int(c.header.size() > 2 ? c.header[2] : 0);
        if (!c.ok) continue;
        EXPECT_EQ(h.frameSize, c.size);
        EXPECT_EQ(h.sampleRate, c.rate);
        EXPECT_EQ(h.samplesPerFrame, c.samples);
    }
}
