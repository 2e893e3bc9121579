#include <gtest/gtest.h>

#include <QBuffer>
#include <QImageReader>
#include <cstdint>
#include <cstdlib>

#include "platform/qtview/IconArt.h"
#include "platform/qtview/IconFile.h"

namespace quillane {
namespace {

uint16_t u16(const QByteArray& bytes, int at) {
    return static_cast<uint8_t>(bytes[at]) | static_cast<uint8_t>(bytes[at + 1]) << 8;
}
uint32_t u32(const QByteArray& bytes, int at) {
    return u16(bytes, at) | uint32_t(u16(bytes, at + 2)) << 16;
}

QByteArray buildIcon() {
    std::vector<IconEntry> entries;
    for (const IconImageSpec& image : quillaneIconTable()) {
        entries.push_back({renderQuillaneIcon(image.size), image.bitCount});
    }
    return encodeIconFile(entries);
}

TEST(IconTest, DirectoryListsTheTwelveImagesInTableOrder) {
    const QByteArray ico = buildIcon();
    ASSERT_GE(ico.size(), 6 + 12 * 16);
    EXPECT_EQ(u16(ico, 0), 0);
    EXPECT_EQ(u16(ico, 2), 1);
    ASSERT_EQ(u16(ico, 4), 12);
    const int expected[12][2] = {{16, 8}, {16, 32}, {24, 8},  {24, 32}, {32, 8},  {32, 32},
                                 {48, 8}, {48, 32}, {64, 32}, {72, 32}, {96, 32}, {128, 32}};
    uint32_t nextOffset = 6 + 12 * 16;
    for (int i = 0; i < 12; ++i) {
        const int entry = 6 + i * 16;
        EXPECT_EQ(static_cast<uint8_t>(ico[entry]), expected[i][0]) << "entry " << i;
        EXPECT_EQ(u16(ico, entry + 6), expected[i][1]) << "entry " << i;
        const uint32_t bytes = u32(ico, entry + 8);
        const uint32_t offset = u32(ico, entry + 12);
        EXPECT_EQ(offset, nextOffset) << "images follow each other without gaps, entry " << i;
        ASSERT_LE(offset + bytes, static_cast<uint32_t>(ico.size()));
        // Each image is a DIB of twice the height (pixels, then the 1-bit mask).
        EXPECT_EQ(u32(ico, offset), 40u);
        EXPECT_EQ(u32(ico, offset + 8), 2u * expected[i][0]);
        const int side = expected[i][0];
        const uint32_t palette = expected[i][1] == 8 ? 256 * 4 : 0;
        const uint32_t pixelRow = (side * expected[i][1] + 31) / 32 * 4;
        const uint32_t maskRow = (side + 31) / 32 * 4;
        EXPECT_EQ(bytes, 40 + palette + (pixelRow + maskRow) * side) << "entry " << i;
        nextOffset = offset + bytes;
    }
    EXPECT_EQ(nextOffset, static_cast<uint32_t>(ico.size()));
}

TEST(IconTest, AnIndependentReaderGetsTheDrawingBack) {
    QByteArray ico = buildIcon();
    QBuffer buffer(&ico);
    QImageReader reader(&buffer, "ico");
    ASSERT_EQ(reader.imageCount(), 12);
    for (int i = 0; i < 12; ++i) {
        const IconImageSpec image = quillaneIconTable()[i];
        ASSERT_TRUE(reader.jumpToImage(i));
        const QImage read = reader.read().convertToFormat(QImage::Format_ARGB32);
        const QImage drawn = renderQuillaneIcon(image.size);
        ASSERT_EQ(read.size(), drawn.size()) << "image " << i;
        int colourErrorSum = 0;
        for (int y = 0; y < image.size; ++y) {
            for (int x = 0; x < image.size; ++x) {
                const QRgb want = drawn.pixel(x, y), got = read.pixel(x, y);
                if (image.bitCount == 32) {
                    ASSERT_EQ(got, want) << "image " << i << " at " << x << "," << y;
                    continue;
                }
                // Eight bits: a one-bit mask and the nearest palette colour.
                ASSERT_EQ(qAlpha(got), qAlpha(want) < 128 ? 0 : 255)
                    << "mask of image " << i << " at " << x << "," << y;
                if (qAlpha(want) >= 128) {
                    colourErrorSum += std::abs(qRed(got) - qRed(want)) +
                                      std::abs(qGreen(got) - qGreen(want)) +
                                      std::abs(qBlue(got) - qBlue(want));
                }
            }
        }
        EXPECT_LT(colourErrorSum / (image.size * image.size), 40) << "palette of image " << i;
    }
}

TEST(IconTest, RefusesWhatAnIconCannotHold) {
    const QImage square(16, 16, QImage::Format_ARGB32);
    EXPECT_TRUE(encodeIconFile({{QImage(16, 12, QImage::Format_ARGB32), 32}}).isEmpty());
    EXPECT_TRUE(encodeIconFile({{QImage(300, 300, QImage::Format_ARGB32), 32}}).isEmpty());
    EXPECT_TRUE(encodeIconFile({{square, 24}}).isEmpty());
    EXPECT_FALSE(encodeIconFile({{square, 32}}).isEmpty());
}

TEST(IconTest, DrawingHasGradedAlphaAndTransparentCorners) {
    const QImage image = renderQuillaneIcon(48);
    int graded = 0;
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 48; ++x) graded += qAlpha(image.pixel(x, y)) % 255 != 0;
    }
    EXPECT_GT(graded, 0) << "edges are smoothed";
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(image.pixel(47, 0)), 0);
}

}  // namespace
}  // namespace quillane
