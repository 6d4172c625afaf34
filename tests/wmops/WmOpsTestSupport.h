#pragma once
// Helpers of the WMV/WMA operation tests: fixtures made by ffmpeg, a front
// end that records what an operation tells it, packet lists read by ffprobe.
#include <algorithm>
#include <atomic>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "pages/wm/WmOperations.h"
#include "platform/AsfReader.h"
#include "tests/common/TestSupport.h"

namespace vt::test {

namespace fs = std::filesystem;

// Small fixtures: about 2 s, 160x120.
inline fs::path WmvFixture() {  // wmv2 + wmav2
    return MakeFixture("wmops_a.wmv",
                       "-f lavfi -i testsrc=size=160x120:rate=15:duration=2 "
                       "-f lavfi -i sine=frequency=440:duration=2:sample_rate=22050 "
                       "-c:v wmv2 -b:v 200k -g 15 -c:a wmav2 -b:a 64k -metadata title=First");
}
inline fs::path WmvFixtureB() {  // the same layout, other pictures, sound and title
    return MakeFixture("wmops_b.wmv",
                       "-f lavfi -i testsrc2=size=160x120:rate=15:duration=2 "
                       "-f lavfi -i sine=frequency=660:duration=2:sample_rate=22050 "
                       "-c:v wmv2 -b:v 200k -g 15 -c:a wmav2 -b:a 64k -metadata title=Second");
}
inline fs::path Wmv1Fixture() {  // wmv1 + wmav1
    return MakeFixture("wmops_wmv1.wmv",
                       "-f lavfi -i testsrc=size=160x120:rate=10:duration=2 "
                       "-f lavfi -i sine=frequency=330:duration=2:sample_rate=22050 "
                       "-c:v wmv1 -b:v 150k -c:a wmav1 -b:a 48k -metadata title=Wmv1");
}
inline fs::path WmaFixture(const std::string& name = "wmops_a.wma", int frequency = 550) {
    return MakeFixture(name, "-f lavfi -i sine=frequency=" + std::to_string(frequency) +
                                 ":duration=2:sample_rate=44100 -c:a wmav2 -b:a 64k -metadata title=Tune");
}
// Larger than the reader's blocks of packets, with objects across their edges.
inline fs::path LargeWmvFixture() {  // wmv2 + wmav2, 16000-byte packets
    return MakeFixture(
        "wmops_large.wmv",
        "-f lavfi -i testsrc2=size=320x240:rate=25:duration=4 "
        "-f lavfi -i sine=frequency=440:duration=4:sample_rate=44100 -vf noise=alls=30:allf=t "
        "-c:v wmv2 -b:v 4M -g 25 -c:a wmav2 -b:a 128k -packetsize 16000 -metadata title=Large");
}
inline fs::path LargeWmv1Fixture() {  // wmv1 + wmav2, 1500-byte packets
    return MakeFixture("wmops_large_wmv1.wmv",
                       "-f lavfi -i testsrc2=size=320x240:rate=25:duration=4 "
                       "-f lavfi -i sine=frequency=660:duration=4:sample_rate=44100 -vf noise=alls=30:allf=t "
                       "-c:v wmv1 -b:v 3M -g 25 -c:a wmav2 -b:a 128k -packetsize 1500");
}
inline fs::path VideoOnlyFixture() {  // msmpeg4, no audio
    return MakeFixture("wmops_video.wmv",
                       "-f lavfi -i testsrc=size=160x120:rate=12:duration=2 -c:v msmpeg4 -b:v 100k -f asf");
}
inline fs::path TwoAudioFixture() {
    return MakeFixture("wmops_two_audio.wma",
                       "-f lavfi -i sine=frequency=440:duration=2:sample_rate=22050 "
                       "-f lavfi -i sine=frequency=880:duration=2:sample_rate=22050 "
                       "-map 0 -map 1 -c:a wmav2 -b:a 32k");
}

// A copy of `from` whose packet two thirds into the data is damaged beyond
// reading: a run over it fails there.
inline fs::path DamagedCopy(const fs::path& from, const fs::path& to) {
    AsfReader r;
    if (asf::Failed(r.Open(from.string()))) return {};
    auto bytes = ReadFile(from);
    const uint64_t packets = (bytes.size() - r.Header().firstPacketOffset) / r.Header().PacketSize();
    bytes[r.Header().firstPacketOffset + packets * 2 / 3 * r.Header().PacketSize()] = 0xFF;
    WriteFile(to, bytes);
    return to;
}

// A front end whose job is fixed; counts its calls.
class TestFrontEnd : public WmFrontEnd {
  public:
    explicit TestFrontEnd(WmJob job) : job_(std::move(job)) {}
    OperationHost& Host() override { return host; }
    bool BeginOperation(WmJob& job) override {
        ++begun;
        fs::remove(job_.output);
        job = job_;
        return true;
    }
    void EndOperation() override { ++ended; }
    void RealStart(uint64_t start) override { realStart = int64_t(start); }
    std::atomic<int64_t> realStart{-1};  // -1: not moved

    // Records errors; stops once progress reached `stopAtPercent`.
    class Host : public OperationHost {
      public:
        void ReportProgress(double percent) override {
            std::lock_guard<std::mutex> lock(mutex);
            progress.push_back(percent);
            if (percent >= stopAtPercent) stopped = true;
        }
        bool StopRequested() const override { return stopped.load(); }
        void ReportError(const std::string&, int code) override {
            std::lock_guard<std::mutex> lock(mutex);
            errors.push_back(code);
            stopped = true;
        }
        bool AskOkCancel(const std::string&, const std::string&) override { return true; }

        double stopAtPercent = 1e300;
        std::atomic<bool> stopped{false};
        std::mutex mutex;
        std::vector<double> progress;
        std::vector<int> errors;
    } host;
    std::atomic<int> begun{0}, ended{0};

  private:
    WmJob job_;
};

struct Packet {
    int stream = 0;  // ffprobe's stream index
    int64_t ptsMs = 0;
};

// Every packet of the file in file order (ffprobe), pts in milliseconds.
inline std::vector<Packet> Packets(const fs::path& file) {
    auto r = Run("ffprobe -v error -show_entries packet=stream_index,pts -of csv=p=0 " + Q(file));
    std::vector<Packet> out;
    size_t pos = 0;
    while (pos < r.out.size()) {
        size_t nl = r.out.find('\n', pos);
        if (nl == std::string::npos) nl = r.out.size();
        const std::string line = r.out.substr(pos, nl - pos);
        pos = nl + 1;
        const size_t comma = line.find(',');
        if (comma == std::string::npos) continue;
        Packet p;
        p.stream = std::stoi(line.substr(0, comma));
        const std::string pts = line.substr(comma + 1);
        p.ptsMs = pts.empty() || pts == "N/A" ? -1 : std::stoll(pts);
        out.push_back(p);
    }
    return out;
}

// Pts column (milliseconds) of ffmpeg's framemd5 lines of one stream.
inline std::vector<int64_t> FfmpegPts(const fs::path& file, const std::string& selector) {
    std::vector<int64_t> out;
    for (const auto& l : FrameMd5Lines(file, selector)) {
        const size_t a = l.find(','), b = l.find(',', a + 1), c = l.find(',', b + 1);
        out.push_back(std::stoll(l.substr(b + 1, c - b - 1)));
    }
    return out;
}

// Every packet of one stream as ffprobe reads it, leading delta frames
// included: pts in milliseconds and "size,md5".
struct HashedPacket {
    int64_t ptsMs = 0;
    std::string hash;
    bool operator==(const HashedPacket&) const = default;
};
inline std::vector<HashedPacket> ProbePackets(const fs::path& file, const std::string& selector) {
    auto r = Run("ffprobe -v error -select_streams " + selector +
                 " -show_data_hash MD5 -show_entries packet=pts,size,data_hash -of csv=p=0 " + Q(file));
    std::vector<HashedPacket> out;
    size_t pos = 0;
    while (pos < r.out.size()) {
        size_t nl = r.out.find('\n', pos);
        if (nl == std::string::npos) nl = r.out.size();
        const std::string line = r.out.substr(pos, nl - pos);
        pos = nl + 1;
        const size_t comma = line.find(',');
        if (comma == std::string::npos) continue;
        out.push_back({std::stoll(line.substr(0, comma)), line.substr(comma + 1)});
    }
    return out;
}

// The file's title tag.
inline std::string Title(const fs::path& file) {
    auto r = Run("ffprobe -v error -show_entries format_tags=title -of default=nw=1:nk=1 " + Q(file));
    while (!r.out.empty() && (r.out.back() == '\n' || r.out.back() == '\r')) r.out.pop_back();
    return r.out;
}

template <class T>
std::vector<T> Concat(std::vector<T> a, const std::vector<T>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace vt::test
