// Column in-row positions: read from the rowset-column rows (all 2005-and-later files) and the column-layout
// rows (2005 files), or computed from the column types and lengths for tables whose positions are missing.
#include <algorithm>
#include <functional>
#include <map>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "mdf/catalog_page.h"
#include "mdf/column_positions.h"
#include "mdf/recovery_engine.h"
#include "platform/text.h"

namespace mdf {

namespace {

constexpr std::int32_t kFixupTableObjectId = 212195806;
constexpr std::uint16_t kFixupColumnId = 29;
constexpr std::uint16_t kFixupRowsetColumnId = 23;

using RowsetKey = std::pair<std::uint32_t, std::uint16_t>;

std::map<RowsetKey, std::vector<TableNode*>> IndexTablesByRowset(std::list<TableNode>& tables) {
    std::map<RowsetKey, std::vector<TableNode*>> index;
    for (auto& table : tables) index[{table.m_dwRowsetIdMiddle, table.m_wRowsetIdHigh}].push_back(&table);
    return index;
}

// Walks the rows of one of the position tables' page lists: torn bits loaded afresh per page in files created
// on 2000, slot entries outside the page passed over, the first `size` bytes of each row read (zeros past the
// page end) and handed to visit. False when the user stopped the job.
bool WalkPositionRows(CRecoveryEngine& engine, const PageList& list, std::size_t size,
                      const std::function<void(std::span<const std::uint8_t> row)>& visit) {
    auto& app = engine.m_app;
    std::vector<std::uint8_t> row(size);
    for (std::size_t i = 0; i < list.size(); ++i) {
        const std::uint64_t page = list.m_arrOffsets[i];
        if (app.m_bCreatedOn2000) {
            app.m_abTornBits = {};
            engine.LoadTornBits(page);
        }
        const auto entries = engine.ReadSlotEntries(page, list.m_arrSlotCounts[i]);
        if (engine.StopRequested()) return false;
        for (const std::uint16_t e : entries) {
            if (!IsRecordOffset(e)) continue;
            std::fill(row.begin(), row.end(), 0);
            engine.ReadAt(page + e, row.data(), BytesOnPage(e, size), Fixup::Single);
            if (engine.StopRequested()) return false;
            visit(row);
        }
        if (engine.StopRequested()) return false;
    }
    return true;
}

}  // namespace

bool IsFixedLengthType(std::uint8_t type) {
    switch (type) {
        case 127: case 40: case 175: case 61: case 42: case 43: case 106: case 62: case 56: case 60: case 108:
        case 58: case 59: case 52: case 122: case 41: case 189: case 48: case 36: case 239: case 173:
            return true;
        default:
            return false;
    }
}

bool IsVariableLengthType(std::uint8_t type) {
    switch (type) {
        // 240 (CLR user type: hierarchyid, geometry, geography) is stored in the variable part as well.
        case 231: case 99: case 34: case 98: case 35: case 165: case 167: case 241: case 240:
            return true;
        default:
            return false;
    }
}

void ComputeTableColumnOffsets(TableNode& table) {
    auto& columns = table.m_lstColumns;
    if (columns.empty()) return;
    if (columns.front().m_nLeafOffset != 0 || columns.front().m_nPhysicalColumn != 0) return;

    // Counters wide enough for any column count (a table can have 1,024 columns).
    std::uint32_t with_column_id = 0;
    std::uint32_t with_rowset_id = 0;
    for (auto& c : columns) {
        if (table.m_nObjectId == kFixupTableObjectId && c.m_nColumnId == kFixupColumnId) {
            c.m_nRowsetColumnId = kFixupRowsetColumnId;
        }
        if (c.m_nColumnId > 0) ++with_column_id;
        if (c.m_nRowsetColumnId > 0 || c.m_bComputed) ++with_rowset_id;
    }
    const bool by_rowset_id = with_rowset_id >= with_column_id;
    auto key = [&](const ColumnNode& c) { return by_rowset_id ? c.m_nRowsetColumnId : c.m_nColumnId; };

    std::uint8_t bits_used = 0;        // bits used in the current bit byte
    std::uint16_t bit_bytes = 0;       // bit bytes started so far
    std::uint16_t bit_byte_offset = 0; // offset of the current bit byte
    for (auto& c : columns) {
        if (c.m_nLeafOffset != 0 || c.m_nPhysicalColumn != 0) continue;
        const std::uint16_t k = key(c);
        c.m_nPhysicalColumn = k;
        std::uint16_t fixed_before = 0;
        std::uint16_t variable_before = 0;
        for (const auto& d : columns) {
            if (key(d) >= k || d.m_bComputed) continue;
            if (IsFixedLengthType(d.m_nType)) fixed_before = static_cast<std::uint16_t>(fixed_before + d.m_nMaxInRowLength);
            if (IsVariableLengthType(d.m_nType)) ++variable_before;
        }
        if (IsFixedLengthType(c.m_nType)) {
            c.m_nLeafOffset = static_cast<std::int16_t>(4 + fixed_before + bit_bytes);
        } else if (IsVariableLengthType(c.m_nType)) {
            c.m_nLeafOffset = static_cast<std::int16_t>(static_cast<std::uint16_t>(0xFFFF - variable_before));
        } else if (c.m_nType == kTypeBit) {
            if (bits_used == 0) {
                // A new bit byte: it sits after the fixed columns before it and the bit bytes already started.
                bit_byte_offset = static_cast<std::uint16_t>(4 + fixed_before + bit_bytes);
                ++bit_bytes;
            }
            c.m_nLeafOffset = static_cast<std::int16_t>(bit_byte_offset);
            c.m_nBitPos = bits_used;
            bits_used = static_cast<std::uint8_t>((bits_used + 1) % 8);
        }
    }
}

void CRecoveryEngine::ComputeColumnOffsets() {
    m_app.m_nRecoveredCount = 0;
    SendRecordCount();
    SendProgress(platform::kProgressStart, m_app.m_nTableCount);
    for (auto& table : m_lstTables) {
        ComputeTableColumnOffsets(table);
        ++m_app.m_nRecoveredCount;
        SendRecordCount();
        SendProgress(platform::kProgressStep, 0);
    }
    SendProgress(platform::kProgressEnd, 0);
}

void CRecoveryEngine::ReadRowsetColumnRows() {
    auto tables = IndexTablesByRowset(m_lstTables);
    const bool completed = WalkPositionRows(*this, m_plRowsetColumns, 54, [&](std::span<const std::uint8_t> row) {
        if (IsGhostRecord(row[0]) || (row[2] != 34 && row[2] != 58)) return;
        auto u16 = [&](std::size_t at) { return static_cast<std::uint16_t>(row[at] | (row[at + 1] << 8)); };
        const std::uint32_t middle = u16(6) | (static_cast<std::uint32_t>(u16(8)) << 16);
        if (u16(14) != 0) return;
        const auto matching = tables.find({middle, u16(10)});
        if (matching == tables.end()) return;
        for (TableNode* table : matching->second) {
            // A rowset column that no column row of the table names (kept for the checks of the catalogue;
            // column id 0 is the server's own, such as the uniquifier of a clustered index that is not unique).
            const bool named = std::any_of(table->m_lstColumns.begin(), table->m_lstColumns.end(),
                                           [&](const ColumnNode& c) { return c.m_nColumnId == u16(12); });
            if (!named && u16(12) != 0) m_catalogue.unnamed_rowset_columns[table->m_nObjectId].insert(u16(12));
            for (auto& column : table->m_lstColumns) {
                if (column.m_nColumnId != u16(12)) continue;
                if (m_app.m_bSql2008Catalog) {
                    column.m_nLeafOffset = static_cast<std::int16_t>(u16(44));
                    column.m_nPhysicalColumn = u16(16);
                    column.m_nBitPos = row[52];
                    column.m_bPlacedByCatalogue = true;
                } else {
                    column.m_nRowsetColumnId = u16(16);
                }
                break;
            }
        }
    });
    if (completed) m_plRowsetColumns.clear();
}

void CRecoveryEngine::ReadColumnLayoutRows() {
    auto tables = IndexTablesByRowset(m_lstTables);
    const bool completed = WalkPositionRows(*this, m_plColumnLayouts, 39, [&](std::span<const std::uint8_t> row) {
        if (IsGhostRecord(row[0]) || row[2] != 41) return;
        auto u16 = [&](std::size_t at) { return static_cast<std::uint16_t>(row[at] | (row[at + 1] << 8)); };
        const std::uint32_t middle = u16(6) | (static_cast<std::uint32_t>(u16(8)) << 16);
        const auto matching = tables.find({middle, u16(10)});
        if (matching == tables.end()) return;
        TableNode* table = matching->second.front();  // only the first table with the key is searched
        for (auto& column : table->m_lstColumns) {
            if (column.m_bLayoutFound || column.m_nRowsetColumnId != u16(12)) continue;
            column.m_nLeafOffset = static_cast<std::int16_t>(u16(31));
            column.m_nPhysicalColumn = u16(37);
            column.m_nBitPos = row[35];
            column.m_bLayoutFound = true;
            column.m_bPlacedByCatalogue = true;
            break;
        }
    });
    if (completed) m_plColumnLayouts.clear();
}

}  // namespace mdf

namespace mdf {

std::vector<CRecoveryEngine::TableDamage> CRecoveryEngine::CheckColumnRows() {
    // The largest record the server stores in a page: a fixed-length value must end inside it.
    constexpr std::int32_t kMaxRecordLength = 8060;
    std::vector<TableDamage> found;
    auto decimal = [](std::int64_t n) { return platform::Widen(std::to_string(n)); };
    for (const auto& table : m_lstTables) {
        std::map<std::uint16_t, std::u16string> null_bits;  // physical column: the first column with it
        for (const auto& column : table.m_lstColumns) {
            const bool stored_type = IsFixedLengthType(column.m_nType) || IsVariableLengthType(column.m_nType) ||
                                     column.m_nType == kTypeBit;
            if (!stored_type) continue;
            auto damaged = [&](const std::u16string& why) {
                found.push_back({table.m_pszName, u"Damaged column row " + column.m_pszName + u" (" + why + u") of "});
            };
            if (m_app.m_bSql2005Catalog) {
                // A column without a place in the row is read as a computed one; only a column whose row says
                // it is computed, and whose expression is stored, may have none.
                if (column.m_bComputed) {
                    if (ReadObjectText(table.m_nObjectId, column.m_nColumnId).empty()) {
                        damaged(u"computed, but no definition is stored");
                    }
                    continue;
                }
                if (column.m_nLeafOffset == 0) {
                    damaged(u"no place in the row");
                    continue;
                }
                // The column's physical number is its bit in the row's null bitmap: without one, or with another
                // column's, a NULL is read as a value.
                if (column.m_nPhysicalColumn == 0) {
                    damaged(u"no bit in the null bitmap");
                } else if (const auto [other, first] = null_bits.emplace(column.m_nPhysicalColumn, column.m_pszName); !first) {
                    damaged(u"the null bit of column " + other->second);
                }
            }
            if (IsFixedLengthType(column.m_nType) || column.m_nType == kTypeBit) {
                const std::int32_t leaf = column.m_nLeafOffset;
                const std::int32_t length = column.m_nType == kTypeBit ? 1 : column.m_nMaxInRowLength;
                if (leaf != 0 && (leaf < 4 || leaf + length > kMaxRecordLength)) {
                    damaged(u"in-row offset " + decimal(leaf) + u" lies outside any row");
                }
            }
        }
    }
    return found;
}

}  // namespace mdf
