// The pointers a row keeps for a value stored out of the row: a text pointer (row id at offset 8) or an in-row
// root (row ids from offset 16, one every 12 bytes). Reading them never goes past the value's in-row length.
//
// Row id (8 bytes): 0 page number (32 bits), 4 file number, 6 slot.
// Text pointer: 0 the id every record of the value carries (8 bytes), 8 row id.
// In-row root: 0 type byte (1, 2 or 4 mark a root), 8 the value's timestamp (its records carry it as bytes 2 to 5
// of their id), 12 the running end of the first piece (4 bytes), 16 its row id, then every 12 bytes one more
// piece's running end and row id.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string_view>
#include <vector>

#include "mdf/large_value.h"

namespace mdf {
class CRecoveryEngine;
struct ColumnNode;
}

namespace rows {

struct RowId {
    std::uint64_t pageOffset = 0;  // page number x 8192
    std::uint16_t slot = 0;
    std::optional<std::uint64_t> length;  // the bytes of its piece, by the running ends of a root (types 2, 4)
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

// The id the records behind the pointer must carry: a text pointer's own, a root's timestamp (types 2 and 4);
// none for other roots.
std::optional<std::uint64_t> PointedRecordId(mdf::CRecoveryEngine& engine, std::uint64_t valueOffset,
                                             std::uint32_t start, std::uint32_t length);

// Appends the value behind the row ids to bytes, each chain checked against its pointer and the table of the
// row being read (m_pCurrentTable). Stopped as soon as a walk is stopped; else Damaged when a chain could not
// be read whole (m_strLargeValueLoss says why), Cut when one was cut, else Complete.
mdf::LargeValueEnd ReadPointedValue(mdf::CRecoveryEngine& engine, std::uint64_t valueOffset, std::uint32_t start,
                                    std::uint32_t length, std::vector<std::uint8_t>& bytes);

// A value of the row that could not be read whole: its cell says so, the row is not sent, and the loss is
// counted against the table and logged.
void MarkValueLost(mdf::CRecoveryEngine& engine, const mdf::ColumnNode& column, std::uint64_t recordOffset,
                   bool insert, std::u16string& text);

}  // namespace rows
