// catalog_dump --repair: the whole repair road printed statement by statement, and its exit code.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/page_builder.h"
#include "tests/support/sql2000_builder.h"
#include "tests/tools/dump_repair.h"

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::size_t CountStarting(const std::vector<std::string>& lines, const std::string& prefix) {
    std::size_t n = 0;
    for (const auto& line : lines) n += line.rfind(prefix, 0) == 0;
    return n;
}

TEST(DumpRepair, StatementLinesKeepOneStatementALine) {
    EXPECT_EQ(catalog_dump::StatementLine(u"CREATE VIEW v\r\nAS SELECT 1\n"), "CREATE VIEW v\\r\\nAS SELECT 1\\n");
    EXPECT_EQ(catalog_dump::StatementLine(u"select N'\u00E9'"), "select N'\xC3\xA9'");
}

// The road of a small file: its table, its six rows, its view, in the order sent, then the end text; a zeroed
// definition page leaves the view out, names it at the end and makes the exit code 5.
TEST(DumpRepair, PrintsTheRoadAndTheEndOfTheJob) {
    struct Case {
        const char* what;
        bool zero_definition_page;
        int exit_code;
        std::size_t views;
        const char* end_line;  // a line of the end text
    };
    const Case cases[] = {
        {"intact", false, 0, 1, "## Recovery process is successfully completed."},
        {"definition page zeroed", true, catalog_dump::kExitRepairProblems, 0,
         "## view vw_People (object 213575799): no whole definition of it was found on the definition pages"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::TempDir dir;
        testsupport::sql2000::Layout layout;
        auto file = testsupport::sql2000::ViewAndTableDatabase().Build(&layout);
        if (c.zero_definition_page) {
            for (const auto page : layout.comment_pages) file.SetPage(page, testsupport::PageBuilder());
        }
        file.WriteTo(dir / "people.mdf");
        std::ostringstream out, err;
        EXPECT_EQ(catalog_dump::RunRepair((dir / "people.mdf").string(), out, err), c.exit_code) << err.str();
        const auto lines = Lines(out.str());
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines[0].rfind("create database [Recovered_people]", 0), 0u) << lines[0];
        EXPECT_EQ(CountStarting(lines, "insert into [People]"), 6u);
        EXPECT_EQ(CountStarting(lines, "CREATE VIEW vw_People"), c.views);
        std::size_t first_end = lines.size();
        for (std::size_t i = 0; i < lines.size() && first_end == lines.size(); ++i) {
            if (lines[i].rfind("## ", 0) == 0) first_end = i;
        }
        ASSERT_LT(first_end, lines.size());
        // Statements first, then only the end text.
        EXPECT_EQ(CountStarting({lines.begin() + static_cast<std::ptrdiff_t>(first_end), lines.end()}, "## "),
                  lines.size() - first_end);
        EXPECT_NE(std::find(lines.begin() + static_cast<std::ptrdiff_t>(first_end), lines.end(), c.end_line),
                  lines.end())
            << out.str();
    }
}

}  // namespace
