#pragma once
// A structural check of a BMP before Qt decodes it (private to the picture loader). Qt's reader
// is lenient where a batch tool must not be: it decodes a file cut short, or one whose pixel
// offset points past the end, to a picture that is partly blank, and that would be written out
// as if it were good.

#include <cstdint>
#include <optional>
#include <span>

#include "platform/picture/PictureLimits.h"
#include "platform/picture/bmp/BmpHeader.h"

namespace quillane {

// The pixel offset and the data after it checked against the headers read from the bytes.
// Fails with 481 naming what is wrong, or 7 when the declared size is beyond the limits.
std::optional<PictureFailure> CheckBmpStructure(const BmpHeader& header,
                                                std::span<const std::uint8_t> bytes);

}  // namespace quillane
