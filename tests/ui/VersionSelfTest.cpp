// This executable links the generated version block and reads it back from
// its own file.
#include <gtest/gtest.h>

#include "core/ShellHelpers.h"
#include "core/VersionInfo.h"

TEST(VersionSelf, ReadsItsOwnVersionLine) {
    EXPECT_EQ(vt::GetFileVersionText(vt::GetModuleFilePath()), VT_EXPECTED_VERSION_TEXT);
}
