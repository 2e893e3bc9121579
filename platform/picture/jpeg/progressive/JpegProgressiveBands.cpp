#include "platform/picture/jpeg/progressive/JpegProgressiveBands.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>
#include <utility>
#include <vector>

#include "platform/base/LargeBuffer.h"
#include "platform/picture/jpeg/JpegScanBudget.h"
#include "platform/picture/jpeg/progressive/JpegBlocks.h"
#include "platform/picture/jpeg/progressive/JpegIdct8x8.h"
#include "platform/picture/jpeg/progressive/JpegPass.h"

namespace quillane {
namespace {

constexpr int kFullScale = 1;
// What a band's coefficients and samples may take (twice the samples held): a few MiB, and nearly
// always more than one MCU row, so that the reads of the file stay few (a 4096 x 4096 photo is read
// some 30 times, most of it stepped over by the scans' known ends).
constexpr std::int64_t kBandBytes = std::int64_t{4} << 20;
// Each band is a walk over the file's segments, and a jump to each scan reads a window of the
// file afresh: a picture so wide that a band is one MCU row would otherwise be read thousands
// of times over. Past this many bands they grow instead (still a fraction of libjpeg's memory).
constexpr int kMostBands = 64;
constexpr std::int64_t kAcBytesPerBlock =
    (kWholeKept - 1) * std::int64_t{sizeof(std::int16_t)} + std::int64_t{sizeof(std::uint64_t)};
constexpr std::int64_t kSamplesPerBlock = 64;

int McusHigh(const JpegFrame& frame) {
    return static_cast<int>(CeilDiv(frame.Height, 8 * frame.MaxVertical()));
}

// The blocks of one MCU row, of every component.
std::int64_t BlocksPerMcuRow(const JpegFrame& frame) {
    const std::int64_t mcusWide = CeilDiv(frame.Width, 8 * frame.MaxHorizontal());
    std::int64_t blocks = 0;
    for (const JpegFrameComponent& c : frame.Components) {
        blocks += mcusWide * c.Horizontal * c.Vertical;
    }
    return blocks;
}

// A component's samples as a read of a band leaves them: the band's rows, and the MCU row
// before it, which the spreading of a coarser component may still ask for. Each band is made in
// the other buffer than the band before: the rows of an output row are asked for one component
// after another, and the reading of a band for one must not move those handed out for another.
struct HeldRows {
    LargeVector<std::uint8_t> Samples[2];
    int Current = 0;
    std::size_t Stride = 0;  // the component's padded grid, eight samples a block
    int FirstRow = 0;        // the rows held, of the component's samples
    int EndRow = 0;

    std::uint8_t* RowAt(int row) {
        return Samples[Current].data() + static_cast<std::size_t>(row - FirstRow) * Stride;
    }
};

class BandRows final : public JpegSampleRows {
  public:
    BandRows(const JpegSource& source, int bandMcuRows)
        : m_window(source), m_bandMcuRows(bandMcuRows) {}

    // Reads the first band, which lays out the picture.
    std::optional<PictureFailure> Start() {
        if (auto refused = CheckScanWork(m_window)) return *refused;
        if (!ReadBand()) return Failure();
        return std::nullopt;
    }
    const JpegShrunkPicture& Layout() const { return m_picture; }

    const std::uint8_t* Row(std::size_t c, int row) override {
        if (m_failed) return nullptr;
        while (row >= m_held[c].EndRow && m_nextMcuRow < m_grid.McusHigh) {
            if (!ReadBand()) return nullptr;
        }
        HeldRows& held = m_held[c];
        if (row < held.FirstRow || row >= held.EndRow) {
            m_failed = JpegReadFailure("rows asked for out of order");
            return nullptr;
        }
        return held.RowAt(row);
    }

    PictureFailure Failure() const override {
        return m_failed ? ProgressiveReadFailure(*m_failed, m_window)
                        : PictureFailure{ErrorNumber::InvalidPicture, "is damaged"};
    }

  private:
    bool ReadBand() {
        JpegBand band{m_nextMcuRow, m_nextMcuRow + m_bandMcuRows, &m_scans, &m_scanEnds};
        const bool first = m_nextMcuRow == 0;
        JpegPass pass(m_window, {kFullScale, first, -1, &band}, m_picture, m_grid);
        if (auto failed = pass.Read()) {
            m_failed = std::move(*failed);
            return false;
        }
        if (first && !LayOutHeld()) return false;
        for (std::size_t c = 0; c < m_grid.Components.size(); ++c) {
            MakeBandSamples(c, band, pass.Quantizers(c));
        }
        m_nextMcuRow = band.EndMcuRow;
        if (m_nextMcuRow >= m_grid.McusHigh) {
            // The last band: nothing more to decode.
            for (JpegComponentBlocks& c : m_grid.Components) {
                c.Dc.Release();
                c.Coefficients.Release();
                c.Nonzero.Release();
            }
        }
        return true;
    }

    bool LayOutHeld() {
        m_held.resize(m_grid.Components.size());
        for (std::size_t c = 0; c < m_grid.Components.size(); ++c) {
            const JpegComponentBlocks& blocks = m_grid.Components[c];
            HeldRows& held = m_held[c];
            held.Stride = static_cast<std::size_t>(blocks.PaddedWide) * 8;
            const std::size_t rows =
                static_cast<std::size_t>(m_bandMcuRows + 1) * blocks.Frame.Vertical * 8;
            try {
                for (LargeVector<std::uint8_t>& samples : held.Samples) {
                    samples.resize(held.Stride * rows);
                }
            } catch (const std::bad_alloc&) {
                m_failed = JpegReadFailure::NoMemory("no memory for its samples");
                return false;
            }
        }
        return true;
    }

    // The band's blocks of component c through the inverse DCT, below the last MCU row of the
    // band before.
    void MakeBandSamples(std::size_t c, const JpegBand& band,
                         const std::array<std::uint16_t, kWholeKept>& quantizers) {
        JpegComponentBlocks& blocks = m_grid.Components[c];
        const JpegShrunkComponent& shape = m_picture.Components[c];
        HeldRows& held = m_held[c];
        const int mcuRowSamples = blocks.Frame.Vertical * 8;
        const int keptFrom = std::max(0, band.FirstMcuRow - 1) * mcuRowSamples;
        const int next = 1 - held.Current;
        if (band.FirstMcuRow > 0) {
            // The MCU row before the band, copied to the top of the other buffer.
            std::memcpy(held.Samples[next].data(), held.RowAt(keptFrom),
                        static_cast<std::size_t>(mcuRowSamples) * held.Stride);
        }
        held.Current = next;
        held.FirstRow = keptFrom;
        held.EndRow = std::min(band.EndMcuRow * mcuRowSamples, shape.SamplesHigh);
        const std::size_t acKept = kWholeKept - 1;
        const int firstBlockRow = band.FirstMcuRow * blocks.Frame.Vertical;
        const int endBlockRow = std::min(band.EndMcuRow * blocks.Frame.Vertical, shape.BlocksHigh);
        const auto stride = static_cast<std::ptrdiff_t>(held.Stride);
        for (int y = firstBlockRow; y < endBlockRow; ++y) {
            std::uint8_t* out = held.RowAt(y * 8);
            for (int x = 0; x < shape.BlocksWide; ++x, out += 8) {
                const std::int16_t dc = blocks.Dc[blocks.DcIndex(x, y)];
                const std::size_t index = blocks.Index(x, y);
                if (!blocks.AnyAc || blocks.Nonzero[index] == 0) {
                    Idct8x8Flat(dc, quantizers[0], out, stride);
                    continue;
                }
                std::int16_t natural[kWholeKept];
                natural[0] = dc;
                std::memcpy(natural + 1, &blocks.Coefficients[index * acKept],
                            acKept * sizeof(std::int16_t));
                Idct8x8(natural, quantizers.data(), out, stride);
            }
        }
    }

    JpegWindow m_window;
    int m_bandMcuRows;
    JpegShrunkPicture m_picture;
    JpegBlockGrid m_grid;
    std::vector<JpegBandScan> m_scans;
    std::vector<std::size_t> m_scanEnds;
    std::vector<HeldRows> m_held;
    int m_nextMcuRow = 0;
    std::optional<JpegReadFailure> m_failed;
};

}  // namespace

int ProgressiveBandMcuRows(const JpegFrame& frame) {
    const std::int64_t perRow = BlocksPerMcuRow(frame) * (kAcBytesPerBlock + kSamplesPerBlock);
    const int high = std::max(1, McusHigh(frame));
    const std::int64_t rows =
        std::max<std::int64_t>(perRow > 0 ? kBandBytes / perRow : 1, CeilDiv(high, kMostBands));
    return static_cast<int>(std::clamp<std::int64_t>(rows, 1, high));
}

std::int64_t ProgressiveFullSizeBytes(const JpegFrame& frame) {
    const std::int64_t perRow = BlocksPerMcuRow(frame);
    const std::int64_t dc = perRow * McusHigh(frame) * std::int64_t{sizeof(std::int16_t)};
    const int rows = ProgressiveBandMcuRows(frame);
    return dc + perRow * (rows * kAcBytesPerBlock + 2 * (rows + 1) * kSamplesPerBlock);
}

PictureResult<std::unique_ptr<JpegShrunkRows>> OpenProgressiveFullSize(const JpegSource& source,
                                                                       const JpegFrame& frame,
                                                                       JpegShrunkColour colour,
                                                                       int bandMcuRows) {
    if (auto refused = ProgressiveReaderRefuses(frame)) return DamagedJpeg(*refused);
    const int rows = bandMcuRows > 0 ? bandMcuRows : ProgressiveBandMcuRows(frame);
    auto bands = std::make_unique<BandRows>(source, rows);
    if (auto failed = bands->Start()) return *failed;
    JpegShrunkPicture layout = bands->Layout();
    return std::make_unique<JpegShrunkRows>(std::move(layout), colour, std::move(bands));
}

}  // namespace quillane
