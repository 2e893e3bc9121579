// Smooth spreading of coarse components and the colour turns of libjpeg, with its rounding,
// so that a picture whose components are all sampled alike comes out exactly as libjpeg's own
// decode shrunk by eight or four.

#include "platform/picture/jpeg/progressive/JpegShrunkRows.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <utility>

namespace quillane {
namespace {

std::uint8_t Clamp(int value) {
    return static_cast<std::uint8_t>(std::clamp(value, 0, 255));
}

// libjpeg's YCbCr to RGB in 16-bit fixed point, rounded the same way.
struct YccTables {
    std::array<int, 256> CrToRed{}, CbToBlue{}, CrToGreen{}, CbToGreen{};
    YccTables() {
        constexpr int kBits = 16;
        constexpr std::int32_t kHalf = std::int32_t{1} << (kBits - 1);
        auto fix = [](double x) { return static_cast<std::int32_t>(x * (1 << kBits) + 0.5); };
        for (int i = 0; i < 256; ++i) {
            const std::int32_t x = i - 128;
            CrToRed[i] = (fix(1.40200) * x + kHalf) >> kBits;
            CbToBlue[i] = (fix(1.77200) * x + kHalf) >> kBits;
            CrToGreen[i] = -fix(0.71414) * x;
            CbToGreen[i] = -fix(0.34414) * x + kHalf;
        }
    }
};

const YccTables& Ycc() {
    static const YccTables tables;
    return tables;
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

bool JpegShrunkRows::ComponentRow(std::size_t c, int y, std::uint8_t* out) {
    const Spread& across = m_across[c];
    const Spread& down = m_down[c];
    const std::uint8_t* upper = SampleRow(c, down.Near[y]);
    if (!upper) return false;
    if (across.Scale == 2 && down.Scale == 2) {  // sampled as finely as the grid
        std::copy_n(upper, m_width, out);
        return true;
    }
    const int wy = down.Weight[y];
    const std::uint8_t* lower = wy ? SampleRow(c, down.Near[y] + 1) : upper;
    if (!lower) return false;
    const int scale = across.Scale * down.Scale;
    for (int x = 0; x < m_width; ++x) {
        const int i = across.Near[x], wx = across.Weight[x];
        const int j = wx ? i + 1 : i;
        const int top = upper[i] * (across.Scale - wx) + upper[j] * wx;
        const int bottom = lower[i] * (across.Scale - wx) + lower[j] * wx;
        out[x] =
            static_cast<std::uint8_t>((top * (down.Scale - wy) + bottom * wy + scale / 2) / scale);
    }
    return true;
}

PictureFailure JpegShrunkRows::Failure() const {
    if (m_samples) return m_samples->Failure();
    return {ErrorNumber::InvalidPicture, "is damaged (rows are missing)"};
}

bool JpegShrunkRows::Row(int y, std::uint8_t* out) {
    for (std::size_t c = 0; c < m_rows.size(); ++c) {
        if (!ComponentRow(c, y, m_rows[c].data())) return false;
    }
    const std::uint8_t* a = m_rows[0].data();
    switch (m_colour) {
        case JpegShrunkColour::Gray:
            std::copy_n(a, m_width, out);
            return true;
        case JpegShrunkColour::GrayToBgr:
            for (int x = 0; x < m_width; ++x, out += 3) out[0] = out[1] = out[2] = a[x];
            return true;
        case JpegShrunkColour::RgbToBgr:
            for (int x = 0; x < m_width; ++x, out += 3) {
                out[0] = m_rows[2][x], out[1] = m_rows[1][x], out[2] = a[x];
            }
            return true;
        case JpegShrunkColour::YccToBgr:
        case JpegShrunkColour::YcckToCmyk: {
            const YccTables& t = Ycc();
            const std::uint8_t *cb = m_rows[1].data(), *cr = m_rows[2].data();
            const bool cmyk = m_colour == JpegShrunkColour::YcckToCmyk;
            for (int x = 0; x < m_width; ++x) {
                const int red = a[x] + t.CrToRed[cr[x]];
                const int green = a[x] + ((t.CbToGreen[cb[x]] + t.CrToGreen[cr[x]]) >> 16);
                const int blue = a[x] + t.CbToBlue[cb[x]];
                if (cmyk) {
                    out[0] = Clamp(255 - red), out[1] = Clamp(255 - green);
                    out[2] = Clamp(255 - blue), out[3] = m_rows[3][x];
                    out += 4;
                } else {
                    out[0] = Clamp(blue), out[1] = Clamp(green), out[2] = Clamp(red);
                    out += 3;
                }
            }
            return true;
        }
        case JpegShrunkColour::Cmyk:
            for (int x = 0; x < m_width; ++x, out += 4) {
                for (int c = 0; c < 4; ++c) out[c] = m_rows[c][x];
            }
            return true;
    }
    assert(false && "a colour without its case");
    return false;
}

}  // namespace quillane
