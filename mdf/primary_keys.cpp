// Primary keys of the tables, read when a repair starts: from sysidxstats and sysiscols in 2005-and-later
// files (with the statistics objects to re-create), from the keys field of sysindexes in 2000 files.
#include <algorithm>

#include "mdf/catalog_page.h"
#include "mdf/key_options.h"
#include "mdf/key_rows.h"
#include "mdf/recovery_engine.h"
#include "platform/text.h"

namespace mdf {

void CRecoveryEngine::ReadPrimaryKeys() {
    m_app.m_bHasStatistics = 0;
    const PageList& pages = m_plIndexStats;
    SendProgress(platform::kProgressStart, static_cast<platform::LPARAM>(pages.size()));
    for (std::size_t p = 0; p < pages.size(); ++p) {
        const std::uint64_t page = pages.m_arrOffsets[p];
        const std::uint64_t slot_count = pages.m_arrSlotCounts[p];
        if (m_app.m_bCreatedOn2000) LoadTornBits(page);
        const auto entries = ReadSlotEntries(page, slot_count);
        const std::uint32_t area_end = RecordAreaEnd(slot_count);
        for (const std::uint16_t entry : entries) {
            if (!RecordHolds(entry, kIndexNameStart, area_end)) continue;
            const std::uint64_t record = page + entry;
            if (IsGhostRecord(Read8(record))) continue;
            const IndexStatsRow row =
                ParseIndexStatsRow(ReadBytes(record + kIndexStatsReadAt, kIndexStatsKeyReadSize, Fixup::Single));
            if (IsPrimaryKeyStatus2005(row.m_nStatus0)) {
                if (FindFirstTable(m_lstTables, row.m_nObjectId) != nullptr) {
                    const std::u16string name = ReadIndexStatsName(*this, page, entry, area_end);
                    ReadPrimaryKeyColumns(row.m_nObjectId, row.m_nIndexId, name);
                }
                continue;
            }
            if (IsStatisticsStatus2005(row.m_nStatus0)) {
                StatisticsNode& node = AddStatistics();
                node.m_nObjectId = row.m_nObjectId;
                node.m_strName = ReadIndexStatsName(*this, page, entry, area_end);
                node.m_nIndexId = static_cast<std::int32_t>(row.m_nIndexId);
                ++m_app.m_bHasStatistics;
            }
        }
        SendProgress(platform::kProgressStep, 0);
        if (StopRequested()) return;
    }
    SendProgress(platform::kProgressEnd, 0);
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
    const PageList& pages = m_plIndexes;
    SendProgress(platform::kProgressStart, static_cast<platform::LPARAM>(pages.size()));
    for (std::size_t p = 0; p < pages.size(); ++p) {
        const std::uint64_t page = pages.m_arrOffsets[p];
        const std::uint64_t slot_count = pages.m_arrSlotCounts[p];
        LoadTornBits(page);
        const auto entries = ReadSlotEntries(page, slot_count);
        if (StopRequested()) return;
        const std::uint32_t area_end = RecordAreaEnd(slot_count);
        for (const std::uint16_t entry : entries) {
            if (!RecordHolds(entry, kKeysStart2000, area_end)) continue;
            const std::uint64_t record = page + entry;
            if (IsGhostRecord(Read8(record)) || Read8(record + 2) != kIndexRowFixedEnd2000) continue;
            const IndexRow2000 row =
                ParseIndexRow2000(ReadBytes(record + kIndexRow2000ReadAt, kIndexRow2000ReadSize, Fixup::Single));
            for (TableNode& table : m_lstTables) {
                if (table.m_nObjectId != row.m_nObjectId || !IsPrimaryKeyStatus2000(row.m_nStatus)) continue;
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
                const KeysField2000 keys = ReadKeysField2000(*this, page, entry, area_end);
                table.m_strPrimaryKeyName2000 = keys.m_strName;
                // The first entry and up to key count - 1 more, as far as the keys field reaches.
                const std::uint32_t count =
                    std::min<std::uint32_t>(std::max<std::uint16_t>(row.m_nKeyCount, 1), keys.m_nEntries);
                for (std::uint32_t k = 0; k < count; ++k) {
                    const KeyEntry2000 key = ReadKeyEntry2000(*this, record, k);
                    if (key.m_nFlags % 4 != 0) {
                        if (k == 0) break;  // the first entry is not a key column: the key has none
                        continue;
                    }
                    table.m_arrPrimaryKey2000.push_back({key.m_nColumnId, key.m_nFlags == 4});
                }
            }
            if (StopRequested()) return;
        }
        SendProgress(platform::kProgressStep, 0);
        if (StopRequested()) return;
    }
    SendProgress(platform::kProgressEnd, 0);
}

}  // namespace mdf
