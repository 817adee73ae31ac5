// The row walk: checks one data record, expands its null bitmap, builds the variable-value table, and hands
// every column to its value case, producing grid texts, one INSERT statement, or the SharePoint capture.
#include <algorithm>
#include <optional>
#include <vector>

#include "mdf/recovery_engine.h"
#include "platform/text.h"
#include "rows/column_rendering.h"
#include "rows/date_time_values.h"
#include "rows/guid_values.h"
#include "rows/insert_statement.h"
#include "rows/integer_values.h"
#include "rows/row_capture.h"
#include "rows/value_dispatch.h"

namespace mdf {

namespace {

constexpr std::uint64_t kFirstRecordLimit = 8192;  // records lie beyond the file's first page

bool IsAcceptedStatus(std::uint8_t status) {
    switch (status) {
        case 0x10: case 0x30: case 0x32: case 0x50: case 0x70: case 0x72: return true;
        default: return false;
    }
}

// A record of a data page that is no row, as the page keeps it: the stub left where a row was moved from, or
// a deleted row not yet removed (bits 1-3 of the status byte 2, 6 or 7; bits 0 and 7 are never set).
bool IsOtherDataPageRecord(std::uint8_t status) {
    const int kind = (status >> 1) & 7;
    return (status & 0x81) == 0 && (kind == 2 || kind == 6 || kind == 7);
}

std::u16string Decimal(std::uint64_t n) { return platform::Widen(std::to_string(n)); }

// Rewrites a variable-length column's catalogue leaf offset into its 1-based variable ordinal. Idempotent:
// an ordinal already rewritten is left as it is.
std::int16_t VariableOrdinal(std::int16_t leaf) {
    std::uint16_t v = static_cast<std::uint16_t>(leaf);
    if (v >= 0x7000 && v <= 0x7FFF) v = static_cast<std::uint16_t>(v + 0x8000);
    if (v & 0x8000) {
        v = static_cast<std::uint16_t>(0 - v);
        if (v > 512) v = static_cast<std::uint16_t>(v - 512);
    }
    return static_cast<std::int16_t>(v);
}

}  // namespace

void CRecoveryEngine::RecycleRowCells() {
    auto& row = m_app.m_arrRowValues;
    if (m_nSpareCellsTaken == m_arrSpareCells.size()) {
        // Every spare string was taken (the usual case: rows of one table have the same cells): the row's
        // strings become the spares as they stand, and the row keeps the taken ones, which are empty.
        m_arrSpareCells.swap(row);
    } else {
        m_arrSpareCells.erase(m_arrSpareCells.begin(),
                              m_arrSpareCells.begin() + static_cast<std::ptrdiff_t>(m_nSpareCellsTaken));
        for (auto& cell : row) m_arrSpareCells.push_back(std::move(cell));
    }
    m_nSpareCellsTaken = 0;
    row.clear();
}

int CRecoveryEngine::DecodeTableRow(std::uint64_t record_offset, TableNode& table) {
    // The capture (scan job) and the statement (repair) are made only for the rows that take them: the table
    // view's rows go without both, and without setting up either one per row.
    const bool insert_mode = m_app.m_bRepairRequested.load();
    const bool preview = m_app.m_bRowPreview.load();
    if (preview && !insert_mode) return DecodeTableRecord(record_offset, table, nullptr, nullptr);
    rows::RowCapture capture(table, !preview);
    rows::RowCapture* const active = capture.Active() ? &capture : nullptr;
    if (!insert_mode) return DecodeTableRecord(record_offset, table, active, nullptr);
    rows::InsertStatement statement(table, m_app.m_bSql2005Catalog);
    return DecodeTableRecord(record_offset, table, active, &statement);
}

int CRecoveryEngine::DecodeTableRecord(std::uint64_t record_offset, TableNode& table, rows::RowCapture* capture,
                                       rows::InsertStatement* statement) {
    const std::uint64_t r = record_offset;
    m_arrVarValueOffsets.clear();
    m_arrVarValueLengths.clear();
    const bool capturing = capture != nullptr;
    m_bCaptureDocs = capturing && capture->Docs();
    m_bCaptureStreams = capturing && capture->Streams();
    m_bCaptureLists = capturing && capture->Lists();
    m_bCaptureWebs = capturing && capture->Webs();

    m_lastRecordOutcome = RecordOutcome::NotRow;
    m_bRowValueLost = false;
    const std::uint8_t status = Read8(r, Fixup::Single);
    if (r <= kFirstRecordLimit) return 0;
    // A record that cannot be read as a row of the table: counted and logged against the table; no row.
    auto damaged = [&](std::u16string_view why) {
        NoteRowLoss(table, RowLoss::DamagedRecord, r, {}, why);
        m_lastRecordOutcome = RecordOutcome::Damaged;
        m_app.m_arrRowValues.clear();
        return 0;
    };
    if (!IsAcceptedStatus(status)) {
        if (IsOtherDataPageRecord(status)) return 0;
        static constexpr char kHex[] = "0123456789ABCDEF";
        const std::u16string byte{u'0', u'x', static_cast<char16_t>(kHex[status >> 4]),
                                  static_cast<char16_t>(kHex[status & 15])};
        return damaged(u"its status byte " + byte + u" is no record's");
    }
    m_arrVarValueFlags.clear();
    m_app.m_arrRowValues.clear();
    // The record's bytes end by the next record on its page (the walk says where), else by its page's end.
    const std::uint64_t room_end = m_nRecordRoomEnd > r ? m_nRecordRoomEnd : (r / kPageSize + 1) * kPageSize;
    auto beyond = [&](std::u16string_view what, std::uint64_t end) {
        return damaged(std::u16string(what) + u" ends at offset " + Decimal(end - r) + u", beyond the record (" +
                       Decimal(room_end - r) + u" bytes)");
    };

    // Prepass: variable-length columns get their variable ordinal in place of the catalogue's leaf offset.
    std::size_t variable_columns = 0;
    for (auto& column : table.m_lstColumns) {
        if (rows::IsVariableLengthType(column.m_nType)) {
            column.m_nLeafOffset = VariableOrdinal(column.m_nLeafOffset);
            ++variable_columns;
        }
        if (StopRequested()) return 0;
    }

    const std::uint16_t fixed_end = Read16(r + 2, Fixup::Single);
    if (fixed_end < 4) return damaged(u"its fixed part ends before its header");
    if (r + fixed_end + 2 > room_end) return beyond(u"its fixed part", r + fixed_end + 2);
    const std::uint16_t column_count = Read16(r + fixed_end, Fixup::Single);
    if (m_nRecordColumnLimit != 0 && column_count > m_nRecordColumnLimit) {
        return damaged(u"it counts " + Decimal(column_count) + u" columns, its table " + Decimal(m_nRecordColumnLimit));
    }
    const std::size_t bitmap_bytes = std::max<std::size_t>(1, (column_count + 7u) / 8u);
    const std::uint64_t bitmap_end = r + fixed_end + 2 + bitmap_bytes;
    if (bitmap_end > room_end) return beyond(u"its null bitmap", bitmap_end);
    // The bitmap in one read; each sector end inside it is restored as if its bytes were read one by one.
    auto& row_bytes = m_arrRowBytes;
    row_bytes.resize(bitmap_bytes);
    ReadAt(r + fixed_end + 2, row_bytes.data(), bitmap_bytes, Fixup::Multi);
    auto& null_flags = m_arrNullFlags;
    null_flags.resize(bitmap_bytes * 8);
    for (std::size_t j = 0; j < bitmap_bytes; ++j) {
        for (int b = 0; b < 8; ++b) null_flags[j * 8 + b] = (row_bytes[j] >> b) & 1;
    }
    if (StopRequested()) return 0;

    // The variable-value table.
    std::size_t entries = 0;
    if (variable_columns > 0 && (status & 0x20) != 0) {
        const std::uint64_t count_at = r + fixed_end + 2 + bitmap_bytes;
        if (count_at + 2 > room_end) return beyond(u"its count of variable-length values", count_at + 2);
        const std::uint16_t m = Read16(count_at, Fixup::Single);
        if (m > column_count + 1u) {
            return damaged(u"it counts " + Decimal(m) + u" variable-length values in " + Decimal(column_count) +
                           u" columns");
        }
        if (m > 0) {
            std::uint64_t start = count_at + 2 + 2ull * m;
            if (start > room_end) return beyond(u"its table of variable-length values", start);
            // The end offsets in one read, restored as if read entry by entry.
            row_bytes.resize(2ull * m);
            ReadAt(count_at + 2, row_bytes.data(), row_bytes.size(), Fixup::Multi);
            for (std::uint16_t k = 0; k < m; ++k) {
                const auto e = static_cast<std::uint16_t>(row_bytes[2u * k] | (row_bytes[2u * k + 1] << 8));
                // Bit 15 marks a value kept off the row; the rest is where the value ends.
                const std::uint64_t stored_end = r + (e & 0x7FFF);
                if (stored_end > room_end || stored_end < start) {
                    const std::u16string where = stored_end < start
                                                     ? u", before it starts at " + Decimal(start - r)
                                                     : u", beyond the record (" + Decimal(room_end - r) + u" bytes)";
                    return damaged(u"variable-length value " + Decimal(k + 1u) + u" ends at offset " +
                                   Decimal(stored_end - r) + where);
                }
                const std::uint64_t end = r + (e & 0x1FFF);
                const std::uint64_t length = end > start ? end - start : 0;
                m_arrVarValueOffsets.push_back(static_cast<std::int64_t>(start));
                m_arrVarValueLengths.push_back(length);
                m_arrVarValueFlags.push_back(static_cast<std::uint16_t>(e >> 12));
                if (length > 0) start = end;
            }
            if (StopRequested()) return 0;
            entries = m;
        }
    }

    const bool insert_mode = statement != nullptr;
    const rows::RowMode mode = insert_mode ? rows::RowMode::Insert : rows::RowMode::Grid;
    auto& cells = m_app.m_arrRowValues;
    // Each grid cell is made from a spare string (its room kept) when there is one, moved straight into place.
    auto have_spare = [&] { return m_nSpareCellsTaken < m_arrSpareCells.size(); };
    auto push_cell = [&](std::u16string_view text) {
        if (have_spare()) {
            cells.emplace_back(std::move(m_arrSpareCells[m_nSpareCellsTaken++])).assign(text);
        } else {
            cells.emplace_back(text);
        }
    };

    for (const auto& column : table.m_lstColumns) {
        const std::uint8_t type = column.m_nType;
        const bool not_null = (column.m_nStatus & 1) != 0;
        const std::uint16_t ordinal = m_app.m_bSql2005Catalog ? column.m_nPhysicalColumn : column.m_nColumnId;
        const bool is_null = ordinal >= 1 && ordinal <= null_flags.size() && null_flags[ordinal - 1] != 0;
        // A persisted computed column has its value in the row, but the server computes it: an INSERT that
        // names it is refused whole.
        const bool computed = column.m_nLeafOffset == 0 || (insert_mode && column.m_bComputed);

        if (!rows::IsKnownType(type)) {
            // A type the decoder does not know still fills its cell, so the later cells stay in their columns;
            // the statement leaves the column out.
            if (!insert_mode) push_cell(is_null ? rows::GridTextForNull(computed) : u"");
        } else if (is_null) {
            if (!insert_mode) {
                push_cell(rows::GridTextForNull(computed));
            } else if (!computed) {
                statement->AddValue(column.m_pszName, rows::InsertTextForNull(type, not_null));
            }
        } else if (computed) {
            if (!insert_mode) push_cell(rows::GridTextForComputed(type));
        } else {
            const bool variable = rows::IsVariableLengthType(type);
            const auto leaf = static_cast<std::uint16_t>(column.m_nLeafOffset);
            bool absent = column.m_nColumnOrder > column_count;
            if (variable) {
                absent = absent || leaf - 1u >= entries || (type == 241 && column.m_pszName.empty());
            } else {
                absent = absent || leaf >= fixed_end;
            }
            if (absent) {
                if (!insert_mode) {
                    push_cell(rows::GridTextForAbsent(type));
                } else {
                    statement->AddValue(column.m_pszName, rows::InsertTextForAbsent(type, not_null));
                }
            } else {
                rows::ValueRequest request;
                request.recordOffset = r;
                request.valueOffset = r + leaf;
                request.varIndex = variable ? leaf - 1u : 0;
                request.mode = mode;
                // A Unicode value kept in the row is whole UTF-16 units: an odd length is an end offset moved.
                if ((type == 231 || type == 239) && variable && (m_arrVarValueFlags[request.varIndex] & 8) == 0 &&
                    (m_arrVarValueLengths[request.varIndex] & 1) != 0) {
                    return damaged(u"its Unicode value " + Decimal(leaf) + u" has an odd length (" +
                                   Decimal(m_arrVarValueLengths[request.varIndex]) + u" bytes)");
                }
                if (variable && (type == 165 || type == 34) && capturing && capture->Streams()) {
                    capture->OnContent(column, static_cast<std::uint64_t>(m_arrVarValueOffsets[request.varIndex]),
                                      m_arrVarValueLengths[request.varIndex], m_arrVarValueFlags[request.varIndex],
                                      m_app);
                }
                rows::ValueResult result{!insert_mode && have_spare()
                                             ? std::move(m_arrSpareCells[m_nSpareCellsTaken++])
                                             : std::u16string(),
                                         std::nullopt, false};
                result.text.clear();
                DecodeColumnValue(column, request, result);
                if (result.abandonRow) return 0;
                if (!insert_mode) {
                    if (capturing) capture->OnValue(column, result.text);
                    cells.push_back(std::move(result.text));
                } else if (result.parameter) {
                    statement->AddParameter(column.m_pszName, result.parameter->type,
                                           std::move(result.parameter->bytes), std::move(result.text));
                } else {
                    statement->AddValue(column.m_pszName, std::move(result.text));
                }
            }
        }
        if (StopRequested()) return 0;
    }

    if (capturing) capture->Finish(*this);
    // A row with a lost value is not sent: the server would keep a value the file never held.
    if (insert_mode && !m_bRowValueLost) ExecuteRowStatement(*statement);
    m_lastRecordOutcome = m_bRowValueLost ? RecordOutcome::RowNotSent : RecordOutcome::Row;
    m_arrVarValueOffsets.clear();
    m_arrVarValueLengths.clear();
    return 0;
}

void CRecoveryEngine::DecodeColumnValue(const ColumnNode& column, const rows::ValueRequest& request,
                                        rows::ValueResult& result) {
    const std::uint8_t type = column.m_nType;
    const bool insert_mode = request.mode == rows::RowMode::Insert;
    if (rows::IsIntegerFamily(type)) {
        std::uint8_t bytes[8] = {};
        ReadAt(request.valueOffset, bytes, rows::IntegerFamilyWidth(type), Fixup::Single);
        rows::AppendIntegerFamilyText(result.text, type, {bytes, rows::IntegerFamilyWidth(type)},
                                      column.m_nMaxInRowLength, column.m_nBitPos, insert_mode);
        return;
    }
    if (rows::IsDateTimeFamily(type)) {
        std::uint8_t bytes[10] = {};
        const std::size_t width = rows::DateTimeReadWidth(type);
        ReadAt(request.valueOffset, bytes, width, Fixup::Single);
        rows::AppendDateTimeFamilyText(result.text, type, {bytes, width}, column.m_nMaxInRowLength, column.m_nScale,
                                       insert_mode);
        return;
    }
    switch (type) {
        case 36: {
            std::uint8_t bytes[16] = {};
            ReadAt(request.valueOffset, bytes, sizeof bytes, Fixup::Single);
            if (insert_mode) {
                result.text = u"'" + rows::GuidText(bytes) + u"'";
            } else {
                rows::AppendGuidText(result.text, bytes);
            }
            return;
        }
        case 175: case 239: case 167: case 231: case 35: case 99: case 241:
            DecodeCharacterValue(column, request, result);
            return;
        case 173: case 165: case 34: case 189: case 240:
            DecodeBinaryValue(column, request, result);
            return;
        case 59: case 62:
            DecodeFloatValue(column, request, result);
            return;
        case 106: case 108:
            DecodeDecimalValue(column, request, result);
            return;
        case 98:
            DecodeSqlVariantValue(column, request, result);
            return;
        default:
            result.text = insert_mode ? u"''" : u"";
            return;
    }
}

}  // namespace mdf
