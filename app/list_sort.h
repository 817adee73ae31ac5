// Sorting of the found-file list by a header click: per-column sort records, the direction toggle and the
// typed cell comparison (number, text, date-time). The comparison is a strict weak order, so std::sort and
// std::stable_sort may use it: texts that do not parse sort after those that do, in both directions.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace app {

// Sort flags of a column record; a record with none of them is not sortable.
constexpr int kSortAscending = 1;
constexpr int kSortDescending = 2;
constexpr int kSortToggles = 4;

// Comparison types; any other value compares as text.
constexpr int kCompareNone = 0;
constexpr int kCompareNumber = 1;
constexpr int kCompareText = 2;
constexpr int kCompareDateTime = 3;
// The row list's own types, for the cells as the row decoder writes them. Decimal: money, decimal, numeric,
// float and real texts ("-12.3400", "0001.50", "1.5e+020", "1.#INF"), by their exact value. Grid date-time:
// "M/D/YYYY H:MM:SS.mmm AM", "MM/DD/Y H:MM:SS.fffffff", the same with an offset "  +H:M" (by the moment it
// names) or a date alone. Time of day: " H:MM:SS.fffffff", where an empty cell is midnight.
constexpr int kCompareDecimal = 4;
constexpr int kCompareGridDateTime = 5;
constexpr int kCompareTimeOfDay = 6;

struct ColumnSortInfo {
    int column = 0;
    int flags = kSortToggles;
    int type = kCompareText;
};

bool IsSortable(const ColumnSortInfo& info);

// A header click on the column: with the toggle flag the direction flips (the first click sorts ascending).
// False when the column is not sortable; then nothing changes.
bool ApplyHeaderClick(ColumnSortInfo& info);

bool IsAscending(const ColumnSortInfo& info);

// A number cell read as a C library decimal integer (leading blanks, sign, digits up to the first other
// character); none when no digit follows. Values beyond the 64-bit range saturate.
std::optional<std::int64_t> ParseNumberCell(std::u16string_view text);

// A date-time cell in milliseconds of its wall-clock time: "YYYY-MM-DD HH:MM:SS[.fff]", "YYYY-MM-DD", or the
// C library's locale forms "%x %X" and "%x". None for any other text and for dates that do not exist.
std::optional<std::int64_t> ParseDateTimeCell(std::u16string_view text);
// What a date-time cell sorts by: its time rounded to the whole second (halves up); none when it is no date.
std::optional<std::int64_t> DateTimeSortKey(std::u16string_view text);

// A decimal number cell: blanks, a sign, digits with a point, an exponent ("e+020"), or "1.#INF" with its sign.
// The value as the nearest double (its order never contradicts the exact order) and, to settle ties of the
// double, the exact comparison of two cells. None for any other text (" NULL", empty).
std::optional<double> DecimalCellValue(std::string_view utf8);
// Negative, zero or positive as the exact value of `a` is below, equal to or above that of `b`; both parse.
int CompareDecimalExactly(std::string_view a, std::string_view b);

// A date or time cell of the row list in units of 100 ns (from 1 January of year 1, offsets taken off so the
// moments order); a time of day alone counts from midnight. Finer fractions are cut to 100 ns. None for any
// other text; an empty text is midnight only when `empty_is_midnight`.
std::optional<std::int64_t> GridDateTimeKey(std::string_view utf8, bool empty_is_midnight);

// Negative, zero or positive as `a` sorts before, with or after `b` in ascending order. Date-times are equal
// when they round to the same whole second, so two texts less than half a second apart within one second
// compare equal (a rounding grid rather than a distance, which keeps the order transitive).
int CompareCells(int type, std::u16string_view a, std::u16string_view b);

// The comparison of two rows' cells for the column's current direction; 0 for a column that is not sortable.
// Cells that do not parse (numbers without digits, texts that are no date) come last in either direction.
int CompareForSort(const ColumnSortInfo& info, std::u16string_view a, std::u16string_view b);

}  // namespace app
