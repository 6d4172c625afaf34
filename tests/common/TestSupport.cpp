#include "tests/common/TestSupport.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <random>
#include <sstream>

namespace fs = std::filesystem;

namespace vt::test {

CommandResult Run(const std::string& command) {
    CommandResult r;
    FILE* p = ::popen(command.c_str(), "r");
    if (!p) return r;
    std::array<char, 65536> buf;
    size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
    int st = ::pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

std::string Q(const fs::path& p) {
    std::string s = p.string(), out = "'";
    for (char c : s) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

static fs::path BaseTempDir() {
#ifdef VT_TEST_BINARY_DIR
    fs::path base = fs::path(VT_TEST_BINARY_DIR) / "test-data";
#else
    fs::path base = fs::temp_directory_path() / "vantorel-test-data";
#endif
    fs::create_directories(base);
    return base;
}

fs::path FixtureDir() {
    fs::path d = BaseTempDir() / "fixtures";
    fs::create_directories(d);
    return d;
}

fs::path SamplePath(const std::string& name) {
#ifdef VT_SAMPLES_DIR
    std::error_code ec;
    fs::path p = fs::path(VT_SAMPLES_DIR) / name;
    if (fs::is_regular_file(p, ec)) return p;
#endif
    return {};
}

fs::path MakeFixture(const std::string& name, const std::string& ffmpegArgs) {
    fs::path out = FixtureDir() / name;
    if (fs::exists(out) && fs::file_size(out) > 0) return out;
    // Build under a unique name, then rename: test processes run in parallel.
    fs::path tmp = FixtureDir() / (".tmp-" + std::to_string(::getpid()) + "-" + name);
    std::string cmd =
        "ffmpeg -y -hide_banner -loglevel error -nostdin " + ffmpegArgs + " " + Q(tmp) + " 2>&1";
    CommandResult r = Run(cmd);
    if (r.status != 0 || !fs::exists(tmp)) {
        ADD_FAILURE() << "fixture " << name << " failed: " << cmd << "\n" << r.out;
        std::error_code ec;
        fs::remove(tmp, ec);
        return {};
    }
    fs::rename(tmp, out);
    return out;
}

static std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        if (!line.empty() && line[0] != '#') lines.push_back(line);
    return lines;
}

std::vector<std::string> FrameMd5Lines(const fs::path& file, const std::string& streamSpec) {
    auto r = Run("ffmpeg -hide_banner -loglevel error -nostdin -i " + Q(file) + " -map 0:" + streamSpec +
                 " -c copy -f framemd5 - 2>/dev/null");
    return Lines(r.out);
}

std::vector<std::string> PacketChecksums(const fs::path& file, const std::string& streamSpec) {
    std::vector<std::string> out;
    for (const auto& l : FrameMd5Lines(file, streamSpec)) {
        // "stream, dts, pts, duration, size, md5": keep the last two fields.
        auto last = l.rfind(',');
        if (last == std::string::npos) continue;
        auto prev = l.rfind(',', last - 1);
        std::string size = l.substr(prev + 1, last - prev - 1);
        std::string md5 = l.substr(last + 1);
        auto trim = [](std::string s) {
            size_t a = s.find_first_not_of(' '), b = s.find_last_not_of(' ');
            return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
        };
        out.push_back(trim(size) + "," + trim(md5));
    }
    return out;
}

bool DecodesCleanly(const fs::path& file, std::string* errors) {
    auto r = Run("ffmpeg -hide_banner -nostdin -v error -i " + Q(file) + " -f null - 2>&1");
    if (errors) *errors = r.out;
    return r.status == 0 && r.out.empty();
}

std::string Probe(const fs::path& file, const std::string& streamSpec, const std::string& entries) {
    std::string sel = streamSpec.empty()
                          ? " -show_entries format=" + entries
                          : " -select_streams " + streamSpec + " -show_entries stream=" + entries;
    auto r = Run("ffprobe -v error" + sel + " -of default=nw=1:nk=1 " + Q(file) + " 2>/dev/null");
    std::string s = r.out;
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    return s;
}

int StreamCount(const fs::path& file, const std::string& codecType) {
    auto r = Run("ffprobe -v error -show_entries stream=codec_type -of csv=p=0 " + Q(file) + " 2>/dev/null");
    int n = 0;
    for (const auto& l : Lines(r.out))
        if (l.rfind(codecType, 0) == 0) ++n;
    return n;
}

TempDir::TempDir() {
    static std::atomic<int> counter{0};
    std::random_device rd;
    path_ = BaseTempDir() / ("t-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" +
                             std::to_string(rd() % 100000));
    fs::create_directories(path_);
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

void WriteFile(const fs::path& p, const std::vector<uint8_t>& bytes) {
    std::ofstream f(p, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<uint8_t> ReadFile(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

void RecordingHost::ReportProgress(double percent) {
    progress.push_back(percent);
    if (stopAfterProgressCalls >= 0 && int(progress.size()) >= stopAfterProgressCalls) stopped_ = true;
}

void RecordingHost::ReportError(const std::string& detail, int code) {
    if (code == 0 || stopped_) return;
    errors.emplace_back(detail, code);
    stopped_ = true;
}

bool RecordingHost::AskOkCancel(const std::string&, const std::string&) {
    ++questions;
    return answerOk;
}

}  // namespace vt::test
