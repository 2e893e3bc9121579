#pragma once
// What a batch run makes of each picture besides its size: how it is placed on the canvas, how
// its file is saved and where that file goes. The defaults are the window's own run, which never
// changes them; the batch command's options do.

#include <cstdint>
#include <string>

#include "jpeg/mJPEGLibrary.h"
#include "platform/raster/Fit.h"

namespace quillane {

struct BatchSettings {
    FitMode Fit = FitMode::Stretch;
    std::int32_t Background = 0xFFFFFF;  // 0xBBGGRR around a contained picture: white
    JpegSaveOptions Jpeg;
    std::string OutputFolder;       // empty: each output beside its picture
    std::string Prefix = "处理后";  // put before each output's name
    bool Recursive = false;         // also the pictures of every sub-folder
};

}  // namespace quillane
