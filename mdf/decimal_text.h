// Exact text of a stored decimal/numeric value (sign byte + little-endian mantissa of up to 128 bits), built
// with decimal digit strings because the mantissa can exceed what 64-bit conversions print. Pure functions;
// the engine's DecimalToText reads the bytes from the data file and calls them.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace mdf {

inline constexpr std::u16string_view kDecimalDigits = u"0123456789";
inline constexpr std::u16string_view kTwoPow64 = u"18446744073709551616";
inline constexpr std::u16string_view kTwoPow96 = u"79228162514264337593543950336";

// Sum of two digit strings (most significant digit first) in the base given by the alphabet's length. The
// result has as many digits as the longer operand, one more after a final carry; leading zeros stay. An empty
// string stands for zero.
std::u16string AddDigitStringsInBase(std::u16string a, std::u16string b, std::u16string_view alphabet);
std::u16string AddDecimalStrings(std::u16string a, std::u16string b, std::u16string_view alphabet = kDecimalDigits);
// Schoolbook product of two decimal digit strings; a zero digit gives a row of zeros, so leading zeros may stay.
std::u16string MultiplyDigitStrings(std::u16string x, std::u16string y);

// The text of a value given its parts: low 64 bits, the middle and high 32-bit words (used only when taken),
// precision and scale. It holds p + s digits in all (leading zeros kept), the point before the last s, and
// "-" in front when the sign byte is not 1.
std::u16string DecimalText(std::uint8_t sign, std::uint64_t low, bool has_middle, std::uint32_t middle, bool has_high,
                           std::uint32_t high, std::uint8_t precision, std::uint8_t scale);

// The text of a stored value: stored[0] is the sign byte, the rest the mantissa; the storage length is
// stored.size(). The middle word is taken only at 13 or 17 bytes, the high word only at 17. Empty bytes give
// the empty text.
std::u16string DecimalToText(std::span<const std::uint8_t> stored, std::uint8_t precision, std::uint8_t scale);

}  // namespace mdf
