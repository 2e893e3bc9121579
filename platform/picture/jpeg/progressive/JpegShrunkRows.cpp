// Smooth spreading of coarse components and the colour turns of libjpeg, with its rounding,
// so that a picture whose components are all sampled alike comes out exactly as libjpeg's own
// decode shrunk by eight, four or two.

#include "platform/picture/jpeg/progressive/JpegShrunkRows.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <utility>

#include "platform/raster/CpuClones.h"

namespace quillane {
namespace {

std::uint8_t Clamp(int value) {
    return static_cast<std::uint8_t>(std::clamp(value, 0, 255));
}

// libjpeg's YCbCr to RGB in 16-bit fixed point (its FIX(1.40200) and so on), rounded the same
// way: red and blue each rounded on their own, green's two terms summed first.
constexpr int kRedFromCr = 91881;
constexpr int kBlueFromCb = 116130;
constexpr int kGreenFromCb = -22554;
constexpr int kGreenFromCr = -46802;

// One row of YCbCr into red, green and blue rows. None of the rows overlap (__restrict), as the
// compiler must know to do several pixels at a time.
QUILLANE_PIXEL_LOOP void YccToRgbApart(const std::uint8_t* __restrict luma,
                                       const std::uint8_t* __restrict cb,
                                       const std::uint8_t* __restrict cr, int width,
                                       std::uint8_t* __restrict blue,
                                       std::uint8_t* __restrict green,
                                       std::uint8_t* __restrict red) {
    constexpr int kHalf = 1 << 15;
    for (int x = 0; x < width; ++x) {
        const int blueDifference = cb[x] - 128, redDifference = cr[x] - 128;
        red[x] = Clamp(luma[x] + ((kRedFromCr * redDifference + kHalf) >> 16));
        green[x] =
            Clamp(luma[x] +
                  ((kGreenFromCb * blueDifference + kHalf + kGreenFromCr * redDifference) >> 16));
        blue[x] = Clamp(luma[x] + ((kBlueFromCb * blueDifference + kHalf) >> 16));
    }
}

// Three rows into one of BGR pixels.
QUILLANE_PIXEL_LOOP void Interleave(const std::uint8_t* __restrict blue,
                                    const std::uint8_t* __restrict green,
                                    const std::uint8_t* __restrict red, int width,
                                    std::uint8_t* __restrict out) {
    for (int x = 0; x < width; ++x) {
        out[3 * x] = blue[x], out[3 * x + 1] = green[x], out[3 * x + 2] = red[x];
    }
}

// Samples blended down, spread over twice as many pixels across: pixel 2j a quarter of the way
// from sample j to j + 1, pixel 2j + 1 three quarters. Apart (__restrict) for the same reason.
QUILLANE_PIXEL_LOOP void SpreadHalfAcross(const int* __restrict blend, int pairs, int shift,
                                          std::uint8_t* __restrict out) {
    const int half = 1 << shift >> 1;
    for (int j = 0; j < pairs; ++j) {
        out[2 * j] = static_cast<std::uint8_t>((blend[j] * 3 + blend[j + 1] + half) >> shift);
        out[2 * j + 1] = static_cast<std::uint8_t>((blend[j] + blend[j + 1] * 3 + half) >> shift);
    }
}

// Output position i of n, at `factor` per sample of `count`: the sample centred at or before
// it and the weight of the one after, out of 2 * factor.
void SpreadAlong(int n, int factor, int count, std::vector<int>& nearer, std::vector<int>& weight) {
    nearer.resize(n);
    weight.resize(n);
    for (int i = 0; i < n; ++i) {
        // In units of 1 / (2 * factor) samples, the output centre lies at 2i + 1 - factor.
        const int at = 2 * i + 1 - factor;
        const int before = at >= 0 ? at / (2 * factor) : -1;
        int w = at - before * 2 * factor;
        int near = before;
        if (near < 0) near = 0, w = 0;
        if (near >= count - 1) near = count - 1, w = 0;
        nearer[i] = near;
        weight[i] = w;
    }
}

}  // namespace

JpegShrunkPicture ShrunkLayoutFor(const JpegFrame& frame, int scale) {
    JpegShrunkPicture picture;
    picture.Width = frame.Width;
    picture.Height = frame.Height;
    picture.MaxHorizontal = frame.MaxHorizontal();
    picture.MaxVertical = frame.MaxVertical();
    picture.Scale = scale;
    for (const JpegFrameComponent& from : frame.Components) {
        JpegShrunkComponent& out = picture.Components.emplace_back();
        out.Horizontal = from.Horizontal;
        out.Vertical = from.Vertical;
        // The component's own pixels: the frame's, fewer where it is sampled more coarsely.
        const std::int64_t wide =
            CeilDiv(std::int64_t{frame.Width} * from.Horizontal, picture.MaxHorizontal);
        const std::int64_t high =
            CeilDiv(std::int64_t{frame.Height} * from.Vertical, picture.MaxVertical);
        out.BlocksWide = static_cast<int>(CeilDiv(wide, 8));
        out.BlocksHigh = static_cast<int>(CeilDiv(high, 8));
        out.SamplesWide = static_cast<int>(CeilDiv(wide, scale));
        out.SamplesHigh = static_cast<int>(CeilDiv(high, scale));
    }
    return picture;
}

JpegShrunkRows::JpegShrunkRows(JpegShrunkPicture layout, JpegShrunkColour colour,
                               std::unique_ptr<JpegSampleRows> samples)
    : JpegShrunkRows(std::move(layout), colour) {
    m_samples = std::move(samples);
}

JpegShrunkRows::JpegShrunkRows(JpegShrunkPicture picture, JpegShrunkColour colour)
    : m_picture(std::move(picture)), m_colour(colour) {
    m_width = static_cast<int>(CeilDiv(m_picture.Width, m_picture.Scale));
    m_height = static_cast<int>(CeilDiv(m_picture.Height, m_picture.Scale));
    for (const JpegShrunkComponent& c : m_picture.Components) {
        const int fx = m_picture.MaxHorizontal / c.Horizontal;
        const int fy = m_picture.MaxVertical / c.Vertical;
        assert(fx * c.Horizontal == m_picture.MaxHorizontal);
        assert(fy * c.Vertical == m_picture.MaxVertical);
        Spread across, down;
        across.Scale = 2 * fx;
        down.Scale = 2 * fy;
        SpreadAlong(m_width, fx, c.SamplesWide, across.Near, across.Weight);
        SpreadAlong(m_height, fy, c.SamplesHigh, down.Near, down.Weight);
        m_across.push_back(std::move(across));
        m_down.push_back(std::move(down));
        m_rows.emplace_back(m_width);
    }
}

const std::uint8_t* JpegShrunkRows::SampleRow(std::size_t c, int row) {
    if (m_samples) return m_samples->Row(c, row);
    const JpegShrunkComponent& component = m_picture.Components[c];
    return component.Samples.data() + static_cast<std::size_t>(row) * component.SamplesWide;
}

const std::uint8_t* JpegShrunkRows::ComponentRow(std::size_t c, int y) {
    const Spread& across = m_across[c];
    const Spread& down = m_down[c];
    const std::uint8_t* upper = SampleRow(c, down.Near[y]);
    if (!upper) return nullptr;
    if (across.Scale == 2 && down.Scale == 2) return upper;  // sampled as finely as the grid
    const int wy = down.Weight[y];
    const std::uint8_t* lower = wy ? SampleRow(c, down.Near[y] + 1) : upper;
    if (!lower) return nullptr;
    // Down first, each sample of the two rows once, then across: the same sums, in fewer steps.
    const int samples = m_picture.Components[c].SamplesWide;
    m_blend.resize(static_cast<std::size_t>(samples) + 1);
    int* blend = m_blend.data();
    for (int i = 0; i < samples; ++i) blend[i] = upper[i] * (down.Scale - wy) + lower[i] * wy;
    blend[samples] = blend[samples - 1];  // read with a weight of 0 past the last
    std::uint8_t* out = m_rows[c].data();
    const int width = m_width;  // a local count, as in Row
    const int scale = across.Scale * down.Scale;
    if (across.Scale == 4 && (scale & (scale - 1)) == 0) {
        // Half as many samples across, the usual subsampling: each output pixel between two
        // samples, a quarter of the way from the nearer, the first and last on their own.
        const int shift = std::countr_zero(static_cast<unsigned>(scale));
        out[0] = static_cast<std::uint8_t>((blend[0] * 4 + scale / 2) >> shift);
        const int pairs = (width - 1) / 2;
        SpreadHalfAcross(blend, pairs, shift, out + 1);
        // The last pixel when the width is even; past the last sample it is the last alone.
        for (int x = 2 * pairs + 1; x < width; ++x) {
            const int i = across.Near[x], wx = across.Weight[x];
            out[x] = static_cast<std::uint8_t>(
                (blend[i] * (4 - wx) + blend[i + 1] * wx + scale / 2) >> shift);
        }
        return out;
    }
    for (int x = 0; x < width; ++x) {
        const int i = across.Near[x], wx = across.Weight[x];
        out[x] = static_cast<std::uint8_t>(
            (blend[i] * (across.Scale - wx) + blend[i + 1] * wx + scale / 2) / scale);
    }
    return out;
}

PictureFailure JpegShrunkRows::Failure() const {
    if (m_samples) return m_samples->Failure();
    return {ErrorNumber::InvalidPicture, "is damaged (rows are missing)"};
}

bool JpegShrunkRows::Row(int y, std::uint8_t* out) {
    const std::uint8_t* rows[4] = {};
    for (std::size_t c = 0; c < m_rows.size(); ++c) {
        if (!(rows[c] = ComponentRow(c, y))) return false;
    }
    const std::uint8_t* a = rows[0];
    // A local count: the stores through `out` might otherwise change it for all the compiler
    // knows, which keeps it from doing several pixels at a time.
    const int width = m_width;
    switch (m_colour) {
        case JpegShrunkColour::Gray:
            std::copy_n(a, width, out);
            return true;
        case JpegShrunkColour::GrayToBgr:
            for (int x = 0; x < width; ++x, out += 3) out[0] = out[1] = out[2] = a[x];
            return true;
        case JpegShrunkColour::RgbToBgr:
            for (int x = 0; x < width; ++x, out += 3) {
                out[0] = rows[2][x], out[1] = rows[1][x], out[2] = a[x];
            }
            return true;
        case JpegShrunkColour::YccToBgr:
        case JpegShrunkColour::YcckToCmyk: {
            // libjpeg's tables, computed in place: the same sums, which the compiler can do
            // several pixels at a time.
            const std::uint8_t *cb = rows[1], *cr = rows[2];
            const bool cmyk = m_colour == JpegShrunkColour::YcckToCmyk;
            constexpr int kHalf = 1 << 15;
            if (!cmyk) {
                // Into three rows first, which the compiler does several pixels at a time, then
                // laid out as BGR.
                m_colourRows.resize(static_cast<std::size_t>(width) * 3);
                std::uint8_t* blue = m_colourRows.data();
                std::uint8_t* green = blue + width;
                std::uint8_t* red = green + width;
                YccToRgbApart(a, cb, cr, width, blue, green, red);
                Interleave(blue, green, red, width, out);
                return true;
            }
            for (int x = 0; x < width; ++x, out += 4) {
                const int blueDifference = cb[x] - 128, redDifference = cr[x] - 128;
                const int red = a[x] + ((kRedFromCr * redDifference + kHalf) >> 16);
                const int green =
                    a[x] +
                    ((kGreenFromCb * blueDifference + kHalf + kGreenFromCr * redDifference) >> 16);
                const int blue = a[x] + ((kBlueFromCb * blueDifference + kHalf) >> 16);
                out[0] = Clamp(255 - red), out[1] = Clamp(255 - green);
                out[2] = Clamp(255 - blue), out[3] = rows[3][x];
            }
            return true;
        }
        case JpegShrunkColour::Cmyk:
            for (int x = 0; x < width; ++x, out += 4) {
                for (int c = 0; c < 4; ++c) out[c] = rows[c][x];
            }
            return true;
    }
    assert(false && "a colour without its case");
    return false;
}

}  // namespace quillane
