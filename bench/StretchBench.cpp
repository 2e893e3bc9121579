// quillane-stretch-bench: the CPU time of the stretch a batch run does, on its own, from the size
// a real photograph decodes to. For each WxH the photograph is decoded as the program decodes it
// for painting at that size (PictureFile picks the DCT scale), and that picture is stretched onto
// WxH the two ways a batch run does: streamed row by row, as an upright JPEG goes from the
// decoder into the filter, and held whole, as a BMP or a turned JPEG is. The streamed rows are
// copied from memory here, so the decoder's own time is left out. `bench/bench.py --mode
// stretch` runs it on the corpus's typical photograph at the benchmark's job sizes.
//
//   quillane-stretch-bench [--benchmark_...] PHOTOGRAPH WxH...

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/RuntimeError.h"
#include "platform/picture/PictureFile.h"
#include "platform/raster/BgrRowSource.h"
#include "platform/raster/Stretch.h"

namespace {

using quillane::BgrImage;
using quillane::ConstBgrView;

// A held picture handed out row by row, the way the JPEG decoder feeds the filter.
class RowsFromMemory : public quillane::BgrRowSource {
  public:
    explicit RowsFromMemory(ConstBgrView picture) : m_picture(picture) {}
    int Width() const override { return m_picture.Width; }
    int Height() const override { return m_picture.Height; }
    bool ReadRow(std::uint8_t* row) override {
        std::memcpy(row, m_picture.Row(m_next++), static_cast<std::size_t>(m_picture.Width) * 3);
        return true;
    }

  private:
    ConstBgrView m_picture;
    int m_next = 0;
};

struct Job {
    int Width = 0;
    int Height = 0;
    BgrImage Decoded;  // the photograph as the program decodes it for this size
};

void Streamed(benchmark::State& state, const Job* job) {
    auto painted = BgrImage::Allocate(job->Width, job->Height);
    if (!painted) return state.SkipWithError("no memory for the stretched picture");
    for (auto _ : state) {
        RowsFromMemory rows(job->Decoded.View());
        if (quillane::StretchBgr(rows, painted->View()) != quillane::StretchOutcome::Done)
            return state.SkipWithError("the stretch failed");
        benchmark::DoNotOptimize(painted->Data());
    }
    state.SetItemsProcessed(state.iterations() * job->Width * job->Height);
}

void Held(benchmark::State& state, const Job* job) {
    auto painted = BgrImage::Allocate(job->Width, job->Height);
    if (!painted) return state.SkipWithError("no memory for the stretched picture");
    for (auto _ : state) {
        if (!quillane::StretchBgr(job->Decoded.View(), painted->View()))
            return state.SkipWithError("the stretch failed");
        benchmark::DoNotOptimize(painted->Data());
    }
    state.SetItemsProcessed(state.iterations() * job->Width * job->Height);
}

// "176x220" into two positive numbers.
bool ParseSize(const char* text, int& width, int& height) {
    char separator = 0, extra = 0;
    return std::sscanf(text, "%d%c%d%c", &width, &separator, &height, &extra) == 3 &&
           separator == 'x' && width > 0 && height > 0;
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (argc < 3) {
        std::fputs("Usage: quillane-stretch-bench [--benchmark_...] PHOTOGRAPH WxH...\n", stderr);
        return 2;
    }
    // Every job's picture is decoded before any timing starts; they live until the end.
    std::vector<std::unique_ptr<Job>> jobs;
    try {
        const auto photograph = quillane::PictureFile::Open(argv[1]);
        for (int i = 2; i < argc; ++i) {
            auto job = std::make_unique<Job>();
            if (!ParseSize(argv[i], job->Width, job->Height)) {
                std::fprintf(stderr, "quillane-stretch-bench: %s is not WxH\n", argv[i]);
                return 2;
            }
            job->Decoded = photograph->Decode(job->Width, job->Height);
            jobs.push_back(std::move(job));
        }
    } catch (const quillane::RuntimeError& error) {
        std::fprintf(stderr, "quillane-stretch-bench: %s: error %d: %s\n", argv[1],
                     error.NumberValue(), error.Description());
        return 1;
    }
    for (const auto& job : jobs) {
        const std::string sizes = std::to_string(job->Decoded.Width()) + "x" +
                                  std::to_string(job->Decoded.Height()) + "->" +
                                  std::to_string(job->Width) + "x" + std::to_string(job->Height);
        benchmark::RegisterBenchmark(("streamed/" + sizes).c_str(), Streamed, job.get())
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("held/" + sizes).c_str(), Held, job.get())
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
