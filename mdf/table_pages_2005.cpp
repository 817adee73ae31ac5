// Data pages and live-row counts of the tables of 2005-and-later files: each table is tied to its in-row
// allocation units through the rowset and allocation-unit rows, and the allocation maps (IAM pages) of those
// units list its data pages. Also the duplicate removal that precedes the walk.
#include <algorithm>
#include <array>
#include <bitset>
#include <map>
#include <optional>
#include <string>
#include <set>
#include <unordered_map>
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

// One allocation-unit row: its page-header object id and first page, and the owning rowset's key.
struct AllocUnitRow {
    std::uint32_t key32 = 0;
    std::uint16_t key16 = 0;
    std::uint32_t unit_object_id = 0;
    std::uint32_t first_page = 0;
    std::uint16_t index_word = 0;  // bytes 6 and 7 of the unit id
    std::uint32_t first_iam_page = 0;
    std::uint8_t type = 0;         // 1 in-row data
    std::uint64_t unit_id = 0;
    std::uint64_t owner_id = 0;
};

std::uint64_t Le64(const std::uint8_t* b) {
    std::uint64_t v = 0;
    for (int k = 7; k >= 0; --k) v = (v << 8) | b[k];
    return v;
}

// Reads the allocation-unit rows of one page, in slot order (only the in-row ones unless all_types).
std::vector<AllocUnitRow> ReadAllocUnitPage(CRecoveryEngine& engine, std::uint64_t page, std::uint64_t slot_count,
                                            bool all_types = false) {
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
        if (r[12] != 1 && !all_types) continue;  // in-row data only
        rows.push_back({u32(15), u16(19), u32(6), u32(27), u16(10), u32(39), r[12], Le64(&r[4]), Le64(&r[13])});
    }
    return rows;
}

// Whether the file's allocation pages leave the page allocated (or say nothing about it).
bool PageInUse(const CRecoveryEngine& engine, std::uint64_t page_offset) {
    const std::uint64_t page = page_offset / kPageSize;
    return engine.m_allocationMaps.PageAllocated(page).value_or(true) && !engine.m_allocationMaps.ExtentFree(page);
}

}  // namespace

std::uint64_t CountLiveRecords(CRecoveryEngine& engine, std::uint64_t page_offset, std::uint64_t slot_count,
                               bool* shared_record) {
    engine.LoadTornBits(page_offset);
    std::uint64_t live = 0;
    std::bitset<kPageSize> seen;
    for (std::uint16_t e : engine.ReadSlotEntries(page_offset, slot_count)) {
        if (!IsRecordOffset(e)) continue;
        if (seen[e]) {
            // A record that two slots list is one record.
            if (shared_record) *shared_record = true;
            continue;
        }
        seen[e] = true;
        if (IsLiveDataRecord(engine.Read8(page_offset + e, Fixup::Single))) ++live;
    }
    return live;
}

std::u16string DamagedPageLine(std::uint64_t page_number, std::u16string_view why) {
    return u"Damaged page " + platform::Widen(std::to_string(page_number)) + u" (" + std::u16string(why) + u") of ";
}

std::u16string ForeignPageText(std::span<const std::uint8_t> header, std::uint64_t page_number) {
    auto u16 = [&](std::size_t at) { return static_cast<std::uint16_t>(header[at] | (header[at + 1] << 8)); };
    auto u32 = [&](std::size_t at) { return u16(at) | (static_cast<std::uint32_t>(u16(at + 2)) << 16); };
    auto decimal = [](std::uint64_t n) { return platform::Widen(std::to_string(n)); };
    if (header[0] != 1) return u"no page header";
    if (u32(kPageHeaderPageIdOffset) != page_number) return u"holds page " + decimal(u32(kPageHeaderPageIdOffset));
    if (!IsSoundPageHeader(header, page_number)) return u"page type " + decimal(header[1]);
    return u"a page of object " + decimal(u32(kPageHeaderObjectIdOffset));
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
    m_catalogue.units.clear();
    m_catalogue.rowsets.clear();
    for (std::size_t i = 0; i < m_plAllocationUnits.size(); ++i) {
        const std::uint64_t page = m_plAllocationUnits.m_arrOffsets[i];
        const bool in_use = PageInUse(*this, page);
        for (const auto& row : ReadAllocUnitPage(*this, page, m_plAllocationUnits.m_arrSlotCounts[i], true)) {
            m_catalogue.units.push_back({row.unit_object_id, row.index_word, row.type, row.key32, row.key16, row.owner_id,
                                         row.unit_id, row.first_page, row.first_iam_page, in_use});
            if (row.type == 1) units[{row.key32, row.key16}].push_back(row);
        }
        if (StopRequested()) return;
    }
    std::map<std::int32_t, std::vector<TableNode*>> tables;
    for (auto& table : m_lstTables) tables[table.m_nObjectId].push_back(&table);

    const PageList& list = m_plRowsets;
    for (std::size_t i = 0; i < list.size(); ++i) {
        const std::uint64_t page = list.m_arrOffsets[i];
        const bool page_in_use = PageInUse(*this, page);
        if (m_app.m_bCreatedOn2000) LoadTornBits(page);
        for (std::uint16_t e : ReadSlotEntries(page, list.m_arrSlotCounts[i])) {
            if (!IsRecordOffset(e)) continue;
            const std::uint64_t record = page + e;
            if (IsGhostRecord(Read8(record, Fixup::Single))) continue;
            std::array<std::uint8_t, 39> r{};  // r[i] is record byte i; bytes 1 to 38 are read, up to the page end
            ReadAt(record + 1, r.data() + 1, BytesOnPage(e + 1, 38), Fixup::Single);
            auto u16 = [&](std::size_t at) { return static_cast<std::uint16_t>(r[at] | (r[at + 1] << 8)); };
            auto u32 = [&](std::size_t at) { return u16(at) | (static_cast<std::uint32_t>(u16(at + 2)) << 16); };
            if (r[2] != 39 && r[2] != 57) continue;
            // Every rowset row, for the checks of the catalogue against itself; the row count at 31 is the
            // count the catalogue keeps for the rowset.
            m_catalogue.rowsets.push_back({u32(6), u16(10), Le64(&r[4]), static_cast<std::int32_t>(u32(13)), u32(17),
                                           Le64(&r[31]), page_in_use});
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
                std::uint16_t unit_index = 0;
                std::uint32_t first_iam_page = 0;
                m_nFirstDataPage = 0;
                const auto found = units.find({key32, key16});
                if (found != units.end()) {
                    for (const auto& unit : found->second) {
                        // The first page of the last unit is filtered from the walk only once it is listed here.
                        if (m_nFirstDataPage != 0) {
                            m_arrFilterTableDataOffset.push_back({m_nFirstDataPage, table->m_pszName});
                        }
                        unit_id = unit.unit_object_id;
                        unit_index = unit.index_word;
                        first_iam_page = unit.first_iam_page;
                        m_nFirstDataPage = unit.first_page;
                    }
                }
                table->m_lstAllocUnits.push_back({m_nFirstDataPage != 0 ? unit_id : 0, unit_index,
                                                  m_nFirstDataPage != 0 ? first_iam_page : 0, found != units.end()});
                m_app.m_abTornBits = saved_torn_bits;
                if (m_nFirstDataPage == 0) continue;
                const std::uint64_t first_page = m_nFirstDataPage;
                m_nFirstDataPage *= kPageSize;
                const std::uint64_t first = m_nFirstDataPage;
                // A first page that is not the unit's sound data page is left to the walk, which judges every
                // page the unit's allocation maps name (a row's first page can be out of date).
                std::array<std::uint8_t, 40> header{};
                ReadAt(first, header.data(), header.size());
                auto h16 = [&](std::size_t at) { return static_cast<std::uint16_t>(header[at] | (header[at + 1] << 8)); };
                auto h32 = [&](std::size_t at) { return h16(at) | (static_cast<std::uint32_t>(h16(at + 2)) << 16); };
                if (h16(0) != kPageTypeData) continue;
                const std::uint16_t slot_count = h16(kPageHeaderSlotCountOffset);
                if (h32(kPageHeaderObjectIdOffset) != unit_id) continue;
                if (h32(kPageHeaderPageIdOffset) != first_page) continue;
                m_arrFilterTableDataOffset.push_back({first_page, table->m_pszName});
                // Listed once; its live records are counted, not its slots (ghost and deleted slots hold no row).
                const bool listed = std::any_of(table->m_lstDataPages.begin(), table->m_lstDataPages.end(),
                                                [&](const DataPageNode& p) { return p.m_nPageOffset == first; });
                if (listed) continue;
                table->m_lstDataPages.push_back({first});
                bool shared_record = false;
                table->m_nRowCount += CountLiveRecords(*this, first, slot_count, &shared_record);
                if (shared_record) {
                    NoteTableDamage(*table, DamagedPageLine(first_page, u"two slots list one record"));
                } else if (first_page < m_arrDataPageNotes.size() &&
                           m_arrDataPageNotes[first_page].slot_fault != SlotFault::None) {
                    NoteTableDamage(*table, DamagedPageLine(first_page, platform::Widen(SlotFaultText(
                                                                             m_arrDataPageNotes[first_page].slot_fault))));
                }
                m_app.m_abTornBits = saved_torn_bits;
            }
        }
        if (StopRequested()) return;
    }
    // The row count the catalogue keeps for each table: the counts of its data rowsets (one per partition) on
    // pages in use.
    for (auto& table : m_lstTables) {
        std::optional<std::uint64_t> rows;
        for (const auto& row : m_catalogue.rowsets) {
            if (row.object_id != table.m_nObjectId || row.index_id > 1 || !row.allocated) continue;
            rows = rows.value_or(0) + row.rows;
        }
        table.m_losses.catalogue_rows = rows;
    }
}

void CRecoveryEngine::WalkTableAllocations2005() {
    SendProgress(platform::kProgressStart, m_app.m_nTableCount);

    // Every IAM page's allocation unit (the object id and the index-id word of its header: units of different
    // tables can share the object id), read once; per unit the pages keep the order of the IAM list. Data pages
    // are matched by the object id alone: in files converted from 2000 they keep the index id they had there.
    using UnitKey = std::pair<std::uint32_t, std::uint16_t>;
    std::map<UnitKey, std::vector<std::size_t>> iam_by_unit;
    for (std::size_t i = 0; i < m_arrIamPages.size(); ++i) {
        iam_by_unit[{Read32(m_arrIamPages[i] + kPageHeaderObjectIdOffset),
                     Read16(m_arrIamPages[i] + kPageHeaderIndexIdOffset)}].push_back(i);
    }
    const bool other_files = IamPagesNameOtherFiles(*this, m_arrIamPages);
    // First pages already listed by the rowset reader, by lower-cased table name.
    std::map<std::u16string, std::set<std::uint64_t>> first_pages;
    for (const auto& filter : m_arrFilterTableDataOffset) {
        first_pages[platform::ToLower(filter.m_strTableName)].insert(filter.m_nFirstPage);
    }
    const bool skip_index_one = m_app.m_bSql2008Catalog && !m_app.m_bConvertedFrom2000;

    // The data pages the page scan met per allocation unit (the object id of their header): a table's page list
    // gets room for its units' pages at once instead of growing page by page.
    std::unordered_map<std::uint32_t, std::uint64_t> met_pages;
    for (const auto& [key, owner] : m_mapDataPageOwners) met_pages[static_cast<std::uint32_t>(key)] += owner.pages;

    ListedPages listed(m_nFileSize / kPageSize);
    for (auto& table : m_lstTables) {
        static const std::set<std::uint64_t> kNone;
        const auto filter_it = first_pages.find(platform::ToLower(table.m_pszName));
        const std::set<std::uint64_t>& filtered = filter_it == first_pages.end() ? kNone : filter_it->second;

        // Every rowset has an in-row allocation unit: a rowset without one has lost its unit's row, and with it
        // every page. (A table without a rowset row is judged with the whole catalogue, CheckCatalogue.)
        if (table.m_bRowsetFound && std::none_of(table.m_lstAllocUnits.begin(), table.m_lstAllocUnits.end(),
                                                 [](const AllocUnitNode& unit) { return unit.m_bRowFound; })) {
            NoteTableDamage(table, u"Lost catalogue row (no allocation-unit row names the table's rowset) of ");
        }
        std::vector<std::size_t> iam_pages;
        std::set<UnitKey> units;
        for (const auto& unit : table.m_lstAllocUnits) {
            if (unit.m_nObjectId == 0 || !units.insert({unit.m_nObjectId, unit.m_nIndexWord}).second) continue;
            const auto found = iam_by_unit.find({unit.m_nObjectId, unit.m_nIndexWord});
            if (found != iam_by_unit.end()) iam_pages.insert(iam_pages.end(), found->second.begin(), found->second.end());
            CheckAllocationMapChain(table, unit.m_nFirstIamPage, unit.m_nObjectId, unit.m_nIndexWord);
        }
        std::sort(iam_pages.begin(), iam_pages.end());
        {
            std::set<std::uint32_t> unit_ids;
            std::uint64_t met = 0;
            for (const auto& unit : units) {
                if (!unit_ids.insert(unit.first).second) continue;
                if (const auto found = met_pages.find(unit.first); found != met_pages.end()) met += found->second;
            }
            table.m_lstDataPages.reserve(table.m_lstDataPages.size() + static_cast<std::size_t>(met));
        }

        for (const auto& p : table.m_lstDataPages) listed.Insert(p.m_nPageOffset);
        PageRuns& damaged_runs = m_mapDamagedPageRuns[table.m_pszName];
        PageRuns& missing_runs = m_mapMissingPageRuns[table.m_pszName];
        // Per unit of the table, the pages found not to be its pages: a damaged map names them again and again
        // (in every one of the unit's maps), and each is judged once. Made only when such a page is met.
        std::map<std::uint32_t, std::vector<bool>> not_its_page;

        for (std::size_t index : iam_pages) {
            const std::uint64_t iam = m_arrIamPages[index];
            const std::uint32_t unit_id = Read32(iam + kPageHeaderObjectIdOffset);
            std::vector<bool>* judged = nullptr;
            if (const auto found = not_its_page.find(unit_id); found != not_its_page.end()) judged = &found->second;
            auto visit = [&](std::uint64_t page_number) {
                const std::uint64_t q = page_number * kPageSize;
                if (q + kPageSize > m_nFileSize) return missing_runs.Add(page_number, u"beyond the end of the file");
                if (judged != nullptr && (*judged)[page_number]) return;
                // A page the PFS marks free may hold anything: it is still taken when it is the unit's data
                // page, but it is no damage when it is not. A page the PFS marks allocated (or that no PFS
                // page covers) and that is not the unit's page is damage.
                const bool owned = m_allocationMaps.PageAllocated(page_number).value_or(true);
                auto foreign = [&](std::u16string why) {
                    if (judged == nullptr) {
                        judged = &not_its_page[unit_id];
                        judged->resize(static_cast<std::size_t>(m_nFileSize / kPageSize));
                    }
                    (*judged)[page_number] = true;
                    if (owned) damaged_runs.Add(page_number, why);
                };
                auto slot_damage = [&](SlotFault fault) {
                    if (fault != SlotFault::None) {
                        NoteTableDamage(table, DamagedPageLine(page_number, platform::Widen(SlotFaultText(fault))));
                    }
                };
                if (page_number < m_arrDataPageNotes.size() && m_arrDataPageNotes[page_number].noted) {
                    // The page scan read this data page already: the same tests on its note.
                    const DataPageNote& note = m_arrDataPageNotes[page_number];
                    if (skip_index_one && note.index_id == 1) return;
                    if (note.own_page && note.object_id != unit_id) {
                        return foreign(u"a page of object " + platform::Widen(std::to_string(note.object_id)));
                    }
                    if (!note.own_page) {
                        std::array<std::uint8_t, 40> header{};
                        ReadAt(q, header.data(), header.size());
                        return foreign(ForeignPageText(header, page_number));
                    }
                    if (!listed.Insert(q)) return;
                    table.m_nRowCount += note.live_records;
                    table.m_lstDataPages.push_back({q});
                    slot_damage(note.slot_fault);
                    return;
                }
                std::array<std::uint8_t, 40> header{};
                ReadAt(q, header.data(), header.size());
                auto u16 = [&](std::size_t at) { return static_cast<std::uint16_t>(header[at] | (header[at + 1] << 8)); };
                auto u32 = [&](std::size_t at) { return u16(at) | (static_cast<std::uint32_t>(u16(at + 2)) << 16); };
                const bool unit_page = u32(kPageHeaderObjectIdOffset) == unit_id && IsSoundPageHeader(header, page_number);
                if (u16(0) != kPageTypeData) {
                    // Index pages of the unit hold no rows; anything else is no page of the unit.
                    if (!unit_page) foreign(ForeignPageText(header, page_number));
                    return;
                }
                if (skip_index_one && header[kPageHeaderIndexIdOffset] == 1) return;
                if (!unit_page) return foreign(ForeignPageText(header, page_number));
                const std::uint16_t slot_count = u16(kPageHeaderSlotCountOffset);
                if (!listed.Insert(q)) return;  // a page reached twice is listed and counted once
                bool shared_record = false;
                table.m_nRowCount += CountLiveRecords(*this, q, slot_count, &shared_record);
                table.m_lstDataPages.push_back({q});
                slot_damage(shared_record ? SlotFault::SharedRecord : SlotFault::None);
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
                    }
                } else {
                    // (The map's records are read whole before its pages are visited: no field of it is read
                    // after a visit, so its torn bits need no reloading.)
                    for (std::uint64_t page_number : record.extent_pages) {
                        if (filtered.count(page_number)) continue;
                        visit(page_number);
                    }
                }
            }
        }
        listed.Clear(table.m_lstDataPages);
        if (damaged_runs.Empty()) m_mapDamagedPageRuns.erase(table.m_pszName);
        if (missing_runs.Empty()) m_mapMissingPageRuns.erase(table.m_pszName);
        SendProgress(platform::kProgressStep, 0);
        if (StopRequested()) return;
    }
    DataPageNotes().swap(m_arrDataPageNotes);
    SendProgress(platform::kProgressEnd, 0);
}

void CRecoveryEngine::CheckAllocationMapChain(const TableNode& table, std::uint64_t first_iam, std::uint32_t object_id,
                                              std::optional<std::uint16_t> index_word) {
    // The row names the unit's first allocation map; each map names the next one in its header. A map of the
    // chain that is no sound page is lost with every page it named, unless its page is free (an out-of-date
    // row). A sound page of something else ends the chain without a word: the row or the link is out of date,
    // and the unit's maps are found by their own headers. A chain that comes back to a map it passed ends there.
    std::set<std::uint64_t> visited;
    for (std::uint64_t page = first_iam; page != 0 && visited.insert(page).second;) {
        if ((page + 1) * kPageSize > m_nFileSize) return NoteMissingPage(table, page, u"allocation map, beyond the end of the file");
        if (!m_allocationMaps.PageAllocated(page).value_or(true) || m_allocationMaps.ExtentFree(page)) return;
        std::array<std::uint8_t, 40> header{};
        ReadAt(page * kPageSize, header.data(), header.size());
        auto u16 = [&](std::size_t at) { return static_cast<std::uint16_t>(header[at] | (header[at + 1] << 8)); };
        auto u32 = [&](std::size_t at) { return u16(at) | (static_cast<std::uint32_t>(u16(at + 2)) << 16); };
        if (!IsSoundPageHeader(header, page)) return NoteDamagedPage(table, page, u"allocation map, " + ForeignPageText(header, page));
        const bool own = u16(0) == kPageTypeIam && u32(kPageHeaderObjectIdOffset) == object_id &&
                         (!index_word || u16(kPageHeaderIndexIdOffset) == *index_word);
        if (!own) return;
        page = u32(16);  // the next map of the chain (header: next page)
        if (u16(20) != 1 && page != 0) return;  // a next page in another file of the database
    }
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

IamPageContents ReadIamPage(CRecoveryEngine& engine, std::uint64_t iam, bool other_files, bool log) {
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
                if (log) engine.LogLine(u"Allocation map page " + platform::Widen(std::to_string(iam / kPageSize)) +
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
