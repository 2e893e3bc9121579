#pragma once
// A picture object of the forms runtime: what LoadPicture returns, what a picture box holds and
// what its Image gives back. Its Handle is a bitmap of the drawing layer, readable with
// GetObjectA and selectable into a memory device context. Painting asks it for its pixels by
// the size it is painted at, so that a picture loaded from a file can decode for that size.

#include <cstdint>
#include <memory>
#include <optional>

#include "platform/raster/BgrImage.h"

namespace quillane {

class StdPicture {
  public:
    virtual ~StdPicture() = default;

    // The bitmap handle (0 when the picture holds none). A picture loaded from a file may make
    // its bitmap only when the handle is first asked for; the handle stays valid while the
    // picture lives.
    virtual std::int32_t Handle() = 0;

    // The picture's size in pixels, known without decoding its pixels.
    virtual int PixelWidth() const = 0;
    virtual int PixelHeight() const = 0;

    // Pixels to paint from when the whole picture is painted at paintWidth x paintHeight pixels:
    // the picture upright, at its own size or, loaded from a file, shrunk on load where that
    // keeps enough detail. The view may borrow from the picture: use it only while it lives.
    // Raises the loader's errors.
    [[nodiscard]] virtual DecodedPixels PixelsForPaint(int paintWidth, int paintHeight) = 0;

    // The whole picture stretched to exactly width x height pixels, for a paint of all of it
    // onto a rectangle in full view, when the picture makes it apart (a picture loaded from a
    // file, which need never be decoded whole); empty when it is painted from PixelsForPaint like
    // any part of it.
    [[nodiscard]] virtual std::optional<BgrImage> PaintWhole(int /*width*/, int /*height*/) {
        return std::nullopt;
    }
};

using PictureRef = std::shared_ptr<StdPicture>;

}  // namespace quillane
