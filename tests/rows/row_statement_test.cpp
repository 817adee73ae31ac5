// The INSERT statements of hand-built rows against the recording backend: name forms, literals, computed
// columns, and the reaction to refused rows, lost connections and a missing connection.
#include "tests/rows/row_fixture.h"

using namespace rowtest;

TEST(InsertStatements, TableAndColumnNameForms) {
    struct Case {
        const char* name;
        const char16_t* table;
        const char16_t* schema;
        bool layout2005;
        bool identity;
        const char16_t* column;
        std::vector<std::string> statements;
    };
    const Case cases[] = {
        {"2005 layout with identity: the schema stays in IDENTITY_INSERT", u"dbo.Orders", u"dbo", true, true, u"Id",
         {"SET IDENTITY_INSERT [dbo].[Orders]ON", "insert into [dbo].[Orders] ([Id]) values (7) ;",
          "SET IDENTITY_INSERT [dbo].[Orders]OFF"}},
        {"identity table outside the default schema", u"sales.Orders", u"sales", true, true, u"Id",
         {"SET IDENTITY_INSERT [sales].[Orders]ON", "insert into [sales].[Orders] ([Id]) values (7) ;",
          "SET IDENTITY_INSERT [sales].[Orders]OFF"}},
        {"2000 layout", u"Orders", u"", false, true, u"Id",
         {"SET IDENTITY_INSERT [Orders] ON", "insert into [Orders] ([Id]) values (7) ;",
          "SET IDENTITY_INSERT [Orders] OFF"}},
        {"] doubled in column names", u"dbo.T", u"dbo", true, false, u"a]b", {"insert into [dbo].[T] ([a]]b]) values (7) ;"}},
        {"] doubled twice", u"dbo.T", u"dbo", true, false, u"x]]", {"insert into [dbo].[T] ([x]]]]]) values (7) ;"}},
        {"] doubled in table and schema names", u"s]1.t]2", u"s]1", true, false, u"c",
         {"insert into [s]]1].[t]]2] ([c]) values (7) ;"}},
        {"a schema name with a dot splits at the schema", u"a.b.c", u"a.b", true, false, u"c",
         {"insert into [a.b].[c] ([c]) values (7) ;"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RowFixture f;
        f.app_.m_bSql2005Catalog = c.layout2005;
        f.table_.m_pszName = c.table;
        f.table_.m_strSchema = c.schema;
        f.table_.m_bHasIdentity = c.identity;
        f.Column(1, 56, 4, c.column);
        auto backend = f.Connect();
        Record r;
        r.status = 0x10;
        r.fixed = {7, 0, 0, 0};
        f.Decode(r);
        EXPECT_EQ(Texts(backend->m_executed), c.statements);
        EXPECT_EQ(f.app_.m_nRecoveredCount.load(), 1u);
    }
}

TEST(InsertStatements, ComputedColumnsAndLiterals) {
    RowFixture f;
    f.Column(1, 56, 4, u"Id");
    f.Column(2, 36, 8, u"G");
    f.Column(3, 61, 24, u"When");
    f.Column(4, 104, 32, u"Flag").m_nBitPos = 1;
    f.Column(5, 60, 33, u"Price");
    f.Column(6, 56, 0, u"Total");  // computed last column: no trailing ","
    auto backend = f.Connect();
    Record r;
    r.status = 0x10;
    r.fixed = FromHex("0C000000 33221100554477668899AABBCCDDEEFF 00000000 00000000 02 3930000000000000");
    r.n = 6;
    f.Decode(r);
    ASSERT_EQ(backend->m_accepted.size(), 1u);
    EXPECT_EQ(U8(backend->m_accepted[0].m_strText),
              "insert into [dbo].[T] ([Id],[G],[When],[Flag],[Price]) values (12,'{00112233-4455-6677-8899-"
              "AABBCCDDEEFF}','1/1/1900 12:00:00.000 AM',1,1.2345) ;");
    EXPECT_EQ(backend->m_accepted[0].m_nTimeoutSeconds, 700);
}

TEST(InsertStatements, PersistedComputedColumnIsLeftOut) {
    RowFixture f;
    f.Column(1, 56, 4, u"Id");
    f.Column(2, 56, 8, u"Twice").m_bComputed = true;  // persisted: its value is stored in the row
    f.Column(3, 56, 12, u"Qty");
    auto backend = f.Connect();
    Record r;
    r.status = 0x10;
    r.fixed = FromHex("0C000000 18000000 05000000");
    r.n = 3;
    f.Decode(r);
    EXPECT_EQ(Texts(backend->m_accepted), std::vector<std::string>{"insert into [dbo].[T] ([Id],[Qty]) values (12,5) ;"});
}

TEST(InsertStatements, AllComputedTableInsertsDefaultValues) {
    RowFixture f;
    f.Column(1, 56, 0, u"a");
    f.Column(2, 56, 0, u"b");
    auto backend = f.Connect();
    Record r;
    r.status = 0x10;
    r.n = 2;
    f.Decode(r);
    EXPECT_EQ(Texts(backend->m_accepted), std::vector<std::string>{"insert into [dbo].[T] DEFAULT VALUES ;"});
}

TEST(RowExecution, RefusedRowIsNotCountedAndTheNextGoesIn) {
    RowFixture f;
    f.Column(1, 56, 4, u"Id");
    auto backend = f.Connect();
    backend->RefuseContaining(u"values (1)");
    Record r;
    r.status = 0x10;
    r.fixed = {1, 0, 0, 0};
    f.Decode(r);
    EXPECT_EQ(f.app_.m_nRecoveredCount.load(), 0u);
    r.fixed = {2, 0, 0, 0};
    f.Decode(r);
    EXPECT_EQ(f.app_.m_nRecoveredCount.load(), 1u);
    EXPECT_EQ(f.sink_.Count(platform::WM_RECORD_COUNT), 1u);
    EXPECT_EQ(Texts(backend->m_accepted), std::vector<std::string>{"insert into [dbo].[T] ([Id]) values (2) ;"});
}

TEST(RowExecution, LostConnectionIsReopenedAndTheRowTriedAgain) {
    RowFixture f;
    f.table_.m_bHasIdentity = true;
    f.Column(1, 56, 4, u"Id");
    auto backend = f.Connect();
    backend->DropConnectionFor(1);  // the IDENTITY_INSERT ON of the first try meets the dropped link
    Record r;
    r.status = 0x10;
    r.fixed = {1, 0, 0, 0};
    f.Decode(r);
    EXPECT_EQ(f.app_.m_nRecoveredCount.load(), 1u);
    ASSERT_EQ(backend->m_openedWith.size(), 2u);
    EXPECT_EQ(U8(backend->m_openedWith[1]),
              "DRIVER={FreeTDS};SERVER={srv};DATABASE={Recovered_t};TDS_Version={7.4};Language={us_english};Trusted_Connection={Yes}");
    EXPECT_EQ(Texts(backend->m_accepted),
              (std::vector<std::string>{"SET IDENTITY_INSERT [dbo].[T]ON", "insert into [dbo].[T] ([Id]) values (1) ;",
                                        "SET IDENTITY_INSERT [dbo].[T]OFF"}));
    EXPECT_FALSE(f.app_.m_bStopJob.load());

    // Lost on the INSERT itself: the same row goes in after the re-open, once.
    backend->m_accepted.clear();
    backend->DropConnectionFor(1);
    f.table_.m_bHasIdentity = false;
    f.Decode(r);
    EXPECT_EQ(f.app_.m_nRecoveredCount.load(), 2u);
    EXPECT_EQ(Texts(backend->m_accepted), std::vector<std::string>{"insert into [dbo].[T] ([Id]) values (1) ;"});

    // Lost twice in a row: the row is given up after one retry, the connection is open again.
    backend->m_accepted.clear();
    backend->DropConnectionFor(2);
    f.Decode(r);
    EXPECT_EQ(f.app_.m_nRecoveredCount.load(), 2u);
    EXPECT_TRUE(f.engine_.m_pConnection->IsOpen());
    f.Decode(r);
    EXPECT_EQ(f.app_.m_nRecoveredCount.load(), 3u);
}

// A row given up because the link dropped on its try and again on its retry did not go in: it is counted with
// the rows that did not go in, never silently dropped.
TEST(RowExecution, RowGivenUpAfterTwoLostLinksIsCountedAsNotCopied) {
    RowFixture f;
    f.Column(1, 56, 4, u"Id");
    auto backend = f.Connect();
    Record r;
    r.status = 0x10;
    r.fixed = {1, 0, 0, 0};
    backend->DropConnectionFor(2);
    f.Decode(r);
    EXPECT_EQ(f.app_.m_nRecoveredCount.load(), 0u);
    EXPECT_EQ(f.engine_.m_nRefusedRowCount, 1u);
    EXPECT_TRUE(backend->m_accepted.empty());
    EXPECT_FALSE(f.app_.m_bStopJob.load());
    // One lost link only: the retry puts the row in and nothing more is counted as not copied.
    backend->DropConnectionFor(1);
    f.Decode(r);
    EXPECT_EQ(f.app_.m_nRecoveredCount.load(), 1u);
    EXPECT_EQ(f.engine_.m_nRefusedRowCount, 1u);
}

TEST(RowExecution, FailedReconnectEndsTheRepairWithAMessage) {
    RowFixture f;
    f.Column(1, 56, 4, u"Id");
    auto backend = f.Connect();
    backend->DropConnectionFor(1);
    backend->SetRefuseOpen(true);
    Record r;
    r.status = 0x10;
    r.fixed = {1, 0, 0, 0};
    f.Decode(r);
    EXPECT_EQ(f.app_.m_nRecoveredCount.load(), 0u);
    EXPECT_TRUE(f.app_.m_bStopJob.load());
    ASSERT_EQ(f.prompts_.shown.size(), 1u);
    EXPECT_EQ(U8(f.prompts_.shown[0]), "Unable to establish the connection.");
    EXPECT_EQ(f.sink_.Count(platform::WM_JOB_ENDED), 1u);
}

TEST(RowExecution, ParametersNeverReachTheNextRow) {
    platform::SharedState app;
    mdf::CRecoveryEngine engine(app);
    auto backend = std::make_shared<platform::RecordingSqlBackend>();
    engine.m_pConnection = std::make_shared<platform::Connection>(backend);
    engine.m_pConnection->Open(u"test");
    mdf::TableNode table;
    table.m_pszName = u"dbo.T";
    table.m_bHasIdentity = true;
    rows::InsertStatement with_parameter(table, true);
    with_parameter.AddParameter(u"Name", platform::adLongVarWChar, {0x41, 0});
    backend->RefuseContaining(u"[Name]");
    engine.ExecuteRowStatement(with_parameter);
    rows::InsertStatement plain(table, true);
    plain.AddValue(u"Id", u"1");
    engine.ExecuteRowStatement(plain);
    ASSERT_EQ(backend->m_executed.size(), 6u);
    // The identity statements run without parameters; only the refused INSERT carried one.
    for (std::size_t i = 0; i < backend->m_executed.size(); ++i) {
        EXPECT_EQ(backend->m_executed[i].m_params.size(), i == 1 ? 1u : 0u) << i;
    }
    const auto& p = backend->m_executed[1].m_params[0];
    EXPECT_EQ(U8(p.m_strName), "Name");
    EXPECT_EQ(p.m_nType, platform::adLongVarWChar);
    EXPECT_EQ(p.m_nSize, 2u);
    EXPECT_EQ(U8(backend->m_executed[1].m_strText), "insert into [dbo].[T] ([Name]) values (?) ;");
    EXPECT_EQ(engine.m_pCommand->ParameterCount(), 0u);
}

TEST(RowExecution, FormatComErrorHasFourLines) {
    platform::SharedState app;
    mdf::CRecoveryEngine engine(app);
    platform::SqlError error(u"IDispatch error #3149", 0x80004005, u"Provider", u"Connection failure");
    EXPECT_EQ(U8(engine.FormatComError(error)),
              "Message : IDispatch error #3149\nCode : 0x80004005\nSource : Provider\nDescription : Connection failure\n");
}

TEST(RowExecution, NoConnectionDropsTheRowWithoutHarm) {
    RowFixture f;
    f.Column(1, 56, 4, u"Id");
    f.app_.m_bRepairRequested = true;  // INSERT mode, but the target database was never opened
    Record r;
    r.status = 0x10;
    r.fixed = {1, 0, 0, 0};
    f.Decode(r);
    EXPECT_EQ(f.app_.m_nRecoveredCount.load(), 0u);
    EXPECT_FALSE(f.app_.m_bStopJob.load());
    ASSERT_TRUE(f.engine_.m_pCommand);
    EXPECT_EQ(f.engine_.m_pCommand->ParameterCount(), 0u);
}
