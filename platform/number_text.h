// Decimal digits appended to a UTF-16 text without going through printf: the formatting of dates, times and
// integers in the row decoder runs once per value, millions of times per table.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Appends value in decimal with at least min_digits digits (zeros in front), like printf's "%0Nu".
inline void AppendUnsigned(std::u16string& out, std::uint64_t value, int min_digits = 1) {
    constexpr int kRoom = 32;
    char16_t digits[kRoom];
    int at = kRoom;
    do {
        digits[--at] = static_cast<char16_t>(u'0' + value % 10);
        value /= 10;
    } while (value != 0);
    const int wanted = min_digits < kRoom ? min_digits : kRoom;
    while (kRoom - at < wanted) digits[--at] = u'0';
    out.append(digits + at, static_cast<std::size_t>(kRoom - at));
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
