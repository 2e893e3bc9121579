#pragma once
// Shared by the picture loader's decoders (private to platform/picture): memory limits, the
// failure value the decoders return, and the decoder entry points. Decoders never throw;
// PictureFile turns a failure into the run-time error, naming the file.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "platform/base/RuntimeError.h"
#include "platform/picture/jpeg/JpegSource.h"
#include "platform/raster/BgrImage.h"
#include "platform/raster/BgrRowSource.h"

namespace quillane {

// Policy caps: sensible bounds for a desktop tool, not hard limits of the code.
inline constexpr std::int64_t kMaxFileBytes = std::int64_t{512} << 20;  // 512 MiB
inline constexpr std::int64_t kMaxPixels = 256'000'000;                 // 256 megapixels
inline constexpr std::int64_t kMaxBufferBytes = std::int64_t{1} << 30;  // 1 GiB per buffer

struct PictureFailure {
    ErrorNumber Number = ErrorNumber::InvalidPicture;
    std::string Why;  // completes "'name' ...", e.g. "is damaged (Premature end of JPEG file)"
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

struct PictureHeader {
    int Width = 0;  // stored frame, before the orientation
    int Height = 0;
    int Orientation = 1;
};

// JPEG (JpegDecoder.cpp). The source must start with the SOI marker.
PictureResult<PictureHeader> ReadJpegHeader(const JpegSource& source);
// How many blocks across and down every component must have for a decode shrunk by eight to be
// made from the DC values alone (the paint size times the margin, in the stored frame).
struct JpegShrinkNeed {
    std::int64_t Width = 0;
    std::int64_t Height = 0;
};
PictureResult<BgrImage> DecodeJpeg(const JpegSource& source, int scaleDenominator,
                                   JpegShrinkNeed need = {});
// Rows read one at a time, for a caller that never needs the whole picture.
class PictureRowSource : public BgrRowSource {
  public:
    // Why a row could not be had.
    virtual PictureFailure Failure() const = 0;
};
// The picture as stored (no orientation applied); the source must outlive the rows. Shrunk by 8, a
// progressive Huffman-coded file whose components' DC grids all reach `need` is made from its
// DC scans alone, by our own reader (JpegDcScans.cpp); the AC scans cannot change a block's
// single pixel, and libjpeg would hold every coefficient of the picture. Shrunk by 4, such a
// file is read by the same reader keeping only the coefficients the 2x2 transform needs.
PictureResult<std::unique_ptr<PictureRowSource>> OpenJpegRows(const JpegSource& source,
                                                              int scaleDenominator,
                                                              JpegShrinkNeed need = {});

// BMP (BmpCheck.cpp): headers, pixel offset and data length checked before Qt decodes. The
// bytes must start with "BM".
std::optional<PictureFailure> CheckBmpStructure(std::span<const std::uint8_t> bytes);

// Where an uncompressed 24-bit BMP keeps its rows (BmpDirect.cpp), so they can be painted in
// place: the top row's offset in the bytes and the distance to the row below (negative for the
// usual bottom-up order). Empty for every other kind of BMP and for one whose rows do not all
// lie inside the bytes.
struct BmpPixelsInFile {
    std::size_t TopRowOffset = 0;
    int Width = 0;
    int Height = 0;
    std::ptrdiff_t Stride = 0;
};
std::optional<BmpPixelsInFile> LocateBgrPixels(std::span<const std::uint8_t> bytes);

// Everything Qt's image reader knows (QtPictureDecoder.cpp).
struct QtHeader {
    int Width = 0;
    int Height = 0;
    bool Bmp = false;
};
PictureResult<QtHeader> ReadQtHeader(std::span<const std::uint8_t> bytes);
// ignoreAlpha: keep the colour channels as stored instead of compositing over white.
PictureResult<BgrImage> DecodeWithQt(std::span<const std::uint8_t> bytes, bool ignoreAlpha);

// EXIF orientation (Orientation.cpp). The payload is an APP1 segment's data after its length;
// anything that is not a readable EXIF block gives 1, since the picture itself is still good.
int ExifOrientation(std::span<const std::uint8_t> app1Payload);
// Turns a picture stored with the given orientation upright.
PictureResult<BgrImage> ApplyOrientation(BgrImage stored, int orientation);

}  // namespace quillane
