// Page changes, the per-message button rules, the keyboard and Exit of the main dialog.
#include <wx/stdpaths.h>
#include <wx/utils.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "app/control_ids.h"
#include "app/file_search.h"
#include "app/string_table.h"
#include "mdf/recovery_engine.h"
#include "platform/text.h"
#include "app/about_texts.h"
#include "ui/about_dialog.h"
#include "ui/help_window.h"
#include "ui/brindlemoor_app.h"
#include "ui/dialog_style.h"
#include "ui/log_dialog.h"
#include "ui/main_dialog.h"
#include "ui/message_dialogs.h"
#include "ui/update_wizard.h"

namespace ui {

using namespace app;

void CBrindlemoorDlg::OnCompleteRepair() {
    app_.m_bDocumentMode = false;
    ShowFilePage();
}

void CBrindlemoorDlg::OnDocumentRecovery() {
    app_.m_bDocumentMode = true;
    ShowFilePage();
}

void CBrindlemoorDlg::ShowFilePage() {
    ++app_.m_nPageDepth;
    ApplyChanges(FilePageChanges());
    m_editSelectedPath->ChangeValue(wxString());

    m_comboDrive->Clear();
    // The roots a search can start from: "/", the user's home folder and the mounted file systems.
    const char* home = std::getenv("HOME");
    for (const auto& root : ListSearchRoots("/proc/self/mounts", platform::FromUtf8(home ? home : ""))) {
        m_comboDrive->Append(ToWx(root));
    }
    m_comboDrive->SetSelection(0);
    m_checkSubfolders->SetValue(true);

    const int w = m_listFoundFiles->GetClientSize().GetWidth() / 5 - 10;
    // The list is built again, with the files it showed (the page left with Home comes back as it was).
    std::vector<int> shown;
    for (long row = 0; row < m_listFoundFiles->GetItemCount(); ++row) {
        shown.push_back(m_listFoundFiles->GetItemUserValue(row));
    }
    m_listFoundFiles->DeleteAllItems();
    m_listFoundFiles->DeleteAllColumns();
    m_listFoundFiles->InsertColumn(0, "MS SQL Server File Path", wxLIST_FORMAT_LEFT, w + 210);
    m_listFoundFiles->InsertColumn(1, "Size(KB)", wxLIST_FORMAT_LEFT, w - 40);
    m_listFoundFiles->InsertColumn(2, "Modified", wxLIST_FORMAT_LEFT, w - 40);
    m_listFoundFiles->InsertColumn(3, "Created", wxLIST_FORMAT_LEFT, w - 40);
    m_listFoundFiles->InsertColumn(4, "Accessed", wxLIST_FORMAT_LEFT, w);
    m_listFoundFiles->InitColumnSortInfo();
    m_listFoundFiles->SetColumnSortInfo(0, kSortToggles, kCompareText);
    m_listFoundFiles->SetColumnSortInfo(1, kSortToggles, kCompareNumber);
    for (int column : {2, 3, 4}) m_listFoundFiles->SetColumnSortInfo(column, kSortToggles, kCompareDateTime);
    RestoreFoundFiles(shown);
    ApplyButtonRules();
}

void CBrindlemoorDlg::ClearResultPage() {
    m_listResult->DeleteAllItems();
    m_listResult->DeleteAllColumns();
    m_ctrlTree->DeleteAllItems();
    app_.m_hTreeRoot = wxTreeItemId();
    ClosePreview();
    ApplyChanges(ClearResultPageChanges());
}

void CBrindlemoorDlg::OnHome() {
    app_.m_nPageDepth = 0;
    app_.m_bImagePreviewShown = false;
    ClearResultPage();
    ApplyChanges(HomePageChanges(false));
    app_.m_bTableViewStarted = false;
    app_.m_bRepairStarted = false;
    ApplyButtonRules();
}

void CBrindlemoorDlg::OnBack() {
    --app_.m_nPageDepth;
    app_.m_bImagePreviewShown = false;
    if (app_.m_nPageDepth == 0) {
        ApplyChanges(HomePageChanges(true));
        app_.m_bTableViewStarted = false;
        app_.m_bRepairStarted = false;
    } else if (app_.m_nPageDepth == 1) {
        m_listResult->DeleteAllItems();
        m_listResult->DeleteAllColumns();
        m_ctrlTree->DeleteAllItems();
        app_.m_hTreeRoot = wxTreeItemId();
        ClosePreview();
        ApplyChanges(BackToFilePageChanges());
        app_.m_bTableViewStarted = false;
        app_.m_bRepairStarted = false;
    }
    ApplyButtonRules();
}

void CBrindlemoorDlg::OnClearList() {
    FindWindow(kIdClearList)->Disable();
    m_listFoundFiles->DeleteAllItems();
    found_rows_.clear();
    if (app_.m_pRecoverThread.load() == nullptr) ApplyChanges({{kIdSearchFiles, true, true}});
    m_staticSearchStatus->SetLabel(wxString());
    app_.m_nFoundFileCount = 0;
}

void CBrindlemoorDlg::OnMinimize() { Iconize(true); }

void CBrindlemoorDlg::OnHelp() {
    // The help pages lie beside the program (share/brindlemoor/help next to its bin folder).
    const std::filesystem::path help =
        !help_page.empty() ? help_page
                           : app::HelpPath(std::filesystem::path(
                                 wxStandardPaths::Get().GetExecutablePath().utf8_string()).parent_path());
    std::error_code error;
    const bool present = std::filesystem::is_regular_file(help, error);
    if (present) {
        CHelpWindow window(this, help);
        if (window.IsLoaded()) {
            window.ShowModal();
            return;
        }
    }
    app_.m_strMessageTitle.clear();
    app_.m_strMessageText = (present ? u"The help file could not be opened: " : u"The help file is missing: ") +
                            platform::FromUtf8(help.string());
    CMyMessageDialog(this, app_).ShowModal();
}

void CBrindlemoorDlg::OnViewLog() {
    // The running log keeps its text: its next line must not start the log copy again from the header.
    CLogDialog viewer(this, app_, app_);
    viewer.ShowModal();
}

void CBrindlemoorDlg::ApplyButtonRules() {
    ButtonRuleInputs in;
    in.selected_path_has_text = !m_editSelectedPath->IsEmpty();
    in.search_runs = app_.m_pFindThread.load() != nullptr;
    in.job_runs = app_.m_pRecoverThread.load() != nullptr;
    in.table_view_started = app_.m_bTableViewStarted;
    in.repair_started = app_.m_bRepairStarted;
    in.found_list_has_rows = m_listFoundFiles->GetItemCount() > 0;
    in.tree_has_root = app_.m_hTreeRoot.IsOk();
    in.document_mode = app_.m_bDocumentMode;
    if (in.tree_has_root) in.root_check_state = m_ctrlTree->GetItemState(app_.m_hTreeRoot);
    ApplyChanges(ButtonRuleChanges(in));
}

void CBrindlemoorDlg::OnIdle(wxIdleEvent& event) {
    ApplyButtonRules();
    event.Skip();
}

void CBrindlemoorDlg::OnCharHook(wxKeyEvent& event) {
    switch (event.GetKeyCode()) {
        case WXK_RETURN:
        case WXK_NUMPAD_ENTER:
        case WXK_SPACE: {
            // The focused button is pressed; Enter on a result-tree item opens it as a click on its label does.
            // Otherwise the key is swallowed: it neither closes the dialog nor presses a default button.
            wxWindow* focus = FindFocus();
            if (auto* button = dynamic_cast<CMyBitmapButton*>(focus)) {
                button->Press();
                ApplyButtonRules();
            } else if (focus == m_ctrlTree && event.GetKeyCode() != WXK_SPACE) {
                const wxTreeItemId item = m_ctrlTree->GetFocusedItem();
                if (item.IsOk()) OpenTreeItem(item);
            }
            return;
        }
        case WXK_ESCAPE:
            return;  // swallowed: does not close the dialog
        case WXK_F4:
            app_.m_bExitByKey = true;
            OnExit();
            break;
        default:
            break;
    }
    event.Skip();
}

void CBrindlemoorDlg::OnClose(wxCloseEvent& event) {
    // The window has no close box; a close from outside (the window manager) is an Exit.
    if (event.CanVeto()) event.Veto();
    OnExit();
}

bool CBrindlemoorDlg::WaitForJobToStop() {
    if (app_.m_bJobIdle) return true;
    app_.m_bStopJob = true;
    // A statement the server is still running would hold the job until it ends: cancel it.
    if (m_pEngine) m_pEngine->CancelRunningStatement();
    // The job polls the stop flag between pages and records, then posts its end; keep handling its messages
    // (a job waiting on a sent message would otherwise never get there) until it is idle or the time is up.
    const auto deadline = std::chrono::steady_clock::now() + stop_wait;
    while (!app_.m_bJobIdle && std::chrono::steady_clock::now() < deadline) {
        wxTheApp->ProcessPendingEvents();
        wxTheApp->Yield(true);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return app_.m_bJobIdle;
}

void CBrindlemoorDlg::OnExit() {
    const bool search_runs = app_.m_pFindThread.load() != nullptr;
    if (DecideExit(app_.m_bJobIdle, app_.m_bExitByKey, search_runs) == ExitDecision::Refuse) {
        app_.m_strMessageTitle = LoadString(110);
        app_.m_strMessageText = LoadString(114);
        CMessageDialog2(this, app_).ShowModal();
        return;
    }
    app_.m_strMessageText = LoadString(109);
    app_.m_strMessageTitle.clear();
    if (!app_.m_strBatchFile.empty()) {
        std::error_code ignored;
        std::filesystem::remove(std::filesystem::path(platform::ToUtf8(app_.m_strBatchFile)), ignored);
    }
    if (CMyExitStopDialog(this, app_).ShowModal() != kIdOk) {
        app_.m_bExitByKey = false;
        return;
    }
    // A running job is asked to stop and given time to finish the write it is in, so no file is left cut
    // off half-way; only a job that does not stop in time ends with the process.
    const bool job_ended = WaitForJobToStop();
    ClosePreview();
    if (end_program) end_program(job_ended);
}

void CBrindlemoorDlg::OnButton(wxCommandEvent& event) {
    switch (event.GetId()) {
        case kIdCompleteRepair: OnCompleteRepair(); break;
        case kIdDocumentRecovery: OnDocumentRecovery(); break;
        case kIdHome: OnHome(); break;
        case kIdBack: OnBack(); break;
        case kIdExit: OnExit(); break;
        case kIdClearList: OnClearList(); break;
        case kIdMinimize: OnMinimize(); break;
        case kIdHelp: OnHelp(); break;
        case kIdViewLog: OnViewLog(); break;
        case kIdSelectFile: OnSelectFile(); break;
        case kIdSearchFiles: OnSearchFiles(); break;
        case kIdStopSearch: OnStopSearch(); break;
        case kIdScanFile: OnScanFile(); break;
        case kIdStopJob: OnStopJob(); break;
        case kIdRepair: OnRepair(); break;
        case kIdAbout: ShowAboutBox(this); break;
        case kIdUpdates: RunUpdateWizard(this, app_); break;
        default: event.Skip(); return;
    }
    ApplyButtonRules();
}

}  // namespace ui
