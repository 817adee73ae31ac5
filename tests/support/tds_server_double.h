// A stand-in for SQL Server in the tests: a TDS 7.4 server in this process on 127.0.0.1 (an ephemeral port),
// spoken to by the real unixODBC and FreeTDS driver. It answers PRELOGIN (no encryption), LOGIN7, SQL batches,
// sp_executesql calls and attentions, records every request (never a password), and follows a fault script:
// refuse chosen statements, drop the socket, refuse the login or a database that was never created.
// One double per test; it is bounded in connections, requests and idle time, and stops with its destructor.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/target_settings.h"

namespace testsupport {

// The FreeTDS ODBC driver library found when the build was configured; empty when none was found.
std::u16string FreeTdsDriverPath();

// TDS data type bytes of the parameters the driver sends.
enum TdsType : std::uint8_t {
    kTdsImage = 0x22,
    kTdsText = 0x23,
    kTdsIntN = 0x26,
    kTdsNText = 0x63,
    kTdsBigVarBinary = 0xA5,
    kTdsBigVarChar = 0xA7,
    kTdsBigBinary = 0xAD,
    kTdsBigChar = 0xAF,
    kTdsNVarChar = 0xE7,
    kTdsNChar = 0xEF,
};

// One parameter of an RPC: its declared type as it came on the wire and its value's bytes.
struct TdsParameter {
    std::u16string name;
    std::uint8_t type = 0;
    std::uint32_t maxLength = 0;  // from the type description; 0xFFFF with plp for the (max) types
    bool plp = false;             // the value came in chunks (partially length-prefixed)
    bool isNull = false;
    std::vector<std::uint8_t> bytes;
    // "nvarchar(4000)", "nvarchar(max)", "ntext", "varbinary(8000)", "int", ...
    std::string TypeName() const;
    // The bytes read as UTF-16LE (for the N types).
    std::u16string Text() const;
};

// The parameters of an RPC request from the first one's name on (the layout of the published protocol); throws
// std::runtime_error when the bytes end early or hold a type the double does not know.
std::vector<TdsParameter> ParseTdsParameters(const std::vector<std::uint8_t>& bytes);

struct TdsRequest {
    enum class Kind { Login, Batch, Rpc, Attention };
    Kind kind = Kind::Batch;
    int connection = 0;  // 1 for the first connection accepted, and so on
    // Login: what LOGIN7 carried (the password only as "given or not").
    std::u16string user;
    std::u16string database;
    std::u16string serverName;
    std::u16string hostName;
    std::u16string appName;
    bool passwordGiven = false;
    // Batch: its text. Rpc: the procedure's name ("sp_executesql" for its number), the statement it runs, the
    // parameter declarations and the parameter values after those two.
    std::u16string text;
    std::u16string procedure;
    std::u16string declarations;
    std::vector<TdsParameter> parameters;
    // What the double answered: accepted, or refused with this number; droppedSocket when it closed instead.
    bool accepted = false;
    std::int32_t errorNumber = 0;
    bool droppedSocket = false;
    bool cancelled = false;  // stalled and then cancelled by an ATTENTION
};

// One rule of the fault script, matched against the text of every batch and sp_executesql statement.
struct TdsFault {
    std::u16string pattern;   // found anywhere in the text, case ignored; empty matches every request
    int nth = 0;              // 0: every match; n: only the n-th match of this rule
    std::int32_t number = 50000;
    std::uint8_t severity = 16;
    std::u16string message = u"The statement was refused by the test server.";
    std::u16string untilAccepted;  // when set, the rule holds only until a statement containing this is accepted
    bool closeSocket = false;      // drop the connection instead of answering
    bool stall = false;            // answer nothing until the driver cancels (ATTENTION), as a hung server would

    // TdsFault::Refuse(u"create view", 208, u"Invalid object name 'x'.").Nth(2).Until(u"create view [x]")
    static TdsFault Refuse(std::u16string pattern, std::int32_t number = 50000,
                           std::u16string message = u"The statement was refused by the test server.",
                           std::uint8_t severity = 16) {
        TdsFault f;
        f.pattern = std::move(pattern);
        f.number = number;
        f.message = std::move(message);
        f.severity = severity;
        return f;
    }
    static TdsFault DropSocket(std::u16string pattern, int nth = 0) {
        TdsFault f;
        f.pattern = std::move(pattern);
        f.nth = nth;
        f.closeSocket = true;
        return f;
    }
    static TdsFault Stall(std::u16string pattern) {
        TdsFault f;
        f.pattern = std::move(pattern);
        f.stall = true;
        return f;
    }
    TdsFault& Nth(int n) {
        nth = n;
        return *this;
    }
    TdsFault& Until(std::u16string text) {
        untilAccepted = std::move(text);
        return *this;
    }
};

class TdsServerDouble {
public:
    struct Limits {
        int maxConnections = 64;
        int maxRequests = 200000;
        int idleSeconds = 30;
    };

    TdsServerDouble();
    explicit TdsServerDouble(Limits limits);
    ~TdsServerDouble();
    TdsServerDouble(const TdsServerDouble&) = delete;
    TdsServerDouble& operator=(const TdsServerDouble&) = delete;

    std::uint16_t Port() const { return m_nPort; }

    // ---- Fault script (set before the driver connects, or between requests) ----
    void AddFault(TdsFault fault);
    // Every login is refused with 18456 and this text.
    void RefuseLogin(std::u16string message = u"Login failed for user.");
    // A login or USE naming a database that is neither a system database nor created (nor added here) is
    // refused with 4060. On by default.
    void RequireKnownDatabase(bool require);
    void AddDatabase(std::u16string name);
    bool HasDatabase(std::u16string_view name) const;

    // ---- What happened ----
    std::vector<TdsRequest> Requests() const;
    std::vector<TdsRequest> Logins() const;
    // Batches and sp_executesql calls, in arrival order.
    std::vector<TdsRequest> Statements() const;
    int ConnectionCount() const;
    // Statements held by a stall fault so far (counted when the stall begins, before any cancel).
    int StallsBegun() const { return m_nStallsBegun.load(); }

    // ---- Reaching it ----
    // Settings for the FreeTDS driver by path: this server's port, login "tester" with a password.
    platform::TargetSettings Settings() const;
    std::u16string ConnectionString(std::u16string_view database = u"master") const;

    static constexpr const char16_t* kServerText = u"127.0.0.1";

private:
    struct Connection;
    void AcceptLoop();
    void Serve(int socket, int number);

    Limits m_limits;
    int m_nListen = -1;
    int m_wakeRead = -1;
    int m_wakeWrite = -1;
    std::uint16_t m_nPort = 0;
    std::atomic<bool> m_bStopping{false};
    std::atomic<int> m_nStallsBegun{0};
    std::thread m_acceptor;

    mutable std::mutex m_mutex;
    std::vector<std::thread> m_connections;
    std::vector<int> m_sockets;
    int m_nConnections = 0;
    int m_nRequests = 0;
    std::vector<TdsRequest> m_requests;
    struct FaultState {
        TdsFault fault;
        int matches = 0;
        bool lifted = false;
    };
    std::vector<FaultState> m_faults;
    bool m_bRefuseLogin = false;
    std::u16string m_strLoginMessage;
    bool m_bRequireKnownDatabase = true;
    std::vector<std::u16string> m_databases;
    std::vector<std::u16string> m_acceptedTexts;
};

}  // namespace testsupport
