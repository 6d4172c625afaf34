#include "platform/AudioFormat.h"

#include <cstring>

namespace vt {

namespace {

// The rest of the standard sub-format GUID after its first two bytes.
constexpr uint8_t kGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                   0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

WaveFormatEx Header(const uint8_t* f, size_t n) {
    return WaveFormatFromBytes(f, n);
}

// The extra bytes after the 18-byte header, bounded by the block.
const uint8_t* Extra(const uint8_t* f, size_t n, size_t need) {
    WaveFormatEx w = Header(f, n);
    if (n < 18 + need || w.cbSize < need) return nullptr;
    return f + 18;
}

uint32_t SamplesPerBlock(const uint8_t* f, size_t n, uint16_t tag) {
    WaveFormatEx w = Header(f, n);
    // An extensible format's first extra word is its valid bits, not the
    // samples per block: the block size decides there.
    const bool extensible = w.wFormatTag == kWaveFormatExtensible;
    if (const uint8_t* x = extensible ? nullptr : Extra(f, n, 2)) {
        uint16_t spb = GetU16LE(x);
        if (spb) return spb;
    }
    uint32_t ch = w.nChannels ? w.nChannels : 1;
    switch (tag) {
        case kWaveFormatImaAdpcm:
            return w.nBlockAlign > 4 * ch ? (w.nBlockAlign - 4 * ch) * 8 / (4 * ch) + 1 : 0;
        case kWaveFormatAdpcm:
            return w.nBlockAlign > 7 * ch ? (w.nBlockAlign - 7 * ch) * 8 / (4 * ch) + 2 : 0;
        case kWaveFormatGsm610:
            return 320;
        default:
            return 0;
    }
}

}  // namespace

uint16_t EffectiveFormatTag(const uint8_t* f, size_t n) {
    if (n < 14) return 0;
    WaveFormatEx w = Header(f, n);
    if (w.wFormatTag != kWaveFormatExtensible) return w.wFormatTag;
    const uint8_t* x = Extra(f, n, 22);
    if (!x || std::memcmp(x + 8, kGuidTail, sizeof kGuidTail) != 0) return 0;
    return GetU16LE(x + 6);
}

bool IsKnownAudioFormat(const uint8_t* f, size_t n) {
    if (n < 16) return false;
    WaveFormatEx w = Header(f, n);
    if (w.nChannels == 0 || w.nSamplesPerSec == 0 || w.nBlockAlign == 0) return false;
    // Plain or extensible alike.
    uint16_t tag = EffectiveFormatTag(f, n);
    switch (tag) {
        case kWaveFormatPcm:
        case kWaveFormatIeeeFloat:
        case kWaveFormatAlaw:
        case kWaveFormatMulaw:
        case kWaveFormatMpeg:
        case kWaveFormatMpegLayer3:
            return true;
        case kWaveFormatImaAdpcm:
        case kWaveFormatAdpcm:
        case kWaveFormatGsm610:
            return SamplesPerBlock(f, n, tag) != 0;
        default:
            return false;
    }
}

uint32_t BlockSamples(const uint8_t* f, size_t n) {
    if (!IsKnownAudioFormat(f, n)) return 0;
    const uint16_t tag = EffectiveFormatTag(f, n);
    switch (tag) {
        case kWaveFormatPcm:
        case kWaveFormatIeeeFloat:
        case kWaveFormatAlaw:
        case kWaveFormatMulaw:
            return 1;
        case kWaveFormatImaAdpcm:
        case kWaveFormatAdpcm:
        case kWaveFormatGsm610:
            return SamplesPerBlock(f, n, tag);
        default:
            return 0;
    }
}

bool SuggestPcmFormat(const uint8_t* f, size_t n, WaveFormatEx& pcm) {
    if (!IsKnownAudioFormat(f, n)) return false;
    WaveFormatEx w = Header(f, n);
    uint16_t tag = EffectiveFormatTag(f, n);
    uint16_t bits = 16;
    if (tag == kWaveFormatPcm && w.wBitsPerSample >= 8 && w.wBitsPerSample <= 32)
        bits = uint16_t((w.wBitsPerSample + 7) / 8 * 8);
    pcm = {};
    pcm.wFormatTag = kWaveFormatPcm;
    pcm.nChannels = w.nChannels;
    pcm.nSamplesPerSec = w.nSamplesPerSec;
    pcm.wBitsPerSample = bits;
    pcm.nBlockAlign = uint16_t(w.nChannels * bits / 8);
    pcm.nAvgBytesPerSec = pcm.nSamplesPerSec * pcm.nBlockAlign;
    pcm.cbSize = 0;
    return true;
}

bool PcmBytesForFileBytes(const uint8_t* f, size_t n, const WaveFormatEx& pcm, uint64_t fileBytes,
                          uint64_t& pcmBytes) {
    pcmBytes = 0;
    if (!IsKnownAudioFormat(f, n) || pcm.nBlockAlign == 0) return false;
    WaveFormatEx w = Header(f, n);
    uint16_t tag = EffectiveFormatTag(f, n);
    uint64_t frames = 0;
    switch (tag) {
        case kWaveFormatPcm:
        case kWaveFormatIeeeFloat:
        case kWaveFormatAlaw:
        case kWaveFormatMulaw:
            frames = fileBytes / w.nBlockAlign;
            break;
        case kWaveFormatImaAdpcm:
        case kWaveFormatAdpcm:
        case kWaveFormatGsm610:
            frames = fileBytes / w.nBlockAlign * SamplesPerBlock(f, n, tag);
            break;
        case kWaveFormatMpeg:
        case kWaveFormatMpegLayer3:
            // Frames of a constant bit rate: the byte rate gives the duration.
            if (w.nAvgBytesPerSec == 0) return false;
            frames = uint64_t((long double)fileBytes * w.nSamplesPerSec / w.nAvgBytesPerSec);
            break;
        default:
            return false;
    }
    pcmBytes = frames * pcm.nBlockAlign;
    return true;
}

}  // namespace vt
