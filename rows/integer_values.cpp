// Integer, bit and money texts from the stored little-endian bytes.
#include "rows/integer_values.h"

#include <algorithm>
#include <string>

namespace rows {

namespace {

std::u16string AsciiDigits(std::uint64_t magnitude) {
    const std::string digits = std::to_string(magnitude);
    return std::u16string(digits.begin(), digits.end());
}

std::uint64_t Magnitude(std::int64_t value) {
    // The most negative value has no positive counterpart in 64 bits; unsigned negation gives it exactly.
    return value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
}

}  // namespace

std::u16string DecimalText(std::int64_t value) {
    std::u16string text = value < 0 ? u"-" : u"";
    return text + AsciiDigits(Magnitude(value));
}

std::u16string MoneyText(std::int64_t tenThousandths) {
    std::u16string digits = AsciiDigits(Magnitude(tenThousandths));
    std::u16string integer_part;
    std::u16string fraction;
    if (digits.size() >= 5) {
        integer_part = digits.substr(0, digits.size() - 4);
        fraction = digits.substr(digits.size() - 4);
    } else {
        integer_part = u"0";
        fraction = std::u16string(4 - digits.size(), u'0') + digits;
    }
    return (tenThousandths < 0 ? u"-" : u"") + integer_part + u"." + fraction;
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
        const std::uint8_t byte = bytes.empty() ? 0 : bytes[0];
        const bool set = bitPos < 8 && ((byte >> bitPos) & 1) != 0;
        return {set ? u"1" : u"0", set ? u"TRUE" : u"FALSE"};
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
    const std::u16string text = (type == 122 || type == 60) ? MoneyText(value) : DecimalText(value);
    return {text, text};
}

}  // namespace rows
