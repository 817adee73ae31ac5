// Decimal text and the digit-string arithmetic behind it (addition in a base, schoolbook multiplication).
#include "mdf/decimal_text.h"

#include <algorithm>
#include <string>
#include <utility>

#include "mdf/recovery_engine.h"
#include "platform/number_text.h"

namespace mdf {

namespace {

int DigitValue(char16_t c, std::u16string_view alphabet) {
    const auto at = alphabet.find(c);
    return at == std::u16string_view::npos ? 0 : static_cast<int>(at);
}

std::u16string U16Number(std::uint64_t v) {
    const std::string s = std::to_string(v);
    return std::u16string(s.begin(), s.end());
}

void PadLeft(std::u16string& s, std::size_t width) {
    if (s.size() < width) s.insert(0, width - s.size(), u'0');
}

// The digits of low + middle x 2^64 + high x 2^96 (each part taken when given), each part first padded to the
// width with zeros.
std::u16string SumOfWords(std::uint64_t low, bool has_middle, std::uint32_t middle, bool has_high, std::uint32_t high,
                          std::size_t width);

}  // namespace

std::u16string AddDigitStringsInBase(std::u16string a, std::u16string b, std::u16string_view alphabet) {
    if (a.size() > b.size()) std::swap(a, b);  // a is the shorter
    const int base = static_cast<int>(alphabet.size());
    const std::size_t d = b.size() - a.size();
    std::u16string result;
    result.reserve(b.size() + 1);
    int carry = 0;
    auto push = [&](int s) {
        if (s >= base) {
            s -= base;
            carry = 1;
        } else {
            carry = 0;
        }
        result.push_back(alphabet[static_cast<std::size_t>(s)]);
    };
    for (std::size_t i = a.size(); i-- > 0;) push(DigitValue(a[i], alphabet) + DigitValue(b[i + d], alphabet) + carry);
    for (std::size_t j = d; j-- > 0;) push(DigitValue(b[j], alphabet) + carry);
    if (carry == 1) result.push_back(alphabet[1]);
    return {result.rbegin(), result.rend()};
}

std::u16string AddDecimalStrings(std::u16string a, std::u16string b, std::u16string_view alphabet) {
    return AddDigitStringsInBase(std::move(a), std::move(b), alphabet);
}

std::u16string MultiplyDigitStrings(std::u16string x, std::u16string y) {
    std::u16string result;
    std::u16string shift;
    for (std::size_t xi = x.size(); xi-- > 0;) {
        const int xv = DigitValue(x[xi], kDecimalDigits);
        std::u16string row;
        int carry = 0;
        for (std::size_t yi = y.size(); yi-- > 0;) {
            const int t = DigitValue(y[yi], kDecimalDigits) * xv + carry;
            row.push_back(static_cast<char16_t>(u'0' + t % 10));
            carry = t / 10;
        }
        if (carry != 0) {
            row.push_back(static_cast<char16_t>(u'0' + carry));
            carry = 0;
        }
        std::u16string ordered(row.rbegin(), row.rend());
        ordered += shift;
        result = AddDecimalStrings(std::move(result), std::move(ordered));
        shift.insert(shift.begin(), u'0');
    }
    return result;
}

std::u16string DecimalText(std::uint8_t sign, std::uint64_t low, bool has_middle, std::uint32_t middle, bool has_high,
                           std::uint32_t high, std::uint8_t precision, std::uint8_t scale) {
    const std::size_t width = static_cast<std::size_t>(precision) + scale;
    std::u16string r;
    if (!has_middle && !has_high) {
        // The low word alone: the sums below add only zeros to it, so its digits padded to the width are the
        // whole number (the common storage lengths 5 and 9 take this way, without the digit strings).
        std::uint64_t rest = low;
        std::size_t digits = 0;
        do {
            ++digits;
            rest /= 10;
        } while (rest != 0);
        r.reserve(std::max(width, digits) + 2);
        if (width > digits) r.append(width - digits, u'0');
        platform::AppendUnsigned(r, low);
    } else {
        r = SumOfWords(low, has_middle, middle, has_high, high, width);
    }
    if (scale > 0) {
        if (r.size() < scale) {
            r.insert(r.begin(), u'.');
        } else {
            r.insert(r.size() - scale, 1, u'.');
        }
    }
    if (sign != 1) r.insert(r.begin(), u'-');
    return r;
}

namespace {

std::u16string SumOfWords(std::uint64_t low, bool has_middle, std::uint32_t middle, bool has_high, std::uint32_t high,
                          std::size_t width) {
    std::u16string s_low = U16Number(low);
    std::u16string p1 = has_middle ? MultiplyDigitStrings(U16Number(middle), std::u16string(kTwoPow64)) : u"";
    std::u16string p2 = has_high ? MultiplyDigitStrings(U16Number(high), std::u16string(kTwoPow96)) : u"";
    if (width > 0) {
        PadLeft(s_low, width);
        PadLeft(p2, width);
        PadLeft(p1, width);
    }
    return AddDecimalStrings(std::move(s_low), AddDecimalStrings(std::move(p1), std::move(p2)));
}

}  // namespace

std::u16string DecimalToText(std::span<const std::uint8_t> stored, std::uint8_t precision, std::uint8_t scale) {
    if (stored.empty()) return {};
    const std::size_t length = stored.size();
    const auto mantissa = stored.subspan(1);
    auto word = [&](std::size_t from, std::size_t count) {
        std::uint64_t v = 0;
        for (std::size_t i = 0; i < count; ++i) {
            if (from + i < mantissa.size()) v |= static_cast<std::uint64_t>(mantissa[from + i]) << (8 * i);
        }
        return v;
    };
    const bool has_middle = length == 13 || length == 17;
    const bool has_high = length == 17;
    return DecimalText(stored[0], word(0, 8), has_middle, static_cast<std::uint32_t>(word(8, 4)), has_high,
                       static_cast<std::uint32_t>(word(12, 4)), precision, scale);
}

std::u16string CRecoveryEngine::AddDigitStrings(std::u16string a, std::u16string b) {
    return AddDigitStringsInBase(std::move(a), std::move(b), kDecimalDigits);
}

std::u16string CRecoveryEngine::MultiplyDigitStrings(std::u16string x, std::u16string y) {
    return mdf::MultiplyDigitStrings(std::move(x), std::move(y));
}

std::u16string CRecoveryEngine::DecimalToText(std::uint8_t length, TableNode& table, std::uint32_t pos_low,
                                              std::uint32_t pos_high) {
    if (length == 0) return {};
    const std::uint64_t pos = (static_cast<std::uint64_t>(pos_high) << 32) | pos_low;
    const auto bytes = ReadBytes(pos, length, Fixup::Single);
    const ColumnNode* column = table.m_pCurrentColumn;
    return mdf::DecimalToText(bytes, column ? column->m_nPrecision : 0, column ? column->m_nScale : 0);
}

}  // namespace mdf
