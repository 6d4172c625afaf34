#include <gtest/gtest.h>

#include "core/ErrorCodes.h"
#include "tests/flv/FlvTestUtil.h"

using namespace vt;
using namespace vt::test;

namespace {

// Checks what a player relies on in a written FLV: the onMetaData keyframes
// index points at key-frame video tags with the listed times.
void ExpectKeyframeIndexMatches(const std::filesystem::path& path) {
    CFlvFile f;
    ASSERT_EQ(f.Open(path.string()), 0);
    const AmfValue* kf = f.MetaData().Find("keyframes");
    ASSERT_TRUE(kf && kf->IsMap());
    const AmfValue* times = kf->Find("times");
    const AmfValue* pos = kf->Find("filepositions");
    ASSERT_TRUE(times && pos);
    ASSERT_EQ(times->items.size(), pos->items.size());
    size_t keys = 0;
    for (const FlvTag& t : f.Tags()) keys += t.IsKeyFrame();
    EXPECT_EQ(times->items.size(), keys);
    auto bytes = ReadFile(path);
    EXPECT_EQ(f.MetaData().NumberOr("filesize", 0), double(bytes.size()));
    for (size_t i = 0; i < pos->items.size(); ++i) {
        size_t p = size_t(pos->items[i].number);
        ASSERT_LT(p + 12, bytes.size());
        EXPECT_EQ(bytes[p], 9) << i;            // a video tag
        EXPECT_EQ(bytes[p + 11] >> 4, 1) << i;  // a key frame
        uint32_t t = GetU24BE(&bytes[p + 4]) | (uint32_t(bytes[p + 7]) << 24);
        EXPECT_NEAR(times->items[i].number, t / 1000.0, 1e-9) << i;
    }
}

std::vector<std::string> Slice(const std::vector<std::string>& v, size_t from, size_t to) {
    return {v.begin() + ptrdiff_t(from), v.begin() + ptrdiff_t(std::min(to, v.size()))};
}

}  // namespace

TEST(FlvSave, RewritesTheWholeFileWithItsPacketsAndASeekIndex) {
    TempDir dir;
    for (const auto& src : {H263Mp3Fixture(), H264AacFixture()}) {
        CFlvFile f;
        ASSERT_EQ(f.Open(src.string()), 0);
        RecordingProcess progress;
        auto out = dir / "copy.flv";
        ASSERT_EQ(f.SaveAs(out.string(), &progress), 0);
        EXPECT_EQ(PacketChecksums(out, "v:0"), PacketChecksums(src, "v:0"));
        EXPECT_EQ(PacketChecksums(out, "a:0"), PacketChecksums(src, "a:0"));
        EXPECT_TRUE(DecodesCleanly(out));
        ExpectKeyframeIndexMatches(out);
        ASSERT_FALSE(progress.calls.empty());
        EXPECT_EQ(progress.calls.back().first, progress.calls.back().second);
        EXPECT_EQ(progress.calls.back().second, ReadFile(out).size());
    }
}

TEST(FlvSave, StopLeavesWhatWasWritten) {
    TempDir dir;
    const auto src = H263Mp3Fixture();
    CFlvFile f;
    ASSERT_EQ(f.Open(src.string()), 0);
    RecordingProcess stop;
    stop.stopAfter = 20;
    auto flv = dir / "stopped.flv";
    EXPECT_EQ(f.SaveAs(flv.string(), &stop), kErrSilent);
    EXPECT_EQ(stop.calls.size(), 21u);
    // Whole tags up to the stop: the first packets of the source.
    CFlvFile part;
    ASSERT_EQ(part.Open(flv.string()), 0);
    EXPECT_EQ(part.Tags().size(), 20u);
    auto sums = PacketChecksums(flv, "v:0");
    auto srcSums = PacketChecksums(src, "v:0");
    ASSERT_FALSE(sums.empty());
    EXPECT_EQ(sums, std::vector<std::string>(srcSums.begin(), srcSums.begin() + ptrdiff_t(sums.size())));

    // The header and the metadata describe the part written, wherever the stop came.
    for (const auto& source : {src, H264AacFixture()}) {
        CFlvFile whole;
        ASSERT_EQ(whole.Open(source.string()), 0);
        const int tags = int(whole.Tags().size());
        for (int after : {0, 1, 5, tags / 2, tags - 1}) {
            SCOPED_TRACE(source.filename().string() + " stopped after " + std::to_string(after));
            RecordingProcess s;
            s.stopAfter = after;
            ASSERT_EQ(whole.SaveAs(flv.string(), &s), kErrSilent);
            const auto bytes = ReadFile(flv);
            CFlvFile back;
            if (after == 0) {
                EXPECT_EQ(bytes[4], 0);  // no stream in the file
                EXPECT_EQ(back.Open(flv.string()), kFlvErrNoMedia);
                continue;
            }
            ASSERT_EQ(back.Open(flv.string()), 0);
            EXPECT_EQ(int(back.Tags().size()), after);
            EXPECT_EQ(bytes[4], (back.HasAudio() ? 4 : 0) | (back.HasVideo() ? 1 : 0));
            EXPECT_EQ(back.MetaData().NumberOr("duration", -1), back.Duration() / 1000.0);
            EXPECT_LE(back.Duration(), whole.Duration());
            ExpectKeyframeIndexMatches(flv);  // the file size, and key frames that are there
            if (back.Duration() > 0) {
                EXPECT_TRUE(DecodesCleanly(flv));
            }
        }
    }

    stop.calls.clear();
    auto mp3 = dir / "stopped.mp3";
    EXPECT_EQ(f.SaveAudio(mp3.string(), &stop), kErrSilent);
    EXPECT_EQ(PacketChecksums(mp3, "a:0").size(), 21u);
}

TEST(FlvSave, NeverOverwritesItsOwnInput) {
    TempDir dir;
    auto copy = dir / "in.flv";
    std::filesystem::copy_file(H263Mp3Fixture(), copy);
    auto before = ReadFile(copy);
    CFlvFile f;
    ASSERT_EQ(f.Open(copy.string()), 0);
    EXPECT_EQ(f.SaveAs(copy.string(), nullptr), kFlvErrWriteOpen);
    EXPECT_EQ(f.SaveAudio(copy.string(), nullptr), kFlvErrWriteOpen);
    EXPECT_EQ(ReadFile(copy), before);
}

TEST(FlvSave, Mp3AudioIsTheSourceFrames) {
    TempDir dir;
    for (const auto& src : {H263Mp3Fixture(), Mp3OnlyFixture()}) {
        CFlvFile f;
        ASSERT_EQ(f.Open(src.string()), 0);
        auto mp3 = dir / "a.mp3";
        ASSERT_EQ(f.SaveAudio(mp3.string(), nullptr), 0);
        EXPECT_TRUE(DecodesCleanly(mp3));
        EXPECT_EQ(Probe(mp3, "a:0", "codec_name"), "mp3");
        EXPECT_EQ(PacketChecksums(mp3, "a:0"), PacketChecksums(src, "a:0"));
    }
}

TEST(FlvSave, AudioThatCannotBeWrittenAndMissingStreams) {
    TempDir dir;
    struct Case {
        std::filesystem::path src;
        bool audio;
        int code;
    } cases[] = {
        {SpeexFixture(), true, kFlvErrUnsupported},
        {VideoOnlyFixture(), true, kFlvErrNoAudio},
        {Mp3OnlyFixture(), false, kFlvErrNoVideo},
    };
    for (const auto& c : cases) {
        CFlvFile f;
        ASSERT_EQ(f.Open(c.src.string()), 0);
        auto out = dir / (c.audio ? "x.mp3" : "x.avi");
        EXPECT_EQ(c.audio ? f.SaveAudio(out.string(), nullptr) : f.SaveAVI(out.string(), nullptr), c.code)
            << c.src;
        EXPECT_FALSE(std::filesystem::exists(out)) << c.src;
    }
}

TEST(FlvExtract, SectionStartsAtAKeyFrameAtTimeZero) {
    TempDir dir;
    const auto src = H264AacFixture();
    CFlvFile whole;
    ASSERT_EQ(whole.Open(src.string()), 0);
    const auto srcVideo = MediaTimes(whole, kFlvTagVideo);
    const auto srcSums = PacketChecksums(src, "v:0");
    ASSERT_EQ(srcVideo.size(), srcSums.size());

    struct Case {
        uint32_t start, end;
        uint32_t cut;   // the key frame the section begins at (every 12 frames of 40 ms)
        uint32_t last;  // source time of the last video frame kept
    } cases[] = {
        {1000, 1500, 960, 1480}, {960, 1000, 960, 960},
        {0, 0, 0, 1960},         {1500, 999999, 1440, 1960},  // an end past the file means the end
        {100, 500, 0, 480},
    };
    for (const auto& c : cases) {
        CFlvFile f;
        ASSERT_EQ(f.Open(src.string()), 0);
        ASSERT_EQ(f.Extract(c.start, c.end), 0);
        auto out = dir / "part.flv";
        ASSERT_EQ(f.SaveAs(out.string(), nullptr), 0);
        CFlvFile part;
        ASSERT_EQ(part.Open(out.string()), 0);
        // The first picture is a key frame at 0, after the decoder configuration.
        const FlvTag* firstVideo = nullptr;
        for (const FlvTag& t : part.Tags())
            if (t.type == kFlvTagVideo && t.IsMediaFrame()) {
                firstVideo = &t;
                break;
            }
        ASSERT_TRUE(firstVideo);
        EXPECT_TRUE(firstVideo->IsKeyFrame());
        EXPECT_EQ(firstVideo->time, 0u);
        ASSERT_TRUE(part.Tags().front().IsSequenceHeader());
        auto video = MediaTimes(part, kFlvTagVideo);
        size_t from = size_t(std::find(srcVideo.begin(), srcVideo.end(), c.cut) - srcVideo.begin());
        size_t to = size_t(std::find(srcVideo.begin(), srcVideo.end(), c.last) - srcVideo.begin()) + 1;
        ASSERT_EQ(video.size(), to - from) << c.start;
        EXPECT_EQ(video.back(), c.last - c.cut);
        EXPECT_EQ(PacketChecksums(out, "v:0"), Slice(srcSums, from, to)) << c.start;
        // The sound covers the same span.
        auto audio = MediaTimes(part, kFlvTagAudio);
        ASSERT_FALSE(audio.empty());
        EXPECT_LE(audio.back(), (c.end && c.end < 2000 ? c.end : 2100) - c.cut);
        EXPECT_GE(audio.back() + 50, video.back());
        EXPECT_TRUE(DecodesCleanly(out)) << c.start;
        ExpectKeyframeIndexMatches(out);
    }
}

TEST(FlvExtract, FromTheBeginningKeepsTheSoundBeforeTheFirstPicture) {
    // In this file the first picture comes 25 ms after the first sound.
    TempDir dir;
    const auto src = H263Mp3Fixture();
    CFlvFile f;
    ASSERT_EQ(f.Open(src.string()), 0);
    ASSERT_GT(MediaTimes(f, kFlvTagVideo).front(), MediaTimes(f, kFlvTagAudio).front());
    ASSERT_EQ(f.Extract(0, 0), 0);
    auto out = dir / "all.flv";
    ASSERT_EQ(f.SaveAs(out.string(), nullptr), 0);
    for (const char* selector : {"v:0", "a:0"})
        EXPECT_EQ(PacketChecksums(out, selector), PacketChecksums(src, selector));
    EXPECT_TRUE(DecodesCleanly(out));
}

TEST(FlvExtract, SoundAloneAndEmptySections) {
    TempDir dir;
    CFlvFile f;
    ASSERT_EQ(f.Open(Mp3OnlyFixture().string()), 0);
    auto srcAudio = MediaTimes(f, kFlvTagAudio);
    ASSERT_EQ(f.Extract(500, 1000), 0);
    auto audio = MediaTimes(f, kFlvTagAudio);
    ASSERT_FALSE(audio.empty());
    EXPECT_EQ(audio.front(), 0u);
    uint32_t first = *std::lower_bound(srcAudio.begin(), srcAudio.end(), 500u);
    EXPECT_EQ(audio.size(), size_t(std::lower_bound(srcAudio.begin(), srcAudio.end(), 1000u) -
                                   std::lower_bound(srcAudio.begin(), srcAudio.end(), 500u)));
    EXPECT_LT(audio.back() + first, 1000u);

    // A start after the end, or past the file: a valid FLV without frames.
    // It keeps the decoder configurations (AVC, AAC), so that players find
    // its streams; a file without them has a header naming no stream.
    struct Empty {
        std::filesystem::path source;
        uint32_t start, end;
        uint8_t flags;  // of the FLV header: 4 audio, 1 video
    } empties[] = {
        {H263Mp3Fixture(), 1500, 1000, 0}, {H263Mp3Fixture(), 60000, 0, 0},   {Mp3OnlyFixture(), 60000, 0, 0},
        {H264AacFixture(), 60000, 0, 5},   {H264AacFixture(), 1500, 1000, 5},
    };
    for (const Empty& c : empties) {
        SCOPED_TRACE(c.source.string() + " " + std::to_string(c.start));
        CFlvFile g;
        ASSERT_EQ(g.Open(c.source.string()), 0);
        ASSERT_EQ(g.Extract(c.start, c.end), 0);
        auto out = dir / "empty.flv";
        ASSERT_EQ(g.SaveAs(out.string(), nullptr), 0);
        auto bytes = ReadFile(out);
        ASSERT_GT(bytes.size(), 13u);
        EXPECT_EQ(bytes[4], c.flags);
        // Header, then the script tag (onMetaData) first.
        EXPECT_EQ(bytes[13], 18);
        uint32_t metaSize = GetU24BE(&bytes[14]);
        ASSERT_GE(bytes.size(), 13u + 11 + metaSize + 4);
        EXPECT_EQ(GetU32BE(&bytes[13 + 11 + metaSize]), 11 + metaSize);
        MemoryIO meta{std::span<const uint8_t>(bytes).subspan(24, metaSize)};
        AmfValue name, value;
        ASSERT_TRUE(ReadAmfValue(meta, name) && ReadAmfValue(meta, value));
        EXPECT_EQ(name.text, "onMetaData");
        EXPECT_EQ(value.NumberOr("duration", -1), 0);
        EXPECT_EQ(value.NumberOr("filesize", -1), double(bytes.size()));
        const AmfValue* kf = value.Find("keyframes");
        ASSERT_TRUE(kf && kf->Find("times"));
        EXPECT_TRUE(kf->Find("times")->items.empty());  // no key frame to point at
        CFlvFile back;
        if (c.flags == 0) {
            EXPECT_EQ(bytes.size(), 13u + 11 + metaSize + 4);  // nothing after the metadata
            EXPECT_EQ(back.Open(out.string()), kFlvErrNoMedia);
            continue;
        }
        // Players open it and find its streams, without a frame.
        auto probe =
            vt::test::Run("ffprobe -v error -show_entries stream=codec_type -of csv=p=0 " + Q(out) + " 2>&1");
        EXPECT_EQ(probe.status, 0);
        EXPECT_EQ(probe.out, "video\naudio\n");
        EXPECT_EQ(vt::test::Run("ffprobe -v error -show_packets " + Q(out) + " 2>&1").out, "");
        ASSERT_EQ(back.Open(out.string()), 0);
        EXPECT_EQ(back.Duration(), 0u);
        EXPECT_TRUE(std::none_of(back.Tags().begin(), back.Tags().end(),
                                 [](const FlvTag& t) { return t.IsMediaFrame(); }));
    }
}

TEST(FlvAdd, JoinsWithContinuingTimes) {
    TempDir dir;
    const auto a = H263Mp3Fixture(), b = H263Mp3SecondFixture();
    CFlvFile first, second;
    ASSERT_EQ(first.Open(a.string()), 0);
    ASSERT_EQ(second.Open(b.string()), 0);
    const uint32_t durA = first.Duration(), durB = second.Duration();
    const auto videoA = MediaTimes(first, kFlvTagVideo);
    const auto audioA = MediaTimes(first, kFlvTagAudio);
    ASSERT_EQ(first.Add(&second, true), 0);
    auto out = dir / "joined.flv";
    ASSERT_EQ(first.SaveAs(out.string(), nullptr), 0);

    for (const char* selector : {"v:0", "a:0"}) {
        auto expected = PacketChecksums(a, selector);
        auto tail = PacketChecksums(b, selector);
        expected.insert(expected.end(), tail.begin(), tail.end());
        EXPECT_EQ(PacketChecksums(out, selector), expected) << selector;
    }
    CFlvFile joined;
    ASSERT_EQ(joined.Open(out.string()), 0);
    for (uint8_t type : {kFlvTagVideo, kFlvTagAudio}) {
        auto t = MediaTimes(joined, type);
        for (size_t i = 1; i < t.size(); ++i) ASSERT_LT(t[i - 1], t[i]) << int(type) << " at " << i;
    }
    // The second file begins where the first ends: its first picture follows
    // the first file's last one with no more than one frame's gap, and the
    // sound goes on without a gap at all.
    auto video = MediaTimes(joined, kFlvTagVideo);
    EXPECT_GE(video[videoA.size()] - videoA.back(), 40u);
    EXPECT_LE(video[videoA.size()] - videoA.back(), 80u);
    auto audio = MediaTimes(joined, kFlvTagAudio);
    EXPECT_NEAR(double(audio[audioA.size()] - audioA.back()), 26.1, 1);
    EXPECT_NEAR(joined.MetaData().NumberOr("duration", 0), (durA + durB) / 1000.0, 1e-9);
    EXPECT_NEAR(joined.Duration(), durA + durB, 1);
    EXPECT_NEAR(std::stod(Probe(a, "", "duration")) + std::stod(Probe(b, "", "duration")),
                joined.MetaData().NumberOr("duration", 0), 0.1);
    EXPECT_TRUE(DecodesCleanly(out));
    ExpectKeyframeIndexMatches(out);
}

TEST(FlvAdd, RefusesADifferentFormat) {
    struct Case {
        std::filesystem::path a, b;
    } cases[] = {
        {H263Mp3Fixture(), H264AacFixture()},
        {H263Mp3Fixture(), VideoOnlyFixture()},
        {H263Mp3Fixture(), Mp3OnlyFixture()},
    };
    for (const auto& c : cases) {
        CFlvFile first, second;
        ASSERT_EQ(first.Open(c.a.string()), 0);
        ASSERT_EQ(second.Open(c.b.string()), 0);
        size_t before = first.Tags().size();
        EXPECT_EQ(first.Add(&second, true), kFlvErrFormat) << c.b;
        EXPECT_EQ(first.Tags().size(), before);
    }
    // AVC files with other parameter sets differ too.
    CFlvFile avc1, avc2;
    ASSERT_EQ(avc1.Open(H264AacFixture().string()), 0);
    auto other = MakeFixture("flv_h264_aac_320.flv",
                             "-f lavfi -i testsrc=size=320x240:rate=25:duration=1 -f lavfi -i "
                             "sine=sample_rate=44100:duration=1 -c:v libx264 -preset veryfast -g 12 "
                             "-pix_fmt yuv420p -c:a aac -b:a 64k");
    ASSERT_EQ(avc2.Open(other.string()), 0);
    EXPECT_EQ(avc1.Add(&avc2, true), kFlvErrFormat);
}
