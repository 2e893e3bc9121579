// quillane-stretch-filters: what each kernel of the stretching filter makes of real pictures,
// for `bench/bench.py --mode filters`. Every picture is decoded as the program decodes it for
// painting at W x H (PictureFile: its DCT scale, upright, in sRGB) and once more at full size,
// and each decoded picture is stretched to W x H with every kernel the filter knows. The results
// are written as binary PPM files, which the benchmark scores against its references.
//
//   quillane-stretch-filters W H OUTDIR PICTURE...
//       one line per file written: PICTURE <tab> scaled|full <tab> KERNEL <tab> OUTDIR/FILE.ppm
//
// A picture the loader refuses is reported on standard error and the exit status is 1; the
// others are still done.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/base/RuntimeError.h"
#include "platform/picture/PictureFile.h"
#include "platform/raster/Stretch.h"

namespace {

using quillane::BgrImage;
using quillane::ConstBgrView;
using quillane::StretchFilter;

constexpr int kExitDone = 0;
constexpr int kExitSomeFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kFullSize = 0;  // a paint size of 0 asks PictureFile for the picture undecimated

struct Kernel {
    StretchFilter Filter;
    const char* Name;
};
// Every kernel of StretchFilter, the program's own (Lanczos3) first.
constexpr Kernel kKernels[] = {{StretchFilter::Lanczos3, "lanczos3"},
                               {StretchFilter::Lanczos2, "lanczos2"},
                               {StretchFilter::Mitchell, "mitchell"}};

struct Decoding {
    const char* Name;
    int PaintWidth;  // 0: full size
    int PaintHeight;
};

// Binary PPM: RGB on disk, BGR in memory.
bool WritePpm(const std::filesystem::path& path, ConstBgrView image) {
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << image.Width << " " << image.Height << "\n255\n";
    std::vector<char> row(static_cast<std::size_t>(image.Width) * 3);
    for (int y = 0; y < image.Height; ++y) {
        const std::uint8_t* in = image.Row(y);
        for (int x = 0; x < image.Width; ++x) {
            row[3 * x] = static_cast<char>(in[3 * x + 2]);
            row[3 * x + 1] = static_cast<char>(in[3 * x + 1]);
            row[3 * x + 2] = static_cast<char>(in[3 * x]);
        }
        out.write(row.data(), static_cast<std::streamsize>(row.size()));
    }
    return static_cast<bool>(out);
}

// Writes the picture's stretches; false (and a message) when something could not be done.
bool StretchOne(const std::string& path, int index, int width, int height,
                const std::filesystem::path& folder) {
    const Decoding decodings[] = {{"scaled", width, height}, {"full", kFullSize, kFullSize}};
    const auto file = quillane::PictureFile::Open(path);
    auto stretched = BgrImage::Allocate(width, height);
    if (!stretched) {
        std::fprintf(stderr, "quillane-stretch-filters: no memory for %dx%d\n", width, height);
        return false;
    }
    for (const Decoding& decoding : decodings) {
        const BgrImage decoded = file->Decode(decoding.PaintWidth, decoding.PaintHeight);
        for (const Kernel& kernel : kKernels) {
            const auto out =
                folder / (std::to_string(index) + "-" + decoding.Name + "-" + kernel.Name + ".ppm");
            if (!quillane::StretchBgr(decoded.View(), stretched->View(), kernel.Filter) ||
                !WritePpm(out, std::as_const(*stretched).View())) {
                std::fprintf(stderr, "quillane-stretch-filters: %s: cannot write %s\n",
                             path.c_str(), out.c_str());
                return false;
            }
            std::printf("%s\t%s\t%s\t%s\n", path.c_str(), decoding.Name, kernel.Name, out.c_str());
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const int width = argc >= 5 ? std::atoi(argv[1]) : 0;
    const int height = argc >= 5 ? std::atoi(argv[2]) : 0;
    if (width <= 0 || height <= 0) {
        std::fputs("Usage: quillane-stretch-filters W H OUTDIR PICTURE...\n", stderr);
        return kExitUsage;
    }
    const std::filesystem::path folder = argv[3];
    int status = kExitDone;
    for (int i = 4; i < argc; ++i) {
        try {
            if (!StretchOne(argv[i], i - 4, width, height, folder)) status = kExitSomeFailed;
        } catch (const quillane::RuntimeError& error) {
            std::fprintf(stderr, "quillane-stretch-filters: %s: error %d: %s\n", argv[i],
                         error.NumberValue(), error.Description());
            status = kExitSomeFailed;
        }
        std::fflush(stdout);
    }
    return status;
}
