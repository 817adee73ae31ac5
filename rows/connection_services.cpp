// What the row copy needs of the target connection: the text of a caught error and the re-opening of a
// lost connection. They live beside the row copy, which calls them; the rest of the target side is in target_db/.
#include <cstdio>

#include "mdf/recovery_engine.h"
#include "platform/sql_connection.h"

namespace mdf {

std::u16string CRecoveryEngine::FormatComError(const platform::SqlError& error) const {
    char code[32];
    std::snprintf(code, sizeof code, "0x%08lx", static_cast<unsigned long>(error.Error()));
    auto or_null = [](const std::u16string& text) { return text.empty() ? std::u16string(u"null") : text; };
    std::u16string text = u"Message : " + error.ErrorMessage() + u"\n" + u"Code : " + std::u16string(code, code + 10) +
                          u"\n" + u"Source : " + or_null(error.Source()) + u"\n" + u"Description : " +
                          or_null(error.Description()) + u"\n";
    if (text.find(u"not a valid password", 1) != std::u16string::npos) return u"File is password protected";
    return text;
}

bool CRecoveryEngine::Reconnect() {
    m_pCommand.reset();
    m_repairTally.session = ModuleSettings{};  // a new session has the driver's settings
    if (!m_pConnection) return false;
    try {
        if (m_pConnection->IsOpen()) m_pConnection->Close();
        m_pConnection->Open(m_targetSettings.ConnectionString(m_app.m_strServerInstance, m_app.m_strContentDbName));
    } catch (const platform::SqlError&) {
        return false;  // the caller reports the lost connection
    }
    m_pRecordset = std::make_shared<platform::Recordset>();
    return m_pConnection->IsOpen();
}

void CRecoveryEngine::EndRepairOnLostLink() {
    std::u16string text = u"Please Verify your Server\\Instance name.\nPlease run the SQL Server and try again.";
    if (!m_app.m_strContentDbName.empty()) text += u"\nDatabase " + m_app.m_strContentDbName + u" is incomplete.";
    ShowMessage(u"Unable to establish the connection.", text);
    m_app.m_bStopJob = true;
    StopRequested();
}

}  // namespace mdf
