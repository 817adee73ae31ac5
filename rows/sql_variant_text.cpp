// Texts of sql_variant values by base type: the grid's and the statement's.
#include "rows/sql_variant_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "mdf/collation_names.h"
#include "platform/date_format.h"
#include "platform/text.h"
#include "platform/tsql_text.h"
#include "rows/character_text.h"
#include "rows/date_time_values.h"
#include "rows/float_text.h"
#include "rows/guid_values.h"
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

// The code page of a character value's own collation (bytes 4-7).
const platform::CodePage& VariantCodePage(std::span<const std::uint8_t> value, const CollationCodePages& code_page) {
    if (!code_page) return platform::AnsiCodePage();
    return code_page(static_cast<std::uint32_t>(LittleEndian(value, 4, 4)));
}

std::u16string Ascii(std::string_view text) { return platform::Widen(text); }

std::u16string Cast(const std::u16string& literal, const std::u16string& type) {
    return u"CAST(" + literal + u" AS " + type + u")";
}

// Digits of n, at least width of them.
std::string Digits(std::uint64_t n, int width) {
    std::string text = std::to_string(n);
    if (static_cast<int>(text.size()) < width) text.insert(0, static_cast<std::size_t>(width) - text.size(), '0');
    return text;
}

// The date of a day count from 1970-01-01 (proleptic Gregorian), as YYYY-MM-DD; empty outside years 1 to 9999.
std::string IsoDate(std::int64_t days) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t doe = days - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    if (year < 1 || year > 9999) return {};
    return Digits(static_cast<std::uint64_t>(year), 4) + "-" + Digits(static_cast<std::uint64_t>(month), 2) + "-" +
           Digits(static_cast<std::uint64_t>(day), 2);
}

constexpr std::int64_t kDaysFrom1900To1970 = 25567;
constexpr std::int64_t kDaysFrom0001To1970 = 719162;

// "hh:mm:ss" and, when scale is not 0, "." and scale digits of the fraction; units count 10^-scale seconds.
std::string IsoTime(std::uint64_t units, int scale) {
    std::uint64_t per_second = 1;
    for (int i = 0; i < scale; ++i) per_second *= 10;
    const std::uint64_t seconds = units / per_second;
    std::string text = Digits(seconds / 3600, 2) + ":" + Digits(seconds / 60 % 60, 2) + ":" + Digits(seconds % 60, 2);
    if (scale > 0) text += "." + Digits(units % per_second, scale);
    return text;
}

// The time types: the number of bytes their time takes at a scale.
std::size_t TimeBytes(int scale) { return scale <= 2 ? 3 : scale <= 4 ? 4 : 5; }

// The shortest text that reads back as the same double ("0.1", "1e+308", "123456789012345680"): the server
// reads it as a number of its own type, which the CAST turns into that double.
std::string RoundTrip(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

// A character value as its base type: the text with the value's collation, cast to the stored type and length.
std::u16string CharacterLiteral(std::span<const std::uint8_t> value, bool wide, bool fixed,
                                const CollationCodePages& code_page) {
    const std::uint16_t max_bytes = static_cast<std::uint16_t>(LittleEndian(value, 2, 2));
    const auto collation = static_cast<std::uint32_t>(LittleEndian(value, 4, 4));
    const auto bytes = value.subspan(8);
    std::u16string text;
    if (wide) {
        text.reserve(bytes.size() / 2);
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
            text.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
        }
    } else {
        platform::AppendCodePageText(text, bytes, VariantCodePage(value, code_page));
    }
    const std::uint32_t limit = wide ? 4000 : 8000;
    std::uint32_t length = wide ? max_bytes / 2u : max_bytes;
    if (length == 0) length = 1;
    if (length > limit) length = limit;
    const std::u16string type = Ascii(wide ? (fixed ? "nchar" : "nvarchar") : (fixed ? "char" : "varchar")) + u"(" +
                                Ascii(std::to_string(length)) + u")";
    // The value keeps its own collation; one the catalogue's names do not know is left to the database.
    if (!mdf::IsKnownCollation(collation)) return Cast(platform::UnicodeExpression(text), type);
    return Cast(u"(" + platform::UnicodeExpression(text) + u") COLLATE " + mdf::CollationName(collation), type);
}

}  // namespace

std::u16string SqlVariantLiteral(std::span<const std::uint8_t> value, const CollationCodePages& code_page) {
    if (value.empty()) return u"NULL";
    const std::uint8_t type = value[0];
    const std::size_t fixed = FixedSize(type);
    if (fixed != 0 && value.size() < fixed) return u"NULL";  // damaged: too short for its base type
    auto number = [](auto n) { return Ascii(std::to_string(n)); };
    switch (type) {
        case 48: return Cast(number(value[2]), u"tinyint");
        case 104: return Cast(number(value[2] != 0 ? 1 : 0), u"bit");
        case 52: return Cast(number(static_cast<std::int16_t>(LittleEndian(value, 2, 2))), u"smallint");
        case 56: return Cast(number(static_cast<std::int32_t>(LittleEndian(value, 2, 4))), u"int");
        case 127: return Cast(number(static_cast<std::int64_t>(LittleEndian(value, 2, 8))), u"bigint");
        case 122: return Cast(MoneyText(static_cast<std::int32_t>(LittleEndian(value, 2, 4))), u"smallmoney");
        case 60: return Cast(MoneyText(static_cast<std::int64_t>(LittleEndian(value, 2, 8))), u"money");
        case 59: {
            double v = 0;
            CSinglePrecision(static_cast<std::uint32_t>(LittleEndian(value, 2, 4))).ToDouble(&v);
            // As the real column writes it: ten digits read back as the same real; a word with the all-ones
            // exponent holds no real and is clamped.
            return Cast(RealInsertText(v), u"real");
        }
        case 62: {
            CDoublePrecision stored;
            stored.SetRawValue(static_cast<std::uint32_t>(LittleEndian(value, 2, 4)),
                               static_cast<std::uint32_t>(LittleEndian(value, 6, 4)));
            double v = 0;
            stored.GetValue(&v);
            if (std::isinf(v)) return Cast(FloatInsertText(v), u"float");
            return Cast(Ascii(RoundTrip(v)), u"float");
        }
        case 106:
        case 108: {
            if (value.size() < 6 || value.size() - 5 > 16) return u"NULL";
            const std::uint8_t precision = value[2];
            const std::uint8_t scale = value[3];
            if (precision < 1 || precision > 38 || scale > precision) return u"NULL";
            return Cast(VariantDecimalText(value), Ascii(type == 106 ? "decimal(" : "numeric(") + number(precision) +
                                                       u"," + number(scale) + u")");
        }
        case 61: {
            const auto ticks = static_cast<std::uint32_t>(LittleEndian(value, 2, 4));
            const auto days = static_cast<std::int32_t>(LittleEndian(value, 6, 4));
            const std::string date = IsoDate(days - kDaysFrom1900To1970);
            if (date.empty() || ticks >= 300u * 86400u) return u"NULL";
            // Milliseconds the server rounds back to the same 1/300 s.
            const std::uint32_t seconds = ticks / 300;
            const std::uint32_t millis = ((ticks % 300) * 10 + 1) / 3;
            return Cast(u"'" + Ascii(date + "T" + IsoTime(seconds, 0) + "." + Digits(millis, 3)) + u"'", u"datetime");
        }
        case 58: {
            const auto minutes = static_cast<std::uint16_t>(LittleEndian(value, 2, 2));
            const auto days = static_cast<std::uint16_t>(LittleEndian(value, 4, 2));
            if (minutes >= 1440) return u"NULL";
            return Cast(u"'" + Ascii(IsoDate(days - kDaysFrom1900To1970) + "T" + IsoTime(minutes * 60u, 0)) + u"'",
                        u"smalldatetime");
        }
        case 175:
        case 167:
        case 239:
        case 231:
            if (value.size() < 8) return u"NULL";
            return CharacterLiteral(value, type == 239 || type == 231, type == 175 || type == 239, code_page);
        case 173:
        case 165: {
            if (value.size() < 4) return u"NULL";
            std::uint32_t length = static_cast<std::uint16_t>(LittleEndian(value, 2, 2));
            if (length == 0) length = 1;
            if (length > 8000) length = 8000;
            return Cast(HexLiteral(value.subspan(4)),
                        Ascii(type == 173 ? "binary(" : "varbinary(") + number(length) + u")");
        }
        case 36: {
            if (value.size() < 18) return u"NULL";
            std::u16string guid = GuidText(value.subspan(2, 16));
            if (guid.size() > 2 && guid.front() == u'{') guid = guid.substr(1, guid.size() - 2);
            return Cast(u"'" + guid + u"'", u"uniqueidentifier");
        }
        case 40: {
            if (value.size() < 5) return u"NULL";
            const std::string date = IsoDate(static_cast<std::int64_t>(LittleEndian(value, 2, 3)) - kDaysFrom0001To1970);
            if (date.empty()) return u"NULL";
            return Cast(u"'" + Ascii(date) + u"'", u"date");
        }
        case 41:
        case 42:
        case 43: {
            if (value.size() < 3) return u"NULL";
            const int scale = value[2];
            if (scale > 7) return u"NULL";
            const std::size_t time_bytes = TimeBytes(scale);
            const std::size_t need = 3 + time_bytes + (type == 41 ? 0 : 3) + (type == 43 ? 2 : 0);
            if (value.size() < need) return u"NULL";
            std::uint64_t per_day = 86400;
            for (int i = 0; i < scale; ++i) per_day *= 10;
            const std::uint64_t units = LittleEndian(value, 3, time_bytes);
            if (units >= per_day) return u"NULL";
            const std::u16string scaled = u"(" + number(scale) + u")";
            if (type == 41) return Cast(u"'" + Ascii(IsoTime(units, scale)) + u"'", u"time" + scaled);
            std::int64_t days = static_cast<std::int64_t>(LittleEndian(value, 3 + time_bytes, 3)) - kDaysFrom0001To1970;
            if (type == 42) {
                const std::string date = IsoDate(days);
                if (date.empty()) return u"NULL";
                return Cast(u"'" + Ascii(date + "T" + IsoTime(units, scale)) + u"'", u"datetime2" + scaled);
            }
            // datetimeoffset: the stored date and time are UTC; the literal gives the local ones and the offset.
            const auto offset = static_cast<std::int16_t>(LittleEndian(value, 6 + time_bytes, 2));
            if (offset < -840 || offset > 840) return u"NULL";
            std::int64_t local = static_cast<std::int64_t>(units) + offset * 60 * static_cast<std::int64_t>(per_day / 86400);
            if (local < 0) {
                local += static_cast<std::int64_t>(per_day);
                --days;
            } else if (local >= static_cast<std::int64_t>(per_day)) {
                local -= static_cast<std::int64_t>(per_day);
                ++days;
            }
            const std::string date = IsoDate(days);
            if (date.empty()) return u"NULL";
            const int magnitude = offset < 0 ? -offset : offset;
            const std::string zone = std::string(offset < 0 ? "-" : "+") + Digits(static_cast<std::uint64_t>(magnitude / 60), 2) +
                                     ":" + Digits(static_cast<std::uint64_t>(magnitude % 60), 2);
            return Cast(u"'" + Ascii(date + "T" + IsoTime(static_cast<std::uint64_t>(local), scale) + zone) + u"'",
                        u"datetimeoffset" + scaled);
        }
        default:
            return u"NULL";
    }
}

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

std::u16string SqlVariantText(std::span<const std::uint8_t> value, const CollationCodePages& code_page) {
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
        case 167: {
            if (value.size() < 8) return {};
            const auto bytes = value.subspan(8);
            const auto zero = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
            std::u16string text;
            platform::AppendCodePageText(text, bytes.first(static_cast<std::size_t>(zero - bytes.begin())),
                                         VariantCodePage(value, code_page));
            return text;
        }
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
