// A small 2005-and-later data file written from code: schema, object, column, rowset and allocation-unit rows,
// IAM pages and data pages, each on pages of their own. Tests of the catalogue readers build what they need.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "mdf/recovery_engine.h"
#include "tests/support/page_builder.h"

namespace catalog2005 {

using Bytes = std::vector<std::uint8_t>;

// Rows as the system tables store them (only the fields the readers use are filled).
Bytes SchemaRow(std::uint16_t id, std::u16string_view name, std::uint8_t status = 0x30);
Bytes ObjectRow(std::int32_t object_id, std::uint16_t schema_id, const char* type, std::u16string_view name,
                std::uint8_t status = 0x30);
struct ColumnDef {
    ColumnDef() = default;
    ColumnDef(std::int32_t table_id, std::uint16_t id, std::uint8_t type_code, std::uint16_t declared_length,
               std::uint16_t in_row_length, std::u16string column_name, std::uint8_t prec = 0, std::uint8_t sc = 0)
        : table(table_id), column_id(id), type(type_code), length(declared_length), max_in_row(in_row_length),
          name(std::move(column_name)), precision(prec), scale(sc) {}
    std::int32_t table = 0;
    std::uint16_t column_id = 0;
    std::uint8_t type = 56;
    std::uint16_t length = 4;
    std::uint16_t max_in_row = 4;
    std::u16string name;
    std::uint8_t precision = 0;
    std::uint8_t scale = 0;
    std::uint32_t status = 0;
    std::uint32_t default_id = 0;
    std::uint32_t rule_id = 0;
    std::uint16_t number = 0;
    Bytes identity_block;  // non-empty: a second variable column
};
Bytes ColumnRow(const ColumnDef& column);
Bytes RowsetRow(std::int32_t object_id, std::uint32_t key32, std::uint16_t key16, std::uint16_t index_id = 1);
Bytes AllocUnitRow(std::uint32_t unit_object_id, std::uint32_t key32, std::uint16_t key16, std::uint32_t first_page,
                   std::uint8_t type = 1);
// A data record with the given status byte (the rest is filler).
Bytes DataRecord(std::uint8_t status = 0x30);

// An IAM page: header record (slot 0) with the interval start page and single-page slots (page, file), then an
// extent bitmap record (slot 1) when bitmap is not empty.
struct SinglePage {
    std::uint32_t page;
    std::uint16_t file = 1;
};
testsupport::PageBuilder IamPage(std::uint32_t unit_object_id, std::uint32_t start_page,
                                 const std::vector<SinglePage>& singles, const Bytes& bitmap = {},
                                 std::uint16_t start_file = 1);
// A data page of the unit holding the given records.
testsupport::PageBuilder DataPage(std::uint32_t object_id, const std::vector<Bytes>& records);
// A page of system-table rows (object id and index id 1 in the header).
testsupport::PageBuilder SystemPage(std::uint32_t object_id, const std::vector<Bytes>& rows);

// A whole file: the system pages at 16.., anything else where the test puts it.
class Database {
public:
    Database();
    void Schema(std::uint16_t id, std::u16string_view name) { schemas_.push_back(SchemaRow(id, name)); }
    void Object(std::int32_t id, std::uint16_t schema, const char* type, std::u16string_view name) {
        objects_.push_back(ObjectRow(id, schema, type, name));
    }
    void Column(const ColumnDef& column) { columns_.push_back(ColumnRow(column)); }
    void Rowset(std::int32_t object_id, std::uint32_t key32, std::uint16_t key16) {
        rowsets_.push_back(RowsetRow(object_id, key32, key16));
    }
    void AllocUnit(std::uint32_t unit, std::uint32_t key32, std::uint16_t key16, std::uint32_t first_page) {
        units_.push_back(AllocUnitRow(unit, key32, key16, first_page));
    }
    // A user table with one int column and an in-row unit: its first page lists `first_records`.
    void SimpleTable(std::int32_t id, std::u16string_view name, std::uint32_t unit, std::uint32_t first_page,
                     const std::vector<Bytes>& first_records);
    testsupport::FileBuilder& File() { return file_; }
    std::vector<Bytes>& Objects() { return objects_; }
    // Writes the file (versions current/created on the boot page) and returns its path.
    std::string Write(const testsupport::TempDir& dir, std::uint16_t current = 655, std::uint16_t created = 655,
                      const std::string& name = "db.mdf");

private:
    testsupport::FileBuilder file_;
    std::vector<Bytes> schemas_, objects_, columns_, rowsets_, units_;
};

// An engine over the file with the flags of a 2008 file (2005 catalogue, 2008 catalogue) and a recording sink.
struct Engine {
    explicit Engine(const std::string& path, bool sql2008 = true);
    platform::SharedState app;
    platform::RecordingSink sink;
    platform::SilentPrompts prompts;
    mdf::CRecoveryEngine engine{app, &sink, &prompts};
    const mdf::TableNode* Table(std::u16string_view name) const;
};

}  // namespace catalog2005
