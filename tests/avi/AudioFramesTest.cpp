// Frame headers of MPEG audio and AC-3: lengths and sample counts from the
// standards' tables, and the search for a frame start that the next header
// confirms.
#include <gtest/gtest.h>

#include <vector>

#include "platform/AudioFrames.h"
#include "platform/AviTypes.h"

namespace vt {
namespace {

TEST(AudioFrames, HeaderLengths) {
    struct Case {
        const char* name;
        uint16_t tag;
        std::vector<uint8_t> header;
        uint32_t bytes, samples, rate;  // bytes 0: not a header
    };
    const Case cases[] = {
        {"MPEG-1 layer III 128k 44.1k", kWaveFormatMpegLayer3, {0xFF, 0xFB, 0x90, 0x00}, 417, 1152, 44100},
        {"the same, padded", kWaveFormatMpegLayer3, {0xFF, 0xFB, 0x92, 0x00}, 418, 1152, 44100},
        {"MPEG-2 layer III 64k 22.05k", kWaveFormatMpegLayer3, {0xFF, 0xF3, 0x80, 0x00}, 208, 576, 22050},
        {"MPEG-2.5 layer III 8k 8k", kWaveFormatMpegLayer3, {0xFF, 0xE3, 0x18, 0x00}, 72, 576, 8000},
        {"MPEG-1 layer II 192k 48k", kWaveFormatMpeg, {0xFF, 0xFD, 0xA4, 0x00}, 576, 1152, 48000},
        {"MPEG-1 layer I 384k 44.1k", kWaveFormatMpeg, {0xFF, 0xFF, 0xC0, 0x00}, 416, 384, 44100},
        {"free format", kWaveFormatMpegLayer3, {0xFF, 0xFB, 0x00, 0x00}, 0, 0, 0},
        {"reserved rate", kWaveFormatMpegLayer3, {0xFF, 0xFB, 0x9C, 0x00}, 0, 0, 0},
        {"reserved version", kWaveFormatMpegLayer3, {0xFF, 0xEB, 0x90, 0x00}, 0, 0, 0},
        {"cut-off header", kWaveFormatMpegLayer3, {0xFF, 0xFB, 0x90}, 0, 0, 0},
        {"AC-3 192k 48k", kWaveFormatAc3, {0x0B, 0x77, 0, 0, 0x14, 0x40}, 768, 1536, 48000},
        {"AC-3 44.1k, odd size code", kWaveFormatAc3, {0x0B, 0x77, 0, 0, 0x55, 0x40}, 836, 1536, 44100},
        {"E-AC-3 is not AC-3", kWaveFormatAc3, {0x0B, 0x77, 0, 0, 0x14, 0x80}, 0, 0, 0},
        {"PCM has no frames", kWaveFormatPcm, {0xFF, 0xFB, 0x90, 0x00}, 0, 0, 0},
    };
    for (const Case& c : cases) {
        AudioFrame f;
        EXPECT_EQ(ParseAudioFrame(c.tag, c.header.data(), c.header.size(), f), c.bytes != 0) << c.name;
        EXPECT_EQ(f.bytes, c.bytes) << c.name;
        EXPECT_EQ(f.samples, c.samples) << c.name;
        EXPECT_EQ(f.sampleRate, c.rate) << c.name;
    }
}

// A frame start counts only when the next header follows it (or the data
// ends right after it): a stray sync word inside the data is passed over.
TEST(AudioFrames, FindConfirmsTheNextHeader) {
    const std::vector<uint8_t> header{0xFF, 0xFB, 0x90, 0x00};
    std::vector<uint8_t> data(100, 0x11);
    data[10] = 0xFF;  // a stray header: no frame follows it
    data[11] = 0xFB;
    data[12] = 0x90;
    for (int k = 0; k < 3; ++k) {
        const size_t at = data.size();
        data.resize(at + 417, 0);
        std::copy(header.begin(), header.end(), data.begin() + long(at));
    }
    const uint16_t tag = kWaveFormatMpegLayer3;
    EXPECT_EQ(FindAudioFrame(tag, data.data(), data.size(), 0, false), 100u);
    EXPECT_EQ(FindAudioFrame(tag, data.data(), data.size(), 101, false), 517u);
    EXPECT_EQ(FindAudioFrame(tag, data.data(), data.size(), 518, false), data.size());  // unconfirmed
    EXPECT_EQ(FindAudioFrame(tag, data.data(), data.size(), 518, true), 934u);          // ends the data
    EXPECT_EQ(FindAudioFrame(tag, data.data(), data.size() - 1, 518, true), data.size() - 1);  // cut off
    EXPECT_TRUE(IsFramedAudioTag(kWaveFormatMpeg) && IsFramedAudioTag(kWaveFormatAc3));
    EXPECT_FALSE(IsFramedAudioTag(kWaveFormatPcm));
}

}  // namespace
}  // namespace vt
