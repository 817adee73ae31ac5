// A backend for tests: records every statement with its parameters, refuses the statements a test names,
// and can lose its connection (and refuse to get it back) the way a server link fails.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/sql_connection.h"

namespace platform {

class RecordingSqlBackend : public ISqlBackend {
public:
    // The text a dropped link reports, as the server's client library words it.
    static constexpr const char16_t* kConnectionFailure = u"[DBNETLIB][ConnectionWrite (send()).]Connection failure";

    void Open(const std::u16string& connection_string) override;
    void Close() override { m_bOpen = false; }
    bool IsOpen() const override { return m_bOpen; }
    void Execute(const SqlStatement& statement) override;

    // Statements that contain this text are refused with a server error (not a connection failure).
    void RefuseContaining(std::u16string text) { m_refused.push_back(std::move(text)); }
    // The next n executions fail with a connection failure; the link stays usable for Open.
    void DropConnectionFor(int n) { m_nDropsLeft = n; }
    // Open fails while this is set.
    void SetRefuseOpen(bool refuse) { m_bRefuseOpen = refuse; }

    // Called with every statement as it reaches the server, before it is answered.
    std::function<void(const SqlStatement&)> m_onExecute;
    // False: the statements are handed to m_onExecute and not kept (a whole repair's rows would fill memory).
    bool m_bKeepStatements = true;
    // Every statement that reached the server, accepted or not, in order.
    std::vector<SqlStatement> m_executed;
    // Only the accepted ones.
    std::vector<SqlStatement> m_accepted;
    std::vector<std::u16string> m_openedWith;

private:
    bool m_bOpen = false;
    bool m_bRefuseOpen = false;
    int m_nDropsLeft = 0;
    std::vector<std::u16string> m_refused;
};

}  // namespace platform
