#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

#include "platform/ByteIO.h"
#include "tests/common/TestSupport.h"

using namespace vt;

TEST(ByteIO, EndianReadsAndBoundedSkip) {
    std::vector<uint8_t> bytes = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09};
    MemoryIO io{std::span<const uint8_t>(bytes)};
    uint32_t le = 0, be = 0;
    uint16_t s = 0;
    ASSERT_TRUE(io.ReadU32LE(le));
    EXPECT_EQ(le, 0x04030201u);
    ASSERT_TRUE(io.ReadU32BE(be));
    EXPECT_EQ(be, 0x05060708u);
    EXPECT_FALSE(io.ReadU16LE(s));  // one byte left
    io.Seek(2);
    EXPECT_FALSE(io.Skip(100));  // past the end: refused, position kept
    EXPECT_EQ(io.Tell(), 2u);
    std::vector<uint8_t> out;
    EXPECT_FALSE(io.ReadBytes(out, 0xFFFFFFF0u));  // a lying size never allocates
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(io.Write(bytes.data(), 1));  // borrowed memory is read-only
}

TEST(ByteIO, FileWritesSeeksAndReadsBackAcrossTheBuffer) {
    test::TempDir dir;
    const std::string path = (dir / "a.bin").string();
    {
        FileIO f;
        ASSERT_TRUE(f.Open(path, FileIO::Mode::Create, 4096));
        ASSERT_TRUE(f.WriteU32LE(0));  // placeholder, patched below
        std::vector<uint8_t> big(10000);
        for (size_t i = 0; i < big.size(); ++i) big[i] = uint8_t(i * 7);
        ASSERT_TRUE(f.Write(big.data(), big.size()));  // larger than the buffer
        ASSERT_TRUE(f.WriteU16BE(0xABCD));
        uint64_t end = f.Tell();
        ASSERT_TRUE(f.Seek(0));
        ASSERT_TRUE(f.WriteU32LE(uint32_t(end)));
        ASSERT_TRUE(f.Seek(end));
        ASSERT_TRUE(f.WriteU8(0x5A));
        EXPECT_EQ(f.Size(), end + 1);
        ASSERT_TRUE(f.Close());
    }
    FileIO f;
    ASSERT_TRUE(f.Open(path, FileIO::Mode::Read, 4096));
    uint32_t len = 0;
    ASSERT_TRUE(f.ReadU32LE(len));
    EXPECT_EQ(len, 4u + 10000u + 2u);
    ASSERT_TRUE(f.Seek(4 + 9999));
    uint8_t b = 0;
    ASSERT_TRUE(f.ReadU8(b));
    EXPECT_EQ(b, uint8_t(9999 * 7));
    uint16_t tail = 0;
    ASSERT_TRUE(f.ReadU16BE(tail));
    EXPECT_EQ(tail, 0xABCD);
    ASSERT_TRUE(f.ReadU8(b));
    EXPECT_EQ(b, 0x5A);
    EXPECT_TRUE(f.AtEnd());
    EXPECT_EQ(f.Read(&b, 1), 0u);
}

// Reads of every size, sequential and after seeks, must see the file's bytes
// whatever path they take (from the buffer, filling it, or straight from the file).
TEST(ByteIO, FileReadsAnyPatternGiveTheFileBytes) {
    test::TempDir dir;
    const std::string path = (dir / "p.bin").string();
    std::vector<uint8_t> data(200000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t((i * 131) ^ (i >> 9));
    {
        FileIO w;
        ASSERT_TRUE(w.Open(path, FileIO::Mode::Create));
        ASSERT_TRUE(w.Write(data.data(), data.size()));
        ASSERT_TRUE(w.Close());
    }
    constexpr uint64_t kHere = ~0ull;  // read on from where the last read stopped
    struct Step {
        uint64_t at;
        size_t n;
        size_t expect;
        uint64_t willRead = 0;  // WillRead's end, given after the seek (0: none)
    };
    const Step steps[] = {
        {0, 8, 8},               // small read: fills the buffer
        {kHere, 5000, 5000},     // mid-size, sequential: from the buffer
        {20000, 4104, 4104},     // mid-size after a seek
        {kHere, 8, 8},           // small read right after it
        {kHere, 30000, 30000},   // runs on past what the buffer held
        {65530, 12, 12},         // small read across the buffer's edge
        {4096, 4096, 4096},      // seek backwards
        {100000, 70000, 70000},  // larger than the buffer
        {kHere, 4096, 4096},
        {199990, 4096, 10},  // short at the end
        {kHere, 4096, 0},
        {250000, 5000, 0},  // past the end
        {199999, 1, 1},
        {30000, 8, 8},        // small read after a seek: fills only a little of the buffer
        {kHere, 6000, 6000},  // runs on past that little: the rest of the buffer fills
        {kHere, 8, 8},
        {150000, 100, 100},  // a seek into what the buffer held is no new fill
        {150200, 100, 100},
        {40000, 500, 500, 40500},      // told that nothing follows: just this read
        {40600, 500, 500, 41100},      //
        {50000, 500, 500, 58000},      // told that more follows close by: one fill...
        {53000, 5000, 5000, 58000},    // ...that holds this one
        {60000, 6000, 6000, 60000},    // a hint behind the read is no hint
        {199000, 4096, 1000, 250000},  // a hint past the end
        {kHere, 10, 0},
    };
    FileIO f;
    ASSERT_TRUE(f.Open(path, FileIO::Mode::Read, 64 << 10));
    std::vector<uint8_t> got;
    for (size_t i = 0; i < std::size(steps); ++i) {
        const Step& s = steps[i];
        SCOPED_TRACE("step " + std::to_string(i));
        if (s.at != kHere) {
            ASSERT_TRUE(f.Seek(s.at));
        }
        if (s.willRead) f.WillRead(s.willRead);
        const uint64_t from = f.Tell();
        got.assign(s.n, 0xEE);
        ASSERT_EQ(f.Read(got.data(), s.n), s.expect);
        EXPECT_EQ(f.Tell(), from + s.expect);
        EXPECT_TRUE(std::equal(got.begin(), got.begin() + long(s.expect), data.begin() + long(from)));
    }
}

// Writes of every size, appended or over earlier bytes, must leave the bytes
// written whatever path they take (into the buffer, or straight to the file
// together with the bytes pending before them).
TEST(ByteIO, FileWritesAnyPatternGiveTheBytes) {
    struct Step {
        int64_t at;  // -1: where the last write stopped
        size_t n;
    };
    const Step steps[] = {
        {-1, 8},       // a chunk header, pending
        {-1, 40000},   // a large payload: out with the header in one call
        {-1, 1},       // padding
        {-1, 70000},   // larger than the buffer, a little pending before it
        {-1, 100},     //
        {4, 4},        // patch a size field behind the buffer
        {-1, 50000},   // a large write over earlier bytes
        {150000, 5},   // back to the end...
        {-1, 33000},   // ...and a large one after a small one there
        {200000, 40},  // past the end: the gap reads as zeros
    };
    for (size_t bufferSize : {size_t(4096), size_t(64 << 10)}) {
        SCOPED_TRACE("buffer " + std::to_string(bufferSize));
        test::TempDir dir;
        const std::string path = (dir / "w.bin").string();
        std::vector<uint8_t> model;
        FileIO f;
        ASSERT_TRUE(f.Open(path, FileIO::Mode::Create, bufferSize));
        uint64_t pos = 0;
        uint8_t value = 1;
        for (const Step& s : steps) {
            if (s.at >= 0) {
                pos = uint64_t(s.at);
                ASSERT_TRUE(f.Seek(pos));
            }
            std::vector<uint8_t> bytes(s.n);
            for (auto& b : bytes) b = value++;
            ASSERT_TRUE(f.Write(bytes.data(), bytes.size()));
            if (model.size() < pos + s.n) model.resize(pos + s.n);
            std::copy(bytes.begin(), bytes.end(), model.begin() + long(pos));
            pos += s.n;
            EXPECT_EQ(f.Tell(), pos);
            EXPECT_EQ(f.Size(), model.size());
        }
        ASSERT_TRUE(f.Close());
        EXPECT_EQ(test::ReadFile(path), model);
    }
}

// Ranges of one file copied into another (inside the system) or from memory
// (through a buffer) land after what is pending, and a range the source does
// not hold is refused before anything is written.
TEST(ByteIO, CopyRangeBetweenFiles) {
    test::TempDir dir;
    const std::string inPath = (dir / "in.bin").string(), outPath = (dir / "out.bin").string();
    std::vector<uint8_t> data(300000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t((i * 17) ^ (i >> 8));
    {
        FileIO w;
        ASSERT_TRUE(w.Open(inPath, FileIO::Mode::Create));
        ASSERT_TRUE(w.Write(data.data(), data.size()));
        ASSERT_TRUE(w.Close());
    }
    FileIO in;
    ASSERT_TRUE(in.Open(inPath, FileIO::Mode::Read, 32 << 10));
    MemoryIO mem{std::span<const uint8_t>(data)};
    struct Step {
        ByteIO* src;
        uint64_t at;
        uint64_t n;
        ByteIO::Copied expect;
    };
    const Step steps[] = {
        {&in, 1000, 98000, ByteIO::Copied::Ok},         // a frame
        {&in, 7, 1, ByteIO::Copied::Ok},                // one byte
        {&in, 299990, 10, ByteIO::Copied::Ok},          // up to the end
        {&mem, 5000, 70000, ByteIO::Copied::Ok},        // from memory: through a buffer
        {&in, 299990, 11, ByteIO::Copied::ReadFailed},  // one byte past the end
        {&mem, 400000, 1, ByteIO::Copied::ReadFailed},
        {&in, 0, 0, ByteIO::Copied::Ok},
    };
    FileIO out;
    ASSERT_TRUE(out.Open(outPath, FileIO::Mode::Create, 64 << 10));
    std::vector<uint8_t> model;
    for (size_t i = 0; i < std::size(steps); ++i) {
        const Step& s = steps[i];
        SCOPED_TRACE("step " + std::to_string(i));
        ASSERT_TRUE(out.WriteU32LE(uint32_t(i)));  // pending before the copy
        for (int k = 0; k < 4; ++k) model.push_back(uint8_t(i >> (8 * k)));
        ASSERT_EQ(out.CopyRange(*s.src, s.at, s.n), s.expect);
        if (s.expect == ByteIO::Copied::Ok)
            model.insert(model.end(), data.begin() + long(s.at), data.begin() + long(s.at + s.n));
        EXPECT_EQ(out.Tell(), model.size());
    }
    ASSERT_TRUE(out.Close());
    EXPECT_EQ(test::ReadFile(outPath), model);
}

// In read-write mode a read after a write sees the new bytes, never what an
// earlier read left in the buffer.
TEST(ByteIO, FileReadAfterWriteSeesTheNewBytes) {
    test::TempDir dir;
    const std::string path = (dir / "rw.bin").string();
    {
        FileIO w;
        ASSERT_TRUE(w.Open(path, FileIO::Mode::Create));
        ASSERT_TRUE(w.WriteZeros(100000));
        ASSERT_TRUE(w.Close());
    }
    FileIO f;
    ASSERT_TRUE(f.Open(path, FileIO::Mode::ReadWrite, 64 << 10));
    std::vector<uint8_t> got(6000);
    ASSERT_TRUE(f.Seek(1000));
    ASSERT_TRUE(f.ReadExact(got.data(), 16));  // the buffer now holds zeros from 1000 on
    const std::vector<uint8_t> ones(6000, 1);
    ASSERT_TRUE(f.Seek(2000));
    ASSERT_TRUE(f.Write(ones.data(), ones.size()));
    ASSERT_TRUE(f.Seek(2000));
    ASSERT_TRUE(f.ReadExact(got.data(), got.size()));
    EXPECT_EQ(got, ones);
    ASSERT_TRUE(f.Seek(1990));
    ASSERT_TRUE(f.ReadExact(got.data(), 20));
    EXPECT_EQ(std::vector<uint8_t>(got.begin(), got.begin() + 20),
              (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}));
    ASSERT_TRUE(f.Close());
}

TEST(ByteIO, OpenFailures) {
    test::TempDir dir;
    FileIO f;
    EXPECT_FALSE(f.Open((dir / "missing").string(), FileIO::Mode::Read));
    EXPECT_FALSE(f.Open(dir.path().string(), FileIO::Mode::Read));  // a folder is not a file
    EXPECT_FALSE(f.Write("x", 1));
}
