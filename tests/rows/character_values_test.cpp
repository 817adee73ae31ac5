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
        // A zero is part of the value: the statement keeps every byte, the grid ends at the first zero.
        {"char starting with a zero byte", kChar, 4, {0, 'a', 'b', 'c'}, " ", "?", std::u16string(u"\0abc", 4),
         platform::adChar},
        {"nchar first CR rule", kNChar, 8, Utf16Le(u"a\r\nb"), "a b", "?", u"a\r\nb", platform::adWChar},
        {"nchar starting with a zero unit", kNChar, 4, {0, 0, 'a', 0}, " ", "?", std::u16string(u"\0a", 2),
         platform::adWChar},
        {"varchar with a zero inside", kVarChar, 100, {'a', 'b', 0, 'c', 'd'}, "ab", "?",
         std::u16string(u"ab\0cd", 5), platform::adLongVarChar},
        {"nvarchar with a zero inside", kNVarChar, 100, {'a', 0, 0, 0, 'b', 0}, "a", "?", std::u16string(u"a\0b", 3),
         platform::adLongVarWChar},
        {"ntext with a zero inside", kNText, 100, {'a', 0, 0, 0, 'b', 0}, "a", "?", std::u16string(u"a\0b", 3),
         platform::adLongVarWChar},
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
        {"xml that is not in the stored binary form: left out", kXml, 100, Utf16Le(u"a\r\nb\rc"), "", "NULL", u""},
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
        ASSERT_EQ(insert.parameter.has_value(), c.insert.find('?') != std::string::npos);
        if (insert.parameter) {
            EXPECT_EQ(insert.parameter->type, c.parameter_type);
            EXPECT_EQ(insert.parameter->bytes, Utf16Le(c.parameter_text));
        }
    }
}

// 8-bit text is read by the code page of the column's collation, in the grid and in the statement; a column
// that stores no collation (id 0) takes the database's, which the boot page names.
TEST(CharacterValues, EightBitTextByTheCodePageOfItsCollation) {
    struct Case {
        const char* name;
        std::uint32_t collation;
        std::uint32_t database;
        std::uint8_t type;
        std::vector<std::uint8_t> bytes;
        std::u16string text;
    };
    const Case cases[] = {
        {"Cyrillic_General_CI_AS varchar", 0xD015, 0, kVarChar, {0xCC, 0xEE, 0xF1, 0xEA, 0xE2, 0xE0},
         u"\u041C\u043E\u0441\u043A\u0432\u0430"},
        {"Japanese_CI_AS char", 0xD010, 0, kChar, {0x93, 0xFA, 0x96, 0x7B}, u"\u65E5\u672C"},
        {"Greek_CI_AS text", 0xD007, 0, kText, {0xE1, 0xE2}, u"\u03B1\u03B2"},
        {"Thai_CI_AS varchar", 0xD019, 0, kVarChar, {0xA1}, u"\u0E01"},
        {"SQL_Latin1_General_CP1_CI_AS varchar", 0x3400D008, 0, kVarChar, {'c', 0xE9}, u"c\u00E9"},
        {"SQL_Latin1_General_CP850_CI_AS varchar", 0x2A00D008, 0, kVarChar, {0x82}, u"\u00E9"},
        {"no collation of its own: the database's Polish_CI_AS", 0, 0xD013, kVarChar, {0xB3}, u"\u0142"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ValueFixture f;
        if (c.database != 0) f.Page(9).Bytes(488, LE32(c.database));
        const std::uint64_t at = f.Put(c.bytes);
        f.Open();
        auto column = ValueFixture::Column(c.type, static_cast<std::uint16_t>(c.bytes.size()));
        column.m_nCollationId = c.collation;
        auto run = [&](rows::RowMode mode) {
            return c.type == kChar ? f.Fixed(column, at, mode) : f.Var(column, at, c.bytes.size(), 0, mode);
        };
        EXPECT_EQ(U8(run(kGrid).text), U8(c.text));
        const auto insert = run(kInsert);
        ASSERT_TRUE(insert.parameter);
        EXPECT_EQ(insert.parameter->bytes, Utf16Le(c.text));
    }
}

// The same for 8-bit text gathered from large-value records: the bytes of every record are read as one text.
TEST(CharacterValues, EightBitTextThroughRowIdsByItsCodePage) {
    ValueFixture f;
    // "Москва" split over two records, in code page 1251.
    f.Page(4).AddRecord(DataRecord({0xCC, 0xEE, 0xF1}));
    f.Page(4).AddRecord(DataRecord({0xEA, 0xE2, 0xE0}));
    const std::uint64_t at = f.Put(Concat({{4}, std::vector<std::uint8_t>(15, 0), RowIdBytes(4, 0), LE32(0),
                                           RowIdBytes(4, 1)}));
    f.Open();
    auto column = ValueFixture::Column(kVarChar, 8000);
    column.m_nCollationId = 0xD015;
    const std::u16string moscow = u"\u041C\u043E\u0441\u043A\u0432\u0430";
    EXPECT_EQ(U8(f.Var(column, at, 36, kComplex, kGrid).text), U8(moscow));
    const auto insert = f.Var(column, at, 36, kComplex, kInsert);
    ASSERT_TRUE(insert.parameter);
    EXPECT_EQ(insert.parameter->bytes, Utf16Le(moscow));
}

// An xml value is its stored binary form written as text: shown so in the grid and sent so, with every
// white-space text kept (style 1), whether it lies in the row or behind a root.
TEST(CharacterValues, XmlValuesAreTheirText) {
    // The document of the published binary XML structure's example: <root>, a PI and a comment.
    const std::vector<std::uint8_t> stored = {
        0xDF, 0xFF, 0x01, 0xB0, 0x04, 0xF0, 0x04, 0x72, 0x00, 0x6F, 0x00, 0x6F, 0x00, 0x74, 0x00, 0xEF, 0x00,
        0x00, 0x01, 0xF8, 0x01, 0x11, 0x02, 0x0A, 0x00, 0x09, 0x00, 0xF0, 0x02, 0x70, 0x00, 0x69, 0x00, 0xF4,
        0x02, 0x04, 0x74, 0x00, 0x65, 0x00, 0x78, 0x00, 0x74, 0x00, 0x11, 0x02, 0x0A, 0x00, 0x09, 0x00, 0xF3,
        0x07, 0x63, 0x00, 0x6F, 0x00, 0x6D, 0x00, 0x6D, 0x00, 0x65, 0x00, 0x6E, 0x00, 0x74, 0x00, 0x11, 0x01,
        0x0A, 0x00, 0xF7};
    const std::u16string text = u"<root>\n\t<?pi text?>\n\t<!--comment-->\n</root>";
    for (const bool behind_root : {false, true}) {
        SCOPED_TRACE(behind_root ? "behind a root" : "in the row");
        ValueFixture f;
        std::uint64_t at = 0;
        std::uint64_t length = stored.size();
        if (behind_root) {
            f.Page(4).AddRecord(DataRecord({stored.begin(), stored.begin() + 30}));
            f.Page(4).AddRecord(DataRecord({stored.begin() + 30, stored.end()}));
            const auto root = Concat({{4}, std::vector<std::uint8_t>(15, 0), RowIdBytes(4, 0), LE32(0), RowIdBytes(4, 1)});
            at = f.Put(root);
            length = root.size();
        } else {
            at = f.Put(stored);
        }
        f.Open();
        const auto column = ValueFixture::Column(kXml, 0xFFFF);
        const std::uint16_t flags = behind_root ? kComplex : 0;
        EXPECT_EQ(U8(f.Var(column, at, length, flags, kGrid).text), U8(text));
        const auto insert = f.Var(column, at, length, flags, kInsert);
        EXPECT_EQ(U8(insert.text), "CONVERT(xml, ?, 1)");
        ASSERT_TRUE(insert.parameter);
        EXPECT_EQ(insert.parameter->type, platform::adLongVarWChar);
        EXPECT_EQ(insert.parameter->bytes, Utf16Le(text));
    }
}

// A value that is not in the binary form is left out (NULL) and its column counted for the end report.
TEST(CharacterValues, UnreadableXmlIsCountedByColumn) {
    ValueFixture f;
    const std::uint64_t at = f.Put({0xDF, 0xFF, 0x01, 0xB0, 0x04, 0xF8, 0x01});  // an element whose name is undefined
    f.Open();
    mdf::TableNode table;
    table.m_pszName = u"dbo.Docs";
    f.engine.m_pCurrentTable = &table;
    auto column = ValueFixture::Column(kXml, 0xFFFF);
    column.m_pszName = u"Body";
    EXPECT_EQ(U8(f.Var(column, at, 7, 0, kInsert).text), "NULL");
    EXPECT_EQ(U8(f.Var(column, at, 7, 0, kInsert).text), "NULL");
    EXPECT_EQ(U8(f.Var(column, at, 7, 0, kGrid).text), "");
    ASSERT_EQ(f.engine.m_repairTally.values_left_out.size(), 1u);
    EXPECT_EQ(f.engine.m_repairTally.values_left_out.at(u"dbo.Docs.Body"), 2u);
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

// Large values on page 4 (slots 0..3) and page 5 (empty data).
void AddLargeValues(ValueFixture& f, bool wide) {
    auto text = [wide](std::u16string_view s) { return wide ? Utf16Le(s) : Ascii(platform::ToUtf8(s)); };
    f.Page(4).AddRecord(DataRecord(text(u"first\r\nline")));
    f.Page(4).AddRecord(DataRecord(text(u"-second")));
    f.Page(4).AddRecord(DataRecord(text(u"-third")));
    f.Page(4).AddRecord(DataRecord(text(u"SHOULD NOT BE READ")));
    f.Page(5).AddRecord(DataRecord({}));
    // Records of values whose text pointers carry other ids.
    f.Page(6).AddRecord(DataRecord(text(u"-second"), 2));
    f.Page(6).AddRecord(DataRecord(text(u"-third"), 0x77));
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
        {"text pointer: row id at 8", kText, true, Concat({{0x77}, std::vector<std::uint8_t>(7, 0), RowIdBytes(6, 1)}),
         "-third", "?"},
        // A text pointer whose first byte happens to be a root's type byte is still a text pointer: the
        // value has no room for a root's row id at 16.
        {"text pointer starting with 2", kText, true, Concat({{2}, std::vector<std::uint8_t>(7, 0), RowIdBytes(6, 0)}),
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
