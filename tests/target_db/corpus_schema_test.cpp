// Every real data file scripted end to end with the row copy on the recording backend: the tables created are
// the expected catalogue's, each table receives as many INSERTs as it has live rows, the keys and indexes read
// back from the statements are those of expected/NAME.keys.tsv, and the order of the statements holds (a type
// before the table that uses it, a table before its rows, the rows before its keys, checks and foreign keys,
// a referenced key before the foreign key).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include "platform/recording_sql_backend.h"
#include "platform/text.h"
#include "tests/support/corpus.h"
#include "tests/target_db/repair_driver.h"
#include "tests/target_db/corpus_schema_check.h"
#include "tests/tools/catalog_dump.h"

namespace {

class CorpusSchema : public ::testing::TestWithParam<std::string> {};

}  // namespace

TEST_P(CorpusSchema, ScriptedWithItsRowsInOrder) {
    BM_REQUIRE_CORPUS();
    const std::string base = GetParam();
    const auto path = *testsupport::CorpusDir() / (base + ".mdf");
    if (!std::filesystem::exists(path)) GTEST_SKIP() << base << ".mdf is not in the corpus";

    repairdriver::ScannedFile file(path);
    ASSERT_TRUE(file.scanned) << file.error;
    mdf::CRecoveryEngine& engine = file.engine;

    auto backend = repairdriver::ConnectRecording(engine);
    target::RepairScript script(engine);
    ASSERT_TRUE(repairdriver::RunRepair(engine, script));

    corpusschema::ExpectScriptedLikeTheFile(base, backend->m_executed, engine, script);
}

INSTANTIATE_TEST_SUITE_P(Files, CorpusSchema,
                         ::testing::Values("northwnd_sligo", "pubs_sligo", "bloodbank", "aspnetdb_tractis",
                                           "northwnd_bi", "pubs_anh"));

TEST(CorpusSchemaNorthwind, ForeignKeysOfOrderDetails) {
    BM_REQUIRE_CORPUS();
    repairdriver::ScannedFile file(*testsupport::CorpusDir() / "northwnd_sligo.mdf");
    ASSERT_TRUE(file.scanned) << file.error;
    mdf::CRecoveryEngine& engine = file.engine;
    auto backend = repairdriver::ConnectRecording(engine);
    target::RepairScript script(engine);
    ASSERT_TRUE(repairdriver::RunRepair(engine, script));
    std::vector<std::string> order_details;
    for (const auto& statement : engine.m_arrDeferredStatements) {
        const std::string text = platform::ToUtf8(statement);
        if (text.rfind("ALTER TABLE [dbo].[Order Details] ", 0) == 0) order_details.push_back(text);
    }
    std::sort(order_details.begin(), order_details.end());
    EXPECT_EQ(order_details,
              (std::vector<std::string>{
                  // Both keys are marked in the file as not checked against their rows: they are enabled as
                  // they were, without a check of the rows.
                  "ALTER TABLE [dbo].[Order Details] CHECK CONSTRAINT [FK_Order_Details_Orders]",
                  "ALTER TABLE [dbo].[Order Details] CHECK CONSTRAINT [FK_Order_Details_Products]",
                  "ALTER TABLE [dbo].[Order Details] WITH NOCHECK ADD CONSTRAINT [FK_Order_Details_Orders] FOREIGN KEY "
                  "([OrderID]) REFERENCES [dbo].[Orders]([OrderID])",
                  "ALTER TABLE [dbo].[Order Details] WITH NOCHECK ADD CONSTRAINT [FK_Order_Details_Products] FOREIGN KEY "
                  "([ProductID]) REFERENCES [dbo].[Products]([ProductID])",
              }));
}
