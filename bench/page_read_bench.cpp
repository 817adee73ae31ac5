// Pages read and records listed per second over a real data file, against reading the same file sequentially:
// the baseline for the scan speed goal. Usage: page_read_bench [--benchmark_...] (file from BRINDLEMOOR_BENCH_FILE,
// else northwnd_sligo.mdf of the corpus).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "bench/corpus_engine.h"
#include "mdf/recovery_engine.h"
#include "platform/text.h"

namespace {

using benchsupport::BenchFile;
using benchsupport::OpenBenchEngine;

void SequentialRead(benchmark::State& state) {
    const auto path = BenchFile();
    std::vector<char> buffer(1 << 20);
    std::uint64_t bytes = 0;
    for (auto _ : state) {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            state.SkipWithError("benchmark file not found");
            return;
        }
        while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
            bytes += static_cast<std::uint64_t>(in.gcount());
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(SequentialRead)->Unit(benchmark::kMillisecond);

void ListRecordsOfEveryDataPage(benchmark::State& state) {
    platform::SharedState app;
    auto opened = OpenBenchEngine(app, state);
    if (!opened) return;
    mdf::CRecoveryEngine& engine = *opened;
    std::uint64_t pages = 0, records = 0;
    for (auto _ : state) {
        const std::uint64_t count = engine.m_nFileSize / mdf::kPageSize;
        for (std::uint64_t page = 0; page < count; ++page) {
            const std::uint64_t offset = page * mdf::kPageSize;
            ++pages;
            if (engine.Read16(offset) != 0x0101) continue;
            engine.ReadPageRecordOffsets(offset);
            records += app.m_arrRecordOffsets.size();
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(pages * mdf::kPageSize));
    state.counters["pages/s"] = benchmark::Counter(static_cast<double>(pages), benchmark::Counter::kIsRate);
    state.counters["records/s"] = benchmark::Counter(static_cast<double>(records), benchmark::Counter::kIsRate);
}
BENCHMARK(ListRecordsOfEveryDataPage)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
