// Writes a complete small data file in the 2000 format: boot page, object, column, index and definition rows
// of the system tables, and for each user table its allocation map (IAM page) and data pages, every page with
// torn-page bits. Tests read it end to end; make_fixture writes it to disk. Also the single catalogue rows, so
// case tests can place one row on a page of their own.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/page_builder.h"

namespace testsupport::sql2000 {

// System type codes used by the builder.
enum TypeCode : std::uint8_t {
    kTinyInt = 48, kSmallInt = 52, kInt = 56, kSmallDateTime = 58, kReal = 59, kMoney = 60, kDateTime = 61,
    kFloat = 62, kBit = 104, kDecimal = 106, kNumeric = 108, kSmallMoney = 122, kBigInt = 127,
    kUniqueIdentifier = 36, kVarBinary = 165, kVarChar = 167, kBinary = 173, kChar = 175, kNVarChar = 231,
    kNChar = 239,
};

bool IsVariableLength(std::uint8_t type);
// The type as the catalogue listing writes it: base name, character and binary types with their length in
// characters ("nvarchar(40)").
std::string TypeName(std::uint8_t type, std::uint16_t length);

struct ColumnDef {
    std::u16string name;
    std::uint8_t type = kInt;
    std::uint16_t length = 4;  // storage length in bytes (nvarchar(40): 80)
    std::uint8_t precision = 0;
    std::uint8_t scale = 0;
    bool not_null = false;
    bool identity = false;
    bool identity_not_for_replication = false;
    std::int64_t identity_seed = 1;
    std::int64_t identity_increment = 1;
    std::int32_t default_id = 0;  // stand-alone default bound to the column
    std::int32_t rule_id = 0;     // rule bound to the column
};

// A value's stored bytes, or NULL.
using Value = std::optional<std::vector<std::uint8_t>>;
Value Null();
Value Int(std::int64_t v, int bytes);  // little-endian, `bytes` wide (tinyint 1, smallint 2, int 4, bigint 8)
Value Bit(bool v);
Value Ansi(std::string_view text);
Value Unicode(std::u16string_view text);
Value Money(std::int64_t ten_thousandths);  // a little-endian 64-bit count, as money is stored
Value DateTime(std::int32_t days_since_1900, std::uint32_t ticks);  // ticks of 1/300 s, then the day count
Value SmallDateTime(std::uint16_t days_since_1900, std::uint16_t minutes);
Value Decimal(bool positive, std::uint64_t mantissa, int storage_length);
Value Float(double v);

// A row of sysindexes beside the table's heap or clustered-index row: its id, status and key columns.
struct IndexDef {
    std::u16string name;
    std::uint16_t index_id = 1;
    std::uint32_t status = 0;
    std::vector<std::uint16_t> key_columns;  // column ids in key order; 0 for the row locator
};

struct TableDef {
    std::u16string name;
    std::int32_t object_id = 0;
    std::uint16_t owner_id = 1;
    std::vector<ColumnDef> columns;
    std::vector<std::vector<Value>> rows;  // live rows, one value per column
    int ghost_rows = 0;                    // deleted copies of the first row, left as ghosts on the first page
    int rows_per_page = 0;                 // 0: as many as fit
    std::vector<IndexDef> indexes;        // without one of index id 1, the table is a heap (index id 0)
};

// Any other object row: procedures, views, defaults, rules, constraints, triggers, system tables ...
struct ObjectDef {
    std::u16string name;
    std::int32_t object_id = 0;
    std::string type = "P ";  // two characters
    std::int32_t parent_id = 0;
    std::uint16_t value_at_14 = 0;  // kept by a default
    std::uint16_t value_at_16 = 0;  // high half of the status; its high byte is the constraint status byte
    std::uint8_t byte_19 = 0;       // 0x80 and more: a system view
    bool ghost = false;
    std::u16string definition;  // definition text (syscomments), when not empty
};

// Row builders, shared with the case tests.
struct ObjectRowOptions {
    std::uint8_t column_count = 25;  // the object rows of the server carry 25 columns
};
std::vector<std::uint8_t> ObjectRow(const ObjectDef& object, std::uint16_t owner_id = 1,
                                    const ObjectRowOptions& options = {});

struct ColumnRowOptions {
    std::uint8_t fixed_end = 46;     // 46, or 38 in the older form
    std::uint8_t column_count = 32;  // the column rows of the server carry 32 columns
};
// column_id is 1-based; leaf_offset and bit_position as the table layout places the column.
std::vector<std::uint8_t> ColumnRow(std::int32_t table_id, const ColumnDef& column, std::uint16_t column_id,
                                    std::int16_t leaf_offset, std::uint8_t bit_position,
                                    const ColumnRowOptions& options = {});

// Where each column of a table lies in its data rows: fixed columns from offset 4 in column order (bit columns
// share a byte, eight to a byte), variable columns numbered -1, -2, ... in column order.
struct ColumnPlace {
    std::int16_t leaf_offset = 0;
    std::uint8_t bit_position = 0;
};
std::vector<ColumnPlace> PlaceColumns(const std::vector<ColumnDef>& columns, std::uint16_t* fixed_end = nullptr);
// A data record of the table: status, fixed part, column count, null bitmap, variable part.
std::vector<std::uint8_t> DataRecord(const TableDef& table, const std::vector<Value>& row);

// Page numbers of what the database holds, for damage tests.
struct Layout {
    std::vector<std::uint64_t> object_pages, column_pages, index_pages, comment_pages;
    std::map<std::int32_t, std::uint64_t> iam_page;                   // by table object id
    std::map<std::int32_t, std::vector<std::uint64_t>> data_pages;    // by table object id
    std::uint64_t page_count = 0;
    // Records placed so that a field crosses the end of a sector (restoration changes what is read there).
    std::uint64_t torn_object_id_at = 0;      // file offset of the object id of the first user table
    std::uint64_t torn_column_length_at = 0;  // file offset of a column row's length field
};

class Database {
public:
    Database& AddTable(TableDef table);
    Database& AddObject(ObjectDef object);
    // Object rows per system page (the object rows then spread over several pages).
    Database& ObjectRowsPerPage(int n) { object_rows_per_page_ = n; return *this; }
    Database& ColumnRowsPerPage(int n) { column_rows_per_page_ = n; return *this; }

    FileBuilder Build(Layout* layout = nullptr) const;
    // What the catalogue listing of the file shows: "version\t539\t539", then one line per user table that the
    // catalogue keeps: "table\tNAME\tLIVE_ROWS\tCOL TYPE, ...".
    std::string Listing() const;

    const std::vector<TableDef>& Tables() const { return tables_; }
    const std::vector<ObjectDef>& Objects() const { return objects_; }

private:
    std::vector<TableDef> tables_;
    std::vector<ObjectDef> objects_;
    // Object row order: tables and other objects as added (true: index into tables_).
    std::vector<std::pair<bool, std::size_t>> order_;
    int object_rows_per_page_ = 12;
    int column_rows_per_page_ = 24;
};

// The sample database: tables of several column types (identity, bound default and rule, bit groups, char,
// nvarchar, decimal, money, datetime ...), a clustered primary key and a non-clustered index, two tables of one
// name under different owners, a table with pages in a uniform extent, an empty table, dtproperties, and one
// object row of every kind with definition texts.
Database SampleDatabase();

// The smallest database the whole repair road takes: the system tables, one table (People: Id int not null,
// Name nvarchar(20); six rows) and one view over it (vw_People) with its definition. Tests damage one part.
Database ViewAndTableDatabase();

}  // namespace testsupport::sql2000
