// Owning buffers and holders.
#include <gtest/gtest.h>

#include "media/avi/MemBuff.h"

namespace vt {
namespace {

struct Rgb {
    uint8_t b, g, r, x;
};

TEST(MemBuff, BufferRules) {
    CMemBuffBase<unsigned char> empty;
    EXPECT_EQ(empty.GetData(), nullptr);
    EXPECT_EQ(empty.GetCount(), 0);
    EXPECT_EQ(empty.GetByteSize(), 0);
    EXPECT_EQ(empty.Fill(0, 0), 0);
    EXPECT_EQ(empty.Copy(reinterpret_cast<const unsigned char*>("x"), 1), 0);

    CMemBuffBase<unsigned char> b(8);
    ASSERT_NE(b.GetData(), nullptr);
    EXPECT_EQ(b.FillAll(0x5A), 1);
    EXPECT_EQ(b.Fill(1, 9), 0);  // more than the block
    unsigned char* block = b.GetData();
    EXPECT_EQ(b.ReSize(8), block);     // same count: untouched
    EXPECT_EQ(b.GetBuffer(4), block);  // never shrinks
    EXPECT_EQ(b.GetCount(), 8);
    EXPECT_EQ(b.GetData()[7], 0x5A);
    b.ReSize(0);  // keeps the block, counts 0
    EXPECT_NE(b.GetData(), nullptr);
    EXPECT_EQ(b.GetCount(), 0);
    EXPECT_EQ(b.Fill(0, 1), 0);
    ASSERT_NE(b.GetBuffer(16), nullptr);
    EXPECT_EQ(b.GetCount(), 16);
    CMemBuffBase<unsigned char> c(16);
    EXPECT_EQ(c.CopyFrom(b), 1);
    b.Free();
    EXPECT_EQ(b.GetData(), nullptr);
    EXPECT_EQ(b.GetCount(), 0);

    EXPECT_EQ(CMemBuffBase<wchar_t>(10).GetByteSize(), int(10 * sizeof(wchar_t)));
    CMemBuffBase<Rgb> colours(256);
    EXPECT_EQ(colours.GetByteSize(), 1024);
    EXPECT_EQ(colours.GetAt(3), colours.GetData() + 3);
}

struct Counted {
    explicit Counted(int* d = nullptr) : deaths(d) {}
    virtual ~Counted() {
        if (deaths) ++*deaths;
    }
    int* deaths;
};

TEST(MemBuff, Holders) {
    int deaths = 0;
    {
        CMemBuffClassBase<Counted> h;
        EXPECT_EQ(h.Get(), nullptr);
        h.Attach(new Counted(&deaths));
        Counted* held = h.Get();
        h.Attach(held);  // the same object: kept
        EXPECT_EQ(deaths, 0);
        h.Attach(new Counted(&deaths));  // the old one goes first
        EXPECT_EQ(deaths, 1);
    }
    EXPECT_EQ(deaths, 2);

    CMemBuffClassBaseConst<Counted> ready;
    EXPECT_NE(ready.Get(), nullptr);

    CMemBuffClassArrayBase<Counted> arr;
    arr.Alloc(3);
    ASSERT_NE(arr.Get(), nullptr);
    EXPECT_EQ(arr.GetCount(), 3);
    for (int i = 0; i < 3; ++i) arr[i].deaths = &deaths;
    arr.Alloc(0);  // deletes every element, holds nothing
    EXPECT_EQ(deaths, 5);
    EXPECT_EQ(arr.Get(), nullptr);
    EXPECT_EQ(arr.GetCount(), 0);
    arr.Alloc(2);
    arr.Release();
    EXPECT_EQ(arr.GetCount(), 2);  // the count stays
}

}  // namespace
}  // namespace vt
