// Rebuilding real and float values from their raw words, and their general-format texts.
#include "rows/float_text.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "platform/number_text.h"
#include "platform/text.h"

namespace rows {

namespace {

// Every double has at most 767 significant decimal digits; asking for more gives its exact expansion.
constexpr int kExactDigits = 780;
constexpr int kStoredDigits = 17;

// The value (sign bit cleared) from its exponent and fraction fields, as an exact sum of powers of two.
double Rebuild(std::uint64_t exponent, std::uint64_t fraction, int fraction_bits, int bias) {
    if (exponent == 0) {
        // Subnormal: the fraction as an integer times 2^(1 - bias - fraction_bits); exact in a double.
        return std::ldexp(static_cast<double>(fraction), 1 - bias - fraction_bits);
    }
    const double significand = static_cast<double>((std::uint64_t{1} << fraction_bits) | fraction);
    return std::ldexp(significand, static_cast<int>(exponent) - bias - fraction_bits);
}

// Digits after the point that make to_chars write the exact decimal expansion of v (finite, not zero): v is
// an odd integer M below 2^53 times 2^k. For k >= 0 it is an integer of at most e x log10(2) + 1 digits; for
// k < 0 it is M x 5^-k / 10^-k, whose digits number at most 16 + (-k) x log10(5) + 1. A margin of two digits on
// each bound; asking for more digits than the expansion has only appends zeros.
int ExactPrecision(double v) {
    int e = 0;
    const double f = std::frexp(v, &e);  // v = f x 2^e, 0.5 <= f < 1
    const auto m = static_cast<std::uint64_t>(std::ldexp(f, 53));
    const int k = e - 53 + (m == 0 ? 0 : std::countr_zero(m));
    const int bound = k >= 0 ? static_cast<int>(e * 0.30103) + 3 : 19 + static_cast<int>(std::ceil(-k * 0.69897));
    return std::clamp(bound, kStoredDigits + 1, kExactDigits);
}

// Adds one unit at the last digit; returns true when the carry ran out of the front ("999" -> "000").
bool RoundUp(std::string& digits) {
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        if (*it != '9') {
            ++*it;
            return false;
        }
        *it = '0';
    }
    return true;
}

// Rounds the digit string to n digits, halves up; digits past the end count as zeros. A carry out of the
// front adds one to the exponent.
void RoundTo(std::string& digits, int& exponent, std::size_t n) {
    if (digits.size() <= n) {
        digits.resize(n, '0');
        return;
    }
    const bool up = digits[n] >= '5';
    digits.resize(n);
    if (up && RoundUp(digits)) {
        digits.insert(digits.begin(), '1');
        digits.pop_back();
        ++exponent;
    }
}

void TrimFractionZeros(std::string& text) {
    while (!text.empty() && text.back() == '0') text.pop_back();
}

std::string ThreeDigitExponent(int exponent) {
    std::string out = exponent < 0 ? "-" : "+";
    const std::string digits = std::to_string(exponent < 0 ? -exponent : exponent);
    out += std::string(digits.size() < 3 ? 3 - digits.size() : 0, '0') + digits;
    return out;
}

// The steps of GeneralFormatTextAnyDigits (below) for the digit counts the program asks for (10 and 28): the
// same rounding and layout on char arrays, so that a value costs no allocation.
constexpr int kMaxBufferedDigits = 64;

// RoundTo on a digit array of length len (room for n digits).
void RoundDigitsTo(char* digits, int& len, int& exponent, int n) {
    if (len <= n) {
        std::fill(digits + len, digits + n, '0');
        len = n;
        return;
    }
    const bool up = digits[n] >= '5';
    len = n;
    if (!up) return;
    for (int i = n - 1; i >= 0; --i) {
        if (digits[i] != '9') {
            ++digits[i];
            return;
        }
        digits[i] = '0';
    }
    // The carry ran out of the front: "999" -> "1000" without its last digit.
    if (n > 0) {
        std::memmove(digits + 1, digits, static_cast<std::size_t>(n - 1));
        digits[0] = '1';
    }
    ++exponent;
}

int TrimmedLength(const char* text, int len) {
    while (len > 0 && text[len - 1] == '0') --len;
    return len;
}

// The general format of a finite value from its exact expansion "d.dddd...e+XX" (exact .. end).
void AppendBufferedGeneralFormat(std::u16string& out, bool negative, const char* exact, const char* end, int digits) {
    const char* const e_at = std::find(exact, end, 'e');
    // The first 18 digits: rounding to 17 looks at the 18th only.
    char mantissa[kMaxBufferedDigits + 8];
    int len = 0;
    mantissa[len++] = exact[0];
    for (const char* p = exact + 2; p < e_at && len < kStoredDigits + 1; ++p) mantissa[len++] = *p;
    int exponent = 0;
    {
        const char* p = e_at + 1;
        const bool minus = *p == '-';
        if (*p == '-' || *p == '+') ++p;
        for (; p < end; ++p) exponent = exponent * 10 + (*p - '0');
        if (minus) exponent = -exponent;
    }

    RoundDigitsTo(mantissa, len, exponent, kStoredDigits);
    const int x = exponent;  // decimal exponent of the 17-digit value decides the form

    char text[2 * kMaxBufferedDigits + 16];
    int at = 0;
    if (negative) text[at++] = '-';
    if (x < -1 || x > digits - 1) {
        RoundDigitsTo(mantissa, len, exponent, digits);
        text[at++] = mantissa[0];
        text[at++] = '.';
        const int fraction = TrimmedLength(mantissa + 1, len - 1);
        std::memcpy(text + at, mantissa + 1, static_cast<std::size_t>(fraction));
        at += fraction;
        text[at++] = 'e';
        text[at++] = exponent < 0 ? '-' : '+';
        const int magnitude = exponent < 0 ? -exponent : exponent;
        char exp_digits[12];
        const auto written = std::to_chars(exp_digits, exp_digits + sizeof exp_digits, magnitude);
        const int count = static_cast<int>(written.ptr - exp_digits);
        for (int k = count; k < 3; ++k) text[at++] = '0';
        std::memcpy(text + at, exp_digits, static_cast<std::size_t>(count));
        at += count;
    } else {
        const int fraction_digits = digits - x - 1;
        // A carry out of the front ("9.99" -> "10.0") moves the exponent up: one more integer digit, the
        // fraction keeps its width.
        RoundDigitsTo(mantissa, len, exponent, digits);
        // The fraction's digits, before it is cut or padded to its width.
        char fraction[2 * kMaxBufferedDigits + 8];
        int fraction_len = 0;
        if (exponent >= 0) {
            const int integer_digits = exponent + 1;
            if (len < integer_digits) {
                std::fill(mantissa + len, mantissa + integer_digits, '0');
                len = integer_digits;
            }
            std::memcpy(text + at, mantissa, static_cast<std::size_t>(integer_digits));
            at += integer_digits;
            fraction_len = len - integer_digits;
            std::memcpy(fraction, mantissa + integer_digits, static_cast<std::size_t>(fraction_len));
        } else {
            text[at++] = '0';
            const int zeros = -exponent - 1;
            std::fill(fraction, fraction + zeros, '0');
            std::memcpy(fraction + zeros, mantissa, static_cast<std::size_t>(len));
            fraction_len = zeros + len;
        }
        const int width = fraction_digits > 0 ? fraction_digits : 0;
        if (fraction_len < width) std::fill(fraction + fraction_len, fraction + width, '0');
        fraction_len = width;
        if (fraction_digits > 0) {
            text[at++] = '.';
            const int kept = TrimmedLength(fraction, fraction_len);
            std::memcpy(text + at, fraction, static_cast<std::size_t>(kept));
            at += kept;
        }
    }
    const std::size_t start = out.size();
    out.resize(start + static_cast<std::size_t>(at));
    for (int k = 0; k < at; ++k) out[start + static_cast<std::size_t>(k)] = static_cast<char16_t>(text[k]);
}

// GeneralFormatText with std::string steps: any number of digits.
std::u16string GeneralFormatTextAnyDigits(double value, int digits) {
    const bool negative = std::signbit(value);
    if (std::isinf(value)) return negative ? u"-1.#INF" : u"1.#INF";
    if (std::isnan(value)) return u"-1.#IND";  // never produced by the two classes above

    // The exact decimal expansion: "d.dddd...e+XX".
    char buffer[kExactDigits + 16];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value), std::chars_format::scientific,
                                      value == 0 ? kStoredDigits + 1 : ExactPrecision(std::fabs(value)));
    const std::string exact(buffer, result.ptr);
    const std::size_t e_at = exact.find('e');
    std::string mantissa = exact.substr(0, 1) + exact.substr(2, e_at - 2);
    int exponent = std::stoi(exact.substr(e_at + 1));

    RoundTo(mantissa, exponent, kStoredDigits);
    const int x = exponent;  // decimal exponent of the 17-digit value decides the form
    const auto wanted = static_cast<std::size_t>(digits);

    std::string text;
    if (x < -1 || x > digits - 1) {
        RoundTo(mantissa, exponent, wanted);
        std::string fraction = mantissa.substr(1);
        TrimFractionZeros(fraction);
        text = mantissa.substr(0, 1) + "." + fraction + "e" + ThreeDigitExponent(exponent);
    } else {
        const int fraction_digits = digits - x - 1;
        // A carry out of the front ("9.99" -> "10.0") moves the exponent up: one more integer digit, the
        // fraction keeps its width.
        RoundTo(mantissa, exponent, wanted);
        std::string integer;
        std::string fraction;
        if (exponent >= 0) {
            const auto integer_digits = static_cast<std::size_t>(exponent) + 1;
            if (mantissa.size() < integer_digits) mantissa.resize(integer_digits, '0');
            integer = mantissa.substr(0, integer_digits);
            fraction = mantissa.substr(integer_digits);
        } else {
            integer = "0";
            fraction = std::string(static_cast<std::size_t>(-exponent - 1), '0') + mantissa;
        }
        fraction.resize(static_cast<std::size_t>(fraction_digits > 0 ? fraction_digits : 0), '0');
        text = integer;
        if (fraction_digits > 0) {
            TrimFractionZeros(fraction);
            text += "." + fraction;
        }
    }
    return platform::Widen((negative ? "-" : "") + text);
}

}  // namespace

int CSinglePrecision::ToDouble(double* out) const {
    *out = 0.0;
    if (m_nRaw == 0) return 1;
    const double magnitude = Rebuild((m_nRaw >> 23) & 0xFF, m_nRaw & 0x7FFFFF, 23, 127);
    *out = (m_nRaw >> 31) ? -magnitude : magnitude;
    return 1;
}

int CDoublePrecision::GetValue(double* out) const {
    *out = 0.0;
    const std::uint64_t raw = (std::uint64_t{m_nHigh} << 32) | m_nLow;
    if (raw == 0) return 1;
    // The all-ones exponent gives 2^1024 or more: ldexp overflows to an infinity.
    const double magnitude = Rebuild((raw >> 52) & 0x7FF, raw & 0xFFFFFFFFFFFFFull, 52, 1023);
    *out = (raw >> 63) ? -magnitude : magnitude;
    return 1;
}

std::u16string GeneralFormatText(double value, int digits) {
    std::u16string text;
    AppendGeneralFormatText(text, value, digits);
    return text;
}

void AppendGeneralFormatText(std::u16string& out, double value, int digits) {
    if (digits < 1 || digits > kMaxBufferedDigits) {
        out += GeneralFormatTextAnyDigits(value, digits);
        return;
    }
    const bool negative = std::signbit(value);
    if (std::isinf(value)) {
        out += negative ? u"-1.#INF" : u"1.#INF";
        return;
    }
    if (std::isnan(value)) {
        out += u"-1.#IND";  // never produced by the two classes above
        return;
    }
    // The exact decimal expansion: "d.dddd...e+XX".
    char buffer[kExactDigits + 16];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value), std::chars_format::scientific,
                                      value == 0 ? kStoredDigits + 1 : ExactPrecision(std::fabs(value)));
    AppendBufferedGeneralFormat(out, negative, buffer, result.ptr, digits);
}

std::u16string RealText(double value) {
    std::u16string text;
    AppendRealText(text, value);
    return text;
}

void AppendRealText(std::u16string& out, double value) {
    if (std::trunc(value) == value && value >= std::numeric_limits<std::int32_t>::min() &&
        value <= std::numeric_limits<std::int32_t>::max()) {
        platform::AppendSigned(out, static_cast<std::int32_t>(value));
        return;
    }
    AppendGeneralFormatText(out, value, 10);
}

std::u16string FloatText(double value, int digits) {
    std::u16string text;
    AppendFloatText(text, value, digits);
    return text;
}

void AppendFloatText(std::u16string& out, double value, int digits) {
    // 2^63 itself is outside the range: the test is strict at the top.
    if (std::isfinite(value) && std::trunc(value) == value && value >= -9223372036854775808.0 &&
        value < 9223372036854775808.0) {
        platform::AppendSigned(out, static_cast<std::int64_t>(value));
        return;
    }
    // A float column's most negative finite value has a text of its own, in the grid and the statement alike.
    if (digits == kFloatColumnDigits && value == -std::numeric_limits<double>::max()) {
        out += u"-1.79e+308";
        return;
    }
    AppendGeneralFormatText(out, value, digits);
}

std::u16string RealInsertText(double value) {
    constexpr double kTwoPow128 = 340282366920938463463374607431768211456.0;
    if (value >= kTwoPow128) return u"3.402799E+38";
    if (value <= -kTwoPow128) return u"-3.402799E+38";
    return RealText(value);
}

std::u16string FloatInsertText(double value) {
    constexpr double kMax = std::numeric_limits<double>::max();
    // The most negative finite value has a grid text of its own; the statement carries the value itself.
    if (value == -kMax || value == -std::numeric_limits<double>::infinity()) return u"-1.7976931348623157E+308";
    if (std::isinf(value)) return FloatText(kMax);
    return FloatText(value);
}

}  // namespace rows
