#pragma once
// Helpers of the Windows Media tests: fixtures, collected samples, a copy
// from reader to writer the way the pages wire them.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "media/wm/DecCompWMV.h"
#include "media/wm/EncCompWMV.h"
#include "tests/common/TestSupport.h"
#include "tests/wm/Md5.h"

namespace vt::test {

struct Fixture {
    const char* name;
    const char* args;
};

// Small ASF files made by ffmpeg.
inline const std::vector<Fixture>& WmFixtures() {
    static const std::vector<Fixture> list = {
        {"wm_wmv2_wmav2.wmv",
         "-f lavfi -i testsrc=size=160x120:rate=15:duration=3 -f lavfi -i "
         "sine=frequency=440:duration=3:sample_rate=22050 "
         "-c:v wmv2 -b:v 200k -g 15 -c:a wmav2 -b:a 64k -metadata title=Clip -metadata author=Someone "
         "-metadata custom_tag=kept"},
        {"wm_wmv1_wmav1.wmv",
         "-f lavfi -i testsrc=size=128x96:rate=10:duration=2 -f lavfi -i "
         "sine=frequency=330:duration=2:sample_rate=22050 "
         "-c:v wmv1 -b:v 150k -c:a wmav1 -b:a 48k"},
        {"wm_audio.wma", "-f lavfi -i sine=frequency=550:duration=2:sample_rate=44100 -c:a wmav2 -b:a 64k"},
        {"wm_msmpeg4.wmv", "-f lavfi -i testsrc=size=96x64:rate=12:duration=2 -c:v msmpeg4 -b:v 100k -f asf"},
        {"wm_two_audio.wma",
         "-f lavfi -i sine=frequency=440:duration=2:sample_rate=22050 -f lavfi -i "
         "sine=frequency=880:duration=2:sample_rate=22050 "
         "-map 0 -map 1 -c:a wmav2 -b:a 32k"},
        // Larger than the reader's and the writer's blocks of packets (256 KiB, 1 MiB),
        // with objects across their edges: large packets, then small ones.
        {"wm_large_packets.wmv",
         "-f lavfi -i testsrc2=size=320x240:rate=25:duration=4 -f lavfi -i "
         "sine=frequency=440:duration=4:sample_rate=44100 -vf noise=alls=30:allf=t "
         "-c:v wmv2 -b:v 4M -g 25 -c:a wmav2 -b:a 128k -packetsize 16000"},
        {"wm_small_packets.wmv",
         "-f lavfi -i testsrc2=size=320x240:rate=25:duration=4 -f lavfi -i "
         "sine=frequency=660:duration=4:sample_rate=44100 -vf noise=alls=30:allf=t "
         "-c:v wmv1 -b:v 3M -g 25 -c:a wmav2 -b:a 128k -packetsize 1500"},
    };
    return list;
}

inline std::filesystem::path WmFixture(const Fixture& f) {
    return MakeFixture(f.name, f.args);
}
inline std::filesystem::path WmFixture(size_t index) {
    return WmFixture(WmFixtures()[index]);
}

struct Sample {
    uint16_t stream;
    uint64_t time;
    uint64_t duration;
    uint32_t flags;
    std::vector<uint8_t> bytes;
};

// Collects every sample a reader delivers.
struct Collector {
    std::vector<Sample> samples;
    AsfResult answer = asf::kOk;  // what the callback returns
    size_t answerAfter = 0;       // ... once this many samples were seen (0: always)

    static AsfResult Callback(uint16_t stream, uint64_t time, uint64_t duration, uint32_t flags,
                              const AsfSampleBuffer* sample, void*, void* user) {
        auto* self = static_cast<Collector*>(user);
        self->samples.push_back({stream, time, duration, flags, sample->ToVector()});
        return self->samples.size() >= self->answerAfter ? self->answer : asf::kOk;
    }
    // "size,md5" lines of one stream, as PacketChecksums gives them.
    std::vector<std::string> Checksums(uint16_t stream) const {
        std::vector<std::string> out;
        for (const auto& s : samples)
            if (s.stream == stream)
                out.push_back(std::to_string(s.bytes.size()) + "," + Md5Hex(s.bytes.data(), s.bytes.size()));
        return out;
    }
    std::vector<uint64_t> TimesMs(uint16_t stream) const {
        std::vector<uint64_t> out;
        for (const auto& s : samples)
            if (s.stream == stream) out.push_back(s.time / 10000);
        return out;
    }
};

// The pages' sample callback: writes each sample under its own number.
struct CopySink {
    CEncCompWMV* writer = nullptr;
    static AsfResult Callback(uint16_t stream, uint64_t time, uint64_t duration, uint32_t flags,
                              const AsfSampleBuffer* sample, void*, void* user) {
        auto* self = static_cast<CopySink*>(user);
        return self->writer->WriteSample(stream, time, duration, flags, sample);
    }
};

// ffmpeg's view of one stream's packets, from one framemd5 run: times (ms)
// and "size,md5" lines as PacketChecksums gives them.
struct FfPackets {
    std::vector<int64_t> pts;
    std::vector<std::string> sums;
    bool operator==(const FfPackets&) const = default;
};

inline FfPackets FfmpegPackets(const std::filesystem::path& file, const std::string& selector) {
    FfPackets out;
    auto trim = [](std::string s) {
        size_t a = s.find_first_not_of(' '), b = s.find_last_not_of(' ');
        return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
    };
    for (const auto& l : FrameMd5Lines(file, selector)) {
        std::vector<std::string> f;
        size_t start = 0, comma;
        while ((comma = l.find(',', start)) != std::string::npos) {
            f.push_back(trim(l.substr(start, comma - start)));
            start = comma + 1;
        }
        f.push_back(trim(l.substr(start)));
        if (f.size() < 6) continue;
        out.pts.push_back(std::stoll(f[2]));
        out.sums.push_back(f[4] + "," + f[5]);
    }
    return out;
}

}  // namespace vt::test
