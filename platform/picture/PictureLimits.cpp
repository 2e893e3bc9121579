#include "platform/picture/PictureLimits.h"

#include <algorithm>
#include <climits>

#include "platform/picture/exif/Orientation.h"

namespace quillane {
namespace {

constexpr int kScaleDenominators[] = {8, 4, 2};  // libjpeg's cheap DCT shrink factors

}  // namespace

std::optional<PictureFailure> CheckPictureSize(std::int64_t width, std::int64_t height) {
    // Overflow guard: the sizes must be what int and the 64-bit products below can hold.
    if (width <= 0 || height <= 0 || width > INT_MAX || height > INT_MAX) {
        return PictureFailure{ErrorNumber::InvalidPicture, "has an impossible size (" +
                                                               std::to_string(width) + " x " +
                                                               std::to_string(height) + " pixels)"};
    }
    // Policy cap: far beyond any photograph, well below what would exhaust a desktop's memory.
    if (width * height > kMaxPixels) {
        return PictureFailure{ErrorNumber::OutOfMemory,
                              "is " + std::to_string(width) + " x " + std::to_string(height) +
                                  " pixels, more than the 256-megapixel limit"};
    }
    return std::nullopt;
}

std::optional<PictureFailure> CheckBufferSize(std::int64_t width, std::int64_t height,
                                              int bytesPerPixel) {
    if (auto failure = CheckPictureSize(width, height)) return failure;
    // Rows padded as BgrImage lays them out; the pixel cap keeps this in range.
    if (BgrImage::StrideFor(width, 8 * bytesPerPixel) * height > kMaxBufferBytes) {
        return PictureFailure{ErrorNumber::OutOfMemory,
                              "needs more than 1 GiB of memory to decode"};
    }
    return std::nullopt;
}

PictureResult<BgrImage> AllocatePicture(int width, int height) {
    if (auto failure = CheckBufferSize(width, height, 3)) return *failure;
    auto image = BgrImage::Allocate(width, height);
    if (!image) {
        return PictureFailure{ErrorNumber::OutOfMemory, "needs more memory than is free (" +
                                                            std::to_string(width) + " x " +
                                                            std::to_string(height) + " pixels)"};
    }
    return std::move(*image);
}

JpegShrinkNeed ShrinkNeedFor(int orientation, int paintWidth, int paintHeight) {
    const bool swap = OrientationSwapsSides(orientation);
    return {std::int64_t{kShrinkMargin} * std::max(0, swap ? paintHeight : paintWidth),
            std::int64_t{kShrinkMargin} * std::max(0, swap ? paintWidth : paintHeight)};
}

int DctScaleFor(std::int64_t storedWidth, std::int64_t storedHeight, JpegShrinkNeed need) {
    if (need.Width <= 0 || need.Height <= 0) return 1;
    for (const int denominator : kScaleDenominators) {
        if (CeilDiv(storedWidth, denominator) >= need.Width &&
            CeilDiv(storedHeight, denominator) >= need.Height) {
            return denominator;
        }
    }
    return 1;
}

}  // namespace quillane
