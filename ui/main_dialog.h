// CBrindlemoorDlg: the program's only main window. Its three pages (home, file, result) are made by showing
// and hiding the controls of one layout; the header buttons stay on every page. Worker messages arrive
// through the application's bridge and are handled here, on the user-interface thread.
#pragma once

#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/dialog.h>
#include <wx/gauge.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/treectrl.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "app/app_fields.h"
#include "app/file_search.h"
#include "app/main_dialog_rules.h"
#include "app/preview_rules.h"
#include "app/recover_thread.h"
#include "app/result_lists.h"
#include "app/progress_model.h"
#include "platform/messages.h"
#include "ui/bitmap_button.h"
#include "ui/list_controls.h"
#include "ui/worker_threads.h"
#include "sharepoint/check_tree.h"

class wxImageList;

namespace mdf {
struct sharepointDocsList;
}

namespace mdf {
class CRecoveryEngine;
}

namespace ui {

class CBrindlemoorApp;
class CPreviewPane;

class CBrindlemoorDlg : public wxDialog {
public:
    explicit CBrindlemoorDlg(CBrindlemoorApp& app);
    ~CBrindlemoorDlg() override;

    // Home page buttons and navigation.
    void OnCompleteRepair();
    void OnDocumentRecovery();
    void ShowFilePage();
    void OnHome();
    void OnBack();
    void OnExit();
    void OnClearList();
    void OnMinimize();
    void OnHelp();
    void OnViewLog();

    // Worker messages (WM_USER+101 .. +113).
    void OnWorkerMessage(unsigned message, platform::WPARAM wparam, platform::LPARAM lparam);
    void OnJobProgress(platform::WPARAM stage, platform::LPARAM amount);
    void OnRecordCount();
    void OnFileInUse();
    void OnLogLine();
    void OnTableDone() {}

    // Jobs on the scanned file (main_dialog_jobs.cpp): Scan File, Stop, the job's end and Repair.
    void OnScanFile();
    void OnStopJob();
    void StopRecoverThread();
    void OnJobEnded(platform::WPARAM job_id);
    void OnRepair();
    void ResetRecoveredData();
    // The result page (main_dialog_results.cpp): the tree of both modes with its check boxes, the clicks on
    // it, and the row and document lists.
    void OnScanDone();
    void UpdateParentCheckState(const wxTreeItemId& item);
    void SetChildCheckState(const wxTreeItemId& item);
    // A click at a point of the tree's client area; returns the notification result (1: handled here).
    int OnTreeClick(const wxPoint& point);
    // What a click on the item's label does (also Enter on the focused item); returns the click's result.
    int OpenTreeItem(const wxTreeItemId& item);
    void OnTableRow(platform::WPARAM job_id, platform::LPARAM first);
    void OnDocumentRow(platform::LPARAM lparam);
    void BuildExtensionTable();
    void FillDocumentList();
    // The document preview (main_dialog_preview.cpp): a click on a row of the document list.
    void OnDocumentClick(long row);
    void ExtractDocumentForPreview(const mdf::sharepointDocsList& entry);
    void ShowPreview(const std::filesystem::path& file, const std::u16string& name);
    // Looks up the helper programs of the PDF and Office previews (before each scan).
    void DetectPreviewApplications();
    // Removes the preview's view and deletes its temporary files (Home, Back, a new scan, Exit, a tree click).
    void ClosePreview();
    CPreviewPane* Preview();
    // How the helper programs are found; tests replace it. The default searches the folders of PATH.
    std::function<app::PreviewTools()> detect_preview_tools;
    // The file page (main_dialog_search.cpp): Select File, the search and its list.
    void OnSelectFile();
    void OnSearchFiles();
    void OnStopSearch();
    // Takes the files the search handed over (and, while it runs, shows where it is and how many it found).
    void OnFoundFiles(platform::WPARAM stage = 0);
    void OnSearchDone(platform::WPARAM stopped = 0);
    int OnFileListClick(long row);
    void HighlightSelectedFile();
    // Fills the found-file list with the rows of found_rows_ at the given indexes, in that order (the file
    // page shown again keeps its list).
    void RestoreFoundFiles(const std::vector<int>& order);
    void FillFoundFileRow(long row, const app::fileProperty& found);
    // The status line of a running search, cut in the middle to the room it has.
    void ShowSearchStatus(const std::u16string& text);
    // The file a row of the found-file list stands for: its path as the system spells it.
    std::u16string FoundFilePath(long row) const;

    wxTreeCtrl* ResultTree() const { return m_ctrlTree; }
    CMyListCtrl* ResultList() const { return m_listResult; }
    CToolTipListCtrl* FoundFileList() const { return m_listFoundFiles; }
    wxChoice* DriveCombo() const { return m_comboDrive; }
    mdf::CRecoveryEngine* Engine() const { return m_pEngine.get(); }
    sharepoint::CheckItem* CheckTree() const { return m_checkTree.get(); }
    // The whole text of a table item (its shown text may be cut to the tree), or null for another item.
    const std::u16string* WholeTableItemText(const wxTreeItemId& item) const;
    // The check-tree item a tree item shows (document mode), or null.
    sharepoint::CheckItem* CheckItemOf(const wxTreeItemId& item) const;
    // How Select File asks for a file: the chosen path, or empty when cancelled. Tests replace it.
    std::function<wxString()> choose_file;
    // The help's first page; empty means the pages shipped beside the program. Tests point it elsewhere.
    std::filesystem::path help_page;
    // Asked before Stop (job or search) goes on: true to stop. The default shows the question.
    std::function<bool()> confirm_stop;

    // The enable and show rules that run after every message.
    void ApplyButtonRules();

    bool IsControlShown(int id) const;
    bool IsControlEnabled(int id) const;
    wxString ControlText(int id) const;
    const app::ProgressBarModel& ScanBar() const { return scan_bar_; }
    const app::ProgressBarModel& ResultBar() const { return result_bar_; }
    wxGauge* ScanGauge() const { return m_progressScan; }
    wxGauge* ResultGauge() const { return m_progressResult; }

    // How a confirmed Exit ends the program: `job_ended` tells whether the running job (if any) ended within
    // the wait. The default closes the dialog normally, or ends the process at once when the job would not end.
    std::function<void(bool job_ended)> end_program;
    // How long a confirmed Exit waits for a running job to stop before the process ends anyway.
    std::chrono::milliseconds stop_wait{10000};

private:
    void CreateControls();
    void InitHomePage();
    void ApplyChanges(const app::ControlChanges& changes);
    void ClearResultPage();
    void ShowProgress(app::ProgressBarId bar);
    // A new pass on the bar: nothing done yet, the gauge empty.
    void ResetProgress(app::ProgressBarId bar);
    bool WaitForJobToStop();
    void SetMethodHint(bool over_button, int string_id);

    void OnButton(wxCommandEvent& event);
    void OnCharHook(wxKeyEvent& event);
    void OnIdle(wxIdleEvent& event);
    void OnClose(wxCloseEvent& event);

    CMyBitmapButton* AddPictureButton(int id, const char* label, int x, int y, int w, int h, int tooltip);

    CBrindlemoorApp& app_;
    wxTreeCtrl* m_ctrlTree = nullptr;
    wxTextCtrl* m_editFileType = nullptr;
    wxChoice* m_comboDrive = nullptr;
    CToolTipListCtrl* m_listFoundFiles = nullptr;
    // The files the found-file list shows, each row's user value its index here; kept until Clear List.
    std::vector<app::fileProperty> found_rows_;
    wxTextCtrl* m_editSelectedPath = nullptr;
    CMyListCtrl* m_listResult = nullptr;
    wxGauge* m_progressScan = nullptr;
    wxGauge* m_progressResult = nullptr;
    wxStaticText* m_staticSearchStatus = nullptr;
    wxStaticText* m_staticRecordCounter = nullptr;
    wxTextCtrl* m_editDamageWarning = nullptr;
    wxTextCtrl* m_editMethodHint = nullptr;
    wxCheckBox* m_checkSubfolders = nullptr;
    std::unique_ptr<wxImageList> m_treeStateImages;
    std::unique_ptr<wxImageList> m_treeItemImages;
    std::unique_ptr<wxImageList> m_documentImages;

    // Jobs, result page and search.
    void StartRecoverThread(std::function<void(app::CRecoverThread&)> set_up);
    void ShowResultPage();
    // The damaged or missing pages of the scan below the tree, the tree shortened for it; or the whole tree.
    void ShowDamageWarning();
    // After a job that read a table's rows: the tree's items and the warning show what the walks found.
    void RefreshTableMarks();
    // Each table item's text fitted to the tree's width: a long name is cut, its row count never is.
    void FitTableItems();
    void AddCheckItems(sharepoint::CheckItem& model, const wxTreeItemId& parent, int depth);
    void ShowCheckStates(const wxTreeItemId& item);
    void ShowSavedItem(const sharepoint::CheckItem& saved);
    void HighlightClickedItem(const wxTreeItemId& item);
    void AddDocumentRows(const std::vector<app::DocumentRow>& rows);
    bool ConfirmStop();
    std::shared_ptr<mdf::CRecoveryEngine> m_pEngine;
    std::unique_ptr<sharepoint::CheckItem> m_checkTree;
    std::vector<std::u16string> m_arrExtensions;
    std::u16string m_strSelectedFile;
    wxTreeItemId m_hHighlighted;  // the tree item clicked last, shown highlighted
    long table_row_position_ = 0;
    long document_row_position_ = 0;
    std::vector<std::u16string> m_arrClickPath;  // the clicked document's name, then the selected tree path
    std::unique_ptr<CPreviewPane> m_preview;

    app::ProgressBarModel scan_bar_;
    app::ProgressBarModel result_bar_;
    app::PassGauge scan_pass_;
    app::PassGauge result_pass_;
    std::int64_t table_rows_read_ = 0;
    std::int64_t table_rows_total_ = -1;  // the rows the viewed table counts; -1 when no table view ran
    platform::LPARAM scan_title_ = platform::kTitleNone;  // the step the running scan is in
    bool stopped_save_ = false;           // the last job was a document save that a stop cut short
    // Scan File raised the page depth for a result page that has not come yet: a scan that ends without one
    // lowers it again, once.
    bool scan_depth_raised_ = false;
    void LowerScanDepth();
    // Binds a handler of this dialog on one of its child windows. The children outlive this class's destructor
    // (the window base destroys them afterwards, and a tree sends an event for every item it deletes then), so
    // the destructor takes these handlers off again before the members they use are gone.
    template <typename Tag, typename Handler>
    void BindChild(wxEvtHandler* child, const Tag& type, Handler handler) {
        auto stored = std::make_shared<Handler>(std::move(handler));
        child->Bind(type, *stored);  // wxWidgets knows the handler again by the address of *stored
        child_unbinds_.push_back([child, type, stored] { child->Unbind(type, *stored); });
    }
    std::vector<std::function<void()>> child_unbinds_;
    // Last member: destroyed first, it stops and joins the workers while everything else still exists.
    WorkerThreads workers_;
};

}  // namespace ui
