// Our own small data-access layer with the roles of ADO's Connection, Command, Parameter and Recordset:
// command text, command timeout, positional parameters carrying ADO's type codes, execution as text, and
// errors as one exception type with the four texts that the engine prints. The server behind it is a backend.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace platform {

// ADO's DataTypeEnum values, as the statements' parameters carry them.
enum DataTypeEnum : int {
    adEmpty = 0,
    adBinary = 128,
    adChar = 129,
    adWChar = 130,
    adLongVarChar = 201,
    adLongVarWChar = 203,
    adVarBinary = 204,
    adLongVarBinary = 205,
};

enum ParameterDirectionEnum : int { adParamInput = 1 };
enum CommandTypeEnum : int { adCmdText = 1 };

// A failed call of the data-access layer: what ADO's COM error carries, and what the ODBC driver said besides
// (its SQLSTATE and the server's own error number; empty and 0 when the failure did not come from a driver).
class SqlError : public std::runtime_error {
public:
    SqlError(std::u16string message, std::uint32_t code, std::u16string source, std::u16string description,
             std::u16string sql_state = {}, std::int32_t native_error = 0);
    const std::u16string& ErrorMessage() const { return m_strMessage; }
    std::uint32_t Error() const { return m_nCode; }  // the HRESULT
    const std::u16string& Source() const { return m_strSource; }
    const std::u16string& Description() const { return m_strDescription; }
    const std::u16string& SqlState() const { return m_strSqlState; }
    std::int32_t NativeError() const { return m_nNativeError; }

private:
    std::u16string m_strMessage;
    std::uint32_t m_nCode;
    std::u16string m_strSource;
    std::u16string m_strDescription;
    std::u16string m_strSqlState;
    std::int32_t m_nNativeError;
};

// True when the error means the link to the server is gone: an SQLSTATE of class 08 (what ODBC drivers report),
// or the words "Connection failure" in its message or description (how the OLE DB provider words it, and what
// the recording test backend imitates).
bool IsConnectionLost(const SqlError& error);

// One positional input parameter: the bytes of its value, as ADO receives them in a byte array.
struct Parameter {
    std::u16string m_strName;
    DataTypeEnum m_nType = adEmpty;
    ParameterDirectionEnum m_nDirection = adParamInput;
    std::size_t m_nSize = 0;
    std::vector<std::uint8_t> m_value;
};

// What a backend is asked to run: the text and the parameters in the order of their "?" marks.
struct SqlStatement {
    std::u16string m_strText;
    std::vector<Parameter> m_params;
    int m_nTimeoutSeconds = 30;  // kNoTimeLimit: the statement runs until it ends or is cancelled
};

// A statement time limit of none.
inline constexpr int kNoTimeLimit = 0;

// The server side of a connection. Every failure is thrown as SqlError.
class ISqlBackend {
public:
    virtual ~ISqlBackend() = default;
    virtual void Open(const std::u16string& connection_string) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    virtual void Execute(const SqlStatement& statement) = 0;
    // Called from another thread (the Stop button's): the statement running now ends as refused, and every
    // later one on this backend is refused without reaching the server. A backend that cannot interrupt its
    // statement leaves it to end by itself.
    virtual void Cancel() {}
};

// The rows a statement returned; the row copy releases it at once, so it holds nothing yet.
class Recordset {};

class Connection {
public:
    explicit Connection(std::shared_ptr<ISqlBackend> backend);
    void Open(const std::u16string& connection_string);
    void Close();
    bool IsOpen() const;
    // The backend's Cancel: safe from any thread.
    void Cancel() { m_pBackend->Cancel(); }
    const std::u16string& ConnectionString() const { return m_strConnectionString; }
    ISqlBackend& Backend() { return *m_pBackend; }

private:
    std::shared_ptr<ISqlBackend> m_pBackend;
    std::u16string m_strConnectionString;
};

class Command {
public:
    Command() = default;
    void SetActiveConnection(std::shared_ptr<Connection> connection) { m_pConnection = std::move(connection); }
    const std::shared_ptr<Connection>& ActiveConnection() const { return m_pConnection; }
    void SetCommandText(std::u16string text) { m_strCommandText = std::move(text); }
    const std::u16string& CommandText() const { return m_strCommandText; }
    void SetCommandTimeout(int seconds) { m_nCommandTimeout = seconds; }
    int CommandTimeout() const { return m_nCommandTimeout; }

    // CreateParameter: a parameter of the given type with a copy of the value's bytes.
    static Parameter CreateParameter(std::u16string name, DataTypeEnum type, ParameterDirectionEnum direction,
                                     std::size_t size, std::vector<std::uint8_t> value);
    // Parameters.Append / Parameters.Count.
    void AppendParameter(Parameter parameter) { m_params.push_back(std::move(parameter)); }
    std::size_t ParameterCount() const { return m_params.size(); }
    const std::vector<Parameter>& Parameters() const { return m_params; }

    // Runs the command text with the parameters; throws SqlError when there is no open connection or the
    // server refuses it.
    std::shared_ptr<Recordset> Execute(CommandTypeEnum options = adCmdText);

private:
    std::shared_ptr<Connection> m_pConnection;
    std::u16string m_strCommandText;
    int m_nCommandTimeout = 30;
    std::vector<Parameter> m_params;
};

}  // namespace platform
