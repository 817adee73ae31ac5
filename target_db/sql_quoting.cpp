// Names in brackets, texts as Unicode literals, table names in their layout's form.
#include "target_db/sql_quoting.h"

namespace target {

namespace {

// text between open and close, with every close character inside it doubled.
std::u16string Enclosed(std::u16string_view open, std::u16string_view text, char16_t close) {
    std::u16string out(open);
    out.reserve(open.size() + text.size() + 1);
    for (char16_t c : text) {
        out += c;
        if (c == close) out += close;
    }
    out += close;
    return out;
}

}  // namespace

std::u16string BracketName(std::u16string_view name) { return Enclosed(u"[", name, u']'); }

std::u16string UnicodeLiteral(std::u16string_view text) { return Enclosed(u"N'", text, u'\''); }

TableNameParts SplitTableName(const mdf::TableNode& table) {
    const std::u16string& name = table.m_pszName;
    const std::u16string& schema = table.m_strSchema;
    std::size_t split = std::u16string::npos;
    if (!schema.empty() && name.size() > schema.size() && name.compare(0, schema.size(), schema) == 0 &&
        name[schema.size()] == u'.') {
        split = schema.size();
    } else if (name.size() > 1) {
        split = name.find(u'.', 1);
    }
    if (split == std::u16string::npos) return {u"", name};
    return {name.substr(0, split), name.substr(split + 1)};
}

std::u16string TableNameForm(const mdf::TableNode& table, bool layout2005) {
    if (!layout2005) return BracketName(table.m_pszName);
    const TableNameParts parts = SplitTableName(table);
    if (parts.m_strSchema.empty()) return BracketName(parts.m_strTable);
    return BracketName(parts.m_strSchema) + u"." + BracketName(parts.m_strTable);
}

}  // namespace target
