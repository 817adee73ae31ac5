// The value cases of the character types: char, nchar, varchar, nvarchar, text, ntext and xml. Fixed values
// lie in the row; variable ones in the row or, when the row keeps a pointer (complex flag), in large-value
// records reached through the row ids. 8-bit types go through the code page of the column's collation, the
// others are UTF-16. A statement carries every byte of a value; a grid cell ends at the first zero.
#include <algorithm>

#include "mdf/collation_names.h"
#include "mdf/recovery_engine.h"
#include "platform/text.h"
#include "rows/binary_xml.h"
#include "rows/character_text.h"
#include "rows/large_value_pointers.h"
#include "rows/value_dispatch.h"

namespace mdf {

namespace {

constexpr std::uint8_t kChar = 175;
constexpr std::uint8_t kNChar = 239;
constexpr std::uint8_t kVarChar = 167;
constexpr std::uint8_t kNVarChar = 231;
constexpr std::uint8_t kNText = 99;
constexpr std::uint8_t kXml = 241;

constexpr std::uint16_t kComplexFlag = 8;

bool IsWide(std::uint8_t type) { return type == kNChar || type == kNVarChar || type == kNText || type == kXml; }

platform::DataTypeEnum ParameterType(std::uint8_t type) {
    switch (type) {
        case kChar: return platform::adChar;
        case kNChar: return platform::adWChar;
        case kVarChar: return platform::adLongVarChar;
        default: return platform::adLongVarWChar;
    }
}

// The value's text: UTF-16 units, or 8-bit text through the column's code page. A statement keeps every
// byte, zeros among them; a grid cell ends at the first zero.
std::u16string BytesToText(std::uint8_t type, std::span<const std::uint8_t> bytes, const platform::CodePage& page,
                           bool keep_zeros) {
    if (IsWide(type)) return keep_zeros ? rows::AllUtf16Units(bytes) : rows::Utf16UnitsText(bytes);
    if (!keep_zeros) {
        const auto zero = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
        bytes = bytes.first(static_cast<std::size_t>(zero - bytes.begin()));
    }
    std::u16string text;
    platform::AppendCodePageText(text, bytes, page);
    return text;
}

// The statement entry of a text: "''" when empty, else "?" with the text's UTF-16 bytes as the parameter.
void InsertText(std::uint8_t type, const std::u16string& text, rows::ValueResult& result) {
    if (text.empty()) {
        result.text = u"''";
        return;
    }
    result.text = u"?";
    result.parameter = rows::ValueParameter{ParameterType(type), rows::Utf16LeBytes(text)};
}

}  // namespace

const platform::CodePage& CRecoveryEngine::CollationCodePage(std::uint32_t collation_id) {
    for (const auto& [id, page] : m_arrCollationCodePages) {
        if (id == collation_id) return page ? *page : platform::AnsiCodePage();
    }
    std::uint32_t lookup = collation_id;
    if (collation_id == 0) {
        if (!m_nDatabaseCollationId) m_nDatabaseCollationId = Read32(kBootPageCollationOffset, Fixup::None);
        lookup = *m_nDatabaseCollationId;
    }
    const unsigned number = mdf::CollationCodePage(lookup);
    const platform::CodePage* page = number == 0 ? nullptr : platform::CodePageNumbered(number);
    m_arrCollationCodePages.emplace_back(collation_id, page);
    return page ? *page : platform::AnsiCodePage();
}

void CRecoveryEngine::DecodeXmlValue(const ColumnNode& column, std::uint64_t recordOffset, std::uint64_t offset,
                                     std::uint32_t length, bool complex, bool insert, rows::ValueResult& result) {
    // The stored binary form, in the row or behind the row ids of a root.
    std::vector<std::uint8_t> bytes;
    if (complex && length > 0) {
        const std::uint32_t start = rows::RowIdStart(*this, offset, length, {2, 4});
        const LargeValueEnd end = rows::ReadPointedValue(*this, offset, start, length, bytes);
        if (end == LargeValueEnd::Stopped) {
            result.abandonRow = true;
            return;
        }
        if (end == LargeValueEnd::Damaged) {
            rows::MarkValueLost(*this, column, recordOffset, insert, result.text);
            return;
        }
    } else {
        bytes = ReadBytes(offset, length, Fixup::Multi);
    }
    const std::optional<std::u16string> text = rows::BinaryXmlText(bytes);
    if (!text) {
        // Not the binary form: the value is left out of the row, and the repair names its column.
        if (insert) {
            result.text = u"NULL";
            const std::u16string table = m_pCurrentTable != nullptr ? m_pCurrentTable->m_pszName : std::u16string();
            ++m_repairTally.values_left_out[table + u"." + column.m_pszName];
        }
        return;
    }
    if (!insert) {
        result.text = text->empty() ? u"" : rows::FirstLineBreakToBlank(*text);
        return;
    }
    // Style 1 keeps every white-space text of the value, as the stored form holds it.
    result.text = u"CONVERT(xml, ?, 1)";
    result.parameter = rows::ValueParameter{platform::adLongVarWChar, rows::Utf16LeBytes(*text)};
}

void CRecoveryEngine::DecodeCharacterValue(const ColumnNode& column, const rows::ValueRequest& request,
                                           rows::ValueResult& result) {
    const std::uint8_t type = column.m_nType;
    const bool insert = request.mode == rows::RowMode::Insert;
    // 8-bit text is read by the code page of the column's collation, in the grid and the statement alike.
    const platform::CodePage& page = IsWide(type) ? platform::Windows1252() : CollationCodePage(column.m_nCollationId);

    if (type == kChar || type == kNChar) {
        const auto bytes = ReadBytes(request.valueOffset, column.m_nMaxInRowLength, Fixup::Multi);
        const std::u16string text = BytesToText(type, bytes, page, insert);
        if (insert) {
            InsertText(type, text, result);
        } else {
            result.text = text.empty() ? u" " : rows::FirstLineBreakToBlank(text);
        }
        return;
    }

    const std::uint64_t offset = static_cast<std::uint64_t>(m_arrVarValueOffsets[request.varIndex]);
    std::uint32_t length = static_cast<std::uint32_t>(m_arrVarValueLengths[request.varIndex]);
    const bool complex = (m_arrVarValueFlags[request.varIndex] & kComplexFlag) != 0;
    const bool layout2005 = m_app.m_bSql2005Catalog;

    if (type == kXml) {
        DecodeXmlValue(column, request.recordOffset, offset, length, complex, insert, result);
        return;
    }

    if (type == kVarChar && (length == 0 || length > column.m_nMaxInRowLength)) {
        result.text = insert ? u"''" : u"";
        return;
    }
    if (type == kNVarChar && length > column.m_nMaxInRowLength) length = column.m_nMaxInRowLength;

    // Where the text lies: in the row, or behind the row ids of a pointer.
    bool walked = false;
    std::uint32_t start = 0;
    if (complex) {
        switch (type) {
            case kVarChar:
                walked = true;
                start = layout2005 && length >= rows::kRootStart ? rows::kRootStart : rows::kTextPointerStart;
                break;
            case kNVarChar:
                walked = layout2005;  // the 2000 layout keeps nvarchar in the row
                // A root (type byte 2 or 4) keeps its row ids from 16 on, however short the value: a root of
                // fewer than 24 bytes has none, and its header bytes are never read as one.
                if (walked) {
                    const std::uint8_t root_type = length == 0 ? 0 : Read8(offset, Fixup::Single);
                    start = root_type == 2 || root_type == 4 ? rows::kRootStart : rows::kTextPointerStart;
                }
                break;
            default:  // text, ntext
                walked = true;
                start = layout2005 ? rows::RowIdStart(*this, offset, length, {1, 2, 4}) : rows::kTextPointerStart;
                break;
        }
    }

    std::u16string text;
    if (walked) {
        // The bytes of every record, joined, then read as one text: a character split over two records comes
        // out whole, and the statement keeps every byte.
        std::vector<std::uint8_t> bytes;
        const LargeValueEnd end = rows::ReadPointedValue(*this, offset, start, length, bytes);
        if (end == LargeValueEnd::Stopped) {
            result.abandonRow = true;
            return;
        }
        if (end == LargeValueEnd::Damaged) {
            rows::MarkValueLost(*this, column, request.recordOffset, insert, result.text);
            return;
        }
        text = BytesToText(type, bytes, page, insert);
    } else {
        // In-row bytes go through a buffer kept from row to row.
        m_arrValueBytes.resize(length);
        ReadAt(offset, m_arrValueBytes.data(), length, Fixup::Multi);
        if (!insert) {
            // The grid cell is written in place: the text goes straight into result.text (empty, and often
            // with room from an earlier row) and is shaped there as the switch at the end shapes it.
            std::u16string& cell = result.text;
            if (IsWide(type)) {
                rows::AppendUtf16Units(cell, m_arrValueBytes);
            } else {
                const std::span<const std::uint8_t> bytes(m_arrValueBytes);
                const auto zero = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
                platform::AppendCodePageText(cell, bytes.first(static_cast<std::size_t>(zero - bytes.begin())), page);
            }
            switch (type) {
                case kVarChar:
                    for (char16_t& c : cell) {
                        if (c == u'\r' || c == u'\n') c = u' ';
                    }
                    break;
                case kNVarChar:
                    break;
                default:  // text, ntext
                    if (!cell.empty()) cell = rows::CutToGridWidth(rows::FirstLineBreakToBlank(std::move(cell)));
                    break;
            }
            return;
        }
        text = BytesToText(type, m_arrValueBytes, page, true);
    }

    // ntext read through pointers in the 2005 layout: an empty value of a nullable column is NULL.
    const bool nullable = (column.m_nStatus & 1) == 0;
    const bool empty_pointer_value = type == kNText && walked && layout2005 && text.empty();

    if (insert) {
        if (empty_pointer_value) {
            result.text = nullable ? u"NULL" : u"''";
            return;
        }
        InsertText(type, text, result);
        return;
    }
    switch (type) {
        case kVarChar:
            result.text = rows::LineBreaksToBlanks(text);
            break;
        case kNVarChar:
            result.text = text;
            break;
        default:  // text, ntext
            if (empty_pointer_value) {
                result.text = nullable ? u"NULL" : u" ";
            } else if (!text.empty()) {
                result.text = rows::CutToGridWidth(rows::FirstLineBreakToBlank(text));
            }
            break;
    }
}

}  // namespace mdf
