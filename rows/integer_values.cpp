// Integer, bit and money texts from the stored little-endian bytes.
#include "rows/integer_values.h"

#include <algorithm>
#include <string>

#include "platform/number_text.h"

namespace rows {

namespace {

std::uint64_t Magnitude(std::int64_t value) {
    // The most negative value has no positive counterpart in 64 bits; unsigned negation gives it exactly.
    return value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
}

}  // namespace

std::u16string DecimalText(std::int64_t value) {
    std::u16string text;
    platform::AppendSigned(text, value);
    return text;
}

// The integer part ("0" below one) and four fraction digits.
void AppendMoneyText(std::u16string& text, std::int64_t tenThousandths) {
    const std::uint64_t magnitude = Magnitude(tenThousandths);
    if (tenThousandths < 0) text += u'-';
    platform::AppendUnsigned(text, magnitude / 10000);
    text += u'.';
    platform::AppendUnsigned(text, magnitude % 10000, 4);
}

std::u16string MoneyText(std::int64_t tenThousandths) {
    std::u16string text;
    text.reserve(24);
    AppendMoneyText(text, tenThousandths);
    return text;
}

bool IsIntegerFamily(std::uint8_t type) {
    switch (type) {
        case 104: case 48: case 52: case 56: case 127: case 122: case 60: return true;
        default: return false;
    }
}

std::size_t IntegerFamilyWidth(std::uint8_t type) {
    switch (type) {
        case 104: case 48: return 1;
        case 52: return 2;
        case 56: case 122: return 4;
        case 127: case 60: return 8;
        default: return 0;
    }
}

ValueTexts IntegerFamilyTexts(std::uint8_t type, std::span<const std::uint8_t> bytes, std::uint16_t maxInRowLength,
                              std::uint8_t bitPos) {
    if (type == 104) {
        return {IntegerFamilyText(type, bytes, maxInRowLength, bitPos, true),
                IntegerFamilyText(type, bytes, maxInRowLength, bitPos, false)};
    }
    std::u16string text = IntegerFamilyText(type, bytes, maxInRowLength, bitPos, false);
    return {text, text};
}

std::u16string IntegerFamilyText(std::uint8_t type, std::span<const std::uint8_t> bytes, std::uint16_t maxInRowLength,
                                 std::uint8_t bitPos, bool statement) {
    std::u16string text;
    AppendIntegerFamilyText(text, type, bytes, maxInRowLength, bitPos, statement);
    return text;
}

void AppendIntegerFamilyText(std::u16string& out, std::uint8_t type, std::span<const std::uint8_t> bytes,
                             std::uint16_t maxInRowLength, std::uint8_t bitPos, bool statement) {
    if (type == 104) {
        const std::uint8_t byte = bytes.empty() ? 0 : bytes[0];
        const bool set = bitPos < 8 && ((byte >> bitPos) & 1) != 0;
        if (statement) {
            out += set ? u"1" : u"0";
        } else {
            out += set ? u"TRUE" : u"FALSE";
        }
        return;
    }
    const std::size_t width = IntegerFamilyWidth(type);
    const std::size_t taken = std::min({width, static_cast<std::size_t>(maxInRowLength), bytes.size()});
    std::uint64_t raw = 0;
    for (std::size_t i = 0; i < taken; ++i) raw |= static_cast<std::uint64_t>(bytes[i]) << (8 * i);
    std::int64_t value = 0;
    switch (type) {
        case 48: value = static_cast<std::uint8_t>(raw); break;
        case 52: value = static_cast<std::int16_t>(raw); break;
        case 56: case 122: value = static_cast<std::int32_t>(raw); break;
        default: value = static_cast<std::int64_t>(raw); break;
    }
    if (type == 122 || type == 60) {
        AppendMoneyText(out, value);
    } else {
        platform::AppendSigned(out, value);
    }
}

}  // namespace rows
