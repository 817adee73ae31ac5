// The text of a column's IDENTITY seed and increment as the column readers of both catalogue formats store it:
// integer values of up to 8 bytes, and the storage lengths a decimal value can have.
#pragma once

#include <cstdint>
#include <string>

namespace mdf {

constexpr std::uint8_t kTypeDecimal = 106;
constexpr std::uint8_t kTypeNumeric = 108;

// The text of an integer IDENTITY seed or increment stored in `length` little-endian bytes: signed 16, 32 or
// 64-bit at lengths 2, 4 and 8, the zero-extended value at other lengths up to 8; empty (refused) past 8.
inline std::u16string IntegerIdentityText(const std::uint8_t* bytes, std::uint8_t length) {
    if (length > 8) return {};  // does not fit the 64-bit value: refused
    std::uint64_t v = 0;
    for (std::uint8_t i = 0; i < length; ++i) v |= static_cast<std::uint64_t>(bytes[i]) << (8 * i);
    std::int64_t number = static_cast<std::int64_t>(v);
    if (length == 2) number = static_cast<std::int16_t>(static_cast<std::uint16_t>(v));
    if (length == 4) number = static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
    const std::string text = std::to_string(number);
    return std::u16string(text.begin(), text.end());
}

// A stored decimal value is a sign byte and a mantissa: 5, 9, 13 or 17 bytes by its precision. Any other
// length is damage and describes no value.
inline bool IsDecimalStorageLength(std::uint8_t length) {
    return length == 5 || length == 9 || length == 13 || length == 17;
}

}  // namespace mdf
