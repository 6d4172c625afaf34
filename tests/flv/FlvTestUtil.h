#pragma once
// Small helpers for the FLV tests: fixtures made by ffmpeg, FLV files built
// byte by byte in memory, and a progress recorder.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "flv/FlvFile.h"
#include "tests/common/TestSupport.h"

namespace vt::test {

// Fixtures, made once per build (about two seconds each, 25 frames a second,
// a key frame every 12 frames).
std::filesystem::path H263Mp3Fixture();        // Sorenson H.263 + MP3, 160x120
std::filesystem::path H263Mp3SecondFixture();  // the same format, other pictures and sound
std::filesystem::path H264AacFixture();        // AVC + AAC, 160x120
std::filesystem::path Mp3OnlyFixture();
std::filesystem::path VideoOnlyFixture();  // Sorenson H.263 without sound
// Sound only, one second, in the codecs whose audio separation differs.
std::filesystem::path AacStereoFixture();   // AAC LC, 44.1 kHz stereo
std::filesystem::path AacMonoFixture();     // AAC LC, 22.05 kHz mono
std::filesystem::path SpeexFixture();       // Speex, 16 kHz
std::filesystem::path NellymoserFixture();  // Nellymoser, 22.05 kHz
std::filesystem::path AdpcmFixture();       // Flash ADPCM, 22.05 kHz

// The MD5 of a file's first audio stream decoded by ffmpeg: the same sound
// whatever container or framing (ADTS headers, FLV tags) carries it.
std::string DecodedAudioMd5(const std::filesystem::path& file);

// Builds an FLV file in memory.
class FlvBuilder {
  public:
    explicit FlvBuilder(uint8_t flags = 5);
    FlvBuilder& Tag(uint8_t type, uint32_t time, const std::vector<uint8_t>& data);
    FlvBuilder& Raw(const std::vector<uint8_t>& bytes);
    std::vector<uint8_t> bytes;

  private:
    uint32_t lastSize_ = 0;
};

// The times of a file's tags of one type that carry media.
std::vector<uint32_t> MediaTimes(const CFlvFile& f, uint8_t type);

// A CFlvProcess that records calls and can answer "stop" after some calls.
class RecordingProcess : public CFlvProcess {
  public:
    int OnProgress(uint32_t done, uint32_t total) override {
        calls.emplace_back(done, total);
        return stopAfter >= 0 && int(calls.size()) > stopAfter ? 1 : 0;
    }
    int stopAfter = -1;
    std::vector<std::pair<uint32_t, uint32_t>> calls;
};

}  // namespace vt::test
