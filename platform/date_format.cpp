// The fixed en-US date formatter: names and patterns from our own tables, no locale lookup.
#include "platform/date_format.h"

#include <cstdio>

#include "platform/number_text.h"
#include "platform/text.h"

namespace platform {

namespace {

const char* const kMonthNames[12] = {"January", "February", "March",     "April",   "May",      "June",
                                     "July",    "August",   "September", "October", "November", "December"};
const char* const kDayNames[7] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

bool IsLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int MonthLength(int year, int month) {
    static const int kLengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeap(year) ? 29 : kLengths[month - 1];
}

}  // namespace

bool IsValidDate(const CalendarDate& date) {
    if (date.wYear < 1 || date.wYear > 9999 || date.wMonth < 1 || date.wMonth > 12) return false;
    return date.wDay >= 1 && date.wDay <= MonthLength(date.wYear, date.wMonth);
}

int DayOfWeek(const CalendarDate& date) {
    // Days since 0001-01-01 (a Monday) by the Gregorian rule.
    const long long y = date.wYear - 1;
    long long days = y * 365 + y / 4 - y / 100 + y / 400;
    for (int m = 1; m < date.wMonth; ++m) days += MonthLength(date.wYear, m);
    days += date.wDay - 1;
    return static_cast<int>((days + 1) % 7);
}

std::u16string ShortDateText(const CalendarDate& date) {
    std::u16string text;
    AppendShortDateText(text, date);
    return text;
}

void AppendShortDateText(std::u16string& out, const CalendarDate& date) {
    if (!IsValidDate(date)) return;
    // Month 1-12, day 1-31, year 1-9999 in four places: written into a buffer and appended at once.
    char16_t text[10];
    int n = 0;
    auto one_or_two = [&](int v) {
        if (v >= 10) text[n++] = static_cast<char16_t>(u'0' + v / 10);
        text[n++] = static_cast<char16_t>(u'0' + v % 10);
    };
    one_or_two(date.wMonth);
    text[n++] = u'/';
    one_or_two(date.wDay);
    text[n++] = u'/';
    const int y = date.wYear;
    text[n++] = static_cast<char16_t>(u'0' + y / 1000);
    text[n++] = static_cast<char16_t>(u'0' + y / 100 % 10);
    text[n++] = static_cast<char16_t>(u'0' + y / 10 % 10);
    text[n++] = static_cast<char16_t>(u'0' + y % 10);
    out.append(text, static_cast<std::size_t>(n));
}

std::u16string LongDateText(const CalendarDate& date) {
    if (!IsValidDate(date)) return {};
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%s, %s %d, %04d", kDayNames[DayOfWeek(date)], kMonthNames[date.wMonth - 1],
                  date.wDay, date.wYear);
    return Widen(buffer);
}

}  // namespace platform
