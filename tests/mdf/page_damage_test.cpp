// Damage made visible: pages that fail their own checksum or torn-page stamp, a file cut after its catalogue,
// and a catalogue whose slot arrays were overwritten. Each gives its damage line and the damage exit code, and
// every row that is still there is still read.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sstream>

#include "mdf/page_check.h"
#include "platform/text.h"
#include "tests/support/corpus.h"
#include "tests/support/file_bytes.h"
#include "tests/support/page_builder.h"
#include "tests/support/sharepoint_builder.h"
#include "tests/tools/catalog_dump.h"
#include "tests/tools/dump_rows.h"

namespace {

namespace fs = std::filesystem;
using testsupport::sharepoint::ContentDatabase;
using testsupport::sharepoint::Generation;
using Bytes = std::vector<std::uint8_t>;

using testsupport::ReadFile;
using testsupport::WriteFile;

// One scan of a file as catalog_dump runs it: its damage lines and count, its catalogue and every row.
struct Scan {
    std::string damage_lines;
    std::uint64_t damage = 0;
    std::string catalogue;
    std::vector<std::vector<std::u16string>> rows;
    std::vector<std::pair<std::string, std::uint64_t>> first_data_pages;  // table, page number
};

Scan ScanFile(const fs::path& path) {
    Scan scan;
    platform::SharedState app;
    app.m_strDataFilePath = platform::FromUtf8(path.string());
    mdf::CRecoveryEngine engine(app);
    std::ostringstream err, listing;
    EXPECT_TRUE(catalog_dump::RunScan(engine, err, &scan.damage)) << err.str();
    scan.damage_lines = err.str();
    catalog_dump::PrintCatalog(engine, listing);
    scan.catalogue = listing.str();
    for (auto& table : engine.m_lstTables) {
        if (!table.m_lstDataPages.empty()) {
            scan.first_data_pages.emplace_back(platform::ToUtf8(table.m_pszName),
                                               table.m_lstDataPages.front().m_nPageOffset / mdf::kPageSize);
        }
        for (auto& row : catalog_dump::TableRows(engine, table)) scan.rows.push_back(std::move(row));
    }
    return scan;
}

std::uint16_t Flags(const Bytes& file, std::uint64_t page) {
    const std::size_t at = page * mdf::kPageSize + mdf::kPageFlagsOffset;
    return static_cast<std::uint16_t>(file[at] | (file[at + 1] << 8));
}
void SetFlags(Bytes& file, std::uint64_t page, std::uint16_t flags) {
    const std::size_t at = page * mdf::kPageSize + mdf::kPageFlagsOffset;
    file[at] = static_cast<std::uint8_t>(flags);
    file[at + 1] = static_cast<std::uint8_t>(flags >> 8);
}
void SetWord(Bytes& file, std::size_t at, std::uint32_t value) {
    for (int k = 0; k < 4; ++k) file[at + k] = static_cast<std::uint8_t>(value >> (8 * k));
}

// Gives every page with a header the checksum the server writes, as a 2005 file written with page
// checksums has.
void ChecksumEveryPage(Bytes& file) {
    for (std::uint64_t page = 0; page < file.size() / mdf::kPageSize; ++page) {
        if (file[page * mdf::kPageSize] != 1) continue;
        SetFlags(file, page, Flags(file, page) | mdf::kPageFlagChecksum);
        const std::span<const std::uint8_t> bytes(file.data() + page * mdf::kPageSize, mdf::kPageSize);
        SetWord(file, page * mdf::kPageSize + mdf::kPageChecksumOffset, mdf::PageChecksum(bytes));
    }
}

std::uint32_t Owner(const Bytes& file, std::uint64_t page) {
    const std::uint8_t* header = file.data() + page * mdf::kPageSize;
    return header[24] | (header[25] << 8) | (header[26] << 16) | (static_cast<std::uint32_t>(header[27]) << 24);
}

std::size_t TableCount(const std::string& catalogue) {
    std::size_t n = 0;
    for (std::size_t at = catalogue.find("table\t"); at != std::string::npos; at = catalogue.find("table\t", at + 1)) ++n;
    return n;
}

enum class Source { Builder, BuilderWithChecksums, TornBuilder, Corpus };

TEST(PageDamage, EachDamageIsLoggedCountedAndTheRestIsStillRead) {
    struct Case {
        const char* name;
        Source source;
        // Damages the file; returns (a part of) the line the scan must log.
        std::function<std::string(Bytes& file, const Scan& clean)> damage;
        bool tables_kept;
        bool rows_kept;
    };
    const Case cases[] = {
        {"a data page with a bad checksum", Source::BuilderWithChecksums,
         [](Bytes& file, const Scan& clean) {
             const auto& [table, page] = clean.first_data_pages.front();
             file[page * mdf::kPageSize + mdf::kPageChecksumOffset] ^= 0x10;
             return "Damaged page " + std::to_string(page) + " (checksum mismatch) of table " + table + "\n";
         },
         true, true},
        {"a converted page with a torn sector", Source::TornBuilder,
         [](Bytes& file, const Scan& clean) {
             const auto& [table, page] = clean.first_data_pages.back();
             SetFlags(file, page, Flags(file, page) | mdf::kPageFlagTornBits);
             file[page * mdf::kPageSize + 5 * 512 + 511] ^= 1;  // sector 5 written, the others not
             return "Damaged page " + std::to_string(page) + " (torn sector) of table " + table + "\n";
         },
         true, true},
        {"the slot array of a system page overwritten", Source::BuilderWithChecksums,
         [](Bytes& file, const Scan&) {
             std::uint64_t rowsets = 0;
             for (std::uint64_t page = 0; page < file.size() / mdf::kPageSize; ++page) {
                 if (file[page * mdf::kPageSize + 1] == 1 && Owner(file, page) == 5) rowsets = page;
             }
             std::fill_n(file.begin() + static_cast<std::ptrdiff_t>((rowsets + 1) * mdf::kPageSize - 64), 64, 0xEE);
             return "Damaged page " + std::to_string(rowsets) + " (checksum mismatch) of the catalogue (rowsets)\n";
         },
         true, false},
        {"half of the system pages zeroed", Source::Builder,
         [](Bytes& file, const Scan&) {
             bool zero = true;
             for (std::uint64_t page = 0; page < file.size() / mdf::kPageSize; ++page) {
                 if (file[page * mdf::kPageSize + 1] != 1 || Owner(file, page) >= 100) continue;
                 if (zero) std::fill_n(file.begin() + static_cast<std::ptrdiff_t>(page * mdf::kPageSize), mdf::kPageSize, 0);
                 zero = !zero;
             }
             // What is left of the catalogue still names the tables that lost their rows.
             return std::string("Lost catalogue rows (no column row names the table) of table dbo.AllDocs\n");
         },
         false, false},
        {"a real file cut after its catalogue", Source::Corpus,
         [](Bytes& file, const Scan&) {
             // The rowset rows of the last tables lie past the cut.
             file.resize(380 * mdf::kPageSize);
             return std::string("Lost catalogue row (no rowset row names the table) of table dbo.Region\n");
         },
         true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::TempDir dir;
        Bytes file;
        if (c.source == Source::Corpus) {
            if (!testsupport::CorpusDir()) continue;
            file = ReadFile(*testsupport::CorpusDir() / "northwnd_sligo.mdf");
        } else {
            auto database = ContentDatabase::Sample(Generation::Sp2010VarBinary);
            database.TornPages(c.source == Source::TornBuilder);
            database.Build().WriteTo(dir / "built.mdf");
            file = ReadFile(dir / "built.mdf");
            if (c.source == Source::BuilderWithChecksums) ChecksumEveryPage(file);
        }
        WriteFile(dir / "clean.mdf", file);
        const Scan clean = ScanFile(dir / "clean.mdf");
        ASSERT_EQ(clean.damage, 0u) << clean.damage_lines;
        ASSERT_FALSE(clean.first_data_pages.empty());

        const std::string line = c.damage(file, clean);
        WriteFile(dir / "damaged.mdf", file);
        const Scan damaged = ScanFile(dir / "damaged.mdf");
        EXPECT_GE(damaged.damage, 1u);
        EXPECT_NE(damaged.damage_lines.find(line), std::string::npos) << line << "\n" << damaged.damage_lines;
        if (c.tables_kept) {
            EXPECT_EQ(TableCount(damaged.catalogue), TableCount(clean.catalogue));
        }
        if (c.rows_kept) {
            EXPECT_EQ(damaged.catalogue, clean.catalogue);
            EXPECT_EQ(damaged.rows, clean.rows);
        }
    }
}

}  // namespace
