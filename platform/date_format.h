// Date texts in one fixed English (United States) form, whatever the machine's locale: the short date
// M/d/yyyy and the long date "dddd, MMMM d, yyyy", as the table view and the statements show them.
#pragma once

#include <string>

namespace platform {

// A calendar date (proleptic Gregorian); only year, month and day.
struct CalendarDate {
    int wYear = 0;
    int wMonth = 0;
    int wDay = 0;
};

// Valid dates are years 1 to 9999 with a real month and day; others format as the empty text.
bool IsValidDate(const CalendarDate& date);
// "1/5/2010"; the year always has four digits ("1/1/0001").
std::u16string ShortDateText(const CalendarDate& date);
// The same text appended to out.
void AppendShortDateText(std::u16string& out, const CalendarDate& date);
// "Tuesday, January 5, 2010".
std::u16string LongDateText(const CalendarDate& date);
// 0 = Sunday .. 6 = Saturday.
int DayOfWeek(const CalendarDate& date);

}  // namespace platform
