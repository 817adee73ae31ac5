// The rows of the synthetic 2000 database through the row decoder: the in-row positions that the 2000 column
// reader takes from the column rows (leaf offsets, bit positions, variable ordinals, column order) place every
// value where the builder wrote it.
#include <gtest/gtest.h>

#include <map>

#include "mdf/recovery_engine.h"
#include "platform/text.h"
#include "tests/support/page_builder.h"
#include "tests/support/sql2000_builder.h"

namespace {

// Grid texts of every live row of the table, in page and slot order.
std::vector<std::vector<std::string>> GridRows(mdf::CRecoveryEngine& engine, mdf::TableNode& table) {
    std::vector<std::vector<std::string>> rows;
    auto& app = engine.App();
    engine.m_pCurrentTable = &table;
    for (const auto& page : table.m_lstDataPages) {
        engine.ReadPageRecordOffsets(page.m_nPageOffset);
        for (const auto record : app.m_arrRecordOffsets) {
            app.m_arrRowValues.clear();
            engine.DecodeTableRow(record, table);
            std::vector<std::string> cells;
            for (const auto& v : app.m_arrRowValues) cells.push_back(platform::ToUtf8(v));
            rows.push_back(cells);
        }
    }
    return rows;
}

}  // namespace

TEST(Catalog2000Rows, SampleRowsDecodeAsWritten) {
    testsupport::TempDir dir;
    const auto path = dir / "sample.mdf";
    testsupport::sql2000::SampleDatabase().Build().WriteTo(path);
    platform::SharedState app;
    app.m_strDataFilePath = platform::FromUtf8(path.string());
    mdf::CRecoveryEngine engine(app);
    ASSERT_TRUE(engine.OpenDataFile());
    ASSERT_TRUE(engine.ReadCatalogForVersion());
    engine.ComputeColumnOffsets();

    std::map<std::u16string, std::vector<std::vector<std::string>>> tables;
    for (auto& table : engine.m_lstTables) {
        auto rows = GridRows(engine, table);
        tables[table.m_pszName + u"#" + platform::Widen(std::to_string(table.m_nObjectId))] = rows;
        EXPECT_EQ(rows.size(), table.m_nRowCount) << platform::ToUtf8(table.m_pszName);
    }
    const auto& customers = tables.at(u"Customers#1977058079");
    ASSERT_EQ(customers.size(), 6u);
    // CustomerID, Name, City, Balance, Active, Vip (two bits of one byte), Joined.
    EXPECT_EQ(std::vector<std::string>(customers[2].begin(), customers[2].begin() + 6),
              (std::vector<std::string>{"3", "Chloé", " NULL", "3.7035", "TRUE", "FALSE"}));
    EXPECT_EQ(customers[4][5], "TRUE");
    const auto& orders = tables.at(u"Orders#2009058193");
    ASSERT_EQ(orders.size(), 9u);
    EXPECT_EQ(orders[1][0], "1005");
    EXPECT_EQ(orders[1][3], "C-1     ");
    EXPECT_EQ(orders[1][4], "2");
    EXPECT_EQ(orders[1][6], "-7000000000");
    EXPECT_EQ(orders[1][13], "TRUE");
    const auto& other_notes = tables.at(u"Notes#2105058535");
    ASSERT_EQ(other_notes.size(), 4u);
    EXPECT_EQ(other_notes[3], (std::vector<std::string>{"3", "body", "3000"}));
    const auto& events = tables.at(u"Events#2137058649");
    ASSERT_EQ(events.size(), 60u);
    EXPECT_EQ(events[59][0], "59");  // the last row lies on a page of the uniform extent
    EXPECT_EQ(events[59][2], std::string(200, 'a' + 59 % 26));
}
