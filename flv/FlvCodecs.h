#pragma once
// Helpers for the codecs that FLV carries: AVC decoder configuration records
// and their conversion to Annex B, picture sizes from frame headers, and the
// frame rate that timestamps in milliseconds imply. Qt-free.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
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

// An MPEG audio (MP1/MP2/MP3) frame header.
struct MpegAudioHeader {
    uint32_t frameSize = 0;  // bytes, header included
    uint32_t sampleRate = 0;
    uint32_t samplesPerFrame = 0;
};
// False when the 4 bytes are not a frame header with a known size (free
// format, reserved values).
bool ParseMpegAudioHeader(std::span<const uint8_t> header, MpegAudioHeader& out);

// What an ADTS header needs from an AAC AudioSpecificConfig.
struct AacConfig {
    int objectType = 0;     // audio object type of the core (2: AAC LC); SBR and PS unwrapped
    int rateIndex = 0;      // sampling frequency index of the core; 15: an explicit rate
    uint32_t rate = 0;      // the core's sampling rate in Hz (0 for a reserved index)
    int channelConfig = 0;  // 0: the channels are described by a program config element
    bool sbr = false;       // the configuration signals SBR (HE-AAC) or PS (HE-AAC v2) explicitly
};
bool ParseAacConfig(std::span<const uint8_t> config, AacConfig& out);
// Whether an ADTS header can describe the configuration; when not, a
// sentence that says why.
bool AdtsCanCarry(const AacConfig& config, std::string* why);
constexpr uint32_t kAdtsHeaderSize = 7;
constexpr uint32_t kAdtsMaxFrameSize = 8191;  // 13 bits, header included
// The 7-byte ADTS header (no CRC) of a frame of `payload` bytes.
void MakeAdtsHeader(const AacConfig& config, uint32_t payload, uint8_t out[kAdtsHeaderSize]);

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
// The steps between the times of frames (milliseconds, in order), counted
// for their median and mean without keeping them all: steps up to a few
// seconds in a table of counts, longer ones (rare) one by one.
class FrameSteps {
  public:
    // The next frame's time; a time that does not move forward is no step.
    void AddTime(uint32_t time);
    size_t Count() const { return count_; }
    // The step in the middle (the upper one of an even count); 0 without steps.
    uint32_t Median() const;
    // The sum of the steps up to `limit`, and how many there are.
    double SumUpTo(double limit, size_t& n) const;

  private:
    static constexpr uint32_t kTable = 4096;
    std::vector<uint32_t> table_;  // counts of the steps below kTable
    std::vector<uint32_t> large_;  // the longer steps
    size_t count_ = 0;
    uint32_t last_ = 0;
    bool have_ = false;
};

// The rate of frames at the given times (milliseconds, in order). Dropped
// frames (gaps of two frames or more) do not lower the rate; rates within a
// small tolerance of a common one are taken as that one (30000/1001 ...).
FrameRate EstimateFrameRate(std::span<const uint32_t> times);
FrameRate EstimateFrameRate(const FrameSteps& steps);

// The frame slot of a time at a rate: round(ms * rate / (scale * 1000)).
uint64_t FrameSlot(uint64_t ms, const FrameRate& fr);

}  // namespace vt
