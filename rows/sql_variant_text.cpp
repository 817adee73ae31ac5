// Texts of sql_variant values by base type.
#include "rows/sql_variant_text.h"

#include "platform/date_format.h"
#include "platform/text.h"
#include "rows/character_text.h"
#include "rows/date_time_values.h"
#include "rows/float_text.h"
#include "rows/integer_values.h"

namespace rows {

namespace {

std::uint64_t LittleEndian(std::span<const std::uint8_t> bytes, std::size_t from, std::size_t count) {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < count; ++i) v |= static_cast<std::uint64_t>(bytes[from + i]) << (8 * i);
    return v;
}

// Bytes a base type needs (type, version and its properties and value); 0 for variable-size base types.
std::size_t FixedSize(std::uint8_t type) {
    switch (type) {
        case 48:
        case 104: return 3;
        case 52: return 4;
        case 56:
        case 122:
        case 59: return 6;
        case 58: return 6;
        case 127:
        case 60:
        case 62:
        case 61: return 10;
        default: return 0;
    }
}

// mantissa / 10^scale with exactly `scale` decimals and no leading zeros but one "0" before the point.
std::u16string VariantDecimalText(std::span<const std::uint8_t> value) {
    constexpr std::size_t kMantissaAt = 5;
    const std::uint8_t scale = value[3];
    const bool negative = value[4] == 0;
    const auto mantissa = value.subspan(kMantissaAt);
    if (mantissa.size() > 16) return {};
    unsigned __int128 m = 0;
    for (std::size_t i = mantissa.size(); i-- > 0;) m = (m << 8) | mantissa[i];
    std::u16string digits;
    do {
        digits.insert(digits.begin(), static_cast<char16_t>(u'0' + static_cast<int>(m % 10)));
        m /= 10;
    } while (m != 0);
    std::u16string text;
    if (scale == 0) {
        text = digits;
    } else if (digits.size() > scale) {
        text = digits.substr(0, digits.size() - scale) + u"." + digits.substr(digits.size() - scale);
    } else {
        text = u"0." + std::u16string(scale - digits.size(), u'0') + digits;
    }
    return negative ? u"-" + text : text;
}

}  // namespace

bool IsSqlVariantStringType(std::uint8_t baseType) {
    switch (baseType) {
        case 175:
        case 167:
        case 239:
        case 231:
        case 173:
        case 165: return true;
        default: return false;
    }
}

std::u16string SqlVariantText(std::span<const std::uint8_t> value) {
    if (value.empty()) return {};
    const std::uint8_t type = value[0];
    const std::size_t fixed = FixedSize(type);
    if (fixed != 0 && value.size() < fixed) return {};  // damaged: too short for its base type

    switch (type) {
        case 48:
        case 104: return DecimalText(value[2]);
        case 52: return DecimalText(static_cast<std::int16_t>(LittleEndian(value, 2, 2)));
        case 56: return DecimalText(static_cast<std::int32_t>(LittleEndian(value, 2, 4)));
        case 127: return DecimalText(static_cast<std::int64_t>(LittleEndian(value, 2, 8)));
        case 122: return MoneyText(static_cast<std::int32_t>(LittleEndian(value, 2, 4)));
        case 60: return MoneyText(static_cast<std::int64_t>(LittleEndian(value, 2, 8)));
        case 59: {
            double v = 0;
            CSinglePrecision(static_cast<std::uint32_t>(LittleEndian(value, 2, 4))).ToDouble(&v);
            return RealText(v);
        }
        case 62: {
            CDoublePrecision stored;
            stored.SetRawValue(static_cast<std::uint32_t>(LittleEndian(value, 2, 4)),
                               static_cast<std::uint32_t>(LittleEndian(value, 6, 4)));
            double v = 0;
            stored.GetValue(&v);
            return FloatText(v, 10);
        }
        case 106:
        case 108:
            if (value.size() < 5) return {};
            return VariantDecimalText(value);
        case 61: {
            const auto ticks = static_cast<std::uint32_t>(LittleEndian(value, 2, 4));
            const auto days = static_cast<std::int32_t>(LittleEndian(value, 6, 4));
            return platform::LongDateText(DateTimeDate(days)) + TwelveHourTime(ticks, false);
        }
        case 58:
            return SmallDateTimeText(static_cast<std::uint16_t>(LittleEndian(value, 2, 2)),
                                     static_cast<std::uint16_t>(LittleEndian(value, 4, 2)));
        case 175:
        case 167:
            if (value.size() < 8) return {};
            return platform::AnsiToUtf16(value.subspan(8));
        case 239:
        case 231:
            if (value.size() < 8) return {};
            return Utf16UnitsText(value.subspan(8));
        case 173:
        case 165:
            if (value.size() < 4) return {};
            return HexLiteral(value.subspan(4));
        default:
            return {};
    }
}

}  // namespace rows
