// The checks that every corpus run of a repair's statements passes, whichever backend recorded them.
#include "tests/target_db/corpus_schema_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <set>

#include "platform/text.h"
#include "tests/support/corpus.h"
#include "tests/target_db/statement_log.h"

namespace corpusschema {

using statementlog::StatementLog;

namespace {

struct Expected {
    std::map<std::string, std::string> rows;  // table -> live rows ("?" when unknown)
    std::vector<std::string> keys;            // sorted key lines, empty when there is no keys file
    bool has_keys = false;
};

Expected ReadExpected(const std::string& base) {
    Expected expected;
    const auto dir = *testsupport::CorpusDir() / "expected";
    for (const auto& line : testsupport::ReadLines(dir / (base + ".tsv"))) {
        const auto fields = testsupport::SplitTabs(line);
        if (fields.size() >= 3 && fields[0] == "table") expected.rows[fields[1]] = fields[2];
    }
    if (std::filesystem::exists(dir / (base + ".keys.tsv"))) {
        expected.has_keys = true;
        for (const auto& line : testsupport::ReadLines(dir / (base + ".keys.tsv"))) {
            if (!line.empty() && line[0] != '#') expected.keys.push_back(line);
        }
        std::sort(expected.keys.begin(), expected.keys.end());
    }
    return expected;
}

// Where a file and its expectation differ in the tables they hold (the catalogue tests list why): expected
// tables the file does not have, and tables of the file the expectation leaves out.
struct KnownTables {
    std::set<std::string> not_in_file, not_expected;
};
KnownTables Known(const std::string& base) {
    static const std::map<std::string, KnownTables> known = {
        {"aspnetdb_tractis",
         {{"aspnet_Paths", "aspnet_PersonalizationAllUsers", "aspnet_PersonalizationPerUser", "aspnet_WebEvent_Events"},
          {}}},
        {"northwnd_bi", {{}, {"sysdiagrams"}}},
        {"pubs_anh", {{}, {"Menus", "Users", "sysdiagrams"}}},
    };
    const auto found = known.find(base);
    return found == known.end() ? KnownTables{} : found->second;
}

}  // namespace

void ExpectScriptedLikeTheFile(const std::string& base, const std::vector<platform::SqlStatement>& sent,
                               const mdf::CRecoveryEngine& engine, const target::RepairScript& script) {
    const StatementLog log(sent, engine);
    if (std::getenv("BM_DUMP_STATEMENTS") != nullptr) {
        for (const auto& statement : sent) {
            const std::string text = platform::ToUtf8(statement.m_strText);
            if (text.rfind("insert into", 0) != 0 && text.rfind("SET IDENTITY_INSERT", 0) != 0) std::cout << text << "\n";
        }
    }
    const Expected expected = ReadExpected(base);

    // Tables: one create per expected table (the plain fallback never needed), rows as counted by the scan.
    std::set<std::string> created(log.CreatedTables().begin(), log.CreatedTables().end());
    const KnownTables known = Known(base);
    std::set<std::string> expected_tables(known.not_expected);
    for (const auto& [name, rows] : expected.rows) {
        if (!known.not_in_file.contains(name)) expected_tables.insert(name);
    }
    EXPECT_EQ(created, expected_tables);
    // A table whose catalogue lists no column (bloodbank's trace_xe_action_map and trace_xe_event_map) has no
    // create statement: "create table [t]()" is no statement.
    const auto with_columns = std::count_if(engine.m_lstTables.begin(), engine.m_lstTables.end(),
                                            [](const mdf::TableNode& table) { return !table.m_lstColumns.empty(); });
    EXPECT_EQ(log.CreatedTables().size(), static_cast<std::size_t>(with_columns)) << "one create statement per table";
    for (const auto& table : engine.m_lstTables) {
        const std::string name = statementlog::TablePart(table);
        SCOPED_TRACE(name);
        EXPECT_EQ(log.InsertCount(name), table.m_nRowCount);
        const auto found = expected.rows.find(name);
        if (found != expected.rows.end() && found->second != "?") {
            EXPECT_EQ(std::to_string(log.InsertCount(name)), found->second);
        }
    }

    if (expected.has_keys) {
        auto keys = log.KeyLines();
        std::sort(keys.begin(), keys.end());
        EXPECT_EQ(keys, expected.keys);
    }

    const auto violations = log.OrderViolations();
    EXPECT_TRUE(violations.empty()) << violations.front();
    EXPECT_TRUE(script.m_report.m_arrRefused.empty());
    for (const auto& entry : script.m_report.m_arrLeftOut) {
        std::cout << base << ": left out " << platform::ToUtf8(entry.m_strStep) << " "
                  << platform::ToUtf8(entry.m_strObject) << ": " << platform::ToUtf8(entry.m_strReason) << "\n";
    }
    std::cout << base << ": " << sent.size() << " statements, " << created.size() << " tables, "
              << log.ForeignKeyCount() << " foreign keys, " << log.CheckCount() << " checks, "
              << log.StatisticsCount() << " statistics\n";
}

}  // namespace corpusschema
