// A coded AC symbol holds a run of zero coefficients (high four bits) and the size in bits of
// the value that follows them (low four bits). Size 0 is either sixteen zeros (run 15) or the
// end of the band for this block and, read from the next `run` bits, for that many more.
// In a refinement, already nonzero coefficients take no part in the runs; each one passed gets
// a correction bit instead, and a new coefficient can only be +-1 at the scan's bit position.

#include "platform/picture/jpeg/progressive/JpegAcBands.h"

#include <bit>

namespace quillane {
namespace {

bool EndOfBandRun(JpegBitReader& bits, int run, std::uint32_t& endOfBandRun) {
    std::uint32_t extra = 0;
    if (run > 0 && !bits.Bits(run, extra)) return false;
    endOfBandRun = (std::uint32_t{1} << run) + extra;  // this block included
    return true;
}

// `nonzero` is the block's mask held apart until the block is done: stores through
// block.Nonzero, a 64-bit integer like the bit reader's buffer, would make the compiler reload
// the reader after each one.
void Set(const JpegAcScan& scan, JpegAcBlock block, std::uint64_t& nonzero, int k,
         std::int32_t value) {
    nonzero |= std::uint64_t{1} << k;
    const int slot = (*scan.Slots)[k];
    // Wrapped to 16 bits, as libjpeg stores it, when a damaged file sends too large a value.
    if (slot >= 0) block.Kept[slot] = static_cast<std::int16_t>(value);
}

// The coefficients first..last (0 <= first <= 63, last < 64) as bits; none when last < first.
std::uint64_t Band(int first, int last) {
    if (last < first) return 0;
    const std::uint64_t upTo =
        last == 63 ? ~std::uint64_t{0} : (std::uint64_t{1} << (last + 1)) - 1;
    return upTo >> first << first;
}

// Without the hardware's own instruction (not in the baseline x86-64), std::popcount is a call.
int BitCount(std::uint64_t x) {
    x -= (x >> 1) & 0x5555555555555555;
    x = (x & 0x3333333333333333) + ((x >> 2) & 0x3333333333333333);
    x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0F;
    return static_cast<int>((x * 0x0101010101010101) >> 56);
}

// The next symbol and the value its extra bits carry (0 for size 0): one table read when the
// code and the bits fit in the lookup together, else the code and the bits read apart.
[[gnu::always_inline]] inline bool NextSymbol(JpegBitReader& bits, const JpegHuffmanTable& table,
                                              int& symbol, std::int32_t& value) {
    std::uint32_t next = 0;
    if (bits.Peek(JpegHuffmanTable::kLookupBits, next)) {
        const std::uint32_t found = table.Lookup(next);
        if (const int length = JpegHuffmanTable::CodeAndValueLength(found)) {
            bits.Skip(length);
            symbol = JpegHuffmanTable::Symbol(found);
            value = JpegHuffmanTable::Value(found);
            return true;
        }
    }
    symbol = table.Decode(bits);
    if (symbol < 0) return false;
    const int size = symbol & 15;
    std::uint32_t extra = 0;
    if (size > 0 && !bits.Bits(size, extra)) return false;
    value = static_cast<std::int32_t>(extra);
    // A leading zero bit means a negative value.
    if (size > 0 && extra < std::uint32_t{1} << (size - 1)) value -= (std::int32_t{1} << size) - 1;
    return true;
}

// A correction bit that is set: the coefficient gains the scan's bit in magnitude, if it has not
// got it yet. Those the quarter scale drops have no slot.
void Correct(const JpegAcScan& scan, JpegAcBlock block, int k) {
    const int slot = (*scan.Slots)[k];
    if (slot < 0) return;
    const std::int32_t step = std::int32_t{1} << scan.PointTransform;
    std::int16_t& c = block.Kept[slot];
    if ((c & step) == 0) c = static_cast<std::int16_t>(c >= 0 ? c + step : c - step);
}

// Correction bits near the end of the data, where they cannot be peeked sixteen at a time:
// only the kept coefficients' bits are read, each found by how many coefficients of `which`
// come before it; the others' bits are passed over unread.
bool CorrectNearEnd(JpegBitReader& bits, const JpegAcScan& scan, JpegAcBlock block,
                    std::uint64_t which) {
    int passed = 0;  // bits of `which` already taken
    for (std::uint64_t kept = which & scan.KeptMask; kept != 0; kept &= kept - 1) {
        const int k = std::countr_zero(kept);
        const int before = BitCount(which & ((std::uint64_t{1} << k) - 1));
        std::uint32_t bit = 0;
        if (!bits.Drop(before - passed) || !bits.Bits(1, bit)) return false;
        passed = before + 1;
        if (bit != 0) Correct(scan, block, k);
    }
    return bits.Drop(BitCount(which) - passed);
}

// Correction bits, one for each coefficient of `which` (nonzero already), in order. They are
// peeked sixteen at a time and walked without a branch up to the last kept coefficient, marking
// the coefficients whose bit is set; the bits after it are passed over unread.
bool CorrectAll(JpegBitReader& bits, const JpegAcScan& scan, JpegAcBlock block,
                std::uint64_t which) {
    std::uint64_t kept = which & scan.KeptMask;
    std::uint64_t set = 0;
    while (kept != 0) {
        std::uint32_t next = 0;
        if (!bits.Peek(16, next)) return CorrectNearEnd(bits, scan, block, which);
        // Up to and with the last kept coefficient, or sixteen.
        const std::uint64_t last = std::uint64_t{1} << (63 - std::countl_zero(kept));
        int taken = 0;
        for (std::uint64_t lowest = 0; taken < 16 && lowest != last; ++taken) {
            lowest = which & (0 - which);
            which ^= lowest;
            set |= lowest & (0 - static_cast<std::uint64_t>(next >> (15 - taken) & 1));
        }
        kept &= which;
        bits.Skip(taken);
    }
    for (set &= scan.KeptMask; set != 0; set &= set - 1) {
        Correct(scan, block, std::countr_zero(set));
    }
    return which == 0 || bits.Drop(BitCount(which));
}

bool DecodeAcFirst(JpegBitReader& bits, const JpegAcScan& scan, std::uint32_t& endOfBandRun,
                   JpegAcBlock block) {
    if (endOfBandRun > 0) {
        --endOfBandRun;
        return true;
    }
    const JpegHuffmanTable& table = *scan.Table;
    std::uint64_t nonzero = *block.Nonzero;
    for (int k = scan.First; k <= scan.Last; ++k) {
        int symbol = 0;
        std::int32_t value = 0;
        if (!NextSymbol(bits, table, symbol, value)) return false;
        const int run = symbol >> 4, size = symbol & 15;
        if (size == 0) {
            if (run == 15) {
                k += 15;
                continue;
            }
            if (!EndOfBandRun(bits, run, endOfBandRun)) return false;
            --endOfBandRun;
            break;
        }
        k += run;
        if (k > scan.Last) return false;
        Set(scan, block, nonzero, k,
            static_cast<std::int32_t>(static_cast<std::uint32_t>(value) << scan.PointTransform));
    }
    // Written only when it changed: a block that stays zero leaves its page untouched.
    if (nonzero != *block.Nonzero) *block.Nonzero = nonzero;
    return true;
}

bool DecodeAcRefinement(JpegBitReader& bits, const JpegAcScan& scan, std::uint32_t& endOfBandRun,
                        JpegAcBlock block) {
    const JpegHuffmanTable& table = *scan.Table;
    int k = scan.First;
    std::uint64_t nonzero = *block.Nonzero;
    // The coefficients from k on, and those up to the band's end.
    auto from = [](int k) { return ~std::uint64_t{0} << k; };
    const std::uint64_t upToLast = Band(0, scan.Last);
    if (endOfBandRun == 0) {
        for (; k <= scan.Last; ++k) {
            int symbol = 0;
            std::int32_t value = 0;
            if (!NextSymbol(bits, table, symbol, value)) return false;
            int run = symbol >> 4;
            const int size = symbol & 15;
            if (size > 1) return false;  // a new coefficient is one bit at a time
            if (size == 0 && run != 15) {
                if (!EndOfBandRun(bits, run, endOfBandRun)) return false;
                break;
            }
            // Past `run` zero coefficients to the next zero one (or past the band), correcting
            // the nonzero ones on the way.
            // Each stretch of zero coefficients is passed at once.
            std::uint64_t zeros = ~nonzero & from(k) & upToLast;
            int next = scan.Last + 1;
            while (zeros != 0) {
                const std::uint64_t lowest = zeros & (0 - zeros);
                // Adding its lowest bit clears the stretch (and everything, past bit 63).
                const std::uint64_t after = zeros + lowest;
                const int start = std::countr_zero(lowest);
                const int length = std::countr_zero(after) - start;
                if (run < length) {
                    next = start + run;
                    break;
                }
                run -= length;
                zeros &= after;
            }
            // next >= k >= 1; 2 << 63 is 0, so a next of 64 takes all.
            const std::uint64_t passed = nonzero & from(k) & ((std::uint64_t{2} << (next - 1)) - 1);
            if (passed != 0 && !CorrectAll(bits, scan, block, passed)) return false;
            k = next;
            if (value != 0) {
                if (k > scan.Last) return false;
                Set(scan, block, nonzero, k, value * (std::int32_t{1} << scan.PointTransform));
            }
        }
    }
    if (endOfBandRun > 0) {
        // The band ends in this block: the nonzero coefficients left still get their bits.
        if (k <= scan.Last && !CorrectAll(bits, scan, block, nonzero & Band(k, scan.Last))) {
            return false;
        }
        --endOfBandRun;
    }
    // Written only when it changed: a block that stays zero leaves its page untouched.
    if (nonzero != *block.Nonzero) *block.Nonzero = nonzero;
    return true;
}

}  // namespace

JpegReadStep DecodeAcBands(JpegScanData& data, const JpegAcScan& scan, JpegComponentBlocks& c,
                           const JpegShrunkComponent& shape, JpegAcCursor& cursor,
                           std::int64_t end) {
    c.AnyAc = true;
    std::uint32_t endOfBandRun = cursor.EndOfBandRun;
    int column = static_cast<int>(cursor.Block % shape.BlocksWide);
    // The block's place among those held, which the padded grid rows may outreach.
    std::size_t index = c.Index(column, static_cast<int>(cursor.Block / shape.BlocksWide));
    for (std::int64_t b = cursor.Block; b < end; ++b) {
        if (data.StartsInterval(b)) {
            if (!data.Restart()) return "a restart marker is missing";
            endOfBandRun = 0;
        }
        const JpegAcBlock block{
            &c.Coefficients[index * static_cast<std::size_t>(scan.KeptPerBlock)],
            &c.Nonzero[index]};
        // On along the component's own blocks, which the padded grid rows may outreach.
        if (++column < shape.BlocksWide) {
            ++index;
        } else {
            column = 0;
            index += static_cast<std::size_t>(c.PaddedWide - shape.BlocksWide) + 1;
        }
        const bool read = scan.Refinement
                              ? DecodeAcRefinement(data.Bits(), scan, endOfBandRun, block)
                              : DecodeAcFirst(data.Bits(), scan, endOfBandRun, block);
        if (!read) return "an AC scan is damaged or cut short";
    }
    cursor = {end, endOfBandRun};
    return std::nullopt;
}

}  // namespace quillane
