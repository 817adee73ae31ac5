// Connection and Command over a backend: the command checks its connection, the backend runs the statement.
#include "platform/sql_connection.h"

#include "platform/text.h"

namespace platform {

namespace {
constexpr std::uint32_t kClosedConnectionCode = 0x800A0E78;  // "operation is not allowed when closed"
}

SqlError::SqlError(std::u16string message, std::uint32_t code, std::u16string source, std::u16string description,
                   std::u16string sql_state, std::int32_t native_error)
    : std::runtime_error(ToUtf8(description.empty() ? message : description)),
      m_strMessage(std::move(message)),
      m_nCode(code),
      m_strSource(std::move(source)),
      m_strDescription(std::move(description)),
      m_strSqlState(std::move(sql_state)),
      m_nNativeError(native_error) {}

bool IsConnectionLost(const SqlError& error) {
    if (error.SqlState().starts_with(u"08")) return true;
    constexpr std::u16string_view kWords = u"Connection failure";
    return error.ErrorMessage().find(kWords) != std::u16string::npos ||
           error.Description().find(kWords) != std::u16string::npos;
}

Connection::Connection(std::shared_ptr<ISqlBackend> backend) : m_pBackend(std::move(backend)) {}

void Connection::Open(const std::u16string& connection_string) {
    m_strConnectionString = connection_string;
    m_pBackend->Open(connection_string);
}

void Connection::Close() { m_pBackend->Close(); }

bool Connection::IsOpen() const { return m_pBackend->IsOpen(); }

Parameter Command::CreateParameter(std::u16string name, DataTypeEnum type, ParameterDirectionEnum direction,
                                   std::size_t size, std::vector<std::uint8_t> value) {
    Parameter parameter;
    parameter.m_strName = std::move(name);
    parameter.m_nType = type;
    parameter.m_nDirection = direction;
    parameter.m_nSize = size;
    parameter.m_value = std::move(value);
    return parameter;
}

std::shared_ptr<Recordset> Command::Execute(CommandTypeEnum) {
    if (!m_pConnection || !m_pConnection->IsOpen()) {
        throw SqlError(u"Operation is not allowed when the object is closed.", kClosedConnectionCode,
                       u"Command", u"Operation is not allowed when the object is closed.");
    }
    SqlStatement statement;
    statement.m_strText = m_strCommandText;
    statement.m_params = m_params;
    statement.m_nTimeoutSeconds = m_nCommandTimeout;
    m_pConnection->Backend().Execute(statement);
    return std::make_shared<Recordset>();
}

}  // namespace platform
