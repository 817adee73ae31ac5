// Data pages and live-row counts of the tables of 2005-and-later files: each table is tied to its in-row
// allocation units through the rowset and allocation-unit rows, and the allocation maps (IAM pages) of those
// units list its data pages. Also the duplicate removal that precedes the walk.
#include <algorithm>
#include <array>
#include <map>
#include <optional>
#include <string>
#include <set>
#include <vector>

#include "mdf/catalog_page.h"
#include "mdf/recovery_engine.h"
#include "mdf/table_pages.h"
#include "platform/text.h"

namespace mdf {

namespace {

// The page offsets listed so far for one table: a bit per page of the file (cleared after the table by
// unmarking the pages it listed), and a set for any offset that is no page start or lies beyond the file.
class ListedPages {
public:
    explicit ListedPages(std::uint64_t file_pages) : bits_(static_cast<std::size_t>((file_pages + 63) / 64)) {}
    // False when the offset was listed already.
    bool Insert(std::uint64_t offset) {
        const std::uint64_t page = offset / kPageSize;
        if (offset % kPageSize != 0 || page / 64 >= bits_.size()) return others_.insert(offset).second;
        std::uint64_t& word = bits_[static_cast<std::size_t>(page / 64)];
        const std::uint64_t bit = std::uint64_t{1} << (page % 64);
        if (word & bit) return false;
        word |= bit;
        return true;
    }
    // Forgets the given offsets: every offset inserted since the last Clear must be among them.
    void Clear(const std::vector<DataPageNode>& listed) {
        for (const auto& p : listed) {
            const std::uint64_t page = p.m_nPageOffset / kPageSize;
            if (p.m_nPageOffset % kPageSize == 0 && page / 64 < bits_.size()) {
                bits_[static_cast<std::size_t>(page / 64)] &= ~(std::uint64_t{1} << (page % 64));
            }
        }
        others_.clear();
    }

private:
    std::vector<std::uint64_t> bits_;
    std::set<std::uint64_t> others_;
};

constexpr std::uint16_t kIamHeaderFixedEnd = 94;
constexpr std::size_t kIamHeaderLength = 94;
constexpr std::size_t kIamBitmapOffset = 4;
constexpr std::size_t kIamBitmapBytes = 7988;

// One in-row allocation-unit row: its page-header object id and first page, and the owning rowset's key.
struct AllocUnitRow {
    std::uint32_t key32 = 0;
    std::uint16_t key16 = 0;
    std::uint32_t unit_object_id = 0;
    std::uint32_t first_page = 0;
};

// Reads the in-row allocation-unit rows of one page, in slot order.
std::vector<AllocUnitRow> ReadAllocUnitPage(CRecoveryEngine& engine, std::uint64_t page, std::uint64_t slot_count) {
    std::vector<AllocUnitRow> rows;
    if (engine.App().m_bCreatedOn2000) engine.LoadTornBits(page);
    for (std::uint16_t e : engine.ReadSlotEntries(page, slot_count)) {
        if (!IsRecordOffset(e)) continue;
        const std::uint64_t record = page + e;
        if (IsGhostRecord(engine.Read8(record, Fixup::Single))) continue;
        std::array<std::uint8_t, 44> r{};  // r[i] is record byte i; bytes 1 to 43 are read, up to the page end
        engine.ReadAt(record + 1, r.data() + 1, BytesOnPage(e + 1, 43), Fixup::Single);
        auto u16 = [&](std::size_t at) { return static_cast<std::uint16_t>(r[at] | (r[at + 1] << 8)); };
        auto u32 = [&](std::size_t at) { return u16(at) | (static_cast<std::uint32_t>(u16(at + 2)) << 16); };
        if (r[12] != 1) continue;  // in-row data only
        rows.push_back({u32(15), u16(19), u32(6), u32(27)});
    }
    return rows;
}

}  // namespace

std::uint64_t CountLiveRecords(CRecoveryEngine& engine, std::uint64_t page_offset, std::uint64_t slot_count) {
    engine.LoadTornBits(page_offset);
    std::uint64_t live = 0;
    for (std::uint16_t e : engine.ReadSlotEntries(page_offset, slot_count)) {
        if (!IsRecordOffset(e)) continue;
        if (IsLiveDataRecord(engine.Read8(page_offset + e, Fixup::Single))) ++live;
    }
    return live;
}

std::uint32_t CRecoveryEngine::ReadAllocationUnitRows(std::uint32_t key32, std::uint16_t key16,
                                                      const std::u16string& table_name) {
    std::uint32_t result = 0;
    const PageList& list = m_plAllocationUnits;
    for (std::size_t i = 0; i < list.size(); ++i) {
        for (const auto& row : ReadAllocUnitPage(*this, list.m_arrOffsets[i], list.m_arrSlotCounts[i])) {
            if (row.key16 != key16 || row.key32 != key32) continue;
            result = row.unit_object_id;
            m_nFirstDataPage = row.first_page;
            m_arrFilterTableDataOffset.push_back({row.first_page, table_name});
        }
        if (StopRequested()) return 0;
    }
    return result;
}

void CRecoveryEngine::ReadRowsetRows() {
    // The allocation-unit rows are read once and looked up by rowset key; the result of each lookup is what a
    // walk of the allocation-unit pages for that key gives.
    std::map<std::pair<std::uint32_t, std::uint16_t>, std::vector<AllocUnitRow>> units;
    for (std::size_t i = 0; i < m_plAllocationUnits.size(); ++i) {
        for (const auto& row : ReadAllocUnitPage(*this, m_plAllocationUnits.m_arrOffsets[i], m_plAllocationUnits.m_arrSlotCounts[i])) {
            units[{row.key32, row.key16}].push_back(row);
        }
        if (StopRequested()) return;
    }
    std::map<std::int32_t, std::vector<TableNode*>> tables;
    for (auto& table : m_lstTables) tables[table.m_nObjectId].push_back(&table);

    const PageList& list = m_plRowsets;
    for (std::size_t i = 0; i < list.size(); ++i) {
        const std::uint64_t page = list.m_arrOffsets[i];
        if (m_app.m_bCreatedOn2000) LoadTornBits(page);
        for (std::uint16_t e : ReadSlotEntries(page, list.m_arrSlotCounts[i])) {
            if (!IsRecordOffset(e)) continue;
            const std::uint64_t record = page + e;
            if (IsGhostRecord(Read8(record, Fixup::Single))) continue;
            std::array<std::uint8_t, 21> r{};  // r[i] is record byte i; bytes 1 to 20 are read, up to the page end
            ReadAt(record + 1, r.data() + 1, BytesOnPage(e + 1, 20), Fixup::Single);
            auto u16 = [&](std::size_t at) { return static_cast<std::uint16_t>(r[at] | (r[at + 1] << 8)); };
            auto u32 = [&](std::size_t at) { return u16(at) | (static_cast<std::uint32_t>(u16(at + 2)) << 16); };
            if (r[2] != 39 && r[2] != 57) continue;
            if (u16(17) != 0 && u16(17) != 1) continue;
            const auto matching = tables.find(static_cast<std::int32_t>(u32(13)));
            if (matching == tables.end()) continue;
            const std::uint32_t key32 = u32(6);
            const std::uint16_t key16 = u16(10);
            for (TableNode* table : matching->second) {
                if (!table->m_bRowsetFound) {
                    table->m_dwRowsetIdMiddle = key32;
                    table->m_wRowsetIdHigh = key16;
                    table->m_bRowsetFound = true;
                }
                const auto saved_torn_bits = m_app.m_abTornBits;
                std::uint32_t unit_id = 0;
                m_nFirstDataPage = 0;
                if (const auto found = units.find({key32, key16}); found != units.end()) {
                    for (const auto& unit : found->second) {
                        unit_id = unit.unit_object_id;
                        m_nFirstDataPage = unit.first_page;
                        m_arrFilterTableDataOffset.push_back({unit.first_page, table->m_pszName});
                    }
                }
                table->m_lstAllocUnits.push_back({m_nFirstDataPage != 0 ? unit_id : 0});
                m_app.m_abTornBits = saved_torn_bits;
                if (m_nFirstDataPage == 0) continue;
                m_nFirstDataPage *= kPageSize;
                const std::uint64_t first = m_nFirstDataPage;
                if (Read16(first) != kPageTypeData) continue;
                const std::uint16_t slot_count = Read16(first + kPageHeaderSlotCountOffset);
                if (Read32(first + kPageHeaderObjectIdOffset) != unit_id) continue;
                // Listed once; its live records are counted, not its slots (ghost and deleted slots hold no row).
                const bool listed = std::any_of(table->m_lstDataPages.begin(), table->m_lstDataPages.end(),
                                                [&](const DataPageNode& p) { return p.m_nPageOffset == first; });
                if (listed) continue;
                table->m_lstDataPages.push_back({first});
                table->m_nRowCount += CountLiveRecords(*this, first, slot_count);
                m_app.m_abTornBits = saved_torn_bits;
            }
        }
        if (StopRequested()) return;
    }
}

void CRecoveryEngine::WalkTableAllocations2005() {
    SendProgress(platform::kProgressStart, m_app.m_nTableCount);
    m_mapMissingPages.clear();

    // Every IAM page's object id, read once; per object the pages keep the order of the IAM list.
    std::map<std::uint32_t, std::vector<std::size_t>> iam_by_object;
    for (std::size_t i = 0; i < m_arrIamPages.size(); ++i) {
        iam_by_object[Read32(m_arrIamPages[i] + kPageHeaderObjectIdOffset)].push_back(i);
    }
    const bool other_files = IamPagesNameOtherFiles(*this, m_arrIamPages);
    // First pages already listed by the rowset reader, by lower-cased table name.
    std::map<std::u16string, std::set<std::uint64_t>> first_pages;
    for (const auto& filter : m_arrFilterTableDataOffset) {
        first_pages[platform::ToLower(filter.m_strTableName)].insert(filter.m_nFirstPage);
    }
    const bool skip_index_one = m_app.m_bSql2008Catalog && !m_app.m_bConvertedFrom2000;

    ListedPages listed(m_nFileSize / kPageSize);
    for (auto& table : m_lstTables) {
        static const std::set<std::uint64_t> kNone;
        const auto filter_it = first_pages.find(platform::ToLower(table.m_pszName));
        const std::set<std::uint64_t>& filtered = filter_it == first_pages.end() ? kNone : filter_it->second;

        std::vector<std::size_t> iam_pages;
        std::set<std::uint32_t> units;
        for (const auto& unit : table.m_lstAllocUnits) {
            if (unit.m_nObjectId == 0 || !units.insert(unit.m_nObjectId).second) continue;
            if (const auto found = iam_by_object.find(unit.m_nObjectId); found != iam_by_object.end()) {
                iam_pages.insert(iam_pages.end(), found->second.begin(), found->second.end());
            }
        }
        std::sort(iam_pages.begin(), iam_pages.end());

        for (const auto& p : table.m_lstDataPages) listed.Insert(p.m_nPageOffset);

        for (std::size_t index : iam_pages) {
            const std::uint64_t iam = m_arrIamPages[index];
            const std::uint32_t unit_id = Read32(iam + kPageHeaderObjectIdOffset);
            auto visit = [&](std::uint64_t page_number) {
                const std::uint64_t q = page_number * kPageSize;
                if (q + kPageSize > m_nFileSize) {
                    m_mapMissingPages.emplace(page_number, table.m_pszName);
                    return;
                }
                if (page_number < m_arrDataPageNotes.size() && m_arrDataPageNotes[page_number].noted) {
                    // The page scan read this data page already: the same tests on its note.
                    const DataPageNote& note = m_arrDataPageNotes[page_number];
                    if (skip_index_one && note.index_id == 1) return;
                    if (note.object_id != unit_id) return;
                    if (!listed.Insert(q)) return;
                    table.m_nRowCount += note.live_records;
                    table.m_lstDataPages.push_back({q});
                    return;
                }
                if (Read16(q) != kPageTypeData) return;
                if (skip_index_one && Read8(q + kPageHeaderIndexIdOffset) == 1) return;
                const std::uint16_t slot_count = Read16(q + kPageHeaderSlotCountOffset);
                if (Read32(q + kPageHeaderObjectIdOffset) != unit_id) return;
                if (!listed.Insert(q)) return;  // a page reached twice is listed and counted once
                table.m_nRowCount += CountLiveRecords(*this, q, slot_count);
                table.m_lstDataPages.push_back({q});
            };
            const auto walk = ReadIamPage(*this, iam, other_files);
            bool single_skipped = false;
            for (const auto& record : walk.records) {
                if (record.is_header) {
                    single_skipped = false;
                    for (std::uint32_t page_number : record.single_pages) {
                        if (!single_skipped && filtered.count(page_number)) {
                            single_skipped = true;
                            continue;
                        }
                        visit(page_number);
                        LoadTornBits(iam);
                    }
                } else {
                    for (std::uint64_t page_number : record.extent_pages) {
                        if (filtered.count(page_number)) continue;
                        visit(page_number);
                        LoadTornBits(iam);
                    }
                }
            }
        }
        listed.Clear(table.m_lstDataPages);
        SendProgress(platform::kProgressStep, 0);
        if (StopRequested()) return;
    }
    std::vector<DataPageNote>().swap(m_arrDataPageNotes);
    SendProgress(platform::kProgressEnd, 0);
}

namespace {

// The interval start file of the IAM page's header record, or nothing when the page has no readable header.
std::optional<std::uint16_t> IamStartFile(CRecoveryEngine& engine, std::uint64_t iam) {
    const std::uint16_t slot_count = engine.Read16(iam + kPageHeaderSlotCountOffset);
    for (std::uint16_t o : engine.ReadSlotEntries(iam, slot_count)) {
        if (!IsRecordOffset(o) || o + kIamHeaderLength > kPageSize) continue;
        const std::uint64_t record = iam + o;
        if (IsGhostRecord(engine.Read8(record, Fixup::Single))) continue;
        if (engine.Read16(record + 2, Fixup::Single) != kIamHeaderFixedEnd) continue;
        return engine.Read16(record + 44, Fixup::Single);
    }
    return std::nullopt;
}

}  // namespace

bool IamPagesNameOtherFiles(CRecoveryEngine& engine, const std::vector<std::uint64_t>& iam_pages) {
    std::map<std::uint16_t, int> pages_naming;
    for (const std::uint64_t iam : iam_pages) {
        engine.LoadTornBits(iam);
        const auto file = IamStartFile(engine, iam);
        if (file && *file != 1 && ++pages_naming[*file] >= 2) return true;
    }
    return false;
}

IamPageContents ReadIamPage(CRecoveryEngine& engine, std::uint64_t iam, bool other_files) {
    IamPageContents out;
    engine.LoadTornBits(iam);
    const std::uint16_t slot_count = engine.Read16(iam + kPageHeaderSlotCountOffset);
    std::uint64_t first_extent = 0;
    bool interval_in_this_file = true;
    for (std::uint16_t o : engine.ReadSlotEntries(iam, slot_count)) {
        if (!IsRecordOffset(o)) continue;
        const std::uint64_t record = iam + o;
        if (IsGhostRecord(engine.Read8(record, Fixup::Single))) continue;
        const std::uint16_t fixed_end = engine.Read16(record + 2, Fixup::Single);
        IamRecord r;
        if (fixed_end == kIamHeaderFixedEnd) {
            if (o + kIamHeaderLength > kPageSize) continue;  // the record would run past its page
            r.is_header = true;
            // The whole 32-bit interval start page: files of 2^24 pages and more have intervals past 128 GiB.
            const std::uint32_t start_page = engine.Read32(record + 40, Fixup::Single);
            const std::uint16_t start_file = engine.Read16(record + 44, Fixup::Single);
            first_extent = start_page / 8;
            interval_in_this_file = start_file == 1 || !other_files;
            if (start_file != 1 && !other_files) {
                out.start_file_damaged = true;
                engine.LogLine(u"Allocation map page " + platform::Widen(std::to_string(iam / kPageSize)) +
                               u": the interval's file number is damaged (" +
                               platform::Widen(std::to_string(start_file)) + u"); read as this file's.");
            }
            for (int s = 0; s < 8; ++s) {
                const std::uint32_t page_number = engine.Read32(record + 46 + 6 * s, Fixup::Single);
                const std::uint16_t file = engine.Read16(record + 50 + 6 * s, Fixup::Single);
                // Page 0 is an empty slot; a page of another file of the database is not in this file.
                if (page_number == 0 || file != 1) continue;
                r.single_pages.push_back(page_number);
            }
        } else {
            // The bitmap record is 7,992 bytes whatever its fixed-part end says; one that does not fit in the page
            // is damage and is not read.
            if (o + kIamBitmapOffset + kIamBitmapBytes > kPageSize) continue;
            if (!interval_in_this_file) continue;
            const auto bitmap = engine.ReadBytes(record + kIamBitmapOffset, kIamBitmapBytes, Fixup::Multi);
            for (std::size_t byte = 0; byte < bitmap.size(); ++byte) {
                const std::uint8_t bits = bitmap[byte];
                if (bits == 0) continue;
                for (int bit = 0; bit < 8; ++bit) {
                    if (!(bits & (1u << bit))) continue;
                    const std::uint64_t extent = first_extent + byte * 8 + static_cast<std::uint64_t>(bit);
                    for (std::uint64_t k = 0; k < 8; ++k) r.extent_pages.push_back(extent * 8 + k);
                }
            }
        }
        out.records.push_back(std::move(r));
    }
    return out;
}

void CRecoveryEngine::RemoveDuplicateTables() {
    std::set<std::u16string> seen;
    for (auto it = m_lstTables.begin(); it != m_lstTables.end();) {
        if (seen.insert(platform::ToLower(it->m_pszName)).second) {
            ++it;
        } else {
            it = m_lstTables.erase(it);
            --m_app.m_nTableCount;
        }
    }
}

void CRecoveryEngine::RemoveDuplicateColumns() {
    for (auto& table : m_lstTables) {
        std::set<std::u16string> seen;
        for (auto it = table.m_lstColumns.begin(); it != table.m_lstColumns.end();) {
            if (seen.insert(platform::ToLower(it->m_pszName)).second) {
                ++it;
            } else {
                if (table.m_pCurrentColumn == &*it) table.m_pCurrentColumn = nullptr;
                it = table.m_lstColumns.erase(it);
            }
        }
    }
}

void CRecoveryEngine::FinishCatalog2005() {
    RemoveDuplicateTables();
    RemoveDuplicateColumns();
    WalkTableAllocations2005();
}

}  // namespace mdf
