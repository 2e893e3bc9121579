// EXIF orientations: every one comes out upright, and a broken EXIF block is ignored. Fixtures
// are turned by ImageMagick and tagged with an EXIF block written here.

#include <gtest/gtest.h>

#include <utility>

#include "platform/picture/PictureFile.h"
#include "support/PictureFiles.h"

namespace quillane::test {
namespace {

// Every orientation comes out upright; a broken EXIF block leaves the picture as stored and is
// no reason to refuse it.
TEST(Orientation, EveryExifOrientationComesOutUprightAndBrokenOnesAreIgnored) {
    TempDir dir;
    const RgbPicture upright = Pattern(48, 32);
    WritePpm(dir.Path("upright.ppm"), upright);
    // ImageMagick turns the upright pattern into what a camera stores for each orientation.
    const char* const storedAs[9] = {"",          "",           "-flop",       "-rotate 180",
                                     "-flip",     "-transpose", "-rotate -90", "-transverse",
                                     "-rotate 90"};
    for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE("orientation " + std::to_string(orientation));
        const std::string jpeg = dir.Path("orient" + std::to_string(orientation) + ".jpg");
        ASSERT_TRUE(Convert(dir.Path("upright.ppm"),
                            storedAs[orientation] + std::string(" -quality 95"), jpeg));
        AddExifOrientation(jpeg, orientation, orientation % 2 == 0);
        auto file = PictureFile::Open(jpeg);
        EXPECT_EQ(std::pair(file->Width(), file->Height()), std::pair(48, 32));
        EXPECT_LT(MeanError(file->Decode(0, 0), upright), 4.0);
    }
    const struct {
        const char* Name;
        std::size_t Offset;  // into the segment; the TIFF data starts at 10
        std::vector<std::uint8_t> Bytes;
        std::size_t Keep = 0;  // cut the segment to this length when not 0
    } damages[] = {{"IFD offset past the end", 14, {0xF0, 0xFF, 0xFF, 0xFF}},
                   {"orientation beyond the entry count", 18, {1, 0}},
                   {"orientation stored as LONG", 34, {4, 0}},
                   {"orientation 9", 40, {9, 0}},
                   {"cut inside the orientation entry", 0, {}, 38},
                   {"byte order XX", 10, {'X', 'X'}}};
    for (const auto& d : damages) {
        SCOPED_TRACE(d.Name);
        Bytes segment = ExifSegment(6, false);
        std::copy(d.Bytes.begin(), d.Bytes.end(), segment.begin() + std::ptrdiff_t(d.Offset));
        if (d.Keep) segment.resize(d.Keep), segment[3] = std::uint8_t(d.Keep - 2);
        WriteBytes(dir.Path("exif.jpg"), ReadBytes(dir.Path("orient1.jpg")));
        InsertAfterStart(dir.Path("exif.jpg"), segment);
        auto file = PictureFile::Open(dir.Path("exif.jpg"));
        EXPECT_EQ(std::pair(file->Width(), file->Decode(0, 0).Width()), std::pair(48, 48));
    }
}

}  // namespace
}  // namespace quillane::test
