// Texts of the exact fixed-width number types: bit, tinyint, smallint, int, bigint, smallmoney and money.
// Plain radix-10 integers and money with exactly four decimals, "." whatever the locale.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace rows {

// The two texts of one value: what the statement gets and what the grid shows (they differ only for bit).
struct ValueTexts {
    std::u16string insert;
    std::u16string display;
};

// "%d"-style text of a signed value: no leading zeros, "-" before a negative value.
std::u16string DecimalText(std::int64_t value);
// The exact value of tenThousandths / 10000 with four decimals: 0.0000, -0.0005, 922337203685477.5807.
std::u16string MoneyText(std::int64_t tenThousandths);
// The same text appended to out.
void AppendMoneyText(std::u16string& out, std::int64_t tenThousandths);

// True for the seven type codes of the family (104, 48, 52, 56, 127, 122, 60).
bool IsIntegerFamily(std::uint8_t type);
// Bytes a value of the type occupies: 1, 1, 2, 4, 8, 4, 8.
std::size_t IntegerFamilyWidth(std::uint8_t type);
// Texts of a stored value. bytes holds IntegerFamilyWidth(type) bytes (missing ones count as zero); only the
// first maxInRowLength of them are taken (never more than the width). bitPos selects the bit of a bit column;
// a damaged position above 7 reads as a clear bit.
ValueTexts IntegerFamilyTexts(std::uint8_t type, std::span<const std::uint8_t> bytes, std::uint16_t maxInRowLength,
                              std::uint8_t bitPos);
// One of the two: the statement's text when statement is set, else the grid's.
std::u16string IntegerFamilyText(std::uint8_t type, std::span<const std::uint8_t> bytes, std::uint16_t maxInRowLength,
                                 std::uint8_t bitPos, bool statement);
// The same text appended to out (the row walk writes it straight into the cell).
void AppendIntegerFamilyText(std::u16string& out, std::uint8_t type, std::span<const std::uint8_t> bytes,
                             std::uint16_t maxInRowLength, std::uint8_t bitPos, bool statement);

}  // namespace rows
