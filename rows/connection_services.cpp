// What the row copy needs of the target connection: the text of a caught error and the re-opening of a
// lost connection.
#include <cstdio>

#include "mdf/recovery_engine.h"
#include "platform/sql_connection.h"

namespace mdf {

namespace {

// A connection-string value that holds a separator or a quote is put in double quotes (inner ones doubled),
// so a database or server name cannot add settings of its own.
std::u16string ConnectionValue(const std::u16string& value) {
    if (value.find_first_of(u";\"'=") == std::u16string::npos) return value;
    std::u16string quoted = u"\"";
    for (char16_t c : value) {
        quoted += c;
        if (c == u'"') quoted += u'"';
    }
    return quoted + u"\"";
}

}  // namespace

std::u16string CRecoveryEngine::FormatComError(const platform::SqlError& error) const {
    char code[32];
    std::snprintf(code, sizeof code, "0x%08lx", static_cast<unsigned long>(error.Error()));
    return u"Message : " + error.ErrorMessage() + u"\n" + u"Code : " + std::u16string(code, code + 10) + u"\n" +
           u"Source : " + error.Source() + u"\n" + u"Description : " + error.Description() + u"\n";
}

bool CRecoveryEngine::Reconnect() {
    m_pCommand.reset();
    if (!m_pConnection) return false;
    try {
        if (m_pConnection->IsOpen()) m_pConnection->Close();
        m_pConnection->Open(u"Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;"
                            u"Initial Catalog=" + ConnectionValue(m_app.m_strContentDbName) +
                            u";Data Source=" + ConnectionValue(m_app.m_strServerInstance));
    } catch (const platform::SqlError&) {
        return false;  // the caller reports the lost connection
    }
    m_pRecordset = std::make_shared<platform::Recordset>();
    return m_pConnection->IsOpen();
}

}  // namespace mdf
