#include "platform/forms/PictureSurface.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <utility>

#include "platform/base/RuntimeError.h"
#include "platform/gdi/BitmapPicture.h"
#include "platform/gdi/Gdi.h"
#include "platform/raster/Stretch.h"

namespace quillane {

namespace {

struct PixelRect {
    long Left = 0, Top = 0, Right = 0, Bottom = 0;
    long Width() const { return Right - Left; }
    long Height() const { return Bottom - Top; }
    bool Empty() const { return Right <= Left || Bottom <= Top; }
};

PixelRect Intersect(const PixelRect& a, const PixelRect& b) {
    return {std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
            std::min(a.Bottom, b.Bottom)};
}

// Rounds a rectangle given in units to whole pixels; edges, not sizes, are rounded, so
// neighbouring rectangles meet without a gap. Values beyond any real bitmap are held back so
// the arithmetic cannot overflow.
PixelRect ToPixels(double left, double top, double width, double height) {
    const auto edge = [](double v) { return std::lround(std::clamp(v, -1.0e9, 1.0e9)); };
    return {edge(left), edge(top), edge(left + width), edge(top + height)};
}

BgrView SubView(const BgrView& view, const PixelRect& rect) {
    return {view.Row(static_cast<int>(rect.Top)) + rect.Left * 3, static_cast<int>(rect.Width()),
            static_cast<int>(rect.Height()), view.Stride};
}

ConstBgrView SubView(const ConstBgrView& view, const PixelRect& rect) {
    return {view.Row(static_cast<int>(rect.Top)) + rect.Left * 3, static_cast<int>(rect.Width()),
            static_cast<int>(rect.Height()), view.Stride};
}

// Fills every pixel with a colour given as 0xBBGGRR.
void FillPixels(BgrView to, std::int32_t colour) {
    const std::uint8_t bgr[3] = {std::uint8_t(colour >> 16), std::uint8_t(colour >> 8),
                                 std::uint8_t(colour)};
    const auto rowBytes = static_cast<std::size_t>(to.Width) * 3;
    for (int y = 0; y < to.Height; ++y) {
        std::uint8_t* row = to.Row(y);
        if (bgr[0] == bgr[1] && bgr[1] == bgr[2]) {
            std::memset(row, bgr[0], rowBytes);
        } else {
            for (std::size_t i = 0; i < rowBytes; ++i) row[i] = bgr[i % 3];
        }
    }
}

void CopyPixels(ConstBgrView from, BgrView to) {
    const auto rowBytes = static_cast<std::size_t>(from.Width) * 3;
    for (int y = 0; y < from.Height; ++y) std::memcpy(to.Row(y), from.Row(y), rowBytes);
}

}  // namespace

PictureSurface::PictureSurface() = default;
PictureSurface::~PictureSurface() = default;

void PictureSurface::Resize(int pixelWidth, int pixelHeight) {
    if (pixelWidth < 0 || pixelHeight < 0) RaiseError(ErrorNumber::InvalidPropertyValue);
    std::shared_ptr<BitmapPicture> bitmap;
    if (pixelWidth > 0 && pixelHeight > 0) {
        bitmap = BitmapPicture::Create(pixelWidth, pixelHeight);
        if (!bitmap) {
            RaiseError(ErrorNumber::OutOfMemory,
                       "Out of memory: a drawing area of " + std::to_string(pixelWidth) + " x " +
                           std::to_string(pixelHeight) + " pixels cannot be had");
        }
        const std::optional<BgrView> pixels = BitmapPixels(bitmap->Handle());
        if (!pixels) RaiseError(ErrorNumber::OutOfMemory);
        FillPixels(*pixels, m_background);
    }
    m_bitmap = std::move(bitmap);
    m_pixelWidth = pixelWidth;
    m_pixelHeight = pixelHeight;
}

void PictureSurface::SetBackground(std::int32_t colour) {
    m_background = colour & 0xFFFFFF;
}

void PictureSurface::Clear() {
    if (!m_bitmap) return;
    const std::optional<BgrView> pixels = BitmapPixels(m_bitmap->Handle());
    if (!pixels) RaiseError(ErrorNumber::OutOfMemory);
    FillPixels(*pixels, m_background);
}

void PictureSurface::SetScale(float scaleWidth, float scaleHeight) {
    if (!std::isfinite(scaleWidth) || !std::isfinite(scaleHeight)) {
        RaiseError(ErrorNumber::InvalidPropertyValue);
    }
    m_scaleWidth = scaleWidth;
    m_scaleHeight = scaleHeight;
}

void PictureSurface::PaintPicture(StdPicture& picture, float x1, float y1, float w1, float h1,
                                  float x2, float y2, float w2, float h2, std::int32_t rop) {
    if (rop != SRCCOPY) {
        RaiseError(ErrorNumber::InvalidPropertyValue,
                   "Invalid property value: a stretched paint supports source copy only");
    }
    if (!m_bitmap) return;
    // Units to pixels: the interior spans the scale; without one a unit is a pixel.
    const double perUnitX = m_scaleWidth != 0 ? m_pixelWidth / double(m_scaleWidth) : 1.0;
    const double perUnitY = m_scaleHeight != 0 ? m_pixelHeight / double(m_scaleHeight) : 1.0;

    const PixelRect dest = ToPixels(x1 * perUnitX, y1 * perUnitY, w1 * perUnitX, h1 * perUnitY);
    const PixelRect visible = Intersect(dest, {0, 0, m_pixelWidth, m_pixelHeight});
    if (dest.Empty() || visible.Empty()) return;

    const int pictureWidth = picture.PixelWidth();
    const int pictureHeight = picture.PixelHeight();
    const double srcLeft = std::clamp(x2 * perUnitX, 0.0, double(pictureWidth));
    const double srcTop = std::clamp(y2 * perUnitY, 0.0, double(pictureHeight));
    const double srcRight = std::clamp((x2 + w2) * perUnitX, 0.0, double(pictureWidth));
    const double srcBottom = std::clamp((y2 + h2) * perUnitY, 0.0, double(pictureHeight));
    if (srcRight <= srcLeft || srcBottom <= srcTop) return;

    const PixelRect inDest{visible.Left - dest.Left, visible.Top - dest.Top,
                           visible.Right - dest.Left, visible.Bottom - dest.Top};
    // A picture that makes its paints apart (one loaded from a file) stretches the part aside, or
    // did ahead of time; what falls on the drawing area lands there once it is whole.
    if (const std::optional<BgrImage> painted =
            picture.PaintRegion({srcLeft, srcTop, srcRight, srcBottom},
                                static_cast<int>(dest.Width()), static_cast<int>(dest.Height()))) {
        const std::optional<BgrView> canvas = BitmapPixels(m_bitmap->Handle());
        if (!canvas) RaiseError(ErrorNumber::OutOfMemory);
        CopyPixels(SubView(painted->View(), inDest), SubView(*canvas, visible));
        return;
    }
    const std::optional<BgrView> pixels = BitmapPixels(picture.Handle());
    if (!pixels) RaiseError(ErrorNumber::InvalidPicture);
    const ConstBgrView source = *pixels;
    if (source.Empty()) return;

    // The source rectangle in the bitmap's pixels, widened to whole pixels.
    PixelRect crop{static_cast<long>(std::floor(srcLeft)), static_cast<long>(std::floor(srcTop)),
                   static_cast<long>(std::ceil(srcRight)), static_cast<long>(std::ceil(srcBottom))};
    crop = Intersect(crop, {0, 0, source.Width, source.Height});
    if (crop.Empty()) return;
    const ConstBgrView from = SubView(source, crop);

    const std::optional<BgrView> canvas = BitmapPixels(m_bitmap->Handle());
    if (!canvas) RaiseError(ErrorNumber::OutOfMemory);
    if (visible.Left == dest.Left && visible.Top == dest.Top && visible.Right == dest.Right &&
        visible.Bottom == dest.Bottom) {
        if (!StretchBgr(from, SubView(*canvas, dest))) RaiseError(ErrorNumber::OutOfMemory);
        return;
    }
    // Partly outside: stretch the whole destination aside, then keep what falls inside.
    std::optional<BgrImage> whole =
        BgrImage::Allocate(static_cast<int>(dest.Width()), static_cast<int>(dest.Height()));
    if (!whole || !StretchBgr(from, whole->View())) RaiseError(ErrorNumber::OutOfMemory);
    CopyPixels(SubView(std::as_const(*whole).View(), inDest), SubView(*canvas, visible));
}

PictureRef PictureSurface::Image() const {
    if (!m_bitmap) return nullptr;
    auto copy = BitmapPicture::Create(m_pixelWidth, m_pixelHeight);
    if (!copy) RaiseError(ErrorNumber::OutOfMemory);
    const std::optional<BgrView> from = BitmapPixels(m_bitmap->Handle());
    const std::optional<BgrView> to = BitmapPixels(copy->Handle());
    if (!from || !to) RaiseError(ErrorNumber::OutOfMemory);
    CopyPixels(*from, *to);
    return copy;
}

}  // namespace quillane
