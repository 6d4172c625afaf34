// The writer's codec settings record in the registry store.
#include <gtest/gtest.h>

#include <cstdlib>

#include "media/avi/EncAVI.h"
#include "platform/Registry.h"
#include "tests/common/TestSupport.h"

namespace vt::test {
namespace {

// Writers made with the default constructor use the user's registry: keep this
// test binary's writers in a store of its own.
struct OwnRegistry {
    OwnRegistry() {
        static TempDir* dir = new TempDir;
        ::setenv("XDG_CONFIG_HOME", dir->path().c_str(), 1);
    }
} ownRegistry;

TEST(AviSettings, HandlerWrittenOnFirstExitAndValuesKept) {
    TempDir dir;
    std::string file = (dir / "registry").string();
    auto store = std::make_shared<RegistryAviSettingStore>("PARVEX", file);
    RegistryStore reg(file);
    EXPECT_EQ(store->SubKey(), "Software\\PARVEX\\AviVideoSettings");
    {
        CEncAVIAudio w(store);
        EXPECT_EQ(w.Settings().handler, MakeFourCC('D', 'I', 'B', ' '));
        EXPECT_EQ(w.Settings().quality, 100);
        EXPECT_EQ(w.Settings().keyFrameInterval, 15);
        EXPECT_EQ(w.Settings().dataRate, 300);
        EXPECT_EQ(w.Settings().stateSize, 0);
        EXPECT_FALSE(reg.GetValue(RegRoot::CurrentUser, store->SubKey(), "handler"));
    }
    auto handler = reg.GetValue(RegRoot::CurrentUser, store->SubKey(), "handler");
    ASSERT_TRUE(handler);
    EXPECT_EQ(handler->type, RegType::Dword);
    EXPECT_EQ(GetU32LE(handler->data.data()), MakeFourCC('D', 'I', 'B', ' '));
    EXPECT_FALSE(reg.GetValue(RegRoot::CurrentUser, store->SubKey(), "AviCodec"));

    // Stored blocks are read and written back unchanged; the audio format
    // keeps its own length (cbSize + 18).
    std::vector<uint8_t> state = {1, 2, 3, 4, 5};
    std::vector<uint8_t> audio(30, 0);
    PutU16LE(&audio[0], 0x55);
    PutU16LE(&audio[16], 12);  // cbSize
    reg.SetValue(RegRoot::CurrentUser, store->SubKey(), "AviCodec", {RegType::Binary, state});
    reg.SetValue(RegRoot::CurrentUser, store->SubKey(), "AudioCodec", {RegType::Binary, audio});
    reg.SetValue(RegRoot::CurrentUser, store->SubKey(), "handler", {RegType::Binary, {1, 2}});  // not a DWORD
    {
        CEncAVI w(store);
        EXPECT_EQ(w.Settings().stateSize, 5);
        EXPECT_EQ(w.Settings().stateBlock, state);
        EXPECT_EQ(w.Settings().audioFormat, audio);
        EXPECT_EQ(w.Settings().handler, MakeFourCC('D', 'I', 'B', ' '));
    }
    EXPECT_EQ(reg.GetValue(RegRoot::CurrentUser, store->SubKey(), "AviCodec")->data, state);
    EXPECT_EQ(reg.GetValue(RegRoot::CurrentUser, store->SubKey(), "AudioCodec")->data, audio);
    EXPECT_EQ(reg.GetValue(RegRoot::CurrentUser, store->SubKey(), "handler")->type, RegType::Dword);

    // A value over 4096 bytes is not taken.
    reg.SetValue(RegRoot::CurrentUser, store->SubKey(), "AviCodec",
                 {RegType::Binary, std::vector<uint8_t>(5000, 7)});
    CEncAVISetting big(store);
    EXPECT_EQ(big.stateSize, 0);
    EXPECT_TRUE(big.stateBlock.empty());
}

TEST(AviSettings, DefaultWritersUseTheUserStore) {
    { CEncAVIAudio w; }
    RegistryStore reg(RegistryStore::DefaultPath());
    EXPECT_TRUE(reg.GetValue(RegRoot::CurrentUser, "Software\\PARVEX\\AviVideoSettings", "handler"));
}

}  // namespace
}  // namespace vt::test
