#include "tests/flv/FlvTestUtil.h"

namespace vt::test {

namespace {
const std::string kVideo = "-f lavfi -i testsrc=size=160x120:rate=25:duration=2 ";
const std::string kVideo2 = "-f lavfi -i testsrc2=size=160x120:rate=25:duration=2 ";
const std::string kSound = "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=2 ";
const std::string kSound2 = "-f lavfi -i sine=frequency=660:sample_rate=44100:duration=2 ";
const std::string kMp3 = "-c:a libmp3lame -b:a 64k ";
}  // namespace

std::filesystem::path H263Mp3Fixture() {
    return MakeFixture("flv_h263_mp3.flv", kVideo + kSound + "-c:v flv1 -g 12 -q:v 8 " + kMp3);
}
std::filesystem::path H263Mp3SecondFixture() {
    return MakeFixture("flv_h263_mp3_b.flv", kVideo2 + kSound2 + "-c:v flv1 -g 12 -q:v 8 " + kMp3);
}
std::filesystem::path H264AacFixture() {
    return MakeFixture(
        "flv_h264_aac.flv",
        kVideo + kSound + "-c:v libx264 -preset veryfast -g 12 -pix_fmt yuv420p -c:a aac -b:a 64k");
}
std::filesystem::path Mp3OnlyFixture() {
    return MakeFixture("flv_mp3_only.flv", kSound + kMp3);
}
std::filesystem::path VideoOnlyFixture() {
    return MakeFixture("flv_video_only.flv", kVideo + "-c:v flv1 -g 12 -q:v 8");
}

std::filesystem::path AacStereoFixture() {
    return MakeFixture("flv_aac_stereo.flv",
                       "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=1 "
                       "-ac 2 -c:a aac -b:a 96k");
}
std::filesystem::path AacMonoFixture() {
    return MakeFixture("flv_aac_mono.flv",
                       "-f lavfi -i sine=frequency=440:sample_rate=22050:duration=1 "
                       "-ac 1 -c:a aac -b:a 32k");
}
std::filesystem::path SpeexFixture() {
    return MakeFixture("flv_speex.flv",
                       "-f lavfi -i sine=frequency=440:sample_rate=16000:duration=1 -c:a libspeex");
}
std::filesystem::path NellymoserFixture() {
    return MakeFixture("flv_nellymoser.flv",
                       "-f lavfi -i sine=frequency=440:sample_rate=22050:duration=1 -c:a nellymoser");
}
std::filesystem::path AdpcmFixture() {
    return MakeFixture("flv_adpcm.flv",
                       "-f lavfi -i sine=frequency=440:sample_rate=22050:duration=1 -c:a adpcm_swf");
}

std::string DecodedAudioMd5(const std::filesystem::path& file) {
    return Run("ffmpeg -hide_banner -loglevel error -i " + Q(file) + " -map 0:a:0 -f md5 - 2>/dev/null").out;
}

FlvBuilder::FlvBuilder(uint8_t flags) {
    bytes = {'F', 'L', 'V', 1, flags, 0, 0, 0, 9, 0, 0, 0, 0};
}

FlvBuilder& FlvBuilder::Tag(uint8_t type, uint32_t time, const std::vector<uint8_t>& data) {
    uint32_t n = uint32_t(data.size());
    std::vector<uint8_t> h = {type,
                              uint8_t(n >> 16),
                              uint8_t(n >> 8),
                              uint8_t(n),
                              uint8_t(time >> 16),
                              uint8_t(time >> 8),
                              uint8_t(time),
                              uint8_t(time >> 24),
                              0,
                              0,
                              0};
    bytes.insert(bytes.end(), h.begin(), h.end());
    bytes.insert(bytes.end(), data.begin(), data.end());
    uint32_t total = n + 11;
    for (int i = 3; i >= 0; --i) bytes.push_back(uint8_t(total >> (8 * i)));
    lastSize_ = n;
    return *this;
}

FlvBuilder& FlvBuilder::Raw(const std::vector<uint8_t>& b) {
    bytes.insert(bytes.end(), b.begin(), b.end());
    return *this;
}

std::vector<uint32_t> MediaTimes(const CFlvFile& f, uint8_t type) {
    std::vector<uint32_t> times;
    for (const FlvTag& t : f.Tags())
        if (t.type == type && t.IsMediaFrame()) times.push_back(t.time);
    return times;
}

}  // namespace vt::test
