// Locating the corpus and reading its manifest.
#include "tests/support/corpus.h"

#include <cstdlib>
#include <fstream>

namespace testsupport {

namespace {
std::filesystem::path CorpusCandidate() {
    if (const char* env = std::getenv("BRINDLEMOOR_CORPUS"); env && *env) return env;
    return BRINDLEMOOR_DEFAULT_CORPUS;
}
}  // namespace

std::optional<std::filesystem::path> CorpusDir() {
    auto dir = CorpusCandidate();
    std::error_code ec;
    if (std::filesystem::is_regular_file(dir / "MANIFEST.tsv", ec)) return dir;
    return std::nullopt;
}

std::string CorpusMissingMessage() {
    return "corpus not found at " + CorpusCandidate().string() +
           " (set BRINDLEMOOR_CORPUS to the folder of real data files)";
}

std::vector<std::string> ReadLines(const std::filesystem::path& path) {
    std::vector<std::string> lines;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields;
    std::string::size_type start = 0;
    while (true) {
        auto tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos) break;
        start = tab + 1;
    }
    return fields;
}

std::vector<CorpusEntry> CorpusManifest() {
    std::vector<CorpusEntry> entries;
    auto dir = CorpusDir();
    if (!dir) return entries;
    bool header = true;
    for (const auto& line : ReadLines(*dir / "MANIFEST.tsv")) {
        if (header) {
            header = false;
            continue;
        }
        auto f = SplitTabs(line);
        if (f.size() < 5) continue;
        entries.push_back({f[0], f[1], std::stoull(f[2]), static_cast<std::uint16_t>(std::stoul(f[3])),
                           static_cast<std::uint16_t>(std::stoul(f[4]))});
    }
    return entries;
}

}  // namespace testsupport
