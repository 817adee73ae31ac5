// Stop pressed with the mouse while a document save writes: the save is held at a given document (the test
// holds the job at that document's count until the question is open), so the stop lands there whatever the
// machine's speed. While the question is open nothing more is written; after Yes exactly the documents before
// the question are saved, the items saved whole are unchecked and the rest keep their checks, the window keeps
// the counter and says the save is partial, Repair is offered again and saves the rest, and the log ends with
// the stop and the number of documents it left unsaved, never calling a list it cut "Repaired successfully".
// One test runs at the scale of a real site (100,000 documents), where the writer threads have many documents
// in hand when the stop comes.
#include <gtest/gtest.h>

#include <wx/gauge.h>
#include <wx/treectrl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/control_ids.h"
#include "app/log_text.h"
#include "bench/bench_files.h"
#include "platform/messages.h"
#include "platform/text.h"
#include "sharepoint/check_tree.h"
#include "tests/support/page_builder.h"
#include "tests/support/sharepoint_builder.h"
#include "tests/ui/gui_harness.h"
#include "ui/brindlemoor_app.h"
#include "ui/main_dialog.h"
#include "ui/message_dialogs.h"

namespace {

namespace fs = std::filesystem;
using namespace guitest;
using namespace app;
using testsupport::sharepoint::ContentDatabase;
using testsupport::sharepoint::Generation;

constexpr int kLists = 6;
constexpr int kDocumentsPerList = 500;
constexpr int kSmallSiteDocuments = 5;
constexpr std::uint64_t kDocuments = kLists * kDocumentsPerList + kSmallSiteDocuments;

// A small site saved first, then "Site B" with six libraries of 500 documents each.
ContentDatabase ManyDocuments() {
    ContentDatabase db(Generation::Sp2010VarBinary);
    auto text = [](const std::string& name) {
        const std::string body = "contents of " + name + " ";
        std::vector<std::uint8_t> bytes(body.begin(), body.end());
        bytes.resize(64, '.');
        return bytes;
    };
    const int small = db.AddWeb(-1, u"Site A");
    const int notes = db.AddList(small, u"Notes", u"Notes");
    for (int d = 0; d < kSmallSiteDocuments; ++d) {
        const std::string name = "note" + std::to_string(d) + ".txt";
        db.AddDocument(notes, -1, platform::FromUtf8(name), text("A/" + name));
    }
    const int big = db.AddWeb(-1, u"Site B");
    for (int l = 1; l <= kLists; ++l) {
        const std::u16string title = u"Library " + platform::FromUtf8(std::to_string(l));
        const int list = db.AddList(big, title, title);
        for (int d = 0; d < kDocumentsPerList; ++d) {
            const std::string name = "doc" + std::to_string(d) + ".txt";
            db.AddDocument(list, -1, platform::FromUtf8(name), text(std::to_string(l) + "/" + name));
        }
    }
    return db;
}

std::size_t FilesBelow(const fs::path& folder) {
    std::size_t n = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) n += entry.is_regular_file() ? 1 : 0;
    return n;
}

class SaveStopWindow : public testing::Test {
protected:
    void SetUp() override {
        dialog_ = OpenMainDialogOnScreen([this](ui::CBrindlemoorDlg& dialog) {
            dialog_ = &dialog;
            dialog.confirm_stop = nullptr;  // Stop asks its real question; the test answers it
            App().m_bridge.SetHandler([this](unsigned message, platform::WPARAM wparam, platform::LPARAM lparam) {
                if (message == platform::WM_LOG_LINE) log_.push_back(platform::ToUtf8(App().m_strLogLine));
                dialog_->OnWorkerMessage(message, wparam, lparam);
            });
        });
    }
    void TearDown() override {
        App().m_bridge.before_worker_send = nullptr;
        App().m_prompts.choose_folder = nullptr;
        HandWorkerMessagesTo(dialog_);
        delete dialog_;
        Pump(20);
    }

    void Click(int id) { ClickControl(*dialog_, id); }
    bool Idle() const { return JobIdle(); }
    wxTreeItemId Item(const char* label, const wxTreeItemId& from = {}) const {
        const wxTreeItemId item =
            FindTreeItem(*dialog_, from.IsOk() ? from : App().m_hTreeRoot, wxString::FromUTF8(label));
        EXPECT_TRUE(item.IsOk()) << label;
        return item;
    }
    int StateOf(const wxTreeItemId& item) const { return item.IsOk() ? dialog_->ResultTree()->GetItemState(item) : -1; }
    int StateOf(const char* label) const { return StateOf(Item(label)); }
    bool Logged(const std::string& line) const { return std::find(log_.begin(), log_.end(), line) != log_.end(); }
    // The one folder a save made in parent.
    static fs::path SaveFolder(const fs::path& parent) {
        std::vector<fs::path> folders{fs::directory_iterator(parent), fs::directory_iterator()};
        EXPECT_EQ(folders.size(), 1u);
        return folders.empty() ? parent : folders[0];
    }

    // Document Recovery of file with real clicks, up to the result page.
    void ScanDocuments(const fs::path& file) {
        Click(kIdDocumentRecovery);
        dialog_->choose_file = [file] { return wxString::FromUTF8(file.string()); };
        Click(kIdSelectFile);
        Click(kIdScanFile);
        ASSERT_TRUE(WaitUntil([&] { return Idle(); }, 120000));
        ASSERT_TRUE(App().m_hTreeRoot.IsOk());
    }

    // The outcome of StopSaveAt.
    struct Stopped {
        wxString question;        // the question's text
        std::uint64_t asked_at = 0;  // the documents saved while the question was open
        bool halted = false;      // the save waited for the answer
        int gauge_at_question = -1;
        wxString counter;         // the counter's text once the save ended
        wxString message;         // the message after the stop: upper and lower text
        wxString message_detail;
    };
    // Repair into `into`, the save held at the count of its document `at`; Stop clicked with the mouse there and
    // answered Yes once the save has come to a halt.
    Stopped StopSaveAt(const fs::path& into, std::uint64_t at) {
        Stopped result;
        App().m_prompts.choose_folder = [into](const std::u16string&) { return platform::FromUtf8(into.string()); };
        // Held on the job's thread at that document's count until Stop is being asked (the window holds the
        // job while it asks).
        auto held = std::make_shared<std::atomic<bool>>(false);
        App().m_bridge.before_worker_send = [held, at](unsigned message, platform::WPARAM, platform::LPARAM) {
            if (message != platform::WM_RECORD_COUNT || App().m_nRecoveredCount.load() != at || held->load()) return;
            held->store(true);
            const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
            while (!App().m_jobPause.Held() && std::chrono::steady_clock::now() < give_up) std::this_thread::yield();
        };
        WhenModalOpens<ui::CMyExitStopDialog>(
            [&result](ui::CMyExitStopDialog& question) {
                result.question = question.UpperText();
                // The job goes on to its next document and waits there for the answer.
                result.halted = WaitUntil([] { return App().m_jobPause.Waiting() > 0; }, 30000);
                result.asked_at = App().m_nRecoveredCount.load();
                question.EndWith(kIdOk);
            },
            120000);
        WhenModalOpens<ui::CMyMessageDialog>(
            [&result](ui::CMyMessageDialog& d) {
                result.message = d.UpperText();
                result.message_detail = d.LowerText();
                d.EndWith(kIdOk);
            },
            120000);
        log_.clear();
        Click(kIdRepair);
        EXPECT_TRUE(WaitUntil([&] { return held->load() || Idle(); }, 120000));
        EXPECT_TRUE(held->load()) << "the save ended before document " << at;
        result.gauge_at_question = dialog_->ResultGauge()->GetValue();
        Click(kIdStopJob);
        EXPECT_TRUE(WaitUntil([&] { return Idle() && !result.message.empty(); }, 120000));
        App().m_bridge.before_worker_send = nullptr;
        Pump(100);
        result.counter = dialog_->ControlText(kIdRecordCounter);
        return result;
    }

    ui::CBrindlemoorDlg* dialog_ = nullptr;
    std::vector<std::string> log_;
};

TEST_F(SaveStopWindow, StopPartWayKeepsTheUnsavedItemsCheckedAndRepairSavesTheRest) {
    testsupport::TempDir dir;
    ManyDocuments().Build().WriteTo(dir / "WSS_Content.mdf");
    ScanDocuments(dir / "WSS_Content.mdf");
    EXPECT_EQ(dialog_->ResultTree()->GetItemState(App().m_hTreeRoot), sharepoint::kChecked);

    // Everything checked: Repair, and Stop at the count of the 1,200th document: Site A (5) and libraries 1 and
    // 2 of Site B (500 each) are whole, library 3 is cut.
    constexpr std::uint64_t kAt = 1200;
    const fs::path first = dir / "first";
    fs::create_directory(first);
    const Stopped stopped = StopSaveAt(first, kAt);
    EXPECT_EQ(stopped.question, "Do you want to stop the current process ?");
    EXPECT_TRUE(stopped.halted);
    EXPECT_EQ(stopped.asked_at, kAt);
    EXPECT_EQ(stopped.message, "Current  process stopped by user.");
    EXPECT_EQ(stopped.message_detail, "1200 of 3005 document(s) saved; the items not saved stay checked.");
    EXPECT_EQ(App().m_nRecoveredCount.load(), kAt);
    EXPECT_EQ(FilesBelow(first), kAt);

    // What was saved whole is unchecked; the site the stop cut is partly checked, with the library it cut and
    // those after it checked; Repair is offered again; the counter stays and says the save is partial.
    EXPECT_EQ(StateOf("Site A"), sharepoint::kUnchecked);
    EXPECT_EQ(StateOf("Library 1"), sharepoint::kUnchecked);
    EXPECT_EQ(StateOf("Library 2"), sharepoint::kUnchecked);
    for (int l = 3; l <= kLists; ++l) {
        EXPECT_EQ(StateOf(("Library " + std::to_string(l)).c_str()), sharepoint::kChecked) << l;
    }
    EXPECT_EQ(StateOf("Site B"), sharepoint::kPartlyChecked);
    EXPECT_EQ(dialog_->ResultTree()->GetItemState(App().m_hTreeRoot), sharepoint::kPartlyChecked);
    EXPECT_TRUE(dialog_->IsControlShown(kIdRepair));
    EXPECT_TRUE(dialog_->IsControlEnabled(kIdRepair));
    EXPECT_TRUE(dialog_->IsControlShown(kIdRecordCounter));
    EXPECT_EQ(stopped.counter, "Recovered Documents : 0000001200 of 3005 (stopped: partial)");

    // The log: the library being written when Stop came is not called repaired, nor its site; it ends with the
    // stop and the count it left unsaved, in the window's log and in the log View Log shows.
    EXPECT_TRUE(Logged("  Site A:Repaired successfully"));
    EXPECT_TRUE(Logged("  Library 2:Repaired successfully"));
    EXPECT_FALSE(Logged("  Library 3:Repaired successfully"));
    EXPECT_FALSE(Logged("  Site B:Repaired successfully"));
    const std::string stop_line = "Stopped by the user: " + std::to_string(kDocuments - kAt) + " of " +
                                  std::to_string(kDocuments) + " document(s) not saved; the items not saved stay checked.";
    ASSERT_GE(log_.size(), 2u);
    EXPECT_EQ(log_[log_.size() - 2], stop_line);
    EXPECT_NE(platform::ToUtf8(app::GetLogText(App())).find(stop_line), std::string::npos);
    EXPECT_FALSE(SaveScreenshot(*dialog_, "save_stopped_tree").empty());

    // Repair again saves what is still checked: libraries 3 to 6 of Site B, and nothing a second time.
    const fs::path second = dir / "second";
    fs::create_directory(second);
    App().m_prompts.choose_folder = [second](const std::u16string&) { return platform::FromUtf8(second.string()); };
    wxString done_message;
    WhenModalOpens<ui::CMyMessageDialog>(
        [&done_message](ui::CMyMessageDialog& d) {
            done_message = d.UpperText();
            d.EndWith(kIdOk);
        },
        60000);
    Click(kIdRepair);
    ASSERT_TRUE(WaitUntil([&] { return Idle() && !done_message.empty(); }, 60000));
    EXPECT_TRUE(done_message.Contains("saved at the desired location.")) << done_message;
    const fs::path rest = SaveFolder(second);
    EXPECT_EQ(FilesBelow(rest), static_cast<std::size_t>((kLists - 2) * kDocumentsPerList));
    EXPECT_FALSE(fs::exists(rest / "Site A"));
    EXPECT_FALSE(fs::exists(rest / "Site B" / "Library 1"));
    EXPECT_FALSE(dialog_->IsControlShown(kIdRecordCounter));
    EXPECT_EQ(StateOf("Site B"), sharepoint::kUnchecked);
    EXPECT_EQ(dialog_->ResultTree()->GetItemState(App().m_hTreeRoot), sharepoint::kUnchecked);
}

// The same at the scale of a real site: 100,000 small documents in 3,300 folders of 30 libraries, the save's
// writer threads well ahead of the document the stop comes at. The bar has moved with the documents.
TEST_F(SaveStopWindow, AStopInASaveOfAHundredThousandDocumentsLandsAtItsDocument) {
    testsupport::TempDir dir;
    constexpr std::uint64_t kBig = 100000;
    const fs::path file = dir / "content_100000_small.mdf";
    benchfiles::WriteContentDatabase(file, kBig, true);
    ScanDocuments(file);

    // The first library (of the first team site of Site A) holds 3,334 documents: stopped in the second one.
    constexpr std::uint64_t kAt = 5000;
    const fs::path out = dir / "out";
    fs::create_directory(out);
    const Stopped stopped = StopSaveAt(out, kAt);
    EXPECT_TRUE(stopped.halted);
    EXPECT_EQ(stopped.asked_at, kAt);
    EXPECT_EQ(App().m_nRecoveredCount.load(), kAt);
    EXPECT_EQ(FilesBelow(out), kAt);
    EXPECT_EQ(stopped.message_detail, "5000 of 100000 document(s) saved; the items not saved stay checked.");
    EXPECT_EQ(stopped.counter, "Recovered Documents : 0000005000 of 100000 (stopped: partial)");
    // The bar stood at the document the save was at: 5 % of its length.
    const int range = dialog_->ResultGauge()->GetRange();
    EXPECT_NEAR(stopped.gauge_at_question, range / 20, range / 200 + 1);

    const wxTreeItemId team = Item("Site A team 1");
    EXPECT_EQ(StateOf(Item("Library 1", team)), sharepoint::kUnchecked);
    EXPECT_EQ(StateOf(Item("Library 2", team)), sharepoint::kPartlyChecked);
    EXPECT_EQ(StateOf(Item("Library 3", team)), sharepoint::kChecked);
    EXPECT_EQ(StateOf(team), sharepoint::kPartlyChecked);
    EXPECT_EQ(StateOf("Site A"), sharepoint::kPartlyChecked);
    EXPECT_EQ(StateOf("Site B"), sharepoint::kChecked);
    EXPECT_TRUE(dialog_->IsControlEnabled(kIdRepair));
    EXPECT_FALSE(Logged("  Library 2:Repaired successfully"));
    EXPECT_NE(platform::ToUtf8(app::GetLogText(App()))
                  .find("Stopped by the user: 95000 of 100000 document(s) not saved; the items not saved stay checked."),
              std::string::npos);
    dialog_->ResultTree()->EnsureVisible(Item("Library 2", team));
    Pump(50);
    EXPECT_FALSE(SaveScreenshot(*dialog_, "save_stopped_100k").empty());
}

}  // namespace
