#include "platform/picture/bmp/BmpCheck.h"

#include <string>

namespace quillane {
namespace {

// A run-length code paints at most 255 pixels with two bytes, about 128 a byte; this allows
// twice that for the end-of-line and jump codes that leave pixels unpainted.
constexpr std::int64_t kMaxRlePixelsPerByte = 256;

// Walks an RLE stream to its end-of-picture code without decoding it.
std::optional<PictureFailure> CheckRleStream(std::span<const std::uint8_t> bytes,
                                             std::size_t offset, bool fourBit) {
    BmpCursor cursor(bytes, offset);
    for (;;) {
        if (!cursor.Has(2)) return DamagedBmp("the pixel data ends early");
        const std::uint8_t count = cursor.U8();
        const std::uint8_t code = cursor.U8();
        if (count != 0 || code == 0) continue;  // a run, or the end of a line
        if (code == 1) return std::nullopt;     // the end of the picture
        if (code == 2) {                        // a jump: two offset bytes follow
            if (!cursor.Has(2)) return DamagedBmp("the pixel data ends early");
            cursor.Skip(2);
            continue;
        }
        // Absolute mode: code pixels literally, padded to a 16-bit boundary.
        std::size_t literal = fourBit ? (code + 1u) / 2 : code;
        literal += literal % 2;
        if (!cursor.Has(literal)) return DamagedBmp("the pixel data ends early");
        cursor.Skip(literal);
    }
}

}  // namespace

std::optional<PictureFailure> CheckBmpStructure(const BmpHeader& header,
                                                std::span<const std::uint8_t> bytes) {
    const bool rle = header.RunLengthEncoded();
    if (rle && header.biHeight < 0) {
        return DamagedBmp("a top-down picture cannot be run-length encoded");
    }
    if (header.bfOffBits < header.HeadersEnd() || header.bfOffBits >= bytes.size()) {
        return DamagedBmp("pixel data offset " + std::to_string(header.bfOffBits) +
                          " outside the file");
    }
    const std::int64_t streamBytes = std::int64_t(bytes.size()) - header.bfOffBits;
    if (rle) {
        // A few hundred bytes of run-length codes can declare a picture of a hundred million
        // pixels, which Qt would allocate and fill (a gigabyte and seconds of work) to show a
        // blank. Nothing that paints so few of its pixels is a real picture.
        if (header.biWidth * header.Rows() / kMaxRlePixelsPerByte > streamBytes) {
            return DamagedBmp("run-length data of " + std::to_string(streamBytes) +
                              " bytes cannot paint " + std::to_string(header.biWidth) + " x " +
                              std::to_string(header.biHeight) + " pixels");
        }
        return CheckRleStream(bytes, header.bfOffBits, header.biCompression == BI_RLE4);
    }

    // Overflow guard before the row arithmetic; the policy cap comes later, with the size.
    if (auto failure = CheckBufferSize(header.biWidth, header.Rows(), 4)) return failure;
    const std::int64_t needed =
        BgrImage::StrideFor(header.biWidth, header.biBitCount) * header.Rows();
    if (streamBytes < needed) return DamagedBmp("the pixel data ends early");
    return std::nullopt;
}

}  // namespace quillane
