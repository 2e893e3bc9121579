#include "platform/picture/bmp/BmpDirect.h"

#include <climits>

#include "platform/picture/PictureLimits.h"

namespace quillane {
namespace {

constexpr std::size_t kOffBitsAt = 10;  // BITMAPFILEHEADER.bfOffBits
constexpr std::size_t kInfoAt = 14;     // the info header follows the file header
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kMaxHeaderSize = 124;
constexpr std::uint32_t kUncompressed = 0;  // BI_RGB

std::uint32_t U32At(std::span<const std::uint8_t> bytes, std::size_t at) {
    return std::uint32_t{bytes[at]} | std::uint32_t{bytes[at + 1]} << 8 |
           std::uint32_t{bytes[at + 2]} << 16 | std::uint32_t{bytes[at + 3]} << 24;
}

std::uint16_t U16At(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

}  // namespace

std::optional<BmpPixelsInFile> LocateBgrPixels(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kInfoAt + kInfoHeaderSize || bytes[0] != 'B' || bytes[1] != 'M') {
        return std::nullopt;
    }
    const std::uint32_t offBits = U32At(bytes, kOffBitsAt);
    const std::uint32_t headerSize = U32At(bytes, kInfoAt);
    // OS/2 core headers and unknown sizes go the general way.
    if (headerSize < kInfoHeaderSize || headerSize > kMaxHeaderSize) return std::nullopt;
    const auto width = static_cast<std::int32_t>(U32At(bytes, kInfoAt + 4));
    const auto height = static_cast<std::int32_t>(U32At(bytes, kInfoAt + 8));
    const std::uint16_t planes = U16At(bytes, kInfoAt + 12);
    const std::uint16_t bits = U16At(bytes, kInfoAt + 14);
    const std::uint32_t compression = U32At(bytes, kInfoAt + 16);
    if (planes != 1 || bits != 24 || compression != kUncompressed) return std::nullopt;
    if (width <= 0 || height == 0 || height == INT_MIN) return std::nullopt;
    if (offBits < kInfoAt + headerSize) return std::nullopt;

    const std::int64_t rows = height < 0 ? -std::int64_t{height} : height;
    if (CheckBufferSize(width, rows, 3)) return std::nullopt;
    const std::int64_t stride = (std::int64_t{width} * 3 + 3) & ~std::int64_t{3};
    // Every row must lie wholly inside the bytes; the last row needs only its pixels.
    const std::int64_t needed = stride * (rows - 1) + std::int64_t{width} * 3;
    if (static_cast<std::int64_t>(bytes.size()) - offBits < needed) return std::nullopt;

    BmpPixelsInFile where;
    where.Width = width;
    where.Height = static_cast<int>(rows);
    // Rows are stored bottom-up unless the height is negative.
    if (height > 0) {
        where.TopRowOffset = offBits + static_cast<std::size_t>(stride * (rows - 1));
        where.Stride = -stride;
    } else {
        where.TopRowOffset = offBits;
        where.Stride = stride;
    }
    return where;
}

}  // namespace quillane
