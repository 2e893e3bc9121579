// Pictures stored in other colour spaces come out in sRGB: each is compared with the sRGB
// picture it was made from, at full size and streamed into the filter (shrunk by eight, which
// reads a progressive file's DC scans alone). Profiles that cannot be used leave the pixels as
// an untagged file gives them, with no error. Fixtures: ImageMagick's -profile with Debian's
// colord profiles.

#include <gtest/gtest.h>

#include <algorithm>

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

TEST_F(ColourProfile, TaggedPicturesComeOutInSrgb) {
    const std::string jpeg = Make("srgb.jpg", ""),
                      progressive = Make("srgbp.jpg", "-interlace JPEG");
    const std::string bmp = Make("srgb.bmp", ""), png = Make("srgb.png", "");
    // An Adobe RGB camera photo that says so only in EXIF.
    const std::string exif = Tagged("exif.jpg", "AdobeRGB1998.icc", "+profile icc");
    // clang-format off
    Bytes app1 = {0xFF, 0xE1, 0, 0, 'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0,
                  1, 0, 0x69, 0x87, 4, 0, 1, 0, 0, 0, 26, 0, 0, 0, 0, 0, 0, 0,   // IFD0: Exif IFD
                  2, 0, 1, 0xA0, 3, 0, 1, 0, 0, 0, 0xFF, 0xFF, 0, 0,             // uncalibrated
                  5, 0xA0, 4, 0, 1, 0, 0, 0, 56, 0, 0, 0, 0, 0, 0, 0,            // interop IFD
                  1, 0, 1, 0, 2, 0, 4, 0, 0, 0, 'R', '0', '3', 0, 0, 0, 0, 0};   // "R03"
    // clang-format on
    app1[3] = Byte(app1.size() - 2);
    InsertAfterStart(exif, app1);
    // A V4/V5 BMP may give its primaries' XYZ and gammas instead of a profile: Adobe RGB's here.
    Bytes calibrated = ReadBytes(Tagged("c.bmp", "AdobeRGB1998.icc"));
    const double endpoints[9] = {0.5767, 0.2973, 0.0270, 0.1856, 0.6274,
                                 0.0707, 0.1882, 0.0753, 0.9911};
    for (int i = 0; i < 13; ++i) {  // bV5CSType 0 (calibrated), endpoints 2.30, gammas 16.16
        const auto v = std::uint32_t(i == 0 ? 0 : i < 10 ? endpoints[i - 1] * (1 << 30) : 563 << 8);
        for (int b = 0; b < 4; ++b) calibrated[14 + 56 + 4 * i + b] = Byte(v >> (8 * b));
    }
    WriteBytes(dir.Path("c.bmp"), calibrated);
    const struct {
        std::string Path, Reference;
        double Within;
    } cases[] = {
        {dir.Path("c.bmp"), bmp, 1},
        {Tagged("ap.jpg", "AdobeRGB1998.icc", "-interlace JPEG"), progressive, 1.5},
        {Tagged("pp.jpg", "ProPhotoRGB.icc", "-interlace JPEG"), progressive, 2},
        {Tagged("s.jpg", "SwappedRedAndGreen.icc"), jpeg, 1},
        {Tagged("sp.jpg", "SwappedRedAndGreen.icc", "-interlace JPEG"), progressive, 1},
        {Tagged("s.bmp", "SwappedRedAndGreen.icc"), bmp, 0.5},
        {Tagged("s.png", "SwappedRedAndGreen.icc"), png, 0.5},
        {exif, jpeg, 1.5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Path);
        EXPECT_LT(WorstError(c.Path, c.Reference), c.Within);
    }
}

// Chunks are joined by their sequence numbers; missing, repeated, miscounted or misnumbered
// ones, profiles that cannot be used and sRGB's own all give the pixels an untagged file gives:
// no error, no conversion.
TEST_F(ColourProfile, ChunksAreJoinedBySequenceAndUnusableProfilesAreIgnored) {
    const Bytes icc = ReadBytes(kIcc + "SwappedRedAndGreen.icc");
    const Bytes adobe = ReadBytes(kIcc + "AdobeRGB1998.icc");
    const std::size_t third = icc.size() / 3, rest = icc.size() - 2 * third;
    Bytes absurd = adobe, hugeTagCount = adobe;
    for (std::size_t i = 128; i < absurd.size(); i += 7) absurd[i] ^= 0x5A;  // tags, table
    hugeTagCount[128] = hugeTagCount[129] = 0xFF;
    const std::string rgb = Tagged("plain.jpg", "SwappedRedAndGreen.icc", "+profile icc");
    const std::string gray = Make("gray.jpg", "-colorspace gray"), srgb = Make("srgb.jpg", "");
    const struct {
        Bytes Icc;
        std::vector<Chunk> Chunks;  // none: the whole profile in one
        const std::string& Untagged;
        bool Used = false;
    } cases[] = {
        {icc, {{3, 3, 2 * third, rest}, {1, 3, 0, third}, {2, 3, third, third}}, rgb, true},
        {icc, {{1, 3, 0, third}, {3, 3, 2 * third, rest}}, rgb},
        {icc, {{1, 2, 0, third}, {1, 2, 0, third}, {2, 2, third, third + rest}}, rgb},
        {icc, {{1, 2, 0, third}, {2, 3, third, third + rest}}, rgb},
        {icc, {{0, 1, 0, icc.size()}}, rgb},
        {adobe, {}, gray},
        {ReadBytes(kIcc + "sRGB.icc"), {}, rgb},
        {Bytes(adobe.begin(), adobe.begin() + 300), {}, rgb},
        {absurd, {}, rgb},
        {hugeTagCount, {}, rgb},
        {Bytes(4000, 0xFF), {}, rgb},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        const auto& c = cases[i];
        const std::string path = dir.Path(std::to_string(i) + ".jpg");
        WriteBytes(path, ReadBytes(c.Untagged));
        EmbedChunks(path, c.Icc,
                    c.Chunks.empty() ? std::vector<Chunk>{{1, 1, 0, c.Icc.size()}} : c.Chunks);
        // Used: close to the sRGB original; ignored: exactly what the untagged file gives.
        EXPECT_LE(WorstError(path, c.Used ? srgb : c.Untagged), c.Used ? 2 : 0);
    }
}

}  // namespace
}  // namespace quillane::test
