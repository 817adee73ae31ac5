// The stored-object passes against a scripted server: what each sends, in which order, what it refuses to send,
// and the failure entries it leaves, byte for byte.
#include <gtest/gtest.h>

#include <type_traits>

#include "objects/definition_rows.h"
#include "objects/definition_text.h"
#include "platform/recording_sql_backend.h"
#include "tests/objects/object_fixture.h"

using namespace objtest;
using mdf::ObjectKind;
using Texts = std::vector<std::u16string>;
using namespace std::string_literals;

namespace {

// A column bound to a rule or default; the table is known by its catalogue name only (no schema, no object id).
template <typename Node>
void Bind(Node& node, std::u16string table, std::u16string column, std::int32_t default_id = 0) {
    auto& binding = node.AddBinding();
    binding.m_strTableName = std::move(table);
    binding.m_strColumnName = std::move(column);
    if constexpr (std::is_same_v<Node, mdf::DefaultNode>) binding.m_nDefaultObjectId = default_id;
}

// ---- Pure pieces ----

TEST(DefinitionText, CreateOfTheKindComesFirst) {
    struct Case {
        std::u16string text;
        ObjectKind kind;
        bool expected;
    };
    const Case cases[] = {
        {u"CREATE VIEW v AS SELECT 1", ObjectKind::View, true},
        {u"  \r\n\tcreate   view [v] AS SELECT 1", ObjectKind::View, true},
        {u"-- note\r\n/* a /* nested */ comment */ CREATE PROC p AS SELECT 1", ObjectKind::Procedure, true},
        {u"CREATE PROCEDURE p AS SELECT 1", ObjectKind::Procedure, true},
        {u"CREATE VIEW v AS SELECT 1", ObjectKind::Procedure, false},
        {u"CREATE VIEWS v", ObjectKind::View, false},
        {u"CREATEVIEW v", ObjectKind::View, false},
        {u"DROP TABLE t; CREATE VIEW v AS SELECT 1", ObjectKind::View, false},
        {u"/* never ends CREATE VIEW v", ObjectKind::View, false},
        {u"C", ObjectKind::Trigger, false},
        {u"", ObjectKind::Rule, false},
        {u"CREATE RULE r AS @v > 0", ObjectKind::Rule, true},
        {u"CREATE DEFAULT d AS 0", ObjectKind::Default, true},
        {u"((0))", ObjectKind::Default, false},
        {u"CREATE FUNCTION f() RETURNS int AS BEGIN RETURN 1 END", ObjectKind::Function, true},
        {u"CREATE TRIGGER t ON x FOR INSERT AS SELECT 1", ObjectKind::Trigger, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(platform::ToUtf8(c.text));
        EXPECT_EQ(objects::BeginsWithCreate(c.text, c.kind), c.expected);
    }
}

TEST(DefinitionText, ReadingsAndEntries) {
    const Bytes wide_odd = {'A', 0, 'B'};  // the odd last byte pairs with a zero
    EXPECT_EQ(objects::ReadAsUtf16(wide_odd).text, u"AB");
    EXPECT_EQ(objects::ReadAsUtf16(wide_odd).body, (Bytes{'A', 0, 'B', 0}));
    EXPECT_EQ(objects::ReadAs8Bit(Bytes{'A', 'B', 0, 'C'}).body, (Bytes{'A', 'B'}));
    EXPECT_EQ(objects::LikelyReading(Wide(u"SELECT")).text, u"SELECT");
    EXPECT_EQ(objects::LikelyReading(Bytes{'S', 0, 'E'}).text, u"S");  // 3 bytes: always 8-bit


    const auto entry = objects::FailureEntry(Ascii("body"));
    EXPECT_EQ(std::string(entry.begin(), entry.end()), Entry("body"));
    EXPECT_EQ(entry.size(), 8u + 4u + 8u + 135u);
}

// ---- Rules ----

struct RuleCase {
    const char* what;
    std::u16string rule_name;
    std::vector<std::pair<std::u16string, std::u16string>> bindings;  // table, column
    Texts refuse;
    std::string text;
    Texts sent;
    std::string file;
};

TEST(ScriptRules, TextThenEachBindingQuoted) {
    const std::string rule = "CREATE RULE ZipRule AS @z LIKE '[0-9][0-9][0-9][0-9][0-9]'";
    const std::u16string rule16 = platform::FromUtf8(rule);
    const RuleCase cases[] = {
        {"without bindings", u"ZipRule", {}, {}, rule, {rule16}, ""},
        {"two bindings, bracketed part by part",
         u"ZipRule",
         {{u"dbo.Customer", u"Zip"}, {u"Sales.Orders", u"ShipZip"}},
         {},
         rule,
         {rule16, u"EXEC sp_bindrule N'[ZipRule]', N'[dbo].[Customer].[Zip]'",
          u"EXEC sp_bindrule N'[ZipRule]', N'[Sales].[Orders].[ShipZip]'"},
         ""},
        {"refused text: no binding tried, one entry", u"ZipRule", {{u"dbo.Customer", u"Zip"}}, {u"CREATE RULE"}, rule,
         {rule16}, Entry(rule)},
        {"first binding refused: entry, second still sent",
         u"ZipRule",
         {{u"dbo.Customer", u"Zip"}, {u"dbo.Supplier", u"Zip"}},
         {u"Customer"},
         rule,
         {rule16, u"EXEC sp_bindrule N'[ZipRule]', N'[dbo].[Customer].[Zip]'",
          u"EXEC sp_bindrule N'[ZipRule]', N'[dbo].[Supplier].[Zip]'"},
         Entry(rule)},
        {"names cannot break out of their quotes",
         u"Zip'); DROP TABLE x--",
         {{u"dbo.a]b", u"c'd"}},
         {},
         rule,
         {rule16, u"EXEC sp_bindrule N'[Zip''); DROP TABLE x--]', N'[dbo].[a]]b].[c''d]'"},
         ""},
        {"not a CREATE RULE: nothing sent, one entry", u"ZipRule", {{u"dbo.Customer", u"Zip"}}, {},
         "DROP TABLE Customer", {}, Entry("DROP TABLE Customer")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ObjectRepair repair({{Row2005(7, Ascii(c.text))}}, true);
        ASSERT_TRUE(repair.opened());
        auto& node = repair.Add(repair.engine().m_lstRules, 7, c.rule_name);
        for (const auto& [table, column] : c.bindings) Bind(node, table, column);
        repair.server->refuse = c.refuse;
        repair.engine().ScriptRules();
        EXPECT_EQ(repair.server->executed, c.sent);
        EXPECT_EQ(repair.File("Rules.txt"), c.file);
    }
}

// ---- Defaults, default constraints and type bindings ----

TEST(ScriptDefaults, StandAloneDefaultsOnlyAndConstraintsAsAlterTable) {
    const std::string create = "CREATE DEFAULT Price0 AS 0";
    ObjectRepair repair({{Row2005(5, Ascii(create)), Row2005(6, Ascii("((1))")), Row2005(8, Ascii("(getdate())"))}},
                        true);
    ASSERT_TRUE(repair.opened());
    auto& engine = repair.engine();
    auto& price0 = repair.Add(engine.m_lstDefaults, 5, u"Price0");
    Bind(price0, u"dbo.Item", u"Price", 5);
    Bind(price0, u"dbo.Item", u"ListPrice", 5);
    Bind(repair.Add(engine.m_lstDefaults, 6, u"DF_Item_Qty"), u"dbo.Item", u"Qty", 6);
    Bind(repair.Add(engine.m_lstDefaults, 8, u"DF_Item_When"), u"dbo.Item", u"When", 8);
    repair.server->refuse = {u"[When]"};

    engine.ScriptDefaults();
    EXPECT_EQ(repair.server->executed,
              (Texts{u"SET QUOTED_IDENTIFIER OFF", u"CREATE DEFAULT Price0 AS 0",
                     u"EXEC sp_bindefault N'[Price0]', N'[dbo].[Item].[Price]'",
                     u"EXEC sp_bindefault N'[Price0]', N'[dbo].[Item].[ListPrice]'", u"SET QUOTED_IDENTIFIER ON"}));
    EXPECT_EQ(repair.File("Default.txt"), "");

    repair.server->executed.clear();
    engine.ScriptDefaultConstraints();
    // The stand-alone default's bindings are not sent again; each constraint goes on its own column.
    const std::u16string refused = u"ALTER TABLE [dbo].[Item] WITH NOCHECK ADD CONSTRAINT [DF_Item_When] default (getdate()) For [When]";
    EXPECT_EQ(repair.server->executed,
              (Texts{u"ALTER TABLE [dbo].[Item] WITH NOCHECK ADD CONSTRAINT [DF_Item_Qty] default ((1)) For [Qty]",
                     refused}));
    EXPECT_EQ(repair.File("Default.txt"), Entry(platform::ToUtf8(refused)));
    EXPECT_EQ(engine.m_repairTally[ObjectKind::DefaultConstraint].created, 1u);
    EXPECT_EQ(engine.m_repairTally[ObjectKind::DefaultConstraint].refused, 1u);
    EXPECT_EQ(engine.m_repairTally[ObjectKind::DefaultBinding].created, 2u);
}

TEST(ScriptDefaultConstraints, OnlyOneWholeExpressionIsPasted) {
    struct Case {
        const char* what;
        Bytes stored;
        Texts sent;
        std::string file;
    };
    const std::string breakout = "((1)) For [Qty]; DROP TABLE [dbo].[Victim] --";
    const std::string zero = "((1))\0)) DROP"s;
    const Case cases[] = {
        {"one expression", Ascii("((1))"),
         {u"ALTER TABLE [dbo].[Item] WITH NOCHECK ADD CONSTRAINT [DF_Qty] default ((1)) For [Qty]"}, ""},
        {"a text that ends the statement and starts another", Ascii(breakout), {}, Entry(breakout)},
        {"a group that closes early", Ascii("(1)) ; DROP DATABASE [victim] --"), {},
         Entry("(1)) ; DROP DATABASE [victim] --")},
        {"a zero before the recorded end", Ascii(zero), {}, Entry(zero)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ObjectRepair repair({{Row2005(6, c.stored)}}, true);
        ASSERT_TRUE(repair.opened());
        Bind(repair.Add(repair.engine().m_lstDefaults, 6, u"DF_Qty"), u"dbo.Item", u"Qty", 6);
        repair.engine().ScriptDefaultConstraints();
        EXPECT_EQ(repair.server->executed, c.sent);
        EXPECT_EQ(repair.File("Default.txt"), c.file);
        EXPECT_EQ(repair.engine().m_repairTally[ObjectKind::DefaultConstraint].refused, c.sent.empty() ? 1u : 0u);
    }
}

TEST(ScriptDefaults, RefusedDefinitionWritesItsEntryAndSkipsBindings) {
    const std::string create = "CREATE DEFAULT Price0 AS 0";
    ObjectRepair repair({{Row2005(5, Ascii(create))}}, true);
    ASSERT_TRUE(repair.opened());
    Bind(repair.Add(repair.engine().m_lstDefaults, 5, u"Price0"), u"dbo.Item", u"Price", 5);
    repair.server->refuse = {u"CREATE DEFAULT"};
    repair.engine().ScriptDefaults();
    EXPECT_EQ(repair.server->executed,
              (Texts{u"SET QUOTED_IDENTIFIER OFF", u"CREATE DEFAULT Price0 AS 0", u"SET QUOTED_IDENTIFIER ON"}));
    EXPECT_EQ(repair.File("Default.txt"), Entry(create));
}

TEST(BindTypeDefaultsAndRules, DefaultBeforeRuleQuotedAndCounted) {
    ObjectRepair repair({}, true);
    auto& engine = repair.engine();
    repair.Add(engine.m_lstDefaults, 5, u"Price0");
    repair.Add(engine.m_lstRules, 7, u"Zip'Rule");
    engine.m_lstUserTypes.push_back({u"Money2", 5, 7, 257});
    engine.m_lstUserTypes.push_back({u"dbo.Code", 99, 7, 258});  // default 99 is in no list: only the rule
    repair.server->refuse = {u"Code"};
    engine.BindTypeDefaultsAndRules();
    EXPECT_EQ(repair.server->executed, (Texts{u"EXEC sp_bindefault N'[Price0]', N'[Money2]'",
                                              u"EXEC sp_bindrule N'[Zip''Rule]', N'[Money2]'",
                                              u"EXEC sp_bindrule N'[Zip''Rule]', N'[dbo.Code]'"}));  // one name, as created
    EXPECT_EQ(engine.m_repairTally[ObjectKind::TypeBinding].created, 2u);
    EXPECT_EQ(engine.m_repairTally[ObjectKind::TypeBinding].refused, 1u);
    ASSERT_EQ(repair.log.size(), 1u);  // the refusal leaves its trace in the log
}

// Views, procedures and the other modules are created with the settings their object rows keep; a module whose
// row does not say gets no SET.
TEST(ScriptDependentObjects, ModulesCreatedWithTheirStoredSettings) {
    ObjectRepair repair({{Row2005(21, Ascii("CREATE VIEW v1 AS SELECT 1 AS x")),
                          Row2005(22, Ascii("CREATE VIEW v2 AS SELECT 2 AS x")),
                          Row2005(31, Ascii("CREATE PROCEDURE p AS SELECT 3"))}},
                        true);
    ASSERT_TRUE(repair.opened());
    auto& engine = repair.engine();
    repair.Add(engine.m_lstViews, 21, u"v1").m_settings = {true, false, false};
    repair.Add(engine.m_lstViews, 22, u"v2").m_settings = {true, false, false};
    repair.Add(engine.m_lstProcedures, 31, u"p");
    engine.ScriptDependentObjects(true, true, false);
    EXPECT_EQ(repair.server->executed,
              (Texts{u"SET ANSI_NULLS OFF", u"SET QUOTED_IDENTIFIER OFF", u"CREATE VIEW v1 AS SELECT 1 AS x",
                     u"CREATE VIEW v2 AS SELECT 2 AS x", u"CREATE PROCEDURE p AS SELECT 3"}));
}

// Every schema a table or a stored object is in is made: a view in a schema that holds no table is not refused.
TEST(ScriptMissingSchemas, SchemasOfObjectsWithoutTables) {
    ObjectRepair repair({{Row2005(21, Ascii("CREATE VIEW [Reports].[v] AS SELECT 1 AS x")),
                          Row2005(22, Wide(u"CREATE PROCEDURE \"my.schema\".p AS SELECT 1")),
                          Row2005(23, Ascii("CREATE FUNCTION dbo.f() RETURNS int AS BEGIN RETURN 1 END")),
                          Row2005(24, Ascii("((0))"))}},
                        true);
    ASSERT_TRUE(repair.opened());
    auto& engine = repair.engine();
    repair.Add(engine.m_lstViews, 21, u"v");
    repair.Add(engine.m_lstProcedures, 22, u"p");
    repair.Add(engine.m_lstFunctions, 23, u"f");
    repair.Add(engine.m_lstDefaults, 24, u"DF_x");
    auto& table = engine.AddTable();
    table.m_pszName = u"Sales.Orders";
    table.m_strSchema = u"Sales";
    engine.ScriptMissingSchemas();
    EXPECT_EQ(repair.server->executed,
              (Texts{u"IF SCHEMA_ID(N'Sales') IS NULL EXEC(N'CREATE SCHEMA [Sales]')",
                     u"IF SCHEMA_ID(N'Reports') IS NULL EXEC(N'CREATE SCHEMA [Reports]')",
                     u"IF SCHEMA_ID(N'my.schema') IS NULL EXEC(N'CREATE SCHEMA [my.schema]')"}));
    // The early look marks no definition as found: the passes do that.
    EXPECT_TRUE(engine.m_repairTally.definitions_found.empty());
}

// One rule splits "schema.table" everywhere: the table's own schema name marks it, in its CREATE, its default
// constraints and its bindings alike.
TEST(ScriptDefaults, BindingsNameTheTableAsItWasCreated) {
    ObjectRepair repair({{Row2005(5, Ascii("CREATE DEFAULT Price0 AS 0")), Row2005(6, Ascii("((1))"))}}, true);
    ASSERT_TRUE(repair.opened());
    auto& engine = repair.engine();
    auto bind = [](auto& node, std::int32_t default_id) {
        auto& binding = node.AddBinding();
        binding.m_strTableName = u"my.schema.T";
        binding.m_strSchema = u"my.schema";
        binding.m_strColumnName = u"c";
        binding.m_nDefaultObjectId = default_id;
    };
    bind(repair.Add(engine.m_lstDefaults, 5, u"Price0"), 5);
    bind(repair.Add(engine.m_lstDefaults, 6, u"DF_T_c"), 6);
    engine.ScriptDefaults();
    engine.ScriptDefaultConstraints();
    EXPECT_EQ(repair.server->executed,
              (Texts{u"SET QUOTED_IDENTIFIER OFF", u"CREATE DEFAULT Price0 AS 0",
                     u"EXEC sp_bindefault N'[Price0]', N'[my.schema].[T].[c]'", u"SET QUOTED_IDENTIFIER ON",
                     u"ALTER TABLE [my.schema].[T] WITH NOCHECK ADD CONSTRAINT [DF_T_c] default ((1)) For [c]"}));
}

// Nothing of a table the server did not create is sent: its bindings and default constraints would land on
// another table of its name (two owners of a 2000 file) or be refused; each is named.
TEST(ScriptDefaults, NothingOfATableNotCreated) {
    ObjectRepair repair({{Row2005(5, Ascii("CREATE DEFAULT Price0 AS 0")), Row2005(6, Ascii("((1))")),
                          Row2005(7, Ascii("CREATE RULE r AS @x > 0"))}},
                        true);
    ASSERT_TRUE(repair.opened());
    auto& engine = repair.engine();
    auto bind = [](auto& node, std::int32_t table, std::int32_t default_id) {
        auto& binding = node.AddBinding();
        binding.m_strTableName = u"T";
        binding.m_strColumnName = u"c";
        binding.m_nTableObjectId = table;
        if constexpr (std::is_same_v<std::decay_t<decltype(node)>, mdf::DefaultNode>) {
            binding.m_nDefaultObjectId = default_id;
        }
    };
    auto& price = repair.Add(engine.m_lstDefaults, 5, u"Price0");
    bind(price, 100, 5);  // the first owner's T, created
    bind(price, 200, 5);  // the second owner's T, refused
    bind(repair.Add(engine.m_lstDefaults, 6, u"DF_T_c"), 200, 6);
    bind(repair.Add(engine.m_lstRules, 7, u"r"), 200, 0);
    engine.m_repairTally.tables_not_created = {200};
    engine.ScriptDefaults();
    engine.ScriptDefaultConstraints();
    engine.ScriptRules();
    EXPECT_EQ(repair.server->executed,
              (Texts{u"SET QUOTED_IDENTIFIER OFF", u"CREATE DEFAULT Price0 AS 0",
                     u"EXEC sp_bindefault N'[Price0]', N'[T].[c]'", u"SET QUOTED_IDENTIFIER ON",
                     u"CREATE RULE r AS @x > 0"}));
    EXPECT_EQ(engine.m_repairTally[ObjectKind::DefaultBinding].refused, 1u);
    EXPECT_EQ(engine.m_repairTally[ObjectKind::DefaultConstraint].refused, 1u);
    EXPECT_EQ(engine.m_repairTally[ObjectKind::RuleBinding].refused, 1u);
    std::size_t named = 0;
    for (const auto& line : repair.log) named += line.find(u"its table was not created") != std::u16string::npos;
    EXPECT_EQ(named, 3u);
}

TEST(ScriptMissingSchemas, EachSchemaOnceExceptDbo) {
    ObjectRepair repair({}, true);
    auto& engine = repair.engine();
    for (const char16_t* name : {u"dbo.Item", u"Sales.Orders", u"Sales.Lines", u"it's.x"}) engine.AddTable().m_pszName = name;
    engine.ScriptMissingSchemas();
    EXPECT_EQ(repair.server->executed,
              (Texts{u"IF SCHEMA_ID(N'Sales') IS NULL EXEC(N'CREATE SCHEMA [Sales]')",
                     u"IF SCHEMA_ID(N'it''s') IS NULL EXEC(N'CREATE SCHEMA [it''s]')"}));
}

// ---- Triggers ----

TEST(ScriptTriggers, EachStoredFormSentWhole) {
    const std::string narrow = "CREATE TRIGGER t1 ON dbo.Item FOR INSERT AS SELECT 1";
    const std::u16string wide = u"CREATE TRIGGER t2 ON dbo.Item FOR DELETE AS SELECT 2";
    const std::u16string long_text = u"CREATE TRIGGER t3 ON dbo.Item FOR UPDATE AS SELECT 3";
    ObjectRepair repair({{Row2005(1, Ascii(narrow)), Row2005(2, Wide(wide)), LargeRow2005(3, 1, {{50, 0}, {50, 1}, {51, 0}})}},
                        true,
                        {{50, {TextRecord(Wide(long_text.substr(0, 10))), TextRecord(Wide(long_text.substr(10, 20)))}},
                         {51, {TextRecord(Wide(long_text.substr(30)))}}});
    ASSERT_TRUE(repair.opened());
    auto& engine = repair.engine();
    for (int id : {1, 2, 3}) repair.Add(engine.m_lstTriggers, id, u"t" + platform::Widen(std::to_string(id)));
    engine.ScriptTriggers();
    EXPECT_EQ(repair.server->executed, (Texts{platform::FromUtf8(narrow), wide, long_text}));
    EXPECT_EQ(repair.File("Triggers.txt"), "");
    EXPECT_EQ(engine.m_repairTally[ObjectKind::Trigger].created, 3u);
}

// Only triggers of a table, a view or the database are made; a trigger of the whole server, in any spelling
// of its name and white space, gets a failure entry and is never sent, in either reading of its bytes.
TEST(ScriptTriggers, OnlyTriggersOfATableAViewOrTheDatabaseAreSent) {
    const std::u16string made = u"CREATE TRIGGER t ON dbo.Item FOR INSERT AS SELECT 1";
    const std::u16string refused[] = {
        u"CREATE TRIGGER audit ON ALL SERVER FOR LOGON AS ROLLBACK",
        u"CREATE TRIGGER tr\u00E9 ON ALL SERVER FOR LOGON AS ROLLBACK",
        u"CREATE TRIGGER \u00E9t ON ALL SERVER FOR LOGON AS ROLLBACK",
        u"CREATE TRIGGER tr\u00E9\u3000ON ALL SERVER FOR LOGON AS ROLLBACK",
        u"CREATE TRIGGER t2 --c\rON ALL SERVER FOR LOGON AS ROLLBACK",
    };
    std::vector<Bytes> rows = {Row2005(1, Wide(made))};
    for (std::size_t i = 0; i < std::size(refused); ++i) {
        // 8-bit where the text allows it, else UTF-16: the guard reads both forms.
        const bool ascii = refused[i].find_first_not_of(u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 -\r") ==
                           std::u16string::npos;
        rows.push_back(Row2005(static_cast<std::uint32_t>(2 + i), ascii ? Ascii(platform::ToUtf8(refused[i])) : Wide(refused[i])));
    }
    ObjectRepair repair({rows}, true);
    ASSERT_TRUE(repair.opened());
    for (std::uint32_t id = 1; id < 2 + std::size(refused); ++id) {
        repair.Add(repair.engine().m_lstTriggers, static_cast<std::int32_t>(id), u"t" + platform::Widen(std::to_string(id)));
    }
    repair.engine().ScriptTriggers();
    repair.engine().CreateDatabaseTriggers();
    EXPECT_EQ(repair.server->executed, Texts{made});
    for (const auto& text : repair.server->executed) EXPECT_EQ(text.find(u"ALL SERVER"), std::u16string::npos);
    EXPECT_EQ(repair.engine().m_repairTally[ObjectKind::Trigger].refused, std::size(refused));
    // One failure entry for each, closed by its line of '='.
    const std::string file = repair.File("Triggers.txt");
    std::size_t entries = 0;
    for (std::size_t at = file.find(std::string(135, '=')); at != std::string::npos;
         at = file.find(std::string(135, '='), at + 135)) {
        ++entries;
    }
    EXPECT_EQ(entries, std::size(refused));
}

// The database's own triggers wait for the very end: made with the other triggers, one would fire on the
// statements that follow them (a DDL trigger that rolls back ALTER TABLE would cost a foreign key).
TEST(ScriptTriggers, DatabaseTriggersAreHeldForTheEnd) {
    const std::string database = "CREATE TRIGGER ddl ON DATABASE FOR ALTER_TABLE AS ROLLBACK";
    const std::string table = "CREATE TRIGGER t ON dbo.Item FOR INSERT AS SELECT 1";
    ObjectRepair repair({{Row2005(1, Ascii(database)), Row2005(2, Ascii(table))}}, true);
    ASSERT_TRUE(repair.opened());
    repair.Add(repair.engine().m_lstTriggers, 1, u"ddl");
    repair.Add(repair.engine().m_lstTriggers, 2, u"t");
    repair.engine().ScriptTriggers();
    EXPECT_EQ(repair.server->executed, Texts{platform::FromUtf8(table)});
    repair.server->executed.clear();
    repair.engine().CreateDatabaseTriggers();
    EXPECT_EQ(repair.server->executed, Texts{platform::FromUtf8(database)});
    EXPECT_EQ(repair.engine().m_repairTally[ObjectKind::Trigger].created, 2u);
    // Held once: a second call sends nothing.
    repair.server->executed.clear();
    repair.engine().CreateDatabaseTriggers();
    EXPECT_TRUE(repair.server->executed.empty());
}

// A trigger the object row marks disabled is created and then disabled again; a module is created with the
// ANSI_NULLS and QUOTED_IDENTIFIER its row keeps, each SET sent only when the session's differs.
TEST(ScriptTriggers, DisabledTriggersAndStoredSettings) {
    const std::string off = "CREATE TRIGGER [s].[off] ON [s].[Item] FOR INSERT AS SELECT 1";
    const std::string on = "CREATE TRIGGER on2 ON Item FOR DELETE AS SELECT 1";
    const std::string ddl = "CREATE TRIGGER ddl ON DATABASE FOR CREATE_TABLE AS PRINT 1";
    ObjectRepair repair({{Row2005(1, Ascii(off)), Row2005(2, Ascii(on)), Row2005(3, Ascii(ddl))}}, true);
    ASSERT_TRUE(repair.opened());
    auto& disabled = repair.Add(repair.engine().m_lstTriggers, 1, u"off");
    disabled.m_bDisabled = true;
    disabled.m_settings = {true, false, true};
    repair.Add(repair.engine().m_lstTriggers, 2, u"on2").m_settings = {true, false, false};
    auto& database = repair.Add(repair.engine().m_lstTriggers, 3, u"ddl");
    database.m_bDisabled = true;
    database.m_settings = {true, true, true};
    repair.engine().ScriptTriggers();
    repair.engine().CreateDatabaseTriggers();
    EXPECT_EQ(repair.server->executed,
              (Texts{u"SET ANSI_NULLS OFF", u"SET QUOTED_IDENTIFIER ON", platform::FromUtf8(off),
                     u"DISABLE TRIGGER [s].[off] ON [s].[Item]", u"SET QUOTED_IDENTIFIER OFF", platform::FromUtf8(on),
                     u"SET ANSI_NULLS ON", u"SET QUOTED_IDENTIFIER ON", platform::FromUtf8(ddl),
                     u"DISABLE TRIGGER [ddl] ON DATABASE"}));
}

TEST(ScriptTriggers, RefusedUtf16TriggerWritesItsUtf16Bytes) {
    const std::u16string wide = u"CREATE TRIGGER t2 ON dbo.Item FOR DELETE AS SELECT 2";
    ObjectRepair repair({{Row2005(2, Wide(wide))}}, true);
    ASSERT_TRUE(repair.opened());
    repair.Add(repair.engine().m_lstTriggers, 2, u"t2");
    repair.server->refuse = {u"TRIGGER"};
    repair.engine().ScriptTriggers();
    EXPECT_EQ(repair.server->executed, Texts{wide});
    EXPECT_EQ(repair.File("Triggers.txt"), Entry(WideBody(wide)));
}

TEST(ScriptTriggers, Rows2000TakenOnlyWithStatusTwo) {
    ObjectRepair repair({{Row2000(1, 1, 1, u"CREATE TRIGGER a ON x FOR INSERT AS SELECT 1", 2),
                          Row2000(2, 1, 1, u"CREATE TRIGGER b ON x FOR INSERT AS SELECT 1", 0)}},
                        false);
    ASSERT_TRUE(repair.opened());
    repair.Add(repair.engine().m_lstTriggers, 1, u"a");
    repair.Add(repair.engine().m_lstTriggers, 2, u"b");
    repair.engine().ScriptTriggers();
    EXPECT_EQ(repair.server->executed, Texts{u"CREATE TRIGGER a ON x FOR INSERT AS SELECT 1"});
    EXPECT_EQ(repair.File("Triggers.txt"), "");
}

// ---- Damage: nothing but whole definitions is sent ----

struct DamageCase {
    const char* what;
    std::vector<Bytes> rows;
    bool sql2005;
    Texts sent;
    std::string file_contains;  // empty: the file stays empty
};

TEST(ScriptDependentObjects, OnlyWholeDefinitionsAreSent) {
    const DamageCase cases[] = {
        {"end offset into the next row",
         {Row2005(5, Ascii("CREATE PROCEDURE p AS SELECT 1"), 0x0100), Row2005(6, Ascii("CREATE VIEW other AS SELECT 2"))},
         true, {}, "text end 256 lies outside its row"},
        {"end offset past the page's rows", {Row2005(5, Ascii("CREATE PROCEDURE p AS SELECT 1"), 0x2100)}, true, {},
         "text end 8448 lies outside its row"},
        {"end offset before the text", {Row2005(5, Ascii("CREATE PROCEDURE p AS SELECT 1"), 20)}, true, {},
         "text end 20 lies outside its row"},
        {"large-value root of another type", {LargeRow2005(5, 2, {{50, 0}}, 5)}, true, {}, "unknown type 5"},
        {"not a CREATE PROCEDURE", {Row2005(5, Ascii("DROP TABLE dbo.Item"))}, true, {}, "DROP TABLE dbo.Item"},
        {"2000 procedure split over two rows: joined, sent once",
         {Row2000(5, 1, 2, u"SELECT 1"), Row2000(5, 1, 1, u"CREATE PROCEDURE p AS ")},
         false,
         {u"CREATE PROCEDURE p AS SELECT 1"},
         ""},
        {"2000 numbered procedures: one statement per number",
         {Row2000(5, 1, 1, u"CREATE PROCEDURE p AS SELECT 1"), Row2000(5, 2, 1, u"CREATE PROCEDURE p;2 AS SELECT 2")},
         false,
         {u"CREATE PROCEDURE p AS SELECT 1", u"CREATE PROCEDURE p;2 AS SELECT 2"},
         ""},
        {"2000 procedure with a missing part", {Row2000(5, 1, 2, u"SELECT 1"), Row2000(5, 1, 3, u" more")}, false, {},
         "part 1 is missing"},
        // A zero inside the text would end the statement there, and what is left is still a CREATE.
        {"8-bit text with a zero before its end",
         {Row2005(5, Ascii("CREATE PROCEDURE p AS DELETE FROM dbo.Item\0WHERE id = @id"s))}, true, {},
         "dbo.Item\0WHERE id = @id"s},
        {"UTF-16 text with a zero before its end",
         {Row2005(5, Wide(u"CREATE PROCEDURE p AS DELETE FROM dbo.Item\0WHERE id = 1"s))}, true, {},
         WideBody(u"WHERE id = 1")},
        {"2000 text with a zero before its end",
         {Row2000(5, 1, 1, u"CREATE PROCEDURE p AS DELETE FROM t\0WHERE 1 = 0"s)}, false, {},
         WideBody(u"WHERE 1 = 0")},
        {"zeros only after the text", {Row2005(5, Ascii("CREATE PROCEDURE p AS SELECT 1\0\0"s))}, true,
         {u"CREATE PROCEDURE p AS SELECT 1"}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ObjectRepair repair({c.rows}, c.sql2005, {{50, {TextRecord(Ascii("CREATE PROCEDURE p AS SELECT 1"))}}});
        ASSERT_TRUE(repair.opened());
        repair.Add(repair.engine().m_lstProcedures, 5, u"p");
        repair.engine().ScriptDependentObjects(false, true, false);
        EXPECT_EQ(repair.server->executed, c.sent);
        const std::string file = repair.File("StoredProcedure.txt");
        if (c.file_contains.empty()) {
            EXPECT_EQ(file, "");
        } else {
            EXPECT_NE(file.find(c.file_contains), std::string::npos) << file;
            EXPECT_EQ(file.substr(0, 8), "\n\r\n\r\n\r\n\r");
            EXPECT_EQ(repair.engine().m_repairTally[ObjectKind::Procedure].refused, 1u);
        }
    }
}

// A definition too long for its row, in records on pages 50 and 51: whole or not at all. The first part ends
// where the first record does; a zero anywhere before the last text is a lost part, zeros after it padding.
TEST(ScriptDependentObjects, LongDefinitionsAreSentWholeOrNotAtAll) {
    struct Case {
        const char* what;
        std::uint8_t form;  // 2: 8-bit records, 1: UTF-16
        std::u16string first, second, third;
        bool sent;
    };
    const std::u16string head = u"CREATE PROCEDURE p AS DELETE FROM dbo.Item";
    const Case cases[] = {
        {"8-bit, clean", 2, head, u" WHERE id = @id", u" AND 1 = 1", true},
        {"UTF-16, clean", 1, head, u" WHERE id = @id", u" AND 1 = 1", true},
        {"8-bit, zeros after the text", 2, head, u" WHERE id = @id", u" AND 1 = 1\0\0\0"s, true},
        {"UTF-16, zeros after the text", 1, head, u" WHERE id = @id", u" AND 1 = 1\0\0"s, true},
        {"8-bit, a zero inside a record", 2, head, u" WHERE\0id = @id"s, u" AND 1 = 1", false},
        {"UTF-16, a zero inside a record", 1, head, u" WHERE\0id = @id"s, u" AND 1 = 1", false},
        {"8-bit, zeros closing a middle record", 2, head, u" WHERE id = @id\0\0"s, u" AND 1 = 1", false},
        {"UTF-16, zeros closing the first record", 1, head + u"\0"s, u" WHERE id = @id", u" AND 1 = 1", false},
        {"8-bit, a record of zeros between texts", 2, head, u"\0\0\0\0"s, u" WHERE id = @id", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto bytes = [&](const std::u16string& text) {
            if (c.form != 2) return Wide(text);
            Bytes narrow;
            for (const char16_t ch : text) narrow.push_back(static_cast<std::uint8_t>(ch));
            return narrow;
        };
        ObjectRepair repair({{LargeRow2005(5, c.form, {{50, 0}, {50, 1}, {51, 0}})}}, true,
                            {{50, {TextRecord(bytes(c.first)), TextRecord(bytes(c.second))}},
                             {51, {TextRecord(bytes(c.third))}}});
        ASSERT_TRUE(repair.opened());
        repair.Add(repair.engine().m_lstProcedures, 5, u"p");
        repair.engine().ScriptDependentObjects(false, true, false);
        std::u16string whole = c.first + c.second + c.third;
        whole.resize(whole.find_last_not_of(u'\0') + 1);
        const std::string file = repair.File("StoredProcedure.txt");
        if (c.sent) {
            EXPECT_EQ(repair.server->executed, Texts{whole});
            EXPECT_EQ(file, "");
            continue;
        }
        EXPECT_EQ(repair.server->executed, Texts{});
        EXPECT_EQ(repair.engine().m_repairTally[ObjectKind::Procedure].refused, 1u);
        // The entry holds the whole stored text, zeros and the parts after them included.
        const std::string body = platform::AnsiCodePage().Encode(whole);
        EXPECT_EQ(file, Entry(body));
        bool reported = false;
        for (const auto& line : repair.log) reported = reported || line.find(u"zero") != std::u16string::npos;
        EXPECT_TRUE(reported);
    }
}

TEST(GatherDefinitions, TornSectorsInsideTheTextAreRestored) {
    // A view of 1,500 characters from page offset 96 + 32 crosses the ends of sectors 0 to 2; the server saved
    // the low bits of each sector's last byte in the torn bits and wrote the pattern 2 there.
    std::string text = "CREATE VIEW v AS SELECT '";
    text += std::string(1500 - text.size() - 1, 'R') + "'";
    auto page = keytest::SystemPage(60, {Row2005(7, Ascii(text))});
    page.Tear(2);
    testsupport::FileBuilder file;
    file.SetPage(40, page);
    for (const bool restore : {true, false}) {
        SCOPED_TRACE(restore);
        keytest::KeyEngine keys(file);
        ASSERT_TRUE(keys.opened());
        keys.engine().m_plDefinitions.Add(keytest::PageOffset(40), 1);
        keys.app().m_bSql2005Catalog = true;
        keys.app().m_bConvertedFrom2000 = true;
        keys.app().m_bCreatedOn2000 = restore;
        const auto gathered = objects::GatherDefinitions(keys.engine(), {[](std::int32_t id) { return id == 7; }});
        // As stored, the slot entry and the text read differently.
        const bool exact = gathered.definitions.size() == 1 && gathered.definitions[0].bytes == Ascii(text);
        EXPECT_EQ(exact, restore);
    }
}

// ---- Dependencies: rounds until nothing more can be made ----

TEST(ScriptDependentObjects, RefusedObjectsRetriedAfterWhatTheyNeed) {
    ObjectRepair repair({{Row2005(12, Ascii("CREATE FUNCTION f2() RETURNS int AS BEGIN RETURN dbo.f1() END")),
                          Row2005(11, Ascii("CREATE FUNCTION f1() RETURNS int AS BEGIN RETURN 1 END")),
                          Row2005(22, Ascii("CREATE VIEW v2 AS SELECT * FROM v1")),
                          Row2005(21, Ascii("CREATE VIEW v1 AS SELECT dbo.f2() AS x")),
                          Row2005(23, Ascii("CREATE VIEW v3 AS SELECT * FROM missing"))}},
                        true);
    ASSERT_TRUE(repair.opened());
    auto& engine = repair.engine();
    repair.Add(engine.m_lstFunctions, 11, u"f1");
    repair.Add(engine.m_lstFunctions, 12, u"f2");
    repair.Add(engine.m_lstViews, 21, u"v1");
    repair.Add(engine.m_lstViews, 22, u"v2");
    repair.Add(engine.m_lstViews, 23, u"v3");
    repair.server->needs = {{u"FUNCTION f2", u"FUNCTION f1"}, {u"VIEW v1", u"FUNCTION f2"},
                            {u"VIEW v2", u"VIEW v1"}, {u"VIEW v3", u"TABLE missing"}};

    engine.ScriptUserFunctions();  // before the tables: f2 needs f1, which comes after it
    EXPECT_EQ(repair.server->accepted, Texts{u"CREATE FUNCTION f1() RETURNS int AS BEGIN RETURN 1 END"});
    EXPECT_EQ(repair.File("User_Defined_Function.txt"), "<missing>");  // nothing reported yet

    repair.server->executed.clear();
    engine.ScriptDependentObjects(true, true, true);
    const Texts expected = {
        // round 1: views in row order, then the function not made yet (f1 is not sent again)
        u"CREATE VIEW v2 AS SELECT * FROM v1", u"CREATE VIEW v1 AS SELECT dbo.f2() AS x",
        u"CREATE VIEW v3 AS SELECT * FROM missing", u"CREATE FUNCTION f2() RETURNS int AS BEGIN RETURN dbo.f1() END",
        // round 2
        u"CREATE VIEW v2 AS SELECT * FROM v1", u"CREATE VIEW v1 AS SELECT dbo.f2() AS x",
        u"CREATE VIEW v3 AS SELECT * FROM missing",
        // round 3
        u"CREATE VIEW v2 AS SELECT * FROM v1", u"CREATE VIEW v3 AS SELECT * FROM missing",
        // round 4 makes nothing
        u"CREATE VIEW v3 AS SELECT * FROM missing"};
    EXPECT_EQ(repair.server->executed, expected);
    EXPECT_EQ(repair.File("Views.txt"), Entry("CREATE VIEW v3 AS SELECT * FROM missing"));
    EXPECT_EQ(repair.File("User_Defined_Function.txt"), "");
    EXPECT_EQ(repair.File("StoredProcedure.txt"), "");
    EXPECT_EQ(engine.m_repairTally[ObjectKind::View].created, 2u);
    EXPECT_EQ(engine.m_repairTally[ObjectKind::View].refused, 1u);
    EXPECT_EQ(engine.m_repairTally[ObjectKind::Function].created, 2u);
}

// ---- A lost link ----

TEST(RunObjectStatement, LostLinkOpenedAgainAndSentOnce) {
    keytest::KeyEngine keys(testsupport::FileBuilder{});
    auto& engine = keys.engine();
    auto backend = std::make_shared<platform::RecordingSqlBackend>();
    engine.m_pConnection = std::make_shared<platform::Connection>(backend);
    engine.m_pConnection->Open(u"target");
    keys.app().m_strServerInstance = u"db";
    keys.app().m_strContentDbName = u"Recovered_x";
    backend->DropConnectionFor(1);
    EXPECT_TRUE(engine.RunObjectStatement(u"CREATE VIEW v AS SELECT 1"));
    EXPECT_EQ(backend->m_accepted.size(), 1u);
    backend->DropConnectionFor(2);  // lost again after the re-open: refused, not sent a third time
    EXPECT_FALSE(engine.RunObjectStatement(u"CREATE VIEW w AS SELECT 1"));
    EXPECT_EQ(backend->m_executed.size(), 4u);
}

// ---- Failure files and stop ----

TEST(FailureFiles, UnwritableFileReportedOnceEntriesKept) {
    ObjectRepair repair({{Row2005(1, Ascii("CREATE VIEW a AS SELECT 1")), Row2005(2, Ascii("CREATE VIEW b AS SELECT 2"))}},
                        true);
    ASSERT_TRUE(repair.opened());
    auto& engine = repair.engine();
    repair.Add(engine.m_lstViews, 1, u"a");
    repair.Add(engine.m_lstViews, 2, u"b");
    engine.m_strFailureFolder = platform::FromUtf8((repair.folder() / "no such folder").string());
    repair.server->refuse = {u"VIEW"};
    engine.ScriptDependentObjects(true, false, false);
    std::size_t reports = 0;
    for (const auto& line : repair.log) reports += line.find(u"could not be written") != std::u16string::npos;
    EXPECT_EQ(reports, 1u);
    ASSERT_EQ(engine.m_repairTally.unwritten_entries.size(), 2u);
    EXPECT_EQ(engine.m_repairTally.unwritten_entries[1].second, u"CREATE VIEW b AS SELECT 2");
}

TEST(StoredObjectPasses, StopBeforeAPassSendsNothing) {
    using Pass = void (mdf::CRecoveryEngine::*)();
    const Pass passes[] = {&mdf::CRecoveryEngine::ScriptRules, &mdf::CRecoveryEngine::ScriptDefaults,
                           &mdf::CRecoveryEngine::ScriptDefaultConstraints, &mdf::CRecoveryEngine::ScriptTriggers,
                           &mdf::CRecoveryEngine::ScriptUserFunctions};
    for (const Pass pass : passes) {
        ObjectRepair repair({{Row2005(1, Ascii("CREATE RULE r AS 1")), Row2005(2, Ascii("CREATE TRIGGER t ON x FOR INSERT AS SELECT 1"))}},
                            true);
        ASSERT_TRUE(repair.opened());
        auto& engine = repair.engine();
        repair.Add(engine.m_lstRules, 1, u"r");
        repair.Add(engine.m_lstDefaults, 1, u"d");
        repair.Add(engine.m_lstTriggers, 2, u"t");
        repair.Add(engine.m_lstFunctions, 1, u"f");
        repair.app().m_bStopJob = true;
        (engine.*pass)();
        EXPECT_TRUE(repair.server->executed.empty());
        EXPECT_EQ(repair.sink().Count(platform::WM_JOB_ENDED), 1u);
    }
}

}  // namespace
