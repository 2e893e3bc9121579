#pragma once
// A BMP file's headers, read once (private to the picture loader and to the memory estimate
// above it): the file header and the info header of every version Windows and OS/2 write (the
// OS/2 core header, the info header and its V2 to V5 extensions, OS/2's second header of 16 to
// 64 bytes), bit-field masks and V4/V5 colour fields included, read through a cursor that
// checks what remains before each read, and each field checked as soon as it is read. The
// structure check, the pixel decoders, the colour profile and the estimate all take their
// fields from the result.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "platform/picture/PictureLimits.h"

namespace quillane {

inline constexpr std::size_t kBmpFileHeaderSize = 14;  // BITMAPFILEHEADER

// The compressions a BMP may name, with their names on disk.
enum BmpCompression : std::uint32_t { BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3 };

// What the colours of the pixels mean.
enum class BmpColourSpace {
    Srgb,             // no V4/V5 colour fields, or fields that say sRGB or the system's space
    Calibrated,       // primaries and gammas in the header (LCS_CALIBRATED_RGB)
    EmbeddedProfile,  // an ICC profile inside the file (V5 only)
};

// The fields keep their names on disk, so they can be checked against the layout.
struct BmpHeader {
    std::uint32_t bfOffBits = 0;      // where the pixel data starts
    std::uint32_t biSize = 0;         // 12 (OS/2 core), 16 to 64 (info, V2, V3, OS/2), 108, 124
    std::int64_t biWidth = 0;         // > 0
    std::int64_t biHeight = 0;        // != 0; negative: the rows are stored top-down
    std::uint16_t biBitCount = 0;     // a depth the compression allows
    std::uint32_t biCompression = 0;  // BI_RGB for a core header
    std::uint32_t biClrUsed = 0;      // palette entries; 0: as many as the depth can name
    // Where a pixel of BI_BITFIELDS keeps each channel: after an info header or inside a V2 and
    // later header (alpha from V3 on). 0 elsewhere.
    std::uint32_t bV5RedMask = 0, bV5GreenMask = 0, bV5BlueMask = 0, bV5AlphaMask = 0;
    std::uint32_t bV5CSType = 0;  // read only from a V4 or V5 header, as the rest below
    std::array<std::uint32_t, 9> bV5Endpoints{};  // red, green, blue CIE XYZ, 2.30 fixed point
    std::array<std::uint32_t, 3> bV5Gamma{};      // red, green, blue, 16.16 fixed point
    std::uint32_t bV5ProfileData = 0;  // V5: the profile's offset from the info header's start
    std::uint32_t bV5ProfileSize = 0;

    bool Core() const;
    std::int64_t Rows() const { return biHeight < 0 ? -biHeight : biHeight; }
    bool RunLengthEncoded() const { return biCompression == BI_RLE8 || biCompression == BI_RLE4; }
    // Qt's reader decodes run-length pictures, whose headers ReadBmpHeader lets through only
    // where Qt reads them right; our own (BmpPixels) every uncompressed one.
    bool DecodedByQt() const { return RunLengthEncoded(); }
    // The palette entries the pixels may name: biClrUsed, at most what the depth can name;
    // 0 for direct colours.
    int PaletteEntries() const;
    // Uncompressed 24-bit rows: blue, green, red bytes padded to four, the painter's own layout.
    bool BgrRows() const { return !Core() && biBitCount == 24 && biCompression == BI_RGB; }
    // The first byte the pixel data may start at: past the headers, and past the three masks an
    // info header with bit fields is followed by.
    std::size_t HeadersEnd() const;
    BmpColourSpace ColourSpace() const;
};

// Reads the headers of bytes that start with "BM". Fails with 481 ("is a damaged BMP picture
// (...)", naming what is wrong) when they end early, have a size no writer uses, or give no
// width or height, more than one plane, a depth the compression does not allow or colour masks
// that are not contiguous, overlap or reach past the pixel's bits; and with 481 "is an
// unsupported BMP variant (...)" for what the format allows but the loader does not read
// (embedded JPEG or PNG, CMYK, OS/2 Huffman coding, run-length data that Qt's reader would
// misread).
[[nodiscard]] PictureResult<BmpHeader> ReadBmpHeader(std::span<const std::uint8_t> bytes);

// The reason for a damaged BMP's 481, as ReadBmpHeader and the structure check give it.
PictureFailure DamagedBmp(const std::string& why);
// The reason for the 481 of a BMP the loader does not read.
PictureFailure UnsupportedBmp(const std::string& what);

// Little-endian reads that check what remains before each one; the header read and the
// run-length walk of the structure check step through the bytes with it.
class BmpCursor {
  public:
    BmpCursor(std::span<const std::uint8_t> bytes, std::size_t position)
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

}  // namespace quillane
