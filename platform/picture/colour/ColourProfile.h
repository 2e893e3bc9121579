#pragma once
// Where a picture file says which colours its numbers mean (private to platform/picture): an ICC
// profile split over a JPEG's APP2 segments, a camera's EXIF marking of Adobe RGB, a BMP's V4/V5
// colour space. Whatever is missing, damaged or unknown here means "sRGB", never a bad picture.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "platform/picture/bmp/BmpHeader.h"
#include "platform/picture/colour/ColourTransform.h"

namespace quillane {

// The profile of the APP2 payloads (each after its length, in file order), put together by the
// chunks' sequence numbers. Empty when there is none, and when chunks are missing, repeated or
// disagree on how many there are: such a profile cannot be trusted to be the one written.
std::optional<std::vector<std::uint8_t>> IccFromJpegChunks(
    std::span<const std::span<const std::uint8_t>> app2Payloads);

// A camera set to Adobe RGB writes no profile but EXIF ColorSpace "uncalibrated" and the
// interoperability index "R03" (the camera file system's convention). The payload is an APP1
// segment's data after its length.
bool ExifSaysAdobeRgb(std::span<const std::uint8_t> app1Payload);

// The conversion a BMP's V4/V5 header asks for (an embedded profile or calibrated endpoints);
// null for sRGB, for other headers and for anything that cannot be used. `bytes` is the file
// the header was read from.
std::shared_ptr<const ColourTransform> BmpColourTransform(const BmpHeader& header,
                                                          std::span<const std::uint8_t> bytes);

}  // namespace quillane
