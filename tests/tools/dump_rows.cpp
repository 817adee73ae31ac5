// The --rows listing of catalog_dump: the row decoder in grid mode over every table's data pages.
#include "tests/tools/dump_rows.h"

#include <set>

#include "platform/text.h"
#include "tests/tools/catalog_dump.h"

namespace catalog_dump {

std::string EscapeCell(const std::u16string& cell) {
    std::string out;
    for (char c : platform::ToUtf8(cell)) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\t': out += "\\t"; break;
            case '\r': out += "\\r"; break;
            case '\n': out += "\\n"; break;
            default: out += c; break;
        }
    }
    return out;
}

std::vector<std::vector<std::u16string>> TableRows(mdf::CRecoveryEngine& engine, mdf::TableNode& table) {
    std::vector<std::vector<std::u16string>> rows;
    engine.m_app.m_bRepairRequested = false;
    engine.m_pCurrentTable = &table;
    std::set<std::uint64_t> seen;
    for (const auto& page : table.m_lstDataPages) {
        if (!seen.insert(page.m_nPageOffset).second) continue;
        engine.ReadPageRecordOffsets(page.m_nPageOffset);
        const std::vector<std::uint64_t> records = engine.m_app.m_arrRecordOffsets;
        for (std::uint64_t record : records) {
            engine.m_app.m_arrRowValues.clear();
            engine.DecodeTableRow(record, table);
            if (!engine.m_app.m_arrRowValues.empty()) rows.push_back(engine.m_app.m_arrRowValues);
            engine.m_app.m_arrRowValues.clear();
        }
    }
    return rows;
}

std::vector<std::string> RowLines(mdf::CRecoveryEngine& engine) {
    std::vector<std::string> lines;
    for (auto& table : engine.m_lstTables) {
        const std::string name = platform::ToUtf8(table.m_pszName);
        for (const auto& cells : TableRows(engine, table)) {
            std::string line = "row\t" + name;
            for (const auto& cell : cells) line += "\t" + EscapeCell(cell);
            lines.push_back(std::move(line));
        }
    }
    return lines;
}

int RunRows(mdf::CRecoveryEngine& engine, const std::vector<std::string>&, std::ostream& out) {
    PrintCatalog(engine, out);
    for (const auto& line : RowLines(engine)) out << line << "\n";
    return 0;
}

}  // namespace catalog_dump
