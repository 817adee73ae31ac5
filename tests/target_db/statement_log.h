// Reads back what a repair sent: which tables were created, how many rows each received, the keys and
// indexes the statements create (in the form of expected/NAME.keys.tsv), and whether the statements came in
// an order a server can follow.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "mdf/recovery_engine.h"
#include "platform/sql_connection.h"

namespace statementlog {

// The table's name without its schema, as the expectation files name tables.
std::string TablePart(const mdf::TableNode& table);

class StatementLog {
public:
    explicit StatementLog(const std::vector<platform::SqlStatement>& sent, const mdf::CRecoveryEngine& engine);

    const std::vector<std::string>& CreatedTables() const { return m_created; }
    std::uint64_t InsertCount(const std::string& table) const;
    // "TABLE\tKIND\tNAME\tCLUSTERING\tCOLUMNS" per primary key, unique key and index.
    const std::vector<std::string>& KeyLines() const { return m_keys; }
    // One line per statement that came before something it needs, or after something that needs it.
    std::vector<std::string> OrderViolations() const;
    std::size_t ForeignKeyCount() const { return m_foreignKeys.size(); }
    std::size_t CheckCount() const { return m_checks.size(); }
    std::size_t StatisticsCount() const { return m_statistics; }

private:
    struct Use {
        std::size_t at;
        std::string table;
        std::string what;
    };
    struct ForeignKey {
        std::size_t at;
        std::string table, referenced;
    };
    std::vector<std::string> m_texts;
    std::vector<std::string> m_created;
    std::map<std::string, std::size_t> m_createdAt;
    std::map<std::string, std::vector<std::size_t>> m_inserts;
    std::map<std::string, std::size_t> m_typeAt;
    std::vector<Use> m_typeUses;
    std::vector<Use> m_afterRows;  // statements that must follow the table's rows
    std::map<std::string, std::size_t> m_firstKeyAt;  // first statement that gives the table a unique key
    std::vector<ForeignKey> m_foreignKeys;
    std::vector<std::size_t> m_checks;
    std::vector<std::string> m_keys;
    std::size_t m_statistics = 0;
};

}  // namespace statementlog
