// Where each fit puts a picture: worked out by hand, including pictures so long and thin that a
// side would round away to nothing.

#include <gtest/gtest.h>

#include <tuple>

#include "platform/raster/Fit.h"

namespace quillane {
namespace {

TEST(FitRectangles, CentredCropsAndMarginsRoundedToWholePixels) {
    using R = PixelRectangle;
    const std::tuple<FitMode, int, int, int, int, R, R> cases[] = {
        // 3:4 into 4:5: 25 rows cropped (12 above, 13 below), or 15 columns of margin.
        {FitMode::Cover, 300, 400, 240, 300, {0, 12, 300, 375}, {0, 0, 240, 300}},
        {FitMode::Contain, 300, 400, 240, 300, {0, 0, 300, 400}, {7, 0, 225, 300}},
        {FitMode::Stretch, 300, 400, 240, 300, {0, 0, 300, 400}, {0, 0, 240, 300}},
        // A landscape photograph cut to an ID photo, 2142.86 columns rounded up.
        {FitMode::Cover, 4000, 3000, 295, 413, {928, 0, 2143, 3000}, {0, 0, 295, 413}},
        {FitMode::Contain, 4000, 3000, 295, 413, {0, 0, 4000, 3000}, {0, 96, 295, 221}},
        // Proportions already right: nothing cropped, no margin.
        {FitMode::Cover, 600, 800, 300, 400, {0, 0, 600, 800}, {0, 0, 300, 400}},
        {FitMode::Contain, 600, 800, 300, 400, {0, 0, 600, 800}, {0, 0, 300, 400}},
        // Never less than a pixel.
        {FitMode::Contain, 10000, 1, 100, 100, {0, 0, 10000, 1}, {0, 49, 100, 1}},
        {FitMode::Cover, 1, 10000, 100, 100, {0, 4999, 1, 1}, {0, 0, 100, 100}},
    };
    for (const auto& [mode, width, height, canvasWidth, canvasHeight, source, destination] :
         cases) {
        SCOPED_TRACE(::testing::Message() << int(mode) << ": " << width << "x" << height << " on "
                                          << canvasWidth << "x" << canvasHeight);
        const FitPlacement placed = FitRectangles(mode, width, height, canvasWidth, canvasHeight);
        EXPECT_EQ(placed.Source, source);
        EXPECT_EQ(placed.Destination, destination);
    }
}

}  // namespace
}  // namespace quillane
