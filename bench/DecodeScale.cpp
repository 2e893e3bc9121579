// quillane-decode-scale: the benchmark's way to learn how the picture loader decodes, so that
// bench/ never keeps a copy of the rule. For every picture and every size it prints the DCT scale
// denominator PictureFile chooses for painting the picture at that size (1 for a picture that is
// not JPEG); --margin prints the shrink-on-load margin the other tools are given as a hint;
// --estimate adds the bytes the helper that decodes ahead expects the decode to hold at its peak
// (-1 where the start of the file does not tell), which bench/hostile.py holds against the
// measured peak.
//
//   quillane-decode-scale [--estimate] --size WxH [--size WxH ...] PICTURE...
//       one line per picture and size: WxH <tab> DENOMINATOR [<tab> BYTES] <tab> PICTURE
//   quillane-decode-scale --margin
//
// A picture the loader refuses is reported on standard error and the exit status is 1; the
// others are still answered. Only headers are read for JPEG: a corpus costs milliseconds.

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "platform/base/RuntimeError.h"
#include "platform/decodeahead/DecodeEstimate.h"
#include "platform/picture/PictureFile.h"
#include "platform/picture/PictureLimits.h"

namespace {

constexpr int kExitAnswered = 0;
constexpr int kExitSomeRefused = 1;
constexpr int kExitUsage = 2;

const char* const kUsage =
    "Usage: quillane-decode-scale [--estimate] --size WxH [--size WxH ...] PICTURE...\n"
    "       quillane-decode-scale --margin\n";

struct PaintSize {
    int Width = 0;
    int Height = 0;
    std::string Text;  // as given, to label the answer
};

// "176x220" into two positive numbers; anything else is refused.
bool ParseSize(const std::string& text, PaintSize& size) {
    int width = 0, height = 0;
    char separator = 0, extra = 0;
    if (std::sscanf(text.c_str(), "%d%c%d%c", &width, &separator, &height, &extra) != 3 ||
        separator != 'x' || width <= 0 || height <= 0)
        return false;
    size = {width, height, text};
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "--margin") {
        std::printf("%d\n", quillane::kShrinkMargin);
        return kExitAnswered;
    }
    std::vector<PaintSize> sizes;
    std::vector<std::string> pictures;
    bool estimate = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--estimate") {
            estimate = true;
        } else if (argument == "--size" && i + 1 < argc) {
            PaintSize size;
            if (!ParseSize(argv[++i], size)) {
                std::fprintf(stderr, "quillane-decode-scale: %s is not WxH\n", argv[i]);
                return kExitUsage;
            }
            sizes.push_back(std::move(size));
        } else {
            pictures.push_back(argument);
        }
    }
    if (sizes.empty() || pictures.empty()) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }

    int status = kExitAnswered;
    for (const std::string& path : pictures) {
        try {
            const auto file = quillane::PictureFile::Open(path);
            for (const PaintSize& size : sizes) {
                std::printf("%s\t%d\t", size.Text.c_str(),
                            file->ScaleDenominatorFor(size.Width, size.Height));
                if (estimate) {
                    const auto cost = quillane::EstimateDecodeBytes(path, size.Width, size.Height);
                    std::printf("%lld\t", cost ? static_cast<long long>(cost->Peak) : -1LL);
                }
                std::printf("%s\n", path.c_str());
            }
        } catch (const quillane::RuntimeError& error) {
            std::fprintf(stderr, "quillane-decode-scale: %s: error %d: %s\n", path.c_str(),
                         error.NumberValue(), error.Description());
            status = kExitSomeRefused;
        }
    }
    return status;
}
