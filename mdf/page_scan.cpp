// The whole-file page scan: one pass over every page header files the data pages of the system tables that
// the catalogue readers need into their page lists, and every allocation-map (IAM) page into the IAM list.
// The file is read in large sequential blocks; only the first 28 bytes of each page are looked at.
#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
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

// One pass over every page header: data pages (type 0x0101, and 0x4101 as well when data_type_2005 is set) go
// to the list that list_of gives for their object id (none: the page is not needed), IAM pages to the IAM
// list. Every page is checked against its own checksum or torn-page stamp. Progress is paced (see
// ProgressPacer): start, the position now and then, end. True when
// a data page was met; false as well when the user stopped the scan (then the end message is not sent).
// With notes, each data page's note goes into notes[page number] (see data_page_notes.h).
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
    auto keep = [&](std::uint64_t page_number, std::span<const std::uint8_t> page) {
        if (kept_numbers.size() >= kMaxKeptPages) return;
        kept_numbers.push_back(page_number);
        kept_bytes.insert(kept_bytes.end(), page.begin(), page.end());
    };
    ProgressPacer pacer;
    engine.m_arrDamagedPages.clear();
    engine.m_hDataFile.ForEachPage(0, pages, [&](std::uint64_t i, std::span<const std::uint8_t> page) {
        if (engine.StopRequested()) {
            stopped = true;
            return false;
        }
        const auto h = ParseHeader(page);
        const std::uint64_t offset = i * kPageSize;
        if (const PageDamage damage = CheckPage(page); damage != PageDamage::None) {
            engine.m_arrDamagedPages.push_back({i, h.object_id, damage});
        }
        if (h.type == kPageTypeData || (data_type_2005 && h.type == kPageTypeData2005)) {
            data_page_met = true;
            if (PageList* list = list_of(h.object_id)) {
                list->Add(offset, h.slot_count);
                keep(i, page);
            }
            if (notes) (*notes)[static_cast<std::size_t>(i)] = NoteDataPage(page);
        } else if (h.type == kPageTypeIam) {
            engine.m_arrIamPages.push_back(offset);
            keep(i, page);
        }
        // Where the pass is, in pages: the window's bar follows it however seldom it hears.
        if (pacer.Step()) engine.SendProgress(platform::kProgressAt, static_cast<platform::LPARAM>(i + 1));
        if (engine.StopRequested()) {
            stopped = true;
            return false;
        }
        return true;
    });
    if (stopped) return false;
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
    // The table of each data page the catalogue lists.
    std::map<std::uint64_t, const TableNode*> table_of_page;
    for (const auto& table : m_lstTables) {
        for (const auto& page : table.m_lstDataPages) table_of_page.emplace(page.m_nPageOffset / kPageSize, &table);
    }
    auto decimal = [](std::uint64_t n) { return platform::Widen(std::to_string(n)); };
    for (const auto& damaged : m_arrDamagedPages) {
        const auto table = table_of_page.find(damaged.page_number);
        const std::u16string owner = table != table_of_page.end()
                                         ? u"table " + table->second->m_pszName
                                         : u"object " + decimal(damaged.object_id) + u" (no table of the catalogue lists the page)";
        LogLine(u"Damaged page " + decimal(damaged.page_number) + u" (" +
                platform::Widen(PageDamageText(damaged.damage)) + u") of " + owner);
    }
    for (const auto& [page_number, table] : m_mapMissingPages) {
        LogLine(u"Missing page " + decimal(page_number) + u" (beyond the end of the file) of table " + table);
    }
    if (m_lstTables.empty()) LogLine(u"The catalogue gave no table: its pages may be damaged or missing.");
    return m_arrDamagedPages.size() + m_mapMissingPages.size();
}

}  // namespace mdf
