// The worker messages' handlers of the main dialog: progress on the two bars, the record counter, the log
// line and the file-in-use notice; the others go to the jobs, the result page and the search.
#include "app/control_ids.h"
#include "ui/brindlemoor_app.h"
#include "ui/dialog_style.h"
#include "ui/log_dialog.h"
#include "ui/main_dialog.h"

namespace ui {

using namespace app;

void CBrindlemoorDlg::OnWorkerMessage(unsigned message, platform::WPARAM wparam, platform::LPARAM lparam) {
    switch (message) {
        case platform::WM_JOB_PROGRESS: OnJobProgress(wparam, lparam); break;
        case platform::WM_RECORD_COUNT: OnRecordCount(); break;
        case platform::WM_LOG_LINE: OnLogLine(); break;
        case platform::WM_FILE_IN_USE: OnFileInUse(); break;
        case platform::WM_TABLE_DONE: OnTableDone(); break;
        case platform::WM_JOB_ENDED: OnJobEnded(wparam); break;
        case platform::WM_FOUND_FILES: OnFoundFiles(wparam); break;
        case platform::WM_SEARCH_DONE: OnSearchDone(wparam); break;
        case platform::WM_SCAN_DONE: OnScanDone(); break;
        case platform::WM_TABLE_ROW: OnTableRow(wparam, lparam); break;
        case platform::WM_DOCUMENT_ROW: OnDocumentRow(lparam); break;
        default: break;
    }
    ApplyButtonRules();
}

void CBrindlemoorDlg::OnJobProgress(platform::WPARAM stage, platform::LPARAM amount) {
    const ProgressBarId bar = ChooseProgressBar(app_.m_bRepairStarted, app_.m_bTableViewStarted);
    if (stage == platform::kProgressTitle) {
        // The scan's steps are named in the line under the file page's list, where a search says where it is.
        if (bar == ProgressBarId::SearchAndScan) {
            scan_title_ = amount;
            ApplyChanges({{kIdSearchStatus, amount != platform::kTitleNone, {}}});
            ShowProgress(bar);
        }
        return;
    }
    const bool result = bar == ProgressBarId::Result;
    ApplyJobProgress(bar, result ? result_bar_ : scan_bar_, stage, static_cast<std::int64_t>(amount));
    (result ? result_pass_ : scan_pass_).Apply(stage, static_cast<std::int64_t>(amount));
    ShowProgress(bar);
}

void CBrindlemoorDlg::ShowProgress(ProgressBarId bar) {
    const bool result = bar == ProgressBarId::Result;
    wxGauge* gauge = result ? m_progressResult : m_progressScan;
    const int value = (result ? result_pass_ : scan_pass_).Value(gauge->GetRange());
    if (gauge->GetValue() != value) gauge->SetValue(value);
    if (!result && scan_title_ != platform::kTitleNone) {
        const wxString text = ToWx(ScanStepText(scan_title_, scan_pass_));
        if (m_staticSearchStatus->GetLabel() != text) m_staticSearchStatus->SetLabel(text);
    }
}

void CBrindlemoorDlg::ResetProgress(ProgressBarId bar) {
    // The last job's end disabled the bar; a disabled bar draws no fill.
    (bar == ProgressBarId::Result ? m_progressResult : m_progressScan)->Enable();
    if (bar == ProgressBarId::Result) {
        result_bar_.position = 0;
        result_pass_ = PassGauge{};
    } else {
        scan_bar_.position = 0;
        scan_pass_ = PassGauge{};
    }
    ShowProgress(bar);
}

void CBrindlemoorDlg::OnRecordCount() {
    m_staticRecordCounter->SetLabel(ToWx(RecordCounterText(app_.m_nRecoveredCount, app_.m_bDocumentMode)));
}

void CBrindlemoorDlg::OnFileInUse() {
    FindWindow(kIdHome)->Enable();
    FindWindow(kIdBack)->Enable();
    --app_.m_nPageDepth;
    scan_depth_raised_ = false;
}

void CBrindlemoorDlg::OnLogLine() {
    if (app_.m_dlgLog != nullptr) app_.m_dlgLog->AppendCurrentLine(false);
}

}  // namespace ui
