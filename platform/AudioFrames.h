#pragma once
// Frame headers of the framed audio formats that files store as plain bytes:
// MPEG audio (layers I to III, MPEG-1, 2 and 2.5; format tags 0x0050 and
// 0x0055) and AC-3 (0x2000). Used to start and end copied audio on whole
// frames and to cut such audio into one frame per chunk. Nothing is decoded.
// Qt-free.
#include <cstddef>
#include <cstdint>

namespace vt {

constexpr uint16_t kWaveFormatAc3 = 0x2000;

struct AudioFrame {
    uint32_t bytes = 0;       // the whole frame, header included
    uint32_t samples = 0;     // samples per channel it decodes to
    uint32_t sampleRate = 0;  // samples per second
    uint32_t bitRate = 0;     // bits per second, as the header gives it
    uint32_t kind = 0;        // frames of one stream share it (version, layer, rate)
};

// True for the format tags whose data is a sequence of such frames.
bool IsFramedAudioTag(uint16_t formatTag);

// The frame whose header starts at p (n bytes there). False when the bytes
// are no header of the format (free-format MPEG audio included).
bool ParseAudioFrame(uint16_t formatTag, const uint8_t* p, size_t n, AudioFrame& frame);

// The first frame start at or after `from` in p[0, n): a header whose frame is
// followed by a header of the same kind, or, when `endOfData` (p[n] is the end
// of the stream), ends exactly at n. n when there is none.
size_t FindAudioFrame(uint16_t formatTag, const uint8_t* p, size_t n, size_t from, bool endOfData);

// The largest frame of these formats, in bytes (an AC-3 frame at 32 kHz).
constexpr size_t kMaxAudioFrameBytes = 3840;

}  // namespace vt
