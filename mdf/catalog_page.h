// Page and record facts that every catalogue reader shares: page types, header offsets, record status values.
// Kept apart so the scan, the system-table readers and the allocation walk use one definition of each.
#pragma once

#include <cstdint>

namespace mdf {

constexpr std::uint16_t kPageTypeData = 0x0101;
constexpr std::uint16_t kPageTypeData2005 = 0x4101;  // data page, recognised by the 2005-and-later scan only
constexpr std::uint16_t kPageTypeIam = 0x0A01;

constexpr std::uint64_t kPageHeaderIndexIdOffset = 6;
constexpr std::uint64_t kPageHeaderSlotCountOffset = 22;
constexpr std::uint64_t kPageHeaderObjectIdOffset = 24;
constexpr std::uint32_t kRecordAreaStart = 96;
// No more slot entries fit between the page header and the page end.
constexpr std::uint32_t kMaxSlotEntries = (8192 - 96) / 2;

inline bool IsGhostRecord(std::uint8_t status) { return status == 0x1C || status == 0x3C; }

// Status bytes of a live data record (primary or forwarded, with or without versioning tag).
inline bool IsLiveDataRecord(std::uint8_t status) {
    return status == 0x10 || status == 0x30 || status == 0x32 || status == 0x50 || status == 0x70 || status == 0x72;
}

}  // namespace mdf
