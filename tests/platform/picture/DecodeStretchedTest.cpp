// Stretching a picture as it is decoded, row by row, must give exactly what decoding it whole
// and then stretching it gives, for every kind of file and every way the two can differ. Damage
// found while streaming is checked with the other damaged files.

#include <gtest/gtest.h>

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

    // Shrunk on load by 8, 4 and 2, not shrunk, enlarged, one direction only.
    const int sizes[][2] = {{40, 30}, {176, 120}, {176, 220}, {413, 626}, {1000, 700}, {701, 300}};
    for (const char* name : {"baseline420.jpg", "progressive.jpg", "gray.jpg", "direct.bmp",
                             "palette.bmp", "turned.jpg"}) {
        const auto file = PictureFile::Open(dir.Path(name));
        for (const auto& size : sizes) {
            SCOPED_TRACE(std::string(name) + " to " + std::to_string(size[0]) + "x" +
                         std::to_string(size[1]));
            const DecodedPixels decoded = file->DecodeView(size[0], size[1]);
            auto whole = BgrImage::Allocate(size[0], size[1]);
            ASSERT_TRUE(whole && StretchBgr(decoded.View, whole->View()));
            EXPECT_EQ(
                FirstDifference(file->DecodeStretched(size[0], size[1]), ToRgb(whole->View())), "");
        }
    }
}

}  // namespace
}  // namespace quillane::test
