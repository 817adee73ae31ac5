// The value cases of real (4 bytes) and float (8 bytes): the stored word rebuilt exactly, then its text.
#include <algorithm>

#include "mdf/recovery_engine.h"
#include "rows/float_text.h"
#include "rows/value_dispatch.h"

namespace mdf {

void CRecoveryEngine::DecodeFloatValue(const ColumnNode& column, const rows::ValueRequest& request,
                                       rows::ValueResult& result) {
    const bool real = column.m_nType == 59;
    const std::size_t width = real ? 4 : 8;
    std::uint8_t bytes[8] = {};
    ReadAt(request.valueOffset, bytes, width, Fixup::Single);
    // Only the column's in-row length is the value; bytes past it belong to the next column.
    std::uint64_t raw = 0;
    const std::size_t taken = std::min<std::size_t>(width, column.m_nMaxInRowLength);
    for (std::size_t i = 0; i < taken; ++i) raw |= static_cast<std::uint64_t>(bytes[i]) << (8 * i);

    double value = 0;
    if (real) {
        rows::CSinglePrecision(static_cast<std::uint32_t>(raw)).ToDouble(&value);
        if (request.mode == rows::RowMode::Insert) {
            result.text = rows::RealInsertText(value);
        } else {
            rows::AppendRealText(result.text, value);
        }
    } else {
        rows::CDoublePrecision stored;
        stored.SetRawValue(static_cast<std::uint32_t>(raw), static_cast<std::uint32_t>(raw >> 32));
        stored.GetValue(&value);
        if (request.mode == rows::RowMode::Insert) {
            result.text = rows::FloatInsertText(value);
        } else {
            rows::AppendFloatText(result.text, value);
        }
    }
}

}  // namespace mdf
