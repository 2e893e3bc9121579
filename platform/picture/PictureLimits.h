#pragma once
// What every part of the picture loader shares, and the layer above that judges pictures before
// they are decoded (decoding ahead): the policy caps, the failure a decoder returns instead of
// throwing, the rows a decoder hands out one at a time, the checked sizes and allocation, and the
// one rule that chooses the DCT scale a JPEG decodes at. Decoders never throw; PictureFile turns a
// failure into the run-time error, naming the file.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>

#include "platform/base/RuntimeError.h"
#include "platform/raster/BgrImage.h"
#include "platform/raster/BgrRowSource.h"

namespace quillane {

// Policy caps: sensible bounds for a desktop tool, not hard limits of the code.
inline constexpr std::int64_t kMaxFileBytes = std::int64_t{512} << 20;  // 512 MiB
inline constexpr std::int64_t kMaxPixels = 256'000'000;                 // 256 megapixels
inline constexpr std::int64_t kMaxBufferBytes = std::int64_t{1} << 30;  // 1 GiB per buffer
// A progressive JPEG may carry any number of scans, and each one redoes the whole picture; a few
// hundred bytes of empty scans can keep a decoder busy for minutes. Real encoders write about
// ten. Both JPEG readers give up past this many.
inline constexpr int kMaxScans = 500;

struct PictureFailure {
    ErrorNumber Number = ErrorNumber::InvalidPicture;
    std::string Why;  // completes "'name' ...", e.g. "is damaged (Premature end of JPEG file)"
};

// A decoder's rows read one at a time, for a caller that never needs the whole picture.
class PictureRowSource : public BgrRowSource {
  public:
    // Why a row could not be had.
    virtual PictureFailure Failure() const = 0;
};

template <class T>
class PictureResult {
  public:
    PictureResult(T value) : m_value(std::move(value)) {}  // NOLINT: implicit like a return
    PictureResult(PictureFailure failure) : m_value(std::move(failure)) {}  // NOLINT

    bool Ok() const { return std::holds_alternative<T>(m_value); }
    T& Value() { return std::get<T>(m_value); }
    const PictureFailure& Failure() const { return std::get<PictureFailure>(m_value); }

  private:
    std::variant<T, PictureFailure> m_value;
};

// Refuses a declared picture size before anything is allocated for it.
std::optional<PictureFailure> CheckPictureSize(std::int64_t width, std::int64_t height);
// Refuses a buffer of width x height pixels of bytesPerPixel above kMaxBufferBytes.
std::optional<PictureFailure> CheckBufferSize(std::int64_t width, std::int64_t height,
                                              int bytesPerPixel);
// Allocates through BgrImage's soft-failing factory, as a result.
PictureResult<BgrImage> AllocatePicture(int width, int height);

// value / by rounded up, for value >= 0 and by > 0: how libjpeg sizes a scaled picture and how
// a subsampled component or a block grid covers its pixels.
constexpr std::int64_t CeilDiv(std::int64_t value, std::int64_t by) {
    return (value + by - 1) / by;
}

// A JPEG is shrunk on load only while the result stays at least this many times the size it
// will be painted at, so the stretching filter still has real pixels to work with.
inline constexpr int kShrinkMargin = 2;

// The pixels a JPEG's decode must keep across and down, in its stored frame: the paint size,
// which is upright, turned by the EXIF orientation and times the margin. 0 in a direction
// without a paint size.
struct JpegShrinkNeed {
    std::int64_t Width = 0;
    std::int64_t Height = 0;
};
JpegShrinkNeed ShrinkNeedFor(int orientation, int paintWidth, int paintHeight);

// The DCT scale denominator (1, 2, 4 or 8) a JPEG stored at this size decodes at for the need:
// the smallest of 1/8, 1/4 and 1/2 whose result, rounded up as libjpeg rounds it, still reaches
// the need in both directions; 1 when none does and when the need is empty (full size).
int DctScaleFor(std::int64_t storedWidth, std::int64_t storedHeight, JpegShrinkNeed need);

}  // namespace quillane
