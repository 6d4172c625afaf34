#pragma once
// The audio-format layer: which file formats we know, the PCM format paired
// with each, and the size arithmetic between a file format's data and the PCM
// it stands for. Nothing is decoded. Known: PCM, IEEE float, A-law, mu-law,
// IMA ADPCM, MS ADPCM, GSM 6.10 and MPEG audio (0x0050, 0x0055), each plain or
// as the sub-format of WAVE_FORMAT_EXTENSIBLE. Qt-free.
#include <cstddef>
#include <cstdint>

#include "platform/AviTypes.h"

namespace vt {

// The tag a format block stands for: the sub-format's tag for an extensible
// format with the standard sub-format GUID, the format tag otherwise.
uint16_t EffectiveFormatTag(const uint8_t* format, size_t size);

// True when the format is one we know and its header is sound.
bool IsKnownAudioFormat(const uint8_t* format, size_t size);

// The PCM format paired with a file format (channels and rate kept; 16-bit
// samples for the compressed formats). False for a format we do not know.
bool SuggestPcmFormat(const uint8_t* format, size_t size, WaveFormatEx& pcm);

// Samples (per channel) that one block of the format holds: 1 for PCM, float,
// A-law and mu-law, the block's samples for ADPCM and GSM; 0 for MPEG audio
// (whose frames are no blocks) and for a format we do not know.
uint32_t BlockSamples(const uint8_t* format, size_t size);

// PCM bytes (in `pcm`) that `fileBytes` bytes of data in the file format stand
// for; whole blocks only. False for a format we do not know.
bool PcmBytesForFileBytes(const uint8_t* format, size_t size, const WaveFormatEx& pcm, uint64_t fileBytes,
                          uint64_t& pcmBytes);

}  // namespace vt
