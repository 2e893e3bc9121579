#pragma once
// Reads the DC coefficients of a progressive, Huffman-coded 8-bit JPEG and nothing else: the
// first DC scans and their refinements, interleaved or one component at a time, with restart
// intervals. The AC scans are stepped over. That is all a decode shrunk by eight needs, where
// each 8x8 block becomes one pixel, and it keeps a single value per block instead of the 64
// coefficients libjpeg holds for every block of a progressive picture.

#include <cstdint>
#include <span>
#include <vector>

#include "platform/picture/PictureDecoding.h"

namespace quillane {

struct JpegDcComponent {
    int Horizontal = 1;  // sampling factors, 1..4
    int Vertical = 1;
    int BlocksWide = 0;  // the component's own blocks, without the padding of partial MCUs
    int BlocksHigh = 0;
    // One sample per block, as libjpeg's 1x1 inverse DCT makes it from the DC coefficient,
    // BlocksWide x BlocksHigh in raster order.
    std::vector<std::uint8_t> Samples;
};

struct JpegDcPicture {
    int Width = 0;  // the frame's size in pixels
    int Height = 0;
    int MaxHorizontal = 1;
    int MaxVertical = 1;
    std::vector<JpegDcComponent> Components;  // in frame order
};

// The bytes must hold a whole JPEG, from its SOI marker. A file that is not progressive
// Huffman-coded 8-bit, or whose structure or DC scans are damaged or cut short, fails with 481.
[[nodiscard]] PictureResult<JpegDcPicture> ReadJpegDcScans(std::span<const std::uint8_t> bytes);

}  // namespace quillane
