// The writer: samples copied through a reader and the writer keep their bytes,
// their key-frame flags and their empty places; the output decodes cleanly.
#include <gtest/gtest.h>

#include "tests/avi/AviFixtures.h"
#include "tests/avi/AviTestUtil.h"

namespace vt::test {
namespace {

struct CopyCase {
    const char* name;
    std::filesystem::path (*fixture)();
    bool packetAudio;  // audio chunks are packets (VBR); else compare the whole stream
};

class AviCopyTest : public ::testing::TestWithParam<CopyCase> {};

TEST_P(AviCopyTest, CopyKeepsEveryPacket) {
    auto src = GetParam().fixture();
    ASSERT_FALSE(src.empty());
    TempDir dir;
    auto out = dir / "copy.avi";
    ASSERT_EQ(CopyMovie(src, out), 0);
    EXPECT_EQ(FrameMd5Lines(out, "v:0"), FrameMd5Lines(src, "v:0"));
    EXPECT_EQ(PacketChecksums(out, "v:0"), PacketChecksums(src, "v:0"));
    if (StreamCount(src, "audio") > 0) {
        if (GetParam().packetAudio) EXPECT_EQ(PacketChecksums(out, "a:0"), PacketChecksums(src, "a:0"));
        else EXPECT_EQ(StreamMd5(out, "a:0"), StreamMd5(src, "a:0"));
        EXPECT_EQ(Probe(out, "a:0", "codec_name,sample_rate,channels"),
                  Probe(src, "a:0", "codec_name,sample_rate,channels"));
    }
    std::string errors;
    EXPECT_TRUE(DecodesCleanly(out, &errors)) << errors;
    // Key frames where the source has them.
    EXPECT_EQ(vt::test::Run("ffprobe -v error -select_streams v:0 -show_entries packet=flags -of csv " + Q(out)).out,
              vt::test::Run("ffprobe -v error -select_streams v:0 -show_entries packet=flags -of csv " + Q(src)).out);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, AviCopyTest,
                         ::testing::Values(CopyCase{"Mpeg4Mp3", AviMpeg4Mp3, true},
                                           CopyCase{"MsmpegPcm", AviMsmpegPcm, false},
                                           CopyCase{"MjpegU8", AviMjpegU8, false},
                                           CopyCase{"VbrMp3", AviVbrMp3, true},
                                           CopyCase{"NoAudio", AviNoAudio, false},
                                           CopyCase{"Dropped", AviDropped, false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vt::test
