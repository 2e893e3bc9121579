// Decoding for a paint size. A JPEG is shrunk on load by the largest DCT scale that keeps twice
// the paint size; stretching a picture as it is decoded, row by row, must give exactly what
// decoding it whole and then stretching it gives, for every kind of file and every way the two
// can differ, for the whole picture or a part of it.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "platform/picture/PictureFile.h"
#include "platform/raster/Stretch.h"
#include "support/PictureFiles.h"

namespace quillane::test {
namespace {

TEST(DecodeStretched, EqualsDecodingWholeThenStretching) {
    TempDir dir;
    const RgbPicture pattern = Pattern(701, 493);
    ASSERT_TRUE(Cjpeg(pattern, "-sample 2x2", dir.Path("baseline420.jpg")));
    ASSERT_TRUE(Cjpeg(pattern, "-sample 1x1 -progressive", dir.Path("progressive.jpg")));
    ASSERT_TRUE(Cjpeg(pattern, "-grayscale", dir.Path("gray.jpg")));
    ASSERT_TRUE(Convert(dir.Path("baseline420.jpg.ppm"), "", dir.Path("direct.bmp"), "bmp3"));
    ASSERT_TRUE(
        Convert(dir.Path("baseline420.jpg.ppm"), "-colors 200", dir.Path("palette.bmp"), "bmp3"));
    // Stored turned: decoded whole and turned before it is stretched.
    WriteBytes(dir.Path("turned.jpg"), ReadBytes(dir.Path("baseline420.jpg")));
    AddExifOrientation(dir.Path("turned.jpg"), 6);

    // Paint sizes and the shrink on load they call for, by the margin of twice the paint size,
    // stored upright and turned (upright 493 x 701): by 8, 4 and 2, each at its very edge, not
    // shrunk, enlarged, one direction only.
    const int sizes[][4] = {{40, 30, 8, 4},   {44, 31, 8, 4},    {88, 62, 4, 2},
                            {175, 123, 2, 1}, {123, 175, 1, 2},  {176, 220, 1, 1},
                            {413, 626, 1, 1}, {1000, 700, 1, 1}, {701, 300, 1, 1}};
    for (const std::string name : {"baseline420.jpg", "progressive.jpg", "gray.jpg", "direct.bmp",
                                   "palette.bmp", "turned.jpg"}) {
        const auto file = PictureFile::Open(dir.Path(name));
        for (const auto& [width, height, shrink, turnedShrink] : sizes) {
            SCOPED_TRACE(name + " to " + std::to_string(width) + "x" + std::to_string(height));
            const DecodedPixels decoded = file->DecodeView(width, height);
            const bool turned = name == "turned.jpg";
            const int by = name.ends_with(".bmp") ? 1 : turned ? turnedShrink : shrink;
            const int across = turned ? 493 : 701, down = 701 + 493 - across;  // upright
            EXPECT_EQ(std::pair(decoded.View.Width, decoded.View.Height),
                      std::pair((across + by - 1) / by, (down + by - 1) / by));
            auto whole = BgrImage::Allocate(width, height);
            ASSERT_TRUE(whole && StretchBgr(decoded.View, whole->View()));
            EXPECT_EQ(FirstDifference(file->DecodeStretched(width, height), ToRgb(whole->View())),
                      "");
            // A part, decoded for the size the whole would be painted at and cut out of that to
            // whole pixels, row by row as it is decoded where the file allows.
            const SourceArea area{across * 0.3, down * 0.1, across * 0.8 + 0.5, down * 0.9};
            const auto [wholeWidth, wholeHeight] =
                WholePaintSize(across, down, area, width, height);
            const DecodedPixels forPart = file->DecodeView(wholeWidth, wholeHeight);
            const double fx = double(forPart.View.Width) / across;
            const double fy = double(forPart.View.Height) / down;
            const int left = int(area.Left * fx), top = int(area.Top * fy);
            const ConstBgrView part(forPart.View.Row(top) + left * 3,
                                    int(std::ceil(area.Right * fx)) - left,
                                    int(std::ceil(area.Bottom * fy)) - top, forPart.View.Stride);
            ASSERT_TRUE(StretchBgr(part, whole->View()));
            EXPECT_EQ(
                FirstDifference(file->DecodeStretched(area, width, height), ToRgb(whole->View())),
                "");
        }
    }
}

}  // namespace
}  // namespace quillane::test
