// Every BMP variant Windows reads, built here byte by byte, must decode to exactly the pixels
// it was built from, and to what ImageMagick's independent BMP reader makes of it. Uncompressed
// 24-bit ones are painted from the file's own bytes, without a copy.

#include <gtest/gtest.h>

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

// 16-bit channels are made of values a 5- or 6-bit field holds exactly: Windows widens them
// to 8 bits by a plain shift (31 becomes 248), and so do the readers compared here.
Colour DirectColour(int x, int y, bool sixteen, bool rgb565) {
    const int five = sixteen ? 0xF8 : 0xFF, six = rgb565 ? 0xFC : five;
    return {std::uint8_t(x * 19 & five), std::uint8_t((y * 35 + 1) & six),
            std::uint8_t((x * y * 7 + 9) & five)};
}

struct BmpCase {
    const char* Name;
    std::uint32_t HeaderSize;  // 12 core, 40 info, 108 V4, 124 V5
    int BitCount;
    Compression Method = BI_RGB;
    bool Rgb565 = false;
    bool TopDown = false;
    int Width = 13;  // odd: every bit depth needs row padding
    int Height = 7;
    int Gap = 0;  // unused bytes between the headers and the pixels
    int Colours() const { return BitCount <= 8 ? std::min(1 << BitCount, 16) : 0; }
    bool Rle() const { return Method == BI_RLE8 || Method == BI_RLE4; }
    int Index(int x, int y) const { return (x / 3 + y * 5) % Colours(); }
    Colour At(int x, int y) const {
        return Colours() ? PaletteColour(Index(x, y)) : DirectColour(x, y, BitCount == 16, Rgb565);
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
            } else if (c.BitCount == 16) {
                const unsigned r = p.R >> 3, b = p.B >> 3;
                Put(data, c.Rgb565 ? r << 11 | (p.G >> 2) << 5 | b : r << 10 | (p.G >> 3) << 5 | b,
                    2);
            } else {
                data.insert(data.end(), {p.B, p.G, p.R});
                if (c.BitCount == 32) data.push_back(0);  // unused, as Windows writes it
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
    const int colours = c.Colours();
    const bool core = c.HeaderSize == 12;
    const std::uint32_t r = c.Rgb565 ? 0xF800 : 0x7C00, g = c.Rgb565 ? 0x07E0 : 0x03E0, b = 0x1F;
    Bytes header;
    Put(header, c.HeaderSize);
    if (core) {
        for (const int v : {c.Width, c.Height, 1, c.BitCount}) Put(header, v, 2);
    } else {
        Put(header, c.Width), Put(header, std::uint32_t(c.TopDown ? -c.Height : c.Height));
        Put(header, 1, 2), Put(header, c.BitCount, 2), Put(header, c.Method);
        for (const std::uint32_t v : {0, 0, 0, colours, 0}) Put(header, v);  // size, resolution
        if (c.HeaderSize >= 108 || c.Method == BI_BITFIELDS)
            Put(header, r), Put(header, g), Put(header, b);
        if (c.HeaderSize >= 108)
            Put(header, 0), Put(header, 0x73524742), header.resize(c.HeaderSize);  // 'sRGB'
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
    {"info_16bit_565_fields", 40, 16, BI_BITFIELDS, true}, {"info_rle8", 40, 8, BI_RLE8},
    {"info_16bit_555_fields", 40, 16, BI_BITFIELDS, false}, {"info_rle4", 40, 4, BI_RLE4},
    {"info_32bit_alpha_unused", 40, 32, BI_RGB}, {"v4_24bit", 108, 24, BI_RGB},
    {"info_24bit_top_down", 40, 24, BI_RGB, false, true}, {"v5_8bit", 124, 8, BI_RGB},
    {"v4_16bit_565", 108, 16, BI_BITFIELDS, true}, {"v5_32bit", 124, 32, BI_RGB},
    {"info_24bit_no_padding", 40, 24, BI_RGB, false, false, 4, 6},
    {"v5_24bit_gap", 124, 24, BI_RGB, false, false, 3, 5, 10},
    {"info_24bit_single_pixel", 40, 24, BI_RGB, false, false, 1, 1},
    {"info_24bit_top_down_narrow_gap", 40, 24, BI_RGB, false, true, 1, 33, 2}};
// clang-format on

// Each variant decodes to the pixels it was built from, whole or as a view, and to ImageMagick's
// reading of it; damaged headers and data are refused.
TEST(BmpLoading, EveryVariantDecodesExactly) {
    TempDir dir;
    for (const BmpCase& c : kCases) {
        SCOPED_TRACE(c.Name);
        const std::string path = dir.Path(std::string(c.Name) + ".bmp");
        WriteBytes(path, MakeBmp(c));
        auto file = PictureFile::Open(path);
        EXPECT_EQ(std::pair(file->Width(), file->Height()), std::pair(c.Width, c.Height));
        const BgrImage image = file->Decode(0, 0);
        EXPECT_EQ(FirstDifference(image, Expected(c)), "");
        const DecodedPixels view = file->DecodeView(176, 220);
        EXPECT_EQ(view.Owner.Empty(), c.HeaderSize >= 40 && c.BitCount == 24) << "in place";
        EXPECT_EQ(FirstDifference(ToRgb(view.View), Expected(c)), "") << "view";
        // ImageMagick widens 5-bit fields by repeating bits (31 becomes 255), so there it is
        // only near; every other variant must match it exactly.
        EXPECT_LT(MeanError(image, DecodeWithImageMagick(path)), c.BitCount == 16 ? 4 : 1e-9);
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
}

}  // namespace
}  // namespace quillane::test
