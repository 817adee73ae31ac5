// The catalogue rows that describe keys and indexes, as the key readers take them apart, and the bounds that
// keep their reads on the record's own page. Parsers are pure functions over the bytes the readers read.
//
// sysidxstats row (2005+), offsets from the record start:
//   4 object id (32) | 8 index id (32) | 12 status byte 0 | 13 status byte 1 | 20 fill factor |
//   45 end offset of the name (16) | 47.. name, UTF-16 (two bytes of null bitmap before the offset array).
// sysiscols row (2005+):
//   2 fixed-part end (26; 27 in files of version 706) | 4 object id | 8 index id | 12 index column id | 16 column
//   status (low byte 7 descending key column, 18 included column) | 20 column id | 24 key ordinal (16, 1-based; 0 for
//   columns that are not key columns).
// sysindexes row (2000):
//   2 fixed-part end (82) | 4 object id | 8 status (32) | 18 index id (16) | 28 key count (16) |
//   62 fill factor | 90 end of the keys field | 92 end of the name | 96.. keys field, one 32-byte entry per key
//   (entry bytes 16-17 column id, 30-31 flags: 4 descending; an entry with flags mod 4 != 0 is not a key
//   column) | end of keys .. end of name: the name, UTF-16.
#pragma once

#include <cstdint>
#include <functional>
#include <list>
#include <span>
#include <string>
#include <vector>

#include "mdf/catalog_records.h"

namespace mdf {

class CRecoveryEngine;

// An index has at most 32 key columns; a larger key ordinal is damage, and growing a key to it would fill the
// key with thousands of empty columns.
constexpr std::uint16_t kMaxKeyOrdinal = 32;

constexpr std::uint8_t kIndexColumnFixedEnd = 26;
constexpr std::uint8_t kIndexColumnFixedEndLong = 27;  // files of version 706: one more fixed byte, same fields
inline bool IsIndexColumnFixedEnd(std::uint8_t fixed_end) {
    return fixed_end == kIndexColumnFixedEnd || fixed_end == kIndexColumnFixedEndLong;
}
constexpr std::uint8_t kIndexColumnDescending = 7;
constexpr std::uint8_t kIndexColumnIncluded = 18;
constexpr std::uint8_t kIndexRowFixedEnd2000 = 82;

constexpr std::uint32_t kIndexNameEndOffset = 45;
constexpr std::uint32_t kIndexNameStart = 47;
constexpr std::uint32_t kKeysEndOffset2000 = 90;
constexpr std::uint32_t kNameEndOffset2000 = 92;
constexpr std::uint32_t kKeysStart2000 = 96;
constexpr std::uint32_t kKeyEntrySize2000 = 32;

// Bytes 1..25 of a sysidxstats row (the largest read the readers make of its fixed part).
struct IndexStatsRow {
    std::int32_t m_nObjectId = 0;
    std::uint32_t m_nIndexId = 0;
    std::uint8_t m_nStatus0 = 0;
    std::uint8_t m_nStatus1 = 0;
    std::uint8_t m_nFillFactor = 0;
};
constexpr std::uint32_t kIndexStatsReadAt = 1;
constexpr std::size_t kIndexStatsReadSize = 25;
// bytes: the row from record offset 1; fields beyond bytes.size() read as 0.
IndexStatsRow ParseIndexStatsRow(std::span<const std::uint8_t> bytes);

// Bytes 2..25 of a sysiscols row.
struct IndexColumnRow {
    std::uint8_t m_nFixedEnd = 0;
    std::int32_t m_nObjectId = 0;
    std::uint32_t m_nIndexId = 0;
    std::uint32_t m_nIndexColumnId = 0;
    std::uint32_t m_nStatus = 0;
    std::uint32_t m_nColumnId = 0;
    std::uint16_t m_nOrdinal = 0;
    std::uint8_t StatusByte() const { return m_nStatus & 0xFF; }
    // A key column: the ordinal's low byte is set.
    bool IsKeyColumn() const { return (m_nOrdinal & 0xFF) != 0; }
};
constexpr std::uint32_t kIndexColumnReadAt = 2;
constexpr std::size_t kIndexColumnReadSize = 24;
IndexColumnRow ParseIndexColumnRow(std::span<const std::uint8_t> bytes);

// Bytes 4..71 of a sysindexes row.
struct IndexRow2000 {
    std::int32_t m_nObjectId = 0;
    std::uint32_t m_nStatus = 0;
    std::uint16_t m_nIndexId = 0;
    std::uint16_t m_nKeyCount = 0;
    std::uint8_t m_nFillFactor = 0;
};
constexpr std::uint32_t kIndexRow2000ReadAt = 4;
constexpr std::size_t kIndexRow2000ReadSize = 68;
IndexRow2000 ParseIndexRow2000(std::span<const std::uint8_t> bytes);

// The record area of a page: records lie between the page header and the slot array. A slot count larger
// than a page can hold leaves the end at the page end.
std::uint32_t RecordAreaEnd(std::uint64_t slot_count);
// True when `size` bytes from the record's page offset lie inside the record area.
inline bool RecordHolds(std::uint32_t record_in_page, std::uint32_t size, std::uint32_t area_end) {
    return record_in_page >= 96 && record_in_page < area_end && size <= area_end - record_in_page;
}

// The first table with the object id, or null.
TableNode* FindFirstTable(std::list<TableNode>& tables, std::int32_t object_id);

// The name of the sysidxstats row at page + entry; empty when its end offset lies outside the record area.
std::u16string ReadIndexStatsName(CRecoveryEngine& engine, std::uint64_t page, std::uint32_t entry,
                                  std::uint32_t area_end);

// The keys field and the name of the sysindexes row at page + entry. A keys field that starts after its end
// or ends outside the record area holds no entries; a name that does so is empty.
struct KeysField2000 {
    std::uint32_t m_nEntries = 0;  // whole 32-byte entries inside the keys field
    std::u16string m_strName;
};
KeysField2000 ReadKeysField2000(CRecoveryEngine& engine, std::uint64_t page, std::uint32_t entry,
                                std::uint32_t area_end);
struct KeyEntry2000 {
    std::uint16_t m_nColumnId = 0;
    std::uint16_t m_nFlags = 0;
};
// Entry k of the keys field of the record at `record` (file offset).
KeyEntry2000 ReadKeyEntry2000(CRecoveryEngine& engine, std::uint64_t record, std::uint32_t k);

// Where a catalogue row lies: its page, its slot entry (the record's offset in the page) and the end of the
// page's record area.
struct CatalogRowPlace {
    std::uint64_t m_nPage = 0;
    std::uint32_t m_nEntry = 0;
    std::uint32_t m_nAreaEnd = 0;
    std::uint64_t Record() const { return m_nPage + m_nEntry; }
};

// Walks the sysidxstats pages (the engine's m_plIndexStats) for the 2005-and-later key readers, with a progress
// step per page: loads each page's torn bits in files created on 2000, and calls visit for every live row
// whose fixed part up to the name lies inside the record area. False when the user stopped the job.
bool WalkIndexStatsRows(CRecoveryEngine& engine,
                        const std::function<void(const CatalogRowPlace&, const IndexStatsRow&)>& visit);

// Walks the sysindexes pages (the engine's m_plIndexes) of a 2000 file for the key readers, with a progress
// step per page: loads each page's torn bits, and calls visit for every live row whose fixed part ends at 82
// and whose keys field starts inside the record area. False when the user stopped the job.
bool WalkIndexRows2000(CRecoveryEngine& engine,
                       const std::function<void(const CatalogRowPlace&, const IndexRow2000&)>& visit);

// Walks the sysiscols pages (the engine's m_plIndexes) for the key readers: loads each page's torn bits,
// calls on_page once the page's slot array is read, and visit for every live row whose fixed part ends at 26
// or 27 and whose object id and full index id match. The torn bits found on entry are put back at the end. False
// when the user stopped the job (the torn bits are then left as they are).
bool WalkIndexColumnRows(CRecoveryEngine& engine, std::int32_t object_id, std::uint32_t index_id,
                         const std::function<void()>& on_page, const std::function<void(const IndexColumnRow&)>& visit);

// Places a key column at its 1-based ordinal, growing the key with empty columns as needed. Ordinals 0 and
// above kMaxKeyOrdinal are refused (false).
template <typename Column>
bool PlaceKeyColumn(std::vector<Column>& key, std::uint16_t ordinal, const Column& column) {
    if (ordinal == 0 || ordinal > kMaxKeyOrdinal) return false;
    if (key.size() < ordinal) key.resize(ordinal);
    key[ordinal - 1] = column;
    return true;
}

}  // namespace mdf
