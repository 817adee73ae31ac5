// The INSERT statement of one row: table and column names in brackets (every "]" doubled), the value list
// with its "?" parameters in column order, and the IDENTITY_INSERT texts around it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "mdf/catalog_records.h"
#include "platform/sql_connection.h"

namespace rows {

class InsertStatement {
public:
    InsertStatement(const mdf::TableNode& table, bool layout2005);

    // One column of the statement with its value-list entry (a literal, or "?" with the parameter).
    void AddValue(std::u16string_view columnName, std::u16string value);
    // value is the value-list entry that holds the parameter's one "?" ("?" itself, or e.g. CONVERT(xml, ?, 1)).
    void AddParameter(std::u16string_view columnName, platform::DataTypeEnum type, std::vector<std::uint8_t> bytes,
                      std::u16string value = u"?");

    bool Empty() const { return m_columns.empty(); }
    // "insert into [s].[t] ([a],[b]) values (1,?) ;", or "insert into [s].[t] DEFAULT VALUES ;" when no column
    // contributed (a table whose columns are all computed).
    std::u16string Text() const;
    bool HasIdentity() const { return m_bHasIdentity; }
    // "SET IDENTITY_INSERT [s].[t]ON" / "...OFF" (2005 layout), "SET IDENTITY_INSERT [t] ON" (2000 layout).
    const std::u16string& IdentityOn() const { return m_strIdentityOn; }
    const std::u16string& IdentityOff() const { return m_strIdentityOff; }
    const std::vector<platform::Parameter>& Parameters() const { return m_params; }

private:
    std::u16string m_strHead;
    std::vector<std::u16string> m_columns;
    std::vector<std::u16string> m_values;
    std::vector<platform::Parameter> m_params;
    bool m_bHasIdentity = false;
    std::u16string m_strIdentityOn;
    std::u16string m_strIdentityOff;
};

}  // namespace rows
