// Decimal digits appended to a UTF-16 text without going through printf: the formatting of dates, times and
// integers in the row decoder runs once per value, millions of times per table.
#pragma once

#include <bit>
#include <cstdint>
#include <string>

namespace platform {

// Appends value in decimal with at least min_digits digits (zeros in front), like printf's "%0Nu". The digits
// are written in place at the end of out, two per division (and with 32-bit divisions once the value fits):
// the row decoder formats every number of every row here.
inline void AppendUnsignedDigits(std::u16string& out, std::uint64_t value, int min_digits) {
    constexpr int kRoom = 32;  // the most zeros a width asks for
    static constexpr std::uint64_t kPowers[20] = {1ull,
                                                  10ull,
                                                  100ull,
                                                  1000ull,
                                                  10000ull,
                                                  100000ull,
                                                  1000000ull,
                                                  10000000ull,
                                                  100000000ull,
                                                  1000000000ull,
                                                  10000000000ull,
                                                  100000000000ull,
                                                  1000000000000ull,
                                                  10000000000000ull,
                                                  100000000000000ull,
                                                  1000000000000000ull,
                                                  10000000000000000ull,
                                                  100000000000000000ull,
                                                  1000000000000000000ull,
                                                  10000000000000000000ull};
    // Digits of value: about log10(2) x its bit width, one less below that power of ten.
    const std::uint64_t odd = value | 1;  // zero has one digit, as one has
    const int guess = (std::bit_width(odd) * 1233) >> 12;
    const int count = guess + 1 - (odd < kPowers[guess] ? 1 : 0);
    const int wanted = min_digits < kRoom ? min_digits : kRoom;
    const int width = count > wanted ? count : wanted;
    const std::size_t start = out.size();
    out.append(static_cast<std::size_t>(width), u'0');
    char16_t* at = out.data() + start + width;
    while (value > 0xFFFFFFFFu) {
        const auto pair = static_cast<unsigned>(value % 100);
        value /= 100;
        *--at = static_cast<char16_t>(u'0' + pair % 10);
        *--at = static_cast<char16_t>(u'0' + pair / 10);
    }
    auto small = static_cast<std::uint32_t>(value);
    while (small >= 100) {
        const std::uint32_t pair = small % 100;
        small /= 100;
        *--at = static_cast<char16_t>(u'0' + pair % 10);
        *--at = static_cast<char16_t>(u'0' + pair / 10);
    }
    if (small >= 10) {
        *--at = static_cast<char16_t>(u'0' + small % 10);
        *--at = static_cast<char16_t>(u'0' + small / 10);
    } else {
        *--at = static_cast<char16_t>(u'0' + small);
    }
}

// The same; numbers below 10000 in at most four places (the parts of dates and times, four money decimals)
// are pushed digit by digit.
inline void AppendUnsigned(std::u16string& out, std::uint64_t value, int min_digits = 1) {
    if (value < 10000 && min_digits <= 4) {
        const auto v = static_cast<unsigned>(value);
        const int count = v >= 1000 ? 4 : v >= 100 ? 3 : v >= 10 ? 2 : 1;
        const int width = count > min_digits ? count : min_digits;
        const char16_t digits[4] = {static_cast<char16_t>(u'0' + v / 1000), static_cast<char16_t>(u'0' + v / 100 % 10),
                                    static_cast<char16_t>(u'0' + v / 10 % 10), static_cast<char16_t>(u'0' + v % 10)};
        for (int k = 4 - width; k < 4; ++k) out.push_back(digits[k]);
        return;
    }
    AppendUnsignedDigits(out, value, min_digits);
}

// Appends value in decimal, at least width characters wide counting the minus sign, zeros after the sign,
// like printf's "%0Nd" ("%d" for width 0 or 1).
inline void AppendSigned(std::u16string& out, std::int64_t value, int width = 1) {
    if (value < 0) {
        out += u'-';
        AppendUnsigned(out, 0 - static_cast<std::uint64_t>(value), width - 1);
    } else {
        AppendUnsigned(out, static_cast<std::uint64_t>(value), width);
    }
}

}  // namespace platform
