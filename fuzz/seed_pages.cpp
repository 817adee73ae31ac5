// Loading the real data files for the seed writer.
#include "fuzz/seed_pages.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace fuzzseed {

std::uint8_t CorpusFile::Flags() const {
    std::uint8_t flags = 0;
    if (created_version < 611) flags |= 1;
    if (version >= 611) flags |= 2;
    if (version >= 611 && created_version < 611) flags |= 4;
    return flags;
}

std::vector<CorpusFile> LoadCorpus(const std::filesystem::path& dir) {
    std::vector<CorpusFile> files;
    std::error_code ec;
    if (!std::filesystem::is_directory(dir, ec)) return files;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        if (entry.path().extension() != ".mdf") continue;
        CorpusFile f;
        f.name = entry.path().stem().string();
        std::ifstream in(entry.path(), std::ios::binary);
        f.bytes.assign(std::istreambuf_iterator<char>(in), {});
        f.bytes.resize(f.bytes.size() / kPageSize * kPageSize);
        if (f.bytes.size() < 10 * kPageSize) continue;
        f.version = U16At(f.bytes, 9 * kPageSize + 100);
        f.created_version = U16At(f.bytes, 9 * kPageSize + 102);
        files.push_back(std::move(f));
    }
    std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    return files;
}

}  // namespace fuzzseed
