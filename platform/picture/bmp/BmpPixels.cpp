#include "platform/picture/bmp/BmpPixels.h"

#include <array>
#include <bit>
#include <cstring>
#include <vector>

namespace quillane {
namespace {

constexpr int kCoreEntryBytes = 3;  // RGBTRIPLE of an OS/2 core header
constexpr int kEntryBytes = 4;      // RGBQUAD of every other header

// One channel of a direct-colour pixel: where its field lies and how its values widen to 8 bits.
class Field {
  public:
    explicit Field(std::uint32_t mask)
        : m_mask(mask),
          m_shift(mask ? std::countr_zero(mask) : 0),
          m_width(std::popcount(mask)),
          m_largest(m_width ? (std::uint64_t{1} << m_width) - 1 : 1) {
        // Narrow fields, the common ones, through a table; a byte-wide one as it is.
        if (m_width < 8) {
            for (std::uint32_t v = 0; v <= m_largest; ++v) m_table[v] = Scale(v);
        }
    }

    std::uint8_t Of(std::uint32_t pixel) const {
        const std::uint32_t v = (pixel & m_mask) >> m_shift;
        if (m_width < 8) return m_table[v];
        return m_width == 8 ? static_cast<std::uint8_t>(v) : Scale(v);
    }

  private:
    std::uint8_t Scale(std::uint64_t v) const {
        return static_cast<std::uint8_t>((v * 255 + m_largest / 2) / m_largest);
    }

    std::uint32_t m_mask;
    int m_shift;
    int m_width;
    std::uint64_t m_largest;  // the field's full value; 1 for an empty field, which reads 0
    std::array<std::uint8_t, 128> m_table{};
};

struct Masks {
    std::uint32_t Red, Green, Blue;
};

// What BI_RGB means at 16 and 32 bits: 5-5-5 and 8-8-8, the high bits unused.
Masks MasksOf(const BmpHeader& header) {
    if (header.biCompression == BI_BITFIELDS) {
        return {header.bV5RedMask, header.bV5GreenMask, header.bV5BlueMask};
    }
    if (header.biBitCount == 16) return {0x7C00, 0x03E0, 0x001F};
    return {0xFF0000, 0x00FF00, 0x0000FF};
}

// The palette as BGR, the entries the pixels may name that lie before the pixel data.
std::vector<std::uint8_t> ReadPalette(const BmpHeader& header,
                                      std::span<const std::uint8_t> bytes) {
    const std::size_t entryBytes = header.Core() ? kCoreEntryBytes : kEntryBytes;
    const std::size_t start = header.HeadersEnd();
    const std::size_t room = header.bfOffBits > start ? (header.bfOffBits - start) / entryBytes : 0;
    const std::size_t entries = std::min<std::size_t>(header.PaletteEntries(), room);
    std::vector<std::uint8_t> palette;
    palette.reserve(entries * 3);
    for (std::size_t i = 0; i < entries; ++i) {
        const std::uint8_t* entry = bytes.data() + start + i * entryBytes;
        palette.insert(palette.end(), entry, entry + 3);
    }
    return palette;
}

// One stored row of palette indexes into BGR; false when an index names no entry.
bool PaletteRow(const std::uint8_t* in, int bits, int width,
                const std::vector<std::uint8_t>& palette, std::uint8_t* out) {
    const int perByte = 8 / bits;
    const unsigned mask = (1u << bits) - 1;
    for (int x = 0; x < width; ++x, out += 3) {
        const int shift = 8 - bits * (x % perByte + 1);
        const std::size_t index = (in[x / perByte] >> shift) & mask;
        if (index * 3 >= palette.size()) return false;
        std::memcpy(out, &palette[index * 3], 3);
    }
    return true;
}

}  // namespace

PictureResult<BgrImage> DecodeBmpPixels(const BmpHeader& header,
                                        std::span<const std::uint8_t> bytes) {
    const int width = static_cast<int>(header.biWidth);
    const int height = static_cast<int>(header.Rows());
    auto picture = AllocatePicture(width, height);
    if (!picture.Ok()) return picture;
    const int bits = header.biBitCount;
    const std::int64_t stride = BgrImage::StrideFor(width, bits);
    const std::vector<std::uint8_t> palette =
        bits <= 8 ? ReadPalette(header, bytes) : std::vector<std::uint8_t>{};
    const Masks masks = MasksOf(header);
    const Field red(masks.Red), green(masks.Green), blue(masks.Blue);
    BgrView out = picture.Value().View();
    for (int y = 0; y < height; ++y) {
        // Rows are stored bottom-up unless the height is negative.
        const std::int64_t row = header.biHeight > 0 ? height - 1 - y : y;
        const std::uint8_t* in = bytes.data() + header.bfOffBits + row * stride;
        std::uint8_t* px = out.Row(y);
        if (bits <= 8) {
            if (!PaletteRow(in, bits, width, palette, px)) {
                return DamagedBmp("a pixel names an entry past the palette's " +
                                  std::to_string(palette.size() / 3));
            }
        } else if (bits == 24) {
            std::memcpy(px, in, std::size_t(width) * 3);
        } else {
            const int pixelBytes = bits / 8;
            for (int x = 0; x < width; ++x, in += pixelBytes, px += 3) {
                std::uint32_t pixel = 0;
                for (int i = pixelBytes; i-- > 0;) pixel = pixel << 8 | in[i];
                px[0] = blue.Of(pixel);
                px[1] = green.Of(pixel);
                px[2] = red.Of(pixel);
            }
        }
    }
    return picture;
}

}  // namespace quillane
