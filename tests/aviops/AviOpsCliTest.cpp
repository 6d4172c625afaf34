// The AVI and WAV operations through the built command line.
#include <gtest/gtest.h>

#include "core/ErrorCodes.h"
#include "tests/aviops/AviOpsTestSupport.h"

namespace vt {
namespace {

using namespace vt::test;

struct Outcome {
    int status = -1;
    std::string out;
};

Outcome Cli(const std::string& args, const std::string& prefix = "") {
    auto r = test::Run(prefix + "LC_ALL=C.UTF-8 " + Q(VT_CLI_PATH) + " " + args + " 2>&1 </dev/null");
    return {r.status, r.out};
}

TEST(AviOpsCli, EveryOperationRuns) {
    TempDir dir;
    const fs::path a = MovieA(), b = MovieB(), w = Wav1s("ops_1s_a.wav", 440);
    struct Case {
        std::string args;
        fs::path out;
    } cases[] = {
        {"join " + Q(a) + " " + Q(b) + " -o " + Q(dir / "j.avi"), dir / "j.avi"},
        {"separate --video " + Q(a) + " -o " + Q(dir / "v.avi"), dir / "v.avi"},
        {"separate --audio " + Q(a) + " -o " + Q(dir / "a.wav"), dir / "a.wav"},
        {"union " + Q(a) + " " + Q(w) + " -o " + Q(dir / "u.avi"), dir / "u.avi"},
        {"extract " + Q(a) + " --start 0.4 --end 1 -o " + Q(dir / "e.avi"), dir / "e.avi"},
        {"extract " + Q(a) + " -o " + Q(dir / "whole.avi"), dir / "whole.avi"},
        {"--format wav join " + Q(w) + " " + Q(a) + " -o " + Q(dir / "j.wav"), dir / "j.wav"},
        {"--format wav extract " + Q(w) + " --start 0.5 -o " + Q(dir / "e.wav"), dir / "e.wav"},
    };
    for (const Case& c : cases) {
        Outcome o = Cli(c.args);
        EXPECT_EQ(o.status, 0) << c.args << "\n" << o.out;
        EXPECT_TRUE(DecodesCleanly(c.out)) << c.args;
    }
    EXPECT_EQ(PacketChecksums(dir / "j.avi", "v:0"),
              Concat(PacketChecksums(a, "v:0"), PacketChecksums(b, "v:0")));
    EXPECT_EQ(PacketChecksums(dir / "v.avi", "v:0"), PacketChecksums(a, "v:0"));
    EXPECT_EQ(RawStream(dir / "a.wav", "a:0"), RawStream(a, "a:0"));
    EXPECT_EQ(RawStream(dir / "u.avi", "a:0"), RawStream(w, "a:0"));
    EXPECT_EQ(PacketCount(dir / "e.avi", "v:0"), 16);  // frames 10 to 25
    // Without --end, the whole file as the page loads it.
    EXPECT_EQ(PacketChecksums(dir / "whole.avi", "v:0"), PacketChecksums(a, "v:0"));
    EXPECT_EQ(RawStream(dir / "whole.avi", "a:0"), RawStream(a, "a:0"));
    EXPECT_EQ(ReadWavChunks(dir / "j.wav").fact, 22050u * 3);
    EXPECT_EQ(ReadWavChunks(dir / "e.wav").fact, 22050u / 2);
}

TEST(AviOpsCli, ErrorsShowTheirCodes) {
    TempDir dir;
    const fs::path a = MovieA(), w = Wav1s("ops_1s_a.wav", 440);
    struct Case {
        std::string args;
        std::string expected;
    } cases[] = {
        {"join " + Q(a) + " " + Q(dir / "missing.avi") + " -o " + Q(dir / "o.avi"),
         std::to_string(kErrAviFileOpen)},
        {"separate --audio " + Q(MovieNoAudio()) + " -o " + Q(dir / "o.wav"), std::to_string(kErrAviNoAudio)},
        {"--format wav join " + Q(WavYamaha()) + " -o " + Q(dir / "o.wav"), "-005"},
        {"--format wav join " + Q(WavYamaha()) + " -o " + Q(dir / "o.wav"),
         "cannot be copied into a WAV file"},
        // The extraction names its input above the text.
        {"--format wav extract " + Q(WavYamaha()) + " -o " + Q(dir / "o.wav"), WavYamaha().string() + "\n"},
        {"--format wav extract " + Q(WavYamaha()) + " -o " + Q(dir / "o.wav"), "Other Errors"},
        {"--format wav extract " + Q(MovieNoAudio()) + " -o " + Q(dir / "o.wav"),
         MovieNoAudio().string() + "\nThere is no Audio-Stream"},
    };
    for (const Case& c : cases) {
        Outcome o = Cli(c.args);
        EXPECT_EQ(o.status, 1) << c.args << "\n" << o.out;
        EXPECT_NE(o.out.find(c.expected), std::string::npos) << c.args << "\n" << o.out;
    }
    EXPECT_FALSE(fs::exists(dir / "o.avi"));
    EXPECT_FALSE(fs::exists(dir / "o.wav"));
}

// A full disk is a write failure, not a short file without a word: the
// output is limited to 64 KiB here, below the 176 KB of the joined sound.
TEST(AviOpsCli, FailedWavWriteIsReported) {
    TempDir dir;
    const fs::path a = Wav1s("ops_1s_a.wav", 440), b = Wav1s("ops_1s_b.wav", 880);
    const std::string limit = "trap '' XFSZ; ulimit -f 128; ";
    struct Case {
        std::string args;
    } cases[] = {
        {"--format wav join " + Q(a) + " " + Q(b) + " -o " + Q(dir / "j.wav")},
        {"--format wav extract " + Q(Wav3s44k()) + " -o " + Q(dir / "e.wav")},
    };
    for (const Case& c : cases) {
        auto r = test::Run("sh -c " + Q(limit + "LC_ALL=C.UTF-8 " + Q(VT_CLI_PATH) + " " + c.args) +
                           " 2>&1 </dev/null");
        EXPECT_EQ(r.status, 1) << c.args << "\n" << r.out;
        EXPECT_NE(r.out.find("0901"), std::string::npos) << c.args << "\n" << r.out;
        EXPECT_NE(r.out.find("Voice writing failure"), std::string::npos) << r.out;
    }
    // What reached the disk is a WAV file of its own: sizes and "fact" match it.
    for (const char* name : {"j.wav", "e.wav"}) {
        WavChunks w = ReadWavChunks(dir / name);
        ASSERT_TRUE(w.ok) << name;
        EXPECT_GT(w.dataSize, 0u) << name;
        EXPECT_EQ(w.dataSize % 4, 0u) << name;
        EXPECT_EQ(uint64_t(w.riffSize) + 8, w.fileSize) << name;
        EXPECT_EQ(w.fileSize - w.dataSize, 56u) << name;  // header of a PCM file
        EXPECT_EQ(w.fact, w.dataSize / 4) << name;
        EXPECT_TRUE(DecodesCleanly(dir / name)) << name;
    }
}

}  // namespace
}  // namespace vt
