// Character values: in-row texts of the seven types in the grid and the statement, the grid's shaping rules,
// texts gathered through row ids (roots and text pointers), and torn sectors inside a value.
#include <gtest/gtest.h>

#include "rows/character_text.h"
#include "tests/rows/value_fixture.h"

using namespace valuetest;

namespace {

constexpr std::uint8_t kChar = 175, kNChar = 239, kVarChar = 167, kNVarChar = 231, kText = 35, kNText = 99,
                       kXml = 241;

struct InRowCase {
    const char* name;
    std::uint8_t type;
    std::uint16_t max_in_row;
    std::vector<std::uint8_t> bytes;
    std::string grid;
    std::string insert;                       // "?" means a parameter holding `parameter_text`
    std::u16string parameter_text;
    platform::DataTypeEnum parameter_type = platform::adEmpty;
};

TEST(CharacterValues, InRowTextsInGridAndStatement) {
    const std::string fifty(50, 'x');
    const std::string forty(40, 'y');
    const std::vector<InRowCase> cases = {
        {"char keeps its trailing blanks", kChar, 10, Ascii("ab        "), "ab        ", "?", u"ab        ",
         platform::adChar},
        {"char starting with a zero byte", kChar, 4, {0, 'a', 'b', 'c'}, " ", "''", u""},
        {"nchar first CR rule", kNChar, 8, Utf16Le(u"a\r\nb"), "a b", "?", u"a\r\nb", platform::adWChar},
        {"nchar starting with a zero unit", kNChar, 4, {0, 0, 'a', 0}, " ", "''", u""},
        {"nvarchar odd length: the last byte is a low byte", kNVarChar, 100,
         {'a', 0, 'b', 0, 'c', 0, 'd'}, "abcd", "?", u"abcd", platform::adLongVarWChar},
        {"nvarchar cut to its maximum in-row length", kNVarChar, 4, Utf16Le(u"abcd"), "ab", "?", u"ab",
         platform::adLongVarWChar},
        {"nvarchar keeps line breaks", kNVarChar, 100, Utf16Le(u"a\r\nb"), "a\r\nb", "?", u"a\r\nb",
         platform::adLongVarWChar},
        {"empty nvarchar", kNVarChar, 100, {}, "", "''", u""},
        {"varchar turns every CR and LF into a blank", kVarChar, 100, Ascii("a\r\nb\rc"), "a  b c", "?",
         u"a\r\nb\rc", platform::adLongVarChar},
        {"varchar through the ANSI code page", kVarChar, 100, {'c', 0xE9}, "c\xC3\xA9", "?", u"c\u00E9",
         platform::adLongVarChar},
        {"varchar longer than its maximum is not read", kVarChar, 3, Ascii("abcd"), "", "''", u""},
        {"varchar of length 0", kVarChar, 100, {}, "", "''", u""},
        {"xml first CR rule, never copied", kXml, 100, Utf16Le(u"a\r\nb\rc"), "a b\rc", "''", u""},
        {"text cut at 40 characters", kText, 100, Ascii(fifty), std::string(40, 'x'), "?", platform::Widen(fifty),
         platform::adLongVarWChar},
        {"text of exactly 40 characters", kText, 100, Ascii(forty), forty, "?", platform::Widen(forty),
         platform::adLongVarWChar},
        {"text whose only CR is last", kText, 100, Ascii("abc\r"), "abc", "?", u"abc\r", platform::adLongVarWChar},
        {"in-row ntext empty", kNText, 100, {}, "", "''", u""},
        {"in-row ntext", kNText, 100, Utf16Le(u"n\r\nt"), "n t", "?", u"n\r\nt", platform::adLongVarWChar},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ValueFixture f;
        const bool fixed = c.type == kChar || c.type == kNChar;
        // The next bytes on the page are not part of the value.
        const std::uint64_t at = f.Put(Concat({c.bytes, Ascii("NEXT")}));
        f.Open();
        const auto column = ValueFixture::Column(c.type, c.max_in_row);
        auto run = [&](rows::RowMode mode) {
            return fixed ? f.Fixed(column, at, mode) : f.Var(column, at, c.bytes.size(), 0, mode);
        };
        const auto grid = run(kGrid);
        EXPECT_EQ(U8(grid.text), c.grid);
        EXPECT_FALSE(grid.parameter);
        const auto insert = run(kInsert);
        EXPECT_EQ(U8(insert.text), c.insert);
        ASSERT_EQ(insert.parameter.has_value(), c.insert == "?");
        if (insert.parameter) {
            EXPECT_EQ(insert.parameter->type, c.parameter_type);
            EXPECT_EQ(insert.parameter->bytes, Utf16Le(c.parameter_text));
        }
    }
}

TEST(CharacterValues, FirstLineBreakRule) {
    const std::pair<std::u16string, std::u16string> cases[] = {
        {u"no break", u"no break"},  {u"a\r\nb\r\nc", u"a b\r\nc"}, {u"ab\r\n", u"ab"},
        {u"ab\r", u"ab"},            {u"\r\nab", u" ab"},          {u"a\rxb", u"a b"},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(rows::FirstLineBreakToBlank(in), out) << U8(in);
}

TEST(CharacterValues, WideUnitsEndAtTheFirstZeroUnit) {
    // The units are taken eight at a time while none is zero: a zero unit at each place around a block of
    // eight, a zero byte that is only half of a unit, and an odd last byte.
    auto bytes_of = [](std::u16string_view units) {
        std::vector<std::uint8_t> out;
        for (char16_t u : units) {
            out.push_back(static_cast<std::uint8_t>(u & 0xFF));
            out.push_back(static_cast<std::uint8_t>(u >> 8));
        }
        return out;
    };
    const std::u16string sixteen = u"abcdefgh\u4E2Dijklmno";
    struct Case {
        std::vector<std::uint8_t> bytes;
        std::u16string text;
    };
    std::vector<Case> cases = {
        {bytes_of(sixteen), sixteen},
        {bytes_of(std::u16string(u"abcdefg") + u'\0' + u"ijklmnopq"), u"abcdefg"},
        {bytes_of(std::u16string(u"abcdefgh") + u'\0' + u"jklmnopq"), u"abcdefgh"},
        {bytes_of(std::u16string(u"abcdefghi") + u'\0' + u"klmnopq"), u"abcdefghi"},
        {bytes_of(std::u16string(1, u'\0') + u"bcdefghijklmnop"), u""},
        // U+0100 and U+0001: a zero byte in each unit, and no zero unit.
        {bytes_of(u"\u0100\u0001cdefgh\u0100\u0001klmnop"), u"\u0100\u0001cdefgh\u0100\u0001klmnop"},
    };
    auto odd = bytes_of(sixteen);
    odd.push_back(0x41);
    cases.push_back({odd, sixteen + u"A"});
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(rows::Utf16UnitsText(cases[i].bytes), cases[i].text) << "case " << i;
        std::u16string appended = u"head";
        rows::AppendUtf16Units(appended, cases[i].bytes);
        EXPECT_EQ(appended, u"head" + cases[i].text) << "case " << i;
    }
}

TEST(CharacterValues, QuotedLiteralDoublesQuotes) {
    EXPECT_EQ(rows::QuotedLiteral(u"O'Brien"), u"'O''Brien'");
    EXPECT_EQ(rows::QuotedLiteral(u"''); drop table x; --"), u"'''''); drop table x; --'");
    EXPECT_EQ(rows::QuotedLiteral(u""), u"''");
}

// Large values on page 4 (slots 0..3) and page 5 (empty data).
void AddLargeValues(ValueFixture& f, bool wide) {
    auto text = [wide](std::u16string_view s) { return wide ? Utf16Le(s) : Ascii(platform::ToUtf8(s)); };
    f.Page(4).AddRecord(DataRecord(text(u"first\r\nline")));
    f.Page(4).AddRecord(DataRecord(text(u"-second")));
    f.Page(4).AddRecord(DataRecord(text(u"-third")));
    f.Page(4).AddRecord(DataRecord(text(u"SHOULD NOT BE READ")));
    f.Page(5).AddRecord(DataRecord({}));
}

struct PointerCase {
    const char* name;
    std::uint8_t type;
    bool layout2005;
    std::vector<std::uint8_t> value;  // the in-row bytes; a row id for slot 3 follows them on the page
    std::string grid;
    std::string insert;
};

TEST(CharacterValues, TextsGatheredThroughRowIds) {
    const auto header = [](std::uint8_t type_byte) { return Concat({{type_byte}, std::vector<std::uint8_t>(15, 0)}); };
    const auto entry = [](std::uint16_t slot) { return Concat({RowIdBytes(4, slot), LE32(0)}); };
    const std::vector<PointerCase> cases = {
        {"varchar root of 24 bytes: one row id at 16", kVarChar, true,
         Concat({header(4), RowIdBytes(4, 0)}), "first  line", "?"},
        {"varchar text pointer in the 2000 layout", kVarChar, false, Concat({LE64(0), RowIdBytes(4, 1)}),
         "-second", "?"},
        {"ntext root with three row ids at 16, 28 and 40", kNText, true,
         Concat({header(4), entry(0), entry(1), RowIdBytes(4, 2)}), "first line-second-third", "?"},
        {"nvarchar root of type 2", kNVarChar, true, Concat({header(2), RowIdBytes(4, 1)}), "-second", "?"},
        {"nvarchar root too short for its header", kNVarChar, true, Concat({{4}, std::vector<std::uint8_t>(11, 0)}),
         "", "''"},
        // A root of 16 to 23 bytes holds no row id at 16; bytes 8 to 15 are its header, never a row id to follow.
        {"nvarchar root of type 2, 16 bytes", kNVarChar, true,
         Concat({{2}, std::vector<std::uint8_t>(7, 0), RowIdBytes(4, 1)}), "", "''"},
        {"nvarchar root of type 4, 20 bytes", kNVarChar, true,
         Concat({{4}, std::vector<std::uint8_t>(7, 0), RowIdBytes(4, 1), LE32(0)}), "", "''"},
        {"nvarchar root of type 2, 23 bytes", kNVarChar, true,
         Concat({{2}, std::vector<std::uint8_t>(7, 0), RowIdBytes(4, 1), std::vector<std::uint8_t>(7, 0)}), "", "''"},
        {"nvarchar pointer of type 0, 16 bytes: row id at 8", kNVarChar, true,
         Concat({{0}, std::vector<std::uint8_t>(7, 0), RowIdBytes(4, 1)}), "-second", "?"},
        {"text pointer: row id at 8", kText, true, Concat({{0x77}, std::vector<std::uint8_t>(7, 0), RowIdBytes(4, 2)}),
         "-third", "?"},
        // A text pointer whose first byte happens to be a root's type byte is still a text pointer: the
        // value has no room for a root's row id at 16.
        {"text pointer starting with 2", kText, true, Concat({{2}, std::vector<std::uint8_t>(7, 0), RowIdBytes(4, 1)}),
         "-second", "?"},
        // A root of 28 bytes: one row id at 16; the bytes at 28 lie past the value and are not a row id.
        {"text root: row ids bounded by the length", kText, true, Concat({header(1), entry(2)}), "-third", "?"},
        {"2005 ntext whose walk is empty (nullable)", kNText, true, Concat({header(4), RowIdBytes(5, 0)}), "NULL",
         "NULL"},
        {"2000 ntext whose walk is empty", kNText, false, Concat({LE64(0), RowIdBytes(5, 0)}), "", "''"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const bool wide = c.type != kVarChar && c.type != kText;
        ValueFixture f;
        f.app.m_bSql2005Catalog = c.layout2005;
        AddLargeValues(f, wide);
        const std::uint64_t at = f.Put(Concat({c.value, RowIdBytes(4, 3), LE32(0)}));
        f.Open();
        const auto column = ValueFixture::Column(c.type, 8000);
        EXPECT_EQ(U8(f.Var(column, at, c.value.size(), kComplex, kGrid).text), c.grid);
        const auto insert = f.Var(column, at, c.value.size(), kComplex, kInsert);
        EXPECT_EQ(U8(insert.text), c.insert);
    }
}

TEST(CharacterValues, EmptyComplexNTextOfANotNullColumn) {
    ValueFixture f;
    f.Page(5).AddRecord(DataRecord({}));
    const std::uint64_t at = f.Put(Concat({{4}, std::vector<std::uint8_t>(15, 0), RowIdBytes(5, 0)}));
    f.Open();
    const auto column = ValueFixture::Column(kNText, 8000, /*not_null=*/true);
    EXPECT_EQ(U8(f.Var(column, at, 24, kComplex, kGrid).text), " ");
    EXPECT_EQ(U8(f.Var(column, at, 24, kComplex, kInsert).text), "''");
}

TEST(CharacterValues, LargeTextParameterAndTheTwoThousandNVarChar) {
    ValueFixture f;
    AddLargeValues(f, true);
    // In the 2000 layout an nvarchar value with the complex flag is still read from the row.
    const std::uint64_t in_row = f.Put(Utf16Le(u"row"));
    const std::uint64_t root = f.Put(Concat({{4}, std::vector<std::uint8_t>(15, 0), RowIdBytes(4, 1)}));
    f.Open();
    const auto column = ValueFixture::Column(kNVarChar, 8000);
    const auto insert = f.Var(column, root, 24, kComplex, kInsert);
    ASSERT_TRUE(insert.parameter);
    EXPECT_EQ(insert.parameter->type, platform::adLongVarWChar);
    EXPECT_EQ(insert.parameter->bytes, Utf16Le(u"-second"));
    f.app.m_bSql2005Catalog = false;
    EXPECT_EQ(U8(f.Var(column, in_row, 6, kComplex, kGrid).text), "row");
}

TEST(CharacterValues, StopDuringAWalkAbandonsTheRow) {
    ValueFixture f;
    AddLargeValues(f, false);
    const std::uint64_t at = f.Put(Concat({{4}, std::vector<std::uint8_t>(15, 0), RowIdBytes(4, 0)}));
    f.Open();
    f.app.m_bStopJob = true;
    const auto result = f.Var(ValueFixture::Column(kText, 8000), at, 24, kComplex, kInsert);
    EXPECT_TRUE(result.abandonRow);
}

TEST(CharacterValues, EverySectorEndInsideAnInRowValueIsRestored) {
    // A 1200-byte value that starts 100 bytes into sector 2 of its page covers the ends of sectors 2 and 3:
    // value offsets 411 and 923.
    ValueFixture f;
    const std::vector<std::uint8_t> value(1200, 'a');  // 0x61: low bits 01
    const std::uint64_t at = f.PutAt(2 * 512 + 100, value);
    f.Page(kValuePage).Tear(3);  // the sector ends now read 'c' (0x63)
    f.Open();
    f.app.m_bSql2005Catalog = false;
    f.app.m_bCreatedOn2000 = true;
    f.engine.LoadTornBits(kValuePage * kPageSize);
    const auto column = ValueFixture::Column(kVarChar, 8000);
    const auto insert = f.Var(column, at, value.size(), 0, kInsert);
    ASSERT_TRUE(insert.parameter);
    EXPECT_EQ(insert.parameter->bytes, Utf16Le(std::u16string(1200, u'a')));
    f.app.m_bCreatedOn2000 = false;
    const auto raw = f.Var(column, at, value.size(), 0, kInsert);
    ASSERT_TRUE(raw.parameter);
    EXPECT_EQ(raw.parameter->bytes[2 * 411], 'c');
    EXPECT_EQ(raw.parameter->bytes[2 * 923], 'c');
}

}  // namespace
