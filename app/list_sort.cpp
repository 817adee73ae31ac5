// Typed cell comparison and header-click toggling of the found-file list.
#include "app/list_sort.h"

#include <charconv>
#include <cerrno>
#include <cstdlib>
#include <limits>
#include <ctime>
#include <string>

#include "platform/text.h"

namespace app {

bool IsSortable(const ColumnSortInfo& info) {
    return (info.flags & (kSortAscending | kSortDescending | kSortToggles)) != 0;
}

bool IsAscending(const ColumnSortInfo& info) { return (info.flags & kSortAscending) != 0; }

bool ApplyHeaderClick(ColumnSortInfo& info) {
    if (!IsSortable(info)) return false;
    if (info.flags & kSortToggles) {
        if ((info.flags & (kSortAscending | kSortDescending)) == 0) info.flags |= kSortDescending;
        info.flags ^= (kSortAscending | kSortDescending);
    }
    return true;
}

std::optional<std::int64_t> ParseNumberCell(std::u16string_view text) {
    const std::string utf8 = platform::ToUtf8(text);
    const char* begin = utf8.c_str();
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(begin, &end, 10);
    if (end == begin) return std::nullopt;  // no digits at all
    // strtoll already saturates at the 64-bit limits when errno is ERANGE; the value is usable either way.
    return static_cast<std::int64_t>(value);
}

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Parses with strptime; the whole text (but trailing blanks) must be used.
bool ParseWith(const std::string& text, const char* format, std::tm& tm) {
    tm = std::tm{};
    const char* rest = strptime(text.c_str(), format, &tm);
    if (rest == nullptr) return false;
    while (IsBlank(*rest)) ++rest;
    return *rest == '\0';
}

// Accepts a calendar date only when it exists: timegm would move 31 February to March.
std::optional<std::int64_t> ToMilliseconds(const std::tm& parsed, int milliseconds) {
    std::tm copy = parsed;
    copy.tm_isdst = 0;
    const time_t seconds = timegm(&copy);
    if (copy.tm_year != parsed.tm_year || copy.tm_mon != parsed.tm_mon || copy.tm_mday != parsed.tm_mday ||
        copy.tm_hour != parsed.tm_hour || copy.tm_min != parsed.tm_min || copy.tm_sec != parsed.tm_sec) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(seconds) * 1000 + milliseconds;
}

}  // namespace

std::optional<std::int64_t> ParseDateTimeCell(std::u16string_view text) {
    std::string utf8 = platform::ToUtf8(text);
    while (!utf8.empty() && IsBlank(utf8.front())) utf8.erase(utf8.begin());
    if (utf8.empty()) return std::nullopt;

    // Fractional seconds of the ISO form: split them off first, strptime has no field for them.
    int milliseconds = 0;
    std::string main_part = utf8;
    const auto dot = utf8.find('.');
    if (dot != std::string::npos && dot >= 19 && utf8[4] == '-') {
        std::string digits = utf8.substr(dot + 1);
        while (!digits.empty() && IsBlank(digits.back())) digits.pop_back();
        if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) {
            return std::nullopt;
        }
        digits.resize(3, '0');
        milliseconds = std::atoi(digits.c_str());
        main_part = utf8.substr(0, dot);
    }

    std::tm tm{};
    for (const char* format : {"%Y-%m-%d %H:%M:%S", "%Y-%m-%d"}) {
        if (ParseWith(main_part, format, tm)) return ToMilliseconds(tm, milliseconds);
    }
    if (milliseconds != 0) return std::nullopt;
    for (const char* format : {"%x %X", "%x"}) {
        if (ParseWith(utf8, format, tm)) return ToMilliseconds(tm, 0);
    }
    return std::nullopt;
}

namespace {

template <typename T>
int Order(const T& a, const T& b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

// Milliseconds rounded to the nearest whole second (halves up), floor-based so negative times round alike.
std::int64_t RoundToSecond(std::int64_t milliseconds) {
    const std::int64_t shifted = milliseconds + 500;
    return shifted >= 0 ? shifted / 1000 : -((-shifted + 999) / 1000);
}

// Parsed values of both cells, or which of them failed.
template <typename Parse>
int CompareParsed(std::u16string_view a, std::u16string_view b, Parse parse, int direction) {
    const auto va = parse(a);
    const auto vb = parse(b);
    if (va && vb) return direction * Order(*va, *vb);
    if (va) return -1;  // parsable before unparsable, whatever the direction
    if (vb) return 1;
    return 0;
}

}  // namespace


namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A decimal number text taken apart: its significant digits (no leading or trailing zeros) and the power of ten
// of the first of them, so 0.0120 is digits "12", exponent -2. Zero has no digits.
struct DecimalParts {
    bool negative = false;
    bool infinite = false;
    std::string_view number;  // the sign (a minus only), digits, point and exponent, for the double
    std::string_view integer_digits;
    std::string_view fraction_digits;
    std::int64_t exponent = 0;  // of the text's exponent part
};

bool SplitDecimal(std::string_view text, DecimalParts& parts) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    std::size_t end = text.size();
    while (end > i && IsBlank(text[end - 1])) --end;
    text = text.substr(0, end);
    std::size_t number_start = i;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        parts.negative = text[i] == '-';
        if (text[i] == '+') number_start = i + 1;
        ++i;
    }
    const std::size_t int_start = i;
    while (i < text.size() && IsDigit(text[i])) ++i;
    parts.integer_digits = text.substr(int_start, i - int_start);
    if (i < text.size() && text[i] == '.') {
        ++i;
        if (text.substr(i) == "#INF" && parts.integer_digits == "1") {
            parts.infinite = true;
            return true;
        }
        const std::size_t fraction_start = i;
        while (i < text.size() && IsDigit(text[i])) ++i;
        parts.fraction_digits = text.substr(fraction_start, i - fraction_start);
    }
    if (parts.integer_digits.empty() && parts.fraction_digits.empty()) return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        bool minus = false;
        if (j < text.size() && (text[j] == '-' || text[j] == '+')) minus = text[j++] == '-';
        const std::size_t digits_start = j;
        std::int64_t value = 0;
        while (j < text.size() && IsDigit(text[j])) {
            if (value < 100000000) value = value * 10 + (text[j] - '0');
            ++j;
        }
        if (j == digits_start) return false;
        parts.exponent = minus ? -value : value;
        i = j;
    }
    if (i != text.size()) return false;
    parts.number = text.substr(number_start, i - number_start);
    return true;
}

// The significant digits of both parts as one run (the integer's leading zeros and the fraction's trailing
// zeros left out), and the power of ten of its first digit.
struct Significant {
    std::string_view first;   // from the integer part
    std::string_view second;  // from the fraction part
    std::int64_t power = 0;
    bool zero = true;
    char At(std::size_t k) const { return k < first.size() ? first[k] : second[k - first.size()]; }
    std::size_t Size() const { return first.size() + second.size(); }
};

Significant SignificantOf(const DecimalParts& parts) {
    Significant s;
    std::string_view integer = parts.integer_digits;
    std::string_view fraction = parts.fraction_digits;
    while (!integer.empty() && integer.front() == '0') integer.remove_prefix(1);
    while (!fraction.empty() && fraction.back() == '0') fraction.remove_suffix(1);
    if (!integer.empty()) {
        if (fraction.empty()) {
            while (!integer.empty() && integer.back() == '0') integer.remove_suffix(1);
        }
        s.first = integer;
        s.second = fraction;
        // The first significant digit stands as many places before the point as the integer part has after it.
        s.power = static_cast<std::int64_t>(parts.integer_digits.data() + parts.integer_digits.size() - integer.data()) - 1;
        s.zero = false;
    } else {
        std::size_t zeros = 0;
        while (zeros < fraction.size() && fraction[zeros] == '0') ++zeros;
        if (zeros == fraction.size()) return s;  // zero
        s.second = fraction.substr(zeros);
        s.power = -static_cast<std::int64_t>(zeros) - 1;
        s.zero = false;
    }
    s.power += parts.exponent;
    return s;
}

// Magnitudes of two finite, non-zero numbers.
int CompareMagnitudes(const Significant& a, const Significant& b) {
    if (a.power != b.power) return a.power < b.power ? -1 : 1;
    const std::size_t n = std::min(a.Size(), b.Size());
    for (std::size_t k = 0; k < n; ++k) {
        const char x = a.At(k);
        const char y = b.At(k);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.Size() == b.Size() ? 0 : (a.Size() < b.Size() ? -1 : 1);
}

}  // namespace

std::optional<double> DecimalCellValue(std::string_view utf8) {
    DecimalParts parts;
    if (!SplitDecimal(utf8, parts)) return std::nullopt;
    if (parts.infinite) {
        return parts.negative ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
    }
    double value = 0;
    const auto [end, error] = std::from_chars(parts.number.data(), parts.number.data() + parts.number.size(), value);
    if (error == std::errc::result_out_of_range) {
        // Beyond the double's range: an exponent far up is infinite, far down is zero.
        const bool large = SignificantOf(parts).power > 0;
        value = large ? std::numeric_limits<double>::infinity() : 0.0;
        if (parts.negative) value = -value;
    } else if (error != std::errc() || end != parts.number.data() + parts.number.size()) {
        return std::nullopt;
    }
    if (value == 0) value = 0.0;  // -0 and 0 are one value
    return value;
}

int CompareDecimalExactly(std::string_view a, std::string_view b) {
    DecimalParts pa;
    DecimalParts pb;
    SplitDecimal(a, pa);
    SplitDecimal(b, pb);
    const Significant sa = SignificantOf(pa);
    const Significant sb = SignificantOf(pb);
    // Sign of each: -1, 0 or 1.
    auto sign = [](const DecimalParts& p, const Significant& s) { return (!p.infinite && s.zero) ? 0 : (p.negative ? -1 : 1); };
    const int signa = sign(pa, sa);
    const int signb = sign(pb, sb);
    if (signa != signb) return signa < signb ? -1 : 1;
    if (signa == 0) return 0;
    int magnitude = 0;
    if (pa.infinite || pb.infinite) {
        magnitude = pa.infinite == pb.infinite ? 0 : (pa.infinite ? 1 : -1);
    } else {
        magnitude = CompareMagnitudes(sa, sb);
    }
    return signa < 0 ? -magnitude : magnitude;
}

namespace {

// Reads 1 to max_digits digits at text[i]; false when there is none.
bool ReadNumber(std::string_view text, std::size_t& i, int max_digits, std::int64_t& value) {
    value = 0;
    int count = 0;
    while (i < text.size() && IsDigit(text[i]) && count < max_digits) {
        value = value * 10 + (text[i] - '0');
        ++i;
        ++count;
    }
    return count > 0;
}

void SkipBlanks(std::string_view text, std::size_t& i) {
    while (i < text.size() && IsBlank(text[i])) ++i;
}

// Days from 1 January of year 1 (proleptic Gregorian).
std::int64_t DayNumber(std::int64_t y, std::int64_t m, std::int64_t d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 306;
}

constexpr std::int64_t kUnitsPerSecond = 10'000'000;  // 100 ns

// "H:MM:SS[.f...]", with " AM" or " PM" after it on the twelve-hour clock: units from midnight.
bool ReadTime(std::string_view text, std::size_t& i, std::int64_t& units) {
    std::int64_t hour = 0;
    std::int64_t minute = 0;
    std::int64_t second = 0;
    if (!ReadNumber(text, i, 2, hour) || i >= text.size() || text[i] != ':') return false;
    ++i;
    if (!ReadNumber(text, i, 2, minute) || i >= text.size() || text[i] != ':') return false;
    ++i;
    if (!ReadNumber(text, i, 2, second)) return false;
    std::int64_t fraction = 0;
    if (i < text.size() && text[i] == '.') {
        ++i;
        std::int64_t scale = kUnitsPerSecond;
        const std::size_t start = i;
        while (i < text.size() && IsDigit(text[i])) {
            scale /= 10;
            fraction += (text[i] - '0') * scale;  // past the seventh digit the scale is 0: cut
            ++i;
        }
        if (i == start) return false;
    }
    std::size_t j = i;
    SkipBlanks(text, j);
    if (j + 1 < text.size() && (text[j] == 'A' || text[j] == 'P') && text[j + 1] == 'M') {
        if (hour < 1 || hour > 12) return false;
        hour %= 12;
        if (text[j] == 'P') hour += 12;
        i = j + 2;
    }
    if (minute > 59 || second > 59 || hour > 59) return false;
    units = ((hour * 60 + minute) * 60 + second) * kUnitsPerSecond + fraction;
    return true;
}

}  // namespace

std::optional<std::int64_t> GridDateTimeKey(std::string_view text, bool empty_is_midnight) {
    std::size_t i = 0;
    SkipBlanks(text, i);
    if (i == text.size()) {
        if (empty_is_midnight) return 0;
        return std::nullopt;
    }
    std::int64_t days = 0;
    std::int64_t time = 0;
    // A date "M/D/Y" first, unless the text is a time alone.
    std::size_t probe = i;
    std::int64_t first = 0;
    ReadNumber(text, probe, 2, first);
    if (probe < text.size() && text[probe] == '/') {
        std::int64_t month = 0;
        std::int64_t day = 0;
        std::int64_t year = 0;
        if (!ReadNumber(text, i, 2, month) || text[i] != '/') return std::nullopt;
        ++i;
        if (!ReadNumber(text, i, 2, day) || i >= text.size() || text[i] != '/') return std::nullopt;
        ++i;
        if (!ReadNumber(text, i, 5, year)) return std::nullopt;
        if (month < 1 || month > 12 || day < 1 || day > 31) return std::nullopt;
        days = DayNumber(year, month, day);
        SkipBlanks(text, i);
        if (i == text.size()) return days * 86400 * kUnitsPerSecond;
    }
    if (!ReadTime(text, i, time)) return std::nullopt;
    SkipBlanks(text, i);
    std::int64_t offset_minutes = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        const bool minus = text[i] == '-';
        ++i;
        std::int64_t hours = 0;
        std::int64_t minutes = 0;
        if (!ReadNumber(text, i, 2, hours) || i >= text.size() || text[i] != ':') return std::nullopt;
        ++i;
        if (!ReadNumber(text, i, 2, minutes)) return std::nullopt;
        offset_minutes = (hours * 60 + minutes) * (minus ? -1 : 1);
        SkipBlanks(text, i);
    }
    if (i != text.size()) return std::nullopt;
    // The local time less its offset is the moment.
    return days * 86400 * kUnitsPerSecond + time - offset_minutes * 60 * kUnitsPerSecond;
}

std::optional<std::int64_t> DateTimeSortKey(std::u16string_view text) {
    const auto ms = ParseDateTimeCell(text);
    if (!ms) return std::nullopt;
    return RoundToSecond(*ms);
}

namespace {

int CompareTyped(int type, std::u16string_view a, std::u16string_view b, int direction) {
    switch (type) {
        case kCompareNone:
            return 0;
        case kCompareNumber:
            return CompareParsed(a, b, ParseNumberCell, direction);
        case kCompareDateTime:
            return CompareParsed(a, b, DateTimeSortKey, direction);
        case kCompareDecimal: {
            const std::string ua = platform::ToUtf8(a);
            const std::string ub = platform::ToUtf8(b);
            const bool pa = DecimalCellValue(ua).has_value();
            const bool pb = DecimalCellValue(ub).has_value();
            if (pa && pb) return direction * CompareDecimalExactly(ua, ub);
            return pa == pb ? 0 : (pa ? -1 : 1);
        }
        case kCompareGridDateTime:
        case kCompareTimeOfDay: {
            const bool midnight = type == kCompareTimeOfDay;
            return CompareParsed(a, b, [midnight](std::u16string_view t) {
                return GridDateTimeKey(platform::ToUtf8(t), midnight); }, direction);
        }
        default:
            // Byte order of UTF-8 is code-point order, case-sensitive: upper-case letters come first.
            return direction * Order(platform::ToUtf8(a), platform::ToUtf8(b));
    }
}

}  // namespace

int CompareCells(int type, std::u16string_view a, std::u16string_view b) { return CompareTyped(type, a, b, 1); }

int CompareForSort(const ColumnSortInfo& info, std::u16string_view a, std::u16string_view b) {
    if (!IsSortable(info)) return 0;
    return CompareTyped(info.type, a, b, IsAscending(info) ? 1 : -1);
}

}  // namespace app
