// Conversions and grid shaping of character values; the statement's literals.
#include "rows/character_text.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace rows {

std::u16string Utf16UnitsText(std::span<const std::uint8_t> bytes) {
    std::u16string out;
    AppendUtf16Units(out, bytes);
    return out;
}

void AppendUtf16Units(std::u16string& out, std::span<const std::uint8_t> bytes) {
    // Room for every unit first, then cut at the first zero unit.
    const std::size_t start = out.size();
    out.resize(start + (bytes.size() + 1) / 2);
    char16_t* const units = out.data() + start;
    std::size_t n = 0;
    std::size_t i = 0;
#if defined(__SSE2__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    // Eight units at a time while none of them is zero: their bytes are the little-endian units as they stand.
    for (; i + 16 <= bytes.size(); i += 16, n += 8) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes.data() + i));
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(chunk, _mm_setzero_si128())) != 0) break;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(units + n), chunk);
    }
#endif
    for (; i < bytes.size(); i += 2) {
        const std::uint8_t high = i + 1 < bytes.size() ? bytes[i + 1] : 0;
        const auto unit = static_cast<char16_t>(bytes[i] | (high << 8));
        if (unit == 0) break;
        units[n++] = unit;
    }
    out.resize(start + n);
}

std::u16string AllUtf16Units(std::span<const std::uint8_t> bytes) {
    std::u16string out;
    out.reserve((bytes.size() + 1) / 2);
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        const std::uint8_t high = i + 1 < bytes.size() ? bytes[i + 1] : 0;
        out.push_back(static_cast<char16_t>(bytes[i] | (high << 8)));
    }
    return out;
}

std::vector<std::uint8_t> Utf16LeBytes(std::u16string_view text) {
    std::vector<std::uint8_t> out;
    out.reserve(text.size() * 2);
    for (char16_t c : text) {
        out.push_back(static_cast<std::uint8_t>(c & 0xFF));
        out.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return out;
}

std::u16string FirstLineBreakToBlank(std::u16string text) {
    const std::size_t cr = text.find(u'\r');
    if (cr == std::u16string::npos) return text;
    // Characters after the CR and the one that follows it.
    const std::size_t rest = text.size() > cr + 2 ? text.size() - cr - 2 : 0;
    std::u16string out = text.substr(0, cr);
    if (rest > 0) out += u' ' + text.substr(text.size() - rest);
    return out;
}

std::u16string LineBreaksToBlanks(std::u16string text) {
    for (char16_t& c : text) {
        if (c == u'\r' || c == u'\n') c = u' ';
    }
    return text;
}

std::u16string CutToGridWidth(std::u16string text) {
    if (text.size() > kGridTextWidth) text.resize(kGridTextWidth);
    return text;
}

std::u16string HexLiteral(std::span<const std::uint8_t> bytes) {
    static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
    std::u16string out = u"0x";
    out.reserve(2 + 2 * bytes.size());
    for (std::uint8_t b : bytes) {
        out.push_back(kDigits[b >> 4]);
        out.push_back(kDigits[b & 0xF]);
    }
    return out;
}

}  // namespace rows
