#include "platform/picture/jpeg/progressive/JpegDcBands.h"

#include <array>

namespace quillane {
namespace {

constexpr int kMaxDcCategory = 15;  // the widest difference the extra bits can carry

// One block's DC value: a first scan's difference added to the predictor, or a refinement's bit.
bool DecodeBlock(JpegBitReader& bits, const JpegHuffmanTable* table, int al,
                 std::int32_t& predictor, std::int16_t& block) {
    std::uint32_t value = 0;
    if (!table) {  // a refinement: one more bit of the value
        if (!bits.Bits(1, value)) return false;
        if (value) block = static_cast<std::int16_t>(static_cast<std::uint16_t>(block) | 1u << al);
        return true;
    }
    const int category = table->Decode(bits);
    if (category < 0 || category > kMaxDcCategory) return false;
    std::int32_t difference = 0;
    if (category > 0) {
        if (!bits.Bits(category, value)) return false;
        difference = static_cast<std::int32_t>(value);
        // A leading zero bit means a negative difference.
        if (value < 1u << (category - 1)) difference -= (std::int32_t{1} << category) - 1;
    }
    // Unsigned sums: the running value of a damaged file wraps instead of overflowing.
    predictor = static_cast<std::int32_t>(static_cast<std::uint32_t>(predictor) +
                                          static_cast<std::uint32_t>(difference));
    block = static_cast<std::int16_t>(static_cast<std::uint32_t>(predictor) << al);
    return true;
}

}  // namespace

JpegReadStep DecodeDcBands(JpegScanData& data, const JpegDcScan& scan, const JpegBlockGrid& grid) {
    const bool interleaved = scan.Components.size() > 1;
    const JpegShrunkComponent& only = *scan.Components[0].Shape;
    const std::int64_t mcus = interleaved ? std::int64_t{grid.McusWide} * grid.McusHigh
                                          : std::int64_t{only.BlocksWide} * only.BlocksHigh;
    std::array<std::int32_t, 4> predictors{};
    for (std::int64_t mcu = 0; mcu < mcus; ++mcu) {
        if (data.StartsInterval(mcu)) {
            // Every difference starts from zero again.
            if (!data.Restart()) return "a restart marker is missing";
            predictors = {};
        }
        for (std::size_t i = 0; i < scan.Components.size(); ++i) {
            const JpegDcScanComponent& entry = scan.Components[i];
            JpegComponentBlocks& c = *entry.Blocks;
            const int wide = interleaved ? entry.Shape->Horizontal : 1;
            const int high = interleaved ? entry.Shape->Vertical : 1;
            const std::int64_t row =
                interleaved ? mcu / grid.McusWide * high : mcu / only.BlocksWide;
            const std::int64_t column =
                interleaved ? mcu % grid.McusWide * wide : mcu % only.BlocksWide;
            for (int v = 0; v < high; ++v) {
                for (int h = 0; h < wide; ++h) {
                    std::int16_t& block =
                        c.Dc[static_cast<std::size_t>((row + v) * c.PaddedWide + column + h)];
                    if (!DecodeBlock(data.Bits(), entry.Table, scan.PointTransform, predictors[i],
                                     block)) {
                        return "a DC scan is damaged or cut short";
                    }
                }
            }
        }
    }
    return std::nullopt;
}

}  // namespace quillane
