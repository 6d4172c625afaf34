#include <gtest/gtest.h>

#include "tests/ui/QtTestEnv.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new vt::test::QtEnvironment);
    return RUN_ALL_TESTS();
}
