// Sorted insertion into a table's column list.
#include "mdf/catalog_records.h"

#include "platform/tsql_text.h"

namespace mdf {

ColumnNode& TableNode::AddColumn(std::uint16_t column_id) {
    auto it = m_lstColumns.begin();
    while (it != m_lstColumns.end() && !(column_id < it->m_nColumnId)) ++it;
    auto inserted = m_lstColumns.emplace(it);
    m_pCurrentColumn = &*inserted;
    return *inserted;
}

std::u16string TableNameForm(const TableNode& table, bool layout2005) {
    return platform::TableNameForm(table.m_pszName, table.m_strSchema, layout2005);
}

}  // namespace mdf
