// The index-column rows (sysiscols) that the statistics script needs: every key or statistics column of the
// file, copied into the engine's index-column list in file order.
#include "mdf/catalog_page.h"
#include "mdf/key_rows.h"
#include "mdf/recovery_engine.h"

namespace mdf {

void CRecoveryEngine::ReadIndexColumnRows() {
    m_app.m_nRecoveredCount = 0;
    SendRecordCount();
    const PageList& pages = m_plIndexes;
    SendProgress(platform::kProgressStart, static_cast<platform::LPARAM>(pages.size()));
    for (std::size_t p = 0; p < pages.size(); ++p) {
        const std::uint64_t page = pages.m_arrOffsets[p];
        // The page's own slot count, not the one the scan recorded.
        const std::uint16_t slot_count = Read16(page + kPageHeaderSlotCountOffset, Fixup::Single);
        m_app.m_abTornBits = {};
        LoadTornBits(page);
        const auto entries = ReadSlotEntries(page, slot_count);
        if (StopRequested()) return;
        const std::uint32_t area_end = RecordAreaEnd(slot_count);
        for (const std::uint16_t entry : entries) {
            if (RecordHolds(entry, kIndexColumnReadAt + kIndexColumnReadSize, area_end)) {
                const std::uint64_t record = page + entry;
                if (!IsGhostRecord(Read8(record))) {
                    const IndexColumnRow row = ParseIndexColumnRow(
                        ReadBytes(record + kIndexColumnReadAt, kIndexColumnReadSize, Fixup::Single));
                    // Key columns of indexes and statistics columns: status bit 0x01 set, 0x08 and 0x20 clear
                    // (included columns, 18, are left out).
                    if (IsIndexColumnFixedEnd(row.m_nFixedEnd) && (row.StatusByte() & 0x29) == 1) {
                        IndexColumnNode& node = AddIndexColumnNode();
                        node.m_nObjectId = row.m_nObjectId;
                        node.m_nIndexId = static_cast<std::int32_t>(row.m_nIndexId);
                        node.m_nIndexColumnId = static_cast<std::int32_t>(row.m_nIndexColumnId);
                        node.m_nColumnId = static_cast<std::int32_t>(row.m_nColumnId);
                        node.m_nStatus = static_cast<std::int32_t>(row.m_nStatus);
                    }
                }
            }
            if (StopRequested()) return;
        }
        ++m_app.m_nRecoveredCount;
        SendRecordCount();
        SendProgress(platform::kProgressStep, 0);
    }
    SendProgress(platform::kProgressEnd, 0);
}

}  // namespace mdf
