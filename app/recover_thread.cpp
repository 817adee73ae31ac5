// The job thread: the choice of job, the scan, the table view and the document save, the stop checks
// between pages and records, and the job's one WM_JOB_ENDED.
#include "app/recover_thread.h"

#include <algorithm>
#include <array>
#include <ctime>
#include <utility>

#include "app/app_fields.h"
#include "app/log_text.h"
#include "app/repair_names.h"
#include "app/string_table.h"
#include "mdf/progress_pacer.h"
#include "mdf/recovery_engine.h"
#include "platform/shared_state.h"
#include "platform/text.h"
#include "rows/row_capture.h"
#include "sharepoint/check_tree.h"
#include "sharepoint/output_names.h"

namespace app {

namespace {

std::atomic<std::uint64_t> g_nextJobId{1};

// Texts of the job that the program's string table does not hold.
constexpr int kCannotOpenText = 900;
constexpr int kNotSavedTitle = 901;
constexpr int kNotWrittenText = 902;
constexpr int kDamagedPagesText = 903;
constexpr int kStoppedSaveText = 904;
constexpr int kNotSavedText = 905;
constexpr int kIncompleteText = 906;
constexpr int kOutputLostText = 907;
constexpr int kNotFlushedText = 908;
constexpr int kIncompleteTablesTitle = 909;
constexpr int kIncompleteTablesText = 910;
constexpr std::array<std::pair<int, std::u16string_view>, 49> kJobTexts = {{
    {kOutputLostText, u"The output folder was deleted or moved during the save: "},
    {kNotFlushedText, u"The saved files could not be flushed to the disk; the items of this save stay checked."},
    {kIncompleteTablesTitle, u"The recovery process could not find every document."},
    {kIncompleteTablesText, u"Documents may be missing: the data file lost part of the table(s) "},
    {kStoppedSaveText, u"Stopped by the user: "},
    {kNotSavedText, u" document(s) not saved; the items not saved stay checked."},
    {kIncompleteText, u" document(s) kept as .incomplete files: fewer or more bytes were found than their Size."},
    {kDamagedPagesText, u"Damaged or missing page(s)  :"},
    {kNotSavedTitle, u"The recovery process did not write everything."},
    {kNotWrittenText, u" item(s) could not be written; the log names each one with the reason."},
    {kCannotOpenText, u"The data file cannot be opened: "},
    {111, u"Do you want to stop the current process ?"},
    {112, u"This process can not be resumed from current state and has to be restarted."},
    {113, u"Do you want to stop the current process ?"},
    {115, u"The file is being used by MS SQL Server.\n\n Please stop MS SQL Server and then try again."},
    {117, u"Please select an appropriate MS SQL Database."},
    {119, u"--------------------------------------------------------------"},
    {121, u"Total table(s) present  :"},
    {122, u"Repair process started on "},
    {123, u"File selected for repair  : "},
    {124, u"Scanning file..."},
    {125, u"Total default(s) present  :"},
    {126, u"Total rule(s) present  :"},
    {127, u"Total stored procedure(s) present  :"},
    {128, u"Total user defined function(s) present  :"},
    {129, u"Total view(s) present  :"},
    {130, u"Total trigger(s) present  :"},
    {144, u"Please enter correct server (server\\instance name)."},
    {145, u"Unable to save repaired database file."},
    {146, u"Total table(s)  selected :"},
    {147, u"Repairing Table....."},
    {148, u"Total field(s) present  :"},
    {149, u"Total record(s) recovered  :"},
    {150, u"Repairing Views"},
    {151, u"Repairing Stored Procedures"},
    {152, u"Repairing Rules"},
    {153, u"Repairing Defaults"},
    {154, u"Repairing User Defined Functions"},
    {155, u"Recovery process is successfully completed."},
    {156, u"\nRecovered file saved at the desired location."},
    {157, u"Repair process completed on "},
    {158, u"Unable to establish the connection."},
    {159, u"Please Verify your Server\\Instance name.\nPlease run the SQL Server and try again."},
    {160, u"Repairing Trigger"},
    {211, u"Please Enter Name of database. "},
    {212, u"Repair process finished with problems."},
    {169, u"\nRecovered documents saved at the desired location."},
    {174, u"Current  process stopped by user."},
    {175, u"Current  process stopped by user."},
}};

}  // namespace

std::u16string JobText(int id) {
    const std::u16string_view table_text = LoadString(id);
    if (!table_text.empty()) return std::u16string(table_text);
    for (const auto& [number, text] : kJobTexts) {
        if (number == id) return std::u16string(text);
    }
    return {};
}

// Passes the engine's messages on to the job's sink, and, while the damage is listed one log line per page,
// tells the window now and then how many lines are out: the bar follows the listing, however long it takes.
class DamageListingSink final : public platform::IMessageSink {
public:
    explicit DamageListingSink(platform::IMessageSink& to) : to_(to) {}
    void Send(unsigned message, platform::WPARAM wparam, platform::LPARAM lparam) override {
        to_.Send(message, wparam, lparam);
        if (message != platform::WM_LOG_LINE) return;
        ++lines_;
        if (pacer_.Step()) to_.Send(platform::WM_JOB_PROGRESS, platform::kProgressAt, static_cast<platform::LPARAM>(lines_));
    }
    void Post(unsigned message, platform::WPARAM wparam, platform::LPARAM lparam) override {
        to_.Post(message, wparam, lparam);
    }

private:
    platform::IMessageSink& to_;
    mdf::ProgressPacer pacer_;
    std::uint64_t lines_ = 0;
};

// What the engine's operations send go to the owner; their own WM_JOB_ENDED posts (the engine posts one when
// it meets the stop flag) are held back, because the job posts the one job end itself when Run returns.
class CRecoverThread::JobSink final : public platform::IMessageSink {
public:
    explicit JobSink(platform::IMessageSink& owner) : owner_(owner) {}
    void Send(unsigned message, platform::WPARAM wparam, platform::LPARAM lparam) override {
        owner_.Send(message, wparam, lparam);
    }
    void Post(unsigned message, platform::WPARAM wparam, platform::LPARAM lparam) override {
        if (message == platform::WM_JOB_ENDED) return;
        owner_.Post(message, wparam, lparam);
    }

private:
    platform::IMessageSink& owner_;
};

CRecoverThread::CRecoverThread(platform::SharedState& state, AppFields& fields,
                               std::shared_ptr<mdf::CRecoveryEngine> engine, platform::IUserPrompts& prompts)
    : m_app(state), m_fields(fields), m_pEngine(std::move(engine)), m_prompts(prompts), m_nJobId(g_nextJobId++) {}

CRecoverThread::~CRecoverThread() { Join(); }

JobKind CRecoverThread::ChooseJob() const {
    if (!m_pEngine || m_pEngine->m_lstTables.empty()) return JobKind::Scan;
    if (m_app.m_bRepairRequested) return m_app.m_bDocumentMode ? JobKind::DocumentSave : JobKind::CompleteRepair;
    return JobKind::TableView;
}

void CRecoverThread::Start() {
    if (m_thread.joinable()) return;
    m_thread = std::thread([this] { Run(); });
}

void CRecoverThread::Join() {
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) m_thread.join();
}

int CRecoverThread::Run() {
    static platform::NullSink no_owner;
    platform::IMessageSink& owner = m_hOwnerWnd ? *m_hOwnerWnd : no_owner;
    m_sink = std::make_unique<JobSink>(owner);
    m_nStopChecks = 0;
    m_app.m_bRowPreview = true;

    if (m_pEngine) {
        platform::IMessageSink* const previous_sink = m_pEngine->m_hProgressWnd;
        platform::IUserPrompts* const previous_prompts = m_pEngine->m_pPrompts;
        m_pEngine->m_hProgressWnd = m_sink.get();
        m_pEngine->m_pPrompts = &m_prompts;
        m_pEngine->BeginJob();
        switch (ChooseJob()) {
            case JobKind::Scan: RunScan(); break;
            case JobKind::TableView: RunTableView(); break;
            case JobKind::DocumentSave: RunDocumentSave(); break;
            case JobKind::CompleteRepair: RunCompleteRepair(); break;
        }
        m_pEngine->m_hProgressWnd = previous_sink;
        m_pEngine->m_pPrompts = previous_prompts;
    }
    owner.Post(platform::WM_JOB_ENDED, static_cast<platform::WPARAM>(m_nJobId), 0);
    m_bEnded = true;
    return 0;
}

bool CRecoverThread::StopCheck() {
    ++m_nStopChecks;
    if (m_beforeStopCheck) m_beforeStopCheck(m_nStopChecks);
    return m_app.m_bStopJob.load();
}

void CRecoverThread::Send(unsigned message, platform::WPARAM wparam, platform::LPARAM lparam) {
    m_sink->Send(message, wparam, lparam);
}

void CRecoverThread::LogLine(const std::u16string& line) { m_pEngine->LogLine(line); }

void CRecoverThread::LogCount(int text_id, std::int64_t count) {
    LogLine(JobText(text_id) + u"  " + platform::FromUtf8(std::to_string(count)));
}

void CRecoverThread::RunScan() {
    mdf::CRecoveryEngine& engine = *m_pEngine;
    if (StopCheck()) return;

    // The version probe opens the file too, so it runs here on the job's thread: an open that takes long
    // never freezes the window.
    engine.DetectDatabaseVersion();
    m_app.m_bConvertedFrom2000 = false;
    m_app.m_bCreatedOn2000 = false;

    // The engine opens m_strDataFilePath, which the starter set to m_strDataFile before the start.
    if (!engine.OpenDataFile()) {
        m_app.m_bFileInUse = true;
        if (StopCheck()) return;
        if (!engine.m_bOpenBusy) {
            // Missing, not allowed or not a file: said as it is, with the path, not blamed on the server.
            const std::u16string line = JobText(kCannotOpenText) + m_app.m_strDataFilePath + u" (" +
                                        engine.m_strOpenError + u")";
            LogLine(line);
            // The window gives back the file page as for a busy file (the message's name is historical).
            if (!m_app.m_strSearchRoot.empty()) Send(platform::WM_FILE_IN_USE, 0, 0);
            engine.ShowError(JobText(kCannotOpenText) + m_app.m_strDataFilePath, engine.m_strOpenError);
        } else if (m_app.m_strSearchRoot.empty()) {
            engine.ShowError(u"", JobText(117));
        } else {
            Send(platform::WM_FILE_IN_USE, 0, 0);
            engine.ShowError(JobText(115), u"");
        }
        return;
    }

    m_app.m_bFileInUse = false;
    Send(platform::WM_JOB_PROGRESS, platform::kProgressTitle, platform::kTitleReadingPages);
    m_app.m_bSql2005Catalog = false;
    m_app.m_bSql2000 = false;
    m_app.m_bSql2008Catalog = false;
    m_app.m_bConvertedFrom2000 = false;
    m_app.m_bLayout2005 = false;
    m_app.m_bSql2012Catalog = false;

    if (!engine.ReadCatalogForVersion()) return;
    m_app.m_bFileInUse = false;
    if (StopCheck()) return;

    engine.ComputeColumnOffsets();
    if (StopCheck()) return;

    LogLine(u"");
    LogLine(JobText(123) + m_app.m_strDataFilePath);
    LogLine(JobText(124));
    LogLine(u"");
    // Damaged pages are kept and read like the others; the log names each one with its table. A badly damaged
    // file has tens of thousands of such lines: the bar and the line under it follow them.
    std::uint64_t damaged = 0;
    {
        // The lines to come, at most: a damaged page a line, a run of a table's map a line, a finding a line.
        std::uint64_t pages = engine.m_arrDamagedPages.size() + engine.m_arrTableDamage.size();
        for (const auto* runs : {&engine.m_mapDamagedPageRuns, &engine.m_mapMissingPageRuns}) {
            for (const auto& [table, table_runs] : *runs) pages += table_runs.Merged().size();
        }
        Send(platform::WM_JOB_PROGRESS, platform::kProgressTitle, platform::kTitleListingDamage);
        Send(platform::WM_JOB_PROGRESS, platform::kProgressStart,
             static_cast<platform::LPARAM>(std::min<std::uint64_t>(pages, 0x7FFFFFFF)));
        DamageListingSink listing(*engine.m_hProgressWnd);
        platform::IMessageSink* const previous = engine.m_hProgressWnd;
        engine.m_hProgressWnd = &listing;
        damaged = engine.ReportDamage();
        engine.m_hProgressWnd = previous;
        if (StopCheck()) return;
        Send(platform::WM_JOB_PROGRESS, platform::kProgressEnd, 0);
    }
    // A sound database without user tables: an information, not a failure; there is no result page to show.
    if (engine.m_lstTables.empty() && damaged == 0) {
        engine.ShowMessage(u"", engine.NoUserTableText());
        return;
    }
    LogCount(121, m_app.m_nTableCount);
    if (damaged != 0) LogCount(kDamagedPagesText, static_cast<std::int64_t>(damaged));
    // The document road reads every row now and says it after that; the other road reads rows later.
    if (!m_app.m_bDocumentMode) {
        for (const auto& line : engine.IncompleteTableLines()) LogLine(line);
    }
    LogLine(JobText(119));

    engine.m_pCurrentTable = engine.m_lstTables.empty() ? nullptr : &engine.m_lstTables.front();
    m_bFirstRow = true;
    m_app.m_bRowPreview = false;

    if (m_app.m_bDocumentMode) {
        Send(platform::WM_JOB_PROGRESS, platform::kProgressTitle, platform::kTitleReadingRecords);
        // Capture the SharePoint rows: every live record of every table, each page once.
        // The pass goes over the records of every table: its size is all their rows, so the bar fills once.
        std::uint64_t rows = 0;
        for (const auto& table : engine.m_lstTables) rows += table.m_nRowCount;
        Send(platform::WM_JOB_PROGRESS, platform::kProgressStart,
             static_cast<platform::LPARAM>(std::min<std::uint64_t>(rows, 0x7FFFFFFF)));
        for (auto& table : engine.m_lstTables) {
            engine.m_pCurrentTable = &table;
            const bool whole = engine.CaptureTableRows(
                table, [this](std::size_t) { return !StopCheck(); },
                [this] {
                    if (StopCheck()) return false;
                    // The list takes no rows during the capture (m_bRowPreview is clear): nothing to hand over.
                    m_app.m_arrRowValues.clear();
                    if (StopCheck()) return false;
                    AddProgressStep();
                    return true;
                });
            if (!whole) return FlushRows(true);
        }
        FlushRows(true);
        engine.ReportEmptyContentTables();
        for (const auto& line : engine.IncompleteTableLines()) LogLine(line);
        engine.JoinDocumentStreams();
        engine.BuildWebTree();
    }

    Send(platform::WM_JOB_PROGRESS, platform::kProgressEnd, 0);
    // A stop that came after the last check still means no result page.
    if (StopCheck() || m_fields.m_bStoppedByUser) return;
    Send(platform::WM_SCAN_DONE, 0, 0);

    if (m_app.m_bDocumentMode) return;
    for (const auto& table : engine.m_lstTables) {
        LogLine(table.m_pszName + u"  :  " + platform::FromUtf8(std::to_string(table.m_nRowCount)) + u" Record(s)");
        if (StopCheck()) return;
    }
    LogLine(JobText(119));
    LogCount(125, m_app.m_nDefaultCount);
    LogCount(126, m_app.m_nRuleCount);
    LogCount(130, m_app.m_nTriggerCount);
    LogCount(127, m_app.m_nProcedureCount);
    LogCount(128, m_app.m_nFunctionCount);
    LogCount(129, m_app.m_nViewCount);
    LogLine(JobText(119));
    AppendToLogText(m_app, u"\r\n" + JobText(119));
}

void CRecoverThread::RunTableView() {
    mdf::CRecoveryEngine& engine = *m_pEngine;
    m_bFirstRow = true;
    if (m_nTableIndex < 0 || static_cast<std::size_t>(m_nTableIndex) >= engine.m_lstTables.size()) return;
    auto table_it = engine.m_lstTables.begin();
    for (int i = 0; i < m_nTableIndex; ++i) {
        if (StopCheck()) return;
        ++table_it;
    }
    mdf::TableNode& table = *table_it;
    engine.m_pCurrentTable = &table;
    if (StopCheck()) return;
    Send(platform::WM_JOB_PROGRESS, platform::kProgressStart,
         static_cast<platform::LPARAM>(static_cast<std::int32_t>(table.m_nRowCount & 0xFFFFFFFFu)));

    m_app.m_arrRowValues.clear();
    const bool whole = engine.WalkTableRows(
        table, [this](std::size_t) { return !StopCheck(); },
        [this, &engine] {
            if (StopCheck()) return false;
            const auto outcome = engine.m_lastRecordOutcome;
            if (outcome == mdf::CRecoveryEngine::RecordOutcome::Row ||
                outcome == mdf::CRecoveryEngine::RecordOutcome::RowNotSent) {
                AddRow(std::move(m_app.m_arrRowValues));
            }
            m_app.m_arrRowValues.clear();
            if (StopCheck()) return false;
            AddProgressStep();
            return true;
        });
    FlushRows(true);
    if (!whole) return;
    // What the walk found is the table's for every job after it: the log says it, and the tree shows the table
    // as incomplete from now on.
    const mdf::TableLosses& losses = table.m_losses;
    if (losses.damaged_records != 0 || losses.lost_values != 0 ||
        losses.rows_read < losses.ExpectedRows(table.m_nRowCount)) {
        LogLine(u"Incomplete table " + table.m_pszName + u": " + mdf::LossSummary(losses, table.m_nRowCount));
    }

    Send(platform::WM_JOB_PROGRESS, platform::kProgressEnd, 0);
}

void CRecoverThread::RunDocumentSave() {
    mdf::CRecoveryEngine& engine = *m_pEngine;
    const std::u16string chosen = m_prompts.ChooseFolder(u"Select a Folder");
    m_app.m_strOutputFolder.clear();
    if (chosen.empty()) return;

    // A folder made new for this save: the name carries the date and time, and a save in the same second
    // gets a numbered name instead of writing into the earlier save's folder.
    std::string why;
    const std::u16string output = sharepoint::MakeNewFolder(chosen, OutputFolderName(std::time(nullptr)), &why);
    if (output.empty()) {
        LogLine(u"Output folder not made in " + chosen + u" (" + platform::FromUtf8(why) + u")");
        engine.ShowError(JobText(kNotSavedTitle), u"Output folder not made in " + chosen + u" (" +
                                                        platform::FromUtf8(why) + u")");
        return;
    }
    m_app.m_strOutputFolder = output;
    LogLine(JobText(122) + LogTimeText(std::time(nullptr)));
    m_app.m_nRecoveredCount = 0;

    const std::uint64_t failures_before = engine.m_nSaveFailures;
    const std::uint64_t incomplete_before = engine.m_nIncompleteDocuments;
    mdf::CRecoveryEngine::SaveTally tally;
    if (m_pTreeRoot) {
        tally = engine.SaveCheckedTreeItems(*m_pTreeRoot, [this](const sharepoint::CheckItem& item) {
            if (m_onItemSaved) m_onItemSaved(item);
        });
    }
    m_fields.m_nDocumentsToSave = tally.documents;
    auto decimal = [](std::uint64_t n) { return platform::FromUtf8(std::to_string(n)); };
    // The last line of a save that did not end as a whole one: also in the application's copy of the log,
    // which takes each line only when the next one comes.
    auto log_last_line = [this](const std::u16string& line) {
        LogLine(line);
        LogLine(JobText(119));
        AppendToLogText(m_app, u"\r\n" + JobText(119));
    };
    if (tally.output_lost) {
        // The folder the user chose is gone: nothing more was written anywhere else, and the log and the
        // message say what was not written.
        const std::uint64_t saved = m_app.m_nRecoveredCount.load();
        const std::uint64_t not_written = tally.documents > saved ? tally.documents - saved : 0;
        const std::u16string line = JobText(kOutputLostText) + m_app.m_strOutputFolder + u"\n" +
                                    decimal(not_written) + u" of " + decimal(tally.documents) +
                                    JobText(kNotSavedText);
        log_last_line(JobText(kOutputLostText) + m_app.m_strOutputFolder + u"; " + decimal(not_written) + u" of " +
                      decimal(tally.documents) + JobText(kNotSavedText));
        engine.ShowError(JobText(kNotSavedTitle), line);
        return;
    }
    if (StopCheck() || tally.stopped) {
        // The log ends with the stop and what it left unsaved; the items not saved keep their checks.
        const std::uint64_t saved = m_app.m_nRecoveredCount.load();
        const std::uint64_t not_saved = tally.documents > saved ? tally.documents - saved : 0;
        log_last_line(JobText(kStoppedSaveText) + decimal(not_saved) + u" of " + decimal(tally.documents) +
                      JobText(kNotSavedText));
        return;
    }

    LogLine(JobText(157) + LogTimeText(std::time(nullptr)));
    // Every document saved is whole, but those whose rows lie where the file is damaged are not among them:
    // the tables the documents come from are named, and the save does not claim success.
    std::u16string incomplete_tables;
    for (const auto& table : engine.m_lstTables) {
        if (!table.Incomplete() || !rows::RowCapture(table, true).Active()) continue;
        incomplete_tables += (incomplete_tables.empty() ? u"" : u", ") + table.m_pszName;
    }
    if (!incomplete_tables.empty()) LogLine(JobText(kIncompleteTablesText) + incomplete_tables);
    const std::uint64_t not_written = engine.m_nSaveFailures - failures_before;
    if (not_written == 0 && !incomplete_tables.empty()) {
        LogLine(JobText(119));
        AppendToLogText(m_app, u"\r\n" + JobText(119));
        engine.ShowMessage(JobText(kIncompleteTablesTitle), JobText(kIncompleteTablesText) + incomplete_tables);
        return;
    }
    if (not_written != 0) {
        // No word of success: the count, and the log names each item with the system's reason.
        const std::u16string count = platform::FromUtf8(std::to_string(not_written)) + JobText(kNotWrittenText);
        LogLine(count);
        const std::uint64_t incomplete = engine.m_nIncompleteDocuments - incomplete_before;
        if (incomplete != 0) {
            LogLine(platform::FromUtf8(std::to_string(incomplete)) + JobText(kIncompleteText));
        }
        if (tally.flush_failed) LogLine(JobText(kNotFlushedText));
        LogLine(JobText(119));
        AppendToLogText(m_app, u"\r\n" + JobText(119));
        engine.ShowError(JobText(kNotSavedTitle), tally.flush_failed ? count + u"\n" + JobText(kNotFlushedText) : count);
        return;
    }
    LogLine(JobText(119));
    AppendToLogText(m_app, u"\r\n" + JobText(119));
    m_fields.m_bJobCompleted = true;
}

void CRecoverThread::AddRow(std::vector<std::u16string> row) {
    if (m_bFirstRow) {
        m_pending.first = true;
        m_bFirstRow = false;
    }
    m_pending.rows.push_back(std::move(row));
    FlushRows(false);
}

void CRecoverThread::AddProgressStep() {
    ++m_pending.progress_steps;
    FlushRows(false);
}

void CRecoverThread::FlushRows(bool force) {
    const bool empty = m_pending.rows.empty() && m_pending.progress_steps == 0;
    if (empty) return;
    const std::size_t batch = static_cast<std::size_t>(
        std::clamp<std::uint64_t>(m_nRowsSent / 8, kRowBatchSize, kLargestRowBatch));
    if (!force && m_pending.rows.size() < batch && m_pending.progress_steps < batch) return;
    m_nRowsSent += m_pending.rows.size();
    const bool first = m_pending.first;
    {
        std::lock_guard lock(m_batchMutex);
        m_sent.first = m_sent.first || m_pending.first;
        for (auto& row : m_pending.rows) m_sent.rows.push_back(std::move(row));
        m_sent.progress_steps += m_pending.progress_steps;
    }
    m_pending = RowBatch{};
    Send(platform::WM_TABLE_ROW, static_cast<platform::WPARAM>(m_nJobId), first ? 1 : 0);
}

RowBatch CRecoverThread::TakeRowBatch() {
    std::lock_guard lock(m_batchMutex);
    return std::exchange(m_sent, RowBatch{});
}

}  // namespace app
