// Read errors: a page the disk cannot give costs that page only. The file's reads go through a layer that fails
// chosen pages, as a disk with bad sectors does: either it gives the pages before the bad one and fails the next
// read, or it refuses the whole request.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "mdf/recovery_engine.h"
#include "platform/read_only_file.h"
#include "platform/text.h"
#include "tests/support/page_builder.h"
#include "tests/support/sql2000_builder.h"
#include "tests/tools/catalog_dump.h"
#include "tests/tools/dump_rows.h"

using namespace testsupport;

namespace {

constexpr std::uint64_t kPage = mdf::kPageSize;

// The failing disk: reads that reach a bad page end at its start (or, refusing whole requests, fail outright).
struct FailingDisk {
    static inline std::set<std::uint64_t> bad_pages;
    static inline bool refuses_whole_request = false;

    static ssize_t Read(int fd, void* buffer, std::size_t n, off_t pos) {
        const auto from = static_cast<std::uint64_t>(pos);
        const auto bad = bad_pages.lower_bound(from / kPage);
        if (bad == bad_pages.end() || *bad * kPage >= from + n) return ::pread(fd, buffer, n, pos);
        const std::uint64_t bad_at = std::max(*bad * kPage, from);
        if (refuses_whole_request || bad_at == from) {
            errno = EIO;
            return -1;
        }
        return ::pread(fd, buffer, bad_at - from, pos);
    }
};

// Puts the failing disk under every file read while it lives.
class BadSectors {
public:
    BadSectors(std::set<std::uint64_t> pages, bool whole_request) {
        FailingDisk::bad_pages = std::move(pages);
        FailingDisk::refuses_whole_request = whole_request;
        platform::ReadOnlyFile::read_call = FailingDisk::Read;
    }
    ~BadSectors() {
        platform::ReadOnlyFile::read_call = ::pread;
        FailingDisk::bad_pages.clear();
    }
    BadSectors(const BadSectors&) = delete;
    BadSectors& operator=(const BadSectors&) = delete;
};

struct DiskCase {
    const char* name;
    std::set<std::uint64_t> bad;
    bool whole_request;
};

const DiskCase kDiskCases[] = {
    {"one bad page inside a run, the pages before it given", {5}, false},
    {"one bad page, the request refused", {5}, true},
    {"two bad pages, one of them a run's first", {0, 40}, false},
    {"two neighbouring bad pages, requests refused", {40, 41}, true},
};

// Every road that reads pages (the scan's blocks, held runs, single pages) keeps each readable page's bytes,
// gives zeros for the bad ones, and names exactly those.
TEST(ReadErrors, OnlyTheUnreadablePagesAreLostOnEveryRoad) {
    constexpr std::uint32_t kPages = 70;  // a whole scan block and part of the next
    FileBuilder builder;
    for (std::uint32_t n = 0; n < kPages; ++n) {
        PageBuilder page;
        page.U32(100, 0x7000 + n);
        page.U32(8000, 0x9000 + n);
        builder.SetPage(n, page);
    }
    TempDir dir;
    builder.WriteTo(dir / "data.mdf");

    for (const auto& c : kDiskCases) {
        SCOPED_TRACE(c.name);
        const BadSectors disk(c.bad, c.whole_request);
        auto expect_page = [&c](std::uint64_t n, std::span<const std::uint8_t> bytes, const char* road) {
            const std::uint32_t head = bytes[100] | (bytes[101] << 8) | (bytes[102] << 16) | (bytes[103] << 24);
            const std::uint32_t tail = bytes[8000] | (bytes[8001] << 8) | (bytes[8002] << 16) | (bytes[8003] << 24);
            if (c.bad.count(n)) {
                EXPECT_TRUE(std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; }))
                    << road << ": unreadable page " << n << " is zeros";
            } else {
                EXPECT_EQ(head, 0x7000 + n) << road << ": page " << n;
                EXPECT_EQ(tail, 0x9000 + n) << road << ": page " << n;
            }
        };
        const std::vector<std::uint64_t> bad(c.bad.begin(), c.bad.end());
        {
            mdf::DataFile file;
            ASSERT_TRUE(file.Open(dir / "data.mdf"));
            std::vector<std::vector<std::uint8_t>> blocks(mdf::DataFile::kBlocksInFlight);
            file.ForEachBlock(
                0, kPages,
                [&](std::uint64_t block, std::uint64_t, std::span<const std::uint8_t> bytes) {
                    blocks[block % blocks.size()].assign(bytes.begin(), bytes.end());
                },
                [&](std::uint64_t block) {
                    const auto& bytes = blocks[block % blocks.size()];
                    for (std::uint64_t i = 0; i * kPage < bytes.size(); ++i) {
                        expect_page(block * mdf::DataFile::kScanBlockPages + i, {bytes.data() + i * kPage, kPage},
                                    "scan block");
                    }
                    return true;
                });
            EXPECT_EQ(file.UnreadablePages(), bad);
        }
        {
            mdf::DataFile file;
            ASSERT_TRUE(file.Open(dir / "data.mdf"));
            std::vector<std::uint64_t> all(kPages);
            for (std::uint32_t n = 0; n < kPages; ++n) all[n] = n;
            file.HoldPages(all);
            for (std::uint32_t n = 0; n < kPages; ++n) expect_page(n, file.Page(n), "held run");
            EXPECT_EQ(file.UnreadablePages(), bad);
        }
        {
            mdf::DataFile file;
            ASSERT_TRUE(file.Open(dir / "data.mdf"));
            for (std::uint32_t n = 0; n < kPages; ++n) expect_page(n, file.Page(n), "single page");
            EXPECT_EQ(file.UnreadablePages(), bad);
        }
    }
}

// Through the scan and the report: an unreadable page of a table is a damaged page of that table, its other
// pages give their rows, and every other table is whole; an unreadable page nothing names is still damage.
TEST(ReadErrors, TheReportNamesEachUnreadablePageWithItsTable) {
    TempDir dir;
    const auto path = dir / "sql2000.mdf";
    sql2000::SampleDatabase().Build().WriteTo(path);

    struct Run {
        std::uint64_t damage = 0;
        std::string log;
        std::vector<std::string> incomplete;
        std::map<std::string, std::size_t> rows;
    };
    auto run = [&path] {
        Run r;
        platform::SharedState app;
        app.m_strDataFilePath = platform::FromUtf8(path.string());
        mdf::CRecoveryEngine engine(app);
        std::ostringstream log;
        EXPECT_TRUE(catalog_dump::RunScan(engine, log, &r.damage)) << log.str();
        for (auto& table : engine.m_lstTables) {
            r.rows[platform::ToUtf8(table.m_pszName)] += catalog_dump::TableRows(engine, table).size();
        }
        for (const auto& line : engine.IncompleteTableLines()) r.incomplete.push_back(platform::ToUtf8(line));
        r.log = log.str();
        return r;
    };
    const Run sound = run();
    ASSERT_EQ(sound.damage, 0u) << sound.log;
    ASSERT_EQ(sound.rows.at("Events"), 60u);

    struct Case {
        const char* name;
        std::set<std::uint64_t> bad;
        bool whole_request;
        const char* line;          // the report's line about the page
        const char* incomplete;    // the table it makes incomplete, or empty
        std::size_t events_rows;   // the rows Events still gives
    };
    const Case cases[] = {
        {"a data page of Events, in the middle of the scan's block", {36}, false,
         "Damaged page 36 (read error) of table Events", "Events", 54},
        {"the same, the request refused", {36}, true, "Damaged page 36 (read error) of table Events", "Events", 54},
        {"a page no table names", {44}, false,
         "Damaged page 44 (read error) of the file (no table's pages or allocation maps name it)", "", 60},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const BadSectors disk(c.bad, c.whole_request);
        const Run r = run();
        EXPECT_NE(r.log.find(std::string(c.line) + "\n"), std::string::npos) << r.log;
        EXPECT_GE(r.damage, 1u);
        for (const auto& [table, rows] : sound.rows) {
            if (table == "Events") {
                EXPECT_EQ(r.rows.at(table), c.events_rows);
            } else {
                EXPECT_EQ(r.rows.at(table), rows) << table << " keeps every row";
            }
        }
        if (*c.incomplete) {
            ASSERT_EQ(r.incomplete.size(), 1u) << r.log;
            EXPECT_TRUE(r.incomplete[0].starts_with(std::string("Incomplete table ") + c.incomplete + ":"))
                << r.incomplete[0];
        } else {
            EXPECT_TRUE(r.incomplete.empty()) << r.incomplete[0];
        }
    }
}

}  // namespace
