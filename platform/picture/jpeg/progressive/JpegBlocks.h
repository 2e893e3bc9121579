#pragma once
// What our progressive reader holds of each component between scans and between its passes over
// the file (private to jpeg/progressive): the component's blocks laid out on the MCU grid, with
// their DC values and, shrunk by four or two and only in the component's own pass, the AC
// coefficients the 2x2 or 4x4 inverse DCT reads.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/picture/jpeg/JpegMarkers.h"
#include "platform/picture/jpeg/progressive/JpegProgressiveReader.h"
#include "platform/picture/jpeg/progressive/JpegReducedIdct.h"

namespace quillane {

// Why a read stopped: a damaged or cut file, said as a phrase ("a bad progression"), or memory
// that ran out.
struct JpegReadFailure {
    JpegReadFailure(const char* why) : Why(why) {}             // NOLINT: implicit, as a phrase
    JpegReadFailure(std::string why) : Why(std::move(why)) {}  // NOLINT
    static JpegReadFailure NoMemory(const char* what) {
        JpegReadFailure failure(what);
        failure.OutOfMemory = true;
        return failure;
    }
    std::string Why;
    bool OutOfMemory = false;
};
using JpegReadStep = std::optional<JpegReadFailure>;  // empty: read, go on

// What the loader is told of a failed read: a failed read of the file (75), memory (7), or
// damage (481).
PictureFailure ProgressiveReadFailure(const JpegReadFailure& failed, const JpegWindow& window);

struct JpegComponentBlocks {
    JpegFrameComponent Frame;
    int PaddedWide = 0;  // blocks per row of the MCU grid (interleaved scans reach that far)
    ZeroedArray<std::int16_t> Dc;  // each block's DC value over that grid
    // Each block's kept AC coefficients (in the transform's slot order) and a bit per
    // coefficient of the zig-zag order saying whether it is nonzero yet.
    ZeroedArray<std::int16_t> Coefficients;
    ZeroedArray<std::uint64_t> Nonzero;
    // Whether an AC scan of the component was read. Without one both arrays stay zero and are
    // never read either: on some systems even reading untouched memory maps pages in.
    bool AnyAc = false;

    // The first row of blocks the coefficients and nonzero bits hold: 0 when they hold the
    // whole picture, the band's first when they hold one band of rows (at full size).
    int FirstRow = 0;

    // The block at column x, row y in the DC values, which cover the whole picture.
    std::size_t DcIndex(int x, int y) const { return static_cast<std::size_t>(y) * PaddedWide + x; }
    // The block at column x, row y of the component's own blocks among those held.
    std::size_t Index(int x, int y) const {
        return static_cast<std::size_t>(y - FirstRow) * PaddedWide + x;
    }
};

struct JpegBand;

struct JpegBlockGrid {
    int McusWide = 0;
    int McusHigh = 0;
    std::vector<JpegComponentBlocks> Components;  // in frame order
    int AcKept = 0;  // AC coefficients kept a block: those the scale's transform reads

    // Makes room for one component's AC coefficients, shrunk by four or two.
    JpegReadStep AllocateCoefficients(std::size_t component);
    // Makes room for every component's AC coefficients in the band's rows of blocks, at full
    // size, cutting the band at the last MCU row.
    JpegReadStep AllocateBand(JpegBand& band);
};

// Lays out the picture our reader makes of a frame it takes, shrunk by `scale`, and its blocks,
// with room for every component's DC values.
JpegReadStep LayOutBlocks(const JpegFrame& frame, int scale, JpegShrunkPicture& picture,
                          JpegBlockGrid& grid);

// The component's samples from its blocks, through the 1x1 (scale 8), 2x2 (4) or 4x4 (2) inverse
// DCT with the quantizers of its first scan; the blocks are let go then.
JpegReadStep MakeSamples(JpegComponentBlocks& blocks, JpegShrunkComponent& out,
                         const std::array<std::uint16_t, kWholeKept>& quantizers, int scale);

}  // namespace quillane
