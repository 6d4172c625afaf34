#include <gtest/gtest.h>

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
    EXPECT_FALSE(io.Skip(100));     // past the end: refused, position kept
    EXPECT_EQ(io.Tell(), 2u);
    std::vector<uint8_t> out;
    EXPECT_FALSE(io.ReadBytes(out, 0xFFFFFFF0u));  // a lying size never allocates
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(io.Write(bytes.data(), 1));       // borrowed memory is read-only
}

TEST(ByteIO, FileWritesSeeksAndReadsBackAcrossTheBuffer) {
    test::TempDir dir;
    const std::string path = (dir / "a.bin").string();
    {
        FileIO f;
        ASSERT_TRUE(f.Open(path, FileIO::Mode::Create, 4096));
        ASSERT_TRUE(f.WriteU32LE(0));              // placeholder, patched below
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

TEST(ByteIO, OpenFailures) {
    test::TempDir dir;
    FileIO f;
    EXPECT_FALSE(f.Open((dir / "missing").string(), FileIO::Mode::Read));
    EXPECT_FALSE(f.Open(dir.path().string(), FileIO::Mode::Read));  // a folder is not a file
    EXPECT_FALSE(f.Write("x", 1));
}
