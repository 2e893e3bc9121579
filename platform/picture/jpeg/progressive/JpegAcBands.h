#pragma once
// The AC scans of a progressive JPEG, each of one component (private to jpeg/progressive): a
// first scan of a band of the zig-zag order, or a refinement adding one lower bit. Runs of blocks
// with nothing left in the band (end-of-band runs) carry over from block to block in
// `endOfBandRun`.
//
// The block keeps only some coefficients (`slots` says where each one of the zig-zag order is
// kept, -1: not kept), but a bit for every one saying whether it is nonzero yet: the refinement
// of any coefficient depends on that, kept or not.

#include <array>
#include <cstdint>

#include "platform/picture/jpeg/progressive/JpegBitReader.h"
#include "platform/picture/jpeg/progressive/JpegBlocks.h"
#include "platform/picture/jpeg/progressive/JpegHuffman.h"
#include "platform/picture/jpeg/progressive/JpegScanData.h"

namespace quillane {

struct JpegAcScan {
    const JpegHuffmanTable* Table = nullptr;
    const std::array<std::int8_t, 64>* Slots = nullptr;
    int First = 1;  // the band, 1 <= First <= Last <= 63
    int Last = 63;
    int PointTransform = 0;  // the low bits not yet sent, 0..13
    bool Refinement = false;
    int KeptPerBlock = 0;  // AC coefficients a block keeps
    // Bit k: coefficient k of the zig-zag order is kept (its slot is not -1). The correction
    // bits of the others are only passed over.
    std::uint64_t KeptMask = ~std::uint64_t{0};
};

struct JpegAcBlock {
    std::int16_t* Kept = nullptr;
    std::uint64_t* Nonzero = nullptr;  // bit k: coefficient k of the zig-zag order
};

// Where the decoding of an AC scan stands: the next of the component's own blocks, in raster
// order, and the end-of-band run carried into it. A read of the file that decodes only some
// rows of blocks leaves it there for the next read to go on from.
struct JpegAcCursor {
    std::int64_t Block = 0;
    std::uint32_t EndOfBandRun = 0;
};

// Decodes the scan's data into the component's kept coefficients, from the cursor's block up
// to block `end` (at most all of them), which must lie in the rows the coefficients hold;
// fails when the data is damaged, cut short or misses a restart marker.
JpegReadStep DecodeAcBands(JpegScanData& data, const JpegAcScan& scan, JpegComponentBlocks& blocks,
                           const JpegShrunkComponent& shape, JpegAcCursor& cursor,
                           std::int64_t end);

}  // namespace quillane
