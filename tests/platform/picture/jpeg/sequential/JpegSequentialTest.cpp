// Sequential JPEGs shrunk by eight, four and two by our own reader against libjpeg-turbo's djpeg:
// every sampling, restart intervals, one to four components, a scan per component, files made
// by cjpeg and by ImageMagick, damaged data.

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/picture/PictureFile.h"
#include "platform/picture/jpeg/sequential/JpegSequentialReader.h"
#include "support/PictureFiles.h"
#include "support/ShrunkRows.h"

namespace quillane::test {
namespace {

// A paint size for each scale of a 643 x 487 picture: its need (twice it) still fits the
// picture shrunk by the scale, and no longer by twice the scale. Shrunk by eight, the paint is
// small enough for the DC grid of a component subsampled by two or four across.
struct PaintFor {
    int Scale, Width, Height;
};
constexpr PaintFor kPaints[] = {{8, 20, 15}, {4, 60, 45}, {2, 150, 110}};

BgrImage DecodePlain(const std::string& path, const PaintFor& paint) {
    setenv("QUILLANE_PLAIN_JPEG", "1", 1);
    BgrImage image = PictureFile::Open(path)->Decode(paint.Width, paint.Height);
    unsetenv("QUILLANE_PLAIN_JPEG");
    return image;
}

// The first component alone, each sample three times over, as djpeg writes a PGM read as RGB.
RgbPicture Luma(const Bytes& jpeg, int scale) {
    auto opened = OpenSequentialShrunk(jpeg, scale, JpegShrunkColour::Gray);
    return opened.Ok() ? GrayRows(*opened.Value()) : RgbPicture{};
}

// At each scale, pictures sampled alike are exactly libjpeg's own decode shrunk by as much;
// subsampled, the luma is exactly libjpeg's (a gray decode of the file against djpeg's) and the
// colours stay close, libjpeg scaling or smoothing its coarser components otherwise than we
// spread them. Four components (CMYK, which djpeg does not write) are held against the
// decoder's libjpeg path instead.
TEST(JpegSequential, ShrunkMatchesLibjpeg) {
    TempDir dir;
    std::ofstream(dir.Path("apart.txt")) << "0; 1; 2;";  // a scan for each component
    // Name, how it is made (cjpeg's options, or ImageMagick's after "magick"), exact or close.
    const std::tuple<const char*, std::string, bool> cases[] = {
        {"c444", "-sample 1x1 -restart 3B", true},
        {"gray", "-grayscale -restart 2B", true},
        {"rgb", "-rgb -restart 1", true},
        {"apart444", "-sample 1x1 -scans " + Quote(dir.Path("apart.txt")), true},
        {"c422", "-sample 2x1 -restart 1", false},
        {"c420", "-sample 2x2 -restart 5B", false},
        {"c440", "-sample 1x2 -optimize", false},
        {"c411", "-sample 4x1", false},
        {"apart420", "-sample 2x2 -scans " + Quote(dir.Path("apart.txt")), false},
        {"magick420", "magick -sampling-factor 2x2 -quality 85", false},
        {"magickcmyk", "magick -colorspace CMYK -quality 95", true}};
    for (const auto& [name, options, exact] : cases) {
        const std::string path = dir.Path(std::string(name) + ".jpg");
        if (options.starts_with("magick")) {
            WritePpm(path + ".in.ppm", Pattern(643, 487));
            ASSERT_TRUE(Convert(path + ".in.ppm", options.substr(7), path));
        } else {
            ASSERT_TRUE(Cjpeg(Pattern(643, 487), "-quality 93 " + options, path));
        }
        const bool cmyk = std::string(name).ends_with("cmyk");
        for (const PaintFor& paint : kPaints) {
            SCOPED_TRACE(std::string(name) + " shrunk by " + std::to_string(paint.Scale));
            const auto file = PictureFile::Open(path);
            ASSERT_EQ(file->ScaleDenominatorFor(paint.Width, paint.Height), paint.Scale);
            const BgrImage image = file->Decode(paint.Width, paint.Height);
            if (cmyk) {
                EXPECT_EQ(FirstDifference(image, ToRgb(DecodePlain(path, paint).View())), "");
                continue;
            }
            ASSERT_TRUE(DjpegShrunk(path, paint.Scale));
            const RgbPicture reference = ReadPpm(path + ".ppm");
            EXPECT_EQ(exact ? FirstDifference(image, reference) : "", "");
            EXPECT_LT(MeanError(image, reference), 1.5);
            if (name != std::string("rgb")) {  // djpeg makes its gray from the three
                EXPECT_EQ(
                    FirstDifference(Luma(ReadBytes(path), paint.Scale), ReadPpm(path + ".pgm")),
                    "");
            }
        }
    }
}

// A noisy photograph-sized file, its data many times the stretch our reader copies out at a
// time, with restart intervals, comes out exactly as libjpeg's at each scale.
TEST(JpegSequential, LongDataMatchesLibjpeg) {
    TempDir dir;
    const std::string path = dir.Path("noise.jpg");
    ASSERT_TRUE(Shell("convert -size 1200x900 plasma:fractal +noise Gaussian " +
                      Quote(path + ".ppm") + " && cjpeg -quality 98 -sample 1x1 -restart 7 " +
                      "-outfile " + Quote(path) + " " + Quote(path + ".ppm")));
    ASSERT_GT(ReadBytes(path).size(), std::size_t{400} << 10);
    for (const PaintFor& paint : {PaintFor{8, 70, 50}, {4, 120, 100}, {2, 280, 200}}) {
        SCOPED_TRACE(paint.Scale);
        ASSERT_TRUE(DjpegShrunk(path, paint.Scale));
        EXPECT_EQ(FirstDifference(PictureFile::Open(path)->Decode(paint.Width, paint.Height),
                                  ReadPpm(path + ".ppm")),
                  "");
    }
}

// Damaged data, a scan out of the rules, a table missing or a component scanned twice (in a
// file of a scan per component, or by a scan after the one of every component) raise 481 at
// every scale.
TEST(JpegSequential, DamagedFilesAreRefused) {
    TempDir dir;
    std::ofstream(dir.Path("apart.txt")) << "0; 1; 2;";
    const std::string one = dir.Path("one.jpg"), apart = dir.Path("apart.jpg");
    ASSERT_TRUE(Cjpeg(Pattern(643, 487), "-quality 90 -sample 2x2 -restart 1", one));
    ASSERT_TRUE(Cjpeg(Pattern(643, 487), "-scans " + Quote(dir.Path("apart.txt")), apart));
    // Where each scan header starts (its length), in each file.
    auto scans = [](const Bytes& b) {
        std::vector<std::size_t> at;
        for (std::size_t i = 0; i + 4 < b.size(); ++i) {
            if (b[i] == 0xFF && b[i + 1] == 0xDA) at.push_back(i + 2);
        }
        return at;
    };
    const Bytes good = ReadBytes(one), goodApart = ReadBytes(apart);
    const std::size_t sos = scans(good).at(0), third = scans(goodApart).at(2);
    std::size_t restart = sos;  // the first restart marker
    while (!(good[restart] == 0xFF && good[restart + 1] == 0xD0)) ++restart;
    // The file, the byte changed, and its new value; -1: the file is cut there, -2: its scan
    // comes again there.
    for (const auto& [name, base, at, value] :
         {std::tuple{"cut in the data", &good, good.size() / 2, -1},
          {"an end of image inside the data", &good, good.size() / 2, 0xD9},
          {"a restart out of turn", &good, restart + 1, 0xD3},
          {"a missing Huffman table", &good, sos + 4, 0x33},
          {"a band short of 63", &good, sos + 10, 62},
          {"a component scanned twice", &goodApart, third + 3, 1},
          {"a scan after the last", &good, good.size() - 2, -2}}) {
        SCOPED_TRACE(name);
        Bytes bad(base->begin(), value == -1 ? base->begin() + static_cast<long>(at) : base->end());
        if (value == -2)
            bad.insert(bad.begin() + static_cast<long>(at), good.begin() + sos - 2, good.end() - 2);
        if (value == 0xD9) bad[at - 1] = 0xFF;
        if (value >= 0) bad[at] = static_cast<std::uint8_t>(value);
        WriteBytes(dir.Path("bad.jpg"), bad);
        for (const PaintFor& paint : kPaints) {
            const Raised raised = RaisedBy([&] {
                (void)PictureFile::Open(dir.Path("bad.jpg"))->Decode(paint.Width, paint.Height);
            });
            EXPECT_EQ(raised.Number, ErrorNumber::InvalidPicture) << raised.Description;
        }
    }
}

}  // namespace
}  // namespace quillane::test
