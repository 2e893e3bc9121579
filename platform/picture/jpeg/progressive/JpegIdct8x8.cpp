// libjpeg's accurate integer transform (Loeffler, Ligtenberg and Moschytz, 12 multiplies a
// pass): 13-bit fixed-point constants, columns first into a work array with two extra bits,
// then rows, rounded at the same places. Here a column to a 32-bit lane in the first pass and a
// row to a lane in the second, which the compiler does eight at a time. libjpeg-turbo's own SIMD
// transform sums in 32 bits too; a real photograph's values stay far inside them, and a damaged
// file's wrap (unsigned arithmetic) into garbage samples instead of overflowing.

#include "platform/picture/jpeg/progressive/JpegIdct8x8.h"

#include <cstring>

#include "platform/picture/jpeg/progressive/JpegReducedIdct.h"
#include "platform/raster/CpuClones.h"

namespace quillane {
namespace {

using Lane = std::uint32_t;
constexpr int kLanes = 8;
constexpr int kConstBits = 13;
constexpr int kPass1Bits = 2;
// sqrt(2) times the cosine sums the transform multiplies by, in 13-bit fixed point.
constexpr Lane k0_298631336 = 2446, k0_390180644 = 3196, k0_541196100 = 4433, k0_765366865 = 6270,
               k0_899976223 = 7373, k1_175875602 = 9633, k1_501321110 = 12299, k1_847759065 = 15137,
               k1_961570560 = 16069, k2_053119869 = 16819, k2_562915447 = 20995,
               k3_072711026 = 25172;

inline std::int32_t Descale(Lane value, int bits) {
    return static_cast<std::int32_t>(value + (Lane{1} << (bits - 1))) >> bits;
}

// One 1-D transform of eight lanes at once: in[i] holds input i of every lane; out[k][lane]
// gets output k, descaled by `bits`.
[[gnu::always_inline]] inline void Transform(const Lane in[8][kLanes], int bits,
                                             std::int32_t out[kLanes][8]) {
    for (int l = 0; l < kLanes; ++l) {
        // The even part: inputs 0, 2, 4 and 6.
        Lane z2 = in[2][l], z3 = in[6][l];
        Lane z1 = (z2 + z3) * k0_541196100;
        Lane tmp2 = z1 - z3 * k1_847759065;
        Lane tmp3 = z1 + z2 * k0_765366865;
        z2 = in[0][l], z3 = in[4][l];
        Lane tmp0 = (z2 + z3) << kConstBits;
        Lane tmp1 = (z2 - z3) << kConstBits;
        const Lane tmp10 = tmp0 + tmp3, tmp13 = tmp0 - tmp3;
        const Lane tmp11 = tmp1 + tmp2, tmp12 = tmp1 - tmp2;
        // The odd part: inputs 7, 5, 3 and 1.
        tmp0 = in[7][l], tmp1 = in[5][l], tmp2 = in[3][l], tmp3 = in[1][l];
        Lane z4 = tmp1 + tmp3;
        z3 = tmp0 + tmp2;
        z2 = tmp1 + tmp2;
        z1 = tmp0 + tmp3;
        const Lane z5 = (z3 + z4) * k1_175875602;
        tmp3 *= k1_501321110;
        tmp2 *= k3_072711026;
        tmp1 *= k2_053119869;
        tmp0 *= k0_298631336;
        z4 = z5 - z4 * k0_390180644;
        z3 = z5 - z3 * k1_961570560;
        z1 = 0 - z1 * k0_899976223;
        z2 = 0 - z2 * k2_562915447;
        tmp3 += z1 + z4;
        tmp2 += z2 + z3;
        tmp1 += z2 + z4;
        tmp0 += z1 + z3;
        out[l][0] = Descale(tmp10 + tmp3, bits);
        out[l][7] = Descale(tmp10 - tmp3, bits);
        out[l][1] = Descale(tmp11 + tmp2, bits);
        out[l][6] = Descale(tmp11 - tmp2, bits);
        out[l][2] = Descale(tmp12 + tmp1, bits);
        out[l][5] = Descale(tmp12 - tmp1, bits);
        out[l][3] = Descale(tmp13 + tmp0, bits);
        out[l][4] = Descale(tmp13 - tmp0, bits);
    }
}

// LimitSample without its table, so that it can be done several at a time: the low ten bits
// as a signed value, level-shifted and limited to 0..255.
inline std::uint8_t Limit(std::int32_t value) {
    const std::int32_t low =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(value) << 22) >> 22;
    const std::int32_t shifted = low + 128;
    return static_cast<std::uint8_t>(shifted < 0 ? 0 : shifted > 255 ? 255 : shifted);
}

}  // namespace

QUILLANE_PIXEL_LOOP void Idct8x8(const std::int16_t* coefficients, const std::uint16_t* quantizers,
                                 std::uint8_t* out, std::ptrdiff_t stride) {
    // libjpeg holds its quantizers as 16-bit signed multipliers: the same bits, read as such.
    std::int16_t q16[64];
    std::memcpy(q16, quantizers, sizeof q16);
    Lane in[8][kLanes];
    for (int row = 0; row < 8; ++row) {
        for (int c = 0; c < kLanes; ++c) {
            in[row][c] = static_cast<Lane>(std::int32_t{coefficients[8 * row + c]} *
                                           std::int32_t{q16[8 * row + c]});
        }
    }
    // The columns into the work array, a column of it to a row here: row r of the block is
    // then lane r of the second pass's inputs.
    std::int32_t work[kLanes][8];
    Transform(in, kConstBits - kPass1Bits, work);
    Lane rows[8][kLanes];
    for (int i = 0; i < 8; ++i) {
        for (int r = 0; r < kLanes; ++r) rows[i][r] = static_cast<Lane>(work[i][r]);
    }
    std::int32_t made[kLanes][8];  // by row, then column
    Transform(rows, kConstBits + kPass1Bits + 3, made);
    for (int r = 0; r < 8; ++r) {
        std::uint8_t* o = out + r * stride;
        for (int i = 0; i < 8; ++i) o[i] = Limit(made[r][i]);
    }
}

void Idct8x8Flat(std::int16_t dc, std::uint16_t quantizer, std::uint8_t* out,
                 std::ptrdiff_t stride) {
    // The columns keep the DC value alone, shifted by the first pass's extra bits; the rows
    // descale it: the sums above with every other input zero.
    const std::int32_t work = static_cast<std::int32_t>(
        static_cast<Lane>(std::int32_t{dc} * static_cast<std::int16_t>(quantizer)) << kPass1Bits);
    const std::uint8_t sample = LimitSample(Descale(static_cast<Lane>(work), kPass1Bits + 3));
    for (int r = 0; r < 8; ++r) std::memset(out + r * stride, sample, 8);
}

}  // namespace quillane
