// Every real data file: the catalogue read as the scan job reads it (tables, live-row counts, column names and
// types) against the expectation in expected/NAME.tsv. Differences are listed one per line.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>

#include "platform/text.h"
#include "tests/support/corpus.h"
#include "tests/tools/catalog_dump.h"

namespace {

// Where the expectation files are known to be wrong, with the reason; everything else must match.
struct KnownDifferences {
    // Tables the expectation lists that the file does not hold (no object row, no name anywhere in the file).
    std::set<std::string> absent_from_file;
    // Tables the file holds that the expectation leaves out.
    std::set<std::string> missing_from_expectation;
};

std::map<std::string, KnownDifferences> Known() {
    return {
        // The expectation gives the full membership-provider schema; this copy was created without the path,
        // personalization and web-event features, whose tables it does not contain.
        {"aspnetdb_tractis",
         {{"aspnet_Paths", "aspnet_PersonalizationAllUsers", "aspnet_PersonalizationPerUser", "aspnet_WebEvent_Events"},
          {}}},
        // Two tables of the sys schema that 2012 and later files carry as user tables.
        {"bloodbank", {{}, {"trace_xe_action_map", "trace_xe_event_map"}}},
        // The diagram table the design tools add, not part of the published sample.
        {"northwnd_bi", {{}, {"sysdiagrams"}}},
        // This copy of pubs holds two tables added after the published sample, and the diagram table.
        {"pubs_anh", {{}, {"Menus", "Users", "sysdiagrams"}}},
    };
}

struct ExpectedTable {
    std::string rows;                  // "?" when unknown
    std::vector<std::string> columns;  // "name type"; empty when unknown
    bool columns_known = true;
};

std::vector<std::string> SplitColumns(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start <= text.size()) {
        const auto comma = text.find(", ", start);
        out.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) break;
        start = comma + 2;
    }
    return out;
}

std::string StripDbo(const std::string& name) { return name.rfind("dbo.", 0) == 0 ? name.substr(4) : name; }

bool IsSystemTypeName(const std::string& base) {
    static const std::set<std::string> kNames = {
        "image", "text", "uniqueidentifier", "date", "time", "datetime2", "datetimeoffset", "tinyint", "smallint",
        "int", "smalldatetime", "real", "money", "datetime", "float", "sql_variant", "ntext", "bit", "decimal",
        "numeric", "smallmoney", "bigint", "varbinary", "varchar", "binary", "char", "timestamp", "nvarchar",
        "nchar", "xml", "hierarchyid", "geometry", "geography"};
    return kNames.count(base) != 0;
}

// Compares one column "name type": the name always, the type when the expectation gives a system type (a user
// type such as "tid" is listed by its base type here); without a length only the base type is compared.
std::string CompareColumn(const std::string& expected, const std::string& actual) {
    const auto e_space = expected.rfind(' ');
    const auto a_space = actual.rfind(' ');
    const std::string e_name = expected.substr(0, e_space), e_type = expected.substr(e_space + 1);
    const std::string a_name = actual.substr(0, a_space), a_type = actual.substr(a_space + 1);
    if (e_name != a_name) return "column name " + e_name + " read as " + a_name;
    const std::string e_base = e_type.substr(0, e_type.find('('));
    if (!IsSystemTypeName(e_base)) return {};
    const bool with_length = e_type.find('(') != std::string::npos;
    const std::string a_compared = with_length ? a_type : a_type.substr(0, a_type.find('('));
    if (e_type != a_compared) return "column " + e_name + " type " + e_type + " read as " + a_type;
    return {};
}

class CatalogCorpus : public testing::TestWithParam<std::string> {};

TEST_P(CatalogCorpus, TablesRowCountsAndColumnsMatchExpectation) {
    BM_REQUIRE_CORPUS();
    const std::string name = GetParam();
    const auto dir = *testsupport::CorpusDir();
    const auto path = dir / (name + ".mdf");
    if (!std::filesystem::exists(path)) GTEST_SKIP() << path << " is not in the corpus";

    platform::SharedState app;
    app.m_strDataFilePath = platform::FromUtf8(path.string());
    mdf::CRecoveryEngine engine(app);
    std::ostringstream err;
    ASSERT_TRUE(catalog_dump::RunScan(engine, err)) << err.str();
    std::ostringstream listing;
    catalog_dump::PrintCatalog(engine, listing);

    std::string actual_version;
    std::map<std::string, std::pair<std::string, std::vector<std::string>>> actual;
    std::istringstream lines(listing.str());
    for (std::string line; std::getline(lines, line);) {
        const auto f = testsupport::SplitTabs(line);
        if (f[0] == "version") actual_version = f[1] + "\t" + f[2];
        if (f[0] == "table") actual[StripDbo(f[1])] = {f[2], f.size() > 3 && !f[3].empty() ? SplitColumns(f[3]) : std::vector<std::string>{}};
    }

    std::string expected_version;
    std::map<std::string, ExpectedTable> expected;
    for (const auto& line : testsupport::ReadLines(dir / "expected" / (name + ".tsv"))) {
        if (line.empty() || line[0] == '#') continue;
        const auto f = testsupport::SplitTabs(line);
        if (f[0] == "version") expected_version = f[1] + "\t" + f[2];
        if (f[0] != "table") continue;
        ExpectedTable t;
        t.rows = f[2];
        t.columns_known = f[3] != "?";
        if (t.columns_known) t.columns = SplitColumns(f[3]);
        expected[f[1]] = t;
    }

    const auto known = Known()[name];
    std::vector<std::string> differences;
    if (expected_version != actual_version) differences.push_back("version " + expected_version + " read as " + actual_version);
    for (const auto& [table, want] : expected) {
        const auto got = actual.find(table);
        if (got == actual.end()) {
            if (!known.absent_from_file.count(table)) differences.push_back("table " + table + " not found");
            continue;
        }
        if (want.rows != "?" && want.rows != got->second.first) {
            differences.push_back("table " + table + ": " + want.rows + " live rows expected, " + got->second.first + " read");
        }
        if (!want.columns_known) continue;
        const auto& columns = got->second.second;
        if (columns.size() != want.columns.size()) {
            differences.push_back("table " + table + ": " + std::to_string(want.columns.size()) + " columns expected, " +
                                  std::to_string(columns.size()) + " read");
            continue;
        }
        for (std::size_t i = 0; i < columns.size(); ++i) {
            const auto d = CompareColumn(want.columns[i], columns[i]);
            if (!d.empty()) differences.push_back("table " + table + ": " + d);
        }
    }
    for (const auto& [table, got] : actual) {
        if (!expected.count(table) && !known.missing_from_expectation.count(table)) {
            differences.push_back("table " + table + " read but not expected");
        }
    }
    std::string report;
    for (const auto& d : differences) report += "  " + d + "\n";
    EXPECT_TRUE(differences.empty()) << name << ": " << differences.size() << " difference(s):\n" << report;
}

INSTANTIATE_TEST_SUITE_P(Files, CatalogCorpus,
                         testing::Values("northwnd_sligo", "pubs_sligo", "bloodbank", "aspnetdb_tractis", "northwnd_bi",
                                         "pubs_anh"));

}  // namespace
