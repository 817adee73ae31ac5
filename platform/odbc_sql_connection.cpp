// The ODBC backend: one environment and one connection handle per backend, a statement handle per execution.
// Text crosses as UTF-16 through the wide calls (SQLWCHAR is 16 bits under unixODBC).
#include "platform/odbc_sql_connection.h"

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

namespace platform {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "the wide ODBC calls take UTF-16 units");

namespace {

constexpr std::uint32_t kStatementFailed = 0x80040E14;   // DB_E_ERRORSINCOMMAND
constexpr std::uint32_t kConnectionFailed = 0x80004005;  // E_FAIL
constexpr std::uint32_t kClosedCode = 0x800A0E78;        // "operation is not allowed when closed"
constexpr const char16_t* kSource = u"ODBC";
constexpr const char16_t* kCancelledText = u"The statement was cancelled.";
// Character parameters longer than this go as long text (the server's limit of nvarchar(n)).
constexpr std::size_t kMaxShortChars = 4000;
constexpr std::size_t kMaxShortBytes = 8000;

SQLWCHAR* Wide(const std::u16string& text) {
    return reinterpret_cast<SQLWCHAR*>(const_cast<char16_t*>(text.c_str()));
}

// The diagnostics of a failed call as one SqlError: the first record gives SQLSTATE and number, every record
// adds its text on a line of its own.
SqlError Diagnostics(SQLSMALLINT type, SQLHANDLE handle, std::u16string_view fallback) {
    std::u16string text;
    std::u16string state;
    SQLINTEGER number = 0;
    for (SQLSMALLINT record = 1; handle != SQL_NULL_HANDLE && record <= 16; ++record) {
        SQLWCHAR record_state[6] = {};
        SQLINTEGER record_number = 0;
        std::vector<SQLWCHAR> message(1024);
        SQLSMALLINT length = 0;
        SQLRETURN rc = SQLGetDiagRecW(type, handle, record, record_state, &record_number, message.data(),
                                      static_cast<SQLSMALLINT>(message.size()), &length);
        if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(message.size())) {
            message.resize(static_cast<std::size_t>(length) + 1);
            rc = SQLGetDiagRecW(type, handle, record, record_state, &record_number, message.data(),
                                static_cast<SQLSMALLINT>(message.size()), &length);
        }
        if (!SQL_SUCCEEDED(rc)) break;
        if (record == 1) {
            state.assign(reinterpret_cast<const char16_t*>(record_state), 5);
            number = record_number;
        } else if (number == 0 && record_number != 0) {
            number = record_number;
        }
        if (!text.empty()) text += u'\n';
        text.append(reinterpret_cast<const char16_t*>(message.data()),
                    std::min<std::size_t>(static_cast<std::size_t>(std::max<SQLSMALLINT>(length, 0)),
                                          message.size() - 1));
    }
    if (text.empty()) text = fallback;
    const bool lost = state.starts_with(u"08");
    return SqlError(u"SQLSTATE " + (state.empty() ? std::u16string(u"HY000") : state),
                    lost ? kConnectionFailed : kStatementFailed, kSource, text, state, number);
}

bool IsCharacter(DataTypeEnum type) {
    return type == adChar || type == adWChar || type == adLongVarChar || type == adLongVarWChar;
}
bool IsBinary(DataTypeEnum type) { return type == adBinary || type == adVarBinary || type == adLongVarBinary; }

}  // namespace

// ---- Connection string ----

namespace {

// True when the driver cannot read the value back from between braces: a ";" after a "}" would end it there.
bool Unbraceable(std::u16string_view value) {
    const auto brace = value.find(u'}');
    return brace != std::u16string_view::npos && value.find(u';', brace) != std::u16string_view::npos;
}

// The value itself stays out of the text: it may be the password.
SqlError UnbraceableValue(std::u16string_view key) {
    std::u16string text = u"The ";
    text += key.empty() ? std::u16string(u"value") : std::u16string(key) + u" value";
    text += u" cannot be written into a connection string: it holds a \";\" after a \"}\".";
    return SqlError(u"SQLSTATE 08001", kConnectionFailed, kSource, text, u"08001", 0);
}

}  // namespace

std::u16string OdbcConnectionString::Braced(std::u16string_view value) {
    if (Unbraceable(value)) throw UnbraceableValue({});
    return u"{" + std::u16string(value) + u"}";
}

OdbcConnectionString& OdbcConnectionString::Add(std::u16string_view key, std::u16string_view value) {
    if (Unbraceable(value)) throw UnbraceableValue(key);
    if (!m_strText.empty()) m_strText += u';';
    m_strText.append(key);
    m_strText += u'=';
    m_strText += Braced(value);
    return *this;
}

// ---- Backend ----

struct OdbcSqlBackend::Handles {
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    bool connected = false;
    bool lost = false;  // the driver reported the link gone; Close still disconnects
    mutable std::mutex mutex;
    // The statement Execute is running, for Cancel on another thread; Execute holds `mutex` meanwhile, so
    // these have a lock of their own, held only while the handle is set, cleared or cancelled.
    std::mutex running_mutex;
    SQLHSTMT running = SQL_NULL_HSTMT;
    std::atomic<bool> cancelled{false};

    void FreeConnection() {
        if (dbc != SQL_NULL_HDBC) {
            if (connected) SQLDisconnect(dbc);
            SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        }
        dbc = SQL_NULL_HDBC;
        connected = false;
        lost = false;
    }
};

OdbcSqlBackend::OdbcSqlBackend() : m_pHandles(std::make_unique<Handles>()) {}

OdbcSqlBackend::~OdbcSqlBackend() {
    m_pHandles->FreeConnection();
    if (m_pHandles->env != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, m_pHandles->env);
}

void OdbcSqlBackend::Open(const std::u16string& connection_string) {
    Handles& h = *m_pHandles;
    std::lock_guard lock(h.mutex);
    h.FreeConnection();
    if (h.env == SQL_NULL_HENV) {
        if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &h.env))) {
            h.env = SQL_NULL_HENV;
            throw SqlError(u"SQLSTATE HY001", kConnectionFailed, kSource, u"The ODBC environment cannot be made.");
        }
        SQLSetEnvAttr(h.env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    }
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, h.env, &h.dbc))) {
        SqlError error = Diagnostics(SQL_HANDLE_ENV, h.env, u"An ODBC connection handle cannot be made.");
        h.dbc = SQL_NULL_HDBC;
        throw error;
    }
    if (m_nLoginTimeout > 0) {
        SQLSetConnectAttrW(h.dbc, SQL_ATTR_LOGIN_TIMEOUT,
                           reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(m_nLoginTimeout)), 0);
    }
    SQLWCHAR out[1024];
    SQLSMALLINT out_length = 0;
    const SQLRETURN rc = SQLDriverConnectW(h.dbc, nullptr, Wide(connection_string), SQL_NTS, out,
                                           static_cast<SQLSMALLINT>(std::size(out)), &out_length,
                                           SQL_DRIVER_NOPROMPT);
    std::memset(out, 0, sizeof out);  // the completed string holds the password
    if (!SQL_SUCCEEDED(rc)) {
        SqlError error = Diagnostics(SQL_HANDLE_DBC, h.dbc, u"The server cannot be reached.");
        h.FreeConnection();
        // A refused login is a failure to connect, whatever class the driver puts it in.
        if (error.SqlState().starts_with(u"08")) throw error;
        throw SqlError(error.ErrorMessage(), kConnectionFailed, error.Source(), error.Description(), error.SqlState(),
                       error.NativeError());
    }
    h.connected = true;
}

void OdbcSqlBackend::Close() {
    std::lock_guard lock(m_pHandles->mutex);
    m_pHandles->FreeConnection();
}

bool OdbcSqlBackend::IsOpen() const {
    std::lock_guard lock(m_pHandles->mutex);
    return m_pHandles->connected && !m_pHandles->lost;
}

void OdbcSqlBackend::Execute(const SqlStatement& statement) {
    Handles& h = *m_pHandles;
    std::lock_guard lock(h.mutex);
    if (!h.connected || h.lost) {
        throw SqlError(u"Operation is not allowed when the object is closed.", kClosedCode, kSource,
                       u"Operation is not allowed when the object is closed.", u"08003", 0);
    }
    // The driver ends the text at a NUL (one inside a name read from a damaged file): the cut statement, which
    // the server might still take, is never sent; the whole one is refused here.
    if (statement.m_strText.find(u'\0') != std::u16string::npos) {
        throw SqlError(u"SQLSTATE 22025", kStatementFailed, kSource,
                       u"The statement holds a NUL character and is not sent.", u"22025", 0);
    }
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, h.dbc, &stmt))) {
        SqlError error = Diagnostics(SQL_HANDLE_DBC, h.dbc, u"An ODBC statement handle cannot be made.");
        if (error.SqlState().starts_with(u"08")) h.lost = true;
        throw error;
    }
    struct StatementGuard {
        Handles& h;
        SQLHSTMT stmt;
        ~StatementGuard() {
            {
                std::lock_guard running(h.running_mutex);
                h.running = SQL_NULL_HSTMT;
            }
            SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        }
    } guard{h, stmt};
    {
        // A Cancel before this point finds no statement to cancel: the flag stops this one before it is sent.
        std::lock_guard running(h.running_mutex);
        h.running = stmt;
    }
    auto cancelled = [] {
        return SqlError(u"SQLSTATE HY008", kStatementFailed, kSource, kCancelledText, u"HY008", 0);
    };
    if (h.cancelled.load()) throw cancelled();

    auto fail = [&](SQLRETURN, std::u16string_view fallback) {
        // A cancelled statement is one the user stopped, whatever the driver made of the interruption.
        if (h.cancelled.load()) return cancelled();
        SqlError error = Diagnostics(SQL_HANDLE_STMT, stmt, fallback);
        if (error.SqlState().starts_with(u"08")) {
            h.lost = true;
            return error;
        }
        // Some drivers word a dropped link as a general error ("Unexpected EOF from the server", 01000); the
        // connection's own state says whether the link is gone, and then the error is one of class 08.
        SQLUINTEGER dead = SQL_CD_FALSE;
        if (SQL_SUCCEEDED(SQLGetConnectAttrW(h.dbc, SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr)) &&
            dead == SQL_CD_TRUE) {
            h.lost = true;
            return SqlError(u"SQLSTATE 08S01", kConnectionFailed, error.Source(), error.Description(), u"08S01",
                            error.NativeError());
        }
        return error;
    };

    // The text goes as it stands: without NOSCAN the driver rewrites ODBC escapes ({d '...'}, {fn ...}, {call ...})
    // inside definitions from the data file, and a view's column would change its type on the way.
    SQLSetStmtAttrW(stmt, SQL_ATTR_NOSCAN, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(SQL_NOSCAN_ON)), 0);
    // Always set: without it the driver may apply a limit of its own configuration; 0 is none.
    SQLSetStmtAttrW(stmt, SQL_ATTR_QUERY_TIMEOUT,
                    reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(std::max(statement.m_nTimeoutSeconds, 0))), 0);

    // Parameter buffers live until the statement has run.
    const std::size_t count = statement.m_params.size();
    std::vector<std::vector<std::uint8_t>> buffers(count);
    std::vector<SQLLEN> indicators(count);
    for (std::size_t i = 0; i < count; ++i) {
        const Parameter& p = statement.m_params[i];
        buffers[i] = p.m_value;
        if (buffers[i].empty()) buffers[i].resize(2);  // a valid pointer for an empty value
        SQLSMALLINT c_type = SQL_C_BINARY;
        SQLSMALLINT sql_type = SQL_VARBINARY;
        SQLULEN column_size = 1;
        indicators[i] = static_cast<SQLLEN>(p.m_value.size());
        if (IsCharacter(p.m_nType)) {
            // Character values arrive as UTF-16LE bytes whatever their column type.
            const std::size_t chars = p.m_value.size() / 2;
            indicators[i] = static_cast<SQLLEN>(chars * 2);
            // An empty value goes as variable-length text: as nchar(1) the server would pad it to a blank.
            c_type = SQL_C_WCHAR;
            sql_type = chars == 0 ? SQL_WVARCHAR : chars <= kMaxShortChars ? SQL_WCHAR : SQL_WLONGVARCHAR;
            column_size = std::max<std::size_t>(chars, 1);
        } else if (IsBinary(p.m_nType)) {
            const std::size_t bytes = p.m_value.size();
            c_type = SQL_C_BINARY;
            // As for text, an empty value is variable-length: binary(1) would pad it with a zero byte.
            sql_type = bytes > kMaxShortBytes || p.m_nType == adLongVarBinary ? SQL_LONGVARBINARY
                       : p.m_nType == adBinary && bytes > 0                 ? SQL_BINARY
                                                                            : SQL_VARBINARY;
            column_size = std::max<std::size_t>(bytes, 1);
        } else {
            // A parameter without a type carries NULL.
            c_type = SQL_C_WCHAR;
            sql_type = SQL_WVARCHAR;
            indicators[i] = SQL_NULL_DATA;
        }
        const SQLRETURN rc =
            SQLBindParameter(stmt, static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT, c_type, sql_type, column_size, 0,
                             buffers[i].data(), static_cast<SQLLEN>(buffers[i].size()), &indicators[i]);
        if (!SQL_SUCCEEDED(rc)) throw fail(rc, u"A parameter cannot be bound.");
    }

    std::u16string text = statement.m_strText;
    // A text with an ODBC escape's brace goes as the parameter of sp_executesql: some drivers (FreeTDS among
    // them) rewrite {d ...}, {ts ...}, {call ...} and {oj ...} whatever SQL_ATTR_NOSCAN says, but never touch a
    // parameter's value. The server runs it as a batch of its own, as it stands.
    std::vector<std::uint8_t> wrapped;
    SQLLEN wrapped_length = 0;
    if (count == 0 && text.find(u'{') != std::u16string::npos) {
        wrapped.assign(reinterpret_cast<const std::uint8_t*>(text.data()),
                       reinterpret_cast<const std::uint8_t*>(text.data() + text.size()));
        wrapped_length = static_cast<SQLLEN>(wrapped.size());
        const SQLRETURN bound =
            SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WLONGVARCHAR, std::max<std::size_t>(text.size(), 1),
                             0, wrapped.data(), wrapped_length, &wrapped_length);
        if (!SQL_SUCCEEDED(bound)) throw fail(bound, u"A parameter cannot be bound.");
        text = u"{call sp_executesql(?)}";
    }
    SQLRETURN rc = SQLExecDirectW(stmt, Wide(text), SQL_NTS);
    if (rc != SQL_NO_DATA && !SQL_SUCCEEDED(rc)) throw fail(rc, u"The statement was refused.");
    // Every result of the batch: rows are dropped, a later error counts as the statement's.
    for (;;) {
        rc = SQLMoreResults(stmt);
        if (rc == SQL_NO_DATA) break;
        if (!SQL_SUCCEEDED(rc)) throw fail(rc, u"The statement was refused.");
    }
}

void OdbcSqlBackend::Cancel() {
    Handles& h = *m_pHandles;
    h.cancelled = true;
    std::lock_guard running(h.running_mutex);
    if (h.running != SQL_NULL_HSTMT) SQLCancel(h.running);
}

std::u16string OdbcSqlBackend::DriverVersion() const {
    std::lock_guard lock(m_pHandles->mutex);
    if (!m_pHandles->connected) return {};
    SQLWCHAR value[64] = {};
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(SQLGetInfoW(m_pHandles->dbc, SQL_DRIVER_VER, value, sizeof value, &length))) return {};
    return std::u16string(reinterpret_cast<const char16_t*>(value));
}

std::u16string OdbcSqlBackend::ServerVersion() const {
    std::lock_guard lock(m_pHandles->mutex);
    if (!m_pHandles->connected) return {};
    SQLWCHAR value[64] = {};
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(SQLGetInfoW(m_pHandles->dbc, SQL_DBMS_VER, value, sizeof value, &length))) return {};
    return std::u16string(reinterpret_cast<const char16_t*>(value));
}

}  // namespace platform
