// Stretching a picture as it is decoded, row by row, must give exactly what decoding it whole
// and then stretching it gives, for every kind of file and every way the two can differ.

#include <gtest/gtest.h>

#include <string>

#include "platform/picture/PictureFile.h"
#include "platform/raster/Stretch.h"
#include "support/PictureFiles.h"

namespace quillane::test {
namespace {

BgrImage StretchedAfterDecoding(const PictureFile& file, int width, int height) {
    const DecodedPixels decoded = file.DecodeView(width, height);
    auto painted = BgrImage::Allocate(width, height);
    EXPECT_TRUE(painted && StretchBgr(decoded.View, painted->View()));
    return std::move(*painted);
}

TEST(DecodeStretched, EqualsDecodingWholeThenStretching) {
    REQUIRE_TOOL("cjpeg");
    REQUIRE_TOOL("convert");
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
            const BgrImage streamed = file->DecodeStretched(size[0], size[1]);
            const BgrImage whole = StretchedAfterDecoding(*file, size[0], size[1]);
            EXPECT_EQ(FirstDifference(streamed, ToRgb(whole.View())), "");
        }
    }
}

TEST(DecodeStretched, DamageInsideTheScanIsFoundWhileStreaming) {
    REQUIRE_TOOL("cjpeg");
    TempDir dir;
    ASSERT_TRUE(Cjpeg(Pattern(640, 480), "", dir.Path("good.jpg")));
    Bytes bytes = ReadBytes(dir.Path("good.jpg"));
    // A marker that cannot stand inside entropy-coded data, two thirds of the way in.
    const std::size_t at = bytes.size() * 2 / 3;
    bytes[at] = 0xFF;
    bytes[at + 1] = 0xD9;
    WriteBytes(dir.Path("bad.jpg"), bytes);
    const auto file = PictureFile::Open(dir.Path("bad.jpg"));
    const Raised raised = RaisedBy([&] { (void)file->DecodeStretched(176, 220); });
    EXPECT_EQ(raised.Number, ErrorNumber::InvalidPicture) << raised.Description;
    EXPECT_NE(raised.Description.find("'bad.jpg' is damaged"), std::string::npos)
        << raised.Description;
}

}  // namespace
}  // namespace quillane::test
