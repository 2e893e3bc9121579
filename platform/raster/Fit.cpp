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

}  // namespace

FitPlacement FitRectangles(FitMode mode, int pictureWidth, int pictureHeight, int canvasWidth,
                           int canvasHeight) {
    FitPlacement placement{{0, 0, pictureWidth, pictureHeight}, {0, 0, canvasWidth, canvasHeight}};
    // Compared crosswise, so no proportion is ever rounded.
    const bool widerThanCanvas =
        std::int64_t{pictureWidth} * canvasHeight > std::int64_t{canvasWidth} * pictureHeight;
    if (mode == FitMode::Cover) {
        PixelRectangle& source = placement.Source;
        if (widerThanCanvas) {
            source.Width = ScaledSide(pictureHeight, canvasWidth, canvasHeight, pictureWidth);
            source.Left = (pictureWidth - source.Width) / 2;
        } else {
            source.Height = ScaledSide(pictureWidth, canvasHeight, canvasWidth, pictureHeight);
            source.Top = (pictureHeight - source.Height) / 2;
        }
    } else if (mode == FitMode::Contain) {
        PixelRectangle& destination = placement.Destination;
        if (widerThanCanvas) {
            destination.Height = ScaledSide(canvasWidth, pictureHeight, pictureWidth, canvasHeight);
            destination.Top = (canvasHeight - destination.Height) / 2;
        } else {
            destination.Width = ScaledSide(canvasHeight, pictureWidth, pictureHeight, canvasWidth);
            destination.Left = (canvasWidth - destination.Width) / 2;
        }
    }
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
