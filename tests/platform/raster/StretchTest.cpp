#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <random>
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
        if (!BottomUp) return {Bytes.data(), Width, Height, Stride};
        return {Bytes.data() + (Height - 1) * Stride, Width, Height, -Stride};
    }
    std::uint8_t& At(int x, int y, int c) { return View().Row(y)[x * 3 + c]; }
    void Fill(const std::function<int(int, int, int)>& value) {
        for (int y = 0; y < Height; ++y)
            for (int x = 0; x < Width; ++x)
                for (int c = 0; c < 3; ++c) At(x, y, c) = static_cast<std::uint8_t>(value(x, y, c));
    }
};

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
const Sizes kSizes[] = {{40, 30, 176, 220}, {640, 480, 176, 220}, {500, 375, 176, 220},
                        {13, 7, 1, 1},      {9, 9, 1, 17},        {9, 9, 23, 1},
                        {1, 1, 5, 3},       {1, 50, 7, 11},       {257, 3, 31, 9},
                        {101, 67, 100, 68}, {33, 20, 33, 41},     {48, 31, 7, 31}};
const StretchFilter kFilters[] = {StretchFilter::Lanczos3, StretchFilter::Lanczos2,
                                  StretchFilter::Mitchell};

TEST(StretchBgr, ConstantPictureStaysExactlyConstant) {
    for (const Sizes& s : kSizes) {
        for (const StretchFilter filter : kFilters) {
            for (const int level : {0, 1, 77, 254, 255}) {
                Picture src(s.SrcW, s.SrcH);
                src.Fill([&](int, int, int c) { return c == 1 ? 255 - level : level; });
                Picture dst = Stretched(src, s.DstW, s.DstH, filter);
                for (int y = 0; y < s.DstH; ++y)
                    for (int x = 0; x < s.DstW; ++x)
                        for (int c = 0; c < 3; ++c)
                            ASSERT_EQ(dst.At(x, y, c), c == 1 ? 255 - level : level)
                                << s.SrcW << "x" << s.SrcH << " -> " << s.DstW << "x" << s.DstH
                                << " at " << x << "," << y;
            }
        }
    }
}

TEST(StretchBgr, MatchesDoublePrecisionReferenceWithinOne) {
    for (const Sizes& s : kSizes) {
        for (const StretchFilter filter : kFilters) {
            Picture src(s.SrcW, s.SrcH);
            src.Fill(Photo);
            Picture dst = Stretched(src, s.DstW, s.DstH, filter);
            // Straight from the definition: every output is a weighted mean of the source over
            // a window of the kernel, widened when shrinking and clipped at the borders.
            auto kernel = [&](double t) {
                auto sinc = [](double v) { return v == 0 ? 1.0 : std::sin(M_PI * v) / (M_PI * v); };
                t = std::fabs(t);
                if (filter == StretchFilter::Lanczos3) return t < 3 ? sinc(t) * sinc(t / 3) : 0.0;
                if (filter == StretchFilter::Lanczos2) return t < 2 ? sinc(t) * sinc(t / 2) : 0.0;
                if (t < 1) return (7 * t * t * t - 12 * t * t + 16.0 / 3) / 6;
                return t < 2 ? (-7.0 / 3 * t * t * t + 12 * t * t - 20 * t + 32.0 / 3) / 6 : 0.0;
            };
            auto weights = [&](int in, int out, int o) {
                const double scale = double(in) / out, widen = std::max(1.0, scale);
                const double centre = (o + 0.5) * scale - 0.5;
                std::vector<double> w(in);
                double sum = 0;
                for (int i = 0; i < in; ++i)
                    sum += w[i] = in == out ? i == o : kernel((i - centre) / widen);
                for (double& v : w) v /= sum;
                return w;
            };
            // The kernel is separable, so the exact result can be had row-wise first.
            std::vector<double> across(std::size_t(s.DstW) * s.SrcH * 3);
            for (int x = 0; x < s.DstW; ++x) {
                const std::vector<double> wx = weights(s.SrcW, s.DstW, x);
                for (int j = 0; j < s.SrcH; ++j)
                    for (int c = 0; c < 3; ++c)
                        for (int i = 0; i < s.SrcW; ++i)
                            across[(std::size_t(j) * s.DstW + x) * 3 + c] +=
                                wx[i] * src.At(i, j, c);
            }
            double bias = 0;  // rounding must not lean one way: truncation would show here
            for (int y = 0; y < s.DstH; ++y) {
                const std::vector<double> wy = weights(s.SrcH, s.DstH, y);
                for (int x = 0; x < s.DstW; ++x)
                    for (int c = 0; c < 3; ++c) {
                        double expected = 0;
                        for (int j = 0; j < s.SrcH; ++j)
                            expected += wy[j] * across[(std::size_t(j) * s.DstW + x) * 3 + c];
                        expected = std::clamp(expected, 0.0, 255.0);
                        bias += dst.At(x, y, c) - expected;
                        ASSERT_NEAR(dst.At(x, y, c), expected, 1.0)
                            << s.SrcW << "x" << s.SrcH << " -> " << s.DstW << "x" << s.DstH
                            << " filter " << int(filter) << " at " << x << "," << y << "," << c;
                    }
            }
            // Enough pixels for rounding errors to average out.
            if (s.DstW * s.DstH >= 100) {
                EXPECT_LT(std::fabs(bias / (3.0 * s.DstW * s.DstH)), 0.3)
                    << s.SrcW << "x" << s.SrcH << " -> " << s.DstW << "x" << s.DstH;
            }
        }
    }
}

TEST(StretchBgr, SameSizeCopiesExactly) {
    std::mt19937 random(5);
    for (const Sizes& s : kSizes) {
        Picture src(s.SrcW, s.SrcH);
        src.Fill([&](int, int, int) { return int(random() % 256); });
        Picture dst = Stretched(src, s.SrcW, s.SrcH);
        for (int y = 0; y < s.SrcH; ++y)
            for (int x = 0; x < s.SrcW; ++x)
                for (int c = 0; c < 3; ++c) ASSERT_EQ(dst.At(x, y, c), src.At(x, y, c));
    }
}

TEST(StretchBgr, BottomUpMemoryGivesTheSameResultAsTopDown) {
    for (const Sizes& s : kSizes) {
        Picture topDown(s.SrcW, s.SrcH), bottomUp(s.SrcW, s.SrcH, true);
        topDown.Fill(Photo);
        bottomUp.Fill(Photo);
        Picture expected = Stretched(topDown, s.DstW, s.DstH);
        for (const bool dstBottomUp : {false, true}) {
            Picture actual =
                Stretched(bottomUp, s.DstW, s.DstH, StretchFilter::Lanczos3, dstBottomUp);
            for (int y = 0; y < s.DstH; ++y)
                for (int x = 0; x < s.DstW; ++x)
                    for (int c = 0; c < 3; ++c) ASSERT_EQ(actual.At(x, y, c), expected.At(x, y, c));
        }
    }
}

// Hands out a picture's rows one at a time, as a decoder does, and can fail at a given row.
class PictureRows : public BgrRowSource {
  public:
    PictureRows(Picture& picture, int failAt = -1) : m_picture(picture), m_failAt(failAt) {}
    int Width() const override { return m_picture.Width; }
    int Height() const override { return m_picture.Height; }
    bool ReadRow(std::uint8_t* row) override {
        EXPECT_LT(m_next, m_picture.Height) << "read past the last row";
        if (m_next == m_failAt || m_next >= m_picture.Height) return false;
        std::copy_n(m_picture.View().Row(m_next++), m_picture.Width * 3, row);
        return true;
    }
    int RowsRead() const { return m_next; }

  private:
    Picture& m_picture;
    int m_failAt;
    int m_next = 0;
};

TEST(StretchBgr, ReadingRowByRowGivesExactlyTheResultOfThePictureInMemory) {
    std::vector<Sizes> sizes(std::begin(kSizes), std::end(kSizes));
    sizes.push_back({64, 40, 64, 40});     // same size: a copy
    sizes.push_back({64, 40, 20, 40});     // width only
    sizes.push_back({900, 300, 30, 280});  // shrunk most across: the horizontal pass first
    for (const Sizes& s : sizes) {
        SCOPED_TRACE(std::to_string(s.SrcW) + "x" + std::to_string(s.SrcH) + " to " +
                     std::to_string(s.DstW) + "x" + std::to_string(s.DstH));
        Picture src(s.SrcW, s.SrcH, true);
        src.Fill(Photo);
        const Picture expected = Stretched(src, s.DstW, s.DstH);
        Picture actual(s.DstW, s.DstH, false, 0xAB);
        PictureRows rows(src);
        ASSERT_EQ(StretchBgr(rows, actual.View()), StretchOutcome::Done);
        EXPECT_TRUE(actual.Bytes == expected.Bytes);
    }
}

TEST(StretchBgr, ASourceThatFailsMidwayIsReportedAndNotReadFurther) {
    for (const Sizes& s : {Sizes{640, 480, 176, 220}, Sizes{64, 40, 64, 40}, Sizes{64, 40, 20, 40},
                           Sizes{900, 300, 30, 280}, Sizes{40, 30, 176, 220}}) {
        Picture src(s.SrcW, s.SrcH);
        src.Fill(Photo);
        Picture dst(s.DstW, s.DstH);
        PictureRows rows(src, s.SrcH / 2);
        EXPECT_EQ(StretchBgr(rows, dst.View()), StretchOutcome::SourceFailed);
        EXPECT_EQ(rows.RowsRead(), s.SrcH / 2);
    }
}

TEST(StretchBgr, EmptyDestinationOrSourceIsNothingToDo) {
    Picture src(4, 4, false, 9), dst(3, 3, false, 7);
    EXPECT_TRUE(StretchBgr(src.View(), BgrView{dst.Bytes.data(), 0, 3, dst.Stride}));
    EXPECT_TRUE(StretchBgr(ConstBgrView{src.Bytes.data(), 4, 0, src.Stride}, dst.View()));
    EXPECT_EQ(dst.Bytes, std::vector<std::uint8_t>(dst.Bytes.size(), 7));
}

}  // namespace
}  // namespace quillane
