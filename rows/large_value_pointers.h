// The pointers a row keeps for a value stored out of the row: a text pointer (row id at offset 8) or an in-row
// root (row ids from offset 16, one every 12 bytes). Reading them never goes past the value's in-row length.
//
// Row id (8 bytes): 0 page number (32 bits), 4 file number, 6 slot.
// In-row root: 0 type byte (1, 2 or 4 mark a root), 16 first row id, then every 12 bytes one more.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace mdf {
class CRecoveryEngine;
}

namespace rows {

struct RowId {
    std::uint64_t pageOffset = 0;  // page number x 8192
    std::uint16_t slot = 0;
};

constexpr std::uint32_t kTextPointerStart = 8;
constexpr std::uint32_t kRootStart = 16;

// Where the row ids of a pointer value begin: 16 when its type byte (read from the data file) is one of
// rootTypes and the value is long enough to hold a root's first row id, else 8.
std::uint32_t RowIdStart(mdf::CRecoveryEngine& engine, std::uint64_t valueOffset, std::uint32_t length,
                         std::initializer_list<std::uint8_t> rootTypes);

// The row ids at start, start + 12, ... that lie wholly within the value's length.
std::vector<RowId> ReadRowIds(mdf::CRecoveryEngine& engine, std::uint64_t valueOffset, std::uint32_t start,
                              std::uint32_t length);

}  // namespace rows
