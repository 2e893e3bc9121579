// Bench-only driver for the stretching filter: stretches a PPM file with a chosen kernel, or
// times the stretch on synthetic pictures. Built by run.sh against a build's static libraries.
//
//   stretch_driver stretch lanczos3|lanczos2|mitchell IN.ppm OUT.ppm WIDTH HEIGHT
//   stretch_driver time [REPEATS]

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "platform/raster/Stretch.h"

using namespace quillane;

namespace {

bool ReadPpm(const char* path, BgrImage& image) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int width = 0, height = 0, maxValue = 0;
    in >> magic >> width >> height >> maxValue;
    in.get();
    if (!in || magic != "P6" || maxValue != 255) return false;
    auto allocated = BgrImage::Allocate(width, height);
    if (!allocated) return false;
    image = std::move(*allocated);
    std::vector<char> row(static_cast<std::size_t>(width) * 3);
    for (int y = 0; y < height; ++y) {
        if (!in.read(row.data(), static_cast<std::streamsize>(row.size()))) return false;
        std::uint8_t* out = image.Data() + y * image.Stride();
        for (int x = 0; x < width; ++x) {  // RGB on disk, BGR in memory
            out[3 * x] = static_cast<std::uint8_t>(row[3 * x + 2]);
            out[3 * x + 1] = static_cast<std::uint8_t>(row[3 * x + 1]);
            out[3 * x + 2] = static_cast<std::uint8_t>(row[3 * x]);
        }
    }
    return true;
}

bool WritePpm(const char* path, const BgrImage& image) {
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << image.Width() << " " << image.Height() << "\n255\n";
    std::vector<char> row(static_cast<std::size_t>(image.Width()) * 3);
    for (int y = 0; y < image.Height(); ++y) {
        const std::uint8_t* in = image.Data() + y * image.Stride();
        for (int x = 0; x < image.Width(); ++x) {
            row[3 * x] = static_cast<char>(in[3 * x + 2]);
            row[3 * x + 1] = static_cast<char>(in[3 * x + 1]);
            row[3 * x + 2] = static_cast<char>(in[3 * x]);
        }
        out.write(row.data(), static_cast<std::streamsize>(row.size()));
    }
    return static_cast<bool>(out);
}

int Stretch(int argc, char** argv) {
    if (argc != 7) return 2;
    StretchFilter filter;
    const std::string name = argv[2];
    if (name == "lanczos3")
        filter = StretchFilter::Lanczos3;
    else if (name == "lanczos2")
        filter = StretchFilter::Lanczos2;
    else if (name == "mitchell")
        filter = StretchFilter::Mitchell;
    else
        return 2;
    BgrImage src;
    if (!ReadPpm(argv[3], src)) {
        std::cerr << "cannot read " << argv[3] << "\n";
        return 1;
    }
    auto dst = BgrImage::Allocate(std::atoi(argv[5]), std::atoi(argv[6]));
    if (!dst || !StretchBgr(src.View(), dst->View(), filter) || !WritePpm(argv[4], *dst)) return 1;
    return 0;
}

// CPU time of the process (it has one thread): steadier than wall time on a busy machine.
double CpuMilliseconds() {
    return 1e3 * static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

// Median CPU time of a stretch, in milliseconds, on a picture with photo-like detail.
double TimeStretch(int srcW, int srcH, int dstW, int dstH, int repeats) {
    auto src = BgrImage::Allocate(srcW, srcH);
    auto dst = BgrImage::Allocate(dstW, dstH);
    if (!src || !dst) return -1;
    unsigned state = 12345;
    for (int y = 0; y < srcH; ++y)
        for (int i = 0; i < srcW * 3; ++i) {
            state = state * 1103515245u + 12345u;
            src->Data()[y * src->Stride() + i] =
                static_cast<std::uint8_t>((i / 3 + y) / 8 + ((state >> 16) & 31));
        }
    std::vector<double> times;
    for (int r = 0; r < repeats; ++r) {
        const double start = CpuMilliseconds();
        if (!StretchBgr(src->View(), dst->View())) return -1;
        times.push_back(CpuMilliseconds() - start);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

int Time(int argc, char** argv) {
    const int repeats = argc > 2 ? std::atoi(argv[2]) : 15;
    const int cases[][4] = {{4000, 3000, 176, 220},
                            {1000, 750, 176, 220},
                            {500, 375, 176, 220},
                            {1000, 750, 1920, 1080},
                            {4000, 3000, 1920, 1080}};
    for (const auto& c : cases) {
        std::printf("%dx%d -> %dx%d: %.2f ms CPU (median of %d)\n", c[0], c[1], c[2], c[3],
                    TimeStretch(c[0], c[1], c[2], c[3], repeats), repeats);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "stretch") == 0) return Stretch(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "time") == 0) return Time(argc, argv);
    std::cerr << "usage: stretch_driver stretch lanczos3|lanczos2|mitchell IN.ppm OUT.ppm W H\n"
                 "       stretch_driver time [REPEATS]\n";
    return 2;
}
