// Rows and pages of a small 2005-and-later data file, written from code.
#include "tests/mdf/catalog_2005_fixture.h"

#include <stdexcept>

#include "platform/text.h"
#include "tests/mdf/record_bytes.h"

namespace catalog2005 {

using testsupport::PageBuilder;

namespace {

using recordbytes::Append;
using recordbytes::Put16;
using recordbytes::Put32;

constexpr std::uint64_t kFirstSystemPage = 16;

}  // namespace

Bytes SchemaRow(std::uint16_t id, std::u16string_view name, std::uint8_t status) {
    Bytes b(42, 0);
    b[0] = status;
    Put16(b, 5, id);
    Put16(b, 40, static_cast<std::uint16_t>(42 + 2 * name.size()));
    Append(b, testsupport::Utf16Le(name));
    return b;
}

Bytes ObjectRow(std::int32_t object_id, std::uint16_t schema_id, const char* type, std::u16string_view name,
                std::uint8_t status) {
    Bytes b(52, 0);
    b[0] = status;
    b[2] = 0x2C;
    Put32(b, 4, static_cast<std::uint32_t>(object_id));
    Put16(b, 8, schema_id);
    b[17] = static_cast<std::uint8_t>(type[0]);
    b[18] = static_cast<std::uint8_t>(type[1]);
    b[44] = 13;  // column count
    Put16(b, 48, 1);
    Put16(b, 50, static_cast<std::uint16_t>(52 + 2 * name.size()));
    Append(b, testsupport::Utf16Le(name));
    return b;
}

Bytes ColumnRow(const ColumnDef& s) {
    const bool identity = !s.identity_block.empty();
    const std::size_t name_start = identity ? 55 : 53;
    Bytes b(name_start, 0);
    b[0] = 0x30;
    b[2] = 0x2D;
    Put32(b, 4, static_cast<std::uint32_t>(s.table));
    Put16(b, 8, s.number);
    Put32(b, 10, s.column_id);
    b[14] = s.type;
    Put32(b, 15, s.type);
    Put16(b, 19, s.length);
    b[21] = s.precision;
    b[22] = s.scale;
    Put32(b, 27, s.status);
    Put16(b, 31, s.max_in_row);
    Put32(b, 37, s.default_id);
    Put32(b, 41, s.rule_id);
    b[49] = identity ? 2 : 1;
    const auto name_end = static_cast<std::uint16_t>(name_start + 2 * s.name.size());
    Put16(b, 51, name_end);
    if (identity) Put16(b, 53, static_cast<std::uint16_t>(name_end + s.identity_block.size()));
    Append(b, testsupport::Utf16Le(s.name));
    Append(b, s.identity_block);
    return b;
}

Bytes RowsetRow(std::int32_t object_id, std::uint32_t key32, std::uint16_t key16, std::uint16_t index_id) {
    Bytes b(40, 0);
    b[0] = 0x30;
    b[2] = 39;
    Put32(b, 6, key32);
    Put16(b, 10, key16);
    Put32(b, 13, static_cast<std::uint32_t>(object_id));
    Put16(b, 17, index_id);
    return b;
}

Bytes AllocUnitRow(std::uint32_t unit_object_id, std::uint32_t key32, std::uint16_t key16, std::uint32_t first_page,
                   std::uint8_t type) {
    Bytes b(48, 0);
    b[0] = 0x30;
    b[2] = 44;
    Put32(b, 6, unit_object_id);
    b[12] = type;
    Put32(b, 15, key32);
    Put16(b, 19, key16);
    Put32(b, 27, first_page);
    return b;
}

Bytes DataRecord(std::uint8_t status) {
    Bytes b(16, 0xAB);
    b[0] = status;
    b[1] = 0;
    Put16(b, 2, 8);
    return b;
}

PageBuilder IamPage(std::uint32_t unit_object_id, std::uint32_t start_page, const std::vector<SinglePage>& singles,
                    const Bytes& bitmap, std::uint16_t start_file) {
    PageBuilder page;
    page.Type(testsupport::kIamPage).ObjectId(unit_object_id);
    Bytes header(94, 0);
    header[0] = 0x70;
    Put16(header, 2, 94);
    Put32(header, 40, start_page);
    Put16(header, 44, start_file);
    for (std::size_t s = 0; s < singles.size() && s < 8; ++s) {
        Put32(header, 46 + 6 * s, singles[s].page);
        Put16(header, 50 + 6 * s, singles[s].file);
    }
    page.AddRecord(header);
    if (!bitmap.empty()) {
        Bytes record(7992, 0);
        record[0] = 0x70;
        Put16(record, 2, 4);
        std::copy(bitmap.begin(), bitmap.end(), record.begin() + 4);
        page.AddRecord(record);
    }
    return page;
}

PageBuilder DataPage(std::uint32_t object_id, const std::vector<Bytes>& records) {
    PageBuilder page;
    page.Type(testsupport::kDataPage).ObjectId(object_id);
    for (const auto& r : records) page.AddRecord(r);
    return page;
}

PageBuilder SystemPage(std::uint32_t object_id, const std::vector<Bytes>& rows) {
    PageBuilder page;
    page.Type(testsupport::kDataPage).ObjectId(object_id).IndexId(1);
    for (const auto& r : rows) page.AddRecord(r);
    return page;
}

Database::Database() { Schema(1, u"dbo"); }

void Database::SimpleTable(std::int32_t id, std::u16string_view name, std::uint32_t unit, std::uint32_t first_page,
                           const std::vector<Bytes>& first_records) {
    Object(id, 1, "U ", name);
    ColumnDef column;
    column.table = id;
    column.column_id = 1;
    column.name = u"id";
    Column(column);
    const auto key32 = static_cast<std::uint32_t>(id) * 16 + 1;
    Rowset(id, key32, 1);
    AllocUnit(unit, key32, 1, first_page);
    file_.SetPage(first_page, DataPage(unit, first_records));
}

std::string Database::Write(const testsupport::TempDir& dir, std::uint16_t current, std::uint16_t created,
                            const std::string& name) {
    // Each rowset row keeps the row count of its rowset (at 31), as the server keeps it: the live records on
    // the data pages of its in-row allocation units.
    auto u16 = [](const std::uint8_t* b) { return static_cast<std::uint16_t>(b[0] | (b[1] << 8)); };
    auto u32 = [&](const std::uint8_t* b) { return u16(b) | (static_cast<std::uint32_t>(u16(b + 2)) << 16); };
    std::vector<Bytes> rowsets = rowsets_;
    for (auto& rowset : rowsets) {
        if (rowset.size() < 39 || (rowset[2] != 39 && rowset[2] != 57)) continue;
        std::uint64_t rows = 0;
        for (const auto& unit : units_) {
            if (unit.size() < 21 || unit[12] != 1 || u32(&unit[15]) != u32(&rowset[6]) || u16(&unit[19]) != u16(&rowset[10])) {
                continue;
            }
            for (const auto& [number, page] : file_.Pages()) {
                if (u16(page.data()) != testsupport::kDataPage || u32(&page[24]) != u32(&unit[6])) continue;
                for (std::uint16_t slot = 0; slot < u16(&page[22]) && slot < 4000; ++slot) {
                    const std::uint16_t at = u16(&page[testsupport::kPageSize - 2 - 2 * slot]);
                    if (at < 96 || at >= testsupport::kPageSize) continue;
                    const std::uint8_t status = page[at];
                    if (status == 0x10 || status == 0x30 || status == 0x32 || status == 0x50 || status == 0x70 ||
                        status == 0x72) {
                        ++rows;
                    }
                }
            }
        }
        Put32(rowset, 31, static_cast<std::uint32_t>(rows));
        Put32(rowset, 35, static_cast<std::uint32_t>(rows >> 32));
    }
    std::uint64_t next = kFirstSystemPage;
    auto put = [&](std::uint32_t object_id, const std::vector<Bytes>& rows) {
        std::vector<Bytes> on_page;
        for (const auto& row : rows) {
            on_page.push_back(row);
            try {
                SystemPage(object_id, on_page);
            } catch (const std::out_of_range&) {
                on_page.pop_back();
                file_.SetPage(next++, SystemPage(object_id, on_page));
                on_page = {row};
            }
        }
        if (!on_page.empty()) file_.SetPage(next++, SystemPage(object_id, on_page));
    };
    put(64, schemas_);
    // Files of 2012 and later versions hold four more bytes in the fixed part of an object row.
    const bool wide_objects = current == 700 || current == 705 || current == 706;
    std::vector<Bytes> objects = objects_;
    if (wide_objects) {
        for (auto& row : objects) {
            if (row.size() < 52 || row[2] != 0x2C) continue;
            row[2] = 0x30;
            row.insert(row.begin() + 44, 4, 0);
            const int end = (row[54] | (row[55] << 8)) + 4;
            row[54] = static_cast<std::uint8_t>(end);
            row[55] = static_cast<std::uint8_t>(end >> 8);
        }
    }
    put(34, objects);
    put(41, columns_);
    put(5, rowsets);
    put(7, units_);
    file_.BootVersion(current, created);
    const auto path = dir / name;
    file_.WriteTo(path);
    return path.string();
}

Engine::Engine(const std::string& path, bool sql2008) {
    app.m_strDataFilePath = platform::FromUtf8(path);
    app.m_bSql2005Catalog = true;
    app.m_bSql2008Catalog = sql2008;
    if (!engine.OpenDataFile()) throw std::runtime_error("cannot open " + path);
}

const mdf::TableNode* Engine::Table(std::u16string_view name) const {
    for (const auto& t : engine.m_lstTables) {
        if (t.m_pszName == name) return &t;
    }
    return nullptr;
}

}  // namespace catalog2005
