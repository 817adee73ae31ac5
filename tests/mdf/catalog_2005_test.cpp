// The 2005-and-later catalogue readers on small files written from code: object and schema rows, the column
// rows with identities and bindings, the SharePoint reader's choice of tables, stops and empty slots.
#include <gtest/gtest.h>

#include <tuple>

#include "mdf/identity_text.h"
#include "platform/text.h"
#include "tests/mdf/catalog_2005_fixture.h"

namespace {

using catalog2005::Bytes;
using catalog2005::ColumnDef;
using catalog2005::Database;
using catalog2005::Engine;
using testsupport::TempDir;

std::string U8(const std::u16string& s) { return platform::ToUtf8(s); }

std::vector<std::string> TableNames(const mdf::CRecoveryEngine& engine) {
    std::vector<std::string> out;
    for (const auto& t : engine.m_lstTables) out.push_back(U8(t.m_pszName));
    return out;
}

TEST(Catalog2005, ObjectRowsFillListsAndCounters) {
    TempDir dir;
    Database db;
    db.Schema(5, u"sales");
    db.Schema(6, u"SYS");
    db.Schema(7, u"information_schema");
    db.Schema(8, u"");
    db.Object(101, 1, "U ", u"T1");
    db.Object(102, 5, "U ", u"T2");
    db.Object(103, 6, "U ", u"T3");
    db.Object(104, 7, "U ", u"T4");
    db.Object(105, 8, "U ", u"T5");
    db.Object(106, 1, "U ", u"DTProperties");
    db.Object(107, 99, "U ", u"Orphan");
    db.Object(201, 1, "P ", u"proc");
    db.Object(202, 1, "FN", u"f1");
    db.Object(203, 1, "IF", u"f2");
    db.Object(204, 1, "TF", u"f3");
    db.Object(205, 1, "D ", u"def1");
    db.Object(206, 1, "D ", u"def2");
    db.Objects().back()[15] = 2;  // byte 15 = 2: listed, not counted
    db.Object(207, 1, "R ", u"rule");
    db.Object(208, 1, "V ", u"view");
    db.Object(209, 1, "TR", u"trig");
    db.Object(210, 1, "F ", u"fk");
    db.Objects().back()[14] = 0x11;
    db.Objects().back()[19] = 101;  // parent: T1
    db.Object(211, 1, "C ", u"chk");
    db.Object(212, 1, "u ", u"lower-case code");
    Engine e(db.Write(dir));
    EXPECT_EQ(e.engine.ReadCatalog2005(), 1);

    EXPECT_EQ(TableNames(e.engine),
              (std::vector<std::string>{"dbo.T1", "sales.T2", "dbo.T3", "dbo.T4", "dbo.T5"}));
    const auto& t2 = *e.Table(u"sales.T2");
    EXPECT_EQ(U8(t2.m_strSchema), "sales");
    EXPECT_EQ(t2.m_nObjectId, 102);
    EXPECT_EQ(t2.m_nSchemaId, 5);
    EXPECT_EQ(e.app.m_nTableCount, 5);
    EXPECT_EQ(e.app.m_nProcedureCount, 1);
    EXPECT_EQ(e.app.m_nFunctionCount, 3);
    EXPECT_EQ(e.app.m_nDefaultCount, 1);
    EXPECT_EQ(e.engine.m_lstDefaults.size(), 2u);
    EXPECT_EQ(e.app.m_nRuleCount, 1);
    EXPECT_EQ(e.app.m_nViewCount, 1);
    EXPECT_EQ(e.app.m_nTriggerCount, 1);
    EXPECT_EQ(U8(e.engine.m_lstProcedures.front().m_strName), "proc");
    EXPECT_EQ(U8(e.engine.m_lstViews.front().m_pszName), "view");
    ASSERT_EQ(e.engine.m_arrForeignKeys2005.size(), 1u);
    EXPECT_EQ(U8(e.engine.m_arrForeignKeys2005[0].m_strName), "fk");
    EXPECT_EQ(e.engine.m_arrForeignKeys2005[0].m_nStatus, 0x11);
    EXPECT_EQ(e.engine.m_arrForeignKeys2005[0].m_nParentObjectId, 101);
    ASSERT_EQ(e.engine.m_arrCheckConstraints.size(), 1u);
    EXPECT_EQ(e.engine.m_arrCheckConstraints[0].m_nObjectId, 211);
    EXPECT_TRUE(e.engine.m_plObjects.m_arrOffsets.empty());  // released after the object rows
}

// The 32-bit status of a module's row (bytes 13 to 16) keeps the settings it was created with: ANSI_NULLS
// (0x40000) and QUOTED_IDENTIFIER (0x80000); a trigger's also whether it is disabled (0x100).
TEST(Catalog2005, ModuleSettingsAndDisabledTriggersFromTheStatus) {
    TempDir dir;
    Database db;
    auto status = [&db](std::uint32_t value) {
        for (int i = 0; i < 4; ++i) db.Objects().back()[13 + i] = static_cast<std::uint8_t>(value >> (8 * i));
    };
    db.Object(201, 1, "P ", u"proc");
    status(0x40000);
    db.Object(202, 1, "FN", u"func");
    status(0xC0000);
    db.Object(203, 1, "V ", u"view");
    status(0x80000);
    db.Object(204, 1, "TR", u"on");
    status(0xC0000);
    db.Object(205, 1, "TR", u"off");
    status(0xC0100);
    Engine e(db.Write(dir));
    ASSERT_EQ(e.engine.ReadCatalog2005(), 1);
    auto settings = [](const mdf::ModuleSettings& m) { return std::make_tuple(m.m_bKnown, m.m_bAnsiNulls, m.m_bQuotedIdentifier); };
    EXPECT_EQ(settings(e.engine.m_lstProcedures.front().m_settings), std::make_tuple(true, true, false));
    EXPECT_EQ(settings(e.engine.m_lstFunctions.front().m_settings), std::make_tuple(true, true, true));
    EXPECT_EQ(settings(e.engine.m_lstViews.front().m_settings), std::make_tuple(true, false, true));
    EXPECT_EQ(settings(e.engine.m_lstTriggers.front().m_settings), std::make_tuple(true, true, true));
    EXPECT_FALSE(e.engine.m_lstTriggers.front().m_bDisabled);
    EXPECT_TRUE(e.engine.m_lstTriggers.back().m_bDisabled);
}

TEST(Catalog2005, TableWithoutOwnerStillCountsAsCatalogue) {
    TempDir dir;
    Database db;
    db.Object(107, 99, "U ", u"Orphan");
    Engine e(db.Write(dir));
    EXPECT_EQ(e.engine.ReadCatalog2005(), 1);
    EXPECT_TRUE(e.engine.m_lstTables.empty());
}

TEST(Catalog2005, NameAfterWideNullBitmap) {
    TempDir dir;
    Database db;
    // 16 columns: the null bitmap takes one more byte, the name's end offset moves to 52 and the name to 54.
    Bytes row = catalog2005::ObjectRow(101, 1, "U ", u"");
    row.resize(54);
    row[44] = 16;
    const auto name = testsupport::Utf16Le(u"Wide");
    row[52] = static_cast<std::uint8_t>(54 + name.size());
    row[53] = 0;
    row.insert(row.end(), name.begin(), name.end());
    db.Objects().push_back(row);
    Engine e(db.Write(dir));
    e.engine.ReadCatalog2005();
    EXPECT_EQ(TableNames(e.engine), std::vector<std::string>{"dbo.Wide"});
}

// Slot entry 0 is an empty slot. Read as a record it would be the page header, which here looks like a table row.
TEST(Catalog2005, EmptySlotIsNeverARow) {
    TempDir dir;
    Database db;
    db.Object(101, 1, "U ", u"T1");
    // A second object page whose header reads like an object row, with an extra slot whose entry is 0.
    auto page = catalog2005::SystemPage(34, {catalog2005::ObjectRow(102, 1, "U ", u"T2")});
    page.U8(2, 0x2C).U32(4, 777).U16(8, 1).U8(17, 'U').U8(18, ' ');
    page.Slot(1, 0).SlotCount(2);
    db.File().SetPage(40, page);
    Engine e(db.Write(dir));
    EXPECT_EQ(e.engine.ReadCatalog2005(), 1);
    EXPECT_EQ(TableNames(e.engine), (std::vector<std::string>{"dbo.T1", "dbo.T2"}));
}

TEST(Catalog2005, SchemaIndexPagesAndGhostsGiveNoOwners) {
    TempDir dir;
    Database db;
    // (Schemas 1-4 are every database's own and are known without their rows: these tables use others.)
    db.Object(101, 13, "U ", u"T1");
    db.Object(102, 14, "U ", u"T2");
    // Page 40: a schema page of index 2; page 41: index 1 with a ghost row.
    db.File().SetPage(40, catalog2005::SystemPage(64, {catalog2005::SchemaRow(13, u"other")}).IndexId(2));
    db.File().SetPage(41, catalog2005::SystemPage(64, {catalog2005::SchemaRow(14, u"ghost", 0x3C)}));
    Engine e(db.Write(dir));
    EXPECT_EQ(e.engine.ReadCatalog2005(), 1);
    EXPECT_TRUE(e.engine.m_lstTables.empty());
    EXPECT_EQ(e.engine.m_lstOwners.size(), 1u);  // only dbo
}

TEST(Catalog2005, ObjectPagesSendOneStepPerTwoPages) {
    TempDir dir;
    Database db;
    for (int i = 0; i < 300; ++i) db.Object(1000 + i, 1, "P ", u"procedure_with_a_long_name_" + platform::Widen(std::to_string(i)));
    Engine e(db.Write(dir));
    e.engine.ReadCatalog2005();
    // Second phase of progress: the object rows.
    int starts = 0;
    platform::LPARAM pages = 0;
    int steps = 0;
    for (const auto& m : e.sink.Messages()) {
        if (m.message != platform::WM_JOB_PROGRESS) continue;
        if (m.wparam == 1) {
            ++starts;
            if (starts == 2) pages = m.lparam;
        }
        if (starts == 2 && m.wparam == 2) ++steps;
    }
    ASSERT_GE(pages, 3);
    EXPECT_EQ(steps, (pages + 1) / 2);
}

// ---- Column rows ----

Bytes IntIdentity(std::int32_t seed, std::int32_t increment) {
    Bytes block(4, 0);
    for (auto v : {increment, seed}) {
        const auto le = testsupport::LE32(static_cast<std::uint32_t>(v));
        block.insert(block.end(), le.begin(), le.end());
    }
    return block;
}

// Decimal identity block: storage length at 20 and the increment at 23, storage length at 40 and the seed at 43.
Bytes DecimalIdentity(std::uint8_t increment_length, std::uint8_t seed_length, std::uint64_t increment, std::uint64_t seed) {
    Bytes block(60, 0);
    block[20] = increment_length;
    block[23] = 1;
    for (int i = 0; i < 8; ++i) block[24 + i] = static_cast<std::uint8_t>(increment >> (8 * i));
    block[40] = seed_length;
    block[43] = 1;
    for (int i = 0; i < 8; ++i) block[44 + i] = static_cast<std::uint8_t>(seed >> (8 * i));
    return block;
}

TEST(Columns2005, FieldsIdentitiesAndBindings) {
    TempDir dir;
    Database db;
    db.Object(101, 1, "U ", u"T");
    db.Object(102, 1, "U ", u"D");
    db.Object(301, 1, "R ", u"rule");
    db.Object(302, 1, "D ", u"def");
    ColumnDef id{101, 1, 56, 4, 4, u"id"};
    id.identity_block = IntIdentity(100, -5);
    id.status = 0x00010001;  // NOT NULL, not for replication (byte 29)
    id.rule_id = 301;
    db.Column(id);
    ColumnDef name{101, 3, 231, 80, 80, u"name"};
    name.default_id = 302;
    name.status = 0x90;  // no stored position
    db.Column(name);
    ColumnDef price{101, 2, 60, 8, 12, u"price"};
    price.status = 0x50;  // computed, persisted
    db.Column(price);
    ColumnDef parameter{101, 4, 56, 4, 4, u"@p"};
    parameter.number = 1;  // a procedure parameter of the same object id
    db.Column(parameter);
    auto foreign = catalog2005::ColumnRow(ColumnDef{101, 5, 56, 4, 4, u"foreign"});
    foreign[2] = 0x2C;  // an object row on the wrong page
    db.File().SetPage(40, catalog2005::SystemPage(41, {foreign}));
    ColumnDef dec{102, 1, 106, 9, 9, u"d", 18, 0};
    dec.identity_block = DecimalIdentity(9, 9, 7, 1000);
    db.Column(dec);
    ColumnDef bad{102, 2, 108, 9, 9, u"n", 18, 0};
    bad.identity_block = DecimalIdentity(9, 11, 1, 1);  // the seed's storage length is no decimal length
    db.Column(bad);
    Engine e(db.Write(dir));
    e.engine.ReadCatalog2005();

    const auto& t = *e.Table(u"dbo.T");
    ASSERT_EQ(t.m_lstColumns.size(), 3u);
    EXPECT_EQ(t.m_nColumnCount, 3);
    auto it = t.m_lstColumns.begin();
    const auto& c_id = *it++;
    const auto& c_price = *it++;
    const auto& c_name = *it++;
    EXPECT_EQ(U8(c_id.m_pszName), "id");
    EXPECT_EQ(c_id.m_nStatus & 1, 1);
    EXPECT_EQ(U8(c_id.m_strIdentitySeed), "100");
    EXPECT_EQ(U8(c_id.m_strIdentityIncrement), "-5");
    EXPECT_TRUE(t.m_bHasIdentity);
    EXPECT_TRUE(t.m_bIdentityNotForReplication);
    EXPECT_EQ(c_price.m_nMaxInRowLength, 8);  // money clamped
    EXPECT_TRUE(c_price.m_bComputed);
    EXPECT_TRUE(c_price.m_bPersisted);
    EXPECT_EQ(c_name.m_nLength, 80);
    EXPECT_TRUE(c_name.m_bLayoutFound);
    ASSERT_EQ(e.engine.m_lstRules.front().m_lstBindings.size(), 1u);
    EXPECT_EQ(U8(e.engine.m_lstRules.front().m_lstBindings[0].m_strTableName), "dbo.T");
    EXPECT_EQ(U8(e.engine.m_lstRules.front().m_lstBindings[0].m_strColumnName), "id");
    ASSERT_EQ(e.engine.m_lstDefaults.front().m_lstBindings.size(), 1u);
    EXPECT_EQ(e.engine.m_lstDefaults.front().m_lstBindings[0].m_nDefaultObjectId, 302);

    const auto& d = *e.Table(u"dbo.D");
    ASSERT_EQ(d.m_lstColumns.size(), 2u);
    EXPECT_EQ(U8(d.m_lstColumns.front().m_strIdentityIncrement), "000000000000000007");
    EXPECT_EQ(U8(d.m_lstColumns.front().m_strIdentitySeed), "000000000000001000");
    EXPECT_EQ(U8(d.m_lstColumns.back().m_strIdentityIncrement), "000000000000000001");
    EXPECT_EQ(U8(d.m_lstColumns.back().m_strIdentitySeed), "");  // refused
}

TEST(Columns2005, IdentityBlockOffThePageIsNotRead) {
    // The row stands at page offset 96; its name end (bytes 51-52) places the identity block that follows the
    // name. A block that lies past the page, or whose values would run onto the next page, gives no texts.
    struct Case {
        const char* what;
        std::uint16_t name_end;
    };
    const Case cases[] = {{"name end past the page", 0x7FF0}, {"values past the page end", mdf::kPageSize - 96 - 4}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        Database db;
        db.Object(101, 1, "U ", u"T");
        ColumnDef id{101, 1, 56, 4, 4, u"id"};
        id.identity_block = IntIdentity(100, -5);
        Bytes row = catalog2005::ColumnRow(id);
        row[51] = static_cast<std::uint8_t>(c.name_end);
        row[52] = static_cast<std::uint8_t>(c.name_end >> 8);
        db.File().SetPage(40, catalog2005::SystemPage(41, {row}));
        Engine e(db.Write(dir));
        e.engine.ReadCatalog2005();
        const auto& t = *e.Table(u"dbo.T");
        ASSERT_EQ(t.m_lstColumns.size(), 1u);
        EXPECT_TRUE(t.m_bHasIdentity);
        EXPECT_EQ(U8(t.m_lstColumns.front().m_strIdentitySeed), "");
        EXPECT_EQ(U8(t.m_lstColumns.front().m_strIdentityIncrement), "");
    }
}

TEST(Columns2005, OnlyTheFirstTableOfAnObjectIdGetsTheColumns) {
    TempDir dir;
    Database db;
    db.Schema(2, u"s2");
    db.Object(101, 1, "U ", u"T");
    db.Object(101, 2, "U ", u"T");
    db.Column(ColumnDef{101, 1, 56, 4, 4, u"id"});
    Engine e(db.Write(dir));
    e.engine.ReadCatalog2005();
    ASSERT_EQ(e.engine.m_lstTables.size(), 2u);
    EXPECT_EQ(e.engine.m_lstTables.front().m_lstColumns.size(), 1u);
    EXPECT_TRUE(e.engine.m_lstTables.back().m_lstColumns.empty());
}

TEST(IdentityText, IntegerValues) {
    struct Case {
        Bytes bytes;
        const char* text;
    };
    const Case cases[] = {
        {{1, 0, 0, 0}, "1"},
        {{0xFB, 0xFF, 0xFF, 0xFF}, "-5"},
        {{0xFF, 0xFF}, "-1"},
        {{0xFF}, "255"},
        {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, "-1"},
        {{0xFF, 0xFF, 0xFF}, "16777215"},
        {{}, "0"},
        {Bytes(9, 1), ""},  // past 8 bytes: refused
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(U8(mdf::IntegerIdentityText(c.bytes.data(), static_cast<std::uint8_t>(c.bytes.size()))), c.text);
    }
}

// ---- Stops ----

struct StopCase {
    const char* what;
    int stop_at_start;  // stop when the n-th progress start message is sent (1 = the page scan)
};

TEST(Catalog2005, StopEndsTheReaderAtOnceAndIsPostedOnce) {
    const StopCase cases[] = {
        {"before the scan", 0}, {"during the scan", 1}, {"during the object rows", 2}, {"during the columns", 3},
        {"during the allocation walk", 4}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        Database db;
        db.SimpleTable(101, u"T", 5001, 60, {catalog2005::DataRecord()});
        Engine e(db.Write(dir));
        int starts = 0;
        e.sink.on_send = [&](unsigned message, platform::WPARAM w, platform::LPARAM) {
            if (message == platform::WM_JOB_PROGRESS && w == 1 && ++starts == c.stop_at_start) e.app.m_bStopJob = true;
        };
        if (c.stop_at_start == 0) e.app.m_bStopJob = true;
        EXPECT_EQ(e.engine.ReadCatalogForVersion(), false);
        EXPECT_EQ(e.sink.Count(platform::WM_JOB_ENDED), 1u);
        EXPECT_EQ(e.sink.Count(platform::WM_LOG_LINE), 0u);
        EXPECT_EQ(e.prompts.message_count, 0);
        EXPECT_TRUE(e.app.m_bFileInUse);
    }
}

// ---- SharePoint tables ----

TEST(SharePointCatalog, KeepsOnlyTheContentTables) {
    TempDir dir;
    Database db;
    int id = 100;
    for (auto name : {u"AllDocs", u"ALLDOCSTREAMS", u"AllLists", u"Webs", u"AllWebs", u"AllDocsArchive", u"Sites"}) {
        db.Object(++id, 1, "U ", name);
        db.Column(ColumnDef{id, 1, 56, 4, 4, u"id"});
    }
    db.Object(++id, 1, "V ", u"alldocs");
    db.Object(++id, 1, "P ", u"proc");
    db.Object(++id, 99, "U ", u"alllists");  // no owner
    Engine e(db.Write(dir));
    EXPECT_EQ(e.engine.ReadSharePointCatalog(), 1);
    EXPECT_EQ(TableNames(e.engine),
              (std::vector<std::string>{"dbo.AllDocs", "dbo.ALLDOCSTREAMS", "dbo.AllLists", "dbo.Webs", "dbo.AllWebs"}));
    EXPECT_EQ(e.engine.m_lstTables.front().m_lstColumns.size(), 1u);
    EXPECT_EQ(e.app.m_nTableCount, 5);
    EXPECT_EQ(e.app.m_nProcedureCount + e.app.m_nViewCount + e.app.m_nFunctionCount + e.app.m_nDefaultCount +
                  e.app.m_nRuleCount + e.app.m_nTriggerCount,
              0);
    EXPECT_TRUE(e.engine.m_lstProcedures.empty());
    EXPECT_TRUE(e.engine.m_lstViews.empty());
}

TEST(SharePointCatalog, NoContentTableIsAFailedCatalogue) {
    TempDir dir;
    Database db;
    db.Object(101, 1, "U ", u"Sites");
    Engine e(db.Write(dir));
    EXPECT_EQ(e.engine.ReadSharePointCatalog(), 0);
}

TEST(SharePointCatalog, EveryObjectPageSendsAStep) {
    TempDir dir;
    Database db;
    for (int i = 0; i < 300; ++i) db.Object(1000 + i, 1, "P ", u"procedure_with_a_long_name_" + platform::Widen(std::to_string(i)));
    db.Object(999, 1, "U ", u"webs");
    Engine e(db.Write(dir));
    EXPECT_EQ(e.engine.ReadSharePointCatalog(), 1);
    int starts = 0, steps = 0;
    platform::LPARAM pages = 0;
    for (const auto& m : e.sink.Messages()) {
        if (m.message != platform::WM_JOB_PROGRESS) continue;
        if (m.wparam == 1 && ++starts == 2) pages = m.lparam;
        if (starts == 2 && m.wparam == 2) ++steps;
    }
    ASSERT_GE(pages, 3);
    EXPECT_EQ(steps, pages);
}

}  // namespace
