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
#include "mdf/record_area.h"
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

// The most columns a record of the table may count, where the catalogue names every column the table's records
// carry (the 2005 layout, each column placed by its rowset-column row, dropped columns included); else 0.
std::uint16_t RecordColumnLimit(const TableNode& table, const CatalogueFacts& catalogue, bool layout2005) {
    if (!layout2005 || table.m_lstColumns.empty()) return 0;
    std::uint16_t most = 0;
    for (const auto& column : table.m_lstColumns) {
        if (!column.m_bPlacedByCatalogue) return 0;
        most = std::max({most, column.m_nColumnOrder, column.m_nPhysicalColumn});
    }
    if (const auto dropped = catalogue.unnamed_rowset_columns.find(table.m_nObjectId);
        dropped != catalogue.unnamed_rowset_columns.end() && !dropped->second.empty()) {
        most = static_cast<std::uint16_t>(std::max<std::uint32_t>(most, *dropped->second.rbegin()));
    }
    return most;
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
    RecordArea area;
    std::vector<std::uint16_t> slot_at(kPageSize);
    std::vector<std::uint16_t> room_end_at(kPageSize);
    m_nRecordColumnLimit = RecordColumnLimit(table, m_catalogue, m_app.m_bSql2005Catalog);
    struct ColumnLimitReset {
        std::uint16_t& limit;
        ~ColumnLimitReset() { limit = 0; }
    } column_limit_reset{m_nRecordColumnLimit};
    for (std::size_t i = 0; i < pages.size(); ++i) {
        if (repeats && !walked_pages.insert(pages[i].m_nPageOffset).second) continue;
        if (before_page && !before_page(i)) return false;
        walk.Reach(i);
        const std::uint64_t page = pages[i].m_nPageOffset;
        ReadPageRecordOffsets(page);
        records.assign(m_app.m_arrRecordOffsets.begin(), m_app.m_arrRecordOffsets.end());
        // The page's slots and free-space figures against its records: each finding is a record lost (a slot
        // that points nowhere is not read as a row), and each record is read within its own room.
        std::span<const std::uint8_t> bytes;
        if (m_app.m_bCreatedOn2000) {
            m_arrPageBytes.resize(kPageSize);
            ReadAt(page, m_arrPageBytes.data(), kPageSize, Fixup::Multi);
            bytes = m_arrPageBytes;
        } else {
            bytes = m_hDataFile.Page(page / kPageSize);  // no sector ends to restore: read where it is held
        }
        CheckRecordArea(bytes, area);
        // Each record's slot and room by its offset, for the lookups below (entries of other pages are never read:
        // every record read here is one of this page's records or is passed over as damaged).
        for (std::size_t k = 0; k < area.records.size(); ++k) {
            const std::uint16_t offset = area.records[k].offset;
            slot_at[offset] = area.records[k].slot;
            room_end_at[offset] =
                k + 1 < area.records.size() ? area.records[k + 1].offset : std::max(area.used_end, offset);
        }
        m_nRecordSlot = -1;
        for (const auto& finding : area.findings) NoteRowLoss(table, RowLoss::DamagedRecord, page, {}, finding.why);
        for (const std::uint64_t record : records) {
            const auto in_page = static_cast<std::uint16_t>(record - page);
            if (!area.findings.empty() && area.SlotDamaged(in_page)) continue;
            m_nRecordRoomEnd = page + room_end_at[in_page];
            m_nRecordSlot = slot_at[in_page];
            DecodeTableRow(record, table);
            m_nRecordRoomEnd = 0;
            m_nRecordSlot = -1;
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
    std::u16string where = u"page " + Number(record_offset / kPageSize);
    if (loss == RowLoss::DamagedRecord && m_nRecordSlot >= 0) {
        where += u", slot " + Number(static_cast<std::uint64_t>(m_nRecordSlot));
    }
    if (record_offset % kPageSize != 0) where += u", offset " + Number(record_offset % kPageSize);
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
