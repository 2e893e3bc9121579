#pragma once
// Picture files for the tests: the reference tools (ImageMagick, libjpeg-turbo's cjpeg and
// djpeg), an independent JPEG decode, PPM files, a test pattern in which a flip,
// a mirror or a row out of place shows, and pixel comparison.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "platform/base/RuntimeError.h"
#include "platform/raster/BgrImage.h"
#include "support/FolderFixtures.h"

namespace quillane::test {

using Bytes = std::vector<std::uint8_t>;
using TempDir = ::quillane::testing::TempFolder;

// Through the shell; true when it exits with 0.
inline bool Shell(const std::string& command) {
    return std::system((command + " 2>/dev/null").c_str()) == 0;
}
inline bool HaveTool(const char* name) {
    return Shell(std::string("command -v ") + name + " >/dev/null 2>&1");
}
inline std::string Quote(const std::string& path) {
    return "'" + path + "'";
}
// ImageMagick: `convert 'from' options format:'to'` (format empty: by the name).
inline bool Convert(const std::string& from, const std::string& options, const std::string& to,
                    const std::string& format = "") {
    return Shell("convert " + Quote(from) + " " + options + " " +
                 (format.empty() ? "" : format + ":") + Quote(to));
}

inline void WriteBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary) << std::string(bytes.begin(), bytes.end());
}
inline Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// An APP1 block carrying only IFD0 with a maker string (at 22) and the orientation (at 34).
inline Bytes ExifSegment(int orientation, bool bigEndian) {
    Bytes s = {0xFF, 0xE1, 0, 0, 'E', 'x', 'i', 'f', 0, 0};
    auto u16 = [&](unsigned v) {
        s.insert(s.end(),
                 {std::uint8_t(bigEndian ? v >> 8 : v), std::uint8_t(bigEndian ? v : v >> 8)});
    };
    auto u32 = [&](unsigned v) { bigEndian ? (u16(v >> 16), u16(v)) : (u16(v), u16(v >> 16)); };
    u16(bigEndian ? 0x4D4D : 0x4949);  // "MM" or "II" (a fill insert here trips GCC 12 at -O3)
    u16(42), u32(8), u16(2), u16(0x010F), u16(2), u32(4), s.insert(s.end(), {'A', 'b', 'c', 0});
    u16(0x0112), u16(3), u32(1), u16(unsigned(orientation)), u16(0), u32(0);
    s[2] = std::uint8_t((s.size() - 2) >> 8), s[3] = std::uint8_t(s.size() - 2);
    return s;
}

// Puts segments right after the start marker of the JPEG file.
inline void InsertAfterStart(const std::string& jpeg, const Bytes& segments) {
    Bytes bytes = ReadBytes(jpeg);
    bytes.insert(bytes.begin() + 2, segments.begin(), segments.end());
    WriteBytes(jpeg, bytes);
}
inline void AddExifOrientation(const std::string& jpeg, int orientation, bool bigEndian = false) {
    InsertAfterStart(jpeg, ExifSegment(orientation, bigEndian));
}

// An RGB picture, the way reference tools write it.
struct RgbPicture {
    int Width = 0;
    int Height = 0;
    Bytes Rgb;  // 3 bytes a pixel, rows top-down, no padding
    const std::uint8_t* At(int x, int y) const { return &Rgb[(std::size_t(y) * Width + x) * 3]; }
};

// Smooth ramps (red across, green down, blue along the diagonal), a black 4x4 block in the
// top-left corner and a white one in the bottom-right.
inline RgbPicture Pattern(int width, int height) {
    RgbPicture p{width, height, {}};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool black = x < 4 && y < 4, white = x >= width - 4 && y >= height - 4;
            if (black || white)
                p.Rgb.insert(p.Rgb.end(), 3, white ? 255 : 0);
            else
                p.Rgb.insert(p.Rgb.end(), {std::uint8_t(40 + 170 * x / width),
                                           std::uint8_t(40 + 170 * y / height),
                                           std::uint8_t(200 - 100 * (x + y) / (width + height))});
        }
    return p;
}

// Copies an RGB picture into BGR rows (row 0 the top line; a negative stride is bottom-up).
inline void PaintBgr(const RgbPicture& picture, const BgrView& view) {
    for (int y = 0; y < picture.Height; ++y)
        for (int x = 0; x < picture.Width; ++x)
            for (int c = 0; c < 3; ++c) view.Row(y)[x * 3 + c] = picture.At(x, y)[2 - c];
}

inline RgbPicture ParsePpm(const Bytes& bytes) {  // binary P5 or P6, 8 bits
    std::istringstream header(std::string(bytes.begin(), bytes.end()));
    std::string magic;
    int maxValue = 0;
    RgbPicture p;
    header >> magic >> p.Width >> p.Height >> maxValue;
    const std::size_t start = std::size_t(header.tellg()) + 1,
                      pixels = std::size_t(p.Width) * p.Height, channels = magic == "P6" ? 3 : 1;
    if ((magic != "P6" && magic != "P5") || maxValue != 255 ||
        bytes.size() < start + pixels * channels)
        return {};
    for (std::size_t i = 0; i < pixels * 3; ++i)
        p.Rgb.push_back(bytes[start + i / 3 * channels + (channels == 3 ? i % 3 : 0)]);
    return p;
}
inline RgbPicture ReadPpm(const std::string& path) {
    return ParsePpm(ReadBytes(path));
}
inline void WritePpm(const std::string& path, const RgbPicture& picture) {
    std::ofstream(path, std::ios::binary) << "P6\n"
                                          << picture.Width << ' ' << picture.Height << "\n255\n"
                                          << std::string(picture.Rgb.begin(), picture.Rgb.end());
}

// Writes the picture as a PPM beside the JPEG to be and compresses it with cjpeg.
inline bool Cjpeg(const RgbPicture& picture, const std::string& options, const std::string& jpeg) {
    WritePpm(jpeg + ".ppm", picture);
    return Shell("cjpeg " + options + " -outfile " + Quote(jpeg) + " " + Quote(jpeg + ".ppm"));
}

// Writes JPEG.ppm (colour) and JPEG.pgm (luma alone) beside the file, shrunk by 1/denominator
// with libjpeg's accurate integer transform, as our readers and the decoder ask it for.
inline bool DjpegShrunk(const std::string& jpeg, int denominator) {
    const std::string options = " -dct int -scale 1/" + std::to_string(denominator) + " -outfile ";
    return Shell("djpeg" + options + Quote(jpeg + ".ppm") + " " + Quote(jpeg) +
                 " && djpeg -grayscale" + options + Quote(jpeg + ".pgm") + " " + Quote(jpeg));
}

// Options for cjpeg (the sampling to follow) writing a progressive file whose DC scans come one
// component at a time with two refinements (the last interleaved), AC between.
inline std::string ScansApart(const TempDir& dir) {
    const std::string script = dir.Path("dc-apart.txt");
    std::ofstream(script)
        << "0: 0-0, 0, 2; 1: 0-0, 0, 1; 2: 0-0, 0, 1; 0: 1-63, 0, 0; 1: 1-63, 0, 0;"
           " 2: 1-63, 0, 0; 0: 0-0, 2, 1; 0: 0-0, 1, 0; 1 2: 0-0, 1, 0;";
    return "-scans " + Quote(script) + " -sample ";
}

// Decodes any file to RGB with ImageMagick.
inline RgbPicture DecodeWithImageMagick(const std::string& path) {
    const std::string ppm = path + ".reference.ppm";
    return Convert(path, "-colorspace sRGB -depth 8", ppm, "ppm") ? ReadPpm(ppm) : RgbPicture{};
}

// A JPEG file read back by djpeg (libjpeg-turbo's own decoder) into RGB; Ok false when it is
// damaged, even where libjpeg only warns.
struct DecodedJpeg {
    bool Ok = false;
    int Components = 0, LumaH = 0, LumaV = 0;  // sampling factors of the first component
    RgbPicture Picture;
};
inline DecodedJpeg DecodeJpeg(const std::string& path) {
    const Bytes bytes = ReadBytes(path);
    std::size_t at = 2;  // past the segments and fill bytes before the frame header (SOF0-3)
    while (at + 11 < bytes.size() && bytes[at] == 0xFF && (bytes[at + 1] & 0xFC) != 0xC0)
        at += bytes[at + 1] == 0xFF ? 1 : 2 + (bytes[at + 2] << 8 | bytes[at + 3]);
    FILE* pipe = popen(("djpeg " + Quote(path) + " 2>/dev/null").c_str(), "r");
    Bytes pnm;
    for (int c; pipe && (c = std::fgetc(pipe)) != EOF;) pnm.push_back(std::uint8_t(c));
    if (!pipe || pclose(pipe) != 0 || at + 11 >= bytes.size() || bytes[at] != 0xFF) return {};
    const int sampling = bytes[at + 11];
    return {true, bytes[at + 9], sampling >> 4, sampling & 15, ParsePpm(pnm)};
}

inline RgbPicture ToRgb(const ConstBgrView& view) {
    RgbPicture picture{view.Width, view.Height, {}};
    for (int y = 0; y < view.Height; ++y)
        for (int i = 0; i < view.Width * 3; ++i)
            picture.Rgb.push_back(view.Row(y)[i / 3 * 3 + 2 - i % 3]);
    return picture;
}
// Mean absolute difference over all channels; 1e9 when the sizes differ.
inline double MeanError(const RgbPicture& picture, const RgbPicture& reference) {
    if (picture.Width != reference.Width || picture.Height != reference.Height) return 1e9;
    double total = 0;
    for (std::size_t i = 0; i < picture.Rgb.size(); ++i)
        total += std::abs(picture.Rgb[i] - reference.Rgb[i]);
    return total / (3.0 * picture.Width * picture.Height);
}
inline double MeanError(const BgrImage& image, const RgbPicture& reference) {
    return MeanError(ToRgb(image.View()), reference);
}

// Empty when equal, else where the first difference lies.
inline std::string FirstDifference(const RgbPicture& picture, const RgbPicture& reference) {
    std::ostringstream where;
    if (picture.Width != reference.Width || picture.Height != reference.Height) {
        where << "size " << picture.Width << "x" << picture.Height << " instead of "
              << reference.Width << "x" << reference.Height;
    } else if (picture.Rgb != reference.Rgb) {
        const std::size_t i = std::size_t(
            std::mismatch(picture.Rgb.begin(), picture.Rgb.end(), reference.Rgb.begin()).first -
            picture.Rgb.begin());
        where << "pixels differ at column " << i / 3 % picture.Width << ", row "
              << i / 3 / picture.Width << ", channel " << i % 3 << ": " << int(picture.Rgb[i])
              << " instead of " << int(reference.Rgb[i]);
    }
    return where.str();
}
inline std::string FirstDifference(const BgrImage& image, const RgbPicture& reference) {
    return FirstDifference(ToRgb(image.View()), reference);
}

// The run-time error an action raises (None when it raises nothing), with its description.
struct Raised {
    ErrorNumber Number = ErrorNumber::None;
    std::string Description;
};
inline Raised RaisedBy(const std::function<void()>& action) {
    try {
        action();
    } catch (const RuntimeError& error) {
        return {error.Number(), error.Description()};
    }
    return {};
}

}  // namespace quillane::test

#define REQUIRE_TOOL(name)                 \
    if (!::quillane::test::HaveTool(name)) \
    GTEST_SKIP() << name << " is not installed (Debian: imagemagick, libjpeg-turbo-progs)"
