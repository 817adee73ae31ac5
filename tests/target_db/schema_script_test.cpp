// The steps of the schema side against the recording backend: what is sent, in which order, what a refusal
// changes, and what the report says. Catalogue rows that the steps read from pages (types, foreign-key columns,
// definition texts) are placed on pages of a small file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <set>

#include "platform/recording_sql_backend.h"
#include "platform/text.h"
#include "target_db/schema_script.h"
#include "tests/mdf/record_bytes.h"
#include "tests/support/page_builder.h"
#include "tests/target_db/column_node_builder.h"

namespace {

using recordbytes::Bytes;
using recordbytes::Put16;
using recordbytes::Put32;

std::string U8(const std::u16string& s) { return platform::ToUtf8(s); }

Bytes Utf16(std::u16string_view text) {
    Bytes b;
    for (char16_t c : text) {
        b.push_back(static_cast<std::uint8_t>(c));
        b.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return b;
}

using columnbuilder::Column;

class SchemaScript : public ::testing::Test {
protected:
    void SetUp() override {
        app.m_bSql2005Catalog = true;
        engine = std::make_unique<mdf::CRecoveryEngine>(app, &sink);
        backend = std::make_shared<platform::RecordingSqlBackend>();
        engine->m_pConnection = std::make_shared<platform::Connection>(backend);
        engine->m_pConnection->Open(u"test");
        script = std::make_unique<target::RepairScript>(*engine);
    }
    void TearDown() override {
        if (!file.empty()) std::filesystem::remove(file);
    }

    // Writes pages 1.. with the given builders and opens the file in the engine.
    void UsePages(const std::vector<testsupport::PageBuilder>& pages) {
        testsupport::FileBuilder builder;
        for (std::size_t i = 0; i < pages.size(); ++i) builder.SetPage(i + 1, pages[i]);
        builder.PageCount(pages.size() + 1);
        file = std::filesystem::path(::testing::TempDir()) /
               ("schema_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + ".mdf");
        builder.WriteTo(file);
        app.m_strDataFilePath = platform::FromUtf8(file.string());
        ASSERT_TRUE(engine->OpenDataFile());
    }

    mdf::TableNode& AddTable(std::u16string name, std::int32_t object_id) {
        mdf::TableNode& table = engine->AddTable();
        table.m_pszName = std::move(name);
        table.m_strSchema = u"dbo";
        table.m_nObjectId = object_id;
        return table;
    }

    std::vector<std::string> Sent() const {
        std::vector<std::string> out;
        for (const auto& s : backend->m_executed) out.push_back(U8(s.m_strText));
        return out;
    }

    platform::SharedState app;
    platform::RecordingSink sink;
    std::unique_ptr<mdf::CRecoveryEngine> engine;
    std::shared_ptr<platform::RecordingSqlBackend> backend;
    std::unique_ptr<target::RepairScript> script;
    std::filesystem::path file;
};

TEST_F(SchemaScript, RefusedTablesGetOnePlainFallbackAndKeysWaitForTheRows) {
    target::BeginRepair(*script);  // the repair starts before the keys are read
    auto& refused = AddTable(u"dbo.Gone", 1);
    refused.m_lstColumns.push_back(Column(u"a", 1, 56, 4));
    refused.m_nRowCount = 7;
    auto& plain = AddTable(u"dbo.Plain", 2);
    auto id = Column(u"Id", 1, 56, 4, true);
    id.m_strIdentitySeed = u"1";
    id.m_strIdentityIncrement = u"1";
    plain.m_lstColumns.push_back(id);
    auto& keyed = AddTable(u"dbo.Keyed", 3);
    keyed.m_lstColumns.push_back(Column(u"k", 1, 56, 4, true));
    keyed.m_strPrimaryKeyName = u"PK_Keyed";
    keyed.m_arrPrimaryKey = {{1, false}};
    mdf::structIndex clustered;
    clustered.m_strName = u"CX";
    clustered.m_bClustered = true;
    clustered.m_arrColumns = {{1, false, false}};
    mdf::structIndex nonclustered = clustered;
    nonclustered.m_strName = u"IX";
    nonclustered.m_bClustered = false;
    mdf::structUniqueKey unique;
    unique.m_strName = u"UQ";
    unique.m_arrColumns = {{1, false, false}};
    keyed.m_lstIndexes = {nonclustered, clustered};
    keyed.m_lstUniqueKeys = {unique};

    backend->RefuseContaining(u"[dbo].[Gone]");
    backend->RefuseContaining(u"IDENTITY(");

    EXPECT_EQ(target::ScriptTables(*script), target::StepOutcome::Done);
    EXPECT_EQ(Sent(), (std::vector<std::string>{
                          "create table [dbo].[Gone]([a] int NULL)",
                          "create table [dbo].[Gone]([a] int NULL)",
                          "create table [dbo].[Plain]([Id] int IDENTITY(1 ,1 ) NOT NULL)",
                          "create table [dbo].[Plain]([Id] int NULL)",
                          "create table [dbo].[Keyed]([k] int NOT NULL,CONSTRAINT [PK_Keyed] PRIMARY KEY NONCLUSTERED ( [k] ));",
                          "create clustered index [CX] on [dbo].[Keyed] ([k]) ",
                      }));
    EXPECT_FALSE(target::TableCreated(*script, refused));
    EXPECT_TRUE(target::TableCreated(*script, plain));
    EXPECT_TRUE(target::TableCreated(*script, keyed));
    EXPECT_EQ(script->m_report.RefusedIn(target::kStepTable).size(), 3u);
    bool said_rows = false;
    for (const auto& note : script->m_report.m_arrNotes) said_rows |= U8(note).find("its 7 rows are not sent") != std::string::npos;
    EXPECT_TRUE(said_rows);

    backend->m_executed.clear();
    target::ScriptKeysAfterRows(*script);
    EXPECT_EQ(Sent(), (std::vector<std::string>{"create index [IX] on [dbo].[Keyed] ([k]) ",
                                                "ALTER TABLE [dbo].[Keyed] ADD CONSTRAINT [UQ] UNIQUE nonclustered ([k]) "}));
}

// Two owners' tables of one name in a 2000 file: the server makes the first and refuses the second, whose
// refusal must not keep the first one's rows away.
TEST_F(SchemaScript, SecondTableOfANameRefusedLeavesTheFirstMade) {
    app.m_bSql2005Catalog = false;
    auto& first = AddTable(u"Notes", 10);
    first.m_lstColumns = {Column(u"Text", 1, 56, 4)};
    auto& second = AddTable(u"Notes", 20);
    second.m_lstColumns = {Column(u"Body", 1, 56, 4)};
    backend->RefuseContaining(u"[Body]");
    EXPECT_EQ(target::ScriptTables(*script), target::StepOutcome::Done);
    EXPECT_TRUE(target::TableCreated(*script, first));
    EXPECT_FALSE(target::TableCreated(*script, second));
}

TEST_F(SchemaScript, ATableWithoutColumnsIsSkippedWithAReportLine) {
    auto& empty = AddTable(u"dbo.trace_xe_action_map", 1);
    auto& with_rows = AddTable(u"dbo.Lost", 2);
    with_rows.m_nRowCount = 3;
    AddTable(u"dbo.T", 3).m_lstColumns.push_back(Column(u"a", 1, 56, 4));
    target::BeginRepair(*script);
    EXPECT_EQ(target::ScriptTables(*script), target::StepOutcome::Done);
    // Neither "create table [x]()" nor its plain form goes out.
    EXPECT_EQ(Sent(), std::vector<std::string>{"create table [dbo].[T]([a] int NULL)"});
    EXPECT_FALSE(target::TableCreated(*script, empty));
    EXPECT_FALSE(target::TableCreated(*script, with_rows));
    ASSERT_EQ(script->m_report.m_arrNotes.size(), 1u);
    EXPECT_NE(U8(script->m_report.m_arrNotes[0]).find("dbo.trace_xe_action_map"), std::string::npos);
    // Rows that cannot be written are a loss the repair reports as a problem.
    ASSERT_EQ(script->m_report.m_arrLeftOut.size(), 1u);
    EXPECT_EQ(U8(script->m_report.m_arrLeftOut[0].m_strObject), "dbo.Lost");
}

TEST_F(SchemaScript, AStopEndsTheStepAfterTheTableBeingScripted) {
    AddTable(u"dbo.A", 1).m_lstColumns.push_back(Column(u"a", 1, 56, 4));
    AddTable(u"dbo.B", 2).m_lstColumns.push_back(Column(u"b", 1, 56, 4));
    app.m_bStopJob = true;
    EXPECT_EQ(target::ScriptTables(*script), target::StepOutcome::Stopped);
    EXPECT_EQ(Sent(), std::vector<std::string>{"create table [dbo].[A]([a] int NULL)"});
    EXPECT_EQ(sink.Count(platform::WM_JOB_ENDED), 1u);
}

TEST_F(SchemaScript, ListsStartEmptyAndEveryListedStatementIsTriedOnce) {
    auto& a = AddTable(u"dbo.A", 1);
    auto& gone = AddTable(u"dbo.Gone", 2);
    // What an earlier repair on the same engine left behind.
    engine->m_arrDeferredStatements = {u"old"};
    engine->m_arrRetryStatements = {u"old"};
    a.m_arrStatements = {u"old"};
    engine->AddUserType().m_strName = u"old";
    script->m_setTablesNotCreated.insert(u"dbo.A");
    a.m_arrPrimaryKey = {{1, false}};
    a.m_arrPrimaryKey2000 = {{1, false}};
    a.m_strPrimaryKeyName = u"PK_A";
    a.m_bClusteredPrimaryKey = true;
    a.m_lstIndexes.emplace_back().m_strName = u"IX";
    a.m_lstUniqueKeys.emplace_back().m_strName = u"UQ";
    engine->AddStatistics().m_strName = u"st";
    engine->AddIndexColumnNode().m_nObjectId = 1;
    target::BeginRepair(*script);
    // Read again by this repair: kept, every key, index and statistics statement would go out twice.
    EXPECT_TRUE(a.m_arrPrimaryKey.empty());
    EXPECT_TRUE(a.m_arrPrimaryKey2000.empty());
    EXPECT_TRUE(a.m_strPrimaryKeyName.empty());
    EXPECT_FALSE(a.m_bClusteredPrimaryKey);
    EXPECT_TRUE(a.m_lstIndexes.empty());
    EXPECT_TRUE(a.m_lstUniqueKeys.empty());
    EXPECT_TRUE(engine->m_lstStatistics.empty());
    EXPECT_TRUE(engine->m_lstIndexColumns.empty());
    EXPECT_TRUE(engine->m_arrDeferredStatements.empty());
    EXPECT_TRUE(engine->m_arrRetryStatements.empty());
    EXPECT_TRUE(a.m_arrStatements.empty());
    EXPECT_TRUE(engine->m_lstUserTypes.empty());
    EXPECT_TRUE(target::TableCreated(*script, a));

    a.m_arrStatements = {u"check 1", u"check 2"};
    gone.m_arrStatements = {u"check of a table that was not created"};
    script->m_setTablesNotCreated.insert(u"dbo.Gone");
    engine->m_arrDeferredStatements = {u"fk 1", u"", u"fk 2"};
    engine->m_arrRetryStatements = {u"fn 1", u"fn 2"};
    backend->RefuseContaining(u"1");
    target::RunTableStatements(*script);
    EXPECT_EQ(target::RunDeferredStatements(*script), 3u);
    target::RetryFailedStatements(*script);
    EXPECT_EQ(Sent(), (std::vector<std::string>{"check 1", "check 2", "fk 1", "fk 2", "fn 1", "fn 2"}));
    EXPECT_EQ(script->m_report.m_arrRefused.size(), 3u);
    EXPECT_EQ(script->m_report.RefusedIn(target::kStepCheck).size(), 1u);
}

// A statement that reads every row (index, unique key, check, foreign key, retry) may run for as long as it
// takes, where the empty tables' statements keep the command's limit; Stop, not a timeout, ends it, and ends
// each of those steps before it sends anything more.
TEST_F(SchemaScript, StatementsAfterTheRowsHaveNoTimeLimitAndEndAtAStop) {
    auto& keyed = AddTable(u"dbo.Keyed", 3);
    keyed.m_lstColumns.push_back(Column(u"k", 1, 56, 4, true));
    mdf::structIndex index;
    index.m_strName = u"IX";
    index.m_arrColumns = {{1, false, false}};
    // The repair starts by forgetting the keys of an earlier one; this one's are read after that.
    target::BeginRepair(*script);
    keyed.m_lstIndexes = {index};
    EXPECT_EQ(target::ScriptTables(*script), target::StepOutcome::Done);
    keyed.m_arrStatements = {u"check"};
    engine->m_arrDeferredStatements = {u"foreign key"};
    engine->m_arrRetryStatements = {u"retry"};
    const std::function<void()> after_rows[] = {[&] { target::ScriptKeysAfterRows(*script); },
                                                [&] { target::RunTableStatements(*script); },
                                                [&] { target::RunDeferredStatements(*script); },
                                                [&] { target::RetryFailedStatements(*script); }};
    for (const auto& step : after_rows) step();
    std::vector<std::pair<std::string, int>> limits;
    for (const auto& s : backend->m_executed) limits.emplace_back(U8(s.m_strText), s.m_nTimeoutSeconds);
    EXPECT_EQ(limits, (std::vector<std::pair<std::string, int>>{
                          {"create table [dbo].[Keyed]([k] int NOT NULL)", target::kEmptyTableTimeoutSeconds},
                          {"create index [IX] on [dbo].[Keyed] ([k]) ", platform::kNoTimeLimit},
                          {"check", platform::kNoTimeLimit},
                          {"foreign key", platform::kNoTimeLimit},
                          {"retry", platform::kNoTimeLimit}}));

    backend->m_executed.clear();
    app.m_bStopJob = true;
    for (const auto& step : after_rows) step();
    EXPECT_TRUE(Sent().empty());
    // A later repair on the same engine starts with the limit again.
    target::BeginRepair(*script);
    EXPECT_EQ(script->m_nTimeoutSeconds, target::kEmptyTableTimeoutSeconds);
}

TEST_F(SchemaScript, ALostLinkIsReopenedAndTheStatementTriedAgain) {
    app.m_strContentDbName = u"Recovered_x";
    backend->DropConnectionFor(1);
    EXPECT_TRUE(target::RunStatement(*script, target::kStepTable, u"T", u"create table [T]([a] int NULL)"));
    EXPECT_EQ(backend->m_accepted.size(), 1u);
    EXPECT_TRUE(script->m_report.m_arrRefused.empty());
}

// A collation written otherwise than stored is named once per id, among the report's changes (the end text
// shows them); the log gets it once, through the report.
TEST_F(SchemaScript, CollationsWrittenOtherwiseAreNamedOncePerId) {
    auto& t = AddTable(u"dbo.T", 1);
    auto a = Column(u"a", 1, 167, 10);
    a.m_nCollationId = 0x11029;
    auto b = a;
    b.m_pszName = u"b";
    b.m_nColumnId = 2;
    auto c = a;
    c.m_pszName = u"c";
    c.m_nColumnId = 3;
    c.m_nCollationId = 0x0004;
    auto d = a;
    d.m_pszName = u"d";
    d.m_nColumnId = 4;
    d.m_nCollationId = 0xD022;  // Hindi_CI_AS, which current servers no longer have
    auto e = a;
    e.m_pszName = u"e";
    e.m_nColumnId = 5;
    e.m_nCollationId = 0x00F0D008;  // bits 20-23 set: no collation
    t.m_lstColumns = {a, b, c, d, e};
    target::ScriptTables(*script);
    ASSERT_EQ(script->m_report.m_arrChanged.size(), 4u);
    EXPECT_EQ(U8(script->m_report.m_arrChanged[0]),
              "collation id 0x00011029 names no collation: written as Latin1_General_CI_AS");
    EXPECT_EQ(U8(script->m_report.m_arrChanged[2]),
              "collation Hindi_CI_AS is not on current servers: written as Indic_General_90_CI_AS");
    EXPECT_EQ(U8(script->m_report.m_arrChanged[3]),
              "collation id 0x00F0D008 names no collation: written as Latin1_General_CI_AS");
    EXPECT_TRUE(script->m_report.m_arrNotes.empty());
    EXPECT_EQ(sink.Count(platform::WM_LOG_LINE), 0u) << "the report is what the log shows, once";
    EXPECT_NE(Sent()[0].find("[d] varchar(10) collate Indic_General_90_CI_AS"), std::string::npos);
}

// A foreign key is named wherever it is reported; nothing of a table the server did not create is sent (two
// tables of one name in a 2000 file: the keys and statistics of the second would land on the first).
TEST_F(SchemaScript, NothingOfATableNotCreatedAndKeysByName) {
    app.m_bSql2005Catalog = false;
    auto& first = AddTable(u"Notes", 10);
    first.m_lstColumns = {Column(u"Id", 1, 56, 4)};
    auto& second = AddTable(u"Notes", 20);
    second.m_lstColumns = {Column(u"Body", 1, 56, 4)};
    auto& other = AddTable(u"Other", 30);
    other.m_lstColumns = {Column(u"Ref", 1, 56, 4)};
    backend->RefuseContaining(u"[Body]");
    backend->RefuseContaining(u"FK_Refused");
    target::BeginRepair(*script);
    engine->m_arrDeferredStatements = {u"ALTER TABLE [Other] ADD CONSTRAINT [FK_Refused] FOREIGN KEY ([Ref]) REFERENCES [Notes]([Id])",
                                       u"ALTER TABLE [Notes] ADD CONSTRAINT [FK_Second] FOREIGN KEY ([Body]) REFERENCES [Other]([Ref])"};
    script->m_arrDeferredKeys = {{u"FK_Refused", &other, &first}, {u"FK_Second", &second, &other}};
    engine->m_lstStatistics.push_back({20, u"st_Body", 2});
    engine->m_lstIndexColumns.push_back({20, 2, 1, 1, 0});
    target::ScriptTables(*script);
    EXPECT_EQ(engine->m_repairTally.tables_not_created, (std::set<std::int32_t>{20}));
    backend->m_executed.clear();
    target::ScriptStatistics(*script);
    target::RunDeferredStatements(*script);
    EXPECT_EQ(Sent(), (std::vector<std::string>{U8(engine->m_arrDeferredStatements[0])}));
    const auto refused = script->m_report.RefusedIn(target::kStepForeignKey);
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(U8(refused[0].m_strObject), "FK_Refused");
    const auto left_out = script->m_report.LeftOutIn();
    std::vector<std::string> objects;
    for (const auto& entry : left_out) objects.push_back(U8(entry.m_strObject));
    EXPECT_EQ(objects, (std::vector<std::string>{"st_Body", "FK_Second"}));
}

// sysscalartypes row: 4 type id, 12 base type, 13 length, 15 precision, 16 scale, 21 status (0x01 NOT NULL),
// 41 default, 45 rule, 55 end of the name, 57 the name.
Bytes TypeRow2005(std::int32_t id, std::uint8_t base, std::uint16_t length, bool not_null, std::u16string_view name) {
    Bytes r(57, 0);
    r[0] = 0x30;
    Put16(r, 2, 53);
    Put32(r, 4, static_cast<std::uint32_t>(id));
    r[12] = base;
    Put16(r, 13, length);
    r[21] = not_null ? 1 : 0;
    const Bytes text = Utf16(name);
    Put16(r, 55, static_cast<std::uint16_t>(57 + text.size()));
    r.insert(r.end(), text.begin(), text.end());
    return r;
}

TEST_F(SchemaScript, OnlyTypesTheServerAcceptedAreUsedByTheTables) {
    testsupport::PageBuilder page;
    page.Type(testsupport::kDataPage).ObjectId(50);
    page.AddRecord(TypeRow2005(56, 56, 4, false, u"int"));  // a built-in type: no statement
    page.AddRecord(TypeRow2005(257, 167, 20, true, u"Phone"));
    page.AddRecord(TypeRow2005(258, 167, 10, false, u"Zip'Code"));
    page.AddRecord(TypeRow2005(259, 250, 8, false, u"Odd"));
    UsePages({page});
    engine->m_plTypes.Add(8192, 4);
    const auto folder = std::filesystem::path(::testing::TempDir()) / "schema_failures";
    std::filesystem::create_directories(folder);
    engine->m_strFailureFolder = platform::FromUtf8(folder.string());
    backend->RefuseContaining(u"Zip'Code");

    target::BeginRepair(*script);
    target::ScriptUserTypes(*script);
    EXPECT_EQ(Sent(), (std::vector<std::string>{"create type  [Phone] from [varchar](20) NOT NULL",
                                                "create type  [Zip'Code] from [varchar](10) NULL",
                                                "create type  [Odd] from [varbinary](MAX) NULL"}));
    EXPECT_EQ(engine->m_lstUserTypes.size(), 3u) << "every user type is listed for the bindings";
    EXPECT_EQ(script->m_report.LeftOutIn(target::kStepUserType).size(), 1u) << "the unknown base type is said";

    // The refused statement is the one failure entry of DataTypes.txt.
    std::ifstream in(folder / "DataTypes.txt", std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string separator("\x0A\x0D\x0A\x0D\x0A\x0D\x0A\x0D", 8);
    const Bytes body = Utf16(u"create type  [Zip'Code] from [varchar](10) NULL");
    EXPECT_EQ(bytes, separator + std::string(body.begin(), body.end()) + separator + std::string(135, '='));
    std::filesystem::remove_all(folder);

    auto& t = AddTable(u"dbo.T", 1);
    auto phone = Column(u"p", 1, 167, 20, true);
    phone.m_nUserTypeId = 257;
    auto zip = Column(u"z", 2, 167, 10);
    zip.m_nUserTypeId = 258;
    t.m_lstColumns = {phone, zip};
    backend->m_executed.clear();
    target::ScriptTables(*script);
    EXPECT_EQ(Sent(), std::vector<std::string>{
                          "create table [dbo].[T]([p] [Phone] collate Latin1_General_CI_AS NOT NULL,[z] varchar(10) collate "
                          "Latin1_General_CI_AS NULL)"});
}

// systypes row (2000): 4 base type | 5 status (0x01 NOT NULL) | 6 user type number | 8 length | 10 precision |
// 11 scale | 28 a byte that is 12 in rows to pass over | 31 end of the name | 33 the name.
Bytes TypeRow2000(std::uint8_t base, std::uint16_t number, std::uint16_t length, bool not_null, std::u16string_view name) {
    Bytes r(33, 0);
    r[0] = 0x30;
    Put16(r, 2, 29);
    r[4] = base;
    r[5] = not_null ? 1 : 0;
    Put16(r, 6, number);
    Put16(r, 8, length);
    const Bytes text = Utf16(name);
    Put16(r, 31, static_cast<std::uint16_t>(33 + text.size()));
    r.insert(r.end(), text.begin(), text.end());
    return r;
}

TEST_F(SchemaScript, UserTypesOf2000Files) {
    app.m_bSql2005Catalog = false;
    testsupport::PageBuilder page;
    page.Type(testsupport::kDataPage).ObjectId(4);
    page.AddRecord(TypeRow2000(231, 256, 256, true, u"sysname"));  // the server's own
    page.AddRecord(TypeRow2000(167, 257, 11, true, u"id"));
    page.AddRecord(TypeRow2000(59, 258, 4, false, u"ra'te"));
    UsePages({page});
    engine->m_plTypes.Add(8192, 3);
    target::ScriptUserTypes(*script);
    EXPECT_EQ(Sent(), (std::vector<std::string>{"EXEC sp_addtype N'id',N'varchar(11)','NOT NULL'",
                                                "EXEC sp_addtype N'ra''te',N'real','NULL'"}));
    // A column of type id: type code 167, status 1, user type 257, found with the status byte cleared.
    auto& t = AddTable(u"T", 1);
    auto column = Column(u"a", 1, 167, 11, true);
    column.m_dwTypeInfo2000 = 167u | (0x01u << 8) | (257u << 16);
    t.m_lstColumns = {column};
    backend->m_executed.clear();
    target::ScriptTables(*script);
    EXPECT_EQ(Sent(), std::vector<std::string>{"create table [T]([a] [id] collate Latin1_General_CI_AS NOT NULL)"});
}

// Foreign-key column row (2005): 2 fixed end 25 | 4 class | 5 constraint | 9 ordinal | 13 table | 17 column.
Bytes KeyColumnRow(std::uint8_t cls, std::int32_t constraint, std::uint32_t ordinal, std::int32_t table,
                   std::uint32_t column) {
    Bytes r(25, 0);
    r[0] = 0x10;
    r[2] = 25;
    r[4] = cls;
    Put32(r, 5, static_cast<std::uint32_t>(constraint));
    Put32(r, 9, ordinal);
    Put32(r, 13, static_cast<std::uint32_t>(table));
    Put32(r, 17, column);
    return r;
}

TEST_F(SchemaScript, ForeignKeyColumnsPairByOrdinalAndBadKeysAreLeftOut) {
    auto& details = AddTable(u"dbo.Order Details", 10);
    details.m_lstColumns = {Column(u"OrderID", 1, 56, 4), Column(u"Line]", 2, 56, 4)};
    auto& orders = AddTable(u"dbo.Orders", 20);
    orders.m_lstColumns = {Column(u"Id", 1, 56, 4), Column(u"Line", 2, 56, 4)};
    testsupport::PageBuilder page;
    page.Type(testsupport::kDataPage).ObjectId(74);
    // Key 100: the rows of the second column come first.
    page.AddRecord(KeyColumnRow(28, 100, 2, 10, 2));
    page.AddRecord(KeyColumnRow(29, 100, 2, 20, 2));
    page.AddRecord(KeyColumnRow(28, 100, 1, 10, 1));
    page.AddRecord(KeyColumnRow(29, 100, 1, 20, 1));
    // Key 200 names a column the referenced table does not have; key 300 has no column rows.
    page.AddRecord(KeyColumnRow(28, 200, 1, 10, 1));
    page.AddRecord(KeyColumnRow(29, 200, 1, 20, 9));
    UsePages({page});
    engine->m_plForeignKeyColumns.Add(8192, 6);
    engine->m_arrForeignKeys2005 = {{u"FK_Details", 100, 0x40, 10}, {u"FK_Bad", 200, 0, 10}, {u"FK_None", 300, 0, 10}};

    target::BeginRepair(*script);
    target::PrepareForeignKeys(*script);
    ASSERT_EQ(engine->m_arrDeferredStatements.size(), 2u);
    EXPECT_EQ(U8(engine->m_arrDeferredStatements[0]),
              "ALTER TABLE [dbo].[Order Details] WITH NOCHECK ADD CONSTRAINT [FK_Details] FOREIGN KEY ([OrderID],[Line]]]) "
              "REFERENCES [dbo].[Orders]([Id],[Line]) ON DELETE CASCADE");
    EXPECT_EQ(U8(engine->m_arrDeferredStatements[1]),
              "ALTER TABLE [dbo].[Order Details] WITH CHECK CHECK CONSTRAINT [FK_Details]");
    const auto left_out = script->m_report.LeftOutIn(target::kStepForeignKey);
    ASSERT_EQ(left_out.size(), 2u);
    EXPECT_EQ(U8(left_out[0].m_strObject), "FK_Bad");
    EXPECT_EQ(U8(left_out[1].m_strObject), "FK_None");
}

// sysreferences row (2000): 2 fixed end 20 | 4 constraint | 8 referencing table | 12 referenced table | 18 key
// count | 23 variable columns (2) | 25, 27 their ends | 29 the column ids of both sides.
Bytes ReferenceRow(std::int32_t constraint, std::int32_t from, std::int32_t to, std::uint16_t count,
                   const std::vector<std::uint16_t>& from_ids, const std::vector<std::uint16_t>& to_ids) {
    Bytes r(29, 0);
    r[0] = 0x30;
    r[2] = 20;
    Put32(r, 4, static_cast<std::uint32_t>(constraint));
    Put32(r, 8, static_cast<std::uint32_t>(from));
    Put32(r, 12, static_cast<std::uint32_t>(to));
    Put16(r, 18, count);
    Put16(r, 23, 2);
    for (auto id : from_ids) Put16(r, r.size(), id);
    Put16(r, 25, static_cast<std::uint16_t>(r.size()));
    for (auto id : to_ids) Put16(r, r.size(), id);
    Put16(r, 27, static_cast<std::uint16_t>(r.size()));
    return r;
}

TEST_F(SchemaScript, ForeignKeysOf2000Files) {
    app.m_bSql2005Catalog = false;
    auto& details = AddTable(u"Order Details", 10);
    details.m_lstColumns = {Column(u"OrderID", 1, 56, 4)};
    auto& orders = AddTable(u"Orders", 20);
    orders.m_lstColumns = {Column(u"Id", 1, 56, 4)};
    testsupport::PageBuilder page;
    page.Type(testsupport::kDataPage).ObjectId(14);
    page.AddRecord(ReferenceRow(100, 10, 20, 1, {1}, {1}));
    page.AddRecord(ReferenceRow(200, 10, 20, 3, {1}, {1}));  // three columns named, one held
    page.AddRecord(ReferenceRow(300, 10, 20, 1, {1}, {1}));  // no catalogue entry
    UsePages({page});
    engine->m_plReferences.Add(8192, 3);
    // FK_3's row is not on the pages: it is named, not dropped.
    engine->m_arrForeignKeys2000 = {{u"FK_1", 100, 0x09, 10}, {u"FK_2", 200, 0, 10}, {u"FK_3", 400, 0, 10}};

    target::PrepareForeignKeys(*script);
    ASSERT_EQ(engine->m_arrDeferredStatements.size(), 2u);
    EXPECT_EQ(U8(engine->m_arrDeferredStatements[0]),
              "ALTER TABLE [Order Details] WITH NOCHECK ADD CONSTRAINT [FK_1] FOREIGN KEY ([OrderID]) REFERENCES "
              "[Orders]([Id])");
    EXPECT_EQ(U8(engine->m_arrDeferredStatements[1]), "ALTER TABLE [Order Details] NOCHECK CONSTRAINT [FK_1]");
    const auto left_out = script->m_report.LeftOutIn(target::kStepForeignKey);
    ASSERT_EQ(left_out.size(), 3u);
    EXPECT_EQ(U8(left_out[2].m_strObject), "FK_3");
}

// syscomments row (2000): 4 object id | 10 sequence of the part | 19 end of the text | 21 the text (UTF-16).
Bytes CommentRow(std::int32_t object, std::uint16_t sequence, std::u16string_view text) {
    Bytes r(21, 0);
    r[0] = 0x30;
    r[2] = 14;
    Put32(r, 4, static_cast<std::uint32_t>(object));
    Put16(r, 10, sequence);
    const Bytes bytes = Utf16(text);
    Put16(r, 19, static_cast<std::uint16_t>(21 + bytes.size()));
    r.insert(r.end(), bytes.begin(), bytes.end());
    return r;
}

TEST_F(SchemaScript, A2000DefinitionSplitOverRowsIsJoinedInOrder) {
    app.m_bSql2005Catalog = false;
    auto& orders = AddTable(u"Orders", 20);
    orders.m_lstColumns = {Column(u"Qty", 1, 56, 4)};
    testsupport::PageBuilder page;
    page.Type(testsupport::kDataPage).ObjectId(6);
    page.AddRecord(CommentRow(500, 2, u" and [Qty] < 100)"));
    page.AddRecord(CommentRow(500, 1, u"([Qty] > 0"));
    page.AddRecord(CommentRow(600, 1, u"x"));  // shorter than 4 bytes of text is no text
    UsePages({page});
    engine->m_plDefinitions.Add(8192, 3);
    engine->m_arrCheckConstraints = {{u"CK_Qty", 500, 20, 0x00}, {u"CK_Short", 600, 20, 0}, {u"CK_Orphan", 700, 99, 0}};

    target::PrepareCheckConstraints(*script);
    ASSERT_EQ(orders.m_arrStatements.size(), 2u);
    EXPECT_EQ(U8(orders.m_arrStatements[0]),
              "ALTER TABLE [Orders] WITH NOCHECK ADD CONSTRAINT [CK_Qty] CHECK ( ([Qty] > 0 and [Qty] < 100) )");
    EXPECT_EQ(U8(orders.m_arrStatements[1]), "ALTER TABLE [Orders] WITH CHECK CHECK CONSTRAINT [CK_Qty]");
    EXPECT_EQ(script->m_report.LeftOutIn(target::kStepCheck).size(), 2u);
}

// sysobjvalues row (2005) whose text lies outside it: 5 object id | 24 end of the column with 0x8000 set |
// 32 root type 4 | 48 + 12k the k-th entry (page number, file, slot).
// 28: the text form of the records (2: 8-bit, else UTF-16).
Bytes OutsideDefinitionRow(std::int32_t object, std::uint32_t page, std::uint16_t slot, std::uint8_t form = 2) {
    Bytes r(60, 0);
    r[0] = 0x30;
    Put32(r, 5, static_cast<std::uint32_t>(object));
    r[28] = form;
    Put16(r, 24, 0x8000 | 60);
    r[32] = 4;
    Put32(r, 48, page);
    Put16(r, 54, slot);
    return r;
}

// A large-value data record: status, length, value id, type 3, the bytes.
Bytes TextRecord(std::string_view text) {
    Bytes r(14, 0);
    r[0] = 0x08;
    Put16(r, 2, static_cast<std::uint16_t>(14 + text.size()));
    Put16(r, 12, 3);
    r.insert(r.end(), text.begin(), text.end());
    return r;
}

TEST_F(SchemaScript, ACheckDefinitionStoredOutsideItsRowIsGathered) {
    auto& orders = AddTable(u"dbo.Orders", 20);
    orders.m_lstColumns = {Column(u"Qty", 1, 56, 4)};
    testsupport::PageBuilder definitions;
    definitions.Type(testsupport::kDataPage).ObjectId(60);
    definitions.AddRecord(OutsideDefinitionRow(500, 2, 1));
    testsupport::PageBuilder texts;
    texts.Type(0x0301);  // a text page
    texts.AddRecord(TextRecord("not this"));
    texts.AddRecord(TextRecord("([Qty]>(0))"));
    UsePages({definitions, texts});
    engine->m_plDefinitions.Add(8192, 1);
    engine->m_arrCheckConstraints = {{u"CK_Long", 500, 20, 0x00}};
    engine->m_bWideText = true;

    target::PrepareCheckConstraints(*script);
    ASSERT_EQ(orders.m_arrStatements.size(), 2u);
    EXPECT_EQ(U8(orders.m_arrStatements[0]),
              "ALTER TABLE [dbo].[Orders] WITH NOCHECK ADD CONSTRAINT [CK_Long] CHECK ( ([Qty]>(0)) )");
}

TEST_F(SchemaScript, StatisticsColumnsInKeyOrder) {
    auto& docs = AddTable(u"dbo.Docs", 30);
    docs.m_lstColumns = {Column(u"Title", 1, 56, 4), Column(u"Size", 2, 56, 4)};
    engine->AddStatistics() = {30, u"st_two", 3};
    engine->AddStatistics() = {30, u"st_none", 4};
    engine->AddStatistics() = {99, u"st_orphan", 2};
    engine->AddIndexColumnNode() = {30, 3, 2, 1, 0};  // Title second
    engine->AddIndexColumnNode() = {30, 3, 3, 7, 0};  // a column the table does not have
    engine->AddIndexColumnNode() = {30, 3, 1, 2, 0};  // Size first
    engine->AddIndexColumnNode() = {30, 4, 1, 9, 0};
    target::ScriptStatistics(*script);
    EXPECT_EQ(Sent(), std::vector<std::string>{"Create Statistics [st_two] on [dbo].[Docs] ([Size],[Title])"});
    // The statistics without columns is said; the one of a table outside the catalogue (a system table's) is not.
    const auto left_out = script->m_report.LeftOutIn(target::kStepStatistics);
    ASSERT_EQ(left_out.size(), 1u);
    EXPECT_EQ(U8(left_out[0].m_strObject), "st_none");
}

}  // namespace

namespace {

// sysobjvalues row (2005) with its text in the row: 5 object id | 24 end of the text | 32 the text.
Bytes InRowDefinitionRow(std::int32_t object, const Bytes& text) {
    Bytes r(32, 0);
    r[0] = 0x30;
    Put32(r, 5, static_cast<std::uint32_t>(object));
    r.insert(r.end(), text.begin(), text.end());
    Put16(r, 24, static_cast<std::uint16_t>(r.size()));
    return r;
}

Bytes Ascii(std::string_view text) { return {text.begin(), text.end()}; }

}  // namespace

TEST_F(SchemaScript, CheckTextsAreTakenWholeAndOnlyAsOneExpression) {
    using namespace std::string_literals;
    struct Case {
        const char* what;
        Bytes row;             // the definition row of constraint 500
        Bytes record;          // the text record at page 2, slot 0, for a text outside its row
        const char* sent;      // the ADD statement, or null when the constraint is left out
    };
    const std::string wide_record = [] {
        const Bytes b = Utf16(u"([Qty]>(0))");
        return std::string(b.begin(), b.end());
    }();
    const std::string wide_with_zero = [] {
        const Bytes b = Utf16(u"([Qty]>(0))\0AND ([Qty]<(9))"s);
        return std::string(b.begin(), b.end());
    }();
    const Case cases[] = {
        {"in the row, UTF-16", InRowDefinitionRow(500, Utf16(u"([Qty]>(0))")), TextRecord(""),
         "ALTER TABLE [dbo].[Orders] WITH NOCHECK ADD CONSTRAINT [CK] CHECK ( ([Qty]>(0)) )"},
        {"in the row, a zero before the end", InRowDefinitionRow(500, Ascii("([Qty]>(0)\0 or 1=1)"s)), TextRecord(""),
         nullptr},
        {"in the row, zeros after the end", InRowDefinitionRow(500, Ascii("([Qty]>(0))\0\0"s)), TextRecord(""),
         "ALTER TABLE [dbo].[Orders] WITH NOCHECK ADD CONSTRAINT [CK] CHECK ( ([Qty]>(0)) )"},
        {"in the row, a text that closes the statement", InRowDefinitionRow(500, Ascii("([Qty]>(0))) ; DROP TABLE x --")),
         TextRecord(""), nullptr},
        {"outside the row, UTF-16 records", OutsideDefinitionRow(500, 2, 0, 1), TextRecord(wide_record),
         "ALTER TABLE [dbo].[Orders] WITH NOCHECK ADD CONSTRAINT [CK] CHECK ( ([Qty]>(0)) )"},
        {"outside the row, 8-bit records", OutsideDefinitionRow(500, 2, 0, 2), TextRecord("([Qty]<(9))"),
         "ALTER TABLE [dbo].[Orders] WITH NOCHECK ADD CONSTRAINT [CK] CHECK ( ([Qty]<(9)) )"},
        {"outside the row, a text that closes the statement", OutsideDefinitionRow(500, 2, 0, 2),
         TextRecord("(1)) ; DROP DATABASE [victim] --"), nullptr},
        {"outside the row, 8-bit records with a zero before the end", OutsideDefinitionRow(500, 2, 0, 2),
         TextRecord("([Qty]>(0))\0AND ([Qty]<(9))"s), nullptr},
        {"outside the row, UTF-16 records with a zero before the end", OutsideDefinitionRow(500, 2, 0, 1),
         TextRecord(wide_with_zero), nullptr},
        {"outside the row, zeros after the end", OutsideDefinitionRow(500, 2, 0, 2), TextRecord("([Qty]<(9))\0\0"s),
         "ALTER TABLE [dbo].[Orders] WITH NOCHECK ADD CONSTRAINT [CK] CHECK ( ([Qty]<(9)) )"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TearDown();
        file.clear();
        SetUp();
        auto& orders = AddTable(u"dbo.Orders", 20);
        orders.m_lstColumns = {Column(u"Qty", 1, 56, 4)};
        testsupport::PageBuilder definitions;
        definitions.Type(testsupport::kDataPage).ObjectId(60);
        definitions.AddRecord(c.row);
        testsupport::PageBuilder texts;
        texts.Type(0x0301);  // a text page
        texts.AddRecord(c.record);
        UsePages({definitions, texts});
        engine->m_plDefinitions.Add(8192, 1);
        engine->m_arrCheckConstraints = {{u"CK", 500, 20, 0x00}};
        target::PrepareCheckConstraints(*script);
        if (c.sent == nullptr) {
            EXPECT_TRUE(orders.m_arrStatements.empty());
            EXPECT_EQ(script->m_report.LeftOutIn(target::kStepCheck).size(), 1u);
        } else {
            ASSERT_EQ(orders.m_arrStatements.size(), 2u);
            EXPECT_EQ(U8(orders.m_arrStatements[0]), c.sent);
        }
    }
}
