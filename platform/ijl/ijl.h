#pragma once
// The JPEG library's calls as the writer uses them: ijlInit readies a core-properties record,
// ijlWrite encodes the 24-bit picture memory it describes into a JPEG file, ijlFree releases
// what the other two took. Built on libjpeg-turbo; no libjpeg type shows through this header,
// so the layers above include it without the codec's headers.

#include <cstdint>

namespace quillane {

// Status of every call: IJL_OK, or a negative number naming what went wrong.
enum IJLERR : std::int32_t {
    IJL_OK = 0,
    IJL_INVALID_JPEG_PROPERTIES = -1,  // no record was passed
    IJL_NOT_INITIALISED = -2,          // the record was not readied by ijlInit (or was freed)
    IJL_UNSUPPORTED_OPERATION = -3,    // ijlWrite was asked for an operation it does not do
    IJL_NULL_POINTER = -4,             // DIBBytes is null
    IJL_BAD_SIZE = -5,                 // DIB width or height zero, negative or too large
    IJL_SIZE_MISMATCH = -6,            // JPG size differs from the DIB size (no scaling)
    IJL_INVALID_PADDING = -7,          // DIBPadBytes does not end rows on a 4-byte boundary
    IJL_INVALID_QUALITY = -8,          // jquality outside 1..100
    IJL_UNSUPPORTED_COLOR = -9,        // channel count, colour or subsampling not supported
    IJL_INVALID_FILENAME = -10,        // JPGFile null, empty or naming a folder
    IJL_FILE_ERROR = -11,              // the file could not be created, written or put in place
    IJL_MEMORY_ERROR = -12,            // out of memory
    IJL_ENCODE_ERROR = -13,            // the encoder refused the picture
    IJL_INVALID_DENSITY = -14,         // JPGDotsPerInch outside 0..65535
};

// Operations of ijlWrite.
enum IJLIOTYPE : std::int32_t {
    IJL_JFILE_WRITEWHOLEIMAGE = 8,  // the whole picture into the file named by JPGFile
    // The whole picture into memory the record holds: JPGBytes and JPGSizeBytes say where and
    // how much, until the next ijlWrite or ijlFree. JPGFile is not used.
    IJL_JBUFF_WRITEWHOLEIMAGE = 9,
};

// Colour layouts of DIBColor (picture memory) and JPGColor (the JPEG file). 0 means unset.
enum IJL_COLOR : std::int32_t {
    IJL_RGB = 1,    // red, green, blue bytes
    IJL_BGR = 2,    // blue, green, red bytes: the picture memory's order
    IJL_YCBCR = 3,  // luminance and two colour differences (colour JPEG)
    IJL_G = 4,      // gray only (one channel)
};

// Chroma subsampling of DIBSubsampling and JPGSubsampling.
enum IJL_JPGSUBSAMPLING : std::int32_t {
    IJL_NONE = 0,  // every channel at full resolution (4:4:4)
    IJL_420 = 1,   // colour halved in both directions
    IJL_422 = 2,   // colour halved horizontally
};

// The library's working state, private to it; zero until ijlInit.
struct IJL_WORKING_STATE {
    std::uint32_t Marker;  // set by ijlInit, cleared by ijlFree
    void* Encoder;         // the encoder ijlInit made, owned by the record until ijlFree
};

// The core-properties record. The named fields keep the published order; on a 32-bit build
// they sit at the published offsets (DIBBytes 4, JPGFile 32, jquality 80, 84 bytes in all).
// Address fields are pointer-sized on a 64-bit build: set fields by name, never by offset.
struct JPEG_CORE_PROPERTIES {
    std::uint32_t UseJPEGPROPERTIES;  // reserved, kept 0
    std::uint8_t* DIBBytes;           // first byte of the first row in memory
    std::int32_t DIBWidth;            // pixels a row
    std::int32_t DIBHeight;           // rows; negative: the first row in memory is the bottom line
    std::int32_t DIBPadBytes;         // filler bytes after each row's pixels (0..3)
    std::int32_t DIBChannels;         // bytes a pixel
    std::int32_t DIBColor;            // IJL_COLOR of the picture memory
    std::int32_t DIBSubsampling;      // IJL_NONE: picture memory is never subsampled
    const char* JPGFile;              // file name bytes, ended by one zero byte
    std::uint8_t* JPGBytes;           // the encoded bytes after IJL_JBUFF_WRITEWHOLEIMAGE
    std::int32_t JPGSizeBytes;        // how many there are
    std::int32_t JPGWidth;            // must equal DIBWidth
    std::int32_t JPGHeight;           // must equal |DIBHeight|
    std::int32_t JPGChannels;         // 3 for IJL_YCBCR, 1 for IJL_G
    std::int32_t JPGColor;            // IJL_COLOR of the file: IJL_YCBCR or IJL_G
    std::int32_t JPGSubsampling;      // IJL_JPGSUBSAMPLING of the colour channels
    std::int32_t JPGThumbWidth;       // unused: no thumbnail is written
    std::int32_t JPGThumbHeight;      // unused, as JPGThumbWidth
    std::int32_t cconversion_reqd;    // 1: the colour is converted to JPGColor on the way
    std::int32_t upsampling_reqd;     // unused when writing
    std::int32_t jquality;            // 1..100
    IJL_WORKING_STATE jprops;         // the library's own; callers leave it alone
    // Added after the published fields: the JFIF density in dots per inch, both ways; 0 leaves
    // it unset (square pixels, no unit).
    std::int32_t JPGDotsPerInch;
};

// Fills the record with the defaults: picture memory of 3 channels in blue-green-red order,
// JPEG output in YCbCr with full-resolution colour (4:4:4), quality 75. The record should be
// zeroed first; one already initialised must go through ijlFree before it is initialised
// again. Returns IJL_OK, IJL_INVALID_JPEG_PROPERTIES for a null record or IJL_MEMORY_ERROR.
IJLERR ijlInit(JPEG_CORE_PROPERTIES* jcprops);

// With IJL_JFILE_WRITEWHOLEIMAGE, checks the whole record, then encodes the picture memory
// in place into the file JPGFile (with IJL_JBUFF_WRITEWHOLEIMAGE, into memory instead). The file is
// written under a hidden temporary name in the same folder and renamed over the target only when
// complete, so on any failure no file is left behind and an existing target keeps its old content.
// Returns IJL_OK only when the file is in place; otherwise the status of the first problem found.
IJLERR ijlWrite(JPEG_CORE_PROPERTIES* jcprops, std::int32_t iotype);

// Releases what ijlInit and ijlWrite took and marks the record as no longer ready. Returns
// IJL_OK, IJL_INVALID_JPEG_PROPERTIES for a null record or IJL_NOT_INITIALISED.
IJLERR ijlFree(JPEG_CORE_PROPERTIES* jcprops);

}  // namespace quillane
