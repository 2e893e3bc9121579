// Resample of a 4000 x 3000 picture (a 12-megapixel camera frame) to 1000 x 750.

#include <benchmark/benchmark.h>

#include "imaging/cDIBSection.h"

namespace {

void BM_Resample4000x3000To1000x750(benchmark::State& state) {
    quillane::cDIBSection source;
    if (!source.Create(4000, 3000)) {
        state.SkipWithError("cannot allocate the source picture");
        return;
    }
    source.RandomiseBits(false);
    for (auto _ : state) {
        auto result = source.Resample(750, 1000);
        benchmark::DoNotOptimize(result->DIBSectionBitsPtr());
    }
    state.SetItemsProcessed(state.iterations() * 1000 * 750);
}
BENCHMARK(BM_Resample4000x3000To1000x750)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
