#pragma once
// Turning decoded pixels into sRGB through their embedded colour profile (Little CMS 2), private
// to platform/picture. A transform is made once per profile and pixel layout and shared by every
// decode of the process, from any thread; a profile that is sRGB already, one that cannot be used
// and one that does not fit the pixels all give no transform, and the pixels stay as stored.

#include <cstdint>
#include <memory>
#include <span>

#include "platform/raster/BgrImage.h"

namespace quillane {

// How the decoder hands over the pixels the profile describes.
enum class PixelLayout {
    Bgr,          // blue, green, red bytes
    Gray,         // one byte a pixel
    Cmyk,         // 0 no ink, 255 full ink
    InvertedCmyk  // 255 no ink, as Photoshop writes CMYK JPEGs (its APP14 segment says so)
};

class ColourTransform {
  public:
    virtual ~ColourTransform() = default;
    virtual PixelLayout Input() const = 0;
    // Converts width pixels of the input layout into BGR sRGB. For Bgr input the two may be the
    // same row.
    virtual void ToBgr(const std::uint8_t* in, std::uint8_t* bgr, int width) const = 0;
};

// The transform for pixels of that layout tagged with the ICC profile; null when none is needed
// or none can be had.
std::shared_ptr<const ColourTransform> TransformToSrgb(std::span<const std::uint8_t> icc,
                                                       PixelLayout layout);
// Adobe RGB (1998), for a camera's JPEG that names it only in its EXIF block.
std::shared_ptr<const ColourTransform> AdobeRgbToSrgb();
// A BMP's calibrated endpoints: the CIE XYZ of full red, green and blue, and one gamma each.
struct CalibratedRgb {
    double Xyz[3][3];
    double Gamma[3];
};
std::shared_ptr<const ColourTransform> CalibratedRgbToSrgb(const CalibratedRgb& primaries);

// Converts a decoded BGR picture in place.
void ConvertToSrgb(const ColourTransform& transform, const BgrView& pixels);

}  // namespace quillane
