#pragma once
// Uncompressed BMP pixels of every depth, decoded by the loader itself (private to the picture
// loader): 1, 4 and 8 bits through the palette, 16 and 32 bits through colour masks of any
// layout, 24 bits as stored. Qt's reader gets such pictures wrong where they are unusual: it
// scales a mask's field by a power of two (a 10-bit field comes out black, a 2-bit one never
// reaches white) and refuses V2 and V3 headers, OS/2's short headers and palettes longer than
// the depth needs.

#include <cstdint>
#include <memory>
#include <span>

#include "platform/picture/PictureLimits.h"
#include "platform/picture/bmp/BmpHeader.h"
#include "platform/raster/BgrImage.h"

namespace quillane {

class ColourTransform;

// The picture as stored, top row first, from a header read by ReadBmpHeader whose structure
// CheckBmpStructure found sound. Each colour field of w bits (1 to 32) is scaled to 8 bits,
// value * 255 / (2^w - 1) rounded; an empty mask reads 0, and alpha is ignored, as for every
// BMP. Fails with 481 when a pixel names a palette entry the file does not have, 7 when the
// picture's memory cannot be had.
[[nodiscard]] PictureResult<BgrImage> DecodeBmpPixels(const BmpHeader& header,
                                                      std::span<const std::uint8_t> bytes);

// The same pixels a row at a time, top row first, each decoded from the bytes as it is read (in
// whichever order the file stores the rows), and converted into sRGB through colour unless it
// is null: a stretch from them never holds the whole decoded picture. The header and the bytes
// must outlive the rows. A row fails as DecodeBmpPixels does.
[[nodiscard]] std::unique_ptr<PictureRowSource> OpenBmpRows(
    const BmpHeader& header, std::span<const std::uint8_t> bytes,
    std::shared_ptr<const ColourTransform> colour);

}  // namespace quillane
