// Decimal text of stored decimal values and the digit-string arithmetic behind it.
#include <gtest/gtest.h>

#include "mdf/decimal_text.h"
#include "mdf/recovery_engine.h"
#include "platform/text.h"
#include "tests/support/page_builder.h"

namespace {

using testsupport::FromHex;

std::string U8(const std::u16string& s) { return platform::ToUtf8(s); }

// Stored bytes: sign byte, then the mantissa little-endian, padded to the storage length.
std::vector<std::uint8_t> Stored(std::uint8_t sign, std::vector<std::uint8_t> mantissa, std::size_t length) {
    mantissa.resize(length - 1, 0);
    mantissa.insert(mantissa.begin(), sign);
    return mantissa;
}

struct DecimalCase {
    const char* what;
    std::vector<std::uint8_t> stored;
    std::uint8_t precision;
    std::uint8_t scale;
    const char* text;
};

TEST(DecimalText, CasesByStorageLength) {
    const std::vector<std::uint8_t> nines38 = FromHex("FF FF FF FF 3F 22 8A 09 7A C4 86 5A A8 4C 3B 4B");  // 10^38 - 1
    const DecimalCase cases[] = {
        {"decimal(10,2) 123.45", Stored(1, {0x39, 0x30}, 9), 10, 2, "0000000123.45"},
        {"numeric(5,0) -7, no point at scale 0", Stored(0, {7}, 5), 5, 0, "-00007"},
        {"decimal(4,4) 0.05", Stored(1, {0xF4, 0x01}, 5), 4, 4, "0000.0500"},
        {"precision 38 at its largest", Stored(1, nines38, 17), 38, 0, "99999999999999999999999999999999999999"},
        {"2^64: middle word 1", Stored(1, {0, 0, 0, 0, 0, 0, 0, 0, 1}, 13), 28, 0, "0000000018446744073709551616"},
        {"middle word 6 (row ends with a carry)", Stored(1, {0, 0, 0, 0, 0, 0, 0, 0, 6}, 13), 21, 0,
         "110680464442257309696"},
        {"3 x 2^96: high word 3", Stored(1, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3}, 17), 38, 0,
         "00000000237684487542793012780631851008"},
        {"zero with sign byte 0", Stored(0, {}, 5), 3, 0, "-000"},
        {"16777216 in 5 bytes", Stored(1, {0, 0, 0, 1}, 5), 9, 0, "016777216"},
        {"2^32 + 1 in 9 bytes", Stored(1, {1, 0, 0, 0, 1}, 9), 18, 0, "000000004294967297"},
        {"middle word ignored at 9 bytes", Stored(1, {1, 0, 0, 0, 0, 0, 0, 0}, 9), 2, 0, "01"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(U8(mdf::DecimalToText(c.stored, c.precision, c.scale)), c.text);
    }
    EXPECT_EQ(U8(mdf::DecimalToText({}, 5, 0)), "");
}

TEST(DecimalText, DigitStrings) {
    EXPECT_EQ(U8(mdf::AddDecimalStrings(u"999", u"1")), "1000");
    EXPECT_EQ(U8(mdf::AddDecimalStrings(u"007", u"05")), "012");  // leading zeros stay
    EXPECT_EQ(U8(mdf::AddDecimalStrings(u"", u"")), "");
    EXPECT_EQ(U8(mdf::AddDigitStringsInBase(u"1", u"1", u"01")), "10");
    EXPECT_EQ(U8(mdf::MultiplyDigitStrings(u"6", u"18446744073709551616")), "110680464442257309696");
    EXPECT_EQ(U8(mdf::MultiplyDigitStrings(u"3", u"79228162514264337593543950336")), "237684487542793012780631851008");
    EXPECT_EQ(U8(mdf::MultiplyDigitStrings(u"0", u"18446744073709551616")), "00000000000000000000");
    EXPECT_EQ(U8(mdf::MultiplyDigitStrings(u"12", u"12")), "144");
}

// The engine's form reads the value from the data file, with the precision and scale of the table's current column.
TEST(DecimalText, EngineReadsValueAtPosition) {
    testsupport::TempDir dir;
    testsupport::PageBuilder page;
    page.Bytes(200, Stored(1, {0x39, 0x30}, 9));
    testsupport::FileBuilder().SetPage(0, page).PageCount(2).WriteTo(dir / "d.mdf");
    platform::SharedState app;
    app.m_strDataFilePath = platform::FromUtf8((dir / "d.mdf").string());
    mdf::CRecoveryEngine engine(app);
    ASSERT_TRUE(engine.OpenDataFile());
    mdf::TableNode table;
    auto& column = table.AddColumn(1);
    column.m_nPrecision = 10;
    column.m_nScale = 2;
    EXPECT_EQ(U8(engine.DecimalToText(9, table, 200, 0)), "0000000123.45");
    EXPECT_EQ(U8(engine.DecimalToText(0, table, 200, 0)), "");
}

}  // namespace
