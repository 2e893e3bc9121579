#pragma once
// BMP and every other format Qt's image reader knows, decided by content (private to the
// picture loader).

#include <cstdint>
#include <span>

#include "platform/picture/PictureLimits.h"
#include "platform/raster/BgrImage.h"

namespace quillane {

// Makes Qt's reader plugins on the calling thread, once (see PictureFile::PrepareForHelperThreads).
void LoadQtReaders();

struct QtHeader {
    int Width = 0;
    int Height = 0;
    bool Bmp = false;
};
// What Qt's reader says of the bytes before decoding them; 481 for a format it does not know.
PictureResult<QtHeader> ReadQtHeader(std::span<const std::uint8_t> bytes);

// The picture as BGR sRGB, converted through an ICC profile Qt found in the file.
// ignoreAlpha: keep the colour channels as stored instead of compositing over white.
PictureResult<BgrImage> DecodeWithQt(std::span<const std::uint8_t> bytes, bool ignoreAlpha);

}  // namespace quillane
