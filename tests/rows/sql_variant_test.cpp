// sql_variant values: the text of each base type, damaged short values, and the statement's quoted literal.
#include <gtest/gtest.h>

#include "rows/sql_variant_text.h"
#include "tests/rows/value_fixture.h"

using namespace valuetest;

namespace {

// Base type, version byte, then the rest.
std::vector<std::uint8_t> Variant(std::uint8_t type, const std::vector<std::uint8_t>& rest) {
    return Concat({{type, 1}, rest});
}

std::vector<std::uint8_t> Collated(std::uint8_t type, const std::vector<std::uint8_t>& chars) {
    return Variant(type, Concat({LE16(static_cast<std::uint16_t>(chars.size())), {9, 4, 0xD0, 0}, chars}));
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
    EXPECT_EQ(U8(f.Var(column, text_at, quoted.size(), 0, kInsert).text), "'O''Brien'");
    EXPECT_EQ(U8(f.Var(column, short_at, 4, 0, kGrid).text), "");
    EXPECT_EQ(U8(f.Var(column, int_at, 6, 0, kInsert).text), "'1'");
    // A value of length 0 is not read.
    EXPECT_EQ(U8(f.Var(column, int_at, 0, 0, kGrid).text), "");
    EXPECT_EQ(U8(f.Var(column, int_at, 0, 0, kInsert).text), "''");
}

}  // namespace
