// Every BMP variant Windows reads, built here byte by byte, must decode to exactly the pixels
// it was built from, and to what ImageMagick's independent BMP reader makes of it. Uncompressed
// 24-bit ones are painted from the file's own bytes, without a copy.

#include <gtest/gtest.h>

#include <array>
#include <bit>

#include "platform/picture/PictureFile.h"
#include "support/PictureFiles.h"

namespace quillane::test {
namespace {

enum Compression : std::uint32_t { BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3 };

struct Colour {
    std::uint8_t R, G, B;
};

Colour PaletteColour(int i) {
    return {std::uint8_t(i * 37 + 11), std::uint8_t(i * 91 + 3), std::uint8_t(i * 173 + 50)};
}

// Direct colours lie in fields of any width (masks); each field's value is scaled to 8 bits,
// value * 255 / (2^width - 1) rounded. Empty masks: what BI_RGB means at the depth.
using Masks = std::array<std::uint32_t, 4>;  // red, green, blue, alpha
constexpr Masks k555 = {0x7C00, 0x03E0, 0x001F, 0}, k565 = {0xF800, 0x07E0, 0x001F, 0},
                k888 = {0xFF0000, 0xFF00, 0xFF, 0};

struct BmpCase {
    const char* Name;
    std::uint32_t HeaderSize;  // 12 core, 16 to 64 info or OS/2 2.x, 52 V2, 56 V3, 108 V4, 124 V5
    int BitCount;
    Compression Method = BI_RGB;
    Masks Fields = {};  // 16 and 32 bits; after a 40-byte header, inside the larger ones
    bool TopDown = false;
    int Width = 13;  // odd: every bit depth needs row padding
    int Height = 7;
    int Gap = 0;    // unused bytes between the headers and the pixels
    int Extra = 0;  // palette entries past those written for the pixels (negative: fewer)
    int Colours() const { return BitCount <= 8 ? std::min(1 << BitCount, 16) : 0; }
    bool Rle() const { return Method == BI_RLE8 || Method == BI_RLE4; }
    int Index(int x, int y) const { return (x / 3 + y * 5) % Colours(); }
    Masks Layout() const { return Fields != Masks{} ? Fields : BitCount == 16 ? k555 : k888; }
    // A field's value at a pixel, every value from 0 to full turning up somewhere.
    std::uint32_t Value(int x, int y, int channel) const {
        const std::uint32_t mask = Layout()[channel];
        const std::uint32_t full = mask >> std::countr_zero(mask | 0x80000000u);
        return x == 0 ? full : (x * 2654435761u + y * 40503u + channel * 977u) % (full + 1);
    }
    Colour At(int x, int y) const {
        if (Colours()) return PaletteColour(Index(x, y));
        std::uint8_t rgb[3];
        for (int c = 0; c < 3; ++c) {
            const std::uint64_t full = Layout()[c] >> std::countr_zero(Layout()[c] | 0x80000000u);
            rgb[c] = std::uint8_t(full ? (Value(x, y, c) * 255 + full / 2) / full : 0);
        }
        return {rgb[0], rgb[1], rgb[2]};
    }
};

void Put(Bytes& b, std::uint32_t v, int bytes = 4) {
    for (int i = 0; i < bytes; ++i) b.push_back(std::uint8_t(v >> 8 * i));
}

// One stored row (bottom-up unless top-down), padded to 4 bytes; or the RLE stream.
Bytes PixelData(const BmpCase& c) {
    Bytes data;
    for (int i = 0; i < c.Height; ++i) {
        const int y = c.TopDown ? i : c.Height - 1 - i;
        const std::size_t rowStart = data.size();
        if (c.Rle()) {
            const bool four = c.Method == BI_RLE4;
            if (y % 2 == 0) {  // encoded runs, each of one index
                for (int x = 0; x < c.Width;) {
                    const int index = c.Index(x, y);
                    int run = 1;
                    while (x + run < c.Width && c.Index(x + run, y) == index) ++run;
                    data.insert(data.end(),
                                {std::uint8_t(run), std::uint8_t(four ? index * 17 : index)});
                    x += run;
                }
            } else {  // absolute mode: the whole row literally, padded to 16 bits
                data.insert(data.end(), {0, std::uint8_t(c.Width)});
                const std::size_t literal = data.size();
                for (int x = 0; x < c.Width; x += four ? 2 : 1) {
                    const int next = four && x + 1 < c.Width ? c.Index(x + 1, y) : 0;
                    data.push_back(std::uint8_t(four ? c.Index(x, y) << 4 | next : c.Index(x, y)));
                }
                if ((data.size() - literal) % 2) data.push_back(0);
            }
            data.insert(data.end(), {0, 0});  // end of line
            continue;
        }
        std::uint32_t bits = 0;
        int used = 0;
        for (int x = 0; x < c.Width; ++x) {
            const Colour p = c.At(x, y);
            if (c.BitCount <= 8) {
                bits = bits << c.BitCount | c.Index(x, y);
                used += c.BitCount;
                if (used == 8) data.push_back(std::uint8_t(bits)), bits = 0, used = 0;
            } else if (c.BitCount == 24) {
                data.insert(data.end(), {p.B, p.G, p.R});
            } else {
                const Masks m = c.Layout();
                std::uint32_t pixel = (x * 77u + y) & m[3];  // alpha: stored, never shown
                for (int i = 0; i < 3; ++i)
                    pixel |= c.Value(x, y, i) << std::countr_zero(m[i] | 0x80000000u);
                Put(data, pixel, c.BitCount / 8);
            }
        }
        if (used) data.push_back(std::uint8_t(bits << (8 - used)));
        // Padding that is not zero must not leak into the picture.
        while ((data.size() - rowStart) % 4) data.push_back(0xEE);
    }
    if (c.Rle()) data.insert(data.end(), {0, 1});  // end
    return data;
}

Bytes MakeBmp(const BmpCase& c) {
    const int colours = c.Colours() ? c.Colours() + c.Extra : 0;
    const bool core = c.HeaderSize == 12;
    Bytes header;
    Put(header, c.HeaderSize);
    if (core) {
        for (const int v : {c.Width, c.Height, 1, c.BitCount}) Put(header, v, 2);
    } else {
        Put(header, c.Width), Put(header, std::uint32_t(c.TopDown ? -c.Height : c.Height));
        Put(header, 1, 2), Put(header, c.BitCount, 2), Put(header, c.Method);
        for (const std::uint32_t v : {0, 0, 0, colours, 0}) Put(header, v);  // size, resolution
        for (const std::uint32_t mask : c.Fields) Put(header, mask);
        if (c.HeaderSize >= 108) Put(header, 0x73524742);  // 'sRGB'
        header.resize(c.HeaderSize + (c.HeaderSize == 40 && c.Method == BI_BITFIELDS ? 12 : 0));
    }
    // A core header has no colour count: its palette always has every entry.
    const int entries = core && colours ? 1 << c.BitCount : colours;
    for (int i = 0; i < entries; ++i) {
        const Colour p = PaletteColour(i);
        header.insert(header.end(), {p.B, p.G, p.R});
        if (!core) header.push_back(0);
    }
    header.insert(header.end(), std::size_t(c.Gap), 0);
    const Bytes pixels = PixelData(c);
    Bytes file = {'B', 'M'};
    const std::uint32_t offset = 14 + std::uint32_t(header.size());
    Put(file, offset + std::uint32_t(pixels.size())), Put(file, 0), Put(file, offset);
    file.insert(file.end(), header.begin(), header.end());
    file.insert(file.end(), pixels.begin(), pixels.end());
    return file;
}

RgbPicture Expected(const BmpCase& c) {
    RgbPicture picture{c.Width, c.Height, {}};
    for (int i = 0; i < c.Width * c.Height; ++i) {
        const Colour p = c.At(i % c.Width, i / c.Width);
        picture.Rgb.insert(picture.Rgb.end(), {p.R, p.G, p.B});
    }
    return picture;
}

// clang-format off
const BmpCase kCases[] = {
    {"core_1bit", 12, 1, BI_RGB}, {"core_4bit", 12, 4, BI_RGB}, {"core_8bit", 12, 8, BI_RGB},
    {"core_24bit", 12, 24, BI_RGB}, {"info_1bit", 40, 1, BI_RGB}, {"info_4bit", 40, 4, BI_RGB},
    {"info_8bit", 40, 8, BI_RGB}, {"info_16bit_555", 40, 16, BI_RGB}, {"info_24bit", 40, 24},
    {"info_16bit_565_fields", 40, 16, BI_BITFIELDS, k565}, {"info_rle8", 40, 8, BI_RLE8},
    {"info_16bit_555_fields", 40, 16, BI_BITFIELDS, k555}, {"info_rle4", 40, 4, BI_RLE4},
    {"info_32bit_alpha_unused", 40, 32, BI_RGB}, {"v4_24bit", 108, 24, BI_RGB},
    {"info_24bit_top_down", 40, 24, BI_RGB, {}, true}, {"v5_8bit", 124, 8, BI_RGB},
    {"v4_16bit_565", 108, 16, BI_BITFIELDS, k565}, {"v5_32bit", 124, 32, BI_RGB},
    {"info_24bit_no_padding", 40, 24, BI_RGB, {}, false, 4, 6},
    {"v5_24bit_gap", 124, 24, BI_RGB, {}, false, 3, 5, 10},
    {"info_24bit_single_pixel", 40, 24, BI_RGB, {}, false, 1, 1},
    {"info_24bit_top_down_narrow_gap", 40, 24, BI_RGB, {}, true, 1, 33, 2}};
// What ImageMagick reads wrong or not at all: bit fields of every width, in any order, with alpha
// (ignored) or an empty field;
const BmpCase kUnusualCases[] = {
    {"info_16bit_2_3_1", 40, 16, BI_BITFIELDS, {0x30, 0x0E, 0x01, 0}},
    {"info_16bit_3_10_3", 40, 16, BI_BITFIELDS, {0xE000, 0x1FF8, 0x0007, 0}},
    {"v3_16bit_1_5_5_5_alpha", 56, 16, BI_BITFIELDS, {0x7C00, 0x03E0, 0x001F, 0x8000}},
    {"v4_16bit_blue_high_4_4_4_4", 108, 16, BI_BITFIELDS, {0x00F0, 0x0F00, 0xF000, 0x000F}},
    {"v2_16bit_no_green", 52, 16, BI_BITFIELDS, {0xFF00, 0, 0x00FF, 0}},
    {"info_32bit_7_18_7", 40, 32, BI_BITFIELDS, {0xFE000000, 0x01FFFF80, 0x7F, 0}, true},
    {"v5_32bit_10_10_10_2", 124, 32, BI_BITFIELDS, {0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000}},
    {"v3_32bit_2_10_10_10", 56, 32, BI_BITFIELDS, {0xFFC00000, 0x3FF000, 0xFFC, 0x3}},
    {"v4_32bit_8_8_8_8", 108, 32, BI_BITFIELDS, {0xFF000000, 0xFF0000, 0xFF00, 0xFF}},
    {"info_32bit_16_16_0", 40, 32, BI_BITFIELDS, {0xFFFF0000, 0xFFFF, 0, 0}},
    // headers of V2, V3 and OS/2 2.x (16 bytes: no compression nor colour count, 64 whole);
    // palettes longer than the depth can name.
    {"v2_24bit", 52, 24}, {"v3_8bit", 56, 8}, {"os2_16_byte_24bit", 16, 24},
    {"os2_16_byte_8bit", 16, 8}, {"os2_64_byte_4bit", 64, 4},
    {"info_1bit_16_colours", 40, 1, BI_RGB, {}, false, 13, 7, 0, 14},
    {"info_8bit_300_colours", 40, 8, BI_RGB, {}, false, 13, 7, 0, 284}};
// clang-format on

// Each variant decodes to the pixels it was built from, whole or as a view, and the usual ones to
// ImageMagick's reading of them; damaged headers and data are refused.
TEST(BmpLoading, EveryVariantDecodesExactly) {
    TempDir dir;
    std::vector<std::pair<BmpCase, bool>> cases;
    for (const BmpCase& c : kCases) cases.emplace_back(c, true);
    for (const BmpCase& c : kUnusualCases) cases.emplace_back(c, false);
    for (const auto& [c, usual] : cases) {
        SCOPED_TRACE(c.Name);
        const std::string path = dir.Path(std::string(c.Name) + ".bmp");
        WriteBytes(path, MakeBmp(c));
        auto file = PictureFile::Open(path);
        EXPECT_EQ(std::pair(file->Width(), file->Height()), std::pair(c.Width, c.Height));
        const BgrImage image = file->Decode(0, 0);
        EXPECT_EQ(FirstDifference(image, Expected(c)), "");
        const DecodedPixels view = file->DecodeView(176, 220);
        EXPECT_EQ(view.Owner.Empty(), c.HeaderSize > 12 && c.BitCount == 24) << "in place";
        EXPECT_EQ(FirstDifference(ToRgb(view.View), Expected(c)), "") << "view";
        // ImageMagick widens 5-bit fields by repeating their bits, which is off by one at
        // times; every other variant must match it exactly.
        if (usual) {
            EXPECT_LT(MeanError(image, DecodeWithImageMagick(path)), c.BitCount == 16 ? 0.5 : 1e-9);
        }
    }
    const Bytes good = MakeBmp({"info_24bit", 40, 24, BI_RGB});
    // Header size 2, zero width, 3 planes, bit count 7, compression 9, pixels past the end, and
    // (offset 0) the last row short of three bytes: offset, bytes written, value.
    const std::uint32_t damages[][3] = {{14, 4, 2}, {18, 4, 0},      {26, 2, 3}, {28, 2, 7},
                                        {30, 4, 9}, {10, 4, 100000}, {0, 0, 0}};
    for (const auto& [offset, size, value] : damages) {
        SCOPED_TRACE(offset);
        Bytes bad(good.begin(), good.end() - (offset ? 0 : 3));
        for (std::uint32_t i = 0; i < size; ++i) bad[offset + i] = std::uint8_t(value >> (8 * i));
        const std::string path = dir.Path("bad.bmp");
        WriteBytes(path, bad);
        const Raised raised = RaisedBy([&] { (void)PictureFile::Open(path)->DecodeView(0, 0); });
        EXPECT_EQ(raised.Number, ErrorNumber::InvalidPicture) << raised.Description;
    }
    // What the format allows and the loader does not read is refused as such; masks no pixel can
    // have and pixels past their palette as damage.
    const std::pair<BmpCase, const char*> refused[] = {
        {{"jpeg", 40, 24, Compression(4)}, "an unsupported BMP variant (compression 4)"},
        {{"huffman", 64, 16, BI_BITFIELDS},
         "an unsupported BMP variant (Huffman-coded pixels, from OS/2)"},
        {{"rle_v3", 56, 8, BI_RLE8},
         "an unsupported BMP variant (run-length data with a 56-byte header)"},
        {{"rle_300", 40, 8, BI_RLE8, {}, false, 13, 7, 0, 284},
         "an unsupported BMP variant (run-length data with a palette of 300 colours)"},
        {{"gaps", 40, 16, BI_BITFIELDS, {0x5000, 0x0F00, 0xFF, 0}},
         "a damaged BMP picture (a colour mask with gaps)"},
        {{"overlap", 40, 16, BI_BITFIELDS, {0xFF00, 0x0FF0, 0xF, 0}},
         "a damaged BMP picture (colour masks that overlap)"},
        {{"wide", 40, 16, BI_BITFIELDS, {0xFF0000, 0xFF00, 0xFF, 0}},
         "a damaged BMP picture (a colour mask past the pixel's bits)"},
        {{"short_palette", 40, 8, BI_RGB, {}, false, 13, 7, 0, -12},
         "a damaged BMP picture (a pixel names an entry past the palette's 4)"},
    };
    for (const auto& [c, why] : refused) {
        const std::string name = std::string(c.Name) + ".bmp";
        WriteBytes(dir.Path(name), MakeBmp(c));
        EXPECT_EQ(
            RaisedBy([&] { (void)PictureFile::Open(dir.Path(name))->Decode(0, 0); }).Description,
            "Invalid picture: '" + name + "' is " + why);
    }
}

}  // namespace
}  // namespace quillane::test
