#pragma once
// A picture object of the forms runtime: what LoadPicture returns, what a picture box holds and
// what its Image gives back. Its Handle is a bitmap of the drawing layer, readable with
// GetObjectA and selectable into a memory device context. Painting asks it first for the part
// painted, made apart, so that a picture loaded from a file can decode for the size it is painted
// at.

#include <cstdint>
#include <memory>
#include <optional>

#include "platform/raster/BgrImage.h"
#include "platform/raster/Fit.h"

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

    // A part of the picture (upright pixels, inside it) stretched to exactly width x height
    // pixels, when the picture makes its paints apart: one loaded from a file decodes for the size
    // the whole of it would be painted at, so a large JPEG can be shrunk while it is decoded, and
    // need never be decoded whole. Empty when it is painted from its bitmap's pixels. Raises the
    // loader's errors.
    [[nodiscard]] virtual std::optional<BgrImage> PaintRegion(const SourceArea& /*area*/,
                                                              int /*width*/, int /*height*/) {
        return std::nullopt;
    }
};

using PictureRef = std::shared_ptr<StdPicture>;

}  // namespace quillane
