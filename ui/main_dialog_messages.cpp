// The worker messages' handlers of the main dialog: progress on the two bars, the record counter, the log
// line, the file-in-use notice and the job's end.
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
        case platform::WM_JOB_ENDED: OnJobEnded(); break;
        // WM_FOUND_FILES, WM_SEARCH_DONE, WM_SCAN_DONE, WM_TABLE_ROW and WM_DOCUMENT_ROW are handled by the
        // search, the result tree and the lists when those pages are built.
        default: break;
    }
    ApplyButtonRules();
}

void CBrindlemoorDlg::OnJobProgress(platform::WPARAM stage, platform::LPARAM amount) {
    const ProgressBarId bar = ChooseProgressBar(app_.m_bRepairStarted, app_.m_bTableViewStarted);
    ApplyJobProgress(bar, bar == ProgressBarId::Result ? result_bar_ : scan_bar_, stage,
                     static_cast<std::int64_t>(amount));
    ShowProgress(bar);
}

void CBrindlemoorDlg::ShowProgress(ProgressBarId bar) {
    const ProgressBarModel& model = bar == ProgressBarId::Result ? result_bar_ : scan_bar_;
    wxGauge* gauge = bar == ProgressBarId::Result ? m_progressResult : m_progressScan;
    gauge->SetValue(static_cast<int>(model.Fraction() * gauge->GetRange()));
}

void CBrindlemoorDlg::OnRecordCount() {
    m_staticRecordCounter->SetLabel(ToWx(RecordCounterText(app_.m_nRecoveredCount, app_.m_bDocumentMode)));
}

void CBrindlemoorDlg::OnFileInUse() {
    FindWindow(kIdHome)->Enable();
    FindWindow(kIdBack)->Enable();
    --app_.m_nPageDepth;
}

void CBrindlemoorDlg::OnLogLine() {
    if (app_.m_dlgLog != nullptr) app_.m_dlgLog->AppendCurrentLine(false);
}

void CBrindlemoorDlg::OnJobEnded() {
    // The job's side of the end (pages, messages, the next step of a repair) comes with the jobs; what the
    // dialog needs already is that no job works any more.
    app_.m_bJobIdle = true;
}

}  // namespace ui
