// The recording test backend: keeps what it was asked to run and fails on request.
#include "platform/recording_sql_backend.h"

namespace platform {

void RecordingSqlBackend::Open(const std::u16string& connection_string) {
    m_openedWith.push_back(connection_string);
    if (m_bRefuseOpen) {
        m_bOpen = false;
        throw SqlError(u"IDispatch error #3149", 0x80004005, u"Microsoft OLE DB Provider for SQL Server",
                       u"[DBNETLIB][ConnectionOpen (Connect()).]SQL Server does not exist or access denied.");
    }
    m_bOpen = true;
}

void RecordingSqlBackend::Execute(const SqlStatement& statement) {
    if (m_onExecute) m_onExecute(statement);
    if (m_bKeepStatements) m_executed.push_back(statement);
    if (!m_bOpen) {
        throw SqlError(u"IDispatch error #3149", 0x80004005, u"Microsoft OLE DB Provider for SQL Server",
                       kConnectionFailure);
    }
    if (m_nDropsLeft > 0) {
        --m_nDropsLeft;
        m_bOpen = false;
        throw SqlError(u"IDispatch error #3149", 0x80004005, u"Microsoft OLE DB Provider for SQL Server",
                       kConnectionFailure);
    }
    for (const auto& text : m_refused) {
        if (statement.m_strText.find(text) != std::u16string::npos) {
            throw SqlError(u"IDispatch error #3092", 0x80040E14, u"Microsoft OLE DB Provider for SQL Server",
                           u"The statement was refused by the server.");
        }
    }
    if (m_bKeepStatements) m_accepted.push_back(statement);
}

}  // namespace platform
