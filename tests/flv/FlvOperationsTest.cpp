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
        const OpResult r = FlvConnection(host, paths, out.string());
        EXPECT_EQ(r.code, c.code) << c.what;
        EXPECT_EQ(r.detail, c.detail) << c.what;
        EXPECT_TRUE(host.errors.empty()) << c.what;  // returned, not reported
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
    EXPECT_EQ(FlvConnection(host, {H263Mp3Fixture().string()}, out.string()).code, 0);
    EXPECT_FALSE(std::filesystem::exists(out));
    const OpResult r =
        FlvConnection(host, {(dir / "none.flv").string(), H263Mp3Fixture().string()}, out.string());
    EXPECT_EQ(r.code, kFlvErrOpen);
    EXPECT_EQ(r.detail, (dir / "none.flv").string());
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST(FlvOperations, StopEndsWithoutAMessage) {
    TempDir dir;
    const std::string src = H263Mp3Fixture().string();
    for (int op = 0; op < 3; ++op) {
        RecordingHost host;
        host.stopAfterProgressCalls = 2;
        auto out = (dir / "stopped").string();
        const int code = op == 0   ? FlvConnection(host, {src, src}, out).code
                         : op == 1 ? FlvExtraction(host, src, out, 0, 0).code
                                   : FlvSeparation(host, src, out, FlvSeparationPart::Audio).code;
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
    RecordingHost host;
    const OpResult missing =
        FlvExtraction(host, (dir / "none.flv").string(), (dir / "o.flv").string(), 0, 1000);
    const OpResult speex =
        FlvSeparation(host, SpeexFixture().string(), (dir / "o.mp3").string(), FlvSeparationPart::Audio);
    EXPECT_EQ(missing.code, kFlvErrOpen);
    // An input that does not open is named.
    EXPECT_EQ(missing.detail, (dir / "none.flv").string());
    // The library's explanation is the detail text.
    EXPECT_EQ(speex.code, kFlvErrUnsupported);
    EXPECT_EQ(speex.detail,
              "The audio is Speex; only MP3 and AAC audio can be written as a file of its own.");
    EXPECT_TRUE(host.errors.empty());  // returned, not reported
    EXPECT_FALSE(std::filesystem::exists(dir / "o.flv"));
    EXPECT_FALSE(std::filesystem::exists(dir / "o.mp3"));

    RecordingHost ok;
    auto out = dir / "part.flv";
    ASSERT_EQ(FlvExtraction(ok, H263Mp3Fixture().string(), out.string(), 500, 1500).code, 0);
    EXPECT_TRUE(ok.errors.empty());
    EXPECT_FALSE(ok.progress.empty());
    EXPECT_TRUE(DecodesCleanly(out));
}
