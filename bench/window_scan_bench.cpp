// The scan of a data file in the real window (Scan File on the main dialog, every worker message handled by it,
// the running log window appending each line) against the same scan in the catalogue tool (catalog_dump: the
// engine's scan and damage listing without a window), and how long Stop takes from the click to a usable file
// page when pressed during the scan. An X display is needed: run under xvfb-run.
// Usage: window_scan_bench FILE [--benchmark_...]; the badly damaged file of the figures is the 1 GiB bench file
// cut to 300 MiB (make_bench_files large 1024; truncate -s 300M).
#include <benchmark/benchmark.h>
#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/init.h>
#include <wx/timer.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <iostream>
#include <ostream>
#include <streambuf>
#include <string>

#include "mdf/recovery_engine.h"
#include "platform/messages.h"
#include "platform/shared_state.h"
#include "platform/text.h"
#include "tests/tools/catalog_dump.h"
#include "ui/brindlemoor_app.h"
#include "ui/main_dialog.h"

namespace {

bool g_has_display = false;
std::string g_file;
ui::CBrindlemoorApp* g_app = nullptr;

class NullBuffer : public std::streambuf {
protected:
    int overflow(int c) override { return c; }
};

// Ends every modal dialog that opens (the scan's messages, Stop's notice), as a user clicking OK would.
void AnswerModals() {
    for (wxWindow* window : wxTopLevelWindows) {
        auto* dialog = dynamic_cast<wxDialog*>(window);
        if (dialog != nullptr && dialog->IsShown() && dialog->IsModal()) dialog->EndModal(wxID_OK);
    }
}

// Runs the program's event loop until `done`, answering modal dialogs on the way.
void LoopUntil(const std::function<bool()>& done) {
    wxGUIEventLoop loop;
    wxTimer timer;
    timer.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
        AnswerModals();
        if (done()) loop.Exit();
    });
    timer.Start(5);
    loop.Run();
    timer.Stop();
}

bool JobIdle() { return g_app->m_bJobIdle.load() && g_app->m_pRecoverThread.load() == nullptr; }

void ResetState() {
    auto& a = *g_app;
    a.m_nPageDepth = 0;
    a.m_bJobIdle = true;
    a.m_bStopJob = false;
    a.m_bStoppedByUser = false;
    a.m_bRepairRequested = false;
    a.m_bJobCompleted = false;
    a.m_bDocumentMode = false;
}

ui::CBrindlemoorDlg* OpenDialog() {
    ResetState();
    auto* dialog = new ui::CBrindlemoorDlg(*g_app);
    dialog->end_program = [](bool) {};
    dialog->confirm_stop = [] { return true; };
    dialog->Show();
    wxTheApp->ProcessPendingEvents();
    return dialog;
}

void StartScan(ui::CBrindlemoorDlg& dialog) {
    dialog.OnCompleteRepair();
    const wxString file = wxString::FromUTF8(g_file);
    dialog.choose_file = [file] { return file; };
    dialog.OnSelectFile();
    dialog.OnScanFile();
}

// The tool: what catalog_dump FILE does before it prints.
void ToolScan(benchmark::State& state) {
    NullBuffer null_buffer;
    std::ostream null_stream(&null_buffer);
    for (auto _ : state) {
        platform::SharedState shared;
        shared.m_strDataFilePath = platform::FromUtf8(g_file);
        platform::NullSink sink;
        mdf::CRecoveryEngine engine(shared, &sink);
        std::uint64_t damage = 0;
        if (!catalog_dump::RunScan(engine, null_stream, &damage)) {
            state.SkipWithError("the file cannot be scanned");
            return;
        }
        state.counters["findings"] = static_cast<double>(damage);
    }
}
BENCHMARK(ToolScan)->Unit(benchmark::kMillisecond)->UseRealTime();

// Scan File in the window until the job has ended and the result page is up; with log:1 the log viewer was
// opened (and closed) before, as a user who looked at the log does.
void WindowScan(benchmark::State& state) {
    if (!g_has_display) {
        state.SkipWithError("no X display (run under xvfb-run)");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        ui::CBrindlemoorDlg* dialog = OpenDialog();
        if (state.range(0) != 0) {
            wxTimer closer;
            closer.Bind(wxEVT_TIMER, [](wxTimerEvent&) { AnswerModals(); });
            closer.Start(20);
            dialog->OnViewLog();
            closer.Stop();
        }
        state.ResumeTiming();
        StartScan(*dialog);
        LoopUntil(JobIdle);
        state.PauseTiming();
        delete dialog;
        wxTheApp->ProcessPendingEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(WindowScan)->ArgName("log")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// Stop during the scan: from Stop (the question answered Yes) to a usable file page, the job ended. The stop is
// pressed after `delay_ms` of scanning (in the page scan for a short delay, in the damage listing and the
// catalogue checks for a longer one).
void StopDuringScan(benchmark::State& state) {
    if (!g_has_display) {
        state.SkipWithError("no X display (run under xvfb-run)");
        return;
    }
    double longest = 0;
    for (auto _ : state) {
        state.PauseTiming();
        ui::CBrindlemoorDlg* dialog = OpenDialog();
        StartScan(*dialog);
        const auto start = std::chrono::steady_clock::now();
        LoopUntil([&] {
            return JobIdle() || std::chrono::steady_clock::now() - start > std::chrono::milliseconds(state.range(0));
        });
        const bool ran = !JobIdle();
        state.ResumeTiming();
        const auto stop_start = std::chrono::steady_clock::now();
        if (ran) {
            wxTimer closer;
            closer.Bind(wxEVT_TIMER, [](wxTimerEvent&) { AnswerModals(); });
            closer.Start(5);
            dialog->OnStopJob();
            closer.Stop();
            LoopUntil(JobIdle);
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - stop_start).count();
        longest = std::max(longest, seconds);
        state.PauseTiming();
        if (!ran) state.counters["ended_before_stop"] = 1;
        delete dialog;
        wxTheApp->ProcessPendingEvents();
        state.ResumeTiming();
    }
    state.counters["longest_s"] = longest;
}
BENCHMARK(StopDuringScan)->ArgName("after_ms")->Arg(200)->Arg(600)->Arg(1500)->Unit(benchmark::kMillisecond)
    ->UseRealTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (argc < 2) {
        std::cerr << "usage: window_scan_bench FILE [--benchmark_...]\n";
        return 2;
    }
    g_file = argv[1];
    int wx_argc = 1;
    g_app = new ui::CBrindlemoorApp();
    wxApp::SetInstance(g_app);
    g_has_display = wxEntryStart(wx_argc, argv);
    if (g_has_display) g_app->CreateLogWindow();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (g_has_display) {
        g_app->m_bridge.Close();
        wxEntryCleanup();
    }
    return 0;
}
