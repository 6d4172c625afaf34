#pragma once
// Records and constants of our AVI file services: stream and file information,
// bitmap and wave format headers, sample flags and result codes. The records
// keep the field names and sizes that AVI files and their readers use, so that
// format blocks can be exchanged as raw bytes. Qt-free.
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#include "platform/ByteIO.h"
#include "platform/Bytes.h"

namespace vt {

static_assert(std::endian::native == std::endian::little,
              "format records are exchanged as little-endian bytes");

// Result codes of the AVI services (0 = success; failures are negative, as
// their 0x8004xxxx values read as 32-bit signed integers).
enum AviResult : int32_t {
    kAviOk = 0,
    kAviErrUnsupported = int32_t(0x80044065u),
    kAviErrBadFormat = int32_t(0x80044066u),
    kAviErrMemory = int32_t(0x80044067u),
    kAviErrInternal = int32_t(0x80044068u),
    kAviErrBadParam = int32_t(0x80044072u),
    kAviErrFileRead = int32_t(0x8004406Du),
    kAviErrFileWrite = int32_t(0x8004406Eu),
    kAviErrFileOpen = int32_t(0x8004406Cu),
    kAviErrNoData = int32_t(0x80044071u),
    kAviErrBufferTooSmall = int32_t(0x80044074u),
    kAviErrCantCompress = int32_t(0x80044075u),
    // A WAV output reached the size limit of the format (ours, not the system's).
    kAviErrWavLimit = int32_t(0x80044076u),
    kAviErrUserAbort = int32_t(0x8004406Fu),
};

// Read as many whole samples as convenient.
constexpr int32_t kAviStreamReadConvenient = -1;

// The largest fixed sample size a copy takes. An audio block is at most
// 64 KiB (its alignment is a 16-bit field); a stream stating far more is
// damaged, and a copy a sample at a time would ask for that much memory.
constexpr int64_t kAviMaxSampleBytes = 1 << 20;

// Sample flags.
constexpr uint32_t kAviIfList = 0x01;
constexpr uint32_t kAviIfKeyFrame = 0x10;
constexpr uint32_t kAviIfNoTime = 0x100;

// FindSample flags.
constexpr uint32_t kFindPrev = 0x04;
constexpr uint32_t kFindNext = 0x01;
constexpr uint32_t kFindKey = 0x10;
constexpr uint32_t kFindAny = 0x20;

// avih flags.
constexpr uint32_t kAvifHasIndex = 0x10;
constexpr uint32_t kAvifMustUseIndex = 0x20;
constexpr uint32_t kAvifIsInterleaved = 0x100;

constexpr uint32_t kStreamTypeVideo = MakeFourCC('v', 'i', 'd', 's');
constexpr uint32_t kStreamTypeAudio = MakeFourCC('a', 'u', 'd', 's');
constexpr uint32_t kStreamTypeText = MakeFourCC('t', 'x', 't', 's');
constexpr uint32_t kStreamTypeMidi = MakeFourCC('m', 'i', 'd', 's');

// Stream information (the AVISTREAMINFOW record; the name is UTF-8 here).
struct AviStreamInfo {
    uint32_t fccType = 0;
    uint32_t fccHandler = 0;
    uint32_t dwFlags = 0;
    uint32_t dwCaps = 0;
    uint16_t wPriority = 0;
    uint16_t wLanguage = 0;
    uint32_t dwScale = 0;
    uint32_t dwRate = 0;
    uint32_t dwStart = 0;
    uint32_t dwLength = 0;
    uint32_t dwInitialFrames = 0;
    uint32_t dwSuggestedBufferSize = 0;
    uint32_t dwQuality = 0;
    uint32_t dwSampleSize = 0;
    int32_t rcLeft = 0, rcTop = 0, rcRight = 0, rcBottom = 0;
    uint32_t dwEditCount = 0;
    uint32_t dwFormatChangeCount = 0;
    std::array<char, 64> szName{};
};

// File information (the AVIFILEINFOW record).
struct AviFileInfo {
    uint32_t dwMaxBytesPerSec = 0;
    uint32_t dwFlags = 0;
    uint32_t dwCaps = 0;
    uint32_t dwStreams = 0;
    uint32_t dwSuggestedBufferSize = 0;
    uint32_t dwWidth = 0;
    uint32_t dwHeight = 0;
    uint32_t dwScale = 0;
    uint32_t dwRate = 0;
    uint32_t dwLength = 0;
    uint32_t dwEditCount = 0;
    std::array<char, 64> szFileType{};
};

#pragma pack(push, 1)
// The 40-byte bitmap header that opens a video format.
struct BitmapInfoHeader {
    uint32_t biSize = 40;
    int32_t biWidth = 0;
    int32_t biHeight = 0;
    uint16_t biPlanes = 1;
    uint16_t biBitCount = 0;
    uint32_t biCompression = 0;
    uint32_t biSizeImage = 0;
    int32_t biXPelsPerMeter = 0;
    int32_t biYPelsPerMeter = 0;
    uint32_t biClrUsed = 0;
    uint32_t biClrImportant = 0;
};
static_assert(sizeof(BitmapInfoHeader) == 40);

// The 18-byte wave format header; cbSize extra bytes follow it in a format block.
struct WaveFormatEx {
    uint16_t wFormatTag = 0;
    uint16_t nChannels = 0;
    uint32_t nSamplesPerSec = 0;
    uint32_t nAvgBytesPerSec = 0;
    uint16_t nBlockAlign = 0;
    uint16_t wBitsPerSample = 0;
    uint16_t cbSize = 0;
};
static_assert(sizeof(WaveFormatEx) == 18);
#pragma pack(pop)

constexpr uint16_t kWaveFormatPcm = 0x0001;
constexpr uint16_t kWaveFormatAdpcm = 0x0002;
constexpr uint16_t kWaveFormatIeeeFloat = 0x0003;
constexpr uint16_t kWaveFormatAlaw = 0x0006;
constexpr uint16_t kWaveFormatMulaw = 0x0007;
constexpr uint16_t kWaveFormatImaAdpcm = 0x0011;
constexpr uint16_t kWaveFormatGsm610 = 0x0031;
constexpr uint16_t kWaveFormatMpeg = 0x0050;
constexpr uint16_t kWaveFormatMpegLayer3 = 0x0055;
constexpr uint16_t kWaveFormatExtensible = 0xFFFE;

// A wave format header read from the start of a format block (missing bytes
// read as zero).
inline WaveFormatEx WaveFormatFromBytes(const uint8_t* p, size_t n) {
    std::array<uint8_t, 18> head{};
    if (n)
        std::memcpy(head.data(), p, n < head.size() ? n : head.size());  // an empty block may have no bytes
    ByteReader r(head);
    WaveFormatEx w;
    w.wFormatTag = r.U16LE();
    w.nChannels = r.U16LE();
    w.nSamplesPerSec = r.U32LE();
    w.nAvgBytesPerSec = r.U32LE();
    w.nBlockAlign = r.U16LE();
    w.wBitsPerSample = r.U16LE();
    w.cbSize = n < head.size() ? 0 : r.U16LE();
    return w;
}
inline BitmapInfoHeader BitmapHeaderFromBytes(const uint8_t* p, size_t n) {
    BitmapInfoHeader b{};
    b.biSize = 0;
    if (n) std::memcpy(&b, p, n < sizeof b ? n : sizeof b);
    return b;
}

// The save options of one stream (the AVICOMPRESSOPTIONS record); the format
// block is owned here instead of being global memory.
struct AviCompressOptions {
    uint32_t fccType = 0;
    uint32_t fccHandler = 0;
    uint32_t dwKeyFrameEvery = 0;
    uint32_t dwQuality = 0;
    uint32_t dwBytesPerSecond = 0;
    uint32_t dwFlags = 0;
    std::vector<uint8_t> lpFormat;  // cbFormat is its size
    std::vector<uint8_t> lpParms;   // cbParms is its size
    uint32_t dwInterleaveEvery = 0;
    uint32_t cbFormat() const { return uint32_t(lpFormat.size()); }
};
constexpr uint32_t kAviCompressFInterleave = 0x01;
constexpr uint32_t kAviCompressFDataRate = 0x02;
constexpr uint32_t kAviCompressFKeyFrames = 0x04;
constexpr uint32_t kAviCompressFValid = 0x08;

}  // namespace vt
