#include <gtest/gtest.h>

#include "platform/Profile.h"
#include "tests/common/TestSupport.h"

namespace vt {
namespace {

using test::TempDir;

void Put(const std::filesystem::path& p, const std::string& text) {
    test::WriteFile(p, std::vector<uint8_t>(text.begin(), text.end()));
}

TEST(Profile, ReadRules) {
    TempDir dir;
    auto ini = (dir / "a.ini").string();
    Put(ini,
        "orphan=before any section\r\n"
        "; comment=line\n"
        "[ Save ]\r\n"
        "  RegPos =  My Tools  \r\n"
        "Quoted=\"  padded  \"\n"
        "Single='x'\n"
        "Mixed=\"x'\n"
        "Empty=\n"
        "NoEquals\n"
        "Inline=value ; not a comment\n"
        "Dup=first\n"
        "Dup=second\n"
        "[other]\n"
        "RegPos=other\n"
        "[SAVE]\n"
        "Later=in a repeated section\n");
    struct Case {
        const char* section;
        const char* key;
        const char* expected;
    } cases[] = {
        {"SAVE", "RegPos", "My Tools"},
        {"save", "regpos", "My Tools"},
        {"SAVE", "Quoted", "  padded  "},
        {"SAVE", "Single", "x"},
        {"SAVE", "Mixed", "\"x'"},
        {"SAVE", "Empty", ""},
        {"SAVE", "NoEquals", ""},
        {"SAVE", "Inline", "value ; not a comment"},
        {"SAVE", "Dup", "first"},
        {"SAVE", "Later", "DEF"},  // only the first section of a name counts
        {"SAVE", "orphan", "DEF"},
        {"SAVE", "; comment", "DEF"},
        {"other", "RegPos", "other"},
        {"missing", "RegPos", "DEF"},
        {"SAVE", "missing", "DEF"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(GetPrivateProfileString(c.section, c.key, "DEF", ini), c.expected)
            << c.section << "/" << c.key;
}

TEST(Profile, MissingFileDefaultsAndLengthLimit) {
    TempDir dir;
    auto missing = (dir / "none.ini").string();
    EXPECT_EQ(GetPrivateProfileString("SAVE", "RegPos", "PARVEX", missing), "PARVEX");
    EXPECT_EQ(GetPrivateProfileString("SAVE", "RegPos", "PARVEX  ", missing), "PARVEX");
    EXPECT_EQ(GetPrivateProfileString("SAVE", "RegPos", "PARVEX", dir.path().string()),
              "PARVEX");  // a folder

    auto ini = (dir / "long.ini").string();
    std::string longAscii(600, 'a');
    std::string longKana;
    for (int i = 0; i < 600; ++i) longKana += "あ";
    Put(ini, "[S]\nA=" + longAscii + "\nK=" + longKana + "\n");
    EXPECT_EQ(GetPrivateProfileString("S", "A", "", ini), std::string(519, 'a'));
    std::string kana519;
    for (int i = 0; i < 519; ++i) kana519 += "あ";
    EXPECT_EQ(GetPrivateProfileString("S", "K", "", ini), kana519);  // characters, not bytes
    EXPECT_EQ(GetPrivateProfileString("S", "A", "", ini, 4), "aaa");
    EXPECT_EQ(GetPrivateProfileString("S", "missing", longAscii, ini).size(), 519u);
}

TEST(Profile, Utf16AndBom) {
    TempDir dir;
    auto u8 = dir / "u8.ini";
    Put(u8, "\xEF\xBB\xBF[SAVE]\nRegPos=ツール\n");
    EXPECT_EQ(GetPrivateProfileString("SAVE", "RegPos", "", u8.string()), "ツール");

    std::u16string text = u"[SAVE]\r\nRegPos=ツール\r\n";
    std::vector<uint8_t> bytes = {0xFF, 0xFE};
    for (char16_t c : text) {
        bytes.push_back(uint8_t(c));
        bytes.push_back(uint8_t(c >> 8));
    }
    auto u16 = dir / "u16.ini";
    test::WriteFile(u16, bytes);
    EXPECT_EQ(GetPrivateProfileString("SAVE", "RegPos", "", u16.string()), "ツール");
}

TEST(Profile, Integers) {
    TempDir dir;
    auto ini = (dir / "i.ini").string();
    Put(ini, "[N]\na=42\nb= -7x\nc=abc\nd=\ne=99999999999\n");
    EXPECT_EQ(GetPrivateProfileInt("N", "a", 5, ini), 42);
    EXPECT_EQ(GetPrivateProfileInt("N", "b", 5, ini), -7);
    EXPECT_EQ(GetPrivateProfileInt("N", "c", 5, ini), 0);
    EXPECT_EQ(GetPrivateProfileInt("N", "d", 5, ini), 5);
    EXPECT_EQ(GetPrivateProfileInt("N", "e", 5, ini), 2147483647);
    EXPECT_EQ(GetPrivateProfileInt("N", "none", 5, ini), 5);
}

TEST(Profile, WriteKeepsOtherLinesAndRejectsLineBreaks) {
    TempDir dir;
    auto ini = (dir / "w.ini").string();
    Put(ini, "; settings\n[SAVE]\nRegPos=old\nOther=1\n\n[X]\nK=v\n");
    ASSERT_TRUE(WritePrivateProfileString("save", "REGPOS", "new", ini));
    ASSERT_TRUE(WritePrivateProfileString("SAVE", "Added", "2", ini));
    ASSERT_TRUE(WritePrivateProfileString("New", "Key", "3", ini));
    ASSERT_TRUE(WritePrivateProfileString("X", "K", std::nullopt, ini));
    auto text = ReadSmallFile(ini, 1 << 20);
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, "; settings\n[SAVE]\nREGPOS=new\nOther=1\nAdded=2\n\n[X]\n[New]\nKey=3\n");
    EXPECT_EQ(GetPrivateProfileString("SAVE", "RegPos", "", ini), "new");

    EXPECT_FALSE(WritePrivateProfileString("SAVE", "RegPos", "a\nb", ini));
    EXPECT_FALSE(WritePrivateProfileString("SAVE", "a=b", "x", ini));
    EXPECT_FALSE(WritePrivateProfileString("", "k", "x", ini));
    EXPECT_EQ(GetPrivateProfileString("SAVE", "RegPos", "", ini), "new");

    auto fresh = (dir / "fresh.ini").string();
    ASSERT_TRUE(WritePrivateProfileString("SAVE", "RegPos", "T", fresh));
    EXPECT_EQ(GetPrivateProfileString("SAVE", "RegPos", "", fresh), "T");
    // Nothing but the file itself is left in the folder (no temporaries).
    size_t count = 0;
    for (auto& e : std::filesystem::directory_iterator(dir.path())) count += e.is_regular_file();
    EXPECT_EQ(count, 2u);
}

TEST(Profile, WriteThroughLinkKeepsModeAndLink) {
    TempDir dir;
    auto real = dir / "real.ini";
    Put(real, "[S]\nk=1\n");
    std::filesystem::permissions(real, std::filesystem::perms(0640));
    std::filesystem::create_symlink(real, dir / "link.ini");
    ASSERT_TRUE(WritePrivateProfileString("S", "k", "2", (dir / "link.ini").string()));
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.ini"));
    EXPECT_EQ(GetPrivateProfileString("S", "k", "", real.string()), "2");
    EXPECT_EQ(std::filesystem::status(real).permissions(), std::filesystem::perms(0640));
    // A folder is never replaced.
    EXPECT_FALSE(WritePrivateProfileString("S", "k", "2", dir.path().string()));
    EXPECT_FALSE(WritePrivateProfileString("S", "k", "2", ""));
}

}  // namespace
}  // namespace vt
