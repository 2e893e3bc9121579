#pragma once
// Uncompressed 24-bit BMP pixels are already blue, green, red bytes in rows padded to four
// bytes, exactly the layout the painter reads: they can be painted where they lie in the file's
// bytes instead of being decoded into a second and third copy (private to the picture loader).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "platform/picture/bmp/BmpHeader.h"

namespace quillane {

// Where the rows lie: the top row's offset in the bytes and the distance to the row below
// (negative for the usual bottom-up order).
struct BmpPixelsInFile {
    std::size_t TopRowOffset = 0;
    int Width = 0;
    int Height = 0;
    std::ptrdiff_t Stride = 0;
};
// Empty for every other kind of BMP and for one whose rows do not all lie inside the bytes.
std::optional<BmpPixelsInFile> LocateBgrPixels(const BmpHeader& header,
                                               std::span<const std::uint8_t> bytes);

}  // namespace quillane
