// The one walk over a table's rows that every job takes, and the losses it settles: each record the decoder
// could not read and each value it could not read whole is counted against the table, and at the end of a
// whole walk the rows it gave are set against the rows the table should give.
#include <algorithm>
#include <new>
#include <set>
#include <stdexcept>
#include <unordered_set>
#include <vector>

#include "mdf/catalog_page.h"
#include "mdf/recovery_engine.h"
#include "platform/text.h"
#include "rows/row_capture.h"

namespace mdf {

namespace {

// Finding lines one walk logs for one table; the rest are counted in its summary.
constexpr std::uint64_t kWalkLinesLogged = 20;

std::u16string Number(std::uint64_t n) { return platform::Widen(std::to_string(n)); }

// Room for the rows a table counts, when it can be had. A damaged page can count records that the decoder
// then turns down, so the count may be far above the rows that come: without the room the array only grows
// as they come, as it would have anyway.
template <typename Rows>
void ReserveRows(Rows& rows, std::uint64_t counted) {
    try {
        rows.reserve(rows.size() + static_cast<std::size_t>(std::min<std::uint64_t>(counted, rows.max_size() - rows.size())));
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
}

}  // namespace

bool CRecoveryEngine::WalkTableRows(TableNode& table, const std::function<bool(std::size_t page_index)>& before_page,
                                    const std::function<bool()>& after_record) {
    TableLosses& losses = table.m_losses;
    losses.walk = {};
    m_pCurrentTable = &table;
    // A page listed twice is read once.
    std::vector<std::uint64_t> numbers;
    numbers.reserve(table.m_lstDataPages.size());
    for (const auto& page : table.m_lstDataPages) numbers.push_back(page.m_nPageOffset / kPageSize);
    std::sort(numbers.begin(), numbers.end());
    const bool repeats = std::adjacent_find(numbers.begin(), numbers.end()) != numbers.end();
    std::set<std::uint64_t> walked_pages;

    const auto& pages = table.m_lstDataPages;
    ChunkedPageWalk walk(m_hDataFile, PageOffsets(pages));
    std::vector<std::uint64_t> records;
    for (std::size_t i = 0; i < pages.size(); ++i) {
        if (repeats && !walked_pages.insert(pages[i].m_nPageOffset).second) continue;
        if (before_page && !before_page(i)) return false;
        walk.Reach(i);
        ReadPageRecordOffsets(pages[i].m_nPageOffset);
        records.assign(m_app.m_arrRecordOffsets.begin(), m_app.m_arrRecordOffsets.end());
        for (const std::uint64_t record : records) {
            DecodeTableRow(record, table);
            switch (m_lastRecordOutcome) {
                case RecordOutcome::Row:
                case RecordOutcome::RowNotSent: ++losses.walk.rows; break;
                case RecordOutcome::NotRow:
                case RecordOutcome::Damaged: break;
            }
            if (after_record && !after_record()) return false;
        }
    }
    losses.walked = true;
    losses.rows_read = losses.walk.rows;
    losses.damaged_records = losses.walk.damaged_records;
    losses.lost_values = losses.walk.lost_values;
    losses.lost_values_by_column = losses.walk.lost_values_by_column;
    if (losses.walk.lines > kWalkLinesLogged) {
        LogLine(u"... and " + Number(losses.walk.lines - kWalkLinesLogged) + u" more finding(s) in table " +
                table.m_pszName);
    }
    return true;
}

bool CRecoveryEngine::CaptureTableRows(TableNode& table, const std::function<bool(std::size_t page_index)>& before_page,
                                       const std::function<bool()>& after_record) {
    std::unordered_set<std::uint64_t> seen;
    auto& pages = table.m_lstDataPages;
    pages.erase(std::remove_if(pages.begin(), pages.end(),
                               [&](const DataPageNode& page) { return !seen.insert(page.m_nPageOffset).second; }),
                pages.end());
    // The rows of the documents and streams tables are appended one by one: room for all the rows the table
    // counts is made at once, so the arrays neither grow by doubling nor hold two copies of themselves while
    // they move.
    const rows::RowCapture kind(table, true);
    if (kind.Docs()) ReserveRows(m_arrDocRows, table.m_nRowCount);
    if (kind.Streams()) ReserveRows(m_arrStreamRows, table.m_nRowCount);
    return WalkTableRows(table, before_page, after_record);
}

void CRecoveryEngine::NoteRowLoss(TableNode& table, RowLoss loss, std::uint64_t record_offset,
                                  std::u16string_view column, std::u16string_view why) {
    TableLosses::Walk& walk = table.m_losses.walk;
    std::u16string line;
    const std::u16string where = u"page " + Number(record_offset / kPageSize) + u", offset " +
                                 Number(record_offset % kPageSize);
    if (loss == RowLoss::DamagedRecord) {
        ++walk.damaged_records;
        line = u"Damaged record (" + where + u"; " + std::u16string(why) + u") of table " + table.m_pszName;
    } else {
        ++walk.lost_values;
        ++walk.lost_values_by_column[std::u16string(column)];
        m_bRowValueLost = true;
        line = u"Lost value of column " + std::u16string(column) + u" (" + where + u"; " + std::u16string(why) +
               u") of table " + table.m_pszName;
    }
    if (++walk.lines <= kWalkLinesLogged) LogLine(line);
}

std::vector<std::u16string> CRecoveryEngine::IncompleteTableLines() const {
    std::vector<std::u16string> lines;
    std::set<std::u16string> named;
    for (const auto& table : m_lstTables) {
        named.insert(table.m_pszName);
        if (!table.Incomplete()) continue;
        lines.push_back(u"Incomplete table " + table.m_pszName + u": " +
                        LossSummary(table.m_losses, table.m_nRowCount));
    }
    // Findings about a table the catalogue no longer lists (its rows are all lost), once per name.
    std::set<std::u16string> lost;
    for (const auto& damage : m_arrTableDamage) {
        if (named.contains(damage.table) || !lost.insert(damage.table).second) continue;
        lines.push_back(u"Incomplete table " + damage.table + u": not listed by the catalogue; none of its rows read");
    }
    return lines;
}

}  // namespace mdf
