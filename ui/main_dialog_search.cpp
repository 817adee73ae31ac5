// The file page's two ways of choosing the data file: Select File (the open-file dialog) and the search for
// data files on a worker thread (app::FindThread), with its Stop button, its result list and a click on it.
#include <wx/filedlg.h>

#include "app/control_ids.h"
#include "app/file_search.h"
#include "app/recover_thread.h"
#include "app/repair_names.h"
#include "platform/text.h"
#include "ui/brindlemoor_app.h"
#include "ui/dialog_style.h"
#include "ui/main_dialog.h"

namespace ui {

using namespace app;

void CBrindlemoorDlg::OnSelectFile() {
    wxString chosen;
    if (choose_file) {
        chosen = choose_file();
    } else {
        wxFileDialog dialog(this, "Open", wxString(), wxString(), "MSSQL Files (*.mdf)|*.mdf;*.MDF",
                            wxFD_OPEN | wxFD_FILE_MUST_EXIST);
        if (dialog.ShowModal() == wxID_OK) chosen = dialog.GetPath();
    }
    if (chosen.empty()) return;
    // The chosen file is taken only while no job works on the current one.
    if (app_.m_pRecoverThread.load() != nullptr) return;
    const std::u16string path = FromWx(chosen);
    app_.m_strDataFilePath = path;
    m_strSelectedFile = path;
    m_editSelectedPath->ChangeValue(chosen);
    app_.m_strSearchRoot = FileNameOfPath(path);
    ApplyChanges({{kIdScanFile, true, true}});
}

int CBrindlemoorDlg::OnFileListClick(long row) {
    const std::u16string path =
        row >= 0 && row < m_listFoundFiles->GetItemCount() ? FromWx(m_listFoundFiles->GetItemText(row, 0)) : u"";
    // While a job runs the file it works on stays the selected one.
    if (app_.m_pRecoverThread.load() != nullptr) return 0;
    app_.m_strDataFilePath = path;
    if (row >= 0 && !path.empty()) {
        m_editSelectedPath->ChangeValue(ToWx(path));
        ApplyChanges({{kIdScanFile, true, true}});
    } else {
        // No file is chosen now: the path box says so too, and Scan File waits for a choice.
        m_editSelectedPath->ChangeValue(wxString());
        ApplyChanges({{kIdScanFile, {}, false}});
    }
    return 0;
}

void CBrindlemoorDlg::HighlightSelectedFile() {
    // After a sort the highlighted row is the file in the path box, wherever the sort put it.
    const wxString chosen = m_editSelectedPath->GetValue();
    for (long row = 0; row < m_listFoundFiles->GetItemCount(); ++row) {
        const bool is_chosen = !chosen.empty() && m_listFoundFiles->GetItemText(row, 0) == chosen;
        m_listFoundFiles->SetItemState(row, is_chosen ? wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED : 0,
                                       wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
        if (is_chosen) m_listFoundFiles->EnsureVisible(row);
    }
}

void CBrindlemoorDlg::OnSearchFiles() {
    if (workers_.find) {
        if (workers_.find->IsRunning()) return;
        workers_.find.reset();  // the last search has ended: joined here
    }
    app_.m_nFoundFileCount = 0;
    ResetProgress(ProgressBarId::SearchAndScan);
    ApplyChanges({{kIdScanProgress, true, {}},
                  {kIdBack, {}, false},
                  {kIdHome, {}, false},
                  {kIdSelectFile, {}, false},
                  {kIdClearList, {}, false},
                  {kIdSearchStatus, false, {}}});
    m_staticSearchStatus->SetLabel(wxString());

    const bool subfolders = m_checkSubfolders->GetValue();
    app_.m_bSearchSubfolders = subfolders;
    app_.m_bSearchTopFolderOnly = !subfolders;
    // The search takes "/" as the empty root; the application keeps "/" itself, which is not "no file chosen".
    const std::u16string root = TrimSearchRoot(FromWx(m_comboDrive->GetStringSelection()));
    app_.m_strSearchRoot = root.empty() ? u"/" : root;

    workers_.state = &app_;
    workers_.fields = &app_;
    auto search = std::make_unique<FindThread>(app_, app_, app_.m_bridge);
    search->m_strRoot = root;
    app_.m_pFindThread = search.get();
    app_.m_bStopSearch = false;
    workers_.find = std::move(search);
    workers_.find->Start();

    ApplyChanges({{kIdSearchFiles, false, false},
                  {kIdStopSearch, true, true},
                  {kIdSearchSubfolders, {}, false},
                  {kIdScanFile, {}, false}});
}

void CBrindlemoorDlg::OnStopSearch() {
    if (!ConfirmStop()) return;
    if (app_.m_bStopSearch) return;
    app_.m_bStopSearch = true;
    ApplyChanges({{kIdSearchFiles, true, true},
                  {kIdScanFile, {}, true},
                  {kIdViewLog, {}, true},
                  {kIdUpdates, {}, true},
                  {kIdAbout, {}, true}});
}

void CBrindlemoorDlg::OnFoundFiles() {
    m_listFoundFiles->Freeze();
    long i = 0;
    for (const fileProperty& found : app_.m_arrFoundFiles) {
        app_.m_stagedFile = found;
        const long at = m_listFoundFiles->InsertItem(i, ToWx(found.m_strPath));
        m_listFoundFiles->SetItemToolTipText(at, 0, found.m_strPath);
        m_listFoundFiles->SetItem(at, 1, ToWx(found.m_strSizeKb));
        m_listFoundFiles->SetItem(at, 3, ToWx(found.m_strCreated));
        m_listFoundFiles->SetItem(at, 4, ToWx(found.m_strAccessed));
        m_listFoundFiles->SetItem(at, 2, ToWx(found.m_strModified));
        m_listFoundFiles->SetItemUserValue(at, 0);
        ++app_.m_nFoundFileCount;
        ++i;
    }
    app_.m_arrFoundFiles.clear();
    m_listFoundFiles->ColourRows(0);
    m_listFoundFiles->Thaw();
}

void CBrindlemoorDlg::OnSearchDone() {
    // The search thread returns right after this message; the next search (or the dialog's end) joins it.
    ApplyChanges({{kIdStopSearch, false, {}},
                  {kIdStopJob, false, {}},
                  {kIdClearList, {}, false},
                  {kIdSearchSubfolders, {}, true},
                  {kIdSearchFiles, true, true},
                  {kIdScanProgress, false, {}},
                  {kIdBack, {}, true},
                  {kIdHome, {}, true},
                  {kIdSelectFile, {}, true},
                  {kIdSearchStatus, true, {}}});
    const int n = m_listFoundFiles->GetItemCount();
    if (n != 0) ApplyChanges({{kIdClearList, {}, true}});
    m_staticSearchStatus->SetLabel(wxString::Format("Total Database in List is : %d", n));
}

}  // namespace ui
