// The type codes the row walk knows and the texts of a column that the record does not carry as a value:
// NULL, absent (added to the table after the row was written) or computed.
#pragma once

#include <cstdint>
#include <string>

namespace rows {

// The 31 type codes the walk decodes.
bool IsKnownType(std::uint8_t type);
// image, text, sql_variant, ntext, varbinary, varchar, nvarchar, CLR type, xml: values in the variable part.
bool IsVariableLengthType(std::uint8_t type);

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
