#pragma once
// The DC scans of a progressive JPEG (private to jpeg/progressive). A first DC scan codes, per
// block, the difference from the previous block's DC value of the same component (a category by
// Huffman code, then that many extra bits); a refinement scan adds one lower bit per block. A
// scan of one component goes over its own blocks; an interleaved one MCU by MCU, each MCU
// holding Horizontal x Vertical blocks of every component in it.

#include <cstdint>
#include <vector>

#include "platform/picture/jpeg/progressive/JpegBlocks.h"
#include "platform/picture/jpeg/progressive/JpegHuffman.h"
#include "platform/picture/jpeg/progressive/JpegScanData.h"

namespace quillane {

struct JpegDcScanComponent {
    JpegComponentBlocks* Blocks = nullptr;
    const JpegShrunkComponent* Shape = nullptr;
    const JpegHuffmanTable* Table = nullptr;  // a first scan's; none for a refinement
};

struct JpegDcScan {
    std::vector<JpegDcScanComponent> Components;  // 1 to 4, in scan order
    int PointTransform = 0;                       // the low bits not yet sent, 0..13
};

// Decodes the scan's data into the blocks of its components; fails when the data is damaged,
// cut short or misses a restart marker.
JpegReadStep DecodeDcBands(JpegScanData& data, const JpegDcScan& scan, const JpegBlockGrid& grid);

}  // namespace quillane
