// The columns of the four SharePoint tables and the record encoding of their rows.
#include "tests/support/sharepoint_tables.h"

#include <stdexcept>

#include "tests/support/page_builder.h"

namespace testsupport::sharepoint::tables {

namespace {

bool IsVariable(std::uint8_t type) { return type == kImage || type == kVarBinary || type == kNVarChar; }

std::uint16_t FixedLength(std::uint8_t type) {
    switch (type) {
        case kGuid: return 16;
        case kTinyInt: return 1;
        case kInt: return 4;
        case kDateTime: return 8;
        default: return 0;
    }
}

}  // namespace

void Put16(Bytes& b, std::size_t at, std::uint16_t v) {
    if (b.size() < at + 2) b.resize(at + 2);
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
    Put16(b, at, static_cast<std::uint16_t>(v));
    Put16(b, at + 2, static_cast<std::uint16_t>(v >> 16));
}
void Append(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }

// One record in the fixed/variable format: status bytes, fixed part (bit columns packed into shared bytes,
// each new bit byte where the next fixed column would go), column count, null bitmap, variable-value table
// with end offsets (bit 15 set for values outside the row), variable data.
Bytes EncodeRecord(const TableDef& table, const Row& row) {
    Bytes fixed;
    std::vector<bool> nulls;
    std::vector<std::pair<Bytes, bool>> variable;
    std::size_t bit_byte = 0;
    int bits_used = 0;
    for (const auto& column : table.columns) {
        const auto found = row.find(column.name);
        const Cell cell = found == row.end() ? Cell{} : found->second;
        if (column.not_null && !cell.value) throw std::logic_error("NOT NULL column without a value");
        nulls.push_back(!cell.value);
        if (IsVariable(column.type)) {
            variable.emplace_back(cell.value.value_or(Bytes{}), cell.outside_row);
        } else if (column.type == kBit) {
            if (bits_used == 0) {
                bit_byte = fixed.size();
                fixed.push_back(0);
            }
            if (cell.value && (*cell.value)[0]) fixed[bit_byte] |= static_cast<std::uint8_t>(1u << bits_used);
            bits_used = (bits_used + 1) % 8;
        } else {
            Bytes v = cell.value.value_or(Bytes(FixedLength(column.type), 0));
            v.resize(FixedLength(column.type));
            Append(fixed, v);
        }
    }
    Bytes r = {0x30, 0x00};
    Put16(r, 2, static_cast<std::uint16_t>(4 + fixed.size()));
    Append(r, fixed);
    Append(r, LE16(static_cast<std::uint16_t>(table.columns.size())));
    Bytes bitmap((table.columns.size() + 7) / 8, 0);
    for (std::size_t i = 0; i < nulls.size(); ++i) {
        if (nulls[i]) bitmap[i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
    }
    Append(r, bitmap);
    Append(r, LE16(static_cast<std::uint16_t>(variable.size())));
    std::size_t end = r.size() + 2 * variable.size();
    for (const auto& [bytes, outside] : variable) {
        end += bytes.size();
        Append(r, LE16(static_cast<std::uint16_t>(end | (outside ? 0x8000u : 0u))));
    }
    for (const auto& v : variable) Append(r, v.first);
    if (r.size() > 8060) throw std::logic_error("record longer than a page holds");
    return r;
}

TableDef AllDocsTable() {
    return {u"AllDocs",
            {{u"Id", kGuid, 16, true}, {u"SiteId", kGuid, 16, true}, {u"DirName", kNVarChar, 512, true},
             {u"LeafName", kNVarChar, 256, true}, {u"WebId", kGuid, 16, true}, {u"ListId", kGuid, 16, false},
             {u"DoclibRowId", kInt, 4, false}, {u"Type", kTinyInt, 1, true}, {u"Size", kInt, 4, false},
             {u"MetaInfoSize", kInt, 4, false}, {u"Version", kInt, 4, false}, {u"UIVersion", kInt, 4, true},
             {u"Dirty", kBit, 1, false}, {u"ListDataDirty", kBit, 1, true}, {u"CacheParseId", kGuid, 16, false},
             {u"DocFlags", kInt, 4, false}, {u"ThicketFlag", kBit, 1, false}, {u"CharSet", kInt, 4, false},
             {u"ProgId", kNVarChar, 510, false}, {u"TimeCreated", kDateTime, 8, true},
             {u"TimeLastModified", kDateTime, 8, true}, {u"NextToLastTimeModified", kDateTime, 8, false},
             {u"MetaInfoTimeLastModified", kDateTime, 8, false}, {u"ParentId", kGuid, 16, true},
             {u"DeleteTransactionId", kVarBinary, 16, true}}};
}

TableDef AllDocStreamsTable(Generation generation) {
    TableDef t{u"AllDocStreams",
               {{u"Id", kGuid, 16, true}, {u"SiteId", kGuid, 16, true}, {u"InternalVersion", kInt, 4, true},
                {u"ParentId", kGuid, 16, true}, {u"Size", kInt, 4, false}}};
    if (generation == Generation::Sp2007Image) {
        t.columns.push_back({u"Content", kImage, 16, false});
    } else {
        t.columns.push_back({u"Content", kVarBinary, 0xFFFF, false});
        t.columns.push_back({u"RbsId", kVarBinary, 800, false});
    }
    return t;
}

TableDef AllListsTable() {
    return {u"AllLists",
            {{u"tp_WebId", kGuid, 16, true}, {u"tp_ID", kGuid, 16, true}, {u"tp_Title", kNVarChar, 510, true},
             {u"tp_Created", kDateTime, 8, true}, {u"tp_Modified", kDateTime, 8, true},
             {u"tp_LastDeleted", kDateTime, 8, true}, {u"tp_DeleteCount", kInt, 4, true},
             {u"tp_LastSecurityChange", kDateTime, 8, true}, {u"tp_Version", kInt, 4, true},
             {u"tp_Author", kInt, 4, false}, {u"tp_BaseType", kInt, 4, true}, {u"tp_ServerTemplate", kInt, 4, true},
             {u"tp_RootFolder", kGuid, 16, true}, {u"tp_Template", kGuid, 16, false},
             {u"tp_ImageUrl", kNVarChar, 510, false}, {u"tp_ReadSecurity", kInt, 4, true},
             {u"tp_WriteSecurity", kInt, 4, true}}};
}

TableDef WebsTable() {
    return {u"Webs",
            {{u"Id", kGuid, 16, true}, {u"SiteId", kGuid, 16, true}, {u"FullUrl", kNVarChar, 512, true},
             {u"ParentWebId", kGuid, 16, false}, {u"FirstUniqueAncestorWebId", kGuid, 16, true},
             {u"Author", kInt, 4, false}, {u"Title", kNVarChar, 510, false}, {u"TimeCreated", kDateTime, 8, true},
             {u"CachedNavDirty", kInt, 4, true}}};
}

}  // namespace testsupport::sharepoint::tables
