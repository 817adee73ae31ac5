// Large values of real files whose pages are damaged, swapped, foreign or hold another value's records: every
// value that cannot be read whole is a lost value of its row (its cell says so), named with its table and
// column and why, and counted against the table, which is incomplete; the other values are read as before.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <sstream>

#include "mdf/page_check.h"
#include "platform/text.h"
#include "tests/support/corpus.h"
#include "tests/support/file_bytes.h"
#include "tests/support/page_builder.h"
#include "tests/tools/catalog_dump.h"
#include "tests/tools/dump_rows.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
constexpr std::size_t kPage = mdf::kPageSize;

void SwapPages(Bytes& file, std::size_t a, std::size_t b) {
    std::swap_ranges(file.begin() + static_cast<std::ptrdiff_t>(a * kPage),
                     file.begin() + static_cast<std::ptrdiff_t>((a + 1) * kPage),
                     file.begin() + static_cast<std::ptrdiff_t>(b * kPage));
}

void ZeroPage(Bytes& file, std::size_t page) {
    std::fill_n(file.begin() + static_cast<std::ptrdiff_t>(page * kPage), kPage, std::uint8_t{0});
}

void Put(Bytes& file, std::size_t at, std::uint64_t v, int bytes) {
    for (int k = 0; k < bytes; ++k) file[at + static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(v >> (8 * k));
}

// The page's checksum as the server stamps it, after a change to the page.
void Restamp(Bytes& file, std::size_t page) {
    Put(file, page * kPage + mdf::kPageChecksumOffset,
        mdf::PageChecksum(std::span<const std::uint8_t>(file.data() + page * kPage, kPage)), 4);
}

struct Case {
    const char* name;
    const char* file;
    std::function<void(Bytes&)> damage;
    const char* table;
    std::map<std::string, std::uint64_t> lost;  // column -> values lost
    const char* why;                              // in each lost value's line
};

}  // namespace

TEST(LargeValueDamage, EveryValueThatCannotBeReadWholeIsALostValueOfItsTable) {
    const auto corpus = testsupport::CorpusDir();
    if (!corpus) GTEST_SKIP() << "corpus folder absent: set BRINDLEMOOR_CORPUS or provide ../shared/corpus";
    // northwnd_sligo: page 377 holds the five HomePage values of Suppliers (root in slot 2 over the data record
    // in slot 1, ...); its owner is unit 43, Employees' text pages carry unit 30. Its pages carry checksums.
    const std::vector<Case> cases = {
        {"text page swapped with a catalogue page", "northwnd_sligo.mdf", [](Bytes& f) { SwapPages(f, 377, 109); },
         "dbo.Suppliers", {{"HomePage", 5}}, "page 377 is no large-value page (page type 2)"},
        {"byte changed on a checksummed text page", "northwnd_sligo.mdf", [](Bytes& f) { f[377 * kPage + 300] ^= 0x20; },
         "dbo.Suppliers", {{"HomePage", 5}}, "page 377 failed its check (checksum mismatch)"},
        {"text page of another table", "northwnd_sligo.mdf",
         [](Bytes& f) {
             Put(f, 377 * kPage + 24, 30, 4);
             Restamp(f, 377);
         },
         "dbo.Suppliers", {{"HomePage", 5}}, "page 377 belongs to another object (owner 30)"},
        {"data record of another value", "northwnd_sligo.mdf",
         [](Bytes& f) {
             Put(f, 377 * kPage + 194 + 4, 0x7F50000, 8);
             Restamp(f, 377);
         },
         "dbo.Suppliers", {{"HomePage", 1}}, "page 377, slot 1 holds another value's record (id 0x7F50000"},
        {"text pages swapped", "northwnd_bi.mdf", [](Bytes& f) { SwapPages(f, 133, 131); }, "dbo.Employees",
         {{"Notes", 5}, {"Photo", 6}}, "page 133 is no large-value page"},
        {"zeroed text page", "pubs_sligo.mdf", [](Bytes& f) { ZeroPage(f, 115); }, "dbo.pub_info", {{"pr_info", 1}},
         "page 115 has no page header"},
        {"zeroed text page, torn-page file", "pubs_anh.mdf", [](Bytes& f) { ZeroPage(f, 140); }, "dbo.pub_info",
         {{"pr_info", 1}}, "page 140 has no page header"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::TempDir dir;
        Bytes bytes = testsupport::ReadFile(*corpus / c.file);
        c.damage(bytes);
        const fs::path path = dir / c.file;
        testsupport::WriteFile(path, bytes);

        platform::SharedState app;
        app.m_strDataFilePath = platform::FromUtf8(path.string());
        mdf::CRecoveryEngine engine(app);
        std::ostringstream log;
        ASSERT_TRUE(catalog_dump::RunScan(engine, log));
        catalog_dump::LogPrinter printer(app, log);
        engine.m_hProgressWnd = &printer;
        const std::vector<std::string> rows = catalog_dump::RowLines(engine);

        const mdf::TableNode* table = nullptr;
        for (const auto& t : engine.m_lstTables) {
            if (platform::ToUtf8(t.m_pszName) == c.table) table = &t;
        }
        ASSERT_NE(table, nullptr);
        EXPECT_TRUE(table->Incomplete());
        std::map<std::string, std::uint64_t> lost;
        std::uint64_t total = 0;
        for (const auto& [column, n] : table->m_losses.lost_values_by_column) {
            lost[platform::ToUtf8(column)] = n;
            total += n;
        }
        EXPECT_EQ(lost, c.lost) << log.str();
        EXPECT_EQ(table->m_losses.lost_values, total);
        // Every row is still read; each lost value's cell says so.
        EXPECT_EQ(table->m_losses.rows_read, table->m_nRowCount);
        std::uint64_t lost_cells = 0;
        const std::string lost_text = platform::ToUtf8(mdf::CRecoveryEngine::kLostValueText);
        for (const auto& row : rows) {
            if (row.rfind(std::string("row\t") + c.table + "\t", 0) != 0) continue;
            for (std::size_t at = row.find(lost_text); at != std::string::npos; at = row.find(lost_text, at + 1)) {
                ++lost_cells;
            }
        }
        EXPECT_EQ(lost_cells, total);
        // One line per lost value: its column, why, and its table.
        std::istringstream lines(log.str());
        std::uint64_t named = 0;
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind("Lost value of column ", 0) == 0 && line.find(c.why) != std::string::npos &&
                line.ends_with(std::string(") of table ") + c.table)) {
                ++named;
            }
        }
        EXPECT_EQ(named, total) << log.str();
    }
}
