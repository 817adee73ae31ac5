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
#include "mdf/table_pages.h"
#include "platform/text.h"

namespace mdf {

namespace {

// The owner that the file's own pages carry in their header: the file header, allocation and boot pages.
constexpr std::uint32_t kAllocationPagesObjectId = 99;

struct PageHeaderFields {
    std::uint16_t type = 0;
    std::uint16_t index_word = 0;
    std::uint16_t slot_count = 0;
    std::uint32_t object_id = 0;
};

PageHeaderFields ParseHeader(std::span<const std::uint8_t> page) {
    std::uint8_t header[28] = {};
    std::memcpy(header, page.data(), std::min<std::size_t>(sizeof header, page.size()));
    PageHeaderFields f;
    f.type = static_cast<std::uint16_t>(header[0] | (header[1] << 8));
    f.index_word = static_cast<std::uint16_t>(header[6] | (header[7] << 8));
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
    bool sound = false;  // a sound header that carries the page's own number
    std::uint32_t live_records = 0;  // of a data page with a sound header
    std::array<std::uint8_t, 40> raw_header{};  // of a page without a sound header
    DataPageNote note{};
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
// With notes, each page's note goes into notes[page number] (see data_page_notes.h), written by the thread that
// looks at the page; they are emptied when the scan does not reach the end.
// The pages are read and looked at on several threads (list_of is called there too); what they found is
// filed here in page order, as a pass over one page after the other would file it.
bool ScanPageHeaders(CRecoveryEngine& engine, bool data_type_2005,
                     const std::function<PageList*(std::uint32_t object_id)>& list_of,
                     DataPageNotes* notes = nullptr) {
    const std::uint64_t pages = engine.m_nFileSize / kPageSize;
    // Not cleared here: every page's note is written as its block is looked at.
    if (notes) notes->resize(static_cast<std::size_t>(pages));
    struct UnfinishedNotes {
        DataPageNotes* notes;
        bool finished = false;
        ~UnfinishedNotes() {
            if (notes && !finished) DataPageNotes().swap(*notes);
        }
    } unfinished{notes};
    engine.SendProgress(platform::kProgressStart, static_cast<platform::LPARAM>(pages));
    bool data_page_met = false;
    bool stopped = false;
    // The catalogue readers and the allocation walk read the system tables' pages and the IAM pages next, in
    // an order of their own: copies of them are kept from the scan's blocks (up to kMaxKeptPages), so they are
    // not read from the file again.
    constexpr std::size_t kMaxKeptPages = 4096;
    std::vector<std::uint64_t> kept_numbers;
    std::vector<std::uint8_t> kept_bytes;
    // A file served from memory is read in place: nothing is copied.
    const bool copies = !engine.m_hDataFile.InMemory();
    auto keep = [&](std::uint64_t page_number, const std::uint8_t* page) {
        if (!copies || kept_numbers.size() >= kMaxKeptPages) return;
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
            f.sound = IsSoundPageHeader(page, page_number);
            if (f.sound) {
                f.damage = CheckPage(page);
            } else {
                std::copy_n(page.begin(), f.raw_header.size(), f.raw_header.begin());
            }
            if (f.header.type == kPageTypeData || (data_type_2005 && f.header.type == kPageTypeData2005)) {
                f.data = true;
                f.wanted = list_of(f.header.object_id) != nullptr;
                if (notes) f.note = NoteDataPage(page, page_number);
                if (f.sound) f.live_records = notes && f.note.noted ? f.note.live_records : CountLiveSlots(page);
            } else if (f.header.type == kPageTypeIam) {
                f.iam = true;
                f.wanted = true;
            } else if ((page[1] == kPageTypeByteGam || page[1] == kPageTypeBytePfs) && page[0] == 1) {
                f.allocation = true;
                f.wanted = true;
            }
            if (f.wanted && copies) into.wanted_bytes.insert(into.wanted_bytes.end(), page.begin(), page.end());
            if (notes) (*notes)[static_cast<std::size_t>(page_number)] = f.note;
        }
    };
    ProgressPacer pacer;
    engine.m_arrDamagedPages.clear();
    engine.m_arrTableDamage.clear();
    engine.m_allocationMaps.Clear();
    engine.m_unsoundAllocatedPages = PageRuns{};
    engine.m_mapDataPageOwners.clear();
    engine.m_mapDamagedPageRuns.clear();
    engine.m_mapMissingPageRuns.clear();
    engine.m_catalogue.Clear();
    engine.m_mapUnitTables.clear();
    engine.m_setTablesWithLargeUnits.clear();
    engine.m_bUnitTablesMade = false;
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
            if (f.damage != PageDamage::None) {
                engine.m_arrDamagedPages.push_back({i, f.header.object_id, f.damage, f.header.index_word});
            }
            // The allocation pages of the page's interval lie before it: what they say about it is known.
            const bool marked_free = !engine.m_allocationMaps.PageAllocated(i).value_or(true) ||
                                     engine.m_allocationMaps.ExtentFree(i);
            if (!f.sound && !marked_free && engine.m_allocationMaps.PageAllocated(i).value_or(false)) {
                engine.m_unsoundAllocatedPages.Add(i, ForeignPageText(f.raw_header, i));
            }
            if (f.data && f.sound && f.live_records != 0 && !marked_free) {
                DataPageOwner& owner = engine.m_mapDataPageOwners[DataPageOwnerKey(f.header.object_id, f.header.index_word)];
                if (owner.pages++ == 0) owner.first_page = i;
                owner.rows += f.live_records;
            }
            if (f.data) {
                data_page_met = true;
                if (PageList* list = list_of(f.header.object_id)) {
                    list->Add(offset, f.header.slot_count);
                    keep(i, wanted);
                }
            } else if (f.iam) {
                engine.m_arrIamPages.push_back(offset);
                keep(i, wanted);
            } else if (f.allocation && f.damage == PageDamage::None) {
                // An allocation page is believed only when its own checks hold.
                engine.m_allocationMaps.Take(i, copies ? std::span<const std::uint8_t>(wanted, kPageSize)
                                                      : engine.m_hDataFile.Page(i));
            }
            if (f.wanted && copies) wanted += kPageSize;
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
    unfinished.finished = true;
    // Damage in an extent that the GAM marks free is no damage (asked once every GAM page is in), unless an
    // allocation map of some object names the page: a map that names a page is evidence that it holds data,
    // and a GAM is never taken as the word that erases it.
    std::set<std::uint64_t> in_free_extents;
    for (const auto& damaged : engine.m_arrDamagedPages) {
        if (engine.m_allocationMaps.ExtentFree(damaged.page_number)) in_free_extents.insert(damaged.page_number);
    }
    if (!in_free_extents.empty()) {
        std::set<std::uint64_t> named;
        const bool other_files = IamPagesNameOtherFiles(engine, engine.m_arrIamPages);
        for (const std::uint64_t iam : engine.m_arrIamPages) {
            for (const IamRecord& record : ReadIamPage(engine, iam, other_files, false).records) {
                for (const std::uint32_t page : record.single_pages) {
                    if (in_free_extents.count(page)) named.insert(page);
                }
                for (const std::uint64_t page : record.extent_pages) {
                    if (in_free_extents.count(page)) named.insert(page);
                }
            }
        }
        std::erase_if(engine.m_arrDamagedPages, [&](const CRecoveryEngine::DamagedPage& damaged) {
            return in_free_extents.count(damaged.page_number) && !named.count(damaged.page_number);
        });
    }
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
    DataPageNotes().swap(m_arrDataPageNotes);
    DataPageNotes* notes = m_app.m_bCreatedOn2000 ? nullptr : &m_arrDataPageNotes;
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

std::u16string CRecoveryEngine::NoUserTableText() const {
    return m_app.m_bDocumentMode ? u"The database holds no SharePoint content table." : u"The database holds no user table.";
}

std::uint64_t CRecoveryEngine::ReportDamage() {
    for (auto& table : m_lstTables) {
        table.m_losses.damaged_pages = 0;
        table.m_losses.missing_pages = 0;
        table.m_losses.other_findings = 0;
    }
    auto decimal = [](std::uint64_t n) { return platform::Widen(std::to_string(n)); };
    std::vector<Finding> findings;

    // The boot page: the version and the catalogue's start are read from it.
    if (!m_strBootPageDamage.empty()) {
        findings.push_back({u"Damaged page 9 (" + m_strBootPageDamage + u") of ", u"the boot page", {},
                            Finding::Kind::DamagedPages, 1});
    }

    // Pages whose checksum or torn-page stamp failed, by the table of the catalogue that lists them (the first
    // one), as runs. Only the damaged pages are looked up: a sound file costs nothing here, however many pages
    // its tables hold.
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
    std::map<std::u16string, std::pair<std::u16string, PageRuns>> checked_runs;  // owner text -> (table, runs)
    for (const auto& damaged : m_arrDamagedPages) {
        if (damaged.page_number == 9 && !m_strBootPageDamage.empty()) continue;
        const auto table = table_of_page.find(damaged.page_number);
        std::u16string owner;
        std::u16string table_name;
        const TableNode* large_values_of = nullptr;  // a text page: the table whose allocation unit it names
        if (table == table_of_page.end() || table->second == nullptr) {
            if (const auto id = TableOfPageOwner(damaged.object_id, damaged.index_id);
                id && !IsCataloguePage(damaged.object_id, damaged.index_id)) {
                for (const auto& candidate : m_lstTables) {
                    if (candidate.m_nObjectId == *id) large_values_of = &candidate;
                }
            }
        }
        if (table != table_of_page.end() && table->second != nullptr) {
            table_name = table->second->m_pszName;
            owner = u"table " + table_name;
        } else if (large_values_of != nullptr) {
            table_name = large_values_of->m_pszName;
            owner = u"table " + table_name;
        } else if (IsCataloguePage(damaged.object_id, damaged.index_id)) {
            owner = u"the catalogue (" + CatalogueTableLabel(damaged.object_id) + u")";
        } else if (damaged.object_id == kAllocationPagesObjectId && damaged.index_id == 0) {
            owner = u"the file's allocation pages";
        } else {
            owner = u"object " + decimal(damaged.object_id) + u" (no table of the catalogue lists the page)";
        }
        auto& [name, runs] = checked_runs[owner];
        name = table_name;
        runs.Add(damaged.page_number, platform::Widen(PageDamageText(damaged.damage)));
    }
    for (const auto& [owner, entry] : checked_runs) {
        for (const auto& run : entry.second.Merged()) {
            findings.push_back({PageRunLine(u"Damaged", run), owner, entry.first, Finding::Kind::DamagedPages, RunPages(run)});
        }
    }

    // Pages the system could not read (an I/O error) were zeros to every reader. Each is a damaged page of the
    // table that lists it or whose allocation maps name it (their finding about a page without a header takes
    // the read error's words), else of the file.
    std::map<std::u16string, PageRuns> damaged_runs = m_mapDamagedPageRuns;
    std::vector<TableDamage> found = m_arrTableDamage;
    for (const std::uint64_t page_number : m_hDataFile.UnreadablePages()) {
        const std::u16string about_page = u"Damaged page " + decimal(page_number) + u" (";
        bool named = false;
        for (auto& damage : found) {
            if (!damage.line.starts_with(about_page)) continue;
            damage.line = DamagedPageLine(page_number, u"read error");
            named = true;
        }
        for (auto& [table, runs] : damaged_runs) {
            if (!runs.Contains(page_number)) continue;
            runs.Relabel(page_number, u"read error");
            named = true;
        }
        for (const auto& table : m_lstTables) {
            for (const auto& page : table.m_lstDataPages) {
                if (page.m_nPageOffset / kPageSize != page_number) continue;
                damaged_runs[table.m_pszName].Relabel(page_number, u"read error");
                named = true;
                break;
            }
        }
        if (!named) {
            findings.push_back({DamagedPageLine(page_number, u"read error"),
                                u"the file (no table's pages or allocation maps name it)", {},
                                Finding::Kind::DamagedPages, 1});
        }
    }

    // Pages the tables' allocation maps name that are not their pages, or that lie beyond the end of the file.
    for (const auto& [table, runs] : damaged_runs) {
        for (const auto& run : runs.Merged()) {
            findings.push_back({PageRunLine(u"Damaged", run), u"table " + table, table, Finding::Kind::DamagedPages,
                                RunPages(run)});
        }
    }
    for (const auto& [table, runs] : m_mapMissingPageRuns) {
        for (const auto& run : runs.Merged()) {
            findings.push_back({PageRunLine(u"Missing", run), u"table " + table, table, Finding::Kind::MissingPages,
                                RunPages(run)});
        }
    }

    // The losses found while the tables' pages and columns were gathered, and what the catalogue says against
    // itself and against the pages. A finding met twice (a page that two allocation maps of one table name) is
    // one loss.
    std::set<std::pair<std::u16string, std::u16string>> seen;
    for (const auto& damage : found) {
        if (!seen.emplace(damage.table, damage.line).second) continue;
        const Finding::Kind kind = damage.line.starts_with(u"Damaged page ")   ? Finding::Kind::DamagedPages
                                   : damage.line.starts_with(u"Missing page ") ? Finding::Kind::MissingPages
                                                                                : Finding::Kind::Other;
        findings.push_back({damage.line, u"table " + damage.table, damage.table, kind, 1});
    }
    for (auto& damage : CheckColumnRows()) {
        findings.push_back({std::move(damage.line), u"table " + damage.table, damage.table, Finding::Kind::Other, 1});
    }
    for (auto& finding : CheckCatalogue()) {
        if (!finding.table.empty() && !seen.emplace(finding.table, finding.line).second) continue;
        // A table the catalogue no longer lists is named by its lost rows alone: kept with the other findings
        // about tables, so that every report of incomplete tables names it.
        if (!finding.table.empty() && std::none_of(m_lstTables.begin(), m_lstTables.end(), [&](const TableNode& t) {
                return t.m_pszName == finding.table;
            })) {
            m_arrTableDamage.push_back({finding.table, finding.line});
        }
        findings.push_back(std::move(finding));
    }

    if (m_lstTables.empty()) {
        if (m_bCatalogueDamaged || !findings.empty()) {
            findings.push_back({u"The catalogue gave no table: its pages may be damaged or missing.", {}, {},
                                Finding::Kind::Other, 1});
        }
    }

    std::uint64_t count = 0;
    auto report = [&](const Finding& finding) {
        LogLine(finding.line + finding.owner);
        count += finding.kind == Finding::Kind::Other ? 1 : finding.pages;
        if (finding.table.empty()) return;
        for (auto& node : m_lstTables) {
            if (node.m_pszName != finding.table) continue;
            switch (finding.kind) {
                case Finding::Kind::DamagedPages: node.m_losses.damaged_pages += finding.pages; break;
                case Finding::Kind::MissingPages: node.m_losses.missing_pages += finding.pages; break;
                case Finding::Kind::Other: ++node.m_losses.other_findings; break;
            }
        }
    };
    // A badly damaged file lists hundreds of runs: Stop is heard between any two of them.
    for (const auto& finding : findings) {
        if (StopRequested()) return m_nDamageCount = count;
        report(finding);
    }
    // The rows the catalogue counts for a table against the live rows on its pages: a table that nothing else
    // named but that holds fewer (or more) rows than its catalogue counts lost pages that no check could see
    // (its summary gives both counts either way).
    for (const auto& table : m_lstTables) {
        if (StopRequested()) return m_nDamageCount = count;
        const TableLosses& losses = table.m_losses;
        if (!losses.catalogue_rows || *losses.catalogue_rows == table.m_nRowCount) continue;
        if (losses.damaged_pages != 0 || losses.missing_pages != 0 || losses.other_findings != 0) continue;
        report({u"Row count differs (the catalogue counts " + decimal(*losses.catalogue_rows) + u" row(s), its pages hold " +
                    decimal(table.m_nRowCount) + u") of ",
                u"table " + table.m_pszName, table.m_pszName, Finding::Kind::Other, 1});
    }
    // A sound catalogue without user tables is a database that holds none: said, and no loss.
    if (m_lstTables.empty() && count == 0) LogLine(NoUserTableText());
    m_nDamageCount = count;
    return m_nDamageCount;
}

}  // namespace mdf
