// Create-table, index and unique-key statements of both catalogue layouts.
#include <algorithm>
#include <optional>

#include "platform/text.h"
#include "mdf/collation_names.h"
#include "platform/tsql_text.h"
#include "target_db/statements.h"

namespace target {

namespace {

std::u16string Num(std::uint64_t n) { return platform::Widen(std::to_string(n)); }

// The "WITH (...)" options of an index or a unique key in the 2005 layout, empty when none is set;
// ignore_dup_key is the option's text, or null when the option is not set.
std::u16string WithOptions2005(const char16_t* ignore_dup_key, std::uint8_t fill, bool pad_index, bool no_recompute,
                               bool page_locks_off, bool row_locks_off) {
    if (!ignore_dup_key && fill == 0 && !no_recompute && !page_locks_off && !row_locks_off) return {};
    std::u16string options = u"WITH (";
    bool written = false;
    if (ignore_dup_key) {
        options += ignore_dup_key;
        written = true;
    }
    if (fill != 0) {
        options += (written ? u", FILLFACTOR = " : u"FILLFACTOR = ") + Num(fill);
        if (pad_index) options += u", PAD_INDEX = ON ";
        written = true;
    }
    if (no_recompute) {
        options += written ? u",STATISTICS_NORECOMPUTE = ON" : u"STATISTICS_NORECOMPUTE = ON";
        written = true;
    }
    if (page_locks_off) {
        options += written ? u", ALLOW_PAGE_LOCKS  = OFF " : u" ALLOW_PAGE_LOCKS  = OFF ";
        written = true;
    }
    if (row_locks_off) options += written ? u", ALLOW_ROW_LOCKS = OFF " : u" ALLOW_ROW_LOCKS = OFF ";
    return options + u")";
}

const mdf::ColumnNode* FindColumn(const mdf::TableNode& table, std::int64_t column_id) {
    for (const auto& column : table.m_lstColumns) {
        if (column.m_nColumnId == column_id) return &column;
    }
    return nullptr;
}

// Every character type carries its collation on both roads.
bool HasCollation(std::uint8_t type) {
    switch (type) {
        case 35: case 99: case 167: case 175: case 231: case 239: return true;
        default: return false;
    }
}

bool TakesIdentity(std::uint8_t type) {
    switch (type) {
        case 48: case 52: case 56: case 106: case 108: case 127: return true;
        default: return false;
    }
}

std::u16string Nullability(const mdf::ColumnNode& column) {
    return (column.m_nStatus & 0x01) ? u" NOT NULL" : u" NULL";
}

// Lengths: 1..limit, or (max) where the type has it.
std::u16string Sized(const char16_t* type, std::uint32_t units, std::uint32_t limit, bool has_max, bool max,
                     std::vector<std::u16string>* notes) {
    const std::u16string name = type;
    if (max && has_max) return name + u"(max)";
    if (units == 0) {
        if (notes) notes->push_back(name + u" of length 0 written with length 1");
        return name + u"(1)";
    }
    if (units > limit) {
        if (has_max) {
            if (notes) notes->push_back(name + u" of length " + Num(units) + u" written as " + name + u"(max)");
            return name + u"(max)";
        }
        if (notes) notes->push_back(name + u" of length " + Num(units) + u" written with length " + Num(limit));
        return name + u"(" + Num(limit) + u")";
    }
    return name + u"(" + Num(units) + u")";
}

std::u16string Exact(const char16_t* type, std::uint8_t precision, std::uint8_t scale,
                     std::vector<std::u16string>* notes) {
    std::uint8_t p = precision;
    std::uint8_t s = scale;
    if (p < 1 || p > 38) {
        p = p < 1 ? 18 : 38;
        if (notes) notes->push_back(std::u16string(type) + u" precision " + Num(precision) + u" written as " + Num(p));
    }
    if (s > p) {
        s = p;
        if (notes) notes->push_back(std::u16string(type) + u" scale " + Num(scale) + u" written as " + Num(s));
    }
    return std::u16string(type) + u"(" + Num(p) + u"," + Num(s) + u")";
}

// The fractional-second scale of the time types: 0 to 7; a larger one is damage and gets the type's default.
std::u16string Scaled(const char16_t* type, std::uint8_t scale, std::vector<std::u16string>* notes) {
    if (scale > 7) {
        if (notes) notes->push_back(std::u16string(type) + u" scale " + Num(scale) + u" written as 7");
        return std::u16string(type) + u"(7)";
    }
    return std::u16string(type) + u"(" + Num(scale) + u")";
}

}  // namespace

std::int64_t UserTypeKey2005(std::int32_t type_id) { return static_cast<std::uint32_t>(type_id); }
std::int64_t UserTypeKey2000(std::uint32_t type_word) { return type_word & 0xFFFF00FFu; }

std::u16string ColumnTypeText(const mdf::ColumnNode& column, bool layout2005, bool sql2008,
                              std::vector<std::u16string>* notes) {
    const std::uint32_t length = column.m_nLength != 0 ? column.m_nLength : column.m_nMaxInRowLength;
    const bool max = layout2005 && length == 0xFFFF;
    switch (column.m_nType) {
        case 34: return u"image";
        case 35: return u"text";
        case 36: return u"uniqueidentifier";
        case 40: if (layout2005) return u"date"; break;
        case 41: if (layout2005) return Scaled(u"time", column.m_nScale, notes); break;
        case 42: if (layout2005) return Scaled(u"datetime2", column.m_nScale, notes); break;
        case 43: if (layout2005) return Scaled(u"datetimeoffset", column.m_nScale, notes); break;
        case 48: return u"tinyint";
        case 52: return u"smallint";
        case 56: return u"int";
        case 58: return u"smalldatetime";
        case 59: return u"real";
        case 60: return u"money";
        case 61: return u"datetime";
        case 62: return u"float";
        case 98: return u"sql_variant";
        case 99: return u"ntext";
        case 104: return u"bit";
        case 106: return Exact(u"decimal", column.m_nPrecision, column.m_nScale, notes);
        case 108: return Exact(u"numeric", column.m_nPrecision, column.m_nScale, notes);
        case 122: return u"smallmoney";
        case 127: return u"bigint";
        case 165: return Sized(u"varbinary", length, 8000, true, max, notes);
        case 167: return Sized(u"varchar", length, 8000, true, max, notes);
        case 173: return Sized(u"binary", length, 8000, false, false, notes);
        case 175: return Sized(u"char", length, 8000, false, false, notes);
        case 189: return u"timestamp";
        case 231: return Sized(u"nvarchar", length / 2, 4000, true, max, notes);
        case 239: return Sized(u"nchar", length / 2, 4000, false, false, notes);
        case 240:
            if (layout2005 && sql2008) {
                switch (column.m_nUserTypeId) {
                    case 128: return u"hierarchyid";
                    case 129: return u"geometry";
                    case 130: return u"geography";
                    case 131: return u"geometry";
                    default: break;
                }
            }
            break;
        case 241: if (layout2005) return u"xml"; break;
        default: break;
    }
    if (notes) notes->push_back(u"type code " + Num(column.m_nType) + u" written as varbinary(max)");
    return u"varbinary(max)";
}

TableStatements BuildTableStatements(const mdf::TableNode& table, const TableSettings& settings) {
    TableStatements out;
    const bool v2005 = settings.m_bLayout2005;
    const std::u16string q = mdf::TableNameForm(table, v2005);
    auto collation = [&](std::uint32_t id) {
        return settings.m_collationName ? settings.m_collationName(id) : mdf::CollationName(id);
    };
    auto left_out = [&](const std::u16string& step, const std::u16string& object, std::u16string reason) {
        out.m_arrLeftOut.push_back({step, object, {}, std::move(reason)});
    };

    std::u16string columns;
    std::u16string plain_columns;
    for (const auto& column : table.m_lstColumns) {
        const std::u16string name = platform::BracketName(column.m_pszName) + u" ";
        std::vector<std::u16string> notes;
        const std::u16string type = ColumnTypeText(column, v2005, settings.m_bSql2008, &notes);
        for (auto& note : notes) left_out(kStepColumn, table.m_pszName + u"." + column.m_pszName, std::move(note));

        // User-type form: only for types the server accepted.
        const std::int64_t key = v2005 ? UserTypeKey2005(static_cast<std::int32_t>(column.m_nUserTypeId))
                                       : UserTypeKey2000(column.m_dwTypeInfo2000);
        const std::uint8_t user_low = v2005 ? static_cast<std::uint8_t>(column.m_nUserTypeId & 0xFF)
                                            : static_cast<std::uint8_t>((column.m_dwTypeInfo2000 >> 16) & 0xFF);
        std::optional<std::u16string> user_type;
        if (settings.m_pCreatedTypes != nullptr && column.m_nType != user_low) {
            if (const auto found = settings.m_pCreatedTypes->find(key); found != settings.m_pCreatedTypes->end()) {
                user_type = found->second;
            }
        }
        const bool identity = !column.m_strIdentitySeed.empty() && !column.m_strIdentityIncrement.empty();
        // The short column rows of the older road store no collation (id 0): the database's applies.
        const bool collated = HasCollation(column.m_nType) && (v2005 || column.m_nCollationId != 0);
        const bool computed_flag = v2005 ? column.m_bComputed : (column.m_nLeafOffset == 0 && column.m_nType != 98);
        std::u16string computed;
        if (computed_flag && settings.m_computedText) computed = settings.m_computedText(table.m_nObjectId, column.m_nColumnId);
        bool computed_unsafe = false;
        if (!computed.empty() && !platform::IsSingleExpression(computed)) {
            // Pasted in, it could close the CREATE TABLE and start a statement of its own.
            left_out(kStepColumn, table.m_pszName + u"." + column.m_pszName,
                     u"the computed column's definition is not one expression in parentheses: written with its type");
            computed.clear();
            computed_unsafe = true;
        }

        std::u16string definition = name;
        if (user_type) {
            definition += platform::BracketName(*user_type);
            // A character column keeps its own collation, which may differ from its type's.
            if (collated) definition += u" collate " + collation(column.m_nCollationId);
            if (identity) {
                definition += u" IDENTITY(" + column.m_strIdentitySeed + u"," + column.m_strIdentityIncrement + u" )";
                if (table.m_bIdentityNotForReplication) definition += u" NOT FOR REPLICATION ";
            }
            definition += Nullability(column);
        } else if (!computed.empty()) {
            definition += u"AS " + computed;
            if (v2005 && column.m_bPersisted) definition += u" PERSISTED";
        } else {
            if (computed_flag && !computed_unsafe) left_out(kStepColumn, table.m_pszName + u"." + column.m_pszName,
                                        u"computed column without a stored definition: written with its type");
            definition += type;
            if (collated) definition += u" collate " + collation(column.m_nCollationId);
            if (TakesIdentity(column.m_nType) && identity) {
                definition += u" IDENTITY(" + column.m_strIdentitySeed + u" ," + column.m_strIdentityIncrement + u" )";
                if (table.m_bIdentityNotForReplication) {
                    definition += (!v2005 && column.m_nType == 127) ? u" NOT FOR REPLICATION " : u"  NOT FOR REPLICATION ";
                }
            }
            // A computed column written with its type receives no value from the row copy: it must allow NULL.
            definition += computed_flag ? u" NULL" : Nullability(column);
        }
        columns += definition + u",";
        // The plain form keeps every stored column, with its base type and room for NULL.
        if (!computed_flag) {
            plain_columns += name + type + (column.m_nType == 241 ? u"" : u" NULL") + u",";
        }
    }

    // Primary key: every key column must be a column of the table, else the key is left out.
    const auto& key = v2005 ? table.m_arrPrimaryKey : table.m_arrPrimaryKey2000;
    const std::u16string& key_name = v2005 ? table.m_strPrimaryKeyName : table.m_strPrimaryKeyName2000;
    std::u16string clause;
    if (!key.empty()) {
        std::u16string list;
        bool missing = false;
        for (const auto& entry : key) {
            const mdf::ColumnNode* column = FindColumn(table, entry.m_nColumnId);
            if (column == nullptr) {
                missing = true;
                break;
            }
            if (!list.empty()) list += u",";
            list += platform::BracketName(column->m_pszName) + u" " + (entry.m_bDescending ? u"DESC" : u"");
        }
        const std::u16string object = key_name.empty() ? table.m_pszName : key_name;
        if (missing) {
            left_out(kStepPrimaryKey, object, u"a key column is not among the table's columns: the key is left out");
        } else if (v2005) {
            clause = u",";
            if (!key_name.empty()) clause += u"CONSTRAINT " + platform::BracketName(key_name) + u" ";
            clause += u"PRIMARY KEY ";
            clause += table.m_bClusteredPrimaryKey ? u"CLUSTERED ( " : u"NONCLUSTERED ( ";
            clause += list + u")";
        } else {
            // A key without a stored name gets the server's own name, so two such keys never clash.
            clause = key_name.empty() ? u", PRIMARY KEY" : u",CONSTRAINT  " + platform::BracketName(key_name) + u" PRIMARY KEY";
            clause += table.m_bClusteredPrimaryKey ? u" CLUSTERED (" : u" NONCLUSTERED (";
            clause += list + u")";
        }
    }
    if (!columns.empty()) columns.pop_back();
    if (!plain_columns.empty()) plain_columns.pop_back();
    out.m_strCreate = u"create table " + q + u"(" + columns + (clause.empty() ? u")" : clause + u");");
    out.m_strPlainCreate = u"create table " + q + u"(" + plain_columns + u")";

    // Indexes.
    for (const auto& index : table.m_lstIndexes) {
        if (index.m_arrColumns.empty()) continue;
        std::u16string keys;
        std::u16string included;
        bool missing = false;
        for (const auto& entry : index.m_arrColumns) {
            const mdf::ColumnNode* column = FindColumn(table, entry.m_nColumnId);
            if (column == nullptr) {
                missing = true;
                break;
            }
            if (entry.m_bIncluded && v2005) {
                if (!included.empty()) included += u",";
                included += platform::BracketName(column->m_pszName);
            } else if (!entry.m_bIncluded) {
                if (!keys.empty()) keys += u", ";
                keys += platform::BracketName(column->m_pszName) + (entry.m_bDescending ? u" DESC" : u"");
            }
        }
        if (missing || keys.empty()) {
            left_out(kStepIndex, index.m_strName,
                     missing ? u"a column of the index is not among the table's columns: the index is skipped"
                             : u"the index has no key column: it is skipped");
            continue;
        }
        std::u16string text;
        std::u16string options;
        std::uint8_t fill = index.m_nFillFactor;
        if (fill > 100) {
            left_out(kStepIndex, index.m_strName, u"fill factor " + Num(fill) + u" is left out");
            fill = 0;
        }
        if (v2005) {
            text = index.m_bUnique ? u"create UNIQUE " : u"create ";
            if (index.m_bClustered) text += u"clustered ";
            text += u"index " + platform::BracketName(index.m_strName) + u" on " + q + u" (" + keys + u") ";
            if (!included.empty()) text += u"INCLUDE (" + included + u") " + u" ";
            const char16_t* ignore_dup_key = !index.m_bIgnoreDupKey ? nullptr
                                              : index.m_bUnique     ? u"IGNORE_DUP_KEY = ON"
                                                                    : u"IGNORE_DUP_KEY = OFF";
            options = WithOptions2005(ignore_dup_key, fill, index.m_bPadIndex, index.m_bNoRecompute,
                                      index.m_bPageLocksOff, index.m_bRowLocksOff);
        } else {
            text = index.m_bUnique ? u"create UNIQUE " : u"create ";
            text += index.m_bClustered ? u"clustered index " : u"nonclustered index ";
            text += u" " + platform::BracketName(index.m_strName) + u" on " + q + u" (" + keys + u") ";
            bool written = false;
            if (index.m_bIgnoreDupKey) {
                options += u"WITH IGNORE_DUP_KEY ";
                written = true;
            }
            if (fill != 0) {
                options += (written ? u", FILLFACTOR = " : u"WITH FILLFACTOR = ") + Num(fill);
                if (index.m_bPadIndex) options += u", PAD_INDEX ";
                written = true;
            }
            if (index.m_bNoRecompute) options += written ? u", STATISTICS_NORECOMPUTE " : u"WITH STATISTICS_NORECOMPUTE ";
        }
        Statement statement{kStepIndex, index.m_strName, text + options};
        // A clustered index that enforces nothing is built with the table; everything that could refuse a
        // recovered row waits until the rows are in.
        if (index.m_bClustered && !index.m_bUnique) {
            out.m_arrWithTable.push_back(std::move(statement));
        } else {
            out.m_arrAfterRows.push_back(std::move(statement));
        }
    }

    // Unique keys.
    for (const auto& unique : table.m_lstUniqueKeys) {
        if (unique.m_arrColumns.empty()) continue;
        std::u16string list;
        bool missing = false;
        for (const auto& entry : unique.m_arrColumns) {
            const mdf::ColumnNode* column = FindColumn(table, entry.m_nColumnId);
            if (column == nullptr) {
                missing = true;
                break;
            }
            if (!list.empty()) list += u", ";
            list += platform::BracketName(column->m_pszName) + (entry.m_bDescending ? (v2005 ? u" DESC" : u" DESC ") : u"");
        }
        if (missing) {
            left_out(kStepUniqueKey, unique.m_strName,
                     u"a column of the unique key is not among the table's columns: the key is skipped");
            continue;
        }
        std::uint8_t fill = unique.m_nFillFactor;
        if (fill > 100) {
            left_out(kStepUniqueKey, unique.m_strName, u"fill factor " + Num(fill) + u" is left out");
            fill = 0;
        }
        std::u16string text = u"ALTER TABLE " + q + u" ADD CONSTRAINT " + platform::BracketName(unique.m_strName) + u" UNIQUE ";
        if (v2005) {
            text += unique.m_bClustered ? u"clustered (" : u"nonclustered (";
            text += list + u") ";
            text += WithOptions2005(unique.m_bIgnoreDupKey ? u"IGNORE_DUP_KEY = ON" : nullptr, fill, unique.m_bPadIndex,
                                    unique.m_bNoRecompute, unique.m_bPageLocksOff, unique.m_bRowLocksOff);
        } else {
            text += unique.m_bClustered ? u"clustered(" : u"nonclustered(";
            text += list + u") ";
            if (fill != 0) text += u"WITH FILLFACTOR = " + Num(fill);
        }
        out.m_arrAfterRows.push_back({kStepUniqueKey, unique.m_strName, std::move(text)});
    }
    return out;
}

}  // namespace target
