// The main dialog in a real window: the home page, Back and Home between the pages, the swallowed keys,
// worker messages through the bridge, and Exit (refused, asked, and with a job that must stop first).
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <wx/uiaction.h>

#include "app/control_ids.h"
#include "app/log_text.h"
#include "tests/ui/gui_harness.h"
#include "ui/brindlemoor_app.h"
#include "ui/log_dialog.h"
#include "ui/main_dialog.h"
#include "ui/message_dialogs.h"

namespace {

using namespace guitest;
using namespace app;

class MainDialogTest : public testing::Test {
protected:
    void SetUp() override {
        auto& a = App();
        ResetJobState(a);
        dialog_ = new ui::CBrindlemoorDlg(a);
        dialog_->end_program = [this](bool job_ended) {
            ++ends_;
            last_end_job_ended_ = job_ended;
        };
        dialog_->Show();
        Pump(100);
    }
    void TearDown() override {
        delete dialog_;
        Pump(20);
    }

    // The controls that are shown, among those the pages switch.
    std::set<int> Shown() const {
        std::set<int> shown;
        for (int id : {kIdCompleteRepair, kIdDocumentRecovery, kIdMethodHint, kIdBack, kIdHome, kIdScanFile,
                       kIdSelectFile, kIdSearchFiles, kIdFoundFileList, kIdSelectedPath, kIdResultTree,
                       kIdResultList, kIdRepair, kIdStopJob, kIdExit}) {
            if (dialog_->IsControlShown(id)) shown.insert(id);
        }
        return shown;
    }

    ui::CBrindlemoorDlg* dialog_ = nullptr;
    int ends_ = 0;
    bool last_end_job_ended_ = false;
};

const std::set<int> kHome = {kIdCompleteRepair, kIdDocumentRecovery, kIdMethodHint, kIdExit};
const std::set<int> kFile = {kIdBack,      kIdHome,           kIdScanFile,     kIdSelectFile,
                             kIdSearchFiles, kIdFoundFileList, kIdSelectedPath, kIdExit};

TEST_F(MainDialogTest, StartsOnTheHomePage) {
    EXPECT_EQ(Shown(), kHome);
    EXPECT_EQ(dialog_->ControlText(kIdMethodHint), "Select Recovery Method");
    EXPECT_EQ(dialog_->ControlText(kIdFileType), "MS SQL Server Files(*.mdf)");
    EXPECT_FALSE(SaveScreenshot(*dialog_, "main_dialog_home").empty());
}

TEST_F(MainDialogTest, BackAndHomeRoundTrips) {
    auto& a = App();
    dialog_->OnCompleteRepair();
    EXPECT_FALSE(a.m_bDocumentMode);
    EXPECT_EQ(a.m_nPageDepth, 1);
    EXPECT_EQ(Shown(), kFile);
    EXPECT_FALSE(dialog_->IsControlEnabled(kIdScanFile)) << "no file chosen yet";
    EXPECT_FALSE(SaveScreenshot(*dialog_, "main_dialog_file_page").empty());

    dialog_->OnBack();
    EXPECT_EQ(a.m_nPageDepth, 0);
    EXPECT_EQ(Shown(), kHome);

    dialog_->OnDocumentRecovery();
    EXPECT_TRUE(a.m_bDocumentMode);
    EXPECT_EQ(Shown(), kFile);
    dialog_->OnHome();
    EXPECT_EQ(a.m_nPageDepth, 0);
    EXPECT_EQ(Shown(), kHome);

    // The result page as the scan's end would leave it; Back returns to the file page with Scan File on.
    dialog_->OnCompleteRepair();
    ++a.m_nPageDepth;
    for (int id : {kIdResultTree, kIdResultList, kIdRepair}) dialog_->FindWindow(id)->Show();
    dialog_->OnBack();
    EXPECT_EQ(a.m_nPageDepth, 1);
    std::set<int> file_after_back = kFile;
    EXPECT_EQ(Shown(), file_after_back);
    EXPECT_TRUE(dialog_->IsControlEnabled(kIdScanFile));
    dialog_->OnBack();
    EXPECT_EQ(Shown(), kHome);
}

TEST_F(MainDialogTest, PagesAreReachedByClicks) {
    wxCommandEvent press(wxEVT_BUTTON, kIdDocumentRecovery);
    dialog_->GetEventHandler()->ProcessEvent(press);
    EXPECT_EQ(Shown(), kFile);
    wxCommandEvent home(wxEVT_BUTTON, kIdHome);
    dialog_->GetEventHandler()->ProcessEvent(home);
    EXPECT_EQ(Shown(), kHome);
}

TEST_F(MainDialogTest, EscapeEnterAndSpaceAreSwallowedInTheModalLoop) {
    dialog_->Hide();
    bool still_open = false;
    const int result = RunModal(*dialog_, [&](wxDialog& open) {
        for (int key : {WXK_ESCAPE, WXK_RETURN, WXK_SPACE}) PressKey(open, key);
        open.CallAfter([&open, &still_open] {
            still_open = open.IsModal();
            open.EndModal(77);
        });
    });
    EXPECT_TRUE(still_open);
    EXPECT_EQ(result, 77);
}

TEST_F(MainDialogTest, WorkerMessagesMoveTheBarsAndTheCounter) {
    auto& a = App();
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        a.m_bridge.Send(platform::WM_JOB_PROGRESS, platform::kProgressStep, 100000);
        a.m_nRecoveredCount = 42;
        a.m_bridge.Send(platform::WM_RECORD_COUNT, 0, 0);
        a.m_strLogLine = u"Scanning completed.";
        a.m_bridge.Send(platform::WM_LOG_LINE, 0, 0);
        finished = true;
    });
    // The worker's sends are handled while this thread handles events; joining before would stop that.
    EXPECT_TRUE(WaitUntil([&] { return finished.load(); }, 10000));
    worker.join();
    EXPECT_EQ(dialog_->ScanBar(), (ProgressBarModel{1, 200000, 1, 2}));
    EXPECT_EQ(dialog_->ControlText(kIdRecordCounter), "Recovered Records : 0000000042");
    EXPECT_TRUE(a.m_dlgLog->EditText().ends_with(u"\r\nScanning completed."));

    // During a table view the result bar takes the progress.
    a.m_bTableViewStarted = true;
    dialog_->OnJobProgress(platform::kProgressStart, 20000);
    EXPECT_EQ(dialog_->ResultBar(), (ProgressBarModel{1, 80000, 2, 3}));
    a.m_bTableViewStarted = false;

    a.m_nPageDepth = 2;
    dialog_->OnFileInUse();
    EXPECT_EQ(a.m_nPageDepth, 1);
    EXPECT_TRUE(dialog_->IsControlEnabled(kIdHome));
}

TEST_F(MainDialogTest, ExitIsRefusedWhileASearchRuns) {
    auto& a = App();
    static int search_marker;
    a.m_pFindThread = reinterpret_cast<FindThread*>(&search_marker);
    wxString title;
    WhenModalOpens<ui::CMessageDialog2>([&](ui::CMessageDialog2& d) {
        title = d.UpperText();
        PressKey(d, WXK_RETURN);
    });
    a.m_bExitByKey = true;  // F4 too is refused during a search
    dialog_->OnExit();
    EXPECT_EQ(title, "Can not exit!");
    EXPECT_EQ(ends_, 0);
    a.m_pFindThread = nullptr;
}

TEST_F(MainDialogTest, ExitAsksAndNoKeepsRunning) {
    auto& a = App();
    wxString question;
    WhenModalOpens<ui::CMyExitStopDialog>([&](ui::CMyExitStopDialog& d) {
        question = d.UpperText();
        PressKey(d, WXK_ESCAPE);
    });
    a.m_bExitByKey = true;
    dialog_->OnExit();
    EXPECT_EQ(question, "Exit Brindlemoor ?");
    EXPECT_EQ(ends_, 0);
    EXPECT_FALSE(a.m_bExitByKey) << "No clears the F4 mark";
}

// F4 during a job: the job is asked to stop and the program ends only after the job has ended.
TEST_F(MainDialogTest, F4DuringAJobStopsItBeforeEnding) {
    auto& a = App();
    a.m_bJobIdle = false;
    std::atomic<bool> stop_seen{false};
    std::thread job([&] {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!a.m_bStopJob && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        stop_seen = a.m_bStopJob.load();
        // The last write of the job finishes, then the job reports its end.
        a.m_strLogLine = u"Current write finished.";
        a.m_bridge.Send(platform::WM_LOG_LINE, 0, 0);
        a.m_bridge.Post(platform::WM_JOB_ENDED, 0, 0);
    });
    // The Exit button is refused while the job runs.
    WhenModalOpens<ui::CMessageDialog2>([](ui::CMessageDialog2& d) { PressKey(d, WXK_RETURN); });
    dialog_->OnExit();
    EXPECT_EQ(ends_, 0);
    EXPECT_FALSE(a.m_bStopJob);

    WhenModalOpens<ui::CMyExitStopDialog>([](ui::CMyExitStopDialog& d) { PressKey(d, WXK_RETURN); });
    PressKey(*dialog_, WXK_F4);
    job.join();
    EXPECT_TRUE(stop_seen);
    EXPECT_EQ(ends_, 1);
    EXPECT_TRUE(last_end_job_ended_);
    EXPECT_TRUE(a.m_bJobIdle);
    EXPECT_TRUE(a.m_dlgLog->EditText().ends_with(u"Current write finished."));
}

TEST_F(MainDialogTest, AJobThatDoesNotStopEndsTheProcessAfterTheWait) {
    auto& a = App();
    a.m_bJobIdle = false;
    dialog_->stop_wait = std::chrono::milliseconds(200);
    WhenModalOpens<ui::CMyExitStopDialog>([](ui::CMyExitStopDialog& d) { PressKey(d, WXK_RETURN); });
    a.m_bExitByKey = true;
    dialog_->OnExit();
    EXPECT_EQ(ends_, 1);
    EXPECT_FALSE(last_end_job_ended_);
    EXPECT_TRUE(a.m_bStopJob);
    a.m_bJobIdle = true;
    a.m_bStopJob = false;
}

}  // namespace

namespace {

using namespace guitest;

// The same through the X server's keyboard: a real Escape press reaches the dialog and is swallowed.
TEST(MainDialogKeyboard, RealEscapePressIsSwallowed) {
    auto& a = App();
    a.m_bJobIdle = true;
    auto* dialog = new ui::CBrindlemoorDlg(a);
    int escapes_seen = 0;
    dialog->Bind(wxEVT_CHAR_HOOK, [&](wxKeyEvent& key) {
        if (key.GetKeyCode() == WXK_ESCAPE) ++escapes_seen;
        key.Skip();
    });
    bool still_open = false;
    const int result = RunModal(*dialog, [&](wxDialog& open) {
        wxUIActionSimulator keyboard;
        // Without a window manager the keyboard follows the pointer.
        keyboard.MouseMove(open.GetScreenRect().GetPosition() + wxPoint(400, 450));
        Pump(100);
        open.SetFocus();
        keyboard.Char(WXK_ESCAPE);
        WaitUntil([&] { return escapes_seen > 0; }, 3000);
        Pump(100);
        still_open = open.IsModal();
        open.EndModal(77);
    }, 10000);
    EXPECT_EQ(escapes_seen, 1) << "the key press reached the dialog";
    EXPECT_TRUE(still_open);
    EXPECT_EQ(result, 77);
    delete dialog;
}

// The tree deletes its items, and tells its handlers so, only after the dialog's own destructor: by then no
// handler of the dialog may run (the sanitizer run reports a handler that reaches the half-destroyed dialog).
TEST(MainDialogLifetime, DeletedWithAHighlightedTreeItem) {
    auto* dialog = OpenMainDialog();
    wxTreeCtrl* tree = dialog->ResultTree();
    const wxTreeItemId root = tree->AddRoot("WSS_Content");
    wxTreeItemId last;
    for (const char* name : {"AllDocs (12)", "AllUserData (3)", "Webs (1)"}) last = tree->AppendItem(root, name);
    ASSERT_TRUE(last.IsOk());
    tree->Show();
    tree->Expand(root);
    Pump(50);
    ClickTreeLabel(*dialog, last);  // the clicked item is highlighted, and the dialog keeps it
    int deleted = 0;
    tree->Bind(wxEVT_TREE_DELETE_ITEM, [&deleted](wxTreeEvent& event) {
        ++deleted;
        event.Skip();
    });
    CloseMainDialog(dialog);
    EXPECT_EQ(deleted, 4) << "the tree went with the dialog, its items one by one";
}

}  // namespace
