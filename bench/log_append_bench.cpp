// Appends to the log as a job makes them (one line per page of a damaged file): the log's text rules with the
// application's copy kept at each line, and the same through the running log window (CLogDialog, an X display
// needed: run under xvfb-run). Usage: log_append_bench [--benchmark_...]
#include <benchmark/benchmark.h>
#include <wx/app.h>
#include <wx/init.h>

#include <string>

#include "app/app_fields.h"
#include "app/log_text.h"
#include "platform/shared_state.h"
#include "ui/log_dialog.h"

namespace {

bool g_has_display = false;

std::u16string PageLine(std::int64_t i) {
    std::u16string line = u"Page 1:";
    for (const char c : std::to_string(i)) line.push_back(static_cast<char16_t>(c));
    line += u" slot 7: variable column end 9000 beyond record end 212";
    return line;
}

void LogTextAppends(benchmark::State& state) {
    const std::int64_t lines = state.range(0);
    for (auto _ : state) {
        platform::SharedState shared;
        app::LogEdit edit;
        edit.SetText(app::LogHeader());
        for (std::int64_t i = 0; i < lines; ++i) edit.AppendLine(shared, PageLine(i), false);
        benchmark::DoNotOptimize(shared.m_strLogText.size());
    }
    state.SetItemsProcessed(state.iterations() * lines);
}
BENCHMARK(LogTextAppends)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

void LogWindowAppends(benchmark::State& state) {
    if (!g_has_display) {
        state.SkipWithError("no X display (run under xvfb-run)");
        return;
    }
    const std::int64_t lines = state.range(0);
    for (auto _ : state) {
        platform::SharedState shared;
        app::AppFields fields;
        auto* log = new ui::CLogDialog(nullptr, shared, fields);
        for (std::int64_t i = 0; i < lines; ++i) {
            shared.m_strLogLine = PageLine(i);
            log->AppendCurrentLine(false);
        }
        benchmark::DoNotOptimize(shared.m_strLogText.size());
        state.PauseTiming();
        log->Destroy();
        wxTheApp->ProcessPendingEvents();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * lines);
}
BENCHMARK(LogWindowAppends)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    int wx_argc = 1;
    wxApp::SetInstance(new wxApp());
    g_has_display = wxEntryStart(wx_argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (g_has_display) wxEntryCleanup();
    return 0;
}
