// The complete repair job on a real data file against a recording server: the questions it asks, its order of
// steps and log lines, the end it reports (completion only when nothing was refused), and a stop at every
// stop check (no completion, the connection closed once, one job end).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>

#include "app/app_fields.h"
#include "app/recover_thread.h"
#include "mdf/recovery_engine.h"
#include "platform/recording_sql_backend.h"
#include "platform/sql_connection.h"
#include "platform/text.h"
#include "tests/support/corpus.h"
#include "tests/support/page_builder.h"

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

    explicit Repair(const char* corpus_file) {
        state.m_strDataFilePath = platform::FromUtf8((*testsupport::CorpusDir() / corpus_file).string());
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
                if (!database_made) return false;
                e.m_pConnection = std::make_shared<platform::Connection>(server);
                e.m_pConnection->Open(u"target");
                state.m_strContentDbName = u"Recovered_pubs";
                return true;
            };
            steps.script_schemas = note("schemas");
            steps.script_types = note("types");
            steps.script_tables = [this] {
                steps_run.push_back("tables");
                return true;
            };
            steps.script_indexes = note("indexes");
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
        EXPECT_EQ(fs::file_size(r.failures.Path() / file), 0u) << file;
    }
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
    EXPECT_NE(r.prompts.last_text.find(u"Database Recovered_pubs: 1 object(s)"), std::u16string::npos);
    EXPECT_NE(r.prompts.last_text.find(u"row(s) were refused"), std::u16string::npos);
    EXPECT_NE(r.prompts.last_text.find(platform::FromUtf8(r.failures.Path().string())), std::u16string::npos);
    EXPECT_GT(fs::file_size(r.failures.Path() / "Views.txt"), 0u);
    EXPECT_EQ(r.closes, 1);
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
        }
        EXPECT_EQ(r.state.m_bRepairRequested.load(), c.request_kept);
        EXPECT_TRUE(r.server->m_executed.empty());
        EXPECT_EQ(r.sink.Count(platform::WM_JOB_ENDED), 1u);
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

}  // namespace
