#pragma once
// How a picture is placed on a canvas of the size asked for: stretched over all of it, covering
// it with what sticks out cut off evenly on both sides, or contained in it with the rest left to
// the background. Every way is a source rectangle of the picture and a destination rectangle on
// the canvas for the one stretching filter, so each costs and looks like a plain stretch.

#include <utility>

namespace quillane {

enum class FitMode {
    Stretch,  // the whole picture onto the whole canvas; proportions are not kept
    Cover,    // proportions kept, the canvas filled, the overflow cropped around the centre
    Contain,  // proportions kept, the whole picture centred inside, the rest background
};

struct PixelRectangle {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
    bool operator==(const PixelRectangle&) const = default;
};

struct FitPlacement {
    PixelRectangle Source;       // in the picture's upright pixels
    PixelRectangle Destination;  // on the canvas
};

// Where a picture of pictureWidth x pictureHeight goes on a canvas of canvasWidth x canvasHeight
// (all positive). Sizes are rounded to the nearest pixel, never below one, and a centred
// rectangle leans to the top left by half a pixel when the spare room is odd.
FitPlacement FitRectangles(FitMode mode, int pictureWidth, int pictureHeight, int canvasWidth,
                           int canvasHeight);

// A part of a picture in its own pixels; its edges may fall between pixels.
struct SourceArea {
    double Left = 0;
    double Top = 0;
    double Right = 0;
    double Bottom = 0;
    bool operator==(const SourceArea&) const = default;
};
SourceArea AreaOf(const PixelRectangle& rectangle);

// The size the whole picture is painted at when `area` of it is painted onto width x height.
// A picture shrunk as it is decoded is shrunk for this size, so a crop keeps the detail its
// paint needs. Capped at a billion pixels a side.
std::pair<int, int> WholePaintSize(int pictureWidth, int pictureHeight, const SourceArea& area,
                                   int width, int height);

}  // namespace quillane
