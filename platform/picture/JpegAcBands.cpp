// A coded AC symbol holds a run of zero coefficients (high four bits) and the size in bits of
// the value that follows them (low four bits). Size 0 is either sixteen zeros (run 15) or the
// end of the band for this block and, read from the next `run` bits, for that many more.
// In a refinement, already nonzero coefficients take no part in the runs; each one passed gets
// a correction bit instead, and a new coefficient can only be +-1 at the scan's bit position.

#include "platform/picture/JpegAcBands.h"

namespace quillane {
namespace {

bool EndOfBandRun(JpegBitReader& bits, int run, std::uint32_t& endOfBandRun) {
    std::uint32_t extra = 0;
    if (run > 0 && !bits.Bits(run, extra)) return false;
    endOfBandRun = (std::uint32_t{1} << run) + extra;  // this block included
    return true;
}

void Set(const JpegAcScan& scan, JpegAcBlock block, int k, std::int32_t value) {
    *block.Nonzero |= std::uint64_t{1} << k;
    const int slot = (*scan.Slots)[k];
    // Wrapped to 16 bits, as libjpeg stores it, when a damaged file sends too large a value.
    if (slot >= 0) block.Kept[slot] = static_cast<std::int16_t>(value);
}

// One correction bit of a coefficient that is nonzero already: its magnitude gains the bit.
bool Correct(JpegBitReader& bits, const JpegAcScan& scan, JpegAcBlock block, int k) {
    std::uint32_t bit = 0;
    if (!bits.Bits(1, bit)) return false;
    const int slot = (*scan.Slots)[k];
    if (bit == 0 || slot < 0) return true;
    std::int16_t& c = block.Kept[slot];
    const std::int32_t step = std::int32_t{1} << scan.PointTransform;
    if ((c & step) == 0) c = static_cast<std::int16_t>(c >= 0 ? c + step : c - step);
    return true;
}

}  // namespace

bool DecodeAcFirst(JpegBitReader& bits, const JpegAcScan& scan, std::uint32_t& endOfBandRun,
                   JpegAcBlock block) {
    if (endOfBandRun > 0) {
        --endOfBandRun;
        return true;
    }
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
            return true;
        }
        k += run;
        std::uint32_t value = 0;
        if (k > scan.Last || !bits.Bits(size, value)) return false;
        auto signedValue = static_cast<std::int32_t>(value);
        // A leading zero bit means a negative value.
        if (value < std::uint32_t{1} << (size - 1)) signedValue -= (std::int32_t{1} << size) - 1;
        Set(scan, block, k,
            static_cast<std::int32_t>(static_cast<std::uint32_t>(signedValue)
                                      << scan.PointTransform));
    }
    return true;
}

bool DecodeAcRefinement(JpegBitReader& bits, const JpegAcScan& scan, std::uint32_t& endOfBandRun,
                        JpegAcBlock block) {
    const std::int32_t step = std::int32_t{1} << scan.PointTransform;
    const auto nonzero = [&](int k) { return (*block.Nonzero >> k & 1) != 0; };
    int k = scan.First;
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
            // Past `run` zero coefficients to the next zero one, correcting the nonzero ones.
            for (; k <= scan.Last; ++k) {
                if (nonzero(k)) {
                    if (!Correct(bits, scan, block, k)) return false;
                } else if (run-- == 0) {
                    break;
                }
            }
            if (value != 0) {
                if (k > scan.Last) return false;
                Set(scan, block, k, value);
            }
        }
    }
    if (endOfBandRun > 0) {
        // The band ends in this block: the nonzero coefficients left still get their bits.
        for (; k <= scan.Last; ++k) {
            if (nonzero(k) && !Correct(bits, scan, block, k)) return false;
        }
        --endOfBandRun;
    }
    return true;
}

}  // namespace quillane
