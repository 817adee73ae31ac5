// The T-SQL lexer, the quoting of names and texts, and the readings of stored definitions built on the lexer.
#include "platform/tsql_text.h"


#include "platform/text.h"

namespace platform {

namespace {

// text between open and close, with every close character inside it doubled.
std::u16string Enclosed(std::u16string_view open, std::u16string_view text, char16_t close) {
    std::u16string out(open);
    out.reserve(open.size() + text.size() + 1);
    for (const char16_t c : text) {
        out += c;
        if (c == close) out += close;
    }
    out += close;
    return out;
}

bool IsAsciiLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
// Letters of every script: the lexer does not tell a letter from other characters past ASCII, so a name that
// the server would end at such a character reads longer here, never shorter.
bool IsLetter(char16_t c) { return IsAsciiLetter(c) || (c >= 0x80 && !IsSqlBlank(c)); }
bool IsIdentifierStart(char16_t c) { return IsLetter(c) || c == u'_' || c == u'@' || c == u'#'; }
bool IsIdentifierPart(char16_t c) { return IsIdentifierStart(c) || IsDigit(c) || c == u'$'; }

bool IsOnlyBlanks(std::u16string_view text) {
    for (const char16_t c : text) {
        if (!IsSqlBlank(c)) return false;
    }
    return true;
}

}  // namespace

std::u16string BracketName(std::u16string_view name) { return Enclosed(u"[", name, u']'); }

std::u16string UnicodeLiteral(std::u16string_view text) { return Enclosed(u"N'", text, u'\''); }

std::u16string QuotedLiteral(std::u16string_view text) { return Enclosed(u"'", text, u'\''); }

std::u16string UnicodeExpression(std::u16string_view text) {
    std::u16string out;
    // Joined parts of nvarchar(n) end at 4000 characters unless one of them is nvarchar(max).
    if (text.size() > 4000 && text.find(u'\0') != std::u16string_view::npos) out = u"CAST(N'' AS nvarchar(max))";
    std::size_t from = 0;
    for (;;) {
        const std::size_t zero = text.find(u'\0', from);
        const std::u16string_view part = text.substr(from, zero == std::u16string_view::npos ? zero : zero - from);
        if (!part.empty() || out.empty() || zero == std::u16string_view::npos) {
            if (!out.empty()) out += u" + ";
            out += UnicodeLiteral(part);
        }
        if (zero == std::u16string_view::npos) break;
        out += u" + NCHAR(0)";
        from = zero + 1;
    }
    return out;
}

SchemaAndTable SplitTableName(std::u16string_view full_name, std::u16string_view schema) {
    std::size_t split = std::u16string_view::npos;
    if (!schema.empty() && full_name.size() > schema.size() && full_name.substr(0, schema.size()) == schema &&
        full_name[schema.size()] == u'.') {
        split = schema.size();
    } else if (full_name.size() > 1) {
        split = full_name.find(u'.', 1);
    }
    if (split == std::u16string_view::npos) return {u"", std::u16string(full_name)};
    return {std::u16string(full_name.substr(0, split)), std::u16string(full_name.substr(split + 1))};
}

std::u16string TableNameForm(std::u16string_view full_name, std::u16string_view schema, bool layout2005) {
    if (!layout2005) return BracketName(full_name);
    const SchemaAndTable parts = SplitTableName(full_name, schema);
    if (parts.schema.empty()) return BracketName(parts.table);
    return BracketName(parts.schema) + u"." + BracketName(parts.table);
}

bool IsSqlBlank(char16_t c) {
    if (c >= 0x09 && c <= 0x0D) return true;
    switch (c) {
        case 0x20: case 0x85: case 0xA0: case 0x1680: case 0x2028: case 0x2029: case 0x202F: case 0x205F:
        case 0x3000:
            return true;
        default:
            return c >= 0x2000 && c <= 0x200A;
    }
}

SqlToken SqlLexer::Next() {
    const std::size_t n = text_.size();
    // Blanks and comments.
    for (;;) {
        while (pos_ < n && IsSqlBlank(text_[pos_])) ++pos_;
        if (pos_ + 1 < n && text_[pos_] == u'-' && text_[pos_ + 1] == u'-') {
            saw_comment_ = true;
            pos_ += 2;
            while (pos_ < n && text_[pos_] != u'\r' && text_[pos_] != u'\n') ++pos_;
            continue;
        }
        if (pos_ + 1 < n && text_[pos_] == u'/' && text_[pos_ + 1] == u'*') {
            saw_comment_ = true;
            const std::size_t begin = pos_;
            int depth = 0;
            do {
                if (pos_ + 1 >= n) {
                    pos_ = n;
                    return {SqlTokenKind::Broken, begin, n};
                }
                if (text_[pos_] == u'/' && text_[pos_ + 1] == u'*') {
                    ++depth;
                    pos_ += 2;
                } else if (text_[pos_] == u'*' && text_[pos_ + 1] == u'/') {
                    --depth;
                    pos_ += 2;
                } else {
                    ++pos_;
                }
            } while (depth > 0);
            continue;
        }
        break;
    }
    if (pos_ >= n) return {SqlTokenKind::End, n, n};
    const std::size_t begin = pos_;
    const char16_t c = text_[pos_];
    // Delimited tokens: their closing character written twice stands for itself.
    auto delimited = [&](std::size_t open_length, char16_t close, SqlTokenKind kind) -> SqlToken {
        pos_ += open_length;
        for (;;) {
            if (pos_ >= n) return {SqlTokenKind::Broken, begin, n};
            if (text_[pos_] != close) {
                ++pos_;
                continue;
            }
            if (pos_ + 1 < n && text_[pos_ + 1] == close) {
                pos_ += 2;
                continue;
            }
            ++pos_;
            return {kind, begin, pos_};
        }
    };
    if (c == u'\'') return delimited(1, u'\'', SqlTokenKind::String);
    if ((c == u'N' || c == u'n') && pos_ + 1 < n && text_[pos_ + 1] == u'\'') {
        return delimited(2, u'\'', SqlTokenKind::String);
    }
    if (c == u'[') return delimited(1, u']', SqlTokenKind::QuotedName);
    if (c == u'"') return delimited(1, u'"', SqlTokenKind::QuotedName);
    if (IsDigit(c) || (c == u'.' && pos_ + 1 < n && IsDigit(text_[pos_ + 1]))) {
        ++pos_;
        while (pos_ < n) {
            const char16_t d = text_[pos_];
            if (IsDigit(d) || IsAsciiLetter(d) || d == u'.') {
                ++pos_;
            } else if ((d == u'+' || d == u'-') && (text_[pos_ - 1] == u'e' || text_[pos_ - 1] == u'E') &&
                       pos_ + 1 < n && IsDigit(text_[pos_ + 1])) {
                ++pos_;
            } else {
                break;
            }
        }
        return {SqlTokenKind::Number, begin, pos_};
    }
    if (IsIdentifierStart(c)) {
        ++pos_;
        while (pos_ < n && IsIdentifierPart(text_[pos_])) ++pos_;
        return {SqlTokenKind::Word, begin, pos_};
    }
    ++pos_;
    return {SqlTokenKind::Symbol, begin, pos_};
}

std::vector<SqlToken> SqlTokens(std::u16string_view text) {
    SqlLexer lexer(text);
    std::vector<SqlToken> tokens;
    for (;;) {
        const SqlToken token = lexer.Next();
        if (token.kind == SqlTokenKind::End) break;
        tokens.push_back(token);
        if (token.kind == SqlTokenKind::Broken) break;
    }
    return tokens;
}

bool IsWord(const SqlLexer& lexer, const SqlToken& token, std::u16string_view word) {
    return token.kind == SqlTokenKind::Word && EqualsNoCase(lexer.Text(token), word);
}

std::u16string NameOfToken(const SqlLexer& lexer, const SqlToken& token) {
    const std::u16string_view text = lexer.Text(token);
    if (token.kind != SqlTokenKind::QuotedName || text.size() < 2) return std::u16string(text);
    const char16_t close = text.front() == u'[' ? u']' : u'"';
    std::u16string name;
    for (std::size_t i = 1; i + 1 < text.size(); ++i) {
        name += text[i];
        if (text[i] == close) ++i;  // the second of a doubled closing character
    }
    return name;
}

bool IsSingleExpression(std::u16string_view text) {
    SqlLexer lexer(text);
    SqlToken token = lexer.Next();
    if (token.kind != SqlTokenKind::Symbol || lexer.Text(token) != u"(") return false;
    int depth = 0;
    for (; token.kind != SqlTokenKind::End; token = lexer.Next()) {
        // Nothing may follow the group that closed: it could start a statement of its own.
        if (depth == 0 && token.begin != lexer.Source().size() && token.begin > 0 &&
            !IsOnlyBlanks(text.substr(0, token.begin))) {
            return false;
        }
        if (token.kind == SqlTokenKind::Broken) return false;
        if (token.kind != SqlTokenKind::Symbol) continue;
        const std::u16string_view symbol = lexer.Text(token);
        if (symbol == u";") return false;
        if (symbol == u"(") ++depth;
        if (symbol == u")") --depth;
    }
    return depth == 0 && !lexer.SawComment();
}

namespace {

// A multi-part name that starts with token: parts joined by "." (an empty part between two dots, as in
// db..table, is kept empty), at most four. The token after the name is left in next.
bool ReadMultiPartName(SqlLexer& lexer, SqlToken token, std::vector<std::u16string>& parts, SqlToken& next) {
    for (;;) {
        if (token.kind != SqlTokenKind::Word && token.kind != SqlTokenKind::QuotedName) return false;
        parts.push_back(NameOfToken(lexer, token));
        token = lexer.Next();
        if (token.kind != SqlTokenKind::Symbol || lexer.Text(token) != u".") break;
        token = lexer.Next();
        while (token.kind == SqlTokenKind::Symbol && lexer.Text(token) == u".") {
            parts.emplace_back();
            token = lexer.Next();
        }
        if (parts.size() >= 4) return false;
    }
    next = token;
    return true;
}

CreateHead ReadHead(SqlLexer& lexer, SqlToken& next) {
    CreateHead head;
    if (!IsWord(lexer, lexer.Next(), u"CREATE")) return head;
    const SqlToken kind = lexer.Next();
    if (kind.kind != SqlTokenKind::Word) return head;
    head.kind = ToUpper(lexer.Text(kind));
    if (head.kind == u"PROC") head.kind = u"PROCEDURE";
    if (!ReadMultiPartName(lexer, lexer.Next(), head.name, next)) return CreateHead{};
    head.ok = true;
    return head;
}

bool IsOneOf(const SqlLexer& lexer, const SqlToken& token, std::initializer_list<std::u16string_view> words) {
    for (const auto word : words) {
        if (IsWord(lexer, token, word)) return true;
    }
    return false;
}

}  // namespace

CreateHead ReadCreateHead(std::u16string_view text) {
    SqlLexer lexer(text);
    SqlToken next;
    return ReadHead(lexer, next);
}

TriggerHead ReadTriggerHead(std::u16string_view text) {
    TriggerHead out;
    SqlLexer lexer(text);
    SqlToken token;
    const CreateHead head = ReadHead(lexer, token);
    if (!head.ok || head.kind != u"TRIGGER" || !IsWord(lexer, token, u"ON")) return out;
    token = lexer.Next();
    if (IsWord(lexer, token, u"DATABASE")) {
        if (IsOneOf(lexer, lexer.Next(), {u"FOR", u"AFTER", u"WITH"})) {
            out.scope = TriggerScope::Database;
            out.name = head.name;
        }
        return out;
    }
    // A table or a view. Words that the grammar gives a meaning here are names only when quoted.
    if (IsOneOf(lexer, token, {u"ALL", u"SERVER", u"DATABASE", u"FOR", u"AFTER", u"INSTEAD", u"WITH", u"AS"})) {
        return out;
    }
    std::vector<std::u16string> parts;
    SqlToken following;
    if (!ReadMultiPartName(lexer, token, parts, following) || parts.size() > 3) return out;
    if (!IsOneOf(lexer, following, {u"FOR", u"AFTER", u"INSTEAD", u"WITH"})) return out;
    out.scope = TriggerScope::Table;
    out.name = head.name;
    out.target = std::move(parts);
    return out;
}

TriggerScope ReadTriggerScope(std::u16string_view text) { return ReadTriggerHead(text).scope; }

std::u16string BracketedParts(const std::vector<std::u16string>& parts) {
    std::u16string out;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) out += u".";
        if (!parts[i].empty()) out += BracketName(parts[i]);  // db..table keeps its empty part
    }
    return out;
}

}  // namespace platform
