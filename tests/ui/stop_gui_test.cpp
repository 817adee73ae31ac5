// Stop in a real window while a job works on a large data file: a scan stopped in the middle of its page scan
// gives back a usable file page, and a table view stopped part way keeps the rows it showed with the result
// page usable and says that the list is partial. The test holds the job at a given message until Stop's question
// is open, and while the question is open the job waits for the answer, so the stop lands there whatever the
// machine's speed. The large file (a 2005-format file of a few hundred MiB with three big
// tables) is written into a temporary folder by the benchmarks' generator when the test starts. And the scan of
// a badly damaged file shows how far its listing of the missing pages is.
#include <gtest/gtest.h>

#include <wx/gauge.h>
#include <wx/listctrl.h>
#include <wx/treectrl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/control_ids.h"
#include "app/progress_model.h"
#include "app/recover_thread.h"
#include "bench/bench_files.h"
#include "mdf/progress_pacer.h"
#include "mdf/recovery_engine.h"
#include "platform/messages.h"
#include "platform/text.h"
#include "tests/support/corpus.h"
#include "tests/support/page_builder.h"
#include "tests/ui/gui_harness.h"
#include "ui/brindlemoor_app.h"
#include "ui/main_dialog.h"
#include "ui/message_dialogs.h"

namespace {

namespace fs = std::filesystem;
using namespace guitest;
using namespace app;

// Size of the large file. The scan's page scan tells the window its position every 1,024 pages (and 50 ms) and
// waits for the window to handle it, so a file of this size keeps a scan busy for seconds, and its Orders table
// holds millions of rows.
constexpr std::uint64_t kLargeFileMiB = 320;

// One worker message as the window received it.
struct Received {
    unsigned message;
    platform::WPARAM wparam;
    platform::LPARAM lparam;
};

class StopWindow : public testing::Test {
protected:
    void SetUp() override {
        auto& a = App();
        ResetJobState(a);
        dialog_ = new ui::CBrindlemoorDlg(a);
        dialog_->end_program = [](bool) {};
        dialog_->confirm_stop = nullptr;  // Stop asks its real question; the test answers it
        // Every worker message passes the recorder on its way to the window.
        // While the question is open the job waits at its next check: it cannot run to its end before the
        // answer, however fast the machine.
        a.m_bridge.SetHandler([this](unsigned message, platform::WPARAM wparam, platform::LPARAM lparam) {
            received_.push_back({message, wparam, lparam});
            dialog_->OnWorkerMessage(message, wparam, lparam);
            shown_rows_->store(dialog_->ResultList()->GetItemCount());
        });
        dialog_->Show();
        Pump(50);
    }
    void TearDown() override {
        App().m_bridge.before_worker_send = nullptr;
        delete dialog_;
        Pump(20);
    }

    // The large file, written once per test into its own temporary folder; skips when /tmp has no room.
    const fs::path& LargeFile() {
        if (large_file_.empty()) {
            const fs::space_info space = fs::space(dir_.Path());
            if (space.available < 3 * kLargeFileMiB * 1024 * 1024) {
                large_file_ = "-";
                return large_file_;
            }
            large_file_ = dir_ / "large.mdf";
            tables_ = benchfiles::WriteLargeFile(large_file_, kLargeFileMiB);
        }
        return large_file_;
    }
    std::uint64_t RowsOf(const std::string& table) const {
        for (const auto& t : tables_) {
            if (t.name == table) return t.rows;
        }
        return 0;
    }

    void SelectFile(const fs::path& file) {
        dialog_->choose_file = [file] { return wxString::FromUTF8(file.string()); };
        dialog_->OnSelectFile();
    }
    // Scan File, then wait for the job's end.
    bool Scan() {
        dialog_->OnScanFile();
        return WaitUntil([] { return App().m_bJobIdle.load() && App().m_pRecoverThread.load() == nullptr; }, 60000);
    }
    std::uint64_t RunningJobId() const {
        const CRecoverThread* job = App().m_pRecoverThread.load();
        return job ? job->JobId() : 0;
    }
    std::size_t CountReceived(unsigned message) const {
        return static_cast<std::size_t>(std::count_if(received_.begin(), received_.end(),
                                                      [&](const Received& r) { return r.message == message; }));
    }
    std::size_t CountReceived(unsigned message, platform::WPARAM wparam) const {
        return static_cast<std::size_t>(std::count_if(received_.begin(), received_.end(), [&](const Received& r) {
            return r.message == message && r.wparam == wparam;
        }));
    }
    // The page position the last position message before the job's end carried; -1 when none came.
    platform::LPARAM LastPositionBeforeJobEnd() const {
        platform::LPARAM last = -1;
        for (const Received& r : received_) {
            if (r.message == platform::WM_JOB_ENDED) break;
            if (r.message == platform::WM_JOB_PROGRESS && r.wparam == platform::kProgressAt) last = r.lparam;
        }
        return last;
    }
    std::size_t ProgressSteps() const {
        return static_cast<std::size_t>(std::count_if(received_.begin(), received_.end(), [](const Received& r) {
            // A step of a pass, or a message that says where the pass is (the page scan's).
            return r.message == platform::WM_JOB_PROGRESS &&
                   (r.wparam == platform::kProgressStep || r.wparam == platform::kProgressAt);
        }));
    }

    // Holds the job on its own thread before the first message `due` names, until Stop's question holds the job:
    // Stop then comes exactly there, however fast the machine. True once the job is held there.
    void HoldJobBefore(std::function<bool(unsigned, platform::WPARAM, platform::LPARAM)> due) {
        held_->store(false);
        App().m_bridge.before_worker_send = [held = held_, due = std::move(due)](unsigned message, platform::WPARAM wparam,
                                                                                  platform::LPARAM lparam) {
            if (held->load() || !due(message, wparam, lparam)) return;
            held->store(true);
            const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
            while (!App().m_jobPause.Held() && std::chrono::steady_clock::now() < give_up) std::this_thread::yield();
        };
    }
    bool JobHeld() const { return held_->load(); }

    // Presses Stop while a job runs: the question is answered Yes, the message after the stop is closed.
    // Returns the message's text.
    wxString PressStop() {
        // Shared with the answerers, which may outlive this call when a dialog never opens.
        auto shown = std::make_shared<wxString>();
        auto asked = std::make_shared<bool>(false);
        WhenModalOpens<ui::CMyExitStopDialog>([asked](ui::CMyExitStopDialog& question) {
            *asked = true;
            EXPECT_EQ(question.UpperText(), "Do you want to stop the current process ?");
            // The job waits for the answer: it comes to a halt, and has not ended.
            EXPECT_TRUE(WaitUntil([] { return App().m_jobPause.Waiting() > 0 || App().m_bJobIdle.load(); }, 30000));
            EXPECT_FALSE(App().m_bJobIdle.load()) << "the job ended before Stop was answered";
            question.EndWith(kIdOk);
        });
        WhenModalOpens<ui::CMyMessageDialog>(
            [shown](ui::CMyMessageDialog& message) {
                *shown = message.UpperText();
                message.EndWith(kIdOk);
            },
            30000);
        dialog_->OnStopJob();
        EXPECT_TRUE(*asked);
        Pump(100);
        return *shown;
    }

    wxTreeItemId Child(const wxTreeItemId& parent, const wxString& suffix) const {
        wxTreeCtrl* tree = dialog_->ResultTree();
        wxTreeItemIdValue cookie;
        for (wxTreeItemId c = tree->GetFirstChild(parent, cookie); c.IsOk(); c = tree->GetNextChild(parent, cookie)) {
            if (WholeItemText(*dialog_, c).EndsWith(suffix)) return c;
        }
        return {};
    }
    wxTreeItemId TablesCaption() const {
        if (!App().m_hTreeRoot.IsOk()) return {};
        return Child(App().m_hTreeRoot, "Tables");
    }
    int ClickLabel(const wxTreeItemId& item) { return ClickTreeLabel(*dialog_, item); }
    wxString Cell(long row, int column) const { return dialog_->ResultList()->GetItemText(row, column); }

    testsupport::TempDir dir_;
    fs::path large_file_;
    std::vector<benchfiles::LargeTable> tables_;
    ui::CBrindlemoorDlg* dialog_ = nullptr;
    std::vector<Received> received_;
    // Shared with the job's thread, which may look at them while the fixture ends.
    std::shared_ptr<std::atomic<bool>> held_ = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<std::atomic<long>> shown_rows_ = std::make_shared<std::atomic<long>>(0);
};

#define REQUIRE_LARGE_FILE()                                                                 \
    do {                                                                                     \
        if (LargeFile() == "-") GTEST_SKIP() << "not enough free space for the large file"; \
    } while (0)

TEST_F(StopWindow, StopInTheMiddleOfAScanOfALargeFileGivesBackAUsableFilePage) {
    REQUIRE_LARGE_FILE();
    dialog_->OnCompleteRepair();
    SelectFile(LargeFile());
    const int depth = App().m_nPageDepth;
    const auto pages = static_cast<platform::LPARAM>(kLargeFileMiB * 1024 * 1024 / 8192);
    // The page scan tells its position every 1,024 pages however fast the disk (a file in the page cache is
    // read through in less than the usual 50 ms between position messages), so Stop meets it part way.
    const mdf::ProgressPacer::Thresholds every_1024_pages(1024, std::chrono::milliseconds(0));
    // Stop once the page scan has told its first position: held before its second, early in the file's 40,960
    // pages.
    auto positions = std::make_shared<int>(0);
    HoldJobBefore([positions](unsigned message, platform::WPARAM wparam, platform::LPARAM) {
        return message == platform::WM_JOB_PROGRESS && wparam == platform::kProgressAt && ++*positions == 2;
    });
    dialog_->OnScanFile();
    const std::uint64_t job = RunningJobId();
    ASSERT_NE(job, 0u);
    ASSERT_TRUE(WaitUntil([&] { return JobHeld() || App().m_bJobIdle.load(); }, 30000));
    ASSERT_FALSE(App().m_bJobIdle.load()) << "the scan ended before Stop";
    EXPECT_GE(ProgressSteps(), 1u);

    EXPECT_EQ(PressStop(), "Current  process stopped by user.");
    EXPECT_EQ(CountReceived(platform::WM_JOB_ENDED), 1u);
    EXPECT_EQ(CountReceived(platform::WM_JOB_ENDED, job), 1u);
    // The page scan was stopped part way: the last position it reported is below half the file's pages.
    const platform::LPARAM last_position = LastPositionBeforeJobEnd();
    EXPECT_GT(last_position, 0) << "the page scan reported its position";
    EXPECT_LT(last_position, pages / 2);
    EXPECT_EQ(CountReceived(platform::WM_SCAN_DONE), 0u);
    EXPECT_TRUE(App().m_bJobIdle.load());
    EXPECT_EQ(App().m_pRecoverThread.load(), nullptr);
    EXPECT_FALSE(App().m_hTreeRoot.IsOk());  // no result page after a stop
    EXPECT_EQ(App().m_nPageDepth, depth);
    EXPECT_TRUE(dialog_->IsControlShown(kIdScanFile));
    EXPECT_TRUE(dialog_->IsControlEnabled(kIdScanFile));
    EXPECT_TRUE(dialog_->IsControlEnabled(kIdSelectFile));
    EXPECT_TRUE(dialog_->IsControlEnabled(kIdBack));
    EXPECT_TRUE(dialog_->IsControlEnabled(kIdHome));
    EXPECT_FALSE(dialog_->IsControlShown(kIdStopJob));
    EXPECT_FALSE(SaveScreenshot(*dialog_, "stop_during_large_scan").empty());

    // The window is usable: a small file scans to its end and shows its tables.
    fs::path small;
    std::vector<std::pair<wxString, std::uint64_t>> expected;
    if (const auto corpus = testsupport::CorpusDir(); corpus && fs::exists(*corpus / "pubs_sligo.mdf")) {
        small = *corpus / "pubs_sligo.mdf";
        expected = {{"authors", 23}, {"titles", 18}, {"roysched", 86}};
    } else {
        small = dir_ / "small.mdf";
        for (const auto& t : benchfiles::WriteLargeFile(small, 4)) {
            expected.push_back({wxString::FromUTF8(t.name), t.rows});
        }
    }
    received_.clear();
    SelectFile(small);
    ASSERT_TRUE(Scan());
    EXPECT_EQ(CountReceived(platform::WM_SCAN_DONE), 1u);
    EXPECT_EQ(CountReceived(platform::WM_JOB_ENDED), 1u);
    const wxTreeItemId caption = TablesCaption();
    ASSERT_TRUE(caption.IsOk());
    ASSERT_NE(dialog_->Engine(), nullptr);
    EXPECT_EQ(dialog_->ResultTree()->GetChildrenCount(caption, false), dialog_->Engine()->m_lstTables.size());
    for (const auto& [name, rows] : expected) {
        EXPECT_TRUE(Child(caption, name + "(" + std::to_string(rows) + ")").IsOk()) << name;
    }
    EXPECT_TRUE(dialog_->IsControlShown(kIdRepair));
    EXPECT_FALSE(dialog_->IsControlShown(kIdScanFile));
}

TEST_F(StopWindow, StopPartWayThroughALargeTableKeepsItsRowsAndTheResultPage) {
    REQUIRE_LARGE_FILE();
    dialog_->OnCompleteRepair();
    SelectFile(LargeFile());
    ASSERT_TRUE(Scan());
    const wxTreeItemId caption = TablesCaption();
    ASSERT_TRUE(caption.IsOk());
    const std::uint64_t total = RowsOf("Orders");
    ASSERT_GT(total, 100000u);
    const wxTreeItemId orders = Child(caption, "Orders(" + std::to_string(total) + ")");
    ASSERT_TRUE(orders.IsOk());

    received_.clear();
    // Stop once the list shows 2,000 rows: the view is held before its next batch.
    HoldJobBefore([shown = shown_rows_](unsigned message, platform::WPARAM, platform::LPARAM) {
        return message == platform::WM_TABLE_ROW && shown->load() >= 2000;
    });
    EXPECT_EQ(ClickLabel(orders), 1);
    const std::uint64_t job = RunningJobId();
    ASSERT_NE(job, 0u);
    wxListCtrl* list = dialog_->ResultList();
    ASSERT_TRUE(WaitUntil([&] { return JobHeld() || App().m_bJobIdle.load(); }, 30000));
    ASSERT_FALSE(App().m_bJobIdle.load()) << "the table view ended before Stop";

    EXPECT_EQ(PressStop(), "Current  process stopped by user.");
    EXPECT_EQ(CountReceived(platform::WM_JOB_ENDED), 1u);
    EXPECT_EQ(CountReceived(platform::WM_JOB_ENDED, job), 1u);
    EXPECT_TRUE(App().m_bJobIdle.load());
    EXPECT_EQ(App().m_pRecoverThread.load(), nullptr);

    // The rows shown so far stay, whole and in order: row i is order i + 1.
    const long shown = list->GetItemCount();
    EXPECT_GE(shown, 2000);
    EXPECT_LT(static_cast<std::uint64_t>(shown), total);
    // The counter stays and says how many of the table's rows the list holds: it is partial.
    EXPECT_TRUE(dialog_->IsControlShown(kIdRecordCounter));
    EXPECT_EQ(dialog_->ControlText(kIdRecordCounter),
              wxString::FromUTF8(platform::ToUtf8(app::PartialCounterText(shown, static_cast<std::int64_t>(total), false))));
    EXPECT_TRUE(dialog_->ControlText(kIdRecordCounter).EndsWith(" of " + std::to_string(total) + " (stopped: partial)"));
    EXPECT_FALSE(SaveScreenshot(*dialog_, "table_load_stopped").empty());
    EXPECT_EQ(list->GetColumnCount(), 5);
    EXPECT_EQ(Cell(0, 0), "1");
    EXPECT_EQ(Cell(shown - 1, 0), std::to_string(shown));
    Pump(200);
    EXPECT_EQ(list->GetItemCount(), shown);

    // The result page stays: the tree, Repair and the navigation are back.
    EXPECT_TRUE(App().m_hTreeRoot.IsOk());
    EXPECT_TRUE(dialog_->IsControlShown(kIdRepair));
    EXPECT_FALSE(dialog_->IsControlShown(kIdStopJob));
    EXPECT_FALSE(dialog_->IsControlShown(kIdScanFile));
    EXPECT_TRUE(dialog_->IsControlEnabled(kIdBack));
    EXPECT_TRUE(dialog_->IsControlEnabled(kIdHome));
    // The list is usable: its last row can be selected and scrolled to.
    list->SetItemState(shown - 1, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    list->EnsureVisible(shown - 1);
    EXPECT_EQ(list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED), shown - 1);
    EXPECT_FALSE(SaveScreenshot(*dialog_, "stop_during_large_table_view").empty());

    // A new click on the table starts a new view that fills the list from its first row again.
    received_.clear();
    EXPECT_EQ(ClickLabel(orders), 1);
    ASSERT_NE(RunningJobId(), 0u);
    EXPECT_NE(RunningJobId(), job);
    ASSERT_TRUE(
        WaitUntil([&] { return CountReceived(platform::WM_TABLE_ROW) >= 4 || App().m_bJobIdle.load(); }, 30000));
    EXPECT_EQ(Cell(0, 0), "1");
    EXPECT_EQ(PressStop(), "Current  process stopped by user.");
    EXPECT_EQ(CountReceived(platform::WM_JOB_ENDED), 1u);
    EXPECT_LT(static_cast<std::uint64_t>(list->GetItemCount()), total);
    EXPECT_EQ(Cell(list->GetItemCount() - 1, 0), std::to_string(list->GetItemCount()));
}

// A badly damaged file (a large file cut to a third: thousands of its tables' pages lie beyond its end): after
// the page scan, the scan lists the damaged and missing pages in the log, as runs of pages, so the listing stays
// a few lines long. The bar starts again for that listing and moves with it, and the line under it says what the
// scan does and how far it is.
TEST(DamagedScanWindow, TheListingOfMissingPagesShowsItsProgressWithText) {
    testsupport::TempDir dir;
    const fs::path file = dir / "cut.mdf";
    benchfiles::WriteLargeFile(file, 48);
    fs::resize_file(file, 16 * 1024 * 1024);
    // Every listed line reports where the listing is (the window is told at most every 1,024 lines otherwise).
    const mdf::ProgressPacer::Thresholds every_line(1, std::chrono::milliseconds(0));
    ui::CBrindlemoorDlg* dialog = nullptr;
    int listed_lines = 0;
    int gauge_then = -1;
    wxString text_then;
    dialog = OpenMainDialogOnScreen([&](ui::CBrindlemoorDlg& d) {
        dialog = &d;
        App().m_bridge.SetHandler([&](unsigned message, platform::WPARAM wparam, platform::LPARAM lparam) {
            dialog->OnWorkerMessage(message, wparam, lparam);
            if (message == platform::WM_LOG_LINE && (App().m_strLogLine.rfind(u"Missing page", 0) == 0 ||
                                                     App().m_strLogLine.rfind(u"Damaged page", 0) == 0) &&
                ++listed_lines >= 2) {
                // From the second line on, the bar has moved for the lines before it.
                gauge_then = dialog->ScanGauge()->GetValue();
                text_then = dialog->ControlText(kIdSearchStatus);
                EXPECT_TRUE(dialog->IsControlShown(kIdSearchStatus));
                if (listed_lines == 2) {
                    EXPECT_FALSE(SaveScreenshot(*dialog, "scan_damaged_progress").empty());
                }
            }
        });
    });
    ClickControl(*dialog, kIdCompleteRepair);
    ClickSelectFile(*dialog, file);
    ASSERT_TRUE(ClickScanFile(*dialog));
    ASSERT_TRUE(WaitUntil([] { return JobIdle(); }, 60000));
    ASSERT_NE(dialog->Engine(), nullptr);
    // Thousands of missing pages, a few lines: the runs of pages, one a table and fault.
    ASSERT_GE(listed_lines, 2);
    EXPECT_LT(listed_lines, 200);
    // At the last listed line the bar is part way, neither empty nor past its end, and the line says where.
    const int range = dialog->ScanGauge()->GetRange();
    EXPECT_GT(gauge_then, 0);
    EXPECT_LE(gauge_then, range);
    EXPECT_TRUE(text_then.StartsWith("Listing damaged and missing pages : ")) << text_then;
    // The result page came: the line of the scan went with its bar.
    EXPECT_TRUE(App().m_hTreeRoot.IsOk());
    EXPECT_FALSE(dialog->IsControlShown(kIdSearchStatus));
    CloseMainDialog(dialog);
}

}  // namespace
