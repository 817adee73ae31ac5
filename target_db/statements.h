// The statement texts of the schema side, built from catalogue records without touching the server: tables
// with their primary keys, indexes and unique keys, user-defined types, foreign keys, check constraints and
// statistics. Every identifier goes through BracketName; a part that cannot be written soundly (a key column
// that is not among the table's columns, an impossible length) is left out or clamped and said so.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "mdf/catalog_records.h"
#include "target_db/script_report.h"

namespace target {

// One statement with the step and object it belongs to (for the report).
struct Statement {
    std::u16string m_strStep;
    std::u16string m_strObject;
    std::u16string m_strText;
};

// Step names used in statements and in the report.
inline constexpr char16_t kStepUserType[] = u"user type";
inline constexpr char16_t kStepTable[] = u"table";
inline constexpr char16_t kStepPrimaryKey[] = u"primary key";
inline constexpr char16_t kStepIndex[] = u"index";
inline constexpr char16_t kStepUniqueKey[] = u"unique key";
inline constexpr char16_t kStepForeignKey[] = u"foreign key";
inline constexpr char16_t kStepCheck[] = u"check constraint";
inline constexpr char16_t kStepStatistics[] = u"statistics";
inline constexpr char16_t kStepRetry[] = u"retry";
inline constexpr char16_t kStepRows[] = u"rows";
inline constexpr char16_t kStepColumn[] = u"column";

// ---- Tables ----

struct TableSettings {
    bool m_bLayout2005 = true;   // catalogue of the 2005-and-later format
    bool m_bSql2008 = false;     // catalogue of 2008 or later (the CLR types of code 240)
    // The user types the server accepted: the 2005 type id, or the 2000 type word with bits 8-15 cleared,
    // to the type's name.
    const std::map<std::int64_t, std::u16string>* m_pCreatedTypes = nullptr;
    // Definition text of a computed column (table object id, column id); empty when none is stored.
    std::function<std::u16string(std::int32_t, std::uint16_t)> m_computedText;
    // Collation name of an id; CollationName when empty.
    std::function<std::u16string(std::uint32_t)> m_collationName;
};

struct TableStatements {
    std::u16string m_strCreate;       // the table with its columns and primary key
    std::u16string m_strPlainCreate;  // the fallback: base types, all nullable, no computed column, key or identity
    std::vector<Statement> m_arrWithTable;  // clustered non-unique indexes: run right after the create
    std::vector<Statement> m_arrAfterRows;  // the other indexes and the unique keys: run after the rows
    std::vector<ReportEntry> m_arrLeftOut;  // parts left out or changed, with the reason
};

// The key of a user type as the table scripts look it up.
std::int64_t UserTypeKey2005(std::int32_t type_id);
std::int64_t UserTypeKey2000(std::uint32_t type_word);

// The base type text of a column as the typed form writes it ("nvarchar(40)", "varchar(max)",
// "decimal(9,2)"); an unknown type gives "varbinary(max)", impossible lengths and precisions are clamped.
// Each change is described in notes (when given).
std::u16string ColumnTypeText(const mdf::ColumnNode& column, bool layout2005, bool sql2008,
                              std::vector<std::u16string>* notes = nullptr);

TableStatements BuildTableStatements(const mdf::TableNode& table, const TableSettings& settings);

// ---- User-defined types ----

struct UserTypeRow {
    std::u16string m_strName;
    std::int32_t m_nTypeId = 0;  // 2005: the type id; 2000: base code | status << 8 | user type << 16
    std::uint8_t m_nBaseType = 0;
    std::uint16_t m_nLength = 0;
    std::uint8_t m_nPrecision = 0;
    std::uint8_t m_nScale = 0;
    bool m_bNotNull = false;
    std::int32_t m_nDefaultObjectId = 0;
    std::int32_t m_nRuleObjectId = 0;
};

// "create type  [Name] from [varchar](20) NOT NULL" (2005 layout) or
// "EXEC sp_addtype N'Name',N'varchar(20)','NOT NULL'" (2000 layout). An unknown base type gives
// varbinary(max); clamped lengths and precisions are described in notes.
std::u16string UserTypeStatement(const UserTypeRow& row, bool layout2005, std::vector<std::u16string>* notes = nullptr);

// ---- Foreign keys ----

enum class ReferentialAction { NoAction, Cascade, SetNull, SetDefault };

struct ForeignKeyFlags {
    bool m_bDisabled = false;
    bool m_bNotForReplication = false;
    bool m_bUntrusted = false;  // created or left WITH NOCHECK: existing rows were never checked
    ReferentialAction m_nOnDelete = ReferentialAction::NoAction;
    ReferentialAction m_nOnUpdate = ReferentialAction::NoAction;
    bool operator==(const ForeignKeyFlags&) const = default;
};

ForeignKeyFlags DecodeForeignKeyStatus2005(std::uint8_t status);
ForeignKeyFlags DecodeForeignKeyStatus2000(std::uint8_t status);

struct ForeignKeyDefinition {
    std::u16string m_strName;
    std::u16string m_strTable;       // the referencing table in its statement form ([s].[t] or [t])
    std::u16string m_strReferenced;  // the referenced table in its statement form
    std::vector<std::u16string> m_arrColumns;            // referencing column names, in key order
    std::vector<std::u16string> m_arrReferencedColumns;  // referenced column names, in key order
    ForeignKeyFlags m_flags;
};

// The ADD statement (WITH NOCHECK, so rows that were recovered are never refused by it) and the statement
// that then enables the key (checking the rows when the key was trusted) or leaves it disabled.
std::vector<std::u16string> ForeignKeyStatements(const ForeignKeyDefinition& key);

// ---- Check constraints ----

struct CheckFlags {
    bool m_bDisabled = false;
    bool m_bNotForReplication = false;
    bool m_bUntrusted = false;
};
CheckFlags DecodeCheckStatus(std::uint8_t status, bool layout2005);

// The ADD statement (WITH NOCHECK) and the statement that enables, checks or disables the constraint.
std::vector<std::u16string> CheckConstraintStatements(const std::u16string& table_form, const std::u16string& name,
                                                      const std::u16string& text, const CheckFlags& flags);

// ---- Statistics ----

// "Create Statistics [name] on [s].[t] ([a],[b])"; empty when columns is empty.
std::u16string StatisticsStatement(const std::u16string& name, const std::u16string& table_form,
                                   const std::vector<std::u16string>& columns);

}  // namespace target
