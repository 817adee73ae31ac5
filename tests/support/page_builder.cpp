// The page and file builders used by tests to write data files.
#include "tests/support/page_builder.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <random>
#include <stdexcept>

namespace testsupport {

PageBuilder& PageBuilder::TornBits(std::array<std::uint8_t, 4> bits) {
    std::memcpy(bytes_.data() + 60, bits.data(), 4);
    return *this;
}

PageBuilder& PageBuilder::U8(std::size_t offset, std::uint8_t v) {
    bytes_.at(offset) = v;
    return *this;
}
PageBuilder& PageBuilder::U16(std::size_t offset, std::uint16_t v) {
    for (int i = 0; i < 2; ++i) bytes_.at(offset + i) = static_cast<std::uint8_t>(v >> (8 * i));
    return *this;
}
PageBuilder& PageBuilder::U32(std::size_t offset, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes_.at(offset + i) = static_cast<std::uint8_t>(v >> (8 * i));
    return *this;
}
PageBuilder& PageBuilder::U64(std::size_t offset, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) bytes_.at(offset + i) = static_cast<std::uint8_t>(v >> (8 * i));
    return *this;
}
PageBuilder& PageBuilder::Bytes(std::size_t offset, std::span<const std::uint8_t> data) {
    if (offset + data.size() > kPageSize) throw std::out_of_range("PageBuilder::Bytes past the page end");
    std::memcpy(bytes_.data() + offset, data.data(), data.size());
    return *this;
}

std::uint16_t PageBuilder::AddRecord(std::span<const std::uint8_t> record) {
    const std::uint16_t at = free_offset_;
    if (at + record.size() > kPageSize - 2 * (slot_count_ + 1)) throw std::out_of_range("page is full");
    Bytes(at, record);
    Slot(slot_count_, at);
    ++slot_count_;
    SlotCount(slot_count_);
    free_offset_ = static_cast<std::uint16_t>(at + record.size());
    return at;
}

PageBuilder& PageBuilder::Tear(std::uint8_t pattern) {
    std::array<std::uint8_t, 4> torn{};
    for (int s = 1; s < 16; ++s) {
        std::uint8_t& last = bytes_[512 * s + 511];
        torn[s / 4] |= static_cast<std::uint8_t>((last & 3) << (2 * (s % 4)));
        last = static_cast<std::uint8_t>((last & 0xFC) | (pattern & 3));
    }
    return TornBits(torn);
}

FileBuilder& FileBuilder::SetPage(std::uint64_t page_number, const PageBytes& page) {
    pages_[page_number] = page;
    if (page_number + 1 > page_count_) page_count_ = page_number + 1;
    return *this;
}

FileBuilder& FileBuilder::BootVersion(std::uint16_t current, std::uint16_t created) {
    PageBytes boot{};
    if (auto it = pages_.find(9); it != pages_.end()) boot = it->second;
    boot[100] = static_cast<std::uint8_t>(current);
    boot[101] = static_cast<std::uint8_t>(current >> 8);
    boot[102] = static_cast<std::uint8_t>(created);
    boot[103] = static_cast<std::uint8_t>(created >> 8);
    // The header of a boot page (version 1, page type 13), as every data file has one.
    if (boot[0] == 0 && boot[1] == 0) {
        boot[0] = 1;
        boot[1] = 13;
    }
    return SetPage(9, boot);
}

FileBuilder& FileBuilder::FreeSpacePage() {
    constexpr std::size_t kPagesPerPfs = 8088;
    std::vector<std::uint8_t> record(4 + kPagesPerPfs, 0);
    record[2] = static_cast<std::uint8_t>(record.size());
    record[3] = static_cast<std::uint8_t>(record.size() >> 8);
    record[4 + 1] = 0x40;  // the PFS page itself
    for (const auto& [number, page] : pages_) {
        if (number < kPagesPerPfs) record[4 + number] = 0x40;  // allocated
    }
    PageBuilder pfs;
    pfs.Type(0x0B01);
    pfs.AddRecord(record);
    return SetPage(1, pfs);
}

FileBuilder& FileBuilder::PageCount(std::uint64_t count) {
    if (count > page_count_) page_count_ = count;
    return *this;
}

std::vector<std::uint8_t> FileBuilder::Bytes() const {
    std::vector<std::uint8_t> out(page_count_ * kPageSize + trailing_bytes_, 0);
    for (const auto& [number, page] : pages_) {
        std::uint8_t* at = out.data() + number * kPageSize;
        std::memcpy(at, page.data(), kPageSize);
        // A page with a header carries its own number and file 1, as the server writes them, unless the test
        // gave it others.
        if (at[0] == 1 && std::all_of(at + 32, at + 38, [](std::uint8_t b) { return b == 0; })) {
            for (int k = 0; k < 4; ++k) at[32 + k] = static_cast<std::uint8_t>(number >> (8 * k));
            at[36] = 1;
        }
    }
    return out;
}

void FileBuilder::WriteTo(const std::filesystem::path& path) const {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot write " + path.string());
    const auto bytes = Bytes();
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("write failed: " + path.string());
}

TempDir::TempDir() {
    std::random_device rd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate = std::filesystem::temp_directory_path() / ("brindlemoor-test-" + std::to_string(rd()));
        std::error_code ec;
        if (std::filesystem::create_directory(candidate, ec)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::vector<std::uint8_t> LE16(std::uint16_t v) { return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)}; }
std::vector<std::uint8_t> LE32(std::uint32_t v) {
    return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v >> 16),
            static_cast<std::uint8_t>(v >> 24)};
}
std::vector<std::uint8_t> LE64(std::uint64_t v) {
    std::vector<std::uint8_t> out(8);
    for (int i = 0; i < 8; ++i) out[i] = static_cast<std::uint8_t>(v >> (8 * i));
    return out;
}
std::vector<std::uint8_t> Utf16Le(std::u16string_view text) {
    std::vector<std::uint8_t> out;
    for (char16_t c : text) {
        out.push_back(static_cast<std::uint8_t>(c));
        out.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return out;
}
std::vector<std::uint8_t> FromHex(std::string_view hex) {
    std::vector<std::uint8_t> out;
    int nibble = -1;
    for (char c : hex) {
        int v;
        if (c >= '0' && c <= '9') v = c - '0';
        else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
        else continue;
        if (nibble < 0) {
            nibble = v;
        } else {
            out.push_back(static_cast<std::uint8_t>(nibble * 16 + v));
            nibble = -1;
        }
    }
    return out;
}

}  // namespace testsupport
