// The type codes the row walk knows and the texts of a column that the record does not carry as a value:
// NULL, absent (added to the table after the row was written) or computed.
#pragma once

#include <cstdint>
#include <string>

namespace rows {

// The 31 type codes the walk decodes. (Inline, like the next one: the walk asks per column of every row.)
inline bool IsKnownType(std::uint8_t type) {
    switch (type) {
        case 34: case 35: case 36: case 40: case 41: case 42: case 43: case 48: case 52: case 56: case 58:
        case 59: case 60: case 61: case 62: case 98: case 99: case 104: case 106: case 108: case 122: case 127:
        case 165: case 167: case 173: case 175: case 189: case 231: case 239: case 240: case 241:
            return true;
        default:
            return false;
    }
}
// image, text, sql_variant, ntext, varbinary, varchar, nvarchar, CLR type, xml: values in the variable part.
inline bool IsVariableLengthType(std::uint8_t type) {
    switch (type) {
        case 34: case 35: case 98: case 99: case 165: case 167: case 231: case 240: case 241: return true;
        default: return false;
    }
}

// INSERT text of a NULL column: "NULL" when nullable; for a NOT NULL column whose null bit is set, a
// neutral value the column accepts ("0", "''", the zero uniqueidentifier; timestamp lets the server fill it).
std::u16string InsertTextForNull(std::uint8_t type, bool notNull);
// INSERT text of an absent column: "NULL" when nullable, else the type's neutral value.
std::u16string InsertTextForAbsent(std::uint8_t type, bool notNull);
// Grid texts.
std::u16string GridTextForNull(bool computed);
std::u16string GridTextForAbsent(std::uint8_t type);
std::u16string GridTextForComputed(std::uint8_t type);

}  // namespace rows
