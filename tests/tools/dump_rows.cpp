// The --rows listing of catalog_dump: the row decoder in grid mode over every table's data pages. The lines
// are written as the rows are decoded, so the listing's memory does not grow with the file.
#include "tests/tools/dump_rows.h"

#include <algorithm>
#include <string_view>

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
    engine.RecycleRowCells();
    engine.WalkTableRows(table, {}, [&] {
        const auto outcome = engine.m_lastRecordOutcome;
        if (outcome == mdf::CRecoveryEngine::RecordOutcome::Row ||
            outcome == mdf::CRecoveryEngine::RecordOutcome::RowNotSent) {
            visit(engine.m_app.m_arrRowValues);
        }
        // The cells' strings go back to the walk rather than being freed: the next row writes into them.
        engine.RecycleRowCells();
        return true;
    });
}

std::vector<std::vector<std::u16string>> TableRows(mdf::CRecoveryEngine& engine, mdf::TableNode& table) {
    std::vector<std::vector<std::u16string>> rows;
    ForEachTableRow(engine, table, [&](const std::vector<std::u16string>& cells) { rows.push_back(cells); });
    return rows;
}

namespace {

// Listing text written in place: room for a whole line is made before the line is written, and the text ends
// at `used` (the string's size is only the room, so it is not cleared and cut back line after line).
struct LineBuffer {
    std::string bytes;
    std::size_t used = 0;
    char* Room(std::size_t n) {
        if (bytes.size() < used + n) bytes.resize(std::max(used + n, 2 * bytes.size()));
        return bytes.data() + used;
    }
};

// Writes each row's line and its line break after the buffer's text, then calls done(buffer), which may take
// the text (and set used back).
void ForEachRowLine(mdf::CRecoveryEngine& engine, LineBuffer& buffer, const std::function<void(LineBuffer&)>& done) {
    constexpr std::string_view kRowTag = "row\t";
    for (auto& table : engine.m_lstTables) {
        const std::string name = platform::ToUtf8(table.m_pszName);
        ForEachTableRow(engine, table, [&](const std::vector<std::u16string>& cells) {
            // At most 3 bytes per unit of a cell (a backslash, tab, CR or LF takes 2).
            std::size_t room = kRowTag.size() + name.size() + 1;
            for (const auto& cell : cells) room += 1 + 3 * cell.size();
            char* const start = buffer.Room(room);
            char* at = std::copy(kRowTag.begin(), kRowTag.end(), start);
            at = std::copy(name.begin(), name.end(), at);
            for (const auto& cell : cells) {
                *at++ = '\t';
                at = platform::WriteUtf8Escaped(at, cell);
            }
            *at++ = '\n';
            buffer.used += static_cast<std::size_t>(at - start);
            done(buffer);
        });
    }
}

}  // namespace

std::vector<std::string> RowLines(mdf::CRecoveryEngine& engine) {
    std::vector<std::string> lines;
    LineBuffer buffer;
    ForEachRowLine(engine, buffer, [&](LineBuffer& line) {
        lines.emplace_back(line.bytes.data(), line.used - 1);  // without the line break
        line.used = 0;
    });
    return lines;
}

int RunRows(mdf::CRecoveryEngine& engine, const std::vector<std::string>&, std::ostream& out) {
    PrintCatalog(engine, out);
    // The lines are gathered and written a block at a time: one write per line costs more than the line.
    constexpr std::size_t kBlock = 256 * 1024;
    LineBuffer block;
    block.bytes.resize(kBlock + 64 * 1024);
    ForEachRowLine(engine, block, [&](LineBuffer& text) {
        if (text.used < kBlock) return;
        out.write(text.bytes.data(), static_cast<std::streamsize>(text.used));
        text.used = 0;
    });
    out.write(block.bytes.data(), static_cast<std::streamsize>(block.used));
    return 0;
}

}  // namespace catalog_dump
