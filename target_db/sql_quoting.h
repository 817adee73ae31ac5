// Quoting of names and texts in the statements sent to the target server: every identifier in brackets with
// each "]" doubled, every text literal as N'...' with each "'" doubled, and the table name in the form each
// catalogue layout gives it. One place for all of them, so no statement builds a name of its own.
#pragma once

#include <string>
#include <string_view>

#include "mdf/catalog_records.h"

namespace target {

// "[" + name with every "]" written "]]" + "]".
std::u16string BracketName(std::u16string_view name);

// "N'" + text with every "'" written "''" + "'".
std::u16string UnicodeLiteral(std::u16string_view text);

// The table as the statements name it: "[schema].[table]" for the 2005-and-later layout (the node's name is
// "schema.table"; the table's schema name, when it prefixes the node name, marks the split, else the first
// "." after the first character), "[table]" for the 2000 layout.
std::u16string TableNameForm(const mdf::TableNode& table, bool layout2005);

// The schema and table parts of a 2005-and-later node name, split as TableNameForm splits it; the schema is
// empty when the name has no split.
struct TableNameParts {
    std::u16string m_strSchema;
    std::u16string m_strTable;
};
TableNameParts SplitTableName(const mdf::TableNode& table);

// True when a stored expression (a column default, a check condition, a computed column's definition) can be
// pasted into a statement: read as T-SQL tokens (strings, [ ] and " " identifiers, comments), it is one group in
// parentheses that closes at its last character (blanks aside), every string and identifier closed, with no ";"
// and no comment. Anything else could end the statement it is pasted into and start another.
bool IsSingleExpression(std::u16string_view text);

}  // namespace target
