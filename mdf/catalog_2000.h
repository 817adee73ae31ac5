// Where the fields of the 2000-format catalogue rows stand: object rows (object 1) and column rows (object 3).
// Kept as small pure functions so the readers and the tests use one definition of each place.
//
// Object row (fixed part ends at 42):        Column row (fixed part ends at 46, or at 38 in older files):
//   0 status   2 fixed-part end (0x2A)          2 fixed-part end (0x2E / 0x26)   4 table object id
//   4 object id                                 8 type code   9 type status (bit 0 NOT NULL)   10 user type
//   8 type code (two ASCII characters)          12 length   14 precision   15 scale   16 column id
//  14 16-bit value kept by a default            18 leaf offset (negative: variable ordinal)   20 bit position
//  16 high half of the status                   22 colstat (bit 0 identity; 9 identity not for replication)
//  17 status byte of a foreign key / check      24 bound default id   28 bound rule id   34 column order
//  19 >= 0x80 on a system view                  38 collation id (46-byte form only)
//  28 parent object id
//  42 column count, null bitmap, variable-column count, end offsets, name (UTF-16)
// After the fixed part every row carries its column count, a null bitmap of ceil(count / 8) bytes (at least
// one), the variable-column count and the end offsets; the name is the first variable column.
#pragma once

#include <cstdint>
#include <string>

namespace mdf::sql2000 {

constexpr std::uint8_t kObjectRowFixedEnd = 0x2A;
constexpr std::uint8_t kColumnRowFixedEnd = 0x2E;
constexpr std::uint8_t kColumnRowFixedEndShort = 0x26;

// Bytes of the null bitmap of a record with this many columns.
constexpr std::uint32_t NullBitmapBytes(std::uint32_t column_count) {
    return column_count == 0 ? 1 : (column_count + 7) / 8;
}

// Offset of the variable-column count of a record whose fixed part ends at fixed_end.
constexpr std::uint32_t VariableCountOffset(std::uint32_t fixed_end, std::uint32_t column_count) {
    return fixed_end + 2 + NullBitmapBytes(column_count);
}

struct NamePlace {
    std::uint32_t variable_count_at = 0;  // offset of the variable-column count
    std::uint32_t end_offset_at = 0;      // offset of the name's end offset (the first entry)
    std::uint32_t name_start = 0;         // first byte of the name
};

// An object row: the name is the only variable column the reader uses, and it is the first one. The name
// starts after all end offsets; the object rows carry one variable column.
constexpr NamePlace ObjectRowNamePlace(std::uint8_t column_count) {
    const std::uint32_t at = VariableCountOffset(kObjectRowFixedEnd, column_count);
    return {at, at + 2, at + 4};
}

// A column row: one variable column (the name), or two for an identity column (name and identity block).
constexpr NamePlace ColumnRowNamePlace(std::uint8_t fixed_end, std::uint8_t column_count, bool identity) {
    const std::uint32_t at = VariableCountOffset(fixed_end, column_count);
    return {at, at + 2, at + 2 + 2 * (identity ? 2u : 1u)};
}

}  // namespace mdf::sql2000

namespace mdf {
class CRecoveryEngine;
}

namespace mdf::sql2000 {

// True when a slot entry can be the start of a record on a page with this many slots: after the page header
// and before the slot array. Anything else is an empty or overwritten entry.
bool IsRecordSlot(std::uint16_t entry, std::uint64_t slot_count);

// Reads the UTF-16 name of the row at record (whose page offset is record_in_page): it starts at name_start
// and ends at end_offset (both from the record start). False, and nothing read, when the end does not lie
// after the start or reaches past the page: such a row has no usable name.
bool ReadRowName(CRecoveryEngine& engine, std::uint64_t record, std::uint32_t record_in_page,
                 std::uint32_t name_start, std::uint16_t end_offset, std::u16string& name);

}  // namespace mdf::sql2000
