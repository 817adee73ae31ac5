// The file the small benchmarks read (BRINDLEMOOR_BENCH_FILE, else northwnd_sligo.mdf of the corpus) and an
// engine opened on it.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "mdf/recovery_engine.h"
#include "platform/text.h"

namespace benchsupport {

inline std::filesystem::path BenchFile() {
    if (const char* f = std::getenv("BRINDLEMOOR_BENCH_FILE"); f && *f) return f;
    std::filesystem::path dir = BRINDLEMOOR_DEFAULT_CORPUS;
    if (const char* c = std::getenv("BRINDLEMOOR_CORPUS"); c && *c) dir = c;
    return dir / "northwnd_sligo.mdf";
}

// An engine with the bench file open, or null after marking the benchmark skipped.
inline std::unique_ptr<mdf::CRecoveryEngine> OpenBenchEngine(platform::SharedState& app, benchmark::State& state) {
    app.m_strDataFilePath = platform::FromUtf8(BenchFile().string());
    auto engine = std::make_unique<mdf::CRecoveryEngine>(app);
    if (!engine->OpenDataFile()) {
        state.SkipWithError("benchmark file not found");
        return nullptr;
    }
    return engine;
}

}  // namespace benchsupport
