// The value cases of the binary types: binary, varbinary, image, timestamp and the CLR types (hierarchyid,
// geometry, geography). The grid shows a fixed word for each; the statement gets the bytes as a parameter
// (a hexadecimal literal for CLR values, NULL for timestamp). Values kept out of the row are gathered from
// their large-value records into memory.
#include "mdf/recovery_engine.h"
#include "rows/character_text.h"
#include "rows/large_value_pointers.h"
#include "rows/value_dispatch.h"

namespace mdf {

namespace {

constexpr std::uint8_t kBinary = 173;
constexpr std::uint8_t kVarBinary = 165;
constexpr std::uint8_t kImage = 34;
constexpr std::uint8_t kTimestamp = 189;

constexpr std::uint16_t kComplexFlag = 8;
constexpr std::uint32_t kMaxInRowVarBinary = 8000;

std::u16string UdtGridText(std::uint32_t user_type) {
    switch (user_type) {
        case 128: return u"HierarchyID Data";
        case 129: return u"Geometry Data";
        case 130: return u"Geography Data";
        default: return u"";
    }
}

void InsertBytes(platform::DataTypeEnum type, std::vector<std::uint8_t> bytes, rows::ValueResult& result) {
    if (bytes.empty()) {
        result.text = u"0x";
        return;
    }
    result.text = u"?";
    result.parameter = rows::ValueParameter{type, std::move(bytes)};
}

}  // namespace

void CRecoveryEngine::DecodeBinaryValue(const ColumnNode& column, const rows::ValueRequest& request,
                                        rows::ValueResult& result) {
    const std::uint8_t type = column.m_nType;
    if (request.mode == rows::RowMode::Grid) {
        // The grid shows a word for the value, but a value kept out of the row is read all the same: a cell
        // whose value could not be read whole says so.
        // (Not while documents are captured: their save reads and checks the content itself.)
        if (type != kBinary && type != kTimestamp && !m_bCaptureStreams &&
            request.varIndex < m_arrVarValueOffsets.size()) {
            const auto length = static_cast<std::uint32_t>(m_arrVarValueLengths[request.varIndex]);
            const bool complex = (m_arrVarValueFlags[request.varIndex] & kComplexFlag) != 0;
            if (complex && length > 0 && (type != kVarBinary || m_app.m_bSql2005Catalog)) {
                const auto offset = static_cast<std::uint64_t>(m_arrVarValueOffsets[request.varIndex]);
                std::vector<std::uint8_t> bytes;
                const LargeValueEnd end = rows::ReadPointedValue(
                    *this, offset, rows::RowIdStart(*this, offset, length, {2, 4}), length, bytes);
                if (end == LargeValueEnd::Stopped) {
                    result.abandonRow = true;
                    return;
                }
                if (end == LargeValueEnd::Damaged) {
                    rows::MarkValueLost(*this, column, request.recordOffset, false, result.text);
                    return;
                }
            }
        }
        switch (type) {
            case kBinary: result.text = u"<BinaryData>"; break;
            case kVarBinary: result.text = u"VarBinaryData"; break;
            case kImage:
            case kTimestamp: result.text = u"<Binary Data>"; break;
            default: result.text = UdtGridText(column.m_nUserType); break;
        }
        return;
    }

    if (type == kTimestamp) {
        result.text = u"NULL";  // the server gives the row a new one
        return;
    }
    if (type == kBinary) {
        InsertBytes(platform::adBinary, ReadBytes(request.valueOffset, column.m_nMaxInRowLength, Fixup::Multi),
                    result);
        return;
    }

    const std::uint64_t offset = static_cast<std::uint64_t>(m_arrVarValueOffsets[request.varIndex]);
    const auto length = static_cast<std::uint32_t>(m_arrVarValueLengths[request.varIndex]);
    const bool complex = (m_arrVarValueFlags[request.varIndex] & kComplexFlag) != 0;

    // A complex value is a pointer or an in-row root: its large value is gathered from the records behind it.
    // varbinary keeps such pointers only from the 2005 layout on.
    const bool pointer = complex && length > 0 && (type != kVarBinary || m_app.m_bSql2005Catalog);
    if (pointer) {
        const std::uint32_t start = rows::RowIdStart(*this, offset, length, {2, 4});
        std::vector<std::uint8_t> bytes;
        const LargeValueEnd end = rows::ReadPointedValue(*this, offset, start, length, bytes);
        if (end == LargeValueEnd::Stopped) {
            result.abandonRow = true;
            return;
        }
        if (end == LargeValueEnd::Damaged) {
            rows::MarkValueLost(*this, column, request.recordOffset, true, result.text);
            return;
        }
        if (type == kVarBinary || type == kImage) {
            InsertBytes(platform::adLongVarBinary, std::move(bytes), result);
        } else {
            result.text = rows::HexLiteral(bytes);
        }
        return;
    }

    switch (type) {
        case kVarBinary:
            InsertBytes(platform::adVarBinary,
                        length <= kMaxInRowVarBinary ? ReadBytes(offset, length, Fixup::Multi) : std::vector<std::uint8_t>{},
                        result);
            break;
        case kImage:
            InsertBytes(platform::adLongVarBinary, ReadBytes(offset, length, Fixup::Multi), result);
            break;
        default:
            // A CLR value in the row: all its bytes are the value (a pointer or root would carry the complex flag).
            result.text = rows::HexLiteral(ReadBytes(offset, length, Fixup::None));
            break;
    }
}

}  // namespace mdf
