// Collation names and code pages of the 32-bit collation ids that the catalogue stores for character columns:
// Windows collations composed from their family and sensitivity bits, SQL collations looked up whole. A pure
// lookup, beside the catalogue: the row decoder reads 8-bit text by the code page, the target side writes the
// name.
#pragma once

#include <cstdint>
#include <string>

namespace mdf {

// The collation a column of id is created with on the target server, and, when that is not the collation id
// names, why: an id that names none (written as Latin1_General_CI_AS), or a collation of 2000 files that current
// servers no longer have (Hindi, Macedonian, Lithuanian_Classic, Korean_Wansung_Unicode: written with the family
// that took its place).
struct CollationChoice {
    std::u16string name;
    std::u16string note;  // empty when name is the stored collation itself
};
CollationChoice ChooseCollation(std::uint32_t id);

// ChooseCollation(id).name.
std::u16string CollationName(std::uint32_t id);

// True when id names a collation (CollationName gives its name or its successor's, not the fallback).
bool IsKnownCollation(std::uint32_t id);

// The Windows code page of the 8-bit text of a column of id: 1252 for Latin1_General and the SQL collations of
// CP1, 1251 for Cyrillic_General, 932 for Japanese, 437 and 850 for those SQL collations, ... 0 when the id
// names no collation or one that keeps no 8-bit text.
std::uint16_t CollationCodePage(std::uint32_t id);

}  // namespace mdf
