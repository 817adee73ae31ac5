// The scan job (catalogue and row counts) and the grid decoding of every row over the large generated data
// file (make_bench_files large), each set against reading the same file sequentially in the same run, and
// the peak memory of each against the file size. Cold: the file's pages are dropped from the page cache
// before every timed read or scan (posix_fadvise); warm: the file is read once before and stays cached.
#include <benchmark/benchmark.h>

#include <fstream>
#include <memory>
#include <sstream>

#include "app/app_fields.h"
#include "app/recover_thread.h"
#include "bench/bench_files.h"
#include "bench/bench_measure.h"
#include "mdf/recovery_engine.h"
#include "platform/text.h"

namespace {

namespace fs = std::filesystem;

// An engine and the scan job over the large file, as the Scan button runs them (Complete Repair mode).
struct ScannedFile {
    platform::SharedState app;
    app::AppFields fields;
    platform::SilentPrompts prompts;
    std::shared_ptr<mdf::CRecoveryEngine> engine = std::make_shared<mdf::CRecoveryEngine>(app);

    explicit ScannedFile(const fs::path& path) {
        app.m_strDataFilePath = platform::FromUtf8(path.string());
        engine->DetectDatabaseVersion();
        app::CRecoverThread job(app, fields, engine, prompts);
        job.m_strDataFile = app.m_strDataFilePath;
        job.Run();
    }
    std::uint64_t Rows() const {
        std::uint64_t rows = 0;
        for (const auto& t : engine->m_lstTables) rows += t.m_nRowCount;
        return rows;
    }
};

// The table view's work for every table: list each page's live records and decode each into grid texts.
// Returns the rows decoded.
std::uint64_t DecodeEveryRow(ScannedFile& file, std::uint64_t& text_units) {
    mdf::CRecoveryEngine& engine = *file.engine;
    file.app.m_bRowPreview = true;
    file.app.m_bRepairRequested = false;
    std::uint64_t rows = 0;
    for (auto& table : engine.m_lstTables) {
        engine.m_pCurrentTable = &table;
        const auto& pages = table.m_lstDataPages;
        mdf::ChunkedPageWalk walk(engine.m_hDataFile, mdf::PageOffsets(pages));
        for (std::size_t i = 0; i < pages.size(); ++i) {
            walk.Reach(i);
            engine.ReadPageRecordOffsets(pages[i].m_nPageOffset);
            const std::vector<std::uint64_t> records = file.app.m_arrRecordOffsets;
            for (const std::uint64_t record : records) {
                engine.DecodeTableRow(record, table);
                for (const auto& text : file.app.m_arrRowValues) text_units += text.size();
                file.app.m_arrRowValues.clear();
                ++rows;
            }
        }
    }
    return rows;
}

// The tables and row counts make_bench_files wrote beside the file ("name<TAB>rows" per line).
std::map<std::u16string, std::uint64_t> ExpectedRows() {
    std::map<std::u16string, std::uint64_t> rows;
    std::ifstream listing(benchfiles::LargeFile().string() + ".txt");
    std::string name;
    std::uint64_t count = 0;
    while (listing >> name >> count) rows[platform::FromUtf8(name)] = count;
    return rows;
}

bool CheckRows(benchmark::State& state, const ScannedFile& file) {
    std::map<std::u16string, std::uint64_t> found;
    for (const auto& t : file.engine->m_lstTables) found[t.m_pszName] = t.m_nRowCount;
    if (found != ExpectedRows()) {
        state.SkipWithError("the scan's tables or row counts differ from what make_bench_files wrote");
        return false;
    }
    return true;
}

bool FilePresent(benchmark::State& state) {
    if (fs::exists(benchfiles::LargeFile())) return true;
    state.SkipWithError("no large file: run make_bench_files large first");
    return false;
}

void AddMemory(benchmark::State& state, const std::string& name) {
    const double file_kib = static_cast<double>(fs::file_size(benchfiles::LargeFile())) / 1024.0;
    const double idle = static_cast<double>(benchmeasure::PeakRssKiB("idle"));
    const double peak = static_cast<double>(benchmeasure::PeakRssKiB(name));
    state.counters["peak_rss_MiB"] = peak / 1024.0;
    state.counters["peak_above_idle_MiB"] = (peak - idle) / 1024.0;
    state.counters["peak_per_file_size"] = (peak - idle) / file_kib;
}

// Per iteration: the sequential read and the scan job; the reported time is the scan's.
void ScanAgainstSequentialRead(benchmark::State& state) {
    if (!FilePresent(state)) return;
    const auto path = benchfiles::LargeFile();
    const bool cold = state.range(0) == 0;
    if (!cold) benchmeasure::ReadSequentially(path);
    double read_seconds = 0, scan_seconds = 0;
    std::uint64_t bytes = 0;
    // The order alternates, so a disk that speeds up or slows down during the run favours neither side.
    bool read_first = true;
    for (auto _ : state) {
        auto timed_read = [&] {
            if (cold) benchmeasure::DropFromPageCache(path);
            const double start = benchmeasure::Now();
            bytes += benchmeasure::ReadSequentially(path);
            read_seconds += benchmeasure::Now() - start;
        };
        if (read_first) timed_read();
        if (cold) benchmeasure::DropFromPageCache(path);
        const double start = benchmeasure::Now();
        ScannedFile file(path);
        const double scan = benchmeasure::Now() - start;
        scan_seconds += scan;
        state.SetIterationTime(scan);
        if (!CheckRows(state, file)) return;
        if (!read_first) timed_read();
        read_first = !read_first;
    }
    const auto n = static_cast<double>(state.iterations());
    state.counters["read_s"] = read_seconds / n;
    state.counters["scan_s"] = scan_seconds / n;
    state.counters["scan_per_read"] = scan_seconds / read_seconds;
    state.counters["read_GBps"] = static_cast<double>(bytes) / read_seconds / 1e9;
    AddMemory(state, "scan");
}
BENCHMARK(ScanAgainstSequentialRead)->ArgName("warm")->Arg(0)->Arg(1)->Iterations(6)->UseManualTime()->Unit(benchmark::kSecond);

// Per iteration: the sequential read, then decoding every row in grid mode after a scan (the scan itself is
// not timed; the file stays in the page cache).
void DecodeEveryRowInGridMode(benchmark::State& state) {
    if (!FilePresent(state)) return;
    const auto path = benchfiles::LargeFile();
    benchmeasure::ReadSequentially(path);
    ScannedFile file(path);
    if (!CheckRows(state, file)) return;
    double read_seconds = 0, decode_seconds = 0;
    std::uint64_t rows = 0, text_units = 0;
    for (auto _ : state) {
        double start = benchmeasure::Now();
        benchmeasure::ReadSequentially(path);
        read_seconds += benchmeasure::Now() - start;
        start = benchmeasure::Now();
        const std::uint64_t decoded = DecodeEveryRow(file, text_units);
        const double took = benchmeasure::Now() - start;
        decode_seconds += took;
        state.SetIterationTime(took);
        if (decoded != file.Rows()) {
            state.SkipWithError("rows decoded differ from the row counts");
            return;
        }
        rows += decoded;
    }
    benchmark::DoNotOptimize(text_units);
    state.counters["rows_per_s"] = static_cast<double>(rows) / decode_seconds;
    state.counters["decode_per_read"] = decode_seconds / read_seconds;
    AddMemory(state, "decode");
}
BENCHMARK(DecodeEveryRowInGridMode)->Iterations(2)->UseManualTime()->Unit(benchmark::kSecond);

const benchmeasure::Cases kCases = {
    {"scan", [] { ScannedFile file(benchfiles::LargeFile()); benchmark::DoNotOptimize(file.Rows()); }},
    {"decode",
     [] {
         ScannedFile file(benchfiles::LargeFile());
         std::uint64_t units = 0;
         benchmark::DoNotOptimize(DecodeEveryRow(file, units));
     }},
};

}  // namespace

int main(int argc, char** argv) {
    if (const auto code = benchmeasure::RunPeakRssCase(argc, argv, kCases)) return *code;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
