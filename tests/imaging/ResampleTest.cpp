#include <gtest/gtest.h>

#include <functional>

#include "PictureHelpers.h"
#include "support/FolderFixtures.h"

namespace quillane {
namespace {

using namespace testing_helpers;

using Lines = std::vector<std::vector<int>>;  // gray value per pixel, per scan line

std::unique_ptr<cDIBSection> MakePicture(const Lines& lines) {
    auto picture = std::make_unique<cDIBSection>();
    EXPECT_TRUE(picture->Create(static_cast<int>(lines[0].size()), static_cast<int>(lines.size())));
    for (std::size_t s = 0; s < lines.size(); ++s)
        FillScanLine(*picture, static_cast<int>(s), lines[s]);
    return picture;
}

TEST(Resample, WorkedExamples) {
    struct Case {
        const char* name;
        Lines source;
        int newHeight, newWidth;
        Lines expected;
    };
    const Case cases[] = {
        {"widen to 4", {{0, 100}, {0, 100}}, 2, 4, {{0, 25, 50, 75}, {0, 25, 50, 75}}},
        {"10.5 rounds to even", {{10, 10}, {11, 11}}, 2, 3, {{10, 10, 10}, {10, 10, 10}}},
        {"halve the width", {{0, 40, 80, 120}, {0, 40, 80, 120}}, 2, 2, {{0, 60}, {0, 60}}},
        {"three scan lines", {{0, 0}, {200, 200}}, 3, 2, {{0, 0}, {67, 67}, {133, 133}}},
        {"same size copies", {{9, 200, 3}, {255, 0, 77}}, 2, 3, {{9, 200, 3}, {255, 0, 77}}},
        {"single pixel", {{5}}, 1, 1, {{5}}},
    };
    for (const Case& c : cases) {
        auto source = MakePicture(c.source);
        const auto before = AllBytes(*source);
        auto result = source->Resample(c.newHeight, c.newWidth);
        ASSERT_NE(result, nullptr) << c.name;
        EXPECT_EQ(result->Width(), c.newWidth);
        EXPECT_EQ(result->height(), c.newHeight);
        for (int s = 0; s < c.newHeight; ++s)
            for (int x = 0; x < c.newWidth; ++x)
                for (int k = 0; k < 3; ++k)
                    EXPECT_EQ(ScanLine(*result, s)[3 * x + k], c.expected[s][x])
                        << c.name << ": scan line " << s << " pixel " << x << " channel " << k;
        EXPECT_EQ(AllBytes(*source), before) << c.name << ": source changed";
    }
}

TEST(Resample, ChannelsStayApartAndFillBytesAreNotWritten) {
    cDIBSection source;
    ASSERT_TRUE(source.Create(2, 2));
    for (int s = 0; s < 2; ++s) {
        std::uint8_t* line = ScanLine(source, s);
        const std::uint8_t pixels[] = {10, 20, 30, 50, 60, 70};  // blue, green, red twice
        std::copy(std::begin(pixels), std::end(pixels), line);
    }
    auto result = source.Resample(2, 3);  // 9 bytes of pixels, 3 fill bytes a line
    ASSERT_NE(result, nullptr);
    // x = 1 samples position 1/3: blue 10 + 40/3 = 23.3, green 33.3, red 43.3.
    const std::uint8_t expected[] = {10, 20, 30, 23, 33, 43, 37, 47, 57, 0, 0, 0};
    for (int s = 0; s < 2; ++s)
        for (int i = 0; i < 12; ++i) EXPECT_EQ(ScanLine(*result, s)[i], expected[i]) << i;
}

TEST(Resample, ConstantPictureStaysConstant) {
    const std::pair<int, int> sizes[] = {{7, 5}, {3, 9}, {40, 1}, {1, 40}, {2, 2}};
    for (int value : {0, 1, 128, 254, 255}) {
        cDIBSection source;
        ASSERT_TRUE(source.Create(13, 11));
        for (int s = 0; s < 11; ++s) FillScanLine(source, s, std::vector<int>(13, value));
        for (const auto& [height, width] : sizes) {
            auto result = source.Resample(height, width);
            ASSERT_NE(result, nullptr);
            for (int s = 0; s < height; ++s)
                for (int i = 0; i < 3 * width; ++i)
                    ASSERT_EQ(ScanLine(*result, s)[i], value) << width << "x" << height;
        }
    }
}

// Sizes that cannot be made give no picture; sources that cannot be sampled raise 9.
TEST(Resample, ImpossibleSizesAndUnsampleableSources) {
    auto picture = [](int width, int height) {
        return [=](cDIBSection& p) { p.Create(width, height), FillPattern(p, 7); };
    };
    auto emptied = [](cDIBSection& p) { p.Create(3, 3), p.ClearUp(); };
    struct Case {
        const char* name;
        std::function<void(cDIBSection&)> prepare;
        int newHeight, newWidth;
        int error;  // 0: no error and no picture
    };
    const Case cases[] = {
        {"height 0", picture(4, 4), 0, 5, 0},
        {"width 0", picture(4, 4), 5, 0, 0},
        {"height -1", picture(4, 4), -1, 5, 0},
        {"width -2", picture(4, 4), 3, -2, 0},
        {"one pixel wide", picture(1, 3), 3, 2, 9},
        {"one line high", picture(3, 1), 2, 3, 9},
        {"never created", [](cDIBSection&) {}, 3, 3, 9},
        {"emptied", emptied, 2, 2, 9},
        {"emptied, same size", emptied, 3, 3, 9},
    };
    for (const Case& c : cases) {
        cDIBSection source;
        c.prepare(source);
        const auto before =
            source.DIBSectionBitsPtr() ? AllBytes(source) : std::vector<std::uint8_t>{};
        EXPECT_EQ(testing::ErrorOf([&] {
                      EXPECT_EQ(source.Resample(c.newHeight, c.newWidth), nullptr) << c.name;
                  }),
                  c.error)
            << c.name;
        if (source.DIBSectionBitsPtr()) {
            EXPECT_EQ(AllBytes(source), before) << c.name;
        }
    }
}

// A DIB section made for an outside caller and freed by it must not be read or written
// afterwards; a picture never created has nothing to fill and is left alone.
TEST(PixelMemory, FreedByItsOwnerIsNeverTouched) {
    cDIBSection picture, never;
    std::int32_t hDib = 0;
    ASSERT_TRUE(picture.CreateDIB(0, 4, 4, hDib));
    ASSERT_NE(picture.DIBSectionBitsPtr(), nullptr);
    ASSERT_TRUE(DeleteObject(hDib));
    EXPECT_EQ(testing::ErrorOf([&] { (void)picture.Resample(2, 2); }), 9);
    EXPECT_EQ(testing::ErrorOf([&] { picture.RandomiseBits(true); }), 9);
    EXPECT_EQ(testing::ErrorOf([&] { never.RandomiseBits(true), never.RandomiseBits(false); }), 0);
}

}  // namespace
}  // namespace quillane
