#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/VersionInfo.h"
#include "platform/ByteIO.h"
#include "tests/common/TestSupport.h"

namespace vt {
namespace {

using test::TempDir;
using test::WriteFile;

TEST(VersionInfo, LayoutPutsFixedInfoAtOffset40) {
    EXPECT_EQ(kFixedInfoOffset, 40u);
    const VersionBlock b = MakeVersionBlock({6, 0, 2, 1});
    EXPECT_EQ(GetU16LE(b.data()), 92);
    EXPECT_EQ(GetU16LE(b.data() + 2), 52);
    EXPECT_EQ(GetU32LE(b.data() + 40), kFixedInfoSignature);
    EXPECT_EQ(GetU32LE(b.data() + 48), 0x00060000u);  // file version, high part
    EXPECT_EQ(GetU32LE(b.data() + 52), 0x00020001u);  // low part
}

TEST(VersionInfo, TextShowsMajorMinorAndThirdNumber) {
    struct Case {
        FileVersion v;
        const char* text;
    };
    for (const Case& c : {Case{{6, 0, 2, 1}, "6.02"}, Case{{1, 1, 12, 0}, "1.112"},
                          Case{{1, 0, 0, 0}, "1.00"}, Case{{10, 20, 3, 65535}, "10.203"}}) {
        const VersionBlock b = MakeVersionBlock(c.v);
        EXPECT_EQ(VersionTextFromBlock(b), c.text);
        TempDir dir;
        const std::string path = (dir / "prog").string();
        std::vector<uint8_t> file(1000, 0xCC);
        file.insert(file.begin() + 500, b.begin(), b.end());
        WriteFile(path, file);
        EXPECT_EQ(GetFileVersionText(path), c.text);
    }
}

TEST(VersionInfo, BadBlocksGiveNoText) {
    VersionBlock zero = MakeVersionBlock({6, 0, 2, 1});
    PutU16LE(zero.data(), 0);
    EXPECT_EQ(VersionTextFromBlock(zero), "");
    // A length too short to hold the fixed information must not make the
    // reader look past the block.
    VersionBlock shortLen = MakeVersionBlock({6, 0, 2, 1});
    PutU16LE(shortLen.data(), 60);
    EXPECT_EQ(VersionTextFromBlock(shortLen), "");
    const VersionBlock good = MakeVersionBlock({6, 0, 2, 1});
    EXPECT_EQ(VersionTextFromBlock(std::span<const uint8_t>(good.data(), 80)), "");
    EXPECT_EQ(VersionTextFromBlock({}), "");
}

TEST(VersionInfo, FileScanFindsTheFirstValidBlock) {
    TempDir dir;
    // No block at all, and no file.
    WriteFile((dir / "plain"), std::vector<uint8_t>(200000, 0x56));
    EXPECT_EQ(GetFileVersionText((dir / "plain").string()), "");
    EXPECT_EQ(GetFileVersionText((dir / "missing").string()), "");
    WriteFile((dir / "empty"), std::vector<uint8_t>{});
    EXPECT_EQ(GetFileVersionText((dir / "empty").string()), "");

    // The key alone (as a string constant in code would be) is not a block;
    // a block that straddles the reader's 64 KiB pieces is still found.
    std::vector<uint8_t> file(65536 - 40, 0);
    VersionBlock fake = MakeVersionBlock({9, 9, 9, 9});
    PutU32LE(fake.data() + 40, 0);  // no signature
    std::memcpy(file.data() + 100, fake.data(), fake.size());
    const VersionBlock real = MakeVersionBlock({1, 1, 12, 0});
    file.insert(file.end(), real.begin(), real.end());
    file.resize(file.size() + 1000, 0xFF);
    WriteFile((dir / "straddle"), file);
    EXPECT_EQ(GetFileVersionText((dir / "straddle").string()), "1.112");

    // A truncated block at the very end of the file.
    std::vector<uint8_t> cut(300, 0);
    cut.insert(cut.end(), real.begin(), real.begin() + 70);
    WriteFile((dir / "cut"), cut);
    EXPECT_EQ(GetFileVersionText((dir / "cut").string()), "");
}

}  // namespace
}  // namespace vt
