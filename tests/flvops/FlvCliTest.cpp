// The command line's FLV operations: the built program run on ffmpeg-made
// files, its exit status, its messages and its outputs checked with ffprobe.
#include <gtest/gtest.h>

#include <filesystem>

#include "flv/FlvErrors.h"
#include "tests/flv/FlvTestUtil.h"

namespace vt {
namespace {

namespace fs = std::filesystem;
using test::PacketChecksums;
using test::Q;
using test::TempDir;

struct Outcome {
    int status = -1;
    std::string out;  // standard output and standard error together
};

Outcome RunCli(const std::string& args) {
    auto r = test::Run("LC_ALL=C.UTF-8 " + Q(VT_CLI_PATH) + " " + args + " 2>&1 </dev/null");
    return {r.status, r.out};
}

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class FlvCli : public ::testing::Test {
  protected:
    void SetUp() override {
        a = dir / "a.flv";
        b = dir / "b.flv";
        fs::copy_file(test::H263Mp3Fixture(), a);
        fs::copy_file(test::H263Mp3SecondFixture(), b);
    }
    TempDir dir;
    fs::path a, b;
};

TEST_F(FlvCli, SeparationWritesTheChosenStreamUnderItsExtension) {
    struct Case {
        std::string args;
        fs::path output;
        std::string stream;
    } cases[] = {
        {"separate --video " + Q(a), dir / "a_cut.avi", "v:0"},
        {"separate --audio " + Q(a), dir / "a_cut.mp3", "a:0"},
        // A given output name with the stream's extension is taken as it is.
        {"separate --audio " + Q(a) + " -o " + Q(dir / "Sound.MP3"), dir / "Sound.MP3", "a:0"},
    };
    for (const auto& c : cases) {
        Outcome o = RunCli(c.args);
        EXPECT_EQ(o.status, 0) << c.args << "\n" << o.out;
        EXPECT_EQ(PacketChecksums(c.output, c.stream), PacketChecksums(a, c.stream)) << c.args;
        EXPECT_EQ(test::StreamCount(c.output, "video") + test::StreamCount(c.output, "audio"), 1) << c.args;
    }
}

TEST_F(FlvCli, JoinWritesTheFilesInOrderOverAnOldOutput) {
    const fs::path out = dir / "joined.flv";
    test::WriteFile(out, std::vector<uint8_t>(100, 0x55));
    fs::permissions(out, fs::perms::owner_read, fs::perm_options::replace);
    Outcome o = RunCli("join " + Q(a) + " " + Q(b) + " " + Q(a) + " -o " + Q(out));
    EXPECT_EQ(o.status, 0) << o.out;
    for (const char* s : {"v:0", "a:0"})
        EXPECT_EQ(PacketChecksums(out, s),
                  Concat(Concat(PacketChecksums(a, s), PacketChecksums(b, s)), PacketChecksums(a, s)));
    EXPECT_TRUE(test::DecodesCleanly(out));

    // One file: written again as it is.
    o = RunCli("join " + Q(b));
    EXPECT_EQ(o.status, 0) << o.out;
    EXPECT_EQ(PacketChecksums(dir / "b_link.flv", "v:0"), PacketChecksums(b, "v:0"));
}

TEST_F(FlvCli, ExtractionTakesTheTimesAndRunsToTheEndWithoutEnd) {
    Outcome o = RunCli("extract " + Q(a) + " --start 0.5 --end 1.5 -o " + Q(dir / "part.flv"));
    EXPECT_EQ(o.status, 0) << o.out;
    o = RunCli("extract " + Q(a) + " --start 1");
    EXPECT_EQ(o.status, 0) << o.out;
    o = RunCli("extract " + Q(a) + " -o " + Q(dir / "whole.flv"));
    EXPECT_EQ(o.status, 0) << o.out;

    const auto all = PacketChecksums(a, "v:0");
    const auto part = PacketChecksums(dir / "part.flv", "v:0");
    const auto tail = PacketChecksums(dir / "a_extr.flv", "v:0");
    // From 0.5 s: the section begins at the key frame before it (the first
    // frame here) and stops at 1.5 s.
    ASSERT_FALSE(part.empty());
    EXPECT_EQ(part.front(), all.front());
    EXPECT_LT(part.size(), all.size());
    EXPECT_NE(part.back(), all.back());
    // From 1 s, no end: from the key frame before 1 s to the end of the file.
    ASSERT_FALSE(tail.empty());
    EXPECT_LT(tail.size(), all.size());
    EXPECT_EQ(tail.back(), all.back());
    EXPECT_TRUE(test::DecodesCleanly(dir / "part.flv"));
    EXPECT_EQ(PacketChecksums(dir / "whole.flv", "v:0"), all);
    // An end of 0 means the end of the file, as on the page.
    o = RunCli("extract " + Q(a) + " --start 1 --end 0 -o " + Q(dir / "tail0.flv"));
    EXPECT_EQ(o.status, 0) << o.out;
    EXPECT_EQ(PacketChecksums(dir / "tail0.flv", "v:0"), tail);
    EXPECT_TRUE(test::DecodesCleanly(dir / "tail0.flv"));
}

// AAC audio is written as ADTS under .aac, whatever audio name was given.
TEST_F(FlvCli, AacAudioSeparationWritesAnAacFile) {
    const fs::path avc = dir / "avc.flv";
    fs::copy_file(test::H264AacFixture(), avc);
    struct Case {
        std::string args;
        fs::path output;
    } cases[] = {
        {"separate --audio " + Q(avc), dir / "avc_cut.aac"},
        {"separate --audio " + Q(avc) + " -o " + Q(dir / "x.mp3"), dir / "x.aac"},
        {"separate --audio " + Q(avc) + " -o " + Q(dir / "Y.AAC"), dir / "Y.AAC"},
    };
    for (const auto& c : cases) {
        Outcome o = RunCli(c.args);
        EXPECT_EQ(o.status, 0) << c.args << "\n" << o.out;
        EXPECT_EQ(test::DecodedAudioMd5(c.output), test::DecodedAudioMd5(avc)) << c.args;
        EXPECT_EQ(test::Probe(c.output, "a:0", "codec_name"), "aac") << c.args;
    }
    EXPECT_FALSE(fs::exists(dir / "x.mp3"));
    // An MP3 source keeps .mp3 even when .aac was asked for.
    Outcome o = RunCli("separate --audio " + Q(a) + " -o " + Q(dir / "z.aac"));
    EXPECT_EQ(o.status, 0) << o.out;
    EXPECT_EQ(PacketChecksums(dir / "z.mp3", "a:0"), PacketChecksums(a, "a:0"));
    // The .aac name that the run gives may be the input's: the input stays.
    const fs::path named = dir / "clip.aac";
    fs::copy_file(test::H264AacFixture(), named);
    o = RunCli("separate --audio --format flv " + Q(named) + " -o " + Q(dir / "clip.mp3"));
    EXPECT_EQ(o.status, 1) << o.out;
    EXPECT_NE(o.out.find(std::to_string(kFlvErrWriteOpen)), std::string::npos) << o.out;
    EXPECT_EQ(test::ReadFile(named), test::ReadFile(avc));
    // A failure that the library explains shows the explanation.
    o = RunCli("separate --audio " + Q(test::NellymoserFixture()) + " -o " + Q(dir / "n.mp3"));
    EXPECT_EQ(o.status, 1) << o.out;
    EXPECT_NE(o.out.find("The audio is Nellymoser"), std::string::npos) << o.out;
}

TEST_F(FlvCli, FailuresExitOneWithTheirMessage) {
    const fs::path junk = dir / "junk.flv";
    test::WriteFile(junk, std::vector<uint8_t>(400, 0x41));
    const fs::path speex = dir / "speex.flv";
    fs::copy_file(test::SpeexFixture(), speex);

    struct Case {
        std::string args;
        int code;
        fs::path notWritten;
    } cases[] = {
        {"separate --audio " + Q(speex), kFlvErrUnsupported, dir / "speex_cut.mp3"},
        {"separate --video " + Q(junk), kFlvErrNotFlv, dir / "junk_cut.avi"},
        {"join " + Q(junk) + " " + Q(a), kFlvErrNotFlv, dir / "junk_link.flv"},
        {"join " + Q(junk), kFlvErrNotFlv, dir / "junk_link.flv"},
        {"extract " + Q(dir / "none.flv"), kFlvErrOpen, dir / "none_extr.flv"},
        {"extract " + Q(junk) + " --end 1", kFlvErrNotFlv, dir / "junk_extr.flv"},
    };
    for (const auto& c : cases) {
        Outcome o = RunCli(c.args);
        EXPECT_EQ(o.status, 1) << c.args << "\n" << o.out;
        EXPECT_NE(o.out.find(std::to_string(c.code)), std::string::npos) << c.args << "\n" << o.out;
        EXPECT_FALSE(fs::exists(c.notWritten)) << c.args;
    }

    // A later file that cannot be joined: the files before it are written,
    // and the run still fails, naming that file.
    Outcome o = RunCli("join " + Q(a) + " " + Q(junk) + " " + Q(b) + " -o " + Q(dir / "j.flv"));
    EXPECT_EQ(o.status, 1) << o.out;
    EXPECT_NE(o.out.find(junk.string()), std::string::npos) << o.out;
    EXPECT_EQ(PacketChecksums(dir / "j.flv", "v:0"), PacketChecksums(a, "v:0"));
}

}  // namespace
}  // namespace vt
