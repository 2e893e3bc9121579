#include "platform/raster/Fit.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace quillane {

namespace {

// a * b / c to the nearest whole number, kept between 1 and limit; 64 bits hold the product.
int ScaledSide(std::int64_t a, std::int64_t b, std::int64_t c, int limit) {
    const std::int64_t rounded = (a * b + c / 2) / c;
    return static_cast<int>(std::clamp<std::int64_t>(rounded, 1, limit));
}

// Narrows one side of a rectangle to `length`, centred in `room`.
void CentreSpan(int& start, int& span, int length, int room) {
    span = length;
    start = (room - length) / 2;
}

}  // namespace

FitPlacement FitRectangles(FitMode mode, int pictureWidth, int pictureHeight, int canvasWidth,
                           int canvasHeight) {
    FitPlacement placement{{0, 0, pictureWidth, pictureHeight}, {0, 0, canvasWidth, canvasHeight}};
    // Compared crosswise, so no proportion is ever rounded.
    const bool widerThanCanvas =
        std::int64_t{pictureWidth} * canvasHeight > std::int64_t{canvasWidth} * pictureHeight;
    if (mode == FitMode::Stretch) return placement;
    // Cover narrows the picture to the canvas's proportions, contain the canvas to the
    // picture's; either way the side narrowed is the one that is wider than the other's.
    const bool cover = mode == FitMode::Cover;
    PixelRectangle& narrowed = cover ? placement.Source : placement.Destination;
    const PixelRectangle& other = cover ? placement.Destination : placement.Source;
    if (cover == widerThanCanvas)
        CentreSpan(narrowed.Left, narrowed.Width,
                   ScaledSide(narrowed.Height, other.Width, other.Height, narrowed.Width),
                   narrowed.Width);
    else
        CentreSpan(narrowed.Top, narrowed.Height,
                   ScaledSide(narrowed.Width, other.Height, other.Width, narrowed.Height),
                   narrowed.Height);
    return placement;
}

SourceArea AreaOf(const PixelRectangle& rectangle) {
    return {double(rectangle.Left), double(rectangle.Top), double(rectangle.Left) + rectangle.Width,
            double(rectangle.Top) + rectangle.Height};
}

std::pair<int, int> WholePaintSize(int pictureWidth, int pictureHeight, const SourceArea& area,
                                   int width, int height) {
    const double across = std::ceil(width * double(pictureWidth) / (area.Right - area.Left));
    const double down = std::ceil(height * double(pictureHeight) / (area.Bottom - area.Top));
    return {static_cast<int>(std::min(1.0e9, across)), static_cast<int>(std::min(1.0e9, down))};
}

}  // namespace quillane
