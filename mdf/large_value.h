// How a walk over a large value's chain of records ended, and the text it gathered. The walk itself is a member
// of the engine (large_value.cpp); these small types are apart so callers can name them without the engine.
//
// Large-value record (offsets from the record start):
//   0  status byte          2  record length L      4  value id (8 bytes)     12  record type
//   type 0 small root:   14 data length n, 20 n data bytes
//   type 3 data:         14 L - 14 data bytes
//   type 2 internal:     16 entry count m, 28 m entries of 16 bytes
//   type 4, 5 large root: 16 entry count m, 28 m entries of 12 bytes
//   entry: 0 page number (32 bits), 4 file number, 6 slot
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace mdf {

enum class LargeValueEnd {
    Complete,     // every record of the chain was read and checked, and delivered
    Damaged,      // a record of the chain could not be read as the value's (its page failed its checksum or
                  // torn check, or is not the page, the owner or the record its pointer names): the records
                  // that could be read were delivered, the value is not whole (m_strLargeValueLoss says why)
    Cut,          // the chain was longer than the record limit of the job; the value is incomplete (logged)
    Stopped,      // the user stopped the job; what was delivered is not the value
    WriteFailed,  // the output file refused bytes (CopyLargeValueToFile only)
};

// What the walk knows of a value before it reads it, to hold each record against: the table whose row points to
// it (the owner its pages must carry), the id its first record must carry, and the bytes the pointer says the
// chain holds.
struct LargeValueOrigin {
    std::optional<std::int32_t> table_object_id;
    std::optional<std::uint64_t> record_id;
    std::optional<std::uint64_t> length;
};

// What a zero inside a text means. A column value ends each record's piece at its first zero. A stored
// definition is either whole or damaged, so its zeros are kept, every one, for the caller to judge: zeros at
// the very end of the whole text are padding (TrimEndZeros), any other zero means a part of it is lost.
enum class LargeTextZeros {
    EndEachPiece,
    Keep,
};

struct LargeValueText {
    std::u16string text;
    LargeValueEnd end = LargeValueEnd::Complete;
};

// Drops the zeros at the end of a text read with LargeTextZeros::Keep.
inline void TrimEndZeros(std::u16string& text) {
    const std::size_t last = text.find_last_not_of(u'\0');
    text.resize(last == std::u16string::npos ? 0 : last + 1);
}

// Records taken after the first one before a walk is cut: Complete Repair, Document Recovery.
constexpr std::uint32_t kLargeValueRecordLimitRepair = 25856;
constexpr std::uint32_t kLargeValueRecordLimitDocuments = 98304;

}  // namespace mdf
