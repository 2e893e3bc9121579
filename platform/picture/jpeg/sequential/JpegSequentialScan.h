#pragma once
// One scan of a sequential JPEG, decoded an MCU row at a time into the shrunk samples of its
// components (private to jpeg/sequential). Each block's DC value is decoded and, of its AC
// coefficients, only the values the scale's reduced transform reads are kept: shrunk by eight
// none (the 1x1 transform is the DC value alone), by four 24, by two 48; the others are passed
// over. A scan of several components goes MCU by MCU, each MCU holding Horizontal x Vertical
// blocks of each component; a scan of one component goes over its own blocks, row by row.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/picture/jpeg/JpegSource.h"
#include "platform/picture/jpeg/progressive/JpegHuffman.h"
#include "platform/picture/jpeg/progressive/JpegReducedIdct.h"
#include "platform/picture/jpeg/progressive/JpegTableSegments.h"
#include "platform/picture/jpeg/sequential/JpegAcPairs.h"
#include "platform/picture/jpeg/sequential/JpegUnstuffedBits.h"

namespace quillane {

struct JpegSequentialScanComponent {
    std::size_t Component = 0;  // in frame order
    const JpegHuffmanTable* Dc = nullptr;
    const JpegHuffmanTable* Ac = nullptr;
    std::shared_ptr<const JpegAcPairs> Pairs;  // looked up from Ac
    // The quantizers of the coefficients the transform reads, in its slot order.
    std::array<std::uint16_t, kIdct4x4Kept> Quantizers{};
    int Horizontal = 1;  // blocks across and down an MCU: the sampling factors, or 1 and 1 alone
    int Vertical = 1;
    int BlocksWide = 0;  // the component's own blocks, for a scan of it alone
    int BlocksHigh = 0;
    int BlockRowsInMcuRow = 1;  // its vertical sampling factor: its block rows in an MCU row
};

// Where an MCU row's samples of one component go: its first row, rows `Stride` bytes apart,
// wide enough for every block of the MCU row.
struct JpegSampleTarget {
    std::uint8_t* First = nullptr;
    std::size_t Stride = 0;
};

class JpegSequentialScan {
  public:
    // The scan's data from `at`; restartInterval MCUs (or blocks, alone) to an interval, 0:
    // none. scale: 8, 4 or 2.
    JpegSequentialScan(JpegWindow& window, std::size_t at, int restartInterval, int scale,
                       std::vector<JpegSequentialScanComponent> components, int mcusWide);

    // Decodes MCU row `row` (rows in order from 0), the samples of scan component i into
    // targets[i]. Empty when read; else why not.
    std::optional<std::string> DecodeMcuRow(int row, const std::vector<JpegSampleTarget>& targets);

    // Where the marker after the scan's data lies, once every row is decoded; empty when the
    // file ends first.
    std::optional<std::size_t> End() { return m_bits.End(); }

    const std::vector<JpegSequentialScanComponent>& Components() const { return m_components; }

  private:
    bool StartUnit();
    template <int kScale>
    std::optional<std::string> DecodeMcuRowAt(int row,
                                              const std::vector<JpegSampleTarget>& targets);

    JpegUnstuffedBits m_bits;
    int m_interval;
    int m_scale;
    std::vector<JpegSequentialScanComponent> m_components;
    std::array<std::int32_t, 4> m_predictors{};
    int m_mcusWide;
    std::int64_t m_units = 0;  // decoded so far
    int m_restarts = 0;
    // Where each coefficient of the zig-zag order is kept, by its position and 64 more (for
    // values that land nowhere): a slot of the transform, or the spare slot past them.
    std::array<std::uint8_t, 128> m_slotOf{};
    int m_kept = 1;  // slots the transform reads
};

}  // namespace quillane
