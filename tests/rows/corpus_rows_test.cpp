// Every real data file with a row expectation (expected/NAME.rows.tsv): the grid texts of the integer, bit,
// money, uniqueidentifier and datetime columns of every table, brought to one format on both sides, compared
// as multisets of rows. Statement texts of a few real rows in INSERT mode against the recording backend.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>

#include "platform/recording_sql_backend.h"
#include "platform/sql_connection.h"
#include "platform/text.h"
#include "tests/rows/corpus_expectation.h"
#include "tests/support/corpus.h"
#include "tests/tools/catalog_dump.h"
#include "tests/tools/dump_rows.h"

namespace {

using corpusrows::Lower;
using corpusrows::StripSchema;

bool IsCompared(std::uint8_t type) {
    switch (type) {
        case 56: case 52: case 48: case 127: case 104: case 60: case 36: case 61: return true;
        default: return false;
    }
}

// Money without trailing fraction zeros: 32.3800 and 32.38 both give 32.38, 14.0000 gives 14.
std::string TrimNumber(std::string s) {
    if (s.find('.') == std::string::npos) return s;
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
    return s == "-0" ? "0" : s;
}

std::string Normalise(std::uint8_t type, std::string cell, bool ours) {
    if (ours && cell == " NULL") return "NULL";
    if (!ours && cell == "NULL") return "NULL";
    switch (type) {
        case 104: return Lower(cell);
        case 60: return TrimNumber(cell);
        case 36:
            cell = Lower(cell);
            if (cell.size() == 38 && cell.front() == '{' && cell.back() == '}') cell = cell.substr(1, 36);
            return cell;
        case 61: return ours ? corpusrows::OurDateTime(cell, false) : corpusrows::ExpectedDateTime(cell);
        default: return cell;
    }
}

class CorpusRows : public ::testing::TestWithParam<std::string> {};

}  // namespace

TEST_P(CorpusRows, IntegerMoneyGuidAndDateTimeCellsMatchExpectation) {
    BM_REQUIRE_CORPUS();
    const std::string name = GetParam();
    const auto dir = *testsupport::CorpusDir();
    const auto path = dir / (name + ".mdf");
    // northwnd_bi is the same Northwind sample, created in the 2000 format with torn bits on its pages; its
    // rows are the published ones that northwnd_sligo's expectation lists (tables it adds are not compared).
    const bool borrowed = name == "northwnd_bi";
    const auto expected_path = dir / "expected" / ((borrowed ? std::string("northwnd_sligo") : name) + ".rows.tsv");
    if (!std::filesystem::exists(path) || !std::filesystem::exists(expected_path)) {
        GTEST_SKIP() << name << " has no row expectation";
    }

    // Expected rows by table, cells still escaped (the compared types never hold an escape).
    corpusrows::ExpectedRows expected = corpusrows::ReadExpectedRows(expected_path);

    platform::SharedState app;
    app.m_strDataFilePath = platform::FromUtf8(path.string());
    mdf::CRecoveryEngine engine(app);
    std::ostringstream err;
    ASSERT_TRUE(catalog_dump::RunScan(engine, err)) << err.str();

    std::size_t tables_compared = 0;
    std::size_t cells_compared = 0;
    for (auto& table : engine.m_lstTables) {
        const std::string table_name = StripSchema(platform::ToUtf8(table.m_pszName));
        SCOPED_TRACE(table_name);
        const auto found = expected.find(table_name);
        const auto ours = catalog_dump::TableRows(engine, table);
        if (found == expected.end()) {
            if (!borrowed) {
                EXPECT_TRUE(ours.empty()) << "rows of a table the expectation does not list";
            }
            continue;
        }
        std::vector<std::size_t> columns;
        std::vector<std::uint8_t> types;
        std::size_t index = 0;
        for (const auto& column : table.m_lstColumns) {
            if (IsCompared(column.m_nType)) {
                columns.push_back(index);
                types.push_back(column.m_nType);
            }
            ++index;
        }
        auto key = [&](auto cell_at, bool our_side) {
            std::string k;
            for (std::size_t i = 0; i < columns.size(); ++i) k += Normalise(types[i], cell_at(columns[i]), our_side) + "\t";
            return k;
        };
        std::vector<std::string> ours_keys;
        for (const auto& row : ours) {
            ASSERT_EQ(row.size(), index) << "one cell per column";
            ours_keys.push_back(key([&](std::size_t i) { return platform::ToUtf8(row[i]); }, true));
        }
        std::vector<std::string> expected_keys;
        for (const auto& row : found->second) {
            ASSERT_EQ(row.size(), index) << "expectation has one field per column";
            expected_keys.push_back(key([&](std::size_t i) { return row[i]; }, false));
        }
        std::sort(ours_keys.begin(), ours_keys.end());
        std::sort(expected_keys.begin(), expected_keys.end());
        const auto [only_ours, only_expected] = corpusrows::Difference(ours_keys, expected_keys);
        EXPECT_EQ(ours_keys.size(), expected_keys.size());
        for (std::size_t i = 0; i < std::min<std::size_t>(only_ours.size(), 5); ++i) {
            ADD_FAILURE() << "decoded, not expected: " << only_ours[i];
        }
        for (std::size_t i = 0; i < std::min<std::size_t>(only_expected.size(), 5); ++i) {
            ADD_FAILURE() << "expected, not decoded: " << only_expected[i];
        }
        ++tables_compared;
        cells_compared += columns.size() * ours_keys.size();
        expected.erase(found);
    }
    for (const auto& [table, rows] : expected) ADD_FAILURE() << "expected table not decoded: " << table;
    std::cout << name << ": " << tables_compared << " tables, " << cells_compared << " cells compared\n";
}

INSTANTIATE_TEST_SUITE_P(Files, CorpusRows,
                         ::testing::Values("northwnd_sligo", "pubs_sligo", "bloodbank", "aspnetdb_tractis",
                                           "northwnd_bi", "pubs_anh"));

TEST(CorpusRowStatements, InsertTextsOfRealRows) {
    BM_REQUIRE_CORPUS();
    const auto path = *testsupport::CorpusDir() / "northwnd_sligo.mdf";
    platform::SharedState app;
    app.m_strDataFilePath = platform::FromUtf8(path.string());
    mdf::CRecoveryEngine engine(app);
    std::ostringstream err;
    ASSERT_TRUE(catalog_dump::RunScan(engine, err)) << err.str();

    auto backend = std::make_shared<platform::RecordingSqlBackend>();
    engine.m_pConnection = std::make_shared<platform::Connection>(backend);
    engine.m_pConnection->Open(u"test");
    app.m_bRepairRequested = true;
    const std::uint64_t count_before = app.m_nRecoveredCount.load();
    // The first row of each table, as a repair runs it (with the identity statements where the table has one).
    std::map<std::string, std::vector<std::string>> first_rows;
    for (auto& table : engine.m_lstTables) {
        if (table.m_lstDataPages.empty()) continue;
        engine.m_pCurrentTable = &table;
        engine.ReadPageRecordOffsets(table.m_lstDataPages.front().m_nPageOffset);
        if (app.m_arrRecordOffsets.empty()) continue;
        backend->m_executed.clear();
        engine.DecodeTableRow(app.m_arrRecordOffsets.front(), table);
        std::vector<std::string> texts;
        for (const auto& s : backend->m_executed) texts.push_back(platform::ToUtf8(s.m_strText));
        first_rows[platform::ToUtf8(table.m_pszName)] = texts;
    }
    EXPECT_EQ(first_rows["dbo.Shippers"],
              (std::vector<std::string>{"SET IDENTITY_INSERT [dbo].[Shippers]ON",
                                        "insert into [dbo].[Shippers] ([ShipperID],[CompanyName],[Phone]) values (1,?,?) ;",
                                        "SET IDENTITY_INSERT [dbo].[Shippers]OFF"}));
    EXPECT_EQ(first_rows["dbo.Order Details"],
              std::vector<std::string>{"insert into [dbo].[Order Details] ([OrderID],[ProductID],[UnitPrice],"
                                       "[Quantity],[Discount]) values (10248,11,14.0000,12,0) ;"});
    const auto& orders = first_rows["dbo.Orders"];
    ASSERT_EQ(orders.size(), 3u);
    EXPECT_EQ(orders[1],
              "insert into [dbo].[Orders] ([OrderID],[CustomerID],[EmployeeID],[OrderDate],[RequiredDate],"
              "[ShippedDate],[ShipVia],[Freight],[ShipName],[ShipAddress],[ShipCity],[ShipRegion],[ShipPostalCode],"
              "[ShipCountry]) values (10248,?,5,'7/4/1996 12:00:00.000 AM','8/1/1996 12:00:00.000 AM',"
              "'7/16/1996 12:00:00.000 AM',3,32.3800,?,?,?,NULL,?,?) ;");
    // Every one of these rows went in (the scan itself leaves its own count behind).
    EXPECT_EQ(app.m_nRecoveredCount.load() - count_before, first_rows.size());
}
