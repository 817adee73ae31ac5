// Typed comparison of the found-file list: numbers, text, date-times, unparsable cells and the header toggle.
#include "app/list_sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace app {
namespace {

int Sign(int v) { return (v > 0) - (v < 0); }

TEST(ListSort, CompareCellsTable) {
    struct Case {
        const char* name;
        int type;
        const char16_t* a;
        const char16_t* b;
        int expected;
    };
    const Case cases[] = {
        {"numbers, not text: 900 before 1000", kCompareNumber, u"900", u"1000", -1},
        {"equal numbers", kCompareNumber, u"42", u"42", 0},
        {"leading blanks and sign", kCompareNumber, u"  -5", u"3", -1},
        {"digits up to the first other character", kCompareNumber, u"12KB", u"12", 0},
        {"extremes do not overflow", kCompareNumber, u"-9223372036854775808", u"9223372036854775807", -1},
        {"beyond 64 bits saturates", kCompareNumber, u"99999999999999999999", u"1", 1},
        {"a number cell without digits sorts last", kCompareNumber, u"abc", u"7", 1},
        {"two cells without digits are equal", kCompareNumber, u"", u"x", 0},
        {"text: upper case first", kCompareText, u"Zeta", u"alpha", -1},
        {"text: case-sensitive equality", kCompareText, u"a", u"A", 1},
        {"text: byte order of UTF-8", kCompareText, u"\u00e9", u"z", 1},
        {"unknown type compares as text", 9, u"b", u"a", 1},
        {"type none: all equal", kCompareNone, u"b", u"a", 0},
        {"dates in order", kCompareDateTime, u"2024-01-02 10:00:00", u"2024-01-03 09:00:00", -1},
        {"same second", kCompareDateTime, u"2024-01-02 10:00:00", u"2024-01-02 10:00:00", 0},
        {"0.4 s apart is equal", kCompareDateTime, u"2024-01-02 10:00:00", u"2024-01-02 10:00:00.400", 0},
        {"one second apart", kCompareDateTime, u"2024-01-02 10:00:00", u"2024-01-02 10:00:01", -1},
        {"0.6 s apart rounds to the next second", kCompareDateTime, u"2024-01-02 10:00:00", u"2024-01-02 10:00:00.600", -1},
        {"date only", kCompareDateTime, u"2024-01-02", u"2024-01-02 00:00:00", 0},
        {"locale form %x %X", kCompareDateTime, u"01/02/24 10:00:00", u"2024-01-02 10:00:01", -1},
        {"no date sorts after a date", kCompareDateTime, u"not a date", u"2024-01-02 10:00:00", 1},
        {"a date sorts before no date", kCompareDateTime, u"2024-01-02 10:00:00", u"", -1},
        {"31 February is no date", kCompareDateTime, u"2024-02-31 10:00:00", u"2024-01-01 00:00:00", 1},
        {"two texts that are no date are equal", kCompareDateTime, u"x", u"y", 0},
        {"decimal: negative zero is zero", kCompareDecimal, u"-0000000000.00", u"0.0", 0},
        {"decimal: 1.50 and 1.5 are one value", kCompareDecimal, u"1.50", u"1.5", 0},
        {"decimal: 1e+003 is 1000", kCompareDecimal, u"1e+003", u"1000.0000", 0},
        {"decimal: a digit past a double's precision", kCompareDecimal, u"0.10000000000000000000000001", u"0.1", 1},
        {"decimal: NULL after any value", kCompareDecimal, u" NULL", u"-1.#INF", 1},
        {"grid date: the seventh fraction digit counts", kCompareGridDateTime, u"01/01/2000 0:00:00.0000001",
         u"01/01/2000", 1},
        {"grid date: twelve midnight is the day's start, twelve noon its middle", kCompareGridDateTime,
         u"1/1/2000 12:00:00.000 AM", u"1/1/2000 12:00:00.000 PM", -1},
        {"grid date: 13 PM is no time", kCompareGridDateTime, u"1/1/2000 13:00:00.000 PM", u"1/1/2000", 1},
        {"time of day: empty is midnight", kCompareTimeOfDay, u"", u" 0:00:00.0000001", -1},
        {"grid date: empty is no date", kCompareGridDateTime, u"", u"01/01/1", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Sign(CompareCells(c.type, c.a, c.b)), c.expected);
        EXPECT_EQ(Sign(CompareCells(c.type, c.b, c.a)), -c.expected) << "antisymmetry";
    }
}

TEST(ListSort, DescendingKeepsUnparsableCellsLast) {
    ColumnSortInfo info{1, kSortDescending, kCompareNumber};
    EXPECT_GT(CompareForSort(info, u"5", u"9"), 0);
    EXPECT_GT(CompareForSort(info, u"none", u"9"), 0);
    EXPECT_LT(CompareForSort(info, u"9", u"none"), 0);
    info.flags = 0;
    EXPECT_EQ(CompareForSort(info, u"5", u"9"), 0) << "a column that is not sortable keeps every row equal";
}

// std::sort needs a strict weak order: irreflexive, transitive, with transitive equivalence. Checked over every
// triple of a mixed set, including values on both sides of the half-second rounding and unparsable texts.
TEST(ListSort, ComparisonIsAStrictWeakOrder) {
    const std::vector<std::u16string> dates = {
        u"2024-01-02 10:00:00", u"2024-01-02 10:00:00.400", u"2024-01-02 10:00:00.499", u"2024-01-02 10:00:00.500",
        u"2024-01-02 10:00:00.900", u"2024-01-02 10:00:01", u"garbage", u"", u"1999-12-31 23:59:59"};
    const std::vector<std::u16string> numbers = {u"1", u"-1", u"x", u"", u"9223372036854775807",
                                                 u"-9223372036854775808", u"0", u" 7"};
    for (int direction : {kSortAscending, kSortDescending}) {
        for (const auto& [type, values] : {std::pair{kCompareDateTime, dates}, std::pair{kCompareNumber, numbers}}) {
            const ColumnSortInfo info{0, direction, type};
            auto less = [&](const std::u16string& a, const std::u16string& b) { return CompareForSort(info, a, b) < 0; };
            auto equiv = [&](const std::u16string& a, const std::u16string& b) { return !less(a, b) && !less(b, a); };
            for (const auto& a : values) {
                EXPECT_FALSE(less(a, a));
                for (const auto& b : values) {
                    for (const auto& c : values) {
                        if (less(a, b) && less(b, c)) {
                            EXPECT_TRUE(less(a, c));
                        }
                        if (equiv(a, b) && equiv(b, c)) {
                            EXPECT_TRUE(equiv(a, c));
                        }
                    }
                }
            }
        }
    }
}

TEST(ListSort, SortingPutsUnparsableLastInBothDirections) {
    std::vector<std::u16string> rows = {u"1000", u"abc", u"900", u"", u"5"};
    ColumnSortInfo info{1, kSortToggles, kCompareNumber};
    ASSERT_TRUE(ApplyHeaderClick(info));
    std::stable_sort(rows.begin(), rows.end(), [&](auto& a, auto& b) { return CompareForSort(info, a, b) < 0; });
    EXPECT_EQ(rows, (std::vector<std::u16string>{u"5", u"900", u"1000", u"abc", u""}));
    ASSERT_TRUE(ApplyHeaderClick(info));
    std::stable_sort(rows.begin(), rows.end(), [&](auto& a, auto& b) { return CompareForSort(info, a, b) < 0; });
    EXPECT_EQ(rows, (std::vector<std::u16string>{u"1000", u"900", u"5", u"abc", u""}));
}

TEST(ListSort, HeaderClickToggles) {
    ColumnSortInfo info{0, kSortToggles, kCompareText};
    ASSERT_TRUE(ApplyHeaderClick(info));
    EXPECT_TRUE(IsAscending(info)) << "first click sorts ascending";
    ASSERT_TRUE(ApplyHeaderClick(info));
    EXPECT_FALSE(IsAscending(info));
    EXPECT_TRUE(info.flags & kSortDescending);
    ASSERT_TRUE(ApplyHeaderClick(info));
    EXPECT_TRUE(IsAscending(info));

    ColumnSortInfo fixed{0, kSortDescending, kCompareText};
    ASSERT_TRUE(ApplyHeaderClick(fixed));
    EXPECT_EQ(fixed.flags, kSortDescending) << "without the toggle flag the direction stays";

    ColumnSortInfo none{0, 0, kCompareText};
    EXPECT_FALSE(ApplyHeaderClick(none));
}

}  // namespace
}  // namespace app
