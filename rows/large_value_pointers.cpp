// Reading the row ids that a row keeps for a value stored out of the row.
#include "rows/large_value_pointers.h"

#include <algorithm>

#include "mdf/recovery_engine.h"
#include "mdf/table_losses.h"

namespace rows {

namespace {
constexpr std::uint32_t kRowIdSize = 8;
constexpr std::uint32_t kRowIdStep = 12;  // a row id and the next piece's running end
constexpr std::uint32_t kRunningEndSize = 4;
constexpr std::uint32_t kRootTimestampAt = 8;

// A root whose pieces carry running ends and whose records carry its timestamp: type 2 or 4.
bool IsSizedRoot(mdf::CRecoveryEngine& engine, std::uint64_t valueOffset, std::uint32_t length) {
    if (length < kRootStart + kRowIdSize) return false;
    const std::uint8_t type = engine.Read8(valueOffset, mdf::Fixup::Single);
    return type == 2 || type == 4;
}
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
    // A root of type 2 or 4 keeps each piece's running end before its row id.
    const bool ends = start == kRootStart && IsSizedRoot(engine, valueOffset, length);
    std::uint64_t previous_end = 0;
    for (std::uint64_t at = start; at + kRowIdSize <= length; at += kRowIdStep) {
        const std::uint64_t raw = engine.Read64(valueOffset + at, mdf::Fixup::Single);
        RowId id{(raw & 0xFFFFFFFFu) * mdf::kPageSize, static_cast<std::uint16_t>(raw >> 48), std::nullopt};
        if (ends) {
            const std::uint64_t end = engine.Read32(valueOffset + at - kRunningEndSize, mdf::Fixup::Single);
            // Running ends that go back name no length a chain can have.
            id.length = end >= previous_end ? end - previous_end : ~std::uint64_t{0};
            previous_end = end;
        }
        ids.push_back(id);
    }
    // A root whose last running end is 0 names no length at all.
    if (ends && previous_end == 0) {
        for (auto& id : ids) id.length.reset();
    }
    return ids;
}

std::optional<std::uint64_t> PointedRecordId(mdf::CRecoveryEngine& engine, std::uint64_t valueOffset,
                                             std::uint32_t start, std::uint32_t length) {
    if (start == kTextPointerStart && length >= kTextPointerStart + kRowIdSize) {
        return engine.Read64(valueOffset, mdf::Fixup::Single);
    }
    if (start == kRootStart && IsSizedRoot(engine, valueOffset, length)) {
        return std::uint64_t{engine.Read32(valueOffset + kRootTimestampAt, mdf::Fixup::Single)} << 16;
    }
    return std::nullopt;
}

mdf::LargeValueEnd ReadPointedValue(mdf::CRecoveryEngine& engine, std::uint64_t valueOffset, std::uint32_t start,
                                    std::uint32_t length, std::vector<std::uint8_t>& bytes) {
    mdf::LargeValueOrigin origin;
    if (engine.m_pCurrentTable != nullptr) origin.table_object_id = engine.m_pCurrentTable->m_nObjectId;
    origin.record_id = PointedRecordId(engine, valueOffset, start, length);
    mdf::LargeValueEnd worst = mdf::LargeValueEnd::Complete;
    std::u16string loss;
    for (const auto& id : ReadRowIds(engine, valueOffset, start, length)) {
        origin.length = id.length;
        const mdf::LargeValueEnd end = engine.ReadLargeValueBytes(id.pageOffset, id.slot, bytes, origin);
        if (end == mdf::LargeValueEnd::Stopped) return end;
        if (end == mdf::LargeValueEnd::Damaged && worst != mdf::LargeValueEnd::Damaged) {
            worst = end;
            loss = engine.m_strLargeValueLoss;
        } else if (end == mdf::LargeValueEnd::Cut && worst == mdf::LargeValueEnd::Complete) {
            worst = end;
        }
    }
    engine.m_strLargeValueLoss = loss;
    return worst;
}

void MarkValueLost(mdf::CRecoveryEngine& engine, const mdf::ColumnNode& column, std::uint64_t recordOffset,
                   bool insert, std::u16string& text) {
    text = insert ? u"NULL" : std::u16string(mdf::CRecoveryEngine::kLostValueText);
    const std::u16string why = u"large value: " + engine.m_strLargeValueLoss;
    if (engine.m_pCurrentTable != nullptr) {
        engine.NoteRowLoss(*engine.m_pCurrentTable, mdf::RowLoss::LostValue, recordOffset, column.m_pszName, why);
    }
}

}  // namespace rows
