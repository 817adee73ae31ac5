// Transact-SQL text as the statements of a repair read and write it: one lexer for what comes from a data file
// (definitions, expressions, names), the quoting of every name and text a statement carries, and the one rule
// that splits a catalogue's "schema.table" name. Every layer that builds or judges a statement uses this file,
// so a text is read the same way wherever it is checked.
//
// Tokens, as the server reads them:
//   blanks      every white-space character (ASCII controls 9-13, space, U+0085, U+00A0, U+1680, U+2000-U+200A,
//               U+2028, U+2029, U+202F, U+205F, U+3000)
//   comments    "--" up to a CR or an LF (a lone CR ends it), "/* */" nested
//   strings     '...' and N'...', a quote written twice standing for itself
//   names       [...] (a "]" written twice) and "..." (a '"' written twice); regular identifiers: a letter
//               (any character from U+0080 that is not a blank counts as one), "_", "@" or "#", then letters,
//               digits, "_", "@", "#" and "$"
//   numbers     digits, ".", exponent and hexadecimal forms
//   symbols     every other character, one token each
// A text that opens a string, name or comment and never closes it ends in a broken token.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// ---- Quoting ----

// "[" + name with every "]" written "]]" + "]".
std::u16string BracketName(std::u16string_view name);
// "N'" + text with every "'" written "''" + "'".
std::u16string UnicodeLiteral(std::u16string_view text);
// "'" + text with every "'" written "''" + "'".
std::u16string QuotedLiteral(std::u16string_view text);
// A Unicode text of any characters as one expression: UnicodeLiteral, with each zero character written
// NCHAR(0) between "+" (a statement text holds no zero).
std::u16string UnicodeExpression(std::u16string_view text);

// ---- Table names ----

// The schema and table of a catalogue table name "schema.table": split after the schema name when the name
// starts with it and a ".", else at the first "." after the first character; no schema for a name without one.
struct SchemaAndTable {
    std::u16string schema;
    std::u16string table;
};
SchemaAndTable SplitTableName(std::u16string_view full_name, std::u16string_view schema);
// The table as every statement names it: "[schema].[table]" (2005-and-later layout, split as above) or
// "[table]" (the 2000 layout, whose names have no schema).
std::u16string TableNameForm(std::u16string_view full_name, std::u16string_view schema, bool layout2005);

// ---- Tokens ----

enum class SqlTokenKind {
    End,         // no more tokens
    Word,        // a regular identifier or a keyword
    QuotedName,  // [name] or "name"
    String,      // 'text' or N'text'
    Number,
    Symbol,      // one character
    Broken,      // a string, name or comment that never closes: the rest of the text
};

struct SqlToken {
    SqlTokenKind kind = SqlTokenKind::End;
    std::size_t begin = 0;
    std::size_t end = 0;
};

bool IsSqlBlank(char16_t c);

// Reads tokens one at a time, passing over blanks and comments.
class SqlLexer {
public:
    explicit SqlLexer(std::u16string_view text) : text_(text) {}
    SqlToken Next();
    std::u16string_view Text(const SqlToken& token) const { return text_.substr(token.begin, token.end - token.begin); }
    // True when a comment was passed over since the lexer began.
    bool SawComment() const { return saw_comment_; }
    std::u16string_view Source() const { return text_; }

private:
    std::u16string_view text_;
    std::size_t pos_ = 0;
    bool saw_comment_ = false;
};

// Every token of the text up to its end (an End token is not included; a Broken one is, as the last).
std::vector<SqlToken> SqlTokens(std::u16string_view text);

// True when token is the word (case ignored).
bool IsWord(const SqlLexer& lexer, const SqlToken& token, std::u16string_view word);
// The name a Word or QuotedName token stands for: a word as it stands, a quoted name without its quotes and with
// its doubled closing character made single.
std::u16string NameOfToken(const SqlLexer& lexer, const SqlToken& token);

// ---- Judging texts from a data file ----

// True when a stored expression (a column default, a check condition, a computed column's definition) can be
// pasted into a statement: it is one group in parentheses that closes at its last token, every string, name and
// comment closed, with no ";" and no comment. Anything else could end the statement it is pasted into.
bool IsSingleExpression(std::u16string_view text);

// A stored definition's head: "CREATE <kind word> <name>" with the name's parts (one to four, server and
// database included). ok is false when the text does not begin that way.
struct CreateHead {
    bool ok = false;
    std::u16string kind;                // upper case: "VIEW", "PROCEDURE" (also for PROC), "FUNCTION", ...
    std::vector<std::u16string> name;   // the parts in order, unquoted
    std::u16string Schema() const { return name.size() >= 2 ? name[name.size() - 2] : std::u16string(); }
};
CreateHead ReadCreateHead(std::u16string_view text);

// What a CREATE TRIGGER definition is a trigger of. Only "ON <table or view>" and "ON DATABASE", each followed by
// FOR, AFTER, INSTEAD OF or WITH, are read as such; every other text (ON ALL SERVER among them, and any text the
// lexer cannot follow) is Other.
enum class TriggerScope { Table, Database, Other };
TriggerScope ReadTriggerScope(std::u16string_view text);
// The same reading with the trigger's name and, for a trigger of a table or a view, the object's name (the parts
// as written, unquoted).
struct TriggerHead {
    TriggerScope scope = TriggerScope::Other;
    std::vector<std::u16string> name;
    std::vector<std::u16string> target;
};
TriggerHead ReadTriggerHead(std::u16string_view text);
// The parts of a multi-part name, each bracketed, joined by ".".
std::u16string BracketedParts(const std::vector<std::u16string>& parts);

}  // namespace platform
