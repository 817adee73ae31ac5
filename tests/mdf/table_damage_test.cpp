// Losses the reader names: every page a table should own that cannot be read as its page, an allocation map
// that is gone, slots that list one record twice, a column row that contradicts its table, on files of the 2005
// format, converted from 2000, and of the 2000 format. Each gives its line,
// its count (the damage exit code) and marks its table incomplete; the other tables keep their rows. Old bytes
// in a free extent are nothing at all.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <sstream>

#include "mdf/catalog_page.h"
#include "mdf/page_check.h"
#include "platform/text.h"
#include "tests/mdf/catalog_2005_fixture.h"
#include "tests/support/corpus.h"
#include "tests/support/file_bytes.h"
#include "tests/support/page_builder.h"
#include "tests/support/sharepoint_builder.h"
#include "tests/support/sql2000_builder.h"
#include "tests/tools/catalog_dump.h"
#include "tests/tools/dump_rows.h"

namespace {

namespace fs = std::filesystem;
using testsupport::sharepoint::ContentDatabase;
using testsupport::sharepoint::Generation;
using Bytes = std::vector<std::uint8_t>;
constexpr std::size_t kPage = mdf::kPageSize;

using testsupport::ReadFile;
using testsupport::WriteFile;

struct TableSeen {
    std::int32_t object_id = 0;
    std::uint64_t rows = 0;
    bool incomplete = false;
    std::vector<std::uint64_t> pages;  // data page numbers, in list order
    std::uint64_t first_iam = 0;
    std::vector<std::vector<std::u16string>> values;
};

// One scan as catalog_dump runs it: the damage lines and their number, and per table what was read.
struct Scan {
    std::string lines;
    std::uint64_t damage = 0;
    std::map<std::string, TableSeen> tables;
};

Scan ScanFile(const fs::path& path, bool with_rows = true) {
    Scan scan;
    platform::SharedState app;
    app.m_strDataFilePath = platform::FromUtf8(path.string());
    mdf::CRecoveryEngine engine(app);
    std::ostringstream err;
    EXPECT_TRUE(catalog_dump::RunScan(engine, err, &scan.damage)) << err.str();
    EXPECT_EQ(engine.m_nDamageCount, scan.damage);
    scan.lines = err.str();
    for (auto& table : engine.m_lstTables) {
        TableSeen& seen = scan.tables[platform::ToUtf8(table.m_pszName)];
        seen.object_id = table.m_nObjectId;
        seen.rows = table.m_nRowCount;
        seen.incomplete = table.Incomplete();
        for (const auto& page : table.m_lstDataPages) seen.pages.push_back(page.m_nPageOffset / kPage);
        if (!table.m_lstAllocUnits.empty()) seen.first_iam = table.m_lstAllocUnits.front().m_nFirstIamPage;
        if (with_rows) seen.values = catalog_dump::TableRows(engine, table);
    }
    return scan;
}

std::size_t LineCount(const std::string& text) { return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')); }

void Put16(Bytes& file, std::size_t at, std::uint16_t v) {
    file[at] = static_cast<std::uint8_t>(v);
    file[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(Bytes& file, std::size_t at, std::uint32_t v) {
    for (int k = 0; k < 4; ++k) file[at + k] = static_cast<std::uint8_t>(v >> (8 * k));
}
std::uint16_t Get16(const Bytes& file, std::size_t at) { return static_cast<std::uint16_t>(file[at] | (file[at + 1] << 8)); }

// The first data page of some table that holds at least `slots` slots, and its table.
std::pair<std::string, std::uint64_t> PageWithSlots(const Bytes& file, const Scan& clean, std::uint16_t slots) {
    for (const auto& [name, seen] : clean.tables) {
        for (std::uint64_t page : seen.pages) {
            if (Get16(file, page * kPage + 22) >= slots) return {name, page};
        }
    }
    ADD_FAILURE() << "no page with " << slots << " slots";
    return {};
}

// The file offset of the column row of the (unique) column name.
std::size_t ColumnRow(const Bytes& file, const std::string& column) {
    Bytes name;
    for (const char c : column) name.insert(name.end(), {static_cast<std::uint8_t>(c), 0});
    const auto at = std::search(file.begin(), file.end(), name.begin(), name.end());
    EXPECT_NE(at, file.end());
    const auto row = static_cast<std::size_t>(at - file.begin()) - 53;  // the name is the row's first variable column
    EXPECT_EQ(file[row + 2], 0x2D) << "not a column row";
    return row;
}

// A GAM page (page 2) that marks the extents below `free_from` allocated and the rest free.
void WriteGam(Bytes& file, std::uint64_t free_from) {
    const std::size_t at = 2 * kPage;
    std::fill_n(file.begin() + static_cast<std::ptrdiff_t>(at), kPage, 0);
    file[at] = 1;
    file[at + 1] = 8;
    Put16(file, at + 22, 2);
    Put32(file, at + 32, 2);
    Put16(file, at + 36, 1);
    Put16(file, at + kPage - 2, 96);
    Put16(file, at + kPage - 4, 190);
    file[at + 96] = 0x08;
    Put16(file, at + 98, 94);
    file[at + 190] = 0x08;
    Put16(file, at + 192, 4);
    for (std::uint64_t extent = free_from; extent < 7988 * 8; ++extent) file[at + 194 + extent / 8] |= 1 << (extent % 8);
}

struct Expected {
    std::vector<std::string> lines;  // each must be logged, whole
    std::set<std::string> incomplete;
    bool rows_of_others_kept = true;
};

TEST(TableDamage, EachLossIsNamedCountedAndTheRestIsKept) {
    struct Case {
        const char* name;
        std::function<Expected(Bytes& file, const Scan& clean)> damage;
        bool format_2000 = true;  // also on a file of the 2000 format (its catalogue has no allocation-unit rows)
        bool format_2005 = true;  // on the files of the 2005 format and converted from 2000
    };
    const Case cases[] = {
        {"a zeroed data page",
         [](Bytes& file, const Scan& clean) {
             const auto& [table, page] = PageWithSlots(file, clean, 1);
             std::fill_n(file.begin() + static_cast<std::ptrdiff_t>(page * kPage), kPage, 0);
             return Expected{{"Damaged page " + std::to_string(page) + " (no page header) of table " + table}, {table}};
         }},
        {"a page with another page's id",
         [](Bytes& file, const Scan& clean) {
             const auto& [table, page] = PageWithSlots(file, clean, 1);
             Put32(file, page * kPage + 32, 7777);
             return Expected{{"Damaged page " + std::to_string(page) + " (holds page 7777) of table " + table}, {table}};
         }},
        {"an allocation-map page beyond a cut",
         [](Bytes& file, const Scan& clean) {
             // The last table's allocation maps are the file's last pages.
             auto last = clean.tables.begin();
             for (auto it = clean.tables.begin(); it != clean.tables.end(); ++it) {
                 if (it->second.first_iam > last->second.first_iam) last = it;
             }
             const std::uint64_t iam = last->second.first_iam;
             file.resize(iam * kPage);
             return Expected{{"Missing page " + std::to_string(iam) + " (allocation map, beyond the end of the file) of table " +
                              last->first},
                             {last->first}};
         },
         false},
        {"two pages of two tables swapped",
         [](Bytes& file, const Scan& clean) {
             auto a = clean.tables.begin();
             auto b = std::next(a);
             while (b != clean.tables.end() && b->second.pages.empty()) ++b;
             const std::uint64_t p = a->second.pages.front(), q = b->second.pages.front();
             std::swap_ranges(file.begin() + static_cast<std::ptrdiff_t>(p * kPage),
                              file.begin() + static_cast<std::ptrdiff_t>((p + 1) * kPage),
                              file.begin() + static_cast<std::ptrdiff_t>(q * kPage));
             return Expected{{"Damaged page " + std::to_string(p) + " (holds page " + std::to_string(q) + ") of table " + a->first,
                              "Damaged page " + std::to_string(q) + " (holds page " + std::to_string(p) + ") of table " + b->first},
                             {a->first, b->first}};
         }},
        {"two slots at one record",
         [](Bytes& file, const Scan& clean) {
             // Slots 1 and 2: neither entry holds a sector's last byte, so torn bits do not change them.
             const auto& [table, page] = PageWithSlots(file, clean, 3);
             Put16(file, page * kPage + kPage - 6, Get16(file, page * kPage + kPage - 4));
             return Expected{{"Damaged page " + std::to_string(page) + " (two slots list one record) of table " + table},
                             {table}};
         }},
        {"a column row marked computed",
         [](Bytes& file, const Scan&) {
             file[ColumnRow(file, "tp_DeleteCount") + 27] |= 0x10;
             return Expected{{"Damaged column row tp_DeleteCount (computed, but no definition is stored) of table dbo.AllLists"},
                             {"dbo.AllLists"}};
         },
         false},
        {"a column row given another column's number",
         [](Bytes& file, const Scan&) {
             // tp_DeleteCount (column 7) takes the number of tp_LastDeleted: one null bit for both.
             const std::size_t row = ColumnRow(file, "tp_DeleteCount");
             Put32(file, row + 10, 6);
             return Expected{{"Damaged column row tp_DeleteCount (the null bit of column tp_LastDeleted) of table dbo.AllLists"},
                             {"dbo.AllLists"}};
         },
         false},
        {"a column row placing its value outside any row",
         [](Bytes& file, const Scan&) {
             // Ledger.Posted (datetime) of the 2000 sample: its syscolumns row by table id (2041058307) and type.
             const Bytes key = {0x03, 0x14, 0xA8, 0x79, 61};
             std::size_t row = 0;
             for (auto at = file.begin(); (at = std::search(at, file.end(), key.begin(), key.end())) != file.end(); ++at) {
                 const auto start = static_cast<std::size_t>(at - file.begin()) - 4;
                 if (file[start] == 0x30 && (file[start + 2] == 46 || file[start + 2] == 38)) row = start;
             }
             EXPECT_NE(row, 0u);
             Put16(file, row + 18, 9000);
             return Expected{{"Damaged column row Posted (in-row offset 9000 lies outside any row) of table Ledger"}, {"Ledger"}};
         },
         true, false},
        {"old bytes in a free extent",
         [](Bytes& file, const Scan&) {
             // One extent after the used ones, free in the GAM, holding random bytes whose headers ask for both
             // checks; one of its pages even has a sound header with its own number and a wrong checksum.
             const std::uint64_t used = (file.size() / kPage + 7) / 8;
             WriteGam(file, used);
             file.resize((used + 1) * 8 * kPage);
             std::mt19937 random(31);
             for (std::uint64_t page = used * 8; page < (used + 1) * 8; ++page) {
                 const std::size_t at = page * kPage;
                 for (std::size_t k = 0; k < kPage; ++k) file[at + k] = static_cast<std::uint8_t>(random());
                 file[at] = 1;
                 file[at + 1] = page % 2 ? 0 : 72;
                 Put16(file, at + 4, mdf::kPageFlagTornBits | mdf::kPageFlagChecksum);
                 Put16(file, at + 22, 18673);
             }
             const std::size_t sound = used * 8 * kPage;
             file[sound + 1] = 1;
             Put32(file, sound + 24, 0x7531ACE1);
             Put32(file, sound + 32, static_cast<std::uint32_t>(used * 8));
             return Expected{};
         }},
    };
    enum class Layout { Format2005, ConvertedFrom2000, Format2000 };
    for (const Layout layout : {Layout::Format2005, Layout::ConvertedFrom2000, Layout::Format2000}) {
        for (const Case& c : cases) {
            if (layout == Layout::Format2000 ? !c.format_2000 : !c.format_2005) continue;
            SCOPED_TRACE(std::string(c.name) + (layout == Layout::Format2005           ? ", 2005"
                                                : layout == Layout::ConvertedFrom2000 ? ", converted from 2000"
                                                                                       : ", 2000"));
            testsupport::TempDir dir;
            if (layout == Layout::Format2000) {
                testsupport::sql2000::SampleDatabase().Build().WriteTo(dir / "clean.mdf");
            } else {
                auto database = ContentDatabase::Sample(Generation::Sp2010VarBinary);
                database.TornPages(layout == Layout::ConvertedFrom2000);
                database.Build().WriteTo(dir / "clean.mdf");
            }
            Bytes file = ReadFile(dir / "clean.mdf");
            const Scan clean = ScanFile(dir / "clean.mdf");
            ASSERT_EQ(clean.damage, 0u) << clean.lines;

            const Expected expected = c.damage(file, clean);
            WriteFile(dir / "damaged.mdf", file);
            const Scan damaged = ScanFile(dir / "damaged.mdf");
            EXPECT_EQ(damaged.damage, expected.lines.size()) << damaged.lines;
            EXPECT_EQ(LineCount(damaged.lines), expected.lines.size()) << damaged.lines;
            for (const auto& line : expected.lines) {
                EXPECT_NE(damaged.lines.find(line + "\n"), std::string::npos) << line << "\n" << damaged.lines;
            }
            ASSERT_EQ(damaged.tables.size(), clean.tables.size());
            for (const auto& [name, seen] : damaged.tables) {
                SCOPED_TRACE(name);
                EXPECT_EQ(seen.incomplete, expected.incomplete.count(name) == 1);
                if (expected.incomplete.count(name)) continue;
                EXPECT_EQ(seen.rows, clean.tables.at(name).rows);
                EXPECT_EQ(seen.values, clean.tables.at(name).values);
            }
        }
    }
}

// Slots that list one record twice: the record is read once.
TEST(TableDamage, ARecordListedTwiceIsReadOnce) {
    testsupport::TempDir dir;
    auto database = ContentDatabase::Sample(Generation::Sp2010VarBinary);
    database.Build().WriteTo(dir / "clean.mdf");
    Bytes file = ReadFile(dir / "clean.mdf");
    const Scan clean = ScanFile(dir / "clean.mdf");
    const auto [table, page] = PageWithSlots(file, clean, 3);
    const std::size_t at = page * kPage;
    const std::uint16_t slots = Get16(file, at + 22);
    for (std::uint16_t k = 1; k < slots; ++k) Put16(file, at + kPage - 2 - 2 * k, Get16(file, at + kPage - 2));
    WriteFile(dir / "damaged.mdf", file);
    const Scan damaged = ScanFile(dir / "damaged.mdf");
    const TableSeen& before = clean.tables.at(table);
    const TableSeen& after = damaged.tables.at(table);
    EXPECT_EQ(after.rows, before.rows - (slots - 1u));
    EXPECT_EQ(after.values.size(), before.values.size() - (slots - 1u));
}

// A cut Northwind: the tables whose pages, allocation maps or catalogue rows lie past the cut are named, and
// only they. The system table that shares dbo.Products' object id has pages past every cut: Products, whose
// own pages all lie before the cuts, is never named.
TEST(TableDamage, CorpusCutNamesTheTablesItCuts) {
    const auto corpus = testsupport::CorpusDir();
    if (!corpus) GTEST_SKIP() << "corpus folder absent: set BRINDLEMOOR_CORPUS or provide ../shared/corpus";
    const Bytes whole = ReadFile(*corpus / "northwnd_sligo.mdf");
    struct Cut {
        std::uint64_t pages;
        std::set<std::string> named;
    };
    const Cut cuts[] = {
        {366, {"dbo.Shippers", "dbo.Suppliers", "dbo.CustomerDemographics", "dbo.Region", "dbo.Territories",
               "dbo.EmployeeTerritories"}},
        {380, {"dbo.CustomerDemographics", "dbo.Region", "dbo.Territories", "dbo.EmployeeTerritories"}},
        {385, {"dbo.EmployeeTerritories"}},
        {396, {}},
    };
    testsupport::TempDir dir;
    WriteFile(dir / "whole.mdf", whole);
    const Scan clean = ScanFile(dir / "whole.mdf", false);
    ASSERT_EQ(clean.damage, 0u) << clean.lines;
    for (const Cut& cut : cuts) {
        SCOPED_TRACE("cut at page " + std::to_string(cut.pages));
        WriteFile(dir / "cut.mdf", Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut.pages * kPage)));
        const Scan scan = ScanFile(dir / "cut.mdf", false);
        std::set<std::string> named;
        for (const auto& [name, seen] : scan.tables) {
            const bool in_lines = scan.lines.find(" of table " + name + "\n") != std::string::npos;
            EXPECT_EQ(in_lines, seen.incomplete);
            if (in_lines) named.insert(name);
            // A table that keeps all its rows is not named; one that loses rows is.
            if (seen.rows != clean.tables.at(name).rows) {
                EXPECT_TRUE(in_lines) << scan.lines;
            }
        }
        EXPECT_EQ(named, cut.named) << scan.lines;
        // Every cut lies below the pages the allocation maps name: the cut itself is named.
        EXPECT_NE(scan.lines.find("The file ends at byte " + std::to_string(cut.pages * kPage) + "; its allocation maps "
                                  "name pages up to 407: the file was cut short\n"),
                  std::string::npos)
            << scan.lines;
    }
}

// Every page's checksum written afresh, as the server writes it (after a test changed the page on purpose).
void StampChecksum(Bytes& file, std::uint64_t page) {
    const std::span<const std::uint8_t> bytes(file.data() + page * kPage, kPage);
    Put32(file, page * kPage + mdf::kPageChecksumOffset, mdf::PageChecksum(bytes));
}

// The file offset of the rowset row (system object 5) of the object's data (index 0 or 1).
std::size_t RowsetRowOf(const Bytes& file, std::int32_t object_id) {
    for (std::size_t page = 0; page < file.size() / kPage; ++page) {
        const std::size_t at = page * kPage;
        if (Get16(file, at) != mdf::kPageTypeData || Get16(file, at + 24) != 5 || Get16(file, at + 26) != 0) continue;
        for (std::uint16_t slot = 0; slot < Get16(file, at + 22); ++slot) {
            const std::size_t row = at + Get16(file, at + kPage - 2 - 2 * slot);
            const auto object = static_cast<std::int32_t>(Get16(file, row + 13) | (Get16(file, row + 15) << 16));
            if (object == object_id && Get16(file, row + 17) <= 1) return row;
        }
    }
    ADD_FAILURE() << "no rowset row of object " << object_id;
    return 0;
}

// Damage to the catalogue itself, to the 2000 format's allocation maps, to the allocation pages and the boot
// page, and cut files: each case gives its lines (all other lines are free), and every table whose rows the
// damage changed or took away is named: a listed table is marked incomplete, one the catalogue no longer lists
// is named by its object id.
TEST(CatalogueDamage, EveryTableTheDamageEmptiesIsNamed) {
    enum class Source { Sql2000, SharePoint, PubsSligo, PubsAnh, NorthwindBi, NorthwindSligo, AspNetDb };
    struct Case {
        const char* name;
        Source source;
        std::function<void(Bytes& file)> damage;
        std::vector<std::string> lines;  // each must be logged, whole; none: no finding at all
    };
    auto zero = [](std::uint64_t page) {
        return [page](Bytes& file) { std::fill_n(file.begin() + static_cast<std::ptrdiff_t>(page * kPage), kPage, 0); };
    };
    auto cut = [](std::uint64_t bytes) { return [bytes](Bytes& file) { file.resize(bytes); }; };
    // pubs_sligo: one byte of a row of dbo.authors (page 90) changed, and the GAM (page 2) marking extents 0 and
    // 11 free; with restamp the GAM carries a sound checksum.
    auto authors_and_gam = [](bool restamp) {
        return [restamp](Bytes& file) {
            file[90 * kPage + Get16(file, 90 * kPage + kPage - 2) + 10] ^= 1;
            const std::size_t bitmap = 2 * kPage + Get16(file, 2 * kPage + kPage - 4) + 4;
            file[bitmap] |= 1;
            file[bitmap + 1] |= 1 << 3;
            if (restamp) StampChecksum(file, 2);
        };
    };
    const Case cases[] = {
        // ---- The catalogue's own pages, in real files ----
        {"the page of the rowset rows", Source::PubsSligo, zero(18),
         {"Damaged page 18 (no page header) of the catalogue (rowsets)",
          "Lost catalogue row (no rowset row names rowset 72057594038779904; 1 data page(s) holding 23 row(s) are not read) "
          "of table dbo.authors"}},
        {"a page of object rows, converted file", Source::NorthwindBi, zero(372),
         {"Damaged page 372 (no page header) of the catalogue (objects)",
          "Lost catalogue row (no object row names object 2041058307; 1 data page(s) holding 8 row(s) are not read) of "
          "table dbo.Categories (object 2041058307)"}},
        {"a page of column rows, converted file", Source::PubsAnh, zero(249),
         {"Damaged page 249 (no page header) of the catalogue (columns)",
          "Lost catalogue rows (its rowset-column rows name 4 column(s) that no column row names) of table dbo.authors"}},
        {"the page of the schema rows", Source::PubsSligo, zero(14),
         {"Damaged page 14 (no page header) of the catalogue (schemas)"}},
        {"a page of rowset-column rows", Source::PubsSligo, zero(176),
         {"Damaged page 176 (no page header) of the catalogue (rowset columns)",
          "Lost catalogue rows (no rowset-column row places 6 column(s): stor_id, ord_num, ord_date, qty, payterms, "
          "title_id) of table dbo.sales"}},
        {"a file cut in its catalogue", Source::PubsSligo, cut(655360),
         {"The file ends at byte 655360; its allocation maps name pages up to 239: the file was cut short",
          "Missing page 117 (allocation map, beyond the end of the file) of the catalogue (objects)"}},
        {"a file cut inside a page", Source::AspNetDb, cut(952250),
         {"The file ends at byte 952250 (inside page 116); its allocation maps name pages up to 183: the file was cut "
          "short"}},
        {"a converted file cut in its last tables", Source::NorthwindBi, cut(3145728),
         {"The file ends at byte 3145728; its allocation maps name pages up to 431: the file was cut short"}},
        {"the row count of a rowset row", Source::PubsSligo,
         [](Bytes& file) {
             const std::size_t row = RowsetRowOf(file, 2105058535);  // dbo.authors
             Put32(file, row + 31, 24);
             StampChecksum(file, row / kPage);
         },
         {"Row count differs (the catalogue counts 24 row(s), its pages hold 23) of table dbo.authors"}},
        // ---- The allocation pages and the boot page ----
        {"a damaged page in an extent a damaged GAM calls free", Source::PubsSligo, authors_and_gam(false),
         {"Damaged page 90 (checksum mismatch) of table dbo.authors",
          "Damaged page 2 (checksum mismatch) of the file's allocation pages"}},
        {"a damaged page in an extent a sound GAM calls free", Source::PubsSligo, authors_and_gam(true),
         {"Damaged page 90 (checksum mismatch) of table dbo.authors"}},
        {"the boot page's checksum", Source::NorthwindSligo, [](Bytes& file) { file[9 * kPage + 300] ^= 1; },
         {"Damaged page 9 (checksum mismatch) of the boot page"}},
        // ---- The 2000 format ----
        {"a table's allocation map zeroed", Source::Sql2000, zero(25),
         {"Damaged page 25 (allocation map, no page header) of table Orders"}},
        {"an allocation map that names itself", Source::Sql2000,
         [](Bytes& file) { Put32(file, 33 * kPage + 96 + 46, 33); },  // Events: its first single-page slot
         {"Row count differs (the catalogue counts 60 row(s), its pages hold 54) of table Events"}},
        {"an allocation map chain that comes back to itself", Source::Sql2000,
         [](Bytes& file) { Put32(file, 33 * kPage + 16, 33); }, {}},
        {"the page of the object rows, 2000", Source::Sql2000, zero(16),
         {"Lost catalogue row (no object row names object 2137058649; 10 data page(s) holding 60 row(s) are not read) of "
          "table Events (object 2137058649)",
          "Lost catalogue row (no object row names object 1977058079; 1 data page(s) holding 6 row(s) are not read) of "
          "table object 1977058079"}},
        {"a page of column rows, 2000", Source::Sql2000, zero(19),
         {"Lost catalogue rows (no column row names the table) of table Customers"}},
        // ---- A file of the 2005 format without allocation pages ----
        {"the object rows", Source::SharePoint, zero(17),
         {"The catalogue could not be read: no object row was found in 37 pages read; the lines above name the damaged "
          "and missing pages"}},
        {"the column rows", Source::SharePoint, zero(18),
         {"Lost catalogue rows (no column row names the table) of table dbo.AllDocs"}},
        {"the rowset rows", Source::SharePoint, zero(19),
         {"Lost catalogue row (no rowset row names the table) of table dbo.AllDocs"}},
        {"a file cut before its rowset rows, no allocation map to say so", Source::SharePoint, cut(19 * kPage + 1000),
         {"Lost catalogue row (no rowset row names the table) of table dbo.AllDocs",
          "Lost catalogue row (no rowset row names the table) of table dbo.Webs"}},
        {"the allocation-unit rows", Source::SharePoint, zero(31),
         {"Lost catalogue row (no allocation-unit row names the table's rowset) of table dbo.AllDocs"}},
    };
    const auto corpus = testsupport::CorpusDir();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::TempDir dir;
        switch (c.source) {
            case Source::Sql2000: testsupport::sql2000::SampleDatabase().Build().WriteTo(dir / "clean.mdf"); break;
            case Source::SharePoint:
                ContentDatabase::Sample(Generation::Sp2010VarBinary).Build().WriteTo(dir / "clean.mdf");
                break;
            default: {
                if (!corpus) continue;  // corpus folder absent: the fixtures' cases still run
                const char* names[] = {"", "", "pubs_sligo.mdf", "pubs_anh.mdf", "northwnd_bi.mdf", "northwnd_sligo.mdf",
                                       "aspnetdb_tractis.mdf"};
                WriteFile(dir / "clean.mdf", ReadFile(*corpus / names[static_cast<int>(c.source)]));
            }
        }
        Bytes file = ReadFile(dir / "clean.mdf");
        const Scan clean = ScanFile(dir / "clean.mdf");
        ASSERT_EQ(clean.damage, 0u) << clean.lines;
        c.damage(file);
        WriteFile(dir / "damaged.mdf", file);
        const Scan damaged = ScanFile(dir / "damaged.mdf");
        if (c.lines.empty()) {
            EXPECT_EQ(damaged.damage, 0u) << damaged.lines;
            EXPECT_EQ(damaged.lines, "");
        } else {
            EXPECT_GE(damaged.damage, c.lines.size()) << damaged.lines;
        }
        for (const auto& line : c.lines) {
            EXPECT_NE(("\n" + damaged.lines).find("\n" + line + "\n"), std::string::npos) << line << "\n" << damaged.lines;
        }
        for (const auto& [name, seen] : clean.tables) {
            SCOPED_TRACE(name);
            const auto after = damaged.tables.find(name);
            if (after == damaged.tables.end()) {
                // Named by its object id: "of table object N" or "of table dbo.T (object N)".
                const std::string id = "object " + std::to_string(seen.object_id);
                EXPECT_TRUE(damaged.lines.find(id + "\n") != std::string::npos ||
                            damaged.lines.find(id + ")\n") != std::string::npos)
                    << damaged.lines;
                continue;
            }
            if (after->second.values != seen.values) {
                EXPECT_TRUE(after->second.incomplete) << damaged.lines;
            }
        }
    }
}

// A damaged allocation map costs little and says little: a map whose bitmap is all ones names every page of
// its interval, and the report gives runs of pages, not a line a page.
TEST(CatalogueDamage, AMapThatNamesEveryPageIsReportedAsRuns) {
    testsupport::TempDir dir;
    auto database = ContentDatabase::Sample(Generation::Sp2010VarBinary);
    database.Build().WriteTo(dir / "clean.mdf");
    Bytes file = ReadFile(dir / "clean.mdf");
    const std::uint64_t pages = file.size() / kPage;
    // The allocation map of dbo.AllDocs (page 32) gets an extent bitmap of all ones.
    const std::size_t iam = 32 * kPage;
    ASSERT_EQ(Get16(file, iam), mdf::kPageTypeIam);
    Bytes bitmap(4 + 7988, 0xFF);
    bitmap[0] = 0x70;
    Put16(bitmap, 2, 4);
    const std::uint16_t at = static_cast<std::uint16_t>(96 + 94);
    std::copy(bitmap.begin(), bitmap.end(), file.begin() + static_cast<std::ptrdiff_t>(iam + at));
    Put16(file, iam + kPage - 4, at);
    Put16(file, iam + 22, 2);
    WriteFile(dir / "damaged.mdf", file);
    const Scan damaged = ScanFile(dir / "damaged.mdf", false);
    EXPECT_NE(damaged.lines.find("Missing pages " + std::to_string(pages) + "-511231 (beyond the end of the file) of "
                                 "table dbo.AllDocs\n"),
              std::string::npos)
        << damaged.lines;
    EXPECT_LE(LineCount(damaged.lines), 12u) << damaged.lines;
    EXPECT_GT(damaged.damage, 511232u - pages - 1);
    EXPECT_TRUE(damaged.tables.at("dbo.AllDocs").incomplete);
    EXPECT_FALSE(damaged.tables.at("dbo.Webs").incomplete);
}

// A sound database without any user table is no damage: said as such.
TEST(CatalogueDamage, ADatabaseWithoutUserTablesIsNoFailure) {
    testsupport::TempDir dir;
    catalog2005::Database database;
    database.Object(5, 4, "S ", u"sysrowsets");
    database.Object(7, 4, "S ", u"sysallocunits");
    const std::string path = database.Write(dir);
    const Scan scan = ScanFile(path);
    EXPECT_EQ(scan.damage, 0u);
    EXPECT_EQ(scan.lines, "The database holds no user table.\n");
    EXPECT_TRUE(scan.tables.empty());
}

}  // namespace
