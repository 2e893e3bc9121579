#include "platform/picture/bmp/BmpCheck.h"

#include <climits>
#include <string>

namespace quillane {
namespace {

constexpr std::size_t kFileHeaderSize = 14;    // BITMAPFILEHEADER
constexpr std::uint32_t kCoreHeaderSize = 12;  // BITMAPCOREHEADER (OS/2 1.x)
constexpr std::uint32_t kInfoHeaderSize = 40;  // BITMAPINFOHEADER
constexpr std::uint32_t kMaxHeaderSize = 124;  // BITMAPV5HEADER
constexpr std::uint32_t kMaskBytes = 12;       // three masks after an info header
// A run-length code paints at most 255 pixels with two bytes, about 128 a byte; this allows
// twice that for the end-of-line and jump codes that leave pixels unpainted.
constexpr std::int64_t kMaxRlePixelsPerByte = 256;

enum Compression : std::uint32_t { BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3 };

// Little-endian reads that check what remains before each one.
class ByteCursor {
  public:
    ByteCursor(std::span<const std::uint8_t> bytes, std::size_t position)
        : m_bytes(bytes), m_position(position) {}
    bool Has(std::size_t count) const {
        return m_position <= m_bytes.size() && m_bytes.size() - m_position >= count;
    }
    std::uint8_t U8() { return m_bytes[m_position++]; }
    std::uint16_t U16() {
        const std::uint16_t low = U8();
        return static_cast<std::uint16_t>(low | U8() << 8);
    }
    std::uint32_t U32() {
        const std::uint32_t low = U16();
        return low | std::uint32_t{U16()} << 16;
    }
    void Skip(std::size_t count) { m_position += count; }

  private:
    std::span<const std::uint8_t> m_bytes;
    std::size_t m_position;
};

PictureFailure Bad(const std::string& why) {
    return {ErrorNumber::InvalidPicture, "is a damaged BMP picture (" + why + ")"};
}

bool DepthFits(std::uint32_t compression, int bits, bool core) {
    if (core) return bits == 1 || bits == 4 || bits == 8 || bits == 24;
    switch (compression) {
        case BI_RGB:
            return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
        case BI_RLE8:
            return bits == 8;
        case BI_RLE4:
            return bits == 4;
        case BI_BITFIELDS:
            return bits == 16 || bits == 32;
        default:
            return false;
    }
}

// Walks an RLE stream to its end-of-picture code without decoding it.
std::optional<PictureFailure> CheckRleStream(std::span<const std::uint8_t> bytes,
                                             std::size_t offset, bool fourBit) {
    ByteCursor cursor(bytes, offset);
    for (;;) {
        if (!cursor.Has(2)) return Bad("the pixel data ends early");
        const std::uint8_t count = cursor.U8();
        const std::uint8_t code = cursor.U8();
        if (count != 0 || code == 0) continue;  // a run, or the end of a line
        if (code == 1) return std::nullopt;     // the end of the picture
        if (code == 2) {                        // a jump: two offset bytes follow
            if (!cursor.Has(2)) return Bad("the pixel data ends early");
            cursor.Skip(2);
            continue;
        }
        // Absolute mode: code pixels literally, padded to a 16-bit boundary.
        std::size_t literal = fourBit ? (code + 1u) / 2 : code;
        literal += literal % 2;
        if (!cursor.Has(literal)) return Bad("the pixel data ends early");
        cursor.Skip(literal);
    }
}

}  // namespace

std::optional<PictureFailure> CheckBmpStructure(std::span<const std::uint8_t> bytes) {
    ByteCursor cursor(bytes, 2);  // after "BM"
    if (!cursor.Has(kFileHeaderSize - 2 + 4)) return Bad("the header ends early");
    cursor.Skip(8);  // bfSize (often wrong, the measured length is used), bfReserved1/2
    const std::uint32_t bfOffBits = cursor.U32();
    const std::uint32_t biSize = cursor.U32();
    if (biSize < kCoreHeaderSize || biSize > kMaxHeaderSize ||
        (biSize > kCoreHeaderSize && biSize < kInfoHeaderSize)) {
        return Bad("header size " + std::to_string(biSize));
    }
    if (!cursor.Has(biSize - 4)) return Bad("the header ends early");
    const bool core = biSize == kCoreHeaderSize;
    std::int64_t width, height;
    std::uint32_t compression = BI_RGB;
    if (core) {
        width = cursor.U16();
        height = cursor.U16();
    } else {
        width = static_cast<std::int32_t>(cursor.U32());
        height = static_cast<std::int32_t>(cursor.U32());
    }
    const std::uint16_t planes = cursor.U16();
    const int bits = cursor.U16();
    if (!core) compression = cursor.U32();
    if (width <= 0 || height == 0 || height == INT_MIN) {
        return Bad("size " + std::to_string(width) + " x " + std::to_string(height));
    }
    if (planes != 1) return Bad(std::to_string(planes) + " planes");
    if (!DepthFits(compression, bits, core)) {
        return Bad(std::to_string(bits) + " bits a pixel with compression " +
                   std::to_string(compression));
    }
    const bool rle = compression == BI_RLE8 || compression == BI_RLE4;
    if (rle && height < 0) return Bad("a top-down picture cannot be run-length encoded");
    const std::size_t headers =
        kFileHeaderSize + biSize +
        (biSize == kInfoHeaderSize && compression == BI_BITFIELDS ? kMaskBytes : 0);
    if (bfOffBits < headers || bfOffBits >= bytes.size()) {
        return Bad("pixel data offset " + std::to_string(bfOffBits) + " outside the file");
    }
    if (rle) {
        // A few hundred bytes of run-length codes can declare a picture of a hundred million
        // pixels, which Qt would allocate and fill (a gigabyte and seconds of work) to show a
        // blank. Nothing that paints so few of its pixels is a real picture.
        const std::int64_t pixels = width * (height < 0 ? -height : height);
        const std::int64_t streamBytes = std::int64_t(bytes.size()) - bfOffBits;
        if (pixels / kMaxRlePixelsPerByte > streamBytes) {
            return Bad("run-length data of " + std::to_string(streamBytes) +
                       " bytes cannot paint " + std::to_string(width) + " x " +
                       std::to_string(height) + " pixels");
        }
        return CheckRleStream(bytes, bfOffBits, compression == BI_RLE4);
    }

    // Overflow guard before the row arithmetic; the policy cap comes later, with the size.
    if (auto failure = CheckBufferSize(width, height < 0 ? -height : height, 4)) return failure;
    const std::int64_t stride = ((width * bits + 31) / 32) * 4;
    const std::int64_t needed = stride * (height < 0 ? -height : height);
    if (std::int64_t(bytes.size()) - bfOffBits < needed) return Bad("the pixel data ends early");
    return std::nullopt;
}

}  // namespace quillane
