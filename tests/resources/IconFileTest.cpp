// The icon file the build writes: its directory and images as the format lays them out, each
// image read back by Qt's own icon reader.

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QImageReader>

#include "platform/qtview/IconArt.h"
#include "resources/IconFile.h"

namespace quillane {
namespace {

uint32_t le(const QByteArray& bytes, int at, int size = 4) {
    uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
    return value;
}

// The directory lists the twelve images in table order, each a DIB of twice the height (pixels,
// then the 1-bit mask) right after the one before; an independent reader gets the drawing back.
TEST(IconTest, DirectoryAndImagesReadBackByAnIndependentReader) {
    std::vector<IconEntry> entries;
    for (const IconImageSpec& image : quillaneIconTable())
        entries.push_back({renderQuillaneIcon(image.size), image.bitCount});
    QByteArray ico = encodeIconFile(entries);
    ASSERT_GE(ico.size(), 6 + 12 * 16);
    EXPECT_EQ(std::tuple(le(ico, 0, 2), le(ico, 2, 2), le(ico, 4, 2)), std::tuple(0u, 1u, 12u));
    const int expected[12][2] = {{16, 8}, {16, 32}, {24, 8},  {24, 32}, {32, 8},  {32, 32},
                                 {48, 8}, {48, 32}, {64, 32}, {72, 32}, {96, 32}, {128, 32}};
    uint32_t nextOffset = 6 + 12 * 16;
    QBuffer buffer(&ico);
    QImageReader reader(&buffer, "ico");
    ASSERT_EQ(reader.imageCount(), 12);
    for (int i = 0; i < 12; ++i) {
        SCOPED_TRACE("image " + std::to_string(i));
        const auto [side, bits] = expected[i];
        const int entry = 6 + i * 16;
        const uint32_t bytes = le(ico, entry + 8), offset = le(ico, entry + 12);
        EXPECT_EQ(std::tuple(le(ico, entry, 1), le(ico, entry + 6, 2), offset),
                  std::tuple(uint32_t(side), uint32_t(bits), nextOffset));
        ASSERT_LE(offset + bytes, static_cast<uint32_t>(ico.size()));
        EXPECT_EQ(std::pair(le(ico, offset), le(ico, offset + 8)), std::pair(40u, 2u * side));
        const uint32_t pixelRow = (side * bits + 31) / 32 * 4, maskRow = (side + 31) / 32 * 4;
        EXPECT_EQ(bytes, 40 + (bits == 8 ? 1024 : 0) + (pixelRow + maskRow) * side);
        nextOffset = offset + bytes;

        ASSERT_TRUE(reader.jumpToImage(i));
        const QImage read = reader.read().convertToFormat(QImage::Format_ARGB32);
        const QImage drawn = renderQuillaneIcon(side);
        ASSERT_EQ(read.size(), drawn.size());
        int colourErrorSum = 0;
        for (int y = 0; y < side; ++y) {
            for (int x = 0; x < side; ++x) {
                const QRgb want = drawn.pixel(x, y), got = read.pixel(x, y);
                // Eight bits: a one-bit mask and the nearest palette colour.
                const int alpha = bits == 32 ? qAlpha(want) : qAlpha(want) < 128 ? 0 : 255;
                ASSERT_EQ(got, bits == 32 ? want : qRgba(qRed(got), qGreen(got), qBlue(got), alpha))
                    << x << "," << y;
                if (qAlpha(want) >= 128)
                    colourErrorSum += std::abs(qRed(got) - qRed(want)) +
                                      std::abs(qGreen(got) - qGreen(want)) +
                                      std::abs(qBlue(got) - qBlue(want));
            }
        }
        EXPECT_LT(colourErrorSum / (side * side), 40) << "palette";
    }
    EXPECT_EQ(nextOffset, static_cast<uint32_t>(ico.size()));
}

TEST(IconTest, RefusesWhatAnIconCannotHold) {
    for (const auto& [width, height, bits] :
         {std::tuple{16, 12, 32}, {300, 300, 32}, {16, 16, 24}, {16, 16, 32}})
        EXPECT_EQ(encodeIconFile({{QImage(width, height, QImage::Format_ARGB32), bits}}).isEmpty(),
                  bits != 32 || width != height || width > 256)
            << width << "x" << height << "x" << bits;
}

}  // namespace
}  // namespace quillane
