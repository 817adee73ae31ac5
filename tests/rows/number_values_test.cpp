// Real, float, decimal and numeric columns read from the row: the bytes taken, and the same text in the grid
// and the statement (apart from the statement's treatment of values no column holds).
#include <gtest/gtest.h>

#include "tests/rows/value_fixture.h"

using namespace valuetest;

namespace {

TEST(NumberValues, RealAndFloatColumns) {
    struct Case {
        const char* name;
        std::uint8_t type;
        std::uint16_t max_in_row;
        std::vector<std::uint8_t> bytes;
        const char* grid;
        const char* insert;
    };
    const Case cases[] = {
        {"real 0.1", 59, 4, LE32(0x3DCCCCCD), "0.1000000015", "0.1000000015"},
        {"real word with the all-ones exponent", 59, 4, LE32(0x7F800000), "3.402823669e+038", "3.402799E+38"},
        {"real 2", 59, 4, LE32(0x40000000), "2", "2"},
        {"float 0.1", 62, 8, LE64(0x3FB999999999999Aull), "0.10000000000000001", "0.10000000000000001"},
        {"float infinity", 62, 8, LE64(0x7FF0000000000000ull), "1.#INF", "1.7976931348623157e+308"},
        // Bytes past the column's in-row length belong to the next column.
        {"float of a 4-byte in-row length", 62, 4, LE64(0x3FF0000000000001ull), "4.9406564584124654e-324",
         "4.9406564584124654e-324"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ValueFixture f;
        const std::uint64_t at = f.Put(Concat({c.bytes, {0xFF, 0xFF}}));
        f.Open();
        const auto column = ValueFixture::Column(c.type, c.max_in_row);
        EXPECT_EQ(U8(f.Fixed(column, at, kGrid).text), c.grid);
        EXPECT_EQ(U8(f.Fixed(column, at, kInsert).text), c.insert);
    }
}

TEST(NumberValues, DecimalAndNumericColumns) {
    struct Case {
        std::uint8_t type;
        std::uint8_t precision;
        std::uint8_t scale;
        std::vector<std::uint8_t> stored;  // sign byte and mantissa
        std::string text;
    };
    std::vector<std::uint8_t> nines = {1};
    // 10^38 - 1 = 0x4B3B4CA85A86C47A098A223FFFFFFFFF
    const auto max = FromHex("FFFFFFFF3F228A097AC4865AA84C3B4B");
    nines.insert(nines.end(), max.begin(), max.end());
    const std::vector<Case> cases = {
        {106, 10, 2, Concat({{1}, LE64(12345)}), "0000000123.45"},
        {108, 5, 0, Concat({{0}, LE32(7)}), "-00007"},
        {106, 4, 4, Concat({{1}, LE32(500)}), "0000.0500"},
        {106, 38, 0, nines, std::string(38, '9')},
    };
    for (const auto& c : cases) {
        ValueFixture f;
        const std::uint64_t at = f.Put(Concat({c.stored, {0x11, 0x22}}));
        f.Open();
        auto column = ValueFixture::Column(c.type, static_cast<std::uint16_t>(c.stored.size()));
        column.m_nPrecision = c.precision;
        column.m_nScale = c.scale;
        EXPECT_EQ(U8(f.Fixed(column, at, kGrid).text), c.text);
        EXPECT_EQ(U8(f.Fixed(column, at, kInsert).text), c.text);
    }
    // A column without storage bytes (damaged catalogue) reads nothing: an empty cell, a number the
    // statement can hold.
    ValueFixture f;
    const std::uint64_t at = f.Put({1, 2, 3});
    f.Open();
    const auto column = ValueFixture::Column(106, 0);
    EXPECT_EQ(U8(f.Fixed(column, at, kGrid).text), "");
    EXPECT_EQ(U8(f.Fixed(column, at, kInsert).text), "0");
}

}  // namespace
