// End to end on the synthetic SharePoint content database of both generations: the Document Recovery scan
// of the real catalogue and row decoder, the tree, and a save of every item give exactly the documents of
// the manifest, byte for byte, in the folders of their sites, lists and folders.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/text.h"
#include "tests/support/page_builder.h"
#include "tests/support/sha256.h"
#include "tests/support/sharepoint_builder.h"
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
                             "Repairing Site....  Отдел продаж", "Total  Documents Persent                       :  11",
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
