// Helpers of the 2005-and-later column reader that tests call directly.
#pragma once

#include <cstdint>
#include <string>

namespace mdf {

// The text of an integer IDENTITY seed or increment stored in `length` little-endian bytes: signed 16, 32 or
// 64-bit at lengths 2, 4 and 8, the zero-extended value at other lengths up to 8; empty (refused) past 8.
std::u16string IntegerIdentityText(const std::uint8_t* bytes, std::uint8_t length);

}  // namespace mdf
