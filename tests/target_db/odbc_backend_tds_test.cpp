// The ODBC backend through the real unixODBC and FreeTDS driver against the TDS double.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstring>
#include <iostream>
#include <chrono>
#include <mutex>
#include <thread>

#include "platform/odbc_sql_connection.h"
#include "platform/text.h"
#include "tests/support/tds_server_double.h"

using platform::OdbcSqlBackend;
using platform::SqlError;
using platform::SqlStatement;
using testsupport::TdsFault;
using testsupport::TdsRequest;
using testsupport::TdsServerDouble;

// The host name of the separator test resolves to the double's address; every name the driver looks up is
// noted. The driver is loaded into this process, so this definition stands in for the C library's.
constexpr const char* kAliasedHost = "x;Database=master";
namespace {
std::mutex g_lookupMutex;
std::vector<std::string> g_lookedUp;
std::vector<std::string> LookedUp() {
    std::lock_guard lock(g_lookupMutex);
    return g_lookedUp;
}
}  // namespace

extern "C" int getaddrinfo(const char* node, const char* service, const struct addrinfo* hints,
                           struct addrinfo** result) {
    using Real = int (*)(const char*, const char*, const struct addrinfo*, struct addrinfo**);
    static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "getaddrinfo"));
    if (node != nullptr) {
        std::lock_guard lock(g_lookupMutex);
        g_lookedUp.emplace_back(node);
        if (std::strcmp(node, kAliasedHost) == 0) node = "127.0.0.1";
    }
    return real(node, service, hints, result);
}

namespace {

std::string U8(const std::u16string& s) { return platform::ToUtf8(s); }

class OdbcBackendTds : public ::testing::Test {
protected:
    void SetUp() override {
        if (testsupport::FreeTdsDriverPath().empty()) GTEST_SKIP() << "FreeTDS ODBC driver not found at configure time";
    }
    TdsServerDouble server_;
};

}  // namespace

TEST_F(OdbcBackendTds, ConnectsAndReportsTheDriverVersion) {
    OdbcSqlBackend backend;
    backend.Open(server_.ConnectionString(u"master"));
    ASSERT_TRUE(backend.IsOpen());
    const std::string version = U8(backend.DriverVersion());
    std::cout << "FreeTDS ODBC driver " << version << ", server " << U8(backend.ServerVersion()) << "\n";
    RecordProperty("driver_version", version);
    EXPECT_FALSE(version.empty());
    const auto logins = server_.Logins();
    ASSERT_EQ(logins.size(), 1u);
    EXPECT_EQ(U8(logins[0].user), "tester");
    EXPECT_EQ(U8(logins[0].database), "master");
    EXPECT_TRUE(logins[0].passwordGiven);
    SqlStatement s;
    s.m_strText = u"SET NOCOUNT ON";
    backend.Execute(s);
    backend.Close();
    EXPECT_FALSE(backend.IsOpen());
}

namespace {

SqlStatement Statement(std::u16string text, std::vector<platform::Parameter> params = {}) {
    SqlStatement s;
    s.m_strText = std::move(text);
    s.m_params = std::move(params);
    return s;
}

platform::Parameter Param(platform::DataTypeEnum type, std::vector<std::uint8_t> bytes) {
    return platform::Command::CreateParameter(u"p", type, platform::adParamInput, bytes.size(), std::move(bytes));
}

std::vector<std::uint8_t> Utf16Bytes(const std::u16string& text) {
    std::vector<std::uint8_t> out;
    for (char16_t c : text) {
        out.push_back(static_cast<std::uint8_t>(c));
        out.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return out;
}

}  // namespace

TEST_F(OdbcBackendTds, BatchTextArrivesAsUtf16) {
    OdbcSqlBackend backend;
    backend.Open(server_.ConnectionString());
    const std::u16string text = u"create table [T\u00e4bl\u00eb \u8868] ([\u20ac] nvarchar(10))";
    backend.Execute(Statement(text));
    const auto statements = server_.Statements();
    ASSERT_EQ(statements.size(), 1u);
    EXPECT_EQ(statements[0].kind, TdsRequest::Kind::Batch);
    EXPECT_EQ(statements[0].text, text);
    EXPECT_TRUE(statements[0].accepted);
}

// The driver ends a statement's text at a NUL, so a NUL inside a name read from a damaged file would send a
// cut statement (one the server might still take): such a text is refused whole and nothing is sent. A long
// text arrives whole.
TEST_F(OdbcBackendTds, StatementTextIsSentWholeOrNotAtAll) {
    OdbcSqlBackend backend;
    backend.Open(server_.ConnectionString());
    const std::u16string with_nul = std::u16string(u"delete from [a") + u'\0' + u"b] where [c] = 1";
    try {
        backend.Execute(Statement(with_nul));
        ADD_FAILURE() << "a text with a NUL was run";
    } catch (const platform::SqlError& error) {
        EXPECT_EQ(error.SqlState(), u"22025");
        EXPECT_FALSE(platform::IsConnectionLost(error));
    }
    EXPECT_TRUE(server_.Statements().empty());
    EXPECT_TRUE(backend.IsOpen());

    const std::u16string long_text = u"create table [T] ([" + std::u16string(70000, u'x') + u"] int)";
    backend.Execute(Statement(long_text));
    const auto statements = server_.Statements();
    ASSERT_EQ(statements.size(), 1u);
    EXPECT_TRUE(statements[0].text == long_text);
}

TEST_F(OdbcBackendTds, ParametersArriveWithTheirDeclaredTypeAndBytes) {
    OdbcSqlBackend backend;
    backend.Open(server_.ConnectionString());
    const std::u16string short_text = u"Gr\u00fc\u00dfe";
    const std::u16string long_text(4001, u'L');
    std::vector<std::uint8_t> long_binary(9000);
    for (std::size_t i = 0; i < long_binary.size(); ++i) long_binary[i] = static_cast<std::uint8_t>(i * 7);
    struct Case {
        platform::Parameter parameter;
        const char* declared;  // the type as the double read it off the wire
        bool isNull;
    };
    // Text up to 4000 characters as nchar(n) of its own length (nothing to pad), longer text as nvarchar(max);
    // binary by its own type, long binary as varbinary(max); empty values variable-length, so never padded.
    const std::vector<Case> cases = {
        {Param(platform::adWChar, Utf16Bytes(short_text)), "nchar(5)", false},
        {Param(platform::adChar, Utf16Bytes(u"abc")), "nchar(3)", false},
        {Param(platform::adLongVarChar, Utf16Bytes(u"x")), "nchar(1)", false},
        {Param(platform::adLongVarWChar, Utf16Bytes(std::u16string(4000, u'M'))), "nchar(4000)", false},
        {Param(platform::adLongVarWChar, Utf16Bytes(long_text)), "nvarchar(max)", false},
        {Param(platform::adWChar, {}), "nvarchar(1)", false},
        {Param(platform::adBinary, {1, 2, 3, 0}), "binary(4)", false},
        {Param(platform::adBinary, {}), "varbinary(1)", false},
        {Param(platform::adVarBinary, {0xFF, 0}), "varbinary(2)", false},
        {Param(platform::adLongVarBinary, {9, 8}), "varbinary(max)", false},
        {Param(platform::adVarBinary, long_binary), "varbinary(max)", false},
        {Param(platform::adEmpty, {}), "nvarchar(1)", true},
    };
    std::vector<platform::Parameter> params;
    std::u16string text = u"insert into [t] values (";
    for (std::size_t i = 0; i < cases.size(); ++i) {
        params.push_back(cases[i].parameter);
        text += i == 0 ? u"?" : u",?";
    }
    text += u")";
    backend.Execute(Statement(text, params));
    const auto statements = server_.Statements();
    ASSERT_EQ(statements.size(), 1u);
    const auto& rpc = statements[0];
    EXPECT_EQ(rpc.kind, TdsRequest::Kind::Rpc);
    EXPECT_EQ(U8(rpc.procedure), "sp_executesql");
    ASSERT_EQ(rpc.parameters.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const auto& got = rpc.parameters[i];
        EXPECT_EQ(got.TypeName(), cases[i].declared) << i;
        EXPECT_EQ(got.isNull, cases[i].isNull) << i;
        if (!cases[i].isNull) {
            EXPECT_EQ(got.bytes, cases[i].parameter.m_value) << i;
        }
    }
}

// Definitions from a data file reach the server as they are stored: the driver rewrites no ODBC escape in them
// (a view's {d '...'} column would become varchar, a {call ...} an RPC), with parameters or without.
TEST_F(OdbcBackendTds, EscapeSequencesArriveByteForByte) {
    OdbcSqlBackend backend;
    backend.Open(server_.ConnectionString());
    const std::u16string texts[] = {
        u"CREATE VIEW v AS SELECT {d '2001-02-03'} AS d",
        u"CREATE VIEW v2 AS SELECT {ts '2001-02-03 04:05:06'} AS t, {t '04:05:06'} AS u",
        u"CREATE VIEW v3 AS SELECT {fn UCASE(name)} AS n FROM t",
        u"CREATE PROCEDURE p AS {call q(1)}",
        u"CREATE VIEW v4 AS SELECT a.x FROM {oj a LEFT OUTER JOIN b ON a.x = b.x}",
        u"CREATE VIEW v5 AS SELECT {escape '\\'} AS e, {guid '00000000-0000-0000-0000-000000000000'} AS g",
    };
    for (const auto& text : texts) backend.Execute(Statement(text));
    backend.Execute(Statement(u"insert into [t] ([d],[x]) values ('{d}',?)", {Param(platform::adWChar, Utf16Bytes(u"{fn x}"))}));
    const auto statements = server_.Statements();
    ASSERT_EQ(statements.size(), std::size(texts) + 1);
    for (std::size_t i = 0; i < std::size(texts); ++i) {
        EXPECT_EQ(U8(statements[i].text), U8(texts[i])) << i;
        EXPECT_TRUE(statements[i].accepted) << i;
    }
    EXPECT_EQ(U8(statements.back().text), "insert into [t] ([d],[x]) values ('{d}',@P1)");
    ASSERT_EQ(statements.back().parameters.size(), 1u);
    EXPECT_EQ(statements.back().parameters[0].Text(), u"{fn x}");
    // A refusal of such a text is the statement's refusal, as for any other.
    server_.AddFault(testsupport::TdsFault::Refuse(u"{d '1999"));
    EXPECT_THROW(backend.Execute(Statement(u"CREATE VIEW w AS SELECT {d '1999-01-01'} AS d")), platform::SqlError);
    EXPECT_TRUE(backend.IsOpen());
}

// A value holds every character it stores, zeros among them: none ends it on the way.
TEST_F(OdbcBackendTds, ZerosInsideValuesArrive) {
    OdbcSqlBackend backend;
    backend.Open(server_.ConnectionString());
    const std::u16string narrow(u"ab\0cd", 5);
    const std::u16string wide(u"a\0b", 3);
    const std::vector<std::uint8_t> binary = {1, 0, 2, 0, 0};
    backend.Execute(Statement(u"insert into [t] values (?,?,?)",
                              {Param(platform::adLongVarChar, Utf16Bytes(narrow)),
                               Param(platform::adLongVarWChar, Utf16Bytes(wide)), Param(platform::adVarBinary, binary)}));
    const auto statements = server_.Statements();
    ASSERT_EQ(statements.size(), 1u);
    ASSERT_EQ(statements[0].parameters.size(), 3u);
    EXPECT_TRUE(statements[0].parameters[0].Text() == narrow);
    EXPECT_TRUE(statements[0].parameters[1].Text() == wide);
    EXPECT_EQ(statements[0].parameters[2].bytes, binary);
}

TEST_F(OdbcBackendTds, RefusalCarriesTheServersTextNumberAndState) {
    OdbcSqlBackend backend;
    backend.Open(server_.ConnectionString());
    server_.AddFault(TdsFault::Refuse(u"alter table", 1750, u"Could not create constraint or index. See previous errors."));
    try {
        backend.Execute(Statement(u"alter table [t] add constraint [pk] primary key ([a])"));
        FAIL() << "the refusal was not reported";
    } catch (const SqlError& error) {
        EXPECT_EQ(error.NativeError(), 1750);
        EXPECT_EQ(error.SqlState().size(), 5u);
        EXPECT_FALSE(error.SqlState().starts_with(u"08")) << U8(error.SqlState());
        EXPECT_NE(U8(error.Description()).find("Could not create constraint or index."), std::string::npos);
        EXPECT_FALSE(platform::IsConnectionLost(error));
    }
    // A refusal leaves the connection usable; so does one inside an sp_executesql call.
    EXPECT_TRUE(backend.IsOpen());
    server_.AddFault(TdsFault::Refuse(u"insert into [t]", 2627, u"Violation of PRIMARY KEY constraint."));
    auto p = platform::Command::CreateParameter(u"a", platform::adWChar, platform::adParamInput, 2, {0x41, 0});
    EXPECT_THROW(backend.Execute(Statement(u"insert into [t] values (?)", {p})), SqlError);
    backend.Execute(Statement(u"insert into [u] values (1)"));
    const auto statements = server_.Statements();
    ASSERT_EQ(statements.size(), 3u);
    EXPECT_EQ(statements[1].errorNumber, 2627);
    EXPECT_TRUE(statements[2].accepted);
}

TEST_F(OdbcBackendTds, DroppedSocketIsALostConnection) {
    OdbcSqlBackend backend;
    backend.Open(server_.ConnectionString());
    server_.AddFault(TdsFault::DropSocket(u"insert", 2));
    backend.Execute(Statement(u"insert into [t] values (1)"));
    try {
        backend.Execute(Statement(u"insert into [t] values (2)"));
        FAIL() << "the dropped link was not reported";
    } catch (const SqlError& error) {
        EXPECT_TRUE(error.SqlState().starts_with(u"08")) << U8(error.SqlState()) << " " << U8(error.Description());
        EXPECT_TRUE(platform::IsConnectionLost(error));
    }
    EXPECT_FALSE(backend.IsOpen());
    try {
        backend.Execute(Statement(u"insert into [t] values (3)"));
        FAIL() << "a statement on a lost link was not refused";
    } catch (const SqlError& error) {
        EXPECT_TRUE(platform::IsConnectionLost(error));
    }
    // Open again: a new login.
    backend.Open(server_.ConnectionString());
    backend.Execute(Statement(u"insert into [t] values (3)"));
    EXPECT_EQ(server_.Logins().size(), 2u);
    EXPECT_EQ(server_.ConnectionCount(), 2);
}

TEST_F(OdbcBackendTds, RefusedLoginsAreConnectionFailures) {
    struct Case {
        const char* what;
        bool refuse_login;
        const char16_t* database;
        std::int32_t number;       // what the double answered
        const char* server_text;  // found in the error's description
    };
    const Case cases[] = {
        {"login refused", true, u"master", 18456, "Login failed for user 'tester'."},
        {"database never created", false, u"Recovered_none", 4060,
         "Cannot open database \"Recovered_none\" requested by the login."},
    };
    for (const auto& c : cases) {
        TdsServerDouble server;
        if (c.refuse_login) server.RefuseLogin(u"Login failed for user 'tester'.");
        OdbcSqlBackend backend;
        try {
            backend.Open(server.ConnectionString(c.database));
            ADD_FAILURE() << c.what << ": the login went through";
        } catch (const SqlError& error) {
            EXPECT_NE(U8(error.Description()).find(c.server_text), std::string::npos) << U8(error.Description());
            EXPECT_EQ(error.NativeError(), 18456) << c.what;
            EXPECT_EQ(error.Error(), 0x80004005u) << c.what;
        }
        EXPECT_FALSE(backend.IsOpen()) << c.what;
        const auto logins = server.Logins();
        ASSERT_EQ(logins.size(), 1u) << c.what;
        EXPECT_EQ(logins[0].errorNumber, c.number) << c.what;
    }
}

TEST_F(OdbcBackendTds, AServerNameWithSeparatorsReachesTheLoginAsTheHost) {
    // The name resolves to the double only in this test (see getaddrinfo above); the driver must look it up whole.
    server_.AddDatabase(u"Recovered_x");
    const std::size_t earlier = LookedUp().size();
    OdbcSqlBackend backend;
    backend.Open(server_.Settings().ConnectionString(platform::FromUtf8(kAliasedHost), u"Recovered_x"));
    const auto looked_up = LookedUp();
    EXPECT_EQ(std::vector<std::string>(looked_up.begin() + static_cast<std::ptrdiff_t>(earlier), looked_up.end()),
              std::vector<std::string>{kAliasedHost});
    const auto logins = server_.Logins();
    ASSERT_EQ(logins.size(), 1u);
    EXPECT_EQ(U8(logins[0].serverName), kAliasedHost);
    EXPECT_EQ(U8(logins[0].database), "Recovered_x");
}

TEST_F(OdbcBackendTds, FaultScriptChoosesItsStatements) {
    OdbcSqlBackend backend;
    backend.Open(server_.ConnectionString());
    // The 2nd "insert": refused once. "create view [v2]": refused until "create view [v1]" went in.
    server_.AddFault(TdsFault::Refuse(u"INSERT", 547).Nth(2));
    server_.AddFault(TdsFault::Refuse(u"create view [v2]", 208).Until(u"create view [v1]"));
    server_.AddFault(TdsFault::Refuse(u"create view [v1]", 208).Nth(1));
    const char16_t* sequence[] = {u"insert into a values (1)", u"insert into a values (2)", u"insert into a values (3)",
                                  u"create view [v2] as select 1 x", u"create view [v1] as select 1 x",
                                  u"create view [v2] as select 1 x", u"create view [v1] as select 1 x",
                                  u"create view [v2] as select 1 x"};
    std::vector<bool> accepted;
    for (const char16_t* text : sequence) {
        try {
            backend.Execute(Statement(text));
            accepted.push_back(true);
        } catch (const SqlError&) {
            accepted.push_back(false);
        }
    }
    EXPECT_EQ(accepted, (std::vector<bool>{true, false, true, false, false, false, true, true}));
    const auto statements = server_.Statements();
    ASSERT_EQ(statements.size(), 8u);
    EXPECT_EQ(statements[1].errorNumber, 547);
    EXPECT_EQ(statements[3].errorNumber, 208);
}

TEST_F(OdbcBackendTds, NoPasswordIsRecorded) {
    OdbcSqlBackend backend;
    backend.Open(server_.ConnectionString());
    for (const auto& r : server_.Requests()) {
        for (const auto* field : {&r.user, &r.database, &r.serverName, &r.hostName, &r.appName, &r.text}) {
            EXPECT_EQ(U8(*field).find("not-recorded"), std::string::npos);
        }
    }
}

TEST_F(OdbcBackendTds, QueryTimeoutCancelsTheStatementAndKeepsTheLink) {
    OdbcSqlBackend backend;
    backend.Open(server_.ConnectionString());
    server_.AddFault(TdsFault::Stall(u"waitfor"));
    SqlStatement hung = Statement(u"waitfor delay '01:00:00'");
    hung.m_nTimeoutSeconds = 1;
    try {
        backend.Execute(hung);
        FAIL() << "the timeout was not reported";
    } catch (const SqlError& error) {
        EXPECT_EQ(U8(error.SqlState()), "HYT00") << U8(error.Description());
        EXPECT_FALSE(platform::IsConnectionLost(error));
    }
    EXPECT_TRUE(backend.IsOpen());
    backend.Execute(Statement(u"insert into [t] values (1)"));
    const auto requests = server_.Requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_TRUE(requests[1].cancelled);
    EXPECT_EQ(requests[2].kind, TdsRequest::Kind::Attention);
    EXPECT_TRUE(requests[3].accepted);
}

// Stop's cancel, from another thread, while the server holds a statement that has no time limit: the
// statement ends as cancelled (not as a lost link), and nothing later reaches the server.
TEST_F(OdbcBackendTds, CancelFromAnotherThreadEndsTheStatementAndRefusesLaterOnes) {
    OdbcSqlBackend backend;
    backend.Open(server_.ConnectionString());
    server_.AddFault(TdsFault::Stall(u"waitfor"));
    SqlStatement hung = Statement(u"waitfor delay '01:00:00'");
    hung.m_nTimeoutSeconds = platform::kNoTimeLimit;
    std::thread stop([&] {
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (server_.StallsBegun() == 0 && std::chrono::steady_clock::now() < give_up) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        backend.Cancel();
    });
    try {
        backend.Execute(hung);
        ADD_FAILURE() << "the cancel was not reported";
    } catch (const SqlError& error) {
        EXPECT_EQ(U8(error.SqlState()), "HY008") << U8(error.Description());
        EXPECT_FALSE(platform::IsConnectionLost(error));
    }
    stop.join();
    EXPECT_THROW(backend.Execute(Statement(u"insert into [t] values (1)")), SqlError);
    const auto statements = server_.Statements();
    ASSERT_EQ(statements.size(), 1u);
    EXPECT_TRUE(statements[0].cancelled);
}

TEST_F(OdbcBackendTds, TheDoubleIsBoundedInConnectionsAndRequests) {
    {
        TdsServerDouble server(TdsServerDouble::Limits{.maxConnections = 1, .maxRequests = 100, .idleSeconds = 30});
        OdbcSqlBackend first;
        OdbcSqlBackend second;
        first.Open(server.ConnectionString());
        EXPECT_THROW(second.Open(server.ConnectionString()), SqlError);
        EXPECT_EQ(server.Logins().size(), 1u);
    }
    {
        TdsServerDouble server(TdsServerDouble::Limits{.maxConnections = 4, .maxRequests = 2, .idleSeconds = 30});
        OdbcSqlBackend backend;
        backend.Open(server.ConnectionString());
        backend.Execute(Statement(u"select 1"));
        backend.Execute(Statement(u"select 2"));
        try {
            backend.Execute(Statement(u"select 3"));
            ADD_FAILURE() << "a request beyond the bound was answered";
        } catch (const SqlError& error) {
            EXPECT_TRUE(platform::IsConnectionLost(error));
        }
    }
}

namespace {

// A raw client of the double: a socket to its port that gives up waiting after 20 s, so no test hangs on it.
int RawClient(const TdsServerDouble& server) {
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(server.Port());
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (s < 0 || ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return -1;
    const timeval wait{20, 0};
    ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    return s;
}

// What recv says after the double was given its chance to answer: 0 when it closed the link without a word.
ssize_t FirstAnswer(int s) {
    char byte = 0;
    return ::recv(s, &byte, 1, 0);
}

}  // namespace

// A client that says nothing is let go after the idle bound; a login message too short for its own fields is
// dropped unanswered, never read past its end.
TEST(TdsServerDoubleBounds, SilentAndMalformedClientsAreDropped) {
    TdsServerDouble server(TdsServerDouble::Limits{.maxConnections = 4, .maxRequests = 10, .idleSeconds = 1});
    const int silent = RawClient(server);
    ASSERT_GE(silent, 0);
    EXPECT_EQ(FirstAnswer(silent), 0);
    ::close(silent);

    const int client = RawClient(server);
    ASSERT_GE(client, 0);
    std::vector<std::uint8_t> login7 = {0x10, 0x01, 0, 8 + 44, 0, 0, 1, 0};
    login7.resize(8 + 44, 0);  // the fixed part ends at 36 + 4; the password's place (46) lies beyond it
    ASSERT_EQ(::send(client, login7.data(), login7.size(), MSG_NOSIGNAL), static_cast<ssize_t>(login7.size()));
    EXPECT_EQ(FirstAnswer(client), 0);
    ::close(client);
    EXPECT_TRUE(server.Logins().empty());
}

TEST(TdsParameters, ReadsEveryCharacterAndBinaryForm) {
    using testsupport::ParseTdsParameters;
    // Name "@a" (2 characters), status 0, then the type description and the value.
    auto head = [](std::uint8_t type) { return std::vector<std::uint8_t>{2, '@', 0, 'a', 0, 0, type}; };
    auto cat = [](std::vector<std::uint8_t> a, const std::vector<std::uint8_t>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const std::vector<std::uint8_t> collation = {0x09, 0x04, 0xD0, 0x00, 0x34};
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        const char* type;
        bool isNull;
        std::vector<std::uint8_t> value;
    };
    const Case cases[] = {
        {"nvarchar", cat(cat(cat(head(0xE7), {0x08, 0x00}), collation), {4, 0, 'h', 0, 'i', 0}), "nvarchar(4)", false,
         {'h', 0, 'i', 0}},
        {"nvarchar NULL", cat(cat(cat(head(0xE7), {0x08, 0x00}), collation), {0xFF, 0xFF}), "nvarchar(4)", true, {}},
        {"nchar", cat(cat(cat(head(0xEF), {0x02, 0x00}), collation), {2, 0, 'z', 0}), "nchar(1)", false, {'z', 0}},
        {"varchar", cat(cat(cat(head(0xA7), {0x0A, 0x00}), collation), {3, 0, 'a', 'b', 'c'}), "varchar(10)", false,
         {'a', 'b', 'c'}},
        {"char", cat(cat(cat(head(0xAF), {0x01, 0x00}), collation), {1, 0, 'q'}), "char(1)", false, {'q'}},
        {"varbinary", cat(head(0xA5), {0x40, 0x1F, 2, 0, 0xDE, 0xAD}), "varbinary(8000)", false, {0xDE, 0xAD}},
        {"binary", cat(head(0xAD), {0x02, 0x00, 2, 0, 0x00, 0x01}), "binary(2)", false, {0x00, 0x01}},
        // Values in chunks: total length, then chunks up to a zero-length one.
        {"nvarchar(max) in two chunks",
         cat(cat(cat(head(0xE7), {0xFF, 0xFF}), collation),
             {4, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 'a', 0, 2, 0, 0, 0, 'b', 0, 0, 0, 0, 0}),
         "nvarchar(max)", false, {'a', 0, 'b', 0}},
        {"varbinary(max) NULL", cat(head(0xA5), {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}),
         "varbinary(max)", true, {}},
        {"ntext", cat(cat(cat(head(0x63), {0xFF, 0xFF, 0xFF, 0x7F}), collation), {2, 0, 0, 0, 'n', 0}), "ntext", false,
         {'n', 0}},
        {"text", cat(cat(cat(head(0x23), {0xFF, 0xFF, 0xFF, 0x7F}), collation), {1, 0, 0, 0, 't'}), "text", false,
         {'t'}},
        {"image NULL", cat(head(0x22), {0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF}), "image", true, {}},
        {"int", cat(head(0x26), {4, 4, 7, 0, 0, 0}), "int", false, {7, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        const auto parsed = ParseTdsParameters(c.bytes);
        ASSERT_EQ(parsed.size(), 1u) << c.what;
        EXPECT_EQ(U8(parsed[0].name), "@a") << c.what;
        EXPECT_EQ(parsed[0].TypeName(), c.type) << c.what;
        EXPECT_EQ(parsed[0].isNull, c.isNull) << c.what;
        EXPECT_EQ(parsed[0].bytes, c.value) << c.what;
    }
    // A value that runs past the end, or a type the double does not know, is no request at all.
    EXPECT_THROW(ParseTdsParameters(cat(head(0xA5), {0x40, 0x1F, 9, 0, 1})), std::runtime_error);
    EXPECT_THROW(ParseTdsParameters(cat(head(0xF3), {0})), std::runtime_error);
}
