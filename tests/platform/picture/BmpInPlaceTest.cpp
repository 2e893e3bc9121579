// Uncompressed 24-bit BMPs are painted from the file's own bytes; every other kind is decoded.
// Either way the pixels must be those an independent reader (Qt's) gives.

#include <gtest/gtest.h>

#include <QImage>
#include <cstdint>
#include <string>

#include "PictureTestSupport.h"
#include "platform/picture/PictureFile.h"

namespace quillane::test {
namespace {

struct InPlaceCase {
    const char* Name;
    int Width, Height;
    int HeaderSize;  // 40 info, 108 V4, 124 V5
    int Bits;
    bool TopDown;
    int Gap;       // unused bytes between the headers and the pixels
    bool InPlace;  // expected to borrow the file's bytes
};

const InPlaceCase kCases[] = {
    {"bottom_up_padded_rows", 5, 4, 40, 24, false, 0, true},
    {"top_down", 7, 3, 40, 24, true, 0, true},
    {"v4_header", 4, 6, 108, 24, false, 0, true},
    {"v5_header_with_gap", 3, 5, 124, 24, false, 10, true},
    {"single_pixel", 1, 1, 40, 24, false, 0, true},
    {"tall_and_narrow", 1, 33, 40, 24, true, 2, true},
    {"thirty_two_bits_decoded", 6, 4, 40, 32, false, 0, false},
};

void Put(Bytes& b, std::uint32_t v, int count) {
    for (int i = 0; i < count; ++i) b.push_back(std::uint8_t(v >> (8 * i)));
}

Bytes MakeBmp(const InPlaceCase& c) {
    const int bytesPerPixel = c.Bits / 8;
    const int stride = (c.Width * bytesPerPixel + 3) & ~3;
    const std::uint32_t offset = 14 + c.HeaderSize + c.Gap;
    Bytes b = {'B', 'M'};
    Put(b, offset + stride * c.Height, 4), Put(b, 0, 4), Put(b, offset, 4);
    Put(b, c.HeaderSize, 4), Put(b, c.Width, 4);
    Put(b, std::uint32_t(c.TopDown ? -c.Height : c.Height), 4);
    Put(b, 1, 2), Put(b, c.Bits, 2), Put(b, 0, 4);
    while (b.size() < offset) b.push_back(0);
    for (int i = 0; i < c.Height; ++i) {
        const int y = c.TopDown ? i : c.Height - 1 - i;
        for (int x = 0; x < c.Width; ++x) {
            b.insert(b.end(), {std::uint8_t(x * 41 + y), std::uint8_t(y * 29 + 7),
                               std::uint8_t(x * y * 13 + 200)});
            if (bytesPerPixel == 4) b.push_back(0);
        }
        // Padding that is not zero must not leak into the picture.
        for (int p = c.Width * bytesPerPixel; p < stride; ++p) b.push_back(0xEE);
    }
    return b;
}

TEST(BmpInPlace, PixelsMatchQtsReaderAndBorrowOnlyWhereStoredAsPainted) {
    TempDir dir;
    for (const InPlaceCase& c : kCases) {
        SCOPED_TRACE(c.Name);
        const std::string path = dir.Path(std::string(c.Name) + ".bmp");
        WriteBytes(path, MakeBmp(c));
        const QImage reference =
            QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_RGB888);
        ASSERT_FALSE(reference.isNull());

        auto file = PictureFile::Open(path);
        const DecodedPixels pixels = file->DecodeView(176, 220);
        EXPECT_EQ(pixels.Owner.Empty(), c.InPlace);
        const BgrImage copy = file->Decode(0, 0);
        ASSERT_EQ(pixels.View.Width, c.Width);
        ASSERT_EQ(pixels.View.Height, c.Height);
        ASSERT_EQ(copy.Width(), c.Width);
        ASSERT_EQ(copy.Height(), c.Height);
        for (int y = 0; y < c.Height; ++y) {
            const std::uint8_t* rgb = reference.constScanLine(y);
            for (int x = 0; x < c.Width; ++x) {
                for (int ch = 0; ch < 3; ++ch) {
                    ASSERT_EQ(pixels.View.Row(y)[x * 3 + ch], rgb[x * 3 + 2 - ch])
                        << "view at " << x << "," << y;
                    ASSERT_EQ(copy.View().Row(y)[x * 3 + ch], rgb[x * 3 + 2 - ch])
                        << "copy at " << x << "," << y;
                }
            }
        }
    }
}

TEST(BmpInPlace, RowsThatDoNotAllFitAreRefusedNotRead) {
    TempDir dir;
    Bytes bytes = MakeBmp(kCases[0]);
    bytes.resize(bytes.size() - 3);  // the last stored row loses its pixels
    const std::string path = dir.Path("short.bmp");
    WriteBytes(path, bytes);
    EXPECT_EQ(RaisedBy([&] { (void)PictureFile::Open(path)->DecodeView(0, 0); }).Number,
              ErrorNumber::InvalidPicture);
}

}  // namespace
}  // namespace quillane::test
