// Pictures stored in other colour spaces come out in sRGB: each is compared with the sRGB
// picture it was made from, at full size and streamed into the filter (shrunk by eight, which
// reads a progressive file's DC scans alone). Profiles that cannot be used leave the pixels as
// an untagged file gives them, with no error. Fixtures: ImageMagick's -profile with Debian's
// colord profiles, and a CMYK profile made here with Little CMS.

#include <gtest/gtest.h>
#include <lcms2.h>

#include "platform/picture/PictureFile.h"
#include "support/PictureFiles.h"

namespace quillane::test {
namespace {

using Byte = std::uint8_t;
const std::string kIcc = "/usr/share/color/icc/colord/";

// Both decodes of the file, full size and stretched, against those of the reference file.
double WorstError(const std::string& path, const std::string& reference) {
    const auto file = PictureFile::Open(path), ref = PictureFile::Open(reference);
    return std::max(
        MeanError(file->Decode(0, 0), ToRgb(ref->Decode(0, 0).View())),
        // an eighth of the picture, by the loader's margin
        MeanError(file->DecodeStretched(16, 12), ToRgb(ref->DecodeStretched(16, 12).View())));
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

// A CMYK printer profile whose cyan and magenta are each other's: its inks c, m, y, k look like
// m, c, y, k by the plain subtractive rule.
Bytes SwappedInkProfile() {
    cmsHPROFILE lab = cmsCreateLab4Profile(nullptr), srgb = cmsCreate_sRGBProfile();
    cmsHTRANSFORM toLab =
        cmsCreateTransform(srgb, TYPE_RGB_DBL, lab, TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC, 0);
    cmsHPROFILE cmyk = cmsCreateProfilePlaceholder(nullptr);
    cmsSetDeviceClass(cmyk, cmsSigOutputClass);
    cmsSetColorSpace(cmyk, cmsSigCmykData);
    cmsSetPCS(cmyk, cmsSigLabData);
    cmsWriteTag(cmyk, cmsSigMediaWhitePointTag, cmsD50_XYZ());
    cmsPipeline* lut = cmsPipelineAlloc(nullptr, 4, 3);
    cmsStage* grid = cmsStageAllocCLut16bit(nullptr, 11, 4, 3, nullptr);
    cmsStageSampleCLut16bit(
        grid,
        [](const cmsUInt16Number in[], cmsUInt16Number out[], void* transform) -> cmsInt32Number {
            const double k = 1 - in[3] / 65535.0;
            const double rgb[3] = {(1 - in[1] / 65535.0) * k, (1 - in[0] / 65535.0) * k,
                                   (1 - in[2] / 65535.0) * k};
            cmsCIELab colour;
            cmsDoTransform(static_cast<cmsHTRANSFORM>(transform), rgb, &colour, 1);
            cmsFloat2LabEncoded(out, &colour);
            return TRUE;
        },
        toLab, 0);
    cmsPipelineInsertStage(lut, cmsAT_END, grid);
    cmsWriteTag(cmyk, cmsSigAToB0Tag, lut);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(cmyk, nullptr, &size);
    Bytes icc(size);
    cmsSaveProfileToMem(cmyk, icc.data(), &size);
    cmsPipelineFree(lut), cmsCloseProfile(cmyk), cmsDeleteTransform(toLab);
    cmsCloseProfile(srgb), cmsCloseProfile(lab);
    return icc;
}

// Each file against the one it must match: tagged ones against the sRGB original, closely.
// Chunks are joined by their sequence numbers; missing, repeated, miscounted or misnumbered ones,
// profiles that cannot be used and sRGB's own all give exactly the pixels the untagged file gives,
// with no error.
TEST(ColourProfile, TaggedPicturesComeOutInSrgbAndUnusableProfilesAreIgnored) {
    TempDir dir;
    WritePpm(dir.Path("p.ppm"), Pattern(256, 192));
    // The sRGB pattern converted into the profile's colours, written by ImageMagick.
    auto Make = [&](const std::string& name, const std::string& options) {
        EXPECT_TRUE(Convert(dir.Path("p.ppm"), options + " -quality 95", dir.Path(name)));
        return dir.Path(name);
    };
    auto Tagged = [&](const std::string& name, const std::string& profile,
                      const std::string& options = "") {
        return Make(name,
                    "-profile " + kIcc + "sRGB.icc -profile " + kIcc + profile + " " + options);
    };
    const std::string jpeg = Make("srgb.jpg", ""),
                      progressive = Make("srgbp.jpg", "-interlace JPEG");
    const std::string bmp = Make("srgb.bmp", ""), png = Make("srgb.png", "");
    // An Adobe RGB camera photo that says so only in EXIF: IFD0 points to the Exif IFD, which
    // says "uncalibrated" and points to the interoperability IFD, whose index is "R03".
    const std::string exif = Tagged("exif.jpg", "AdobeRGB1998.icc", "+profile icc");
    // clang-format off
    InsertAfterStart(exif, {0xFF, 0xE1, 0, 82, 'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0,
                            1, 0, 0x69, 0x87, 4, 0, 1, 0, 0, 0, 26, 0, 0, 0, 0, 0, 0, 0, 2, 0, 1,
                            0xA0, 3, 0, 1, 0, 0, 0, 0xFF, 0xFF, 0, 0, 5, 0xA0, 4, 0, 1, 0, 0, 0, 56,
                            0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 2, 0, 4, 0, 0, 0, 'R', '0', '3', 0, 0, 0,
                            0, 0});
    // clang-format on
    // A V4/V5 BMP may give its primaries' XYZ and gammas instead of a profile: Adobe RGB's here,
    // after bV5CSType 0 (calibrated); endpoints in 2.30 fixed point, gammas in 16.16.
    Bytes calibrated = ReadBytes(Tagged("c.bmp", "AdobeRGB1998.icc"));
    const double fields[13] = {0,      0.5767, 0.2973, 0.0270,      0.1856,      0.6274,     0.0707,
                               0.1882, 0.0753, 0.9911, 563.0 / 256, 563.0 / 256, 563.0 / 256};
    for (int i = 0; i < 13; ++i)
        for (int b = 0; b < 4; ++b)
            calibrated[70 + 4 * i + b] =
                Byte(std::uint32_t(fields[i] * (i < 10 ? 1 << 30 : 1 << 16)) >> (8 * b));
    WriteBytes(dir.Path("c.bmp"), calibrated);
    // The plain rule's inks with cyan and magenta traded, stored inverted as Photoshop does.
    Make("cmyk.jpg", "-colorspace CMYK -separate -swap 0,1 -set colorspace CMYK -combine");
    const Bytes ink = SwappedInkProfile();
    EmbedChunks(dir.Path("cmyk.jpg"), ink, {{1, 2, 0, 60000}, {2, 2, 60000, ink.size() - 60000}});
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
        {Tagged("s.jpg", "SwappedRedAndGreen.icc"), jpeg, 1},
        {Tagged("s.bmp", "SwappedRedAndGreen.icc"), bmp, 0.5},
        {Tagged("s.png", "SwappedRedAndGreen.icc"), png, 0.5},
        {exif, jpeg, 1.5},
        {dir.Path("c.bmp"), bmp, 1},
        {dir.Path("cmyk.jpg"), jpeg, 2},
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
