// The 2000-format database builder: catalogue rows, data records, and the pages that hold them.
#include "tests/support/sql2000_builder.h"

#include <algorithm>
#include <map>
#include <cstring>
#include <sstream>
#include <stdexcept>

#include "platform/text.h"

// The sample database is written with designated initializers that name only the fields a row sets.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace testsupport::sql2000 {

namespace {

constexpr std::uint16_t kBootPageType = 0x0D01;
constexpr std::uint8_t kTornPattern = 2;
constexpr std::uint32_t kCharacterCollation = 0x3400D008;
constexpr std::uint16_t kFirstFreePage = 16;

void Put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) {
    b.at(at) = static_cast<std::uint8_t>(v);
    b.at(at + 1) = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.at(at + i) = static_cast<std::uint8_t>(v >> (8 * i));
}
void Append(std::vector<std::uint8_t>& b, const std::vector<std::uint8_t>& more) { b.insert(b.end(), more.begin(), more.end()); }

std::size_t NullBitmapBytes(std::size_t columns) { return columns == 0 ? 1 : (columns + 7) / 8; }

bool IsCharacterType(std::uint8_t type) {
    return type == kChar || type == kVarChar || type == kNChar || type == kNVarChar;
}

// The identity block of a column row: the current value, the increment and the seed, each as long as a value
// of the column; decimal values as sign byte and mantissa behind their storage lengths at 20 and 40.
std::vector<std::uint8_t> IdentityBlock(const ColumnDef& column, bool short_form) {
    std::vector<std::uint8_t> block;
    if (column.type == kDecimal || column.type == kNumeric) {
        const int length = short_form ? 17 : column.length;
        auto value = [&](std::int64_t v) {
            return *Decimal(v >= 0, static_cast<std::uint64_t>(v >= 0 ? v : -v), length);
        };
        block.assign(43, 0);
        block[20] = static_cast<std::uint8_t>(length);
        const auto increment = value(column.identity_increment);
        std::copy(increment.begin(), increment.end(), block.begin() + 23);
        block[40] = static_cast<std::uint8_t>(length);
        Append(block, value(column.identity_seed));
        return block;
    }
    Append(block, *Int(column.identity_seed, column.length));
    Append(block, *Int(column.identity_increment, column.length));
    Append(block, *Int(column.identity_seed, column.length));
    return block;
}

// One page being filled with records.
class PageFill {
public:
    PageFill(std::uint64_t page_number, std::uint16_t type, std::int32_t object_id, std::uint16_t min_length)
        : page_number_(page_number), type_(type), object_id_(object_id), min_length_(min_length) {}

    bool Fits(std::size_t size, std::uint16_t at) const { return at + size <= kPageSize - 2u * (slots_ + 1u); }
    bool Fits(std::size_t size) const { return Fits(size, free_); }
    // Places the record at `at` (or at the free offset) and gives it the next slot; returns its page offset.
    std::uint16_t Add(const std::vector<std::uint8_t>& record, std::optional<std::uint16_t> at = std::nullopt) {
        const std::uint16_t offset = at && *at >= free_ ? *at : free_;
        if (!Fits(record.size(), offset)) throw std::out_of_range("record does not fit in its page");
        page_.Bytes(offset, record);
        page_.Slot(slots_, offset);
        ++slots_;
        free_ = static_cast<std::uint16_t>(offset + record.size());
        return offset;
    }
    std::uint16_t Slots() const { return slots_; }
    std::uint16_t FreeOffset() const { return free_; }
    // Writes bytes into the page at a page offset (a field of a record placed before).
    void Put(std::uint16_t offset, const std::vector<std::uint8_t>& bytes) { page_.Bytes(offset, bytes); }

    // Header fields as the server writes them, then the torn bits: sector ends carry the write pattern and
    // their own low bits move to the header; the header keeps the pattern in the bits of sector 0.
    PageBytes Finish() {
        page_.Type(type_).U8(4, 0x02).U8(5, 0x01).IndexId(0).U16(14, min_length_).SlotCount(slots_).ObjectId(
            static_cast<std::uint32_t>(object_id_));
        page_.U16(28, static_cast<std::uint16_t>(kPageSize - free_ - 2u * slots_)).U16(30, free_);
        page_.U32(32, static_cast<std::uint32_t>(page_number_)).U16(36, 1);
        page_.Tear(kTornPattern);
        page_.U8(60, static_cast<std::uint8_t>(page_.Build()[60] | kTornPattern));
        return page_.Build();
    }

private:
    PageBuilder page_;
    std::uint64_t page_number_;
    std::uint16_t type_;
    std::int32_t object_id_;
    std::uint16_t min_length_;
    std::uint16_t free_ = 96;
    std::uint16_t slots_ = 0;
};

// A system-table row of sysindexes: fixed part of 82 bytes (object id 4, status 8, index id 18, key count 28),
// 26 columns, then the keys (32 bytes a key: column id at 16, flags at 30), the name and the statistics blob as
// variable columns.
std::vector<std::uint8_t> IndexRow(std::int32_t object_id, const IndexDef& index) {
    std::vector<std::uint8_t> r(82, 0);
    r[0] = 0x30;
    Put16(r, 2, 82);
    Put32(r, 4, static_cast<std::uint32_t>(object_id));
    Put32(r, 8, index.status);
    Put16(r, 18, index.index_id);
    Put16(r, 28, static_cast<std::uint16_t>(index.key_columns.size()));
    std::vector<std::uint8_t> tail(2 + 4 + 2 + 6, 0);
    Put16(tail, 0, 26);
    Put16(tail, 6, 3);
    std::vector<std::uint8_t> keys(32 * index.key_columns.size(), 0);
    for (std::size_t k = 0; k < index.key_columns.size(); ++k) Put16(keys, 32 * k + 16, index.key_columns[k]);
    const auto name = Utf16Le(index.name);
    const std::uint16_t keys_end = static_cast<std::uint16_t>(96 + keys.size());
    const std::uint16_t name_end = static_cast<std::uint16_t>(keys_end + name.size());
    Put16(tail, 8, keys_end);
    Put16(tail, 10, name_end);
    Put16(tail, 12, name_end);
    Append(r, tail);
    Append(r, keys);
    Append(r, name);
    return r;
}

// A definition row of syscomments: fixed part of 14 bytes (object id, number, colid, status), five columns,
// one variable column holding the text (UTF-16). The status is 2: the texts of views, procedures and triggers
// are read only from rows of that status.
std::vector<std::uint8_t> CommentRow(std::int32_t object_id, std::u16string_view text) {
    std::vector<std::uint8_t> r(14, 0);
    r[0] = 0x30;
    Put16(r, 2, 14);
    Put32(r, 4, static_cast<std::uint32_t>(object_id));
    Put16(r, 10, 1);
    Put16(r, 12, 2);
    std::vector<std::uint8_t> tail(2 + 1 + 2 + 2, 0);
    Put16(tail, 0, 5);
    Put16(tail, 3, 1);
    const auto bytes = Utf16Le(text);
    Put16(tail, 5, static_cast<std::uint16_t>(14 + tail.size() + bytes.size()));
    Append(r, tail);
    Append(r, bytes);
    return r;
}

// Fills records into pages of one system table, a new page whenever one is full or holds rows_per_page rows.
class SystemTable {
public:
    SystemTable(std::int32_t object_id, std::uint16_t min_length, int rows_per_page)
        : object_id_(object_id), min_length_(min_length), rows_per_page_(rows_per_page) {}
    // Returns the file offset of the record.
    std::uint64_t Add(const std::vector<std::uint8_t>& record, std::uint64_t& next_page,
                      std::optional<std::uint16_t> at = std::nullopt) {
        const std::uint16_t want = at && pages_.size() && *at >= pages_.back().second.FreeOffset() ? *at : 0;
        if (pages_.empty() || pages_.back().second.Slots() >= rows_per_page_ ||
            !pages_.back().second.Fits(record.size(), want ? want : pages_.back().second.FreeOffset())) {
            pages_.emplace_back(next_page, PageFill(next_page, kDataPage, object_id_, min_length_));
            ++next_page;
        }
        auto& [number, fill] = pages_.back();
        const std::uint16_t offset = fill.Add(record, at);
        return number * kPageSize + offset;
    }
    // Writes bytes into a record placed before (its file offset as Add returned it), before Finish.
    void Patch(std::uint64_t record, std::size_t at, const std::vector<std::uint8_t>& bytes) {
        for (auto& [number, fill] : pages_) {
            if (number == record / kPageSize) fill.Put(static_cast<std::uint16_t>(record % kPageSize + at), bytes);
        }
    }
    void Finish(FileBuilder& file, std::vector<std::uint64_t>& numbers) {
        for (auto& [number, fill] : pages_) {
            file.SetPage(number, fill.Finish());
            numbers.push_back(number);
        }
    }

private:
    std::int32_t object_id_;
    std::uint16_t min_length_;
    int rows_per_page_;
    std::vector<std::pair<std::uint64_t, PageFill>> pages_;
};

}  // namespace

bool IsVariableLength(std::uint8_t type) {
    return type == kVarBinary || type == kVarChar || type == kNVarChar || type == 34 || type == 35 || type == 98 ||
           type == 99 || type == 240 || type == 241;
}

std::string TypeName(std::uint8_t type, std::uint16_t length) {
    switch (type) {
        case kUniqueIdentifier: return "uniqueidentifier";
        case kTinyInt: return "tinyint";
        case kSmallInt: return "smallint";
        case kInt: return "int";
        case kSmallDateTime: return "smalldatetime";
        case kReal: return "real";
        case kMoney: return "money";
        case kDateTime: return "datetime";
        case kFloat: return "float";
        case kBit: return "bit";
        case kDecimal: return "decimal";
        case kNumeric: return "numeric";
        case kSmallMoney: return "smallmoney";
        case kBigInt: return "bigint";
        case kVarBinary: return "varbinary(" + std::to_string(length) + ")";
        case kVarChar: return "varchar(" + std::to_string(length) + ")";
        case kBinary: return "binary(" + std::to_string(length) + ")";
        case kChar: return "char(" + std::to_string(length) + ")";
        case kNVarChar: return "nvarchar(" + std::to_string(length / 2) + ")";
        case kNChar: return "nchar(" + std::to_string(length / 2) + ")";
        default: return "type" + std::to_string(type);
    }
}

Value Null() { return std::nullopt; }
Value Int(std::int64_t v, int bytes) {
    std::vector<std::uint8_t> out(static_cast<std::size_t>(bytes));
    for (int i = 0; i < bytes; ++i) out[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(v) >> (8 * i));
    return out;
}
Value Bit(bool v) { return std::vector<std::uint8_t>{static_cast<std::uint8_t>(v ? 1 : 0)}; }
Value Ansi(std::string_view text) { return std::vector<std::uint8_t>(text.begin(), text.end()); }
Value Unicode(std::u16string_view text) { return Utf16Le(text); }
Value Money(std::int64_t ten_thousandths) { return LE64(static_cast<std::uint64_t>(ten_thousandths)); }
Value DateTime(std::int32_t days_since_1900, std::uint32_t ticks) {
    auto out = LE32(ticks);
    Append(out, LE32(static_cast<std::uint32_t>(days_since_1900)));
    return out;
}
Value Decimal(bool positive, std::uint64_t mantissa, int storage_length) {
    std::vector<std::uint8_t> out(static_cast<std::size_t>(storage_length), 0);
    out[0] = positive ? 1 : 0;
    for (int i = 0; i < 8 && i + 1 < storage_length; ++i) out[static_cast<std::size_t>(i + 1)] = static_cast<std::uint8_t>(mantissa >> (8 * i));
    return out;
}
Value SmallDateTime(std::uint16_t days_since_1900, std::uint16_t minutes) {
    auto out = LE16(minutes);
    Append(out, LE16(days_since_1900));
    return out;
}
Value Float(double v) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, 8);
    return LE64(bits);
}

std::vector<std::uint8_t> ObjectRow(const ObjectDef& object, std::uint16_t owner_id, const ObjectRowOptions& options) {
    std::vector<std::uint8_t> r(42, 0);
    r[0] = object.ghost ? 0x3C : 0x30;
    Put16(r, 2, 42);
    Put32(r, 4, static_cast<std::uint32_t>(object.object_id));
    r[8] = static_cast<std::uint8_t>(object.type.at(0));
    r[9] = static_cast<std::uint8_t>(object.type.at(1));
    Put16(r, 10, owner_id);
    Put16(r, 14, object.value_at_14);
    Put16(r, 16, object.value_at_16);
    r[19] = object.byte_19;
    Put32(r, 28, static_cast<std::uint32_t>(object.parent_id));
    const std::size_t bitmap = NullBitmapBytes(options.column_count);
    std::vector<std::uint8_t> tail(2 + bitmap + 4, 0);
    Put16(tail, 0, options.column_count);
    Put16(tail, 2 + bitmap, 1);
    const auto name = Utf16Le(object.name);
    Put16(tail, 4 + bitmap, static_cast<std::uint16_t>(42 + tail.size() + name.size()));
    Append(r, tail);
    Append(r, name);
    return r;
}

std::vector<std::uint8_t> ColumnRow(std::int32_t table_id, const ColumnDef& column, std::uint16_t column_id,
                                    std::int16_t leaf_offset, std::uint8_t bit_position,
                                    const ColumnRowOptions& options) {
    const std::size_t fixed = options.fixed_end;
    std::vector<std::uint8_t> r(fixed, 0);
    r[0] = 0x30;
    Put16(r, 2, static_cast<std::uint16_t>(fixed));
    Put32(r, 4, static_cast<std::uint32_t>(table_id));
    r[8] = column.type;
    r[9] = static_cast<std::uint8_t>((column.not_null ? 1 : 0) | (IsCharacterType(column.type) ? 2 : 0));
    Put16(r, 10, column.type);
    Put16(r, 12, column.length);
    r[14] = column.precision;
    r[15] = column.scale;
    Put16(r, 16, column_id);
    Put16(r, 18, static_cast<std::uint16_t>(leaf_offset));
    r[20] = bit_position;
    r[22] = column.identity ? (column.identity_not_for_replication ? 9 : 1) : 0;
    Put32(r, 24, static_cast<std::uint32_t>(column.default_id));
    Put32(r, 28, static_cast<std::uint32_t>(column.rule_id));
    Put16(r, 34, column_id);
    if (fixed >= 42 && IsCharacterType(column.type)) Put32(r, 38, kCharacterCollation);

    const std::size_t bitmap = NullBitmapBytes(options.column_count);
    const int variable = column.identity ? 2 : 1;
    std::vector<std::uint8_t> tail(2 + bitmap + 2 + 2 * static_cast<std::size_t>(variable), 0);
    Put16(tail, 0, options.column_count);
    Put16(tail, 2 + bitmap, static_cast<std::uint16_t>(variable));
    const auto name = Utf16Le(column.name);
    const std::size_t name_end = fixed + tail.size() + name.size();
    Put16(tail, 4 + bitmap, static_cast<std::uint16_t>(name_end));
    std::vector<std::uint8_t> identity;
    if (column.identity) {
        identity = IdentityBlock(column, options.fixed_end == 38);
        Put16(tail, 6 + bitmap, static_cast<std::uint16_t>(name_end + identity.size()));
    }
    Append(r, tail);
    Append(r, name);
    Append(r, identity);
    return r;
}

std::vector<ColumnPlace> PlaceColumns(const std::vector<ColumnDef>& columns, std::uint16_t* fixed_end) {
    std::vector<ColumnPlace> places;
    std::uint16_t offset = 4;
    std::int16_t variable = 0;
    int bits = 0;
    std::uint16_t bit_byte = 0;
    for (const auto& column : columns) {
        ColumnPlace place;
        if (IsVariableLength(column.type)) {
            place.leaf_offset = static_cast<std::int16_t>(-(++variable));
        } else if (column.type == kBit) {
            if (bits % 8 == 0) bit_byte = offset++;
            place.leaf_offset = static_cast<std::int16_t>(bit_byte);
            place.bit_position = static_cast<std::uint8_t>(bits % 8);
            ++bits;
        } else {
            place.leaf_offset = static_cast<std::int16_t>(offset);
            offset = static_cast<std::uint16_t>(offset + column.length);
        }
        places.push_back(place);
    }
    if (fixed_end) *fixed_end = offset;
    return places;
}

std::vector<std::uint8_t> DataRecord(const TableDef& table, const std::vector<Value>& row) {
    std::uint16_t fixed_end = 0;
    const auto places = PlaceColumns(table.columns, &fixed_end);
    std::vector<std::uint8_t> r(fixed_end, 0);
    const std::size_t n = table.columns.size();
    std::vector<std::uint8_t> bitmap(NullBitmapBytes(n), 0);
    std::vector<std::vector<std::uint8_t>> variable;
    for (std::size_t i = 0; i < n; ++i) {
        const auto& column = table.columns[i];
        const Value& value = i < row.size() ? row[i] : Value{};
        if (!value) bitmap[i / 8] = static_cast<std::uint8_t>(bitmap[i / 8] | (1u << (i % 8)));
        if (IsVariableLength(column.type)) {
            variable.push_back(value ? *value : std::vector<std::uint8_t>{});
        } else if (column.type == kBit) {
            if (value && !value->empty() && (*value)[0]) {
                r[static_cast<std::size_t>(places[i].leaf_offset)] |= static_cast<std::uint8_t>(1u << places[i].bit_position);
            }
        } else if (value) {
            const std::size_t at = static_cast<std::size_t>(places[i].leaf_offset);
            std::copy_n(value->begin(), std::min<std::size_t>(value->size(), column.length), r.begin() + static_cast<std::ptrdiff_t>(at));
        }
    }
    r[0] = static_cast<std::uint8_t>(variable.empty() ? 0x10 : 0x30);
    Put16(r, 2, fixed_end);
    Append(r, LE16(static_cast<std::uint16_t>(n)));
    Append(r, bitmap);
    if (!variable.empty()) {
        Append(r, LE16(static_cast<std::uint16_t>(variable.size())));
        std::size_t end = r.size() + 2 * variable.size();
        std::vector<std::uint8_t> data;
        for (const auto& v : variable) {
            end += v.size();
            Append(r, LE16(static_cast<std::uint16_t>(end)));
            Append(data, v);
        }
        Append(r, data);
    }
    return r;
}

Database& Database::AddTable(TableDef table) {
    tables_.push_back(std::move(table));
    order_.push_back({true, tables_.size() - 1});
    return *this;
}

Database& Database::AddObject(ObjectDef object) {
    objects_.push_back(std::move(object));
    order_.push_back({false, objects_.size() - 1});
    return *this;
}

FileBuilder Database::Build(Layout* layout_out) const {
    FileBuilder file;
    Layout layout;
    std::uint64_t next_page = kFirstFreePage;

    PageFill boot(9, kBootPageType, 0, 0);
    file.SetPage(9, boot.Finish());
    file.BootVersion(539, 539);

    // Object rows. The first user table's row is placed so that its object id crosses the end of sector 1.
    SystemTable objects(1, 42, object_rows_per_page_);
    bool first_table = true;
    for (const auto& [is_table, index] : order_) {
        if (is_table) {
            const auto& table = tables_[index];
            ObjectDef row{table.name, table.object_id, "U "};
            const auto at = objects.Add(ObjectRow(row, table.owner_id), next_page,
                                        first_table ? std::optional<std::uint16_t>(1023 - 5) : std::nullopt);
            if (first_table && at % kPageSize == 1023 - 5) layout.torn_object_id_at = at + 4;
            first_table = false;
        } else {
            objects.Add(ObjectRow(objects_[index]), next_page);
        }
    }
    objects.Finish(file, layout.object_pages);

    // Column rows, table by table. The second column row of the first table has its length field across the
    // end of sector 3.
    SystemTable columns(3, 46, column_rows_per_page_);
    first_table = true;
    for (const auto& [is_table, index] : order_) {
        if (!is_table) continue;
        const auto& table = tables_[index];
        const auto places = PlaceColumns(table.columns);
        for (std::size_t i = 0; i < table.columns.size(); ++i) {
            const bool torn = first_table && i == 1;
            const auto at = columns.Add(ColumnRow(table.object_id, table.columns[i], static_cast<std::uint16_t>(i + 1),
                                                  places[i].leaf_offset, places[i].bit_position),
                                        next_page, torn ? std::optional<std::uint16_t>(2047 - 13) : std::nullopt);
            if (torn && at % kPageSize == 2047 - 13) layout.torn_column_length_at = at + 12;
        }
        first_table = false;
    }
    columns.Finish(file, layout.column_pages);

    // Index rows; the row of each table's data (index 0 or 1) gets its row count and first allocation map once
    // the table's pages are placed.
    SystemTable indexes(2, 82, 40);
    std::map<std::int32_t, std::uint64_t> data_index_row;
    for (const auto& table : tables_) {
        const bool clustered = std::any_of(table.indexes.begin(), table.indexes.end(),
                                           [](const IndexDef& index) { return index.index_id == 1; });
        if (!clustered) data_index_row[table.object_id] = indexes.Add(IndexRow(table.object_id, {table.name, 0, 0, {}}), next_page);
        for (const auto& index : table.indexes) {
            const std::uint64_t at = indexes.Add(IndexRow(table.object_id, index), next_page);
            if (index.index_id == 1) data_index_row[table.object_id] = at;
        }
    }

    SystemTable comments(6, 14, 40);
    for (const auto& object : objects_) {
        if (!object.definition.empty()) comments.Add(CommentRow(object.object_id, object.definition), next_page);
    }
    comments.Finish(file, layout.comment_pages);

    // User tables: an IAM page, then the data pages; the first eight in its single-page slots, the rest in
    // uniform extents of their own.
    for (const auto& table : tables_) {
        if (table.rows.empty()) continue;  // a table that never held a row has no allocation map (nor row count)
        std::uint16_t fixed_end = 0;
        PlaceColumns(table.columns, &fixed_end);
        // Records per data page: as many as fit (the slot array grows by two bytes a record), or the limit.
        std::vector<std::vector<std::vector<std::uint8_t>>> pages(1);
        std::size_t used = 96;
        for (const auto& row : table.rows) {
            auto record = DataRecord(table, row);
            const bool full = (table.rows_per_page && static_cast<int>(pages.back().size()) >= table.rows_per_page) ||
                              used + record.size() > kPageSize - 2 * (pages.back().size() + 1 + static_cast<std::size_t>(table.ghost_rows));
            if (full) {
                pages.emplace_back();
                used = 96;
            }
            used += record.size();
            pages.back().push_back(std::move(record));
        }
        for (int g = 0; g < table.ghost_rows; ++g) {
            auto ghost = DataRecord(table, table.rows.front());
            ghost[0] = 0x3C;
            pages.front().push_back(std::move(ghost));
        }

        const std::uint64_t iam_number = next_page++;
        std::vector<std::uint64_t> numbers;
        std::vector<std::uint8_t> header(94, 0);
        Put16(header, 2, 94);
        Put16(header, 44, 1);  // the interval starts at page 0 of file 1
        std::vector<std::uint8_t> bitmap_record(4 + 7988, 0);
        Put16(bitmap_record, 2, static_cast<std::uint16_t>(bitmap_record.size()));
        for (std::size_t i = 0; i < pages.size(); ++i) {
            if (i < 8) {
                numbers.push_back(next_page++);
                Put32(header, 46 + 6 * i, static_cast<std::uint32_t>(numbers.back()));
                Put16(header, 50 + 6 * i, 1);
            } else {
                if ((i - 8) % 8 == 0) {
                    next_page = (next_page + 7) / 8 * 8;
                    const std::uint64_t extent = next_page / 8;
                    bitmap_record[4 + extent / 8] |= static_cast<std::uint8_t>(1u << (extent % 8));
                }
                numbers.push_back(next_page++);
            }
        }
        if (pages.size() > 8) next_page = (next_page + 7) / 8 * 8;
        for (std::size_t i = 0; i < pages.size(); ++i) {
            PageFill fill(numbers[i], kDataPage, table.object_id, fixed_end);
            for (const auto& record : pages[i]) fill.Add(record);
            file.SetPage(numbers[i], fill.Finish());
        }
        PageFill iam(iam_number, kIamPage, table.object_id, 90);
        iam.Add(header);
        iam.Add(bitmap_record);
        file.SetPage(iam_number, iam.Finish());
        layout.iam_page[table.object_id] = iam_number;
        layout.data_pages[table.object_id] = numbers;
        // The index row of the data: first page at 12, row count at 44, first allocation map at 68 (file at 72).
        if (const auto row = data_index_row.find(table.object_id); row != data_index_row.end()) {
            std::vector<std::uint8_t> first = LE32(static_cast<std::uint32_t>(numbers.front()));
            Append(first, LE16(1));
            indexes.Patch(row->second, 12, first);
            indexes.Patch(row->second, 44, LE64(table.rows.size()));
            std::vector<std::uint8_t> first_iam = LE32(static_cast<std::uint32_t>(iam_number));
            Append(first_iam, LE16(1));
            indexes.Patch(row->second, 68, first_iam);
        }
    }
    indexes.Finish(file, layout.index_pages);
    file.PageCount(next_page + 8);
    file.FreeSpacePage();  // the unused pages of the tables' extents are free, as the server marks them
    layout.page_count = next_page + 8;
    if (layout_out) *layout_out = layout;
    return file;
}

std::string Database::Listing() const {
    std::ostringstream out;
    out << "version\t539\t539\n";
    for (const auto& [is_table, index] : order_) {
        if (!is_table) continue;
        const auto& table = tables_[index];
        if (platform::EqualsNoCase(table.name, u"dtproperties")) continue;
        out << "table\t" << platform::ToUtf8(table.name) << "\t" << table.rows.size() << "\t";
        for (std::size_t i = 0; i < table.columns.size(); ++i) {
            out << (i ? ", " : "") << platform::ToUtf8(table.columns[i].name) << " "
                << TypeName(table.columns[i].type, table.columns[i].length);
        }
        out << "\n";
    }
    return out.str();
}

Database SampleDatabase() {
    constexpr std::int32_t kZeroDefault = 1013578649;
    constexpr std::int32_t kPositiveRule = 1029578706;
    constexpr std::int32_t kCustomers = 1977058079;
    constexpr std::int32_t kOrders = 2009058193;
    Database db;
    // System tables and stand-alone default and rule, as the catalogue of every database begins.
    db.AddObject({u"sysobjects", 1, "S "});
    db.AddObject({u"sysindexes", 2, "S "});
    db.AddObject({u"syscolumns", 3, "S "});
    db.AddObject({.name = u"DF_Zero", .object_id = kZeroDefault, .type = "D ", .definition = u"CREATE DEFAULT DF_Zero AS 0"});
    db.AddObject({.name = u"RL_Positive", .object_id = kPositiveRule, .type = "R ",
                  .definition = u"CREATE RULE RL_Positive AS @value > 0"});

    auto col = [](std::u16string name, std::uint8_t type, std::uint16_t length, std::uint8_t precision = 0,
                  std::uint8_t scale = 0) {
        ColumnDef c;
        c.name = std::move(name);
        c.type = type;
        c.length = length;
        c.precision = precision;
        c.scale = scale;
        return c;
    };

    TableDef customers{u"Customers", kCustomers};
    customers.columns = {col(u"CustomerID", kInt, 4, 10), col(u"Name", kNVarChar, 80), col(u"City", kVarChar, 20),
                         col(u"Balance", kMoney, 8, 19, 4), col(u"Active", kBit, 1), col(u"Vip", kBit, 1),
                         col(u"Joined", kDateTime, 8, 23, 3)};
    customers.columns[0].not_null = customers.columns[0].identity = true;
    customers.columns[1].not_null = true;
    customers.columns[3].default_id = kZeroDefault;
    customers.indexes = {{u"PK_Customers", 1, 0x4812, {1}}};  // clustered primary key
    const char16_t* names[] = {u"Anna", u"Bernd", u"Chloé", u"Dmitri", u"Eve", u"Fumiko"};
    for (int i = 0; i < 6; ++i) {
        customers.rows.push_back({Int(i + 1, 4), Unicode(names[i]), i == 2 ? Null() : Ansi("Town" + std::to_string(i)),
                                  Money(12345 * (i + 1)), Bit(i % 2 == 0), Bit(i == 4), DateTime(36000 + i, 300 * i)});
    }
    db.AddTable(customers);

    TableDef orders{u"Orders", kOrders};
    orders.columns = {col(u"OrderID", kInt, 4, 10),      col(u"CustomerID", kInt, 4, 10),
                      col(u"Amount", kDecimal, 9, 10, 2), col(u"Code", kChar, 8),
                      col(u"Qty", kSmallInt, 2, 5),       col(u"Flags", kTinyInt, 1, 3),
                      col(u"Big", kBigInt, 8, 19),        col(u"Ratio", kFloat, 8, 53),
                      col(u"Ref", kUniqueIdentifier, 16), col(u"Blob", kVarBinary, 16),
                      col(u"Due", kSmallDateTime, 4),     col(u"Fee", kSmallMoney, 4, 10, 4),
                      col(u"Score", kReal, 4, 24),        col(u"Shipped", kBit, 1)};
    orders.columns[0].not_null = orders.columns[0].identity = orders.columns[0].identity_not_for_replication = true;
    orders.columns[0].identity_seed = 1000;
    orders.columns[0].identity_increment = 5;
    orders.columns[4].rule_id = kPositiveRule;
    for (int i = 0; i < 9; ++i) {
        std::vector<std::uint8_t> guid(16, static_cast<std::uint8_t>(i));
        orders.rows.push_back({Int(1000 + 5 * i, 4), Int(1 + i % 6, 4), Decimal(true, 1999 + 100 * i, 9),
                               Ansi("C-" + std::to_string(i) + "     "), Int(i + 1, 2), Int(i, 1), Int(-7000000000LL * i, 8),
                               Float(0.5 * i), guid, i % 3 ? Value(std::vector<std::uint8_t>{1, 2, 3}) : Null(),
                               SmallDateTime(36000 + i, 600 + i), Int(5000 * i, 4), Int(0x3F800000, 4), Bit(i % 2)});
    }
    orders.ghost_rows = 2;
    // A non-clustered index counts the row locator among its keys (column id 0).
    orders.indexes = {{u"IX_Orders_Customer", 2, 0x0000, {2, 0}}};
    db.AddTable(orders);

    TableDef ledger{u"Ledger", 2041058307};
    ledger.columns = {col(u"Entry", kDecimal, 9, 12, 0), col(u"Memo", kNChar, 20), col(u"Posted", kDateTime, 8, 23, 3)};
    ledger.columns[0].not_null = ledger.columns[0].identity = true;
    ledger.columns[0].identity_seed = 100;
    ledger.columns[0].identity_increment = 10;
    for (int i = 0; i < 3; ++i) {
        ledger.rows.push_back({Decimal(true, 100 + 10 * i, 9), Unicode(u"memo      "), DateTime(37000, 0)});
    }
    db.AddTable(ledger);

    // Two tables of one name under different owners.
    TableDef notes{u"Notes", 2073058421};
    notes.columns = {col(u"Id", kInt, 4, 10), col(u"Text", kVarChar, 100)};
    notes.rows = {{Int(1, 4), Ansi("first")}, {Int(2, 4), Null()}};
    db.AddTable(notes);
    TableDef other_notes{u"Notes", 2105058535, 5};
    other_notes.columns = {col(u"Id", kInt, 4, 10), col(u"Body", kNVarChar, 100), col(u"Stamp", kBigInt, 8, 19)};
    for (int i = 0; i < 4; ++i) other_notes.rows.push_back({Int(i, 4), Unicode(u"body"), Int(i * 1000, 8)});
    db.AddTable(other_notes);

    // Enough rows for pages beyond the eight single-page slots: the rest lie in a uniform extent.
    TableDef events{u"Events", 2137058649};
    events.columns = {col(u"Seq", kInt, 4, 10), col(u"Kind", kTinyInt, 1, 3), col(u"Payload", kChar, 200)};
    events.columns[0].not_null = true;
    for (int i = 0; i < 60; ++i) events.rows.push_back({Int(i, 4), Int(i % 4, 1), Ansi(std::string(200, 'a' + i % 26))});
    events.rows_per_page = 6;
    db.AddTable(events);

    TableDef empty{u"Empty", 21575115};
    empty.columns = {col(u"A", kInt, 4, 10), col(u"B", kVarChar, 10)};
    db.AddTable(empty);

    TableDef dtproperties{u"dtproperties", 53575229};
    dtproperties.columns = {col(u"id", kInt, 4, 10), col(u"property", kVarChar, 64)};
    dtproperties.rows = {{Int(1, 4), Ansi("DtgSchemaOBJECT")}};
    db.AddTable(dtproperties);

    // One object row of every other kind.
    db.AddObject({.name = u"usp_GetCustomers", .object_id = 85575343, .type = "P ",
                  .definition = u"CREATE PROCEDURE usp_GetCustomers AS SELECT * FROM Customers"});
    db.AddObject({.name = u"fn_Double", .object_id = 117575457, .type = "FN",
                  .definition = u"CREATE FUNCTION fn_Double (@x int) RETURNS int AS BEGIN RETURN 2 * @x END"});
    db.AddObject({.name = u"fn_Orders", .object_id = 149575571, .type = "IF",
                  .definition = u"CREATE FUNCTION fn_Orders () RETURNS TABLE AS RETURN SELECT * FROM Orders"});
    db.AddObject({.name = u"fn_Names", .object_id = 181575685, .type = "TF"});
    db.AddObject({.name = u"vw_Orders", .object_id = 213575799, .type = "V ", .byte_19 = 0x7F,
                  .definition = u"CREATE VIEW vw_Orders AS SELECT OrderID FROM Orders"});
    db.AddObject({.name = u"sysconstraints", .object_id = 245575913, .type = "V ", .byte_19 = 0x80});
    db.AddObject({.name = u"tr_Orders", .object_id = 277576027, .type = "TR", .parent_id = kOrders,
                  .definition = u"CREATE TRIGGER tr_Orders ON Orders FOR INSERT AS RETURN"});
    db.AddObject({.name = u"FK_Orders_Customers", .object_id = 309576141, .type = "F ", .parent_id = kOrders,
                  .value_at_16 = 0x0200});
    db.AddObject({.name = u"CK_Orders_Qty", .object_id = 341576255, .type = "C ", .parent_id = kOrders,
                  .value_at_16 = 0x0400});
    db.AddObject({.name = u"DF_Orders_Flags", .object_id = 373576369, .type = "D ", .parent_id = kOrders,
                  .value_at_14 = 6, .value_at_16 = 0x0002});
    db.AddObject({.name = u"PK_Customers", .object_id = 405576483, .type = "K "});
    db.AddObject({.name = u"UQ_Orders_Code", .object_id = 437576597, .type = "UQ"});
    db.AddObject({.name = u"usp_Dropped", .object_id = 469576711, .type = "P ", .ghost = true});
    return db;
}

Database ViewAndTableDatabase() {
    Database db;
    db.AddObject({u"sysobjects", 1, "S "});
    db.AddObject({u"sysindexes", 2, "S "});
    db.AddObject({u"syscolumns", 3, "S "});
    TableDef people{u"People", 1977058079};
    ColumnDef id;
    id.name = u"Id";
    id.not_null = true;
    ColumnDef name;
    name.name = u"Name";
    name.type = kNVarChar;
    name.length = 40;
    people.columns = {id, name};
    const char16_t* names[] = {u"Anna", u"Bernd", u"Chlo\u00E9", u"Dmitri", u"Eve", u"Fumiko"};
    for (int i = 0; i < 6; ++i) people.rows.push_back({Int(i + 1, 4), Unicode(names[i])});
    db.AddTable(people);
    db.AddObject({.name = u"vw_People", .object_id = 213575799, .type = "V ", .byte_19 = 0x7F,
                  .definition = u"CREATE VIEW vw_People AS SELECT Name FROM People"});
    return db;
}

}  // namespace testsupport::sql2000
