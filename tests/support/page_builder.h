// Writes data files from code: pages with chosen header fields, records and slot arrays, torn bits and sector
// damage, and the boot page with its version words. Tests use it for what no real file shows.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <span>
#include <string>
#include <vector>

namespace testsupport {

constexpr std::size_t kPageSize = 8192;
using PageBytes = std::array<std::uint8_t, kPageSize>;

// Page type words as they stand at page offset 0.
constexpr std::uint16_t kDataPage = 0x0101;
constexpr std::uint16_t kIamPage = 0x0A01;

class PageBuilder {
public:
    PageBuilder() { bytes_.fill(0); }

    PageBuilder& Type(std::uint16_t type_word) { return U16(0, type_word); }
    PageBuilder& IndexId(std::uint16_t index_id) { return U16(6, index_id); }
    PageBuilder& SlotCount(std::uint16_t count) { return U16(22, count); }
    PageBuilder& ObjectId(std::uint32_t object_id) { return U32(24, object_id); }
    PageBuilder& TornBits(std::array<std::uint8_t, 4> bits);
    // Slot k's entry in the slot array (page offset 8190 - 2k); does not change the slot count.
    PageBuilder& Slot(int k, std::uint16_t record_offset) { return U16(kPageSize - 2 - 2 * k, record_offset); }

    PageBuilder& U8(std::size_t offset, std::uint8_t v);
    PageBuilder& U16(std::size_t offset, std::uint16_t v);
    PageBuilder& U32(std::size_t offset, std::uint32_t v);
    PageBuilder& U64(std::size_t offset, std::uint64_t v);
    PageBuilder& Bytes(std::size_t offset, std::span<const std::uint8_t> data);

    // Places a record at the next free offset (from 96 on), gives it the next slot and raises the slot count;
    // returns the record's page offset.
    std::uint16_t AddRecord(std::span<const std::uint8_t> record);
    std::uint16_t AddRecord(std::initializer_list<std::uint8_t> record) {
        return AddRecord(std::span<const std::uint8_t>(record.begin(), record.size()));
    }

    // Torn-page protection as the server writes it: the low two bits of the last byte of sectors 1 to 15 are
    // saved in the torn bits and replaced by `pattern` (0 to 3). Reading with restoration gives back the page
    // as it was before this call.
    PageBuilder& Tear(std::uint8_t pattern = 0);

    std::uint16_t FreeOffset() const { return free_offset_; }
    const PageBytes& Build() const { return bytes_; }

private:
    PageBytes bytes_{};
    std::uint16_t free_offset_ = 96;
    std::uint16_t slot_count_ = 0;
};

// A whole data file: pages by number (missing pages are zeros), then written to disk.
class FileBuilder {
public:
    FileBuilder& SetPage(std::uint64_t page_number, const PageBytes& page);
    FileBuilder& SetPage(std::uint64_t page_number, const PageBuilder& page) { return SetPage(page_number, page.Build()); }
    // The boot page's version words (page 9, offsets 100 and 102); a boot page without a header gets one.
    FileBuilder& BootVersion(std::uint16_t current, std::uint16_t created);
    // At least this many pages, even if the last ones are zeros.
    FileBuilder& PageCount(std::uint64_t count);
    // A page free space (PFS) page at page 1 that marks every page set so far allocated and the others free,
    // as the server keeps it (files of up to 8,088 pages).
    FileBuilder& FreeSpacePage();
    // Extra bytes after the last whole page (a partial trailing page).
    FileBuilder& TrailingBytes(std::size_t count) { trailing_bytes_ = count; return *this; }

    std::vector<std::uint8_t> Bytes() const;
    void WriteTo(const std::filesystem::path& path) const;
    // The pages set so far, by number.
    const std::map<std::uint64_t, PageBytes>& Pages() const { return pages_; }

private:
    std::map<std::uint64_t, PageBytes> pages_;
    std::uint64_t page_count_ = 0;
    std::size_t trailing_bytes_ = 0;
};

// A file in a fresh temporary folder, removed with the folder when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Little-endian bytes of a value, for building records inline.
std::vector<std::uint8_t> LE16(std::uint16_t v);
std::vector<std::uint8_t> LE32(std::uint32_t v);
std::vector<std::uint8_t> LE64(std::uint64_t v);
std::vector<std::uint8_t> Utf16Le(std::u16string_view text);
// "30 00 08 00" -> bytes; blanks are ignored.
std::vector<std::uint8_t> FromHex(std::string_view hex);

}  // namespace testsupport
