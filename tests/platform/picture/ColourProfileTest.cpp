// Pictures stored in other colour spaces come out in sRGB: each is compared with the sRGB
// picture it was made from, at full size and streamed into the filter (shrunk by eight, which
// reads a progressive file's DC scans alone). Profiles that cannot be used leave the pixels as
// an untagged file gives them, with no error. Fixtures: ImageMagick's -profile with Debian's
// colord profiles. (A CMYK profile, EXIF's Adobe RGB mark and a BMP's calibrated primaries are
// not covered here.)

#include <gtest/gtest.h>

#include "platform/picture/PictureFile.h"
#include "support/PictureFiles.h"

namespace quillane::test {
namespace {

using Byte = std::uint8_t;
const std::string kIcc = "/usr/share/color/icc/colord/";
constexpr int kPaint[2] = {16, 12};  // an eighth of the picture, by the loader's margin

// Both decodes of the file, full size and stretched, against those of the reference file.
double WorstError(const std::string& path, const std::string& reference) {
    const auto file = PictureFile::Open(path), ref = PictureFile::Open(reference);
    return std::max(MeanError(file->Decode(0, 0), ToRgb(ref->Decode(0, 0).View())),
                    MeanError(file->DecodeStretched(kPaint[0], kPaint[1]),
                              ToRgb(ref->DecodeStretched(kPaint[0], kPaint[1]).View())));
}

// APP2 segments carrying the chunks (sequence number, count, first byte, length) of a profile.
struct Chunk {
    int Sequence, Count;
    std::size_t From, Length;
};
void EmbedChunks(const std::string& jpeg, const Bytes& icc, const std::vector<Chunk>& chunks) {
    Bytes segments;
    for (const Chunk& c : chunks) {
        const std::size_t length = 2 + 12 + 2 + c.Length;
        segments.insert(segments.end(), {0xFF, 0xE2, Byte(length >> 8), Byte(length)});
        segments.insert(segments.end(), "ICC_PROFILE", "ICC_PROFILE" + 12);
        segments.insert(segments.end(), {Byte(c.Sequence), Byte(c.Count)});
        segments.insert(segments.end(), icc.begin() + c.From, icc.begin() + c.From + c.Length);
    }
    InsertAfterStart(jpeg, segments);
}

class ColourProfile : public ::testing::Test {
  protected:
    void SetUp() override { WritePpm(dir.Path("p.ppm"), Pattern(256, 192)); }
    // The sRGB pattern converted into the profile's colours, written by ImageMagick.
    std::string Make(const std::string& name, const std::string& options) {
        EXPECT_TRUE(Convert(dir.Path("p.ppm"), options + " -quality 95", dir.Path(name)));
        return dir.Path(name);
    }
    std::string Tagged(const std::string& name, const std::string& profile,
                       const std::string& options = "") {
        return Make(name,
                    "-profile " + kIcc + "sRGB.icc -profile " + kIcc + profile + " " + options);
    }
    TempDir dir;
};

// Each file against the one it must match: tagged ones against the sRGB original, closely.
// Chunks are joined by their sequence numbers; missing, repeated, miscounted or misnumbered ones,
// profiles that cannot be used and sRGB's own all give exactly the pixels the untagged file gives,
// with no error.
TEST_F(ColourProfile, TaggedPicturesComeOutInSrgbAndUnusableProfilesAreIgnored) {
    const std::string jpeg = Make("srgb.jpg", ""),
                      progressive = Make("srgbp.jpg", "-interlace JPEG");
    const std::string bmp = Make("srgb.bmp", ""), png = Make("srgb.png", "");
    const Bytes icc = ReadBytes(kIcc + "SwappedRedAndGreen.icc");
    const Bytes adobe = ReadBytes(kIcc + "AdobeRGB1998.icc");
    const std::size_t third = icc.size() / 3, rest = icc.size() - 2 * third;
    Bytes absurd = adobe, hugeTagCount = adobe;
    for (std::size_t i = 128; i < absurd.size(); i += 7) absurd[i] ^= 0x5A;  // tags, table
    hugeTagCount[128] = hugeTagCount[129] = 0xFF;
    const std::string rgb = Tagged("plain.jpg", "SwappedRedAndGreen.icc", "+profile icc");
    const std::string gray = Make("gray.jpg", "-colorspace gray");
    // A copy of the untagged file carrying the chunks of a profile (none: the whole in one).
    int copies = 0;
    auto embed = [&](const std::string& untagged, const Bytes& profile,
                     const std::vector<Chunk>& chunks = {}) {
        const std::string path = dir.Path(std::to_string(++copies) + ".jpg");
        WriteBytes(path, ReadBytes(untagged));
        EmbedChunks(path, profile,
                    chunks.empty() ? std::vector<Chunk>{{1, 1, 0, profile.size()}} : chunks);
        return path;
    };
    const struct {
        std::string Path, Reference;
        double Within;
    } cases[] = {
        {Tagged("ap.jpg", "AdobeRGB1998.icc", "-interlace JPEG"), progressive, 1.5},
        {Tagged("pp.jpg", "ProPhotoRGB.icc", "-interlace JPEG"), progressive, 2},
        {Tagged("s.jpg", "SwappedRedAndGreen.icc"), jpeg, 1},
        {Tagged("s.bmp", "SwappedRedAndGreen.icc"), bmp, 0.5},
        {Tagged("s.png", "SwappedRedAndGreen.icc"), png, 0.5},
        {embed(rgb, icc, {{3, 3, 2 * third, rest}, {1, 3, 0, third}, {2, 3, third, third}}), jpeg,
         2},
        {embed(rgb, icc, {{1, 3, 0, third}, {3, 3, 2 * third, rest}}), rgb, 0},
        {embed(rgb, icc, {{1, 2, 0, third}, {1, 2, 0, third}, {2, 2, third, third + rest}}), rgb,
         0},
        {embed(rgb, icc, {{1, 2, 0, third}, {2, 3, third, third + rest}}), rgb, 0},
        {embed(rgb, icc, {{0, 1, 0, icc.size()}}), rgb, 0},
        {embed(gray, adobe), gray, 0},
        {embed(rgb, ReadBytes(kIcc + "sRGB.icc")), rgb, 0},
        {embed(rgb, Bytes(adobe.begin(), adobe.begin() + 300)), rgb, 0},
        {embed(rgb, absurd), rgb, 0},
        {embed(rgb, hugeTagCount), rgb, 0},
        {embed(rgb, Bytes(4000, 0xFF)), rgb, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Path);
        EXPECT_LE(WorstError(c.Path, c.Reference), c.Within);
    }
}

}  // namespace
}  // namespace quillane::test
