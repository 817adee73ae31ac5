// The plain rules of the result page: the table items' texts and the table name a click finds, the row
// list's column widths, the document list's icons by extension, the walk from a clicked tree path to the
// documents it shows, and the check box click on the document tree's model.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "mdf/catalog_records.h"
#include "mdf/sharepoint_records.h"

namespace sharepoint {
struct CheckItem;
}

namespace app {

// "dbo.Items(12)": the table's name and its live-row count; a table that damaged or missing pages may have cut
// short is marked after the count ("dbo.Items(12) - may be incomplete"), so the name is still found as below.
std::u16string TableItemText(std::u16string_view table_name, std::uint64_t row_count, bool incomplete = false);
// The same text for a tree too narrow for it: when the whole text does not fit, the name is cut and ends in
// "…", and the count stays whole, so "dbo.Orders(7335008)" never reads "dbo.Orders(733500". The mark of an
// incomplete table goes first when it would leave less than the name's first 12 characters (the item's colour
// still marks it). `fits` tells whether a text fits the room; when even "…" and the count do not, that is the text.
std::u16string FittedTableItemText(std::u16string_view table_name, std::uint64_t row_count, bool incomplete,
                                   const std::function<bool(std::u16string_view)>& fits);
// A cell's text as one row of the list draws it: each line break (CR LF, CR or LF) becomes "↵", so a value of
// several lines reads on one line instead of as clipped halves of two. UTF-8 in and out.
std::string CellOnOneLine(std::string_view cell);
// The caption over the table-mode tree's tables: SharePoint's name only for a database that holds SharePoint's
// sites and documents (its Webs table and its AllDocs or Docs table), "Tables" for any other.
std::u16string TablesCaption(const std::vector<std::u16string>& table_names);
// What the result page says when the scan met damaged or missing pages: how many, and the tables they may have
// left incomplete (one a line), or a table found incomplete without a damaged page. Empty when there is
// neither.
std::u16string DamageWarningText(std::uint64_t damage_count, const std::vector<std::u16string>& incomplete_tables);
// The table name of an item text: everything before its last "(" (empty when it has none), so "dbo.T(1)(5)"
// gives "dbo.T(1)".
std::u16string TableNameOfItem(std::u16string_view item_text);
// Widths of the row list's columns for a table of n columns: 70 pixels each, the last one taking the rest of
// 619 pixels while that leaves it at least 70.
std::vector<int> RowListColumnWidths(int column_count);
// How a header click sorts each column of the row list: the integer types as numbers; money, decimal, numeric,
// real and float by their decimal value; the date and time types by the moment their grid text names; every
// other column by its text.
std::vector<int> RowListSortTypes(const mdf::TableNode& table);

// The extension table: entry i names the extension whose icon is image i of the document images.
std::vector<std::u16string> BuildExtensionTable();
// The image of a file name: by its extension (after the last "."), mapped through the synonyms, found in the
// table without regard to case; kOtherDocumentIcon for anything else.
constexpr int kOtherDocumentIcon = 26;
int DocumentIconIndex(std::u16string_view file_name, const std::vector<std::u16string>& extension_table);

// The walk from a clicked tree path (leaf first, the document caption last) through the site, its sub-webs, a
// list and its folders. `visit` is called where the path ends: at a list (entry null, its items given) or at an
// entry the path names last (with its children); it returns true to stop the walk there.
using DocumentEntries = std::vector<std::unique_ptr<mdf::sharepointDocsList>>;
using DocumentPathVisitor = std::function<bool(const mdf::sharepointDocsList* entry, const DocumentEntries& entries)>;
void WalkDocumentPath(const std::vector<std::unique_ptr<mdf::WebList>>& webs, const std::vector<std::u16string>& path,
                      const DocumentPathVisitor& visit);

// One row of the document list: file name, created, modified, size in kilobytes.
using DocumentRow = std::vector<std::u16string>;
// The size column's text: a byte count in whole kilobytes, rounded up (a non-empty file never shows 0); a
// text that is not a byte count is shown as it is.
std::u16string KilobyteText(std::u16string_view bytes);
// The documents of the clicked node in the order they are handed to the list (which inserts each at the
// top, so it shows them reversed). `selected_path` is leaf first, the document caption last.
std::vector<DocumentRow> FillDocumentList(const std::vector<std::unique_ptr<mdf::WebList>>& webs,
                                          const std::vector<std::u16string>& selected_path);

// A click on an item's check box: unchecked becomes checked, checked or partly checked becomes unchecked;
// the ancestors follow and every descendant takes the new state.
void ToggleCheck(sharepoint::CheckItem& item);

}  // namespace app
