#pragma once
// BMP and every other format Qt's image reader knows, decided by content (private to the
// picture loader).

#include <cstdint>
#include <span>

#include "platform/picture/PictureFile.h"
#include "platform/picture/PictureLimits.h"
#include "platform/raster/BgrImage.h"

namespace quillane {

// Qt's reader is a module loaded by the first picture that needs it (see
// platform/qtreader/QtImageReader.h), which also makes Qt's reader plugins on the thread that
// loads it. LoadQtReaders loads it now, on the calling thread.
void LoadQtReaders();
// Whether Qt is in the program already (the window's), so that loading the reader costs nothing.
bool QtLibrariesLoaded();
// On a thread that must not be the first to use Qt (see PictureFile::PrepareForHelperThreads),
// a picture that needs Qt's reader before it is loaded raises QtReadersNotReadyHere, and the
// picture is left to a thread that may load it.
void BarQtReadersOnThisThread();

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
