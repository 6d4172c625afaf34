#include "platform/AudioFrames.h"

#include "platform/AviTypes.h"

namespace vt {

namespace {

// Kilobits per second by bitrate index: MPEG-1 layers I, II, III; MPEG-2/2.5
// layer I; MPEG-2/2.5 layers II and III.
constexpr uint16_t kMpegBitrates[5][16] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
};
constexpr uint32_t kMpegRates[3] = {44100, 48000, 32000};

bool ParseMpeg(const uint8_t* p, size_t n, AudioFrame& f) {
    if (n < 4 || p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return false;
    const int version = (p[1] >> 3) & 3;      // 0: 2.5, 1: reserved, 2: MPEG-2, 3: MPEG-1
    const int layer = 4 - ((p[1] >> 1) & 3);  // 4: reserved
    const int bitrateIndex = p[2] >> 4;
    const int rateIndex = (p[2] >> 2) & 3;
    const int padding = (p[2] >> 1) & 1;
    if (version == 1 || layer == 4 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3 ||
        (p[3] & 3) == 2)
        return false;
    const bool v1 = version == 3;
    const int table = v1 ? layer - 1 : (layer == 1 ? 3 : 4);
    const uint32_t bitrate = uint32_t(kMpegBitrates[table][bitrateIndex]) * 1000;
    uint32_t rate = kMpegRates[rateIndex];
    if (version == 2) rate /= 2;
    if (version == 0) rate /= 4;
    if (layer == 1) {
        f.bytes = (12 * bitrate / rate + uint32_t(padding)) * 4;
        f.samples = 384;
    } else if (layer == 2 || v1) {
        f.bytes = 144 * bitrate / rate + uint32_t(padding);
        f.samples = 1152;
    } else {
        f.bytes = 72 * bitrate / rate + uint32_t(padding);
        f.samples = 576;
    }
    f.sampleRate = rate;
    f.bitRate = bitrate;
    f.kind = (uint32_t(p[1] & 0xFE) << 8) | (p[2] & 0x0C);
    return f.bytes >= 4;
}

// 16-bit words per AC-3 frame by frame size code, for 48, 44.1 and 32 kHz.
constexpr uint16_t kAc3Words[3][38] = {
    {64,  64,  80,  80,  96,  96,  112, 112, 128, 128, 160, 160, 192, 192,  224,  224,  256,  256,  320,
     320, 384, 384, 448, 448, 512, 512, 640, 640, 768, 768, 896, 896, 1024, 1024, 1152, 1152, 1280, 1280},
    {69,  70,  87,  88,  104, 105, 121, 122, 139, 140, 174, 175, 208, 209,  243,  244,  278,  279,  348,
     349, 417, 418, 487, 488, 557, 558, 696, 697, 835, 836, 975, 976, 1114, 1115, 1253, 1254, 1393, 1394},
    {96,  96,  120, 120, 144, 144, 168, 168, 192, 192,  240,  240,  288,  288,  336,  336,  384,  384,  480,
     480, 576, 576, 672, 672, 768, 768, 960, 960, 1152, 1152, 1344, 1344, 1536, 1536, 1728, 1728, 1920, 1920},
};
constexpr uint32_t kAc3Rates[3] = {48000, 44100, 32000};
// Kilobits per second by frame size code / 2.
constexpr uint16_t kAc3Kbps[19] = {32,  40,  48,  56,  64,  80,  96,  112, 128, 160,
                                   192, 224, 256, 320, 384, 448, 512, 576, 640};

bool ParseAc3(const uint8_t* p, size_t n, AudioFrame& f) {
    if (n < 6 || p[0] != 0x0B || p[1] != 0x77) return false;
    const int fscod = p[4] >> 6, frmsizecod = p[4] & 0x3F, bsid = p[5] >> 3;
    if (fscod == 3 || frmsizecod >= 38 || bsid > 10) return false;
    f.bytes = uint32_t(kAc3Words[fscod][frmsizecod]) * 2;
    f.samples = 1536;
    f.sampleRate = kAc3Rates[fscod];
    f.bitRate = kAc3Kbps[frmsizecod / 2] * 1000u;
    f.kind = uint32_t(fscod);
    return true;
}

}  // namespace

bool IsFramedAudioTag(uint16_t formatTag) {
    return formatTag == kWaveFormatMpeg || formatTag == kWaveFormatMpegLayer3 || formatTag == kWaveFormatAc3;
}

bool ParseAudioFrame(uint16_t formatTag, const uint8_t* p, size_t n, AudioFrame& frame) {
    frame = {};
    if (formatTag == kWaveFormatAc3) return ParseAc3(p, n, frame);
    if (formatTag == kWaveFormatMpeg || formatTag == kWaveFormatMpegLayer3) return ParseMpeg(p, n, frame);
    return false;
}

size_t FindAudioFrame(uint16_t formatTag, const uint8_t* p, size_t n, size_t from, bool endOfData) {
    for (size_t i = from; i < n; ++i) {
        AudioFrame f, next;
        if (!ParseAudioFrame(formatTag, p + i, n - i, f) || f.bytes > n - i) continue;
        const size_t after = i + f.bytes;
        if (after == n) {
            if (endOfData) return i;
            continue;
        }
        if (ParseAudioFrame(formatTag, p + after, n - after, next) && next.kind == f.kind) return i;
    }
    return n;
}

}  // namespace vt
