// Two one-dimensional passes in 13-bit fixed point, columns first into a work array with two
// extra bits, then rows, rounded at the same places and with the same constants as libjpeg.
// The sums are 64-bit and the work array is cut to 32 bits, as there: a damaged file's huge
// coefficients give garbage samples, never an overflow.

#include "platform/picture/jpeg/progressive/JpegReducedIdct.h"

namespace quillane {
namespace {

constexpr int kConstBits = 13;
constexpr int kPass1Bits = 2;
// sqrt(2) times sums of the odd cosines, in 13-bit fixed point, for inputs 1, 3, 5 and 7.
constexpr std::int64_t kOdd1 = 29692, kOdd3 = -10426, kOdd5 = 6967, kOdd7 = -5906;
constexpr int kRanks[5] = {0, 1, 3, 5, 7};  // the rows and columns the transform reads

std::int64_t Descale(std::int64_t value, int bits) {
    return (value + (std::int64_t{1} << (bits - 1))) >> bits;
}

// One 1-D transform of the inputs at ranks 0, 1, 3, 5, 7 into two outputs.
void Pair(const std::int64_t in[5], int bits, std::int64_t& first, std::int64_t& second) {
    const std::int64_t even = in[0] * (std::int64_t{1} << (kConstBits + 2));
    const std::int64_t odd = in[4] * kOdd7 + in[3] * kOdd5 + in[2] * kOdd3 + in[1] * kOdd1;
    first = Descale(even + odd, bits);
    second = Descale(even - odd, bits);
}

}  // namespace

const std::array<std::int8_t, 64>& Idct2x2Slots() {
    static const std::array<std::int8_t, 64> slots = [] {
        // The zig-zag order: position k of the data holds the coefficient at row*8+column.
        constexpr int kNatural[64] = {
            0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
            41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
            30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};
        std::array<int, 8> rank{};
        rank.fill(-1);
        for (int i = 0; i < 5; ++i) rank[kRanks[i]] = i;
        std::array<std::int8_t, 64> s{};
        for (int k = 0; k < 64; ++k) {
            const int row = rank[kNatural[k] / 8], column = rank[kNatural[k] % 8];
            s[k] = static_cast<std::int8_t>(row < 0 || column < 0 ? -1 : row * 5 + column);
        }
        return s;
    }();
    return slots;
}

const std::array<std::int8_t, 64>& Idct2x2AcSlots() {
    static const std::array<std::int8_t, 64> slots = [] {
        std::array<std::int8_t, 64> s = Idct2x2Slots();
        for (std::int8_t& slot : s) slot = static_cast<std::int8_t>(slot > 0 ? slot - 1 : -1);
        return s;
    }();
    return slots;
}

void Idct2x2(std::int16_t dc, const std::int16_t* ac, const std::uint16_t* quantizers,
             std::uint8_t out[4]) {
    std::int32_t work[2][5];
    for (int column = 0; column < 5; ++column) {
        std::int64_t in[5];
        for (int row = 0; row < 5; ++row) {
            // libjpeg holds its quantizers as 16-bit signed multipliers.
            const int slot = row * 5 + column;
            in[row] = std::int64_t{slot == 0 ? dc : ac[slot - 1]} *
                      static_cast<std::int16_t>(quantizers[slot]);
        }
        std::int64_t top = 0, bottom = 0;
        Pair(in, kConstBits - kPass1Bits + 2, top, bottom);
        work[0][column] = static_cast<std::int32_t>(top);
        work[1][column] = static_cast<std::int32_t>(bottom);
    }
    for (int row = 0; row < 2; ++row) {
        std::int64_t in[5];
        for (int i = 0; i < 5; ++i) in[i] = work[row][i];
        std::int64_t left = 0, right = 0;
        Pair(in, kConstBits + kPass1Bits + 3 + 2, left, right);
        out[2 * row] = LimitSample(static_cast<std::int32_t>(left));
        out[2 * row + 1] = LimitSample(static_cast<std::int32_t>(right));
    }
}

}  // namespace quillane
