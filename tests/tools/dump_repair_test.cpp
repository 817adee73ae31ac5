// catalog_dump --repair: the whole repair road printed statement by statement, and its exit code.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/file_bytes.h"
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

// The road of a small file: its table, its six rows, its view, in the order sent, then the end text. A zeroed
// definition page leaves the view out; a damaged record leaves its row out and the table incomplete: each is
// named at the end and makes the exit code 5.
TEST(DumpRepair, PrintsTheRoadAndTheEndOfTheJob) {
    enum class Spoil { None, DefinitionPage, Record };
    struct Case {
        const char* what;
        Spoil spoil;
        int exit_code;
        std::size_t inserts;
        std::size_t views;
        const char* end_line;  // a line of the end text
    };
    const Case cases[] = {
        {"intact", Spoil::None, 0, 6, 1, "## Recovery process is successfully completed."},
        {"definition page zeroed", Spoil::DefinitionPage, catalog_dump::kExitRepairProblems, 6, 0,
         "## view vw_People (object 213575799): no whole definition of it was found on the definition pages"},
        {"a record's fixed part ends inside its header", Spoil::Record, catalog_dump::kExitRepairProblems, 5, 1,
         "## table People: incomplete in the data file (5 of 6 row(s) read; 1 damaged record(s)); 5 of 6 row(s) "
         "copied"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::TempDir dir;
        testsupport::sql2000::Layout layout;
        auto file = testsupport::sql2000::ViewAndTableDatabase().Build(&layout);
        if (c.spoil == Spoil::DefinitionPage) {
            for (const auto page : layout.comment_pages) file.SetPage(page, testsupport::PageBuilder());
        }
        file.WriteTo(dir / "people.mdf");
        if (c.spoil == Spoil::Record) {
            auto bytes = testsupport::ReadFile(dir / "people.mdf");
            ASSERT_EQ(layout.data_pages.size(), 1u);
            // The first row, Anna's: its variable part (one column) begins 15 bytes into the record.
            const std::vector<std::uint8_t> anna = {'A', 0, 'n', 0, 'n', 0, 'a', 0};
            const auto at = std::search(bytes.begin(), bytes.end(), anna.begin(), anna.end());
            ASSERT_NE(at, bytes.end());
            const std::size_t record = static_cast<std::size_t>(at - bytes.begin()) - 15;
            ASSERT_EQ(bytes[record + 2], 8);  // the fixed part: status, fixed-part end, the int
            bytes[record + 2] = 2;
            bytes[record + 3] = 0;
            testsupport::WriteFile(dir / "people.mdf", bytes);
        }
        std::ostringstream out, err;
        EXPECT_EQ(catalog_dump::RunRepair((dir / "people.mdf").string(), out, err), c.exit_code) << err.str();
        const auto lines = Lines(out.str());
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines[0].rfind("create database [Recovered_people]", 0), 0u) << lines[0];
        EXPECT_EQ(CountStarting(lines, "insert into [People]"), c.inserts);
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
