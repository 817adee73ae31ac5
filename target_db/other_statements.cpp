// User-type, foreign-key, check-constraint and statistics statements.
#include "platform/text.h"
#include "platform/tsql_text.h"
#include "target_db/statements.h"

namespace target {

namespace {

std::u16string Action(ReferentialAction action) {
    switch (action) {
        case ReferentialAction::Cascade: return u"CASCADE";
        case ReferentialAction::SetNull: return u"SET NULL";
        case ReferentialAction::SetDefault: return u"SET DEFAULT";
        case ReferentialAction::NoAction: break;
    }
    return u"NO ACTION";
}

std::u16string JoinBracketed(const std::vector<std::u16string>& names) {
    std::u16string out;
    for (const auto& name : names) {
        if (!out.empty()) out += u",";
        out += platform::BracketName(name);
    }
    return out;
}

}  // namespace

std::u16string UserTypeStatement(const UserTypeRow& row, bool layout2005, std::vector<std::u16string>* notes) {
    // The base type through the column rules: the same clamps and the same fallback for unknown codes.
    mdf::ColumnNode column;
    column.m_nType = row.m_nBaseType;
    column.m_nLength = row.m_nLength;
    column.m_nPrecision = row.m_nPrecision;
    column.m_nScale = row.m_nScale;
    std::u16string base;
    switch (row.m_nBaseType) {
        case 40: case 41: case 42: case 43: case 241:
            // The date and time types and xml exist only on the newer road; a type of them in an older
            // catalogue is damage.
            base = ColumnTypeText(column, true, true, notes);
            break;
        default: base = ColumnTypeText(column, layout2005, false, notes);
    }
    // The time types carry their scale in the base text already.
    if (layout2005) {
        // "[varchar](20)": the type name in brackets, the size after it.
        const std::size_t open = base.find(u'(');
        const std::u16string name = open == std::u16string::npos ? base : base.substr(0, open);
        const std::u16string size = open == std::u16string::npos ? u"" : base.substr(open);
        std::u16string size_text = size;
        if (size == u"(max)") size_text = u"(MAX)";
        return u"create type  " + platform::BracketName(row.m_strName) + u" from " + platform::BracketName(name) + size_text +
               (row.m_bNotNull ? u" NOT NULL" : u" NULL");
    }
    return u"EXEC sp_addtype " + platform::UnicodeLiteral(row.m_strName) + u"," + platform::UnicodeLiteral(base) + u"," +
           (row.m_bNotNull ? u"'NOT NULL'" : u"'NULL'");
}

ForeignKeyFlags DecodeForeignKeyStatus2005(std::uint8_t status) {
    ForeignKeyFlags flags;
    flags.m_bDisabled = (status & 0x01) != 0;
    flags.m_bNotForReplication = (status & 0x02) != 0;
    flags.m_bUntrusted = (status & 0x04) != 0;
    flags.m_nOnUpdate = static_cast<ReferentialAction>((status >> 4) & 0x03);
    flags.m_nOnDelete = static_cast<ReferentialAction>((status >> 6) & 0x03);
    return flags;
}

ForeignKeyFlags DecodeForeignKeyStatus2000(std::uint8_t status) {
    ForeignKeyFlags flags;
    flags.m_bDisabled = (status & 0x01) != 0;
    flags.m_bNotForReplication = (status & 0x04) != 0;
    // 0x08 alone: the key was added without checking the rows and left so.
    flags.m_bUntrusted = status == 0x08;
    if (status & 0x10) flags.m_nOnDelete = ReferentialAction::Cascade;
    if (status & 0x20) flags.m_nOnUpdate = ReferentialAction::Cascade;
    return flags;
}

std::vector<std::u16string> ForeignKeyStatements(const ForeignKeyDefinition& key) {
    std::u16string add = u"ALTER TABLE " + key.m_strTable + u" WITH NOCHECK ADD CONSTRAINT " +
                         platform::BracketName(key.m_strName) + u" FOREIGN KEY (" + JoinBracketed(key.m_arrColumns) +
                         u") REFERENCES " + key.m_strReferenced + u"(" + JoinBracketed(key.m_arrReferencedColumns) + u")";
    if (key.m_flags.m_nOnDelete != ReferentialAction::NoAction) add += u" ON DELETE " + Action(key.m_flags.m_nOnDelete);
    if (key.m_flags.m_nOnUpdate != ReferentialAction::NoAction) add += u" ON UPDATE " + Action(key.m_flags.m_nOnUpdate);
    if (key.m_flags.m_bNotForReplication) add += u" NOT FOR REPLICATION";
    std::u16string check = u"ALTER TABLE " + key.m_strTable;
    if (key.m_flags.m_bDisabled) {
        check += u" NOCHECK CONSTRAINT ";
    } else if (key.m_flags.m_bUntrusted) {
        check += u" CHECK CONSTRAINT ";
    } else {
        check += u" WITH CHECK CHECK CONSTRAINT ";
    }
    check += platform::BracketName(key.m_strName);
    return {std::move(add), std::move(check)};
}

CheckFlags DecodeCheckStatus(std::uint8_t status, bool layout2005) {
    CheckFlags flags;
    if (layout2005) {
        flags.m_bUntrusted = status >= 0x04 && status <= 0x07;
        flags.m_bNotForReplication = status == 0x06 || status == 0x07 || status == 0x0C || status == 0x0D;
        flags.m_bDisabled = status == 0x05 || status == 0x07 || status == 0x09 || status == 0x0D;
    } else {
        flags.m_bUntrusted = status == 0x08;
        flags.m_bNotForReplication = status == 0x07 || status == 0x0C || status == 0x0D;
        flags.m_bDisabled = status == 0x07 || status == 0x09 || status == 0x0D;
    }
    return flags;
}

std::vector<std::u16string> CheckConstraintStatements(const std::u16string& table_form, const std::u16string& name,
                                                      const std::u16string& text, const CheckFlags& flags) {
    std::u16string add = u"ALTER TABLE " + table_form + u" WITH NOCHECK ADD CONSTRAINT " + platform::BracketName(name) +
                         u" CHECK " + (flags.m_bNotForReplication ? u"NOT FOR REPLICATION " : u"") + u"( " + text + u" )";
    std::u16string check = u"ALTER TABLE " + table_form;
    if (flags.m_bDisabled) {
        check += u" NOCHECK CONSTRAINT ";
    } else if (flags.m_bUntrusted) {
        check += u" CHECK CONSTRAINT ";
    } else {
        check += u" WITH CHECK CHECK CONSTRAINT ";
    }
    check += platform::BracketName(name);
    return {std::move(add), std::move(check)};
}

std::u16string StatisticsStatement(const std::u16string& name, const std::u16string& table_form,
                                   const std::vector<std::u16string>& columns) {
    if (columns.empty()) return {};
    return u"Create Statistics " + platform::BracketName(name) + u" on " + table_form + u" (" + JoinBracketed(columns) + u")";
}

}  // namespace target
