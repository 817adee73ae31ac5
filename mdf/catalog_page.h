// Page and record facts that every catalogue reader shares: page types, header offsets, record status values.
// Kept apart so the scan, the system-table readers and the allocation walk use one definition of each.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "mdf/data_file.h"

namespace mdf {

constexpr std::uint16_t kPageTypeData = 0x0101;
constexpr std::uint16_t kPageTypeData2005 = 0x4101;  // data page, recognised by the 2005-and-later scan only
constexpr std::uint16_t kPageTypeIam = 0x0A01;

constexpr std::uint64_t kPageHeaderIndexIdOffset = 6;
constexpr std::uint64_t kPageHeaderSlotCountOffset = 22;
constexpr std::uint64_t kPageHeaderObjectIdOffset = 24;
constexpr std::uint32_t kRecordAreaStart = 96;
// No more slot entries fit between the page header and the page end.
constexpr std::uint32_t kMaxSlotEntries = (kPageSize - kRecordAreaStart) / 2;

// A slot entry that can hold a record's start: after the page header and inside the page. Entry 0 is an empty
// slot; anything else outside is an overwritten entry.
inline bool IsRecordOffset(std::uint32_t entry) { return entry >= kRecordAreaStart && entry < kPageSize; }
// How many of the n bytes of a read at page offset `at` lie on the page: fields of a record are read up to the
// page end and no further (the caller's buffer keeps zeros for the rest).
inline std::size_t BytesOnPage(std::uint64_t at, std::size_t n) {
    return at >= kPageSize ? 0 : static_cast<std::size_t>(std::min<std::uint64_t>(n, kPageSize - at));
}

inline bool IsGhostRecord(std::uint8_t status) { return status == 0x1C || status == 0x3C; }

// Status bytes of a live data record (primary or forwarded, with or without versioning tag).
inline bool IsLiveDataRecord(std::uint8_t status) {
    return status == 0x10 || status == 0x30 || status == 0x32 || status == 0x50 || status == 0x70 || status == 0x72;
}

}  // namespace mdf
