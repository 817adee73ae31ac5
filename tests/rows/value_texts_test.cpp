// Texts of the fixed-width values: integers, bit, money, uniqueidentifier, the date and time types, the
// day-count conversion and the fixed English date formatter.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/date_format.h"
#include "platform/text.h"
#include "rows/date_time_values.h"
#include "rows/guid_values.h"
#include "rows/integer_values.h"
#include "tests/support/page_builder.h"

using testsupport::FromHex;
using testsupport::LE16;
using testsupport::LE32;
using testsupport::LE64;

namespace {

std::string U8(const std::u16string& s) { return platform::ToUtf8(s); }

std::vector<std::uint8_t> Cat(std::vector<std::uint8_t> a, const std::vector<std::uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<std::uint8_t> LE(std::uint64_t v, std::size_t n) {
    std::vector<std::uint8_t> out(n);
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>(v >> (8 * i));
    return out;
}

}  // namespace

TEST(IntegerValues, TextsOfEachType) {
    struct Case {
        std::uint8_t type;
        const char* hex;
        std::uint8_t bit_pos;
        const char* insert;
        const char* display;
    };
    const Case cases[] = {
        {104, "05", 2, "1", "TRUE"},
        {104, "05", 1, "0", "FALSE"},
        {104, "80", 7, "1", "TRUE"},
        {104, "FF", 9, "0", "FALSE"},  // damaged bit position
        {48, "FF", 0, "255", "255"},
        {52, "FFFF", 0, "-1", "-1"},
        {52, "0080", 0, "-32768", "-32768"},
        {56, "00000080", 0, "-2147483648", "-2147483648"},
        {56, "D2040000", 0, "1234", "1234"},
        {127, "FFFFFFFFFFFFFFFF", 0, "-1", "-1"},
        {127, "0000000000000080", 0, "-9223372036854775808", "-9223372036854775808"},
        {122, "01000000", 0, "0.0001", "0.0001"},
        {122, "00000080", 0, "-214748.3648", "-214748.3648"},
        {60, "0000000000000000", 0, "0.0000", "0.0000"},
        {60, "FFFFFFFFFFFFFF7F", 0, "922337203685477.5807", "922337203685477.5807"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("type ") + std::to_string(c.type) + " " + c.hex);
        const auto bytes = FromHex(c.hex);
        const auto texts = rows::IntegerFamilyTexts(c.type, bytes, static_cast<std::uint16_t>(bytes.size()), c.bit_pos);
        EXPECT_EQ(U8(texts.insert), c.insert);
        EXPECT_EQ(U8(texts.display), c.display);
    }
}

TEST(IntegerValues, OnlyTheColumnLengthIsTaken) {
    // A catalogue length shorter than the width: the bytes beyond it count as zero.
    EXPECT_EQ(U8(rows::IntegerFamilyTexts(56, FromHex("FFFFFFFF"), 2, 0).display), "65535");
    EXPECT_EQ(U8(rows::IntegerFamilyTexts(56, FromHex("FFFFFFFF"), 9, 0).display), "-1");
}

TEST(MoneyValues, Texts) {
    const std::pair<std::int64_t, const char*> cases[] = {
        {0, "0.0000"},         {5, "0.0005"},         {-5, "-0.0005"},        {-123, "-0.0123"},
        {1234, "0.1234"},      {12345, "1.2345"},     {1, "0.0001"},          {9999, "0.9999"},
        {10000, "1.0000"},     {-10000, "-1.0000"},   {-9999, "-0.9999"},     {-2147483648LL, "-214748.3648"},
        {9223372036854775807LL, "922337203685477.5807"},
        {INT64_MIN, "-922337203685477.5808"},
    };
    for (const auto& [value, text] : cases) EXPECT_EQ(U8(rows::MoneyText(value)), text) << value;
}

TEST(GuidValues, BracedUpperCaseWithReversedGroups) {
    EXPECT_EQ(U8(rows::GuidText(FromHex("33221100 5544 7766 8899 AABBCCDDEEFF"))),
              "{00112233-4455-6677-8899-AABBCCDDEEFF}");
    EXPECT_EQ(U8(rows::GuidText(std::vector<std::uint8_t>(16, 0))), "{00000000-0000-0000-0000-000000000000}");
    EXPECT_EQ(U8(rows::GuidText(FromHex("ff"))), "{000000FF-0000-0000-0000-000000000000}");
}

// The year walk as first written: the closed form must give the same dates.
platform::CalendarDate WalkDayNumber(std::uint32_t n, bool b, std::uint8_t t) {
    auto leap = [](int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; };
    int y = (t == 40 || t == 42 || t == 43) ? 1 : 1900;
    for (;;) {
        if (b) --y;
        if (n < 365) break;
        const std::uint32_t l = leap(y) ? 366 : 365;
        if (l == 366 && n == 365) break;
        n -= l;
        if (!b) ++y;
        if (n == 0) break;
    }
    int len[12] = {31, leap(y) ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int m = 0;
    int d = 0;
    if (!b) {
        m = 1;
        while (n >= static_cast<std::uint32_t>(len[m - 1])) n -= len[m++ - 1];
        d = static_cast<int>(n) + 1;
    } else if (n == 0) {
        m = 1;
        d = 1;
    } else {
        m = 12;
        while (n > static_cast<std::uint32_t>(len[m - 1])) n -= len[m-- - 1];
        d = len[m - 1] - static_cast<int>(n) + 1;
    }
    return {y, m, d};
}

TEST(DayNumberToDate, ClosedFormEqualsTheYearWalk) {
    const std::uint8_t types[] = {61, 40};
    for (std::uint8_t t : types) {
        for (bool b : {false, true}) {
            const std::uint32_t limit = (t == 61 && b) ? 693000 : 3652059;
            for (std::uint32_t n = 0; n < limit; n += (n < 3000 ? 1 : 97)) {
                platform::CalendarDate got;
                rows::DayNumberToDate(n, b, &got, t);
                const auto want = WalkDayNumber(n, b, t);
                ASSERT_TRUE(got.wYear == want.wYear && got.wMonth == want.wMonth && got.wDay == want.wDay)
                    << "n=" << n << " back=" << b << " type=" << int(t) << " got " << got.wYear << "-" << got.wMonth
                    << "-" << got.wDay << " want " << want.wYear << "-" << want.wMonth << "-" << want.wDay;
            }
        }
    }
}

TEST(DayNumberToDate, Texts) {
    struct Case {
        std::uint32_t n;
        bool back;
        std::uint8_t type;
        const char* text;
    };
    const Case cases[] = {
        {0, false, 61, "01/01/1900"},   {1, true, 61, "12/31/1899"},       {365, true, 61, "01/01/1899"},
        {53690, true, 61, "01/01/1753"}, {2958463, false, 61, "12/31/9999"}, {0, false, 40, "01/01/1"},
        {3652058, false, 42, "12/31/9999"}, {59, false, 61, "03/01/1900"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(U8(rows::DayNumberToDate(c.n, c.back, nullptr, c.type)), c.text) << c.n;
    }
}

TEST(DateFormat, FixedEnglishShortAndLongDates) {
    EXPECT_EQ(U8(platform::ShortDateText({2010, 1, 15})), "1/15/2010");
    EXPECT_EQ(U8(platform::ShortDateText({1, 1, 1})), "1/1/0001");
    EXPECT_EQ(U8(platform::LongDateText({2010, 1, 15})), "Friday, January 15, 2010");
    EXPECT_EQ(U8(platform::LongDateText({1900, 1, 1})), "Monday, January 1, 1900");
    EXPECT_EQ(U8(platform::LongDateText({2000, 2, 29})), "Tuesday, February 29, 2000");
    EXPECT_EQ(U8(platform::ShortDateText({10000, 1, 1})), "");
    EXPECT_EQ(U8(platform::ShortDateText({1999, 2, 29})), "");
}

struct DateCase {
    const char* name;
    std::uint8_t type;
    std::vector<std::uint8_t> bytes;
    std::uint16_t in_row;
    std::uint8_t scale;
    const char* grid;
    const char* insert;
};

std::vector<std::uint8_t> DateTime(std::uint32_t ticks, std::int32_t days) {
    return Cat(LE32(ticks), LE32(static_cast<std::uint32_t>(days)));
}

constexpr std::uint32_t kTicksPerHour = 300u * 3600u;

TEST(DateTimeValues, TextsOfEachType) {
    const std::uint32_t t130509 = 13 * kTicksPerHour + 5 * 60 * 300 + 9 * 300 + 150;
    // 2010-01-15 as a datetime day count and as a day count from year 1.
    const std::int32_t jan15_1900 = 40191;
    const std::uint32_t jan15_1 = 733786;
    const DateCase cases[] = {
        {"datetime zero", 61, DateTime(0, 0), 8, 0, "1/1/1900 12:00:00.000 AM", "'1/1/1900 12:00:00.000 AM'"},
        {"datetime noon", 61, DateTime(12 * kTicksPerHour, 0), 8, 0, "1/1/1900  12:00:00.000 PM",
         "'1/1/1900  12:00:00.000 PM'"},
        {"datetime 13:05:09 + 150 ticks", 61, DateTime(t130509, jan15_1900), 8, 0, "1/15/2010  1:05:09.499 PM",
         "'1/15/2010  1:05:09.499 PM'"},
        {"datetime 00:30", 61, DateTime(30 * 60 * 300, 0), 8, 0, "1/1/1900 12:30:00.000 AM",
         "'1/1/1900 12:30:00.000 AM'"},
        {"datetime 1 tick", 61, DateTime(1, 0), 8, 0, "1/1/1900 12:00:00.003 AM", "'1/1/1900 12:00:00.003 AM'"},
        {"datetime 2 ticks", 61, DateTime(2, 0), 8, 0, "1/1/1900 12:00:00.006 AM", "'1/1/1900 12:00:00.006 AM'"},
        {"datetime 299 ticks", 61, DateTime(299, 0), 8, 0, "1/1/1900 12:00:00.995 AM",
         "'1/1/1900 12:00:00.995 AM'"},
        {"datetime day -1", 61, DateTime(0, -1), 8, 0, "12/31/1899 12:00:00.000 AM",
         "'12/31/1899 12:00:00.000 AM'"},
        {"datetime day -53690", 61, DateTime(0, -53690), 8, 0, "1/1/1753 12:00:00.000 AM",
         "'1/1/1753 12:00:00.000 AM'"},
        {"datetime last day", 61, DateTime(0, 2958463), 8, 0, "12/31/9999 12:00:00.000 AM",
         "'12/31/9999 12:00:00.000 AM'"},
        {"datetime damaged hour 25", 61, DateTime(25 * kTicksPerHour, 0), 8, 0, "1/1/1900", "'1/1/1900'"},
        {"smalldatetime 0", 58, Cat(LE16(0), LE16(0)), 4, 0, "1/1/1900 12:00:00 AM", "'1/1/1900 12:00:00 AM'"},
        {"smalldatetime 720", 58, Cat(LE16(720), LE16(0)), 4, 0, "1/1/1900 12:00:00 PM",
         "'1/1/1900 12:00:00 PM'"},
        {"smalldatetime 1439", 58, Cat(LE16(1439), LE16(1)), 4, 0, "1/2/1900 11:59:00 PM",
         "'1/2/1900 11:59:00 PM'"},
        {"date 0", 40, LE(0, 3), 3, 0, "01/01/1", "'01/01/0001'"},
        {"date last", 40, LE(3652058, 3), 3, 0, "12/31/9999", "'12/31/9999'"},
        {"time(7) midnight", 41, LE(0, 5), 5, 7, "", "''"},
        {"time(7) T = 5", 41, LE(5, 5), 5, 7, " 0:00:00.0000005", "' 0:00:00.0000005'"},
        {"time(0) 13:45", 41, LE(13 * 3600 + 45 * 60, 3), 3, 0, " 13:45:00.0", "' 13:45:00.0'"},
        {"time(0) ignores the next column's bytes", 41, Cat(LE(60, 3), FromHex("FFFF")), 3, 0, " 0:01:00.0",
         "' 0:01:00.0'"},
        // A damaged value past 24 hours keeps its impossible hour (taken modulo 60, as for datetime) rather
        // than wrapping into a plausible time of day.
        {"time(0) damaged hour 25", 41, LE(25 * 3600 + 7, 3), 3, 0, " 25:00:07.0", "' 25:00:07.0'"},
        {"datetime2(3)", 42, Cat(LE((9ull * 3600 + 5 * 60 + 3) * 1000 + 120, 4), LE(jan15_1, 3)), 7, 3,
         "01/15/2010 9:05:03.120", "'01/15/2010 9:05:03.120'"},
        {"datetime2 midnight", 42, Cat(LE(0, 5), LE(jan15_1, 3)), 8, 7, "01/15/2010", "'01/15/2010'"},
        {"datetimeoffset +5:30", 43, Cat(Cat(LE(9ull * 3600 * 10000000, 5), LE(jan15_1, 3)), LE16(330)), 10, 7,
         "01/15/2010 14:30:00.0000000  +5:30", "'01/15/2010 14:30:00.0000000  +05:30'"},
        {"datetimeoffset +1:0", 43, Cat(Cat(LE(9ull * 3600 * 10000000, 5), LE(jan15_1, 3)), LE16(60)), 10, 7,
         "01/15/2010 10:00:00.0000000  +1:0", "'01/15/2010 10:00:00.0000000  +01:00'"},
        {"datetimeoffset UTC midnight", 43, Cat(Cat(LE(0, 5), LE(jan15_1, 3)), LE16(0)), 10, 7, "01/15/2010",
         "'01/15/2010'"},
        // Local time past midnight moves the date; a negative offset moves it back.
        {"datetimeoffset carries into the next day", 43,
         Cat(Cat(LE(22ull * 3600 * 10000000, 5), LE(jan15_1, 3)), LE16(120)), 10, 7,
         "01/16/2010 0:00:00.0000000  +2:0", "'01/16/2010 0:00:00.0000000  +02:00'"},
        {"datetimeoffset negative offset", 43,
         Cat(Cat(LE(3ull * 3600 * 10000000, 5), LE(jan15_1, 3)), LE16(static_cast<std::uint16_t>(-300))), 10, 7,
         "01/14/2010 22:00:00.0000000  -5:0", "'01/14/2010 22:00:00.0000000  -05:00'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto texts = rows::DateTimeFamilyTexts(c.type, c.bytes, c.in_row, c.scale);
        EXPECT_EQ(U8(texts.display), c.grid);
        EXPECT_EQ(U8(texts.insert), c.insert);
    }
}

TEST(DateTimeValues, HelpersForVariantValues) {
    EXPECT_EQ(U8(rows::TwelveHourTime(13 * kTicksPerHour + 5 * 60 * 300 + 9 * 300 + 150, false)), "  1:05:09 PM");
    EXPECT_EQ(U8(platform::LongDateText(rows::DateTimeDate(40191))), "Friday, January 15, 2010");
    EXPECT_EQ(U8(rows::SmallDateTimeText(0, 0)), "1/1/1900 12:00:00 AM");
}
