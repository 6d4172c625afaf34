// The in-memory byte reader and writer, the RIFF chunk walker and the AVI
// records: bounds, sticky failure, odd sizes, cut-off chunks and lists.
#include <gtest/gtest.h>

#include <vector>

#include "platform/AviRecords.h"
#include "platform/Bytes.h"
#include "platform/Riff.h"

namespace vt {
namespace {

TEST(ByteReader, ValuesAndStickyFailure) {
    const uint8_t b[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09};
    ByteReader r(b, sizeof b);
    EXPECT_EQ(r.U16LE(), 0x0201);
    EXPECT_EQ(r.U24BE(), 0x030405u);
    EXPECT_EQ(r.U32BE(), 0x06070809u);
    EXPECT_TRUE(r.Ok());
    EXPECT_EQ(r.Remaining(), 0u);
    // A read past the end fails, reads 0 and leaves the reader failed.
    EXPECT_EQ(r.U8(), 0);
    EXPECT_FALSE(r.Ok());
    r.Seek(0);
    EXPECT_EQ(r.U8(), 0);
    EXPECT_FALSE(r.Ok());

    ByteReader shortRead(b, 3);
    EXPECT_EQ(shortRead.U32LE(), 0u);  // not all there: nothing is taken
    EXPECT_FALSE(shortRead.Ok());
    EXPECT_TRUE(ByteReader(b, 3).Bytes(4).empty());
}

TEST(ByteWriter, ValuesAndPatches) {
    ByteWriter w;
    w.U32LE(0x04030201);
    const size_t at = w.Pos();
    w.U32BE(0);
    w.U64LE(0x0807060504030201ull);
    w.PatchU32BE(at, 0x0A0B0C0D);
    w.PatchU32LE(100, 1);  // never written there: ignored
    const std::vector<uint8_t> want = {1, 2, 3, 4, 0x0A, 0x0B, 0x0C, 0x0D, 1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(w.Data(), want);
    ByteReader r(w.Data());
    r.Skip(8);
    EXPECT_EQ(r.U64LE(), 0x0807060504030201ull);
}

std::vector<uint8_t> Chunks() {
    ByteWriter w;
    w.U32LE(MakeFourCC('a', 'b', 'c', 'd'));  // odd size: a pad byte follows
    w.U32LE(3);
    w.Bytes("xyz", 3);
    w.U8(0);
    w.U32LE(kFourCCList);  // LIST 'rec ' holding one chunk
    w.U32LE(4 + 8 + 2);
    w.U32LE(MakeFourCC('r', 'e', 'c', ' '));
    w.U32LE(MakeFourCC('0', '0', 'd', 'c'));
    w.U32LE(2);
    w.U16LE(0x7777);
    w.U32LE(MakeFourCC('l', 'a', 's', 't'));  // runs past the end
    w.U32LE(100);
    w.U32LE(0);
    return w.Take();
}

TEST(RiffWalker, FindsChunksListsAndStopsAtACutOffOne) {
    MemoryIO io(Chunks());
    RiffWalker walker(io, 0, io.Size());
    RiffEntry e;
    ASSERT_TRUE(walker.Next(e));
    EXPECT_EQ(e.id, MakeFourCC('a', 'b', 'c', 'd'));
    EXPECT_TRUE(e.Fits());
    EXPECT_EQ(io.Tell(), e.DataPos());

    ASSERT_TRUE(walker.Next(e));
    EXPECT_EQ(e.pos, 12u);  // after the pad byte
    ASSERT_TRUE(e.IsList(MakeFourCC('r', 'e', 'c', ' ')));
    RiffWalker inner = walker.Inside(e);
    EXPECT_EQ(inner.Depth(), 1);
    RiffEntry c;
    ASSERT_TRUE(inner.Next(c));
    EXPECT_EQ(c.id, MakeFourCC('0', '0', 'd', 'c'));
    EXPECT_EQ(c.size, 2u);
    EXPECT_FALSE(inner.Next(c));
    EXPECT_FALSE(inner.Failed());

    ASSERT_TRUE(walker.Next(e));  // the outer walk goes on where it was
    EXPECT_EQ(e.id, MakeFourCC('l', 'a', 's', 't'));
    EXPECT_FALSE(e.Fits());
    EXPECT_EQ(e.DataEnd(), io.Size());
    EXPECT_FALSE(walker.Next(e));  // nothing past a chunk that runs out of the range
    EXPECT_FALSE(walker.Failed());
}

TEST(RiffWalker, ShortRangesAndCutOffListTypes) {
    // Fewer than 8 bytes: no chunk.
    MemoryIO tiny(std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7});
    RiffEntry e;
    EXPECT_FALSE(RiffWalker(tiny, 0, tiny.Size()).Next(e));
    // A LIST header at the very end: its type is not there to read.
    ByteWriter w;
    w.U32LE(kFourCCList);
    w.U32LE(20);
    MemoryIO cut(w.Take());
    RiffWalker walker(cut, 0, cut.Size());
    ASSERT_TRUE(walker.Next(e));
    EXPECT_FALSE(e.typed);
    EXPECT_FALSE(e.Fits());
    // A range that ends before the file does bounds the chunks, not the file.
    MemoryIO io(Chunks());
    RiffWalker first(io, 0, 11);
    ASSERT_TRUE(first.Next(e));
    EXPECT_TRUE(e.Fits());
    EXPECT_FALSE(first.Next(e));
}

TEST(AviRecords, StreamAndMainHeadersRoundTrip) {
    AviStreamInfo in;
    in.fccType = kStreamTypeVideo;
    in.fccHandler = MakeFourCC('X', 'V', 'I', 'D');
    in.dwScale = 1001;
    in.dwRate = 30000;
    in.dwLength = 1234;
    in.rcRight = 320;
    in.rcBottom = -2;
    ByteWriter w;
    RenderStrh(w, in);
    ASSERT_EQ(w.Pos(), kStrhBytes);
    AviStreamInfo out;
    ParseStrh(w.Data(), true, out);
    EXPECT_EQ(out.fccHandler, in.fccHandler);
    EXPECT_EQ(out.dwScale, 1001u);
    EXPECT_EQ(out.dwLength, 1234u);
    EXPECT_EQ(out.rcRight, 320);
    EXPECT_EQ(out.rcBottom, -2);
    AviStreamInfo noRect;
    ParseStrh(w.Data(), false, noRect);
    EXPECT_EQ(noRect.rcRight, 0);

    AvihRecord a;
    a.usecPerFrame = 40000;
    a.streams = 2;
    a.height = 576;
    ByteWriter h;
    RenderAvih(h, a);
    ASSERT_EQ(h.Pos(), kAvihBytes);
    const AvihRecord back = ParseAvih(h.Data());
    EXPECT_EQ(back.usecPerFrame, 40000u);
    EXPECT_EQ(back.streams, 2u);
    EXPECT_EQ(back.height, 576u);

    ByteWriter ix;
    RenderStdEntry(ix, {100, 0x1234, false});
    ByteReader r(ix.Data());
    const StdEntry se = ParseStdEntry(r);
    EXPECT_EQ(se.offset, 100u);
    EXPECT_EQ(se.size, 0x1234u);
    EXPECT_FALSE(se.key);
}

}  // namespace
}  // namespace vt
