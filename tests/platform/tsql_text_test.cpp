// The T-SQL text module: quoting, the split of catalogue table names, the lexer and what is read with it (one
// expression to paste, a definition's head, the scope of a trigger).
#include <gtest/gtest.h>

#include "platform/text.h"
#include "platform/tsql_text.h"

namespace {

std::string U8(std::u16string_view text) { return platform::ToUtf8(text); }

TEST(TsqlQuoting, NamesAndTexts) {
    struct Case {
        std::u16string in, bracketed, unicode, plain;
    } cases[] = {
        {u"Docs", u"[Docs]", u"N'Docs'", u"'Docs'"},
        {u"a]b", u"[a]]b]", u"N'a]b'", u"'a]b'"},
        {u"]]", u"[]]]]]", u"N']]'", u"']]'"},
        {u"O'Brien", u"[O'Brien]", u"N'O''Brien'", u"'O''Brien'"},
        {u"", u"[]", u"N''", u"''"},
        {u"''); drop table x; --", u"[''); drop table x; --]", u"N'''''); drop table x; --'",
         u"'''''); drop table x; --'"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::BracketName(c.in), c.bracketed) << U8(c.in);
        EXPECT_EQ(platform::UnicodeLiteral(c.in), c.unicode) << U8(c.in);
        EXPECT_EQ(platform::QuotedLiteral(c.in), c.plain) << U8(c.in);
    }
}

TEST(TsqlQuoting, TableNameForms) {
    struct Case {
        std::u16string name, schema;
        bool layout2005;
        std::u16string form;
    } cases[] = {
        {u"dbo.Docs", u"dbo", true, u"[dbo].[Docs]"},
        {u"dbo.dbo.bobs", u"dbo", true, u"[dbo].[dbo.bobs]"},
        {u"my.schema.T", u"my.schema", true, u"[my.schema].[T]"},  // the schema name marks the split
        {u"a]b.c]d", u"", true, u"[a]]b].[c]]d]"},
        {u".x.y", u"", true, u"[.x].[y]"},  // without a schema, the first "." after the first character
        {u"NoDot", u"", true, u"[NoDot]"},
        {u"Order Details", u"", false, u"[Order Details]"},
        {u"x.y", u"", false, u"[x.y]"},  // 2000 names are never split
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::TableNameForm(c.name, c.schema, c.layout2005), c.form) << U8(c.name);
    }
}

TEST(TsqlLexer, TokensOfEveryForm) {
    const std::u16string text =
        u"SELECT [a]]b], \"c\"\"d\", N'it''s', 'x', 1.5e+3, 0x1F, @v, #t, r\u00E9s$1 -- note\r/* a /* b */ c */;";
    platform::SqlLexer lexer(text);
    std::vector<std::u16string> seen;
    for (auto token = lexer.Next(); token.kind != platform::SqlTokenKind::End; token = lexer.Next()) {
        seen.emplace_back(lexer.Text(token));
    }
    EXPECT_EQ(seen, (std::vector<std::u16string>{u"SELECT", u"[a]]b]", u",", u"\"c\"\"d\"", u",", u"N'it''s'", u",",
                                                 u"'x'", u",", u"1.5e+3", u",", u"0x1F", u",", u"@v", u",", u"#t", u",",
                                                 u"r\u00E9s$1", u";"}));
    EXPECT_TRUE(lexer.SawComment());
    EXPECT_EQ(platform::SqlTokens(u"SELECT 'open").back().kind, platform::SqlTokenKind::Broken);
    EXPECT_EQ(platform::SqlTokens(u"SELECT /* /* */").back().kind, platform::SqlTokenKind::Broken);
}

TEST(TsqlLexer, OnlyOneBalancedExpressionIsPasted) {
    struct Case {
        const char16_t* text;
        bool single;
    } cases[] = {
        {u"((1))", true},
        {u"  ([Qty]>(0)) ", true},
        {u"(getdate())", true},
        {u"([a]+[b])", true},
        {u"(N'it''s; -- not a comment')", true},
        {u"([x;y]]--z]>(0))", true},
        {u"(\"a;b\"\"c\"=(1))", true},
        {u"('a''')", true},
        {u"\u3000((1))\u3000", true},
        {u"((1)) For [Qty]; DROP TABLE [dbo].[Victim] --", false},
        {u"(1)) ; DROP DATABASE [victim] --", false},
        {u"((1)) (2)", false},
        {u"((1))x", false},
        {u"(1", false},
        {u"(1))", false},
        {u"1", false},
        {u"", false},
        {u"(1;2)", false},
        {u"(1 -- c\n)", false},
        {u"(1 -- c\r)", false},
        {u"(1 /* c */)", false},
        {u"('open)", false},
        {u"([open)", false},
        {u"(\"open)", false},
        {u"('a'')", false},
        {u"/* c */ (1)", false},
    };
    for (const auto& c : cases) EXPECT_EQ(platform::IsSingleExpression(c.text), c.single) << U8(c.text);
}

TEST(TsqlLexer, DefinitionHeads) {
    struct Case {
        std::u16string text;
        bool ok;
        std::u16string kind;
        std::vector<std::u16string> name;
    } cases[] = {
        {u"CREATE VIEW v AS SELECT 1", true, u"VIEW", {u"v"}},
        {u"  -- c\r\ncreate proc [Sales].[Get]]It] AS SELECT 1", true, u"PROCEDURE", {u"Sales", u"Get]It"}},
        {u"CREATE FUNCTION \"my.schema\".f() RETURNS int", true, u"FUNCTION", {u"my.schema", u"f"}},
        {u"CREATE TRIGGER db..t ON x FOR INSERT AS SELECT 1", true, u"TRIGGER", {u"db", u"", u"t"}},
        {u"CREATE RULE \u00E9t\u00E9.r AS @x > 0", true, u"RULE", {u"\u00E9t\u00E9", u"r"}},
        {u"ALTER VIEW v AS SELECT 1", false, u"", {}},
        {u"CREATE VIEW 'v' AS SELECT 1", false, u"", {}},
    };
    for (const auto& c : cases) {
        const auto head = platform::ReadCreateHead(c.text);
        EXPECT_EQ(head.ok, c.ok) << U8(c.text);
        if (!c.ok) continue;
        EXPECT_EQ(head.kind, c.kind) << U8(c.text);
        EXPECT_EQ(head.name, c.name) << U8(c.text);
    }
    EXPECT_EQ(platform::ReadCreateHead(u"CREATE VIEW [Sales].v AS SELECT 1").Schema(), u"Sales");
    EXPECT_EQ(platform::ReadCreateHead(u"CREATE VIEW v AS SELECT 1").Schema(), u"");
}

// Only a trigger on a table, a view or the database is one; every other text, whatever its spelling, is not.
TEST(TsqlLexer, TriggerScopes) {
    using platform::TriggerScope;
    struct Case {
        std::u16string text;
        TriggerScope scope;
    } cases[] = {
        {u"CREATE TRIGGER t ON dbo.Item FOR INSERT AS SELECT 1", TriggerScope::Table},
        {u"CREATE TRIGGER [s].[t] ON [s].[v] INSTEAD OF INSERT AS SELECT 1", TriggerScope::Table},
        {u"CREATE TRIGGER t ON db.dbo.Item AFTER UPDATE AS SELECT 1", TriggerScope::Table},
        {u"CREATE TRIGGER t ON Item WITH ENCRYPTION FOR DELETE AS SELECT 1", TriggerScope::Table},
        {u"CREATE TRIGGER t ON [ALL] FOR INSERT AS SELECT 1", TriggerScope::Table},
        {u"CREATE TRIGGER [ON ALL SERVER] ON x FOR INSERT AS SELECT 1", TriggerScope::Table},
        {u"CREATE TRIGGER tr\u00E9 ON dbo.AllServer FOR INSERT AS SELECT 1", TriggerScope::Table},
        {u"CREATE TRIGGER d ON DATABASE FOR CREATE_TABLE AS PRINT 1", TriggerScope::Database},
        {u"create trigger d on database after alter_table as rollback", TriggerScope::Database},
        // The server's own triggers, in every spelling.
        {u"CREATE TRIGGER audit ON ALL SERVER FOR LOGON AS ROLLBACK", TriggerScope::Other},
        {u"CREATE TRIGGER tr\u00E9 ON ALL SERVER FOR LOGON AS ROLLBACK", TriggerScope::Other},
        {u"CREATE TRIGGER \u00E9t ON ALL SERVER FOR LOGON AS ROLLBACK", TriggerScope::Other},
        {u"CREATE TRIGGER tr\u00E9\u3000ON ALL SERVER FOR LOGON AS ROLLBACK", TriggerScope::Other},
        {u"CREATE TRIGGER t --c\rON ALL SERVER FOR LOGON AS ROLLBACK", TriggerScope::Other},
        {u"CREATE TRIGGER t\u00A0ON\u2003ALL\u3000SERVER FOR LOGON AS ROLLBACK", TriggerScope::Other},
        {u"create trigger [a.b]]c] /* x /* y */ */ on\r\n all -- y\n server WITH EXECUTE AS 'sa' FOR LOGON AS SELECT 1",
         TriggerScope::Other},
        {u"CREATE TRIGGER \"t\".x ON ALL SERVER FOR CREATE_DATABASE AS SELECT 1", TriggerScope::Other},
        {u"CREATE TRIGGER t ON SERVER FOR LOGON AS SELECT 1", TriggerScope::Other},
        {u"CREATE TRIGGER t ON dbo.x ALL SERVER FOR LOGON AS SELECT 1", TriggerScope::Other},
        {u"CREATE TRIGGER t ON 'x' FOR INSERT AS SELECT 1", TriggerScope::Other},
        {u"CREATE TRIGGER t /* open ON x FOR INSERT AS SELECT 1", TriggerScope::Other},
        {u"CREATE VIEW v AS SELECT 1", TriggerScope::Other},
    };
    for (const auto& c : cases) EXPECT_EQ(platform::ReadTriggerScope(c.text), c.scope) << U8(c.text);
}

}  // namespace
