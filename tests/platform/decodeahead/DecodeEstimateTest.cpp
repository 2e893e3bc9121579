// The memory a decode will hold, judged from the start of the file, decides what the helper
// thread of a batch run may decode beside the picture being converted.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/decodeahead/DecodeEstimate.h"
#include "platform/picture/jpeg/JpegSource.h"
#include "support/PictureFiles.h"

namespace quillane::test {
namespace {

constexpr long long kFull = 800LL * 600 * 3;
constexpr long long kPainted = 176LL * 220 * 3;
// Rows a stored-upright JPEG holds as it streams into the filter: the vertical window (six
// rows per painted row, plus one) and libjpeg's 48, each a decoded row wide.
constexpr long long StreamRows(long long window, long long width) {
    return (window + 48) * width * 3;
}
// 800 x 600 shrunk by eight and painted onto 30 x 30: 75 rows onto 30.
constexpr long long kSmall = 30 * 30 * 3 + StreamRows(6 * 3 + 1, 100);

TEST(DecodeEstimate, FollowsTheDecodersBuffers) {
    const struct {
        const char* Name;
        const char* ConvertOptions;  // how ImageMagick writes an 800 x 600 picture
        int Orientation;             // written into an EXIF block when not 1
        int PaintWidth, PaintHeight;
        long long Decoded;  // expected beyond the file's own bytes; -1: no estimate
    } cases[] = {
        // 600 / 2 is less than twice 220, so no shrink on load; 600 rows onto 220: 3 a row.
        {"baseline.jpg", "-sampling-factor 1x1 -quality 90", 1, 176, 220,
         kPainted + StreamRows(6 * 3 + 1, 800)},
        // Shrunk by 8 for a small paint: 75 rows onto 30.
        {"baseline_small.jpg", "-sampling-factor 1x1", 1, 30, 30, kSmall},
        // Stored turned: 600 / 8 rows would be fewer than twice the paint width, so shrunk by
        // 4, decoded whole and turned.
        {"turned.jpg", "-sampling-factor 1x1", 6, 40, 30, 40 * 30 * 3 + 200LL * 150 * 3 * 2},
        // Progressive: libjpeg keeps every 8x8 block of every component, 128 bytes each; shrunk
        // by eight, our DC reader keeps 3 bytes a block, while the coarse DC grid leaves the
        // margin.
        {"progressive.jpg", "-sampling-factor 1x1 -interlace JPEG", 1, 30, 30,
         kSmall + 3LL * 100 * 75 * 3},
        {"dc_420.jpg", "-sampling-factor 2x2 -interlace JPEG", 1, 20, 15,
         20 * 15 * 3 + StreamRows(6 * 5 + 1, 100) + (100LL * 76 + 2 * 50 * 38) * 3},
        // The colour's DC grid falls short of the margin: shrunk by four instead, by our reader
        // (below), not held whole by libjpeg at 128 bytes a block.
        {"big_420.jpg", "-sampling-factor 2x2 -interlace JPEG", 1, 30, 30,
         30 * 30 * 3 + StreamRows(6 * 5 + 1, 200) + (100LL * 76 + 2 * 50 * 38) * 6 +
             100LL * 76 * 56},
        // Shrunk by four, our reader keeps a DC value and 2x2 samples a block, and 24 coefficients
        // and 64 bits a block of the largest component, read alone.
        {"quarter_422.jpg", "-sampling-factor 2x1 -interlace JPEG", 1, 60, 60,
         60 * 60 * 3 + StreamRows(6 * 3 + 1, 200) + (100LL * 75 + 2 * 50 * 75) * 6 +
             100LL * 75 * 56},
        // Painted at its own size, one row at a time, and read by our reader in bands of MCU
        // rows (300 blocks each, block rows of the colours rounded up to whole sampling
        // units): a DC value a block, and for a band (all 38 rows here) 63 coefficients and 64
        // bits a block, and twice the band's samples and one MCU row more.
        {"progressive_420.jpg", "-sampling-factor 2x2 -interlace JPEG", 1, 0, 0,
         kFull + StreamRows(1, 800) + 300LL * 38 * 2 + 300LL * (38 * 134 + 2 * 39 * 64)},
        // A colour profile is read twice (joined, then parsed) and lcms's tables allowed 1 MiB.
        {"tagged.jpg", "-sampling-factor 1x1 -profile /usr/share/color/icc/colord/AdobeRGB1998.icc",
         1, 30, 30, kSmall + 2 * 18604 + (1 << 20)},
        // A BMP the loader decodes streams into the filter too, without libjpeg's rows.
        {"stored_as_painted.bmp", "-type TrueColor", 1, 176, 220, kPainted + (6 * 3 + 1) * 800 * 3},
        {"palette.bmp", "-type Palette", 1, 176, 220, 800LL * 600 * 7 + kPainted},
        {"not_a_picture.png", "", 1, 176, 220, -1},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string path = dir.Path(c.Name);
        ASSERT_TRUE(Shell("convert -size 800x600 plasma:fractal " + std::string(c.ConvertOptions) +
                          (path.ends_with(".bmp") ? " BMP3:" : " ") + Quote(path)));
        if (c.Orientation != 1) AddExifOrientation(path, c.Orientation);
        const auto estimate = EstimateDecodeBytes(path, c.PaintWidth, c.PaintHeight);
        // A BMP is held whole; a JPEG is read through two windows and keeps only what it paints.
        const bool bmp = path.ends_with(".bmp");
        const long long file =
            bmp ? std::filesystem::file_size(path) : 2 * JpegWindow::kWindowBytes;
        EXPECT_EQ(estimate ? estimate->Peak - file : -1, c.Decoded);
        const long long painted = c.PaintWidth > 0 ? c.PaintWidth * c.PaintHeight * 3LL : kFull;
        EXPECT_EQ(estimate ? estimate->Kept : -1, c.Decoded < 0 ? -1 : painted + (bmp ? file : 0));
    }
    EXPECT_FALSE(EstimateDecodeBytes(dir.Path("missing.jpg"), 176, 220));
}

}  // namespace
}  // namespace quillane::test
