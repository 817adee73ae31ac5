// The jobs on a scanned file as the main dialog starts and ends them: Scan File, Stop, the job's end, Repair.
// Each job runs on its own thread (app::CRecoverThread); the dialog keeps the job object until the job's own
// WM_JOB_ENDED arrives, then joins and releases it. A job-ended message of an earlier job is ignored; one
// without a job id (0) ends the job side only while no job object exists.
#include <wx/app.h>

#include "app/control_ids.h"
#include "app/folder_lookups.h"
#include "app/repair_names.h"
#include "app/string_table.h"
#include "mdf/recovery_engine.h"
#include "platform/config_file.h"
#include "platform/text.h"
#include "sharepoint/check_tree.h"
#include "ui/brindlemoor_app.h"
#include "ui/dialog_style.h"
#include "ui/main_dialog.h"
#include "ui/message_dialogs.h"
#include "ui/reattach_dialog.h"

namespace ui {

using namespace app;

void CBrindlemoorDlg::StartRecoverThread(std::function<void(CRecoverThread&)> set_up) {
    // A job that has posted its end but whose message is still queued is finished: release it first.
    if (workers_.recover) {
        if (workers_.recover->IsRunning()) return;
        workers_.recover.reset();
    }
    workers_.state = &app_;
    workers_.fields = &app_;
    auto job = std::make_unique<CRecoverThread>(app_, app_, m_pEngine, app_.m_prompts);
    job->m_hOwnerWnd = &app_.m_bridge;
    if (set_up) set_up(*job);
    app_.m_pRecoverThread = job.get();
    app_.m_bJobIdle = false;
    app_.m_bStopJob = false;
    workers_.recover = std::move(job);
    workers_.recover->Start();
}

bool CBrindlemoorDlg::ConfirmStop() {
    app_.m_strMessageText = JobText(app_.m_bRepairRequested ? 113 : 111);
    app_.m_strMessageTitle = JobText(112);
    if (confirm_stop) return confirm_stop();
    return CMyExitStopDialog(this, app_).ShowModal() == kIdOk;
}

void CBrindlemoorDlg::ResetRecoveredData() {
    // The engine of the last scan is released, not emptied in place: a job that still held it would keep it
    // alive, so nothing is freed under a running job.
    if (workers_.recover && workers_.recover->IsRunning()) return;
    m_ctrlTree->DeleteAllItems();
    app_.m_hTreeRoot = wxTreeItemId();
    m_checkTree.reset();
    m_pEngine.reset();
}

void CBrindlemoorDlg::OnScanFile() {
    if (app_.m_pRecoverThread.load() != nullptr) return;
    ClosePreview();
    DetectPreviewApplications();
    ResetRecoveredData();
    app_.m_bStoppedByUser = false;
    ++app_.m_nPageDepth;
    scan_depth_raised_ = true;

    ResetProgress(ProgressBarId::SearchAndScan);
    ApplyChanges({{kIdScanProgress, true, {}},
                  {kIdBack, {}, false},
                  {kIdHome, {}, false},
                  {kIdSearchSubfolders, {}, false},
                  {kIdSearchFiles, {}, false}});

    m_pEngine = std::make_shared<mdf::CRecoveryEngine>(app_, &app_.m_bridge, &app_.m_prompts);

    ApplyChanges({{kIdSearchStatus, false, {}},
                  {kIdScanProgress, true, {}},
                  {kIdScanFile, false, false},
                  {kIdStopJob, true, true},
                  {kIdSearchFiles, {}, false},
                  {kIdSelectFile, {}, false}});
    m_ctrlTree->SetBackgroundColour(*wxWHITE);

    // The job probes the file's version first, off this thread.
    StartRecoverThread([this](CRecoverThread& job) { job.m_strDataFile = app_.m_strDataFilePath; });
}

void CBrindlemoorDlg::OnStopJob() {
    if (!ConfirmStop()) return;
    app_.m_bStoppedByUser = true;
    if (app_.m_bJobIdle) return;

    // The job sees the flag at its next check and posts its end; its messages keep being handled meanwhile.
    app_.m_bStopJob = true;
    // A statement the server is still running (an INSERT, an index over millions of rows) would hold the job
    // until it ends: cancel it, so the job sees the flag within a second.
    if (m_pEngine) m_pEngine->CancelRunningStatement();
    WorkerThreads::PumpUntil([this] { return app_.m_bJobIdle.load(); });
    // A stopped repair has closed its connection on its way out; this closes nothing then.
    if (m_pEngine) m_pEngine->CloseConnection();
    StopRecoverThread();

    app_.m_strMessageTitle.clear();
    app_.m_strMessageText = JobText(app_.m_bRepairRequested ? 174 : 175);
    CMyMessageDialog(this, app_).ShowModal();

    ApplyChanges({{kIdScanProgress, false, {}},
                  {kIdBack, {}, true},
                  {kIdHome, {}, true},
                  {kIdFoundFileList, {}, true},
                  {kIdStopJob, false, {}}});
    if (!app_.m_bTableViewStarted && !app_.m_bRepairStarted) {
        ApplyChanges({{kIdScanFile, true, true},
                      {kIdSearchSubfolders, true, true},
                      {kIdSelectFile, {}, true},
                      {kIdSearchFiles, {}, true}});
        LowerScanDepth();
    }
    ApplyChanges({{kIdViewLog, {}, true}, {kIdUpdates, {}, true}, {kIdAbout, {}, true}});
}

void CBrindlemoorDlg::StopRecoverThread() {
    // Never suspends or deletes a running thread: an ended job is joined and released, a running one is left
    // to its own end (its WM_JOB_ENDED releases it).
    if (workers_.recover && !workers_.recover->IsRunning()) {
        workers_.recover->Join();
        CRecoverThread* job = workers_.recover.get();
        app_.m_pRecoverThread.compare_exchange_strong(job, nullptr);
        workers_.recover.reset();
    }
}

void CBrindlemoorDlg::OnJobEnded(platform::WPARAM job_id) {
    if (workers_.recover) {
        if (workers_.recover->JobId() != job_id) return;  // an earlier job's message
        workers_.recover->Join();
        workers_.recover.reset();
    } else if (job_id != 0) {
        return;  // a job that was released already
    }

    OnJobProgress(0, 0);  // the chosen bar's last step
    app_.m_pRecoverThread = nullptr;
    if (app_.m_bTableViewStarted || app_.m_bRepairStarted) RefreshTableMarks();
    app_.m_strPreviewFile.clear();
    ApplyChanges({{kIdStopJob, false, false}});
    if (app_.m_bFileInUse) ApplyChanges({{kIdScanFile, true, true}});
    ApplyChanges({{kIdResultProgress, false, false},
                  {kIdScanProgress, false, false},
                  {kIdSearchFiles, {}, true},
                  {kIdSelectFile, {}, true},
                  {kIdRecordCounter, false, false},
                  {kIdSearchSubfolders, {}, true}});

    if (app_.m_bJobCompleted) {
        app_.m_bJobCompleted = false;
        app_.m_bRepairRequested = false;
        app_.m_strMessageTitle = JobText(155);
        if (app_.m_bDocumentMode) {
            // Where they went: the folder this save made.
            app_.m_strMessageText = JobText(169);
            if (!app_.m_strOutputFolder.empty()) app_.m_strMessageText += u"\n" + app_.m_strOutputFolder;
            CMyMessageDialog(this, app_).ShowModal();
        } else {
            app_.m_strMessageText = JobText(156);
            CMyMessageDialog(this, app_).ShowModal();
            OfferReattach(this, app_, app_);
        }
    }
    // A document save that left items checked (a stop cut it short) offers Repair again for the rest.
    if (app_.m_bRepairRequested && app_.m_bDocumentMode && m_checkTree && m_checkTree->state != sharepoint::kUnchecked) {
        ApplyChanges({{kIdRepair, true, true}});
    }
    app_.m_bRepairRequested = false;
    app_.m_bJobIdle = true;
    // A scan that ended without its result page (a catalogue that failed, a cancelled version question, a
    // stop) leaves the user on the file page.
    LowerScanDepth();
}

void CBrindlemoorDlg::LowerScanDepth() {
    if (!scan_depth_raised_) return;
    scan_depth_raised_ = false;
    --app_.m_nPageDepth;
    ApplyChanges({{kIdHome, {}, true}, {kIdBack, {}, true}});
}

void CBrindlemoorDlg::OnRepair() {
    app_.m_strDefaultDataFolder =
        app::ReadSqlServerInstancePaths(platform::ConfigFile::Load(), app_.m_bDefaultDataFolderFound);
    app_.m_nTableCount = 0;
    app_.m_bImagePreviewShown = false;

    app_.m_strSearchRoot = FileNameOfPath(FromWx(m_editSelectedPath->GetValue()));
    const std::u16string database = RecoveredDatabaseName(app_.m_strSearchRoot);
    if (m_pEngine) m_pEngine->m_strTargetDatabase = database;
    app_.m_arrSelectedTables.clear();

    ResetProgress(ProgressBarId::Result);
    ApplyChanges({{kIdResultProgress, true, {}},
                  {kIdRepair, false, {}},
                  {kIdStopJob, true, true},
                  {kIdRecordCounter, true, true}});
    m_staticRecordCounter->SetLabel(wxString());
    app_.m_bRepairStarted = true;
    if (!app_.m_bJobIdle || !m_pEngine) return;

    app_.m_bRepairRequested = true;
    m_pEngine->m_strTargetDatabase = database;
    StartRecoverThread([this](CRecoverThread& job) {
        job.m_strDataFile = m_strSelectedFile;
        job.m_pTreeRoot = m_checkTree.get();
        job.m_onItemSaved = [this](const sharepoint::CheckItem& item) { ShowSavedItem(item); };
        if (!app_.m_bDocumentMode) {
            for (const auto& table : m_pEngine->m_lstTables) app_.m_arrSelectedTables.push_back(table.m_pszName);
        }
    });
}

}  // namespace ui
