// The damage sweep: for every real data file (and the builders' 2000 and SharePoint files), copies with random
// damage (zeroed pages, flipped bytes, a cut file, a system page swapped with a data page, torn sectors, a page
// written over another one, damage to user data pages only), each seeded from the file name and the copy
// number. Each copy runs in a child process with a time limit: the Complete Repair scan, the key and definition
// readers, every table view, and the Document Recovery scan with its record pass, tree and the save of every
// document. A copy fails on a crash (or a sanitizer report), on running past the limit, or when a table whose
// catalogue survived no longer gives the rows of its undamaged data pages; damage to user data pages only must
// leave the whole catalogue as it was.
//
// BRINDLEMOOR_DAMAGE_COPIES (default 5) sets the copies per file, BRINDLEMOOR_DAMAGE_TIMEOUT the seconds one
// copy may take (default 120), BRINDLEMOOR_DAMAGE_JOBS the copies run at once (default 2);
// BRINDLEMOOR_DAMAGE_ONLY=FILE:COPY runs that one copy in this process (to debug it).
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "mdf/recovery_engine.h"
#include "platform/text.h"
#include "tests/damage/child_runs.h"
#include "tests/damage/scan_road.h"
#include "tests/support/corpus.h"
#include "tests/support/page_builder.h"
#include "tests/support/sharepoint_builder.h"
#include "tests/support/sql2000_builder.h"

using namespace testsupport;

namespace {

using damage::EnvNumber;

constexpr std::uint64_t kPage = mdf::kPageSize;

// What one run of the readers recovered from a file.
struct TableResult {
    std::string signature;
    std::set<std::uint64_t> pages;
    std::vector<bool> masked;  // cells of columns whose value may live on another page
    damage::PageRows rows;
};
struct RunResult {
    bool catalogue = false;
    std::uint32_t version_pair = 0;
    std::map<std::u16string, TableResult> tables;
    std::uint64_t documents_saved = 0;
};

// Columns whose value may be kept outside the row (large values, (max) types): their text depends on pages
// other than the row's own, so a page's rows are compared without them.
bool MayLiveElsewhere(const mdf::ColumnNode& c) {
    switch (c.m_nType) {
        case 34: case 35: case 99: case 241: case 240: return true;
        case 165: case 167: case 231: return c.m_nMaxInRowLength == 0xFFFF || c.m_nLength == 0xFFFF;
        default: return false;
    }
}

RunResult RunReaders(const std::filesystem::path& path) {
    RunResult result;
    {
        platform::SharedState app;
        app.m_strDataFilePath = platform::FromUtf8(path.string());
        mdf::CRecoveryEngine engine(app);
        engine.m_sleep = [](std::chrono::milliseconds) {};
        result.catalogue = damage::RunScan(engine, false);
        result.version_pair = app.m_dwVersionPair;
        if (result.catalogue) {
            // Of two tables of one name (a damaged catalogue) the first one is compared. Signatures first: the
            // row walk rewrites variable columns' offsets in place.
            std::vector<std::pair<mdf::TableNode*, TableResult*>> compared;
            for (auto& table : engine.m_lstTables) {
                const auto [it, added] = result.tables.try_emplace(table.m_pszName);
                if (!added) continue;
                auto& t = it->second;
                t.signature = damage::ColumnSignature(table);
                for (const auto& page : table.m_lstDataPages) t.pages.insert(page.m_nPageOffset);
                for (const auto& c : table.m_lstColumns) t.masked.push_back(MayLiveElsewhere(c));
                compared.emplace_back(&table, &t);
            }
            damage::RunKeyReaders(engine);
            for (auto& table : engine.m_lstTables) {
                const auto it = std::find_if(compared.begin(), compared.end(),
                                             [&table](const auto& c) { return c.first == &table; });
                if (it == compared.end()) {
                    damage::RunTableView(engine, table);
                } else {
                    it->second->rows = damage::RunTableView(engine, table);
                }
            }
        }
    }
    {
        platform::SharedState app;
        app.m_strDataFilePath = platform::FromUtf8(path.string());
        mdf::CRecoveryEngine engine(app);
        engine.m_sleep = [](std::chrono::milliseconds) {};
        if (damage::RunScan(engine, true)) {
            damage::RunDocumentPass(engine);
            // The save reads every document's content from the file; its output is not kept.
            const auto out = path.parent_path() / (path.stem().string() + "_documents");
            app.m_nRecoveredCount = 0;
            damage::SaveEveryDocument(engine, platform::FromUtf8(out.string()));
            result.documents_saved = app.m_nRecoveredCount;
            std::error_code ignored;
            std::filesystem::remove_all(out, ignored);
        }
    }
    return result;
}

// One page's rows as sorted texts, with the masked cells blanked.
std::vector<std::string> PageTexts(const std::vector<std::vector<std::u16string>>& rows, const std::vector<bool>& masked) {
    std::vector<std::string> out;
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            line += (i < masked.size() && masked[i]) ? std::string("*") : platform::ToUtf8(row[i]);
            line += '\t';
        }
        out.push_back(std::move(line));
    }
    std::sort(out.begin(), out.end());
    return out;
}

// ---- Damage ----

struct Damage {
    std::vector<std::uint8_t> bytes;
    std::set<std::uint64_t> touched;  // page offsets whose bytes changed or went
    bool data_pages_only = false;
    std::string what;
};

struct Original {
    std::string name;
    std::vector<std::uint8_t> bytes;
    RunResult result;
    std::vector<std::uint64_t> user_data_pages;  // pages of the tables' page lists
    std::vector<std::uint64_t> system_pages;     // boot and file header, IAM pages, pages of system tables
};

std::uint8_t PageTypeAt(const std::vector<std::uint8_t>& b, std::uint64_t page) { return b[page * kPage + 1]; }
std::uint32_t ObjectIdAt(const std::vector<std::uint8_t>& b, std::uint64_t page) {
    const std::size_t at = page * kPage + 24;
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

Damage MakeDamage(const Original& o, std::uint64_t copy) {
    std::seed_seq seq(o.name.begin(), o.name.end());
    std::mt19937_64 base(seq);
    std::mt19937_64 rng(base() ^ (copy * 0x9E3779B97F4A7C15ull));
    auto pick = [&rng](std::uint64_t n) { return std::uniform_int_distribution<std::uint64_t>(0, n - 1)(rng); };
    Damage d;
    d.bytes = o.bytes;
    const std::uint64_t pages = o.bytes.size() / kPage;
    std::ostringstream what;
    auto zero_page = [&](std::uint64_t page) {
        std::fill(d.bytes.begin() + static_cast<std::ptrdiff_t>(page * kPage),
                  d.bytes.begin() + static_cast<std::ptrdiff_t>((page + 1) * kPage), 0);
        d.touched.insert(page * kPage);
        what << " zero page " << page << ";";
    };
    auto flip = [&](std::uint64_t page) {
        const std::uint64_t at = page * kPage + pick(kPage);
        d.bytes[at] ^= static_cast<std::uint8_t>(1 + pick(255));
        d.touched.insert(page * kPage);
        what << " flip byte " << at << ";";
    };
    // Half of the zeroed pages and flipped bytes hit the catalogue's own pages, which most pages of a file are not.
    auto any_page = [&]() {
        if (!o.system_pages.empty() && pick(2) == 0) return o.system_pages[pick(o.system_pages.size())];
        return pick(pages);
    };
    const std::uint64_t kind = pick(7);
    switch (kind) {
        case 0: {
            for (std::uint64_t n = 1 + pick(3); n > 0; --n) zero_page(any_page());
            break;
        }
        case 1: {
            for (std::uint64_t n = 1 + pick(16); n > 0; --n) flip(any_page());
            break;
        }
        case 2: {
            const std::uint64_t size = pick(o.bytes.size());
            d.bytes.resize(size);
            for (std::uint64_t p = size / kPage; p < pages; ++p) d.touched.insert(p * kPage);
            what << " cut to " << size << " bytes;";
            break;
        }
        case 3: {
            if (o.system_pages.empty() || o.user_data_pages.empty()) {
                zero_page(pick(pages));
                break;
            }
            const std::uint64_t a = o.system_pages[pick(o.system_pages.size())];
            const std::uint64_t b = o.user_data_pages[pick(o.user_data_pages.size())];
            std::swap_ranges(d.bytes.begin() + static_cast<std::ptrdiff_t>(a * kPage),
                             d.bytes.begin() + static_cast<std::ptrdiff_t>((a + 1) * kPage),
                             d.bytes.begin() + static_cast<std::ptrdiff_t>(b * kPage));
            d.touched.insert(a * kPage);
            d.touched.insert(b * kPage);
            what << " swap system page " << a << " with data page " << b << ";";
            break;
        }
        case 4: {
            // Torn writes: one 512-byte sector of a page zeroed or filled with a stale pattern.
            for (std::uint64_t n = 1 + pick(4); n > 0; --n) {
                const std::uint64_t page = any_page();
                const std::uint64_t sector = pick(kPage / 512);
                const std::uint8_t fill = pick(2) == 0 ? 0 : static_cast<std::uint8_t>(pick(256));
                const auto at = d.bytes.begin() + static_cast<std::ptrdiff_t>(page * kPage + sector * 512);
                std::fill(at, at + 512, fill);
                d.touched.insert(page * kPage);
                what << " sector " << sector << " of page " << page << " filled with " << int(fill) << ";";
            }
            break;
        }
        case 5: {
            // A misdirected write: one page's bytes written over another page.
            const std::uint64_t from = any_page();
            const std::uint64_t to = any_page();
            if (from != to) {
                std::copy_n(o.bytes.begin() + static_cast<std::ptrdiff_t>(from * kPage), kPage,
                            d.bytes.begin() + static_cast<std::ptrdiff_t>(to * kPage));
                d.touched.insert(to * kPage);
            }
            what << " page " << from << " written over page " << to << ";";
            break;
        }
        default: {
            if (o.user_data_pages.empty()) {
                flip(pick(pages));
                break;
            }
            d.data_pages_only = true;
            for (std::uint64_t n = 1 + pick(4); n > 0; --n) {
                const std::uint64_t page = o.user_data_pages[pick(o.user_data_pages.size())];
                if (pick(2) == 0) zero_page(page);
                else for (std::uint64_t k = 1 + pick(8); k > 0; --k) flip(page);
            }
            what << " (user data pages only)";
            break;
        }
    }
    d.what = what.str();
    return d;
}

// Compares a damaged copy's results with the original's; returns the faults found (empty: the copy passes).
// compared counts the undamaged pages whose rows were compared.
std::vector<std::string> Compare(const Original& o, const Damage& d, const RunResult& r, std::size_t& compared) {
    std::vector<std::string> faults;
    if (!o.result.catalogue) return faults;
    if (d.data_pages_only) {
        if (!r.catalogue) faults.push_back("the catalogue was not read, though only user data pages were damaged");
        for (const auto& [name, t] : o.result.tables) {
            const auto found = r.tables.find(name);
            if (found == r.tables.end()) {
                faults.push_back("table " + platform::ToUtf8(name) + " lost, though only user data pages were damaged");
            } else if (found->second.signature != t.signature) {
                faults.push_back("table " + platform::ToUtf8(name) +
                                 " changed its columns, though only user data pages were damaged");
            } else {
                // Its page list may lose the damaged pages (a reader may refuse a page whose header no longer
                // names the table) but no other page, and gains none.
                for (std::uint64_t page : t.pages) {
                    if (!d.touched.count(page) && !found->second.pages.count(page)) {
                        faults.push_back("table " + platform::ToUtf8(name) + " lost undamaged page " +
                                         std::to_string(page / kPage) + " from its page list");
                    }
                }
                for (std::uint64_t page : found->second.pages) {
                    if (!t.pages.count(page)) {
                        faults.push_back("table " + platform::ToUtf8(name) + " gained page " +
                                         std::to_string(page / kPage) + " in its page list");
                    }
                }
            }
        }
    }
    if (!r.catalogue || r.version_pair != o.result.version_pair) return faults;
    for (const auto& [name, t] : o.result.tables) {
        const auto found = r.tables.find(name);
        if (found == r.tables.end() || found->second.signature != t.signature) continue;
        const auto& damaged = found->second;
        for (const auto& [page, rows] : t.rows) {
            if (d.touched.count(page) || !damaged.pages.count(page)) continue;
            const auto it = damaged.rows.find(page);
            const auto expected = PageTexts(rows, t.masked);
            const auto got = it == damaged.rows.end() ? std::vector<std::string>{} : PageTexts(it->second, t.masked);
            ++compared;
            if (expected != got) {
                faults.push_back("table " + platform::ToUtf8(name) + ", undamaged page " + std::to_string(page / kPage) +
                                 ": " + std::to_string(expected.size()) + " rows before, " + std::to_string(got.size()) +
                                 " rows recovered" + (expected.size() == got.size() ? " (texts differ)" : ""));
            }
        }
    }
    return faults;
}

// The original file: its bytes, what the readers recover from it (run on a copy in folder), and its pages by kind.
Original LoadOriginal(const std::string& name, std::vector<std::uint8_t> bytes, const std::filesystem::path& folder) {
    Original o;
    o.name = name;
    o.bytes = std::move(bytes);
    const auto path = folder / "original.mdf";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(o.bytes.data()), static_cast<std::streamsize>(o.bytes.size()));
    }
    o.result = RunReaders(path);
    std::filesystem::remove(path);
    std::set<std::uint64_t> user;
    for (const auto& [table_name, t] : o.result.tables) {
        for (std::uint64_t page : t.pages) {
            if (page + kPage <= o.bytes.size()) user.insert(page / kPage);
        }
    }
    o.user_data_pages.assign(user.begin(), user.end());
    const std::uint64_t pages = o.bytes.size() / kPage;
    for (std::uint64_t p = 0; p < pages; ++p) {
        const std::uint8_t type = PageTypeAt(o.bytes, p);
        const std::uint32_t object = ObjectIdAt(o.bytes, p);
        if (user.count(p)) continue;
        if (p == 0 || p == 9 || type == 10 || ((type == 1 || type == 2) && object < 100)) o.system_pages.push_back(p);
    }
    return o;
}

// Writes the copy, runs the readers and compares; the faults as text (empty: passed).
std::string RunCopy(const Original& o, std::uint64_t copy, const std::filesystem::path& folder, std::size_t& compared) {
    const Damage d = MakeDamage(o, copy);
    const auto path = folder / ("copy_" + std::to_string(::getpid()) + ".mdf");
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(d.bytes.data()), static_cast<std::streamsize>(d.bytes.size()));
    }
    const RunResult r = RunReaders(path);
    std::filesystem::remove(path);
    std::string text;
    for (const auto& fault : Compare(o, d, r, compared)) text += "  " + fault + "\n";
    if (!text.empty()) text = o.name + " copy " + std::to_string(copy) + " (" + d.what + "):\n" + text;
    return text;
}

// Runs copies [0, copies) of the file in child processes, `jobs` at a time; returns one text per failed copy.
std::vector<std::string> SweepFile(const Original& o, std::uint64_t copies, int jobs, std::chrono::seconds limit,
                                   const std::filesystem::path& folder, double& slowest, std::size_t& compared) {
    std::vector<std::string> failures;
    // The child gives the number of pages it compared (8 bytes), then its faults.
    auto work = [&](std::uint64_t copy) {
        std::size_t pages_compared = 0;
        const std::string text = RunCopy(o, copy, folder, pages_compared);
        const std::uint64_t count = pages_compared;
        return std::string(reinterpret_cast<const char*>(&count), sizeof count) + text;
    };
    auto judge = [&](const damage::ChildEnd& end) {
        slowest = std::max(slowest, end.seconds);
        std::string text = end.output;
        if (text.size() >= sizeof(std::uint64_t)) {
            std::uint64_t count = 0;
            std::memcpy(&count, text.data(), sizeof count);
            compared += count;
            text.erase(0, sizeof count);
        }
        const std::string id = o.name + " copy " + std::to_string(end.index) + " (" + MakeDamage(o, end.index).what + ")";
        if (end.timed_out) {
            failures.push_back(id + ": ran longer than " + std::to_string(limit.count()) + " s");
        } else if (end.signal != 0) {
            failures.push_back(id + ": crashed with signal " + std::to_string(end.signal));
        } else if (!end.finished) {
            failures.push_back(id + ": ended with status " + std::to_string(end.exit_status) +
                               " (a sanitizer report: see the test output)");
        } else if (!text.empty()) {
            failures.push_back(text);
        }
    };
    damage::RunInChildren(copies, jobs, limit, work, judge);
    return failures;
}

using NamedFile = std::pair<std::string, std::vector<std::uint8_t>>;

std::vector<NamedFile> CorpusFiles() {
    std::vector<NamedFile> files;
    const auto dir = CorpusDir();
    if (!dir) return files;
    for (const auto& entry : CorpusManifest()) {
        std::ifstream in(*dir / entry.file, std::ios::binary);
        files.emplace_back(entry.file, std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {}));
    }
    return files;
}

// The builders' files take the roads the real ones do not: the 2000 format and SharePoint content databases
// (image and varbinary contents, the capture, the tree and the document save).
std::vector<NamedFile> BuilderFiles() {
    std::vector<NamedFile> files;
    files.emplace_back("builder_sql2000", testsupport::sql2000::SampleDatabase().Build().Bytes());
    files.emplace_back("builder_sharepoint_varbinary",
                       testsupport::sharepoint::ContentDatabase::Sample(testsupport::sharepoint::Generation::Sp2010VarBinary).Build().Bytes());
    files.emplace_back("builder_sharepoint_image",
                       testsupport::sharepoint::ContentDatabase::Sample(testsupport::sharepoint::Generation::Sp2007Image).Build().Bytes());
    return files;
}

// Sweeps the files (or, with BRINDLEMOOR_DAMAGE_ONLY=FILE:COPY naming one of them, runs that copy here).
void Sweep(std::vector<NamedFile> files) {
    const auto copies = static_cast<std::uint64_t>(EnvNumber("BRINDLEMOOR_DAMAGE_COPIES", 5));
    const std::chrono::seconds limit(EnvNumber("BRINDLEMOOR_DAMAGE_TIMEOUT", 120));
    const int jobs = static_cast<int>(EnvNumber("BRINDLEMOOR_DAMAGE_JOBS", 2));
    TempDir folder;

    if (const char* only = std::getenv("BRINDLEMOOR_DAMAGE_ONLY"); only && *only) {
        const std::string replay = only;
        const auto colon = replay.rfind(':');
        ASSERT_NE(colon, std::string::npos) << "BRINDLEMOOR_DAMAGE_ONLY=FILE:COPY";
        for (auto& [name, bytes] : files) {
            if (name != replay.substr(0, colon)) continue;
            const Original o = LoadOriginal(name, std::move(bytes), folder.Path());
            std::size_t compared = 0;
            const std::string text = RunCopy(o, std::stoull(replay.substr(colon + 1)), folder.Path(), compared);
            EXPECT_TRUE(text.empty()) << text;
        }
        return;
    }

    std::vector<std::string> failures;
    for (auto& [file_name, bytes] : files) {
        SCOPED_TRACE(file_name);
        const Original o = LoadOriginal(file_name, std::move(bytes), folder.Path());
        if (!o.result.catalogue) {
            std::cout << "[ note     ] " << o.name << ": the undamaged file's catalogue was not read; the copies "
                      << "are only checked for crashes and time-outs" << std::endl;
        }
        const auto start = std::chrono::steady_clock::now();
        double slowest = 0;
        std::size_t compared = 0;
        const auto found = SweepFile(o, copies, jobs, limit, folder.Path(), slowest, compared);
        std::size_t rows = 0;
        for (const auto& [name, t] : o.result.tables) {
            for (const auto& [page, page_rows] : t.rows) rows += page_rows.size();
        }
        const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::cout << "[ sweep    ] " << o.name << ": " << copies << " copies, " << found.size() << " failed, "
                  << o.result.tables.size() << " tables, " << o.user_data_pages.size() << " data pages, " << rows
                  << " rows, " << o.result.documents_saved << " documents saved; " << compared
                  << " undamaged pages compared; " << seconds << " s, slowest copy "
                  << slowest << " s" << std::endl;
        failures.insert(failures.end(), found.begin(), found.end());
    }
    std::string report;
    for (std::size_t i = 0; i < failures.size() && i < 40; ++i) report += failures[i] + "\n";
    EXPECT_TRUE(failures.empty()) << failures.size() << " damaged copies failed:\n" << report;
}

}  // namespace

TEST(DamageSweep, EveryCorpusFileSurvivesRandomDamage) {
    BM_REQUIRE_CORPUS();
    Sweep(CorpusFiles());
}

TEST(DamageSweep, BuilderFilesSurviveRandomDamage) { Sweep(BuilderFiles()); }
