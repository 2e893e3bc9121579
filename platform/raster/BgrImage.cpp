#include "platform/raster/BgrImage.h"

#include <limits>

namespace quillane {

std::optional<BgrImage> BgrImage::Allocate(int width, int height) {
    if (width <= 0 || height <= 0) return std::nullopt;
    const std::ptrdiff_t stride = StrideFor(width);
    // Overflow guard: the byte count must fit the address space's signed range.
    if (stride > std::numeric_limits<std::ptrdiff_t>::max() / height) return std::nullopt;
    const auto bytes = static_cast<std::size_t>(stride) * static_cast<std::size_t>(height);
    BgrImage image;
    image.m_data = {static_cast<std::uint8_t*>(AllocateLarge(bytes)), LargeBufferDeleter{bytes}};
    if (!image.m_data) return std::nullopt;
    image.m_width = width;
    image.m_height = height;
    image.m_stride = stride;
    return image;
}

}  // namespace quillane
