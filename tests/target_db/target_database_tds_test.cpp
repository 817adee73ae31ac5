// Creating the target database and copying rows through the real driver and the TDS double: numbered names
// after "exists" answers, a refusal that ends the repair, a link dropped during the row copy, quoting of names.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "app/repair_names.h"
#include "mdf/recovery_engine.h"
#include "platform/sql_connection.h"
#include "platform/text.h"
#include "rows/insert_statement.h"
#include "target_db/target_database.h"
#include "tests/support/page_builder.h"
#include "tests/support/tds_server_double.h"

using testsupport::TdsFault;
using testsupport::TdsRequest;
using testsupport::TdsServerDouble;

namespace {

std::string U8(const std::u16string& s) { return platform::ToUtf8(s); }

// An engine set up as the repair job leaves it before CreateTargetDatabase, aimed at the double.
struct RepairTarget {
    explicit RepairTarget(TdsServerDouble& server, std::u16string database = u"Recovered_x") : engine(app, &sink) {
        engine.m_targetSettings = server.Settings();
        app.m_strServerInstance = TdsServerDouble::kServerText;
        engine.m_strTargetDatabase = std::move(database);
        setenv("XDG_CACHE_HOME", dir.Path().c_str(), 1);
    }
    ~RepairTarget() {
        engine.CloseConnection();
        unsetenv("XDG_CACHE_HOME");
    }
    testsupport::TempDir dir;
    platform::SharedState app;
    platform::RecordingSink sink;
    mdf::CRecoveryEngine engine;
};

std::vector<std::string> Texts(const std::vector<TdsRequest>& requests) {
    std::vector<std::string> out;
    for (const auto& r : requests) out.push_back(U8(r.text));
    return out;
}

std::vector<std::string> LoginDatabases(const TdsServerDouble& server) {
    std::vector<std::string> out;
    for (const auto& r : server.Logins()) out.push_back(U8(r.database));
    return out;
}

class TargetDatabaseTds : public ::testing::Test {
protected:
    void SetUp() override {
        if (testsupport::FreeTdsDriverPath().empty()) GTEST_SKIP() << "FreeTDS ODBC driver not found at configure time";
    }
};

}  // namespace

TEST_F(TargetDatabaseTds, TakenNamesAreRetriedUnderTheNextNumber) {
    struct Case {
        const char* what;
        std::vector<std::u16string> existing;
        std::optional<TdsFault> fault;
        const char* created;
    };
    const Case cases[] = {
        {"database exists twice", {u"Recovered_x", u"Recovered_x1"}, std::nullopt, "Recovered_x2"},
        {"file exists", {},
         TdsFault::Refuse(u"create database [Recovered_x]", target::kFileExists,
                          u"Cannot create file 'C:\\Data\\Recovered_x.mdf' because it already exists."),
         "Recovered_x1"},
    };
    for (const auto& c : cases) {
        TdsServerDouble server;
        for (const auto& name : c.existing) server.AddDatabase(name);
        if (c.fault) server.AddFault(*c.fault);
        RepairTarget t(server);
        ASSERT_EQ(t.engine.CreateTargetDatabase(), 1) << c.what << ": " << U8(t.engine.m_strTargetFailureText);
        const auto statements = server.Statements();
        ASSERT_EQ(statements.size(), c.existing.size() + (c.fault ? 1 : 0) + 1) << c.what;
        EXPECT_EQ(U8(statements.back().text),
                  std::string("create database [") + c.created + "]");
        EXPECT_TRUE(statements.back().accepted);
        // Every try on a connection of its own to master, then a login to the database made.
        std::vector<std::string> logins(statements.size(), "master");
        logins.push_back(c.created);
        EXPECT_EQ(LoginDatabases(server), logins) << c.what;
        EXPECT_EQ(U8(t.engine.m_strCreatedDatabase), c.created);
        EXPECT_EQ(U8(t.app.m_strContentDbName), c.created);
        EXPECT_TRUE(t.engine.m_pConnection->IsOpen());
        EXPECT_EQ(t.engine.m_statementReport.RefusedCount(), statements.size() - 1);
    }
}

TEST_F(TargetDatabaseTds, OtherRefusalsEndTheRepairWithTheServersText) {
    TdsServerDouble server;
    server.AddFault(TdsFault::Refuse(u"create database", 262, u"CREATE DATABASE permission denied in database 'master'.",
                                     14));
    RepairTarget t(server);
    EXPECT_EQ(t.engine.CreateTargetDatabase(), 0);
    EXPECT_EQ(server.Statements().size(), 1u);  // no second name for a refusal that will not go away
    EXPECT_NE(U8(t.engine.m_strTargetFailureText).find("CREATE DATABASE permission denied in database 'master'."),
              std::string::npos);
    EXPECT_EQ(U8(t.engine.m_strTargetFailureTitle), "Unable to create the database Recovered_x.");
    const auto refused = t.engine.m_statementReport.Refused();
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0].m_nNumber, 262);
    EXPECT_EQ(refused[0].m_strSqlState.size(), 5u);
    EXPECT_FALSE(t.engine.m_pConnection->IsOpen());
}

TEST_F(TargetDatabaseTds, NamesRunOutAfterAHundred) {
    TdsServerDouble server(TdsServerDouble::Limits{.maxConnections = 150, .maxRequests = 1000, .idleSeconds = 30});
    server.AddFault(TdsFault::Refuse(u"create database", target::kDatabaseExists, u"Database already exists."));
    RepairTarget t(server);
    EXPECT_EQ(t.engine.CreateTargetDatabase(), 0);
    const auto statements = server.Statements();
    ASSERT_EQ(statements.size(), static_cast<std::size_t>(target::kMaxDatabaseNames));
    EXPECT_EQ(U8(statements.back().text), "create database [Recovered_x99]");
    EXPECT_EQ(U8(t.engine.m_strTargetFailureText), "[FreeTDS][SQL Server]Database already exists.");
}

TEST_F(TargetDatabaseTds, QuotesInTheFileNameStayInsideTheirQuotes) {
    TdsServerDouble server;
    RepairTarget t(server, app::RecoveredDatabaseName(app::FileNameOfPath(u"/srv/files/a]b'c.mdf")));
    t.engine.m_targetSettings.m_strDataFolder = u"/var/opt/mssql/data";
    ASSERT_EQ(t.engine.CreateTargetDatabase(), 1) << U8(t.engine.m_strTargetFailureText);
    EXPECT_EQ(Texts(server.Statements()),
              std::vector<std::string>{
                  "create database [Recovered_a]]b'c] on primary (NAME =[Recovered_a]]b'c_data], filename = "
                  "N'/var/opt/mssql/data/Recovered_a]b''c.mdf')log on (name=[Recovered_a]]b'c_log],"
                  "filename = N'/var/opt/mssql/data/Recovered_a]b''c.ldf')"});
    // The server read one name out of it, and the login names that database.
    EXPECT_TRUE(server.HasDatabase(u"Recovered_a]b'c"));
    EXPECT_EQ(LoginDatabases(server), (std::vector<std::string>{"master", "Recovered_a]b'c"}));
}

// Closing braces in the file name, through the real driver: a "}" reaches the login as it stands (the driver
// would read a doubled one as two), and a name with a ";" after a "}", which would end its value there and
// add keys of its own (a port, a server, a user), is never created nor written into a connection string.
TEST_F(TargetDatabaseTds, BracesInTheFileNameStayInsideTheirValue) {
    {
        TdsServerDouble server;
        RepairTarget t(server, app::RecoveredDatabaseName(app::FileNameOfPath(u"/srv/files/a}b}.mdf")));
        ASSERT_EQ(t.engine.CreateTargetDatabase(), 1) << U8(t.engine.m_strTargetFailureText);
        EXPECT_EQ(Texts(server.Statements()),
                  std::vector<std::string>{"create database [Recovered_a}b}]"});
        EXPECT_EQ(LoginDatabases(server), (std::vector<std::string>{"master", "Recovered_a}b}"}));
    }
    for (const char16_t* file : {u"/srv/files/a};PORT={1}.mdf", u"/srv/files/a};UID={intruder}.mdf"}) {
        TdsServerDouble server;
        RepairTarget t(server, app::RecoveredDatabaseName(app::FileNameOfPath(file)));
        EXPECT_EQ(t.engine.CreateTargetDatabase(), 0) << U8(file);
        EXPECT_TRUE(server.Statements().empty()) << U8(file);
        EXPECT_EQ(LoginDatabases(server), std::vector<std::string>{"master"}) << U8(file);
        for (const auto& login : server.Logins()) EXPECT_EQ(U8(login.user), "tester");
        EXPECT_EQ(U8(t.engine.m_strTargetFailureTitle), "Unable to create the database " + U8(t.engine.m_strCreatedDatabase) + ".");
        EXPECT_NE(t.engine.m_strTargetFailureText.find(u"DATABASE value cannot be written"), std::u16string::npos)
            << U8(t.engine.m_strTargetFailureText);
        // The statement that was not sent stays in the report, so the job does not read the repair as a success.
        const auto refused = t.engine.m_statementReport.Refused();
        ASSERT_EQ(refused.size(), 1u);
        EXPECT_EQ(U8(refused[0].m_strStatement).rfind("create database [Recovered_a};", 0), 0u);
        EXPECT_EQ(U8(refused[0].m_strSqlState), "08001");
    }
}

TEST_F(TargetDatabaseTds, DroppedLinkDuringTheRowCopyLogsInAgainAndCountsTheRowOnce) {
    TdsServerDouble server;
    server.AddFault(TdsFault::DropSocket(u"insert into", 5));
    RepairTarget t(server, u"Recovered_t");
    ASSERT_EQ(t.engine.CreateTargetDatabase(), 1);
    t.app.m_bRepairRequested = true;
    mdf::TableNode table;
    table.m_pszName = u"dbo.T";
    table.m_strSchema = u"dbo";
    auto utf16 = [](const std::string& text) {
        std::vector<std::uint8_t> bytes;
        for (char c : text) bytes.insert(bytes.end(), {static_cast<std::uint8_t>(c), 0});
        return bytes;
    };
    for (int id = 1; id <= 6; ++id) {
        rows::InsertStatement row(table, true);
        row.AddValue(u"Id", platform::Widen(std::to_string(id)));
        row.AddParameter(u"Name", platform::adLongVarWChar, utf16("row " + std::to_string(id)));
        t.engine.ExecuteRowStatement(row);
    }
    EXPECT_EQ(t.app.m_nRecoveredCount.load(), 6u);
    EXPECT_FALSE(t.app.m_bStopJob.load());
    // Each row went in once, with its own parameter (the one met by the dropped link too).
    std::vector<std::string> inserted;
    for (const auto& r : server.Statements()) {
        if (!r.accepted || r.kind != TdsRequest::Kind::Rpc) continue;
        ASSERT_EQ(r.parameters.size(), 1u);
        inserted.push_back(U8(r.text) + " <- " + U8(r.parameters[0].Text()));
    }
    std::vector<std::string> expected;
    for (int id = 1; id <= 6; ++id) {
        expected.push_back("insert into [dbo].[T] ([Id],[Name]) values (" + std::to_string(id) + ",@P1) ; <- row " +
                           std::to_string(id));
    }
    EXPECT_EQ(inserted, expected);
    const auto statements = server.Statements();
    ASSERT_EQ(statements.size(), 8u);  // create, rows 1 to 4, the dropped 5th, rows 5 and 6
    EXPECT_TRUE(statements[5].droppedSocket);
    // The second login goes to the same database, on a connection of its own.
    EXPECT_EQ(LoginDatabases(server), (std::vector<std::string>{"master", "Recovered_t", "Recovered_t"}));
    const auto logins = server.Logins();
    EXPECT_NE(logins[1].connection, logins[2].connection);
}
