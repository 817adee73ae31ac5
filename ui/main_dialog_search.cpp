// The file page's two ways of choosing the data file: Select File (the open-file dialog) and the search for
// data files on a worker thread (app::FindThread), with its Stop button, its result list and a click on it.
#include <wx/dcclient.h>
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
    // The row clicked before is no longer the chosen file.
    HighlightSelectedFile();
}

std::u16string CBrindlemoorDlg::FoundFilePath(long row) const {
    if (row < 0 || row >= m_listFoundFiles->GetItemCount()) return {};
    const int index = m_listFoundFiles->GetItemUserValue(row);
    if (index >= 0 && static_cast<std::size_t>(index) < found_rows_.size()) return found_rows_[index].m_strPath;
    return FromWx(m_listFoundFiles->GetItemText(row, 0));
}

int CBrindlemoorDlg::OnFileListClick(long row) {
    // The path as the system spells it: the row shows a name that is not UTF-8 with replacement characters.
    const std::u16string path = FoundFilePath(row);
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
    // After a sort or Select File the highlighted row is the file in the path box, wherever it is, and no other.
    const std::u16string chosen = m_editSelectedPath->IsEmpty() ? std::u16string() : app_.m_strDataFilePath;
    for (long row = 0; row < m_listFoundFiles->GetItemCount(); ++row) {
        const bool is_chosen = !chosen.empty() && FoundFilePath(row) == chosen;
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
                  {kIdScanFile, {}, false},
                  {kIdSearchStatus, true, {}}});
    // From the start the page says that a search runs, where, and how many files it found so far.
    ShowSearchStatus(SearchStatusText(root, 0));
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

void CBrindlemoorDlg::OnFoundFiles(platform::WPARAM stage) {
    if (!app_.m_arrFoundFiles.empty()) {
        m_listFoundFiles->Freeze();
        for (const fileProperty& found : app_.m_arrFoundFiles) {
            app_.m_stagedFile = found;
            // A search's files stay in the order found, above the files of earlier searches.
            const long at = m_listFoundFiles->InsertRow(app_.m_nFoundFileCount, ToWx(found.m_strPath));
            FillFoundFileRow(at, found);
            m_listFoundFiles->SetItemUserValue(at, static_cast<int>(found_rows_.size()));
            found_rows_.push_back(found);
            ++app_.m_nFoundFileCount;
        }
        app_.m_arrFoundFiles.clear();
        m_listFoundFiles->ColourRows(0);
        m_listFoundFiles->Thaw();
    }
    if (stage == kFoundFilesProgress && app_.m_pFindThread.load() != nullptr) {
        ShowSearchStatus(SearchStatusText(app_.m_strSearchFolder, app_.m_nFoundFileCount));
        m_progressScan->Pulse();
    }
}

void CBrindlemoorDlg::ShowSearchStatus(const std::u16string& text) {
    // A deep folder is shortened in the middle, so the line stays left of Clear List.
    const wxWindow* clear_list = FindWindow(kIdClearList);
    const int room = clear_list->GetPosition().x - m_staticSearchStatus->GetPosition().x - 8;
    wxClientDC dc(m_staticSearchStatus);
    dc.SetFont(m_staticSearchStatus->GetFont());
    m_staticSearchStatus->SetLabelText(wxControl::Ellipsize(ToWx(text), dc, wxELLIPSIZE_MIDDLE, room));
}

void CBrindlemoorDlg::FillFoundFileRow(long row, const fileProperty& found) {
    m_listFoundFiles->SetItemToolTipText(row, 0, found.m_strPath);
    m_listFoundFiles->SetItem(row, 1, ToWx(found.m_strSizeKb));
    m_listFoundFiles->SetItem(row, 3, ToWx(found.m_strCreated));
    m_listFoundFiles->SetItem(row, 4, ToWx(found.m_strAccessed));
    m_listFoundFiles->SetItem(row, 2, ToWx(found.m_strModified));
}

void CBrindlemoorDlg::RestoreFoundFiles(const std::vector<int>& order) {
    m_listFoundFiles->Freeze();
    long row = 0;
    for (const int index : order) {
        if (index < 0 || static_cast<std::size_t>(index) >= found_rows_.size()) continue;
        const fileProperty& found = found_rows_[static_cast<std::size_t>(index)];
        const long at = m_listFoundFiles->InsertRow(row++, ToWx(found.m_strPath));
        FillFoundFileRow(at, found);
        m_listFoundFiles->SetItemUserValue(at, index);
    }
    m_listFoundFiles->ColourRows(0);
    m_listFoundFiles->Thaw();
}

void CBrindlemoorDlg::OnSearchDone(platform::WPARAM stopped) {
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
    m_staticSearchStatus->SetLabel(ToWx(SearchDoneText(n, stopped == kSearchStopped)));
}

}  // namespace ui
