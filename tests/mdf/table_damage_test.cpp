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
        EXPECT_EQ(scan.damage > 0, !cut.named.empty());
    }
}

}  // namespace
