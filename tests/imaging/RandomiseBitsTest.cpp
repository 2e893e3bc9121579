#include <gtest/gtest.h>

#include <array>

#include "PictureHelpers.h"
#include "imaging/TimeOfDay.h"

namespace quillane {
namespace {

using namespace testing_helpers;

TEST(RandomiseBits, GrayAndColourNoiseKeepTheirChannelRulesAndFillBytes) {
    struct Case {
        int width, height;
        bool gray;
    };
    // Widths 1 and 5 leave fill bytes at the end of each scan line (1 and 1), width 4 none.
    const Case cases[] = {{1, 6, true}, {1, 6, false}, {5, 7, true}, {5, 7, false}, {4, 3, false}};
    for (const Case& c : cases) {
        cDIBSection picture;
        ASSERT_TRUE(picture.Create(c.width, c.height));
        FillPattern(picture, 11);
        const auto before = AllBytes(picture);
        picture.RandomiseBits(c.gray);
        const int bpl = picture.BytesPerScanLine();
        int changed = 0;
        for (int s = 0; s < c.height; ++s) {
            const std::uint8_t* line = ScanLine(picture, s);
            for (int x = 0; x < c.width; ++x) {
                const std::uint8_t* p = line + 3 * x;
                if (c.gray) {
                    EXPECT_TRUE(p[0] == p[1] && p[1] == p[2]) << "pixel " << x << " line " << s;
                } else {
                    EXPECT_EQ(p[0], 0) << "blue of pixel " << x << " line " << s;
                }
                changed += p[1] != before[static_cast<std::size_t>(s * bpl + 3 * x + 1)];
            }
            for (int i = 3 * c.width; i < bpl; ++i)
                EXPECT_EQ(line[i], before[static_cast<std::size_t>(s * bpl + i)])
                    << "fill byte " << i;
        }
        EXPECT_GT(changed, 0);
    }
}

TEST(RandomiseBits, ValuesSpanTheByteWithHalfWeightEnds) {
    cDIBSection picture;
    ASSERT_TRUE(picture.Create(1000, 1000));
    picture.RandomiseBits(true);
    std::array<int, 256> counts{};
    for (int s = 0; s < 1000; ++s)
        for (int x = 0; x < 1000; ++x) ++counts[ScanLine(picture, s)[3 * x]];
    const double middle = 1e6 / 255.0;  // expected count of a value between the ends
    for (int v = 1; v < 255; ++v) ASSERT_NEAR(counts[v], middle, middle * 0.25) << v;
    EXPECT_NEAR(counts[0], middle / 2, middle * 0.15);
    EXPECT_NEAR(counts[255], middle / 2, middle * 0.15);
}

TEST(RandomiseBits, PicturesFilledAtDifferentTimesDiffer) {
    cDIBSection first, second;
    ASSERT_TRUE(first.Create(32, 32));
    ASSERT_TRUE(second.Create(32, 32));
    first.RandomiseBits(false);
    // The generator restarts from the time of day; wait until that value has moved on.
    for (const float start = Timer(); Timer() == start;) {
    }
    second.RandomiseBits(false);
    EXPECT_NE(AllBytes(first), AllBytes(second));
}

}  // namespace
}  // namespace quillane
