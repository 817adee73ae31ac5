// Where the real data files are: ../shared/corpus beside the project, or the folder named by
// BRINDLEMOOR_CORPUS. Tests that need them skip with a clear message when the folder is absent.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

struct CorpusEntry {
    std::string file;
    std::string sha256;
    std::uint64_t bytes = 0;
    std::uint16_t version = 0;
    std::uint16_t created_version = 0;
};

// The corpus folder, or nothing when it does not exist.
std::optional<std::filesystem::path> CorpusDir();
// The message a skipped test gives.
std::string CorpusMissingMessage();
// The rows of MANIFEST.tsv; empty when the corpus is absent.
std::vector<CorpusEntry> CorpusManifest();
// Lines of a text file, without line ends.
std::vector<std::string> ReadLines(const std::filesystem::path& path);
std::vector<std::string> SplitTabs(const std::string& line);

}  // namespace testsupport

#define BM_REQUIRE_CORPUS()                                                \
    do {                                                                   \
        if (!::testsupport::CorpusDir()) {                                 \
            GTEST_SKIP() << ::testsupport::CorpusMissingMessage();         \
        }                                                                  \
    } while (0)
