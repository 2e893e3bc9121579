// Progressive JPEGs shrunk by eight, four and two, and at full size, by our own reader against
// libjpeg-turbo's djpeg: every scan kind (DC and AC first scans and refinements, one component or
// interleaved, restarts), every sampling, damaged scans.

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/picture/PictureFile.h"
#include "platform/picture/jpeg/progressive/JpegProgressiveBands.h"
#include "platform/picture/jpeg/progressive/JpegProgressiveReader.h"
#include "support/PictureFiles.h"
#include "support/ShrunkRows.h"

namespace quillane::test {
namespace {

// The first component's samples, each three times over, as djpeg writes a PGM read as RGB.
RgbPicture LumaOf(const JpegShrunkPicture& picture) {
    const JpegShrunkComponent& luma = picture.Components.at(0);
    RgbPicture out{luma.SamplesWide, luma.SamplesHigh, {}};
    for (const std::uint8_t sample : luma.Samples) out.Rgb.insert(out.Rgb.end(), 3, sample);
    return out;
}

// Shrunk by eight, a progressive file is made from its DC scans by our own reader. Over
// samplings and scan scripts (interleaved or one component at a time, refinements, restarts):
// all sampled alike, the pixels are exactly libjpeg's own decode shrunk by eight; subsampled,
// the luma is exactly libjpeg's and the colours stay close, and QUILLANE_PLAIN_JPEG hands them
// to libjpeg, which matches djpeg exactly. A paint too large for the coarse components' DC grid
// (40 x 30 for 4:2:0) is read shrunk by four instead, where libjpeg would hold every coefficient.
TEST(JpegProgressive, ShrunkByEightFromTheDcScansMatchesLibjpeg) {
    TempDir dir;
    const std::string apart = ScansApart(dir);
    // Name, cjpeg's options, the paint width (high is three quarters of it), exact or close,
    // the shrink the decode comes out at.
    const std::tuple<const char*, std::string, int, bool, int> cases[] = {
        {"p444", "-progressive -sample 1x1", 10, true, 8},
        {"a444", apart + "1x1 -restart 3B", 10, true, 8},
        {"pgray", "-progressive -grayscale -restart 2B", 10, true, 8},
        {"p422", "-progressive -sample 2x1 -restart 1", 10, false, 8},
        {"a420", apart + "2x2 -restart 5B", 10, false, 8},
        {"p440", "-progressive -sample 1x2", 10, false, 8},
        {"a411", apart + "4x1 -restart 1", 10, false, 8},
        {"big420", "-progressive -sample 2x2", 40, false, 4}};
    for (const auto& [name, options, paint, exact, shrink] : cases) {
        SCOPED_TRACE(name);
        const std::string path = dir.Path(std::string(name) + ".jpg");
        ASSERT_TRUE(Cjpeg(Pattern(643, 487), "-quality 95 " + options, path));
        ASSERT_TRUE(DjpegShrunk(path, shrink));
        const BgrImage image = PictureFile::Open(path)->Decode(paint, paint * 3 / 4);
        EXPECT_LT(MeanError(image, ReadPpm(path + ".ppm")), exact ? 1e-9 : 1.5);
        if (shrink != 8) {
            ASSERT_TRUE(DjpegShrunk(path, 8));
        }
        if (!exact) {
            setenv("QUILLANE_PLAIN_JPEG", "1", 1);
            const BgrImage plain = PictureFile::Open(path)->Decode(paint, paint * 3 / 4);
            unsetenv("QUILLANE_PLAIN_JPEG");
            EXPECT_EQ(FirstDifference(plain, ReadPpm(path + ".ppm")), "") << "plain libjpeg";
        }
        auto dc = ReadProgressiveShrunk(ReadBytes(path), 8);
        ASSERT_TRUE(dc.Ok()) << dc.Failure().Why;
        EXPECT_EQ(FirstDifference(LumaOf(dc.Value()), ReadPpm(path + ".pgm")), "");
    }
}

// Bands of luma in two parts, refinements of DC, AC of each colour alone and of luma in two.
constexpr char kScans[] =
    "0 1 2: 0-0, 0, 1; 0: 1-5, 0, 2; 2: 1-63, 0, 1; 1: 1-63, 0, 1; 0: 6-63, 0, 2;"
    " 0: 1-63, 2, 1; 0 1 2: 0-0, 1, 0; 2: 1-63, 1, 0; 1: 1-63, 1, 0; 0: 1-63, 1, 0;";

// Names starting with 's' follow the script above; 643x487 shrunk by four is 161x122. In a
// "dqt" file, tables of ones come before the last scan: libjpeg keeps those of the first scans.
std::string Make(const TempDir& dir, const std::string& name, const std::string& options) {
    WriteBytes(dir.Path("scans.txt"), Bytes(std::begin(kScans), std::end(kScans) - 1));
    const std::string path = dir.Path(name + ".jpg");
    const std::string script = name[0] == 's' ? "-scans " + Quote(dir.Path("scans.txt")) : "";
    EXPECT_TRUE(Cjpeg(Pattern(643, 487), "-quality 92 " + script + " " + options, path));
    if (name.ends_with("dqt")) {
        Bytes b = ReadBytes(path), tables(4 + 2 * 65, 1);  // tables 0 and 1 (ids 0 and 1)
        tables[0] = 0xFF, tables[1] = 0xDB, tables[2] = 0, tables[3] = 2 + 2 * 65, tables[4] = 0;
        std::size_t last = b.size() - 1;
        while (!(b[last - 1] == 0xFF && b[last] == 0xDA)) --last;
        b.insert(b.begin() + static_cast<long>(last) - 1, tables.begin(), tables.end());
        WriteBytes(path, b);
    }
    return path;
}

// A paint of 60x45 wants the shrink by four (twice it is more than the 81x61 of eight), one of
// 150x110 the shrink by two (twice it is more than the 161x122 of four).
TEST(JpegProgressive, ShrunkByFourAndTwoMatchLibjpeg) {
    TempDir dir;
    for (const auto& [name, options, exact] :
         {std::tuple{"s444", "-sample 1x1 -restart 3B", true},
          {"p444", "-progressive -sample 1x1", true},
          {"sdqt", "-sample 1x1", true},
          {"pgray", "-progressive -grayscale -restart 2B", true},
          {"p422", "-progressive -sample 2x1 -restart 1", false},
          {"s420", "-sample 2x2 -restart 5B", false}}) {
        const std::string path = Make(dir, name, options), rgb = path + ".ppm";
        for (const auto& [scale, paintWidth, paintHeight] :
             {std::tuple{4, 60, 45}, {2, 150, 110}}) {
            SCOPED_TRACE(std::string(name) + " shrunk by " + std::to_string(scale));
            ASSERT_TRUE(DjpegShrunk(path, scale));
            const BgrImage image = PictureFile::Open(path)->Decode(paintWidth, paintHeight);
            EXPECT_EQ(exact ? FirstDifference(image, ReadPpm(rgb)) : "", "");
            EXPECT_LT(MeanError(image, ReadPpm(rgb)), 1.5);
            auto read = ReadProgressiveShrunk(ReadBytes(path), scale);
            ASSERT_TRUE(read.Ok()) << read.Failure().Why;
            EXPECT_EQ(FirstDifference(LumaOf(read.Value()), ReadPpm(path + ".pgm")), "");
        }
    }
}

// The frame of a progressive file, as the decoder reads it before it picks a reader.
JpegFrame FrameOf(const Bytes& b) {
    JpegFrame frame;
    for (std::size_t i = 0; i + 4 < b.size(); ++i) {
        if (b[i] == 0xFF && b[i + 1] == kProgressiveHuffmanFrame) {
            const std::size_t length = std::size_t{b[i + 2]} << 8 | b[i + 3];
            EXPECT_FALSE(ReadJpegFrame(b[i + 1], std::span(b).subspan(i + 4, length - 2), frame));
            break;
        }
    }
    return frame;
}

// The luma of a file at full size through our reader in bands of `mcuRows` MCU rows.
RgbPicture LumaInBands(const Bytes& bytes, int mcuRows) {
    auto read = OpenProgressiveFullSize(bytes, FrameOf(bytes), JpegShrunkColour::Gray, mcuRows);
    return read.Ok() ? GrayRows(*read.Value()) : RgbPicture{};
}

// At full size (a paint over half the picture each way) our reader decodes a band of MCU rows
// at a time, each scan going on where the band before left it: across restarts, end-of-band
// runs and refinements, with bands of one MCU row, of three, and of the reader's own size, the
// luma is exactly libjpeg's; all sampled alike, so are the pixels, also of a noisy picture whose
// every coefficient counts. Rows asked for again once their band is gone fail as damage.
TEST(JpegProgressive, FullSizeInBandsMatchesLibjpeg) {
    TempDir dir;
    RgbPicture noise = Pattern(643, 487);
    std::uint32_t state = 1;  // a linear congruential sequence: the same noise every run
    for (std::uint8_t& sample : noise.Rgb) {
        state = state * 1664525 + 1013904223;
        sample = static_cast<std::uint8_t>(sample / 2 + (state >> 25));
    }
    for (const auto& [name, options, exact] :
         {std::tuple{"s444", "-sample 1x1 -restart 3B", true},
          {"noise", "-progressive -sample 1x1 -quality 98", true},
          {"pgray", "-progressive -grayscale -restart 2B", true},
          {"p422", "-progressive -sample 2x1 -restart 1", false},
          {"s420", "-sample 2x2", false}}) {
        SCOPED_TRACE(name);
        std::string path = dir.Path(std::string(name) + ".jpg");
        if (name == std::string("noise")) {
            ASSERT_TRUE(Cjpeg(noise, options, path));
        } else {
            path = Make(dir, name, options);
        }
        const std::string rgb = path + ".ppm";
        ASSERT_TRUE(DjpegShrunk(path, 1));
        const BgrImage image = PictureFile::Open(path)->Decode(643, 487);
        EXPECT_EQ(exact ? FirstDifference(image, ReadPpm(rgb)) : "", "");
        EXPECT_LT(MeanError(image, ReadPpm(rgb)), 0.5);
        const Bytes bytes = ReadBytes(path);
        for (const int mcuRows : {1, 3, 0}) {
            EXPECT_EQ(FirstDifference(LumaInBands(bytes, mcuRows), ReadPpm(path + ".pgm")), "")
                << mcuRows << " MCU rows a band";
        }
        auto read = OpenProgressiveFullSize(bytes, FrameOf(bytes), JpegShrunkColour::Gray, 1);
        ASSERT_TRUE(read.Ok());
        std::vector<std::uint8_t> row(643);
        for (int y = 0; y < 40; ++y) ASSERT_TRUE(read.Value()->Row(y, row.data()));
        EXPECT_FALSE(read.Value()->Row(0, row.data()));
        EXPECT_EQ(read.Value()->Failure().Number, ErrorNumber::InvalidPicture);
    }
}

// A band holds a few MiB of a photograph; a picture so wide that a band would be one MCU row
// is read in at most 64 bands all the same, each a walk over the whole file.
TEST(JpegProgressive, BandsStaySmallAndFew) {
    JpegFrame photo{true, false, 8, 4096, 4096, {{1, 1, 1, 0}, {2, 1, 1, 1}, {3, 1, 1, 1}}};
    const int rows = ProgressiveBandMcuRows(photo);
    EXPECT_GT(512 / rows, 8);  // several bands, not the whole picture
    EXPECT_LT(ProgressiveFullSizeBytes(photo), 8 << 20);
    JpegFrame wide{true, false, 8, 65000, 2080, {{1, 2, 2, 0}, {2, 1, 1, 1}, {3, 1, 1, 1}}};
    EXPECT_LE((130 + ProgressiveBandMcuRows(wide) - 1) / ProgressiveBandMcuRows(wide), 64);
}

// Damaged or cut AC scans, and bands out of their rules, raise 481.
TEST(JpegProgressive, DamagedScansAreRefused) {
    TempDir dir;
    const Bytes good = ReadBytes(Make(dir, "s420", "-sample 2x2 -restart 1"));
    std::vector<std::size_t> ss;  // where each scan header holds its band's start
    for (std::size_t i = 0; i + 4 < good.size(); ++i) {
        if (good[i] == 0xFF && good[i + 1] == 0xDA) ss.push_back(i + 5 + 2 * good[i + 4]);
    }
    ASSERT_EQ(ss.size(), 10u);
    std::size_t restart = ss[1];  // the first restart marker of the first AC scan
    while (!(good[restart] == 0xFF && good[restart + 1] == 0xD0)) ++restart;
    // The byte changed, or where the file is cut when the value is -1.
    for (const auto& [name, at, value] : {std::tuple{"cut in an AC scan", (ss[3] + ss[4]) / 2, -1},
                                          {"cut in the last scan", good.size() - 20, -1},
                                          {"a marker inside AC data", (ss[5] + ss[6]) / 2, 0xFF},
                                          {"a restart out of turn", restart + 1, 0xD3},
                                          {"a band past 63", ss[1] + 1, 64},
                                          {"a band backwards", ss[1], 6},
                                          {"DC and AC in one scan", ss[1], 0},
                                          {"a refinement before its first scan", ss[1] + 2, 0x21},
                                          {"a refinement of two bits", ss[5] + 2, 0x20},
                                          {"a first scan twice", ss[5] + 2, 0x01}}) {
        SCOPED_TRACE(name);
        Bytes bad(good.begin(), value < 0 ? good.begin() + static_cast<long>(at) : good.end());
        if (value >= 0) bad[at] = static_cast<std::uint8_t>(value);
        EXPECT_FALSE(ReadProgressiveShrunk(bad, 4).Ok());
        EXPECT_EQ(LumaInBands(bad, 2).Width, 0) << "at full size";
        WriteBytes(dir.Path("bad.jpg"), bad);
        const Raised raised =
            RaisedBy([&] { (void)PictureFile::Open(dir.Path("bad.jpg"))->Decode(60, 45); });
        EXPECT_EQ(raised.Number, ErrorNumber::InvalidPicture) << raised.Description;
    }
}

}  // namespace
}  // namespace quillane::test
