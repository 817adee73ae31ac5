// What the server refused during one repair: every refused statement with the server's text, error number and
// SQLSTATE, kept so the job can say what did not go in instead of reporting success.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/sql_connection.h"

namespace platform {

struct RefusedStatement {
    std::u16string m_strStatement;
    std::u16string m_strServerText;  // the driver's diagnostic text (the server's message within it)
    std::int32_t m_nNumber = 0;      // the server's error number, 0 when none came
    std::u16string m_strSqlState;
    bool operator==(const RefusedStatement&) const = default;
};

// Filled on the job thread; the window may read a copy while the job runs.
class StatementReport {
public:
    void Clear() {
        std::lock_guard lock(m_mutex);
        m_refused.clear();
        m_nAccepted = 0;
    }
    void AddAccepted() {
        std::lock_guard lock(m_mutex);
        ++m_nAccepted;
    }
    void AddRefused(const std::u16string& statement, const SqlError& error) {
        std::lock_guard lock(m_mutex);
        m_refused.push_back({statement, error.Description().empty() ? error.ErrorMessage() : error.Description(),
                             error.NativeError(), error.SqlState()});
    }
    std::vector<RefusedStatement> Refused() const {
        std::lock_guard lock(m_mutex);
        return m_refused;
    }
    std::size_t RefusedCount() const {
        std::lock_guard lock(m_mutex);
        return m_refused.size();
    }
    std::size_t AcceptedCount() const {
        std::lock_guard lock(m_mutex);
        return m_nAccepted;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<RefusedStatement> m_refused;
    std::size_t m_nAccepted = 0;
};

}  // namespace platform
