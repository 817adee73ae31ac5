// The one-line summary of a table's losses.
#include "mdf/table_losses.h"

#include "platform/text.h"

namespace mdf {

namespace {

std::u16string Number(std::uint64_t n) { return platform::Widen(std::to_string(n)); }

}  // namespace

std::u16string LossSummary(const TableLosses& losses, std::uint64_t counted_on_pages) {
    std::u16string text;
    auto part = [&text](std::u16string piece, char16_t separator = u',') {
        if (!text.empty()) text += std::u16string(1, separator) + u" ";
        text += piece;
    };
    if (losses.damaged_pages != 0) part(Number(losses.damaged_pages) + u" damaged page(s)");
    if (losses.missing_pages != 0) part(Number(losses.missing_pages) + u" missing page(s)");
    if (losses.other_findings != 0) part(Number(losses.other_findings) + u" other finding(s)");
    const std::uint64_t expected = losses.ExpectedRows(counted_on_pages);
    if (losses.walked) {
        part(Number(losses.rows_read) + u" of " + Number(expected) + u" row(s) read", u';');
    } else if (losses.catalogue_rows && counted_on_pages != *losses.catalogue_rows) {
        part(Number(counted_on_pages) + u" of " + Number(expected) + u" row(s) on its pages", u';');
    }
    if (losses.damaged_records != 0) part(Number(losses.damaged_records) + u" damaged record(s)", u';');
    if (losses.lost_values != 0) {
        std::u16string columns;
        for (const auto& [column, count] : losses.lost_values_by_column) {
            columns += (columns.empty() ? u"" : u", ") + column + u" " + Number(count);
        }
        part(Number(losses.lost_values) + u" large value(s) lost" + (columns.empty() ? u"" : u" (" + columns + u")"),
             u';');
    }
    return text;
}

}  // namespace mdf
