// Primary keys of the tables, read when a repair starts: from sysidxstats and sysiscols in 2005-and-later
// files (with the statistics objects to re-create), from the keys field of sysindexes in 2000 files.
#include <algorithm>

#include "mdf/key_options.h"
#include "mdf/key_rows.h"
#include "mdf/recovery_engine.h"

namespace mdf {

void CRecoveryEngine::ReadPrimaryKeys() {
    m_app.m_bHasStatistics = 0;
    WalkIndexStatsRows(*this, [&](const CatalogRowPlace& place, const IndexStatsRow& row) {
        if (IsPrimaryKeyStatus2005(row.m_nStatus0)) {
            if (FindFirstTable(m_lstTables, row.m_nObjectId) != nullptr) {
                const std::u16string name = ReadIndexStatsName(*this, place.m_nPage, place.m_nEntry, place.m_nAreaEnd);
                ReadPrimaryKeyColumns(row.m_nObjectId, row.m_nIndexId, name);
            }
            return;
        }
        if (IsStatisticsStatus2005(row.m_nStatus0)) {
            StatisticsNode& node = AddStatistics();
            node.m_nObjectId = row.m_nObjectId;
            node.m_strName = ReadIndexStatsName(*this, place.m_nPage, place.m_nEntry, place.m_nAreaEnd);
            node.m_nIndexId = static_cast<std::int32_t>(row.m_nIndexId);
            ++m_app.m_bHasStatistics;
        }
    });
}

bool CRecoveryEngine::ReadPrimaryKeyColumns(std::int32_t object_id, std::uint32_t index_id,
                                            const std::u16string& name) {
    TableNode* table = FindFirstTable(m_lstTables, object_id);
    if (table == nullptr) return true;
    return WalkIndexColumnRows(
        *this, object_id, index_id, [&] { table->m_strPrimaryKeyName = name; },
        [&](const IndexColumnRow& row) {
            if (!row.IsKeyColumn()) return;
            StructPk column;
            column.m_nColumnId = static_cast<std::uint16_t>(row.m_nColumnId);
            column.m_bDescending = row.StatusByte() == kIndexColumnDescending;
            if (PlaceKeyColumn(table->m_arrPrimaryKey, row.m_nOrdinal, column) && index_id == 1) {
                table->m_bClusteredPrimaryKey = true;
            }
        });
}

void CRecoveryEngine::ReadPrimaryKeyColumns2000() {
    WalkIndexRows2000(*this, [&](const CatalogRowPlace& place, const IndexRow2000& row) {
        if (!IsPrimaryKeyStatus2000(row.m_nStatus)) return;
        for (TableNode& table : m_lstTables) {
            if (table.m_nObjectId != row.m_nObjectId) continue;
            switch (PrimaryKeyClustering2000(row.m_nStatus, row.m_nIndexId)) {
                case ClusteringChange::Clustered:
                    table.m_bClusteredPrimaryKey = true;
                    break;
                case ClusteringChange::Nonclustered:
                    table.m_bClusteredPrimaryKey = false;
                    break;
                case ClusteringChange::Unchanged:
                    break;
            }
            const KeysField2000 keys = ReadKeysField2000(*this, place.m_nPage, place.m_nEntry, place.m_nAreaEnd);
            table.m_strPrimaryKeyName2000 = keys.m_strName;
            // The first entry and up to key count - 1 more, as far as the keys field reaches.
            const std::uint32_t count =
                std::min<std::uint32_t>(std::max<std::uint16_t>(row.m_nKeyCount, 1), keys.m_nEntries);
            for (std::uint32_t k = 0; k < count; ++k) {
                const KeyEntry2000 key = ReadKeyEntry2000(*this, place.Record(), k);
                if (key.m_nFlags % 4 != 0) {
                    if (k == 0) break;  // the first entry is not a key column: the key has none
                    continue;
                }
                table.m_arrPrimaryKey2000.push_back({key.m_nColumnId, key.m_nFlags == 4});
            }
        }
    });
}

}  // namespace mdf
