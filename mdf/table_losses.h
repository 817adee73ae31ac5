// What keeps a table's rows from being read whole, in one record per table that every job reads: the scan
// fills in the pages and catalogue rows it could not read and the row count the catalogue keeps; each walk
// over the table's rows adds the records and large values it could not read and how many rows it gave. The
// result page, the row grid, the repair's last look, the document save and the tools all judge a table by
// this record, so a loss found by one of them is never missing from another.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace mdf {

// What a row walk met that kept part of a row from being read.
enum class RowLoss : std::uint8_t {
    DamagedRecord,  // the record itself is broken (its structure, or its place on the page): its row is not read
    LostValue,      // a value of the row, kept on other pages, could not be read whole: the row keeps the rest
};

struct TableLosses {
    // ---- From the scan ----
    // Pages the table owns or should own that could not be read as its pages, and pages its allocation maps
    // name beyond the end of the file.
    std::uint64_t damaged_pages = 0;
    std::uint64_t missing_pages = 0;
    // Other findings of the scan about the table: lost catalogue rows or allocation maps, column rows that
    // contradict it, slots that list one record twice.
    std::uint64_t other_findings = 0;
    // The row count the catalogue keeps for the table, when its row could be read.
    std::optional<std::uint64_t> catalogue_rows;

    // ---- From the last row walk that went over every page of the table ----
    bool walked = false;
    std::uint64_t rows_read = 0;        // rows the walk gave (a row with a lost value counts: it was read)
    std::uint64_t damaged_records = 0;  // records it could not read (no row came of them)
    std::uint64_t lost_values = 0;      // values it could not read whole (their cells say so)
    std::map<std::u16string, std::uint64_t> lost_values_by_column;
    // The running walk's own counts; a walk that ends whole makes them the ones above.
    struct Walk {
        std::uint64_t rows = 0;
        std::uint64_t damaged_records = 0;
        std::uint64_t lost_values = 0;
        std::map<std::u16string, std::uint64_t> lost_values_by_column;
        std::uint64_t lines = 0;  // finding lines the walk logged so far (the log takes a bounded number)
    } walk;

    // The rows the table should give: the catalogue's count when it has one, else the live records its pages
    // hold.
    std::uint64_t ExpectedRows(std::uint64_t counted_on_pages) const {
        return catalogue_rows ? *catalogue_rows : counted_on_pages;
    }
    // Anything found by the scan or by the last whole walk, or a whole walk that gave fewer rows than the
    // table should give.
    bool Incomplete(std::uint64_t counted_on_pages) const {
        return damaged_pages != 0 || missing_pages != 0 || other_findings != 0 || damaged_records != 0 ||
               lost_values != 0 || (walked && rows_read < ExpectedRows(counted_on_pages));
    }
};

// One line about an incomplete table, without its name: "3 damaged page(s), 1 missing page(s), 2 other
// finding(s); 120 of 2155 row(s) read; 2 damaged record(s); 3 large value(s) lost (Notes 2, Photo 1)". The
// row figures are those of the last whole walk, or of the scan (rows its pages hold against the catalogue's
// count) before one.
std::u16string LossSummary(const TableLosses& losses, std::uint64_t counted_on_pages);

}  // namespace mdf
