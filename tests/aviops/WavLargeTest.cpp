// A real WAV output past 4 GiB: two inputs of 2.25 GB each (sparse files: a
// header, a few marked places and holes, so they take no disk) joined into a
// 4.5 GB RF64 file, which ffprobe reads with the right duration, whose data is
// the inputs' data, and which is cut again past its first 4 GiB. It writes
// 4.5 GB (deleted at the end) and takes a minute: VT_SKIP_LARGE_TESTS=1 skips
// it, and it is a test of its own (wav_large_tests) so that ctest -E can
// leave it out.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "pages/avi/AviOperations.h"
#include "platform/ByteIO.h"
#include "tests/aviops/AviOpsTestSupport.h"
#include "tests/aviops/WavHeadView.h"

namespace vt {
namespace {

using namespace vt::test;

constexpr uint64_t kDataBytes = 2'250'000'000;  // each input: 16-bit stereo at 48 kHz, 11718.75 s
constexpr uint32_t kBytesPerSec = 48000 * 4;

// A plain WAV file of kDataBytes whose data is zeros but for 1 MiB of
// `seed`'s bytes at the start, the middle and the end.
void MakeSparseWav(const fs::path& p, uint32_t seed) {
    std::vector<uint8_t> h(44);
    std::memcpy(h.data(), "RIFF", 4);
    PutU32LE(h.data() + 4, uint32_t(36 + kDataBytes));
    std::memcpy(h.data() + 8, "WAVEfmt ", 8);
    PutU32LE(h.data() + 16, 16);
    PutU16LE(h.data() + 20, 1);
    PutU16LE(h.data() + 22, 2);
    PutU32LE(h.data() + 24, 48000);
    PutU32LE(h.data() + 28, kBytesPerSec);
    PutU16LE(h.data() + 32, 4);
    PutU16LE(h.data() + 34, 16);
    std::memcpy(h.data() + 36, "data", 4);
    PutU32LE(h.data() + 40, uint32_t(kDataBytes));
    {
        std::ofstream out(p, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(h.data()), std::streamsize(h.size()));
    }
    fs::resize_file(p, 44 + kDataBytes);
    std::vector<char> mark(1 << 20);
    uint32_t x = seed;
    for (char& c : mark) {
        x = x * 1664525u + 1013904223u;
        c = char(x >> 24);
    }
    std::fstream f(p, std::ios::binary | std::ios::in | std::ios::out);
    for (uint64_t at : {uint64_t(0), kDataBytes / 2, kDataBytes - mark.size()}) {
        f.seekp(std::streamoff(44 + at));
        f.write(mark.data(), std::streamsize(mark.size()));
    }
}

TEST(WavLarge, JoinPastFourGiBWritesRf64) {
    if (const char* skip = std::getenv("VT_SKIP_LARGE_TESTS"); skip && std::string(skip) == "1")
        GTEST_SKIP() << "VT_SKIP_LARGE_TESTS=1";
    TempDir dir;
    if (fs::space(dir.path()).available < 6'000'000'000ull)
        GTEST_SKIP() << "less than 6 GB free for the output";
    const fs::path a = dir / "a.wav", b = dir / "b.wav", out = dir / "joined.wav", cut = dir / "cut.wav";
    MakeSparseWav(a, 1);
    MakeSparseWav(b, 2);

    RecordingHost host;
    const OpResult r = WavConnection({a.string(), b.string()}, out.string(), host);
    ASSERT_EQ(r.code, 0) << r.detail;
    const WavHead h = ReadWavHead(out);
    EXPECT_EQ(h.form, "RF64");
    EXPECT_EQ(h.firstChunk, "ds64");
    EXPECT_EQ(h.riffSize32, 0xFFFFFFFFu);
    EXPECT_EQ(h.dataSize32, 0xFFFFFFFFu);
    EXPECT_EQ(h.ds64Riff, h.fileSize - 8);
    EXPECT_EQ(h.ds64Data, 2 * kDataBytes);
    EXPECT_EQ(h.ds64Samples, 2 * kDataBytes / 4);
    EXPECT_EQ(h.fileSize, h.dataPos + 2 * kDataBytes);
    EXPECT_EQ(h.fact, uint32_t(2 * kDataBytes / 4));
    const double seconds = double(2 * kDataBytes) / kBytesPerSec;
    const double probed = std::strtod(
        test::Run("ffprobe -v error -show_entries format=duration -of csv=p=0 " + Q(out)).out.c_str(),
        nullptr);
    EXPECT_NEAR(probed, seconds, 0.01);
    EXPECT_EQ(Md5Of(out, h.dataPos), DataMd5({a, b}));

    // The last two seconds, 4 GiB into the data, are b's last two seconds.
    const int64_t endMs = int64_t(seconds * 1000);
    ASSERT_EQ(WavExtraction(out.string(), cut.string(),
                            {FromMilliseconds(endMs - 2000), FromMilliseconds(endMs)}, host)
                  .code,
              0);
    const WavHead c = ReadWavHead(cut);
    EXPECT_EQ(c.form, "RIFF");
    EXPECT_EQ(c.dataSize32, 2 * kBytesPerSec);
    EXPECT_EQ(Md5Of(cut, c.dataPos), Md5Of(b, 44 + kDataBytes - 2 * kBytesPerSec));
    fs::remove(out);
}

}  // namespace
}  // namespace vt
