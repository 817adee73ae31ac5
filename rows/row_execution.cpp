// Executing one row's INSERT on the target connection: a fresh command per row, so the parameters of one row
// never reach the next; a lost connection is re-opened and the row tried once more.
#include "mdf/recovery_engine.h"
#include "platform/sql_connection.h"
#include "rows/insert_statement.h"

namespace mdf {

namespace {

constexpr int kInsertTimeoutSeconds = 700;

std::shared_ptr<platform::Command> NewCommand(const std::shared_ptr<platform::Connection>& connection) {
    auto command = std::make_shared<platform::Command>();
    command->SetActiveConnection(connection);
    return command;
}

}  // namespace

void CRecoveryEngine::ExecuteRowStatement(const rows::InsertStatement& statement) {
    // Runs a statement without parameters on a command of its own; true when the connection was lost.
    auto run_plain = [this](const std::u16string& text) {
        try {
            auto command = NewCommand(m_pConnection);
            command->SetCommandText(text);
            command->Execute(platform::adCmdText);
        } catch (const platform::SqlError& error) {
            return platform::IsConnectionLost(error);
        }
        return false;
    };

    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!m_pCommand) m_pCommand = NewCommand(m_pConnection);
        bool lost = statement.HasIdentity() && run_plain(statement.IdentityOn());
        bool inserted = false;
        if (!lost) {
            try {
                for (const auto& parameter : statement.Parameters()) m_pCommand->AppendParameter(parameter);
                m_pCommand->SetCommandTimeout(kInsertTimeoutSeconds);
                m_pCommand->SetCommandText(statement.Text());
                m_pRecordset = m_pCommand->Execute(platform::adCmdText);
                m_pRecordset.reset();
                inserted = true;
            } catch (const platform::SqlError& error) {
                lost = platform::IsConnectionLost(error);
                // A row the server refused (a duplicate key, a value out of range) is counted, never lost silently.
                if (!lost) ++m_nRefusedRowCount;
            }
        }
        if (inserted) {
            ++m_app.m_nRecoveredCount;
            m_hProgressWnd->Send(platform::WM_RECORD_COUNT, 0, 0);
        }
        if (!lost && statement.HasIdentity()) lost = run_plain(statement.IdentityOff());
        // The row's parameters leave with its command; the next row starts with an empty one.
        m_pCommand = NewCommand(m_pConnection);
        if (!lost) return;
        if (!Reconnect()) {
            if (!inserted) ++m_nRefusedRowCount;
            // Without a connection no later row can be copied: end the repair and say why.
            std::u16string text = u"Please Verify your Server\\Instance name.\nPlease run the SQL Server and try again.";
            if (!m_app.m_strContentDbName.empty()) text += u"\nDatabase " + m_app.m_strContentDbName + u" is incomplete.";
            ShowMessage(u"Unable to establish the connection.", text);
            m_app.m_bStopJob = true;
            StopRequested();
            return;
        }
        m_pCommand = NewCommand(m_pConnection);
        if (inserted) return;  // only the closing statement met the lost connection
    }
    ++m_nRefusedRowCount;  // the link was lost on both tries
}

}  // namespace mdf
