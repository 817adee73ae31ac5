// The hand-over between the row walk (rows/row_decoder.cpp) and the value cases of the character, binary,
// real/float, decimal/numeric and sql_variant families, which live in their own files as CRecoveryEngine
// members (declared in mdf/recovery_engine.h, "row decoder" section).
//
// Contract of every Decode...Value member:
// - The walk calls it only for a column the record carries: not NULL, not computed, and present (fixed types:
//   leaf offset below the fixed-part end; variable types: variable ordinal within the variable-value table).
//   NULL, absent and computed columns never reach it; neither does the statement's column list: the walk
//   has already named the column there.
// - request.recordOffset is the record's absolute file offset R. Fixed-length types (char, nchar, binary,
//   timestamp, real, float, decimal, numeric) read at request.valueOffset = R + leaf offset. Variable-length
//   types (varchar, nvarchar, text, ntext, xml, varbinary, image, CLR, sql_variant) use the entry
//   request.varIndex (= variable ordinal - 1, already checked < the entry count) of m_arrVarValueOffsets,
//   m_arrVarValueLengths and m_arrVarValueFlags.
// - request.mode == Grid: put the display text in result.text (one cell; an empty text is a valid cell).
//   request.mode == Insert: put the value-list entry in result.text: a literal ("''", "0x", "NULL", a number,
//   a quoted text), or "?" together with result.parameter (type and bytes; the walk names it after the column
//   and appends it to the row's command in "?" order). Never write to m_arrRowValues or to the command.
// - result.abandonRow = true drops the whole row: nothing is executed or captured for it.
// - Do not catch SqlError around the parameter: the walk handles errors of the statement and command.
// - SharePoint capture is done by the walk from result.text (grid mode) and from the variable-value table
//   (the "Content" column); the value cases need not know about it.
// Helpers of the families already built: rows/integer_values.h (decimal and money texts),
// rows/date_time_values.h (DayNumberToDate, datetime and smalldatetime texts), platform/date_format.h
// (short and long dates), rows/guid_values.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/sql_connection.h"

namespace rows {

// Grid: display texts for the table view (and the SharePoint capture); Insert: one INSERT statement per row.
enum class RowMode { Grid, Insert };

struct ValueRequest {
    std::uint64_t recordOffset = 0;  // absolute file offset of the record
    std::uint64_t valueOffset = 0;   // fixed-length types: recordOffset + leaf offset
    std::size_t varIndex = 0;        // variable-length types: index into the variable-value table
    RowMode mode = RowMode::Grid;
};

// A value passed to the statement as a "?" parameter.
struct ValueParameter {
    platform::DataTypeEnum type = platform::adEmpty;
    std::vector<std::uint8_t> bytes;
};

struct ValueResult {
    std::u16string text;                       // display text (Grid) or value-list entry (Insert)
    std::optional<ValueParameter> parameter;   // Insert only, with text "?"
    bool abandonRow = false;
};

}  // namespace rows
