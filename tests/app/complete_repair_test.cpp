// The complete repair job on a real data file against a recording server: the questions it asks, its order of
// steps and log lines, the end it reports (completion only when nothing was refused), and a stop at every
// stop check (no completion, the connection closed once, one job end).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <fstream>
#include <memory>
#include <type_traits>

#include "app/app_fields.h"
#include "app/recover_thread.h"
#include "mdf/recovery_engine.h"
#include "platform/recording_sql_backend.h"
#include "platform/sql_connection.h"
#include "platform/text.h"
#include "tests/support/corpus.h"
#include "tests/support/page_builder.h"
#include "tests/support/sql2000_builder.h"

namespace {

namespace fs = std::filesystem;

struct Repair {
    platform::SharedState state;
    app::AppFields fields;
    platform::SilentPrompts prompts;
    platform::RecordingSink sink;
    std::shared_ptr<mdf::CRecoveryEngine> engine;
    std::shared_ptr<platform::RecordingSqlBackend> server = std::make_shared<platform::RecordingSqlBackend>();
    testsupport::TempDir failures;
    std::vector<std::u16string> log;
    std::vector<std::string> steps_run;
    int closes = 0;
    bool database_made = true;
    bool tables_made = true;
    // Run by the database step when it fails: what the engine leaves behind.
    std::function<void(mdf::CRecoveryEngine&)> on_database_failure;
    std::function<void()> after_indexes;  // run by the index step, just before the stored objects

    explicit Repair(const char* corpus_file) : Repair(*testsupport::CorpusDir() / corpus_file) {}
    explicit Repair(const fs::path& data_file) {
        state.m_strDataFilePath = platform::FromUtf8(data_file.string());
        engine = std::make_shared<mdf::CRecoveryEngine>(state);
        engine->m_sleep = [](std::chrono::milliseconds) {};
        sink.on_send = [this](unsigned message, platform::WPARAM, platform::LPARAM) {
            if (message == platform::WM_LOG_LINE) log.push_back(state.m_strLogLine);
        };
        auto scan = Job();
        scan->Run();
        for (const auto& table : engine->m_lstTables) fields.m_arrSelectedTables.push_back(table.m_pszName);
        prompts.edition_answer = false;
        platform::ServerChoice choice;
        choice.server = u"db.example\\SQL,1433";
        choice.failure_folder = platform::FromUtf8(failures.Path().string());
        prompts.server_answer = choice;
        log.clear();
        sink.Clear();
    }

    std::unique_ptr<app::CRecoverThread> Job() {
        auto job = std::make_unique<app::CRecoverThread>(state, fields, engine, prompts);
        job->m_hOwnerWnd = &sink;
        job->m_strDataFile = state.m_strDataFilePath;
        job->m_makeRepairSteps = [this](mdf::CRecoveryEngine& e) {
            app::RepairSteps steps;
            auto note = [this](const char* name) { return [this, name] { steps_run.push_back(name); }; };
            steps.create_database = [this, &e] {
                steps_run.push_back("database");
                if (!database_made) {
                    if (on_database_failure) on_database_failure(e);
                    return false;
                }
                e.m_pConnection = std::make_shared<platform::Connection>(server);
                e.m_pConnection->Open(u"target");
                state.m_strContentDbName = e.m_bEmbeddedEdition ? e.m_strEmbeddedDatabase : u"Recovered_pubs";
                if (!e.m_bEmbeddedEdition) e.m_strCreatedDatabase = u"Recovered_pubs";
                return true;
            };
            steps.script_schemas = note("schemas");
            steps.script_types = note("types");
            steps.script_tables = [this] {
                steps_run.push_back("tables");
                return tables_made;
            };
            steps.script_indexes = [this] {
                steps_run.push_back("indexes");
                if (after_indexes) after_indexes();
            };
            steps.script_statistics = note("statistics");
            steps.script_checks = note("checks");
            steps.script_foreign_keys = note("foreign keys");
            steps.run_deferred = note("deferred");
            steps.close_connection = [this, &e] {
                ++closes;
                if (!e.m_pConnection || !e.m_pConnection->IsOpen()) return false;
                e.m_pConnection->Close();
                return true;
            };
            return steps;
        };
        return job;
    }

    // Runs a repair; the stop flag is set before stop check number stop_at (0: never).
    std::unique_ptr<app::CRecoverThread> RunRepair(int stop_at = 0) {
        state.m_bRepairRequested = true;
        state.m_bStopJob = false;
        fields.m_bJobCompleted = false;
        auto job = Job();
        if (stop_at > 0) {
            job->m_beforeStopCheck = [this, stop_at](int n) {
                if (n == stop_at) state.m_bStopJob = true;
            };
        }
        job->Run();
        return job;
    }

    std::size_t IndexOf(const std::u16string& prefix) const {
        for (std::size_t i = 0; i < log.size(); ++i) {
            if (log[i].rfind(prefix, 0) == 0) return i;
        }
        return log.size();
    }
    std::size_t Sent(const std::u16string& part) const {
        std::size_t n = 0;
        for (const auto& s : server->m_executed) n += s.m_strText.find(part) != std::u16string::npos;
        return n;
    }
};

TEST(CompleteRepair, AllAcceptedEndsCompletedInOrder) {
    BM_REQUIRE_CORPUS();
    Repair r("pubs_sligo.mdf");
    const auto job = r.RunRepair();
    EXPECT_TRUE(r.fields.m_bJobCompleted);
    EXPECT_EQ(r.prompts.message_count, 0);
    EXPECT_EQ(r.closes, 1);
    EXPECT_EQ(r.sink.Count(platform::WM_JOB_ENDED), 1u);
    EXPECT_EQ(r.steps_run, (std::vector<std::string>{"database", "schemas", "types", "tables", "indexes", "statistics",
                                                      "checks", "foreign keys", "deferred"}));
    // Log order: start, tables, objects, summary, end.
    const std::size_t start = r.IndexOf(u"Repair process started on ");
    const std::size_t first_table = r.IndexOf(u"Repairing Table.....[dbo].[");
    const std::size_t views = r.IndexOf(u"Repairing Views");
    const std::size_t trigger = r.IndexOf(u"Repairing Trigger");
    const std::size_t summary = r.IndexOf(u"Rows  :  ");
    const std::size_t end = r.IndexOf(u"Repair process completed on ");
    EXPECT_LT(start, first_table);
    EXPECT_LT(first_table, views);
    EXPECT_LT(views, trigger);
    EXPECT_LT(trigger, summary);
    EXPECT_LT(summary, end);
    EXPECT_LT(end, r.log.size());
    EXPECT_EQ(r.log[r.IndexOf(u"Views  :  ")], u"Views  :  1 created, 0 refused");
    EXPECT_EQ(r.log[r.IndexOf(u"Triggers  :  ")], u"Triggers  :  1 created, 0 refused");
    EXPECT_EQ(r.log[r.IndexOf(u"Stored procedures  :  ")], u"Stored procedures  :  4 created, 0 refused");
    // What no repair carries over is said once, before the end.
    std::size_t not_carried = 0;
    for (const auto& line : r.log) not_carried += line.rfind(u"Not carried over by a repair", 0) == 0;
    EXPECT_EQ(not_carried, 1u);
    const std::size_t said = r.IndexOf(u"Not carried over by a repair");
    EXPECT_LT(summary, said);
    EXPECT_LT(said, end);
    for (const char16_t* part : {u"users, roles and permissions", u"extended properties", u"full-text indexes",
                                 u"filegroups and partitioning", u"compression", u"identity counters"}) {
        EXPECT_NE(r.log[said].find(part), std::u16string::npos) << platform::ToUtf8(part);
    }
    // Every object once; triggers after every row.
    EXPECT_EQ(r.Sent(u"CREATE VIEW"), 1u);
    std::size_t last_insert = 0, first_trigger = 0;
    for (std::size_t i = 0; i < r.server->m_executed.size(); ++i) {
        const auto& text = r.server->m_executed[i].m_strText;
        if (platform::ToLower(text.substr(0, 7)) == u"insert ") last_insert = i;
        if (first_trigger == 0 && text.find(u"CREATE TRIGGER") != std::u16string::npos) first_trigger = i;
    }
    EXPECT_GT(last_insert, 0u);
    EXPECT_LT(last_insert, first_trigger);
    for (const char* file : {"Views.txt", "StoredProcedure.txt", "Triggers.txt", "Default.txt"}) {
        EXPECT_EQ(fs::file_size(r.failures.Path() / "Recovered_pubs" / file), 0u) << file;
    }
}

TEST(CompleteRepair, ProceduresAreMadeWhateverTheirNumber) {
    BM_REQUIRE_CORPUS();
    // The count is the file's own procedures: 30 of them are as many to make as any other number.
    Repair r("pubs_sligo.mdf");
    r.state.m_nProcedureCount = 30;
    r.RunRepair();
    EXPECT_EQ(r.Sent(u"CREATE PROCEDURE"), 4u);
    EXPECT_EQ(r.log[r.IndexOf(u"Stored procedures  :  ")], u"Stored procedures  :  4 created, 0 refused");
    EXPECT_TRUE(r.fields.m_bJobCompleted);
}

TEST(CompleteRepair, RefusalsEndWithProblemsNamingDatabaseAndFolder) {
    BM_REQUIRE_CORPUS();
    Repair r("pubs_sligo.mdf");
    r.server->RefuseContaining(u"CREATE VIEW");
    r.server->RefuseContaining(u"insert into [dbo].[jobs]");
    const auto job = r.RunRepair();
    EXPECT_FALSE(r.fields.m_bJobCompleted);
    ASSERT_EQ(r.prompts.message_count, 1);
    EXPECT_EQ(r.prompts.last_title, u"Repair process finished with problems.");
    EXPECT_TRUE(r.prompts.last_was_error);
    EXPECT_NE(r.prompts.last_text.find(u"Database Recovered_pubs: 1 object(s)"), std::u16string::npos);
    EXPECT_NE(r.prompts.last_text.find(u"row(s) were refused"), std::u16string::npos);
    EXPECT_NE(r.prompts.last_text.find(platform::FromUtf8((r.failures.Path() / "Recovered_pubs").string())),
              std::u16string::npos);
    EXPECT_GT(fs::file_size(r.failures.Path() / "Recovered_pubs" / "Views.txt"), 0u);
    EXPECT_EQ(r.closes, 1);
}

TEST(CompleteRepair, EachRepairKeepsItsFailureFilesInItsOwnFolder) {
    BM_REQUIRE_CORPUS();
    Repair r("pubs_sligo.mdf");
    r.server->RefuseContaining(u"CREATE VIEW");
    r.RunRepair();
    const fs::path first = r.failures.Path() / "Recovered_pubs";
    const auto refused_view = fs::file_size(first / "Views.txt");
    EXPECT_GT(refused_view, 0u);
    // A second repair under the same database name (a server where the first was dropped): its files go
    // into a folder beside the first repair's, which keeps its own.
    std::ofstream(first / "Views.txt", std::ios::app) << "kept";
    r.RunRepair();
    EXPECT_EQ(fs::file_size(first / "Views.txt"), refused_view + 4);
    EXPECT_EQ(fs::file_size(r.failures.Path() / "Recovered_pubs (2)" / "Views.txt"), refused_view);
    EXPECT_NE(r.prompts.last_text.find(u"Recovered_pubs (2)"), std::u16string::npos);
}

TEST(CompleteRepair, EmbeddedEditionCopiesRowsOnly) {
    BM_REQUIRE_CORPUS();
    Repair r("pubs_sligo.mdf");
    r.prompts.edition_answer = true;
    r.prompts.server_answer->embedded_database = u"WSS_Content";
    const auto job = r.RunRepair();
    EXPECT_TRUE(r.fields.m_bJobCompleted);
    EXPECT_EQ(r.engine->m_strEmbeddedDatabase, u"WSS_Content");
    EXPECT_EQ(r.steps_run, std::vector<std::string>{"database"});
    EXPECT_EQ(r.Sent(u"CREATE "), 0u);
    EXPECT_GT(r.Sent(u"insert into"), 200u);
    EXPECT_EQ(r.IndexOf(u"Repairing Views"), r.log.size());
    EXPECT_LT(r.IndexOf(u"The server's service is not restarted"), r.IndexOf(u"Repair process completed on "));
    EXPECT_EQ(r.closes, 1);
}

TEST(CompleteRepair, QuestionsAndDatabaseEndTheJobEarly) {
    BM_REQUIRE_CORPUS();
    struct Case {
        const char* what;
        bool edition, server, database;
        int messages;
        bool request_kept;
    };
    const Case cases[] = {
        {"edition dialog closed", false, true, true, 0, true},
        {"server dialog cancelled: the request is cleared", true, false, true, 0, false},
        {"no database", true, true, false, 1, true},
    };
    Repair r("pubs_sligo.mdf");
    const auto edition = r.prompts.edition_answer;
    const auto server = r.prompts.server_answer;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        r.prompts.edition_answer = c.edition ? edition : std::nullopt;
        r.prompts.server_answer = c.server ? server : std::nullopt;
        r.database_made = c.database;
        r.prompts.message_count = 0;
        r.server->m_executed.clear();
        r.sink.Clear();
        const auto job = r.RunRepair();
        EXPECT_FALSE(r.fields.m_bJobCompleted);
        EXPECT_EQ(r.prompts.message_count, c.messages);
        if (c.messages) {
            EXPECT_EQ(r.prompts.last_title, u"Unable to establish the connection.");
            EXPECT_TRUE(r.prompts.last_was_error) << "a failure is shown with the error sign";
        }
        EXPECT_EQ(r.state.m_bRepairRequested.load(), c.request_kept);
        EXPECT_TRUE(r.server->m_executed.empty());
        EXPECT_EQ(r.sink.Count(platform::WM_JOB_ENDED), 1u);
    }
}

// Every way a repair ends reaches the log with its reason, and the job leaves the window's message fields
// alone: Stop, the Exit refusal and Help write them on the user-interface thread while a job may run.
TEST(CompleteRepair, EveryEndIsLoggedWithItsReasonAndTheMessageFieldsAreLeftToTheWindow) {
    BM_REQUIRE_CORPUS();
    struct Case {
        const char* what;
        std::function<void(Repair&)> set_up;
        int stop_at;
        std::vector<std::u16string> logged;  // in this order, each the start of a log line
    };
    const auto edition = [](Repair& r) { r.prompts.edition_answer.reset(); };
    const auto server = [](Repair& r) { r.prompts.server_answer.reset(); };
    const Case cases[] = {
        {"all accepted", {}, 0, {u"Rows  :  ", u"Repair process completed on "}},
        {"edition dialog closed: the repair never began", edition, 0, {}},
        {"server dialog cancelled: the repair never began", server, 0, {}},
        {"server unreachable", [](Repair& r) { r.database_made = false; }, 0,
         {u"Repair process ended on ", u"    Unable to establish the connection.",
          u"    Please Verify your Server\\Instance name.", u"    Database Recovered_pubs was not created."}},
        {"database refused",
         [](Repair& r) {
             r.database_made = false;
             r.on_database_failure = [](mdf::CRecoveryEngine& e) {
                 e.m_strTargetFailureTitle = u"Unable to create the database Recovered_pubs.";
                 e.m_strTargetFailureText = u"CREATE DATABASE permission denied";
             };
         },
         0,
         {u"Repair process ended on ", u"    Unable to create the database Recovered_pubs.",
          u"    CREATE DATABASE permission denied"}},
        {"tables not created", [](Repair& r) { r.tables_made = false; }, 0,
         {u"Repair process ended on ", u"    Unable to save repaired database file.", u"    Database Recovered_pubs"}},
        {"rows refused", [](Repair& r) { r.server->RefuseContaining(u"insert into [dbo].[jobs]"); }, 0,
         {u"Rows  :  ", u"Repair process finished with problems.", u"    Database Recovered_pubs: 0 object(s)",
          u"Repair process completed on "}},
        {"stopped part way", {}, 12,
         {u"Repair process ended on ", u"    Current  process stopped by user."}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Repair r("pubs_sligo.mdf");
        r.engine->m_strTargetDatabase = u"Recovered_pubs";
        if (c.set_up) c.set_up(r);
        r.state.m_strMessageTitle = u"the window's title";
        r.state.m_strMessageText = u"the window's text";
        const auto job = r.RunRepair(c.stop_at);
        EXPECT_EQ(r.state.m_strMessageTitle, u"the window's title");
        EXPECT_EQ(r.state.m_strMessageText, u"the window's text");
        std::size_t at = 0;
        for (const auto& line : c.logged) {
            while (at < r.log.size() && r.log[at].rfind(line, 0) != 0) ++at;
            EXPECT_LT(at, r.log.size()) << "not logged in order: " << platform::ToUtf8(line);
        }
        // One end line, never both; none for a repair that never began.
        const bool ended = r.IndexOf(u"Repair process ended on ") != r.log.size();
        const bool completed = r.IndexOf(u"Repair process completed on ") != r.log.size();
        if (c.logged.empty()) {
            EXPECT_TRUE(r.log.empty());
        } else {
            EXPECT_NE(ended, completed);
        }
    }
}

TEST(CompleteRepair, StopAtEveryCheckNeverCompletes) {
    BM_REQUIRE_CORPUS();
    Repair r("pubs_sligo.mdf");
    int checks = 0;
    {
        auto job = r.Job();
        r.state.m_bRepairRequested = true;
        job->m_beforeStopCheck = [&](int n) { checks = n; };
        job->Run();
        ASSERT_TRUE(r.fields.m_bJobCompleted);
    }
    ASSERT_GT(checks, 20);
    for (int stop_at = 1; stop_at <= checks; ++stop_at) {
        SCOPED_TRACE(stop_at);
        r.closes = 0;
        r.sink.Clear();
        r.log.clear();
        r.prompts.message_count = 0;
        const auto job = r.RunRepair(stop_at);
        EXPECT_FALSE(r.fields.m_bJobCompleted);
        EXPECT_EQ(r.closes, 1);
        EXPECT_EQ(r.prompts.message_count, 0);
        EXPECT_EQ(r.IndexOf(u"Repair process completed on "), r.log.size());
        EXPECT_EQ(r.sink.Count(platform::WM_JOB_ENDED), 1u);
        EXPECT_FALSE(r.engine->m_pConnection && r.engine->m_pConnection->IsOpen());
    }
}

TEST(CompleteRepair, DatabaseFailureKeepsTheEnginesTitleAndNamesTheDatabase) {
    BM_REQUIRE_CORPUS();
    struct Case {
        const char* what;
        std::function<void(mdf::CRecoveryEngine&, platform::SharedState&)> engine_leaves;
        std::u16string title, text;
    };
    const Case cases[] = {
        {"no connection, no words", {}, u"Unable to establish the connection.",
         u"Please Verify your Server\\Instance name.\nPlease run the SQL Server and try again.\n"
         u"Database Recovered_pubs was not created."},
        {"create refused",
         [](mdf::CRecoveryEngine& e, platform::SharedState&) {
             e.m_strCreatedDatabase = u"Recovered_pubs";
             e.m_strTargetFailureTitle = u"Unable to create the database Recovered_pubs.";
             e.m_strTargetFailureText = u"CREATE DATABASE permission denied";
         },
         u"Unable to create the database Recovered_pubs.", u"CREATE DATABASE permission denied"},
        {"created, then no temporary folder",
         [](mdf::CRecoveryEngine& e, platform::SharedState& s) {
             e.m_strCreatedDatabase = u"Recovered_pubs1";
             s.m_strContentDbName = u"Recovered_pubs1";
             e.m_strTargetFailureTitle = u"Unable to make a temporary folder.";
             e.m_strTargetFailureText = u"/tmp/x: full";
         },
         u"Unable to make a temporary folder.", u"/tmp/x: full\nDatabase Recovered_pubs1 is incomplete."},
    };
    Repair r("pubs_sligo.mdf");
    r.engine->m_strTargetDatabase = u"Recovered_pubs";
    r.database_made = false;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        // A name left by an earlier repair on the same engine is never the one reported.
        r.engine->m_strCreatedDatabase = u"Earlier_db";
        r.state.m_strContentDbName = u"Earlier_db";
        r.on_database_failure = [&](mdf::CRecoveryEngine& e) {
            if (c.engine_leaves) c.engine_leaves(e, r.state);
        };
        r.prompts.message_count = 0;
        r.closes = 0;
        const auto job = r.RunRepair();
        EXPECT_FALSE(r.fields.m_bJobCompleted);
        ASSERT_EQ(r.prompts.message_count, 1);
        EXPECT_EQ(r.prompts.last_title, c.title);
        EXPECT_EQ(r.prompts.last_text, c.text);
        EXPECT_EQ(r.closes, 1);
    }
}

TEST(CompleteRepair, EmbeddedProblemsNameTheUsersDatabaseNotAnEarlierOne) {
    BM_REQUIRE_CORPUS();
    Repair r("pubs_sligo.mdf");
    r.engine->m_strCreatedDatabase = u"Recovered_pubs";  // left by an earlier repair
    r.prompts.edition_answer = true;
    r.prompts.server_answer->embedded_database = u"WSS_Content";
    r.server->RefuseContaining(u"insert into [dbo].[jobs]");
    const auto job = r.RunRepair();
    EXPECT_FALSE(r.fields.m_bJobCompleted);
    ASSERT_EQ(r.prompts.message_count, 1);
    EXPECT_EQ(r.prompts.last_text.rfind(u"Database WSS_Content: 0 object(s)", 0), 0u) << platform::ToUtf8(r.prompts.last_text);
}

// A data file of the 2000 format through the whole job: every stored object of the sample once, functions from
// the early pass only, the trigger after the rows. The sample's function fn_Names and default constraint
// DF_Orders_Flags have catalogue rows but no definition: the job names them and ends with problems.
TEST(CompleteRepair, Format2000FileRepairedWithItsStoredObjects) {
    const fs::path path = fs::path(::testing::TempDir()) / "complete_repair_2000.mdf";
    testsupport::sql2000::SampleDatabase().Build().WriteTo(path);
    Repair r(path);
    fs::remove(path);
    ASSERT_FALSE(r.state.m_bSql2005Catalog);
    ASSERT_FALSE(r.engine->m_lstTables.empty());
    const auto job = r.RunRepair();
    EXPECT_FALSE(r.fields.m_bJobCompleted);
    ASSERT_EQ(r.prompts.message_count, 1);
    EXPECT_EQ(r.prompts.last_text,
              u"Database Recovered_pubs: 0 object(s), 0 schema statement(s) and 0 row(s) were refused.\n"
              u"Not on the server:\n"
              u"function fn_Names (object 181575685): no whole definition of it was found on the definition pages\n"
              u"default DF_Orders_Flags (object 373576369): no whole definition of it was found on the definition "
              u"pages");
    EXPECT_EQ(r.closes, 1);
    for (const char16_t* text : {u"CREATE VIEW vw_Orders AS SELECT OrderID FROM Orders",
                                 u"CREATE PROCEDURE usp_GetCustomers AS SELECT * FROM Customers",
                                 u"CREATE TRIGGER tr_Orders ON Orders FOR INSERT AS RETURN",
                                 u"CREATE FUNCTION fn_Double (@x int) RETURNS int AS BEGIN RETURN 2 * @x END",
                                 u"CREATE FUNCTION fn_Orders () RETURNS TABLE AS RETURN SELECT * FROM Orders",
                                 u"CREATE RULE RL_Positive AS @value > 0", u"CREATE DEFAULT DF_Zero AS 0"}) {
        EXPECT_EQ(r.Sent(text), 1u) << platform::ToUtf8(text);
    }
    EXPECT_EQ(r.Sent(u"usp_Dropped"), 0u);
    // The two tables named Notes (two owners) are copied once each: their 2 and 4 rows, not twice over.
    EXPECT_EQ(r.Sent(u"insert into [Notes]"), 6u);
    EXPECT_EQ(r.log[r.IndexOf(u"Views  :  ")], u"Views  :  1 created, 0 refused");
    EXPECT_EQ(r.log[r.IndexOf(u"Stored procedures  :  ")], u"Stored procedures  :  1 created, 0 refused");
    EXPECT_EQ(r.log[r.IndexOf(u"Triggers  :  ")], u"Triggers  :  1 created, 0 refused");
    EXPECT_EQ(r.log[r.IndexOf(u"User defined functions  :  ")], u"User defined functions  :  2 created, 0 refused");
    std::size_t last_insert = 0, trigger = 0;
    for (std::size_t i = 0; i < r.server->m_executed.size(); ++i) {
        const auto& text = r.server->m_executed[i].m_strText;
        if (platform::ToLower(text.substr(0, 7)) == u"insert ") last_insert = i;
        if (text.find(u"CREATE TRIGGER") != std::u16string::npos) trigger = i;
    }
    EXPECT_GT(last_insert, 0u);
    EXPECT_LT(last_insert, trigger);
}

TEST(CompleteRepair, LinkLostForGoodDuringObjectsEndsTheRepairNamingTheDatabase) {
    BM_REQUIRE_CORPUS();
    Repair r("pubs_sligo.mdf");
    r.after_indexes = [&] {
        r.server->DropConnectionFor(1);
        r.server->SetRefuseOpen(true);
    };
    const auto job = r.RunRepair();
    EXPECT_FALSE(r.fields.m_bJobCompleted);
    ASSERT_EQ(r.prompts.message_count, 1);
    EXPECT_EQ(r.prompts.last_title, u"Unable to establish the connection.");
    EXPECT_NE(r.prompts.last_text.find(u"Database Recovered_pubs is incomplete."), std::u16string::npos);
    // Nothing more is tried once the link is gone: the first object statement was the last one sent.
    EXPECT_EQ(r.Sent(u"CREATE TRIGGER"), 0u);
    EXPECT_EQ(r.Sent(u"CREATE PROC"), 0u);
    EXPECT_EQ(r.IndexOf(u"Repair process completed on "), r.log.size());
    EXPECT_EQ(r.closes, 1);
    EXPECT_EQ(r.sink.Count(platform::WM_JOB_ENDED), 1u);
}

TEST(CompleteRepair, UnwritableFailureFolderIsNotNamedAsHoldingTheDefinitions) {
    BM_REQUIRE_CORPUS();
    Repair r("pubs_sligo.mdf");
    const fs::path blocker = r.failures.Path() / "a file";
    std::ofstream(blocker) << "x";
    r.prompts.server_answer->failure_folder = platform::FromUtf8((blocker / "failures").string());
    r.server->RefuseContaining(u"CREATE VIEW");
    const auto job = r.RunRepair();
    EXPECT_FALSE(r.fields.m_bJobCompleted);
    ASSERT_EQ(r.prompts.message_count, 1);
    EXPECT_EQ(r.prompts.last_text.find(u"The refused definitions are in"), std::u16string::npos)
        << platform::ToUtf8(r.prompts.last_text);
    EXPECT_NE(r.prompts.last_text.find(u"could not be written to"), std::u16string::npos);
    const std::size_t kept = r.IndexOf(u"Not written to Views.txt: ");
    ASSERT_LT(kept, r.log.size());
    EXPECT_NE(r.log[kept].find(u"CREATE VIEW"), std::u16string::npos);
}

}  // namespace

// ---- The last look: what the catalogue holds against what reached the server ----

// A small file whose view or rows do not reach the server: the job names each with the reason, in its end
// message and in the log, and does not claim completion; intact, it completes and names nothing.
TEST(CompleteRepair, WhatDidNotReachTheServerIsNamedAndTheJobDoesNotComplete) {
    struct Case {
        const char* what;
        bool zero_definition_page;
        const char16_t* refuse;  // statements the server refuses; null: none
        const char16_t* named;   // the line naming what is missing; null: nothing is missing
        bool unselect = false;   // the table is left out of the repair's list of tables
    };
    const Case cases[] = {
        {"intact", false, nullptr, nullptr},
        {"the view's definition page zeroed", true, nullptr,
         u"view vw_People (object 213575799): no whole definition of it was found on the definition pages"},
        {"the rows of a table refused", false, u"insert into [People]",
         u"table People: 0 of 6 row(s) copied: 6 refused by the server"},
        {"a table in no entry of the list", false, nullptr, u"table People: not selected: none of its 6 row(s) were copied",
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::TempDir dir;
        testsupport::sql2000::Layout layout;
        auto file = testsupport::sql2000::ViewAndTableDatabase().Build(&layout);
        if (c.zero_definition_page) {
            ASSERT_FALSE(layout.comment_pages.empty());
            for (const auto page : layout.comment_pages) file.SetPage(page, testsupport::PageBuilder());
        }
        file.WriteTo(dir / "people.mdf");
        Repair r(dir / "people.mdf");
        if (c.refuse) r.server->RefuseContaining(c.refuse);
        if (c.unselect) std::erase(r.fields.m_arrSelectedTables, u"People");
        const auto job = r.RunRepair();
        if (!c.named) {
            EXPECT_TRUE(r.fields.m_bJobCompleted) << platform::ToUtf8(r.prompts.last_text);
            EXPECT_EQ(r.IndexOf(u"Missing "), r.log.size());
            continue;
        }
        EXPECT_FALSE(r.fields.m_bJobCompleted);
        ASSERT_EQ(r.prompts.message_count, 1);
        EXPECT_EQ(r.prompts.last_title, u"Repair process finished with problems.");
        EXPECT_NE(r.prompts.last_text.find(std::u16string(u"\n") + c.named), std::u16string::npos)
            << platform::ToUtf8(r.prompts.last_text);
        const std::size_t line = r.IndexOf(u"Missing ");
        ASSERT_LT(line, r.log.size());
        EXPECT_NE(r.log[line].find(c.named), std::u16string::npos) << platform::ToUtf8(r.log[line]);
    }
}

// Each table's live rows against the rows copied; the scan's count is a best effort, so more rows copied than
// counted is no loss.
TEST(CompleteRepair, RowsShortOfTheLiveCountAreNamedWithTheirReason) {
    struct Case {
        app::TableRowOutcome table;
        const char16_t* line;  // null: nothing missing
    };
    const Case cases[] = {
        {{u"T", 5, 5, 0, true, true, {}}, nullptr},
        {{u"T", 5, 7, 0, true, true, {}}, nullptr},
        {{u"T", 0, 0, 0, false, true, {}}, nullptr},
        {{u"T", 5, 0, 0, false, true, {}}, u"table T: 0 of 5 row(s) copied: the table was not created"},
        {{u"T", 5, 3, 2, true, true, {}}, u"table T: 3 of 5 row(s) copied: 2 refused by the server"},
        {{u"T", 5, 3, 0, true, true, {}}, u"table T: 3 of 5 row(s) copied: 2 could not be read from the data file"},
        {{u"T", 9, 3, 2, true, true, {}},
         u"table T: 3 of 9 row(s) copied: 2 refused by the server, 4 could not be read from the data file"},
        {{u"T", 5, 3, 4, true, true, {}}, u"table T: 3 of 5 row(s) copied: 2 refused by the server"},
        {{u"T", 0, 0, 0, true, false, {}}, u"table T: not selected: none of its 0 row(s) were copied"},
        {{u"T", 5, 0, 0, true, false, {}}, u"table T: not selected: none of its 5 row(s) were copied"},
        // A table the file lost part of is never whole on the server, even with every row it gave copied.
        {{u"T", 5, 5, 0, true, true, u"1 damaged page(s); 5 of 5 row(s) read"},
         u"table T: incomplete in the data file (1 damaged page(s); 5 of 5 row(s) read); 5 of 5 row(s) copied"},
        {{u"T", 9, 3, 1, true, true, u"3 of 9 row(s) read"},
         u"table T: incomplete in the data file (3 of 9 row(s) read); 3 of 9 row(s) copied, 1 refused by the "
         u"server"},
    };
    platform::SharedState state;
    mdf::CRecoveryEngine engine(state);
    for (const auto& c : cases) {
        SCOPED_TRACE(platform::ToUtf8(c.line ? c.line : u"none"));
        const auto result = app::Reconcile(engine, true, {}, {c.table});
        if (!c.line) {
            EXPECT_TRUE(result.Complete());
            continue;
        }
        ASSERT_EQ(result.m_arrMissingRows.size(), 1u);
        EXPECT_EQ(result.m_arrMissingRows[0], c.line);
    }
}

// The server's own objects (negative ids) are counted once, never named as missing; an object of a kind whose
// pass did not run is named so.
TEST(CompleteRepair, SystemObjectsAreCountedAndUnscriptedKindsNamed) {
    platform::SharedState state;
    mdf::CRecoveryEngine engine(state);
    auto add = [](auto& node, const char16_t* name, std::int32_t id) {
        if constexpr (std::is_same_v<std::decay_t<decltype(node)>, mdf::ProcedureNode>) {
            node.m_strName = name;
        } else {
            node.m_pszName = name;
        }
        node.m_nObjectId = id;
    };
    add(engine.AddView(), u"sys_view", -101);
    add(engine.AddProcedure(), u"sys_view", -101);  // one object met in two lists
    add(engine.AddProcedure(), u"sp_system", -202);
    add(engine.AddTrigger(), u"tr_Made", 7);
    add(engine.AddRule(), u"rl_Skipped", 8);
    engine.m_repairTally.definitions_found.insert(7);
    const auto result = app::Reconcile(engine, true, {mdf::ObjectKind::Trigger}, {});
    EXPECT_EQ(result.m_nSystemObjects, 2u);
    EXPECT_EQ(result.m_arrMissingObjects,
              std::vector<std::u16string>{u"rule rl_Skipped (object 8): its kind was not scripted"});
    // The embedded road copies rows only: no object is compared.
    EXPECT_TRUE(app::Reconcile(engine, false, {}, {}).Complete());
}
