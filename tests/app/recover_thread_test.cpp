// The job thread against the recording sink: the scan of a real data file with its log and summary, the
// table view's rows in batches, the stop at every stop check (one job end, tagged, no result page after a
// stop), the document scan and save on the synthetic SharePoint database, and the thread's lifetime.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <filesystem>
#include <memory>
#include <optional>

#include "app/app_fields.h"
#include "app/log_text.h"
#include "app/recover_thread.h"
#include "app/result_lists.h"
#include "bench/bench_files.h"
#include "mdf/recovery_engine.h"
#include "platform/text.h"
#include "sharepoint/check_tree.h"
#include "tests/support/corpus.h"
#include "tests/support/descriptor_limit.h"
#include "tests/support/page_builder.h"
#include "tests/support/sha256.h"
#include "tests/support/sharepoint_builder.h"

namespace {

namespace fs = std::filesystem;
using platform::RecordedMessage;

// One application's worth of shared state, a recording window and the engine of one scan.
struct Jobs {
    platform::SharedState state;
    app::AppFields fields;
    platform::SilentPrompts prompts;
    platform::RecordingSink sink;
    std::shared_ptr<mdf::CRecoveryEngine> engine;
    app::CRecoverThread* current = nullptr;
    std::vector<app::RowBatch> batches;
    std::vector<std::u16string> log;

    explicit Jobs(const fs::path& file, bool document_mode = false) {
        state.m_strDataFilePath = platform::FromUtf8(file.string());
        state.m_bDocumentMode = document_mode;
        NewEngine();
        // The window's side of the sent messages: the log line is read and the row batch drained while the
        // job waits, as the dialog's handlers do.
        sink.on_send = [this](unsigned message, platform::WPARAM, platform::LPARAM) {
            if (message == platform::WM_LOG_LINE) log.push_back(state.m_strLogLine);
            if (message == platform::WM_TABLE_ROW && current) batches.push_back(current->TakeRowBatch());
        };
    }
    void NewEngine() {
        engine = std::make_shared<mdf::CRecoveryEngine>(state);
        engine->m_sleep = [](std::chrono::milliseconds) {};
    }
    std::unique_ptr<app::CRecoverThread> MakeJob() {
        auto job = std::make_unique<app::CRecoverThread>(state, fields, engine, prompts);
        job->m_hOwnerWnd = &sink;
        job->m_strDataFile = state.m_strDataFilePath;
        current = job.get();
        state.m_bStopJob = false;
        return job;
    }
    void Reset() {
        sink.Clear();
        batches.clear();
        log.clear();
    }
    bool Logged(const std::u16string& line) const { return std::find(log.begin(), log.end(), line) != log.end(); }
    std::size_t RowCount() const {
        std::size_t n = 0;
        for (const auto& b : batches) n += b.rows.size();
        return n;
    }
};

// Exactly one job end, posted, carrying the job's id, and nothing after it.
void ExpectOneJobEnd(const platform::RecordingSink& sink, const app::CRecoverThread& job) {
    const auto messages = sink.Messages();
    ASSERT_EQ(sink.Count(platform::WM_JOB_ENDED), 1u);
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back(), (RecordedMessage{platform::WM_JOB_ENDED, job.JobId(), 0, true}));
    EXPECT_TRUE(job.HasEnded());
}

fs::path CorpusFile(const char* name) { return *testsupport::CorpusDir() / name; }

std::size_t TableIndex(const mdf::CRecoveryEngine& engine, const std::u16string& suffix) {
    std::size_t i = 0;
    for (const auto& table : engine.m_lstTables) {
        if (table.m_pszName.size() >= suffix.size() &&
            table.m_pszName.compare(table.m_pszName.size() - suffix.size(), suffix.size(), suffix) == 0) {
            return i;
        }
        ++i;
    }
    return i;
}

TEST(ScanJob, ReadsTheCatalogueLogsTheSummaryAndBuildsTheResultPageOnce) {
    BM_REQUIRE_CORPUS();
    const fs::path file = CorpusFile("northwnd_sligo.mdf");
    Jobs jobs(file);
    auto job = jobs.MakeJob();
    EXPECT_EQ(job->ChooseJob(), app::JobKind::Scan);
    EXPECT_EQ(job->Run(), 0);

    ExpectOneJobEnd(jobs.sink, *job);
    EXPECT_EQ(jobs.sink.Count(platform::WM_SCAN_DONE), 1u);
    EXPECT_EQ(jobs.sink.Count(platform::WM_FILE_IN_USE), 0u);
    ASSERT_FALSE(jobs.engine->m_lstTables.empty());
    EXPECT_FALSE(jobs.state.m_bRowPreview.load());
    EXPECT_TRUE(jobs.Logged(u"File selected for repair  : " + platform::FromUtf8(file.string())));
    EXPECT_TRUE(jobs.Logged(u"Scanning file..."));
    EXPECT_TRUE(jobs.Logged(u"Total table(s) present  :  " + platform::FromUtf8(std::to_string(jobs.state.m_nTableCount))));
    // Every table with its live-row count; Orders as the independent reader counts it.
    for (const auto& table : jobs.engine->m_lstTables) {
        EXPECT_TRUE(jobs.Logged(table.m_pszName + u"  :  " + platform::FromUtf8(std::to_string(table.m_nRowCount)) +
                                u" Record(s)"))
            << platform::ToUtf8(table.m_pszName);
    }
    const std::size_t orders = TableIndex(*jobs.engine, u"Orders");
    ASSERT_LT(orders, jobs.engine->m_lstTables.size());
    EXPECT_EQ(std::next(jobs.engine->m_lstTables.begin(), static_cast<long>(orders))->m_nRowCount, 830u);
    // The counts close the summary; the procedure count is the number of the file's procedures.
    const std::int32_t procedures = jobs.state.m_nProcedureCount;
    EXPECT_TRUE(jobs.Logged(u"Total stored procedure(s) present  :  " + platform::FromUtf8(std::to_string(procedures))));
    EXPECT_EQ(jobs.log.back(), u"--------------------------------------------------------------");
    EXPECT_NE(jobs.state.m_strLogText.find(u"\r\n--------"), std::u16string::npos);
    // The result page comes after the dashes line of the header and before the per-table summary.
    const auto messages = jobs.sink.Messages();
    const auto scan_done = std::find_if(messages.begin(), messages.end(),
                                        [](const RecordedMessage& m) { return m.message == platform::WM_SCAN_DONE; });
    EXPECT_EQ(std::prev(scan_done)->message, platform::WM_JOB_PROGRESS);
    EXPECT_EQ(std::prev(scan_done)->wparam, platform::kProgressEnd);
}

TEST(ScanJob, TheProcedureCountShownIsTheNumberFound) {
    BM_REQUIRE_CORPUS();
    // The reader counts the file's own procedures only: nothing is taken off for the system's.
    Jobs jobs(CorpusFile("aspnetdb_tractis.mdf"));
    auto job = jobs.MakeJob();
    EXPECT_EQ(job->Run(), 0);
    EXPECT_EQ(jobs.state.m_nProcedureCount, 41);
    EXPECT_TRUE(jobs.Logged(u"Total stored procedure(s) present  :  41"));
}

TEST(ScanJob, AFileThatCannotBeOpenedEndsWithTheRightMessage) {
    testsupport::TempDir dir;
    const fs::path busy = dir / "busy.mdf";
    testsupport::FileBuilder{}.PageCount(2).WriteTo(busy);
    struct Case {
        const char* name;
        fs::path file;
        bool busy;  // the open fails for want of descriptors, the one passing cause a test can make
        std::u16string search_root;
        std::u16string text;
        std::u16string title;
        std::size_t file_in_use_messages;
    };
    const std::u16string cannot_open = u"The data file cannot be opened: ";
    const Case cases[] = {
        {"busy, no file chosen", busy, true, u"", u"Please select an appropriate MS SQL Database.", u"", 0},
        {"busy, held elsewhere", busy, true, u"held.mdf", u"",
         u"The file is being used by MS SQL Server.\n\n Please stop MS SQL Server and then try again.", 1},
        {"missing", dir / "missing.mdf", false, u"missing.mdf", u"No such file or directory",
         cannot_open + platform::FromUtf8((dir / "missing.mdf").string()), 1},
        {"directory", dir.Path(), false, u"", u"it is a directory", cannot_open + platform::FromUtf8(dir.Path().string()),
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Jobs jobs(c.file);
        jobs.state.m_strSearchRoot = c.search_root;
        // The message fields belong to the window's thread: the job hands the texts to the dialog's call.
        jobs.state.m_strMessageTitle = u"untouched title";
        jobs.state.m_strMessageText = u"untouched text";
        auto job = jobs.MakeJob();
        {
            std::optional<testsupport::DescriptorsUsedUp> no_descriptors;
            if (c.busy) no_descriptors.emplace();
            job->Run();
        }
        ExpectOneJobEnd(jobs.sink, *job);
        EXPECT_EQ(jobs.state.m_strMessageTitle, u"untouched title");
        EXPECT_EQ(jobs.state.m_strMessageText, u"untouched text");
        EXPECT_EQ(jobs.sink.Count(platform::WM_FILE_IN_USE), c.file_in_use_messages);
        EXPECT_EQ(jobs.sink.Count(platform::WM_SCAN_DONE), 0u);
        EXPECT_EQ(jobs.prompts.message_count, 1);
        EXPECT_EQ(jobs.prompts.last_text, c.text);
        EXPECT_EQ(jobs.prompts.last_title, c.title);
        EXPECT_TRUE(jobs.state.m_bFileInUse.load());
    }
}

TEST(ScanJob, AStopAtAnyStopCheckEndsTheJobOnceWithoutAResultPage) {
    BM_REQUIRE_CORPUS();
    {
        Jobs jobs(CorpusFile("northwnd_sligo.mdf"));
        int checks = 0;
        {
            auto job = jobs.MakeJob();
            job->m_beforeStopCheck = [&](int n) { checks = n; };
            job->Run();
            ExpectOneJobEnd(jobs.sink, *job);
        }
        ASSERT_GT(checks, 2);
        for (int k = 1; k <= checks; ++k) {
            SCOPED_TRACE(k);
            jobs.NewEngine();
            jobs.Reset();
            auto job = jobs.MakeJob();
            std::size_t messages_at_stop = 0;
            job->m_beforeStopCheck = [&](int n) {
                if (n != k) return;
                jobs.state.m_bStopJob = true;
                messages_at_stop = jobs.sink.Messages().size();
            };
            job->Run();
            ExpectOneJobEnd(jobs.sink, *job);
            const auto messages = jobs.sink.Messages();
            for (std::size_t i = messages_at_stop; i < messages.size(); ++i) {
                EXPECT_NE(messages[i].message, platform::WM_SCAN_DONE);
                EXPECT_NE(messages[i].message, platform::WM_LOG_LINE);
            }
        }
    }
}

TEST(ScanJob, ADocumentScanOfAFileWithoutSharePointTablesEndsOnce) {
    BM_REQUIRE_CORPUS();
    Jobs jobs(CorpusFile("northwnd_sligo.mdf"), true);
    auto job = jobs.MakeJob();
    job->Run();
    ExpectOneJobEnd(jobs.sink, *job);
    if (jobs.engine->m_lstTables.empty()) {
        EXPECT_EQ(jobs.sink.Count(platform::WM_SCAN_DONE), 0u);
    } else {
        EXPECT_EQ(jobs.sink.Count(platform::WM_SCAN_DONE), 1u);
        EXPECT_TRUE(jobs.engine->m_lstWebs.empty() || jobs.engine->m_lstWebs.front()->m_lstSubWebs.empty());
    }
}

TEST(TableViewJob, SendsEveryRowOfOrdersInBatchesWithItsProgress) {
    BM_REQUIRE_CORPUS();
    Jobs jobs(CorpusFile("northwnd_sligo.mdf"));
    jobs.MakeJob()->Run();
    const std::size_t orders = TableIndex(*jobs.engine, u"Orders");
    ASSERT_LT(orders, jobs.engine->m_lstTables.size());

    jobs.Reset();
    auto job = jobs.MakeJob();
    job->m_nTableIndex = static_cast<int>(orders);
    jobs.state.m_bRowPreview = false;  // the scan left it clear; the job sets it for the view
    EXPECT_EQ(job->ChooseJob(), app::JobKind::TableView);
    job->Run();
    ExpectOneJobEnd(jobs.sink, *job);
    EXPECT_TRUE(jobs.state.m_bRowPreview.load());

    EXPECT_EQ(jobs.RowCount(), 830u);
    // 830 rows in batches of 256: four round trips, not 830.
    EXPECT_EQ(jobs.sink.Count(platform::WM_TABLE_ROW), 4u);
    ASSERT_EQ(jobs.batches.size(), 4u);
    EXPECT_TRUE(jobs.batches[0].first);
    std::uint32_t steps = 0;
    for (std::size_t i = 0; i < jobs.batches.size(); ++i) {
        if (i > 0) {
            EXPECT_FALSE(jobs.batches[i].first);
        }
        steps += jobs.batches[i].progress_steps;
        for (const auto& row : jobs.batches[i].rows) EXPECT_EQ(row.size(), 14u);
    }
    EXPECT_EQ(steps, 830u);
    const auto messages = jobs.sink.Messages();
    EXPECT_EQ(messages.front(), (RecordedMessage{platform::WM_JOB_PROGRESS, platform::kProgressStart, 830, false}));
    EXPECT_EQ(messages[messages.size() - 2], (RecordedMessage{platform::WM_JOB_PROGRESS, platform::kProgressEnd, 0, false}));
    for (const auto& m : messages) {
        if (m.message == platform::WM_TABLE_ROW) {
            EXPECT_EQ(m.wparam, job->JobId());
        }
    }
    // The first cell of every row is the order id: 830 different ids.
    std::vector<std::u16string> ids;
    for (const auto& b : jobs.batches) {
        for (const auto& row : b.rows) ids.push_back(row[0]);
    }
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(std::unique(ids.begin(), ids.end()), ids.end());
}

// A badly damaged file (a generated file cut to a third: thousands of its tables' pages lie beyond its end) lists
// its missing pages in the log as runs, tens of lines. Stop asked for at the first of them ends the scan there:
// the job's end follows within two messages, with no further listed line and no result page.
TEST(ScanJob, StopDuringTheListingOfMissingPagesEndsTheScanAtOnce) {
    testsupport::TempDir dir;
    const fs::path file = dir / "cut.mdf";
    benchfiles::WriteLargeFile(file, 48);
    fs::resize_file(file, 16 * 1024 * 1024);
    auto listed = [](const std::u16string& line) {
        return line.rfind(u"Missing page", 0) == 0 || line.rfind(u"Damaged page", 0) == 0;
    };
    {
        Jobs whole(file);
        whole.MakeJob()->Run();
        ASSERT_GE(std::count_if(whole.log.begin(), whole.log.end(), listed), 10)
            << "the listing is too short to show where a stop lands";
    }

    Jobs jobs(file);
    std::size_t stop_at = 0;
    jobs.sink.on_send = [&](unsigned message, platform::WPARAM, platform::LPARAM) {
        if (message != platform::WM_LOG_LINE) return;
        jobs.log.push_back(jobs.state.m_strLogLine);
        if (stop_at == 0 && listed(jobs.state.m_strLogLine)) {
            stop_at = jobs.sink.Messages().size();
            jobs.state.m_bStopJob = true;
        }
    };
    auto job = jobs.MakeJob();
    job->Run();
    ASSERT_NE(stop_at, 0u);
    ExpectOneJobEnd(jobs.sink, *job);
    EXPECT_LE(jobs.sink.Messages().size(), stop_at + 2);
    EXPECT_EQ(std::count_if(jobs.log.begin(), jobs.log.end(), listed), 1);
    EXPECT_EQ(jobs.sink.Count(platform::WM_SCAN_DONE), 0u);
}

TEST(TableViewJob, ALargeTableGrowsItsBatchesSoItCostsFewRoundTrips) {
    // About 115,000 rows of Orders: batches of 256 throughout would be 450 round trips to the window.
    testsupport::TempDir dir;
    const fs::path file = dir / "large.mdf";
    std::uint64_t orders_rows = 0;
    for (const auto& t : benchfiles::WriteLargeFile(file, 16)) {
        if (t.name == "Orders") orders_rows = t.rows;
    }
    ASSERT_GT(orders_rows, 100000u);
    Jobs jobs(file);
    jobs.MakeJob()->Run();
    const std::size_t orders = TableIndex(*jobs.engine, u"Orders");
    ASSERT_LT(orders, jobs.engine->m_lstTables.size());

    jobs.Reset();
    auto job = jobs.MakeJob();
    job->m_nTableIndex = static_cast<int>(orders);
    job->Run();
    ExpectOneJobEnd(jobs.sink, *job);
    ASSERT_EQ(jobs.RowCount(), orders_rows);
    EXPECT_LT(jobs.batches.size(), orders_rows / app::kRowBatchSize / 4);
    // The first rows come in small batches, none is larger than the largest, and the rows stay in order.
    ASSERT_GE(jobs.batches.size(), 2u);
    EXPECT_EQ(jobs.batches[0].rows.size(), app::kRowBatchSize);
    std::uint64_t next = 1;
    std::uint64_t steps = 0;
    for (const auto& batch : jobs.batches) {
        EXPECT_LE(batch.rows.size(), app::kLargestRowBatch);
        steps += batch.progress_steps;
        for (const auto& row : batch.rows) {
            ASSERT_EQ(row[0], platform::FromUtf8(std::to_string(next))) << "row " << next;
            ++next;
        }
    }
    EXPECT_EQ(steps, orders_rows);
}

TEST(TableViewJob, AStopAtAnyStopCheckEndsTheViewOnceAndKeepsTheRowsBeforeIt) {
    BM_REQUIRE_CORPUS();
    Jobs jobs(CorpusFile("northwnd_sligo.mdf"));
    jobs.MakeJob()->Run();
    // A small table is stopped at every check; Orders at a sample of its checks.
    for (const char16_t* name : {u"Shippers", u"Orders"}) {
        const std::size_t index = TableIndex(*jobs.engine, name);
        ASSERT_LT(index, jobs.engine->m_lstTables.size());
        int checks = 0;
        {
            auto job = jobs.MakeJob();
            job->m_nTableIndex = static_cast<int>(index);
            job->m_beforeStopCheck = [&](int n) { checks = n; };
            job->Run();
        }
        const int stride = checks > 200 ? 97 : 1;
        for (int k = 1; k <= checks; k += stride) {
            SCOPED_TRACE(k);
            jobs.Reset();
            auto job = jobs.MakeJob();
            job->m_nTableIndex = static_cast<int>(index);
            std::size_t rows_at_stop = 0;
            job->m_beforeStopCheck = [&](int n) {
                if (n == k) jobs.state.m_bStopJob = true;
            };
            job->Run();
            ExpectOneJobEnd(jobs.sink, *job);
            rows_at_stop = jobs.RowCount();
            // Never more rows than checks passed (two checks per row), and the end-of-pass progress only
            // when the view ran to its end.
            EXPECT_LE(rows_at_stop, static_cast<std::size_t>(k));
            EXPECT_EQ(jobs.sink.Count(platform::WM_JOB_PROGRESS), 0u + (k > static_cast<int>(index) + 1 ? 1u : 0u));
        }
    }
}

TEST(TableViewJob, AnIndexOutsideTheTableListEndsTheJobWithoutRows) {
    BM_REQUIRE_CORPUS();
    Jobs jobs(CorpusFile("northwnd_sligo.mdf"));
    jobs.MakeJob()->Run();
    for (const int index : {-1, static_cast<int>(jobs.engine->m_lstTables.size())}) {
        jobs.Reset();
        auto job = jobs.MakeJob();
        job->m_nTableIndex = index;
        job->Run();
        ExpectOneJobEnd(jobs.sink, *job);
        EXPECT_EQ(jobs.sink.Messages().size(), 1u);
    }
}

class DocumentJobs : public ::testing::Test {
protected:
    void SetUp() override {
        database_ = std::make_unique<testsupport::sharepoint::ContentDatabase>(
            testsupport::sharepoint::ContentDatabase::Sample(testsupport::sharepoint::Generation::Sp2010VarBinary));
        database_->Build().WriteTo(dir_ / "content.mdf");
        jobs_ = std::make_unique<Jobs>(dir_ / "content.mdf", true);
    }
    // A document save of tree into folder out, as Repair starts it after the folder was chosen.
    std::unique_ptr<app::CRecoverThread> SaveJob(sharepoint::CheckItem* tree, const fs::path& out) {
        jobs_->Reset();
        jobs_->state.m_bRepairRequested = true;
        jobs_->prompts.folder_answer = platform::FromUtf8(out.string());
        auto job = jobs_->MakeJob();
        job->m_pTreeRoot = tree;
        return job;
    }
    // The scan; true when it built the document tree.
    bool Scan() {
        auto job = jobs_->MakeJob();
        job->Run();
        return jobs_->sink.Count(platform::WM_SCAN_DONE) == 1 && !jobs_->engine->m_lstWebs.empty();
    }
    std::vector<std::string> WrittenFiles(const fs::path& folder) const {
        std::vector<std::string> written;
        for (const auto& entry : fs::recursive_directory_iterator(folder)) {
            if (!entry.is_regular_file()) continue;
            written.push_back(fs::relative(entry.path(), folder).string() + "\t" +
                              testsupport::Sha256OfFile(entry.path()));
        }
        std::sort(written.begin(), written.end());
        return written;
    }

    testsupport::TempDir dir_;
    std::unique_ptr<testsupport::sharepoint::ContentDatabase> database_;
    std::unique_ptr<Jobs> jobs_;
};

sharepoint::CheckItem* FindItem(sharepoint::CheckItem& item, const std::u16string& label) {
    if (item.label == label) return &item;
    for (auto& child : item.children) {
        if (auto* found = FindItem(*child, label)) return found;
    }
    return nullptr;
}

TEST_F(DocumentJobs, TheScanCapturesTheSitesAndAStopAtAnyCheckEndsItOnce) {
    ASSERT_TRUE(Scan());
    int checks = 0;
    jobs_->NewEngine();
    jobs_->Reset();
    {
        auto job = jobs_->MakeJob();
        job->m_beforeStopCheck = [&](int n) { checks = n; };
        job->Run();
    }
    // Progress steps of the record pass ride in row batches that carry no rows.
    for (const auto& batch : jobs_->batches) EXPECT_TRUE(batch.rows.empty());
    // The record pass announces the records of all its tables, so its steps fill the bar once, not many times.
    std::uint64_t steps = 0;
    for (const auto& batch : jobs_->batches) steps += batch.progress_steps;
    const auto messages = jobs_->sink.Messages();
    const auto first_rows = std::find_if(messages.begin(), messages.end(),
                                         [](const RecordedMessage& m) { return m.message == platform::WM_TABLE_ROW; });
    ASSERT_NE(first_rows, messages.end());
    const auto start = std::find_if(std::make_reverse_iterator(first_rows), messages.rend(), [](const RecordedMessage& m) {
        return m.message == platform::WM_JOB_PROGRESS && m.wparam == platform::kProgressStart;
    });
    ASSERT_NE(start, messages.rend());
    EXPECT_EQ(static_cast<std::uint64_t>(start->lparam), steps);
    for (int k = 1; k <= checks; ++k) {
        SCOPED_TRACE(k);
        jobs_->NewEngine();
        jobs_->Reset();
        auto job = jobs_->MakeJob();
        job->m_beforeStopCheck = [&](int n) {
            if (n == k) jobs_->state.m_bStopJob = true;
        };
        job->Run();
        ExpectOneJobEnd(jobs_->sink, *job);
        EXPECT_EQ(jobs_->sink.Count(platform::WM_SCAN_DONE), 0u);
    }
}

TEST_F(DocumentJobs, TheSaveWritesTheCheckedItemsIntoANewFolderAndUnchecksThem) {
    ASSERT_TRUE(Scan());
    auto tree = sharepoint::BuildDocumentCheckTree(jobs_->state.m_strDataFilePath, jobs_->engine->m_lstWebs);
    sharepoint::CheckItem* old_list = FindItem(*tree, u"Old");
    ASSERT_NE(old_list, nullptr);
    app::ToggleCheck(*old_list);  // the only list of the site Archive: the site is unchecked with it
    EXPECT_EQ(old_list->parent->state, sharepoint::kUnchecked);
    EXPECT_EQ(tree->state, sharepoint::kPartlyChecked);

    const fs::path out = dir_ / "chosen";
    fs::create_directory(out);
    std::vector<std::vector<fs::path>> folders;
    for (int save = 0; save < 2; ++save) {
        auto job = SaveJob(tree.get(), out);
        std::vector<std::u16string> saved;
        job->m_onItemSaved = [&](const sharepoint::CheckItem& item) { saved.push_back(item.label); };
        EXPECT_EQ(job->ChooseJob(), app::JobKind::DocumentSave);
        job->Run();
        ExpectOneJobEnd(jobs_->sink, *job);
        EXPECT_TRUE(jobs_->fields.m_bJobCompleted.exchange(false));
        ASSERT_FALSE(jobs_->log.empty());
        EXPECT_EQ(jobs_->log.front().rfind(u"Repair process started on ", 0), 0u);
        EXPECT_EQ(jobs_->log[jobs_->log.size() - 2].rfind(u"Repair process completed on ", 0), 0u);
        if (save == 0) {
            EXPECT_EQ(saved, std::vector<std::u16string>{u"Team|Site"});
            EXPECT_EQ(tree->state, sharepoint::kUnchecked);
            for (auto* item : {FindItem(*tree, u"Team|Site"), FindItem(*tree, u"Отдел продаж"), FindItem(*tree, u"Q1")}) {
                ASSERT_NE(item, nullptr);
                EXPECT_EQ(item->state, sharepoint::kUnchecked);
            }
        } else {
            EXPECT_TRUE(saved.empty());  // nothing was checked any more: the lines and the end still come
        }
        folders.emplace_back();
        for (const auto& entry : fs::directory_iterator(out)) folders.back().push_back(entry.path());
    }

    // Two saves, two folders, both named "Recoverd " with the date.
    ASSERT_EQ(folders[1].size(), 2u);
    const fs::path first = folders[0].at(0);
    EXPECT_EQ(first.filename().string().rfind("Recoverd 20", 0), 0u) << first;
    std::vector<std::string> expected;
    for (const auto& line : database_->Manifest()) {
        if (line.path.rfind("Archive/", 0) == 0) continue;
        expected.push_back(line.path + "\t" + line.sha256);
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(WrittenFiles(first), expected);
    const fs::path second = folders[1][0] == first ? folders[1][1] : folders[1][0];
    EXPECT_TRUE(WrittenFiles(second).empty());
}

// A save whose output folder cannot be held open writes nothing: the end says how many items were not
// written, and no success text follows.
TEST_F(DocumentJobs, ASaveThatWritesNothingCountsWhatWasNotWrittenAndClaimsNoSuccess) {
    ASSERT_TRUE(Scan());
    auto tree = sharepoint::BuildDocumentCheckTree(jobs_->state.m_strDataFilePath, jobs_->engine->m_lstWebs);
    const fs::path out = dir_ / "chosen";
    fs::create_directory(out);
    auto job = SaveJob(tree.get(), out);
    {
        testsupport::DescriptorsUsedUp no_descriptors;
        job->Run();
    }
    ExpectOneJobEnd(jobs_->sink, *job);
    EXPECT_FALSE(jobs_->fields.m_bJobCompleted.load());
    EXPECT_EQ(jobs_->state.m_nRecoveredCount.load(), 0u);
    const std::uint64_t failures = jobs_->engine->m_nSaveFailures;
    ASSERT_GT(failures, 0u);
    const std::u16string count =
        platform::FromUtf8(std::to_string(failures)) + u" item(s) could not be written; the log names each one with the reason.";
    EXPECT_TRUE(jobs_->Logged(count));
    EXPECT_EQ(jobs_->prompts.last_text, count);
    EXPECT_EQ(jobs_->prompts.last_title, u"The recovery process did not write everything.");
    for (const auto& line : jobs_->log) EXPECT_EQ(line.find(u"Repaired successfully"), std::u16string::npos);
    EXPECT_TRUE(std::any_of(jobs_->log.begin(), jobs_->log.end(), [](const std::u16string& line) {
        return line.find(u"(Too many open files)") != std::u16string::npos;
    }));
    ASSERT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator{}), 1);
    EXPECT_TRUE(WrittenFiles(fs::directory_iterator(out)->path()).empty());
}

// The save reads what the file lost of the tables its documents come from: every document found is written,
// but a documents table the file lost part of is named and the save claims no success.
TEST_F(DocumentJobs, ASaveFromATableTheFileLostPartOfNamesItAndClaimsNoSuccess) {
    ASSERT_TRUE(Scan());
    auto docs = std::find_if(jobs_->engine->m_lstTables.begin(), jobs_->engine->m_lstTables.end(),
                             [](const mdf::TableNode& table) { return table.m_pszName == u"dbo.AllDocs"; });
    ASSERT_NE(docs, jobs_->engine->m_lstTables.end());
    docs->m_losses.damaged_pages = 1;
    auto tree = sharepoint::BuildDocumentCheckTree(jobs_->state.m_strDataFilePath, jobs_->engine->m_lstWebs);
    const fs::path out = dir_ / "chosen";
    fs::create_directory(out);
    auto job = SaveJob(tree.get(), out);
    job->Run();
    ExpectOneJobEnd(jobs_->sink, *job);
    EXPECT_FALSE(jobs_->fields.m_bJobCompleted.load());
    const std::u16string named = u"Documents may be missing: the data file lost part of the table(s) dbo.AllDocs";
    EXPECT_TRUE(jobs_->Logged(named));
    EXPECT_EQ(jobs_->prompts.last_text, named);
    EXPECT_EQ(WrittenFiles(fs::directory_iterator(out)->path()).size(), database_->Manifest().size());
}

// A stop while a site is being written: the site keeps its check (partly: its sub-site's list saved whole
// before the stop is unchecked), neither the save nor the list it cut is called complete or repaired, and the
// log ends with the stop and the documents it left unsaved out of all that were checked, then the dashes that
// close a save (the application's copy of the log takes a line only when the next one comes).
TEST_F(DocumentJobs, AStopDuringTheSaveEndsTheLogWithTheDocumentsNotSaved) {
    ASSERT_TRUE(Scan());
    auto tree = sharepoint::BuildDocumentCheckTree(jobs_->state.m_strDataFilePath, jobs_->engine->m_lstWebs);
    const fs::path out = dir_ / "chosen";
    fs::create_directory(out);
    auto job = SaveJob(tree.get(), out);
    const auto window = jobs_->sink.on_send;
    int counted = 0;
    jobs_->sink.on_send = [&](unsigned message, platform::WPARAM wparam, platform::LPARAM lparam) {
        window(message, wparam, lparam);
        if (message == platform::WM_RECORD_COUNT && ++counted == 3) jobs_->state.m_bStopJob = true;
    };
    job->Run();
    jobs_->sink.on_send = window;
    ExpectOneJobEnd(jobs_->sink, *job);
    EXPECT_FALSE(jobs_->fields.m_bJobCompleted.load());
    EXPECT_EQ(jobs_->state.m_nRecoveredCount.load(), 3u);
    const std::size_t documents = database_->Manifest().size();
    ASSERT_GE(jobs_->log.size(), 2u);
    EXPECT_EQ(jobs_->log[jobs_->log.size() - 2],
              u"Stopped by the user: " + platform::FromUtf8(std::to_string(documents - 3)) + u" of " +
                  platform::FromUtf8(std::to_string(documents)) +
                  u" document(s) not saved; the items not saved stay checked.");
    EXPECT_EQ(jobs_->log.back(), std::u16string(62, u'-'));
    const std::u16string copy = app::GetLogText(jobs_->state);
    EXPECT_EQ(copy.substr(copy.size() - 64), u"\r\n" + std::u16string(62, u'-'));
    // The sub-site's list was written whole before the stop; the list the stop cut and its site were not.
    EXPECT_TRUE(jobs_->Logged(u"  Документы:Repaired successfully"));
    EXPECT_FALSE(jobs_->Logged(u"  Shared Documents:Repaired successfully"));
    EXPECT_FALSE(jobs_->Logged(u"  Team|Site:Repaired successfully"));
    for (const auto& line : jobs_->log) EXPECT_NE(line.rfind(u"Repair process completed on ", 0), 0u);
    EXPECT_EQ(FindItem(*tree, u"Документы")->state, sharepoint::kUnchecked);
    EXPECT_EQ(FindItem(*tree, u"Shared Documents")->state, sharepoint::kChecked);
    EXPECT_EQ(FindItem(*tree, u"Team|Site")->state, sharepoint::kPartlyChecked);
}

// The save adds its site lines to the application's copy of the log only under the log's lock (the window's
// thread writes that copy too): while another thread holds the lock, the save waits at that append.
TEST_F(DocumentJobs, TheSaveAddsToTheLogCopyOnlyUnderItsLock) {
    ASSERT_TRUE(Scan());
    auto tree = sharepoint::BuildDocumentCheckTree(jobs_->state.m_strDataFilePath, jobs_->engine->m_lstWebs);
    const fs::path out = dir_ / "locked";
    fs::create_directory(out);
    auto job = SaveJob(tree.get(), out);

    std::mutex m;
    std::condition_variable changed;
    bool site_line_seen = false, lock_taken = false, moved_on = false;
    bool after_site = false;
    std::u16string kept_line;
    jobs_->sink.on_send = [&](unsigned message, platform::WPARAM, platform::LPARAM) {
        if (message != platform::WM_LOG_LINE) return;
        const std::u16string line = jobs_->state.m_strLogLine;
        std::unique_lock lock(m);
        if (site_line_seen) {
            moved_on = true;
            changed.notify_all();
            return;
        }
        if (line.rfind(u"Repairing Site....", 0) == 0) {
            after_site = true;
        } else if (after_site) {
            // The line after the site's title; the save adds both to the log copy next.
            site_line_seen = true;
            kept_line = line;
            changed.notify_all();
            changed.wait(lock, [&] { return lock_taken; });
        }
    };
    std::thread runner([&] { job->Run(); });
    {
        std::unique_lock lock(m);
        ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(30), [&] { return site_line_seen; }));
    }
    {
        std::lock_guard log_lock(jobs_->state.m_logTextMutex);
        const std::u16string before = jobs_->state.m_strLogText;
        std::unique_lock lock(m);
        lock_taken = true;
        changed.notify_all();
        // A save that ignored the lock would go on to its next line at once.
        EXPECT_FALSE(changed.wait_for(lock, std::chrono::seconds(2), [&] { return moved_on; }))
            << "the save went past the log copy's lock";
        EXPECT_EQ(jobs_->state.m_strLogText, before);
    }
    runner.join();
    ExpectOneJobEnd(jobs_->sink, *job);
    // Once the lock was free the line went in.
    EXPECT_NE(app::GetLogText(jobs_->state).find(kept_line + u"\r\n"), std::u16string::npos);
}

TEST_F(DocumentJobs, ACancelledFolderPickerEndsTheSaveWithoutWriting) {
    ASSERT_TRUE(Scan());
    auto tree = sharepoint::BuildDocumentCheckTree(jobs_->state.m_strDataFilePath, jobs_->engine->m_lstWebs);
    jobs_->Reset();
    jobs_->state.m_bRepairRequested = true;
    jobs_->prompts.folder_answer.clear();
    auto job = jobs_->MakeJob();
    job->m_pTreeRoot = tree.get();
    job->Run();
    ExpectOneJobEnd(jobs_->sink, *job);
    EXPECT_EQ(jobs_->prompts.folder_picker_count, 1);
    EXPECT_FALSE(jobs_->fields.m_bJobCompleted.load());
    EXPECT_TRUE(jobs_->state.m_strOutputFolder.empty());
    EXPECT_EQ(tree->state, sharepoint::kChecked);
    EXPECT_EQ(jobs_->sink.Messages().size(), 1u);
}

TEST(RecoverThread, RunsOnItsOwnThreadAndKeepsItsEngineAliveUntilItEnds) {
    BM_REQUIRE_CORPUS();
    Jobs jobs(CorpusFile("northwnd_sligo.mdf"));
    auto job = jobs.MakeJob();
    std::weak_ptr<mdf::CRecoveryEngine> watch = jobs.engine;
    jobs.engine.reset();  // the window replaced its engine while the job runs on the old one
    job->Start();
    job->Join();
    ExpectOneJobEnd(jobs.sink, *job);
    EXPECT_EQ(jobs.sink.Count(platform::WM_SCAN_DONE), 1u);
    EXPECT_FALSE(watch.expired());  // still held by the job object
    job.reset();
    EXPECT_TRUE(watch.expired());
}

TEST(TableViewJob, ATableWithoutDataPagesGivesProgressStartAndEndAndNoRows) {
    platform::SharedState state;
    app::AppFields fields;
    platform::SilentPrompts prompts;
    platform::RecordingSink sink;
    auto engine = std::make_shared<mdf::CRecoveryEngine>(state);
    engine->AddTable().m_pszName = u"dbo.Empty";
    app::CRecoverThread job(state, fields, engine, prompts);
    job.m_hOwnerWnd = &sink;
    job.Run();
    using M = RecordedMessage;
    EXPECT_EQ(sink.Messages(), (std::vector<M>{{platform::WM_JOB_PROGRESS, platform::kProgressStart, 0, false},
                                               {platform::WM_JOB_PROGRESS, platform::kProgressEnd, 0, false},
                                               {platform::WM_JOB_ENDED, job.JobId(), 0, true}}));
}

TEST(RecoverThread, EveryJobHasItsOwnIdAndTheRepairBranchEndsCleanly) {
    platform::SharedState state;
    app::AppFields fields;
    platform::SilentPrompts prompts;
    platform::RecordingSink sink;
    auto engine = std::make_shared<mdf::CRecoveryEngine>(state);
    engine->AddTable().m_pszName = u"dbo.T";
    state.m_bRepairRequested = true;
    app::CRecoverThread a(state, fields, engine, prompts);
    app::CRecoverThread b(state, fields, engine, prompts);
    EXPECT_NE(a.JobId(), b.JobId());
    a.m_hOwnerWnd = &sink;
    EXPECT_EQ(a.ChooseJob(), app::JobKind::CompleteRepair);
    a.Run();
    ExpectOneJobEnd(sink, a);
    EXPECT_EQ(sink.Messages().size(), 1u);
}

}  // namespace
