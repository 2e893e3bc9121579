// The file is read once per pass, each pass made afresh from its plan (JpegPass); the frame,
// the DC values and the samples made so far carry from one pass to the next.

#include "platform/picture/jpeg/progressive/JpegProgressiveReader.h"

#include <cassert>
#include <utility>

#include "platform/picture/FileSnapshot.h"
#include "platform/picture/jpeg/JpegScanBudget.h"
#include "platform/picture/jpeg/progressive/JpegBlocks.h"
#include "platform/picture/jpeg/progressive/JpegPass.h"
#include "platform/picture/jpeg/progressive/JpegReducedIdct.h"

namespace quillane {
namespace {

constexpr int kDcOnlyScale = 8;  // one sample a block, from the DC scans alone
// 2x2 and 4x4 samples a block, from every scan (named for the check of the scale asked for).
[[maybe_unused]] constexpr int kQuarterScale = 4;
[[maybe_unused]] constexpr int kHalfScale = 2;

// Shrunk by eight one read decodes the DC scans of every component. Shrunk by four the file is
// read once for each component, keeping that component's AC coefficients alone, so that only
// the largest component's are held at any time: the first read decodes the DC scans of every
// component too, and each AC scan, which has one component, is decoded in that component's
// read and stepped over in the others.
JpegReadStep ReadPasses(JpegWindow& window, int scale, JpegShrunkPicture& picture,
                        JpegBlockGrid& grid) {
    for (std::size_t component = 0;; ++component) {
        const bool quarter = scale != kDcOnlyScale;  // or half: the AC scans are read
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

JpegBlockBytes ProgressiveBlockBytes(int scale) {
    constexpr std::int64_t kDcBytes = sizeof(std::int16_t);
    if (scale == kDcOnlyScale) return {kDcBytes + 1, 0};
    // Each block's samples once read; the component read keeps the AC coefficients the scale's
    // transform reads and the nonzero bits.
    const std::int64_t samples = (8 / scale) * (8 / scale);
    const std::int64_t acKept = ReducedTransformFor(scale).Kept - 1;
    return {kDcBytes + samples,
            acKept * std::int64_t{sizeof(std::int16_t)} + std::int64_t{sizeof(std::uint64_t)}};
}

PictureResult<JpegShrunkPicture> ReadProgressiveShrunk(const JpegSource& source, int scale) {
    assert(scale == kDcOnlyScale || scale == kQuarterScale || scale == kHalfScale);
    JpegWindow window(source);
    if (auto refused = CheckScanWork(window)) return *refused;
    JpegShrunkPicture picture;
    JpegBlockGrid grid;
    if (const JpegReadStep failed = ReadPasses(window, scale, picture, grid)) {
        return ProgressiveReadFailure(*failed, window);
    }
    return picture;
}

PictureFailure ProgressiveReadFailure(const JpegReadFailure& failed, const JpegWindow& window) {
    // A failed read ends the data early, which the passes take for a file cut short.
    if (window.Failed()) return FileAccessFailure(window.Failed());
    if (!failed.OutOfMemory) return DamagedJpeg(failed.Why);
    return PictureFailure{ErrorNumber::OutOfMemory,
                          "needs more memory than is free (" + failed.Why + ")"};
}

}  // namespace quillane
