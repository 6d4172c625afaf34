// Replays every input that once broke a fuzz target through the target's entry
// point. An input must run to its end (no crash, no abort), quickly, and
// without a memory peak that its few bytes cannot justify. The sanitizer build
// of the suite (scripts/test --sanitize) runs the same replay and so catches
// undefined behaviour and out-of-bounds reads as well.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/FuzzEntries.h"

namespace fs = std::filesystem;

namespace {

long PeakRssKb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

std::vector<uint8_t> ReadAll(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

std::vector<fs::path> Sorted(const fs::path& dir) {
    std::vector<fs::path> out;
    for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path());
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace

// Every folder names a target, so no input is silently skipped.
TEST(RegressReplay, FoldersNameTargets) {
    for (const fs::path& p : Sorted(VT_REGRESS_DIR)) {
        if (!fs::is_directory(p)) continue;
        EXPECT_NE(vt::fuzz::FindEntry(p.filename().string()), nullptr)
            << p.filename() << " is not a fuzz target (" << vt::fuzz::TargetNames() << ")";
    }
}

TEST(RegressReplay, EveryInputRunsThroughItsTarget) {
    int inputs = 0;
    for (const fs::path& dir : Sorted(VT_REGRESS_DIR)) {
        if (!fs::is_directory(dir)) continue;
        const vt::fuzz::Entry entry = vt::fuzz::FindEntry(dir.filename().string());
        if (!entry) continue;
        for (const fs::path& file : Sorted(dir)) {
            if (!fs::is_regular_file(file)) continue;
            SCOPED_TRACE(file.string());
            const std::vector<uint8_t> bytes = ReadAll(file);
            const long rssBefore = PeakRssKb();
            const auto t0 = std::chrono::steady_clock::now();
            entry(bytes.data(), bytes.size());
            const double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            // Files of a few hundred bytes: seconds of work or hundreds of
            // megabytes are a fault even when the result is right.
            EXPECT_LT(seconds, 10.0);
            EXPECT_LT(PeakRssKb() - rssBefore, 256L * 1024);
            ++inputs;
        }
    }
    std::printf("%d inputs replayed\n", inputs);
}
