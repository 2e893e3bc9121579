#include <gtest/gtest.h>

#include <cstdlib>

// Every test program runs without a display: Qt's offscreen platform stands in for one.
int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
