// Texts of the date and time types: datetime and smalldatetime (short date, 12-hour clock) and the later
// date, time, datetime2 and datetimeoffset (MM/DD/YYYY, 24-hour clock with the scale's fraction), and the
// day-count conversion they share.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "platform/date_format.h"
#include "rows/integer_values.h"

namespace rows {

// The date n days after (or, with backwards, before) the type's base date: 0001-01-01 for the type codes
// 40, 42 and 43, 1900-01-01 for any other. Fills *date (when given) and returns "MM/DD/Y" with the year as
// plain digits ("01/01/1"). Backwards, n = 0 gives 1 January of the year before the base, n = 1 the last day
// of that year. Computed in closed form; years outside 1..9999 are returned as they fall.
std::u16string DayNumberToDate(std::uint32_t n, bool backwards, platform::CalendarDate* date, std::uint8_t type);

// The date of a datetime day count: before 1900-01-01 when negative; bits 24-27 of a positive count ignored.
platform::CalendarDate DateTimeDate(std::int32_t days);
// The 12-hour time of a datetime tick count (1/300 s): " 9:05:03.120 AM" or, after noon, "  1:05:09.499 PM"
// (two blanks). Without milliseconds when asked. Empty for a damaged count whose hour is 25 or more.
std::u16string TwelveHourTime(std::uint32_t ticks, bool withMilliseconds);
// The same text appended to text.
void AppendTwelveHourTime(std::u16string& text, std::uint32_t ticks, bool withMilliseconds);
// The whole smalldatetime text: short date, one blank, h:mm:00, one blank, AM or PM.
std::u16string SmallDateTimeText(std::uint16_t minutes, std::uint16_t days);

// True for the six type codes 61, 58, 40, 41, 42, 43.
bool IsDateTimeFamily(std::uint8_t type);
// Bytes read for a value of the type: datetime 8, smalldatetime 4, date 3, time 5, datetime2 8,
// datetimeoffset 10; only inRowLength of them are decoded (smalldatetime always 4).
std::size_t DateTimeReadWidth(std::uint8_t type);
// The grid text and the statement text (quoted, the year always with four digits) of a stored value.
ValueTexts DateTimeFamilyTexts(std::uint8_t type, std::span<const std::uint8_t> bytes, std::uint16_t inRowLength,
                               std::uint8_t scale);
// One of the two: the statement's text when statement is set, else the grid's.
std::u16string DateTimeFamilyText(std::uint8_t type, std::span<const std::uint8_t> bytes, std::uint16_t inRowLength,
                                  std::uint8_t scale, bool statement);
// The same text appended to out (the row walk writes it straight into the cell).
void AppendDateTimeFamilyText(std::u16string& out, std::uint8_t type, std::span<const std::uint8_t> bytes,
                              std::uint16_t inRowLength, std::uint8_t scale, bool statement);

}  // namespace rows
