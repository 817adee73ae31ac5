// Typed cell comparison and header-click toggling of the found-file list.
#include "app/list_sort.h"

#include <cerrno>
#include <cstdlib>
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
