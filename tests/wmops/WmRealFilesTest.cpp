// Files that other programs wrote: live captures, files cut short by a broken
// download, files whose last sample ends after their stated duration, files
// with several languages and mutually exclusive streams. The samples are read
// where they are (the shared samples folder, skipped when it is missing); each
// class also has fixtures of its own, made here from ffmpeg's files.
#include <gtest/gtest.h>

#include <map>

#include "core/ErrorCodes.h"
#include "media/wm/DecCompWMV.h"
#include "tests/wmops/WmOpsTestSupport.h"

namespace vt {
namespace {

using namespace test;

struct Outcome {
    int status = -1;
    std::string out;
};

Outcome Cli(const std::string& args) {
    auto r =
        Run("LC_ALL=C.UTF-8 timeout 120 " + Q(VT_CLI_PATH) + " --format wmv " + args + " 2>&1 </dev/null");
    return {r.status, r.out};
}

// ffprobe's stream specifiers of the video and audio streams of a file.
std::vector<std::string> Selectors(const fs::path& file) {
    std::vector<std::string> out;
    for (int i = 0; i < StreamCount(file, "video"); ++i) out.push_back("v:" + std::to_string(i));
    for (int i = 0; i < StreamCount(file, "audio"); ++i) out.push_back("a:" + std::to_string(i));
    return out;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        if (nl == std::string::npos) nl = text.size();
        if (nl > pos) out.push_back(text.substr(pos, nl - pos));
        pos = nl + 1;
    }
    return out;
}

std::vector<uint8_t> Patched(std::vector<uint8_t> bytes,
                             const std::function<void(std::vector<uint8_t>&)>& f) {
    f(bytes);
    return bytes;
}

// Where an object of `id` begins in the header (0: not found).
size_t FindObject(const std::vector<uint8_t>& bytes, const Guid& id) {
    uint8_t g[16];
    id.ToBytes(g);
    for (size_t i = 30; i + 16 <= bytes.size() && i < GetU64LE(&bytes[16]); ++i)
        if (std::equal(g, g + 16, bytes.begin() + ptrdiff_t(i))) return i;
    return 0;
}

// An ffmpeg file made to look like a live capture: the broadcast flag, a
// play duration of the preroll alone, and a data object that states its
// header's size and no packet count.
fs::path LiveCapture(const fs::path& from, const fs::path& to) {
    WriteFile(to, Patched(ReadFile(from), [](std::vector<uint8_t>& b) {
                  const size_t fp = FindObject(b, asfguid::kFileProperties);
                  const uint64_t preroll = GetU64LE(&b[fp + 24 + 56]);
                  PutU64LE(&b[fp + 24 + 40], preroll * 10000);  // play duration
                  PutU32LE(&b[fp + 24 + 64], kFilePropBroadcast);
                  const uint64_t data = GetU64LE(&b[16]);
                  PutU64LE(&b[data + 16], 50);
                  PutU64LE(&b[data + 40], 0);
              }));
    return to;
}

// --- live captures -----------------------------------------------------------

// A live capture states no duration: it opens with the duration its packets
// tell, and every operation holds all its samples.
TEST(WmRealFiles, LiveCapturesTakeTheirDurationFromThePackets) {
    TempDir dir;
    std::vector<fs::path> inputs = {LiveCapture(WmvFixture(), dir / "live.wmv")};
    if (auto s = SamplePath("moon__timecode-short-broadcast.wmv"); !s.empty()) inputs.push_back(s);
    for (const fs::path& in : inputs) {
        SCOPED_TRACE(in.filename().string());
        CDecCompWMV reader;
        ASSERT_EQ(reader.Open(in.string(), 0, ~0ull), kOk);
        // The last presentation time, as ffprobe reads it.
        int64_t lastMs = 0;
        for (const auto& p : Packets(in)) lastMs = std::max(lastMs, p.ptsMs);
        EXPECT_EQ(int64_t(reader.GetDuration() / 10000), lastMs);

        const fs::path joined = dir / "j.wmv", extracted = dir / "e.wmv";
        ASSERT_EQ(Cli("join " + Q(in) + " " + Q(in) + " -o " + Q(joined)).status, 0);
        ASSERT_EQ(Cli("extract " + Q(in) + " -o " + Q(extracted)).status, 0);
        for (const auto& sel : Selectors(in)) {
            // ffmpeg also hands over an object the capture ends inside; we keep whole objects.
            auto whole = PacketChecksums(extracted, sel);
            auto theirs = PacketChecksums(in, sel);
            ASSERT_GE(theirs.size(), whole.size());
            ASSERT_LE(theirs.size() - whole.size(), 1u) << sel;
            theirs.resize(whole.size());
            EXPECT_EQ(whole, theirs) << sel;
            EXPECT_EQ(PacketChecksums(joined, sel), Concat(whole, whole)) << sel;
        }
        EXPECT_TRUE(DecodesCleanly(joined));
        EXPECT_TRUE(DecodesCleanly(extracted));
    }
}

// --- files cut short -----------------------------------------------------------

// A file cut inside its data is read up to its last whole packet: every
// operation writes what those hold and succeeds.
TEST(WmRealFiles, CutShortFilesEndAtTheirLastWholePacket) {
    TempDir dir;
    struct Input {
        fs::path file;
        bool decodesClean;
    };
    auto cut = ReadFile(WmvFixture());
    cut.resize(cut.size() * 3 / 5);
    WriteFile(dir / "cut.wmv", cut);
    std::vector<Input> inputs = {{dir / "cut.wmv", true}};
    // The first 100 KB of a larger file; its first audio objects overlap in time.
    if (auto s = SamplePath("hc__matrix_ping_pong.wmv"); !s.empty()) inputs.push_back({s, false});
    for (const auto& in : inputs) {
        SCOPED_TRACE(in.file.filename().string());
        CDecCompWMV reader;
        ASSERT_EQ(reader.Open(in.file.string(), 0, ~0ull), kOk);
        EXPECT_TRUE(reader.Truncated());
        const fs::path joined = dir / "j.wmv", extracted = dir / "e.wmv", video = dir / "v.wmv",
                       audio = dir / "a.wma";
        for (const std::string& args : {"join " + Q(in.file) + " " + Q(in.file) + " -o " + Q(joined),
                                        "extract " + Q(in.file) + " -o " + Q(extracted),
                                        "separate --video " + Q(in.file) + " -o " + Q(video),
                                        "separate --audio " + Q(in.file) + " -o " + Q(audio)}) {
            const auto r = Cli(args);
            EXPECT_EQ(r.status, 0) << args << "\n" << r.out;
        }
        for (const auto& sel : Selectors(in.file)) {
            // ffmpeg also hands over the object the cut ends inside; we keep whole objects.
            auto whole = PacketChecksums(extracted, sel);
            auto theirs = PacketChecksums(in.file, sel);
            ASSERT_GE(theirs.size(), whole.size()) << sel;
            EXPECT_LE(theirs.size() - whole.size(), 1u) << sel;
            theirs.resize(whole.size());
            EXPECT_EQ(whole, theirs) << sel;
            EXPECT_EQ(PacketChecksums(joined, sel), Concat(whole, whole)) << sel;
        }
        // Separation keeps the last stream of its kind.
        const std::string lastVideo = "v:" + std::to_string(StreamCount(in.file, "video") - 1),
                          lastAudio = "a:" + std::to_string(StreamCount(in.file, "audio") - 1);
        // The second copy follows the first one's samples, not the duration of the file it was cut from.
        const auto once = FfmpegPts(extracted, lastVideo), twice = FfmpegPts(joined, lastVideo);
        ASSERT_EQ(twice.size(), 2 * once.size());
        EXPECT_GT(twice[once.size()], twice[once.size() - 1]);
        EXPECT_LT(twice[once.size()] - twice[once.size() - 1], 1000);
        EXPECT_EQ(PacketChecksums(video, "v:0"), PacketChecksums(extracted, lastVideo));
        EXPECT_EQ(PacketChecksums(audio, "a:0"), PacketChecksums(extracted, lastAudio));
        if (in.decodesClean) {
            for (const auto& out : {joined, extracted, video, audio}) EXPECT_TRUE(DecodesCleanly(out)) << out;
        }
    }
}

// --- extraction from a key frame --------------------------------------------------

struct TimedPacket {
    int64_t ms = 0;
    bool key = false;
    std::string hash;
};

// The packets of one stream as ffprobe reads them: presentation time (the
// decoding time where a stream states none), key flag, size and checksum.
std::vector<TimedPacket> TimedPackets(const fs::path& file, const std::string& selector) {
    auto r =
        Run("ffprobe -v error -select_streams " + selector +
            " -show_data_hash MD5 -show_entries packet=pts,dts,flags,size,data_hash -of csv=p=0 " + Q(file));
    std::vector<TimedPacket> out;
    for (const auto& line : Lines(r.out)) {
        std::vector<std::string> f;
        size_t pos = 0;
        for (size_t c; (c = line.find(',', pos)) != std::string::npos; pos = c + 1)
            f.push_back(line.substr(pos, c - pos));
        f.push_back(line.substr(pos));
        if (f.size() < 5) continue;
        const std::string& t = f[0] != "N/A" ? f[0] : f[1];
        if (t == "N/A") continue;
        out.push_back({std::stoll(t), f[3].find('K') != std::string::npos, f[2] + "," + f[4]});
    }
    return out;
}

// The decoders' complaints about a file. Left out: ffmpeg's own remark on the
// time it guesses for the frame a VC-1 decoder still holds at the end, which
// says nothing about the file.
std::string DecodeErrors(const fs::path& file) {
    auto r = Run("ffmpeg -hide_banner -nostdin -v error -i " + Q(file) + " -f null - 2>&1");
    std::string out;
    for (const auto& l : Lines(r.out))
        if (l.find("non monotonically increasing dts to muxer") == std::string::npos) out += l + "\n";
    return out;
}

// An extraction begins at the latest video key frame at or before the start
// (of the video stream whose key frame lies earliest), the audio at the same
// time: the first picture decodes, and both keep in step.
TEST(WmRealFiles, ExtractionsBeginAtAKeyFrame) {
    TempDir dir;
    std::vector<fs::path> inputs = {WmvFixture(), Wmv1Fixture(), VideoOnlyFixture(), WmaFixture()};
    for (const char* name :
         {"moon__timecode-short-wmv7.wmv", "moon__timecode-short-wmv8.wmv", "moon__timecode-short-mpeg4.wmv",
          "moon__timecode-short-broadcast.wmv", "moon__elephants-dream-320x180-first-minute.wmv",
          "mm__elephant.asf", "hc__matrix_ping_pong.wmv",
          "moon__BigBuckBunny-9-16-WMAPRO10-CBR-128kbps-48khz-7.1-16bit.wma"})
        if (auto s = SamplePath(name); !s.empty()) inputs.push_back(s);
    for (const fs::path& in : inputs) {
        const bool clean = DecodeErrors(in).empty();
        // ffmpeg also hands over an object a file ends inside; we keep whole
        // objects (the whole file's extraction shows which).
        const fs::path all = dir / "all.wmv";
        ASSERT_EQ(Cli("extract " + Q(in) + " -o " + Q(all)).status, 0);
        std::map<std::string, std::vector<TimedPacket>> streams;
        for (const auto& sel : Selectors(in)) {
            streams[sel] = TimedPackets(in, sel);
            streams[sel].resize(std::min(streams[sel].size(), TimedPackets(all, sel).size()));
        }
        for (int64_t startMs : {500, 1000, 1500, 9000, 20000}) {
            SCOPED_TRACE(in.filename().string() + " from " + std::to_string(startMs) + " ms");
            int64_t keyMs = startMs;
            for (const auto& [sel, packets] : streams) {
                if (sel[0] != 'v' || packets.empty() || packets.front().ms > startMs) continue;
                int64_t k = 0;
                for (const auto& p : packets)
                    if (p.key && p.ms <= startMs) k = std::max(k, p.ms);
                keyMs = std::min(keyMs, k);
            }
            int code = -1;
            EXPECT_EQ(WmKeyFrameStart(in.string(), uint64_t(startMs) * 10000, &code),
                      uint64_t(keyMs) * 10000);
            EXPECT_EQ(code, 0);

            const fs::path out = dir / "e.wmv";
            const int64_t endMs = startMs + 1500;
            const auto r = Cli("extract " + Q(in) + " --start " + std::to_string(startMs / 1000) + "." +
                               std::to_string(startMs % 1000) + " --end " + std::to_string(endMs / 1000) +
                               "." + std::to_string(endMs % 1000) + " -o " + Q(out));
            ASSERT_EQ(r.status, 0) << r.out;
            for (const auto& [sel, packets] : streams) {
                std::vector<std::string> expected;
                for (const auto& p : packets)
                    if (p.ms >= keyMs && p.ms <= endMs)
                        expected.push_back(std::to_string(p.ms - keyMs) + "," + p.hash);
                std::vector<std::string> got;
                for (const auto& p : TimedPackets(out, sel))
                    got.push_back(std::to_string(p.ms) + "," + p.hash);
                EXPECT_EQ(got, expected) << sel;
            }
            if (clean) {
                EXPECT_EQ(DecodeErrors(out), "");
            }
        }
    }
}

// --- languages and streams that exclude each other ------------------------------

// Two audio streams, English and French; ffmpeg writes a language list and
// an exclusion of the two by groups.
fs::path TwoLanguageFixture() {
    return MakeFixture(
        "wmreal_two_languages.wma",
        "-f lavfi -i sine=frequency=440:duration=2:sample_rate=22050 "
        "-f lavfi -i sine=frequency=880:duration=2:sample_rate=22050 "
        "-map 0 -map 1 -c:a wmav2 -b:a 32k -metadata:s:a:0 language=eng -metadata:s:a:1 language=fre");
}

// The language of every stream as ffprobe reads it, in stream order ("" for none).
std::vector<std::string> Languages(const fs::path& file) {
    std::vector<std::string> out;
    auto r = Run("ffprobe -v error -show_entries stream=index:stream_tags=language -of csv=p=0 " + Q(file));
    for (const auto& l : Lines(r.out)) {
        const size_t comma = l.find(',');
        out.push_back(comma == std::string::npos ? "" : l.substr(comma + 1));
    }
    return out;
}

// The objects of a file that tie streams together, as our reader reads them:
// each as its stream numbers, record by record.
std::vector<std::vector<std::vector<uint16_t>>> Groups(const fs::path& file) {
    AsfReader r;
    std::vector<std::vector<std::vector<uint16_t>>> out;
    if (asf::Succeeded(r.Open(file.string())))
        for (const auto& g : r.Header().profile.Groups()) out.push_back(g.records);
    return out;
}

TEST(WmRealFiles, LanguagesAndExclusionsReachEveryOutput) {
    TempDir dir;
    const fs::path two = TwoLanguageFixture();
    ASSERT_EQ(Languages(two), (std::vector<std::string>{"eng", "fre"}));
    const std::vector<std::vector<std::vector<uint16_t>>> byGroups = {{{1}, {2}}};
    ASSERT_EQ(Groups(two), byGroups);
    struct Case {
        std::string args;
        std::vector<std::string> languages;
        std::vector<std::vector<std::vector<uint16_t>>> groups;
    };
    std::vector<Case> cases = {
        {"join " + Q(two) + " " + Q(two), {"eng", "fre"}, byGroups},
        {"extract " + Q(two) + " --start 0.5", {"eng", "fre"}, byGroups},
        // One stream, renumbered 1: French, and nothing left to exclude.
        {"separate --audio " + Q(two), {"fre"}, {}},
        {"union " + Q(WmvFixture()) + " " + Q(two), {"", "fre"}, {}},
    };
    if (auto s = SamplePath("moon__BigBuckBunny-9-16-WMAPRO10-CBR-128kbps-48khz-7.1-16bit.wma"); !s.empty()) {
        // Its stream's language is the second entry of its list.
        cases.push_back({"join " + Q(s) + " " + Q(s), {"eng"}, {}});
        cases.push_back({"extract " + Q(s) + " --start 1", {"eng"}, {}});
    }
    if (auto s = SamplePath("hc__matrix_ping_pong.wmv"); !s.empty()) {
        // Three video streams of different rates that a player chooses between.
        const std::vector<std::vector<std::vector<uint16_t>>> rates = {{{2, 3, 4}}};
        EXPECT_EQ(Groups(s), rates);
        cases.push_back({"join " + Q(s) + " " + Q(s), {"", "", "", ""}, rates});
        cases.push_back({"extract " + Q(s) + " --start 1", {"", "", "", ""}, rates});
        cases.push_back({"separate --video " + Q(s), {""}, {}});
    }
    for (const auto& c : cases) {
        const bool audioOnly = c.args.rfind("separate --audio", 0) == 0;
        const fs::path out = dir / (audioOnly ? "o.wma" : "o.wmv");
        fs::remove(out);
        const auto r = Cli(c.args + " -o " + Q(out));
        ASSERT_EQ(r.status, 0) << c.args << "\n" << r.out;
        EXPECT_EQ(Languages(out), c.languages) << c.args;
        EXPECT_EQ(Groups(out), c.groups) << c.args;
    }
}

// --- joins -----------------------------------------------------------------------

// A copy of an ffmpeg file whose header's duration ends at its last sample's
// time, as some writers state it.
fs::path DurationAtLastSample(const fs::path& from, const fs::path& to) {
    int64_t lastMs = 0;
    for (const auto& p : Packets(from)) lastMs = std::max(lastMs, p.ptsMs);
    WriteFile(to, Patched(ReadFile(from), [&](std::vector<uint8_t>& b) {
                  const size_t fp = FindObject(b, asfguid::kFileProperties);
                  const uint64_t preroll = GetU64LE(&b[fp + 24 + 56]);
                  PutU64LE(&b[fp + 24 + 40], (preroll + uint64_t(lastMs)) * 10000);
              }));
    return to;
}

// A join holds both inputs' packets back to back: the second copy follows the
// later of the first's duration and the end of its last sample, so times rise
// across the seam in every stream.
TEST(WmRealFiles, JoinsHoldBothInputsBackToBack) {
    TempDir dir;
    std::vector<fs::path> inputs = {DurationAtLastSample(WmvFixture(), dir / "at_last.wmv"),
                                    DurationAtLastSample(WmaFixture(), dir / "at_last.wma"), WmvFixture()};
    for (const char* name :
         {"moon__timecode-short-wmv7.wmv", "moon__timecode-short-wmv8.wmv", "moon__timecode-short-mpeg4.wmv",
          "moon__BigBuckBunny-9-16-WMAPRO10-CBR-128kbps-48khz-7.1-16bit.wma", "mm__elephant.asf",
          "mm__issue_57.wma", "moon__elephants-dream-320x180-first-minute.wmv"})
        if (auto s = SamplePath(name); !s.empty()) inputs.push_back(s);
    for (const fs::path& in : inputs) {
        SCOPED_TRACE(in.filename().string());
        const fs::path out = dir / ("j" + in.extension().string());
        fs::remove(out);
        ASSERT_EQ(Cli("join " + Q(in) + " " + Q(in) + " -o " + Q(out)).status, 0);
        CDecCompWMV reader;
        ASSERT_EQ(reader.Open(in.string(), 0, ~0ull), kOk);
        const int64_t durationMs = int64_t(reader.GetDuration() / 10000);
        int64_t offset = -1;
        for (const auto& sel : Selectors(in)) {
            const auto once = TimedPackets(in, sel), twice = TimedPackets(out, sel);
            ASSERT_EQ(twice.size(), 2 * once.size()) << sel;
            if (once.empty()) continue;
            for (size_t i = 0; i < once.size(); ++i) {
                EXPECT_EQ(twice[i].hash, once[i].hash) << sel << " " << i;
                EXPECT_EQ(twice[once.size() + i].hash, once[i].hash) << sel << " " << i;
            }
            // One shift for every stream, not before the duration, past every sample of the first copy.
            const int64_t shift = twice[once.size()].ms - once.front().ms;
            if (offset < 0) offset = shift;
            EXPECT_EQ(shift, offset) << sel;
            EXPECT_GE(shift, durationMs - 1) << sel;
            EXPECT_GT(twice[once.size()].ms, twice[once.size() - 1].ms) << sel;
        }
        if (DecodeErrors(in).empty()) {
            // The WMA Pro decoder notes that the second copy's packet
            // sequence starts anew: the bitstreams of two files meet there.
            std::string errors;
            for (const auto& l : Lines(DecodeErrors(out)))
                if (l.find("Packet loss detected") == std::string::npos) errors += l + "\n";
            EXPECT_EQ(errors, "");
        }
    }
}

}  // namespace
}  // namespace vt
