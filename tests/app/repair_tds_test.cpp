// Complete Repair of every real data file from the job, through the real ODBC driver, against the TDS server
// double. What the server receives is compared with a reviewed script under tests/app/golden (the rows of each
// table summarised as a count and a hash); the failure files stay empty while the double accepts everything
// and hold exactly the refused definitions when it refuses. Also the retry rounds of dependent objects and the
// two stored forms of triggers, over the wire.
//
// BRINDLEMOOR_UPDATE_GOLDEN=1 rewrites the scripts (review the diff before committing it).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "app/app_fields.h"
#include "app/recover_thread.h"
#include "mdf/recovery_engine.h"
#include "platform/config_file.h"
#include "platform/odbc_sql_connection.h"
#include "platform/sql_connection.h"
#include "platform/text.h"
#include "tests/objects/object_fixture.h"
#include "tests/support/corpus.h"
#include "tests/support/page_builder.h"
#include "tests/support/sha256.h"
#include "tests/support/sql2000_builder.h"
#include "tests/support/tds_server_double.h"

namespace {

namespace fs = std::filesystem;
using testsupport::TdsFault;
using testsupport::TdsRequest;
using testsupport::TdsServerDouble;

fs::path GoldenDir() { return fs::path(BM_SOURCE_DIR) / "tests" / "app" / "golden"; }

std::string Escaped(const std::u16string& text) {
    std::string out;
    for (const char c : platform::ToUtf8(text)) {
        if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '\t') out += "\\t";
        else if (c == '\\') out += "\\\\";
        else out += c;
    }
    return out;
}

// The statements as a script: one line each; the INSERTs of one table become one line with their count and a
// hash of their texts and parameter values, at the place of the table's first row.
std::string Script(const std::vector<TdsRequest>& statements) {
    struct Rows {
        std::size_t line = 0;
        std::uint64_t count = 0;
        std::vector<std::uint8_t> bytes;
    };
    std::vector<std::string> lines;
    std::map<std::string, Rows> rows;
    for (const auto& request : statements) {
        const std::u16string& text = request.text;
        const bool insert = platform::ToLower(text.substr(0, 12)) == u"insert into ";
        // The identity switches around each row belong to its table's rows.
        const bool identity = text.rfind(u"SET IDENTITY_INSERT ", 0) == 0;
        if (insert || identity) {
            std::u16string table;
            if (insert) {
                const std::size_t open = text.find(u" (");
                table = text.substr(12, open == std::u16string::npos ? 0 : open - 12);
            } else {
                const std::size_t close = text.rfind(u']');
                table = text.substr(20, close == std::u16string::npos ? 0 : close + 1 - 20);
            }
            auto [it, made] = rows.try_emplace(platform::ToUtf8(table));
            if (made) {
                it->second.line = lines.size();
                lines.emplace_back();
            }
            if (insert) ++it->second.count;
            const std::string t = platform::ToUtf8(text);
            it->second.bytes.insert(it->second.bytes.end(), t.begin(), t.end());
            for (const auto& p : request.parameters) {
                const std::string type = p.TypeName();
                it->second.bytes.insert(it->second.bytes.end(), type.begin(), type.end());
                it->second.bytes.push_back(p.isNull ? 0 : 1);
                it->second.bytes.insert(it->second.bytes.end(), p.bytes.begin(), p.bytes.end());
            }
            continue;
        }
        lines.push_back("statement\t" + Escaped(text));
    }
    for (const auto& [table, r] : rows) {
        lines[r.line] = "rows\t" + table + "\t" + std::to_string(r.count) + "\t" + testsupport::Sha256Hex(r.bytes);
    }
    std::string out;
    for (const auto& line : lines) out += line + "\n";
    return out;
}

// The settings file that sends the repair to the double, and an application around one repair job.
struct TdsRepair {
    TdsServerDouble server;
    testsupport::TempDir dir;
    platform::SharedState state;
    app::AppFields fields;
    platform::SilentPrompts prompts;
    platform::RecordingSink sink;
    std::shared_ptr<mdf::CRecoveryEngine> engine;
    std::vector<std::u16string> log;

    explicit TdsRepair(const fs::path& file) {
        const auto settings = server.Settings();
        std::ofstream config(dir / "brindlemoor.conf");
        config << "[sqlserver]\ndriver = " << platform::ToUtf8(settings.m_strDriver) << "\nport = " << settings.m_nPort
               << "\ntds_version = 7.4\nlogin_timeout = 10\n";
        config.close();
        setenv("BRINDLEMOOR_CONFIG", (dir / "brindlemoor.conf").c_str(), 1);
        state.m_strDataFilePath = platform::FromUtf8(file.string());
        engine = std::make_shared<mdf::CRecoveryEngine>(state);
        engine->m_sleep = [](std::chrono::milliseconds) {};
        sink.on_send = [this](unsigned message, platform::WPARAM, platform::LPARAM) {
            if (message == platform::WM_LOG_LINE) log.push_back(state.m_strLogLine);
        };
        Job()->Run();  // the scan
        engine->m_strTargetDatabase = u"Recovered_" + file.stem().u16string();
        for (const auto& table : engine->m_lstTables) fields.m_arrSelectedTables.push_back(table.m_pszName);
        prompts.edition_answer = false;
        platform::ServerChoice choice;
        choice.server = TdsServerDouble::kServerText;
        choice.login = u"tester";
        choice.password = u"secret";
        choice.failure_folder = platform::FromUtf8((dir / "failures").string());
        prompts.server_answer = choice;
    }
    std::unique_ptr<app::CRecoverThread> Job() {
        auto job = std::make_unique<app::CRecoverThread>(state, fields, engine, prompts);
        job->m_hOwnerWnd = &sink;
        job->m_strDataFile = state.m_strDataFilePath;
        return job;
    }
    void Repair() {
        state.m_bRepairRequested = true;
        state.m_bStopJob = false;
        log.clear();
        Job()->Run();
    }
    // A file of the repair's own failure folder (named after its database).
    std::string FailureFile(const char* name) {
        std::ifstream in(platform::ToUtf8(engine->m_strFailureFolder) + "/" + name, std::ios::binary);
        if (!in) return "<missing>";
        std::ostringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    }
};

class RepairThroughTds : public ::testing::Test {
protected:
    void SetUp() override {
        if (testsupport::FreeTdsDriverPath().empty()) GTEST_SKIP() << "FreeTDS ODBC driver not found at configure time";
    }
};

TEST_F(RepairThroughTds, EveryCorpusFileMatchesItsScript) {
    BM_REQUIRE_CORPUS();
    const bool update = std::getenv("BRINDLEMOOR_UPDATE_GOLDEN") != nullptr;
    for (const auto& entry : testsupport::CorpusManifest()) {
        SCOPED_TRACE(entry.file);
        TdsRepair repair(*testsupport::CorpusDir() / entry.file);
        repair.Repair();
        const std::string script = Script(repair.server.Statements());
        const fs::path golden = GoldenDir() / (fs::path(entry.file).stem().string() + ".repair.txt");
        if (update) {
            std::ofstream(golden, std::ios::binary) << script;
        } else {
            std::ifstream in(golden, std::ios::binary);
            std::ostringstream expected;
            expected << in.rdbuf();
            if (expected.str() != script) {
                const fs::path actual = fs::path(BM_BINARY_DIR) / (golden.filename().string() + ".actual");
                std::ofstream(actual, std::ios::binary) << script;
                ADD_FAILURE() << "script differs from " << golden << "; actual in " << actual;
            }
        }
        EXPECT_TRUE(repair.fields.m_bJobCompleted) << platform::ToUtf8(repair.prompts.last_text);
        for (const char* file : {"Views.txt", "StoredProcedure.txt", "Triggers.txt", "Default.txt"}) {
            const std::string bytes = repair.FailureFile(file);
            EXPECT_TRUE(bytes.empty() || bytes == "<missing>") << file;
        }
        // The password never reaches the log.
        for (const auto& line : repair.log) EXPECT_EQ(line.find(u"secret"), std::u16string::npos);
        // Nothing of the file acts on the whole server.
        for (const auto& request : repair.server.Statements()) {
            EXPECT_EQ(platform::ToUpper(request.text).find(u"ALL SERVER"), std::u16string::npos) << Escaped(request.text);
        }
    }
}

TEST_F(RepairThroughTds, ASecondRepairOfTheSameScanSendsWhatTheFirstSent) {
    BM_REQUIRE_CORPUS();
    // Keys, indexes and statistics are read again by each repair: each must go out once, not once more per
    // earlier repair.
    for (const char* file : {"pubs_anh.mdf", "pubs_sligo.mdf"}) {
        SCOPED_TRACE(file);
        TdsRepair repair(*testsupport::CorpusDir() / file);
        repair.Repair();
        const std::size_t first_count = repair.server.Statements().size();
        repair.Repair();
        const auto all = repair.server.Statements();
        ASSERT_GE(all.size(), first_count);
        std::vector<TdsRequest> first(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(first_count));
        std::vector<TdsRequest> second(all.begin() + static_cast<std::ptrdiff_t>(first_count), all.end());
        // The second database gets the next name; everything after it is the same.
        auto without_database = [](std::vector<TdsRequest> list) {
            std::erase_if(list, [](const TdsRequest& r) { return r.text.rfind(u"create database ", 0) == 0; });
            return Script(list);
        };
        EXPECT_EQ(without_database(second), without_database(first));
        EXPECT_TRUE(repair.fields.m_bJobCompleted);
    }
}

TEST_F(RepairThroughTds, RefusedViewGoesToItsFailureFileExactly) {
    BM_REQUIRE_CORPUS();
    TdsRepair repair(*testsupport::CorpusDir() / "pubs_sligo.mdf");
    TdsFault refuse_views;
    refuse_views.pattern = u"CREATE VIEW";
    repair.server.AddFault(refuse_views);
    repair.Repair();
    EXPECT_FALSE(repair.fields.m_bJobCompleted);
    EXPECT_EQ(repair.prompts.last_title, u"Repair process finished with problems.");
    // The view's text as stored, sent in each round until a round made nothing: once, as the only view.
    std::u16string view;
    for (const auto& request : repair.server.Statements()) {
        if (request.text.find(u"CREATE VIEW") != std::u16string::npos) view = request.text;
    }
    ASSERT_FALSE(view.empty());
    EXPECT_EQ(repair.FailureFile("Views.txt"), objtest::Entry(platform::ToUtf8(view)));
    EXPECT_EQ(repair.FailureFile("Triggers.txt"), "");
}

// ---- Stop while the server holds a statement ----

// The server sits on a statement until the driver cancels it: a row INSERT (its limit is 700 s, and a lost
// link tries it twice) or an index built after the rows (no limit at all). Stop, as the window does it (the
// flag, then the cancel from its own thread), ends the job at once; nothing more reaches the server.
TEST_F(RepairThroughTds, StopCancelsTheStatementTheServerHolds) {
    const fs::path path = fs::path(::testing::TempDir()) / "stop_during_statement.mdf";
    testsupport::sql2000::SampleDatabase().Build().WriteTo(path);
    for (const char16_t* held : {u"insert into [Orders]", u"[IX_Orders_Customer] on [Orders]"}) {
        SCOPED_TRACE(platform::ToUtf8(held));
        TdsRepair repair(path);
        repair.server.AddFault(TdsFault::Stall(held));
        repair.state.m_bRepairRequested = true;
        repair.state.m_bStopJob = false;
        auto job = repair.Job();
        std::thread worker([&job] { job->Run(); });
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (repair.server.StallsBegun() == 0 && std::chrono::steady_clock::now() < give_up) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        const bool held_now = repair.server.StallsBegun() == 1;
        const auto pressed = std::chrono::steady_clock::now();
        repair.state.m_bStopJob = true;
        repair.engine->CancelRunningStatement();
        worker.join();
        const auto took = std::chrono::steady_clock::now() - pressed;
        ASSERT_TRUE(held_now) << "the statement never reached the server";
        // A behaviour bound, generous for a loaded machine; uncancelled, the job waits for the driver's limit.
        EXPECT_LT(took, std::chrono::seconds(5));
        EXPECT_FALSE(repair.fields.m_bJobCompleted);
        const auto statements = repair.server.Statements();
        ASSERT_FALSE(statements.empty());
        EXPECT_TRUE(statements.back().cancelled) << Escaped(statements.back().text);
        EXPECT_NE(statements.back().text.find(held), std::u16string::npos);
    }
    fs::remove(path);
}

// ---- Dependencies and trigger forms over the wire ----

class ObjectsThroughTds : public RepairThroughTds {
protected:
    void Connect(objtest::ObjectRepair& repair) {
        auto backend = std::make_shared<platform::OdbcSqlBackend>();
        repair.engine().m_pConnection = std::make_shared<platform::Connection>(backend);
        repair.engine().m_pConnection->Open(server_.ConnectionString(u"master"));
    }
    std::vector<std::u16string> Accepted() const {
        std::vector<std::u16string> texts;
        for (const auto& r : server_.Statements()) {
            if (r.accepted) texts.push_back(r.text);
        }
        return texts;
    }
    TdsServerDouble server_;
};

TEST_F(ObjectsThroughTds, DependentObjectsMadeAfterWhatTheyNeed) {
    using objtest::Ascii;
    using objtest::Row2005;
    objtest::ObjectRepair repair({{Row2005(12, Ascii("CREATE FUNCTION f2() RETURNS int AS BEGIN RETURN dbo.f1() END")),
                                   Row2005(11, Ascii("CREATE FUNCTION f1() RETURNS int AS BEGIN RETURN 1 END")),
                                   Row2005(22, Ascii("CREATE VIEW v2 AS SELECT * FROM v1")),
                                   Row2005(21, Ascii("CREATE VIEW v1 AS SELECT 1 AS x"))}},
                                 true);
    ASSERT_TRUE(repair.opened());
    Connect(repair);
    auto& engine = repair.engine();
    repair.Add(engine.m_lstFunctions, 11, u"f1");
    repair.Add(engine.m_lstFunctions, 12, u"f2");
    repair.Add(engine.m_lstViews, 21, u"v1");
    repair.Add(engine.m_lstViews, 22, u"v2");
    for (const auto& [statement, needed] : {std::pair{u"FUNCTION f2", u"FUNCTION f1"}, std::pair{u"VIEW v2", u"VIEW v1"}}) {
        TdsFault missing;
        missing.pattern = statement;
        missing.number = 208;  // invalid object name
        missing.untilAccepted = needed;
        server_.AddFault(missing);
    }
    engine.ScriptUserFunctions();
    engine.ScriptDependentObjects(true, false, true);
    EXPECT_EQ(Accepted(), (std::vector<std::u16string>{u"CREATE FUNCTION f1() RETURNS int AS BEGIN RETURN 1 END",
                                                        u"CREATE VIEW v1 AS SELECT 1 AS x",
                                                        u"CREATE FUNCTION f2() RETURNS int AS BEGIN RETURN dbo.f1() END",
                                                        u"CREATE VIEW v2 AS SELECT * FROM v1"}));
    EXPECT_EQ(repair.File("Views.txt"), "");
    EXPECT_EQ(repair.File("User_Defined_Function.txt"), "");
}

TEST_F(ObjectsThroughTds, TriggersOfBothStoredFormsArriveWhole) {
    using objtest::Row2005;
    const std::u16string narrow = u"CREATE TRIGGER t1 ON dbo.Item FOR INSERT AS SELECT 1";
    const std::u16string wide = u"CREATE TRIGGER t2 ON dbo.Item FOR DELETE AS SELECT N'\u00E9t\u00E9'";
    objtest::ObjectRepair repair({{Row2005(1, objtest::Ascii(platform::ToUtf8(narrow))), Row2005(2, objtest::Wide(wide))}},
                                 true);
    ASSERT_TRUE(repair.opened());
    Connect(repair);
    repair.Add(repair.engine().m_lstTriggers, 1, u"t1");
    repair.Add(repair.engine().m_lstTriggers, 2, u"t2");
    repair.engine().ScriptTriggers();
    EXPECT_EQ(Accepted(), (std::vector<std::u16string>{narrow, wide}));
    EXPECT_EQ(repair.File("Triggers.txt"), "");
}

// What reaches the server through the real driver: a logon trigger in any spelling never does; the other
// triggers do, the database's own last, a disabled one disabled again, each module with its stored settings,
// and escape sequences in a definition as they are stored.
TEST_F(ObjectsThroughTds, TriggersAndModulesAsStored) {
    using objtest::Row2005;
    const std::u16string table = u"CREATE TRIGGER t ON dbo.Item FOR INSERT AS SELECT {fn NOW()}";
    const std::u16string database = u"CREATE TRIGGER d ON DATABASE FOR ALTER_TABLE AS ROLLBACK";
    const std::u16string logons[] = {u"CREATE TRIGGER tr\u00E9 ON ALL SERVER FOR LOGON AS ROLLBACK",
                                     u"CREATE TRIGGER \u00E9t ON ALL SERVER FOR LOGON AS ROLLBACK",
                                     u"CREATE TRIGGER x\u3000ON ALL SERVER FOR LOGON AS ROLLBACK",
                                     u"CREATE TRIGGER y --\rON ALL SERVER FOR LOGON AS ROLLBACK"};
    const std::u16string view = u"CREATE VIEW v AS SELECT {d '2001-02-03'} AS d";
    objtest::ObjectRepair repair({{Row2005(1, objtest::Wide(table)), Row2005(2, objtest::Wide(database)),
                                   Row2005(3, objtest::Wide(logons[0])), Row2005(4, objtest::Wide(logons[1])),
                                   Row2005(5, objtest::Wide(logons[2])), Row2005(6, objtest::Wide(logons[3])),
                                   Row2005(7, objtest::Wide(view))}},
                                 true);
    ASSERT_TRUE(repair.opened());
    Connect(repair);
    auto& engine = repair.engine();
    for (int id = 1; id <= 6; ++id) repair.Add(engine.m_lstTriggers, id, u"t" + platform::Widen(std::to_string(id)));
    engine.m_lstTriggers.front().m_bDisabled = true;
    repair.Add(engine.m_lstViews, 7, u"v").m_settings = {true, false, false};
    engine.ScriptDependentObjects(true, false, false);
    engine.ScriptTriggers();
    engine.CreateDatabaseTriggers();
    EXPECT_EQ(Accepted(), (std::vector<std::u16string>{u"SET ANSI_NULLS OFF", u"SET QUOTED_IDENTIFIER OFF", view, table,
                                                        u"DISABLE TRIGGER [t] ON [dbo].[Item]", database}));
    for (const auto& request : server_.Statements()) {
        EXPECT_EQ(request.text.find(u"ALL SERVER"), std::u16string::npos) << platform::ToUtf8(request.text);
    }
    EXPECT_EQ(engine.m_repairTally[mdf::ObjectKind::Trigger].refused, 4u);
}

}  // namespace
