// Positional reads (ReadAt) and range copies (CopyRange) of the I/O class:
// the same bytes whichever form does them, and the position and buffered
// writes left as they were.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/ByteIO.h"
#include "tests/common/TestSupport.h"

using namespace vt;
using vt::test::ReadFile;
using vt::test::TempDir;
using vt::test::WriteFile;

namespace {

std::vector<uint8_t> Pattern(size_t n, uint32_t seed) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) {
        seed = seed * 1103515245u + 12345u;
        v[i] = uint8_t(seed >> 16);
    }
    return v;
}

}  // namespace

TEST(ByteIORange, ReadAtLeavesThePositionAndSeesPendingWrites) {
    TempDir dir;
    const auto bytes = Pattern(300000, 1);
    WriteFile(dir / "in.bin", bytes);
    FileIO file;
    ASSERT_TRUE(file.Open((dir / "in.bin").string(), FileIO::Mode::ReadWrite, 4096));
    MemoryIO memory{std::span<const uint8_t>(bytes)};
    for (ByteIO* io : {static_cast<ByteIO*>(&file), static_cast<ByteIO*>(&memory)}) {
        ASSERT_TRUE(io->Seek(1000));
        uint8_t one = 0;
        ASSERT_TRUE(io->ReadU8(one));
        struct Case {
            uint64_t pos;
            size_t n, want;
        } cases[] = {{0, 15, 15}, {123456, 70000, 70000}, {299990, 100, 10}, {300000, 5, 0}, {900000, 5, 0}};
        for (const auto& c : cases) {
            std::vector<uint8_t> got(c.n);
            ASSERT_EQ(io->ReadAt(c.pos, got.data(), c.n), c.want) << c.pos;
            EXPECT_TRUE(
                std::equal(got.begin(), got.begin() + ptrdiff_t(c.want), bytes.begin() + ptrdiff_t(c.pos)))
                << c.pos;
            EXPECT_EQ(io->Tell(), 1001u);  // where the reads left it
        }
        ASSERT_TRUE(io->ReadU8(one));
        EXPECT_EQ(one, bytes[1001]);
    }
    // Bytes still in the write buffer are read as written.
    ASSERT_TRUE(file.Seek(5000));
    ASSERT_TRUE(file.Write("abc", 3));
    char got[3] = {};
    ASSERT_EQ(file.ReadAt(5000, got, 3), 3u);
    EXPECT_EQ(std::string(got, 3), "abc");
}

TEST(ByteIORange, CopyRangeGivesTheSourceBytesBetweenBufferedWrites) {
    TempDir dir;
    const auto src = Pattern(3 << 20, 7);
    WriteFile(dir / "src.bin", src);
    FileIO fileSource;
    ASSERT_TRUE(fileSource.Open((dir / "src.bin").string(), FileIO::Mode::Read, 4096));
    MemoryIO memorySource{std::span<const uint8_t>(src)};

    struct Piece {
        uint64_t from, n;
    } pieces[] = {{0, 11}, {17, 70000}, {(1 << 20) + 3, (2 << 20) - 3}, {(3 << 20) - 4, 4}};
    for (ByteIO* source : {static_cast<ByteIO*>(&fileSource), static_cast<ByteIO*>(&memorySource)}) {
        SCOPED_TRACE(source == &fileSource ? "from a file" : "from memory");
        FileIO out;
        const auto path = dir / "out.bin";
        ASSERT_TRUE(out.Open(path.string(), FileIO::Mode::Create, 4096));
        std::vector<uint8_t> want;
        for (const auto& p : pieces) {
            // A buffered write before each copy, and one written over it after.
            ASSERT_TRUE(out.Write("head", 4));
            want.insert(want.end(), {'h', 'e', 'a', 'd'});
            const uint64_t at = out.Tell();
            ASSERT_EQ(out.CopyRange(*source, p.from, p.n), ByteIO::Copied::Ok);
            want.insert(want.end(), src.begin() + ptrdiff_t(p.from), src.begin() + ptrdiff_t(p.from + p.n));
            EXPECT_EQ(out.Tell(), want.size());
            ASSERT_TRUE(out.Seek(at) && out.Write("X", 1) && out.Seek(want.size()));
            want[at] = 'X';
        }
        EXPECT_EQ(source->Tell(), 0u);
        EXPECT_EQ(out.Size(), want.size());
        ASSERT_TRUE(out.Close());
        EXPECT_EQ(ReadFile(path), want);
    }
    // A range past the source's end fails.
    FileIO out;
    ASSERT_TRUE(out.Open((dir / "short.bin").string(), FileIO::Mode::Create));
    EXPECT_EQ(out.CopyRange(fileSource, (3 << 20) - 10, 20), ByteIO::Copied::ReadFailed);
}

// Many small ranges with small writes between them are queued and written in
// batches: the file gets them in order however often the queue fills, and a
// read, a seek back over queued bytes, a large write and a range that goes
// past the end of a source cut short under it all see (or keep) the order.
TEST(ByteIORange, SmallRangesQueuedBetweenWritesLandInOrder) {
    TempDir dir;
    const auto src = Pattern(4 << 20, 3);
    WriteFile(dir / "src.bin", src);
    FileIO in;
    ASSERT_TRUE(in.Open((dir / "src.bin").string(), FileIO::Mode::Read, 32 << 10));
    FileIO out;
    const auto path = dir / "out.bin";
    ASSERT_TRUE(out.Open(path.string(), FileIO::Mode::Create));
    std::vector<uint8_t> want;
    auto write = [&](const std::vector<uint8_t>& bytes) {
        ASSERT_TRUE(out.Write(bytes.data(), bytes.size()));
        want.insert(want.end(), bytes.begin(), bytes.end());
    };
    uint32_t seed = 5;
    uint64_t from = 0;
    for (int i = 0; i < 600; ++i) {
        SCOPED_TRACE(i);
        seed = seed * 1103515245u + 12345u;
        const uint64_t n = 1 + (seed >> 8) % 30000;  // a frame or an audio chunk, odd or even
        write({uint8_t('0' + i % 10), 'd', 'c', uint8_t(n)});
        from = (from + n / 3 + 4093) % (src.size() - n);
        ASSERT_EQ(out.CopyRange(in, from, n), ByteIO::Copied::Ok);
        want.insert(want.end(), src.begin() + ptrdiff_t(from), src.begin() + ptrdiff_t(from + n));
        ASSERT_EQ(out.Tell(), want.size());
        if (n & 1) write({0});
        if (i % 97 == 50) {  // a read sees everything so far
            std::vector<uint8_t> got(want.size());
            ASSERT_EQ(out.ReadAt(0, got.data(), got.size()), got.size());
            ASSERT_EQ(got, want);
        }
        if (i % 101 == 70) {  // a byte of an earlier range written over
            const uint64_t back = want.size() - n / 2 - 1;
            ASSERT_TRUE(out.Seek(back) && out.Write("#", 1) && out.Seek(want.size()));
            want[back] = '#';
        }
        if (i % 151 == 100) write(Pattern(100000, uint32_t(i)));  // straight to the file
    }
    EXPECT_EQ(out.Size(), want.size());
    // The source loses its end: the part it still holds is copied, the rest is
    // a read failure, and the output's position is after what was copied.
    std::filesystem::resize_file(dir / "src.bin", src.size() - 1000);
    const uint64_t at = want.size();
    EXPECT_EQ(out.CopyRange(in, src.size() - 21000, 20500), ByteIO::Copied::ReadFailed);
    EXPECT_EQ(out.Tell(), at + 20000);
    want.insert(want.end(), src.end() - 21000, src.end() - 1000);
    write({'e', 'n', 'd'});
    ASSERT_TRUE(out.Close());
    EXPECT_EQ(ReadFile(path), want);
}
