// Where the program finds its user guide and settings file, in the build tree
// and once installed under a prefix.
#include <gtest/gtest.h>

#include "core/InstallPaths.h"
#include "core/Settings.h"
#include "tests/common/TestSupport.h"

namespace vt {
namespace {

void Put(const std::filesystem::path& p, const std::string& text) {
    std::filesystem::create_directories(p.parent_path());
    test::WriteFile(p, std::vector<uint8_t>(text.begin(), text.end()));
}

TEST(InstallPaths, PrefixAndConfigurationFolder) {
    struct Case {
        const char* appFolder;
        const char* prefix;  // "" when not an installed program
    } cases[] = {
        {"/usr/bin/", "/usr/"},
        {"/usr/local/bin/", "/usr/local/"},
        {"/bin/", "/"},
        {"/home/u/vantorel/build/app/", ""},  // the build tree
        {"/home/u/vantorel/build/tests/platform/", ""},
        {"/usr/sbin/", ""},  // "bin" must be a whole folder name
        {"/opt/bin-tools/", ""},
        {"bin/", ""},  // not a full path
        {"/", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(InstallPrefixOf(c.appFolder), c.prefix) << c.appFolder;

    EXPECT_EQ(SysconfDirOf("/usr/"), "/etc/");
    EXPECT_EQ(SysconfDirOf("/"), "/etc/");
    EXPECT_EQ(SysconfDirOf("/usr/local/"), "/usr/local/etc/");
    EXPECT_EQ(SysconfDirOf("/opt/vantorel/"), "/etc/opt/vantorel/");
    EXPECT_EQ(SysconfDirOf("/home/u/.local/"), "/home/u/.local/etc/");
}

TEST(InstallPaths, HelpFileBesideTheProgramThenInTheDocumentationFolder) {
    test::TempDir dir;
    const std::string root = dir.path().string() + "/";
    const std::string bin = root + "bin/", build = root + "app/";
    const std::string doc = root + "share/doc/vantorel/Vantorel.html";
    std::filesystem::create_directories(bin);
    std::filesystem::create_directories(build);

    // Nothing anywhere: the path beside the program, as before.
    EXPECT_EQ(FindHelpFile(bin, "Vantorel.html"), bin + "Vantorel.html");
    Put(doc, "<html></html>");
    EXPECT_EQ(FindHelpFile(bin, "Vantorel.html"), doc);
    // A build-tree folder never looks into a prefix.
    EXPECT_EQ(FindHelpFile(build, "Vantorel.html"), build + "Vantorel.html");
    // A copy beside the program wins.
    Put(bin + "Vantorel.html", "<html></html>");
    EXPECT_EQ(FindHelpFile(bin, "Vantorel.html"), bin + "Vantorel.html");
}

TEST(InstallPaths, SettingsFileBesideTheProgramThenInTheConfigurationFolder) {
    test::TempDir dir;
    const std::string root = dir.path().string() + "/";
    const std::string bin = root + "bin/", build = root + "app/";
    const std::string system = root + "etc/vantorel/Setting.ini";
    std::filesystem::create_directories(bin);
    std::filesystem::create_directories(build);

    EXPECT_EQ(FindSettingsFile(bin), bin + "Setting.ini");
    EXPECT_EQ(GetRegistryKeyName(FindSettingsFile(bin)), "PARVEX");

    Put(system, "[SAVE]\nRegPos=SiteTools\n");
    EXPECT_EQ(FindSettingsFile(bin), system);
    EXPECT_EQ(GetRegistryKeyName(FindSettingsFile(bin)), "SiteTools");
    EXPECT_EQ(FindSettingsFile(build), build + "Setting.ini");

    // A folder of that name is no settings file.
    std::filesystem::create_directories(bin + "Setting.ini");
    EXPECT_EQ(FindSettingsFile(bin), system);
    std::filesystem::remove(bin + "Setting.ini");

    Put(bin + "Setting.ini", "[SAVE]\nRegPos=MyTools\n");
    EXPECT_EQ(FindSettingsFile(bin), bin + "Setting.ini");
    EXPECT_EQ(GetRegistryKeyName(FindSettingsFile(bin)), "MyTools");
}

}  // namespace
}  // namespace vt
