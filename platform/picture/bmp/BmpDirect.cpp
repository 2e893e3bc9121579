#include "platform/picture/bmp/BmpDirect.h"

#include "platform/picture/PictureLimits.h"

namespace quillane {

std::optional<BmpPixelsInFile> LocateBgrPixels(const BmpHeader& header,
                                               std::span<const std::uint8_t> bytes) {
    // OS/2 core headers and every other depth or compression go the general way.
    if (!header.BgrRows() || header.bfOffBits < header.HeadersEnd()) return std::nullopt;
    const std::int64_t rows = header.Rows();
    if (CheckBufferSize(header.biWidth, rows, 3)) return std::nullopt;
    const std::int64_t stride = BgrImage::StrideFor(header.biWidth);
    // Every row must lie wholly inside the bytes; the last row needs only its pixels.
    const std::int64_t needed = stride * (rows - 1) + header.biWidth * 3;
    if (static_cast<std::int64_t>(bytes.size()) - header.bfOffBits < needed) return std::nullopt;

    BmpPixelsInFile where;
    where.Width = static_cast<int>(header.biWidth);
    where.Height = static_cast<int>(rows);
    // Rows are stored bottom-up unless the height is negative.
    if (header.biHeight > 0) {
        where.TopRowOffset = header.bfOffBits + static_cast<std::size_t>(stride * (rows - 1));
        where.Stride = -stride;
    } else {
        where.TopRowOffset = header.bfOffBits;
        where.Stride = stride;
    }
    return where;
}

}  // namespace quillane
