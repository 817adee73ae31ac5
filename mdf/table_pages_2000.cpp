// Data pages and live-row counts of the tables of a 2000-format file, found through each table's allocation
// maps (IAM pages); and the finisher of the 2000 catalogue, which first settles duplicate tables and columns.
#include <array>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "mdf/catalog_page.h"
#include "mdf/recovery_engine.h"
#include "mdf/table_pages.h"
#include "platform/text.h"

namespace mdf {

namespace {

// Lists and counts one data page of the table, unless it is no data page of the table or was listed already
// (a page named by two IAM pages, one of them stale, holds its rows once). A page that the table should own
// (the PFS marks it allocated, or no PFS page covers it) and that is not its page is damage; index and text
// pages of the table hold no rows and are passed over.
void VisitDataPage(CRecoveryEngine& engine, TableNode& table, std::set<std::uint64_t>& listed, std::uint64_t page) {
    const std::uint64_t page_number = page / kPageSize;
    if (page + kPageSize > engine.m_nFileSize) return engine.NoteMissingPage(table, page_number);
    // The header lies in the page's first sector, which is never restored.
    std::array<std::uint8_t, 40> header{};
    engine.ReadAt(page, header.data(), header.size());
    auto u16 = [&](std::size_t at) { return static_cast<std::uint16_t>(header[at] | (header[at + 1] << 8)); };
    const auto object_id = static_cast<std::int32_t>(u16(kPageHeaderObjectIdOffset) |
                                                     (static_cast<std::uint32_t>(u16(kPageHeaderObjectIdOffset + 2)) << 16));
    const bool table_page = object_id == table.m_nObjectId && IsSoundPageHeader(header, page_number);
    if (u16(0) != kPageTypeData || !table_page) {
        if (!table_page && engine.m_allocationMaps.PageAllocated(page_number).value_or(true)) {
            engine.NoteDamagedPage(table, page_number, ForeignPageText(header, page_number));
        }
        return;
    }
    const std::uint16_t slot_count = u16(kPageHeaderSlotCountOffset);
    if (!listed.insert(page).second) return;
    bool shared_record = false;
    table.m_nRowCount += CountLiveRecords(engine, page, slot_count, &shared_record);
    table.m_lstDataPages.push_back({page});
    if (shared_record) engine.NoteTableDamage(table, DamagedPageLine(page_number, u"two slots list one record"));
}

// Walks one IAM page of the table: the single pages of each header record, then the pages of each set extent,
// in slot order. False when a stop was requested.
bool WalkIamPage(CRecoveryEngine& engine, TableNode& table, std::set<std::uint64_t>& listed, std::uint64_t iam,
                 bool other_files) {
    for (const IamRecord& record : ReadIamPage(engine, iam, other_files).records) {
        for (const std::uint32_t page : record.single_pages) {
            VisitDataPage(engine, table, listed, static_cast<std::uint64_t>(page) * kPageSize);
        }
        for (const std::uint64_t page : record.extent_pages) VisitDataPage(engine, table, listed, page * kPageSize);
        if (engine.StopRequested()) return false;
    }
    return true;
}

// Two object rows with one name: the same table met twice (one object id) is listed once; tables of the same
// name under different owners (different object ids) are both kept. Either way the log says so.
void RemoveDuplicateTables2000(CRecoveryEngine& engine) {
    auto& tables = engine.m_lstTables;
    for (auto first = tables.begin(); first != tables.end(); ++first) {
        for (auto later = std::next(first); later != tables.end();) {
            if (!platform::EqualsNoCase(first->m_pszName, later->m_pszName)) {
                ++later;
                continue;
            }
            if (later->m_nObjectId == first->m_nObjectId) {
                engine.LogLine(u"Table " + later->m_pszName + u" (object id " +
                               platform::Widen(std::to_string(later->m_nObjectId)) +
                               u") was found twice in the catalogue; it is listed once.");
                later = tables.erase(later);
                --engine.m_app.m_nTableCount;
            } else {
                engine.LogLine(u"Two tables are named " + later->m_pszName + u" (object ids " +
                               platform::Widen(std::to_string(first->m_nObjectId)) + u" and " +
                               platform::Widen(std::to_string(later->m_nObjectId)) + u"): both are kept.");
                ++later;
            }
        }
    }
}

}  // namespace

void CRecoveryEngine::ReadIndexRows2000() {
    // Index rows (system object 2): object id at 4, index id at 18, the row count at 44 (64 bits) and the first
    // allocation map at 68 (page number, then file number at 72); the fixed part ends at 82.
    m_catalogue.index_rows.clear();
    const PageList& list = m_plIndexes;
    for (std::size_t i = 0; i < list.size(); ++i) {
        const std::uint64_t page = list.m_arrOffsets[i];
        LoadTornBits(page);
        for (const std::uint16_t entry : ReadSlotEntries(page, list.m_arrSlotCounts[i])) {
            if (!IsRecordOffset(entry) || entry + 74u > kPageSize) continue;
            std::array<std::uint8_t, 74> r{};
            ReadAt(page + entry, r.data(), r.size(), Fixup::Single);
            auto u16 = [&](std::size_t at) { return static_cast<std::uint16_t>(r[at] | (r[at + 1] << 8)); };
            auto u32 = [&](std::size_t at) { return u16(at) | (static_cast<std::uint32_t>(u16(at + 2)) << 16); };
            if (IsGhostRecord(r[0]) || u16(2) != 82) continue;
            const std::uint16_t index_id = u16(18);
            if (index_id > 1) continue;
            const std::uint64_t rows = u32(44) | (static_cast<std::uint64_t>(u32(48)) << 32);
            // The name is the second variable column (after the keys): column count at 82, its null bitmap, the
            // variable-column count and their end offsets.
            std::u16string name;
            const std::uint64_t record = page + entry;
            const std::uint16_t columns = Read16(record + 82, Fixup::Single);
            const std::uint32_t count_at = 84 + (columns + 7u) / 8u;
            if (entry + count_at + 6u <= kPageSize && Read16(record + count_at, Fixup::Single) >= 2) {
                const std::uint16_t start = Read16(record + count_at + 2, Fixup::Single) & 0x7FFF;
                const std::uint16_t end = Read16(record + count_at + 4, Fixup::Single) & 0x7FFF;
                if (end > start && (end - start) % 2 == 0 && entry + end <= kPageSize) {
                    const auto bytes = ReadBytes(record + start, end - start, Fixup::Single);
                    for (std::size_t k = 0; k + 1 < bytes.size(); k += 2) {
                        name.push_back(static_cast<char16_t>(bytes[k] | (bytes[k + 1] << 8)));
                    }
                }
            }
            m_catalogue.index_rows.push_back({static_cast<std::int32_t>(u32(4)), index_id, rows, u32(68), u16(72), name});
        }
    }
}

void CRecoveryEngine::WalkTableAllocations() {
    ReadIndexRows2000();
    // The IAM pages of each object, in file order, found once: every table would otherwise read the header of
    // every IAM page of the file.
    std::map<std::int32_t, std::vector<std::uint64_t>> iam_pages_of;
    for (const std::uint64_t iam : m_arrIamPages) {
        if (Read16(iam, Fixup::Single) != kPageTypeIam) continue;
        iam_pages_of[static_cast<std::int32_t>(Read32(iam + kPageHeaderObjectIdOffset, Fixup::Single))].push_back(iam);
    }
    const bool other_files = IamPagesNameOtherFiles(*this, m_arrIamPages);
    SendProgress(platform::kProgressStart, m_app.m_nTableCount);
    for (auto& table : m_lstTables) {
        std::set<std::uint64_t> listed;
        // The table's index row of its data (index 0 or 1): the row count the catalogue keeps, and the first
        // allocation map, whose chain must reach only sound maps of the table.
        for (const auto& row : m_catalogue.index_rows) {
            if (row.object_id != table.m_nObjectId) continue;
            table.m_losses.catalogue_rows = table.m_losses.catalogue_rows.value_or(0) + row.rows;
            if (row.first_iam_file == 1) {
                CheckAllocationMapChain(table, row.first_iam, static_cast<std::uint32_t>(table.m_nObjectId), std::nullopt);
            }
        }
        if (const auto found = iam_pages_of.find(table.m_nObjectId); found != iam_pages_of.end()) {
            for (const std::uint64_t iam : found->second) {
                if (!WalkIamPage(*this, table, listed, iam, other_files)) return;
                if (StopRequested()) return;
            }
        }
        SendProgress(platform::kProgressStep, 0);
        if (StopRequested()) return;
    }
    SendProgress(platform::kProgressEnd, 0);
}

void CRecoveryEngine::FinishCatalog2000() {
    RemoveDuplicateTables2000(*this);
    RemoveDuplicateColumns();
    WalkTableAllocations();
}

}  // namespace mdf
