// JPEG kinds against an independent decode, CMYK ink colours, the EXIF orientations and the
// choice of the DCT shrink. Fixtures are made at test time by libjpeg-turbo's cjpeg,
// ImageMagick, or libjpeg itself for the CMYK variants no tool writes.

#include <gtest/gtest.h>
#include <jpeglib.h>

#include <cstdio>
#include <thread>
#include <utility>

#include "platform/picture/PictureDecoding.h"
#include "platform/picture/PictureFile.h"
#include "support/PictureFiles.h"

namespace quillane::test {
namespace {

std::string MakeJpeg(const TempDir& dir, const std::string& name, const RgbPicture& picture,
                     const std::string& cjpegOptions) {
    EXPECT_TRUE(Cjpeg(picture, "-quality 95 " + cjpegOptions, dir.Path(name + ".jpg")));
    return dir.Path(name + ".jpg");
}

TEST(JpegLoading, EachKindMatchesAnIndependentDecode) {
    REQUIRE_TOOL("cjpeg");
    REQUIRE_TOOL("convert");
    TempDir dir;
    const RgbPicture pattern = Pattern(67, 45);  // not whole MCUs: partial edge blocks
    WritePpm(dir.Path("pattern.ppm"), pattern);
    // ImageMagick stores CMYK as Photoshop does: inverted, marked with an Adobe segment.
    ASSERT_TRUE(Convert(dir.Path("pattern.ppm"), "-colorspace CMYK -quality 95",
                        dir.Path("adobe_cmyk.jpg")));
    for (const auto& [name, options] : {std::pair{"baseline", "-baseline"},
                                        {"progressive", "-progressive"},
                                        {"grayscale", "-grayscale"},
                                        {"restart", "-restart 1B"},
                                        {"s444", "-sample 1x1"},
                                        {"adobe_cmyk", nullptr}}) {
        SCOPED_TRACE(name);
        const std::string path =
            options ? MakeJpeg(dir, name, pattern, options) : dir.Path("adobe_cmyk.jpg");
        const BgrImage image = PictureFile::Open(path)->Decode(0, 0);
        EXPECT_LT(MeanError(image, DecodeWithImageMagick(path)), 1.5);
        if (std::string(name) != "grayscale") {
            EXPECT_LT(MeanError(image, pattern), 6.0);
        }
    }
}

// Writes a CMYK JPEG of four flat 16x16 patches with libjpeg directly.
void WriteCmykJpeg(const std::string& path, const std::uint8_t inks[4][4], bool adobeInverted,
                   J_COLOR_SPACE stored) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    jpeg_stdio_dest(&cinfo, out);
    cinfo.image_width = 64;
    cinfo.image_height = 16;
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    jpeg_set_colorspace(&cinfo, stored);
    cinfo.write_Adobe_marker = adobeInverted;
    jpeg_set_quality(&cinfo, 95, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::uint8_t row[64 * 4];  // 16 pixels a patch, 4 inks a pixel
    for (int i = 0; i < 64 * 4; ++i)
        row[i] = std::uint8_t(inks[i / 64][i % 4] ^ (adobeInverted ? 255 : 0));
    JSAMPROW rows[] = {row};
    while (cinfo.next_scanline < cinfo.image_height) jpeg_write_scanlines(&cinfo, rows, 1);
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::fclose(out);
}

TEST(JpegLoading, CmykInksBecomeTheirColours) {
    const std::uint8_t inks[4][4] = {
        {0, 0, 0, 0}, {255, 0, 0, 0}, {0, 255, 255, 0}, {0, 0, 0, 255}};
    const int wanted[4][3] = {{255, 255, 255}, {0, 255, 255}, {255, 0, 0}, {0, 0, 0}};  // RGB
    struct Variant {
        const char* Name;
        bool AdobeInverted;
        J_COLOR_SPACE Stored;
    };
    const Variant variants[] = {{"adobe inverted cmyk", true, JCS_CMYK},
                                {"plain cmyk", false, JCS_CMYK},
                                {"adobe ycck", true, JCS_YCCK}};
    TempDir dir;
    for (const Variant& v : variants) {
        SCOPED_TRACE(v.Name);
        const std::string path = dir.Path("cmyk.jpg");
        WriteCmykJpeg(path, inks, v.AdobeInverted, v.Stored);
        const BgrImage image = PictureFile::Open(path)->Decode(0, 0);
        ASSERT_EQ(image.Width(), 64);
        for (int patch = 0; patch < 4; ++patch) {
            const std::uint8_t* bgr = image.View().Row(8) + (patch * 16 + 8) * 3;
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(bgr[2 - c], wanted[patch][c], 8)
                    << "patch " << patch << " channel " << c;
        }
    }
}

// ImageMagick turns the upright pattern into what a camera stores for each orientation.
const char* const kStoredAs[9] = {"",          "",           "-flop",       "-rotate 180",
                                  "-flip",     "-transpose", "-rotate -90", "-transverse",
                                  "-rotate 90"};

std::string MakeOrientedJpeg(const TempDir& dir, const RgbPicture& upright, int orientation) {
    const std::string jpeg = dir.Path("orient" + std::to_string(orientation) + ".jpg");
    WritePpm(dir.Path("upright.ppm"), upright);
    EXPECT_TRUE(Convert(dir.Path("upright.ppm"), kStoredAs[orientation], jpeg + ".ppm", "ppm"));
    EXPECT_TRUE(Shell("cjpeg -quality 95 -outfile " + Quote(jpeg) + " " + Quote(jpeg + ".ppm")));
    AddExifOrientation(jpeg, orientation, orientation % 2 == 0);
    return jpeg;
}

TEST(JpegLoading, EveryExifOrientationComesOutUpright) {
    REQUIRE_TOOL("cjpeg");
    REQUIRE_TOOL("convert");
    TempDir dir;
    const RgbPicture upright = Pattern(48, 32);
    for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE("orientation " + std::to_string(orientation));
        auto file = PictureFile::Open(MakeOrientedJpeg(dir, upright, orientation));
        EXPECT_EQ(file->Width(), 48);
        EXPECT_EQ(file->Height(), 32);
        const BgrImage image = file->Decode(0, 0);
        EXPECT_LT(MeanError(image, upright), 4.0);
        EXPECT_LT(image.View().Row(2)[2 * 3 + 2], 60) << "the dark corner is not top-left";
    }
}

// A broken EXIF block leaves the picture as stored; it is not a reason to refuse it.
TEST(JpegLoading, MalformedExifIsIgnored) {
    REQUIRE_TOOL("cjpeg");
    TempDir dir;
    const std::string plain = MakeJpeg(dir, "plain", Pattern(48, 32), "");
    struct Damage {
        const char* Name;
        std::size_t Offset;  // into the segment; the TIFF data starts at 10
        std::vector<std::uint8_t> Bytes;
        std::size_t Keep = 0;  // cut the segment to this length when not 0
    };
    const Damage damages[] = {
        {"IFD offset past the end", 14, {0xF0, 0xFF, 0xFF, 0xFF}},
        {"orientation beyond the entry count", 18, {1, 0}},
        {"orientation stored as LONG", 34, {4, 0}},
        {"orientation 9", 40, {9, 0}},
        {"cut inside the orientation entry", 0, {}, 38},
        {"byte order XX", 10, {'X', 'X'}},
    };
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.Name);
        Bytes segment = ExifSegment(6, false);
        std::copy(d.Bytes.begin(), d.Bytes.end(), segment.begin() + std::ptrdiff_t(d.Offset));
        if (d.Keep) segment.resize(d.Keep), segment[3] = std::uint8_t(d.Keep - 2);
        Bytes bytes = ReadBytes(plain);
        bytes.insert(bytes.begin() + 2, segment.begin(), segment.end());
        const std::string path = dir.Path("exif.jpg");
        WriteBytes(path, bytes);
        auto file = PictureFile::Open(path);
        EXPECT_EQ(file->Width(), 48);
        EXPECT_EQ(file->Decode(0, 0).Width(), 48);
    }
}

TEST(JpegLoading, ShrinksToTheSmallestScaleKeepingTheMargin) {
    REQUIRE_TOOL("cjpeg");
    REQUIRE_TOOL("djpeg");
    TempDir dir;
    const std::string plain = MakeJpeg(dir, "big", Pattern(1600, 1200), "");
    struct Case {
        int PaintWidth, PaintHeight, Orientation, Width, Height;
    };
    const Case cases[] = {
        {176, 220, 1, 800, 600},  // 1/4 gives 300 rows, short of 2 x 220
        {176, 140, 1, 400, 300}, {100, 75, 1, 200, 150},  {101, 75, 1, 400, 300},
        {0, 0, 1, 1600, 1200},   {176, 0, 1, 1600, 1200}, {1600, 1200, 1, 1600, 1200},
        {100, 200, 6, 300, 400},  // upright 1200x1600: the paint size turns with it
        {100, 200, 1, 800, 600},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << c.PaintWidth << "x" << c.PaintHeight << " o" << c.Orientation);
        const std::string path =
            c.Orientation == 1 ? plain : MakeOrientedJpeg(dir, Pattern(1200, 1600), c.Orientation);
        const BgrImage image = PictureFile::Open(path)->Decode(c.PaintWidth, c.PaintHeight);
        EXPECT_EQ(image.Width(), c.Width);
        EXPECT_EQ(image.Height(), c.Height);
    }
    // The shrunk pixels are libjpeg's own scaled decode, not a crude subsample.
    const std::string reference = dir.Path("quarter.ppm");
    ASSERT_TRUE(
        Shell("djpeg -dct int -scale 1/4 -ppm -outfile " + Quote(reference) + " " + Quote(plain)));
    EXPECT_LT(MeanError(PictureFile::Open(plain)->Decode(176, 140), ReadPpm(reference)), 0.5);
}

TEST(JpegLoading, SeparatePicturesDecodeOnSeparateThreads) {
    REQUIRE_TOOL("cjpeg");
    TempDir dir;
    const std::string paths[] = {MakeJpeg(dir, "a", Pattern(300, 200), "-progressive"),
                                 MakeJpeg(dir, "b", Pattern(200, 300), "")};
    RgbPicture solo[2];
    for (int which : {0, 1})
        solo[which] = ToRgb(PictureFile::Open(paths[which])->Decode(0, 0).View());
    std::string differences[2];
    auto decodeMany = [&](int which) {
        auto file = PictureFile::Open(paths[which]);
        for (int i = 0; i < 20; ++i)
            differences[which] += FirstDifference(file->Decode(0, 0), solo[which]);
    };
    std::thread first(decodeMany, 0), second(decodeMany, 1);
    first.join();
    second.join();
    EXPECT_EQ(differences[0], "");
    EXPECT_EQ(differences[1], "");
}

// Shrunk by eight, a progressive file whose components are sampled alike is read without its AC
// scans, and still gives exactly libjpeg's own pixels from the whole file.
TEST(JpegLoading, ProgressiveShrunkByEightSkipsItsAcScansWithTheSamePixels) {
    REQUIRE_TOOL("cjpeg");
    REQUIRE_TOOL("djpeg");
    TempDir dir;
    struct Case {
        const char* Name;
        const char* Options;
        bool Skips;
    };
    const Case cases[] = {{"p444", "-progressive -sample 1x1", true},
                          {"pgray", "-progressive -grayscale", true},
                          {"p420", "-progressive -sample 2x2", false},
                          {"b444", "-sample 1x1", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string path = MakeJpeg(dir, c.Name, Pattern(640, 480), c.Options);
        const Bytes bytes = ReadBytes(path);
        const auto parts = JpegWithoutAcScans(bytes);
        ASSERT_EQ(parts.has_value(), c.Skips);
        if (parts) {
            std::size_t kept = 0;
            for (const auto& part : *parts) kept += part.size();
            EXPECT_LT(kept, bytes.size() / 2);
        }
        const std::string reference = dir.Path(std::string(c.Name) + ".eighth.ppm");
        ASSERT_TRUE(Shell("djpeg -dct int -scale 1/8 -ppm -outfile " + Quote(reference) + " " +
                          Quote(path)));
        const BgrImage eighth = PictureFile::Open(path)->Decode(30, 25);
        ASSERT_EQ(eighth.Width(), 80);
        EXPECT_EQ(MeanError(eighth, ReadPpm(reference)), 0.0)
            << FirstDifference(eighth, ReadPpm(reference));

        // Cut short inside the AC scans, it is still found incomplete.
        WriteBytes(dir.Path("cut.jpg"), Bytes(bytes.begin(), bytes.begin() + bytes.size() * 4 / 5));
        const Raised raised =
            RaisedBy([&] { (void)PictureFile::Open(dir.Path("cut.jpg"))->Decode(30, 25); });
        EXPECT_EQ(raised.Number, ErrorNumber::InvalidPicture) << raised.Description;
    }
}

}  // namespace
}  // namespace quillane::test
