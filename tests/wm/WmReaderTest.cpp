// The reader against ffmpeg's demuxer on real files, its range and callback
// contract, and its behaviour on damaged input.
#include <gtest/gtest.h>

#include <random>

#include "core/ErrorCodes.h"
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
        const std::string selector = std::to_string(i);
        const uint16_t number = reader.StreamNumbers()[i];
        SCOPED_TRACE("stream " + selector);
        const FfPackets ff = FfmpegPackets(file, selector);
        EXPECT_EQ(c.Checksums(number), ff.sums);
        std::vector<int64_t> ours;
        for (uint64_t t : c.TimesMs(number)) ours.push_back(int64_t(t));
        EXPECT_EQ(ours, ff.pts);
        // Key frames as ffprobe flags them: one line per packet, "K" first for a key frame.
        auto probe = vt::test::Run("ffprobe -v error -select_streams " + selector +
                                   " -show_entries packet=flags -of csv=p=0 " + Q(file) + " 2>/dev/null");
        std::string theirs, mine;
        bool lineStart = true;
        for (char ch : probe.out) {
            if (lineStart && ch != '\n') theirs += ch == 'K' ? "K " : "_ ";
            lineStart = ch == '\n';
        }
        for (const auto& smp : c.samples)
            if (smp.stream == number) mine += (smp.flags & kSampleCleanPoint) ? "K " : "_ ";
        EXPECT_EQ(mine, theirs);
    }
    // The duration is the play duration without the preroll.
    double probed = std::stod(Probe(file, "", "duration"));
    EXPECT_NEAR(double(reader.GetDuration()) / 1e7, probed, 0.2);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ReaderOnFixtures, ::testing::Range<size_t>(0, WmFixtures().size()));

}  // namespace
}  // namespace vt::test
