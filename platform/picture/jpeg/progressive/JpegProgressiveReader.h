#pragma once
// Our own reader of progressive, Huffman-coded 8-bit JPEGs, for the decodes shrunk by eight, four
// and two, where libjpeg would hold all 64 coefficients (128 bytes) of every block of the
// picture until the last scan.
//
// Shrunk by eight each 8x8 block becomes one pixel: only the DC scans are read (the first ones
// and their refinements, interleaved or one component at a time, with restart intervals), the
// AC scans are stepped over, and a block keeps its DC value alone (2 bytes).
// Shrunk by four each block becomes 2x2 pixels: every scan is read, and a block keeps only the
// 25 coefficients the 2x2 inverse DCT reads and one bit per coefficient saying whether it is
// nonzero yet, which the refinement scans need (25 * 2 + 8 = 58 bytes). The file is read once
// per component, so that only one component's AC coefficients are held at a time; the others
// hold their DC values (2 bytes a block) or, once read, their samples (4).
// Shrunk by two each block becomes 4x4 pixels in the same way, a block keeping the 49
// coefficients the 4x4 inverse DCT reads (49 * 2 + 8 = 106 bytes, against libjpeg's 128) and,
// once read, its 16 samples.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/LargeBuffer.h"
#include "platform/picture/PictureLimits.h"
#include "platform/picture/jpeg/JpegMarkers.h"
#include "platform/picture/jpeg/JpegSource.h"

namespace quillane {

struct JpegShrunkComponent {
    int Horizontal = 1;  // sampling factors, 1..4
    int Vertical = 1;
    int BlocksWide = 0;  // the component's own blocks, without the padding of partial MCUs
    int BlocksHigh = 0;
    // Shrunk by eight one sample per block, as libjpeg's 1x1 inverse DCT makes it from the DC
    // coefficient; shrunk by four 2x2 per block and by two 4x4, as its 2x2 and 4x4 ones make
    // them, the last ones cut at the component's edge. SamplesWide x SamplesHigh in raster order.
    int SamplesWide = 0;
    int SamplesHigh = 0;
    LargeVector<std::uint8_t> Samples;
};

struct JpegShrunkPicture {
    int Width = 0;  // the frame's size in pixels
    int Height = 0;
    int MaxHorizontal = 1;
    int MaxVertical = 1;
    int Scale = 8;  // pixels of the frame per sample, across and down: 8, 4 or 2
    std::vector<JpegShrunkComponent> Components;  // in frame order
};

// Why our reader does not take a file with this frame, empty when it does: it reads progressive
// Huffman-coded files of 8 bits a sample whose coarser samplings each divide the finest (for the
// spreading onto its grid). Every other file is libjpeg's.
std::optional<std::string> ProgressiveReaderRefuses(const JpegFrame& frame);

// The bytes our reader holds a block, shrunk by eight, four or two: for every block of the picture,
// and in addition for each block of the one component whose AC scans are being read.
struct JpegBlockBytes {
    std::int64_t EveryBlock = 0;
    std::int64_t ComponentRead = 0;
};
JpegBlockBytes ProgressiveBlockBytes(int scale);

// The source must hold a whole JPEG, from its SOI marker; scale is 8, 4 or 2. A file our reader
// refuses, or whose structure or scans (only the DC scans, shrunk by eight) are damaged or cut
// short, fails with 481, and so does one past the scan budget (CheckScanWork, asked first);
// memory running out with 7, a failed read of the file with 75.
[[nodiscard]] PictureResult<JpegShrunkPicture> ReadProgressiveShrunk(const JpegSource& source,
                                                                     int scale);

}  // namespace quillane
