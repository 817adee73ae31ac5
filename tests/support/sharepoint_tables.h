// The four tables of the SharePoint content database builder (AllDocs, AllDocStreams, AllLists and Webs):
// their columns, and the encoding of one row as a record in the fixed/variable row format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/sharepoint_builder.h"

namespace testsupport::sharepoint::tables {

using Bytes = std::vector<std::uint8_t>;
using Value = std::optional<Bytes>;

enum Type : std::uint8_t {
    kImage = 34, kGuid = 36, kTinyInt = 48, kInt = 56, kDateTime = 61, kBit = 104, kVarBinary = 165,
    kNVarChar = 231,
};

struct Column {
    std::u16string name;
    std::uint8_t type;
    std::uint16_t max_length;  // bytes; 0xFFFF for (max), 16 for an image text pointer
    bool not_null;
};

struct TableDef {
    std::u16string name;
    std::vector<Column> columns;
};

// Little-endian stores that grow the record as needed, and appending bytes.
void Put16(Bytes& b, std::size_t at, std::uint16_t v);
void Put32(Bytes& b, std::size_t at, std::uint32_t v);
void Append(Bytes& b, const Bytes& more);

// A variable value and whether its entry is marked as a root or pointer to values outside the row.
struct Cell {
    Value value;
    bool outside_row = false;
};
using Row = std::map<std::u16string, Cell>;

// The record of one row; the cells are found by column name, a missing one is NULL (an error for a NOT NULL
// column), and a record longer than a page holds is an error.
Bytes EncodeRecord(const TableDef& table, const Row& row);

TableDef AllDocsTable();
TableDef AllDocStreamsTable(Generation generation);
TableDef AllListsTable();
TableDef WebsTable();

}  // namespace testsupport::sharepoint::tables
