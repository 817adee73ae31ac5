// Catalogue reading speed over a real data file: the whole-file page scan alone, and the whole chain of the
// scan job (scan, catalogue, columns, data pages and row counts, column positions). Usage: catalog_scan_bench
// [--benchmark_...] (file from BRINDLEMOOR_BENCH_FILE, else northwnd_sligo.mdf of the corpus).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>

#include "bench/corpus_engine.h"
#include "mdf/recovery_engine.h"
#include "platform/text.h"

namespace {

using benchsupport::OpenBenchEngine;

void PageScan2005(benchmark::State& state) {
    std::uint64_t bytes = 0;
    for (auto _ : state) {
        platform::SharedState app;
        auto opened = OpenBenchEngine(app, state);
        if (!opened) return;
        mdf::CRecoveryEngine& engine = *opened;
        benchmark::DoNotOptimize(engine.ScanPages2005());
        bytes += engine.m_nFileSize;
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(PageScan2005)->Unit(benchmark::kMillisecond);

void WholeCatalogue(benchmark::State& state) {
    std::uint64_t bytes = 0;
    for (auto _ : state) {
        platform::SharedState app;
        auto opened = OpenBenchEngine(app, state);
        if (!opened) return;
        mdf::CRecoveryEngine& engine = *opened;
        if (!engine.ReadCatalogForVersion()) {
            state.SkipWithError("the catalogue could not be read");
            return;
        }
        engine.ComputeColumnOffsets();
        bytes += engine.m_nFileSize;
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(WholeCatalogue)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
