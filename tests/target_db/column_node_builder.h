// A catalogue column as the schema side's tests describe one: name, id, system type and length (the same type
// as its user type, in both layouts' fields), a stored in-row part and the common collation.
#pragma once

#include <cstdint>
#include <string>

#include "mdf/catalog_records.h"

namespace columnbuilder {

inline mdf::ColumnNode Column(std::u16string name, std::uint16_t id, std::uint8_t type, std::uint16_t length,
                              bool not_null = false) {
    mdf::ColumnNode column;
    column.m_pszName = std::move(name);
    column.m_nColumnId = id;
    column.m_nType = type;
    column.m_nUserTypeId = type;
    column.m_dwTypeInfo2000 = type | (static_cast<std::uint32_t>(type) << 16);
    column.m_nMaxInRowLength = length;
    column.m_nLength = length;
    column.m_nStatus = not_null ? 1 : 0;
    column.m_nLeafOffset = 4;
    column.m_nCollationId = 0xD008;
    return column;
}

}  // namespace columnbuilder
