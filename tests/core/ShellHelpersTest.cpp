#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "core/ShellHelpers.h"

using namespace vt;

TEST(PathPieces, WindowsAndPlatformRules) {
    struct Case {
        const char* path;
        bool windows;
        const char* drive;
        const char* folder;
        const char* title;
        const char* ext;
    };
    const Case cases[] = {
        {"C:\\tools\\a.b.wmv", true, "C:", "\\tools\\", "a.b", ".wmv"},
        {"name.avi", true, "", "", "name", ".avi"},
        {"C:name", true, "C:", "", "name", ""},
        {"/home/u/clip.FLV", false, "", "/home/u/", "clip", ".FLV"},
        {"/home/u.d/clip", false, "", "/home/u.d/", "clip", ""},
        {"clip.avi", false, "", "", "clip", ".avi"},
        {"/tmp/dir/", false, "", "/tmp/dir/", "", ""},
    };
    for (const auto& c : cases) {
        PathPieces p = c.windows ? SplitPathWindows(c.path) : SplitPath(c.path);
        EXPECT_EQ(p.drive, c.drive) << c.path;
        EXPECT_EQ(p.folder, c.folder) << c.path;
        EXPECT_EQ(p.title, c.title) << c.path;
        EXPECT_EQ(p.ext, c.ext) << c.path;
    }
}

TEST(PathPieces, DefaultNameHelpers) {
    EXPECT_EQ(GetPathNoExt("/v/My Clip.AVI"), "/v/My Clip");
    EXPECT_EQ(GetExtLower("/v/My Clip.AVI"), ".avi");
    EXPECT_EQ(GetExtLower("/v/noext"), "");
    EXPECT_EQ(GetPathNoExt("/v/a.b.wmv") + "_cut" + GetExtLower("/v/a.b.wmv"), "/v/a.b_cut.wmv");
}

TEST(Shell, ModulePathAndNonBlockingOpen) {
    std::string self = GetModuleFilePath();
    EXPECT_TRUE(std::filesystem::exists(self));
    EXPECT_EQ(GetAppFolder().back(), '/');
    auto t0 = std::chrono::steady_clock::now();
    ShellOpenAsync("/nonexistent/file/for/the/test");
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(200));
}
