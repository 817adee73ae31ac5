// The texts of a stored sql_variant value: base type byte, version byte, then the base type's properties and
// value. The grid's plain text (nineteen base types have one; the others, and values too short for their base
// type, give the empty text), and the statement's expression, which gives the target column the value as its
// own base type with every digit, character and fraction it holds.
//
// Properties and value by base type (offsets from the base-type byte):
//   48 tinyint, 104 bit: 2 value | 52 smallint: 2-3 | 56 int, 122 smallmoney, 59 real: 2-5 |
//   127 bigint, 60 money, 62 float: 2-9 | 61 datetime: 2-5 ticks of 1/300 s, 6-9 days from 1900-01-01 |
//   58 smalldatetime: 2-3 minutes, 4-5 days | 106, 108 decimal, numeric: 2 precision, 3 scale, 4 sign (0
//   negative), 5.. mantissa | 175, 167, 239, 231 char types: 2-3 maximum bytes, 4-7 collation, 8.. the text |
//   173, 165 binary types: 2-3 maximum bytes, 4.. the bytes | 36 uniqueidentifier: 2-17 |
//   40 date: 2-4 days from 0001-01-01 | 41 time, 42 datetime2, 43 datetimeoffset: 2 scale, then the time in
//   units of 10^-scale s (3 bytes for scale 0-2, 4 for 3-4, 5 for 5-7), then 3 date bytes (datetime2,
//   datetimeoffset), then the offset in minutes, 2 bytes signed (datetimeoffset, whose date and time are UTC).
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace platform {
class CodePage;
}

namespace rows {

// The code page of a collation id, for the 8-bit base types.
using CollationCodePages = std::function<const platform::CodePage&(std::uint32_t)>;

// value holds the whole stored value, base-type byte included. Nothing beyond it is read. 8-bit text is read
// by the code page of the value's own collation (the ANSI code page when code_page is empty).
std::u16string SqlVariantText(std::span<const std::uint8_t> value, const CollationCodePages& code_page = {});

// The statement's expression of the value: CAST(literal AS base type with its length, precision or scale),
// character values as N'...' literals with the value's collation, binary values as 0x..., dates and times in
// the ISO forms every server language reads alike. "NULL" for an empty value and for one its base type cannot
// be read from (an unknown base type, a value too short for it).
std::u16string SqlVariantLiteral(std::span<const std::uint8_t> value, const CollationCodePages& code_page = {});

// True for the base types whose bytes are character or binary data (they are read with every sector end
// restored).
bool IsSqlVariantStringType(std::uint8_t baseType);

}  // namespace rows
