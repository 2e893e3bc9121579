#include "platform/picture/jpeg/progressive/JpegBlocks.h"

#include <algorithm>
#include <bit>
#include <new>

#include "platform/picture/jpeg/progressive/JpegPass.h"
#include "platform/picture/jpeg/progressive/JpegShrunkRows.h"

namespace quillane {
namespace {

std::size_t BlockCount(const JpegComponentBlocks& c, int mcusHigh) {
    return static_cast<std::size_t>(c.PaddedWide) * mcusHigh * c.Frame.Vertical;
}

}  // namespace

JpegReadStep LayOutBlocks(const JpegFrame& frame, int scale, JpegShrunkPicture& picture,
                          JpegBlockGrid& grid) {
    if (std::int64_t{frame.Width} * frame.Height > kMaxPixels) return "too many pixels";
    picture = ShrunkLayoutFor(frame, scale);
    grid.AcKept = ReducedTransformFor(scale).Kept - 1;
    grid.McusWide = static_cast<int>(CeilDiv(frame.Width, 8 * picture.MaxHorizontal));
    grid.McusHigh = static_cast<int>(CeilDiv(frame.Height, 8 * picture.MaxVertical));
    grid.Components.clear();
    grid.Components.resize(frame.Components.size());
    for (std::size_t i = 0; i < frame.Components.size(); ++i) {
        const JpegFrameComponent& from = frame.Components[i];
        JpegComponentBlocks& blocks = grid.Components[i];
        blocks.Frame = from;
        blocks.PaddedWide = grid.McusWide * from.Horizontal;
        if (!blocks.Dc.Allocate(BlockCount(blocks, grid.McusHigh))) {
            return JpegReadFailure::NoMemory("no memory for its coefficients");
        }
    }
    return std::nullopt;
}

JpegReadStep JpegBlockGrid::AllocateCoefficients(std::size_t component) {
    JpegComponentBlocks& c = Components[component];
    const std::size_t blocks = BlockCount(c, McusHigh);
    if (!c.Coefficients.Allocate(blocks * static_cast<std::size_t>(AcKept)) ||
        !c.Nonzero.Allocate(blocks)) {
        return JpegReadFailure::NoMemory("no memory for its coefficients");
    }
    return std::nullopt;
}

JpegReadStep JpegBlockGrid::AllocateBand(JpegBand& band) {
    band.EndMcuRow = std::min(band.EndMcuRow, McusHigh);
    for (JpegComponentBlocks& c : Components) {
        c.FirstRow = band.FirstMcuRow * c.Frame.Vertical;
        const std::size_t blocks = static_cast<std::size_t>(c.PaddedWide) *
                                   std::max(0, band.EndMcuRow - band.FirstMcuRow) *
                                   c.Frame.Vertical;
        if (!c.Coefficients.Allocate(blocks * static_cast<std::size_t>(AcKept)) ||
            !c.Nonzero.Allocate(blocks)) {
            return JpegReadFailure::NoMemory("no memory for its coefficients");
        }
        c.AnyAc = false;
    }
    return std::nullopt;
}

JpegReadStep MakeSamples(JpegComponentBlocks& c, JpegShrunkComponent& out,
                         const std::array<std::uint16_t, kWholeKept>& quantizers, int scale) {
    try {
        out.Samples.resize(static_cast<std::size_t>(out.SamplesWide) * out.SamplesHigh);
    } catch (const std::bad_alloc&) {
        return JpegReadFailure::NoMemory("no memory for its samples");
    }
    const int perBlock = 8 / scale;  // samples across and down
    const std::size_t acKept = static_cast<std::size_t>(ReducedTransformFor(scale).Kept) - 1;
    for (int y = 0; y < out.BlocksHigh; ++y) {
        for (int x = 0; x < out.BlocksWide; ++x) {
            const std::size_t index = c.Index(x, y);
            std::uint8_t made[16];
            if (scale == 8) {
                made[0] = Idct1x1(c.Dc[c.DcIndex(x, y)], quantizers[0]);
            } else {
                std::int16_t kept[kIdct4x4Kept] = {c.Dc[c.DcIndex(x, y)]};
                // Past the last coefficient nonzero yet, which spares the sums of the others.
                const std::uint64_t nonzero = c.AnyAc ? c.Nonzero[index] : 0;
                if (nonzero) std::copy_n(&c.Coefficients[index * acKept], acKept, kept + 1);
                const int end = nonzero ? 64 - std::countl_zero(nonzero) : 1;
                if (scale == 4) {
                    Idct2x2(kept, quantizers.data(), made, end);
                } else {
                    Idct4x4(kept, quantizers.data(), made, end);
                }
            }
            // The last blocks of a row or column may reach past the component's samples.
            for (int v = 0; v < perBlock && y * perBlock + v < out.SamplesHigh; ++v) {
                for (int h = 0; h < perBlock && x * perBlock + h < out.SamplesWide; ++h) {
                    out.Samples[static_cast<std::size_t>(y * perBlock + v) * out.SamplesWide +
                                x * perBlock + h] = made[v * perBlock + h];
                }
            }
        }
    }
    c.Dc.Release();
    c.Coefficients.Release();
    c.Nonzero.Release();
    return std::nullopt;
}

}  // namespace quillane
