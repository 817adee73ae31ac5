// The value case of sql_variant: the stored value read from the row and turned into its plain text (grid) or
// into an expression of its base type (statement).
#include "mdf/recovery_engine.h"
#include "platform/text.h"
#include "rows/sql_variant_text.h"
#include "rows/value_dispatch.h"

namespace mdf {

namespace {

// The stored value's bytes, base-type byte included.
std::vector<std::uint8_t> ReadVariant(CRecoveryEngine& engine, std::uint32_t length, std::int64_t offset) {
    if (length == 0) return {};
    const auto start = static_cast<std::uint64_t>(offset);
    std::vector<std::uint8_t> value(length, 0);
    value[0] = engine.Read8(start, Fixup::Single);
    if (length > 1) {
        const Fixup fixup = rows::IsSqlVariantStringType(value[0]) ? Fixup::Multi : Fixup::Single;
        engine.ReadAt(start + 1, value.data() + 1, length - 1, fixup);
    }
    return value;
}

}  // namespace

std::u16string CRecoveryEngine::SqlVariantToText(std::uint32_t length, std::int64_t offset) {
    return rows::SqlVariantText(ReadVariant(*this, length, offset),
                                [this](std::uint32_t id) -> const platform::CodePage& { return CollationCodePage(id); });
}

void CRecoveryEngine::DecodeSqlVariantValue(const ColumnNode&, const rows::ValueRequest& request,
                                            rows::ValueResult& result) {
    const auto length = static_cast<std::uint32_t>(m_arrVarValueLengths[request.varIndex]);
    if (request.mode != rows::RowMode::Insert) {
        result.text = SqlVariantToText(length, m_arrVarValueOffsets[request.varIndex]);
        return;
    }
    // The value as its own base type: CAST(... AS int), N'...' with its collation, every digit kept.
    result.text = rows::SqlVariantLiteral(
        ReadVariant(*this, length, m_arrVarValueOffsets[request.varIndex]),
        [this](std::uint32_t id) -> const platform::CodePage& { return CollationCodePage(id); });
}

}  // namespace mdf
