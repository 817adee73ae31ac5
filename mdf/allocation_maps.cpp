// The GAM and PFS pages as the scan keeps them, and the page tests that go with them.
#include "mdf/allocation_maps.h"

#include <algorithm>
#include <array>

#include "mdf/catalog_page.h"
#include "mdf/page_check.h"

namespace mdf {

namespace {

constexpr std::size_t kGamBitmapOffset = 4;  // in the bitmap record (slot 1), after the record header
constexpr std::size_t kGamBitmapBytes = kGamIntervalPages / 8 / 8;
constexpr std::size_t kPfsBytesOffset = 4;  // in the PFS record (slot 0)
constexpr std::uint8_t kPfsAllocated = 0x40;

std::uint16_t U16(std::span<const std::uint8_t> page, std::size_t at) {
    return static_cast<std::uint16_t>(page[at] | (page[at + 1] << 8));
}

std::uint32_t U32(std::span<const std::uint8_t> page, std::size_t at) {
    return static_cast<std::uint32_t>(U16(page, at)) | (static_cast<std::uint32_t>(U16(page, at + 2)) << 16);
}

// The bytes of the record in the given slot from `skip` on, n of them, when the page holds them all.
std::span<const std::uint8_t> SlotBytes(std::span<const std::uint8_t> page, unsigned slot, std::size_t skip,
                                        std::size_t n) {
    if (page.size() < kPageSize || U16(page, kPageHeaderSlotCountOffset) <= slot) return {};
    const std::uint16_t e = U16(page, kPageSize - 2 - 2 * slot);
    if (!IsRecordOffset(e) || e + skip + n > kPageSize - 2 * (slot + 1)) return {};
    return page.subspan(e + skip, n);
}

}  // namespace

void AllocationMaps::Clear() {
    gam_.clear();
    pfs_.clear();
}

bool AllocationMaps::Take(std::uint64_t page_number, std::span<const std::uint8_t> as_read) {
    if (as_read.size() < kPageSize || !IsSoundPageHeader(as_read, page_number)) return false;
    if (as_read[1] != kPageTypeByteGam && as_read[1] != kPageTypeBytePfs) return false;
    // A page written with torn-page protection has the last two bits of every sector but the first in its
    // torn bits: put them back before the bitmap is read.
    std::array<std::uint8_t, kPageSize> restored;
    std::copy_n(as_read.begin(), kPageSize, restored.begin());
    if (U16(as_read, kPageFlagsOffset) & kPageFlagTornBits) {
        for (std::size_t sector = 1; sector < kPageSize / kSectorSize; ++sector) {
            const std::uint8_t bits = (as_read[kPageChecksumOffset + sector / 4] >> (2 * (sector % 4))) & 3;
            std::uint8_t& last = restored[sector * kSectorSize + kSectorSize - 1];
            last = static_cast<std::uint8_t>((last & 0xFC) | bits);
        }
    }
    const std::span<const std::uint8_t> page(restored);
    if (page[1] == kPageTypeByteGam && page_number % kGamIntervalPages == 2) {
        const auto bitmap = SlotBytes(page, 1, kGamBitmapOffset, kGamBitmapBytes);
        if (bitmap.empty()) return false;
        const auto interval = static_cast<std::size_t>(page_number / kGamIntervalPages);
        if (gam_.size() <= interval) gam_.resize(interval + 1);
        gam_[interval].assign(bitmap.begin(), bitmap.end());
        return true;
    }
    // The first PFS page is page 1; the others start their interval.
    const bool pfs_place = page_number == 1 || (page_number != 0 && page_number % kPfsIntervalPages == 0);
    if (page[1] == kPageTypeBytePfs && pfs_place) {
        const auto bytes = SlotBytes(page, 0, kPfsBytesOffset, kPfsIntervalPages);
        if (bytes.empty()) return false;
        const auto interval = static_cast<std::size_t>(page_number / kPfsIntervalPages);
        if (pfs_.size() <= interval) pfs_.resize(interval + 1);
        pfs_[interval].assign(bytes.begin(), bytes.end());
        return true;
    }
    return false;
}

bool AllocationMaps::ExtentFree(std::uint64_t page_number) const {
    const auto interval = static_cast<std::size_t>(page_number / kGamIntervalPages);
    if (interval >= gam_.size() || gam_[interval].empty()) return false;
    const std::uint64_t extent = (page_number % kGamIntervalPages) / 8;
    return (gam_[interval][static_cast<std::size_t>(extent / 8)] >> (extent % 8)) & 1;
}

std::optional<bool> AllocationMaps::PageAllocated(std::uint64_t page_number) const {
    const auto interval = static_cast<std::size_t>(page_number / kPfsIntervalPages);
    if (interval >= pfs_.size() || pfs_[interval].empty()) return std::nullopt;
    return (pfs_[interval][static_cast<std::size_t>(page_number % kPfsIntervalPages)] & kPfsAllocated) != 0;
}

std::optional<std::uint64_t> AllocationMaps::LastAllocatedPage() const {
    std::optional<std::uint64_t> last;
    for (std::size_t interval = 0; interval < pfs_.size(); ++interval) {
        const auto& bytes = pfs_[interval];
        for (std::size_t k = bytes.size(); k-- > 0;) {
            if (!(bytes[k] & kPfsAllocated)) continue;
            last = std::max(last.value_or(0), interval * kPfsIntervalPages + k);
            break;
        }
    }
    for (std::size_t interval = 0; interval < gam_.size(); ++interval) {
        const auto& bitmap = gam_[interval];
        for (std::size_t extent = bitmap.size() * 8; extent-- > 0;) {
            if ((bitmap[extent / 8] >> (extent % 8)) & 1) continue;  // free
            last = std::max(last.value_or(0), interval * kGamIntervalPages + extent * 8 + 7);
            break;
        }
    }
    return last;
}

bool IsSoundPageHeader(std::span<const std::uint8_t> page, std::uint64_t page_number) {
    if (page.size() < kPageHeaderPageIdOffset + 4 || page[0] != 1) return false;
    // Page types the server writes: data, index, text, sort, the allocation pages, boot and file header pages,
    // the change maps; and the second form of the data page type word.
    const std::uint8_t type = page[1];
    if (!((type >= 1 && type <= 4) || (type >= 7 && type <= 20) || type == (kPageTypeData2005 >> 8))) return false;
    return U32(page, kPageHeaderPageIdOffset) == page_number;
}

namespace {

// The number of bytes of the live record at e, from its own fields; 0 when they run off the page.
std::size_t LiveRecordLength(std::span<const std::uint8_t> page, std::size_t e) {
    if (e + 4u > kPageSize) return 0;
    const std::uint8_t status = page[e];
    std::size_t end = U16(page, e + 2u);
    if (end < 4) return 0;
    if (status & 0x10) {
        if (e + end + 2 > kPageSize) return 0;
        end += 2 + (U16(page, e + end) + 7u) / 8u;
    }
    if (status & 0x20) {
        if (e + end + 2 > kPageSize) return 0;
        const std::uint16_t m = U16(page, e + end);
        const std::size_t table = end + 2;
        end = table + 2u * m;
        if (m > 0) {
            if (e + end > kPageSize) return 0;
            const std::size_t last = U16(page, e + table + 2u * (m - 1u)) & 0x7FFF;
            if (last < end) return 0;
            end = last;
        }
    }
    if (e + end > kPageSize) return 0;
    return end;
}

// The usual page: slots list their records in ascending order. Then two slots share a record only if two
// offsets are equal, and live records overlap only if one starts before the end of those before it. Returns
// false as soon as the order breaks, for the general check below.
// The live records are counted on the way; the count is whole only when the check ran to the last slot.
bool CheckAscendingSlots(std::span<const std::uint8_t> page, std::size_t count, SlotFault& fault,
                         std::uint32_t& live) {
    std::size_t previous = 0;
    bool first = true;
    std::size_t live_end = 0;
    bool overlap = false;
    for (std::size_t k = 0; k < count; ++k) {
        const std::uint16_t e = U16(page, kPageSize - 2 - 2 * k);
        if (!IsRecordOffset(e)) continue;
        if (!first && e <= previous) {
            if (e == previous) {
                fault = SlotFault::SharedRecord;
                return true;
            }
            return false;
        }
        first = false;
        previous = e;
        if (!IsLiveDataRecord(page[e])) continue;
        ++live;
        if (overlap) continue;
        const std::size_t length = LiveRecordLength(page, e);
        if (length == 0) continue;
        if (e < live_end) overlap = true;
        live_end = std::max(live_end, e + length);
    }
    fault = overlap ? SlotFault::OverlappingRecords : SlotFault::None;
    return true;
}

// The slots inside the record area that list a live data record.
std::uint32_t LiveSlots(std::span<const std::uint8_t> page) {
    const std::size_t count = std::min<std::size_t>(U16(page, kPageHeaderSlotCountOffset), kMaxSlotEntries);
    std::uint32_t live = 0;
    for (std::size_t k = 0; k < count; ++k) {
        const std::uint16_t e = U16(page, kPageSize - 2 - 2 * k);
        if (IsRecordOffset(e) && IsLiveDataRecord(page[e])) ++live;
    }
    return live;
}

}  // namespace

std::array<std::uint8_t, kPageSize> RestoredPage(std::span<const std::uint8_t> page) {
    std::array<std::uint8_t, kPageSize> restored{};
    std::copy_n(page.begin(), std::min(page.size(), kPageSize), restored.begin());
    if (page.size() < kPageSize || !(U16(page, kPageFlagsOffset) & kPageFlagTornBits)) return restored;
    for (std::size_t sector = 1; sector < kPageSize / kSectorSize; ++sector) {
        const std::uint8_t bits = (page[kPageChecksumOffset + sector / 4] >> (2 * (sector % 4))) & 3;
        std::uint8_t& last = restored[sector * kSectorSize + kSectorSize - 1];
        last = static_cast<std::uint8_t>((last & 0xFC) | bits);
    }
    return restored;
}

std::uint32_t CountLiveSlots(std::span<const std::uint8_t> page) {
    if (page.size() < kPageSize) return 0;
    if (!(U16(page, kPageFlagsOffset) & kPageFlagTornBits)) return LiveSlots(page);
    return LiveSlots(RestoredPage(page));
}

SlotFault CheckSlots(std::span<const std::uint8_t> page, std::uint32_t* live_records) {
    if (page.size() < kPageSize) {
        if (live_records) *live_records = 0;
        return SlotFault::None;
    }
    const std::size_t count = std::min<std::size_t>(U16(page, kPageHeaderSlotCountOffset), kMaxSlotEntries);
    std::uint32_t live = 0;
    SlotFault fault = SlotFault::None;
    const bool ascending = CheckAscendingSlots(page, count, fault, live);
    if (ascending && fault != SlotFault::SharedRecord) {
        if (live_records) *live_records = live;
        return fault;
    }
    // The check stopped short of the last slot: the records are counted on their own.
    if (live_records) *live_records = LiveSlots(page);
    if (ascending) return fault;
    // Bits per page byte: the record starts met so far, and the bytes the live records met so far cover. The
    // page is looked at as the scan reads it, so this stays at a few word operations per record.
    constexpr std::size_t kWords = kPageSize / 64;
    std::array<std::uint64_t, kWords> starts{};
    std::array<std::uint64_t, kWords> covered{};
    bool overlap = false;
    for (std::size_t k = 0; k < count; ++k) {
        const std::uint16_t e = U16(page, kPageSize - 2 - 2 * k);
        if (!IsRecordOffset(e)) continue;
        std::uint64_t& start_word = starts[e / 64];
        const std::uint64_t start_bit = std::uint64_t{1} << (e % 64);
        if (start_word & start_bit) return SlotFault::SharedRecord;
        start_word |= start_bit;
        if (overlap || !IsLiveDataRecord(page[e])) continue;
        // The record's length from its own fields; a record whose fields run off the page is left out.
        const std::size_t end = LiveRecordLength(page, e);
        if (end == 0) continue;
        // Bytes e to e + end - 1, a word at a time.
        for (std::size_t from = e, to = e + end; from < to;) {
            const std::size_t word = from / 64, bit = from % 64;
            const std::size_t n = std::min<std::size_t>(64 - bit, to - from);
            const std::uint64_t mask = (n == 64 ? ~std::uint64_t{0} : ((std::uint64_t{1} << n) - 1)) << bit;
            if (covered[word] & mask) overlap = true;
            covered[word] |= mask;
            from += n;
        }
    }
    return overlap ? SlotFault::OverlappingRecords : SlotFault::None;
}

const char* SlotFaultText(SlotFault fault) {
    switch (fault) {
        case SlotFault::SharedRecord: return "two slots list one record";
        case SlotFault::OverlappingRecords: return "records overlap";
        case SlotFault::None: break;
    }
    return "";
}

}  // namespace mdf
