// A section of a WMV or WMA file is read from a data packet shortly before
// its start, found by the packets' send times. The key-frame search and the
// run must find and deliver exactly what a read from the first packet does,
// for files made by other programs, ffmpeg's files, and files whose send
// times or data object the search cannot trust (it then reads from the first
// packet).
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <optional>

#include "core/ErrorCodes.h"
#include "media/wm/DecCompWMV.h"
#include "media/wm/WmErrors.h"
#include "tests/wm/Md5.h"
#include "tests/wmops/WmOpsTestSupport.h"

namespace vt {
namespace {

using namespace test;

constexpr uint64_t kSecond = 10000000;

// 40 s with a key frame every 10 s: the key-frame search has to look back
// further than its first try.
fs::path LongWmv() {
    return MakeFixture("wmseek_long.wmv",
                       "-f lavfi -i testsrc=size=160x120:rate=15:duration=40 "
                       "-f lavfi -i sine=frequency=440:duration=40:sample_rate=22050 "
                       "-c:v wmv2 -b:v 150k -g 150 -c:a wmav2 -b:a 32k");
}
fs::path LongWma() {
    return MakeFixture("wmseek_long.wma",
                       "-f lavfi -i sine=frequency=550:duration=40:sample_rate=44100 -c:a wmav2 -b:a 64k");
}

// Where a data packet states its send time.
size_t SendTimeOffset(const uint8_t* p) {
    size_t i = (p[0] & 0x80) ? 1 + (p[0] & 0x0F) : 0;
    const uint8_t lengthFlags = p[i];
    auto size = [](unsigned type) { return (type & 3) == 3 ? size_t(4) : size_t(type & 3); };
    return i + 2 + size(lengthFlags >> 5) + size(lengthFlags >> 1) + size(lengthFlags >> 3);
}

// A copy of `from` changed by `edit`, given the bytes, the first packet's
// offset, the packet size and the packet count.
fs::path Edited(const fs::path& from, const std::string& name,
                const std::function<void(std::vector<uint8_t>&, uint64_t, uint64_t, uint64_t)>& edit) {
    AsfReader r;
    if (from.empty() || asf::Failed(r.Open(from.string()))) return {};
    std::vector<uint8_t> bytes = ReadFile(from);
    const AsfHeader& h = r.Header();
    edit(bytes, h.firstPacketOffset, h.PacketSize(), h.dataPacketCount);
    const fs::path to = FixtureDir() / name;
    WriteFile(to, bytes);
    return to;
}

// The second half of the packets sent 15 s earlier than they say: more than
// the search's margin, so a search trusting them would begin too late.
fs::path SendTimesGoBack() {
    return Edited(LongWmv(), "wmseek_send_back.wmv",
                  [](auto& b, uint64_t first, uint64_t size, uint64_t count) {
                      for (uint64_t i = count / 2; i < count; ++i) {
                          uint8_t* p = &b[first + i * size];
                          uint8_t* send = p + SendTimeOffset(p);
                          PutU32LE(send, GetU32LE(send) > 15000 ? GetU32LE(send) - 15000 : 0);
                      }
                  });
}
// Cut short 60 % into its packets (a broken download).
fs::path CutShort() {
    return Edited(LongWmv(), "wmseek_cut.wmv", [](auto& b, uint64_t first, uint64_t size, uint64_t count) {
        b.resize(first + count * 6 / 10 * size + size / 2);
    });
}
// Marked as a live capture: its data object's size and count mean nothing.
fs::path Broadcast() {
    return Edited(LongWmv(), "wmseek_live.wmv", [](auto& b, uint64_t, uint64_t, uint64_t) {
        const uint8_t fp[16] = {0xa1, 0xdc, 0xab, 0x8c, 0x47, 0xa9, 0xcf, 0x11,
                                0x8e, 0xe4, 0x00, 0xc0, 0x0c, 0x20, 0x53, 0x65};
        auto at = std::search(b.begin(), b.end(), fp, fp + 16);
        if (at != b.end()) at[24 + 64] |= kFilePropBroadcast;
    });
}

// The key-frame search read from the first packet: per video stream with a
// sample at or before the start, the latest clean point there (0 without
// one); the earliest of those.
uint64_t KeyFrameStartFromFirstPacket(const fs::path& file, uint64_t start, int& code) {
    AsfReader reader;
    const AsfResult opened = reader.Open(file.string());
    code = ErrorFromAsf(opened, kErrWmOpen);
    if (asf::Failed(opened) || start == 0) return start;
    struct Sink : IAsfSampleSink {
        std::map<uint16_t, std::pair<bool, std::optional<uint64_t>>> videos;  // seen, latest key
        uint64_t start = 0, lookahead = 0;
        AsfResult OnStreamSample(uint16_t n, uint64_t time, uint64_t, uint32_t flags,
                                 const AsfSampleBuffer&) override {
            if (time > start) return time - start > lookahead ? asf::kFalse : asf::kOk;
            auto it = videos.find(n);
            if (it == videos.end()) return asf::kOk;
            it->second.first = true;
            if (flags & kSampleCleanPoint) it->second.second = std::max(it->second.second.value_or(0), time);
            return asf::kOk;
        }
    } sink;
    sink.start = start;
    sink.lookahead = std::min<uint64_t>(reader.Header().fileProperties.preroll, 3600000) * 10000;
    for (const auto& s : reader.Header().profile.Streams())
        if (s.streamType == asfguid::kVideoMedia) sink.videos[s.streamNumber];
    (void)reader.Run(sink, 0);
    uint64_t out = start;
    for (const auto& [n, v] : sink.videos)
        if (v.first) out = std::min(out, v.second.value_or(0));
    return out;
}

struct Delivered {
    bool ok = false;
    bool truncated = false;
    std::vector<std::string> samples;  // "stream time duration flags size md5"
};

AsfResult Record(uint16_t stream, uint64_t time, uint64_t duration, uint32_t flags, const AsfSampleBuffer* s,
                 void*, void* user) {
    const auto bytes = s->ToVector();
    static_cast<std::vector<std::string>*>(user)->push_back(
        std::to_string(stream) + " " + std::to_string(time) + " " + std::to_string(duration) + " " +
        std::to_string(flags) + " " + std::to_string(bytes.size()) + " " +
        Md5Hex(bytes.data(), bytes.size()));
    return asf::kOk;
}

// The extraction's reader, as the extraction runs it.
Delivered Extracted(const fs::path& file, uint64_t start, uint64_t end) {
    Delivered d;
    CDecCompWMV reader;
    reader.SetDiagnosticSink([](const std::string&) {});
    if (reader.Open(file.string(), start, end) != 0) return d;
    reader.SetSampleCallback(&Record, &d.samples);
    d.ok = reader.Run() == 0;
    d.truncated = reader.Truncated();
    return d;
}

// The same range read from the first packet.
Delivered FromFirstPacket(const fs::path& file, uint64_t start, uint64_t end) {
    Delivered d;
    AsfReader reader;
    if (asf::Failed(reader.Open(file.string())) || reader.Duration() == 0) return d;
    CWMVCopy copy;
    copy.rangeStart = start;
    copy.rangeEnd = end;
    copy.lookahead = std::min<uint64_t>(reader.Header().fileProperties.preroll, 3600000) * 10000;
    copy.sampleCallback = &Record;
    copy.callbackUser = &d.samples;
    d.ok = asf::Succeeded(reader.Run(copy, 0));
    d.truncated = reader.Truncated();
    return d;
}

struct SeekCase {
    const char* name;
    std::function<fs::path()> file;
    // Whether a start in the middle is read from a later packet: yes, no
    // (the search cannot trust the file), or either (a file too short to tell).
    enum { Seeks, FirstPacket, Either } seek;
};

TEST(WmSeek, KeyFrameStartAndSamplesMatchAReadFromTheFirstPacket) {
    auto sample = [](const char* name) { return [name] { return SamplePath(name); }; };
    const std::vector<SeekCase> cases = {
        {"ffmpeg wmv", LongWmv, SeekCase::Seeks},
        {"ffmpeg wma", LongWma, SeekCase::Seeks},
        {"send times go back", SendTimesGoBack, SeekCase::FirstPacket},
        {"cut short", CutShort, SeekCase::FirstPacket},
        {"live capture", Broadcast, SeekCase::FirstPacket},
        {"elephants dream", sample("moon__elephants-dream-320x180-first-minute.wmv"), SeekCase::Seeks},
        {"wmv8", sample("moon__timecode-short-wmv8.wmv"), SeekCase::Either},
        {"wmv7", sample("moon__timecode-short-wmv7.wmv"), SeekCase::Either},
        {"mpeg4", sample("moon__timecode-short-mpeg4.wmv"), SeekCase::Either},
        {"sample live capture", sample("moon__timecode-short-broadcast.wmv"), SeekCase::FirstPacket},
        {"sample cut short", sample("hc__matrix_ping_pong.wmv"), SeekCase::FirstPacket},
        {"wma", sample("mm__issue_57.wma"), SeekCase::Either},
        {"wma pro 7.1", sample("moon__BigBuckBunny-9-16-WMAPRO10-CBR-128kbps-48khz-7.1-16bit.wma"),
         SeekCase::Either},
        {"asf", sample("mm__elephant.asf"), SeekCase::Either},
    };
    int checked = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path file = c.file();
        if (file.empty()) continue;  // a sample folder without it
        ++checked;
        AsfReader probe;
        ASSERT_FALSE(asf::Failed(probe.Open(file.string())));
        const uint64_t duration = probe.Duration();
        if (c.seek != SeekCase::Either) {
            const uint64_t first = probe.PacketBefore(duration / 2);
            if (c.seek == SeekCase::Seeks)
                EXPECT_GT(first, 0u);
            else
                EXPECT_EQ(first, 0u);
        }
        const uint64_t starts[] = {0,
                                   kSecond * 3 / 2,
                                   duration / 3,
                                   duration / 2,
                                   duration * 3 / 4,
                                   duration > kSecond ? duration - kSecond : 0,
                                   duration + 10 * kSecond};
        for (uint64_t start : starts) {
            SCOPED_TRACE("start " + std::to_string(start / 10000) + " ms");
            int code = -1, expectedCode = -2;
            const uint64_t key = WmKeyFrameStart(file.string(), start, &code);
            EXPECT_EQ(key, KeyFrameStartFromFirstPacket(file, start, expectedCode));
            EXPECT_EQ(code, expectedCode);
            for (uint64_t end : {uint64_t(0), key + 3 * kSecond}) {
                SCOPED_TRACE("end " + std::to_string(end / 10000) + " ms");
                const Delivered got = Extracted(file, key, end);
                const Delivered expected = FromFirstPacket(file, key, end);
                EXPECT_EQ(got.ok, expected.ok);
                EXPECT_EQ(got.truncated, expected.truncated);
                EXPECT_EQ(got.samples, expected.samples);
            }
        }
    }
    EXPECT_GE(checked, 5);
}

// A run from a packet past the data's end delivers nothing and ends as a
// run does at the end; a search for a time within the margin, or for a
// file that states no packet count, begins at the first packet.
TEST(WmSeek, PacketBeforeAtTheEdges) {
    AsfReader r;
    ASSERT_FALSE(asf::Failed(r.Open(LongWmv().string())));
    EXPECT_EQ(r.PacketBefore(0), 0u);
    EXPECT_EQ(r.PacketBefore(kSecond), 0u);
    const uint64_t last = r.Header().dataPacketCount - 1;
    EXPECT_EQ(r.PacketBefore(3600 * kSecond), last);
    struct Count : IAsfSampleSink {
        int n = 0;
        AsfResult OnStreamSample(uint16_t, uint64_t, uint64_t, uint32_t, const AsfSampleBuffer&) override {
            ++n;
            return asf::kOk;
        }
    } count;
    EXPECT_EQ(r.Run(count, last + 10), asf::kOk);
    EXPECT_EQ(count.n, 0);
    // Later packets begin later: the packet found moves on with the time.
    const uint64_t a = r.PacketBefore(20 * kSecond), b = r.PacketBefore(30 * kSecond);
    EXPECT_GT(a, 0u);
    EXPECT_GT(b, a);

    const fs::path noCount =
        Edited(LongWmv(), "wmseek_no_count.wmv",
               [](auto& bytes, uint64_t first, uint64_t, uint64_t) { PutU64LE(&bytes[first - 50 + 40], 0); });
    ASSERT_FALSE(asf::Failed(r.Open(noCount.string())));
    EXPECT_EQ(r.PacketBefore(20 * kSecond), 0u);
}

}  // namespace
}  // namespace vt
