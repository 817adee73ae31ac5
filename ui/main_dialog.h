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
#include <functional>
#include <memory>

#include "app/main_dialog_rules.h"
#include "app/progress_model.h"
#include "platform/messages.h"
#include "ui/bitmap_button.h"
#include "ui/list_controls.h"

class wxImageList;

namespace ui {

class CBrindlemoorApp;

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
    void OnJobEnded();

    // The enable and show rules that run after every message.
    void ApplyButtonRules();

    bool IsControlShown(int id) const;
    bool IsControlEnabled(int id) const;
    wxString ControlText(int id) const;
    const app::ProgressBarModel& ScanBar() const { return scan_bar_; }
    const app::ProgressBarModel& ResultBar() const { return result_bar_; }

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
    wxTextCtrl* m_editSelectedPath = nullptr;
    CMyListCtrl* m_listResult = nullptr;
    wxGauge* m_progressScan = nullptr;
    wxGauge* m_progressResult = nullptr;
    wxStaticText* m_staticSearchStatus = nullptr;
    wxStaticText* m_staticRecordCounter = nullptr;
    wxTextCtrl* m_editMethodHint = nullptr;
    wxCheckBox* m_checkSubfolders = nullptr;
    std::unique_ptr<wxImageList> m_treeStateImages;
    std::unique_ptr<wxImageList> m_treeItemImages;
    std::unique_ptr<wxImageList> m_documentImages;

    app::ProgressBarModel scan_bar_;
    app::ProgressBarModel result_bar_;
};

}  // namespace ui
