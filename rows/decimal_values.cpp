// The value cases of decimal and numeric: the sign byte and mantissa read from the row, written as their exact
// decimal text with the column's precision and scale.
#include "mdf/decimal_text.h"
#include "mdf/recovery_engine.h"
#include "rows/value_dispatch.h"

namespace mdf {

void CRecoveryEngine::DecodeDecimalValue(const ColumnNode& column, const rows::ValueRequest& request,
                                         rows::ValueResult& result) {
    const std::uint16_t length = column.m_nMaxInRowLength;
    if (length == 0) {
        // A damaged catalogue gives the column no bytes: there is no value to show, and the statement gets a
        // number the column accepts.
        if (request.mode == rows::RowMode::Insert) result.text.assign(1, u'0');
        return;
    }
    // The usual lengths (at most 17) are read into a buffer on the stack.
    std::uint8_t small[17] = {};
    std::vector<std::uint8_t> large;
    std::uint8_t* stored = small;
    if (length > sizeof small) {
        large.assign(length, 0);
        stored = large.data();
    }
    stored[0] = Read8(request.valueOffset, Fixup::Single);
    if (length > 1) ReadAt(request.valueOffset + 1, stored + 1, length - 1u, Fixup::Single);
    result.text = mdf::DecimalToText({stored, length}, column.m_nPrecision, column.m_nScale);
}

}  // namespace mdf
