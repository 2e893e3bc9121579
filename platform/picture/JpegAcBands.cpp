// A coded AC symbol holds a run of zero coefficients (high four bits) and the size in bits of
// the value that follows them (low four bits). Size 0 is either sixteen zeros (run 15) or the
// end of the band for this block and, read from the next `run` bits, for that many more.
// In a refinement, already nonzero coefficients take no part in the runs; each one passed gets
// a correction bit instead, and a new coefficient can only be +-1 at the scan's bit position.

#include "platform/picture/JpegAcBands.h"

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

// Correction bits, one for each coefficient of `which` (nonzero already), in order: a
// coefficient whose bit is set gains it in magnitude. Only the kept coefficients' bits are
// read, each found by how many coefficients of `which` come before it; the others' bits are
// passed over unread.
bool CorrectAll(JpegBitReader& bits, const JpegAcScan& scan, JpegAcBlock block,
                std::uint64_t which) {
    const std::int32_t step = std::int32_t{1} << scan.PointTransform;
    int passed = 0;  // bits of `which` already taken
    for (std::uint64_t kept = which & scan.KeptMask; kept != 0; kept &= kept - 1) {
        const int k = std::countr_zero(kept);
        const int before = BitCount(which & ((std::uint64_t{1} << k) - 1));
        std::uint32_t bit = 0;
        if (!bits.Drop(before - passed) || !bits.Bits(1, bit)) return false;
        passed = before + 1;
        const int slot = (*scan.Slots)[k];
        if (bit == 0 || slot < 0) continue;
        std::int16_t& c = block.Kept[slot];
        if ((c & step) == 0) c = static_cast<std::int16_t>(c >= 0 ? c + step : c - step);
    }
    return bits.Drop(BitCount(which) - passed);
}

}  // namespace

bool DecodeAcFirst(JpegBitReader& bits, const JpegAcScan& scan, std::uint32_t& endOfBandRun,
                   JpegAcBlock block) {
    if (endOfBandRun > 0) {
        --endOfBandRun;
        return true;
    }
    std::uint64_t nonzero = *block.Nonzero;
    for (int k = scan.First; k <= scan.Last; ++k) {
        const int symbol = scan.Table->Decode(bits);
        if (symbol < 0) return false;
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
        std::uint32_t value = 0;
        if (k > scan.Last || !bits.Bits(size, value)) return false;
        auto signedValue = static_cast<std::int32_t>(value);
        // A leading zero bit means a negative value.
        if (value < std::uint32_t{1} << (size - 1)) signedValue -= (std::int32_t{1} << size) - 1;
        Set(scan, block, nonzero, k,
            static_cast<std::int32_t>(static_cast<std::uint32_t>(signedValue)
                                      << scan.PointTransform));
    }
    *block.Nonzero = nonzero;
    return true;
}

bool DecodeAcRefinement(JpegBitReader& bits, const JpegAcScan& scan, std::uint32_t& endOfBandRun,
                        JpegAcBlock block) {
    const std::int32_t step = std::int32_t{1} << scan.PointTransform;
    int k = scan.First;
    std::uint64_t nonzero = *block.Nonzero;
    if (endOfBandRun == 0) {
        for (; k <= scan.Last; ++k) {
            const int symbol = scan.Table->Decode(bits);
            if (symbol < 0) return false;
            int run = symbol >> 4;
            const int size = symbol & 15;
            std::int32_t value = 0;
            if (size == 1) {
                std::uint32_t sign = 0;
                if (!bits.Bits(1, sign)) return false;
                value = sign ? step : -step;
            } else if (size != 0) {
                return false;  // a new coefficient is one bit at a time
            } else if (run != 15) {
                if (!EndOfBandRun(bits, run, endOfBandRun)) return false;
                break;
            }
            // Past `run` zero coefficients to the next zero one (or past the band), correcting
            // the nonzero ones on the way.
            std::uint64_t zeros = ~nonzero & Band(k, scan.Last);
            for (; run > 0 && zeros != 0; --run) zeros &= zeros - 1;
            const int next = zeros != 0 ? std::countr_zero(zeros) : scan.Last + 1;
            const std::uint64_t passed = nonzero & Band(k, next - 1);
            if (passed != 0 && !CorrectAll(bits, scan, block, passed)) return false;
            k = next;
            if (value != 0) {
                if (k > scan.Last) return false;
                Set(scan, block, nonzero, k, value);
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
    *block.Nonzero = nonzero;
    return true;
}

}  // namespace quillane
