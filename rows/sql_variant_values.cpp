// The value case of sql_variant: the stored value read from the row and turned into its plain text, which the
// statement always takes as a quoted string.
#include "mdf/recovery_engine.h"
#include "rows/character_text.h"
#include "rows/sql_variant_text.h"
#include "rows/value_dispatch.h"

namespace mdf {

std::u16string CRecoveryEngine::SqlVariantToText(std::uint32_t length, std::int64_t offset) {
    if (length == 0) return {};
    const auto start = static_cast<std::uint64_t>(offset);
    std::vector<std::uint8_t> value(length, 0);
    value[0] = Read8(start, Fixup::Single);
    if (length > 1) {
        const Fixup fixup = rows::IsSqlVariantStringType(value[0]) ? Fixup::Multi : Fixup::Single;
        ReadAt(start + 1, value.data() + 1, length - 1, fixup);
    }
    return rows::SqlVariantText(value);
}

void CRecoveryEngine::DecodeSqlVariantValue(const ColumnNode&, const rows::ValueRequest& request,
                                            rows::ValueResult& result) {
    const auto length = static_cast<std::uint32_t>(m_arrVarValueLengths[request.varIndex]);
    const std::u16string text = SqlVariantToText(length, m_arrVarValueOffsets[request.varIndex]);
    result.text = request.mode == rows::RowMode::Insert ? rows::QuotedLiteral(text) : text;
}

}  // namespace mdf
