// End to end on the synthetic SharePoint content database of both generations: the Document Recovery scan
// of the real catalogue and row decoder, the tree, and a save of every item give exactly the documents of
// the manifest, byte for byte, in the folders of their sites, lists and folders.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <span>
#include <sstream>

#include "mdf/page_check.h"
#include "platform/text.h"
#include "tests/support/page_builder.h"
#include "tests/support/sha256.h"
#include "tests/support/sharepoint_builder.h"
#include "tests/tools/catalog_dump.h"
#include "tests/tools/dump_documents.h"

namespace {

namespace fs = std::filesystem;
using testsupport::sharepoint::ContentDatabase;
using testsupport::sharepoint::Generation;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

struct Variant {
    Generation generation;
    bool torn;  // converted from 2000, every page with torn sectors
};

class DocumentRecovery : public ::testing::TestWithParam<Variant> {};

TEST_P(DocumentRecovery, EveryDocumentOfTheManifestIsWrittenWholeInItsFolder) {
    testsupport::TempDir dir;
    auto database = ContentDatabase::Sample(GetParam().generation);
    database.TornPages(GetParam().torn);
    database.Build().WriteTo(dir / "content.mdf");
    std::ostringstream log;
    std::ostringstream err;
    ASSERT_EQ(catalog_dump::RunDocuments((dir / "out").string(), (dir / "content.mdf").string(), log, err), 0)
        << err.str();

    std::vector<std::string> expected;
    for (const auto& line : database.Manifest()) {
        expected.push_back(line.path + "\t" + std::to_string(line.size) + "\t" + line.sha256);
    }
    std::vector<std::string> written;
    ASSERT_TRUE(fs::is_directory(dir / "out")) << log.str();
    for (const auto& entry : fs::recursive_directory_iterator(dir / "out")) {
        if (!entry.is_regular_file()) continue;
        written.push_back(fs::relative(entry.path(), dir / "out").string() + "\t" +
                          std::to_string(fs::file_size(entry.path())) + "\t" +
                          testsupport::Sha256OfFile(entry.path()));
    }
    std::sort(expected.begin(), expected.end());
    std::sort(written.begin(), written.end());
    EXPECT_EQ(written, expected) << log.str();

    const auto lines = Lines(log.str());
    for (const char* line : {"  Team|Site:Repaired successfully", "  Archive:Repaired successfully",
                             "Repairing Site....  Отдел продаж",
                             // Each site's own documents: 9 below Team|Site, 2 below Archive.
                             "Total  Documents Persent                       :  9",
                             "Total  Documents Persent                       :  2",
                             "Not placed in the tree  :  0 site(s), 0 list(s), 3 folder(s) and document(s)"}) {
        EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << line << "\n" << log.str();
    }
    EXPECT_EQ(lines.back(), "Recovered Documents : " + std::to_string(expected.size()));
}

// A save that cannot write (the output folder lies below a regular file) ends with the count of what was not
// written and its own exit code, never 0.
TEST(DocumentRecoveryTool, ASaveThatWritesNothingExitsWithItsOwnCode) {
    testsupport::TempDir dir;
    ContentDatabase::Sample(Generation::Sp2010VarBinary).Build().WriteTo(dir / "content.mdf");
    std::ofstream(dir / "plain").put('x');
    std::ostringstream log, err;
    EXPECT_EQ(catalog_dump::RunDocuments((dir / "plain" / "out").string(), (dir / "content.mdf").string(), log, err),
              catalog_dump::kExitNotWritten);
    const auto lines = Lines(log.str());
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "Recovered Documents : 0");
    EXPECT_EQ(lines.back().rfind("Not written : ", 0), 0u) << lines.back();
    EXPECT_EQ(log.str().find("Repaired successfully"), std::string::npos);
    EXPECT_NE(log.str().find("(Not a directory)"), std::string::npos);
}

// A stream that runs `act` once, when a line that starts with `start` is written to it.
class LineTrigger final : public std::stringbuf {
public:
    LineTrigger(std::string start, std::function<void()> act) : start_(std::move(start)), act_(std::move(act)) {}

protected:
    int sync() override { return 0; }
    std::streamsize xsputn(const char* text, std::streamsize n) override {
        const std::streamsize written = std::stringbuf::xsputn(text, n);
        Look();
        return written;
    }
    int_type overflow(int_type c) override {
        const int_type result = std::stringbuf::overflow(c);
        Look();
        return result;
    }

private:
    void Look() {
        if (!act_ || str().find("\n" + start_) == std::string::npos) return;
        auto act = std::move(act_);
        act_ = nullptr;
        act();
    }
    std::string start_;
    std::function<void()> act_;
};

// The output folder deleted by another program while the tool saves: the save ends as a failure (exit 3), with
// nothing made again where the folder was and the documents it did not write counted.
TEST(DocumentRecoveryTool, AnOutputFolderDeletedDuringTheSaveExitsWithNotWritten) {
    testsupport::TempDir dir;
    ContentDatabase::Sample(Generation::Sp2010VarBinary).Build().WriteTo(dir / "content.mdf");
    const fs::path out = dir / "out";
    fs::create_directories(out);
    LineTrigger trigger("Repairing List.....", [&] { fs::remove_all(out); });
    std::ostream log(&trigger);
    std::ostringstream err;
    EXPECT_EQ(catalog_dump::RunDocuments(out.string(), (dir / "content.mdf").string(), log, err),
              catalog_dump::kExitNotWritten);
    EXPECT_FALSE(fs::exists(out));
    const std::string text = trigger.str();
    EXPECT_NE(text.find("  The output folder was deleted or moved during the save: " + out.string()), std::string::npos)
        << text;
    EXPECT_EQ(text.find("Repaired successfully"), std::string::npos) << text;
    const auto lines = Lines(text);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().rfind("Not written : ", 0), 0u) << lines.back();
}

// The bytes the sample database gives a document: its seed repeated, shifted by (position / 97) % 5.
std::vector<std::uint8_t> SampleText(const std::string& seed, std::size_t n) {
    std::vector<std::uint8_t> bytes(n);
    for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(seed[i % seed.size()] + (i / 97) % 5);
    return bytes;
}

// A content page that failed a check, or that is not the page its pointer names: a zeroed page (whatever the
// Size says, -1 included), a byte changed on a page whose checksum then fails, two documents' pages swapped.
// The document never gets its own name: it is kept beside it as name.incomplete with what could be read, logged
// with why, and counted; the save ends with its own exit code, and nothing that holds it is called repaired.
// Every other document is written as before.
TEST(DocumentRecoveryTool, ADocumentWhoseContentPagesFailACheckIsKeptAsIncomplete) {
    enum class Damage { Zero, FlipChecksummed, Swap };
    struct Hit {
        std::u16string leaf;
        std::string seed;
        std::size_t size;
        std::size_t at;         // a position in the content that lies on the damaged page
        std::uint64_t gathered;
    };
    struct Case {
        const char* name;
        Generation generation;
        bool unknown_sizes;
        Damage damage;
        std::vector<Hit> hits;  // the documents the damage reaches (a swap: the two pages of the two)
        const char* why;
    };
    const Hit chains{u"年度報告.docx", "PK\x03\x04 annual report ", 20000, 8000, 12000};
    const Hit large_root{u"budget.xlsx", "budget figures; ", 12000, 0, 4000};
    const Case cases[] = {
        {"varbinary chains, zeroed page", Generation::Sp2010VarBinary, false, Damage::Zero, {chains}, "has no page header"},
        {"varbinary large root, zeroed page", Generation::Sp2010VarBinary, false, Damage::Zero, {large_root},
         "has no page header"},
        {"image, zeroed page", Generation::Sp2007Image, false, Damage::Zero, {chains}, "has no page header"},
        {"Size -1, zeroed page", Generation::Sp2010VarBinary, true, Damage::Zero, {chains}, "has no page header"},
        {"byte changed on a checksummed page", Generation::Sp2010VarBinary, false, Damage::FlipChecksummed, {chains},
         "failed its check (checksum mismatch)"},
        {"Size -1, byte changed on a checksummed page", Generation::Sp2007Image, true, Damage::FlipChecksummed,
         {chains}, "failed its check (checksum mismatch)"},
        {"two documents' pages swapped", Generation::Sp2010VarBinary, false, Damage::Swap, {chains, large_root},
         "is not the page its pointer names"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::TempDir dir;
        auto database = ContentDatabase::Sample(c.generation);
        database.UnknownSizes(c.unknown_sizes);
        std::vector<std::uint8_t> bytes = database.Build().Bytes();
        std::vector<std::size_t> pages;
        for (const Hit& hit : c.hits) {
            const auto content = SampleText(hit.seed, hit.size);
            const auto piece = content.begin() + static_cast<std::ptrdiff_t>(hit.at);
            const auto found = std::search(bytes.begin(), bytes.end(), piece, piece + 64);
            ASSERT_NE(found, bytes.end());
            pages.push_back(static_cast<std::size_t>(found - bytes.begin()) / 8192);
        }
        const auto page_at = [&](std::size_t k) { return bytes.begin() + static_cast<std::ptrdiff_t>(pages[k] * 8192); };
        switch (c.damage) {
            case Damage::Zero: std::fill_n(page_at(0), 8192, std::uint8_t{0}); break;
            case Damage::FlipChecksummed: {
                // The page carries a checksum as the server stamps it, then one byte of its data changes.
                const std::span<std::uint8_t> page(&*page_at(0), 8192);
                const auto flags = static_cast<std::uint16_t>(
                    ((page[mdf::kPageFlagsOffset] | (page[mdf::kPageFlagsOffset + 1] << 8)) & ~mdf::kPageFlagTornBits) |
                    mdf::kPageFlagChecksum);
                page[mdf::kPageFlagsOffset] = static_cast<std::uint8_t>(flags);
                page[mdf::kPageFlagsOffset + 1] = static_cast<std::uint8_t>(flags >> 8);
                const std::uint32_t sum = mdf::PageChecksum(page);
                for (int k = 0; k < 4; ++k) page[mdf::kPageChecksumOffset + k] = static_cast<std::uint8_t>(sum >> (8 * k));
                page[4503] ^= 0x5A;
                break;
            }
            case Damage::Swap: std::swap_ranges(page_at(0), page_at(0) + 8192, page_at(1)); break;
        }
        std::ofstream(dir / "content.mdf", std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));

        std::ostringstream log, err;
        const fs::path out = dir / "out";
        EXPECT_EQ(catalog_dump::RunDocuments(out.string(), (dir / "content.mdf").string(), log, err),
                  catalog_dump::kExitNotWritten)
            << log.str();

        std::map<std::string, const Hit*> hit_paths;
        std::vector<std::string> expected;
        for (const auto& line : database.Manifest()) {
            const Hit* hit = nullptr;
            for (const Hit& h : c.hits) {
                if (fs::path(line.path).filename() == testsupport::sharepoint::ExpectedName(h.leaf)) hit = &h;
            }
            if (hit != nullptr) {
                hit_paths[line.path] = hit;
                expected.push_back(line.path + ".incomplete\t" + std::to_string(hit->gathered));
            } else {
                const std::string size = c.unknown_sizes ? "" : "\t" + std::to_string(line.size);
                expected.push_back(line.path + (c.unknown_sizes ? "" : size) + "\t" + line.sha256);
            }
        }
        ASSERT_EQ(hit_paths.size(), c.hits.size());
        std::vector<std::string> written;
        for (const auto& entry : fs::recursive_directory_iterator(out)) {
            if (!entry.is_regular_file()) continue;
            const std::string relative = fs::relative(entry.path(), out).string();
            const bool cut = relative.size() > 11 && relative.ends_with(".incomplete");
            std::string line = relative;
            if (cut || !c.unknown_sizes) line += "\t" + std::to_string(fs::file_size(entry.path()));
            if (!cut) line += "\t" + testsupport::Sha256OfFile(entry.path());
            written.push_back(line);
        }
        std::sort(expected.begin(), expected.end());
        std::sort(written.begin(), written.end());
        EXPECT_EQ(written, expected) << log.str();

        const auto lines = Lines(log.str());
        auto logged = [&](const std::string& text) { return std::find(lines.begin(), lines.end(), text) != lines.end(); };
        for (const auto& [path, hit] : hit_paths) {
            const std::string head = "  Incomplete: " + (out / path).string() + ".incomplete (" +
                                     std::to_string(hit->gathered) + " bytes gathered" +
                                     (c.unknown_sizes ? "" : ", its Size says " + std::to_string(hit->size)) + "; page ";
            const bool found = std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
                return line.rfind(head, 0) == 0 && line.find(c.why) != std::string::npos;
            });
            EXPECT_TRUE(found) << head << "\n" << log.str();
        }
        EXPECT_TRUE(logged("Recovered Documents : " + std::to_string(database.Manifest().size() - c.hits.size())));
        EXPECT_TRUE(logged("Incomplete : " + std::to_string(c.hits.size())));
        EXPECT_FALSE(logged("  Team|Site:Repaired successfully"));
        EXPECT_FALSE(logged("  Shared Documents:Repaired successfully"));
        EXPECT_TRUE(logged("  Archive:Repaired successfully"));
    }
}

// Every stream row of the content table reads as all NULL (its null bitmap overwritten): the pages still
// count their records, but no document gets content. The scan says so as damage, and the tool ends with the
// damage exit code, not as a clean run.
TEST(DocumentRecoveryTool, AContentTableThatGivesNoContentIsReportedAsDamage) {
    testsupport::TempDir dir;
    std::vector<std::uint8_t> bytes = ContentDatabase::Sample(Generation::Sp2010VarBinary).Build().Bytes();
    auto le16 = [&](std::size_t at) { return static_cast<std::size_t>(bytes[at] | (bytes[at + 1] << 8)); };
    constexpr std::uint32_t kStreamsUnit = 0x00310001;  // the builder's allocation unit of AllDocStreams
    std::size_t rows = 0;
    for (std::size_t page = 0; page + 8192 <= bytes.size(); page += 8192) {
        const std::uint32_t unit = bytes[page + 24] | (bytes[page + 25] << 8) | (bytes[page + 26] << 16) |
                                   (static_cast<std::uint32_t>(bytes[page + 27]) << 24);
        if (le16(page) != testsupport::kDataPage || unit != kStreamsUnit) continue;
        for (std::size_t slot = 0; slot < le16(page + 22); ++slot) {
            const std::size_t record = page + le16(page + 8190 - 2 * slot);
            const std::size_t columns_at = record + le16(record + 2);
            std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(columns_at + 2),
                        (le16(columns_at) + 7) / 8, std::uint8_t{0xFF});
            ++rows;
        }
    }
    ASSERT_GT(rows, 0u);
    std::ofstream(dir / "content.mdf", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    std::ostringstream log, err;
    EXPECT_EQ(catalog_dump::RunDocuments((dir / "out").string(), (dir / "content.mdf").string(), log, err),
              catalog_dump::kExitDamage)
        << log.str() << err.str();
    EXPECT_NE(err.str().find("Damaged table dbo.AllDocStreams: the catalogue counts " + std::to_string(rows) +
                             " row(s), but none of them gave a document's content"),
              std::string::npos)
        << err.str();
}

INSTANTIATE_TEST_SUITE_P(Generations, DocumentRecovery,
                         ::testing::Values(Variant{Generation::Sp2010VarBinary, false},
                                           Variant{Generation::Sp2007Image, false},
                                           Variant{Generation::Sp2010VarBinary, true},
                                           Variant{Generation::Sp2007Image, true}),
                         [](const auto& param_info) {
                             return std::string(param_info.param.generation == Generation::Sp2010VarBinary
                                                    ? "VarBinaryContent"
                                                    : "ImageContent") +
                                    (param_info.param.torn ? "TornPages" : "");
                         });

}  // namespace
