// In-row positions read from the catalogue: rowset-column rows (2005 and 2008 meanings) and column-layout rows.
#include <gtest/gtest.h>

#include "mdf/recovery_engine.h"
#include "platform/text.h"
#include "tests/mdf/record_bytes.h"
#include "tests/support/page_builder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using testsupport::PageBuilder;

constexpr std::uint32_t kKey32 = 0x01020304;
constexpr std::uint16_t kKey16 = 0x0506;

using recordbytes::Put16;

Bytes RowsetColumnRow(std::uint16_t column_id, std::uint16_t at16, std::uint16_t leaf, std::uint8_t bit,
                      std::uint8_t fixed_end = 58, std::uint8_t status = 0x10, std::uint16_t id_high = 0) {
    Bytes b(60, 0);
    b[0] = status;
    b[2] = fixed_end;
    Put16(b, 6, static_cast<std::uint16_t>(kKey32));
    Put16(b, 8, static_cast<std::uint16_t>(kKey32 >> 16));
    Put16(b, 10, kKey16);
    Put16(b, 12, column_id);
    Put16(b, 14, id_high);
    Put16(b, 16, at16);
    Put16(b, 44, leaf);
    b[52] = bit;
    return b;
}

Bytes LayoutRow(std::uint16_t rowset_column_id, std::uint16_t leaf, std::uint8_t bit, std::uint16_t physical) {
    Bytes b(44, 0);
    b[0] = 0x10;
    b[2] = 41;
    Put16(b, 6, static_cast<std::uint16_t>(kKey32));
    Put16(b, 8, static_cast<std::uint16_t>(kKey32 >> 16));
    Put16(b, 10, kKey16);
    Put16(b, 12, rowset_column_id);
    Put16(b, 31, leaf);
    b[35] = bit;
    Put16(b, 37, physical);
    return b;
}

struct Fixture {
    explicit Fixture(const std::vector<Bytes>& rows, mdf::PageList mdf::CRecoveryEngine::*list) {
        PageBuilder page;
        page.Type(0x0101);
        for (const auto& r : rows) page.AddRecord(r);
        testsupport::FileBuilder().SetPage(1, page).PageCount(3).WriteTo(dir / "p.mdf");
        app.m_strDataFilePath = platform::FromUtf8((dir / "p.mdf").string());
        if (!engine.OpenDataFile()) throw std::runtime_error("open");
        (engine.*list).Add(mdf::kPageSize, rows.size());
    }
    mdf::TableNode& Table(std::uint16_t columns) {
        auto& t = engine.AddTable();
        t.m_dwRowsetIdMiddle = kKey32;
        t.m_wRowsetIdHigh = kKey16;
        for (std::uint16_t id = 1; id <= columns; ++id) t.AddColumn(id).m_nColumnId = id;
        return t;
    }
    testsupport::TempDir dir;
    platform::SharedState app;
    mdf::CRecoveryEngine engine{app};
};

TEST(RowsetColumnRows, Layout2008GivesPositions) {
    Fixture f({RowsetColumnRow(1, 1, 4, 0), RowsetColumnRow(2, 2, 8, 3, 34), RowsetColumnRow(3, 9, 9, 9, 40),
               RowsetColumnRow(3, 9, 9, 9, 58, 0x3C), RowsetColumnRow(3, 9, 9, 9, 58, 0x10, 1)},
              &mdf::CRecoveryEngine::m_plRowsetColumns);
    f.app.m_bSql2008Catalog = true;
    auto& a = f.Table(3);
    auto& b = f.Table(3);  // same rowset key: gets the rows as well
    f.engine.ReadRowsetColumnRows();
    for (auto* t : {&a, &b}) {
        auto it = t->m_lstColumns.begin();
        EXPECT_EQ(it->m_nLeafOffset, 4);
        EXPECT_EQ(it->m_nPhysicalColumn, 1);
        ++it;
        EXPECT_EQ(it->m_nLeafOffset, 8);
        EXPECT_EQ(it->m_nBitPos, 3);
        EXPECT_EQ(it->m_nPhysicalColumn, 2);
        ++it;  // wrong fixed-part end, ghost, non-zero high half of the column id
        EXPECT_EQ(it->m_nLeafOffset, 0);
        EXPECT_EQ(it->m_nPhysicalColumn, 0);
    }
    EXPECT_EQ(f.engine.m_plRowsetColumns.size(), 0u);
}

TEST(RowsetColumnRows, Layout2005GivesRowsetColumnIds) {
    Fixture f({RowsetColumnRow(1, 7, 4, 0, 58), RowsetColumnRow(2, 8, 8, 0, 34)}, &mdf::CRecoveryEngine::m_plRowsetColumns);
    auto& t = f.Table(2);
    f.engine.ReadRowsetColumnRows();
    EXPECT_EQ(t.m_lstColumns.front().m_nRowsetColumnId, 7);
    EXPECT_EQ(t.m_lstColumns.back().m_nRowsetColumnId, 8);
    EXPECT_EQ(t.m_lstColumns.front().m_nLeafOffset, 0);
}

TEST(RowsetColumnRows, ReadsStayOnTheRowsPage) {
    // Slot 0: a row 40 bytes before the page end, so its leaf offset and bit position would lie on the next
    // page: they read as zero, not as that page's bytes. Slot 1: an entry past the page end that meets a row of
    // the next page: no row of this page.
    const Bytes row = RowsetColumnRow(1, 7, 0x1234, 5);
    constexpr std::uint16_t kNearEnd = mdf::kPageSize - 40;
    PageBuilder page;
    page.Type(0x0101).SlotCount(2).Slot(0, kNearEnd).Slot(1, mdf::kPageSize + 96);
    page.Bytes(kNearEnd, std::span<const std::uint8_t>(row).first(18));
    PageBuilder next;
    next.Type(0x0101).U16(4, 0x4444).U8(12, 6).Bytes(96, RowsetColumnRow(2, 8, 0x0808, 6));
    testsupport::TempDir dir;
    testsupport::FileBuilder().SetPage(1, page).SetPage(2, next).PageCount(3).WriteTo(dir / "p.mdf");
    platform::SharedState app;
    app.m_strDataFilePath = platform::FromUtf8((dir / "p.mdf").string());
    app.m_bSql2008Catalog = true;
    mdf::CRecoveryEngine engine{app};
    ASSERT_TRUE(engine.OpenDataFile());
    engine.m_plRowsetColumns.Add(mdf::kPageSize, 2);
    auto& t = engine.AddTable();
    t.m_dwRowsetIdMiddle = kKey32;
    t.m_wRowsetIdHigh = kKey16;
    for (std::uint16_t id = 1; id <= 2; ++id) t.AddColumn(id).m_nColumnId = id;
    engine.ReadRowsetColumnRows();
    const auto& first = t.m_lstColumns.front();
    EXPECT_EQ(first.m_nPhysicalColumn, 7);
    EXPECT_EQ(first.m_nLeafOffset, 0);
    EXPECT_EQ(first.m_nBitPos, 0);
    const auto& second = t.m_lstColumns.back();
    EXPECT_EQ(second.m_nPhysicalColumn, 0);
    EXPECT_EQ(second.m_nLeafOffset, 0);
}

TEST(ColumnLayoutRows, EachRowGoesToTheNextColumnNotYetFound) {
    Fixture f({LayoutRow(5, 4, 0, 1), LayoutRow(5, 8, 0, 2), LayoutRow(5, 12, 0, 3)}, &mdf::CRecoveryEngine::m_plColumnLayouts);
    auto& t = f.Table(4);
    auto it = t.m_lstColumns.begin();
    it->m_nRowsetColumnId = 5;
    (++it)->m_nRowsetColumnId = 5;
    it->m_bLayoutFound = true;  // a column without stored position
    (++it)->m_nRowsetColumnId = 5;
    (++it)->m_nRowsetColumnId = 6;
    f.engine.ReadColumnLayoutRows();
    std::vector<int> leaves;
    for (const auto& c : t.m_lstColumns) leaves.push_back(c.m_nLeafOffset);
    EXPECT_EQ(leaves, (std::vector<int>{4, 0, 8, 0}));
    EXPECT_EQ(t.m_lstColumns.front().m_nPhysicalColumn, 1);
    EXPECT_EQ(f.engine.m_plColumnLayouts.size(), 0u);
}

}  // namespace
