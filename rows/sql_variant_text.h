// The plain text of a stored sql_variant value: base type byte, version byte, then the base type's properties
// and value. Nineteen base types have a text; the others, and values too short for their base type, give the
// empty text.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace rows {

// value holds the whole stored value, base-type byte included. Nothing beyond it is read.
std::u16string SqlVariantText(std::span<const std::uint8_t> value);

// True for the base types whose bytes are character or binary data (they are read with every sector end
// restored).
bool IsSqlVariantStringType(std::uint8_t baseType);

}  // namespace rows
