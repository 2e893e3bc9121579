#pragma once
// mJPEGLibrary: saves picture memory as a JPEG file through the JPEG library layer.

#include <string>

#include "imaging/cDIBSection.h"

namespace quillane {

// Writes cDib's picture, upright and at its own size, as a JPEG file of quality 90 named by
// the bytes of sFile (UTF-8 on this platform, used exactly as given). True only when the file
// was written in full. A failure shows "Failed to save to JPG" (or, when the library cannot
// start, "Failed to initialise the IJL library: " and its status) and returns false; the file
// is then absent, or keeps its earlier content. RuntimeError from reading cDib's size
// (Overflow, 6) passes to the caller after the library's record has been released.
bool WriteJPG(cDIBSection& cDib, std::string sFile);

}  // namespace quillane
