#pragma once
// Helpers for the codecs that FLV carries: AVC decoder configuration records
// and their conversion to Annex B, picture sizes from frame headers, and the
// frame rate that timestamps in milliseconds imply. Qt-free.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vt {

// An AVCDecoderConfigurationRecord.
struct AvcConfig {
    int lengthSize = 4;  // bytes of each NAL unit's length prefix: 1, 2 or 4
    std::vector<std::vector<uint8_t>> sps, pps;
};
bool ParseAvcConfig(std::span<const uint8_t> record, AvcConfig& out);

// Appends the length-prefixed NAL units of `data` to `out`, each behind a
// 4-byte start code. A unit whose length runs past the data ends the
// conversion there; false when nothing could be converted.
bool AppendAnnexB(std::span<const uint8_t> data, int lengthSize, std::vector<uint8_t>& out);
// Appends the parameter sets of a configuration, each behind a start code.
void AppendParameterSets(const AvcConfig& config, std::vector<uint8_t>& out);

// Picture sizes from frame data (the FLV tag's data after its first byte for
// H.263 and screen video; after the adjustment byte for VP6).
bool AvcSpsSize(std::span<const uint8_t> sps, uint32_t& width, uint32_t& height);
bool H263PictureSize(std::span<const uint8_t> frame, uint32_t& width, uint32_t& height);
bool Vp6PictureSize(std::span<const uint8_t> frame, uint32_t& width, uint32_t& height);
bool ScreenVideoSize(std::span<const uint8_t> frame, uint32_t& width, uint32_t& height);

// A frame rate as rate / scale frames per second.
struct FrameRate {
    uint32_t rate = 25;
    uint32_t scale = 1;
    double Fps() const { return double(rate) / double(scale); }
};
// The rate of frames at the given times (milliseconds, in order). Dropped
// frames (gaps of two frames or more) do not lower the rate; rates within a
// small tolerance of a common one are taken as that one (30000/1001 ...).
FrameRate EstimateFrameRate(std::span<const uint32_t> times);

// The frame slot of a time at a rate: round(ms * rate / (scale * 1000)).
uint64_t FrameSlot(uint64_t ms, const FrameRate& fr);

}  // namespace vt
