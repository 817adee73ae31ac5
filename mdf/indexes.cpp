// Indexes and unique-key constraints of the tables, read when a repair starts: options and names from
// sysidxstats with the columns from sysiscols in 2005-and-later files, everything from sysindexes in 2000 files.
#include <algorithm>

#include "mdf/key_options.h"
#include "mdf/key_rows.h"
#include "mdf/recovery_engine.h"
#include "platform/text.h"

namespace mdf {

void CRecoveryEngine::ReadIndexes() {
    WalkIndexStatsRows(*this, [&](const CatalogRowPlace& place, const IndexStatsRow& row) {
        const IndexRowKind kind = ClassifyIndexStatus2005(row.m_nStatus0);
        if (kind == IndexRowKind::None) return;
        // One index per row, kept by the first table with the object id (the column readers' table).
        const TableNode* table = FindFirstTable(m_lstTables, row.m_nObjectId);
        if (table == nullptr) return;
        const KeyOptions options = DecodeIndexOptions2005(row.m_nStatus0, row.m_nStatus1, row.m_nFillFactor);
        const std::u16string name = ReadIndexStatsName(*this, place.m_nPage, place.m_nEntry, place.m_nAreaEnd);
        const std::u16string what = kind == IndexRowKind::UniqueKey ? u"unique key" : u"index";
        // What cannot be scripted is named, never dropped in silence.
        if (name.empty()) {
            m_repairTally.keys_not_taken.push_back(
                {what, table->m_pszName + u" (index id " + platform::Widen(std::to_string(row.m_nIndexId)) + u")",
                 u"its name cannot be read from the catalogue: it is not created"});
            return;
        }
        if ((row.m_nStatus0 & kDisabledBit2005) != 0) {
            m_repairTally.keys_not_taken.push_back(
                {what, name, u"it is disabled in the data file (it holds no rows): it is not created"});
            return;
        }
        const std::size_t before = kind == IndexRowKind::UniqueKey ? table->m_lstUniqueKeys.size() : table->m_lstIndexes.size();
        const bool complete = kind == IndexRowKind::UniqueKey
                                  ? ReadUniqueKeyColumns(row.m_nObjectId, row.m_nIndexId, name, options)
                                  : ReadIndexKeyColumns(row.m_nObjectId, row.m_nIndexId, name, options);
        const std::size_t after = kind == IndexRowKind::UniqueKey ? table->m_lstUniqueKeys.size() : table->m_lstIndexes.size();
        if (complete && after == before) {
            m_repairTally.keys_not_taken.push_back(
                {what, name, u"no key column of it was found in the catalogue: it is not created"});
        }
    });
}

bool CRecoveryEngine::ReadIndexKeyColumns(std::int32_t object_id, std::uint32_t index_id, const std::u16string& name,
                                          const KeyOptions& options) {
    TableNode* table = FindFirstTable(m_lstTables, object_id);
    if (table == nullptr) return true;
    structIndex index;
    index.m_strName = name;
    // Included columns are kept apart and follow the key columns: the rows come in file order, and an included
    // column placed among the key columns would be overwritten by a key column of a later page.
    std::vector<structColindex> included;
    const bool complete = WalkIndexColumnRows(
        *this, object_id, index_id,
        [&] {
            index.m_bClustered = index_id == 1;
            index.m_bUnique = index.m_bUnique || options.m_bUnique;
            index.m_bIgnoreDupKey = index.m_bIgnoreDupKey || options.m_bIgnoreDupKey;
            index.m_bNoRecompute = index.m_bNoRecompute || options.m_bNoRecompute;
            index.m_bPadIndex = index.m_bPadIndex || options.m_bPadIndex;
            index.m_bPageLocksOff = index.m_bPageLocksOff || options.m_bPageLocksOff;
            index.m_bRowLocksOff = index.m_bRowLocksOff || options.m_bRowLocksOff;
            if (options.m_nFillFactor != 0) index.m_nFillFactor = options.m_nFillFactor;
        },
        [&](const IndexColumnRow& row) {
            structColindex column;
            column.m_nColumnId = static_cast<std::int32_t>(row.m_nColumnId);
            column.m_bDescending = row.StatusByte() == kIndexColumnDescending;
            column.m_bIncluded = row.StatusByte() == kIndexColumnIncluded;
            if (column.m_bIncluded) ++index.m_nIncludedColumns;
            if (row.IsKeyColumn()) {
                PlaceKeyColumn(index.m_arrColumns, row.m_nOrdinal, column);
            } else if (column.m_bIncluded) {
                included.push_back(column);
            }
        });
    if (!complete) return false;
    index.m_arrColumns.insert(index.m_arrColumns.end(), included.begin(), included.end());
    if (!index.m_arrColumns.empty() && index.m_arrColumns.front().m_nColumnId != 0) {
        table->m_lstIndexes.push_back(std::move(index));
    }
    return true;
}

bool CRecoveryEngine::ReadUniqueKeyColumns(std::int32_t object_id, std::uint32_t index_id, const std::u16string& name,
                                           const KeyOptions& options) {
    TableNode* table = FindFirstTable(m_lstTables, object_id);
    if (table == nullptr) return true;
    structUniqueKey key;
    key.m_bPadIndex = options.m_bPadIndex;
    key.m_bIgnoreDupKey = options.m_bIgnoreDupKey;
    key.m_bNoRecompute = options.m_bNoRecompute;
    key.m_bRowLocksOff = options.m_bRowLocksOff;
    key.m_bPageLocksOff = options.m_bPageLocksOff;
    key.m_nFillFactor = options.m_nFillFactor;
    key.m_bClustered = index_id == 1;
    const bool complete = WalkIndexColumnRows(
        *this, object_id, index_id, [] {},
        [&](const IndexColumnRow& row) {
            if (!row.IsKeyColumn()) return;
            key.m_strName = name;
            key.m_bColumnsFound = true;
            key.m_bClustered = row.m_nIndexId == 1;
            structColindex column;
            column.m_nColumnId = static_cast<std::int32_t>(row.m_nColumnId);
            column.m_bDescending = row.StatusByte() == kIndexColumnDescending;
            PlaceKeyColumn(key.m_arrColumns, row.m_nOrdinal, column);
        });
    if (!complete) return false;
    if (!key.m_arrColumns.empty() && key.m_arrColumns.front().m_nColumnId != 0 && !key.m_strName.empty()) {
        table->m_lstUniqueKeys.push_back(std::move(key));
    }
    return true;
}

void CRecoveryEngine::ReadIndexes2000() {
    // Each row is read once and given to every table with its object id (a table met twice has two nodes).
    WalkIndexRows2000(*this, [&](const CatalogRowPlace& place, const IndexRow2000& row) {
        const IndexRowKind kind = ClassifyIndexStatus2000(row.m_nStatus, row.m_nKeyCount);
        if (kind == IndexRowKind::None) return;
        for (TableNode& table : m_lstTables) {
            if (row.m_nObjectId != table.m_nObjectId) continue;
            // A clustered index's key count has no row locator in it.
            const bool clustered = row.m_nIndexId == 1;
            const std::int32_t columns = row.m_nKeyCount + (clustered ? 1 : 0) - 1;
            std::u16string name;
            std::vector<structColindex> key;
            if (columns >= 1) {
                const KeysField2000 keys = ReadKeysField2000(*this, place.m_nPage, place.m_nEntry, place.m_nAreaEnd);
                name = keys.m_strName;
                const std::uint32_t count =
                    std::min<std::uint32_t>(static_cast<std::uint32_t>(columns), keys.m_nEntries);
                for (std::uint32_t k = 0; k < count; ++k) {
                    const KeyEntry2000 entry_k = ReadKeyEntry2000(*this, place.Record(), k);
                    if (entry_k.m_nFlags % 4 != 0 || entry_k.m_nColumnId == 0) continue;
                    key.push_back({entry_k.m_nColumnId, entry_k.m_nFlags == 4, false});
                }
            }
            if (kind == IndexRowKind::Index) {
                const KeyOptions options = DecodeIndexOptions2000(row.m_nStatus, row.m_nFillFactor);
                structIndex& index = table.m_lstIndexes.emplace_back();
                index.m_strName = std::move(name);
                index.m_arrColumns = std::move(key);
                index.m_nFillFactor = options.m_nFillFactor;
                index.m_bPadIndex = options.m_bPadIndex;
                index.m_bClustered = clustered;
                index.m_bUnique = options.m_bUnique;
                index.m_bIgnoreDupKey = options.m_bIgnoreDupKey;
                index.m_bNoRecompute = options.m_bNoRecompute;
            } else {
                structUniqueKey& unique = table.m_lstUniqueKeys.emplace_back();
                unique.m_strName = std::move(name);
                unique.m_arrColumns = std::move(key);
                unique.m_bClustered = clustered;
                unique.m_nFillFactor = row.m_nFillFactor;
                unique.m_bColumnsFound = true;
            }
        }
    });
}

}  // namespace mdf
