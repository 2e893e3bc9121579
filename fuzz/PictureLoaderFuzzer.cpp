// The picture loader on arbitrary bytes: whatever the file holds, opening and decoding it either
// raises a run-time error or gives a picture of exactly the size the header promised, at full
// size and at the shrunk size a small paint asks for. The same bytes are then tried as the colour
// profile of a small, sound BMP: whatever the profile holds, that picture decodes.

#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "platform/base/RuntimeError.h"
#include "platform/picture/PictureFile.h"

using namespace quillane;

namespace {

constexpr int kSmallPaint = 16;  // small enough that a large JPEG is shrunk on load

void ExpectSize(const BgrImage& image, int width, int height, const char* which) {
    if (image.Width() != width || image.Height() != height) {
        fuzz::Violated(std::string(which) + " decode gave " + std::to_string(image.Width()) +
                       " x " + std::to_string(image.Height()) + ", the header said " +
                       std::to_string(width) + " x " + std::to_string(height));
    }
}

void PutLe32(std::vector<std::uint8_t>& bytes, std::size_t at, std::size_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// A V5 BMP of 8 x 8 pixels whose embedded profile is the given bytes.
std::vector<std::uint8_t> BmpWithProfile(std::span<const std::uint8_t> profile) {
    constexpr std::size_t kInfoAt = 14, kV5Size = 124;
    const std::vector<std::uint8_t> plain = fuzz::TinyBmp(8, 8);
    std::vector<std::uint8_t> bmp(plain.begin(), plain.begin() + kInfoAt + 40);
    bmp.resize(kInfoAt + kV5Size, 0);
    PutLe32(bmp, 10, kInfoAt + kV5Size);     // bfOffBits
    PutLe32(bmp, kInfoAt, kV5Size);          // bV5Size
    PutLe32(bmp, kInfoAt + 56, 0x4D424544);  // bV5CSType: PROFILE_EMBEDDED
    bmp.insert(bmp.end(), plain.begin() + kInfoAt + 40, plain.end());
    PutLe32(bmp, kInfoAt + 112, bmp.size() - kInfoAt);  // bV5ProfileData
    PutLe32(bmp, kInfoAt + 116, profile.size());        // bV5ProfileSize
    bmp.insert(bmp.end(), profile.begin(), profile.end());
    PutLe32(bmp, 2, bmp.size());  // bfSize
    return bmp;
}

void DecodeWithProfile(std::span<const std::uint8_t> profile) {
    static const std::string path = fuzz::ScratchFolder() + "/profiled.bmp";
    fuzz::WriteFile(path, BmpWithProfile(profile));
    try {
        const auto file = PictureFile::Open(path);
        ExpectSize(file->Decode(0, 0), 8, 8, "profiled full-size");
        ExpectSize(file->DecodeStretched(3, 5), 3, 5, "profiled stretched");
    } catch (const RuntimeError& error) {
        fuzz::Violated(std::string("a colour profile made a sound picture fail: ") +
                       error.Description());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = fuzz::ScratchFolder() + "/input.jpg";
    fuzz::WriteFile(path, {data, size});
    try {
        const auto file = PictureFile::Open(path);
        const int width = file->Width();
        const int height = file->Height();
        if (width <= 0 || height <= 0) fuzz::Violated("a picture without pixels was opened");
        ExpectSize(file->Decode(0, 0), width, height, "full-size");
        const int denominator = file->ScaleDenominatorFor(kSmallPaint, kSmallPaint);
        if (denominator != 1) {
            ExpectSize(file->Decode(kSmallPaint, kSmallPaint),
                       (width + denominator - 1) / denominator,
                       (height + denominator - 1) / denominator, "shrunk");
        }
        // Streamed from the decoder into the filter, the same rows must be found good or bad.
        ExpectSize(file->DecodeStretched(kSmallPaint, kSmallPaint), kSmallPaint, kSmallPaint,
                   "stretched");
    } catch (const RuntimeError& error) {
        const int number = error.NumberValue();
        // 53 and 75 cannot happen for a regular file we just wrote; 481 and 7 are the loader's.
        if (number != static_cast<int>(ErrorNumber::InvalidPicture) &&
            number != static_cast<int>(ErrorNumber::OutOfMemory)) {
            fuzz::Violated("unexpected error " + std::to_string(number) + ": " +
                           error.Description());
        }
        if (std::string(error.Description()).find("'input.jpg'") == std::string::npos) {
            fuzz::Violated(std::string("the description does not name the file: ") +
                           error.Description());
        }
    }
    DecodeWithProfile({data, size});
    return 0;
}
