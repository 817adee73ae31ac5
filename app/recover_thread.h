// CRecoverThread: the one worker of every long job on a scanned file (scan, table view, complete repair,
// document save). It runs on its own joinable thread, talks to the window only through the message sink and
// the prompts, and ends every job with exactly one WM_JOB_ENDED that carries the job's id.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/repair_reconciliation.h"
#include "app/repair_steps.h"
#include "platform/messages.h"
#include "platform/user_prompts.h"

namespace platform {
struct SharedState;
}
namespace mdf {
class CRecoveryEngine;
}
namespace sharepoint {
struct CheckItem;
}

namespace app {

struct AppFields;

// Rows of the table view, and progress steps, gathered on the job thread and handed to the window by one
// WM_TABLE_ROW, so a large table costs one round trip per batch instead of one per row.
struct RowBatch {
    bool first = false;  // holds the job's first row: the list starts again at row 0
    std::vector<std::vector<std::u16string>> rows;
    std::uint32_t progress_steps = 0;  // one WM_JOB_PROGRESS (2, 0) step each
};

// Rows (or progress steps) gathered before a batch is sent. Once many rows have gone, the batches grow with them
// (an eighth of the rows sent so far) up to kLargestRowBatch: the first rows show at once, and a table of
// millions of rows costs a few thousand round trips to the window rather than tens of thousands.
constexpr std::size_t kRowBatchSize = 256;
constexpr std::size_t kLargestRowBatch = 4096;

enum class JobKind { Scan, TableView, CompleteRepair, DocumentSave };

class CRecoverThread {
public:
    // The engine is shared so that it lives at least as long as the job that works on it.
    CRecoverThread(platform::SharedState& state, AppFields& fields, std::shared_ptr<mdf::CRecoveryEngine> engine,
                   platform::IUserPrompts& prompts);
    // Waits for the thread: a running job is never abandoned. Destroy it after its WM_JOB_ENDED.
    ~CRecoverThread();
    CRecoverThread(const CRecoverThread&) = delete;
    CRecoverThread& operator=(const CRecoverThread&) = delete;

    std::u16string m_strDataFile;                   // the data file the starter handed over
    platform::IMessageSink* m_hOwnerWnd = nullptr;  // receives every message of the job
    int m_nTableIndex = 0;                          // table view: position in the engine's table list
    sharepoint::CheckItem* m_pTreeRoot = nullptr;   // document save: the check tree's root item
    // Document save: called on the job thread after each saved item was unchecked in the check tree.
    std::function<void(const sharepoint::CheckItem&)> m_onItemSaved;
    // Called before each stop check of this class with its running number from 1 (tests stop a job there).
    std::function<void(int)> m_beforeStopCheck;
    // Complete repair: the target-server steps for the engine (EngineRepairSteps unless a test sets others).
    std::function<RepairSteps(mdf::CRecoveryEngine&)> m_makeRepairSteps;

    // The id that the job's WM_JOB_ENDED and WM_TABLE_ROW carry in wParam; unique per object.
    std::uint64_t JobId() const { return m_nJobId; }
    // The job that Run would choose now.
    JobKind ChooseJob() const;

    // Runs Run on the object's own thread.
    void Start();
    // Waits until the thread has ended; nothing when none was started or it was joined already.
    void Join();
    // True once Run has posted its WM_JOB_ENDED and returned.
    bool HasEnded() const { return m_bEnded.load(); }
    // Started and not yet ended.
    bool IsRunning() const { return m_thread.joinable() && !m_bEnded.load(); }

    // The job, on the calling thread: picks it from the shared state, runs it and posts WM_JOB_ENDED once.
    int Run();

    // The rows and steps sent so far and not yet taken; the window calls it inside its WM_TABLE_ROW handler.
    RowBatch TakeRowBatch();

private:
    class JobSink;

    void RunScan();
    void RunTableView();
    void RunDocumentSave();
    void RunCompleteRepair();
    void RunRepairSteps();
    // Logs how the repair ended when it ended without its summary: the time and the reason, line by line.
    void LogRepairEnd(const std::u16string& reason);
    void RunRepairRoad(RepairSteps& steps);
    bool RunTableCopy(const RepairSteps& steps);  // false when the job was stopped
    std::u16string ShownTableName(const mdf::TableNode& table) const;  // as the log names it
    void ReportRepairEnd(const RepairSteps& steps);
    std::u16string RepairDatabaseName() const;
    bool StopCheck();
    void Send(unsigned message, platform::WPARAM wparam, platform::LPARAM lparam);
    void LogLine(const std::u16string& line);
    void LogCount(int text_id, std::int64_t count);
    void AddRow(std::vector<std::u16string> row);
    void AddProgressStep();
    void FlushRows(bool force);

    platform::SharedState& m_app;
    AppFields& m_fields;
    std::shared_ptr<mdf::CRecoveryEngine> m_pEngine;
    platform::IUserPrompts& m_prompts;
    std::unique_ptr<JobSink> m_sink;
    std::uint64_t m_nJobId;
    int m_nStopChecks = 0;
    bool m_bFirstRow = false;
    std::uint64_t m_nRowsCopied = 0;  // complete repair: rows written, all tables
    bool m_bRepairEndLogged = false;  // complete repair: its end is in the log already, or has nothing to say
    std::vector<TableRowOutcome> m_arrTableRows;  // complete repair: each table's rows, for the last look
    std::set<mdf::ObjectKind> m_setObjectPasses;  // complete repair: the stored-object passes that ran
    std::uint64_t m_nRowsSent = 0;    // rows handed to the window by this job

    RowBatch m_pending;  // job thread only
    std::mutex m_batchMutex;
    RowBatch m_sent;  // handed over, under m_batchMutex

    std::thread m_thread;
    std::atomic<bool> m_bEnded{false};
};

// The job's texts by string number, for the numbers the program's string table has no text for.
std::u16string JobText(int id);

}  // namespace app
