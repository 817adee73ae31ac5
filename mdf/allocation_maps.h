// What the file's own allocation pages say about each page, kept from the whole-file scan: the global
// allocation map (GAM: which extents are free) and the page free space pages (PFS: which pages are allocated).
// Also the page tests that go with them: whether a page carries a sound header, and whether the records that a
// data page's slot array lists are apart from one another.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "mdf/data_file.h"

namespace mdf {

// Pages covered by one GAM page (63,904 extents of 8 pages) and by one PFS page.
constexpr std::uint64_t kGamIntervalPages = 511232;
constexpr std::uint64_t kPfsIntervalPages = 8088;

constexpr std::uint8_t kPageTypeByteGam = 8;
constexpr std::uint8_t kPageTypeByteSgam = 9;
constexpr std::uint8_t kPageTypeBytePfs = 11;
constexpr std::size_t kPageHeaderPageIdOffset = 32;

class AllocationMaps {
public:
    void Clear();
    // Takes the page at page_number when it is the GAM or PFS page of its interval with a readable bitmap;
    // other pages are left alone. True when the page was taken.
    bool Take(std::uint64_t page_number, std::span<const std::uint8_t> page);
    // Whether the GAM marks the page's extent free; false when no sound GAM page covers it.
    bool ExtentFree(std::uint64_t page_number) const;
    // Whether the PFS marks the page allocated; nothing when no sound PFS page covers it.
    std::optional<bool> PageAllocated(std::uint64_t page_number) const;
    // The last page the allocation pages name as in use: the last page a PFS marks allocated, or the last page
    // of the last extent a GAM marks allocated. Nothing when no sound allocation page names one.
    std::optional<std::uint64_t> LastAllocatedPage() const;

private:
    std::vector<std::vector<std::uint8_t>> gam_;  // per interval: the bitmap (bit set = extent free), or empty
    std::vector<std::vector<std::uint8_t>> pfs_;  // per interval: one byte per page, or empty
};

// A page header as the server writes it: header version 1, a page type it uses, and the page's own number in
// its page id. Garbage (old bytes in a free extent, a zeroed page, a page written to the wrong place) is not.
// Needs the page's first 36 bytes at least.
bool IsSoundPageHeader(std::span<const std::uint8_t> page, std::uint64_t page_number);

enum class SlotFault : std::uint8_t { None, SharedRecord, OverlappingRecords };

// Whether two slots of the data page list one record, or two live records overlap (their lengths taken from
// their own fixed-part end, null bitmap and variable-column offsets). Only slots inside the record area count.
// With live_records, the slots inside the record area that list a live data record are counted as well, in
// the same pass over the slot array.
SlotFault CheckSlots(std::span<const std::uint8_t> page, std::uint32_t* live_records = nullptr);

// The slots inside the record area that list a live data record; a page written with torn-page protection is
// counted as it was before its sector ends were stamped.
std::uint32_t CountLiveSlots(std::span<const std::uint8_t> page);

// A whole page as it was before its sector ends were stamped, when its header says it carries torn bits;
// unchanged otherwise.
std::array<std::uint8_t, kPageSize> RestoredPage(std::span<const std::uint8_t> page);

// "two slots list one record", "records overlap"; empty for None.
const char* SlotFaultText(SlotFault fault);

}  // namespace mdf
