#pragma once
// Our own progressive JPEG reader held against libjpeg-turbo's djpeg: the same file shrunk by
// djpeg in colour and as luma alone, and the luma our reader made, as a picture to compare.

#include <string>

#include "platform/picture/jpeg/progressive/JpegProgressiveReader.h"
#include "support/PictureFiles.h"

namespace quillane::test {

// Writes JPEG.ppm (colour) and JPEG.pgm (luma alone) beside the file, shrunk by 1/denominator.
inline bool DjpegShrunk(const std::string& jpeg, int denominator) {
    const std::string options = " -dct int -scale 1/" + std::to_string(denominator) + " -outfile ";
    return Shell("djpeg" + options + Quote(jpeg + ".ppm") + " " + Quote(jpeg) +
                 " && djpeg -grayscale" + options + Quote(jpeg + ".pgm") + " " + Quote(jpeg));
}

// The first component's samples, each three times over, as djpeg writes a PGM read as RGB.
inline RgbPicture LumaOf(const JpegShrunkPicture& picture) {
    const JpegShrunkComponent& luma = picture.Components.at(0);
    RgbPicture out{luma.SamplesWide, luma.SamplesHigh, {}};
    for (const std::uint8_t sample : luma.Samples) out.Rgb.insert(out.Rgb.end(), 3, sample);
    return out;
}

}  // namespace quillane::test
