// Data pages and live-row counts of 2005-and-later tables: rowset and allocation-unit rows, the IAM walk over
// single-page slots and extent bitmaps, and the duplicate removal that precedes it.
#include <gtest/gtest.h>

#include <algorithm>

#include "mdf/table_pages.h"
#include "platform/text.h"
#include "tests/mdf/catalog_2005_fixture.h"

namespace {

using catalog2005::Bytes;
using catalog2005::Database;
using catalog2005::DataRecord;
using catalog2005::Engine;
using testsupport::TempDir;

constexpr std::uint32_t kUnit = 5001;

std::vector<std::uint64_t> PageNumbers(const mdf::TableNode& table) {
    std::vector<std::uint64_t> out;
    for (const auto& p : table.m_lstDataPages) out.push_back(p.m_nPageOffset / mdf::kPageSize);
    return out;
}

std::vector<Bytes> Records(std::initializer_list<std::uint8_t> statuses) {
    std::vector<Bytes> out;
    for (auto s : statuses) out.push_back(DataRecord(s));
    return out;
}

// The first page of the unit is listed by the rowset reader and counted by its live records only.
TEST(TablePages2005, FirstPageCountsLiveRecordsOnce) {
    TempDir dir;
    Database db;
    db.SimpleTable(101, u"T", kUnit, 60, Records({0x30, 0x10, 0x3C, 0x1C, 0x70, 0x32, 0x50, 0x72, 0x04}));
    // The IAM lists the first page again, in a single-page slot and in an extent.
    Bytes bitmap(7988, 0);
    bitmap[0] = 0x80;  // extent 7: pages 56..63
    db.File().SetPage(70, catalog2005::IamPage(kUnit, 0, {{60}}, bitmap));
    Engine e(db.Write(dir));
    e.engine.ReadCatalog2005();
    const auto& t = *e.Table(u"dbo.T");
    EXPECT_EQ(PageNumbers(t), std::vector<std::uint64_t>{60});
    EXPECT_EQ(t.m_nRowCount, 6u);
    ASSERT_EQ(t.m_lstAllocUnits.size(), 1u);
    EXPECT_EQ(t.m_lstAllocUnits[0].m_nObjectId, kUnit);
    EXPECT_TRUE(t.m_bRowsetFound);
    EXPECT_EQ(t.m_dwRowsetIdMiddle, 101u * 16 + 1);
}

TEST(TablePages2005, WalkVisitsSinglePagesAndExtents) {
    TempDir dir;
    Database db;
    db.SimpleTable(101, u"T", kUnit, 60, Records({0x30, 0x30}));
    auto& file = db.File();
    file.SetPage(61, catalog2005::DataPage(kUnit, Records({0x30, 0x30, 0x30})));
    file.SetPage(62, catalog2005::DataPage(kUnit, Records({0x30})));  // slot of another file: never visited
    file.SetPage(63, testsupport::PageBuilder().Type(0x0201).ObjectId(kUnit));  // not a data page
    file.SetPage(64, catalog2005::DataPage(kUnit + 1, Records({0x30})));       // another unit's page
    file.SetPage(130, catalog2005::DataPage(kUnit, Records({0x30, 0x30, 0x30, 0x30})));
    file.SetPage(128, catalog2005::DataPage(kUnit, Records({0x30, 0x30})));
    file.SetPage(135, catalog2005::DataPage(kUnit, Records({0x30})));
    file.SetPage(184, catalog2005::DataPage(kUnit, Records({0x3C, 0x1C})));  // listed, nothing counted
    Bytes bitmap(7988, 0);
    bitmap[2] = 0x81;  // extents 16 and 23: pages 128..135 and 184..191
    file.SetPage(70, catalog2005::IamPage(kUnit, 0, {{60}, {61}, {0}, {62, 2}, {63}, {64}, {130}}, bitmap));
    // An IAM page of another unit is not this table's.
    Bytes other(7988, 0);
    other[0] = 0x01;
    file.SetPage(71, catalog2005::IamPage(kUnit + 1, 0, {{64}}, other));
    file.PageCount(200);
    Engine e(db.Write(dir));
    e.engine.ReadCatalog2005();
    const auto& t = *e.Table(u"dbo.T");
    EXPECT_EQ(PageNumbers(t), (std::vector<std::uint64_t>{60, 61, 130, 128, 135, 184}));
    EXPECT_EQ(t.m_nRowCount, 2u + 3 + 4 + 2 + 1);
}

// The interval start file of an IAM header: a damaged field (zeroed, garbage, or a lone other file) is read as
// this file's and logged, so the extents of the page are still found; only a database whose IAM pages name
// another file more than once really has one, and then that file's interval is not read from this file.
struct StartFileCase {
    const char* what;
    std::uint16_t start_file;
    int other_file_iam_pages;  // IAM pages of other units whose interval is in file 2
    bool extent_read;
    bool damage_logged;
};

TEST(TablePages2005, IamStartFileDamageKeepsTheExtents) {
    const StartFileCase cases[] = {
        {"file 1", 1, 0, true, false},
        {"zeroed", 0, 0, true, true},
        {"garbage", 0xBEEF, 0, true, true},
        {"file 2 named by this page only", 2, 0, true, true},
        {"file 2 of a database with a second file", 2, 2, false, false},
        {"file 1 in a database with a second file", 1, 2, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        Database db;
        db.SimpleTable(101, u"T", kUnit, 60, Records({0x30}));
        auto& file = db.File();
        file.SetPage(128, catalog2005::DataPage(kUnit, Records({0x30, 0x30})));
        Bytes bitmap(7988, 0);
        bitmap[2] = 0x01;  // extent 16: pages 128..135
        file.SetPage(70, catalog2005::IamPage(kUnit, 0, {{60}}, bitmap, c.start_file));
        for (int i = 0; i < c.other_file_iam_pages; ++i) {
            file.SetPage(71 + static_cast<std::uint32_t>(i),
                         catalog2005::IamPage(kUnit + 1 + static_cast<std::uint32_t>(i), 0, {}, Bytes(7988, 0), 2));
        }
        file.PageCount(200);
        Engine e(db.Write(dir));
        std::vector<std::u16string> log;
        e.sink.on_send = [&](unsigned message, platform::WPARAM, platform::LPARAM) {
            if (message == platform::WM_LOG_LINE) log.push_back(e.app.m_strLogLine);
        };
        e.engine.ReadCatalog2005();
        const auto& t = *e.Table(u"dbo.T");
        const std::vector<std::uint64_t> expected =
            c.extent_read ? std::vector<std::uint64_t>{60, 128} : std::vector<std::uint64_t>{60};
        EXPECT_EQ(PageNumbers(t), expected);
        EXPECT_EQ(t.m_nRowCount, c.extent_read ? 3u : 1u);
        const bool logged = std::any_of(log.begin(), log.end(), [](const std::u16string& line) {
            return line.find(u"Allocation map page 70") != std::u16string::npos;
        });
        EXPECT_EQ(logged, c.damage_logged);
    }
}

TEST(TablePages2005, TableWithoutAllocationUnitGetsNoPages) {
    TempDir dir;
    Database db;
    db.Object(101, 1, "U ", u"T");
    db.Rowset(101, 77, 1);
    Engine e(db.Write(dir));
    e.engine.ReadCatalog2005();
    const auto& t = *e.Table(u"dbo.T");
    ASSERT_EQ(t.m_lstAllocUnits.size(), 1u);
    EXPECT_EQ(t.m_lstAllocUnits[0].m_nObjectId, 0u);
    EXPECT_TRUE(t.m_lstDataPages.empty());
    EXPECT_EQ(t.m_nRowCount, 0u);
}

struct IamCase {
    const char* what;
    std::uint32_t start_page;
    std::size_t bitmap_byte;
    std::uint8_t bits;
    std::vector<std::uint64_t> first_pages;  // first page of each set extent
};

TEST(IamPage, ExtentsFromTheBitmap) {
    const IamCase cases[] = {
        {"bits 0 and 7 of byte 2", 0, 2, 0x81, {128, 184}},
        {"a zero bitmap visits nothing", 0, 0, 0x00, {}},
        {"interval at 511,232: bit 0 of byte 1", 511232, 1, 0x01, {63912u * 8}},
        {"interval past 2^24 pages, full 32-bit start", 511232u * 33, 0, 0x01, {511232ull * 33}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        Bytes bitmap(7988, 0);
        bitmap[c.bitmap_byte] = c.bits;
        testsupport::FileBuilder().SetPage(1, catalog2005::IamPage(kUnit, c.start_page, {}, bitmap)).WriteTo(dir / "i.mdf");
        Engine e((dir / "i.mdf").string());
        const auto contents = mdf::ReadIamPage(e.engine, mdf::kPageSize);
        ASSERT_EQ(contents.records.size(), 2u);
        EXPECT_TRUE(contents.records[0].is_header);
        std::vector<std::uint64_t> firsts;
        const auto& pages = contents.records[1].extent_pages;
        ASSERT_EQ(pages.size() % 8, 0u);
        for (std::size_t i = 0; i < pages.size(); i += 8) {
            firsts.push_back(pages[i]);
            EXPECT_EQ(pages[i + 7], pages[i] + 7);
        }
        EXPECT_EQ(firsts, c.first_pages);
    }
}

// A bitmap record that starts too late to hold its 7,988 bytes in the page is refused, not read across the page end.
TEST(IamPage, BitmapThatDoesNotFitIsRefused) {
    TempDir dir;
    auto page = catalog2005::IamPage(kUnit, 0, {{5}});
    page.U8(300, 0x70).U16(302, 4).U8(304, 0xFF);
    page.Slot(1, 300).SlotCount(2);
    testsupport::FileBuilder().SetPage(1, page).PageCount(4).WriteTo(dir / "i.mdf");
    Engine e((dir / "i.mdf").string());
    const auto contents = mdf::ReadIamPage(e.engine, mdf::kPageSize);
    ASSERT_EQ(contents.records.size(), 1u);
    EXPECT_EQ(contents.records[0].single_pages, std::vector<std::uint32_t>{5});
}

TEST(TablePages2005, DuplicateTablesAndColumnsAreRemoved) {
    platform::SharedState app;
    mdf::CRecoveryEngine engine(app);
    for (auto name : {u"dbo.T", u"dbo.U", u"DBO.t"}) engine.AddTable().m_pszName = name;
    app.m_nTableCount = 3;
    auto& columns = engine.m_lstTables.front();
    std::uint16_t id = 0;
    for (auto name : {u"A", u"b", u"a"}) columns.AddColumn(++id).m_pszName = name;
    engine.RemoveDuplicateTables();
    engine.RemoveDuplicateColumns();
    ASSERT_EQ(engine.m_lstTables.size(), 2u);
    EXPECT_EQ(engine.m_lstTables.back().m_pszName, u"dbo.U");
    EXPECT_EQ(app.m_nTableCount, 2);
    std::vector<std::u16string> names;
    for (const auto& c : engine.m_lstTables.front().m_lstColumns) names.push_back(c.m_pszName);
    EXPECT_EQ(names, (std::vector<std::u16string>{u"A", u"b"}));
}

TEST(TablePages2005, AllocationUnitRowsRecordFirstPageAndFilter) {
    TempDir dir;
    Database db;
    db.AllocUnit(kUnit, 10, 1, 60);
    db.AllocUnit(kUnit + 1, 10, 1, 61);  // a later match replaces the result
    db.AllocUnit(kUnit + 2, 10, 2, 62);  // another rowset
    Engine e(db.Write(dir));
    e.engine.ScanPages2005();
    EXPECT_EQ(e.engine.ReadAllocationUnitRows(10, 1, u"dbo.T"), kUnit + 1);
    EXPECT_EQ(e.engine.m_nFirstDataPage, 61u);
    ASSERT_EQ(e.engine.m_arrFilterTableDataOffset.size(), 2u);
    EXPECT_EQ(e.engine.m_arrFilterTableDataOffset[0].m_nFirstPage, 60u);
    EXPECT_EQ(e.engine.m_arrFilterTableDataOffset[1].m_strTableName, u"dbo.T");
    EXPECT_EQ(e.engine.ReadAllocationUnitRows(11, 1, u"dbo.X"), 0u);
}

}  // namespace
