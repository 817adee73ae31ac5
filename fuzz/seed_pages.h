// The real data files as the seed writer reads them: whole files in memory, with their page access and the
// version flags their boot page gives.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace fuzzseed {

constexpr std::size_t kPageSize = 8192;

struct CorpusFile {
    std::string name;  // file name without extension
    std::vector<std::uint8_t> bytes;
    std::uint16_t version = 0;
    std::uint16_t created_version = 0;

    std::uint64_t PageCount() const { return bytes.size() / kPageSize; }
    std::vector<std::uint8_t> Page(std::uint64_t n) const {
        return {bytes.begin() + static_cast<std::ptrdiff_t>(n * kPageSize),
                bytes.begin() + static_cast<std::ptrdiff_t>((n + 1) * kPageSize)};
    }
    // Bit 0: torn-sector restoration (created by 2000), bit 1: 2005 catalogue, bit 2: converted from 2000.
    std::uint8_t Flags() const;
};

// Every *.mdf of the folder, sorted by name; empty when there is none.
std::vector<CorpusFile> LoadCorpus(const std::filesystem::path& dir);

inline std::uint16_t U16At(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}
inline std::uint32_t U32At(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint32_t>(U16At(b, at)) | (static_cast<std::uint32_t>(U16At(b, at + 2)) << 16);
}
inline std::uint8_t PageType(const std::vector<std::uint8_t>& page) { return page[1]; }
inline std::uint16_t SlotCount(const std::vector<std::uint8_t>& page) { return U16At(page, 22); }

}  // namespace fuzzseed
