// Column lists of the fixed catalogues of the row fuzz targets.
#include "fuzz/fixed_catalog.h"

#include <initializer_list>

namespace fuzz {

namespace {

struct ColumnDef {
    const char16_t* name;
    std::uint8_t type;
    std::uint16_t max_in_row;  // 0xFFFF: a (max) type
    std::uint8_t precision = 0;
    std::uint8_t scale = 0;
    std::uint8_t bit_pos = 0;
};

bool IsVariable(std::uint8_t type) {
    switch (type) {
        case 167: case 231: case 165: case 35: case 99: case 34: case 98: case 241: case 240: return true;
        default: return false;
    }
}

// Fixed columns take consecutive offsets from 4 (bits of one byte share it), variable columns the next
// negative ordinal; the computed column gets leaf offset 0.
void Fill(mdf::TableNode& table, const char16_t* name, std::initializer_list<ColumnDef> columns) {
    table.m_pszName = name;
    table.m_strSchema = u"dbo";
    std::int16_t fixed = 4;
    std::int16_t variable = 0;
    std::uint16_t id = 0;
    std::int16_t last_bit_byte = -1;
    for (const auto& column : columns) {
        ++id;
        auto& c = table.AddColumn(id);
        c.m_nColumnId = id;
        c.m_nColumnOrder = id;
        c.m_nPhysicalColumn = id;
        c.m_nRowsetColumnId = id;
        c.m_pszName = column.name;
        c.m_nType = column.type;
        c.m_nMaxInRowLength = column.max_in_row;
        c.m_nLength = column.max_in_row;
        c.m_nPrecision = column.precision;
        c.m_nScale = column.scale;
        c.m_nBitPos = column.bit_pos;
        if (column.type == 0) {
            c.m_nType = 56;
            c.m_nMaxInRowLength = 4;
            c.m_bComputed = true;
            c.m_nLeafOffset = 0;
        } else if (IsVariable(column.type)) {
            c.m_nLeafOffset = static_cast<std::int16_t>(-(++variable));
        } else if (column.type == 104) {
            if (column.bit_pos == 0) {
                last_bit_byte = fixed;
                fixed = static_cast<std::int16_t>(fixed + 1);
            }
            c.m_nLeafOffset = last_bit_byte;
        } else {
            c.m_nLeafOffset = fixed;
            fixed = static_cast<std::int16_t>(fixed + column.max_in_row);
        }
    }
    table.m_nColumnCount = id;
}

}  // namespace

void FillAllTypesTable(mdf::TableNode& table) {
    Fill(table, u"dbo.AllTypes",
         {
             {u"i", 56, 4},
             {u"si", 52, 2},
             {u"ti", 48, 1},
             {u"bi", 127, 8},
             {u"b0", 104, 1, 0, 0, 0},
             {u"b1", 104, 1, 0, 0, 1},
             {u"m", 60, 8},
             {u"sm", 122, 4},
             {u"r", 59, 4},
             {u"f", 62, 8},
             {u"d", 106, 9, 18, 4},
             {u"n", 108, 5, 9, 2},
             {u"dt", 61, 8},
             {u"sdt", 58, 4},
             {u"g", 36, 16},
             {u"c", 175, 10},
             {u"nc", 239, 10},
             {u"bin", 173, 6},
             {u"da", 40, 3},
             {u"t", 41, 5, 16, 7},
             {u"dt2", 42, 8, 27, 7},
             {u"dto", 43, 10, 34, 7},
             {u"ts", 189, 8},
             {u"wide", 106, 17, 38, 10},
             {u"vc", 167, 50},
             {u"nvc", 231, 100},
             {u"vb", 165, 0xFFFF},
             {u"tx", 35, 16},
             {u"ntx", 99, 16},
             {u"img", 34, 16},
             {u"var", 98, 8016},
             {u"x", 241, 0xFFFF},
             {u"vcmax", 167, 0xFFFF},
             {u"nvcmax", 231, 0xFFFF},
             {u"clr", 240, 0xFFFF},
             {u"comp", 0, 4},
             {u"odd", 200, 4},
         });
}

void FillSharePointTable(mdf::TableNode& table, int which) {
    switch (which) {
        case 0:
            Fill(table, u"dbo.AllDocs",
                 {{u"ID", 36, 16}, {u"webid", 36, 16}, {u"ParentId", 36, 16}, {u"listId", 36, 16},
                  {u"TYPE", 48, 1}, {u"Size", 56, 4}, {u"TimeCreated", 61, 8}, {u"TimeLastModified", 61, 8},
                  {u"DirName", 231, 512}, {u"LeafName", 231, 256}});
            break;
        case 1:
            Fill(table, u"dbo.AllDocStreams",
                 {{u"Id", 36, 16}, {u"SiteId", 36, 16}, {u"ParentId", 36, 16}, {u"Content", 34, 16}});
            break;
        case 2:
            Fill(table, u"dbo.AllLists", {{u"tp_WebId", 36, 16}, {u"tp_ID", 36, 16}, {u"tp_Title", 231, 510}});
            break;
        default:
            Fill(table, u"dbo.Webs",
                 {{u"Id", 36, 16}, {u"SiteId", 36, 16}, {u"ParentWebId", 36, 16}, {u"Title", 231, 510}});
            break;
    }
}

}  // namespace fuzz
