// Building the INSERT statement text and its parameters for one row.
#include "rows/insert_statement.h"

#include "platform/tsql_text.h"

namespace rows {

InsertStatement::InsertStatement(const mdf::TableNode& table, bool layout2005) {
    const std::u16string name = mdf::TableNameForm(table, layout2005);
    m_strHead = u"insert into " + name;
    m_bHasIdentity = table.m_bHasIdentity;
    if (m_bHasIdentity) {
        // The schema stays in the name: without it the server looks for the table in the default schema.
        const std::u16string gap = layout2005 ? u"" : u" ";
        m_strIdentityOn = u"SET IDENTITY_INSERT " + name + gap + u"ON";
        m_strIdentityOff = u"SET IDENTITY_INSERT " + name + gap + u"OFF";
    }
}

void InsertStatement::AddValue(std::u16string_view columnName, std::u16string value) {
    m_columns.push_back(platform::BracketName(columnName));
    m_values.push_back(std::move(value));
}

void InsertStatement::AddParameter(std::u16string_view columnName, platform::DataTypeEnum type,
                                   std::vector<std::uint8_t> bytes, std::u16string value) {
    AddValue(columnName, value.find(u'?') == std::u16string::npos ? std::u16string(u"?") : std::move(value));
    const std::size_t size = bytes.size();
    m_params.push_back(platform::Command::CreateParameter(std::u16string(columnName), type, platform::adParamInput,
                                                          size, std::move(bytes)));
}

std::u16string InsertStatement::Text() const {
    if (m_columns.empty()) return m_strHead + u" DEFAULT VALUES ;";
    std::u16string columns = u" (";
    std::u16string values = u" values (";
    for (std::size_t i = 0; i < m_columns.size(); ++i) {
        if (i > 0) {
            columns += u",";
            values += u",";
        }
        columns += m_columns[i];
        values += m_values[i];
    }
    return m_strHead + columns + u")" + values + u") ;";
}

}  // namespace rows
