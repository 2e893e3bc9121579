#pragma once
// Helpers for the picture loader's tests: temporary folders, external reference decoders
// (ImageMagick, libjpeg-turbo's tools) and pixel comparison.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/RuntimeError.h"
#include "platform/raster/BgrImage.h"

namespace quillane::test {

using Bytes = std::vector<std::uint8_t>;

class TempDir {
  public:
    TempDir();
    ~TempDir();
    std::string Path(const std::string& name) const { return (m_path / name).string(); }

  private:
    std::filesystem::path m_path;
};

bool HaveTool(const char* name);
bool Shell(const std::string& command);  // through the shell; true when it exits with 0
std::string Quote(const std::string& path);
void WriteBytes(const std::string& path, const Bytes& bytes);
Bytes ReadBytes(const std::string& path);

// An RGB picture, the way reference tools write it.
struct RgbPicture {
    int Width = 0;
    int Height = 0;
    Bytes Rgb;  // 3 bytes a pixel, rows top-down, no padding
    const std::uint8_t* At(int x, int y) const { return &Rgb[(std::size_t(y) * Width + x) * 3]; }
};
RgbPicture ReadPpm(const std::string& path);  // binary P5 or P6, 8 bits
void WritePpm(const std::string& path, const RgbPicture& picture);
// Decodes any file to RGB with ImageMagick.
RgbPicture DecodeWithImageMagick(const std::string& path);

// Mean absolute difference over all channels; the sizes must match.
double MeanError(const BgrImage& image, const RgbPicture& reference);
// Empty when equal, else where the first difference lies.
std::string FirstDifference(const BgrImage& image, const RgbPicture& reference);

// The run-time error an action raises (None when it raises nothing), with its description.
struct Raised {
    ErrorNumber Number = ErrorNumber::None;
    std::string Description;
};
Raised RaisedBy(const std::function<void()>& action);

}  // namespace quillane::test

#define REQUIRE_TOOL(name)                 \
    if (!::quillane::test::HaveTool(name)) \
    GTEST_SKIP() << name << " is not installed (Debian: imagemagick, libjpeg-turbo-progs)"
