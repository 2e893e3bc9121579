// Saving within a window of file sizes: the halving search finds what trying every quality
// finds, in the encodes it promises, and filler reaches a size to the byte without changing a
// pixel for any decoder.

#include <gtest/gtest.h>

#include <filesystem>

#include "jpeg/JpegFiller.h"
#include "jpeg/SizeWindow.h"
#include "support/PictureFiles.h"

namespace quillane {
namespace {

// A file that grows with the quality by ever wider steps, as JPEG files do.
std::int64_t SizeAt(int quality) {
    return 2000 + 40 * quality + quality * quality * quality / 10;
}

// Trying every quality in turn: the quality to choose (0 when none is small enough) and the
// filler it then needs.
std::pair<int, std::int64_t> TryingEvery(int start, const SizeWindow& w) {
    int q = start;
    if (w.Over(SizeAt(q))) {
        while (q > std::min(kLowestWindowQuality, start) && w.Over(SizeAt(q))) --q;
        if (w.Over(SizeAt(q))) return {0, 0};
    }
    while (q < 100 && SizeAt(q) < w.MinBytes && !w.Over(SizeAt(q + 1))) ++q;
    return {q, std::max<std::int64_t>(0, w.MinBytes - SizeAt(q))};
}

TEST(ChooseQuality, FindsWhatTryingEveryQualityFinds) {
    const EncodeAtQuality encode = [](int quality, std::vector<std::uint8_t>& bytes) {
        bytes.assign(static_cast<std::size_t>(SizeAt(quality)), 0);
        return true;
    };
    // Lowering to a point, failing, raising, filler beyond 100, a window narrower than one step
    // (80500 lies between qualities 90 and 91), and windows open on one side.
    const std::pair<std::int64_t, std::int64_t> windows[] = {
        {0, 10000},     {9000, 12000}, {0, 2400},  {50000, 60000}, {200000, 0},
        {80000, 80500}, {0, 2041},     {20000, 0}, {2000, 2000}};
    int most = 0;
    for (const int start : {1, 5, 10, 11, 50, 90, 99, 100}) {
        for (const auto& [min, max] : windows) {
            SCOPED_TRACE(::testing::Message() << "quality " << start << ", " << min << "-" << max);
            const SizeWindow window{min, max};
            const QualityChoice c = ChooseQuality(start, window, encode);
            const bool fits = c.Result == QualityChoice::Outcome::Fits;
            EXPECT_EQ(std::pair(fits ? c.Quality : 0, c.FillerBytes), TryingEvery(start, window));
            EXPECT_EQ(fits ? std::int64_t(c.Bytes.size()) : c.SmallestBytes,
                      SizeAt(fits ? c.Quality : std::min(kLowestWindowQuality, start)));
            most = std::max(most, c.Encodes);
        }
    }
    EXPECT_EQ(most, kMostWindowEncodes);
    EXPECT_EQ(ChooseQuality(90, {0, 1}, [](int, auto&) { return false; }).Result,
              QualityChoice::Outcome::EncoderFailed);
}

TEST(WriteJpegWithFiller, ReachesTheSizeToTheByteAndKeepsEveryPixel) {
    REQUIRE_TOOL("djpeg");
    test::TempDir dir;
    const std::string plain = dir.Path("plain.jpg"), padded = dir.Path("padded.jpg");
    ASSERT_TRUE(test::Cjpeg(test::Pattern(40, 30), "", plain));
    const test::Bytes bytes = test::ReadBytes(plain);
    const test::DecodedJpeg reference = test::DecodeJpeg(plain);
    ASSERT_TRUE(reference.Ok);
    // Fill bytes alone, one segment at its smallest and largest, segments shared evenly.
    for (const std::int64_t filler : {0, 1, 2, 3, 4, 5, 65537, 65538, 65541, 200000}) {
        SCOPED_TRACE(filler);
        ASSERT_EQ(WriteJpegWithFiller(padded, bytes, filler), 0);
        EXPECT_EQ(std::filesystem::file_size(padded), bytes.size() + filler);
        const test::DecodedJpeg decoded = test::DecodeJpeg(padded);  // warnings fail it too
        EXPECT_TRUE(decoded.Ok && decoded.Picture.Rgb == reference.Picture.Rgb);
        EXPECT_TRUE(test::Shell("identify " + test::Quote(padded) + " >/dev/null"));
    }
    EXPECT_EQ(WriteJpegWithFiller(dir.Path("no.jpg"), test::Bytes{'B', 'M', 0}, 4), EINVAL);
    EXPECT_FALSE(std::filesystem::exists(dir.Path("no.jpg")));
}

}  // namespace
}  // namespace quillane
