// catalog_dump --keys and --objects: the keys and indexes a repair would script, and the start of each stored
// object's definition text, in the format of the corpus expectations (expected/NAME.keys.tsv).
#include "tests/tools/dump_keys.h"

#include "platform/text.h"

namespace catalog_dump {

namespace {

// The table name without its schema, as the expectations list it.
std::string TableName(const mdf::TableNode& table) {
    std::u16string name = table.m_pszName;
    const std::u16string prefix = table.m_strSchema + u".";
    if (!table.m_strSchema.empty() && name.starts_with(prefix)) name.erase(0, prefix.size());
    return platform::ToUtf8(name);
}

std::string ColumnName(const mdf::TableNode& table, int column_id) {
    for (const auto& column : table.m_lstColumns) {
        if (column.m_nColumnId == column_id) return platform::ToUtf8(column.m_pszName);
    }
    return "#" + std::to_string(column_id);
}

template <typename Column>
std::string ColumnList(const mdf::TableNode& table, const std::vector<Column>& columns) {
    std::string out;
    for (const auto& column : columns) {
        if constexpr (requires { column.m_bIncluded; }) {
            if (column.m_bIncluded) continue;
        }
        if (!out.empty()) out += ", ";
        out += ColumnName(table, column.m_nColumnId);
        if (column.m_bDescending) out += " DESC";
    }
    return out;
}

std::string Line(const mdf::TableNode& table, const char* kind, const std::u16string& name, bool clustered, bool unique,
                 const std::string& columns) {
    return std::string("key\t") + TableName(table) + "\t" + kind + "\t" + platform::ToUtf8(name) + "\t" +
           (clustered ? "clustered" : "nonclustered") + (unique ? " unique" : "") + "\t" + columns;
}

std::string Escaped(const std::u16string& text) {
    std::string out;
    for (const char c : platform::ToUtf8(text.substr(0, 60))) {
        switch (c) {
            case '\r':
                out += "\\r";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\\':
                out += "\\\\";
                break;
            default:
                out += c;
        }
    }
    return out;
}

bool Is2000Format(const platform::SharedState& app) { return !app.m_bSql2005Catalog && !app.m_bSql2008Catalog; }

}  // namespace

void ReadKeys(mdf::CRecoveryEngine& engine) {
    if (Is2000Format(engine.App())) {
        engine.ReadPrimaryKeyColumns2000();
        engine.ReadIndexes2000();
    } else {
        engine.ReadPrimaryKeys();
        engine.ReadIndexes();
    }
}

std::vector<std::string> KeyLines(const mdf::CRecoveryEngine& engine) {
    const bool format2000 = Is2000Format(engine.App());
    std::vector<std::string> lines;
    for (const auto& table : engine.m_lstTables) {
        const auto& pk_name = format2000 ? table.m_strPrimaryKeyName2000 : table.m_strPrimaryKeyName;
        const auto& pk = format2000 ? table.m_arrPrimaryKey2000 : table.m_arrPrimaryKey;
        if (!pk_name.empty() || !pk.empty()) {
            lines.push_back(
                Line(table, "primary key", pk_name, table.m_bClusteredPrimaryKey, true, ColumnList(table, pk)));
        }
        for (const auto& index : table.m_lstIndexes) {
            lines.push_back(Line(table, "index", index.m_strName, index.m_bClustered, index.m_bUnique,
                                 ColumnList(table, index.m_arrColumns)));
        }
        for (const auto& key : table.m_lstUniqueKeys) {
            lines.push_back(
                Line(table, "unique key", key.m_strName, key.m_bClustered, true, ColumnList(table, key.m_arrColumns)));
        }
    }
    return lines;
}

std::u16string ObjectDefinition(mdf::CRecoveryEngine& engine, std::int32_t object_id) {
    std::u16string text = engine.ReadObjectText(object_id, 0);
    if (text.empty()) text = engine.ReadObjectText(object_id, 1);
    return text;
}

std::vector<std::string> ObjectLines(mdf::CRecoveryEngine& engine) {
    std::vector<std::string> lines;
    auto add = [&](const char* kind, const std::u16string& name, std::int32_t object_id) {
        lines.push_back(std::string("object\t") + kind + "\t" + platform::ToUtf8(name) + "\t" +
                        std::to_string(object_id) + "\t" + Escaped(ObjectDefinition(engine, object_id)));
    };
    for (const auto& view : engine.m_lstViews) add("view", view.m_pszName, view.m_nObjectId);
    for (const auto& procedure : engine.m_lstProcedures) add("procedure", procedure.m_strName, procedure.m_nObjectId);
    for (const auto& function : engine.m_lstFunctions) add("function", function.m_pszName, function.m_nObjectId);
    for (const auto& trigger : engine.m_lstTriggers) add("trigger", trigger.m_pszName, trigger.m_nObjectId);
    for (const auto& rule : engine.m_lstRules) add("rule", rule.m_pszName, rule.m_nObjectId);
    for (const auto& fallback : engine.m_lstDefaults) add("default", fallback.m_pszName, fallback.m_nObjectId);
    return lines;
}

int RunKeys(mdf::CRecoveryEngine& engine, const std::vector<std::string>&, std::ostream& out) {
    ReadKeys(engine);
    for (const auto& line : KeyLines(engine)) out << line << "\n";
    return 0;
}

int RunObjects(mdf::CRecoveryEngine& engine, const std::vector<std::string>&, std::ostream& out) {
    for (const auto& line : ObjectLines(engine)) out << line << "\n";
    return 0;
}

}  // namespace catalog_dump
