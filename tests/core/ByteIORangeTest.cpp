// Positional reads (ReadAt) and range copies (CopyRange) of the I/O class:
// the same bytes whichever form does them, and the position and buffered
// writes left as they were.
#include <gtest/gtest.h>

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
