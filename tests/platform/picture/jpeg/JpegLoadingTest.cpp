// JPEGs through libjpeg-turbo: CMYK ink colours, and a file read a window at a time from its
// open file. Fixtures are made at test time by libjpeg-turbo's cjpeg, ImageMagick, or libjpeg
// itself for the CMYK variants no tool writes.

#include <gtest/gtest.h>
#include <jpeglib.h>

#include <filesystem>
#include <utility>

#include "platform/picture/PictureFile.h"
#include "platform/picture/jpeg/JpegDecoder.h"
#include "platform/picture/jpeg/JpegSource.h"
#include "support/PictureFiles.h"

namespace quillane::test {
namespace {

// Four flat 16x16 patches of inks, written by libjpeg directly, come out as their colours.
TEST(JpegLoading, CmykInksBecomeTheirColours) {
    const std::uint8_t inks[4][4] = {
        {0, 0, 0, 0}, {255, 0, 0, 0}, {0, 255, 255, 0}, {0, 0, 0, 255}};
    const std::uint8_t wanted[4][3] = {{255, 255, 255}, {0, 255, 255}, {255, 0, 0}, {0, 0, 0}};
    RgbPicture expected{64, 16, {}};
    for (int i = 0; i < 64 * 16; ++i)
        expected.Rgb.insert(expected.Rgb.end(), wanted[i % 64 / 16], wanted[i % 64 / 16] + 3);
    TempDir dir;
    const std::string path = dir.Path("cmyk.jpg");
    for (const auto& [inverted, stored] :
         {std::pair{true, JCS_CMYK}, {false, JCS_CMYK}, {true, JCS_YCCK}}) {
        SCOPED_TRACE(::testing::Message() << "Adobe " << inverted << " stored as " << stored);
        jpeg_compress_struct cinfo;
        jpeg_error_mgr err;
        cinfo.err = jpeg_std_error(&err);
        jpeg_create_compress(&cinfo);
        unsigned char* out = nullptr;
        unsigned long size = 0;
        jpeg_mem_dest(&cinfo, &out, &size);
        cinfo.image_width = 64, cinfo.image_height = 16;
        cinfo.input_components = 4, cinfo.in_color_space = JCS_CMYK;
        jpeg_set_defaults(&cinfo);
        jpeg_set_colorspace(&cinfo, stored);
        cinfo.write_Adobe_marker = inverted;
        jpeg_set_quality(&cinfo, 95, TRUE);
        jpeg_start_compress(&cinfo, TRUE);
        std::uint8_t row[64 * 4];  // 16 pixels a patch, 4 inks a pixel
        for (int i = 0; i < 64 * 4; ++i)
            row[i] = std::uint8_t(inks[i / 64][i % 4] ^ (inverted ? 255 : 0));
        JSAMPROW rows[] = {row};
        while (cinfo.next_scanline < cinfo.image_height) jpeg_write_scanlines(&cinfo, rows, 1);
        jpeg_finish_compress(&cinfo);
        jpeg_destroy_compress(&cinfo);
        WriteBytes(path, Bytes(out, out + size));
        std::free(out);
        EXPECT_LT(MeanError(PictureFile::Open(path)->Decode(0, 0), expected), 6);
    }
}

// A JPEG is read from its open file a window at a time: one many windows long decodes as from
// memory at every scale, by our reader and libjpeg's, after its name has gone; once its content
// changes on disk, decoding it raises 75 instead of mixing old and new bytes.
TEST(JpegLoading, ReadFromTheOpenFileWindowByWindow) {
    TempDir dir;
    const std::string path = dir.Path("big.jpg"), moved = dir.Path("moved.jpg");
    ASSERT_TRUE(Shell("convert -size 1200x900 plasma:fractal +noise Gaussian " +
                      Quote(path + ".ppm") +
                      " && cjpeg -quality 98 -progressive -sample 2x1 -restart 1 -outfile " +
                      Quote(path) + " " + Quote(path + ".ppm")));
    const Bytes bytes = ReadBytes(path);
    ASSERT_GT(bytes.size(), 3 * JpegWindow::kWindowBytes);
    const auto file = PictureFile::Open(path);
    std::filesystem::rename(path, moved);
    for (const int paint : {30, 100, 200, 400}) {  // shrunk by 8, 4 and 2 (our reader), 1 (libjpeg)
        SCOPED_TRACE(paint);
        auto memory = quillane::DecodeJpeg(bytes, file->ScaleDenominatorFor(paint, paint * 3 / 4),
                                           {2 * paint, 2 * paint * 3 / 4});
        ASSERT_TRUE(memory.Ok());
        EXPECT_EQ(FirstDifference(file->Decode(paint, paint * 3 / 4), ToRgb(memory.Value().View())),
                  "");
    }
    WriteBytes(moved, Bytes(bytes.begin(), bytes.end() - 9));  // in place: the same file, cut
    EXPECT_EQ(RaisedBy([&] { (void)file->Decode(30, 22); }).Number,
              ErrorNumber::PathFileAccessError);
}

}  // namespace
}  // namespace quillane::test
