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

constexpr std::uint8_t kBackground = 0xFF;  // the system's window colour: white

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
        for (int y = 0; y < pixels->Height; ++y) {
            std::memset(pixels->Row(y), kBackground, static_cast<std::size_t>(pixelWidth) * 3);
        }
    }
    m_bitmap = std::move(bitmap);
    m_pixelWidth = pixelWidth;
    m_pixelHeight = pixelHeight;
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

    const bool wholePicture =
        srcLeft == 0.0 && srcTop == 0.0 && srcRight == pictureWidth && srcBottom == pictureHeight;
    const bool wholeDestination = visible.Left == dest.Left && visible.Top == dest.Top &&
                                  visible.Right == dest.Right && visible.Bottom == dest.Bottom;
    if (wholePicture && wholeDestination) {
        // The usual paint: all of a loaded picture onto a rectangle in full view. It is stretched
        // aside (or was, ahead of time) and lands on the drawing area only once it is whole.
        if (const std::optional<BgrImage> painted = picture.PaintWhole(
                static_cast<int>(dest.Width()), static_cast<int>(dest.Height()))) {
            const std::optional<BgrView> canvas = BitmapPixels(m_bitmap->Handle());
            if (!canvas) RaiseError(ErrorNumber::OutOfMemory);
            CopyPixels(painted->View(), SubView(*canvas, dest));
            return;
        }
    }
    // The size the whole picture would be painted at, so that a large JPEG can be shrunk while
    // it is decoded.
    const auto paintWidth = static_cast<int>(
        std::min(1.0e9, std::ceil(dest.Width() * double(pictureWidth) / (srcRight - srcLeft))));
    const auto paintHeight = static_cast<int>(
        std::min(1.0e9, std::ceil(dest.Height() * double(pictureHeight) / (srcBottom - srcTop))));
    // May borrow from the picture, which outlives this call.
    const DecodedPixels decoded = picture.PixelsForPaint(paintWidth, paintHeight);
    const ConstBgrView source = decoded.View;
    if (source.Empty()) return;

    // The source rectangle in the decoded pixels, which may be a shrunk copy of the picture.
    const double fx = double(source.Width) / pictureWidth;
    const double fy = double(source.Height) / pictureHeight;
    PixelRect crop{
        static_cast<long>(std::floor(srcLeft * fx)), static_cast<long>(std::floor(srcTop * fy)),
        static_cast<long>(std::ceil(srcRight * fx)), static_cast<long>(std::ceil(srcBottom * fy))};
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
    const PixelRect inWhole{visible.Left - dest.Left, visible.Top - dest.Top,
                            visible.Right - dest.Left, visible.Bottom - dest.Top};
    CopyPixels(SubView(std::as_const(*whole).View(), inWhole), SubView(*canvas, visible));
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
