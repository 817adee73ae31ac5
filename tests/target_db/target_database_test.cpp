// The target database's name and statement, the statement forms, the error text and closing, on the recording
// backend (no server needed).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "mdf/recovery_engine.h"
#include "platform/recording_sql_backend.h"
#include "platform/sql_connection.h"
#include "platform/text.h"
#include "target_db/target_database.h"
#include "tests/support/page_builder.h"

namespace {

std::string U8(const std::u16string& s) { return platform::ToUtf8(s); }

std::vector<std::string> Texts(const std::vector<platform::SqlStatement>& statements) {
    std::vector<std::string> out;
    for (const auto& s : statements) out.push_back(U8(s.m_strText));
    return out;
}

// An engine whose connections all go to one recording backend, with its private folders under a test folder.
struct Target {
    Target() : engine(app) {
        backend = std::make_shared<platform::RecordingSqlBackend>();
        engine.m_newBackend = [this] { return backend; };
        app.m_strServerInstance = u"db1";
        engine.m_strTargetDatabase = u"Recovered_site";
        setenv("XDG_CACHE_HOME", dir.Path().c_str(), 1);
    }
    ~Target() { unsetenv("XDG_CACHE_HOME"); }

    testsupport::TempDir dir;
    platform::SharedState app;
    mdf::CRecoveryEngine engine;
    std::shared_ptr<platform::RecordingSqlBackend> backend;
};

}  // namespace

TEST(TargetDatabase, CreateStatements) {
    struct Case {
        const char16_t* name;
        const char16_t* folder;
        const char* statement;
    };
    const Case cases[] = {
        {u"Recovered_site", u"", "create database [Recovered_site] COLLATE Latin1_General_CI_AS_KS_WS"},
        {u"Recovered_site", u"D:\\Data",
         "create database [Recovered_site] on primary (NAME =[Recovered_site_data], filename = "
         "N'D:\\Data\\Recovered_site.mdf')log on (name=[Recovered_site_log],filename = "
         "N'D:\\Data\\Recovered_site.ldf') COLLATE Latin1_General_CI_AS_KS_WS"},
        {u"R1", u"/var/opt/mssql/data/",
         "create database [R1] on primary (NAME =[R1_data], filename = N'/var/opt/mssql/data/R1.mdf')"
         "log on (name=[R1_log],filename = N'/var/opt/mssql/data/R1.ldf') COLLATE "
         "Latin1_General_CI_AS_KS_WS"},
        // A name from a file called a]b'c.mdf: bracketed with "]" doubled, in N'' with "'" doubled.
        {u"Recovered_a]b'c", u"", "create database [Recovered_a]]b'c] COLLATE Latin1_General_CI_AS_KS_WS"},
        {u"Recovered_a]b'c", u"/srv/o'k",
         "create database [Recovered_a]]b'c] on primary (NAME =[Recovered_a]]b'c_data], filename = "
         "N'/srv/o''k/Recovered_a]b''c.mdf')log on (name=[Recovered_a]]b'c_log],filename = "
         "N'/srv/o''k/Recovered_a]b''c.ldf') COLLATE Latin1_General_CI_AS_KS_WS"},
        // A file called ..\..\..\Windows\x.mdf (a valid name here) or with "/" or ":" in it: the database keeps
        // its name, but its files stay inside the data folder.
        {u"Recovered_..\\..\\..\\Windows\\x", u"D:\\Data",
         "create database [Recovered_..\\..\\..\\Windows\\x] on primary (NAME =[Recovered_..\\..\\..\\Windows\\x_data], "
         "filename = N'D:\\Data\\Recovered_.._.._.._Windows_x.mdf')log on "
         "(name=[Recovered_..\\..\\..\\Windows\\x_log],filename = N'D:\\Data\\Recovered_.._.._.._Windows_x.ldf') COLLATE Latin1_General_CI_AS_KS_WS"},
        {u"R/../../etc:x", u"/var/opt/mssql/data",
         "create database [R/../../etc:x] on primary (NAME =[R/../../etc:x_data], filename = "
         "N'/var/opt/mssql/data/R_.._.._etc_x.mdf')log on (name=[R/../../etc:x_log],filename = "
         "N'/var/opt/mssql/data/R_.._.._etc_x.ldf') COLLATE Latin1_General_CI_AS_KS_WS"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(U8(target::CreateDatabaseStatement(c.name, c.folder, u"Latin1_General_CI_AS_KS_WS")), c.statement)
            << U8(c.name);
        // No size anywhere: the model database's is taken (a smaller one is refused).
        EXPECT_EQ(U8(target::CreateDatabaseStatement(c.name, c.folder, u"")).find("size"), std::string::npos);
    }
    EXPECT_EQ(U8(target::CreateDatabaseStatement(u"R", u"", u"")), "create database [R]");
}

TEST(TargetDatabase, DatabaseCollationFromTheBootPageElseTheColumns) {
    auto table = [](std::vector<std::pair<std::uint8_t, std::uint32_t>> columns) {
        mdf::TableNode node;
        std::uint16_t id = 0;
        for (const auto& [type, collation] : columns) {
            mdf::ColumnNode& column = node.m_lstColumns.emplace_back();
            column.m_nColumnId = ++id;
            column.m_nType = type;
            column.m_nCollationId = collation;
        }
        return node;
    };
    constexpr std::uint32_t kSqlCp1 = 0x3400D008;  // SQL_Latin1_General_CP1_CI_AS
    constexpr std::uint32_t kLatinAi = 0xF008;     // Latin1_General_CI_AI
    const std::list<mdf::TableNode> mostly_ai = {table({{167, kLatinAi}, {231, kLatinAi}, {56, kSqlCp1}}),
                                                 table({{175, kSqlCp1}, {99, kLatinAi}})};
    struct Case {
        const char* what;
        std::uint32_t boot;
        std::list<mdf::TableNode> tables;
        const char* collation;
    } cases[] = {
        {"the boot page names it", kSqlCp1, mostly_ai, "SQL_Latin1_General_CP1_CI_AS"},
        {"unreadable boot page: most character columns", 0xFFFFFFFF, mostly_ai, "Latin1_General_CI_AI"},
        {"no character column: the server's default", 0xFFFFFFFF, {table({{56, kSqlCp1}})}, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(U8(target::DatabaseCollation(c.boot, c.tables)), c.collation) << c.what;
    }
}

TEST(TargetDatabase, NamesAreCutSoTheFileNameFits) {
    const std::u16string long_base(200, u'x');
    struct Case {
        std::u16string base;
        const char16_t* suffix;
        std::size_t length;
    };
    const Case cases[] = {
        {u"Recovered_site", u"", 14},
        {u"Recovered_site", u"7", 15},
        {long_base, u"", 123},
        {long_base, u"12", 123},
        {std::u16string(122, u'y'), u"", 122},
        {std::u16string(123, u'y'), u"99", 123},
    };
    for (const auto& c : cases) {
        const auto name = target::DatabaseName(c.base, c.suffix);
        EXPECT_EQ(name.size(), c.length);
        EXPECT_TRUE(name.ends_with(c.suffix));
        EXPECT_LE(name.size() + 5, target::kMaxNameLength);
    }
    // A surrogate pair at the cut is left out whole.
    std::u16string pairs(122, u'a');
    pairs += u"\U0001F600";
    EXPECT_EQ(target::DatabaseName(pairs, u"").size(), 122u);
}

TEST(TargetDatabase, TheNewDatabaseTakesTheCollationTheBootPageNames) {
    Target t;
    testsupport::PageBytes boot{};
    const std::uint8_t id[4] = {0x08, 0xD0, 0x00, 0x34};  // SQL_Latin1_General_CP1_CI_AS
    std::copy(std::begin(id), std::end(id), boot.begin() + 488);
    testsupport::FileBuilder file;
    file.SetPage(9, boot).PageCount(10);
    const auto path = t.dir.Path() / "boot.mdf";
    file.WriteTo(path);
    t.app.m_strDataFilePath = platform::FromUtf8(path.string());
    ASSERT_TRUE(t.engine.OpenDataFile());
    ASSERT_EQ(t.engine.CreateTargetDatabase(), 1);
    EXPECT_EQ(Texts(t.backend->m_accepted),
              std::vector<std::string>{"create database [Recovered_site] COLLATE SQL_Latin1_General_CP1_CI_AS"});
}

TEST(TargetDatabase, CreatesTheDatabaseAndReopensOnIt) {
    Target t;
    ASSERT_EQ(t.engine.CreateTargetDatabase(), 1);
    EXPECT_EQ(Texts(t.backend->m_accepted),
              std::vector<std::string>{"create database [Recovered_site]"});
    ASSERT_EQ(t.backend->m_openedWith.size(), 2u);
    EXPECT_NE(U8(t.backend->m_openedWith[0]).find("SERVER={db1};DATABASE={master};"), std::string::npos);
    EXPECT_NE(U8(t.backend->m_openedWith[1]).find("SERVER={db1};DATABASE={Recovered_site};"), std::string::npos);
    EXPECT_EQ(U8(t.engine.m_strCreatedDatabase), "Recovered_site");
    EXPECT_EQ(U8(t.app.m_strContentDbName), "Recovered_site");
    EXPECT_TRUE(t.engine.m_pConnection->IsOpen());
    ASSERT_TRUE(t.engine.m_pCommand);
    EXPECT_EQ(t.engine.m_pCommand->ActiveConnection(), t.engine.m_pConnection);
    EXPECT_EQ(t.engine.m_statementReport.AcceptedCount(), 1u);

    // The temporary file lies in a folder of this repair that only this user can enter.
    const std::filesystem::path temp = U8(t.engine.m_strTempFile);
    EXPECT_EQ(temp.filename(), "im.txt");
    const auto folder = temp.parent_path();
    EXPECT_EQ(folder, std::filesystem::path(U8(t.engine.m_strRepairFolder)));
    struct stat info {};
    ASSERT_EQ(::stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_TRUE(folder.string().starts_with(t.dir.Path().string()));

    // Closing ends the connection and takes the folder with it; a second close has nothing to close.
    EXPECT_EQ(t.engine.CloseConnection(), 1);
    EXPECT_FALSE(std::filesystem::exists(folder));
    EXPECT_EQ(t.engine.CloseConnection(), 0);
}

TEST(TargetDatabase, CloseBeforeAnyRepairClosesNothing) {
    platform::SharedState app;
    mdf::CRecoveryEngine engine(app);
    EXPECT_EQ(engine.CloseConnection(), 0);
}

TEST(TargetDatabase, EmbeddedEditionCreatesNothingAndOpensTheNamedDatabase) {
    Target t;
    t.engine.m_bEmbeddedEdition = true;
    t.engine.m_strEmbeddedDatabase = u"WSS_Content";
    t.engine.m_strCreatedDatabase = u"earlier";
    ASSERT_EQ(t.engine.CreateTargetDatabase(), 1);
    EXPECT_TRUE(t.backend->m_executed.empty());
    EXPECT_EQ(U8(t.engine.m_strCreatedDatabase), "earlier");
    EXPECT_EQ(U8(t.app.m_strContentDbName), "WSS_Content");
    ASSERT_EQ(t.backend->m_openedWith.size(), 2u);
    EXPECT_NE(U8(t.backend->m_openedWith[1]).find("DATABASE={WSS_Content};"), std::string::npos);
}

TEST(TargetDatabase, UnreachableServerGivesTheConnectionMessage) {
    Target t;
    t.engine.m_targetSettings.m_strLogin = u"sa";
    t.backend->SetRefuseOpen(true);
    EXPECT_EQ(t.engine.CreateTargetDatabase(), 0);
    EXPECT_EQ(U8(t.engine.m_strTargetFailureTitle), "Unable to establish the connection.");
    EXPECT_TRUE(U8(t.engine.m_strTargetFailureText).starts_with("Please Verify your Server\\Instance name."));
    EXPECT_TRUE(t.engine.m_strTempFile.empty());
}

// Without a login the driver signs in with Kerberos: when that cannot work the message says so, not the
// driver's pointer to its debug log.
TEST(TargetDatabase, AFailedConnectionSaysWhyInTheUsersWords) {
    const std::u16string kDriverSetUp = u"[FreeTDS][SQL Server]Local configuration error. Check TDSDUMPCONFIG log";
    const std::u16string kUnreachable = u"[FreeTDS][SQL Server]Unable to connect: Adaptive Server is unavailable";
    struct Case {
        const char* what;
        bool login, ticket;
        std::u16string driver;
        const char* starts;
        bool driver_shown;
    };
    const Case cases[] = {
        {"no login, no ticket", false, false, kDriverSetUp, "No SQL login was given", false},
        {"no login, no ticket, server away", false, false, kUnreachable, "No SQL login was given", false},
        {"no login, a ticket the driver cannot use", false, true, kDriverSetUp, "No SQL login was given", false},
        {"no login, a ticket, server away", false, true, kUnreachable, "Please Verify your Server\\Instance", true},
        {"a login, server away", true, false, kUnreachable, "Please Verify your Server\\Instance", true},
    };
    for (const Case& c : cases) {
        const std::string text = U8(target::NoConnectionText(c.login, c.ticket, c.driver));
        EXPECT_TRUE(text.starts_with(c.starts)) << c.what << ": " << text;
        EXPECT_EQ(text.find("TDSDUMPCONFIG") == std::string::npos, true) << c.what;
        EXPECT_EQ(text.find(U8(c.driver)) != std::string::npos, c.driver_shown) << c.what;
        if (!c.login && !c.driver_shown) {
            EXPECT_NE(text.find("Kerberos"), std::string::npos) << c.what;
            EXPECT_NE(text.find("SQL login and its password"), std::string::npos) << c.what;
        }
    }

    // The engine's own failure, without a login and without a ticket.
    Target t;
    testsupport::TempDir tickets;
    setenv("KRB5CCNAME", ("FILE:" + (tickets.Path() / "none").string()).c_str(), 1);
    EXPECT_FALSE(target::KerberosTicketPresent());
    t.backend->SetRefuseOpen(true);
    EXPECT_EQ(t.engine.CreateTargetDatabase(), 0);
    EXPECT_EQ(U8(t.engine.m_strTargetFailureTitle), "Unable to establish the connection.");
    EXPECT_TRUE(U8(t.engine.m_strTargetFailureText).starts_with("No SQL login was given")) << U8(t.engine.m_strTargetFailureText);
    std::filesystem::create_directories(tickets.Path());
    { std::ofstream(tickets.Path() / "none") << "ticket"; }
    EXPECT_TRUE(target::KerberosTicketPresent());
    unsetenv("KRB5CCNAME");
}

TEST(TargetDatabase, RefusedCreateEndsWithTheServersTextAndStaysInTheReport) {
    Target t;
    t.backend->RefuseContaining(u"create database");
    EXPECT_EQ(t.engine.CreateTargetDatabase(), 0);
    // The recording backend's refusal carries no number: no retry under another name.
    EXPECT_EQ(t.backend->m_executed.size(), 1u);
    EXPECT_EQ(U8(t.engine.m_strTargetFailureText), "The statement was refused by the server.");
    const auto refused = t.engine.m_statementReport.Refused();
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(U8(refused[0].m_strStatement), "create database [Recovered_site]");
}

TEST(TargetDatabase, StatementFormsKeepEveryRefusal) {
    Target t;
    ASSERT_EQ(t.engine.CreateTargetDatabase(), 1);
    t.backend->m_executed.clear();
    t.backend->RefuseContaining(u"bad");
    EXPECT_FALSE(t.engine.RunImmediate(u""));
    EXPECT_FALSE(t.engine.RunCommand(u""));
    EXPECT_TRUE(t.backend->m_executed.empty());  // an empty text is never sent
    EXPECT_TRUE(t.engine.RunImmediate(u"create table [t] (a int)"));
    EXPECT_FALSE(t.engine.RunImmediate(u"bad one"));
    EXPECT_FALSE(t.engine.RunCommand(u"bad two"));
    EXPECT_TRUE(t.engine.RunCommand(u"alter table [t] add b int"));
    const auto refused = t.engine.m_statementReport.Refused();
    ASSERT_EQ(refused.size(), 2u);
    EXPECT_EQ(U8(refused[0].m_strStatement), "bad one");
    EXPECT_EQ(U8(refused[1].m_strStatement), "bad two");
    EXPECT_EQ(U8(refused[1].m_strServerText), "The statement was refused by the server.");
    EXPECT_EQ(t.engine.m_statementReport.AcceptedCount(), 3u);  // the create statement and two here

    // Without a connection a statement is refused, never reported as done.
    t.engine.CloseConnection();
    EXPECT_FALSE(t.engine.RunImmediate(u"create table [u] (a int)"));
    EXPECT_EQ(t.engine.m_statementReport.RefusedCount(), 3u);
}

TEST(TargetDatabase, OnlyTheJobThreadClosesWhileTheJobRuns) {
    Target t;
    ASSERT_EQ(t.engine.CreateTargetDatabase(), 1);
    t.app.m_bJobIdle = false;
    int from_other = -1;
    std::thread([&] { from_other = t.engine.CloseConnection(); }).join();
    EXPECT_EQ(from_other, 0);
    EXPECT_TRUE(t.engine.m_pConnection->IsOpen());
    // Once the job is idle, the window's Stop handler may close it.
    t.app.m_bJobIdle = true;
    std::thread([&] { from_other = t.engine.CloseConnection(); }).join();
    EXPECT_EQ(from_other, 1);
    EXPECT_FALSE(t.engine.m_pConnection->IsOpen());
}

TEST(TargetDatabase, FormatComError) {
    platform::SharedState app;
    mdf::CRecoveryEngine engine(app);
    struct Case {
        platform::SqlError error;
        const char* text;
    };
    const Case cases[] = {
        {{u"IDispatch error #3149", 0x80004005, u"Provider", u"Connection failure"},
         "Message : IDispatch error #3149\nCode : 0x80004005\nSource : Provider\nDescription : Connection failure\n"},
        {{u"Unspecified error", 0x80004005, u"", u""},
         "Message : Unspecified error\nCode : 0x80004005\nSource : null\nDescription : null\n"},
        {{u"E", 0x80040E4D, u"P", u"Login failed: not a valid password"}, "File is password protected"},
        {{u"SQLSTATE 42000", 0x80040E14, u"ODBC", u"[FreeTDS][SQL Server]Refused", u"42000", 262},
         "Message : SQLSTATE 42000\nCode : 0x80040e14\nSource : ODBC\nDescription : [FreeTDS][SQL Server]Refused\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(U8(engine.FormatComError(c.error)), c.text);
}

TEST(TargetDatabase, LostConnectionIsClass08OrTheProvidersWords) {
    struct Case {
        platform::SqlError error;
        bool lost;
    };
    const Case cases[] = {
        {{u"SQLSTATE 08S01", 0x80004005, u"ODBC", u"[FreeTDS][SQL Server]Write to the server failed", u"08S01", 20017},
         true},
        {{u"SQLSTATE 08003", 0x800A0E78, u"ODBC", u"closed", u"08003", 0}, true},
        {{u"IDispatch error #3149", 0x80004005, u"P", platform::RecordingSqlBackend::kConnectionFailure}, true},
        {{u"SQLSTATE 42000", 0x80040E14, u"ODBC", u"Incorrect syntax near 'x'.", u"42000", 102}, false},
        {{u"SQLSTATE HYT00", 0x80040E14, u"ODBC", u"Query timeout expired", u"HYT00", 0}, false},
    };
    for (const auto& c : cases) EXPECT_EQ(platform::IsConnectionLost(c.error), c.lost) << U8(c.error.SqlState());
}

TEST(TargetDatabase, EmbeddedRoadLogsThatTheServiceRestartIsLeftToTheAdministrator) {
    platform::SharedState app;
    platform::RecordingSink sink;
    mdf::CRecoveryEngine engine(app, &sink);
    engine.LogServiceRestartLeftToAdministrator();
    EXPECT_EQ(sink.Count(platform::WM_LOG_LINE), 1u);
    EXPECT_EQ(U8(app.m_strLogLine), U8(target::kServiceRestartLeft));
}

TEST(TargetDatabase, ServerComesFromTheSettingsWhenTheDialogLeftItEmpty) {
    Target t;
    t.app.m_strServerInstance.clear();
    t.engine.m_targetSettings.m_strServer = u"db2,1500";
    t.engine.m_targetSettings.m_strLogin = u"repair";
    t.engine.m_targetSettings.m_strPassword = u"pw";
    ASSERT_EQ(t.engine.CreateTargetDatabase(), 1);
    EXPECT_EQ(U8(t.app.m_strServerInstance), "db2,1500");
    ASSERT_EQ(t.backend->m_openedWith.size(), 2u);
    EXPECT_EQ(U8(t.backend->m_openedWith[1]),
              "DRIVER={FreeTDS};SERVER={db2};PORT={1500};DATABASE={Recovered_site};TDS_Version={7.4};Language={us_english};UID={repair};"
              "PWD={pw}");
}
