#pragma once
// mJPEGLibrary: saves picture memory as a JPEG file through the JPEG library layer.

#include <cstdint>
#include <string>

#include "imaging/cDIBSection.h"
#include "jpeg/SizeWindow.h"

namespace quillane {

// How a picture is saved; the defaults make the window's own files.
struct JpegSaveOptions {
    std::int32_t Quality = 90;     // 1..100; with a size window, the highest it may use
    std::int32_t DotsPerInch = 0;  // the density the file states; 0 states none
    SizeWindow Window;             // the file's size; any by default
};

// Writes cDib's picture, upright and at its own size, as a JPEG file named by the bytes of sFile
// (UTF-8 on this platform, used exactly as given), as the options say. True only when the file
// was written in full. A failure shows "Failed to save to JPG" (or, when the library cannot
// start, "Failed to initialise the IJL library: " and its status; or, when no quality down to
// the lowest makes the file small enough, the file's name, the smallest size reached and the
// window) and returns false; the file is then absent, or keeps its earlier content.
// RuntimeError from reading cDib's size (Overflow, 6) passes to the caller after the library's
// record has been released.
bool WriteJPG(cDIBSection& cDib, std::string sFile, const JpegSaveOptions& options = {});

}  // namespace quillane
