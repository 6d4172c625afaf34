// Reader -> writer copies checked with ffmpeg: whole files, ranges, a profile
// reduced to one stream, joined files, and two readers writing at once.
#include <gtest/gtest.h>

#include <thread>

#include "core/ErrorCodes.h"
#include "tests/wm/WmTestSupport.h"

namespace vt::test {
namespace {

// Copies every stream of `in` (optionally a range) to `out` as the extraction page does.
int CopyFile(const std::filesystem::path& in, const std::filesystem::path& out, uint64_t start = 0,
             uint64_t end = ~0ull) {
    CDecCompWMV reader;
    CEncCompWMV writer;
    writer.SetDeterministicOutput(true);
    int code = reader.Open(in.string(), start, end);
    if (code) return code;
    code = writer.Open(out.string(), reader.GetProfile().get());
    CopySink sink{&writer};
    if (!code) {
        reader.SetSampleCallback(&CopySink::Callback, &sink);
        code = reader.CopyHeader(writer.GetHeaderInfo());
    }
    if (!code) code = writer.StartWriting();
    if (!code) code = reader.Run();
    reader.Close();
    writer.Finish();
    return code;
}

std::string Tag(const std::filesystem::path& f, const std::string& name) {
    auto r = vt::test::Run("ffprobe -v error -show_entries format_tags=" + name + " -of default=nw=1:nk=1 " +
                           Q(f) + " 2>/dev/null");
    while (!r.out.empty() && r.out.back() == '\n') r.out.pop_back();
    return r.out;
}

class CopyOnFixtures : public ::testing::TestWithParam<size_t> {};

TEST_P(CopyOnFixtures, WholeFileKeepsEveryPacketAndDecodes) {
    const auto in = WmFixture(GetParam());
    ASSERT_FALSE(in.empty());
    TempDir dir;
    const auto out = dir / (std::string("copy") + in.extension().string());
    ASSERT_EQ(CopyFile(in, out), kOk);
    std::string errors;
    EXPECT_TRUE(DecodesCleanly(out, &errors)) << errors;
    const int streams = StreamCount(in, "video") + StreamCount(in, "audio");
    ASSERT_EQ(StreamCount(out, "video") + StreamCount(out, "audio"), streams);
    for (int i = 0; i < streams; ++i) {
        SCOPED_TRACE("stream " + std::to_string(i));
        EXPECT_EQ(FfmpegPackets(out, std::to_string(i)), FfmpegPackets(in, std::to_string(i)));
    }
    // Our own reader reads the copy back with the same duration.
    CDecCompWMV a, b;
    ASSERT_EQ(a.Open(in.string(), 0, ~0ull), kOk);
    ASSERT_EQ(b.Open(out.string(), 0, ~0ull), kOk);
    EXPECT_NEAR(double(b.GetDuration()), double(a.GetDuration()), 1e6);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, CopyOnFixtures, ::testing::Range<size_t>(0, WmFixtures().size()));

TEST(WmCopy, KeepsTitleAuthorAndCustomAttributes) {
    const auto in = WmFixture(0);
    TempDir dir;
    const auto out = dir / "tags.wmv";
    ASSERT_EQ(CopyFile(in, out), kOk);
    EXPECT_EQ(Tag(out, "title"), "Clip");
    EXPECT_EQ(Tag(out, "artist"), "Someone");
    EXPECT_EQ(Tag(out, "custom_tag"), "kept");
    EXPECT_TRUE(DecodesCleanly(out));
}

TEST(WmCopy, RangeIsShiftedToZeroAndKeepsItsPackets) {
    const auto in = WmFixture(0);
    TempDir dir;
    const auto out = dir / "range.wmv";
    const uint64_t start = 10000000, end = 20000000;  // 1 s to 2 s
    ASSERT_EQ(CopyFile(in, out, start, end), kOk);
    std::string errors;
    EXPECT_TRUE(DecodesCleanly(out, &errors)) << errors;
    // Our reader agrees with ffmpeg's demuxer on the input; on the output it
    // must give the samples from 1 s to 2 s, both ends included, moved to 0.
    Collector all, part;
    CDecCompWMV a, b;
    ASSERT_EQ(a.Open(in.string(), 0, ~0ull), kOk);
    a.SetSampleCallback(&Collector::Callback, &all);
    ASSERT_EQ(a.Run(), kOk);
    ASSERT_EQ(b.Open(out.string(), 0, ~0ull), kOk);
    b.SetSampleCallback(&Collector::Callback, &part);
    ASSERT_EQ(b.Run(), kOk);
    for (uint16_t stream : {uint16_t(1), uint16_t(2)}) {
        SCOPED_TRACE("stream " + std::to_string(stream));
        std::vector<uint64_t> wantTimes;
        std::vector<std::string> wantSums;
        auto times = all.TimesMs(stream);
        auto sums = all.Checksums(stream);
        for (size_t k = 0; k < times.size(); ++k)
            if (times[k] >= 1000 && times[k] <= 2000) {
                wantTimes.push_back(times[k] - 1000);
                wantSums.push_back(sums[k]);
            }
        ASSERT_FALSE(wantTimes.empty());
        EXPECT_EQ(part.TimesMs(stream), wantTimes);
        EXPECT_EQ(part.Checksums(stream), wantSums);
        EXPECT_EQ(PacketChecksums(out, std::to_string(stream - 1)), wantSums);
    }
}

TEST(WmCopy, ProfileReducedToOneRenumberedStream) {
    const auto in = WmFixture(0);
    TempDir dir;
    const auto out = dir / "audio.wma";
    CDecCompWMV reader;
    CEncCompWMV writer;
    ASSERT_EQ(reader.Open(in.string(), 0, ~0ull), kOk);
    int kept = -1;
    for (uint32_t i = 0; i < reader.StreamCount(); ++i)
        if (reader.StreamTypes()[i] == kMediaTypeAudio) kept = reader.StreamNumbers()[i];
    ASSERT_GT(kept, 0);
    auto profile = reader.GetProfile();
    auto config = profile->GetStreamByNumber(uint16_t(kept));
    ASSERT_TRUE(config);
    for (uint16_t n : reader.StreamNumbers()) ASSERT_EQ(profile->RemoveStreamByNumber(n), asf::kOk);
    config->SetStreamNumber(1);
    ASSERT_EQ(profile->AddStream(*config), asf::kOk);
    ASSERT_EQ(writer.Open(out.string(), profile.get()), kOk);
    struct Sep {
        CEncCompWMV* w;
        int kept;
        static AsfResult Cb(uint16_t s, uint64_t t, uint64_t d, uint32_t f, const AsfSampleBuffer* b, void*,
                            void* u) {
            auto* self = static_cast<Sep*>(u);
            return s == self->kept ? self->w->WriteSample(1, t, d, f, b) : asf::kOk;
        }
    } sep{&writer, kept};
    reader.SetSampleCallback(&Sep::Cb, &sep);
    EXPECT_EQ(reader.CopyStreamAttributes(writer.GetHeaderInfo(), uint16_t(kept)), asf::kOk);
    EXPECT_EQ(reader.CopyStreamAttributes(writer.GetHeaderInfo(), 0), asf::kOk);
    EXPECT_EQ(reader.CopyCodecInfo(writer.GetHeaderInfo(), kMediaTypeAudio), asf::kOk);
    ASSERT_EQ(writer.StartWriting(), kOk);
    ASSERT_EQ(reader.Run(), kOk);
    EXPECT_EQ(writer.Finish(), asf::kOk);
    EXPECT_EQ(StreamCount(out, "audio"), 1);
    EXPECT_EQ(StreamCount(out, "video"), 0);
    EXPECT_EQ(PacketChecksums(out, "a:0"), PacketChecksums(in, "a:0"));
    std::string errors;
    EXPECT_TRUE(DecodesCleanly(out, &errors)) << errors;
    CDecCompWMV back;
    ASSERT_EQ(back.Open(out.string(), 0, ~0ull), kOk);
    ASSERT_EQ(back.StreamNumbers(), std::vector<uint16_t>{1});
}

TEST(WmCopy, JoinedFilesFollowEachOtherByTheExactDuration) {
    const auto in = WmFixture(2);  // audio only
    TempDir dir;
    const auto out = dir / "joined.wma";
    CDecCompWMV reader;
    CEncCompWMV writer;
    CopySink sink{&writer};
    ASSERT_EQ(reader.Open(in.string(), 0, ~0ull), kOk);
    const uint64_t duration = reader.GetDuration();
    ASSERT_NE(duration % 10000000, 0u) << "the fixture should not last whole seconds";
    ASSERT_EQ(writer.Open(out.string(), reader.GetProfile().get()), kOk);
    reader.SetSampleCallback(&CopySink::Callback, &sink);
    ASSERT_EQ(reader.CopyHeader(writer.GetHeaderInfo()), kOk);
    ASSERT_EQ(writer.StartWriting(), kOk);
    for (int i = 0; i < 2; ++i) {
        if (i > 0) {
            ASSERT_EQ(reader.Open(in.string(), 0, ~0ull), kOk);
            reader.SetSampleCallback(&CopySink::Callback, &sink);
        }
        ASSERT_EQ(reader.Run(), kOk);
        writer.AddTimeOffset(reader.GetDuration());
        reader.Close();
    }
    EXPECT_EQ(writer.TimeOffset(), 2 * duration);
    writer.Finish();
    std::string errors;
    EXPECT_TRUE(DecodesCleanly(out, &errors)) << errors;
    auto one = FfmpegPackets(in, "0");
    auto both = FfmpegPackets(out, "0");
    ASSERT_EQ(both.pts.size(), 2 * one.pts.size());
    for (size_t k = 0; k < one.pts.size(); ++k) {
        EXPECT_EQ(both.pts[k], one.pts[k]);
        EXPECT_EQ(both.pts[one.pts.size() + k], one.pts[k] + int64_t(duration / 10000));
        EXPECT_EQ(both.sums[one.pts.size() + k], one.sums[k]);
    }
}

// The union page: two readers on two threads write into one writer.
TEST(WmCopy, TwoThreadsWriteOneConsistentFile) {
    const auto video = WmFixture(3);  // msmpeg4 only
    const auto audio = WmFixture(2);  // wmav2 only
    TempDir dir;
    const auto out = dir / "union.wmv";
    CDecCompWMV readers[2];
    CEncCompWMV writer;
    ASSERT_EQ(readers[0].Open(video.string(), 0, ~0ull), kOk);
    ASSERT_EQ(readers[1].Open(audio.string(), 0, ~0ull), kOk);
    auto vp = readers[0].GetProfile();
    auto ap = readers[1].GetProfile();
    auto vc = vp->GetStreamByNumber(readers[0].StreamNumbers()[0]);
    auto ac = ap->GetStreamByNumber(readers[1].StreamNumbers()[0]);
    for (uint16_t n : readers[0].StreamNumbers()) vp->RemoveStreamByNumber(n);
    vc->SetStreamNumber(1);
    ac->SetStreamNumber(2);
    ASSERT_EQ(vp->AddStream(*vc), asf::kOk);
    ASSERT_EQ(vp->AddStream(*ac), asf::kOk);
    ASSERT_EQ(writer.Open(out.string(), vp.get()), kOk);
    struct Renumber {
        CEncCompWMV* w;
        uint16_t to;
        static AsfResult Cb(uint16_t, uint64_t t, uint64_t d, uint32_t f, const AsfSampleBuffer* b, void*,
                            void* u) {
            auto* self = static_cast<Renumber*>(u);
            return self->w->WriteSample(self->to, t, d, f, b);
        }
    } toVideo{&writer, 1}, toAudio{&writer, 2};
    readers[0].SetSampleCallback(&Renumber::Cb, &toVideo);
    readers[1].SetSampleCallback(&Renumber::Cb, &toAudio);
    ASSERT_EQ(writer.StartWriting(), kOk);
    int results[2] = {-1, -1};
    std::thread t0([&] { results[0] = readers[0].Run(); });
    std::thread t1([&] { results[1] = readers[1].Run(); });
    t0.join();
    t1.join();
    EXPECT_EQ(results[0], kOk);
    EXPECT_EQ(results[1], kOk);
    EXPECT_EQ(writer.Finish(), asf::kOk);
    std::string errors;
    EXPECT_TRUE(DecodesCleanly(out, &errors)) << errors;
    EXPECT_EQ(PacketChecksums(out, "v:0"), PacketChecksums(video, "v:0"));
    EXPECT_EQ(PacketChecksums(out, "a:0"), PacketChecksums(audio, "a:0"));

    // Send times never go back, and the header says the file is seekable and not broadcast.
    AsfReader r;
    ASSERT_EQ(r.Open(out.string()), asf::kOk);
    const AsfHeader& h = r.Header();
    EXPECT_EQ(h.fileProperties.flags, kFilePropSeekable);
    EXPECT_EQ(h.fileProperties.packetCount, h.dataPacketCount);
    EXPECT_EQ(h.fileProperties.fileSize, std::filesystem::file_size(out));
    FileIO f;
    ASSERT_TRUE(f.Open(out.string(), FileIO::Mode::Read));
    std::vector<uint8_t> packet(h.PacketSize());
    uint32_t last = 0;
    for (uint64_t i = 0; i < h.dataPacketCount; ++i) {
        ASSERT_TRUE(f.Seek(h.firstPacketOffset + i * packet.size()) &&
                    f.ReadExact(packet.data(), packet.size()));
        AsfPacketInfo info;
        ASSERT_EQ(ParseAsfPacket(packet, info, [](const AsfPayload&) {}), asf::kOk);
        EXPECT_GE(info.sendTime, last) << "packet " << i;
        last = info.sendTime;
    }
}

TEST(WmCopy, DeterministicOutputRepeatsByteForByte) {
    const auto in = WmFixture(1);
    TempDir dir;
    ASSERT_EQ(CopyFile(in, dir / "a.wmv"), kOk);
    ASSERT_EQ(CopyFile(in, dir / "b.wmv"), kOk);
    EXPECT_EQ(ReadFile(dir / "a.wmv"), ReadFile(dir / "b.wmv"));
}

TEST(WmCopy, VideoStreamsGetASimpleIndexFfmpegCanSeekWith) {
    const auto in = WmFixture(0);
    TempDir dir;
    const auto out = dir / "seek.wmv";
    ASSERT_EQ(CopyFile(in, out), kOk);
    auto r = vt::test::Run("ffmpeg -hide_banner -nostdin -v error -ss 2 -i " + Q(out) +
                           " -map 0:v -f null - 2>&1");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    // The index object sits after the data object.
    AsfReader reader;
    ASSERT_EQ(reader.Open(out.string()), asf::kOk);
    const AsfHeader& h = reader.Header();
    FileIO f;
    ASSERT_TRUE(f.Open(out.string(), FileIO::Mode::Read));
    ASSERT_TRUE(f.Seek(h.dataObjectOffset + h.dataObjectSize));
    Guid id;
    ASSERT_TRUE(id.Read(f));
    EXPECT_EQ(id, asfguid::kSimpleIndex);
    // Each entry points at the packet where a key frame of the video stream begins.
    uint64_t size = 0, interval = 0;
    uint32_t maxCount = 0, entries = 0;
    Guid fileId;
    ASSERT_TRUE(f.ReadU64LE(size) && fileId.Read(f) && f.ReadU64LE(interval) && f.ReadU32LE(maxCount) &&
                f.ReadU32LE(entries));
    EXPECT_EQ(interval, 10000000u);
    EXPECT_EQ(fileId, h.fileProperties.fileId);
    EXPECT_EQ(size, 56u + 6u * entries);
    EXPECT_GE(entries, 3u);  // three seconds of video
    std::vector<uint8_t> packet(h.PacketSize());
    uint64_t firstKey = 0;  // entries before the first key frame point at it
    for (uint32_t i = 0; i < entries; ++i) {
        uint32_t number = 0;
        uint16_t count = 0;
        ASSERT_TRUE(f.Seek(h.dataObjectOffset + h.dataObjectSize + 56 + 6 * i) && f.ReadU32LE(number) &&
                    f.ReadU16LE(count));
        ASSERT_LT(number, h.dataPacketCount);
        FileIO g;
        ASSERT_TRUE(g.Open(out.string(), FileIO::Mode::Read));
        ASSERT_TRUE(g.Seek(h.firstPacketOffset + uint64_t(number) * packet.size()) &&
                    g.ReadExact(packet.data(), packet.size()));
        bool keyStart = false;
        AsfPacketInfo info;
        ParseAsfPacket(packet, info, [&](const AsfPayload& p) {
            if (i == 0 && p.streamNumber == 1 && p.keyFrame && p.objectOffset == 0 && !firstKey)
                firstKey = p.presentationTime;
            keyStart |= p.streamNumber == 1 && p.keyFrame && p.objectOffset == 0 &&
                        p.presentationTime <= std::max<uint64_t>(i * 1000, firstKey);
        });
        EXPECT_TRUE(keyStart) << "entry " << i;
    }
}

}  // namespace
}  // namespace vt::test
