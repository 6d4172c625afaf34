// The output-file rules: an output that names an input, and the removal of
// an existing output.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "ops/OutputGuard.h"
#include "tests/common/TestSupport.h"

namespace vt {
namespace {
namespace fs = std::filesystem;

TEST(OutputGuard, OutputNamingAnInput) {
    test::TempDir dir;
    const fs::path in = dir / "in.avi";
    std::ofstream(in) << "data";
    fs::create_directory(dir / "sub");
    fs::create_symlink(in, dir / "link.avi");
    fs::create_hard_link(in, dir / "hard.avi");
    const std::string cwdRelative = fs::relative(in, fs::current_path()).string();

    struct Case {
        std::string output;
        bool names;
    };
    const std::vector<Case> cases = {
        {in.string(), true},
        {(dir / "sub" / ".." / "in.avi").string(), true},
        {(dir / "link.avi").string(), true},
        {(dir / "hard.avi").string(), true},
        {cwdRelative, true},
        {(dir / "in_cut.avi").string(), false},
        {(dir / "missing" / "in.avi").string(), false},
        {"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(OutputNamesAnInput(c.output, {"", (dir / "other.avi").string(), in.string()}), c.names)
            << c.output;
    EXPECT_FALSE(OutputNamesAnInput(in.string(), {}));
}

TEST(OutputGuard, DeleteExistingOutput) {
    test::TempDir dir;
    EXPECT_EQ(DeleteExistingOutput((dir / "none.avi").string()), 0);
    EXPECT_EQ(DeleteExistingOutput(""), 0);

    const fs::path ro = dir / "ro.avi";
    std::ofstream(ro) << "x";
    fs::permissions(ro, fs::perms::owner_read);
    EXPECT_EQ(DeleteExistingOutput(ro.string()), 0);
    EXPECT_FALSE(fs::exists(ro));

    // A folder is never removed, empty or not.
    fs::create_directory(dir / "folder");
    EXPECT_EQ(DeleteExistingOutput((dir / "folder").string()), 1);
    EXPECT_TRUE(fs::is_directory(dir / "folder"));
}

}  // namespace
}  // namespace vt
