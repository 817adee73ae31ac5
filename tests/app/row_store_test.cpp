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
        u"a\xD800", u"\U0001F600", u"ab", std::u16string(u"ab\0c", 4), u"prefix12345", u"prefix12344"};
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
    const Case cases[] = {{"number", kCompareNumber},   {"text", kCompareText},  {"date-time", kCompareDateTime},
                          {"none keeps the order", kCompareNone}, {"unknown type as text", 9}};
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
    // A column that is not sortable keeps the shown order.
    EXPECT_EQ(SortRowOrder(store, shuffled, 0, ColumnSortInfo{0, 0, kCompareText}), shuffled);
}

}  // namespace
}  // namespace app
