// Building the INSERT statement text and its parameters for one row.
#include "rows/insert_statement.h"

namespace rows {

std::u16string BracketName(std::u16string_view name) {
    std::u16string out = u"[";
    for (char16_t c : name) {
        out += c;
        if (c == u']') out += u']';
    }
    out += u']';
    return out;
}

std::u16string TableNameForm(const mdf::TableNode& table, bool layout2005) {
    const std::u16string& name = table.m_pszName;
    if (!layout2005) return BracketName(name);
    std::size_t split = std::u16string::npos;
    const std::u16string& schema = table.m_strSchema;
    if (!schema.empty() && name.size() > schema.size() && name.compare(0, schema.size(), schema) == 0 &&
        name[schema.size()] == u'.') {
        split = schema.size();
    } else {
        split = name.find(u'.');
    }
    if (split == std::u16string::npos) return BracketName(name);
    return BracketName(std::u16string_view(name).substr(0, split)) + u"." +
           BracketName(std::u16string_view(name).substr(split + 1));
}

InsertStatement::InsertStatement(const mdf::TableNode& table, bool layout2005) {
    const std::u16string name = TableNameForm(table, layout2005);
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
    m_columns.push_back(BracketName(columnName));
    m_values.push_back(std::move(value));
}

void InsertStatement::AddParameter(std::u16string_view columnName, platform::DataTypeEnum type,
                                   std::vector<std::uint8_t> bytes) {
    AddValue(columnName, u"?");
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
