// The file is read once per pass, each pass made afresh from its plan (JpegPass); the frame,
// the DC values and the samples made so far carry from one pass to the next.

#include "platform/picture/jpeg/progressive/JpegProgressiveReader.h"

#include <cassert>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/picture/FileSnapshot.h"
#include "platform/picture/jpeg/JpegScanBudget.h"
#include "platform/picture/jpeg/progressive/JpegBlocks.h"
#include "platform/picture/jpeg/progressive/JpegPass.h"

namespace quillane {
namespace {

constexpr int kDcOnlyScale = 8;   // one sample a block, from the DC scans alone
constexpr int kQuarterScale = 4;  // 2x2 samples a block, from every scan

// Whether QUILLANE_PLAIN_JPEG asks for libjpeg on every file. Read at each choice: nothing in
// the program sets it, and a test may.
bool PlainJpegForced() {
    const char* plain = std::getenv("QUILLANE_PLAIN_JPEG");
    return plain && *plain && std::strcmp(plain, "0") != 0;
}

// Shrunk by eight, a block's one sample is its DC value: every component's grid of DC values
// must still reach the need.
bool DcGridsReach(const JpegFrame& frame, JpegShrinkNeed need) {
    const int maxHorizontal = frame.MaxHorizontal(), maxVertical = frame.MaxVertical();
    for (const JpegFrameComponent& c : frame.Components) {
        const std::int64_t wide = CeilDiv(std::int64_t{frame.Width} * c.Horizontal, maxHorizontal);
        const std::int64_t high = CeilDiv(std::int64_t{frame.Height} * c.Vertical, maxVertical);
        if (CeilDiv(wide, 8) < need.Width || CeilDiv(high, 8) < need.Height) return false;
    }
    return true;
}

// Shrunk by eight one read decodes the DC scans of every component. Shrunk by four the file is
// read once for each component, keeping that component's AC coefficients alone, so that only
// the largest component's are held at any time: the first read decodes the DC scans of every
// component too, and each AC scan, which has one component, is decoded in that component's
// read and stepped over in the others.
JpegReadStep ReadPasses(JpegWindow& window, int scale, JpegShrunkPicture& picture,
                        JpegBlockGrid& grid) {
    for (std::size_t component = 0;; ++component) {
        const bool quarter = scale == kQuarterScale;
        JpegPass pass(window, {scale, component == 0, quarter ? int(component) : -1}, picture,
                      grid);
        if (auto failed = pass.Read()) return failed;
        const std::size_t first = quarter ? component : 0;
        const std::size_t last = quarter ? component + 1 : grid.Components.size();
        for (std::size_t c = first; c < last; ++c) {
            if (auto failed = MakeSamples(grid.Components[c], picture.Components[c],
                                          pass.Quantizers(c), scale)) {
                return failed;
            }
        }
        if (last == grid.Components.size()) return std::nullopt;
    }
}

}  // namespace

std::optional<std::string> ProgressiveReaderRefuses(const JpegFrame& frame) {
    if (!frame.Progressive || frame.Arithmetic) return "not a progressive Huffman-coded frame";
    if (frame.Precision != 8) return "not 8 bits per sample";
    for (const JpegFrameComponent& c : frame.Components) {
        if (frame.MaxHorizontal() % c.Horizontal || frame.MaxVertical() % c.Vertical) {
            return "a sampling that does not divide the finest";
        }
    }
    return std::nullopt;
}

JpegReader ChooseJpegReader(const JpegFrame& frame, int scaleDenominator, JpegShrinkNeed need) {
    if (PlainJpegForced() || ProgressiveReaderRefuses(frame)) return JpegReader::Libjpeg;
    // Shrunk by four, coarser components are spread over luma's grid smoothly as libjpeg does
    // when it cannot scale them, so our reader takes every file it can read.
    if (scaleDenominator == kQuarterScale) return JpegReader::ProgressiveByFour;
    if (scaleDenominator == kDcOnlyScale && DcGridsReach(frame, need)) {
        return JpegReader::ProgressiveByEight;
    }
    return JpegReader::Libjpeg;
}

JpegBlockBytes ProgressiveBlockBytes(int scale) {
    constexpr std::int64_t kDcBytes = sizeof(std::int16_t);
    if (scale == kDcOnlyScale) return {kDcBytes + 1, 0};
    // The component read keeps the AC coefficients the 2x2 transform reads and the nonzero bits.
    return {kDcBytes + 4, kIdct2x2AcKept * std::int64_t{sizeof(std::int16_t)} +
                              std::int64_t{sizeof(std::uint64_t)}};
}

PictureResult<JpegShrunkPicture> ReadProgressiveShrunk(const JpegSource& source, int scale) {
    assert(scale == kDcOnlyScale || scale == kQuarterScale);
    JpegWindow window(source);
    if (auto refused = CheckScanWork(window)) return *refused;
    JpegShrunkPicture picture;
    JpegBlockGrid grid;
    if (const JpegReadStep failed = ReadPasses(window, scale, picture, grid)) {
        // A failed read ends the data early, which the passes take for a file cut short.
        if (window.Failed()) return FileAccessFailure(window.Failed());
        if (!failed->OutOfMemory) return DamagedJpeg(failed->Why);
        return PictureFailure{ErrorNumber::OutOfMemory,
                              "needs more memory than is free (" + failed->Why + ")"};
    }
    return picture;
}

}  // namespace quillane
