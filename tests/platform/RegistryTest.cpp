#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

#include "platform/Profile.h"
#include "platform/Registry.h"
#include "tests/common/TestSupport.h"

namespace vt {
namespace {

using test::TempDir;

class RegistryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* old = std::getenv("XDG_CONFIG_HOME");
        if (old) saved_ = old;
        had_ = old != nullptr;
        setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1);
    }
    void TearDown() override {
        if (had_)
            setenv("XDG_CONFIG_HOME", saved_.c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
    }
    std::filesystem::path StoreFile() const { return dir_.path() / "vantorel" / "registry"; }

    TempDir dir_;
    std::string saved_;
    bool had_ = false;
};

constexpr auto HKCU = RegRoot::CurrentUser;

TEST_F(RegistryTest, StoreFollowsXdgConfigHome) {
    EXPECT_EQ(RegistryStore::DefaultPath(), StoreFile());
    setenv("XDG_CONFIG_HOME", "relative/path", 1);  // not absolute: ignored
    EXPECT_NE(RegistryStore::DefaultPath(), std::filesystem::path("relative/path/vantorel/registry"));
    setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1);
}

TEST_F(RegistryTest, DwordAndBinaryRoundTripAndTypeRules) {
    const char* key = "Software\\PARVEX\\AviVideoSettings";
    EXPECT_EQ(ReadRegDword(HKCU, key, "handler", 77), 77u);  // nothing stored yet
    EXPECT_FALSE(std::filesystem::exists(StoreFile()));      // reads create nothing

    WriteRegDword(HKCU, key, "handler", 0x12345678);
    EXPECT_EQ(ReadRegDword(HKCU, key, "handler", 0), 0x12345678u);
    EXPECT_EQ(ReadRegDword(HKCU, "software\\parvex\\avivideosettings", "HANDLER", 0), 0x12345678u);

    std::vector<uint8_t> blob = {0, 1, 2, '\n', '=', ']', 255};
    EXPECT_TRUE(WriteRegBinary(HKCU, key, "Avi Codec=1", blob.data(), blob.size()));
    size_t n = 99;
    auto back = ReadRegBinary(HKCU, key, "Avi Codec=1", &n);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, blob);
    EXPECT_EQ(n, blob.size());

    // A DWORD read of a binary value gives the default; a binary read of a
    // DWORD gives its four bytes.
    EXPECT_EQ(ReadRegDword(HKCU, key, "Avi Codec=1", 5), 5u);
    auto raw = ReadRegBinary(HKCU, key, "handler");
    ASSERT_TRUE(raw);
    EXPECT_EQ(*raw, (std::vector<uint8_t>{0x78, 0x56, 0x34, 0x12}));

    // Overwriting changes the type.
    WriteRegDword(HKCU, key, "Avi Codec=1", 3);
    EXPECT_EQ(ReadRegDword(HKCU, key, "Avi Codec=1", 5), 3u);

    // Empty binary value is a value.
    EXPECT_TRUE(WriteRegBinary(HKCU, key, "empty", nullptr, 0));
    auto empty = ReadRegBinary(HKCU, key, "empty", &n);
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->empty());
    EXPECT_EQ(n, 0u);
}

TEST_F(RegistryTest, ReadLimitAndMissingValues) {
    const char* key = "Software\\T";
    std::vector<uint8_t> exact(4096, 0xAB), over(4097, 0xCD);
    ASSERT_TRUE(WriteRegBinary(HKCU, key, "exact", exact.data(), exact.size()));
    ASSERT_TRUE(WriteRegBinary(HKCU, key, "over", over.data(), over.size()));
    size_t n = 1;
    EXPECT_TRUE(ReadRegBinary(HKCU, key, "exact", &n));
    EXPECT_EQ(n, 4096u);
    n = 1;
    EXPECT_FALSE(ReadRegBinary(HKCU, key, "over", &n));
    EXPECT_EQ(n, 0u);
    n = 1;
    EXPECT_FALSE(ReadRegBinary(HKCU, key, "none", &n));
    EXPECT_EQ(n, 0u);
    EXPECT_FALSE(ReadRegBinary(HKCU, "Software\\Nope", "exact"));
    EXPECT_FALSE(ReadRegBinary(HKCU, key, "exact", nullptr) == std::nullopt);
}

TEST_F(RegistryTest, InvalidPathsAndUnreadableStore) {
    uint8_t b = 1;
    const std::string bad[] = {"Software\\\\X", "\\Software", "Software\\", std::string(256, 'k')};
    for (const std::string& key : bad) EXPECT_FALSE(WriteRegBinary(HKCU, key, "v", &b, 1)) << key;

    // Path parts cannot climb out of the store: they are names, not folders.
    EXPECT_TRUE(WriteRegBinary(HKCU, "..\\..\\etc", "v", &b, 1));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()), {}), 1);

    // A foreign or damaged store is neither read nor overwritten.
    test::WriteFile(StoreFile(), {'n', 'o', 't', '\n'});
    EXPECT_EQ(ReadRegDword(HKCU, "Software\\T", "x", 9), 9u);
    EXPECT_FALSE(WriteRegBinary(HKCU, "Software\\T", "x", &b, 1));
    WriteRegDword(HKCU, "Software\\T", "x", 1);
    EXPECT_EQ(test::ReadFile(StoreFile()), (std::vector<uint8_t>{'n', 'o', 't', '\n'}));
}

TEST_F(RegistryTest, WritesLeaveACompleteStore) {
    RegistryStore store(dir_.path() / "other" / "reg");
    auto key = [](uint32_t i) { return std::string("Software\\K").append(std::to_string(i % 3)); };
    auto name = [](uint32_t i) { return std::string("v").append(std::to_string(i)); };
    for (uint32_t i = 0; i < 20; ++i) WriteRegDword(store, HKCU, key(i), name(i), i);
    for (uint32_t i = 0; i < 20; ++i) EXPECT_EQ(ReadRegDword(store, HKCU, key(i), name(i), 999), i);
    EXPECT_TRUE(store.KeyExists(HKCU, "Software"));
    EXPECT_TRUE(store.KeyExists(HKCU, "SOFTWARE\\k1"));
    EXPECT_FALSE(store.KeyExists(HKCU, "Software\\K3"));
    // Only the store and its lock file: no temporary left behind.
    std::set<std::string> names;
    for (auto& e : std::filesystem::directory_iterator(dir_.path() / "other"))
        names.insert(e.path().filename());
    EXPECT_EQ(names, (std::set<std::string>{"reg", "reg.lock"}));
    // The default store was not touched.
    EXPECT_FALSE(std::filesystem::exists(StoreFile()));
}

}  // namespace
}  // namespace vt
