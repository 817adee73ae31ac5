#include "tests/target_db/statement_log.h"

#include <algorithm>

#include "platform/text.h"
#include "platform/tsql_text.h"

namespace statementlog {

namespace {

bool StartsWith(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }

// The bracketed identifier at pos ("[a]]b]" gives "a]b"); pos moves past it. Empty when there is none.
std::string Identifier(const std::string& s, std::size_t& pos) {
    if (pos >= s.size() || s[pos] != '[') return {};
    std::string out;
    for (std::size_t i = pos + 1; i < s.size(); ++i) {
        if (s[i] == ']') {
            if (i + 1 < s.size() && s[i + 1] == ']') {
                out += ']';
                ++i;
                continue;
            }
            pos = i + 1;
            return out;
        }
        out += s[i];
    }
    return {};
}

// "[s].[t]" or "[t]" at pos: the table part.
std::string TableForm(const std::string& s, std::size_t& pos) {
    std::string name = Identifier(s, pos);
    if (pos < s.size() && s[pos] == '.') {
        ++pos;
        name = Identifier(s, pos);
    }
    return name;
}

// A column list from pos (after its opening parenthesis): "[a] ,[b] DESC" or "[a], [b] DESC".
std::string Columns(const std::string& s, std::size_t pos) {
    std::string out;
    while (pos < s.size()) {
        while (pos < s.size() && (s[pos] == ' ' || s[pos] == ',')) ++pos;
        if (pos >= s.size() || s[pos] != '[') break;
        const std::string name = Identifier(s, pos);
        if (!out.empty()) out += ", ";
        out += name;
        while (pos < s.size() && s[pos] == ' ') ++pos;
        if (s.compare(pos, 4, "DESC") == 0) {
            out += " DESC";
            pos += 4;
        }
    }
    return out;
}

}  // namespace

std::string TablePart(const mdf::TableNode& table) {
    return platform::ToUtf8(platform::SplitTableName(table.m_pszName, table.m_strSchema).table);
}

StatementLog::StatementLog(const std::vector<platform::SqlStatement>& sent, const mdf::CRecoveryEngine& engine) {
    (void)engine;
    for (const auto& statement : sent) m_texts.push_back(platform::ToUtf8(statement.m_strText));
    for (std::size_t i = 0; i < m_texts.size(); ++i) {
        const std::string& s = m_texts[i];
        if (StartsWith(s, "create type  [")) {
            std::size_t pos = 13;
            m_typeAt.emplace(Identifier(s, pos), i);
        } else if (StartsWith(s, "create table ")) {
            std::size_t pos = 13;
            const std::string table = TableForm(s, pos);
            if (m_createdAt.emplace(table, i).second) m_created.push_back(table);
            for (const auto& [type, at] : m_typeAt) {
                if (s.find("] [" + type + "]") != std::string::npos) m_typeUses.push_back({i, table, type});
            }
            const std::size_t key = s.rfind("PRIMARY KEY ");
            if (key != std::string::npos) {
                std::string name;
                const std::size_t constraint = s.rfind("CONSTRAINT ", key);
                if (constraint != std::string::npos) {
                    std::size_t at = s.find('[', constraint);
                    name = Identifier(s, at);
                }
                const bool clustered = s.compare(key + 12, 9, "CLUSTERED") == 0;
                m_keys.push_back(table + "\tprimary key\t" + name + "\t" + (clustered ? "clustered" : "nonclustered") +
                                 " unique\t" + Columns(s, s.find('(', key) + 1));
                m_firstKeyAt.emplace(table, i);
            }
        } else if (StartsWith(s, "insert into ")) {
            std::size_t pos = 12;
            m_inserts[TableForm(s, pos)].push_back(i);
        } else if (StartsWith(s, "create ") && s.find("index ") != std::string::npos) {
            const bool unique = StartsWith(s, "create UNIQUE ");
            const std::size_t index_word = s.find("index ");
            const std::string head = s.substr(0, index_word);
            const bool clustered = head.ends_with("clustered ") && !head.ends_with("nonclustered ");
            std::size_t pos = s.find('[', index_word);
            const std::string name = Identifier(s, pos);
            pos = s.find(" on ", pos) + 4;
            const std::string table = TableForm(s, pos);
            m_keys.push_back(table + "\tindex\t" + name + "\t" + (clustered ? "clustered" : "nonclustered") +
                             (unique ? " unique" : "") + "\t" + Columns(s, s.find('(', pos) + 1));
            if (unique || !clustered) m_afterRows.push_back({i, table, "index " + name});
            if (unique) m_firstKeyAt.emplace(table, i);
        } else if (StartsWith(s, "ALTER TABLE ")) {
            std::size_t pos = 12;
            const std::string table = TableForm(s, pos);
            const std::size_t add = s.find(" ADD CONSTRAINT ", pos);
            if (add == std::string::npos) continue;  // enabling or disabling a constraint
            std::size_t at = add + 16;
            const std::string name = Identifier(s, at);
            if (s.compare(at, 8, " UNIQUE ") == 0) {
                const bool clustered = s.compare(at + 8, 9, "clustered") == 0;
                m_keys.push_back(table + "\tunique key\t" + name + "\t" + (clustered ? "clustered" : "nonclustered") +
                                 " unique\t" + Columns(s, s.find('(', at) + 1));
                m_afterRows.push_back({i, table, "unique key " + name});
                m_firstKeyAt.emplace(table, i);
            } else if (s.compare(at, 13, " FOREIGN KEY ") == 0) {
                std::size_t ref = s.find(" REFERENCES ", at) + 12;
                m_foreignKeys.push_back({i, table, TableForm(s, ref)});
                m_afterRows.push_back({i, table, "foreign key " + name});
            } else {
                m_checks.push_back(i);
                m_afterRows.push_back({i, table, "check " + name});
            }
        } else if (StartsWith(s, "Create Statistics ")) {
            ++m_statistics;
        }
    }
}

std::uint64_t StatementLog::InsertCount(const std::string& table) const {
    const auto found = m_inserts.find(table);
    return found == m_inserts.end() ? 0 : found->second.size();
}

std::vector<std::string> StatementLog::OrderViolations() const {
    std::vector<std::string> out;
    for (const auto& use : m_typeUses) {
        if (m_typeAt.at(use.what) > use.at) out.push_back("type " + use.what + " after table " + use.table);
    }
    for (const auto& [table, rows] : m_inserts) {
        const auto created = m_createdAt.find(table);
        if (created == m_createdAt.end() || created->second > rows.front()) out.push_back("rows of " + table + " before its table");
    }
    for (const auto& use : m_afterRows) {
        const auto rows = m_inserts.find(use.table);
        if (rows != m_inserts.end() && rows->second.back() > use.at) out.push_back(use.what + " before the rows of " + use.table);
    }
    for (const auto& key : m_foreignKeys) {
        const auto referenced = m_firstKeyAt.find(key.referenced);
        if (referenced == m_firstKeyAt.end() || referenced->second > key.at) {
            out.push_back("foreign key of " + key.table + " before a key of " + key.referenced);
        }
    }
    return out;
}

}  // namespace statementlog
