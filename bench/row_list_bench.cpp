// The result list's side of a large table view, without a window: the table-view job over dbo.Orders of the
// large generated file (make_bench_files large), its row batches appended to the row store as the window's
// handler does; then what the list asks of the store: the cells of the last screen of rows, the sort of the
// shown order by a column, and emptying the store (memory given back). Peak memory in a child process.
#include <benchmark/benchmark.h>

#include <fstream>
#include <memory>
#include <string>

#include "app/app_fields.h"
#include "app/list_sort.h"
#include "app/recover_thread.h"
#include "app/row_store.h"
#include "bench/bench_files.h"
#include "bench/bench_measure.h"
#include "mdf/recovery_engine.h"
#include "platform/messages.h"
#include "platform/text.h"

namespace {

namespace fs = std::filesystem;

// Rows on one screen of the list.
constexpr long kScreenRows = 40;

std::uint64_t StatusKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(status, line)) {
        if (line.rfind(prefix, 0) == 0) return std::stoull(line.substr(prefix.size()));
    }
    return 0;
}

// The window's side of the job's messages: each row batch goes into the store.
class StoreSink final : public platform::IMessageSink {
public:
    explicit StoreSink(app::RowStore& store) : store_(store) {}
    app::CRecoverThread* job = nullptr;
    void Send(unsigned message, platform::WPARAM, platform::LPARAM) override {
        if (message != platform::WM_TABLE_ROW || job == nullptr) return;
        const app::RowBatch batch = job->TakeRowBatch();
        for (const auto& row : batch.rows) {
            if (!row.empty()) store_.Append(row);
        }
    }
    void Post(unsigned, platform::WPARAM, platform::LPARAM) override {}

private:
    app::RowStore& store_;
};

// The large file scanned (Complete Repair mode, as the Scan button runs it) and dbo.Orders viewed into a store.
struct ViewedTable {
    platform::SharedState app;
    app::AppFields fields;
    platform::SilentPrompts prompts;
    std::shared_ptr<mdf::CRecoveryEngine> engine = std::make_shared<mdf::CRecoveryEngine>(app);
    app::RowStore store;
    std::uint64_t counted = 0;
    double view_seconds = 0;
    std::uint64_t rss_before_view = 0;  // KiB

    ViewedTable() {
        app.m_strDataFilePath = platform::FromUtf8(benchfiles::LargeFile().string());
        engine->DetectDatabaseVersion();
        {
            app::CRecoverThread scan(app, fields, engine, prompts);
            scan.m_strDataFile = app.m_strDataFilePath;
            scan.Run();
        }
        int index = 0;
        for (const auto& table : engine->m_lstTables) {
            if (table.m_pszName.ends_with(u"Orders")) break;
            ++index;
        }
        if (static_cast<std::size_t>(index) == engine->m_lstTables.size()) return;
        counted = std::next(engine->m_lstTables.begin(), index)->m_nRowCount;
        rss_before_view = StatusKiB("VmRSS");
        StoreSink sink(store);
        app::CRecoverThread view(app, fields, engine, prompts);
        view.m_strDataFile = app.m_strDataFilePath;
        view.m_nTableIndex = index;
        view.m_hOwnerWnd = &sink;
        sink.job = &view;
        const double start = benchmeasure::Now();
        view.Run();
        view_seconds = benchmeasure::Now() - start;
    }
};

ViewedTable* Viewed(benchmark::State& state) {
    if (!fs::exists(benchfiles::LargeFile())) {
        state.SkipWithError("no large file: run make_bench_files large first");
        return nullptr;
    }
    static std::unique_ptr<ViewedTable> viewed;
    if (!viewed) viewed = std::make_unique<ViewedTable>();
    if (viewed->store.size() != viewed->counted || viewed->counted == 0) {
        state.SkipWithError("the view's rows differ from the table's count");
        return nullptr;
    }
    return viewed.get();
}

// The table view job into the store, timed once (the scan before it is not); memory as the store holds it.
void ViewOrdersIntoStore(benchmark::State& state) {
    const std::uint64_t rss_before = StatusKiB("VmRSS");
    ViewedTable* viewed = Viewed(state);
    if (!viewed) return;
    for (auto _ : state) state.SetIterationTime(viewed->view_seconds);
    const double rows = static_cast<double>(viewed->store.size());
    state.counters["rows"] = rows;
    state.counters["rows_per_s"] = rows / viewed->view_seconds;
    state.counters["store_MiB"] = static_cast<double>(viewed->store.BytesHeld()) / 1048576.0;
    state.counters["store_bytes_per_row"] = static_cast<double>(viewed->store.BytesHeld()) / rows;
    state.counters["rss_growth_MiB"] = static_cast<double>(StatusKiB("VmRSS") - rss_before) / 1024.0;
    const double idle = static_cast<double>(benchmeasure::PeakRssKiB("idle"));
    const double peak = static_cast<double>(benchmeasure::PeakRssKiB("view-and-sort"));
    state.counters["peak_rss_MiB"] = peak / 1024.0;
    state.counters["peak_above_idle_MiB"] = (peak - idle) / 1024.0;
}
BENCHMARK(ViewOrdersIntoStore)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

// What the list asks when it shows its last screen: every cell of those rows as a wide text.
void TextsOfTheLastScreen(benchmark::State& state) {
    ViewedTable* viewed = Viewed(state);
    if (!viewed) return;
    const auto rows = static_cast<long>(viewed->store.size());
    std::size_t units = 0;
    for (auto _ : state) {
        for (long row = rows - kScreenRows; row < rows; ++row) {
            for (std::size_t column = 0; column < 5; ++column) {
                units += viewed->store.CellText(static_cast<std::size_t>(row), column).size();
            }
        }
    }
    benchmark::DoNotOptimize(units);
}
BENCHMARK(TextsOfTheLastScreen)->Unit(benchmark::kMicrosecond);

// A header click: the shown order sorted by a column as the list sorts it (0 OrderId and 1 CustomerId as
// numbers, 2 OrderDate by its moment, 3 Amount (money) by its value, 4 Note as text), ascending from the store's
// order.
void SortByColumn(benchmark::State& state) {
    ViewedTable* viewed = Viewed(state);
    if (!viewed) return;
    const int column = static_cast<int>(state.range(0));
    constexpr int kTypes[] = {app::kCompareNumber, app::kCompareNumber, app::kCompareGridDateTime,
                              app::kCompareDecimal, app::kCompareText};
    const app::ColumnSortInfo info{column, app::kSortAscending, kTypes[column]};
    for (auto _ : state) {
        const std::vector<std::uint32_t> order = app::SortRowOrder(viewed->store, {}, column, info);
        benchmark::DoNotOptimize(order.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(viewed->store.size()));
}
BENCHMARK(SortByColumn)->ArgName("column")->DenseRange(0, 4)->Iterations(2)->Unit(benchmark::kSecond);

// Home: the store emptied (the last benchmark: it empties the shared view); resident memory after the scan and
// before the view, with the rows, and after.
void EmptyingGivesTheMemoryBack(benchmark::State& state) {
    ViewedTable* viewed = Viewed(state);
    if (!viewed) return;
    const std::uint64_t with_rows = StatusKiB("VmRSS");
    for (auto _ : state) {
        const double start = benchmeasure::Now();
        viewed->store.Clear();
        state.SetIterationTime(benchmeasure::Now() - start);
    }
    const std::uint64_t after = StatusKiB("VmRSS");
    state.counters["rss_before_view_MiB"] = static_cast<double>(viewed->rss_before_view) / 1024.0;
    state.counters["rss_with_rows_MiB"] = static_cast<double>(with_rows) / 1024.0;
    state.counters["rss_after_MiB"] = static_cast<double>(after) / 1024.0;
}
BENCHMARK(EmptyingGivesTheMemoryBack)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

const benchmeasure::Cases kCases = {
    {"view-and-sort",
     [] {
         ViewedTable viewed;
         const app::ColumnSortInfo info{4, app::kSortAscending, app::kCompareText};
         benchmark::DoNotOptimize(app::SortRowOrder(viewed.store, {}, 4, info).size());
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
