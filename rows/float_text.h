// Real and float values: the two classes that rebuild a value from its stored raw word, and the texts of the
// table view and the statement. The general format is built from the exact binary value (its full decimal
// expansion), so the texts do not depend on the C library's printf.
#pragma once

#include <cstdint>
#include <string>

namespace rows {

// A 4-byte stored value (sign bit 31, 8 exponent bits, 23 fraction bits, bias 127). The all-ones exponent is
// taken as an ordinary exponent: the value is finite, from 2^128 to just under 2^129.
class CSinglePrecision {
public:
    explicit CSinglePrecision(std::uint32_t raw) : m_nRaw(raw) {}
    virtual ~CSinglePrecision() = default;
    // Writes the value to *out; always returns 1.
    int ToDouble(double* out) const;

private:
    std::uint32_t m_nRaw;
};

// An 8-byte stored value (sign bit 63, 11 exponent bits, 52 fraction bits, bias 1023). The all-ones exponent
// gives a signed infinity, never a NaN.
class CDoublePrecision {
public:
    void SetRawValue(std::uint32_t low, std::uint32_t high) {
        m_nLow = low;
        m_nHigh = high;
    }
    // Writes the value to *out; always returns 1.
    int GetValue(double* out) const;

private:
    std::uint32_t m_nLow = 0;
    std::uint32_t m_nHigh = 0;
};

// The general format with `digits` significant digits: the value rounded to 17 significant digits, then to
// `digits` (halves up); exponential form "d.ddd" + "e+XXX" when the decimal exponent is below -1 or above
// digits - 1, else fixed form; zeros at the end of the fraction removed, the point kept. Infinities are
// "1.#INF" and "-1.#INF".
std::u16string GeneralFormatText(double value, int digits);
// The same text appended to out.
void AppendGeneralFormatText(std::u16string& out, double value, int digits);

// Integral values within the signed 32-bit range print as integers, the others in the general format with
// 10 digits (real columns and real variants).
std::u16string RealText(double value);
void AppendRealText(std::u16string& out, double value);
// Integral values within the signed 64-bit range print as integers, the others in the general format with
// `digits` digits: 28 for float columns (at most 17 are significant), 10 for float variants. A float column's
// most negative finite value, -1.7976931348623157E+308, is written "-1.79e+308".
inline constexpr int kFloatColumnDigits = 28;
std::u16string FloatText(double value, int digits = kFloatColumnDigits);
void AppendFloatText(std::u16string& out, double value, int digits = kFloatColumnDigits);

// The statement text of a real column. Values of 2^128 and above (stored words with the all-ones exponent)
// cannot be stored in a real column and are written as the largest value the target accepts, with its sign.
std::u16string RealInsertText(double value);
// The statement text of a float column. An infinity (a stored word with the all-ones exponent) cannot be
// stored in a float column; it is written as the largest finite float with its sign, so the statement never
// holds the text 1.#INF. The most negative finite value is written whole, "-1.7976931348623157E+308" (its grid
// text, "-1.79e+308", is another value).
std::u16string FloatInsertText(double value);

}  // namespace rows
