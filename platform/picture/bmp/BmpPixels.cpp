#include "platform/picture/bmp/BmpPixels.h"

#include <array>
#include <bit>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/picture/colour/ColourTransform.h"

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

// One stored row of palette indexes into BGR, the pixels of each byte from its high bits down;
// false when an index names no entry.
bool PaletteRow(const std::uint8_t* in, int bits, int width,
                const std::vector<std::uint8_t>& palette, std::uint8_t* out) {
    const unsigned mask = (1u << bits) - 1;
    const std::size_t entries = palette.size() / 3;
    for (int x = 0; x < width; ++in) {
        for (int shift = 8 - bits; shift >= 0 && x < width; shift -= bits, ++x, out += 3) {
            const std::size_t index = (*in >> shift) & mask;
            if (index >= entries) return false;
            std::memcpy(out, &palette[index * 3], 3);
        }
    }
    return true;
}

// The stored rows decoded one at a time, top row first.
class BmpRows final : public PictureRowSource {
  public:
    BmpRows(const BmpHeader& header, std::span<const std::uint8_t> bytes,
            std::shared_ptr<const ColourTransform> colour)
        : m_header(header),
          m_bytes(bytes),
          m_colour(std::move(colour)),
          m_width(static_cast<int>(header.biWidth)),
          m_height(static_cast<int>(header.Rows())),
          m_stride(BgrImage::StrideFor(m_width, header.biBitCount)),
          m_palette(header.biBitCount <= 8 ? ReadPalette(header, bytes)
                                           : std::vector<std::uint8_t>{}),
          m_red(MasksOf(header).Red),
          m_green(MasksOf(header).Green),
          m_blue(MasksOf(header).Blue) {}

    int Width() const override { return m_width; }
    int Height() const override { return m_height; }

    bool ReadRow(std::uint8_t* px) override {
        if (m_failed || m_next >= m_height) return false;
        // Rows are stored bottom-up unless the height is negative.
        const std::int64_t stored = m_header.biHeight > 0 ? m_height - 1 - m_next : m_next;
        ++m_next;
        const std::uint8_t* in = m_bytes.data() + m_header.bfOffBits + stored * m_stride;
        const int bits = m_header.biBitCount;
        if (bits <= 8) {
            if (!PaletteRow(in, bits, m_width, m_palette, px)) {
                m_failed = true;
                return false;
            }
        } else if (bits == 24) {
            std::memcpy(px, in, std::size_t(m_width) * 3);
        } else {
            const int pixelBytes = bits / 8;
            std::uint8_t* out = px;
            for (int x = 0; x < m_width; ++x, in += pixelBytes, out += 3) {
                std::uint32_t pixel = 0;
                for (int i = pixelBytes; i-- > 0;) pixel = pixel << 8 | in[i];
                out[0] = m_blue.Of(pixel);
                out[1] = m_green.Of(pixel);
                out[2] = m_red.Of(pixel);
            }
        }
        if (m_colour) m_colour->ToBgr(px, px, m_width);
        return true;
    }

    PictureFailure Failure() const override {
        if (!m_failed) return DamagedBmp("rows are missing");
        return DamagedBmp("a pixel names an entry past the palette's " +
                          std::to_string(m_palette.size() / 3));
    }

  private:
    const BmpHeader& m_header;
    std::span<const std::uint8_t> m_bytes;
    std::shared_ptr<const ColourTransform> m_colour;
    int m_width;
    int m_height;
    std::int64_t m_stride;
    std::vector<std::uint8_t> m_palette;  // BGR, for 8 bits and fewer
    Field m_red, m_green, m_blue;
    int m_next = 0;  // the next row handed out, from the top
    bool m_failed = false;
};

}  // namespace

PictureResult<BgrImage> DecodeBmpPixels(const BmpHeader& header,
                                        std::span<const std::uint8_t> bytes) {
    BmpRows rows(header, bytes, nullptr);
    auto picture = AllocatePicture(rows.Width(), rows.Height());
    if (!picture.Ok()) return picture;
    BgrView out = picture.Value().View();
    for (int y = 0; y < out.Height; ++y) {
        if (!rows.ReadRow(out.Row(y))) return rows.Failure();
    }
    return picture;
}

std::unique_ptr<PictureRowSource> OpenBmpRows(const BmpHeader& header,
                                              std::span<const std::uint8_t> bytes,
                                              std::shared_ptr<const ColourTransform> colour) {
    return std::make_unique<BmpRows>(header, bytes, std::move(colour));
}

}  // namespace quillane
