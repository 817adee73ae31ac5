// The result list's row store: cells come back as stored (across blocks, in UTF-8 as the text comparison reads
// them), emptying gives the memory back, and the index sort gives the order of a stable sort of the shown rows
// with the list's own cell comparison.
#include "app/row_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "app/list_sort.h"
#include "platform/text.h"

namespace app {
namespace {

TEST(RowStore, CellsComeBackAsStored) {
    struct Case {
        const char* name;
        std::vector<std::u16string> cells;
    };
    const Case cases[] = {
        {"plain", {u"1", u"Smith", u"12.50"}},
        {"empty cells keep their place", {u"", u"x", u""}},
        {"no cells", {}},
        {"two-, three- and four-byte characters", {u"\u00e9t\u00e9", u"\u6771\u4eac", u"\U0001F600"}},
        {"a lone surrogate", {u"a\xD800z", u"\xDC00"}},
        {"a cell larger than a block", {std::u16string(700000, u'\u00e9'), u"after"}},
        {"a cell of 200 characters (two-byte length)", {std::u16string(200, u'q')}},
    };
    RowStore store;
    for (const auto& c : cases) store.Append(c.cells);
    ASSERT_EQ(store.size(), std::size(cases));
    for (std::size_t row = 0; row < std::size(cases); ++row) {
        SCOPED_TRACE(cases[row].name);
        const auto& cells = cases[row].cells;
        EXPECT_EQ(store.CellCount(row), cells.size());
        for (std::size_t column = 0; column < cells.size(); ++column) {
            EXPECT_EQ(store.Cell(row, column), platform::ToUtf8(cells[column])) << "column " << column;
            EXPECT_EQ(store.CellText(row, column), platform::FromUtf8(platform::ToUtf8(cells[column])));
        }
        EXPECT_TRUE(store.Cell(row, cells.size()).empty()) << "a column the row does not have";
    }
    EXPECT_TRUE(store.Cell(std::size(cases), 0).empty()) << "a row the store does not have";
}

TEST(RowStore, ManyRowsSpanBlocksAndEmptyingGivesTheMemoryBack) {
    RowStore store;
    constexpr std::size_t kRows = 60000;  // about 3 MiB of cells: several blocks
    for (std::size_t i = 0; i < kRows; ++i) {
        store.Append({platform::FromUtf8(std::to_string(i)), std::u16string(40, u'a' + static_cast<char16_t>(i % 26))});
    }
    ASSERT_EQ(store.size(), kRows);
    EXPECT_GT(store.BytesHeld(), std::size_t{2} << 20);
    EXPECT_LT(store.BytesHeld(), kRows * 80) << "the cells are kept compactly";
    for (const std::size_t row : {std::size_t{0}, std::size_t{1}, kRows / 3, kRows / 2 + 7, kRows - 1}) {
        EXPECT_EQ(store.Cell(row, 0), std::to_string(row));
        EXPECT_EQ(store.Cell(row, 1), std::string(40, static_cast<char>('a' + row % 26)));
    }
    store.Clear();
    EXPECT_EQ(store.size(), 0u);
    EXPECT_EQ(store.BytesHeld(), 0u);
    store.Append({u"again"});
    EXPECT_EQ(store.Cell(0, 0), "again");
}

// What the list did before it kept its own rows: a stable sort of the shown rows with CompareForSort.
std::vector<std::uint32_t> StableSortOfShownRows(const RowStore& store, std::vector<std::uint32_t> shown, int column,
                                                 const ColumnSortInfo& info) {
    std::stable_sort(shown.begin(), shown.end(), [&](std::uint32_t a, std::uint32_t b) {
        return CompareForSort(info, store.CellText(a, static_cast<std::size_t>(column)),
                              store.CellText(b, static_cast<std::size_t>(column))) < 0;
    });
    return shown;
}

TEST(RowStore, IndexSortGivesTheOrderOfTheListsStableSort) {
    // Cells of every kind each comparison meets, many of them equal so the kept order of ties shows; texts alike
    // in their first eight bytes, and one with a NUL where another ends.
    const std::vector<std::u16string> pool = {
        u"900", u"1000", u"  -5", u"12KB", u"12", u"-9223372036854775808", u"99999999999999999999", u"abc", u"",
        u"Zeta", u"alpha", u"\u00e9", u"a", u"A", u"2024-01-02 10:00:00", u"2024-01-02 10:00:00.400",
        u"2024-01-02 10:00:00.600", u"2024-01-02", u"01/02/24 10:00:00", u"2024-02-31 10:00:00", u"not a date",
        u"a\xD800", u"\U0001F600", u"ab", std::u16string(u"ab\0c", 4), u"prefix12345", u"prefix12344",
        u"-5.0000", u"0012.50", u"12.5", u"1.5e+020", u"-1.#INF", u"1.#INF", u" NULL", u"-0.00",
        u"12345678901234567890123456789012345678", u"12345678901234567890123456789012345679",
        u"1/1/1997 12:00:00.000 AM", u"1/10/1997 12:00:00.000 AM", u"1/1/1997  1:00:00.000 PM",
        u"03/01/2020 10:00:00.000  +2:0", u"03/01/2020 7:30:00.000  -1:0", u"01/01/1", u" 9:30:00.0000000"};
    std::mt19937 random(7);
    RowStore store;
    constexpr std::size_t kRows = 2000;
    for (std::size_t i = 0; i < kRows; ++i) {
        store.Append({pool[random() % pool.size()], platform::FromUtf8(std::to_string(i))});
    }
    std::vector<std::uint32_t> shuffled(kRows);
    std::iota(shuffled.begin(), shuffled.end(), 0u);
    std::shuffle(shuffled.begin(), shuffled.end(), random);

    struct Case {
        const char* name;
        int type;
    };
    const Case cases[] = {{"number", kCompareNumber},        {"text", kCompareText},
                          {"date-time", kCompareDateTime},    {"none keeps the order", kCompareNone},
                          {"unknown type as text", 9},        {"decimal", kCompareDecimal},
                          {"grid date-time", kCompareGridDateTime}, {"time of day", kCompareTimeOfDay}};
    for (const auto& c : cases) {
        for (const int direction : {kSortAscending, kSortDescending}) {
            for (const bool from_store_order : {true, false}) {
                SCOPED_TRACE(std::string(c.name) + (direction == kSortAscending ? ", ascending" : ", descending") +
                             (from_store_order ? ", from the store's order" : ", from a shuffled order"));
                const ColumnSortInfo info{0, direction, c.type};
                std::vector<std::uint32_t> shown;
                if (!from_store_order) shown = shuffled;
                std::vector<std::uint32_t> start = shown;
                if (start.empty()) {
                    start.resize(kRows);
                    std::iota(start.begin(), start.end(), 0u);
                }
                EXPECT_EQ(SortRowOrder(store, shown, 0, info), StableSortOfShownRows(store, start, 0, info));
            }
        }
    }
    // Mostly different texts (sorted by their prefixes rather than by ranks), many alike in their first bytes.
    RowStore different;
    std::vector<std::uint32_t> reversed(3000);
    for (std::size_t i = 0; i < reversed.size(); ++i) {
        different.Append({platform::FromUtf8("prefix-" + std::to_string(random() % 100000)), u"x"});
        reversed[i] = static_cast<std::uint32_t>(reversed.size() - 1 - i);
    }
    for (const int direction : {kSortAscending, kSortDescending}) {
        SCOPED_TRACE(direction == kSortAscending ? "different texts, ascending" : "different texts, descending");
        const ColumnSortInfo info{0, direction, kCompareText};
        EXPECT_EQ(SortRowOrder(different, reversed, 0, info), StableSortOfShownRows(different, reversed, 0, info));
    }
    // Enough rows that the keys are read by several threads, from a shuffled shown order.
    RowStore large;
    const std::vector<std::u16string> amounts = {u"99.2300", u"1007.6400", u" NULL", u"-5.0000", u"0.0200",
                                                 u"12.5000", u"", u"-120.5000"};
    std::vector<std::uint32_t> large_shown(250000);
    for (std::size_t i = 0; i < large_shown.size(); ++i) {
        large.Append({amounts[random() % amounts.size()], u"x"});
        large_shown[i] = static_cast<std::uint32_t>(i);
    }
    std::shuffle(large_shown.begin(), large_shown.end(), random);
    for (const int direction : {kSortAscending, kSortDescending}) {
        SCOPED_TRACE(direction == kSortAscending ? "many rows, ascending" : "many rows, descending");
        const ColumnSortInfo info{0, direction, kCompareDecimal};
        EXPECT_EQ(SortRowOrder(large, large_shown, 0, info), StableSortOfShownRows(large, large_shown, 0, info));
    }
    // A column that is not sortable keeps the shown order.
    EXPECT_EQ(SortRowOrder(store, shuffled, 0, ColumnSortInfo{0, 0, kCompareText}), shuffled);
}

// The row list's typed columns as the decoder writes their cells: each case gives the cells in the order they
// arrive and the order an ascending sort shows; descending shows the values reversed, and in both directions
// the cells without a value (NULL, an absent column, damage) come last in the order they had.
TEST(RowStore, TypedColumnsSortByValue) {
    struct Case {
        const char* name;
        int type;
        std::vector<std::u16string> cells;
        std::vector<std::u16string> ascending;  // the values; the other cells follow in their own order
        std::vector<std::u16string> without_value;
    };
    const std::vector<Case> cases = {
        {"money: by value, not text (the largest freight is 1007.64, not 99.23)", kCompareDecimal,
         {u"99.2300", u" NULL", u"1007.6400", u"0.0200", u"-5.0000", u"100.0000", u"-120.5000", u"12.5000"},
         {u"-120.5000", u"-5.0000", u"0.0200", u"12.5000", u"99.2300", u"100.0000", u"1007.6400"},
         {u" NULL"}},
        {"decimal: leading zeros, 38 digits beyond a double", kCompareDecimal,
         {u"12345678901234567890123456789012345679", u"-0000000003.25", u"0000000000.00", u"0000000012.50",
          u"12345678901234567890123456789012345678", u"Formula Base Data"},
         {u"-0000000003.25", u"0000000000.00", u"0000000012.50",
          u"12345678901234567890123456789012345678", u"12345678901234567890123456789012345679"},
         {u"Formula Base Data"}},
        {"float and real: exponents and infinities", kCompareDecimal,
         {u"1.5e+020", u"3", u"-1.#INF", u"2.5e-005", u"-2.5", u"1.#INF", u"-1.79e+308", u"0.001", u""},
         {u"-1.#INF", u"-1.79e+308", u"-2.5", u"2.5e-005", u"0.001", u"3", u"1.5e+020", u"1.#INF"},
         {u""}},
        {"datetime: by the moment (1/10/1997 after 1/1/1997, 1/1/1998 last), the twelve-hour clock",
         kCompareGridDateTime,
         {u"1/1/1997 12:00:00.000 AM", u"1/1/1998 12:00:00.000 AM", u" NULL", u"1/10/1997 12:00:00.000 AM",
          u"12/31/1996 11:59:59.997 PM", u"1/1/1997  1:00:00.000 PM", u"1/1/1997 12:00:00.003 AM",
          u"1/1/1997 11:00:00.000 AM", u"1/1/1997 12:00:00.000 PM"},
         {u"12/31/1996 11:59:59.997 PM", u"1/1/1997 12:00:00.000 AM", u"1/1/1997 12:00:00.003 AM",
          u"1/1/1997 11:00:00.000 AM", u"1/1/1997 12:00:00.000 PM", u"1/1/1997  1:00:00.000 PM",
          u"1/10/1997 12:00:00.000 AM", u"1/1/1998 12:00:00.000 AM"},
         {u" NULL"}},
        {"smalldatetime", kCompareGridDateTime,
         {u"5/4/2000 3:07:00 PM", u"5/4/2000 11:07:00 AM", u"5/3/2000 11:59:00 PM"},
         {u"5/3/2000 11:59:00 PM", u"5/4/2000 11:07:00 AM", u"5/4/2000 3:07:00 PM"},
         {}},
        {"date and datetime2: a date alone is its midnight, seven-digit fractions, years 1 to 9999",
         kCompareGridDateTime,
         {u"12/31/9999", u"02/03/2010 23:59:59.9999999", u"02/03/2010", u"01/01/1", u"02/03/2010 0:00:00.0000001",
          u"12/31/999", u"damaged"},
         {u"01/01/1", u"12/31/999", u"02/03/2010", u"02/03/2010 0:00:00.0000001", u"02/03/2010 23:59:59.9999999",
          u"12/31/9999"},
         {u"damaged"}},
        {"datetimeoffset: by the moment, the offset taken off", kCompareGridDateTime,
         {u"03/01/2020 9:00:00.000  +0:0", u"03/01/2020 10:00:00.000  +2:0", u"03/01/2020 7:30:00.000  -1:0",
          u"03/02/2020"},
         {u"03/01/2020 10:00:00.000  +2:0", u"03/01/2020 7:30:00.000  -1:0", u"03/01/2020 9:00:00.000  +0:0",
          u"03/02/2020"},
         {}},
        {"time: an empty cell is midnight", kCompareTimeOfDay,
         {u" 23:59:59.9999999", u" NULL", u" 9:30:00.0000000", u"", u" 0:00:00.0000001", u" 10:00:00.0000000"},
         {u"", u" 0:00:00.0000001", u" 9:30:00.0000000", u" 10:00:00.0000000", u" 23:59:59.9999999"},
         {u" NULL"}},
    };
    for (const Case& c : cases) {
        RowStore store;
        for (const auto& cell : c.cells) store.Append({u"x", cell});
        for (const int direction : {kSortAscending, kSortDescending}) {
            SCOPED_TRACE(std::string(c.name) + (direction == kSortAscending ? ", ascending" : ", descending"));
            std::vector<std::u16string> expected = c.ascending;
            if (direction == kSortDescending) std::reverse(expected.begin(), expected.end());
            expected.insert(expected.end(), c.without_value.begin(), c.without_value.end());
            std::vector<std::u16string> shown;
            for (const std::uint32_t row : SortRowOrder(store, {}, 1, ColumnSortInfo{1, direction, c.type})) {
                shown.push_back(store.CellText(row, 1));
            }
            EXPECT_EQ(shown, expected);
        }
    }
}

}  // namespace
}  // namespace app
