#include <gtest/gtest.h>

#include "core/ErrorCodes.h"
#include "core/TimeFields.h"
#include "pages/flv/FlvOperations.h"
#include "tests/flv/FlvTestUtil.h"

using namespace vt;
using namespace vt::test;

TEST(FlvOperations, SectionTimesAndSeparationNames) {
    EXPECT_EQ(ToMilliseconds({0, 1, 2, 345}), 62345);
    EXPECT_EQ(ToMilliseconds({1, 0, 0, 0}), 3600000);
    EXPECT_EQ(FlvSeparationOutputPath("/x/out.avi", FlvSeparationPart::Audio), "/x/out.mp3");
    EXPECT_EQ(FlvSeparationOutputPath("/x/out.mp3", FlvSeparationPart::Video), "/x/out.avi");
    // The audio's extension follows its codec; an input that cannot be read keeps .mp3.
    EXPECT_EQ(FlvSeparationOutputPath("/x/out.mp3", FlvSeparationPart::Audio, H264AacFixture().string()),
              "/x/out.aac");
    EXPECT_EQ(FlvSeparationOutputPath("/x/out.aac", FlvSeparationPart::Audio, H263Mp3Fixture().string()),
              "/x/out.mp3");
    EXPECT_EQ(FlvSeparationOutputPath("/x/out.avi", FlvSeparationPart::Audio, "/none.flv"), "/x/out.mp3");
    EXPECT_EQ(FlvSeparationOutputPath("/x/out.avi", FlvSeparationPart::Video, H264AacFixture().string()),
              "/x/out.avi");
}

TEST(FlvOperations, ConnectionReportsALaterFileAndKeepsWhatJoined) {
    TempDir dir;
    auto junk = dir / "junk.flv";
    WriteFile(junk, std::vector<uint8_t>(500, 0x41));
    const auto a = H263Mp3Fixture(), b = H263Mp3SecondFixture(), avc = H264AacFixture();

    struct Case {
        const char* what;
        std::vector<std::filesystem::path> inputs;
        int code;
        std::string detail;
        size_t joined;  // how many of the inputs the output holds
    } cases[] = {
        {"all good", {a, b, a}, 0, "", 3},
        {"second not an FLV", {a, junk, b}, kFlvErrNotFlv, junk.string(), 1},
        // A file that does not fit says why, below its name.
        {"third of another format",
         {a, b, avc},
         kFlvErrFormat,
         avc.string() + "\nvideo codec H.264, first file H.263",
         2},
        {"third missing", {a, b, dir / "none.flv"}, kFlvErrOpen, (dir / "none.flv").string(), 2},
    };
    for (const auto& c : cases) {
        RecordingHost host;
        std::vector<std::string> paths;
        for (const auto& p : c.inputs) paths.push_back(p.string());
        auto out = dir / "link.flv";
        EXPECT_EQ(RunFlvConnection(host, paths, out.string()), c.code) << c.what;
        if (c.code) {
            ASSERT_EQ(host.errors.size(), 1u) << c.what;
            EXPECT_EQ(host.errors[0], std::make_pair(c.detail, c.code)) << c.what;
        } else {
            EXPECT_TRUE(host.errors.empty()) << c.what;
        }
        std::vector<std::string> expected;
        for (size_t i = 0; i < c.joined; ++i) {
            auto sums = PacketChecksums(c.inputs[i], "v:0");
            expected.insert(expected.end(), sums.begin(), sums.end());
        }
        EXPECT_EQ(PacketChecksums(out, "v:0"), expected) << c.what;
        EXPECT_TRUE(DecodesCleanly(out)) << c.what;
    }
}

TEST(FlvOperations, ConnectionFailuresOfTheFirstFileAndShortLists) {
    TempDir dir;
    auto out = dir / "link.flv";
    RecordingHost host;
    EXPECT_EQ(RunFlvConnection(host, {H263Mp3Fixture().string()}, out.string()), 0);
    EXPECT_FALSE(std::filesystem::exists(out));
    EXPECT_EQ(RunFlvConnection(host, {(dir / "none.flv").string(), H263Mp3Fixture().string()}, out.string()),
              kFlvErrOpen);
    ASSERT_EQ(host.errors.size(), 1u);
    EXPECT_EQ(host.errors[0].second, kFlvErrOpen);
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST(FlvOperations, StopEndsWithoutAMessage) {
    TempDir dir;
    const std::string src = H263Mp3Fixture().string();
    for (int op = 0; op < 3; ++op) {
        RecordingHost host;
        host.stopAfterProgressCalls = 2;
        auto out = (dir / "stopped").string();
        int code = op == 0   ? RunFlvConnection(host, {src, src}, out)
                   : op == 1 ? RunFlvExtraction(host, src, out, 0, 0)
                             : RunFlvSeparation(host, src, out, FlvSeparationPart::Audio);
        EXPECT_NE(code, 0) << op;
        EXPECT_EQ(code, kErrSilent) << op;
        EXPECT_TRUE(host.errors.empty()) << op;
        // What was written before the stop is a readable file (the joined and
        // the extracted FLV say how much they hold).
        if (op < 2) {
            EXPECT_TRUE(DecodesCleanly(out)) << op;
        }
    }
}

TEST(FlvOperations, ExtractionAndSeparationReportTheirErrors) {
    TempDir dir;
    RecordingHost host1, host2;
    EXPECT_EQ(RunFlvExtraction(host1, (dir / "none.flv").string(), (dir / "o.flv").string(), 0, 1000),
              kFlvErrOpen);
    EXPECT_EQ(
        RunFlvSeparation(host2, SpeexFixture().string(), (dir / "o.mp3").string(), FlvSeparationPart::Audio),
        kFlvErrUnsupported);
    ASSERT_EQ(host1.errors.size(), 1u);
    EXPECT_EQ(host1.errors[0].second, kFlvErrOpen);
    // An input that does not open is named.
    EXPECT_EQ(host1.errors[0].first, (dir / "none.flv").string());
    // The library's explanation is the detail text.
    ASSERT_EQ(host2.errors.size(), 1u);
    EXPECT_EQ(host2.errors[0].second, kFlvErrUnsupported);
    EXPECT_EQ(host2.errors[0].first,
              "The audio is Speex; only MP3 and AAC audio can be written as a file of its own.");
    EXPECT_FALSE(std::filesystem::exists(dir / "o.flv"));
    EXPECT_FALSE(std::filesystem::exists(dir / "o.mp3"));

    RecordingHost ok;
    auto out = dir / "part.flv";
    ASSERT_EQ(RunFlvExtraction(ok, H263Mp3Fixture().string(), out.string(), 500, 1500), 0);
    EXPECT_TRUE(ok.errors.empty());
    EXPECT_FALSE(ok.progress.empty());
    EXPECT_TRUE(DecodesCleanly(out));
}
