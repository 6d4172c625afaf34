#include <gtest/gtest.h>

#include "flv/FlvCodecs.h"

using namespace vt;

TEST(FlvCodecs, FrameRateFromMillisecondTimes) {
    auto times = [](double fps, int n, std::vector<int> drop = {}) {
        std::vector<uint32_t> t;
        for (int i = 0; i < n; ++i)
            if (std::find(drop.begin(), drop.end(), i) == drop.end())
                t.push_back(uint32_t(i * 1000.0 / fps + 0.5));
        return t;
    };
    struct Case {
        const char* what;
        std::vector<uint32_t> t;
        uint32_t rate, scale;
    } cases[] = {
        {"25", times(25, 50), 25, 1},
        {"30 with 33/34 steps", times(30, 90), 30, 1},
        {"29.97", times(30000.0 / 1001, 90), 30000, 1001},
        {"15 with dropped frames", times(15, 45, {5, 6, 7, 20, 30, 31}), 15, 1},
        // Steps of seconds are counted apart from the short ones.
        {"25 with a pause of 10 s", {0, 40, 80, 10080, 10120, 10160}, 25, 1},
        {"one frame in 5 s", {0, 5000, 10000, 15000}, 200, 1000},
        {"steps of 5 s and 6 s", {0, 5000, 11000, 16000, 22000}, 182, 1000},
        {"times that do not move forward", {40, 40, 0, 40, 80}, 25, 1},
    };
    for (const auto& c : cases) {
        FrameRate fr = EstimateFrameRate(c.t);
        EXPECT_EQ(fr.rate, c.rate) << c.what;
        EXPECT_EQ(fr.scale, c.scale) << c.what;
    }
    EXPECT_NEAR(EstimateFrameRate(times(17.5, 70)).Fps(), 17.5, 0.01);
    EXPECT_EQ(FrameSlot(1000, {30000, 1001}), 30u);
    EXPECT_EQ(FrameSlot(80, {25, 1}), 2u);
}

TEST(FlvCodecs, AvcConfigAndAnnexB) {
    // lengthSize 4, one SPS (4 bytes), one PPS (2 bytes).
    std::vector<uint8_t> record = {1, 0x42, 0, 0x1E, 0xFF, 0xE1, 0, 4, 0x67, 1, 2, 3, 1, 0, 2, 0x68, 9};
    AvcConfig c;
    ASSERT_TRUE(ParseAvcConfig(record, c));
    EXPECT_EQ(c.lengthSize, 4);
    ASSERT_EQ(c.sps.size(), 1u);
    ASSERT_EQ(c.pps.size(), 1u);
    std::vector<uint8_t> out;
    AppendParameterSets(c, out);
    EXPECT_EQ(out, (std::vector<uint8_t>{0, 0, 0, 1, 0x67, 1, 2, 3, 0, 0, 0, 1, 0x68, 9}));

    // A record whose PPS runs past its end is refused.
    std::vector<uint8_t> bad = record;
    bad[14] = 40;
    EXPECT_FALSE(ParseAvcConfig(bad, c));

    // Two units, then a length running past the data: the good units are kept.
    std::vector<uint8_t> data = {0, 0, 0, 2, 0x65, 1, 0, 0, 0, 1, 0x41, 0, 0, 0, 9, 1};
    out.clear();
    ASSERT_TRUE(AppendAnnexB(data, 4, out));
    EXPECT_EQ(out, (std::vector<uint8_t>{0, 0, 0, 1, 0x65, 1, 0, 0, 0, 1, 0x41}));
    out.clear();
    EXPECT_FALSE(AppendAnnexB(std::vector<uint8_t>{0, 0, 0, 50, 1}, 4, out));
}

TEST(FlvCodecs, PictureSizesFromHeaders) {
    uint32_t w = 0, h = 0;
    // H.263: start code 17 bits (0...01), version 5, temporal ref 8, size code 3 = 320x240 (5).
    // Bits: 00000000 00000000 1|00000|00 000000|10 1
    std::vector<uint8_t> h263 = {0x00, 0x00, 0x80, 0x02, 0x80};
    ASSERT_TRUE(H263PictureSize(h263, w, h));
    EXPECT_EQ(w, 320u);
    EXPECT_EQ(h, 240u);
    // VP6 key frame with a filter header and no partition offset: rows 9, cols 12.
    std::vector<uint8_t> vp6 = {0x00, 0x46, 9, 12, 9, 12};
    ASSERT_TRUE(Vp6PictureSize(vp6, w, h));
    EXPECT_EQ(w, 192u);
    EXPECT_EQ(h, 144u);
    EXPECT_FALSE(Vp6PictureSize(std::vector<uint8_t>{0x80, 0x46, 9, 12, 9, 12}, w, h));  // not a key frame
    std::vector<uint8_t> screen = {0x30, 0xA0, 0x30, 0x78};
    ASSERT_TRUE(ScreenVideoSize(screen, w, h));
    EXPECT_EQ(w, 160u);
    EXPECT_EQ(h, 120u);
    EXPECT_FALSE(H263PictureSize(std::vector<uint8_t>{0x12, 0x34}, w, h));
}
