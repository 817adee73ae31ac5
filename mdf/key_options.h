// What the catalogue's status fields say about a key or index: which kind of row it is (primary key, index,
// unique-key constraint, statistics) and its options, for both catalogue formats. Pure functions over the
// status values, kept apart from the readers so every status value can be checked on its own.
//
// 2005 and later (sysidxstats, status bits 0-15 as two bytes), read by their bits:
//   byte 0: 0x01 index, 0x02 statistics (alone: a statistics row), 0x04 ignore duplicate keys, 0x08 unique,
//           0x10 pad index, 0x20 primary key, 0x40 unique-key constraint, 0x80 disabled.
//   byte 1: 0x02 row locks off, 0x04 page locks off, 0x40 and above: no recompute.
// 2000 (sysindexes, 32-bit status): low word W and U = status & 0x0F0F tell the kind; byte 1 carries pad index
//   (0x01), byte 3 the no-recompute flag (1).
#pragma once

#include <cstdint>

namespace mdf {

enum class IndexRowKind { None, Index, UniqueKey };

struct KeyOptions {
    bool m_bUnique = false;
    bool m_bIgnoreDupKey = false;
    bool m_bPadIndex = false;
    bool m_bNoRecompute = false;
    bool m_bRowLocksOff = false;
    bool m_bPageLocksOff = false;
    std::uint8_t m_nFillFactor = 0;
    bool operator==(const KeyOptions&) const = default;
};

// ---- 2005 and later ----
// Status byte 0, by its bits: 0x01 stored rows and 0x02 statistics (both: an index; 0x01 alone: the heap; 0x02
// alone: statistics), 0x04 ignore duplicate keys, 0x08 unique, 0x10 pad index, 0x20 the primary key, 0x40 a
// unique-key constraint, 0x80 disabled.
constexpr std::uint8_t kIndexBits2005 = 0x03;
constexpr std::uint8_t kPrimaryKeyBit2005 = 0x20;
constexpr std::uint8_t kUniqueKeyBit2005 = 0x40;
constexpr std::uint8_t kDisabledBit2005 = 0x80;
inline bool IsPrimaryKeyStatus2005(std::uint8_t status0) {
    return (status0 & (kIndexBits2005 | kPrimaryKeyBit2005)) == (kIndexBits2005 | kPrimaryKeyBit2005);
}
// A statistics object: bit 0x02 set, bit 0x01 clear.
inline bool IsStatisticsStatus2005(std::uint8_t status0) { return (status0 & 0x03) == 0x02; }
// By the bits: an index row that is no primary key is a unique-key constraint when 0x40 is set, else an index
// (0x4F, a unique key with IGNORE_DUP_KEY, as much as 0x4B).
IndexRowKind ClassifyIndexStatus2005(std::uint8_t status0);
KeyOptions DecodeIndexOptions2005(std::uint8_t status0, std::uint8_t status1, std::uint8_t fill_factor);

// ---- 2000 ----
// status & 0x0F0F == 0x802.
bool IsPrimaryKeyStatus2000(std::uint32_t status);
// Index: key count not 0 and W one of 0x0000, 0x0002, 0x0003, 0x0100, 0x0102, 0x0103, 0x4012, 0x4013, 0x4113;
// unique-key constraint: key count not 0 and W 0x1002 or 0x5012; anything else (primary keys included) None.
IndexRowKind ClassifyIndexStatus2000(std::uint32_t status, std::uint16_t key_count);
// Options of a 2000 index row: unique, ignore-dup-key, pad-index, no-recompute and the fill factor.
KeyOptions DecodeIndexOptions2000(std::uint32_t status, std::uint8_t fill_factor);

// How a 2000 primary-key row changes the table's clustered flag.
enum class ClusteringChange { Unchanged, Clustered, Nonclustered };
ClusteringChange PrimaryKeyClustering2000(std::uint32_t status, std::uint16_t index_id);

}  // namespace mdf
