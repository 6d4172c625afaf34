#include <gtest/gtest.h>

#include "core/ErrorCodes.h"
#include "pages/flv/FlvOperations.h"
#include "platform/AviFile.h"
#include "tests/flv/FlvTestUtil.h"

using namespace vt;
using namespace vt::test;

namespace {

// Rebuilds `src` without the video frames whose numbers are in `drop`.
std::vector<uint8_t> WithoutVideoFrames(const std::filesystem::path& src, const std::vector<int>& drop) {
    CFlvFile f;
    EXPECT_EQ(f.Open(src.string()), 0);
    FlvBuilder b;
    std::vector<uint8_t> data;
    int frame = 0;
    for (const FlvTag& t : f.Tags()) {
        if (t.type == kFlvTagVideo && t.IsMediaFrame() &&
            std::find(drop.begin(), drop.end(), frame++) != drop.end())
            continue;
        EXPECT_TRUE(f.ReadTagData(t, data));
        b.Tag(t.type, t.time, data);
    }
    return b.bytes;
}

}  // namespace

TEST(FlvAvi, FramesAsStoredWithTheirCodec) {
    TempDir dir;
    struct Case {
        std::filesystem::path src;
        const char* fourcc;
        const char* rate;
    } cases[] = {
        {H263Mp3Fixture(), "FLV1", "25/1"},
        {VideoOnlyFixture(), "FLV1", "25/1"},
        {MakeFixture("flv_screen.flv", "-f lavfi -i testsrc=size=96x64:rate=10:duration=1 -c:v flashsv"),
         "FSV1", "10/1"},
    };
    for (const auto& c : cases) {
        CFlvFile f;
        ASSERT_EQ(f.Open(c.src.string()), 0);
        auto avi = dir / "v.avi";
        RecordingProcess progress;
        ASSERT_EQ(f.SaveAVI(avi.string(), &progress), 0) << c.src;
        EXPECT_EQ(Probe(avi, "v:0", "codec_tag_string"), c.fourcc);
        EXPECT_EQ(Probe(avi, "v:0", "r_frame_rate"), c.rate);
        EXPECT_EQ(StreamCount(avi, "audio"), 0);
        EXPECT_EQ(PacketChecksums(avi, "v:0"), PacketChecksums(c.src, "v:0"));
        EXPECT_TRUE(DecodesCleanly(avi));
        ASSERT_FALSE(progress.calls.empty());
        EXPECT_EQ(progress.calls.back().first, progress.calls.back().second);
    }
}

TEST(FlvAvi, AvcBecomesAnnexBAndDecodesToEveryFrame) {
    TempDir dir;
    const auto src = H264AacFixture();
    CFlvFile f;
    ASSERT_EQ(f.Open(src.string()), 0);
    auto avi = dir / "v.avi";
    ASSERT_EQ(f.SaveAVI(avi.string(), nullptr), 0);
    EXPECT_EQ(Probe(avi, "v:0", "codec_name"), "h264");
    EXPECT_EQ(Probe(avi, "v:0", "codec_tag_string"), "H264");
    std::string errors;
    EXPECT_TRUE(DecodesCleanly(avi, &errors)) << errors;
    auto frames = [](const std::filesystem::path& p) {
        return Probe(p, "v:0", "nb_read_frames -count_frames");
    };
    EXPECT_EQ(frames(avi), frames(src));
    EXPECT_EQ(PacketChecksums(avi, "v:0").size(), PacketChecksums(src, "v:0").size());
}

TEST(FlvAvi, DroppedFramesKeepTheOthersAtTheirTimes) {
    TempDir dir;
    const auto src = VideoOnlyFixture();
    auto gapped = dir / "gapped.flv";
    WriteFile(gapped, WithoutVideoFrames(src, {5, 6, 7, 30}));
    CFlvFile f;
    ASSERT_EQ(f.Open(gapped.string()), 0);
    auto avi = dir / "v.avi";
    ASSERT_EQ(f.SaveAVI(avi.string(), nullptr), 0);
    // 50 frame slots at 25 frames a second, four of them empty.
    EXPECT_EQ(Probe(avi, "v:0", "r_frame_rate"), "25/1");
    EXPECT_EQ(Probe(avi, "v:0", "nb_frames"), "50");
    // Each picture is at the time it had in the FLV file; the empty frames
    // in between carry nothing.
    auto field = [](const std::string& l, int n) {
        size_t p = 0;
        for (int k = 0; k < n; ++k) p = l.find(',', p) + 1;
        return std::stoll(l.substr(p, l.find(',', p) - p));
    };
    std::vector<std::string> lines;
    for (const auto& l : FrameMd5Lines(avi, "v:0"))
        if (field(l, 4) != 0) lines.push_back(l);
    auto srcLines = FrameMd5Lines(gapped, "v:0");
    ASSERT_EQ(lines.size(), srcLines.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        // AVI times count frames of 40 ms from the first picture; the FLV's
        // are milliseconds.
        EXPECT_EQ(field(lines[i], 2) * 40, field(srcLines[i], 2) - field(srcLines[0], 2)) << i;
        EXPECT_EQ(lines[i].substr(lines[i].rfind(',')), srcLines[i].substr(srcLines[i].rfind(','))) << i;
    }
}

TEST(FlvAvi, Vp6LosesItsAdjustmentByte) {
    TempDir dir;
    // Two VP6 frames: a key frame (size 192x144 in its header, 0x21 as its
    // adjustment) and an inter frame; metadata so that ffmpeg reads the file.
    std::vector<uint8_t> key = {0x14, 0x21, 0x00, 0x46, 9, 12, 9, 12, 0xAA, 0xBB};
    std::vector<uint8_t> inter = {0x24, 0x21, 0x80, 0x46, 0xCC};
    AmfValue meta = AmfValue::Ecma();
    meta.Set("width", AmfValue::Num(190));
    meta.Set("height", AmfValue::Num(143));
    meta.Set("videocodecid", AmfValue::Num(4));
    meta.Set("framerate", AmfValue::Num(25));
    MemoryIO script;
    ASSERT_TRUE(WriteAmfValue(script, AmfValue::Str("onMetaData")) && WriteAmfValue(script, meta));
    auto flv = dir / "vp6.flv";
    WriteFile(
        flv,
        FlvBuilder(1).Tag(18, 0, script.Data()).Tag(9, 0, key).Tag(9, 40, inter).Tag(9, 80, inter).bytes);
    CFlvFile f;
    ASSERT_EQ(f.Open(flv.string()), 0);
    EXPECT_EQ(f.Width(), 190u);
    EXPECT_EQ(f.Height(), 143u);
    auto avi = dir / "v.avi";
    ASSERT_EQ(f.SaveAVI(avi.string(), nullptr), 0);
    EXPECT_EQ(Probe(avi, "v:0", "codec_tag_string"), "VP6F");
    EXPECT_EQ(Probe(avi, "v:0", "width"), "190");
    // The adjustment byte travels as the stream's codec data, as from the FLV.
    EXPECT_EQ(Probe(avi, "v:0", "extradata_size"), "1");
    EXPECT_EQ(PacketChecksums(avi, "v:0"), PacketChecksums(flv, "v:0"));
    ASSERT_EQ(PacketChecksums(avi, "v:0").size(), 3u);

    // Without metadata the size comes from the key frame, less the adjustment.
    CFlvFile bare;
    ASSERT_EQ(bare.Open(std::make_shared<MemoryIO>(FlvBuilder(1).Tag(9, 0, key).bytes)), 0);
    EXPECT_EQ(bare.Width(), 190u);
    EXPECT_EQ(bare.Height(), 143u);
}

TEST(FlvAvi, CodecsWithoutAnAviForm) {
    TempDir dir;
    auto avi = dir / "v.avi";
    // Screen video 2 (codec 6) has no AVI form here.
    auto bytes = FlvBuilder(1).Tag(9, 0, {0x16, 1, 2, 3}).bytes;
    CFlvFile f;
    ASSERT_EQ(f.Open(std::make_shared<MemoryIO>(bytes)), 0);
    EXPECT_EQ(f.SaveAVI(avi.string(), nullptr), kFlvErrUnsupported);
    EXPECT_FALSE(std::filesystem::exists(avi));
}

TEST(FlvAvi, VideoSeparationThroughTheOperation) {
    TempDir dir;
    const auto src = H263Mp3Fixture();
    const std::string out = FlvSeparationOutputPath((dir / "movie.mp3").string(), FlvSeparationPart::Video);
    EXPECT_EQ(out, (dir / "movie.avi").string());
    RecordingHost host;
    ASSERT_EQ(FlvSeparation(host, src.string(), out, FlvSeparationPart::Video).code, 0);
    EXPECT_TRUE(host.errors.empty());
    EXPECT_FALSE(host.progress.empty());
    EXPECT_EQ(PacketChecksums(out, "v:0"), PacketChecksums(src, "v:0"));

    // Stopped: no message, and an AVI of the frames written so far.
    RecordingHost stop;
    stop.stopAfterProgressCalls = 10;
    EXPECT_EQ(FlvSeparation(stop, src.string(), out, FlvSeparationPart::Video).code, kErrSilent);
    EXPECT_TRUE(stop.errors.empty());
    EXPECT_EQ(PacketChecksums(out, "v:0").size(), 10u);
    EXPECT_TRUE(DecodesCleanly(out));
}

// Large frames go from the FLV file to the AVI file without being read, small
// ones through memory: every frame holds its bytes as stored (less the codec's
// bytes) with its key-frame flag, in order. A frame the file no longer holds
// is a read failure, and no output is left.
TEST(FlvAvi, LargeFramesCopiedAsStoredAndTheirReadFailures) {
    TempDir dir;
    struct Case {
        const char* name;
        uint8_t keyHead, interHead;
        std::vector<uint8_t> codecBytes;  // after the head byte: removed (VP6's adjustment) or kept
        size_t skip;                      // the bytes of the tag that are not the frame's
    } cases[] = {
        {"h263", 0x12, 0x22, {}, 1},
        {"vp6", 0x14, 0x24, {0x21}, 2},
    };
    // Around the size from which frames are copied, and far above and below it.
    const size_t sizes[] = {40000, 100, 16384, 16383, 16385, 7, 250000, 30001};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FlvBuilder b(1);
        std::vector<std::vector<uint8_t>> frames;
        for (size_t i = 0; i < std::size(sizes); ++i) {
            std::vector<uint8_t> tag{i % 3 == 0 ? c.keyHead : c.interHead};
            tag.insert(tag.end(), c.codecBytes.begin(), c.codecBytes.end());
            std::vector<uint8_t> frame(sizes[i]);
            for (size_t k = 0; k < frame.size(); ++k) frame[k] = uint8_t(k * 7 + i * 31 + (k >> 9));
            if (c.keyHead == 0x14 && i == 0) {  // a VP6 key frame's header: 192x144
                const uint8_t head[] = {0x00, 0x46, 9, 12, 9, 12};
                std::copy(std::begin(head), std::end(head), frame.begin());
            }
            tag.insert(tag.end(), frame.begin(), frame.end());
            b.Tag(9, uint32_t(i * 40), tag);
            frames.push_back(tag);
        }
        const auto flv = dir / (std::string(c.name) + ".flv"), avi = dir / (std::string(c.name) + ".avi");
        WriteFile(flv, b.bytes);
        {
            CFlvFile f;
            ASSERT_EQ(f.Open(flv.string()), 0);
            ASSERT_EQ(f.SaveAVI(avi.string(), nullptr), 0);
        }
        std::shared_ptr<AviFile> file;
        ASSERT_EQ(AviFile::Open(avi.string(), file), kAviOk);
        std::shared_ptr<AviStream> v;
        ASSERT_EQ(file->GetStream(v, kStreamTypeVideo, 0), kAviOk);
        ASSERT_EQ(v->Length(), int32_t(frames.size()));
        for (size_t i = 0; i < frames.size(); ++i) {
            std::vector<uint8_t> got(frames[i].size());
            int32_t bytes = 0;
            ASSERT_EQ(v->Read(int32_t(i), 1, got.data(), int32_t(got.size()), &bytes, nullptr), kAviOk);
            got.resize(size_t(bytes));
            EXPECT_TRUE(
                std::equal(got.begin(), got.end(), frames[i].begin() + ptrdiff_t(c.skip), frames[i].end()) &&
                got.size() == frames[i].size() - c.skip)
                << i;
            EXPECT_EQ(v->IsKeyFrame(int32_t(i)), i % 3 == 0) << i;
        }
        file.reset();
        // The file loses the end of its last frames after it was opened.
        CFlvFile f;
        ASSERT_EQ(f.Open(flv.string()), 0);
        std::filesystem::resize_file(flv, b.bytes.size() - 30001 - 4 - 100000);
        EXPECT_EQ(f.SaveAVI(avi.string(), nullptr), kFlvErrRead);
        EXPECT_FALSE(std::filesystem::exists(avi));
    }
}
