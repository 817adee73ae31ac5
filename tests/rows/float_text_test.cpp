// Real and float texts: the stored word rebuilt exactly, the general format's examples, and the statement's
// handling of values no column can hold.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>

#include "platform/text.h"
#include "rows/float_text.h"

namespace {

double FromSingleWord(std::uint32_t raw) {
    double v = 0;
    EXPECT_EQ(rows::CSinglePrecision(raw).ToDouble(&v), 1);
    return v;
}

double FromDoubleWord(std::uint64_t raw) {
    rows::CDoublePrecision stored;
    stored.SetRawValue(static_cast<std::uint32_t>(raw), static_cast<std::uint32_t>(raw >> 32));
    double v = 0;
    EXPECT_EQ(stored.GetValue(&v), 1);
    return v;
}

std::uint32_t SingleWord(float f) {
    std::uint32_t raw;
    std::memcpy(&raw, &f, 4);
    return raw;
}

std::uint64_t DoubleWord(double d) {
    std::uint64_t raw;
    std::memcpy(&raw, &d, 8);
    return raw;
}

std::string Utf8(const std::u16string& s) { return platform::ToUtf8(s); }

TEST(FloatingPointWords, RebuildEqualsTheStoredValue) {
    // Zeros, subnormals and normals equal the IEEE value of the word, sign included.
    for (float f : {0.1f, -3.14f, 1e-45f, FLT_MIN, FLT_MAX, -FLT_MAX, 16777216.0f, 1.17549421e-38f}) {
        EXPECT_EQ(FromSingleWord(SingleWord(f)), static_cast<double>(f)) << f;
    }
    for (double d : {0.1, -1.0 / 3, 4.9406564584124654e-324, DBL_MIN, DBL_MAX, -DBL_MAX, 2.2250738585072009e-308}) {
        EXPECT_EQ(FromDoubleWord(DoubleWord(d)), d) << d;
    }
    EXPECT_TRUE(std::signbit(FromSingleWord(0x80000000u)));
    EXPECT_TRUE(std::signbit(FromDoubleWord(0x8000000000000000ull)));
    EXPECT_EQ(FromSingleWord(0x00000001u), std::ldexp(1.0, -149));
    EXPECT_EQ(FromDoubleWord(1), std::ldexp(1.0, -1074));
    // The all-ones exponent: a finite value of 2^128 or more for 4 bytes, an infinity for 8, never a NaN.
    EXPECT_EQ(FromSingleWord(0x7F800000u), std::ldexp(1.0, 128));
    EXPECT_EQ(FromSingleWord(0xFFC00000u), -std::ldexp(1.5, 128));
    EXPECT_EQ(FromDoubleWord(0x7FF0000000000000ull), INFINITY);
    EXPECT_EQ(FromDoubleWord(0xFFF8000000000001ull), -INFINITY);
}

TEST(FloatingPointText, ExamplesOfTheGeneralFormat) {
    struct Case {
        bool real;
        std::uint64_t raw;
        const char* display;
    };
    const Case cases[] = {
        {true, 0x3DCCCCCD, "0.1000000015"},
        {true, SingleWord(3.14f), "3.140000105"},
        {true, SingleWord(0.05f), "5.000000075e-002"},
        {true, SingleWord(1e10f), "1.e+010"},
        {true, SingleWord(3e9f), "3000000000"},
        {true, 0x7F800000, "3.402823669e+038"},
        {true, 0x7F7FFFFF, "3.402823466e+038"},
        {true, 0xFF800000, "-3.402823669e+038"},
        {true, 0x00000001, "1.401298464e-045"},
        {true, SingleWord(16777216.0f), "16777216"},
        {true, SingleWord(-2.0f), "-2"},
        {true, 0x80000000, "0"},
        {true, 0, "0"},
        {false, DoubleWord(0.1), "0.10000000000000001"},
        {false, DoubleWord(1e19), "10000000000000000000."},
        {false, DoubleWord(2.5e-5), "2.5000000000000001e-005"},
        {false, DoubleWord(1.0 / 3), "0.33333333333333331"},
        {false, DoubleWord(16777216.0), "16777216"},
        {false, DoubleWord(-2.0), "-2"},
        {false, 0x8000000000000000ull, "0"},
        {false, DoubleWord(-9223372036854775808.0), "-9223372036854775808"},
        // 2^63 is outside the 64-bit range; digits past the 17th print as zeros.
        {false, DoubleWord(9223372036854775808.0), "9223372036854775800."},
        {false, 0x7FF0000000000000ull, "1.#INF"},
        {false, 0xFFF0000000000000ull, "-1.#INF"},
        // The most negative finite float has a text of its own; values above it keep the general format.
        {false, DoubleWord(-DBL_MAX), "-1.79e+308"},
        {false, DoubleWord(std::nextafter(-DBL_MAX, 0.0)), "-1.7976931348623155e+308"},
        {false, DoubleWord(-1.79e308), "-1.79e+308"},
        {false, DoubleWord(0.5), "0.5"},
        {false, DoubleWord(123.456), "123.456"},
        {false, DoubleWord(1e-300), "1.e-300"},
    };
    for (const auto& c : cases) {
        const double v = c.real ? FromSingleWord(static_cast<std::uint32_t>(c.raw)) : FromDoubleWord(c.raw);
        EXPECT_EQ(Utf8(c.real ? rows::RealText(v) : rows::FloatText(v)), c.display) << std::hex << c.raw;
    }
}

TEST(FloatingPointText, RoundingCarriesIntoANewDigit) {
    // 17 digits 9.9999999999999998 round to 10 digits with a carry: the form is chosen before the rounding.
    EXPECT_EQ(Utf8(rows::GeneralFormatText(9999999999.5, 10)), "10000000000");
    EXPECT_EQ(Utf8(rows::GeneralFormatText(9.99999999999e50, 10)), "1.e+051");
    EXPECT_EQ(Utf8(rows::GeneralFormatText(0.99999999999, 10)), "1.");
    // Halves round up at the requested digit.
    EXPECT_EQ(Utf8(rows::GeneralFormatText(0.125, 2)), "0.13");
    EXPECT_EQ(Utf8(rows::GeneralFormatText(1.5, 1)), "2");
}

TEST(FloatingPointText, StatementTexts) {
    struct Case {
        bool real;
        std::uint64_t raw;
        const char* insert;
    };
    const Case cases[] = {
        // Words with the all-ones exponent rebuild at 2^128 or more: written as the clamp value.
        {true, 0x7F800000, "3.402799E+38"},
        {true, 0xFFC00000, "-3.402799E+38"},
        // Real values the column holds are written as they are, up to the largest one.
        {true, 0x7F7FFFFF, "3.402823466e+038"},
        {true, 0xFF7FFFFF, "-3.402823466e+038"},
        {true, SingleWord(3.4028e38f), "3.402799939e+038"},
        {true, 0x3DCCCCCD, "0.1000000015"},
        // Float: the most negative finite value whole (its grid text "-1.79e+308" is another value); an
        // infinity never as 1.#INF.
        {false, DoubleWord(-DBL_MAX), "-1.7976931348623157E+308"},
        {false, DoubleWord(std::nextafter(-DBL_MAX, 0.0)), "-1.7976931348623155e+308"},
        {false, DoubleWord(-1.79e308), "-1.79e+308"},
        {false, 0x7FF0000000000000ull, "1.7976931348623157e+308"},
        {false, 0xFFF0000000000000ull, "-1.7976931348623157E+308"},
        {false, DoubleWord(0.1), "0.10000000000000001"},
    };
    for (const auto& c : cases) {
        const double v = c.real ? FromSingleWord(static_cast<std::uint32_t>(c.raw)) : FromDoubleWord(c.raw);
        EXPECT_EQ(Utf8(c.real ? rows::RealInsertText(v) : rows::FloatInsertText(v)), c.insert) << std::hex << c.raw;
    }
}

}  // namespace
