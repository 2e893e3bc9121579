#pragma once
// The EXIF orientation (private to the picture loader): read from a JPEG's APP1 block, then
// applied to the decoded pixels so a phone picture comes out the way viewers show it.

#include <cstdint>
#include <span>

#include "platform/picture/PictureLimits.h"
#include "platform/raster/BgrImage.h"

namespace quillane {

// The orientation an APP1 segment's data (after its length) gives, 1..8. Anything that is not a
// readable EXIF block gives 1, since the picture itself is still good.
int ExifOrientation(std::span<const std::uint8_t> app1Payload);

// The orientation a JPEG's APP1 segments give, in file order: the first other than 1, or 1.
int FirstExifOrientation(std::span<const std::span<const std::uint8_t>> app1Payloads);

// Orientations 5 to 8 store the picture on its side: its width is the upright height.
inline bool OrientationSwapsSides(int orientation) {
    return orientation >= 5;
}

// Turns a picture stored with the given orientation upright.
PictureResult<BgrImage> ApplyOrientation(BgrImage stored, int orientation);

}  // namespace quillane
