// CMYK ink colours, the EXIF orientations and the DC-scan reader of progressive files. Fixtures
// are made at test time by libjpeg-turbo's cjpeg, ImageMagick, or libjpeg itself for the CMYK
// variants no tool writes.

#include <gtest/gtest.h>
#include <jpeglib.h>

#include <filesystem>
#include <utility>

#include "platform/picture/PictureFile.h"
#include "platform/picture/jpeg/JpegDecoder.h"
#include "platform/picture/jpeg/JpegSource.h"
#include "platform/picture/jpeg/progressive/JpegProgressiveReader.h"
#include "support/JpegReaderChecks.h"
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

// Every orientation comes out upright; a broken EXIF block leaves the picture as stored and is
// no reason to refuse it.
TEST(JpegLoading, EveryExifOrientationComesOutUprightAndBrokenOnesAreIgnored) {
    TempDir dir;
    const RgbPicture upright = Pattern(48, 32);
    WritePpm(dir.Path("upright.ppm"), upright);
    // ImageMagick turns the upright pattern into what a camera stores for each orientation.
    const char* const storedAs[9] = {"",          "",           "-flop",       "-rotate 180",
                                     "-flip",     "-transpose", "-rotate -90", "-transverse",
                                     "-rotate 90"};
    for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE("orientation " + std::to_string(orientation));
        const std::string jpeg = dir.Path("orient" + std::to_string(orientation) + ".jpg");
        ASSERT_TRUE(Convert(dir.Path("upright.ppm"),
                            storedAs[orientation] + std::string(" -quality 95"), jpeg));
        AddExifOrientation(jpeg, orientation, orientation % 2 == 0);
        auto file = PictureFile::Open(jpeg);
        EXPECT_EQ(std::pair(file->Width(), file->Height()), std::pair(48, 32));
        EXPECT_LT(MeanError(file->Decode(0, 0), upright), 4.0);
    }
    const struct {
        const char* Name;
        std::size_t Offset;  // into the segment; the TIFF data starts at 10
        std::vector<std::uint8_t> Bytes;
        std::size_t Keep = 0;  // cut the segment to this length when not 0
    } damages[] = {{"IFD offset past the end", 14, {0xF0, 0xFF, 0xFF, 0xFF}},
                   {"orientation beyond the entry count", 18, {1, 0}},
                   {"orientation stored as LONG", 34, {4, 0}},
                   {"orientation 9", 40, {9, 0}},
                   {"cut inside the orientation entry", 0, {}, 38},
                   {"byte order XX", 10, {'X', 'X'}}};
    for (const auto& d : damages) {
        SCOPED_TRACE(d.Name);
        Bytes segment = ExifSegment(6, false);
        std::copy(d.Bytes.begin(), d.Bytes.end(), segment.begin() + std::ptrdiff_t(d.Offset));
        if (d.Keep) segment.resize(d.Keep), segment[3] = std::uint8_t(d.Keep - 2);
        WriteBytes(dir.Path("exif.jpg"), ReadBytes(dir.Path("orient1.jpg")));
        InsertAfterStart(dir.Path("exif.jpg"), segment);
        auto file = PictureFile::Open(dir.Path("exif.jpg"));
        EXPECT_EQ(std::pair(file->Width(), file->Decode(0, 0).Width()), std::pair(48, 48));
    }
}

// Shrunk by eight, a progressive file is made from its DC scans by our own reader. Over
// samplings and scan scripts (interleaved or one component at a time, refinements, restarts):
// all sampled alike, the pixels are exactly libjpeg's own decode shrunk by eight; subsampled,
// the luma is exactly libjpeg's and the colours stay close. A paint too large for the coarse
// components' DC grid (40 x 30 for 4:2:0) goes to libjpeg and matches it exactly.
TEST(JpegLoading, ShrunkByEightFromTheDcScansMatchesLibjpeg) {
    TempDir dir;
    const std::string apart = ScansApart(dir);
    // Name, cjpeg's options, the paint width (high is three quarters of it), exact or close.
    const std::tuple<const char*, std::string, int, bool> cases[] = {
        {"p444", "-progressive -sample 1x1", 10, true},
        {"a444", apart + "1x1 -restart 3B", 10, true},
        {"pgray", "-progressive -grayscale -restart 2B", 10, true},
        {"p422", "-progressive -sample 2x1 -restart 1", 10, false},
        {"a420", apart + "2x2 -restart 5B", 10, false},
        {"p440", "-progressive -sample 1x2", 10, false},
        {"a411", apart + "4x1 -restart 1", 10, false},
        {"big420", "-progressive -sample 2x2", 40, true}};
    for (const auto& [name, options, paint, exact] : cases) {
        SCOPED_TRACE(name);
        const std::string path = dir.Path(std::string(name) + ".jpg");
        ASSERT_TRUE(Cjpeg(Pattern(643, 487), "-quality 95 " + options, path));
        ASSERT_TRUE(DjpegShrunk(path, 8));
        const BgrImage image = PictureFile::Open(path)->Decode(paint, paint * 3 / 4);
        EXPECT_LT(MeanError(image, ReadPpm(path + ".ppm")), exact ? 1e-9 : 1.5);
        auto dc = ReadProgressiveShrunk(ReadBytes(path), 8);
        ASSERT_TRUE(dc.Ok()) << dc.Failure().Why;
        EXPECT_EQ(FirstDifference(LumaOf(dc.Value()), ReadPpm(path + ".pgm")), "");
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
    for (const int paint : {30, 100, 200}) {  // shrunk by 8 and 4 (our reader), by 2 (libjpeg)
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
