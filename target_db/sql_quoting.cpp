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

bool IsSingleExpression(std::u16string_view text) {
    auto blank = [](char16_t c) {
        return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\f' || c == u'\v';
    };
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && blank(text[begin])) ++begin;
    while (end > begin && blank(text[end - 1])) --end;
    if (begin == end || text[begin] != u'(') return false;
    int depth = 0;
    for (std::size_t i = begin; i < end; ++i) {
        const char16_t c = text[i];
        if (c == u'\'' || c == u'"' || c == u'[') {
            // A string or a quoted identifier: its closing character written twice stands for itself.
            const char16_t close = c == u'[' ? u']' : c;
            std::size_t j = i + 1;
            for (;; ++j) {
                if (j >= end) return false;
                if (text[j] != close) continue;
                if (j + 1 < end && text[j + 1] == close) {
                    ++j;
                    continue;
                }
                break;
            }
            i = j;
        } else if (c == u'-' && i + 1 < end && text[i + 1] == u'-') {
            return false;
        } else if (c == u'/' && i + 1 < end && text[i + 1] == u'*') {
            return false;
        } else if (c == u';') {
            return false;
        } else if (c == u'(') {
            ++depth;
        } else if (c == u')') {
            if (--depth == 0 && i + 1 != end) return false;  // the group closed before the end
        }
        // "*/" outside a comment is two operators the server refuses; it cannot open anything.
    }
    return depth == 0;
}

}  // namespace target
