// Uniqueidentifier texts from the stored bytes.
#include "rows/guid_values.h"

#include <array>

namespace rows {

std::u16string GuidText(std::span<const std::uint8_t> bytes) {
    std::u16string text;
    AppendGuidText(text, bytes);
    return text;
}

void AppendGuidText(std::u16string& out, std::span<const std::uint8_t> bytes) {
    std::array<std::uint8_t, 16> b{};
    for (std::size_t i = 0; i < b.size() && i < bytes.size(); ++i) b[i] = bytes[i];
    // "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}" of bytes 3 2 1 0, 5 4, 7 6, 8 9,
    // 10 to 15, written digit by digit (a formatted print per value costs more than the rest of a row).
    static constexpr char16_t kHex[] = u"0123456789ABCDEF";
    static constexpr int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    const std::size_t start = out.size();
    out.resize(start + 38, u'-');
    char16_t* const text = out.data() + start;
    text[0] = u'{';
    text[37] = u'}';
    std::size_t at = 1;
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) ++at;  // the dash between groups
        const std::uint8_t v = b[static_cast<std::size_t>(kOrder[i])];
        text[at++] = kHex[v >> 4];
        text[at++] = kHex[v & 0x0F];
    }
}

}  // namespace rows
