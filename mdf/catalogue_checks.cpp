// The catalogue held against itself and against the file's pages, once the tables are read and their pages
// walked: the pages of the system tables themselves, rows that lost the row that ties them to a table (a
// rowset without its object, data pages whose allocation unit, rowset or object row is gone), tables without
// their column rows, the row count the catalogue keeps against the rows on a table's pages, a file cut short of
// what its allocation maps name, and allocated pages with no page header. None of these needs a checksum: a
// lost page of the catalogue shows in what it leaves behind.
#include <algorithm>
#include <array>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "mdf/catalog_page.h"
#include "mdf/object_rows_2005.h"
#include "mdf/recovery_engine.h"
#include "mdf/table_pages.h"
#include "platform/text.h"

namespace mdf {

namespace {

std::u16string Decimal(std::uint64_t n) { return platform::Widen(std::to_string(n)); }
std::u16string SignedDecimal(std::int64_t n) { return platform::Widen(std::to_string(n)); }

std::uint16_t U16(const std::uint8_t* b) { return static_cast<std::uint16_t>(b[0] | (b[1] << 8)); }
std::uint32_t U32(const std::uint8_t* b) { return U16(b) | (static_cast<std::uint32_t>(U16(b + 2)) << 16); }

// Object types that own rows: user, system and internal tables, indexed views, table types, queues, external
// tables.
bool TypeKeepsRows(const std::u16string& type) {
    static constexpr std::u16string_view kTypes[] = {u"U ", u"S ", u"IT", u"V ", u"TT", u"SQ", u"ET"};
    return std::find(std::begin(kTypes), std::end(kTypes), type) != std::end(kTypes);
}

// Object ids below 100 are the system base tables, which a file of the 2005 format and later need not list
// among its object rows.
constexpr std::int32_t kFirstUserObjectId = 100;

}  // namespace

std::u16string CRecoveryEngine::CatalogueTableLabel(std::uint32_t object_id) const {
    if (m_app.m_bSql2005Catalog) {
        switch (object_id) {
            case 34: return u"objects";
            case 5: return u"rowsets";
            case 7: return u"allocation units";
            case 41: return u"columns";
            case 13: return u"column layouts";
            case 64: return u"schemas";
            case 60: return u"definitions";
            case 50: return u"types";
            case 54: return u"index statistics";
            case 55: return u"index columns";
            case 74: return u"foreign-key columns";
            default: break;
        }
        if (object_id == (m_app.m_bSql2008Catalog ? 3u : 4u)) return u"rowset columns";
        return {};
    }
    switch (object_id) {
        case 1: return u"objects";
        case 2: return u"indexes";
        case 3: return u"columns";
        case 4: return u"types";
        case 6: return u"definitions";
        case 14: return u"references";
        default: return {};
    }
}

bool CRecoveryEngine::IsCataloguePage(std::uint32_t object_id, std::uint16_t index_word) const {
    if (CatalogueTableLabel(object_id).empty()) return false;
    // In files of the 2005 format and later the header's index word is the high part of the allocation unit
    // id: the units of user and internal tables start at 256, those of the system tables are their index ids.
    return !m_app.m_bSql2005Catalog || index_word < 256;
}

std::vector<CRecoveryEngine::Finding> CRecoveryEngine::CheckCatalogue() {
    std::vector<Finding> out;
    const bool format2005 = m_app.m_bSql2005Catalog;
    const std::uint64_t file_pages = m_nFileSize / kPageSize;
    auto page_free = [&](std::uint64_t page) {
        return !m_allocationMaps.PageAllocated(page).value_or(true) || m_allocationMaps.ExtentFree(page);
    };
    auto read_header = [&](std::uint64_t page) {
        std::array<std::uint8_t, 40> header{};
        ReadAt(page * kPageSize, header.data(), header.size());
        return header;
    };

    // ---- The system tables' own pages: every page their allocation maps name must be their sound page ----
    std::map<std::u16string, PageRuns> catalogue_damaged;
    std::map<std::u16string, PageRuns> catalogue_missing;
    std::uint64_t maps_name_up_to = 0;  // the highest page an allocation map names (+1; 0: none)
    const bool other_files = IamPagesNameOtherFiles(*this, m_arrIamPages);
    // The allocation unit of every page an IAM page names that has no sound header, for the pages below.
    std::map<std::uint64_t, std::pair<std::uint32_t, std::uint16_t>> unit_of_unsound;
    const auto unsound_runs = m_unsoundAllocatedPages.Merged();
    auto unsound = [&](std::uint64_t page) {
        const auto at = std::upper_bound(unsound_runs.begin(), unsound_runs.end(), page,
                                         [](std::uint64_t p, const PageRuns::Run& run) { return p < run.first; });
        return at != unsound_runs.begin() && page <= std::prev(at)->last;
    };
    for (const std::uint64_t iam : m_arrIamPages) {
        const std::uint32_t object_id = Read32(iam + kPageHeaderObjectIdOffset);
        const std::uint16_t index_word = Read16(iam + kPageHeaderIndexIdOffset);
        const std::u16string label = CatalogueTableLabel(object_id);
        const bool system = !label.empty() && IsCataloguePage(object_id, index_word) && index_word <= 1;
        for (const IamRecord& record : ReadIamPage(*this, iam, other_files, false).records) {
            std::vector<std::uint64_t> named(record.single_pages.begin(), record.single_pages.end());
            named.insert(named.end(), record.extent_pages.begin(), record.extent_pages.end());
            for (const std::uint64_t page : named) {
                maps_name_up_to = std::max(maps_name_up_to, page + 1);
                if (page < file_pages && !unsound_runs.empty() && unsound(page)) {
                    unit_of_unsound.emplace(page, std::make_pair(object_id, index_word));
                }
                if (!system) continue;
                if (page >= file_pages) {
                    catalogue_missing[label].Add(page, u"beyond the end of the file");
                    continue;
                }
                if (page_free(page)) continue;
                const auto header = read_header(page);
                const bool own = IsSoundPageHeader(header, page) && U32(&header[kPageHeaderObjectIdOffset]) == object_id &&
                                 (!format2005 || U16(&header[kPageHeaderIndexIdOffset]) == index_word);
                if (!own) catalogue_damaged[label].Add(page, ForeignPageText(header, page));
            }
        }
    }
    // The first allocation map that a system table's allocation-unit row (2005 and later) or index row (2000)
    // names: lost, the table's pages are found by nothing.
    auto check_first_map = [&](std::uint32_t object_id, std::uint16_t index_word, std::uint64_t first_iam) {
        const std::u16string label = CatalogueTableLabel(object_id);
        if (label.empty() || first_iam == 0) return;
        if (first_iam >= file_pages) {
            catalogue_missing[label].Add(first_iam, u"allocation map, beyond the end of the file");
            return;
        }
        if (page_free(first_iam)) return;
        const auto header = read_header(first_iam);
        const bool own = IsSoundPageHeader(header, first_iam) && U16(header.data()) == kPageTypeIam &&
                         U32(&header[kPageHeaderObjectIdOffset]) == object_id &&
                         (!format2005 || U16(&header[kPageHeaderIndexIdOffset]) == index_word);
        if (!own) catalogue_damaged[label].Add(first_iam, u"allocation map, " + ForeignPageText(header, first_iam));
    };
    for (const auto& unit : m_catalogue.units) {
        if (unit.allocated && unit.type == 1 && unit.index_word <= 1) {
            check_first_map(unit.unit_object_id, unit.index_word, unit.first_iam);
        }
    }
    for (const auto& row : m_catalogue.index_rows) {
        if (row.object_id > 0 && row.object_id < kFirstUserObjectId && row.first_iam_file == 1) {
            check_first_map(static_cast<std::uint32_t>(row.object_id), row.index_id, row.first_iam);
        }
    }
    bool catalogue_pages_lost = false;
    // Whether pages of the column rows are lost (damaged, missing, or failing their checksum).
    const std::u16string columns_label = CatalogueTableLabel(format2005 ? 41 : 3);
    bool columns_lost = catalogue_damaged.count(columns_label) || catalogue_missing.count(columns_label);
    for (const auto& [label, runs] : catalogue_damaged) {
        for (const auto& run : runs.Merged()) {
            out.push_back({PageRunLine(u"Damaged", run), u"the catalogue (" + label + u")", {}, Finding::Kind::DamagedPages,
                           RunPages(run)});
            catalogue_pages_lost = true;
        }
    }
    for (const auto& [label, runs] : catalogue_missing) {
        for (const auto& run : runs.Merged()) {
            out.push_back({PageRunLine(u"Missing", run), u"the catalogue (" + label + u")", {}, Finding::Kind::MissingPages,
                           RunPages(run)});
            catalogue_pages_lost = true;
        }
    }
    for (const auto& damaged : m_arrDamagedPages) {
        if (!IsCataloguePage(damaged.object_id, damaged.index_id)) continue;
        catalogue_pages_lost = true;
        if (CatalogueTableLabel(damaged.object_id) == columns_label) columns_lost = true;
    }

    // ---- A file cut short of what its allocation maps name ----
    if (const auto last = m_allocationMaps.LastAllocatedPage()) maps_name_up_to = std::max(maps_name_up_to, *last + 1);
    const bool cut = maps_name_up_to > file_pages;
    if (cut) {
        std::u16string line = u"The file ends at byte " + Decimal(m_nFileSize);
        if (m_nFileSize % kPageSize != 0) line += u" (inside page " + Decimal(file_pages) + u")";
        line += u"; its allocation maps name pages up to " + Decimal(maps_name_up_to - 1) + u": the file was cut short";
        out.push_back({line, {}, {}, Finding::Kind::Other, 1});
    }

    // ---- Data pages whose owner the catalogue no longer names, and objects that lost their object row ----
    // The chain of catalogue rows from a page's owner to its table: allocation unit -> rowset -> object. Where a
    // link is lost the loss is named by what is left: the table (the index statistics rows still tie a rowset to
    // its object), the object id, the rowset id or the unit id.
    struct Lost {
        std::u16string why;
        std::uint64_t pages = 0;
        std::uint64_t rows = 0;
    };
    std::map<std::u16string, Lost> lost;  // by the table text that names it
    std::map<std::int32_t, const TableNode*> table_of_object;
    for (const auto& table : m_lstTables) table_of_object.emplace(table.m_nObjectId, &table);
    // The names of objects whose object row is lost, from the object rows' name index (read when first asked).
    std::optional<std::map<std::int32_t, std::pair<std::int32_t, std::u16string>>> indexed_names;
    auto indexed_name = [&](std::int32_t object_id) -> const std::pair<std::int32_t, std::u16string>* {
        if (!format2005) return nullptr;
        if (!indexed_names) indexed_names = ReadObjectNameIndex();
        const auto n = indexed_names->find(object_id);
        return n == indexed_names->end() || n->second.second.empty() ? nullptr : &n->second;
    };
    // An object of the sys schema (internal tables such as queues) is the server's own, not the user's.
    constexpr std::int32_t kSysSchema = 4;
    auto server_object = [&](std::int32_t object_id) {
        const auto* n = indexed_name(object_id);
        return n != nullptr && n->first == kSysSchema;
    };
    auto object_text = [&](std::int32_t object_id) -> std::u16string {
        if (const auto t = table_of_object.find(object_id); t != table_of_object.end()) return t->second->m_pszName;
        for (const auto& row : m_catalogue.index_rows) {
            if (row.object_id == object_id && row.index_id == 0 && !row.name.empty()) {
                return row.name + u" (object " + SignedDecimal(object_id) + u")";
            }
        }
        if (format2005) {
            if (const auto* n = indexed_name(object_id)) {
                std::u16string schema;
                for (const auto& owner : m_lstOwners) {
                    if (owner.m_nId == n->first) schema = owner.m_strName;
                }
                if (schema.empty() && n->first == 1) schema = u"dbo";
                const std::u16string prefix = schema.empty() ? u"" : SchemaNameForTable(schema) + u".";
                return prefix + n->second + u" (object " + SignedDecimal(object_id) + u")";
            }
        }
        return u"object " + SignedDecimal(object_id);
    };
    std::map<std::uint64_t, std::int32_t> object_of_rowset_stats;  // from the index statistics rows
    std::map<std::pair<std::uint32_t, std::uint16_t>, const CatalogueFacts::RowsetRow*> rowset_by_key;
    std::map<std::pair<std::uint32_t, std::uint16_t>, const CatalogueFacts::AllocUnitRow*> unit_by_key;
    if (format2005) {
        for (const auto& row : m_catalogue.rowsets) {
            auto& slot = rowset_by_key[{row.key32, row.key16}];
            if (slot == nullptr || (!slot->allocated && row.allocated)) slot = &row;
        }
        for (const auto& unit : m_catalogue.units) {
            auto& slot = unit_by_key[{unit.unit_object_id, unit.index_word}];
            if (slot == nullptr || (!slot->allocated && unit.allocated)) slot = &unit;
        }
        object_of_rowset_stats = ReadIndexStatsRowsets();
    }
    for (const auto& [key, owner] : m_mapDataPageOwners) {
        if (owner.rows == 0) continue;
        const auto object_word = static_cast<std::uint32_t>(key);
        const auto index_word = static_cast<std::uint16_t>(key >> 32);
        std::u16string name;
        std::u16string why;
        // The last link of the chain: the object row. True when the object owns the pages (a table, system or
        // internal object whose row is there); otherwise name and why say what is lost.
        auto object_owns = [&](std::int32_t object_id) {
            const auto object = m_catalogue.objects.find(object_id);
            if (object != m_catalogue.objects.end() && TypeKeepsRows(object->second)) return true;
            if (object == m_catalogue.objects.end() && (object_id < kFirstUserObjectId || server_object(object_id))) {
                return true;
            }
            name = object_text(object_id);
            why = object == m_catalogue.objects.end()
                      ? u"no object row names object " + SignedDecimal(object_id)
                      : u"the object row of object " + SignedDecimal(object_id) + u" has type '" + object->second +
                            u"', which keeps no rows";
            return false;
        };
        if (!format2005) {
            if (object_owns(static_cast<std::int32_t>(object_word))) continue;
        } else {
            // A system table's unit (its object id below 100, its index id its own): the catalogue's own pages.
            if (object_word < static_cast<std::uint32_t>(kFirstUserObjectId) && index_word < 256) continue;
            const std::uint64_t unit_id = (static_cast<std::uint64_t>(index_word) << 48) |
                                          (static_cast<std::uint64_t>(object_word) << 16);
            const auto unit = unit_by_key.find({object_word, index_word});
            if (unit == unit_by_key.end() && m_app.m_bConvertedFrom2000 && index_word < 256) {
                // A page of a file converted from the 2000 format keeps the header it had there: its table's
                // object id and index id.
                if (object_owns(static_cast<std::int32_t>(object_word))) continue;
            } else if (unit == unit_by_key.end()) {
                name = u"allocation unit " + Decimal(unit_id);
                why = u"no allocation-unit row names unit " + Decimal(unit_id);
            } else if (const auto rowset = rowset_by_key.find({unit->second->owner32, unit->second->owner16});
                       rowset != rowset_by_key.end()) {
                if (object_owns(rowset->second->object_id)) continue;
            } else {
                // The rowset row is lost: the index statistics rows may still tie the rowset to its object. Only
                // a table of the catalogue is named so; a system or internal object's rows are not the user's.
                const auto stats = object_of_rowset_stats.find(unit->second->owner);
                if (stats != object_of_rowset_stats.end()) {
                    if (stats->second < kFirstUserObjectId) continue;
                    if (!table_of_object.count(stats->second) && m_catalogue.objects.count(stats->second)) continue;
                }
                name = stats == object_of_rowset_stats.end() ? u"rowset " + Decimal(unit->second->owner)
                                                             : object_text(stats->second);
                why = u"no rowset row names rowset " + Decimal(unit->second->owner);
            }
        }
        Lost& entry = lost[name];
        if (entry.why.empty()) entry.why = why;
        entry.pages += owner.pages;
        entry.rows += owner.rows;
    }
    if (!format2005) {
        // A table's index row (index 0 or 1) whose object row is gone: the table is lost even when it held no
        // row. A heap's index row still gives the table's name.
        for (const auto& row : m_catalogue.index_rows) {
            if (row.object_id < kFirstUserObjectId || m_catalogue.objects.count(row.object_id)) continue;
            Lost& entry = lost[object_text(row.object_id)];
            if (entry.why.empty()) entry.why = u"no object row names object " + SignedDecimal(row.object_id);
        }
    }
    if (format2005) {
        // A table's rowset whose object row is gone: the table is lost even when it held no row.
        for (const auto& row : m_catalogue.rowsets) {
            if (!row.allocated || row.index_id > 1 || row.object_id < kFirstUserObjectId) continue;
            if (m_catalogue.objects.count(row.object_id) || server_object(row.object_id)) continue;
            Lost& entry = lost[object_text(row.object_id)];
            if (entry.why.empty()) entry.why = u"no object row names object " + SignedDecimal(row.object_id);
        }
    }
    for (const auto& table : m_catalogue.unlisted_tables) {
        // Its rows and pages are claimed by its object row; what is lost is the row of its schema.
        Lost& entry = lost[table.name + u" (object " + SignedDecimal(table.object_id) + u")"];
        entry.why = u"no schema row names its schema " + Decimal(table.schema_id);
    }
    for (const auto& [name, entry] : lost) {
        std::u16string line = u"Lost catalogue row (" + entry.why;
        if (entry.pages != 0) {
            line += u"; " + Decimal(entry.pages) + u" data page(s) holding " + Decimal(entry.rows) + u" row(s) are not read";
        }
        out.push_back({line + u") of ", u"table " + name, name, Finding::Kind::Other, 1});
    }

    // ---- Tables and their rowset, column and row-count rows ----
    const bool catalogue_lost = catalogue_pages_lost || cut || !lost.empty();
    // Whether the file keeps the in-row places of its columns in the catalogue (rowset-column or column-layout
    // rows): then every stored column of every table has one, and a column without is one that lost it.
    auto stored = [](const ColumnNode& column) { return !column.m_bComputed || column.m_bPersisted; };
    const bool places_kept = format2005 && std::any_of(m_lstTables.begin(), m_lstTables.end(), [](const TableNode& t) {
                                 return std::any_of(t.m_lstColumns.begin(), t.m_lstColumns.end(),
                                                    [](const ColumnNode& c) { return c.m_bPlacedByCatalogue; });
                             });
    std::set<std::u16string> named_by_lost;
    for (const auto& [name, entry] : lost) named_by_lost.insert(name);
    // Every table of a sound catalogue has a rowset row: when none of the listed tables has one, the rowset
    // rows were lost, whatever is said of the catalogue's own pages.
    const bool rowsets_lost = format2005 && !m_lstTables.empty() &&
                              std::none_of(m_lstTables.begin(), m_lstTables.end(),
                                           [](const TableNode& t) { return t.m_bRowsetFound; });
    for (auto& table : m_lstTables) {
        auto note = [&](std::u16string line) {
            out.push_back({std::move(line), u"table " + table.m_pszName, table.m_pszName, Finding::Kind::Other, 1});
        };
        // A table without a rowset row lost it when the catalogue itself lost pages (some objects listed as
        // tables have no rowset at all).
        if (format2005 && !table.m_bRowsetFound && (catalogue_lost || rowsets_lost) &&
            !named_by_lost.count(table.m_pszName)) {
            note(u"Lost catalogue row (no rowset row names the table) of ");
        }
        if (table.m_lstColumns.empty()) {
            note(u"Lost catalogue rows (no column row names the table) of ");
        } else if (columns_lost) {
            // A page of column rows is gone: a table whose rowset-column rows name columns that none of its
            // column rows name lost those rows (files without rowset-column rows: a record that carries more
            // columns than the column rows name). Asked only then: a dropped column leaves the same trace.
            const auto unnamed = m_catalogue.unnamed_rowset_columns.find(table.m_nObjectId);
            const auto named = static_cast<std::uint64_t>(std::count_if(table.m_lstColumns.begin(), table.m_lstColumns.end(), stored));
            if (unnamed != m_catalogue.unnamed_rowset_columns.end()) {
                note(u"Lost catalogue rows (its rowset-column rows name " + Decimal(unnamed->second.size()) +
                     u" column(s) that no column row names) of ");
            } else if (!format2005) {
                const std::uint64_t carried = RecordColumnCount(table);
                if (carried > named) {
                    note(u"Lost catalogue rows (its records carry " + Decimal(carried) + u" columns, its column rows name " +
                         Decimal(named) + u") of ");
                }
            }
        }
        if (places_kept && table.m_bRowsetFound) {
            std::u16string unplaced;
            std::size_t count = 0;
            for (const auto& column : table.m_lstColumns) {
                if (!stored(column) || column.m_bPlacedByCatalogue) continue;
                if (++count <= 8) unplaced += (unplaced.empty() ? u"" : u", ") + column.m_pszName;
            }
            if (count > 8) unplaced += u", ...";
            if (count != 0) {
                note(u"Lost catalogue rows (no rowset-column row places " + Decimal(count) + u" column(s): " + unplaced +
                     u") of ");
            }
        }
    }

    // ---- Allocated pages without a sound header that no table's walk named ----
    if (!unsound_runs.empty()) {
        // The table of each allocation unit, for the pages of its large values and row overflow.
        std::map<std::pair<std::uint32_t, std::uint16_t>, std::u16string> owner_text;
        if (format2005) {
            for (const auto& unit : m_catalogue.units) {
                const auto rowset = rowset_by_key.find({unit.owner32, unit.owner16});
                if (rowset == rowset_by_key.end()) continue;
                if (const auto t = table_of_object.find(rowset->second->object_id); t != table_of_object.end()) {
                    owner_text.emplace(std::make_pair(unit.unit_object_id, unit.index_word), u"table " + t->second->m_pszName);
                }
            }
        }
        // The pages the walks and the checks above named already, as sorted runs.
        std::vector<std::pair<std::uint64_t, std::uint64_t>> named;
        for (const auto* runs_by_owner : {&m_mapDamagedPageRuns, &catalogue_damaged}) {
            for (const auto& [owner, runs] : *runs_by_owner) {
                for (const auto& run : runs.Merged()) named.emplace_back(run.first, run.last);
            }
        }
        std::sort(named.begin(), named.end());
        std::vector<std::pair<std::uint64_t, std::uint64_t>> disjoint;
        for (const auto& run : named) {
            if (!disjoint.empty() && run.first <= disjoint.back().second + 1) {
                disjoint.back().second = std::max(disjoint.back().second, run.second);
            } else {
                disjoint.push_back(run);
            }
        }
        auto already_named = [&](std::uint64_t page) {
            const auto at = std::upper_bound(disjoint.begin(), disjoint.end(), std::make_pair(page, UINT64_MAX));
            return at != disjoint.begin() && std::prev(at)->second >= page;
        };
        std::map<std::u16string, PageRuns> attributed;
        std::map<std::u16string, std::u16string> table_of_owner;
        PageRuns unknown;
        for (const auto& run : unsound_runs) {
            for (std::uint64_t page = run.first; page <= run.last; ++page) {
                if (already_named(page)) continue;
                const auto unit = unit_of_unsound.find(page);
                if (unit == unit_of_unsound.end()) {
                    unknown.Add(page, run.why);
                    continue;
                }
                const auto [object_id, index_word] = unit->second;
                std::u16string owner;
                std::u16string table;
                if (IsCataloguePage(object_id, index_word)) {
                    owner = u"the catalogue (" + CatalogueTableLabel(object_id) + u")";
                } else if (!format2005) {
                    const auto t = table_of_object.find(static_cast<std::int32_t>(object_id));
                    if (t != table_of_object.end()) table = t->second->m_pszName;
                    owner = t != table_of_object.end() ? u"table " + table
                                                       : u"object " + Decimal(object_id) + u" (no table of the catalogue lists the page)";
                } else if (const auto o = owner_text.find({object_id, index_word}); o != owner_text.end()) {
                    owner = o->second;
                    table = owner.substr(6);
                } else {
                    owner = u"allocation unit " +
                            Decimal((static_cast<std::uint64_t>(index_word) << 48) | (static_cast<std::uint64_t>(object_id) << 16)) +
                            u" (no table of the catalogue lists the page)";
                }
                attributed[owner].Add(page, run.why);
                if (!table.empty()) table_of_owner[owner] = table;
            }
        }
        for (const auto& [owner, runs] : attributed) {
            const auto table = table_of_owner.find(owner);
            for (const auto& run : runs.Merged()) {
                out.push_back({PageRunLine(u"Damaged", run), owner, table == table_of_owner.end() ? u"" : table->second,
                               Finding::Kind::DamagedPages, RunPages(run)});
            }
        }
        for (const auto& run : unknown.Merged()) {
            out.push_back({PageRunLine(u"Damaged", run),
                           u"no object the catalogue names (the file's allocation pages mark the page(s) allocated)", {},
                           Finding::Kind::DamagedPages, RunPages(run)});
        }
    }

    // ---- Nothing of the catalogue read ----
    if (m_catalogue.objects.empty()) {
        out.push_back({u"The catalogue could not be read: no object row was found in " + Decimal(file_pages) +
                           u" pages read; the lines above name the damaged and missing pages",
                       {}, {}, Finding::Kind::Other, 1});
    }
    m_bCatalogueDamaged = catalogue_lost || m_catalogue.objects.empty();
    return out;
}

std::uint64_t CRecoveryEngine::RecordColumnCount(const TableNode& table) {
    // The column count of the live records of the table's first data page: rows written before a column was
    // added carry fewer, so the largest is taken.
    if (table.m_lstDataPages.empty()) return 0;
    const std::uint64_t page = table.m_lstDataPages.front().m_nPageOffset;
    LoadTornBits(page);
    std::uint64_t most = 0;
    for (const std::uint16_t e : ReadSlotEntries(page, Read16(page + kPageHeaderSlotCountOffset))) {
        if (!IsRecordOffset(e) || !IsLiveDataRecord(Read8(page + e))) continue;
        const std::uint16_t fixed_end = Read16(page + e + 2, Fixup::Single);
        if (fixed_end < 4 || e + fixed_end + 2u > kPageSize) continue;
        most = std::max<std::uint64_t>(most, Read16(page + e + fixed_end, Fixup::Single));
    }
    return most;
}

std::map<std::uint64_t, std::int32_t> CRecoveryEngine::ReadIndexStatsRowsets() {
    // Index statistics rows (system object 54): object id at 4, index id at 8, rowset id at 31.
    std::map<std::uint64_t, std::int32_t> out;
    const PageList& list = m_plIndexStats;
    for (std::size_t i = 0; i < list.size(); ++i) {
        const std::uint64_t page = list.m_arrOffsets[i];
        if (Read16(page + kPageHeaderIndexIdOffset) >= 256) continue;
        if (m_app.m_bCreatedOn2000) LoadTornBits(page);
        for (const std::uint16_t e : ReadSlotEntries(page, list.m_arrSlotCounts[i])) {
            if (!IsRecordOffset(e) || e + 39u > kPageSize) continue;
            std::array<std::uint8_t, 39> r{};
            ReadAt(page + e, r.data(), r.size(), Fixup::Single);
            if (IsGhostRecord(r[0]) || r[2] != 39) continue;
            std::uint64_t rowset = 0;
            for (int k = 7; k >= 0; --k) rowset = (rowset << 8) | r[31 + static_cast<std::size_t>(k)];
            if (rowset != 0) out.emplace(rowset, static_cast<std::int32_t>(U32(&r[4])));
        }
    }
    return out;
}

bool CRecoveryEngine::ScanFoundDamage() {
    if (!m_arrDamagedPages.empty() || !m_unsoundAllocatedPages.Empty() || !m_strBootPageDamage.empty()) return true;
    if (!m_mapDamagedPageRuns.empty() || !m_mapMissingPageRuns.empty() || !m_arrTableDamage.empty()) return true;
    const std::uint64_t file_pages = m_nFileSize / kPageSize;
    if (const auto last = m_allocationMaps.LastAllocatedPage(); last && *last >= file_pages) return true;
    const bool other_files = IamPagesNameOtherFiles(*this, m_arrIamPages);
    for (const std::uint64_t iam : m_arrIamPages) {
        for (const IamRecord& record : ReadIamPage(*this, iam, other_files, false).records) {
            for (const std::uint32_t page : record.single_pages) {
                if (page >= file_pages) return true;
            }
            for (const std::uint64_t page : record.extent_pages) {
                if (page >= file_pages) return true;
            }
        }
    }
    return false;
}

std::map<std::int32_t, std::pair<std::int32_t, std::u16string>> CRecoveryEngine::ReadObjectNameIndex() {
    // Leaf pages (level 0) of index 2 of the object rows (system object 34), found through that index's
    // allocation maps. A leaf row: status, the name class (1 byte) at 1, the schema id at 2, the object id at 6,
    // then the null bitmap when the status says so, the variable-column count and end offsets, and the name.
    std::map<std::int32_t, std::pair<std::int32_t, std::u16string>> names;
    constexpr std::uint32_t kObjects = 34;
    constexpr std::uint16_t kNameIndex = 2;
    const std::uint64_t file_pages = m_nFileSize / kPageSize;
    const bool other_files = IamPagesNameOtherFiles(*this, m_arrIamPages);
    std::set<std::uint64_t> pages;
    for (const std::uint64_t iam : m_arrIamPages) {
        if (Read32(iam + kPageHeaderObjectIdOffset) != kObjects || Read16(iam + kPageHeaderIndexIdOffset) != kNameIndex) continue;
        for (const IamRecord& record : ReadIamPage(*this, iam, other_files, false).records) {
            pages.insert(record.single_pages.begin(), record.single_pages.end());
            pages.insert(record.extent_pages.begin(), record.extent_pages.end());
        }
    }
    for (const std::uint64_t number : pages) {
        if (number >= file_pages) continue;
        const auto read = ReadBytes(number * kPageSize, kPageSize);
        const auto page = RestoredPage(read);
        if (!IsSoundPageHeader(page, number) || U16(page.data()) != 0x0201 || page[3] != 0 ||
            U32(&page[kPageHeaderObjectIdOffset]) != kObjects || U16(&page[kPageHeaderIndexIdOffset]) != kNameIndex) {
            continue;
        }
        const std::size_t slots = std::min<std::size_t>(U16(&page[kPageHeaderSlotCountOffset]), kMaxSlotEntries);
        for (std::size_t k = 0; k < slots; ++k) {
            const std::size_t e = U16(&page[kPageSize - 2 - 2 * k]);
            if (!IsRecordOffset(static_cast<std::uint32_t>(e)) || e + 14 > kPageSize) continue;
            const std::uint8_t status = page[e];
            if (((status >> 1) & 7) != 3 || !(status & 0x20)) continue;  // a live index record with a name
            std::size_t at = e + 10;
            if (status & 0x10) at += 2 + (U16(&page[at]) + 7u) / 8u;
            if (at + 4 > kPageSize) continue;
            const std::size_t count = U16(&page[at]);
            const std::size_t start = at + 2 + 2 * count;
            const std::size_t end = e + (U16(&page[at + 2]) & 0x7FFF);
            if (count == 0 || end <= start || end > kPageSize || (end - start) % 2 != 0) continue;
            std::u16string name;
            for (std::size_t i = start; i < end; i += 2) name.push_back(static_cast<char16_t>(U16(&page[i])));
            names.emplace(static_cast<std::int32_t>(U32(&page[e + 6])),
                          std::make_pair(static_cast<std::int32_t>(U32(&page[e + 2])), std::move(name)));
        }
    }
    return names;
}

void CRecoveryEngine::NoteDamagedPage(const TableNode& table, std::uint64_t page, std::u16string_view why) {
    m_mapDamagedPageRuns[table.m_pszName].Add(page, why);
}

void CRecoveryEngine::NoteMissingPage(const TableNode& table, std::uint64_t page, std::u16string_view why) {
    m_mapMissingPageRuns[table.m_pszName].Add(page, why);
}

}  // namespace mdf
