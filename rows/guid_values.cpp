// Uniqueidentifier texts from the stored bytes.
#include "rows/guid_values.h"

#include <array>
#include <cstdio>

namespace rows {

std::u16string GuidText(std::span<const std::uint8_t> bytes) {
    std::array<std::uint8_t, 16> b{};
    for (std::size_t i = 0; i < b.size() && i < bytes.size(); ++i) b[i] = bytes[i];
    char text[40];
    std::snprintf(text, sizeof text, "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", b[3],
                  b[2], b[1], b[0], b[5], b[4], b[7], b[6], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
    return std::u16string(text, text + 38);
}

}  // namespace rows
