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
    AppendSigned(out, date.wMonth);
    out += u'/';
    AppendSigned(out, date.wDay);
    out += u'/';
    AppendSigned(out, date.wYear, 4);
}

std::u16string LongDateText(const CalendarDate& date) {
    if (!IsValidDate(date)) return {};
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%s, %s %d, %04d", kDayNames[DayOfWeek(date)], kMonthNames[date.wMonth - 1],
                  date.wDay, date.wYear);
    return Widen(buffer);
}

}  // namespace platform
