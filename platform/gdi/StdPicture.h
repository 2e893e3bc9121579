#pragma once
// A picture object of the forms runtime: what LoadPicture returns, what a picture box holds and
// what its Image gives back. Its Handle is a bitmap of the drawing layer, readable with
// GetObjectA and selectable into a memory device context.

#include <cstdint>
#include <memory>

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
};

using PictureRef = std::shared_ptr<StdPicture>;

}  // namespace quillane
