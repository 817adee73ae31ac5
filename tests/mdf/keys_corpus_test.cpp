// The real data files: primary keys, unique keys and indexes as a repair reads them, against expected/NAME.keys.tsv,
// and the definition texts of the sample databases' views and procedures.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <sstream>

#include "platform/text.h"
#include "tests/support/corpus.h"
#include "tests/tools/catalog_dump.h"
#include "tests/tools/dump_keys.h"

namespace {

struct Scanned {
    platform::SharedState app;
    platform::NullSink sink;
    std::unique_ptr<mdf::CRecoveryEngine> engine;
};

std::unique_ptr<Scanned> Scan(const std::string& file) {
    auto scanned = std::make_unique<Scanned>();
    scanned->app.m_strDataFilePath = platform::FromUtf8((*testsupport::CorpusDir() / file).string());
    scanned->engine = std::make_unique<mdf::CRecoveryEngine>(scanned->app, &scanned->sink);
    std::ostringstream err;
    if (!catalog_dump::RunScan(*scanned->engine, err)) {
        ADD_FAILURE() << file << ": " << err.str();
        return nullptr;
    }
    return scanned;
}

// The key lines without their "key" field, sorted.
std::vector<std::string> KeysOf(const std::string& file) {
    auto scanned = Scan(file);
    if (!scanned) return {};
    catalog_dump::ReadKeys(*scanned->engine);
    std::vector<std::string> lines;
    for (const auto& line : catalog_dump::KeyLines(*scanned->engine)) lines.push_back(line.substr(line.find('\t') + 1));
    std::sort(lines.begin(), lines.end());
    return lines;
}

std::string Differences(const std::vector<std::string>& expected, const std::vector<std::string>& got) {
    std::vector<std::string> missing, extra;
    std::set_difference(expected.begin(), expected.end(), got.begin(), got.end(), std::back_inserter(missing));
    std::set_difference(got.begin(), got.end(), expected.begin(), expected.end(), std::back_inserter(extra));
    std::string out;
    for (const auto& line : missing) out += "  missing: " + line + "\n";
    for (const auto& line : extra) out += "  extra:   " + line + "\n";
    return out;
}

TEST(KeysCorpus, KeysEqualTheExpectations) {
    BM_REQUIRE_CORPUS();
    int compared = 0;
    for (const auto& entry : testsupport::CorpusManifest()) {
        const std::string base = std::filesystem::path(entry.file).stem().string();
        const auto expected_path = *testsupport::CorpusDir() / "expected" / (base + ".keys.tsv");
        if (!std::filesystem::exists(expected_path)) continue;
        SCOPED_TRACE(entry.file);
        auto expected = testsupport::ReadLines(expected_path);
        std::erase_if(expected, [](const std::string& line) { return line.empty() || line[0] == '#'; });
        std::sort(expected.begin(), expected.end());
        const auto got = KeysOf(entry.file);
        EXPECT_EQ(got, expected) << Differences(expected, got);
        ++compared;
    }
    EXPECT_EQ(compared, 3);
}

// northwnd_bi was created in the 2000 format and carries torn bits (the status byte of one primary-key row reads
// 0x29 until it is restored); apart from the diagram table its keys are those of northwnd_sligo.
TEST(KeysCorpus, ConvertedNorthwindHasTheKeysOfTheNativeOne) {
    BM_REQUIRE_CORPUS();
    auto converted = KeysOf("northwnd_bi.mdf");
    std::erase_if(converted, [](const std::string& line) { return line.rfind("sysdiagrams\t", 0) == 0; });
    const auto native = KeysOf("northwnd_sligo.mdf");
    EXPECT_EQ(converted.size(), 39u);
    EXPECT_EQ(converted, native) << Differences(native, converted);
}

struct DefinitionCase {
    const char* file;
    std::set<std::string> views;
    std::set<std::string> procedures;
};

std::string Lower(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Each listed object's text holds "create view" or "create procedure" followed, on the same line, by its name.
void ExpectCreateStatements(const DefinitionCase& c) {
    SCOPED_TRACE(c.file);
    auto scanned = Scan(c.file);
    ASSERT_TRUE(scanned);
    auto& engine = *scanned->engine;
    auto check = [&](const char* create, const std::u16string& name16, std::int32_t object_id) -> std::string {
        const std::string name = platform::ToUtf8(name16);
        const std::string text = Lower(platform::ToUtf8(catalog_dump::ObjectDefinition(engine, object_id)));
        const auto at = text.find(create);
        if (at == std::string::npos) {
            ADD_FAILURE() << name << ": " << text.substr(0, 200);
            return name;
        }
        const std::string line = text.substr(at, text.find('\n', at) - at);
        EXPECT_NE(line.find(Lower(name)), std::string::npos) << name << ": " << line;
        return name;
    };
    std::set<std::string> views, procedures;
    for (const auto& view : engine.m_lstViews) {
        if (c.views.count(platform::ToUtf8(view.m_pszName)))
            views.insert(check("create view", view.m_pszName, view.m_nObjectId));
    }
    for (const auto& procedure : engine.m_lstProcedures) {
        if (c.procedures.count(platform::ToUtf8(procedure.m_strName))) {
            procedures.insert(check("create procedure", procedure.m_strName, procedure.m_nObjectId));
        }
    }
    EXPECT_EQ(views, c.views);
    EXPECT_EQ(procedures, c.procedures);
}

TEST(DefinitionTextCorpus, SampleViewsAndProceduresReadAsCreateStatements) {
    BM_REQUIRE_CORPUS();
    const std::set<std::string> northwind_views = {"Alphabetical list of products",
                                                   "Category Sales for 1997",
                                                   "Current Product List",
                                                   "Customer and Suppliers by City",
                                                   "Invoices",
                                                   "Order Details Extended",
                                                   "Order Subtotals",
                                                   "Orders Qry",
                                                   "Product Sales for 1997",
                                                   "Products Above Average Price",
                                                   "Products by Category",
                                                   "Quarterly Orders",
                                                   "Sales by Category",
                                                   "Sales Totals by Amount",
                                                   "Summary of Sales by Quarter",
                                                   "Summary of Sales by Year"};
    const std::set<std::string> northwind_procedures = {
        "CustOrderHist", "CustOrdersDetail", "CustOrdersOrders",           "Employee Sales by Country",
        "Sales by Year", "SalesByCategory",  "Ten Most Expensive Products"};
    const std::set<std::string> pubs_procedures = {"byroyalty", "reptq1", "reptq2", "reptq3"};
    // The converted files carry torn bits inside these texts ("CREATE PQOCEDURE" until restored).
    const DefinitionCase cases[] = {
        {"northwnd_sligo.mdf", northwind_views, northwind_procedures},
        {"northwnd_bi.mdf", northwind_views, northwind_procedures},
        {"pubs_sligo.mdf", {"titleview"}, pubs_procedures},
        {"pubs_anh.mdf", {"titleview"}, pubs_procedures},
    };
    for (const auto& c : cases) ExpectCreateStatements(c);
}

}  // namespace
