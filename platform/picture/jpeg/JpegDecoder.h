#pragma once
// JPEG through libjpeg-turbo (private to the picture loader): the header for the size and the
// orientation, then the picture at a DCT scale, whole or a row at a time. A file one of our own
// readers takes at that scale (ChooseJpegReader) is handed to it instead: a progressive file
// shrunk by eight or four (jpeg/progressive/), which keeps far less of it, a sequential one
// shrunk by eight, four or two (jpeg/sequential/), which decodes only what the scale needs;
// every other file, and every file when the plain path is forced, goes through libjpeg.

#include <memory>

#include "platform/picture/PictureLimits.h"
#include "platform/picture/jpeg/JpegSource.h"
#include "platform/raster/BgrImage.h"

namespace quillane {

struct JpegHeader {
    int Width = 0;  // stored frame, before the orientation
    int Height = 0;
    int Orientation = 1;
};

// The source must start with the SOI marker.
PictureResult<JpegHeader> ReadJpegHeader(const JpegSource& source);

// The picture as stored (no orientation applied) at the DCT scale, converted into sRGB where
// the file says its pixels are in another colour space; the source must outlive the rows.
// `need` is what the decode must keep (see ShrinkNeedFor): shrunk by eight, our reader takes a
// file only while every component's DC grid still reaches it.
PictureResult<std::unique_ptr<PictureRowSource>> OpenJpegRows(const JpegSource& source,
                                                              int scaleDenominator,
                                                              JpegShrinkNeed need = {});
// The same rows, whole.
PictureResult<BgrImage> DecodeJpeg(const JpegSource& source, int scaleDenominator,
                                   JpegShrinkNeed need = {});

}  // namespace quillane
