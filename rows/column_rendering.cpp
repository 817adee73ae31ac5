// The texts of NULL, absent and computed columns per type code.
#include "rows/column_rendering.h"

namespace rows {

namespace {
constexpr const char16_t* kZeroGuid = u"'00000000-0000-0000-0000-000000000000'";

// Types whose neutral value for a NOT NULL column is the number 0 rather than an empty text.
bool TakesNumericZero(std::uint8_t type) {
    switch (type) {
        case 48: case 52: case 56: case 58: case 59: case 60: case 61: case 62: case 104: case 106: case 108:
        case 122: case 127:
            return true;
        default:
            return false;
    }
}
}  // namespace

std::u16string InsertTextForNull(std::uint8_t type, bool notNull) {
    if (!notNull || type == 189) return u"NULL";  // a timestamp gets its value from the server
    if (type == 36) return kZeroGuid;             // 0 does not convert to a uniqueidentifier
    return TakesNumericZero(type) ? u"0" : u"''";
}

std::u16string InsertTextForAbsent(std::uint8_t type, bool notNull) {
    if (!notNull || type == 189) return u"NULL";
    switch (type) {
        case 36: return kZeroGuid;
        case 165: case 240: return u"0x";
        default: return TakesNumericZero(type) ? u"0" : u"''";
    }
}

std::u16string GridTextForNull(bool computed) { return computed ? u"Formula Base Data" : u" NULL"; }

std::u16string GridTextForAbsent(std::uint8_t type) {
    switch (type) {
        case 165: return u"<NULL>";
        case 167: return u"";
        case 240: return u"0x";
        default: return u" NULL";
    }
}

std::u16string GridTextForComputed(std::uint8_t type) {
    return type == 165 ? u"<NULL>" : u"Formula Base Data";
}

}  // namespace rows
