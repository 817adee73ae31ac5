// Single rows of the 2000 catalogue: every kind of object row, the places of the name for each column count,
// and the column-row layouts with their identity blocks and bindings.
#include <gtest/gtest.h>

#include <optional>

#include "mdf/catalog_2000.h"
#include "mdf/decimal_text.h"
#include "mdf/recovery_engine.h"
#include "platform/text.h"
#include "tests/support/page_builder.h"
#include "tests/support/sql2000_builder.h"

namespace {

using testsupport::FileBuilder;
using testsupport::PageBuilder;
using testsupport::TempDir;
namespace s2k = testsupport::sql2000;

struct PlacedRow {
    PlacedRow(std::vector<std::uint8_t> row, std::optional<std::uint16_t> offset = std::nullopt)
        : bytes(std::move(row)), at(offset) {}
    std::vector<std::uint8_t> bytes;
    std::optional<std::uint16_t> at;  // page offset; after the previous row when not given
};

constexpr std::uint64_t kSystemPage = 16;

// A file whose page 16 is a page of the system table `object_id` holding the rows, torn as the server writes
// it (every sector end carries the pattern 2).
std::filesystem::path WriteSystemPage(const TempDir& dir, std::int32_t object_id, const std::vector<PlacedRow>& rows) {
    PageBuilder page;
    page.Type(testsupport::kDataPage).ObjectId(static_cast<std::uint32_t>(object_id));
    std::uint16_t next = 96;
    int k = 0;
    for (const auto& row : rows) {
        const std::uint16_t at = row.at.value_or(next);
        page.Bytes(at, row.bytes).Slot(k++, at);
        next = static_cast<std::uint16_t>(at + row.bytes.size());
    }
    page.SlotCount(static_cast<std::uint16_t>(k)).Tear(2);
    page.U8(60, static_cast<std::uint8_t>(page.Build()[60] | 2));
    FileBuilder file;
    file.BootVersion(539, 539).SetPage(kSystemPage, page).PageCount(20);
    const auto path = dir / "case.mdf";
    file.WriteTo(path);
    return path;
}

// An engine on the file with the flags that the version table sets for a 2000 file.
struct Engine2000 {
    platform::SharedState app;
    mdf::CRecoveryEngine engine{app};
    explicit Engine2000(const std::filesystem::path& path) {
        app.m_strDataFilePath = platform::FromUtf8(path.string());
        EXPECT_TRUE(engine.OpenDataFile());
        app.m_bSql2000 = app.m_bCreatedOn2000 = true;
    }
};

enum class Kind { None, Table, Procedure, Function, Default, Rule, View, Trigger, ForeignKey, Check };

struct ObjectCase {
    const char* name;
    s2k::ObjectDef object;
    Kind kind;
    int corrupt_at = -1;  // a byte of the row overwritten with corrupt_value
    std::uint8_t corrupt_value = 0;
};

s2k::ObjectDef Object(std::u16string name, const char* type, std::uint8_t byte_19 = 0, bool ghost = false) {
    s2k::ObjectDef o;
    o.name = std::move(name);
    o.object_id = 12345;
    o.type = type;
    o.byte_19 = byte_19;
    o.ghost = ghost;
    o.parent_id = 777;
    o.value_at_14 = 3;
    o.value_at_16 = 0x0501;
    return o;
}

Kind KindOf(const mdf::CRecoveryEngine& e) {
    if (!e.m_lstTables.empty()) return Kind::Table;
    if (!e.m_lstProcedures.empty()) return Kind::Procedure;
    if (!e.m_lstFunctions.empty()) return Kind::Function;
    if (!e.m_lstDefaults.empty()) return Kind::Default;
    if (!e.m_lstRules.empty()) return Kind::Rule;
    if (!e.m_lstViews.empty()) return Kind::View;
    if (!e.m_lstTriggers.empty()) return Kind::Trigger;
    if (!e.m_arrForeignKeys2000.empty()) return Kind::ForeignKey;
    if (!e.m_arrCheckConstraints.empty()) return Kind::Check;
    return Kind::None;
}

int CounterOf(const platform::SharedState& app, Kind kind) {
    switch (kind) {
        case Kind::Table: return app.m_nTableCount;
        case Kind::Procedure: return app.m_nProcedureCount;
        case Kind::Function: return app.m_nFunctionCount;
        case Kind::Default: return app.m_nDefaultCount;
        case Kind::Rule: return app.m_nRuleCount;
        case Kind::View: return app.m_nViewCount;
        case Kind::Trigger: return app.m_nTriggerCount;
        default: return 0;
    }
}

}  // namespace

TEST(ObjectRows2000, EveryKindOfRow) {
    const ObjectCase cases[] = {
        {"user table", Object(u"T", "U "), Kind::Table},
        {"stored procedure", Object(u"P1", "P "), Kind::Procedure},
        {"scalar function", Object(u"F1", "FN"), Kind::Function},
        {"inline table function", Object(u"F2", "IF"), Kind::Function},
        {"table function", Object(u"F3", "TF"), Kind::Function},
        {"default", Object(u"D1", "D "), Kind::Default},
        {"rule", Object(u"R1", "R "), Kind::Rule},
        {"view", Object(u"V1", "V "), Kind::View},
        {"view with byte 19 at 0x7F", Object(u"V2", "V ", 0x7F), Kind::View},
        {"system view (byte 19 0x80)", Object(u"V3", "V ", 0x80), Kind::None},
        {"system view (byte 19 0xFF)", Object(u"V4", "V ", 0xFF), Kind::None},
        {"trigger", Object(u"TR1", "TR"), Kind::Trigger},
        {"foreign key", Object(u"FK1", "F "), Kind::ForeignKey},
        {"check constraint", Object(u"CK1", "C "), Kind::Check},
        {"system table", Object(u"sysobjects", "S "), Kind::None},
        {"primary key", Object(u"PK1", "K "), Kind::None},
        {"unique key", Object(u"UQ1", "UQ"), Kind::None},
        {"extended procedure", Object(u"xp1", "X "), Kind::None},
        {"log", Object(u"L1", "L "), Kind::None},
        {"replication filter", Object(u"RF1", "RF"), Kind::None},
        {"type code compared case-sensitively", Object(u"t", "u "), Kind::None},
        {"ghost table (0x3C)", Object(u"T", "U ", 0, true), Kind::None},
        {"ghost table (0x1C)", Object(u"T", "U "), Kind::None, 0, 0x1C},
        {"dtproperties", Object(u"dtproperties", "U "), Kind::None},
        {"DTPROPERTIES", Object(u"DTPROPERTIES", "U "), Kind::None},
        {"DtProperties", Object(u"DtProperties", "U "), Kind::None},
        {"fixed part of an object row of another format (44)", Object(u"T", "U "), Kind::None, 2, 0x2C},
        {"fixed part of a column row (46)", Object(u"T", "U "), Kind::None, 2, 0x2E},
        {"name whose end lies before its start", Object(u"T", "U "), Kind::None, 50, 40},
        {"name whose end lies past the page", Object(u"T", "U "), Kind::None, 51, 0x7F},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto row = s2k::ObjectRow(c.object);
        if (c.corrupt_at >= 0) row.at(static_cast<std::size_t>(c.corrupt_at)) = c.corrupt_value;
        TempDir dir;
        Engine2000 e(WriteSystemPage(dir, 1, {{row}}));
        EXPECT_EQ(e.engine.ReadCatalog2000(), c.kind == Kind::None ? 0 : 1);
        EXPECT_EQ(KindOf(e.engine), c.kind);
        const bool counted = c.kind != Kind::None && c.kind != Kind::ForeignKey && c.kind != Kind::Check;
        EXPECT_EQ(CounterOf(e.app, c.kind), counted ? 1 : 0);
    }
}

TEST(ObjectRows2000, FieldsOfEachKind) {
    TempDir dir;
    std::vector<PlacedRow> rows;
    for (const char* type : {"U ", "P ", "FN", "D ", "R ", "V ", "TR", "F ", "C "}) {
        auto o = Object(platform::Widen(std::string("obj_") + type[0]), type);
        rows.push_back({s2k::ObjectRow(o)});
    }
    Engine2000 e(WriteSystemPage(dir, 1, rows));
    ASSERT_EQ(e.engine.ReadCatalog2000(), 1);
    const auto& en = e.engine;
    ASSERT_EQ(en.m_lstTables.size(), 1u);
    EXPECT_EQ(en.m_lstTables.front().m_pszName, u"obj_U");  // the bare name: no schema in 2000 files
    EXPECT_TRUE(en.m_lstTables.front().m_strSchema.empty());
    EXPECT_EQ(en.m_lstTables.front().m_nObjectId, 12345);
    EXPECT_EQ(en.m_lstProcedures.front().m_strName, u"obj_P");
    EXPECT_EQ(en.m_lstFunctions.front().m_pszName, u"obj_F");
    const auto& d = en.m_lstDefaults.front();
    EXPECT_EQ(d.m_pszName, u"obj_D");
    EXPECT_EQ(d.m_nParentObjectId, 777);
    EXPECT_EQ(d.m_nParentColumnId, 3);
    EXPECT_EQ(d.m_nStatusHigh, 0x0501);
    EXPECT_EQ(en.m_lstRules.front().m_pszName, u"obj_R");
    EXPECT_EQ(en.m_lstViews.front().m_pszName, u"obj_V");
    EXPECT_EQ(en.m_lstTriggers.front().m_pszName, u"obj_T");
    const auto& fk = en.m_arrForeignKeys2000.front();
    EXPECT_EQ(fk.m_strName, u"obj_F");
    EXPECT_EQ(fk.m_nObjectId, 12345);
    EXPECT_EQ(fk.m_nStatus, 0x05);  // byte 17
    EXPECT_EQ(fk.m_nParentObjectId, 777);
    const auto& ck = en.m_arrCheckConstraints.front();
    EXPECT_EQ(ck.m_strName, u"obj_C");
    EXPECT_EQ(ck.m_nParentObjectId, 777);
    EXPECT_EQ(ck.m_nStatus, 0x05);
}

// The 32-bit status at row offset 16 keeps a module's settings: ANSI_NULLS (0x20000000, byte 19 bit 0x20) and
// QUOTED_IDENTIFIER (0x40000000, byte 19 bit 0x40); a trigger's also whether it is disabled (0x800).
TEST(ObjectRows2000, ModuleSettingsAndDisabledTriggersFromTheStatus) {
    TempDir dir;
    std::vector<PlacedRow> rows;
    auto o = Object(u"proc", "P ", 0x20);
    rows.push_back({s2k::ObjectRow(o)});
    o = Object(u"view", "V ", 0x60);
    rows.push_back({s2k::ObjectRow(o)});
    o = Object(u"trig", "TR", 0x40);
    o.value_at_16 = 0x0800;
    rows.push_back({s2k::ObjectRow(o)});
    Engine2000 e(WriteSystemPage(dir, 1, rows));
    ASSERT_EQ(e.engine.ReadCatalog2000(), 1);
    const auto& proc = e.engine.m_lstProcedures.front().m_settings;
    EXPECT_TRUE(proc.m_bKnown && proc.m_bAnsiNulls && !proc.m_bQuotedIdentifier);
    const auto& view = e.engine.m_lstViews.front().m_settings;
    EXPECT_TRUE(view.m_bAnsiNulls && view.m_bQuotedIdentifier);
    const auto& trigger = e.engine.m_lstTriggers.front();
    EXPECT_TRUE(!trigger.m_settings.m_bAnsiNulls && trigger.m_settings.m_bQuotedIdentifier);
    EXPECT_TRUE(trigger.m_bDisabled);
}

TEST(ObjectRows2000, ConstraintParentAcrossASectorEndIsRestored) {
    // The parent id (row bytes 28 to 31) of each row crosses the end of a sector: its second byte is torn.
    constexpr std::int32_t kParent = 0x00ABCD01;
    for (const char* type : {"F ", "C "}) {
        SCOPED_TRACE(type);
        auto o = Object(u"K", type);
        o.parent_id = kParent;
        TempDir dir;
        const auto path = WriteSystemPage(dir, 1, {{s2k::ObjectRow(o), 1023 - 29}});
        Engine2000 e(path);
        ASSERT_EQ(e.engine.ReadCatalog2000(), 1);
        const std::int32_t parent = type[0] == 'F' ? e.engine.m_arrForeignKeys2000.at(0).m_nParentObjectId
                                                   : e.engine.m_arrCheckConstraints.at(0).m_nParentObjectId;
        EXPECT_EQ(parent, kParent);
        // As stored, the torn byte reads differently.
        e.app.m_bCreatedOn2000 = false;
        EXPECT_NE(static_cast<std::int32_t>(e.engine.Read32(kSystemPage * 8192 + 1023 - 29 + 28)), kParent);
    }
}

TEST(ObjectRows2000, NameFollowsTheNullBitmapOfEachColumnCount) {
    // Where the name's end offset stands: after the column count and a null bitmap of ceil(count / 8) bytes.
    struct Place { std::uint8_t count; std::uint32_t end_at; std::uint32_t start; };
    const Place places[] = {{0, 47, 49}, {1, 47, 49}, {8, 47, 49}, {9, 48, 50},  {15, 48, 50},
                            {16, 48, 50}, {17, 49, 51}, {24, 49, 51}, {25, 50, 52}, {32, 50, 52}};
    for (const auto& p : places) {
        SCOPED_TRACE(static_cast<int>(p.count));
        const auto place = mdf::sql2000::ObjectRowNamePlace(p.count);
        EXPECT_EQ(place.end_offset_at, p.end_at);
        EXPECT_EQ(place.name_start, p.start);

        s2k::ObjectRowOptions options;
        options.column_count = p.count;
        TempDir dir;
        Engine2000 e(WriteSystemPage(dir, 1, {{s2k::ObjectRow(Object(u"Orders", "U "), 1, options)}}));
        EXPECT_EQ(e.engine.ReadCatalog2000(), 1);
        ASSERT_EQ(e.engine.m_lstTables.size(), 1u);
        EXPECT_EQ(e.engine.m_lstTables.front().m_pszName, u"Orders");
    }
}

namespace {

constexpr std::int32_t kTableId = 4242;
constexpr std::int32_t kRuleId = 501;
constexpr std::int32_t kDefaultId = 502;

s2k::ColumnDef Column(std::uint8_t type, std::uint16_t length, std::uint8_t precision = 0, std::uint8_t scale = 0) {
    s2k::ColumnDef c;
    c.name = u"ColName";
    c.type = type;
    c.length = length;
    c.precision = precision;
    c.scale = scale;
    return c;
}

s2k::ColumnDef Identity(s2k::ColumnDef c, std::int64_t seed, std::int64_t increment, bool nfr = false) {
    c.identity = true;
    c.not_null = true;
    c.identity_seed = seed;
    c.identity_increment = increment;
    c.identity_not_for_replication = nfr;
    return c;
}

// Reads the column rows with a table (or two) of the given ids and a rule and a default in the lists.
struct ColumnRun {
    TempDir dir;
    std::unique_ptr<Engine2000> e;
    ColumnRun(const std::vector<PlacedRow>& rows, std::vector<std::pair<std::int32_t, std::u16string>> tables = {
                                                       {kTableId, u"T"}}) {
        e = std::make_unique<Engine2000>(WriteSystemPage(dir, 3, rows));
        auto& en = e->engine;
        for (const auto& [id, name] : tables) {
            auto& t = en.AddTable();
            t.m_nObjectId = id;
            t.m_pszName = name;
            ++e->app.m_nTableCount;
        }
        en.AddRule().m_nObjectId = kRuleId;
        en.AddDefault().m_nObjectId = kDefaultId;
        en.AddDefault().m_nObjectId = 0;  // a damaged default row: no column names it
        en.m_plColumns.Add(kSystemPage * 8192, rows.size());
        EXPECT_EQ(en.ReadColumns2000(), 0);
    }
    const mdf::TableNode& Table() const { return e->engine.m_lstTables.front(); }
    const mdf::ColumnNode& First() const { return Table().m_lstColumns.front(); }
};

}  // namespace

TEST(ColumnRows2000, NamePlaceOfEachLayout) {
    struct Layout {
        const char* name;
        std::uint8_t fixed_end;
        std::uint8_t count;
        bool identity;
        std::uint32_t variable_count_at;
        std::uint32_t name_start;
    };
    const Layout layouts[] = {
        {"46-byte form, 32 columns", 46, 32, false, 52, 56},
        {"46-byte form, 32 columns, identity", 46, 32, true, 52, 58},
        {"46-byte form, 28 columns", 46, 28, false, 52, 56},
        {"46-byte form, 24 columns", 46, 24, false, 51, 55},
        {"46-byte form, 24 columns, identity", 46, 24, true, 51, 57},
        {"46-byte form, 30 columns (four bitmap bytes)", 46, 30, false, 52, 56},
        {"38-byte form, 19 columns", 38, 19, false, 43, 47},
        {"38-byte form, 19 columns, identity", 38, 19, true, 43, 49},
        {"38-byte form, 25 columns", 38, 25, false, 44, 48},
        {"38-byte form, 16 columns (two bitmap bytes)", 38, 16, false, 42, 46},
    };
    for (const auto& l : layouts) {
        SCOPED_TRACE(l.name);
        const auto place = mdf::sql2000::ColumnRowNamePlace(l.fixed_end, l.count, l.identity);
        EXPECT_EQ(place.variable_count_at, l.variable_count_at);
        EXPECT_EQ(place.name_start, l.name_start);

        auto column = Column(s2k::kNVarChar, 80);
        if (l.identity) column = Identity(Column(s2k::kInt, 4, 10), 7, 3);
        s2k::ColumnRowOptions options;
        options.fixed_end = l.fixed_end;
        options.column_count = l.count;
        ColumnRun run({PlacedRow{s2k::ColumnRow(kTableId, column, 2, -1, 0, options)}});
        ASSERT_EQ(run.Table().m_lstColumns.size(), 1u);
        const auto& c = run.First();
        EXPECT_EQ(c.m_pszName, u"ColName");
        EXPECT_EQ(c.m_nType, column.type);
        EXPECT_EQ(c.m_nMaxInRowLength, column.length);
        EXPECT_EQ(c.m_nColumnId, 2);
        EXPECT_EQ(c.m_nColumnOrder, 2);
        EXPECT_EQ(c.m_nLeafOffset, -1);
        // Only the 46-byte form carries a collation.
        EXPECT_EQ(c.m_nCollationId, l.fixed_end == 46 && !l.identity ? 0x3400D008u : 0u);
        EXPECT_EQ(run.Table().m_bHasIdentity, l.identity);
        EXPECT_EQ(c.m_strIdentitySeed, l.identity ? u"7" : u"");
        EXPECT_EQ(c.m_strIdentityIncrement, l.identity ? u"3" : u"");
        EXPECT_EQ(run.Table().m_nColumnCount, 1);
    }
}

TEST(ColumnRows2000, IdentitySeedAndIncrement) {
    struct IdentityCase {
        const char* name;
        s2k::ColumnDef column;
        std::uint8_t fixed_end;
        std::u16string seed;
        std::u16string increment;
        bool not_for_replication;
    };
    const auto decimal = Column(s2k::kDecimal, 9, 12, 0);
    const IdentityCase cases[] = {
        {"int 1, 1", Identity(Column(s2k::kInt, 4), 1, 1), 46, u"1", u"1", false},
        {"int -5, 100", Identity(Column(s2k::kInt, 4), -5, 100), 46, u"-5", u"100", false},
        {"smallint increment -1", Identity(Column(s2k::kSmallInt, 2), 10, -1), 46, u"10", u"-1", false},
        {"tinyint 255 (unsigned)", Identity(Column(s2k::kTinyInt, 1), 255, 1), 46, u"255", u"1", false},
        {"bigint -1", Identity(Column(s2k::kBigInt, 8), -1, -1), 46, u"-1", u"-1", false},
        {"not for replication (colstat 9)", Identity(Column(s2k::kInt, 4), 1, 1, true), 46, u"1", u"1", true},
        {"decimal, lengths from the block", Identity(decimal, 100, 10), 46,
         mdf::DecimalToText(*s2k::Decimal(true, 100, 9), 12, 0), mdf::DecimalToText(*s2k::Decimal(true, 10, 9), 12, 0),
         false},
        {"decimal in the 38-byte form: 17-byte values", Identity(decimal, 100, 10), 38,
         mdf::DecimalToText(*s2k::Decimal(true, 100, 17), 12, 0),
         mdf::DecimalToText(*s2k::Decimal(true, 10, 17), 12, 0), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        s2k::ColumnRowOptions options;
        options.fixed_end = c.fixed_end;
        options.column_count = c.fixed_end == 46 ? 32 : 19;
        ColumnRun run({PlacedRow{s2k::ColumnRow(kTableId, c.column, 1, 4, 0, options)}});
        ASSERT_EQ(run.Table().m_lstColumns.size(), 1u);
        EXPECT_TRUE(run.Table().m_bHasIdentity);
        EXPECT_EQ(run.Table().m_bIdentityNotForReplication, c.not_for_replication);
        EXPECT_EQ(run.First().m_strIdentitySeed, c.seed);
        EXPECT_EQ(run.First().m_strIdentityIncrement, c.increment);
        EXPECT_EQ(run.First().m_nColStat, c.not_for_replication ? 9 : 1);
        EXPECT_EQ(run.First().m_nStatus & 1, 1);
    }
}

TEST(ColumnRows2000, DecimalIdentityWithADamagedStorageLengthHasNoText) {
    auto row = s2k::ColumnRow(kTableId, Identity(Column(s2k::kDecimal, 9, 12, 0), 100, 10), 1, 4, 0);
    // The block follows the name; its storage lengths stand at block bytes 20 and 40.
    const std::size_t block = 58 + 2 * 7;
    row.at(block + 20) = 200;
    ColumnRun run({PlacedRow{row}});
    EXPECT_TRUE(run.Table().m_bHasIdentity);
    EXPECT_EQ(run.First().m_strIdentityIncrement, u"");
    EXPECT_EQ(run.First().m_strIdentitySeed, mdf::DecimalToText(*s2k::Decimal(true, 100, 9), 12, 0));
}

TEST(ColumnRows2000, IdentityValuesPastThePageEndAreNotRead) {
    auto row = s2k::ColumnRow(kTableId, Identity(Column(s2k::kInt, 4), 100, 10), 1, 4, 0);
    // The row stands at page offset 96; its name end (row bytes 54-55) moved to 4 bytes before the page end, so
    // the identity block that follows the name would hold its values on the next page.
    const std::uint16_t name_end = static_cast<std::uint16_t>(mdf::kPageSize - 96 - 4);
    row.at(54) = static_cast<std::uint8_t>(name_end);
    row.at(55) = static_cast<std::uint8_t>(name_end >> 8);
    ColumnRun run({PlacedRow{row}});
    ASSERT_EQ(run.Table().m_lstColumns.size(), 1u);
    EXPECT_TRUE(run.Table().m_bHasIdentity);
    EXPECT_EQ(run.First().m_strIdentitySeed, u"");
    EXPECT_EQ(run.First().m_strIdentityIncrement, u"");
}

TEST(ColumnRows2000, FieldsBindingsAndRowsPassedOver) {
    auto bound = Column(s2k::kInt, 4, 10);
    bound.name = u"Bound";
    bound.rule_id = kRuleId;
    bound.default_id = kDefaultId;
    bound.not_null = true;
    auto bit = Column(s2k::kBit, 1);
    bit.name = u"Flag";
    auto other_table = Column(s2k::kInt, 4);
    other_table.name = u"Elsewhere";
    auto ghost = s2k::ColumnRow(kTableId, Column(s2k::kInt, 4), 9, 20, 0);
    ghost[0] = 0x3C;
    auto wrong_fixed = s2k::ColumnRow(kTableId, Column(s2k::kInt, 4), 8, 24, 0);
    wrong_fixed[2] = 0x2D;  // a column row of the later format
    ColumnRun run({PlacedRow{s2k::ColumnRow(kTableId, bit, 3, 12, 5)},
                   {s2k::ColumnRow(kTableId, bound, 1, 4, 0)},
                   {s2k::ColumnRow(999, other_table, 1, 4, 0)},
                   {ghost},
                   {wrong_fixed}});
    const auto& t = run.Table();
    ASSERT_EQ(t.m_lstColumns.size(), 2u);
    EXPECT_EQ(t.m_nColumnCount, 2);
    const auto& first = t.m_lstColumns.front();  // sorted by column id
    EXPECT_EQ(first.m_pszName, u"Bound");
    EXPECT_EQ(first.m_dwTypeInfo2000, 56u | (1u << 8) | (56u << 16));
    EXPECT_EQ(first.m_nUserType, 56u);
    EXPECT_EQ(first.m_nPrecision, 10);
    EXPECT_EQ(first.m_nLength, 0);
    const auto& flag = t.m_lstColumns.back();
    EXPECT_EQ(flag.m_pszName, u"Flag");
    EXPECT_EQ(flag.m_nLeafOffset, 12);
    EXPECT_EQ(flag.m_nBitPos, 5);
    EXPECT_FALSE(t.m_bHasIdentity);

    const auto& en = run.e->engine;
    ASSERT_EQ(en.m_lstRules.front().m_lstBindings.size(), 1u);
    EXPECT_EQ(en.m_lstRules.front().m_lstBindings[0].m_strTableName, u"T");
    EXPECT_EQ(en.m_lstRules.front().m_lstBindings[0].m_strColumnName, u"Bound");
    ASSERT_EQ(en.m_lstDefaults.front().m_lstBindings.size(), 1u);
    EXPECT_EQ(en.m_lstDefaults.front().m_lstBindings[0].m_nDefaultObjectId, kDefaultId);
    // Unbound columns (id 0) find no default, not even a damaged default row of id 0.
    EXPECT_TRUE(en.m_lstDefaults.back().m_lstBindings.empty());
    EXPECT_TRUE(en.m_plColumns.m_arrOffsets.empty());  // released after a complete pass
}

TEST(ColumnRows2000, EveryTableOfTheObjectIdGetsTheColumn) {
    ColumnRun run({PlacedRow{s2k::ColumnRow(kTableId, Column(s2k::kInt, 4), 1, 4, 0)}}, {{kTableId, u"A"}, {kTableId, u"B"}});
    ASSERT_EQ(run.e->engine.m_lstTables.size(), 2u);
    for (const auto& t : run.e->engine.m_lstTables) EXPECT_EQ(t.m_lstColumns.size(), 1u);
}

TEST(ColumnRows2000, StopWhileReadingRowsEndsWithoutFinishing) {
    TempDir dir;
    std::vector<PlacedRow> rows;
    for (std::uint16_t id = 1; id <= 3; ++id) rows.push_back({s2k::ColumnRow(kTableId, Column(s2k::kInt, 4), id, 4, 0)});
    Engine2000 e(WriteSystemPage(dir, 3, rows));
    platform::RecordingSink sink;
    mdf::CRecoveryEngine engine(e.app, &sink);
    ASSERT_TRUE(engine.OpenDataFile());
    auto& t = engine.AddTable();
    t.m_nObjectId = kTableId;
    t.m_pszName = u"T";
    engine.m_plColumns.Add(kSystemPage * 8192, rows.size());
    // The stop arrives with the start message; the reader sees it once the slot entries are read.
    sink.on_send = [&](unsigned, platform::WPARAM, platform::LPARAM) { e.app.m_bStopJob = true; };
    EXPECT_EQ(engine.ReadColumns2000(), 0);
    EXPECT_EQ(sink.Count(platform::WM_JOB_ENDED), 1u);
    EXPECT_EQ(t.m_lstColumns.size(), 0u);  // stopped after the slot entries, before any row
    EXPECT_EQ(engine.m_plColumns.size(), 1u);  // not released
    for (const auto& m : sink.Messages()) EXPECT_FALSE(m.message == platform::WM_JOB_PROGRESS && m.wparam == platform::kProgressEnd);
}
