// Progressive JPEGs shrunk by four by our own reader against libjpeg-turbo's djpeg: every
// scan kind (DC and AC first scans and refinements, one component or interleaved, restarts).

#include <gtest/gtest.h>

#include "platform/picture/JpegDcScans.h"
#include "platform/picture/PictureFile.h"
#include "support/PictureFiles.h"

namespace quillane::test {
namespace {

// Bands of luma in two parts, refinements of DC, AC of each colour alone and of luma in two.
constexpr char kScans[] =
    "0 1 2: 0-0, 0, 1; 0: 1-5, 0, 2; 2: 1-63, 0, 1; 1: 1-63, 0, 1; 0: 6-63, 0, 2;"
    " 0: 1-63, 2, 1; 0 1 2: 0-0, 1, 0; 2: 1-63, 1, 0; 1: 1-63, 1, 0; 0: 1-63, 1, 0;";

std::string Make(const TempDir& dir, const std::string& name, const std::string& options) {
    WriteBytes(dir.Path("scans.txt"), Bytes(std::begin(kScans), std::end(kScans) - 1));
    const std::string path = dir.Path(name + ".jpg"),
                      script = "-scans " + Quote(dir.Path("scans.txt"));
    EXPECT_TRUE(Cjpeg(Pattern(643, 487),
                      "-quality 92 " + (name[0] == 's' ? script : "") + " " + options, path));
    return path;
}

// 643x487 shrunk by four is 161x122: a paint of 60x45 wants that (twice it beats 81x61).
TEST(JpegQuarter, ShrunkByFourMatchesLibjpeg) {
    TempDir dir;
    for (const auto& [name, options, exact] :
         {std::tuple{"s444", "-sample 1x1 -restart 3B", true},
          {"p444", "-progressive -sample 1x1", true},
          {"pgray", "-progressive -grayscale -restart 2B", true},
          {"p422", "-progressive -sample 2x1 -restart 1", false},
          {"s420", "-sample 2x2 -restart 5B", false},
          {"s422", "-sample 2x1", false}}) {
        SCOPED_TRACE(name);
        const std::string path = Make(dir, name, options), quarter = path + ".ppm",
                          luma = path + ".pgm";
        ASSERT_TRUE(Shell("djpeg -dct int -scale 1/4 -outfile " + Quote(quarter) + " " +
                          Quote(path) + " && djpeg -dct int -scale 1/4 -grayscale -outfile " +
                          Quote(luma) + " " + Quote(path)));
        const BgrImage image = PictureFile::Open(path)->Decode(60, 45);
        if (exact) {
            EXPECT_EQ(FirstDifference(image, ReadPpm(quarter)), "");
        }
        EXPECT_LT(MeanError(image, ReadPpm(quarter)), 1.5);
        auto read = ReadJpegQuarter(ReadBytes(path));
        ASSERT_TRUE(read.Ok()) << read.Failure().Why;
        const JpegDcComponent& y = read.Value().Components[0];
        RgbPicture ours{y.SamplesWide, y.SamplesHigh, {}};
        for (const std::uint8_t sample : y.Samples) ours.Rgb.insert(ours.Rgb.end(), 3, sample);
        EXPECT_EQ(FirstDifference(ours, ReadPpm(luma)), "");
    }
}

// Damaged or cut AC scans, and bands out of their rules, raise 481.
TEST(JpegQuarter, DamagedScansAreRefused) {
    TempDir dir;
    const Bytes good = ReadBytes(Make(dir, "s420", "-sample 2x2 -restart 1"));
    std::vector<std::size_t> scans;  // each scan header's Ss
    for (std::size_t i = 0; i + 4 < good.size(); ++i) {
        if (good[i] == 0xFF && good[i + 1] == 0xDA) scans.push_back(i + 5 + 2 * good[i + 4]);
    }
    ASSERT_EQ(scans.size(), 10u);
    const std::size_t acFirst = scans[1], acRefine = scans[5];
    std::size_t restart = acFirst;  // the first restart marker of the first AC scan
    while (!(good[restart] == 0xFF && good[restart + 1] == 0xD0)) ++restart;
    const struct {
        const char* Name;
        std::size_t At;  // the byte changed, or where the file is cut when Value is -1
        int Value;
    } cases[] = {{"cut in an AC scan", (scans[3] + scans[4]) / 2, -1},
                 {"cut in the last scan", good.size() - 20, -1},
                 {"a marker inside AC data", (acRefine + scans[6]) / 2, 0xFF},
                 {"a restart out of turn", restart + 1, 0xD3},
                 {"a marker after a restart", restart + 2, 0xFF},
                 {"a band past 63", acFirst + 1, 64},
                 {"a band backwards", acFirst, 6},
                 {"DC and AC in one scan", acFirst, 0},
                 {"a refinement before its first scan", acFirst + 2, 0x21},
                 {"a refinement of two bits", acRefine + 2, 0x20},
                 {"a first scan twice", acRefine + 2, 0x01}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        Bytes bad(good.begin(), c.Value < 0 ? good.begin() + c.At : good.end());
        if (c.Value >= 0) bad[c.At] = static_cast<std::uint8_t>(c.Value);
        auto read = ReadJpegQuarter(bad);
        EXPECT_FALSE(read.Ok());
        WriteBytes(dir.Path("bad.jpg"), bad);
        const Raised raised =
            RaisedBy([&] { (void)PictureFile::Open(dir.Path("bad.jpg"))->Decode(60, 45); });
        EXPECT_EQ(raised.Number, ErrorNumber::InvalidPicture) << raised.Description;
    }
}

}  // namespace
}  // namespace quillane::test
