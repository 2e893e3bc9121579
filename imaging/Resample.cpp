// Bilinear resampling of a cDIBSection into a new picture.
//
// The arithmetic is fixed on purpose: single-precision scale factors, positions and fractions,
// double-precision weighted sums, a round to nearest (ties to even) after the vertical and again
// after the horizontal pass. Results are compared byte for byte with pictures made elsewhere, so
// none of it may be "improved" (centred sampling, fixed point, one rounding) without changing
// every output.

#include <cmath>
#include <limits>
#include <vector>

#include "imaging/PixelGrid.h"
#include "imaging/cDIBSection.h"
#include "platform/base/Conversions.h"
#include "platform/base/RuntimeError.h"

namespace quillane {

namespace {

// A division of the runtime's floating-point rules: x / 0 is Division by zero (11), 0 / 0 and
// a result that does not fit a single are Overflow (6).
float DivideToSingle(double numerator, double divisor) {
    if (divisor == 0.0) {
        RaiseError(numerator == 0.0 ? ErrorNumber::Overflow : ErrorNumber::DivisionByZero);
    }
    const double quotient = numerator / divisor;
    if (!std::isfinite(quotient) || std::fabs(quotient) > std::numeric_limits<float>::max()) {
        RaiseError(ErrorNumber::Overflow);
    }
    return static_cast<float>(quotient);
}

// Rounds down to a 32-bit integer; Overflow (6) when the value has none.
std::int32_t FloorToInt32(float value) {
    const double down = std::floor(static_cast<double>(value));
    if (!(down >= std::numeric_limits<std::int32_t>::min() &&
          down <= std::numeric_limits<std::int32_t>::max())) {
        RaiseError(ErrorNumber::Overflow);
    }
    return static_cast<std::int32_t>(down);
}

// To the nearest integer, ties to the even one. Adding and taking away 1.5 * 2^52 leaves no
// bits below the units, so the hardware's default rounding (to nearest, ties to even; this
// program never changes it) does the work without a library call. Exact for |value| < 2^51;
// the sums here stay within 0..256.
inline std::int32_t RoundHalfEven(double value) {
    constexpr double kShifter = 6755399441055744.0;  // 1.5 * 2^52
    const double shifted = value + kShifter;
    return static_cast<std::int32_t>(shifted - kShifter);
}

inline std::uint8_t ClampToByte(std::int32_t value) {
    return static_cast<std::uint8_t>(value < 0 ? 0 : (value > 255 ? 255 : value));
}

// Where one position lands on the source: the integer part and the fraction.
struct Sample {
    std::int32_t Index = 0;   // ix or iy
    float Fraction = 0.0f;    // fx or fy
    float Complement = 1.0f;  // 1 - fraction, in single precision
};

Sample SampleAt(float scale, std::int32_t i) {
    Sample sample;
    const auto position = static_cast<float>(static_cast<double>(scale) * i);
    sample.Index = FloorToInt32(position);
    sample.Fraction = position - static_cast<float>(sample.Index);
    sample.Complement = 1.0f - sample.Fraction;
    return sample;
}

// One channel of one pass: (1 - f) * a + f * b, summed in double and rounded.
inline std::int32_t Blend(const Sample& s, double a, double b) {
    return RoundHalfEven(static_cast<double>(s.Complement) * a +
                         static_cast<double>(s.Fraction) * b);
}

}  // namespace

std::unique_ptr<cDIBSection> cDIBSection::Resample(std::int32_t lNewHeight,
                                                   std::int32_t lNewWidth) {
    auto cNew = std::make_unique<cDIBSection>();
    if (!cNew->Create(lNewWidth, lNewHeight)) return nullptr;
    if (lNewWidth == Width() && lNewHeight == height()) {
        // A block copy from a picture without memory would quietly return a black picture.
        if (m_hMemDC == 0 || CheckedBits() == nullptr) {
            RaiseError(ErrorNumber::SubscriptOutOfRange);
        }
        cNew->LoadPictureBlt(m_hMemDC, 0, 0, -1, -1, SRCCOPY);
    } else {
        ResampleBits(*cNew);
    }
    return cNew;
}

void cDIBSection::ResampleBits(cDIBSection& cDest) {
    const PixelGrid tSrc(CheckedBits(), BytesPerScanLine(), height());
    PixelGrid tDest(cDest.CheckedBits(), cDest.BytesPerScanLine(), cDest.height());

    const float xScale = DivideToSingle(CheckedSub32(Width(), 1), cDest.Width());
    const float yScale = DivideToSingle(CheckedSub32(height(), 1), cDest.height());
    const std::int32_t lLastX = CheckedSub32(cDest.Width(), 1);
    const std::int32_t lLastY = CheckedSub32(cDest.height(), 1);
    if (lLastX < 0 || lLastY < 0) return;
    // The last destination byte column is inside a row that BytesPerScanLine accepted.
    CheckedAdd32(CheckedMul32(lLastX, 3), 2);

    // Every row uses the same column positions: work them out once. This is the only
    // allocation, made before the loops.
    std::vector<Sample> tColumns(static_cast<std::size_t>(lLastX) + 1);
    for (std::int32_t x = 0; x <= lLastX; ++x) {
        Sample& column = tColumns[static_cast<std::size_t>(x)];
        column = SampleAt(xScale, x);
        column.Index = CheckedMul32(column.Index, 3);  // byte column of pixel ix
        CheckedAdd32(column.Index, 5);                 // the last byte read stays in range
    }

    for (std::int32_t y = 0; y <= lLastY; ++y) {
        const Sample row = SampleAt(yScale, y);
        const std::int32_t iy = row.Index;
        const std::int32_t iy1 = CheckedAdd32(iy, 1);
        for (std::int32_t x = 0; x <= lLastX; ++x) {
            const Sample& column = tColumns[static_cast<std::size_t>(x)];
            const std::int32_t c = column.Index;
            // Twelve reads: pixels ix and ix + 1 of scan line iy, then of scan line iy + 1.
            const double b0 = tSrc.Read(c, iy), g0 = tSrc.Read(c + 1, iy),
                         r0 = tSrc.Read(c + 2, iy), b1 = tSrc.Read(c + 3, iy),
                         g1 = tSrc.Read(c + 4, iy), r1 = tSrc.Read(c + 5, iy);
            const double b2 = tSrc.Read(c, iy1), g2 = tSrc.Read(c + 1, iy1),
                         r2 = tSrc.Read(c + 2, iy1), b3 = tSrc.Read(c + 3, iy1),
                         g3 = tSrc.Read(c + 4, iy1), r3 = tSrc.Read(c + 5, iy1);
            // Vertical pass: red, green, blue of column ix, then of column ix + 1.
            const std::int32_t lR0 = Blend(row, r0, r2);
            const std::int32_t lG0 = Blend(row, g0, g2);
            const std::int32_t lB0 = Blend(row, b0, b2);
            const std::int32_t lR1 = Blend(row, r1, r3);
            const std::int32_t lG1 = Blend(row, g1, g3);
            const std::int32_t lB1 = Blend(row, b1, b3);
            // Horizontal pass: red, green, blue.
            const std::uint8_t bRed = ClampToByte(Blend(column, lR0, lR1));
            const std::uint8_t bGreen = ClampToByte(Blend(column, lG0, lG1));
            const std::uint8_t bBlue = ClampToByte(Blend(column, lB0, lB1));
            const std::int32_t d = 3 * x;
            tDest.Write(d, y, bBlue);
            tDest.Write(d + 1, y, bGreen);
            tDest.Write(d + 2, y, bRed);
        }
    }
}

}  // namespace quillane
