// The picture loader on arbitrary bytes: whatever the file holds, opening and decoding it either
// raises a run-time error or gives a picture of exactly the size the header promised, at full
// size and at the shrunk size a small paint asks for.

#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "FuzzSupport.h"
#include "platform/RuntimeError.h"
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
    return 0;
}
