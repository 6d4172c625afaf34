#pragma once
// Fixtures and checks of the AVI and WAV operation tests: small movies and
// sounds made by ffmpeg at test time, and what ffmpeg/ffprobe say about the
// outputs (packet checksums, key-frame flags, raw stream bytes, WAV chunks).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tests/common/TestSupport.h"

namespace vt::test {

namespace fs = std::filesystem;

inline const std::string kOpsVideo = "-f lavfi -i testsrc=size=160x120:rate=25:duration=2 ";
inline const std::string kOpsTone = "-f lavfi -i sine=frequency=440:sample_rate=22050:duration=2 ";

// 2 s, 25 fps, MPEG-4 video with a key frame every 10 frames, 16-bit stereo PCM at 22050 Hz.
inline fs::path MovieA() {
    return MakeFixture("ops_movie_a.avi",
                       kOpsVideo + kOpsTone + "-c:v mpeg4 -g 10 -c:a pcm_s16le -ac 2 -shortest");
}
// Another picture and tone, same formats.
inline fs::path MovieB() {
    return MakeFixture("ops_movie_b.avi",
                       "-f lavfi -i testsrc2=size=160x120:rate=25:duration=2 "
                       "-f lavfi -i sine=frequency=660:sample_rate=22050:duration=2 "
                       "-c:v mpeg4 -g 10 -c:a pcm_s16le -ac 2 -shortest");
}
// Video only.
inline fs::path MovieNoAudio() {
    return MakeFixture("ops_movie_noaudio.avi",
                       "-f lavfi -i testsrc2=size=160x120:rate=25:duration=1 -c:v mpeg4 -g 10");
}
// MP3 audio.
inline fs::path MovieMp3() {
    return MakeFixture("ops_movie_mp3.avi",
                       kOpsVideo + kOpsTone + "-c:v mpeg4 -g 10 -c:a libmp3lame -b:a 64k -shortest");
}
// Frames 10 to 14 dropped: five empty samples in their places.
inline fs::path MovieDropped() {
    return MakeFixture(
        "ops_movie_dropped.avi",
        "-f lavfi -i \"testsrc=size=160x120:rate=25:duration=2,select='not(between(n\\,10\\,14))'\" "
        "-c:v mpeg4 -g 100 -fps_mode passthrough");
}
// One frame, no audio.
inline fs::path MovieOneFrame() {
    return MakeFixture("ops_movie_oneframe.avi",
                       "-f lavfi -i testsrc=size=160x120:rate=25 -frames:v 1 -c:v mpeg4");
}
// Two audio streams: 22050 Hz mono, then 11025 Hz stereo.
inline fs::path MovieTwoAudio() {
    return MakeFixture(
        "ops_movie_twoaudio.avi",
        kOpsVideo + kOpsTone +
            "-f lavfi -i sine=frequency=880:sample_rate=11025:duration=2 -map 0:v -map 1:a -map 2:a "
            "-c:v mpeg4 -g 10 -c:a:0 pcm_s16le -c:a:1 pcm_s16le -ac:a:1 2 -shortest");
}
// 1 s of 16-bit stereo PCM at 22050 Hz.
inline fs::path Wav1s(const std::string& name, int freq) {
    return MakeFixture(name, "-f lavfi -i sine=frequency=" + std::to_string(freq) +
                                 ":sample_rate=22050:duration=1 -c:a pcm_s16le -ac 2");
}
// 3 s of 16-bit stereo PCM at 44100 Hz.
inline fs::path Wav3s44k() {
    return MakeFixture("ops_3s_44k.wav",
                       "-f lavfi -i sine=frequency=300:sample_rate=44100:duration=3 -c:a pcm_s16le -ac 2");
}
// MPEG layer 2 audio in a WAV file (format tag 0x0050).
inline fs::path WavMp2() {
    return MakeFixture("ops_mp2.wav", "-f lavfi -i sine=frequency=440:sample_rate=22050:duration=1 -c:a mp2");
}
// Yamaha ADPCM in a WAV file (format tag 0x0020): a format the WAV pages do not copy.
inline fs::path WavYamaha() {
    return MakeFixture("ops_yamaha.wav",
                       "-f lavfi -i sine=frequency=440:sample_rate=22050:duration=1 -c:a adpcm_yamaha");
}

// The raw bytes of one stream as ffmpeg copies it out.
inline std::string RawStream(const fs::path& file, const std::string& selector) {
    return Run("ffmpeg -hide_banner -loglevel error -nostdin -i " + Q(file) + " -map 0:" + selector +
               " -c copy -f data - 2>/dev/null")
        .out;
}

// "flags,size" of every packet of a stream.
inline std::vector<std::string> PacketFlags(const fs::path& file, const std::string& selector) {
    auto r = Run("ffprobe -v error -select_streams " + selector +
                 " -show_entries packet=flags,size -of csv=p=0 " + Q(file));
    std::vector<std::string> out;
    std::istringstream in(r.out);
    for (std::string l; std::getline(in, l);)
        if (!l.empty()) out.push_back(l);
    return out;
}

// ffmpeg's packet lines "dts,size,md5" of a stream, dts shifted by `shift`.
inline std::vector<std::string> DtsLines(const fs::path& file, const std::string& selector, long shift = 0) {
    std::vector<std::string> out;
    for (const std::string& l : FrameMd5Lines(file, selector)) {
        std::vector<std::string> f;
        std::istringstream in(l);
        for (std::string x; std::getline(in, x, ',');) {
            size_t a = x.find_first_not_of(' ');
            f.push_back(a == std::string::npos ? "" : x.substr(a));
        }
        if (f.size() < 6) continue;
        out.push_back(std::to_string(std::stol(f[1]) + shift) + "," + f[4] + "," + f[5]);
    }
    return out;
}

template <class T>
std::vector<T> Concat(std::vector<T> a, const std::vector<T>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline int PacketCount(const fs::path& file, const std::string& selector) {
    return int(PacketFlags(file, selector).size());
}

// The chunks of a WAV file we check.
struct WavChunks {
    bool ok = false;
    uint32_t riffSize = 0;
    uint32_t fmtSize = 0;
    uint16_t formatTag = 0;
    bool hasFact = false;
    uint32_t fact = 0;
    uint32_t dataSize = 0;
    uint64_t fileSize = 0;
};

inline WavChunks ReadWavChunks(const fs::path& p) {
    WavChunks w;
    std::vector<uint8_t> b = ReadFile(p);
    w.fileSize = b.size();
    auto u32 = [&](size_t o) {
        uint32_t v = 0;
        if (o + 4 <= b.size()) std::memcpy(&v, b.data() + o, 4);
        return v;
    };
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 || std::memcmp(b.data() + 8, "WAVE", 4) != 0)
        return w;
    w.riffSize = u32(4);
    for (size_t o = 12; o + 8 <= b.size();) {
        const std::string id(reinterpret_cast<const char*>(b.data() + o), 4);
        const uint32_t size = u32(o + 4);
        if (id == "fmt ") {
            w.fmtSize = size;
            if (o + 10 <= b.size()) std::memcpy(&w.formatTag, b.data() + o + 8, 2);
        } else if (id == "fact") {
            w.hasFact = true;
            w.fact = u32(o + 8);
        } else if (id == "data") {
            w.dataSize = size;
            w.ok = true;
            break;
        }
        o += 8 + size + (size & 1);
    }
    return w;
}

}  // namespace vt::test
