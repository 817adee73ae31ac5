// A whole data file of the 2000 format, written by the test builder, repaired on the recording backend: its
// tables with their keys and indexes, the rows of each table through the row decoder, its check constraints,
// and the order of it all.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "platform/recording_sql_backend.h"
#include "platform/text.h"
#include "tests/support/sql2000_builder.h"
#include "tests/target_db/repair_driver.h"
#include "tests/target_db/statement_log.h"
#include "tests/tools/catalog_dump.h"

namespace {

namespace s2k = testsupport::sql2000;

TEST(Tables2000, BuiltFileIsRepairedWithItsRowsKeysAndChecks) {
    auto db = s2k::SampleDatabase();
    // A table whose names carry "]" and "'", with an unnamed clustered primary key, and a check constraint of
    // Orders whose definition is stored.
    s2k::TableDef odd;
    odd.name = u"Odd]Name's";
    odd.object_id = 1234567;
    s2k::ColumnDef key;
    key.name = u"Key]";
    key.not_null = true;
    s2k::ColumnDef note;
    note.name = u"Te'xt";
    note.type = s2k::kVarChar;
    note.length = 10;
    odd.columns = {key, note};
    odd.indexes = {{u"", 1, 0x4812, {1}}};
    odd.rows = {{s2k::Int(1, 4), s2k::Ansi("a")}, {s2k::Int(2, 4), s2k::Null()}};
    db.AddTable(odd);
    db.AddObject({.name = u"CK_Qty", .object_id = 500000001, .type = "C ", .parent_id = 2009058193,
                  .definition = u"([Qty] > 0)"});

    const auto path = std::filesystem::path(::testing::TempDir()) / "tables_2000.mdf";
    db.Build().WriteTo(path);
    repairdriver::ScannedFile file(path);
    ASSERT_TRUE(file.scanned) << file.error;
    platform::SharedState& app = file.app;
    mdf::CRecoveryEngine& engine = file.engine;
    ASSERT_FALSE(app.m_bSql2005Catalog);

    auto backend = repairdriver::ConnectRecording(engine);
    target::RepairScript script(engine);
    ASSERT_TRUE(repairdriver::RunRepair(engine, script));
    std::filesystem::remove(path);

    const statementlog::StatementLog log(backend->m_executed, engine);
    std::vector<std::string> texts;
    for (const auto& s : backend->m_executed) texts.push_back(platform::ToUtf8(s.m_strText));
    auto sent = [&](const std::string& text) { return std::find(texts.begin(), texts.end(), text) != texts.end(); };

    // The two Notes tables of different owners share the name the 2000 form gives them: the second create
    // would be refused by a server, and both tables' rows go to the one name.
    EXPECT_EQ(log.CreatedTables().size() + 1, engine.m_lstTables.size());
    EXPECT_EQ(log.InsertCount("Notes"), 6u);
    for (const auto& table : engine.m_lstTables) {
        if (table.m_pszName == u"Notes") continue;
        EXPECT_EQ(log.InsertCount(platform::ToUtf8(table.m_pszName)), table.m_nRowCount) << platform::ToUtf8(table.m_pszName);
    }
    EXPECT_TRUE(sent("create table [Odd]]Name's]([Key]]] int NOT NULL,[Te'xt] varchar(10) collate "
                     "SQL_Latin1_General_CP1_CI_AS NULL, PRIMARY KEY CLUSTERED ([Key]]] ));"))
        << "an unnamed key is created without a name";
    EXPECT_TRUE(sent("ALTER TABLE [Orders] WITH NOCHECK ADD CONSTRAINT [CK_Qty] CHECK ( ([Qty] > 0) )"));
    EXPECT_TRUE(sent("create nonclustered index  [IX_Orders_Customer] on [Orders] ([CustomerID]) "))
        << "the row locator is no key column";
    std::vector<std::string> keys = log.KeyLines();
    std::sort(keys.begin(), keys.end());
    EXPECT_EQ(keys, (std::vector<std::string>{"Customers\tprimary key\tPK_Customers\tclustered unique\tCustomerID",
                                              "Odd]Name's\tprimary key\t\tclustered unique\tKey]",
                                              "Orders\tindex\tIX_Orders_Customer\tnonclustered\tCustomerID"}));
    const auto violations = log.OrderViolations();
    EXPECT_TRUE(violations.empty()) << violations.front();
    EXPECT_TRUE(script.m_report.m_arrRefused.empty());
}

}  // namespace
