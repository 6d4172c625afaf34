// The reader against ffmpeg's demuxer on real files, its range and callback
// contract, and its behaviour on damaged input.
#include <gtest/gtest.h>

#include <random>

#include "ops/ErrorCodes.h"
#include "tests/wm/WmTestSupport.h"

namespace vt::test {
namespace {

class ReaderOnFixtures : public ::testing::TestWithParam<size_t> {};

TEST_P(ReaderOnFixtures, EverySampleMatchesFfmpegDemuxer) {
    const auto file = WmFixture(GetParam());
    ASSERT_FALSE(file.empty());
    CDecCompWMV reader;
    ASSERT_EQ(reader.Open(file.string(), 0, ~0ull), kOk);
    Collector c;
    reader.SetSampleCallback(&Collector::Callback, &c);
    ASSERT_EQ(reader.Run(), kOk);
    ASSERT_EQ(reader.StreamCount(), reader.StreamNumbers().size());
    ASSERT_GT(reader.StreamCount(), 0u);
    for (uint32_t i = 0; i < reader.StreamCount(); ++i) {
        const std::string spec = std::to_string(i);
        const uint16_t number = reader.StreamNumbers()[i];
        SCOPED_TRACE("stream " + spec);
        EXPECT_EQ(c.Checksums(number), PacketChecksums(file, spec));
        std::vector<int64_t> ours;
        for (uint64_t t : c.TimesMs(number)) ours.push_back(int64_t(t));
        EXPECT_EQ(ours, FfmpegPts(file, spec));
    }
    // The duration is the play duration without the preroll.
    double probed = std::stod(Probe(file, "", "duration"));
    EXPECT_NEAR(double(reader.GetDuration()) / 1e7, probed, 0.2);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ReaderOnFixtures, ::testing::Range<size_t>(0, 5));

}  // namespace
}  // namespace vt::test
