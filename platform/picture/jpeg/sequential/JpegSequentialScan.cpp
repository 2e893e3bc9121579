// The entropy decoding is nearly all of the cost, so the AC coefficients go two symbols to a table
// lookup where they fit (JpegAcPairs), and every value lands in a slot without a test: the
// coefficients the transform never reads all land in one spare slot.

#include "platform/picture/jpeg/sequential/JpegSequentialScan.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/picture/jpeg/JpegMarkers.h"

namespace quillane {
namespace {

constexpr int kMaxDcCategory = 15;  // the widest difference the extra bits can carry
constexpr int kHuffmanBits = JpegHuffmanTable::kMaxCodeLength;

// `size` extra bits as a signed value: a leading zero bit means a negative one.
std::int32_t Extend(std::uint32_t bits, int size) {
    const auto value = static_cast<std::int32_t>(bits);
    return size == 0 || value >= (std::int32_t{1} << (size - 1))
               ? value
               : value - ((std::int32_t{1} << size) - 1);
}

// The samples of one block from its kept coefficients, into as many rows of as many samples as
// the scale leaves of eight.
template <int kScale>
void Transform(const std::int16_t* kept, const std::uint16_t* quantizers, int end,
               std::uint8_t* out, std::size_t stride) {
    const bool dcOnly = end == 1;
    constexpr int kPerBlock = 8 / kScale;
    std::uint8_t made[kPerBlock * kPerBlock];
    if (kScale == 8 || dcOnly) {
        // With no AC coefficient, every reduced transform gives the 1x1 one's sample throughout.
        std::memset(made, Idct1x1(kept[0], quantizers[0]), sizeof made);
    } else if (kScale == 4) {
        Idct2x2(kept, quantizers, made, end);
    } else {
        Idct4x4(kept, quantizers, made, end);
    }
    for (int v = 0; v < kPerBlock; ++v)
        std::memcpy(out + v * stride, made + v * kPerBlock, kPerBlock);
}

}  // namespace

JpegSequentialScan::JpegSequentialScan(JpegWindow& window, std::size_t at, int restartInterval,
                                       int scale,
                                       std::vector<JpegSequentialScanComponent> components,
                                       int mcusWide)
    : m_bits(window, at),
      m_interval(restartInterval),
      m_scale(scale),
      m_components(std::move(components)),
      m_mcusWide(mcusWide) {
    const std::array<std::int8_t, 64>* slots = scale == 4   ? &Idct2x2Slots()
                                               : scale == 2 ? &Idct4x4Slots()
                                                            : nullptr;
    m_kept = scale == 4 ? kIdct2x2Kept : scale == 2 ? kIdct4x4Kept : 1;
    m_slotOf.fill(static_cast<std::uint8_t>(m_kept));  // the spare slot
    m_slotOf[0] = 0;
    for (int k = 1; slots && k < 64; ++k) {
        if ((*slots)[k] >= 0) m_slotOf[k] = static_cast<std::uint8_t>((*slots)[k]);
    }
}

bool JpegSequentialScan::StartUnit() {
    if (m_interval > 0 && m_units > 0 && m_units % m_interval == 0) {
        // Every difference starts from zero again after the restart marker in turn.
        if (!m_bits.Restart(m_restarts & 7)) return false;
        ++m_restarts;
        m_predictors = {};
    }
    ++m_units;
    m_bits.MakeRoomForMcu();
    return true;
}

namespace {

// One block: its DC difference added to the predictor, its AC coefficients into `kept` (by
// slotOf), its samples out. `bits` is the caller's own copy of the cursor.
template <int kScale>
[[gnu::always_inline]] inline bool DecodeBlock(JpegBitCursor& bits,
                                               const JpegSequentialScanComponent& c,
                                               const std::uint8_t* slotOf, std::int32_t& predictor,
                                               std::uint8_t* out, std::size_t stride) {
    constexpr int kKept = kScale == 4 ? kIdct2x2Kept : kScale == 2 ? kIdct4x4Kept : 1;
    std::int16_t kept[kKept + 1] = {};  // and the spare slot

    bits.Keep32();
    std::int32_t difference = 0;
    const std::uint32_t found = c.Dc->Lookup(bits.Peek(JpegHuffmanTable::kLookupBits));
    if (const int length = JpegHuffmanTable::CodeAndValueLength(found);
        length != 0 && JpegHuffmanTable::Symbol(found) <= kMaxDcCategory) {
        bits.Take(length);
        difference = JpegHuffmanTable::Value(found);
    } else {
        int codeLength = 0;
        const int category = c.Dc->DecodeSixteen(bits.Peek(kHuffmanBits), codeLength);
        if (category < 0 || category > kMaxDcCategory) return false;
        bits.Take(codeLength);
        if (category > 0) {
            difference = Extend(bits.Peek(category), category);
            bits.Take(category);
        }
    }
    // Unsigned sums: the running value of a damaged file wraps instead of overflowing.
    predictor = static_cast<std::int32_t>(static_cast<std::uint32_t>(predictor) +
                                          static_cast<std::uint32_t>(difference));
    kept[0] = static_cast<std::int16_t>(predictor);

    const JpegAcPairs::Entry* entries = c.Pairs->Entries();
    // The next coefficient of the zig-zag order; past 64 once the block has ended. Unsigned, as
    // the index it makes needs no widening.
    unsigned k = 1;
    while (k < 64) {
        bits.Keep32();
        // Two lookups of at most kBits each fit in the 32 bits; a step one at a time below tops
        // the bits up itself. A symbol that does not fit has a reach past every block.
        const JpegAcPairs::Entry& e = entries[bits.Peek(JpegAcPairs::kBits)];
        if (k + e.Reach <= 64) {
            bits.Take(e.Length);
            kept[slotOf[k + e.FirstAt]] = e.First;
            kept[slotOf[k + e.SecondAt]] = e.Second;
            k += e.Advance;
            if (k >= 64) break;
            const JpegAcPairs::Entry& f = entries[bits.Peek(JpegAcPairs::kBits)];
            if (k + f.Reach > 64) continue;
            bits.Take(f.Length);
            kept[slotOf[k + f.FirstAt]] = f.First;
            kept[slotOf[k + f.SecondAt]] = f.Second;
            k += f.Advance;
            continue;
        }
        // A long code, or symbols that would run past the block: one at a time.
        int length = 0;
        const int symbol = c.Ac->DecodeSixteen(bits.Peek(kHuffmanBits), length);
        if (symbol < 0) return false;
        bits.Take(length);
        const int run = symbol >> 4, size = symbol & 15;
        if (size == 0) {
            if (run != 15) {
                k += JpegAcPairs::kEnded;
            } else if ((k += 16) > 64) {
                return false;  // sixteen zeros past the block's end
            }
            continue;
        }
        k += static_cast<unsigned>(run);
        if (k > 63) return false;
        kept[slotOf[k]] = static_cast<std::int16_t>(Extend(bits.Peek(size), size));
        bits.Take(size);
        ++k;
    }
    // Past the last coefficient: where the block's end was, or all 64.
    const int end = k > 64 ? static_cast<int>(k) - JpegAcPairs::kEnded : 64;
    Transform<kScale>(kept, c.Quantizers.data(), end, out, stride);
    return true;
}

}  // namespace

std::optional<std::string> JpegSequentialScan::DecodeMcuRow(
    int row, const std::vector<JpegSampleTarget>& targets) {
    switch (m_scale) {
        case 8:
            return DecodeMcuRowAt<8>(row, targets);
        case 4:
            return DecodeMcuRowAt<4>(row, targets);
        default:
            return DecodeMcuRowAt<2>(row, targets);
    }
}

template <int kScale>
std::optional<std::string> JpegSequentialScan::DecodeMcuRowAt(
    int row, const std::vector<JpegSampleTarget>& targets) {
    constexpr int perBlock = 8 / kScale;
    const char* const damaged = "a scan is damaged or cut short";
    if (m_components.size() == 1) {
        JpegSequentialScanComponent& c = m_components[0];
        const JpegSampleTarget& target = targets[0];
        // The component's own block rows in this MCU row; none past its last.
        const int first = row * c.BlockRowsInMcuRow;
        const int last = std::min(first + c.BlockRowsInMcuRow, c.BlocksHigh);
        for (int y = first; y < last; ++y) {
            std::uint8_t* out = target.First + (y - first) * perBlock * target.Stride;
            for (int x = 0; x < c.BlocksWide; ++x, out += perBlock) {
                if (!StartUnit()) return "a restart marker is missing";
                JpegBitCursor bits = m_bits.Cursor();
                const bool read = DecodeBlock<kScale>(bits, c, m_slotOf.data(), m_predictors[0],
                                                      out, target.Stride);
                m_bits.Cursor() = bits;
                if (!read || !m_bits.WithinData()) return damaged;
            }
        }
        return std::nullopt;
    }
    for (int x = 0; x < m_mcusWide; ++x) {
        if (!StartUnit()) return "a restart marker is missing";
        JpegBitCursor bits = m_bits.Cursor();
        bool read = true;
        for (std::size_t i = 0; i < m_components.size() && read; ++i) {
            JpegSequentialScanComponent& c = m_components[i];
            const JpegSampleTarget& target = targets[i];
            for (int v = 0; v < c.Vertical; ++v) {
                std::uint8_t* out = target.First + v * perBlock * target.Stride +
                                    static_cast<std::size_t>(x) * c.Horizontal * perBlock;
                for (int h = 0; h < c.Horizontal && read; ++h, out += perBlock) {
                    read = DecodeBlock<kScale>(bits, c, m_slotOf.data(), m_predictors[i], out,
                                               target.Stride);
                }
            }
        }
        m_bits.Cursor() = bits;
        if (!read || !m_bits.WithinData()) return damaged;
    }
    return std::nullopt;
}

}  // namespace quillane
