// The whole-file page scan: one pass over every page header files the data pages of the system tables that
// the catalogue readers need into their page lists, and every allocation-map (IAM) page into the IAM list.
// The file is read in large sequential blocks; only the first 28 bytes of each page are looked at.
#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "mdf/catalog_page.h"
#include "mdf/page_check.h"
#include "mdf/progress_pacer.h"
#include "mdf/recovery_engine.h"
#include "platform/text.h"

namespace mdf {

namespace {

struct PageHeaderFields {
    std::uint16_t type = 0;
    std::uint16_t slot_count = 0;
    std::uint32_t object_id = 0;
};

PageHeaderFields ParseHeader(std::span<const std::uint8_t> page) {
    std::uint8_t header[28] = {};
    std::memcpy(header, page.data(), std::min<std::size_t>(sizeof header, page.size()));
    PageHeaderFields f;
    f.type = static_cast<std::uint16_t>(header[0] | (header[1] << 8));
    f.slot_count = static_cast<std::uint16_t>(header[22] | (header[23] << 8));
    f.object_id = static_cast<std::uint32_t>(header[24]) | (static_cast<std::uint32_t>(header[25]) << 8) |
                  (static_cast<std::uint32_t>(header[26]) << 16) | (static_cast<std::uint32_t>(header[27]) << 24);
    return f;
}

// What the scan's workers find on one page: its header fields, its damage, its note, and whether a copy of
// it is kept (a system table's data page or an IAM page).
struct PageFindings {
    PageHeaderFields header;
    PageDamage damage = PageDamage::None;
    bool data = false;
    bool iam = false;
    bool allocation = false;  // a GAM or PFS page: the scan keeps what it says
    bool wanted = false;
    DataPageNote note;
};

struct BlockFindings {
    std::vector<PageFindings> pages;
    std::vector<std::uint8_t> wanted_bytes;  // the wanted pages, in page order
};

// One pass over every page header: data pages (type 0x0101, and 0x4101 as well when data_type_2005 is set) go
// to the list that list_of gives for their object id (none: the page is not needed), IAM pages to the IAM
// list. Every page with a sound header is checked against its own checksum or torn-page stamp, and those in
// extents that the GAM marks free are then let go: a free extent holds whatever was there before, never
// damage. The GAM and PFS pages go to engine.m_allocationMaps. Progress is paced (see
// ProgressPacer): start, the position now and then, end. True when
// a data page was met; false as well when the user stopped the scan (then the end message is not sent).
// With notes, each data page's note goes into notes[page number] (see data_page_notes.h).
// The pages are read and looked at on several threads (list_of is called there too); what they found is
// filed here in page order, as a pass over one page after the other would file it.
bool ScanPageHeaders(CRecoveryEngine& engine, bool data_type_2005,
                     const std::function<PageList*(std::uint32_t object_id)>& list_of,
                     std::vector<DataPageNote>* notes = nullptr) {
    const std::uint64_t pages = engine.m_nFileSize / kPageSize;
    if (notes) notes->assign(static_cast<std::size_t>(pages), DataPageNote{});
    engine.SendProgress(platform::kProgressStart, static_cast<platform::LPARAM>(pages));
    bool data_page_met = false;
    bool stopped = false;
    // The catalogue readers and the allocation walk read the system tables' pages and the IAM pages next, in
    // an order of their own: copies of them are kept from the scan's blocks (up to kMaxKeptPages), so they are
    // not read from the file again.
    constexpr std::size_t kMaxKeptPages = 4096;
    std::vector<std::uint64_t> kept_numbers;
    std::vector<std::uint8_t> kept_bytes;
    auto keep = [&](std::uint64_t page_number, const std::uint8_t* page) {
        if (kept_numbers.size() >= kMaxKeptPages) return;
        kept_numbers.push_back(page_number);
        kept_bytes.insert(kept_bytes.end(), page, page + kPageSize);
    };
    std::array<BlockFindings, DataFile::kBlocksInFlight> found;
    auto look = [&](std::uint64_t block, std::uint64_t first_page, std::span<const std::uint8_t> bytes) {
        BlockFindings& into = found[block % found.size()];
        into.pages.resize(bytes.size() / kPageSize);
        into.wanted_bytes.clear();
        for (std::size_t k = 0; k < into.pages.size(); ++k) {
            const std::span<const std::uint8_t> page = bytes.subspan(k * kPageSize, kPageSize);
            PageFindings& f = into.pages[k];
            f = PageFindings{};
            f.header = ParseHeader(page);
            const std::uint64_t page_number = first_page + k;
            if (IsSoundPageHeader(page, page_number)) f.damage = CheckPage(page);
            if (f.header.type == kPageTypeData || (data_type_2005 && f.header.type == kPageTypeData2005)) {
                f.data = true;
                f.wanted = list_of(f.header.object_id) != nullptr;
                if (notes) f.note = NoteDataPage(page, page_number);
            } else if (f.header.type == kPageTypeIam) {
                f.iam = true;
                f.wanted = true;
            } else if ((page[1] == kPageTypeByteGam || page[1] == kPageTypeBytePfs) && page[0] == 1) {
                f.allocation = true;
                f.wanted = true;
            }
            if (f.wanted) into.wanted_bytes.insert(into.wanted_bytes.end(), page.begin(), page.end());
        }
    };
    ProgressPacer pacer;
    engine.m_arrDamagedPages.clear();
    engine.m_arrTableDamage.clear();
    engine.m_allocationMaps.Clear();
    auto take = [&](std::uint64_t block) {
        const BlockFindings& from = found[block % found.size()];
        const std::uint8_t* wanted = from.wanted_bytes.data();
        for (std::size_t k = 0; k < from.pages.size(); ++k) {
            const std::uint64_t i = block * DataFile::kScanBlockPages + k;
            if (engine.StopRequested()) {
                stopped = true;
                return false;
            }
            const PageFindings& f = from.pages[k];
            const std::uint64_t offset = i * kPageSize;
            if (f.damage != PageDamage::None) engine.m_arrDamagedPages.push_back({i, f.header.object_id, f.damage});
            if (f.data) {
                data_page_met = true;
                if (PageList* list = list_of(f.header.object_id)) {
                    list->Add(offset, f.header.slot_count);
                    keep(i, wanted);
                }
                if (notes) (*notes)[static_cast<std::size_t>(i)] = f.note;
            } else if (f.iam) {
                engine.m_arrIamPages.push_back(offset);
                keep(i, wanted);
            } else if (f.allocation) {
                engine.m_allocationMaps.Take(i, {wanted, kPageSize});
            }
            if (f.wanted) wanted += kPageSize;
            // Where the pass is, in pages: the window's bar follows it however seldom it hears.
            if (pacer.Step()) engine.SendProgress(platform::kProgressAt, static_cast<platform::LPARAM>(i + 1));
            if (engine.StopRequested()) {
                stopped = true;
                return false;
            }
        }
        return true;
    };
    engine.m_hDataFile.ForEachBlock(0, pages, look, take);
    if (stopped) return false;
    // Damage in an extent that the GAM marks free is no damage: asked once every GAM page is in.
    std::erase_if(engine.m_arrDamagedPages, [&](const CRecoveryEngine::DamagedPage& damaged) {
        return engine.m_allocationMaps.ExtentFree(damaged.page_number);
    });
    engine.m_hDataFile.HoldPageCopies(std::move(kept_numbers), kept_bytes);
    engine.SendProgress(platform::kProgressEnd, 0);
    return data_page_met;
}

}  // namespace

bool CRecoveryEngine::ScanPages2000() {
    return ScanPageHeaders(*this, false, [this](std::uint32_t object_id) -> PageList* {
        switch (object_id) {
            case 1: return &m_plObjects;
            case 2: return &m_plIndexes;
            case 3: return &m_plColumns;
            case 4: return &m_plTypes;
            case 6: return &m_plDefinitions;
            case 14: return &m_plReferences;
            default: return nullptr;
        }
    });
}

bool CRecoveryEngine::ScanPages2005() {
    m_plObjects.clear();
    m_plColumns.clear();
    m_plTypes.clear();
    m_plRowsetColumns.clear();
    m_arrVisitedPages.clear();
    m_arrVisitedSlots.clear();

    const std::uint32_t rowset_columns_object = m_app.m_bSql2008Catalog ? 3 : 4;
    // The notes spare the allocation walk a second read of every data page. A file with torn-sector
    // restoration has its slot entries and status bytes fixed up as they are read, so it is read as before.
    std::vector<DataPageNote>().swap(m_arrDataPageNotes);
    std::vector<DataPageNote>* notes = m_app.m_bCreatedOn2000 ? nullptr : &m_arrDataPageNotes;
    return ScanPageHeaders(*this, true, [&](std::uint32_t object_id) -> PageList* {
        switch (object_id) {
            case 34: return &m_plObjects;
            case 5: return &m_plRowsets;
            case 7: return &m_plAllocationUnits;
            case 13: return &m_plColumnLayouts;
            case 55: return &m_plIndexes;
            case 41: return &m_plColumns;
            case 60: return &m_plDefinitions;
            case 50: return &m_plTypes;
            case 54: return &m_plIndexStats;
            case 64: return &m_plSchemas;
            case 74: return &m_plForeignKeyColumns;
            default: return object_id == rowset_columns_object ? &m_plRowsetColumns : nullptr;
        }
    }, notes);
}

std::uint64_t CRecoveryEngine::ReportDamage() {
    for (auto& table : m_lstTables) {
        table.m_losses.damaged_pages = 0;
        table.m_losses.missing_pages = 0;
        table.m_losses.other_findings = 0;
    }
    // The table of each damaged data page the catalogue lists (the first table that lists it). Only the
    // damaged pages are looked up: a sound file costs nothing here, however many pages its tables hold.
    std::map<std::uint64_t, TableNode*> table_of_page;
    for (const auto& damaged : m_arrDamagedPages) table_of_page.emplace(damaged.page_number, nullptr);
    if (!table_of_page.empty()) {
        for (auto& table : m_lstTables) {
            for (const auto& page : table.m_lstDataPages) {
                const auto found = table_of_page.find(page.m_nPageOffset / kPageSize);
                if (found != table_of_page.end() && found->second == nullptr) found->second = &table;
            }
        }
    }
    auto decimal = [](std::uint64_t n) { return platform::Widen(std::to_string(n)); };
    for (const auto& damaged : m_arrDamagedPages) {
        const auto table = table_of_page.find(damaged.page_number);
        if (table != table_of_page.end() && table->second != nullptr) ++table->second->m_losses.damaged_pages;
        const std::u16string owner = table != table_of_page.end() && table->second != nullptr
                                         ? u"table " + table->second->m_pszName
                                         : u"object " + decimal(damaged.object_id) + u" (no table of the catalogue lists the page)";
        LogLine(u"Damaged page " + decimal(damaged.page_number) + u" (" +
                platform::Widen(PageDamageText(damaged.damage)) + u") of " + owner);
    }
    for (const auto& [page_number, table] : m_mapMissingPages) {
        LogLine(u"Missing page " + decimal(page_number) + u" (beyond the end of the file) of table " + table);
        for (auto& node : m_lstTables) {
            if (node.m_pszName == table) ++node.m_losses.missing_pages;
        }
    }
    // A page that two allocation maps of one table name is one loss.
    std::vector<TableDamage> table_damage;
    std::set<std::pair<std::u16string, std::u16string>> seen;
    for (const auto& damage : m_arrTableDamage) {
        if (seen.emplace(damage.table, damage.line).second) table_damage.push_back(damage);
    }
    for (auto& damage : CheckColumnRows()) table_damage.push_back(std::move(damage));
    for (const auto& damage : table_damage) {
        LogLine(damage.line + u"table " + damage.table);
        // The finding's own words say what it is: a page of the table, or something else the table lost.
        const bool damaged_page = damage.line.starts_with(u"Damaged page ");
        const bool missing_page = damage.line.starts_with(u"Missing page ");
        for (auto& node : m_lstTables) {
            if (node.m_pszName != damage.table) continue;
            if (damaged_page) {
                ++node.m_losses.damaged_pages;
            } else if (missing_page) {
                ++node.m_losses.missing_pages;
            } else {
                ++node.m_losses.other_findings;
            }
        }
    }
    if (m_lstTables.empty()) LogLine(u"The catalogue gave no table: its pages may be damaged or missing.");
    m_nDamageCount = m_arrDamagedPages.size() + m_mapMissingPages.size() + table_damage.size();
    return m_nDamageCount;
}

}  // namespace mdf
