#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "platform/raster/Stretch.h"

namespace quillane {
namespace {

// A picture in a vector, seen top-down or bottom-up, with padding bytes after each row.
struct Picture {
    int Width, Height;
    std::ptrdiff_t Stride;
    std::vector<std::uint8_t> Bytes;
    bool BottomUp;

    Picture(int w, int h, bool bottomUp = false, std::uint8_t fill = 0)
        : Width(w), Height(h), Stride(w * 3 + 5), Bytes(Stride * h, fill), BottomUp(bottomUp) {}
    BgrView View() {
        return BottomUp ? BgrView{Bytes.data() + (Height - 1) * Stride, Width, Height, -Stride}
                        : BgrView{Bytes.data(), Width, Height, Stride};
    }
    std::uint8_t& At(int x, int y, int c) { return View().Row(y)[x * 3 + c]; }
    void Fill(const std::function<int(int, int, int)>& value) {
        for (int y = 0; y < Height; ++y)
            for (int x = 0; x < Width; ++x)
                for (int c = 0; c < 3; ++c) At(x, y, c) = static_cast<std::uint8_t>(value(x, y, c));
    }
};

// How many samples are further than `tolerance` from value(x, y, c).
int Mismatches(Picture& picture, const std::function<double(int, int, int)>& value,
               double tolerance = 0) {
    int count = 0;
    for (int y = 0; y < picture.Height; ++y)
        for (int x = 0; x < picture.Width; ++x)
            for (int c = 0; c < 3; ++c)
                count += std::fabs(picture.At(x, y, c) - value(x, y, c)) > tolerance;
    return count;
}

Picture Stretched(Picture& src, int w, int h, StretchFilter filter = StretchFilter::Lanczos3,
                  bool bottomUp = false) {
    Picture dst(w, h, bottomUp, 0xAB);
    EXPECT_TRUE(StretchBgr(src.View(), dst.View(), filter));
    // The padding after each row is never written.
    for (int y = 0; y < h; ++y)
        for (std::ptrdiff_t i = w * 3; i < dst.Stride; ++i)
            EXPECT_EQ(dst.Bytes[y * dst.Stride + i], 0xAB) << "padding of row " << y;
    return dst;
}

// Photo-like content: smooth shading, fine detail, and hard black and white blocks whose
// edges make the kernel's lobes overshoot past 0 and 255.
int Photo(int x, int y, int c) {
    if ((x / 6 + y / 5) % 7 == 0) return (x / 6) % 2 ? 255 : 0;
    return static_cast<int>(128 + 60 * std::sin(x * 0.21 + c) * std::cos(y * 0.13) +
                            30 * std::sin((x + 2 * y) * 0.7 + c));
}

struct Sizes {
    int SrcW, SrcH, DstW, DstH;
};
// The last is shrunk most across, which puts the horizontal pass first.
const Sizes kSizes[] = {{40, 30, 176, 220}, {640, 480, 176, 220}, {13, 7, 1, 1},
                        {9, 9, 1, 17},      {9, 9, 23, 1},        {1, 1, 5, 3},
                        {1, 50, 7, 11},     {101, 67, 100, 68},   {33, 20, 33, 41},
                        {48, 31, 7, 31},    {64, 40, 64, 40},     {900, 300, 30, 280}};

// Straight from the definition: every output is a weighted mean of the source over a window of
// the kernel, widened when shrinking and clipped at the borders.
std::vector<double> Weights(StretchFilter filter, int in, int out, int o) {
    auto sinc = [](double v) { return v == 0 ? 1.0 : std::sin(M_PI * v) / (M_PI * v); };
    auto kernel = [&](double t) {
        t = std::fabs(t);
        if (filter == StretchFilter::Lanczos3) return t < 3 ? sinc(t) * sinc(t / 3) : 0.0;
        if (filter == StretchFilter::Lanczos2) return t < 2 ? sinc(t) * sinc(t / 2) : 0.0;
        if (t < 1) return (7 * t * t * t - 12 * t * t + 16.0 / 3) / 6;
        return t < 2 ? (-7.0 / 3 * t * t * t + 12 * t * t - 20 * t + 32.0 / 3) / 6 : 0.0;
    };
    const double scale = double(in) / out, widen = std::max(1.0, scale);
    const double centre = (o + 0.5) * scale - 0.5;
    std::vector<double> w(in);
    double sum = 0;
    for (int i = 0; i < in; ++i) sum += w[i] = in == out ? i == o : kernel((i - centre) / widen);
    for (double& v : w) v /= sum;
    return w;
}

// Against the double-precision definition: within one, exact when the size is kept, and
// rounding that does not lean one way. A flat picture of any level stays exactly flat. Top-down
// or bottom-up memory on either side gives the same bytes (the decoders' row-by-row sources take
// the same path, and the picture tests run them).
TEST(StretchBgr, MatchesTheDefinitionAndKeepsFlatPicturesExact) {
    for (const Sizes& s : kSizes) {
        for (const StretchFilter filter :
             {StretchFilter::Lanczos3, StretchFilter::Lanczos2, StretchFilter::Mitchell}) {
            SCOPED_TRACE(
                ::testing::PrintToString(std::tuple(s.SrcW, s.SrcH, s.DstW, s.DstH, filter)));
            for (const int level : {0, 77, 255}) {
                auto flat = [&](int, int, int c) { return c == 1 ? 255 - level : level; };
                Picture src(s.SrcW, s.SrcH);
                src.Fill(flat);
                Picture dst = Stretched(src, s.DstW, s.DstH, filter);
                ASSERT_EQ(Mismatches(dst, flat), 0) << "level " << level;
            }
            Picture src(s.SrcW, s.SrcH);
            src.Fill(Photo);
            Picture dst = Stretched(src, s.DstW, s.DstH, filter);
            // The kernel is separable, so the exact result can be had row-wise first.
            std::vector<double> across(std::size_t(s.DstW) * s.SrcH * 3);
            for (int x = 0; x < s.DstW; ++x) {
                const std::vector<double> wx = Weights(filter, s.SrcW, s.DstW, x);
                for (int j = 0; j < s.SrcH; ++j)
                    for (int c = 0; c < 3; ++c)
                        for (int i = 0; i < s.SrcW; ++i)
                            across[(std::size_t(j) * s.DstW + x) * 3 + c] +=
                                wx[i] * src.At(i, j, c);
            }
            std::vector<std::vector<double>> wy;
            for (int y = 0; y < s.DstH; ++y) wy.push_back(Weights(filter, s.SrcH, s.DstH, y));
            double bias = 0;  // truncation instead of rounding would lean one way
            auto expected = [&](int x, int y, int c) {
                double sum = 0;
                for (int j = 0; j < s.SrcH; ++j)
                    sum += wy[y][j] * across[(std::size_t(j) * s.DstW + x) * 3 + c];
                sum = std::clamp(sum, 0.0, 255.0);
                bias += dst.At(x, y, c) - sum;
                return sum;
            };
            const bool kept = s.SrcW == s.DstW && s.SrcH == s.DstH;
            ASSERT_EQ(Mismatches(dst, expected, kept ? 0.0 : 1.0), 0);
            EXPECT_LT(std::fabs(bias / (3.0 * s.DstW * s.DstH + 300)), 0.3);
            Picture bottomUp(s.SrcW, s.SrcH, true);  // the same to the byte, however held
            bottomUp.Fill(Photo);
            for (const bool dstBottomUp : {false, true}) {
                Picture actual = Stretched(bottomUp, s.DstW, s.DstH, filter, dstBottomUp);
                ASSERT_EQ(Mismatches(actual, [&](int x, int y, int c) { return dst.At(x, y, c); }),
                          0)
                    << "bottom-up into bottom-up " << dstBottomUp;
            }
        }
    }
}

}  // namespace
}  // namespace quillane
