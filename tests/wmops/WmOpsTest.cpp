#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <random>

#include "core/ErrorCodes.h"
#include "media/wm/DecCompWMV.h"
#include "platform/AsfWriter.h"
#include "tests/wmops/WmOpsTestSupport.h"

namespace vt {
namespace {

using namespace test;

struct Outcome {
    int status = -1;
    std::string out;
};

Outcome RunCli(const std::string& args) {
    auto r = Run("LC_ALL=C.UTF-8 timeout 120 " + Q(VT_CLI_PATH) + " " + args + " 2>&1 </dev/null");
    return {r.status, r.out};
}

// Stream numbers of a file as our reader sees them.
std::vector<uint16_t> StreamNumbers(const fs::path& file) {
    CDecCompWMV reader;
    if (reader.Open(file.string(), 0, 0) != 0) return {};
    return reader.StreamNumbers();
}

// --- separation -------------------------------------------------------------

TEST(WmSeparate, OneStreamNumberedOneWithTheSourcePackets) {
    TempDir dir;
    const fs::path in = dir / "clip.wmv";
    fs::copy_file(WmvFixture(), in);
    struct Case {
        const char* option;
        const char* output;  // the name the command line proposes
        const char* kind;
        const char* selector;
    } cases[] = {{"--video", "clip_cut.wmv", "video", "v:0"}, {"--audio", "clip_cut.wma", "audio", "a:0"}};
    for (const auto& c : cases) {
        auto r = RunCli(std::string("separate ") + c.option + " " + Q(in));
        ASSERT_EQ(r.status, 0) << r.out;
        const fs::path out = dir / c.output;
        EXPECT_EQ(StreamCount(out, "video") + StreamCount(out, "audio"), 1) << c.option;
        EXPECT_EQ(StreamCount(out, c.kind), 1);
        EXPECT_EQ(StreamNumbers(out), (std::vector<uint16_t>{1}));
        EXPECT_EQ(PacketChecksums(out, "0"), PacketChecksums(in, c.selector)) << c.option;
        EXPECT_TRUE(DecodesCleanly(out));
    }
}

TEST(WmSeparate, TheLaterOfTwoAudioStreams) {
    TempDir dir;
    const fs::path in = TwoAudioFixture(), out = dir / "x.wma";
    auto r = RunCli("separate --audio --format wmv " + Q(in) + " -o " + Q(out));
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(PacketChecksums(out, "a:0"), PacketChecksums(in, "a:1"));
    EXPECT_NE(PacketChecksums(out, "a:0"), PacketChecksums(in, "a:0"));
    EXPECT_TRUE(DecodesCleanly(out));
}

// A copy of `in` in which each stream carries an attribute naming it.
fs::path WithStreamTags(const fs::path& in, const fs::path& out) {
    AsfReader reader;
    if (asf::Failed(reader.Open(in.string()))) return {};
    AsfWriter writer;
    writer.SetProfile(reader.Header().profile);
    for (const auto& s : reader.Header().profile.Streams())
        writer.HeaderInfo().SetAttribute(
            s.streamNumber, u"WM/StreamTag", AsfAttrType::String,
            Utf16Value(u"stream " + Utf8ToUtf16(std::to_string(s.streamNumber))));
    writer.SetOutputFilename(out.string());
    writer.BeginWriting();
    struct Copy : IAsfSampleSink {
        AsfWriter* w;
        AsfResult OnStreamSample(uint16_t n, uint64_t t, uint64_t d, uint32_t f,
                                 const AsfSampleBuffer& b) override {
            return w->WriteStreamSample(n, t, d, f, b.Bytes());
        }
    } copy;
    copy.w = &writer;
    reader.Run(copy);
    return asf::Succeeded(writer.EndWriting()) ? out : fs::path();
}

// A stream's own attributes follow it to its number in the output.
TEST(WmSeparate, StreamAttributesFollowTheStream) {
    TempDir dir;
    const fs::path in = WithStreamTags(TwoAudioFixture(), dir / "tagged.wma"), out = dir / "x.wma";
    ASSERT_FALSE(in.empty());
    TestFrontEnd fe({{in.string()}, out.string()});
    CWmSeparation op;
    op.Start(fe, false);  // the later audio stream, number 2
    op.Wait();
    ASSERT_EQ(op.Result(), 0);
    AsfReader back;
    ASSERT_EQ(back.Open(out.string()), asf::kOk);
    const AsfAttribute* tag = back.Header().info.GetAttributeByName(1, u"WM/StreamTag");
    ASSERT_NE(tag, nullptr);
    EXPECT_EQ(Utf16FromValue(tag->value), u"stream 2");
}

TEST(WmSeparate, MissingStreamGives8204AndNoOutput) {
    TempDir dir;
    const fs::path out = dir / "x.wma";
    auto r = RunCli("--lang en separate --audio " + Q(VideoOnlyFixture()) + " -o " + Q(out));
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find(std::to_string(kErrWmInfo)), std::string::npos) << r.out;
    // The detail says which file lacks what.
    EXPECT_NE(r.out.find(VideoOnlyFixture().string() + " has no audio stream."), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(out));

    TestFrontEnd fe({{WmaFixture().string()}, (dir / "v.wmv").string()});
    CWmSeparation op;
    op.Start(fe, true);
    op.Wait();
    EXPECT_EQ(op.Result(), kErrWmInfo);
    EXPECT_EQ(fe.host.errors, std::vector<int>{kErrWmInfo});
    EXPECT_EQ(fe.ended, 1);
    EXPECT_FALSE(fs::exists(dir / "v.wmv"));
}

// --- union -------------------------------------------------------------------

void ExpectInterleaved(const fs::path& out) {
    int64_t last = -1;
    size_t decreases = 0;
    for (const auto& p : Packets(out)) {
        if (p.ptsMs < last) ++decreases;
        last = std::max(last, p.ptsMs);
    }
    EXPECT_EQ(decreases, 0u) << out;
}

TEST(WmUnion, VideoOfOneFileAudioOfAnother) {
    TempDir dir;
    struct Case {
        fs::path video, audio;
        std::string title;
    } cases[] = {
        {VideoOnlyFixture(), WmaFixture(), "Tune"},
        {WmvFixture(), Wmv1Fixture(), "Wmv1"},  // the audio of a WMV file
        // Both sources span many of their readers' blocks, and the audio is
        // a small part of what its reader reads.
        {LargeWmv1Fixture(), LargeWmvFixture(), "Large"},
    };
    for (const auto& c : cases) {
        const fs::path out = dir / "u.wmv";
        auto r = RunCli("union " + Q(c.video) + " " + Q(c.audio) + " -o " + Q(out));
        ASSERT_EQ(r.status, 0) << r.out;
        EXPECT_EQ(StreamCount(out, "video"), 1);
        EXPECT_EQ(StreamCount(out, "audio"), 1);
        EXPECT_EQ(StreamNumbers(out), (std::vector<uint16_t>{1, 2}));
        EXPECT_EQ(PacketChecksums(out, "v:0"), PacketChecksums(c.video, "v:0"));
        EXPECT_EQ(PacketChecksums(out, "a:0"), PacketChecksums(c.audio, "a:0"));
        EXPECT_EQ(Title(out), c.title);  // the file's attributes come from the audio source
        ExpectInterleaved(out);
        EXPECT_TRUE(DecodesCleanly(out));
    }
}

TEST(WmUnion, SourceWithoutTheStreamGives8204) {
    TempDir dir;
    const fs::path out = dir / "u.wmv";
    const std::pair<fs::path, fs::path> cases[] = {{WmaFixture(), WmaFixture()},
                                                   {WmvFixture(), VideoOnlyFixture()}};
    for (const auto& [video, audio] : cases) {
        auto r = RunCli("--lang en union " + Q(video) + " " + Q(audio) + " -o " + Q(out) + " --format wmv");
        EXPECT_NE(r.status, 0);
        EXPECT_NE(r.out.find(std::to_string(kErrWmInfo)), std::string::npos) << r.out;
        const std::string detail = video == WmaFixture() ? video.string() + " has no video stream."
                                                         : audio.string() + " has no audio stream.";
        EXPECT_NE(r.out.find(detail), std::string::npos) << r.out;
        EXPECT_FALSE(fs::exists(out));
    }
}

// Stop part-way: no message, and a playable output with the part written so far.
TEST(WmStop, EndsTheRunWithoutMessage) {
    TempDir dir;
    const std::string out = (dir / "o.wmv").string();
    const std::string wmv = WmvFixture().string(), wma = WmaFixture().string();
    struct Case {
        const char* what;
        std::function<int(TestFrontEnd&)> run;
        std::vector<std::string> inputs;
    } cases[] = {
        {"separation",
         [](TestFrontEnd& fe) {
             CWmSeparation op;
             op.Start(fe, true);
             op.Wait();
             return op.Result();
         },
         {wmv}},
        {"union",
         [](TestFrontEnd& fe) {
             CWmUnion op;
             op.Start(fe);
             op.Wait();
             return op.Result();
         },
         {wmv, wma}},
        {"extraction",
         [](TestFrontEnd& fe) {
             CWmExtraction op;
             op.Start(fe);
             op.Wait();
             return op.Result();
         },
         {wmv}},
    };
    for (const auto& c : cases) {
        TestFrontEnd fe({c.inputs, out});
        fe.host.stopAtPercent = 40;
        EXPECT_EQ(c.run(fe), 0) << c.what;
        EXPECT_TRUE(fe.host.errors.empty()) << c.what;
        EXPECT_EQ(fe.ended, 1) << c.what;
        EXPECT_TRUE(DecodesCleanly(out)) << c.what;
        const auto video = PacketChecksums(out, "v:0");
        EXPECT_GT(video.size(), 0u) << c.what;
        EXPECT_LT(video.size(), PacketChecksums(wmv, "v:0").size()) << c.what;
    }
}

// --- connection --------------------------------------------------------------

TEST(WmJoin, EveryPacketInOrderWithoutOverlap) {
    TempDir dir;
    struct Case {
        fs::path a, b;
        std::vector<std::string> specs;
    } cases[] = {
        {WmvFixture(), WmvFixtureB(), {"v:0", "a:0"}},
        {WmaFixture(), WmaFixture("wmops_b.wma", 770), {"a:0"}},
    };
    for (const auto& c : cases) {
        const fs::path out = dir / ("j" + c.a.extension().string());
        auto r = RunCli("join " + Q(c.a) + " " + Q(c.b) + " " + Q(c.a) + " -o " + Q(out));
        ASSERT_EQ(r.status, 0) << r.out;
        for (const auto& selector : c.specs) {
            EXPECT_EQ(PacketChecksums(out, selector),
                      Concat(Concat(PacketChecksums(c.a, selector), PacketChecksums(c.b, selector)),
                             PacketChecksums(c.a, selector)))
                << selector;
            // Each file's part begins after the previous part has ended.
            const auto pts = FfmpegPts(out, selector);
            const size_t n = FfmpegPts(c.a, selector).size();
            ASSERT_EQ(pts.size(), 3 * n - n + FfmpegPts(c.b, selector).size());
            EXPECT_GT(pts[n], pts[n - 1]) << selector;
            EXPECT_TRUE(std::is_sorted(pts.begin(), pts.end())) << selector;
        }
        EXPECT_EQ(Title(out), Title(c.a));
        EXPECT_TRUE(DecodesCleanly(out));
    }
}

TEST(WmJoin, FilesFollowByTheirExactDurations) {
    TempDir dir;
    const fs::path a = WmvFixture(), out = dir / "j.wmv";
    ASSERT_EQ(RunCli("join " + Q(a) + " " + Q(a) + " -o " + Q(out)).status, 0);
    CDecCompWMV in, joined;
    ASSERT_EQ(in.Open(a.string(), 0, 0), 0);
    ASSERT_EQ(joined.Open(out.string(), 0, 0), 0);
    const uint64_t d = in.GetDuration();
    // The first sample of the second copy lies exactly one duration after the first.
    const auto first = FfmpegPts(a, "v:0");
    const auto both = FfmpegPts(out, "v:0");
    ASSERT_EQ(both.size(), 2 * first.size());
    EXPECT_EQ(both[first.size()] - both[0], int64_t(d / 10000));
    EXPECT_NEAR(double(joined.GetDuration()), 2.0 * double(d), 2e5);
    EXPECT_TRUE(DecodesCleanly(out));
}

TEST(WmJoin, LaterFileOfAnotherLayoutIsRefused) {
    TempDir dir;
    const fs::path out = dir / "j.wmv";
    for (const fs::path& other : {Wmv1Fixture(), WmaFixture()}) {
        auto r = RunCli("join " + Q(WmvFixture()) + " " + Q(other) + " -o " + Q(out));
        EXPECT_NE(r.status, 0);
        EXPECT_NE(r.out.find(std::to_string(kErrWmProcess)), std::string::npos) << r.out;
        // The first file is in the output, complete and playable.
        EXPECT_EQ(PacketChecksums(out, "v:0"), PacketChecksums(WmvFixture(), "v:0"));
        EXPECT_EQ(PacketChecksums(out, "a:0"), PacketChecksums(WmvFixture(), "a:0"));
        EXPECT_TRUE(DecodesCleanly(out));
    }
}

TEST(WmJoin, StopInTheSecondFileLeavesAPlayableFile) {
    TempDir dir;
    const fs::path a = WmvFixture(), b = WmvFixtureB(), out = dir / "j.wmv";
    TestFrontEnd fe({{a.string(), b.string()}, out.string()});
    fe.host.stopAtPercent = 75;  // half-way through the second file
    CWmConnection op;
    op.Start(fe, false);
    op.Wait();
    EXPECT_EQ(op.Result(), 0);
    EXPECT_TRUE(fe.host.errors.empty());
    EXPECT_EQ(fe.begun, 1);
    EXPECT_EQ(fe.ended, 1);
    EXPECT_TRUE(DecodesCleanly(out));
    const auto va = PacketChecksums(a, "v:0"), vb = PacketChecksums(b, "v:0"),
               vo = PacketChecksums(out, "v:0");
    ASSERT_GT(vo.size(), va.size());
    ASSERT_LT(vo.size(), va.size() + vb.size());
    EXPECT_EQ(vo, Concat(va, std::vector<std::string>(vb.begin(), vb.begin() + (vo.size() - va.size()))));
}

TEST(WmJoin, EmptyListStartsNothing) {
    TestFrontEnd fe({{}, "/nonexistent/x.wmv"});
    CWmConnection op;
    op.Start(fe, true);
    op.Wait();
    EXPECT_EQ(fe.begun, 0);
    EXPECT_FALSE(op.Busy());
}

// --- extraction --------------------------------------------------------------

// Packets of the input stream whose times lie in [fromMs, toMs] (toMs < 0:
// no end), moved back by fromMs.
std::vector<HashedPacket> PacketsBetween(const fs::path& in, const std::string& selector, int64_t fromMs,
                                         int64_t toMs) {
    std::vector<HashedPacket> out;
    for (auto p : ProbePackets(in, selector))
        if (p.ptsMs >= fromMs && (toMs < 0 || p.ptsMs <= toMs)) {
            p.ptsMs -= fromMs;
            out.push_back(p);
        }
    return out;
}

// The range's samples, from the video key frame at or before the start (at
// 46 ms and 1046 ms in the fixture) to the end, both included, moved to time 0.
TEST(WmExtract, RangeInclusiveShiftedToZero) {
    TempDir dir;
    const fs::path in = WmvFixture();
    struct Case {
        uint64_t start, end;   // 100 ns
        int64_t fromMs, toMs;  // fromMs: the key frame
    } cases[] = {
        {5000000, 15000000, 46, 1500},
        {15130000, 0, 1046, -1},           // end 0: to the end
        {10460000, 15130000, 1046, 1513},  // samples exactly at both ends
        {0, 0, 0, -1},                     // before the first picture
    };
    for (const auto& c : cases) {
        const fs::path out = dir / "e.wmv";
        TestFrontEnd fe({{in.string()}, out.string(), c.start, c.end});
        CWmExtraction op;
        op.Start(fe);
        op.Wait();
        ASSERT_EQ(op.Result(), 0);
        for (const char* selector : {"v:0", "a:0"})
            EXPECT_EQ(ProbePackets(out, selector), PacketsBetween(in, selector, c.fromMs, c.toMs))
                << selector << " from " << c.fromMs;
        EXPECT_TRUE(DecodesCleanly(out));
        EXPECT_EQ(Title(out), "First");
        // The front end hears of a start that moved.
        EXPECT_EQ(fe.realStart.load(), uint64_t(c.fromMs) * 10000 == c.start ? -1 : c.fromMs * 10000);
    }
}

TEST(WmExtract, EndBeforeStartGivesHeaderOnly) {
    TempDir dir;
    const fs::path out = dir / "e.wmv";
    // Also when the key frame before the start (1046 ms) lies before the end.
    TestFrontEnd later({{WmvFixture().string()}, out.string(), 15000000, 12000000});
    CWmExtraction laterOp;
    laterOp.Start(later);
    laterOp.Wait();
    EXPECT_EQ(laterOp.Result(), 0);
    EXPECT_TRUE(Packets(out).empty());
    EXPECT_EQ(later.realStart.load(), -1);

    TestFrontEnd fe({{WmvFixture().string()}, out.string(), 15000000, 5000000});
    CWmExtraction op;
    op.Start(fe);
    op.Wait();
    EXPECT_EQ(op.Result(), 0);
    EXPECT_TRUE(fe.host.errors.empty());
    EXPECT_TRUE(Packets(out).empty());
    EXPECT_EQ(StreamCount(out, "video"), 1);
    // A well-formed file: readers open it without complaint, and no index
    // entry names a packet that is not there (the file ends with its empty
    // data object).
    const auto probe = test::Run("ffprobe -v error -show_format " + Q(out) + " 2>&1 >/dev/null");
    EXPECT_EQ(probe.status, 0);
    EXPECT_EQ(probe.out, "");
    const auto bytes = ReadFile(out);
    ASSERT_GT(bytes.size(), 24u);
    EXPECT_EQ(bytes.size(), GetU64LE(&bytes[16]) + 50);  // header object, data object without packets
}

TEST(WmExtract, CommandLineDefaultsToTheWholeFile) {
    TempDir dir;
    const fs::path in = dir / "w.wma";
    fs::copy_file(WmaFixture(), in);
    auto r = RunCli("extract " + Q(in));
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(PacketChecksums(dir / "w_extr.wma", "a:0"), PacketChecksums(in, "a:0"));
    EXPECT_TRUE(DecodesCleanly(dir / "w_extr.wma"));
    r = RunCli("extract " + Q(in) + " --start 0.5 --end 1.5 -o " + Q(dir / "p.wma"));
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(ProbePackets(dir / "p.wma", "a:0"), PacketsBetween(in, "a:0", 500, 1500));
    EXPECT_TRUE(DecodesCleanly(dir / "p.wma"));
    // An end of 0 means the end of the file, as on the page.
    r = RunCli("extract " + Q(in) + " --start 0.5 --end 0 -o " + Q(dir / "q.wma"));
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(ProbePackets(dir / "q.wma", "a:0"), PacketsBetween(in, "a:0", 500, -1));
    EXPECT_TRUE(DecodesCleanly(dir / "q.wma"));
}

// The reader's notes are for people: never on standard output, where a
// script reads; on standard error, and not at all with --quiet.
TEST(WmCli, ReaderDiagnosticsKeepStandardOutputClean) {
    TempDir dir;
    const fs::path in = WmvFixture();
    const fs::path out = dir / "o.txt", err = dir / "e.txt";
    const std::string lines[] = {
        "extract " + Q(in) + " -o " + Q(dir / "x.wmv"),
        "separate --audio " + Q(in) + " -o " + Q(dir / "x.wma"),
        "join " + Q(in) + " -o " + Q(dir / "j.wmv"),
        "union " + Q(in) + " " + Q(in) + " -o " + Q(dir / "u.wmv"),
    };
    for (const auto& line : lines)
        for (bool quiet : {false, true}) {
            const auto r =
                test::Run("LC_ALL=C.UTF-8 timeout 120 " + Q(VT_CLI_PATH) + (quiet ? " --quiet " : " ") +
                          line + " >" + Q(out) + " 2>" + Q(err) + " </dev/null");
            EXPECT_EQ(r.status, 0) << line;
            EXPECT_TRUE(ReadFile(out).empty()) << line;
            const auto e = ReadFile(err);
            const std::string text(e.begin(), e.end());
            if (quiet)
                EXPECT_EQ(text, "") << line;
            else
                EXPECT_NE(text.find("Reader Callback: File is opened."), std::string::npos) << line << text;
        }
}

TEST(WmExtract, RangeFields) {
    EXPECT_EQ(WmRangeTime({0, 0, 10, 0}), 100000000u);
    EXPECT_EQ(WmRangeTime({1, 2, 3, 4}), 37230040000u);
    // A large hour count stays large: the most 100 ns units that a signed
    // 64-bit time holds, never a wrapped small value.
    constexpr uint64_t kLargest = uint64_t(std::numeric_limits<int64_t>::max() / 10000) * 10000;
    EXPECT_EQ(WmRangeTime({2147483647, 0, 0, 0}), kLargest);
    EXPECT_EQ(WmRangeTime({256204779, 0, 0, 0}), kLargest);  // just past it
    EXPECT_EQ(WmRangeTime({256204778, 0, 0, 0}), uint64_t(256204778) * 3600 * 10000000);
    const TimeFields t = WmDurationFields(37230049999u);
    EXPECT_EQ(t.hours, 1);
    EXPECT_EQ(t.minutes, 2);
    EXPECT_EQ(t.seconds, 3);
    EXPECT_EQ(t.milliseconds, 4);
}

// --- bad input ---------------------------------------------------------------

TEST(WmBadInput, GivesOpenErrorAndNeverHangs) {
    TempDir dir;
    const fs::path empty = dir / "empty.wmv", random = dir / "random.wmv", truncated = dir / "cut.wmv";
    WriteFile(empty, {});
    std::vector<uint8_t> noise(20000);
    std::mt19937 rng(7);
    for (auto& b : noise) b = uint8_t(rng());
    WriteFile(random, noise);
    auto whole = ReadFile(WmvFixture());
    WriteFile(truncated, std::vector<uint8_t>(whole.begin(), whole.begin() + 300));  // inside the header
    const fs::path good = WmvFixture();
    for (const fs::path& bad : {empty, random, truncated, dir / "missing.wmv"}) {
        const std::string lines[] = {
            "separate --video " + Q(bad) + " -o " + Q(dir / "o.wmv"),
            "union " + Q(bad) + " " + Q(good) + " -o " + Q(dir / "o.wmv"),
            "union " + Q(good) + " " + Q(bad) + " -o " + Q(dir / "o.wmv") + " --format wmv",
            "join " + Q(good) + " " + Q(bad) + " -o " + Q(dir / "o.wmv"),
            "extract " + Q(bad) + " -o " + Q(dir / "o.wmv"),
        };
        for (const auto& line : lines) {
            auto r = RunCli(line);
            EXPECT_EQ(r.status, 1) << line << "\n" << r.out;  // not a crash (>128) nor the timeout (124)
            EXPECT_NE(r.out.find(std::to_string(kErrWmOpen)), std::string::npos) << line << "\n" << r.out;
        }
    }
}

TEST(WmBadInput, DamagedDataEndsTheRunSafely) {
    TempDir dir;
    auto whole = ReadFile(WmvFixture());
    const fs::path half = dir / "half.wmv", scrambled = dir / "scrambled.wmv";
    WriteFile(half, std::vector<uint8_t>(whole.begin(), whole.begin() + whole.size() / 2));
    std::mt19937 rng(3);
    for (size_t i = whole.size() / 3; i < whole.size(); i += 97) whole[i] = uint8_t(rng());
    WriteFile(scrambled, whole);
    for (const fs::path& bad : {half, scrambled}) {
        const fs::path out = dir / "o.wmv";
        TestFrontEnd fe({{bad.string()}, out.string()});
        CWmExtraction op;
        op.Start(fe);
        op.Wait();
        EXPECT_TRUE(op.Result() == 0 || op.Result() == kErrWmProcess) << op.Result();
        EXPECT_EQ(fe.ended, 1);
        EXPECT_EQ(Packets(out).empty(), false) << bad;
    }
}

// A file with a damaged packet makes the run fail: every operation reports
// 8203 once, after finishing an output that holds what was written.
TEST(WmRunFailure, ReportedOnceWithAFinishedOutput) {
    TempDir dir;
    const fs::path good = WmvFixture(), wma = WmaFixture();
    auto cut = [&](const fs::path& from, const std::string& name) {
        return DamagedCopy(from, dir / name).string();
    };
    const std::string shortWmv = cut(good, "short.wmv"), shortWma = cut(wma, "short.wma");
    const std::string out = (dir / "o.wmv").string();
    struct Case {
        const char* what;
        std::function<int(TestFrontEnd&)> run;
        std::vector<std::string> inputs;
    } cases[] = {
        {"separation",
         [](TestFrontEnd& fe) {
             CWmSeparation op;
             op.Start(fe, true);
             op.Wait();
             return op.Result();
         },
         {shortWmv}},
        // The union used to finish such a run as if it had succeeded.
        {"union, audio side",
         [](TestFrontEnd& fe) {
             CWmUnion op;
             op.Start(fe);
             op.Wait();
             return op.Result();
         },
         {good.string(), shortWma}},
        {"union, video side",
         [](TestFrontEnd& fe) {
             CWmUnion op;
             op.Start(fe);
             op.Wait();
             return op.Result();
         },
         {shortWmv, wma.string()}},
        {"connection",
         [](TestFrontEnd& fe) {
             CWmConnection op;
             op.Start(fe, false);
             op.Wait();
             return op.Result();
         },
         {good.string(), shortWmv}},
        {"extraction",
         [](TestFrontEnd& fe) {
             CWmExtraction op;
             op.Start(fe);
             op.Wait();
             return op.Result();
         },
         {shortWmv}},
    };
    for (const auto& c : cases) {
        TestFrontEnd fe({c.inputs, out});
        EXPECT_EQ(c.run(fe), kErrWmProcess) << c.what;
        EXPECT_EQ(fe.host.errors, std::vector<int>{kErrWmProcess}) << c.what;
        EXPECT_EQ(fe.ended, 1) << c.what;
        EXPECT_FALSE(Packets(out).empty()) << c.what;
        EXPECT_TRUE(DecodesCleanly(out)) << c.what;
    }
}

// The disk refuses the last part of the output (a file size limit stands in
// for a full disk): the run fails with 8203 naming the output, and the file
// that remains is whole, its header counting the packets that reached it.
TEST(WmWriteFailure, AtTheEndIsReportedAndLeavesAWholeFile) {
    TempDir dir;
    const fs::path wmv = WmvFixture(), wma = WmaFixture();
    const fs::path out = dir / "o.wmv";
    const std::string lines[] = {
        "separate --video " + Q(wmv) + " -o " + Q(out),
        "union " + Q(VideoOnlyFixture()) + " " + Q(wma) + " -o " + Q(out),
        "join " + Q(wmv) + " " + Q(WmvFixtureB()) + " -o " + Q(out),
        "extract " + Q(wmv) + " -o " + Q(out),
    };
    for (const auto& line : lines) {
        // 20 KiB: the outputs are larger, and all of it waits in the output
        // buffer until the writer finishes.
        const auto r = test::Run("bash -c " + Q("trap '' XFSZ; ulimit -f 20; exec env LC_ALL=C.UTF-8 " +
                                                Q(VT_CLI_PATH) + " --quiet " + line + " 2>&1 </dev/null"));
        EXPECT_EQ(r.status, 1) << line << "\n" << r.out;
        EXPECT_NE(r.out.find(std::to_string(kErrWmProcess)), std::string::npos) << line << "\n" << r.out;
        EXPECT_NE(r.out.find(out.string()), std::string::npos) << line << "\n" << r.out;
        ASSERT_TRUE(fs::exists(out)) << line;
        EXPECT_LE(fs::file_size(out), 20u * 1024) << line;
        EXPECT_FALSE(Packets(out).empty()) << line;
        EXPECT_TRUE(DecodesCleanly(out)) << line;
        // The header describes the file: its size, and a duration.
        CDecCompWMV reader;
        ASSERT_EQ(reader.Open(out.string(), 0, 0), 0) << line;
        EXPECT_EQ(reader.Copier().reader->Header().fileProperties.fileSize, fs::file_size(out)) << line;
        EXPECT_GT(reader.GetDuration(), 0u) << line;
        EXPECT_GT(std::stod("0" + Probe(out, "", "duration")), 0.2) << line;
    }
}

}  // namespace
}  // namespace vt
