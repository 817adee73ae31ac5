// Sorted insertion into a table's column list.
#include "mdf/catalog_records.h"

namespace mdf {

ColumnNode& TableNode::AddColumn(std::uint16_t column_id) {
    auto it = m_lstColumns.begin();
    while (it != m_lstColumns.end() && !(column_id < it->m_nColumnId)) ++it;
    auto inserted = m_lstColumns.emplace(it);
    m_pCurrentColumn = &*inserted;
    return *inserted;
}

}  // namespace mdf
