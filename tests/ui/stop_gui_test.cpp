// Stop in a real window while a job works on a large data file: a scan stopped in the middle of its page scan
// gives back a usable file page, and a table view stopped part way keeps the rows it showed with the result
// page usable. The large file (a 2005-format file of a few hundred MiB with three big tables) is written into
// a temporary folder by the benchmarks' generator when the test starts.
#include <gtest/gtest.h>

#include <wx/listctrl.h>
#include <wx/treectrl.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/control_ids.h"
#include "app/recover_thread.h"
#include "bench/bench_files.h"
#include "mdf/progress_pacer.h"
#include "mdf/recovery_engine.h"
#include "platform/messages.h"
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
        a.m_bridge.SetHandler([this](unsigned message, platform::WPARAM wparam, platform::LPARAM lparam) {
            received_.push_back({message, wparam, lparam});
            // While the question is open, the window handles each progress message and row batch slowly, as a
            // busy desktop would: the job cannot run to its end before the answer, however fast the machine.
            // Progress comes only every 1,024 pages and 50 ms, so each of those messages takes long.
            if (slow_window_ && !*stop_confirmed_ &&
                (message == platform::WM_JOB_PROGRESS || message == platform::WM_TABLE_ROW)) {
                std::this_thread::sleep_for(std::chrono::milliseconds(message == platform::WM_JOB_PROGRESS ? 100 : 1));
            }
            dialog_->OnWorkerMessage(message, wparam, lparam);
        });
        dialog_->Show();
        Pump(50);
    }
    void TearDown() override {
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

    // Presses Stop while a job runs: the question is answered Yes, the message after the stop is closed.
    // Returns the message's text.
    wxString PressStop() {
        // Shared with the answerers, which may outlive this call when a dialog never opens.
        auto shown = std::make_shared<wxString>();
        auto asked = std::make_shared<bool>(false);
        *stop_confirmed_ = false;
        WhenModalOpens<ui::CMyExitStopDialog>([asked, confirmed = stop_confirmed_](ui::CMyExitStopDialog& question) {
            *asked = true;
            EXPECT_EQ(question.UpperText(), "Do you want to stop the current process ?");
            EXPECT_FALSE(App().m_bJobIdle.load()) << "the job ended before Stop was answered";
            *confirmed = true;
            question.EndWith(kIdOk);
        });
        WhenModalOpens<ui::CMyMessageDialog>(
            [shown](ui::CMyMessageDialog& message) {
                *shown = message.UpperText();
                message.EndWith(kIdOk);
            },
            30000);
        slow_window_ = true;
        dialog_->OnStopJob();
        slow_window_ = false;
        EXPECT_TRUE(*asked);
        Pump(100);
        return *shown;
    }

    wxTreeItemId Child(const wxTreeItemId& parent, const wxString& suffix) const {
        wxTreeCtrl* tree = dialog_->ResultTree();
        wxTreeItemIdValue cookie;
        for (wxTreeItemId c = tree->GetFirstChild(parent, cookie); c.IsOk(); c = tree->GetNextChild(parent, cookie)) {
            if (tree->GetItemText(c).EndsWith(suffix)) return c;
        }
        return {};
    }
    wxTreeItemId TablesCaption() const {
        if (!App().m_hTreeRoot.IsOk()) return {};
        return Child(App().m_hTreeRoot, "Share Point Server Tables");
    }
    int ClickLabel(const wxTreeItemId& item) { return ClickTreeLabel(*dialog_, item); }
    wxString Cell(long row, int column) const { return dialog_->ResultList()->GetItemText(row, column); }

    testsupport::TempDir dir_;
    fs::path large_file_;
    std::vector<benchfiles::LargeTable> tables_;
    ui::CBrindlemoorDlg* dialog_ = nullptr;
    std::vector<Received> received_;
    std::shared_ptr<bool> stop_confirmed_ = std::make_shared<bool>(false);
    bool slow_window_ = false;
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
    slow_window_ = true;  // from the start: each progress message of the scan takes the window long
    dialog_->OnScanFile();
    const std::uint64_t job = RunningJobId();
    ASSERT_NE(job, 0u);
    // Stop once the page scan has told its first position: early in the file's 40,960 pages.
    ASSERT_TRUE(WaitUntil([&] { return ProgressSteps() >= 1 || App().m_bJobIdle.load(); }, 30000));
    ASSERT_FALSE(App().m_bJobIdle.load()) << "the scan ended before Stop";

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
    EXPECT_EQ(ClickLabel(orders), 1);
    const std::uint64_t job = RunningJobId();
    ASSERT_NE(job, 0u);
    wxListCtrl* list = dialog_->ResultList();
    ASSERT_TRUE(WaitUntil([&] { return list->GetItemCount() >= 2000 || App().m_bJobIdle.load(); }, 30000));
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

}  // namespace
