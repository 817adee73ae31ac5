// Texts of character values that need no data file: the conversions from stored bytes and the rules that shape
// a grid cell (the first line break, all line breaks, the 40-character cut), and the binary literal.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace rows {

// UTF-16LE units up to the first zero unit; an odd last byte is the low byte of a final unit.
std::u16string Utf16UnitsText(std::span<const std::uint8_t> bytes);
// The same text appended to out.
void AppendUtf16Units(std::u16string& out, std::span<const std::uint8_t> bytes);
// Every UTF-16LE unit, zero units included; an odd last byte is the low byte of a final unit.
std::u16string AllUtf16Units(std::span<const std::uint8_t> bytes);
// The little-endian bytes of the text, two per unit, no terminator (what a character parameter carries).
std::vector<std::uint8_t> Utf16LeBytes(std::u16string_view text);

// The first CR and the character after it become one blank; a CR among the last two characters ends the text.
// Later CRs stay.
std::u16string FirstLineBreakToBlank(std::u16string text);
// Every CR and every LF becomes a blank.
std::u16string LineBreaksToBlanks(std::u16string text);
// A text longer than the grid's 40 characters keeps its first 40.
constexpr std::size_t kGridTextWidth = 40;
std::u16string CutToGridWidth(std::u16string text);

// "0x" and two upper-case hexadecimal digits per byte.
std::u16string HexLiteral(std::span<const std::uint8_t> bytes);

}  // namespace rows
