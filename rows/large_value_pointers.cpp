// Reading the row ids that a row keeps for a value stored out of the row.
#include "rows/large_value_pointers.h"

#include <algorithm>

#include "mdf/recovery_engine.h"

namespace rows {

namespace {
constexpr std::uint32_t kRowIdSize = 8;
constexpr std::uint32_t kRowIdStep = 12;  // a row id and four bytes that are not read
}  // namespace

std::uint32_t RowIdStart(mdf::CRecoveryEngine& engine, std::uint64_t valueOffset, std::uint32_t length,
                         std::initializer_list<std::uint8_t> rootTypes) {
    if (length < kRootStart + kRowIdSize) return kTextPointerStart;
    const std::uint8_t type = engine.Read8(valueOffset, mdf::Fixup::Single);
    return std::find(rootTypes.begin(), rootTypes.end(), type) != rootTypes.end() ? kRootStart : kTextPointerStart;
}

std::vector<RowId> ReadRowIds(mdf::CRecoveryEngine& engine, std::uint64_t valueOffset, std::uint32_t start,
                              std::uint32_t length) {
    std::vector<RowId> ids;
    for (std::uint64_t at = start; at + kRowIdSize <= length; at += kRowIdStep) {
        const std::uint64_t raw = engine.Read64(valueOffset + at, mdf::Fixup::Single);
        ids.push_back({(raw & 0xFFFFFFFFu) * mdf::kPageSize, static_cast<std::uint16_t>(raw >> 48)});
    }
    return ids;
}

}  // namespace rows
