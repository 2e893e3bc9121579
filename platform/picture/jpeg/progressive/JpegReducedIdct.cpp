// Two one-dimensional passes in 13-bit fixed point, columns first into a work array with two
// extra bits, then rows, rounded at the same places and with the same constants as libjpeg.
// The sums are 64-bit and the work array is cut to 32 bits, as there: a damaged file's huge
// coefficients give garbage samples, never an overflow.

#include "platform/picture/jpeg/progressive/JpegReducedIdct.h"

#include <cstring>

#include "platform/raster/CpuClones.h"

namespace quillane {
namespace {

constexpr int kConstBits = 13;
constexpr int kPass1Bits = 2;
// sqrt(2) times sums of the odd cosines, in 13-bit fixed point, for inputs 1, 3, 5 and 7.
constexpr std::int64_t kOdd1 = 29692, kOdd3 = -10426, kOdd5 = 6967, kOdd7 = -5906;
constexpr int kRanks[5] = {0, 1, 3, 5, 7};           // the rows and columns the 2x2 transform reads
constexpr int kRanks4x4[7] = {0, 1, 2, 3, 5, 6, 7};  // and the 4x4 one
// The 4x4 transform's cosine sums, in 13-bit fixed point: the even part's for inputs 2 and 6,
// then, for each of its two odd outputs, those for inputs 7, 5, 3 and 1.
constexpr std::int64_t kEven2 = 15137, kEven6 = -6270;
constexpr std::int64_t kOddA[4] = {-1730, 11893, -17799, 8697};
constexpr std::int64_t kOddB[4] = {-4176, -4926, 7373, 20995};

std::int64_t Descale(std::int64_t value, int bits) {
    return (value + (std::int64_t{1} << (bits - 1))) >> bits;
}

// One 1-D transform of the inputs at ranks 0, 1, 3, 5, 7 into two outputs.
// Inputs from kLive on are zero: their products are left out, which changes no sum.
template <int kLive>
[[gnu::always_inline]] inline void Pair(const std::int64_t in[5], int bits, std::int64_t& first,
                                        std::int64_t& second) {
    const std::int64_t even = in[0] * (std::int64_t{1} << (kConstBits + 2));
    std::int64_t odd = in[1] * kOdd1;
    if (kLive > 2) odd += in[2] * kOdd3;
    if (kLive > 3) odd += in[3] * kOdd5 + in[4] * kOdd7;
    first = Descale(even + odd, bits);
    second = Descale(even - odd, bits);
}

// One 1-D transform of the inputs at ranks 0, 1, 2, 3 into four outputs, for a block whose
// coefficients all lie in its first kLive ranks (at most four; a denser block takes
// Idct4x4Dense). Inputs from kLive on are zero: their products are left out, which changes no
// sum.
template <int kLive>
[[gnu::always_inline]] inline void Quad(const std::int64_t in[7], int bits, std::int64_t out[4]) {
    static_assert(kLive >= 2 && kLive <= 4);
    const std::int64_t even = in[0] * (std::int64_t{1} << (kConstBits + 1));
    std::int64_t turned = 0, a = in[1] * kOddA[3], b = in[1] * kOddB[3];
    if (kLive > 2) turned += in[2] * kEven2;
    if (kLive > 3) a += in[3] * kOddA[2], b += in[3] * kOddB[2];
    const std::int64_t sum = even + turned, difference = even - turned;
    out[0] = Descale(sum + b, bits);
    out[3] = Descale(sum - b, bits);
    out[1] = Descale(difference + a, bits);
    out[2] = Descale(difference - a, bits);
}

// The zig-zag order: position k of the data holds the coefficient at row*8+column.
constexpr int kNatural[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                              12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                              35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                              58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// Where a transform that reads the rows and columns of `ranks` keeps each coefficient of the
// zig-zag order: row rank * ranks' count + column rank, or -1.
template <std::size_t N>
std::array<std::int8_t, 64> SlotsFor(const int (&ranks)[N]) {
    std::array<int, 8> rank{};
    rank.fill(-1);
    for (std::size_t i = 0; i < N; ++i) rank[ranks[i]] = static_cast<int>(i);
    std::array<std::int8_t, 64> s{};
    for (int k = 0; k < 64; ++k) {
        const int row = rank[kNatural[k] / 8], column = rank[kNatural[k] % 8];
        s[k] = static_cast<std::int8_t>(row < 0 || column < 0 ? -1 : row * int{N} + column);
    }
    return s;
}

}  // namespace

const std::array<std::int8_t, 64>& Idct2x2Slots() {
    static const std::array<std::int8_t, 64> slots = SlotsFor(kRanks);
    return slots;
}

const std::array<std::int8_t, 64>& Idct4x4Slots() {
    static const std::array<std::int8_t, 64> slots = SlotsFor(kRanks4x4);
    return slots;
}

namespace {

std::array<std::int8_t, 64> AcSlotsOf(const std::array<std::int8_t, 64>& slots) {
    std::array<std::int8_t, 64> s = slots;
    for (std::int8_t& slot : s) slot = static_cast<std::int8_t>(slot > 0 ? slot - 1 : -1);
    return s;
}

}  // namespace

const std::array<std::int8_t, 64>& Idct2x2AcSlots() {
    static const std::array<std::int8_t, 64> slots = AcSlotsOf(Idct2x2Slots());
    return slots;
}

const JpegReducedTransform& ReducedTransformFor(int scale) {
    static const std::array<std::int8_t, 64> dcOnly = [] {
        std::array<std::int8_t, 64> s{};
        s.fill(-1);
        s[0] = 0;
        return s;
    }();
    static const std::array<std::int8_t, 64> noAc = AcSlotsOf(dcOnly);
    static const std::array<std::int8_t, 64> ac4x4 = AcSlotsOf(Idct4x4Slots());
    static const JpegReducedTransform byEight{1, &dcOnly, &noAc};
    static const JpegReducedTransform byFour{kIdct2x2Kept, &Idct2x2Slots(), &Idct2x2AcSlots()};
    static const JpegReducedTransform byTwo{kIdct4x4Kept, &Idct4x4Slots(), &ac4x4};
    // At full size every coefficient, in the block's natural order.
    static const std::array<std::int8_t, 64> natural = [] {
        std::array<std::int8_t, 64> s{};
        for (int k = 0; k < 64; ++k) s[k] = static_cast<std::int8_t>(kNatural[k]);
        return s;
    }();
    static const std::array<std::int8_t, 64> naturalAc = AcSlotsOf(natural);
    static const JpegReducedTransform whole{kWholeKept, &natural, &naturalAc};
    return scale == 8 ? byEight : scale == 4 ? byFour : scale == 2 ? byTwo : whole;
}

namespace {

// The 2x2 transform of a block whose coefficients all lie in its first kLive ranks of rows and
// columns: the columns past them are zero, and so are their work values.
template <int kLive>
void Idct2x2Within(const std::int16_t* coefficients, const std::uint16_t* quantizers,
                   std::uint8_t out[4]) {
    // libjpeg holds its quantizers as 16-bit signed multipliers.
    auto in = [&](int slot) {
        return std::int64_t{coefficients[slot]} * static_cast<std::int16_t>(quantizers[slot]);
    };
    std::int32_t work[2][5] = {};
    for (int column = 0; column < kLive; ++column) {
        const std::int16_t* c = coefficients + column;
        // A column without AC terms transforms to its DC term alone, shifted: the same value
        // the sums below give, without them (most columns of a photograph's blocks).
        bool ac = false;
        for (int row = 1; row < kLive; ++row) ac |= c[5 * row] != 0;
        if (!ac) {
            work[0][column] = work[1][column] =
                static_cast<std::int32_t>(in(column) * (std::int64_t{1} << kPass1Bits));
            continue;
        }
        std::int64_t column5[5] = {};
        for (int row = 0; row < kLive; ++row) column5[row] = in(5 * row + column);
        std::int64_t top = 0, bottom = 0;
        Pair<kLive>(column5, kConstBits - kPass1Bits + 2, top, bottom);
        work[0][column] = static_cast<std::int32_t>(top);
        work[1][column] = static_cast<std::int32_t>(bottom);
    }
    for (int row = 0; row < 2; ++row) {
        const std::int32_t* w = work[row];
        bool ac = false;
        for (int i = 1; i < kLive; ++i) ac |= w[i] != 0;
        if (!ac) {
            out[2 * row] = out[2 * row + 1] =
                LimitSample(static_cast<std::int32_t>(Descale(w[0], kPass1Bits + 3)));
            continue;
        }
        const std::int64_t row5[5] = {w[0], w[1], w[2], w[3], w[4]};
        std::int64_t left = 0, right = 0;
        Pair<kLive>(row5, kConstBits + kPass1Bits + 3 + 2, left, right);
        out[2 * row] = LimitSample(static_cast<std::int32_t>(left));
        out[2 * row + 1] = LimitSample(static_cast<std::int32_t>(right));
    }
}

// The same for the 4x4 transform, for blocks whose coefficients lie within four ranks.
template <int kLive>
void Idct4x4Within(const std::int16_t* coefficients, const std::uint16_t* quantizers,
                   std::uint8_t out[16]) {
    auto in = [&](int slot) {
        return std::int64_t{coefficients[slot]} * static_cast<std::int16_t>(quantizers[slot]);
    };
    std::int32_t work[4][7] = {};
    for (int column = 0; column < kLive; ++column) {
        const std::int16_t* c = coefficients + column;
        // A column without AC terms transforms to its DC term alone, shifted (see above).
        bool ac = false;
        for (int row = 1; row < kLive; ++row) ac |= c[7 * row] != 0;
        if (!ac) {
            work[0][column] = work[1][column] = work[2][column] = work[3][column] =
                static_cast<std::int32_t>(in(column) * (std::int64_t{1} << kPass1Bits));
            continue;
        }
        std::int64_t column7[7] = {};
        for (int row = 0; row < kLive; ++row) column7[row] = in(7 * row + column);
        std::int64_t made[4];
        Quad<kLive>(column7, kConstBits - kPass1Bits + 1, made);
        for (int row = 0; row < 4; ++row) work[row][column] = static_cast<std::int32_t>(made[row]);
    }
    for (int row = 0; row < 4; ++row) {
        const std::int32_t* w = work[row];
        std::uint8_t* o = out + 4 * row;
        bool ac = false;
        for (int i = 1; i < kLive; ++i) ac |= w[i] != 0;
        if (!ac) {
            o[0] = o[1] = o[2] = o[3] =
                LimitSample(static_cast<std::int32_t>(Descale(w[0], kPass1Bits + 3)));
            continue;
        }
        const std::int64_t row7[7] = {w[0], w[1], w[2], w[3], w[4], w[5], w[6]};
        std::int64_t made[4];
        Quad<kLive>(row7, kConstBits + kPass1Bits + 3 + 1, made);
        for (int i = 0; i < 4; ++i) o[i] = LimitSample(static_cast<std::int32_t>(made[i]));
    }
}

// The 4x4 transform of a block whose coefficients may lie anywhere: the same sums in 32-bit
// lanes, a column to a lane in the first pass and a row to a lane in the second, which the
// compiler does several at a time. libjpeg-turbo's own SIMD transform sums in 32 bits too; a real
// photograph's values stay far inside them, and a damaged file's wrap (unsigned arithmetic)
// into garbage samples instead of overflowing.
using Lane = std::uint32_t;
constexpr int kLanes = 8;  // the seven ranks read, and one left empty

inline std::int32_t Descale32(Lane value, int bits) {
    return static_cast<std::int32_t>(value + (Lane{1} << (bits - 1))) >> bits;
}

QUILLANE_PIXEL_LOOP void Idct4x4Dense(const std::int16_t* coefficients,
                                      const std::uint16_t* quantizers, std::uint8_t out[16]) {
    // libjpeg holds its quantizers as 16-bit signed multipliers: the same bits, read as such.
    std::int16_t c16[7][kLanes] = {}, q16[7][kLanes] = {};
    for (int row = 0; row < 7; ++row) {
        std::memcpy(c16[row], coefficients + 7 * row, 7 * sizeof(std::int16_t));
        std::memcpy(q16[row], quantizers + 7 * row, 7 * sizeof(std::int16_t));
    }
    Lane in[7][kLanes];
    for (int row = 0; row < 7; ++row) {
        for (int c = 0; c < kLanes; ++c) {
            in[row][c] = static_cast<Lane>(std::int32_t{c16[row][c]} * std::int32_t{q16[row][c]});
        }
    }
    // Work values, transposed: the four of each column's rows, a row of the block to a lane.
    std::int32_t work[kLanes][4];
    constexpr int kColumnBits = kConstBits - kPass1Bits + 1;
    for (int c = 0; c < kLanes; ++c) {
        const Lane even = in[0][c] << (kConstBits + 1);
        const Lane turned = in[2][c] * Lane(kEven2) + in[5][c] * Lane(kEven6);
        const Lane a = in[6][c] * Lane(kOddA[0]) + in[4][c] * Lane(kOddA[1]) +
                       in[3][c] * Lane(kOddA[2]) + in[1][c] * Lane(kOddA[3]);
        const Lane b = in[6][c] * Lane(kOddB[0]) + in[4][c] * Lane(kOddB[1]) +
                       in[3][c] * Lane(kOddB[2]) + in[1][c] * Lane(kOddB[3]);
        const Lane sum = even + turned, difference = even - turned;
        work[c][0] = Descale32(sum + b, kColumnBits);
        work[c][3] = Descale32(sum - b, kColumnBits);
        work[c][1] = Descale32(difference + a, kColumnBits);
        work[c][2] = Descale32(difference - a, kColumnBits);
    }
    constexpr int kRowBits = kConstBits + kPass1Bits + 3 + 1;
    std::int32_t made[4][4];  // by output column, then row
    for (int r = 0; r < 4; ++r) {
        auto w = [&](int i) { return static_cast<Lane>(work[i][r]); };
        const Lane even = w(0) << (kConstBits + 1);
        const Lane turned = w(2) * Lane(kEven2) + w(5) * Lane(kEven6);
        const Lane a = w(6) * Lane(kOddA[0]) + w(4) * Lane(kOddA[1]) + w(3) * Lane(kOddA[2]) +
                       w(1) * Lane(kOddA[3]);
        const Lane b = w(6) * Lane(kOddB[0]) + w(4) * Lane(kOddB[1]) + w(3) * Lane(kOddB[2]) +
                       w(1) * Lane(kOddB[3]);
        const Lane sum = even + turned, difference = even - turned;
        made[0][r] = Descale32(sum + b, kRowBits);
        made[3][r] = Descale32(sum - b, kRowBits);
        made[1][r] = Descale32(difference + a, kRowBits);
        made[2][r] = Descale32(difference - a, kRowBits);
    }
    for (int r = 0; r < 4; ++r) {
        for (int i = 0; i < 4; ++i) out[4 * r + i] = LimitSample(made[i][r]);
    }
}

}  // namespace

void Idct2x2(const std::int16_t* coefficients, const std::uint16_t* quantizers, std::uint8_t out[4],
             int end) {
    // Zig-zag positions 0..2 lie in ranks 0 and 1; 0..9 in rows and columns 0..3, of which the
    // transform reads ranks 0, 1 and 2 (row and column 3).
    if (end <= 3) return Idct2x2Within<2>(coefficients, quantizers, out);
    if (end <= 10) return Idct2x2Within<3>(coefficients, quantizers, out);
    Idct2x2Within<5>(coefficients, quantizers, out);
}

void Idct4x4(const std::int16_t* coefficients, const std::uint16_t* quantizers,
             std::uint8_t out[16], int end) {
    // Zig-zag positions 0..2 lie in ranks 0 and 1, 0..5 in ranks 0..2, 0..9 in ranks 0..3.
    if (end <= 3) return Idct4x4Within<2>(coefficients, quantizers, out);
    if (end <= 6) return Idct4x4Within<3>(coefficients, quantizers, out);
    if (end <= 10) return Idct4x4Within<4>(coefficients, quantizers, out);
    Idct4x4Dense(coefficients, quantizers, out);
}

}  // namespace quillane
