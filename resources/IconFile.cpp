#include "resources/IconFile.h"

#include <QColor>
#include <cstdint>

namespace quillane {

namespace {

constexpr uint16_t kIconType = 1;          // ICONDIR idType: 1 = icon, 2 = cursor
constexpr uint32_t kDirHeaderSize = 6;     // ICONDIR without its entries
constexpr uint32_t kDirEntrySize = 16;     // ICONDIRENTRY
constexpr uint32_t kInfoHeaderSize = 40;   // BITMAPINFOHEADER
constexpr uint32_t kPaletteEntries = 256;  // an 8-bit DIB's full colour table
constexpr int kMaskAlphaThreshold = 128;   // below this a pixel is transparent in the mask
constexpr int kMaxIconSide = 256;

void appendU8(QByteArray& out, uint8_t value) {
    out.append(static_cast<char>(value));
}
void appendU16(QByteArray& out, uint16_t value) {
    appendU8(out, value & 0xff);
    appendU8(out, value >> 8);
}
void appendU32(QByteArray& out, uint32_t value) {
    appendU16(out, value & 0xffff);
    appendU16(out, value >> 16);
}

uint32_t rowBytes(uint32_t width, uint32_t bitCount) {
    return (width * bitCount + 31) / 32 * 4;
}

// The AND mask: one bit a pixel, set where the pixel is transparent; rows bottom-up.
void appendMask(QByteArray& out, const QImage& argb) {
    const int side = argb.width();
    const uint32_t stride = rowBytes(side, 1);
    for (int y = side - 1; y >= 0; --y) {
        QByteArray row(static_cast<qsizetype>(stride), '\0');
        const auto* pixels = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < side; ++x) {
            if (qAlpha(pixels[x]) < kMaskAlphaThreshold)
                row[x / 8] = row[x / 8] | (0x80 >> (x % 8));
        }
        out.append(row);
    }
}

void appendInfoHeader(QByteArray& out, int side, int bitCount, uint32_t imageBytes) {
    appendU32(out, kInfoHeaderSize);                      // biSize
    appendU32(out, static_cast<uint32_t>(side));          // biWidth
    appendU32(out, static_cast<uint32_t>(side * 2));      // biHeight: pixels and mask together
    appendU16(out, 1);                                    // biPlanes
    appendU16(out, static_cast<uint16_t>(bitCount));      // biBitCount
    appendU32(out, 0);                                    // biCompression: BI_RGB
    appendU32(out, imageBytes);                           // biSizeImage
    appendU32(out, 0);                                    // biXPelsPerMeter
    appendU32(out, 0);                                    // biYPelsPerMeter
    appendU32(out, bitCount == 8 ? kPaletteEntries : 0);  // biClrUsed
    appendU32(out, 0);                                    // biClrImportant
}

QByteArray encode32(const QImage& argb) {
    const int side = argb.width();
    const uint32_t pixelBytes = rowBytes(side, 32) * side;
    const uint32_t maskBytes = rowBytes(side, 1) * side;
    QByteArray out;
    appendInfoHeader(out, side, 32, pixelBytes + maskBytes);
    for (int y = side - 1; y >= 0; --y) {
        const auto* pixels = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < side; ++x) {
            appendU8(out, qBlue(pixels[x]));
            appendU8(out, qGreen(pixels[x]));
            appendU8(out, qRed(pixels[x]));
            appendU8(out, qAlpha(pixels[x]));
        }
    }
    appendMask(out, argb);
    return out;
}

QByteArray encode8(const QImage& argb) {
    const int side = argb.width();
    // Quantise only what the mask leaves visible; transparent pixels become black under a set
    // mask bit, as the XOR-and-AND drawing of an icon expects.
    QImage opaque(side, side, QImage::Format_RGB32);
    for (int y = 0; y < side; ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        auto* out = reinterpret_cast<QRgb*>(opaque.scanLine(y));
        for (int x = 0; x < side; ++x) {
            out[x] = qAlpha(in[x]) < kMaskAlphaThreshold
                         ? qRgb(0, 0, 0)
                         : qRgb(qRed(in[x]), qGreen(in[x]), qBlue(in[x]));
        }
    }
    const QImage indexed =
        opaque.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither | Qt::AvoidDither);
    const QList<QRgb> colours = indexed.colorTable();

    const uint32_t pixelStride = rowBytes(side, 8);
    const uint32_t imageBytes = pixelStride * side + rowBytes(side, 1) * side;
    QByteArray out;
    appendInfoHeader(out, side, 8, kPaletteEntries * 4 + imageBytes);
    for (uint32_t i = 0; i < kPaletteEntries; ++i) {
        const QRgb colour = i < static_cast<uint32_t>(colours.size()) ? colours[i] : qRgb(0, 0, 0);
        appendU8(out, qBlue(colour));
        appendU8(out, qGreen(colour));
        appendU8(out, qRed(colour));
        appendU8(out, 0);  // rgbReserved
    }
    for (int y = side - 1; y >= 0; --y) {
        QByteArray row(static_cast<qsizetype>(pixelStride), '\0');
        const uchar* indexes = indexed.constScanLine(y);
        for (int x = 0; x < side; ++x) row[x] = static_cast<char>(indexes[x]);
        out.append(row);
    }
    appendMask(out, argb);
    return out;
}

}  // namespace

QByteArray encodeIconFile(const std::vector<IconEntry>& entries) {
    std::vector<QByteArray> bodies;
    for (const IconEntry& entry : entries) {
        const QImage& image = entry.image;
        if (image.isNull() || image.width() != image.height() || image.width() > kMaxIconSide ||
            (entry.bitCount != 8 && entry.bitCount != 32)) {
            return {};
        }
        const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
        bodies.push_back(entry.bitCount == 8 ? encode8(argb) : encode32(argb));
    }

    QByteArray out;
    appendU16(out, 0);  // idReserved
    appendU16(out, kIconType);
    appendU16(out, static_cast<uint16_t>(entries.size()));
    uint32_t offset = kDirHeaderSize + kDirEntrySize * static_cast<uint32_t>(entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        const int side = entries[i].image.width();
        const uint8_t sideByte = side == kMaxIconSide ? 0 : static_cast<uint8_t>(side);  // 0 = 256
        appendU8(out, sideByte);                                                         // bWidth
        appendU8(out, sideByte);                                                         // bHeight
        appendU8(out, 0);   // bColorCount: 0 for 256 colours and more
        appendU8(out, 0);   // bReserved
        appendU16(out, 1);  // wPlanes
        appendU16(out, static_cast<uint16_t>(entries[i].bitCount));
        appendU32(out, static_cast<uint32_t>(bodies[i].size()));  // dwBytesInRes
        appendU32(out, offset);                                   // dwImageOffset
        offset += static_cast<uint32_t>(bodies[i].size());
    }
    for (const QByteArray& body : bodies) out.append(body);
    return out;
}

}  // namespace quillane
