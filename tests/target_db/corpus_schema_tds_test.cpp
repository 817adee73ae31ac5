// Every real data file repaired through the real ODBC driver into the TDS double: the database created, the
// schema statements and the row copy of the decoder as the server receives them, held to the same checks as
// the recording runs, and every statement accepted.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>

#include "platform/text.h"
#include "tests/support/corpus.h"
#include "tests/support/tds_server_double.h"
#include "tests/target_db/corpus_schema_check.h"
#include "tests/target_db/repair_driver.h"
#include "tests/tools/catalog_dump.h"

namespace {

class CorpusSchemaTds : public ::testing::TestWithParam<std::string> {};

}  // namespace

TEST_P(CorpusSchemaTds, RepairedThroughTheDriver) {
    BM_REQUIRE_CORPUS();
    if (testsupport::FreeTdsDriverPath().empty()) GTEST_SKIP() << "FreeTDS ODBC driver not found at configure time";
    const std::string base = GetParam();
    const auto path = *testsupport::CorpusDir() / (base + ".mdf");
    if (!std::filesystem::exists(path)) GTEST_SKIP() << base << ".mdf is not in the corpus";

    repairdriver::ScannedFile file(path);
    ASSERT_TRUE(file.scanned) << file.error;
    platform::SharedState& app = file.app;
    mdf::CRecoveryEngine& engine = file.engine;

    testsupport::TdsServerDouble server;
    engine.m_targetSettings = server.Settings();
    app.m_strServerInstance = testsupport::TdsServerDouble::kServerText;
    engine.m_strTargetDatabase = u"Recovered_" + platform::FromUtf8(base);
    ASSERT_EQ(engine.CreateTargetDatabase(), 1) << platform::ToUtf8(engine.m_strTargetFailureTitle);
    target::RepairScript script(engine);
    ASSERT_TRUE(repairdriver::RunRepair(engine, script));
    engine.CloseConnection();

    // What reached the server after the database was created, as the statements' texts.
    std::vector<platform::SqlStatement> sent;
    bool created = false;
    std::size_t refused = 0;
    for (const auto& request : server.Statements()) {
        if (!created) {
            created = platform::ToUtf8(request.text).rfind("create database", 0) == 0 && request.accepted;
            continue;
        }
        platform::SqlStatement statement;
        statement.m_strText = request.text;
        sent.push_back(statement);
        if (!request.accepted) {
            ++refused;
            ADD_FAILURE() << "refused: " << platform::ToUtf8(request.text).substr(0, 200);
        }
    }
    ASSERT_TRUE(created);
    EXPECT_EQ(refused, 0u);
    EXPECT_EQ(engine.m_statementReport.RefusedCount(), 0u);
    corpusschema::ExpectScriptedLikeTheFile(base, sent, engine, script);

    if (base == "northwnd_sligo") {
        std::size_t order_details_keys = 0;
        for (const auto& request : server.Statements()) {
            const std::string text = platform::ToUtf8(request.text);
            if (text.rfind("ALTER TABLE [dbo].[Order Details] WITH NOCHECK ADD CONSTRAINT [FK_", 0) == 0) {
                EXPECT_TRUE(request.accepted) << text;
                ++order_details_keys;
            }
        }
        EXPECT_EQ(order_details_keys, 2u);
    }
}

INSTANTIATE_TEST_SUITE_P(Files, CorpusSchemaTds,
                         ::testing::Values("northwnd_sligo", "pubs_sligo", "bloodbank", "aspnetdb_tractis",
                                           "northwnd_bi", "pubs_anh"));

// What the server refuses changes what follows: a refused user type leaves its columns on the base type, a
// table refused in both forms gets none of its rows, a table refused only in its full form gets the plain one,
// and a refused row is counted for its table.
TEST(CorpusSchemaTdsRefusals, RefusalsOfTheServerShapeWhatFollows) {
    BM_REQUIRE_CORPUS();
    if (testsupport::FreeTdsDriverPath().empty()) GTEST_SKIP() << "FreeTDS ODBC driver not found at configure time";
    repairdriver::ScannedFile file(*testsupport::CorpusDir() / "pubs_sligo.mdf");
    ASSERT_TRUE(file.scanned) << file.error;
    platform::SharedState& app = file.app;
    mdf::CRecoveryEngine& engine = file.engine;

    testsupport::TdsServerDouble server;
    auto fault = [&](std::u16string pattern, std::int32_t number, int nth = 0) {
        testsupport::TdsFault f;
        f.pattern = std::move(pattern);
        f.number = number;
        f.nth = nth;
        server.AddFault(f);
    };
    fault(u"create type  [empid]", 2715);
    fault(u"create table [dbo].[discounts]", 2716);
    fault(u"create table [dbo].[jobs]([job_id] smallint IDENTITY", 102);
    fault(u"insert into [dbo].[sales]", 2627, 3);
    engine.m_targetSettings = server.Settings();
    app.m_strServerInstance = testsupport::TdsServerDouble::kServerText;
    engine.m_strTargetDatabase = u"Recovered_pubs";
    ASSERT_EQ(engine.CreateTargetDatabase(), 1) << platform::ToUtf8(engine.m_strTargetFailureTitle);
    target::RepairScript script(engine);
    ASSERT_TRUE(repairdriver::RunRepair(engine, script));
    engine.CloseConnection();

    std::vector<std::string> accepted;
    std::size_t discount_rows = 0;
    for (const auto& request : server.Statements()) {
        const std::string text = platform::ToUtf8(request.text);
        if (request.accepted) accepted.push_back(text);
        if (text.rfind("insert into [dbo].[discounts]", 0) == 0) ++discount_rows;
    }
    auto accepted_starting = [&](const std::string& head) {
        return std::count_if(accepted.begin(), accepted.end(), [&](const std::string& s) { return s.rfind(head, 0) == 0; });
    };
    EXPECT_EQ(accepted_starting("create table [dbo].[employee]([emp_id] char(9) collate Latin1_General_CI_AS NOT NULL,"), 1);
    EXPECT_EQ(accepted_starting("create table [dbo].[jobs]([job_id] smallint NULL,[job_desc] varchar(50) NULL,"), 1);
    EXPECT_EQ(discount_rows, 0u);
    EXPECT_FALSE(target::TableCreated(script, *std::find_if(engine.m_lstTables.begin(), engine.m_lstTables.end(),
                                                            [](const auto& t) { return t.m_pszName == u"dbo.discounts"; })));
    EXPECT_EQ(script.m_report.m_mapRefusedRows, (std::map<std::u16string, std::uint64_t>{{u"dbo.sales", 1}}));
    // Every refusal is in the engine's statement report with the server's number.
    std::vector<std::int32_t> numbers;
    for (const auto& refused : engine.m_statementReport.Refused()) numbers.push_back(refused.m_nNumber);
    EXPECT_EQ(numbers, (std::vector<std::int32_t>{2715, 2716, 2716, 102}));
    EXPECT_EQ(script.m_report.RefusedIn(target::kStepUserType).size(), 1u);
    EXPECT_EQ(script.m_report.RefusedIn(target::kStepTable).size(), 3u);
}
