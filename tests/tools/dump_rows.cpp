// The --rows listing of catalog_dump: the row decoder in grid mode over every table's data pages. The lines
// are written as the rows are decoded, so the listing's memory does not grow with the file.
#include "tests/tools/dump_rows.h"

#include "platform/text.h"
#include "tests/tools/catalog_dump.h"

namespace catalog_dump {

namespace {

void AppendEscaped(std::string& out, const std::u16string& cell) { platform::AppendUtf8Escaped(out, cell); }

}  // namespace

std::string EscapeCell(const std::u16string& cell) {
    std::string out;
    AppendEscaped(out, cell);
    return out;
}

void ForEachTableRow(mdf::CRecoveryEngine& engine, mdf::TableNode& table,
                     const std::function<void(const std::vector<std::u16string>& cells)>& visit) {
    engine.m_app.m_bRepairRequested = false;
    engine.m_pCurrentTable = &table;
    // A page listed twice is decoded once: one bit per page of the file.
    std::vector<bool> seen(static_cast<std::size_t>(engine.m_hDataFile.PageCount() + 1), false);
    std::vector<std::uint64_t> records;
    const auto& pages = table.m_lstDataPages;
    mdf::ChunkedPageWalk walk(engine.m_hDataFile, mdf::PageOffsets(pages));
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const auto& page = pages[i];
        const std::uint64_t number = page.m_nPageOffset / mdf::kPageSize;
        if (number >= seen.size()) seen.resize(static_cast<std::size_t>(number + 1), false);
        if (seen[static_cast<std::size_t>(number)]) continue;
        seen[static_cast<std::size_t>(number)] = true;
        walk.Reach(i);
        engine.ReadPageRecordOffsets(page.m_nPageOffset);
        records = engine.m_app.m_arrRecordOffsets;
        for (std::uint64_t record : records) {
            engine.m_app.m_arrRowValues.clear();
            engine.DecodeTableRow(record, table);
            if (!engine.m_app.m_arrRowValues.empty()) visit(engine.m_app.m_arrRowValues);
            engine.m_app.m_arrRowValues.clear();
        }
    }
}

std::vector<std::vector<std::u16string>> TableRows(mdf::CRecoveryEngine& engine, mdf::TableNode& table) {
    std::vector<std::vector<std::u16string>> rows;
    ForEachTableRow(engine, table, [&](const std::vector<std::u16string>& cells) { rows.push_back(cells); });
    return rows;
}

namespace {

void ForEachRowLine(mdf::CRecoveryEngine& engine, const std::function<void(const std::string& line)>& visit) {
    std::string line;
    for (auto& table : engine.m_lstTables) {
        const std::string name = platform::ToUtf8(table.m_pszName);
        ForEachTableRow(engine, table, [&](const std::vector<std::u16string>& cells) {
            line = "row\t";
            line += name;
            for (const auto& cell : cells) {
                line += '\t';
                AppendEscaped(line, cell);
            }
            visit(line);
        });
    }
}

}  // namespace

std::vector<std::string> RowLines(mdf::CRecoveryEngine& engine) {
    std::vector<std::string> lines;
    ForEachRowLine(engine, [&](const std::string& line) { lines.push_back(line); });
    return lines;
}

int RunRows(mdf::CRecoveryEngine& engine, const std::vector<std::string>&, std::ostream& out) {
    PrintCatalog(engine, out);
    ForEachRowLine(engine, [&](const std::string& line) {
        out.write(line.data(), static_cast<std::streamsize>(line.size()));
        out.put('\n');
    });
    return 0;
}

}  // namespace catalog_dump
