// catalog_dump's row listing (--rows): every live row of every table as the table view shows it; also used by
// the corpus tests.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "mdf/recovery_engine.h"

namespace catalog_dump {

// A cell with backslash, tab, CR and LF written as \\, \t, \r, \n.
std::string EscapeCell(const std::u16string& cell);

// Decodes every live record of every data page of the table in grid mode (each page once) and gives each
// row's cells to visit, in page and slot order.
void ForEachTableRow(mdf::CRecoveryEngine& engine, mdf::TableNode& table,
                     const std::function<void(const std::vector<std::u16string>& cells)>& visit);

// Decodes every live record of every data page of the table in grid mode (each page once) and returns the
// rows' cells, one vector per row, in page and slot order.
std::vector<std::vector<std::u16string>> TableRows(mdf::CRecoveryEngine& engine, mdf::TableNode& table);

// "row\tTABLE\tCELL\tCELL..." per live row of every table, tables in catalogue order.
std::vector<std::string> RowLines(mdf::CRecoveryEngine& engine);

// The catalogue listing, then the row lines.
int RunRows(mdf::CRecoveryEngine& engine, const std::vector<std::string>& args, std::ostream& out);

}  // namespace catalog_dump
