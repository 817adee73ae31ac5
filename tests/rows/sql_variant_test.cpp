// sql_variant values: the text of each base type, damaged short values, and the statement's expression of each
// value as its own base type.
#include <gtest/gtest.h>

#include "mdf/collation_names.h"
#include "rows/sql_variant_text.h"
#include "tests/rows/value_fixture.h"

using namespace valuetest;

namespace {

// Base type, version byte, then the rest.
std::vector<std::uint8_t> Variant(std::uint8_t type, const std::vector<std::uint8_t>& rest) {
    return Concat({{type, 1}, rest});
}

// A character value of the collation (Latin1_General_CI_AS unless given), its maximum length the value's.
std::vector<std::uint8_t> Collated(std::uint8_t type, const std::vector<std::uint8_t>& chars,
                                   std::uint32_t collation = 0xD008) {
    return Variant(type, Concat({LE16(static_cast<std::uint16_t>(chars.size())), LE32(collation), chars}));
}

// The code page of a collation as the engine takes it.
const platform::CodePage& PageOf(std::uint32_t collation) {
    const platform::CodePage* page = platform::CodePageNumbered(mdf::CollationCodePage(collation));
    return page ? *page : platform::AnsiCodePage();
}

TEST(SqlVariantText, TextsByBaseType) {
    std::vector<std::uint8_t> ten_pow_30_mantissa(16, 0);
    {
        // 10^30, little-endian.
        const auto le = FromHex("00000040EAED7446D09C2C9F0C000000");
        std::copy(le.begin(), le.end(), ten_pow_30_mantissa.begin());
    }
    struct Case {
        const char* name;
        std::vector<std::uint8_t> value;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"int", Variant(56, {0xFB, 0xFF, 0xFF, 0xFF}), "-5"},
        {"smallint", Variant(52, {0xFB, 0xFF}), "-5"},
        {"tinyint", Variant(48, {0xFF}), "255"},
        {"bigint", Variant(127, std::vector<std::uint8_t>(8, 0xFF)), "-1"},
        {"bit", Variant(104, {1}), "1"},
        {"money", Variant(60, LE64(12345678)), "1234.5678"},
        {"money -5", Variant(60, LE64(static_cast<std::uint64_t>(-5))), "-0.0005"},
        {"smallmoney -123", Variant(122, LE32(static_cast<std::uint32_t>(-123))), "-0.0123"},
        {"smallmoney 0", Variant(122, LE32(0)), "0.0000"},
        {"decimal scale 3", Variant(106, Concat({{5, 3, 1}, LE32(12345)})), "12.345"},
        {"decimal below one", Variant(106, Concat({{5, 3, 1}, LE32(12)})), "0.012"},
        {"negative decimal", Variant(108, Concat({{5, 3, 0}, LE32(12)})), "-0.012"},
        {"scale 0", Variant(106, Concat({{5, 0, 1}, LE32(7)})), "7"},
        {"16-byte mantissa", Variant(106, Concat({{38, 2, 1}, ten_pow_30_mantissa})),
         "10000000000000000000000000000.00"},
        {"negative zero decimal", Variant(106, Concat({{5, 2, 0}, LE32(0)})), "-0.00"},
        {"float 1.5", Variant(62, LE64(0x3FF8000000000000ull)), "1.5"},
        {"float 3", Variant(62, LE64(0x4008000000000000ull)), "3"},
        {"float 10 digits", Variant(62, LE64(0x3FB999999999999Aull)), "0.1"},
        {"real 0.1", Variant(59, LE32(0x3DCCCCCD)), "0.1000000015"},
        {"varchar", Collated(167, Ascii("abc")), "abc"},
        {"char up to its first zero", Collated(175, {'a', 0, 'b'}), "a"},
        {"nvarchar", Collated(231, Utf16Le(u"xyz")), "xyz"},
        {"nvarchar shorter than its header", Variant(231, {6, 0, 9, 4, 0}), ""},
        {"varbinary", Variant(165, Concat({LE16(2), {0x0A, 0x1B}})), "0x0A1B"},
        {"varbinary without bytes", Variant(165, LE16(0)), "0x"},
        {"smalldatetime", Variant(58, {0, 0, 0, 0}), "1/1/1900 12:00:00 AM"},
        {"datetime: long date, no milliseconds", Variant(61, Concat({LE32(47109 * 300 + 150), LE32(40191)})),
         "Friday, January 15, 2010  1:05:09 PM"},
        {"uniqueidentifier has no text", Variant(36, std::vector<std::uint8_t>(16, 1)), ""},
        {"date has no text", Variant(40, {1, 2, 3}), ""},
        {"zero base type", Variant(0, {1, 2}), ""},
        // Values shorter than their base type: nothing past the value is read.
        {"short int", Variant(56, {0xFB, 0xFF}), ""},
        {"short bigint", Variant(127, {1, 2, 3}), ""},
        {"short float", Variant(62, {1, 2, 3, 4}), ""},
        {"short datetime", Variant(61, {1, 2, 3, 4, 5, 6}), ""},
        {"decimal without a sign byte", Variant(106, {5, 3}), ""},
        {"only the base type", {56}, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(U8(rows::SqlVariantText(c.value)), c.text) << c.name;
    }
}

// The statement gives the target column each value as its own base type, with every digit and character.
TEST(SqlVariantLiteral, EachBaseTypeAsItself) {
    const std::u16string moscow = u"\u041C\u043E\u0441\u043A\u0432\u0430";
    struct Case {
        const char* name;
        std::vector<std::uint8_t> value;
        std::u16string literal;
    };
    const std::vector<Case> cases = {
        {"int", Variant(56, {0xFB, 0xFF, 0xFF, 0xFF}), u"CAST(-5 AS int)"},
        {"smallint", Variant(52, {0xFB, 0xFF}), u"CAST(-5 AS smallint)"},
        {"tinyint", Variant(48, {0xFF}), u"CAST(255 AS tinyint)"},
        {"bigint", Variant(127, std::vector<std::uint8_t>(8, 0xFF)), u"CAST(-1 AS bigint)"},
        {"bit", Variant(104, {1}), u"CAST(1 AS bit)"},
        {"money", Variant(60, LE64(12345678)), u"CAST(1234.5678 AS money)"},
        {"smallmoney", Variant(122, LE32(static_cast<std::uint32_t>(-123))), u"CAST(-0.0123 AS smallmoney)"},
        {"decimal", Variant(106, Concat({{5, 3, 1}, LE32(12345)})), u"CAST(12.345 AS decimal(5,3))"},
        {"numeric", Variant(108, Concat({{5, 3, 0}, LE32(12)})), u"CAST(-0.012 AS numeric(5,3))"},
        {"float with all its digits", Variant(62, LE64(0x3FD5555555555555ull)), u"CAST(0.3333333333333333 AS float)"},
        {"the most negative float", Variant(62, LE64(0xFFEFFFFFFFFFFFFFull)),
         u"CAST(-1.7976931348623157e+308 AS float)"},
        {"real", Variant(59, LE32(0x3DCCCCCD)), u"CAST(0.1000000015 AS real)"},
        // datetime keeps its milliseconds, in the form every server language reads alike.
        {"datetime", Variant(61, Concat({LE32(47109 * 300 + 150), LE32(40191)})),
         u"CAST('2010-01-15T13:05:09.500' AS datetime)"},
        {"datetime of one tick", Variant(61, Concat({LE32(1), LE32(0)})), u"CAST('1900-01-01T00:00:00.003' AS datetime)"},
        {"smalldatetime", Variant(58, {0, 0, 0, 0}), u"CAST('1900-01-01T00:00:00' AS smalldatetime)"},
        // Character values keep their N, their collation and their length; a quote cannot end the literal.
        {"varchar", Collated(167, Ascii("O'Brien")), u"CAST((N'O''Brien') COLLATE Latin1_General_CI_AS AS varchar(7))"},
        {"varchar of a Cyrillic collation", Collated(167, {0xCC, 0xEE, 0xF1, 0xEA, 0xE2, 0xE0}, 0xD015),
         u"CAST((N'" + moscow + u"') COLLATE Cyrillic_General_CI_AS AS varchar(6))"},
        {"nvarchar", Collated(231, Utf16Le(u"\u03B1\u03B2")), u"CAST((N'\u03B1\u03B2') COLLATE Latin1_General_CI_AS AS nvarchar(2))"},
        {"char with a zero inside", Collated(175, {'a', 0, 'b'}),
         u"CAST((N'a' + NCHAR(0) + N'b') COLLATE Latin1_General_CI_AS AS char(3))"},
        {"nchar", Collated(239, Utf16Le(u"x ")), u"CAST((N'x ') COLLATE Latin1_General_CI_AS AS nchar(2))"},
        {"varbinary", Variant(165, Concat({LE16(2), {0x0A, 0x1B}})), u"CAST(0x0A1B AS varbinary(2))"},
        {"binary", Variant(173, Concat({LE16(3), {0x00, 0x01, 0x02}})), u"CAST(0x000102 AS binary(3))"},
        {"uniqueidentifier", Variant(36, FromHex("33221100554477668899AABBCCDDEEFF")),
         u"CAST('00112233-4455-6677-8899-AABBCCDDEEFF' AS uniqueidentifier)"},
        {"date", Variant(40, {0x96, 0x25, 0x0B}), u"CAST('2001-02-03' AS date)"},
        {"time(7)", Variant(41, Concat({{7}, FromHex("07C739AF6D")})), u"CAST('13:05:09.1234567' AS time(7))"},
        {"datetime2(3)", Variant(42, Concat({{3}, LE32(90500), {0x96, 0x25, 0x0B}})),
         u"CAST('2001-02-03T00:01:30.500' AS datetime2(3))"},
        // The stored date and time are UTC; the literal gives the local ones with the offset.
        {"datetimeoffset(0)", Variant(43, Concat({{0}, {0, 0, 0}, {0x96, 0x25, 0x0B}, LE16(60)})),
         u"CAST('2001-02-03T01:00:00+01:00' AS datetimeoffset(0))"},
        {"datetimeoffset(0) west of UTC", Variant(43, Concat({{0}, {0, 0, 0}, {0x96, 0x25, 0x0B}, LE16(0xFF88)})),
         u"CAST('2001-02-02T22:00:00-02:00' AS datetimeoffset(0))"},
        // What cannot be read as its base type is no value: NULL, never a text in its place.
        {"an unknown base type", Variant(0, {1, 2}), u"NULL"},
        {"a short int", Variant(56, {0xFB, 0xFF}), u"NULL"},
        {"a decimal of precision 0", Variant(106, Concat({{0, 0, 1}, LE32(1)})), u"NULL"},
        {"a time of scale 9", Variant(41, Concat({{9}, FromHex("0000000000")})), u"NULL"},
        {"only the base type", {56}, u"NULL"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(U8(rows::SqlVariantLiteral(c.value, PageOf)), U8(c.literal)) << c.name;
    }
}

// The grid reads 8-bit values by their own collation's code page too.
TEST(SqlVariantText, EightBitValuesByTheirCollation) {
    EXPECT_EQ(U8(rows::SqlVariantText(Collated(167, {0xCC, 0xEE, 0xF1, 0xEA, 0xE2, 0xE0}, 0xD015), PageOf)),
              U8(u"\u041C\u043E\u0441\u043A\u0432\u0430"));
}

TEST(SqlVariantValues, GridAndQuotedStatementText) {
    ValueFixture f;
    const auto quoted = Collated(167, Ascii("O'Brien"));
    const std::uint64_t text_at = f.Put(quoted);
    // A short int followed by bytes that would complete it if read past the value.
    const std::uint64_t short_at = f.Put(Concat({Variant(56, {5, 0}), {7, 7, 7, 7}}));
    const std::uint64_t int_at = f.Put(Variant(56, LE32(1)));
    f.Open();
    const auto column = ValueFixture::Column(98, 8016);
    EXPECT_EQ(U8(f.Var(column, text_at, quoted.size(), 0, kGrid).text), "O'Brien");
    EXPECT_EQ(U8(f.Var(column, text_at, quoted.size(), 0, kInsert).text),
              "CAST((N'O''Brien') COLLATE Latin1_General_CI_AS AS varchar(7))");
    EXPECT_EQ(U8(f.Var(column, short_at, 4, 0, kGrid).text), "");
    EXPECT_EQ(U8(f.Var(column, short_at, 4, 0, kInsert).text), "NULL");
    EXPECT_EQ(U8(f.Var(column, int_at, 6, 0, kInsert).text), "CAST(1 AS int)");
    // A value of length 0 is not read: no base type, no value.
    EXPECT_EQ(U8(f.Var(column, int_at, 0, 0, kGrid).text), "");
    EXPECT_EQ(U8(f.Var(column, int_at, 0, 0, kInsert).text), "NULL");
}

}  // namespace
