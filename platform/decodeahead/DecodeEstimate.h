#pragma once
// How much memory decoding a picture will hold, judged from the start of its file, so that the
// helper thread that decodes ahead can keep out of the way of a large picture (private to
// platform/decodeahead).

#include <cstdint>
#include <optional>
#include <string>

#include "platform/raster/Fit.h"

namespace quillane {

// Roughly the memory opening, decoding and stretching the picture at path to this paint size
// holds at its peak (its bytes or the windows a JPEG is read through, the decoder's whole-picture
// buffers, the rows streaming into the filter or the whole decoded picture where it must be
// turned or converted, the stretched result), and what is kept once it is stretched (the
// stretched picture, and the bytes of a picture other than JPEG, which stay in memory), judged
// from the start of the file. The paint size is the canvas's, on which the fit places the picture.
// Empty when that does not tell.
struct DecodeCost {
    std::int64_t Peak = 0;
    std::int64_t Kept = 0;
};
std::optional<DecodeCost> EstimateDecodeBytes(const std::string& path, int paintWidth,
                                              int paintHeight, FitMode fit = FitMode::Stretch);

}  // namespace quillane
