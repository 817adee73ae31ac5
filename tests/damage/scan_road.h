// The roads a damaged file takes through the readers, without a window: the Complete Repair scan (catalogue,
// column positions), the key and definition readers of a repair, every table view, and the Document Recovery
// scan (SharePoint catalogue, record pass with the capture, stream join, document tree). Shared by the damage
// sweep and the catalogue fuzz target.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "mdf/recovery_engine.h"

namespace damage {

// Opens the data file, clears the version state as the scan job does and reads the catalogue for the version
// (Document Recovery when document_mode), then the column positions. False when the file or the catalogue
// could not be read.
bool RunScan(mdf::CRecoveryEngine& engine, bool document_mode);

// The readers a repair runs before its scripts: keys and indexes, index-column rows, and the definition text
// of every stored object.
void RunKeyReaders(mdf::CRecoveryEngine& engine);

// One table's view: grid texts of every live record, by data page (each page once, in list order), at most
// max_pages pages.
using PageRows = std::map<std::uint64_t, std::vector<std::vector<std::u16string>>>;
PageRows RunTableView(mdf::CRecoveryEngine& engine, mdf::TableNode& table, std::size_t max_pages = SIZE_MAX);

// Document Recovery after its catalogue: the record pass with the SharePoint capture over every table, the
// stream join and the document tree.
void RunDocumentPass(mdf::CRecoveryEngine& engine, std::size_t max_pages = SIZE_MAX);

// The save of every item of the document tree into output_folder (the document contents read from the file).
void SaveEveryDocument(mdf::CRecoveryEngine& engine, const std::u16string& output_folder);

// The column list of a table as one text (names, types, lengths, positions, flags): two tables with the same
// signature decode a record the same way.
std::string ColumnSignature(const mdf::TableNode& table);

}  // namespace damage
