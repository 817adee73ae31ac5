// Collation names of the 32-bit collation ids that the catalogue stores for character columns: Windows
// collations composed from their family and sensitivity bits, SQL collations looked up whole. A pure lookup.
#pragma once

#include <cstdint>
#include <string>

namespace target {

// The name the target server knows for id, "Latin1_General_CI_AS" for an id that names no collation.
std::u16string CollationName(std::uint32_t id);

// True when id names a collation (CollationName gives its own name, not the fallback).
bool IsKnownCollation(std::uint32_t id);

}  // namespace target
