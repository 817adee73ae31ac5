// Column in-row positions: the type sets of the position computation and the computation for one table, which
// the engine runs over every table whose positions the catalogue did not give.
#pragma once

#include <cstdint>

#include "mdf/catalog_records.h"

namespace mdf {

constexpr std::uint8_t kTypeBit = 104;

bool IsFixedLengthType(std::uint8_t type);
// Variable-length types are those stored in the record's variable part (CLR user types included).
bool IsVariableLengthType(std::uint8_t type);

// Gives every column without a position its physical number and leaf offset: a byte offset from the record
// start for fixed-length and bit columns, 0xFFFF - k for the k-th variable-length column (k from 0). A table
// whose first column already has a position is left as it is.
void ComputeTableColumnOffsets(TableNode& table);

}  // namespace mdf
