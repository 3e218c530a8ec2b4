#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    // Test discovery and headless runs need no display; tests find the source
    // and build trees through the environment (a value already set wins).
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("OPEREDIT_SOURCE_DIR", OPEREDIT_SOURCE_DIR, 0);
    setenv("OPEREDIT_BINARY_DIR", OPEREDIT_BINARY_DIR, 0);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
