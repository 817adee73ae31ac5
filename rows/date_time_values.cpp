// Date and time texts from the stored bytes, with the day-count arithmetic in closed form.
#include "rows/date_time_values.h"

#include <algorithm>
#include <string>

#include "platform/number_text.h"

namespace rows {

namespace {

// Days from 0001-01-01 to y-m-d, and back (proleptic Gregorian, any year).
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 306;  // 0000-03-01 is day -306, so 0001-01-01 is day 0
}

void CivilFromDays(std::int64_t z, std::int64_t& y, int& m, int& d) {
    z += 306;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = yoe + era * 400 + (m <= 2);
}

using platform::AppendSigned;
using platform::AppendUnsigned;

// "MM/DD/Y", or "MM/DD/YYYY" with the year zero-filled to four places.
std::u16string MonthDayYear(const platform::CalendarDate& date, bool fourDigitYear) {
    std::u16string text;
    text.reserve(16);
    AppendSigned(text, date.wMonth, 2);
    text += u'/';
    AppendSigned(text, date.wDay, 2);
    text += u'/';
    AppendSigned(text, date.wYear, fourDigitYear ? 4 : 1);
    return text;
}

std::uint64_t LittleEndian(std::span<const std::uint8_t> bytes, std::size_t from, std::size_t count) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < count && from + i < bytes.size(); ++i) {
        value |= static_cast<std::uint64_t>(bytes[from + i]) << (8 * i);
    }
    return value;
}

// A damaged catalogue may give a scale above 7; the fraction never gets more digits than this.
constexpr int kMaxScale = 9;

std::uint64_t PowerOfTen(int scale) {
    std::uint64_t d = 1;
    for (int i = 0; i < scale; ++i) d *= 10;
    return d;
}

// " H:MM:SS.f" for a time of day in units of 10^-scale s; empty at midnight unless keepMidnight.
std::u16string TwentyFourHourTime(std::uint64_t units, int scale, bool keepMidnight) {
    const std::uint64_t d = PowerOfTen(scale);
    const std::uint64_t fraction = units % d;
    const std::uint64_t s = units / d;
    const unsigned seconds = static_cast<unsigned>(s % 60);
    const unsigned minutes = static_cast<unsigned>((s / 60) % 60);
    const unsigned hour = static_cast<unsigned>((s / 3600) % 60);
    if (!keepMidnight && hour == 0 && minutes == 0 && seconds == 0 && fraction == 0) return {};
    std::u16string text;
    text.reserve(24);
    text += u' ';
    AppendUnsigned(text, hour);
    text += u':';
    AppendUnsigned(text, minutes, 2);
    text += u':';
    AppendUnsigned(text, seconds, 2);
    text += u'.';
    AppendUnsigned(text, fraction, scale == 0 ? 1 : scale);
    return text;
}

// The date n days after (or before) the type's base date; see DayNumberToDate.
platform::CalendarDate DayNumberToCalendarDate(std::uint32_t n, bool backwards, std::uint8_t type) {
    const bool from_year_one = type == 40 || type == 42 || type == 43;
    const std::int64_t base = from_year_one ? 0 : DaysFromCivil(1900, 1, 1);
    std::int64_t day = 0;
    if (!backwards) {
        day = base + n;
    } else if (n == 0) {
        day = DaysFromCivil(from_year_one ? 0 : 1899, 1, 1);  // the year walk stops on 1 January of base - 1
    } else {
        day = base - static_cast<std::int64_t>(n);
    }
    std::int64_t y = 0;
    int m = 0;
    int d = 0;
    CivilFromDays(day, y, m, d);
    platform::CalendarDate result;
    result.wYear = static_cast<int>(y);
    result.wMonth = m;
    result.wDay = d;
    return result;
}


std::u16string Quoted(const std::u16string& text) { return u"'" + text + u"'"; }

// The statement's text (quoted, four-digit year) when statement is set, else the grid's.
std::u16string DateTimeOffsetText(std::uint32_t day, std::uint64_t utc_units, std::int16_t offset, int scale,
                                  bool statement) {
    const std::int64_t d = static_cast<std::int64_t>(PowerOfTen(scale));
    const std::int64_t units_per_day = 86400 * d;
    std::int64_t local_day = day;
    std::int64_t local = static_cast<std::int64_t>(utc_units) + static_cast<std::int64_t>(offset) * 60 * d;
    // The local time of day, with the date moved when the offset carries it past midnight either way.
    local_day += local >= 0 ? local / units_per_day : -((-local + units_per_day - 1) / units_per_day);
    local -= (local_day - day) * units_per_day;
    if (local_day < 0 || local_day > 0xFFFFFF) {
        // The local date does not exist in the type's range: keep the stored UTC moment with offset 0.
        local_day = day;
        local = static_cast<std::int64_t>(utc_units);
        offset = 0;
    }
    const platform::CalendarDate date = DayNumberToCalendarDate(static_cast<std::uint32_t>(local_day), false, 43);
    const std::u16string time = TwentyFourHourTime(static_cast<std::uint64_t>(local), scale, offset != 0);
    if (time.empty()) return statement ? Quoted(MonthDayYear(date, true)) : MonthDayYear(date, false);
    const int magnitude = offset < 0 ? -offset : offset;
    const char16_t sign = offset < 0 ? u'-' : u'+';
    // "  +H:M" in the grid, "  +HH:MM" in the statement.
    auto offset_text = [&](int width) {
        std::u16string text = u"  ";
        text += sign;
        AppendSigned(text, magnitude / 60, width);
        text += u':';
        AppendSigned(text, magnitude % 60, width);
        return text;
    };
    if (statement) return Quoted(MonthDayYear(date, true) + time + offset_text(2));
    return MonthDayYear(date, false) + time + offset_text(1);
}

}  // namespace


std::u16string DayNumberToDate(std::uint32_t n, bool backwards, platform::CalendarDate* date, std::uint8_t type) {
    const platform::CalendarDate result = DayNumberToCalendarDate(n, backwards, type);
    if (date) *date = result;
    return MonthDayYear(result, false);
}

platform::CalendarDate DateTimeDate(std::int32_t days) {
    if (days < 0) return DayNumberToCalendarDate(0u - static_cast<std::uint32_t>(days), true, 61);
    return DayNumberToCalendarDate(static_cast<std::uint32_t>(days) & 0xF0FFFFFFu, false, 61);
}

std::u16string TwelveHourTime(std::uint32_t ticks, bool withMilliseconds) {
    std::u16string text;
    AppendTwelveHourTime(text, ticks, withMilliseconds);
    return text;
}

void AppendTwelveHourTime(std::u16string& text, std::uint32_t ticks, bool withMilliseconds) {
    const std::uint32_t r = ticks % 300;
    const std::uint32_t s = ticks / 300;
    const unsigned seconds = s % 60;
    const unsigned minutes = (s / 60) % 60;
    const unsigned hour = (s / 3600) % 60;
    if (hour >= 25) return;
    const bool pm = hour >= 12;
    const unsigned shown = hour == 0 ? 12 : (hour > 12 ? hour - 12 : hour);
    // Every part has at most two digits (milliseconds three): written into a buffer and appended at once.
    char16_t out[20];
    int n = 0;
    out[n++] = u' ';
    if (pm) out[n++] = u' ';
    if (shown >= 10) out[n++] = static_cast<char16_t>(u'0' + shown / 10);
    out[n++] = static_cast<char16_t>(u'0' + shown % 10);
    out[n++] = u':';
    out[n++] = static_cast<char16_t>(u'0' + minutes / 10);
    out[n++] = static_cast<char16_t>(u'0' + minutes % 10);
    out[n++] = u':';
    out[n++] = static_cast<char16_t>(u'0' + seconds / 10);
    out[n++] = static_cast<char16_t>(u'0' + seconds % 10);
    if (withMilliseconds) {
        // r x 0.00333 s, truncated to milliseconds: 003, 006, ... 995.
        const unsigned ms = r * 333 / 100;
        out[n++] = u'.';
        out[n++] = static_cast<char16_t>(u'0' + ms / 100);
        out[n++] = static_cast<char16_t>(u'0' + ms / 10 % 10);
        out[n++] = static_cast<char16_t>(u'0' + ms % 10);
    }
    out[n++] = u' ';
    out[n++] = pm ? u'P' : u'A';
    out[n++] = u'M';
    text.append(out, static_cast<std::size_t>(n));
}

std::u16string SmallDateTimeText(std::uint16_t minutes, std::uint16_t days) {
    const platform::CalendarDate date = DayNumberToCalendarDate(days, false, 58);
    const unsigned hour = (minutes / 60u) % 60u;
    const unsigned mm = minutes % 60u;
    const bool pm = hour >= 12;
    const unsigned shown = hour == 0 ? 12 : (hour > 12 ? hour - 12 : hour);
    std::u16string text = platform::ShortDateText(date);
    text += u' ';
    AppendUnsigned(text, shown);
    text += u':';
    AppendUnsigned(text, mm, 2);
    text += pm ? u":00 PM" : u":00 AM";
    return text;
}

bool IsDateTimeFamily(std::uint8_t type) {
    switch (type) {
        case 61: case 58: case 40: case 41: case 42: case 43: return true;
        default: return false;
    }
}

std::size_t DateTimeReadWidth(std::uint8_t type) {
    switch (type) {
        case 61: return 8;
        case 58: return 4;
        case 40: return 3;
        case 41: return 5;
        case 42: return 8;
        case 43: return 10;
        default: return 0;
    }
}

ValueTexts DateTimeFamilyTexts(std::uint8_t type, std::span<const std::uint8_t> bytes, std::uint16_t inRowLength,
                               std::uint8_t scale) {
    return {DateTimeFamilyText(type, bytes, inRowLength, scale, true),
            DateTimeFamilyText(type, bytes, inRowLength, scale, false)};
}

std::u16string DateTimeFamilyText(std::uint8_t type, std::span<const std::uint8_t> bytes, std::uint16_t inRowLength,
                                  std::uint8_t scale_in, bool statement) {
    std::u16string text;
    AppendDateTimeFamilyText(text, type, bytes, inRowLength, scale_in, statement);
    return text;
}

void AppendDateTimeFamilyText(std::u16string& out, std::uint8_t type, std::span<const std::uint8_t> bytes,
                              std::uint16_t inRowLength, std::uint8_t scale_in, bool statement) {
    const std::size_t width = DateTimeReadWidth(type);
    // Only the column's in-row length is decoded; bytes past it belong to the next column.
    const std::size_t used = type == 58 ? width : std::min<std::size_t>({width, inRowLength, bytes.size()});
    const std::span<const std::uint8_t> value = bytes.first(std::min(used, bytes.size()));
    const int scale = std::min<int>(scale_in, kMaxScale);
    switch (type) {
        case 61: {
            const auto ticks = static_cast<std::uint32_t>(LittleEndian(value, 0, 4));
            const auto days = static_cast<std::int32_t>(static_cast<std::uint32_t>(LittleEndian(value, 4, 4)));
            // Built in one text: the quote, the date, the time, the quote.
            if (statement) out += u'\'';
            platform::AppendShortDateText(out, DateTimeDate(days));
            AppendTwelveHourTime(out, ticks, true);
            if (statement) out += u'\'';
            return;
        }
        case 58: {
            const std::u16string text =
                SmallDateTimeText(static_cast<std::uint16_t>(LittleEndian(value, 0, 2)),
                                  static_cast<std::uint16_t>(LittleEndian(value, 2, 2)));
            out += statement ? Quoted(text) : text;
            return;
        }
        case 40: {
            const platform::CalendarDate date =
                DayNumberToCalendarDate(static_cast<std::uint32_t>(LittleEndian(value, 0, 3)), false, 40);
            out += statement ? Quoted(MonthDayYear(date, true)) : MonthDayYear(date, false);
            return;
        }
        case 41: {
            const std::u16string text = TwentyFourHourTime(LittleEndian(value, 0, value.size()), scale, false);
            out += statement ? Quoted(text) : text;
            return;
        }
        case 42:
        case 43: {
            const std::size_t tail = type == 42 ? 3 : 5;
            const std::size_t time_bytes = value.size() > tail ? value.size() - tail : 0;
            const std::uint64_t units = LittleEndian(value, 0, time_bytes);
            const auto day = static_cast<std::uint32_t>(LittleEndian(value, time_bytes, 3));
            if (type == 43) {
                const auto offset = static_cast<std::int16_t>(LittleEndian(value, time_bytes + 3, 2));
                out += DateTimeOffsetText(day, units, offset, scale, statement);
                return;
            }
            const platform::CalendarDate date = DayNumberToCalendarDate(day, false, 42);
            const std::u16string time = TwentyFourHourTime(units, scale, false);
            out += statement ? Quoted(MonthDayYear(date, true) + time) : MonthDayYear(date, false) + time;
            return;
        }
        default:
            return;
    }
}

}  // namespace rows
