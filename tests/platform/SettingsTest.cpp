#include <gtest/gtest.h>

#include "core/Settings.h"
#include "core/ShellHelpers.h"
#include "tests/common/TestSupport.h"

namespace vt {
namespace {

void Put(const std::filesystem::path& p, const std::string& text) {
    test::WriteFile(p, std::vector<uint8_t>(text.begin(), text.end()));
}

TEST(Settings, RegistryKeyName) {
    test::TempDir dir;
    auto ini = dir / "Setting.ini";
    struct Case {
        const char* content;  // nullptr: no file
        const char* expected;
    } cases[] = {
        {nullptr, "PARVEX"},
        {"", "PARVEX"},
        {"[SAVE]\nRegPos=MyTools\n", "MyTools"},
        {"[save]\nregpos = My Tools \n", "My Tools"},
        {"[SAVE]\nOther=1\n", "PARVEX"},
        {"[LOAD]\nRegPos=MyTools\n", "PARVEX"},
        {"[SAVE]\nRegPos=\n", "PARVEX"},
        {"[SAVE]\nRegPos=Maker\\Tools\n", "Maker\\Tools"},  // a nested key, as the registry allows
    };
    for (const Case& c : cases) {
        std::filesystem::remove(ini);
        if (c.content) Put(ini, c.content);
        EXPECT_EQ(GetRegistryKeyName(ini.string()), c.expected) << (c.content ? c.content : "(none)");
    }
}

TEST(Settings, FileBesideTheProgram) {
    EXPECT_EQ(GetSettingsFilePath(), GetAppFolder() + "Setting.ini");
    // The test binary's folder has no settings file.
    EXPECT_EQ(GetRegistryKeyName(), "PARVEX");
}

TEST(Settings, IniCreateRoundTrip) {
    test::TempDir dir;
    auto path = (dir / "x.ini").string();
    Put(path, "[A]\nk=old\n");
    CIniCreate ini;
    ASSERT_TRUE(ini.CreateNew(path));
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(ini.GetString("A", "k", "d"), "d");
    EXPECT_TRUE(ini.WriteInt("A", "n", -12));
    EXPECT_TRUE(ini.WriteString("A", "s", "text"));
    CIniCreate reader;
    reader.SetFile(path);
    EXPECT_EQ(reader.GetInt("A", "n", 0), -12);
    EXPECT_EQ(reader.GetString("A", "s", ""), "text");
}

}  // namespace
}  // namespace vt
