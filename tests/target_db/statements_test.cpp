// Statement texts of the schema side, as case tables: the texts a repair sends for tables, keys, indexes, user
// types, foreign keys, check constraints and statistics, and how names with "]" and "'" and damaged catalogue
// values come out.
#include <gtest/gtest.h>

#include <set>

#include "platform/text.h"
#include "mdf/collation_names.h"
#include "platform/tsql_text.h"
#include "target_db/statements.h"
#include "tests/target_db/column_node_builder.h"

namespace {

using target::BuildTableStatements;
using target::TableSettings;

std::string U8(const std::u16string& s) { return platform::ToUtf8(s); }

using columnbuilder::Column;

mdf::TableNode Table(std::u16string name, std::u16string schema = u"") {
    mdf::TableNode table;
    table.m_pszName = std::move(name);
    table.m_strSchema = std::move(schema);
    table.m_nObjectId = 1001;
    return table;
}

TableSettings Settings2005() { return TableSettings{}; }
TableSettings Settings2000() {
    TableSettings settings;
    settings.m_bLayout2005 = false;
    return settings;
}

// ---- Collation names ----

TEST(CollationNames, IdsGiveTheirNames) {
    struct Case {
        std::uint32_t id;
        const char16_t* name;
        bool known;
    } cases[] = {
        {0x1008, u"Latin1_General_CI_AS_KS_WS", true},
        {0xD008, u"Latin1_General_CI_AS", true},
        {0x6029, u"German_Phonebook_CS_AI_WS", true},
        {0, u"Latin1_General_CI_AS", false},
        {0x0004, u"Latin1_General_CI_AS", false},
        {0x0008, u"Latin1_General_CS_AS_KS_WS", true},
        {0x0001, u"Arabic_CS_AS_KS_WS", true},
        {0x201F, u"Lithuanian_CS_AI_KS_WS", true},
        {0x1003, u"Chinese_Taiwan_stroke_CI_AS_KS_WS", true},
        {0x10008, u"Latin1_General_Bin", true},
        {0x10029, u"German_Phonebook_Bin", true},
        {0x11029, u"Latin1_General_CI_AS", false},
        // Hindi is no collation of current servers: written with the family that took its place.
        {0xD022, u"Indic_General_90_CI_AS", true},
        {0xD021, u"Macedonian_FYROM_90_CI_AS", true},
        {0x10027, u"Lithuanian_Bin", true},
        {0xD02C, u"Korean_Wansung_CI_AS", true},
        {0x3100D008, u"SQL_1xCompat_CP850_CI_AS", true},
        // Bits 20 to 23 belong to no Windows collation.
        {0x00F0D008, u"Latin1_General_CI_AS", false},
        {0x0010D008, u"Latin1_General_CI_AS", false},
        {0x1022, u"Latin1_General_CI_AS", false},
        {0x10022, u"Latin1_General_CI_AS", false},
        {0x2D035, u"Indic_General_90_CI_AS", true},
        {0x2D03E, u"Chinese_Hong_Kong_Stroke_90_CI_AS", true},
        {0xD03E, u"Latin1_General_CI_AS", false},
        {0x2C03E, u"Latin1_General_CI_AS", false},
        {0x3400D008, u"SQL_Latin1_General_CP1_CI_AS", true},
        {0x3400D009, u"Latin1_General_CI_AS", false},
        {0x3400C008, u"Latin1_General_CI_AS", false},
        {0x5300C004, u"SQL_Czech_CP1250_CS_AS", true},
        {0x5300D016, u"SQL_Czech_CP1250_CS_AS", true},
        {0x5D00C917, u"SQL_Slovak_CP1250_CS_AS", true},
        {0xA001, u"Arabic_CS_AI_KS", true},
        {0x0002, u"Latin1_General_CI_AS", false},  // a family without collations
    };
    for (const auto& c : cases) {
        EXPECT_EQ(mdf::CollationName(c.id), c.name) << std::hex << c.id;
        EXPECT_EQ(mdf::IsKnownCollation(c.id), c.known) << std::hex << c.id;
    }
}

// Every name the table can give is one the server knows: the SQL collations of its published list, and the
// Windows collations of the families it lists, with the suffixes every family has.
TEST(CollationNames, EveryNameIsOnTheServersList) {
    const std::set<std::u16string> sql_names = {
        u"SQL_Latin1_General_CP437_BIN", u"SQL_Latin1_General_CP437_CS_AS", u"SQL_Latin1_General_CP437_CI_AS",
        u"SQL_Latin1_General_Pref_CP437_CI_AS", u"SQL_Latin1_General_CP437_CI_AI", u"SQL_Latin1_General_CP850_BIN",
        u"SQL_Latin1_General_CP850_CS_AS", u"SQL_Latin1_General_CP850_CI_AS", u"SQL_Latin1_General_Pref_CP850_CI_AS",
        u"SQL_Latin1_General_CP850_CI_AI", u"SQL_1xCompat_CP850_CI_AS", u"SQL_Latin1_General_CP1_CS_AS",
        u"SQL_Latin1_General_CP1_CI_AS", u"SQL_Latin1_General_Pref_CP1_CI_AS", u"SQL_Latin1_General_CP1_CI_AI",
        u"SQL_AltDiction_CP850_CS_AS", u"SQL_AltDiction_Pref_CP850_CI_AS", u"SQL_AltDiction_CP850_CI_AI",
        u"SQL_Scandinavian_Pref_CP850_CI_AS", u"SQL_Scandinavian_CP850_CS_AS", u"SQL_Scandinavian_CP850_CI_AS",
        u"SQL_AltDiction_CP850_CI_AS", u"SQL_Latin1_General_CP1250_CS_AS", u"SQL_Latin1_General_CP1250_CI_AS",
        u"SQL_Czech_CP1250_CS_AS", u"SQL_Czech_CP1250_CI_AS", u"SQL_Hungarian_CP1250_CS_AS",
        u"SQL_Hungarian_CP1250_CI_AS", u"SQL_Polish_CP1250_CS_AS", u"SQL_Polish_CP1250_CI_AS",
        u"SQL_Romanian_CP1250_CS_AS", u"SQL_Romanian_CP1250_CI_AS", u"SQL_Croatian_CP1250_CS_AS",
        u"SQL_Croatian_CP1250_CI_AS", u"SQL_Slovak_CP1250_CS_AS", u"SQL_Slovak_CP1250_CI_AS",
        u"SQL_Slovenian_CP1250_CS_AS", u"SQL_Slovenian_CP1250_CI_AS", u"SQL_Latin1_General_CP1251_CS_AS",
        u"SQL_Latin1_General_CP1251_CI_AS", u"SQL_Ukrainian_CP1251_CS_AS", u"SQL_Ukrainian_CP1251_CI_AS",
        u"SQL_Latin1_General_CP1253_CS_AS", u"SQL_Latin1_General_CP1253_CI_AS", u"SQL_MixDiction_CP1253_CS_AS",
        u"SQL_AltDiction_CP1253_CS_AS", u"SQL_AltDiction2_CP1253_CS_AS", u"SQL_Latin1_General_CP1253_CI_AI",
        u"SQL_Latin1_General_CP1254_CS_AS", u"SQL_Latin1_General_CP1254_CI_AS", u"SQL_Latin1_General_CP1255_CS_AS",
        u"SQL_Latin1_General_CP1255_CI_AS", u"SQL_Latin1_General_CP1256_CS_AS", u"SQL_Latin1_General_CP1256_CI_AS",
        u"SQL_Latin1_General_CP1257_CS_AS", u"SQL_Latin1_General_CP1257_CI_AS", u"SQL_Estonian_CP1257_CS_AS",
        u"SQL_Estonian_CP1257_CI_AS", u"SQL_Latvian_CP1257_CS_AS", u"SQL_Latvian_CP1257_CI_AS",
        u"SQL_Lithuanian_CP1257_CS_AS", u"SQL_Lithuanian_CP1257_CI_AS", u"SQL_Danish_Pref_CP1_CI_AS",
        u"SQL_SwedishPhone_Pref_CP1_CI_AS", u"SQL_SwedishStd_Pref_CP1_CI_AS", u"SQL_Icelandic_Pref_CP1_CI_AS",
        u"SQL_EBCDIC037_CP1_CS_AS", u"SQL_EBCDIC273_CP1_CS_AS", u"SQL_EBCDIC277_CP1_CS_AS", u"SQL_EBCDIC278_CP1_CS_AS",
        u"SQL_EBCDIC280_CP1_CS_AS", u"SQL_EBCDIC284_CP1_CS_AS", u"SQL_EBCDIC285_CP1_CS_AS", u"SQL_EBCDIC297_CP1_CS_AS",
    };
    // The designators of current servers (case as they spell them; the server reads names without regard to case).
    const std::set<std::u16string> families = {
        u"Albanian", u"Arabic", u"Azeri_Cyrillic_90", u"Azeri_Latin_90", u"Chinese_Hong_Kong_Stroke_90",
        u"Chinese_PRC", u"Chinese_PRC_Stroke", u"Chinese_Taiwan_Bopomofo", u"Chinese_Taiwan_Stroke", u"Croatian",
        u"Cyrillic_General", u"Czech", u"Danish_Norwegian", u"Divehi_90", u"Estonian", u"Finnish_Swedish", u"French",
        u"Georgian_Modern_Sort", u"German_PhoneBook", u"Greek", u"Hebrew", u"Hungarian", u"Hungarian_Technical",
        u"Icelandic", u"Indic_General_90", u"Japanese", u"Japanese_Unicode", u"Kazakh_90", u"Korean_Wansung",
        u"Latin1_General", u"Latvian", u"Lithuanian", u"Macedonian_FYROM_90", u"Modern_Spanish", u"Polish",
        u"Romanian", u"Slovak", u"Slovenian", u"Syriac_90", u"Tatar_90", u"Thai", u"Traditional_Spanish",
        u"Turkish", u"Ukrainian", u"Uzbek_Latin_90", u"Vietnamese"};
    std::set<std::u16string> family_keys;
    for (const auto& f : families) family_keys.insert(platform::ToLower(f));
    const std::u16string suffixes[] = {u"_BIN", u"_CI_AI", u"_CI_AI_WS", u"_CI_AI_KS", u"_CI_AI_KS_WS", u"_CI_AS",
                                       u"_CI_AS_WS", u"_CI_AS_KS", u"_CI_AS_KS_WS", u"_CS_AI", u"_CS_AI_WS",
                                       u"_CS_AI_KS", u"_CS_AI_KS_WS", u"_CS_AS", u"_CS_AS_WS", u"_CS_AS_KS",
                                       u"_CS_AS_KS_WS"};
    auto on_list = [&](const std::u16string& name) {
        if (sql_names.contains(name)) return true;
        const std::u16string lower = platform::ToLower(name);
        for (const auto& suffix : suffixes) {
            const std::u16string s = platform::ToLower(suffix);
            if (lower.size() > s.size() && lower.ends_with(s) && family_keys.contains(lower.substr(0, lower.size() - s.size()))) {
                return true;
            }
        }
        return false;
    };
    std::size_t checked = 0;
    for (std::uint32_t id = 0; id < 0x40000; ++id) {
        if (!mdf::IsKnownCollation(id)) continue;
        ++checked;
        EXPECT_TRUE(on_list(mdf::CollationName(id))) << std::hex << id << " " << U8(mdf::CollationName(id));
    }
    for (std::uint32_t top = 1; top < 256; ++top) {
        for (const std::uint32_t low : {0xC008u, 0xD008u, 0xF008u, 0x10008u, 0xD00Au, 0xC004u, 0xD016u, 0xC917u}) {
            const std::uint32_t id = (top << 24) | low;
            if (!mdf::IsKnownCollation(id)) continue;
            ++checked;
            EXPECT_TRUE(on_list(mdf::CollationName(id))) << std::hex << id << " " << U8(mdf::CollationName(id));
        }
    }
    EXPECT_GT(checked, 600u);
}

TEST(CollationNames, CodePagesOfTheirText) {
    const std::pair<std::uint32_t, std::uint16_t> cases[] = {
        {0xD008, 1252}, {0xD015, 1251}, {0xD010, 932}, {0xD024, 936}, {0xD011, 949}, {0xD003, 950}, {0xD019, 874},
        {0xD004, 1250}, {0xD007, 1253}, {0xD01A, 1254}, {0xD00C, 1255}, {0xD001, 1256}, {0xD01D, 1257},
        {0xD020, 1258}, {0x3400D008, 1252}, {0x2A00D008, 850}, {0x2000D008, 437}, {0x6A00D008, 1251},
        {0x2D035, 0}, {0, 0}, {0x00F0D008, 0}};
    for (const auto& [id, page] : cases) EXPECT_EQ(mdf::CollationCodePage(id), page) << std::hex << id;
}

TEST(CollationNames, EveryWindowsIdOfTheFamilyTableAndNoOther) {
    int windows = 0;
    for (std::uint32_t id = 0; id < 0x40000; ++id) windows += mdf::IsKnownCollation(id) ? 1 : 0;
    EXPECT_EQ(windows, 641);
}

// ---- Tables ----

mdf::TableNode DocsTable() {
    auto table = Table(u"dbo.Docs", u"dbo");
    auto id = Column(u"Id", 1, 56, 4, true);
    id.m_strIdentitySeed = u"1";
    id.m_strIdentityIncrement = u"1";
    table.m_lstColumns.push_back(id);
    table.m_lstColumns.push_back(Column(u"Name", 2, 231, 512, true));
    auto body = Column(u"Body", 3, 165, 0xFFFF);
    table.m_lstColumns.push_back(body);
    table.m_strPrimaryKeyName = u"PK_Docs";
    table.m_bClusteredPrimaryKey = true;
    table.m_arrPrimaryKey = {{1, false}};
    return table;
}

TEST(TableStatements, ExamplesOfBothLayouts) {
    EXPECT_EQ(U8(BuildTableStatements(DocsTable(), Settings2005()).m_strCreate),
              "create table [dbo].[Docs]([Id] int IDENTITY(1 ,1 ) NOT NULL,[Name] nvarchar(256) collate "
              "Latin1_General_CI_AS NOT NULL,[Body] varbinary(max) NULL,CONSTRAINT [PK_Docs] PRIMARY KEY CLUSTERED ( "
              "[Id] ));");

    auto orders = Table(u"Orders");
    auto order_id = Column(u"OrderId", 1, 56, 4, true);
    order_id.m_strIdentitySeed = u"1";
    order_id.m_strIdentityIncrement = u"1";
    orders.m_lstColumns.push_back(order_id);
    orders.m_lstColumns.push_back(Column(u"Ref", 2, 167, 40));
    orders.m_strPrimaryKeyName2000 = u"PK_Orders";
    orders.m_bClusteredPrimaryKey = true;
    orders.m_arrPrimaryKey2000 = {{1, false}};
    EXPECT_EQ(U8(BuildTableStatements(orders, Settings2000()).m_strCreate),
              "create table [Orders]([OrderId] int IDENTITY(1 ,1 ) NOT NULL,[Ref] varchar(40) collate "
              "Latin1_General_CI_AS NULL,CONSTRAINT  [PK_Orders] PRIMARY KEY CLUSTERED ([OrderId] ));");
}

TEST(TableStatements, ColumnForms) {
    struct Case {
        const char* what;
        bool layout2005;
        mdf::ColumnNode column;
        std::string definition;  // the text between "(" and ")" of a one-column table
    };
    auto with = [](mdf::ColumnNode c, auto change) {
        change(c);
        return c;
    };
    const Case cases[] = {
        {"name with ]", true, Column(u"a]b", 1, 56, 4), "[a]]b] int NULL"},
        {"2000 name with ]", false, Column(u"a]b", 1, 56, 4), "[a]]b] int NULL"},
        {"xml keeps NOT NULL", true, Column(u"x", 1, 241, 0xFFFF, true), "[x] xml NOT NULL"},
        {"xml allowing NULL", true, Column(u"x", 1, 241, 0xFFFF), "[x] xml NULL"},
        {"varchar(max)", true, Column(u"v", 1, 167, 0xFFFF), "[v] varchar(max) collate Latin1_General_CI_AS NULL"},
        {"nchar halves", true, Column(u"n", 1, 239, 20), "[n] nchar(10) collate Latin1_General_CI_AS NULL"},
        {"2000 nchar keeps its collation", false, Column(u"n", 1, 239, 20),
         "[n] nchar(10) collate Latin1_General_CI_AS NULL"},
        {"2000 nvarchar keeps its collation", false, Column(u"n", 1, 231, 20),
         "[n] nvarchar(10) collate Latin1_General_CI_AS NULL"},
        {"2000 short row without a collation: the database's", false,
         with(Column(u"n", 1, 231, 20), [](auto& c) { c.m_nCollationId = 0; }), "[n] nvarchar(10) NULL"},
        {"2000 text keeps NOT NULL", false, Column(u"t", 1, 35, 16, true),
         "[t] text collate Latin1_General_CI_AS NOT NULL"},
        {"2000 ntext keeps its collation and NOT NULL", false, Column(u"t", 1, 99, 16, true),
         "[t] ntext collate Latin1_General_CI_AS NOT NULL"},
        {"decimal", true, with(Column(u"d", 1, 106, 9), [](auto& c) { c.m_nPrecision = 9; c.m_nScale = 2; }),
         "[d] decimal(9,2) NULL"},
        {"decimal precision 0 from damage", true,
         with(Column(u"d", 1, 106, 9), [](auto& c) { c.m_nPrecision = 0; c.m_nScale = 0; }), "[d] decimal(18,0) NULL"},
        {"numeric precision 60 and scale above it", true,
         with(Column(u"d", 1, 108, 9), [](auto& c) { c.m_nPrecision = 60; c.m_nScale = 50; }),
         "[d] numeric(38,38) NULL"},
        {"char of length 0", true, Column(u"c", 1, 175, 0), "[c] char(1) collate Latin1_General_CI_AS NULL"},
        {"binary longer than a page", true, Column(u"b", 1, 173, 9000), "[b] binary(8000) NULL"},
        {"nvarchar longer than a page", true, Column(u"n", 1, 231, 9000),
         "[n] nvarchar(max) collate Latin1_General_CI_AS NULL"},
        {"unknown type code", true, Column(u"u", 1, 200, 8), "[u] varbinary(max) NULL"},
        {"type 240 before 2008", true, Column(u"h", 1, 240, 892), "[h] varbinary(max) NULL"},
        {"datetime2 keeps its scale", true, with(Column(u"t", 1, 42, 8, true), [](auto& c) { c.m_nScale = 3; }),
         "[t] datetime2(3) NOT NULL"},
        {"time of scale 0", true, Column(u"t", 1, 41, 3), "[t] time(0) NULL"},
        {"datetimeoffset of scale 7", true, with(Column(u"t", 1, 43, 10), [](auto& c) { c.m_nScale = 7; }),
         "[t] datetimeoffset(7) NULL"},
        {"time scale 9 from damage", true, with(Column(u"t", 1, 41, 5), [](auto& c) { c.m_nScale = 9; }),
         "[t] time(7) NULL"},
        {"date in a 2000 catalogue", false, Column(u"t", 1, 40, 3), "[t] varbinary(max) NULL"},
        {"bigint identity not for replication (2000)", false,
         with(Column(u"i", 1, 127, 8, true), [](auto& c) { c.m_strIdentitySeed = u"5"; c.m_strIdentityIncrement = u"2"; }),
         "[i] bigint IDENTITY(5 ,2 ) NOT FOR REPLICATION  NOT NULL"},
        {"empty computed text gives the typed form", true,
         with(Column(u"c", 1, 56, 4, true), [](auto& c) { c.m_bComputed = true; }), "[c] int NULL"},
        {"2000 computed column without text", false,
         with(Column(u"c", 1, 56, 4, true), [](auto& c) { c.m_nLeafOffset = 0; }), "[c] int NULL"},
    };
    for (const auto& c : cases) {
        auto table = Table(c.layout2005 ? u"dbo.T" : u"T", c.layout2005 ? u"dbo" : u"");
        table.m_bIdentityNotForReplication = true;
        table.m_lstColumns.push_back(c.column);
        const auto statements = BuildTableStatements(table, c.layout2005 ? Settings2005() : Settings2000());
        const std::string create = U8(statements.m_strCreate);
        const auto open = create.find('(');
        EXPECT_EQ(create.substr(open + 1, create.size() - open - 2), c.definition) << c.what;
    }
}

TEST(TableStatements, ComputedAndUserTypeForms) {
    auto table = Table(u"dbo.T", u"dbo");
    auto total = Column(u"Total", 1, 56, 4);
    total.m_bComputed = true;
    total.m_bPersisted = true;
    table.m_lstColumns.push_back(total);
    auto phone = Column(u"Phone", 2, 167, 20, true);
    phone.m_nUserTypeId = 257;
    table.m_lstColumns.push_back(phone);
    auto zip = Column(u"Zip", 3, 167, 10);
    zip.m_nUserTypeId = 258;  // a type the server refused
    table.m_lstColumns.push_back(zip);

    std::map<std::int64_t, std::u16string> created{{target::UserTypeKey2005(257), u"Phone]Type"}};
    TableSettings settings;
    settings.m_pCreatedTypes = &created;
    settings.m_computedText = [](std::int32_t object, std::uint16_t column) {
        return object == 1001 && column == 1 ? std::u16string(u"([a]+[b])") : std::u16string();
    };
    const auto statements = BuildTableStatements(table, settings);
    EXPECT_EQ(U8(statements.m_strCreate),
              "create table [dbo].[T]([Total] AS ([a]+[b]) PERSISTED,[Phone] [Phone]]Type] collate "
              "Latin1_General_CI_AS NOT NULL,"
              "[Zip] varchar(10) collate Latin1_General_CI_AS NULL)");
    EXPECT_EQ(U8(statements.m_strPlainCreate), "create table [dbo].[T]([Phone] varchar(20) NULL,[Zip] varchar(10) NULL)");
}

TEST(TableStatements, AliasTypeColumnsKeepTheirCollationAndIdentity) {
    struct Case {
        const char* what;
        bool layout2005;
        mdf::ColumnNode column;
        std::string definition;
    };
    auto alias = [](bool layout2005, std::uint8_t type, std::uint16_t length, bool identity) {
        mdf::ColumnNode c = Column(u"c", 1, type, length, true);
        if (layout2005) {
            c.m_nUserTypeId = 257;
        } else {
            c.m_dwTypeInfo2000 = type | (257u << 16);
        }
        c.m_nCollationId = 0x3400D008;  // the column's own, not the database's
        if (identity) {
            c.m_strIdentitySeed = u"10";
            c.m_strIdentityIncrement = u"5";
        }
        return c;
    };
    const Case cases[] = {
        {"character alias keeps the column's collation", true, alias(true, 167, 20, false),
         "[c] [Code] collate SQL_Latin1_General_CP1_CI_AS NOT NULL"},
        {"2000 character alias", false, alias(false, 231, 40, false),
         "[c] [Code] collate SQL_Latin1_General_CP1_CI_AS NOT NULL"},
        {"2000 identity of an alias type", false, alias(false, 56, 4, true), "[c] [Code] IDENTITY(10,5 ) NOT NULL"},
        {"identity of an alias type", true, alias(true, 56, 4, true), "[c] [Code] IDENTITY(10,5 ) NOT NULL"},
    };
    for (const auto& c : cases) {
        std::map<std::int64_t, std::u16string> created{
            {c.layout2005 ? target::UserTypeKey2005(257) : target::UserTypeKey2000(c.column.m_dwTypeInfo2000), u"Code"}};
        TableSettings settings = c.layout2005 ? Settings2005() : Settings2000();
        settings.m_pCreatedTypes = &created;
        auto table = Table(c.layout2005 ? u"dbo.T" : u"T", c.layout2005 ? u"dbo" : u"");
        table.m_lstColumns.push_back(c.column);
        const std::string create = U8(BuildTableStatements(table, settings).m_strCreate);
        const auto open = create.find('(');
        EXPECT_EQ(create.substr(open + 1, create.size() - open - 2), c.definition) << c.what;
    }
}

TEST(TableStatements, ComputedTextThatCouldCloseTheStatementIsLeftOut) {
    auto table = Table(u"dbo.T", u"dbo");
    auto total = Column(u"Total", 1, 56, 4);
    total.m_bComputed = true;
    table.m_lstColumns.push_back(total);
    table.m_lstColumns.push_back(Column(u"a", 2, 56, 4));
    TableSettings settings;
    settings.m_computedText = [](std::int32_t, std::uint16_t) { return std::u16string(u"(1)) ; DROP DATABASE [victim] --"); };
    const auto statements = BuildTableStatements(table, settings);
    EXPECT_EQ(U8(statements.m_strCreate), "create table [dbo].[T]([Total] int NULL,[a] int NULL)");
    ASSERT_EQ(statements.m_arrLeftOut.size(), 1u);
    EXPECT_NE(U8(statements.m_arrLeftOut[0].m_strReason).find("not one expression"), std::string::npos);
}

TEST(TableStatements, PrimaryKeys) {
    struct Case {
        const char* what;
        bool layout2005;
        std::u16string name;
        std::vector<mdf::StructPk> key;
        std::string tail;  // what follows the last column definition
        std::size_t left_out;
    } cases[] = {
        {"two columns, the second descending", true, u"PK]1", {{1, false}, {2, true}},
         ",CONSTRAINT [PK]]1] PRIMARY KEY NONCLUSTERED ( [a] ,[b]]] DESC));", 0},
        {"a key column that is not a column", true, u"PK", {{1, false}, {9, false}, {2, false}}, ")", 1},
        {"no key", true, u"", {}, ")", 0},
        {"2000 named", false, u"PK_T", {{2, true}}, ",CONSTRAINT  [PK_T] PRIMARY KEY NONCLUSTERED ([b]]] DESC));", 0},
        {"2000 unnamed", false, u"", {{1, false}, {2, false}}, ", PRIMARY KEY NONCLUSTERED ([a] ,[b]]] ));", 0},
        {"2000 missing column", false, u"PK_T", {{7, false}}, ")", 1},
    };
    for (const auto& c : cases) {
        auto table = Table(c.layout2005 ? u"dbo.T" : u"T", c.layout2005 ? u"dbo" : u"");
        table.m_lstColumns.push_back(Column(u"a", 1, 56, 4, true));
        table.m_lstColumns.push_back(Column(u"b]", 2, 56, 4, true));
        (c.layout2005 ? table.m_strPrimaryKeyName : table.m_strPrimaryKeyName2000) = c.name;
        (c.layout2005 ? table.m_arrPrimaryKey : table.m_arrPrimaryKey2000) = c.key;
        const auto statements = BuildTableStatements(table, c.layout2005 ? Settings2005() : Settings2000());
        const std::string create = U8(statements.m_strCreate);
        const std::string last = "[b]]] int NOT NULL";
        EXPECT_EQ(create.substr(create.find(last) + last.size()), c.tail) << c.what;
        EXPECT_EQ(statements.m_arrLeftOut.size(), c.left_out) << c.what;
        EXPECT_EQ(create.find(",,"), std::string::npos) << c.what;
    }
}

TEST(TableStatements, IndexesAndUniqueKeys) {
    auto index = [](std::u16string name, std::vector<mdf::structColindex> columns, auto change) {
        mdf::structIndex i;
        i.m_strName = std::move(name);
        i.m_arrColumns = std::move(columns);
        change(i);
        return i;
    };
    auto unique = [](std::u16string name, std::vector<mdf::structColindex> columns, auto change) {
        mdf::structUniqueKey k;
        k.m_strName = std::move(name);
        k.m_arrColumns = std::move(columns);
        change(k);
        return k;
    };
    struct Case {
        const char* what;
        bool layout2005;
        std::vector<mdf::structIndex> indexes;
        std::vector<mdf::structUniqueKey> keys;
        std::vector<std::string> with_table, after_rows;
        std::size_t left_out;
    };
    const Case cases[] = {
        {"unique clustered with include, fill factor and pad index", true,
         {index(u"IX_Name", {{2, true, false}, {1, false, true}}, [](auto& i) {
             i.m_bUnique = i.m_bClustered = i.m_bPadIndex = true;
             i.m_nFillFactor = 80;
             i.m_nIncludedColumns = 1;
         })},
         {},
         {},
         {"create UNIQUE clustered index [IX_Name] on [dbo].[T] ([Name] DESC) INCLUDE ([Id])  WITH (FILLFACTOR = 80, "
          "PAD_INDEX = ON )"},
         0},
        {"row locks off only", true, {index(u"IX]r", {{1, false, false}}, [](auto& i) { i.m_bRowLocksOff = true; })}, {}, {},
         {"create index [IX]]r] on [dbo].[T] ([Id]) WITH ( ALLOW_ROW_LOCKS = OFF )"}, 0},
        {"non-unique ignore dup key, clustered: built with the table", true,
         {index(u"CX", {{1, false, false}}, [](auto& i) { i.m_bIgnoreDupKey = i.m_bClustered = true; })}, {},
         {"create clustered index [CX] on [dbo].[T] ([Id]) WITH (IGNORE_DUP_KEY = OFF)"}, {}, 0},
        {"index with a missing column is skipped", true,
         {index(u"IX_bad", {{1, false, false}, {9, false, false}}, [](auto&) {})}, {}, {}, {}, 1},
        {"fill factor above 100 is left out", true,
         {index(u"IX_f", {{1, false, false}}, [](auto& i) { i.m_nFillFactor = 200; })}, {}, {},
         {"create index [IX_f] on [dbo].[T] ([Id]) "}, 1},
        {"unique key, two columns, second descending", true, {},
         {unique(u"UQ_T", {{1, false, false}, {2, true, false}}, [](auto&) {})}, {},
         {"ALTER TABLE [dbo].[T] ADD CONSTRAINT [UQ_T] UNIQUE nonclustered ([Id], [Name] DESC) "}, 0},
        {"unique key with a missing column is skipped", true, {},
         {unique(u"UQ_x", {{9, false, false}, {1, false, false}}, [](auto&) {})}, {}, {}, 1},
        {"2000 index options", false,
         {index(u"IX_Ref", {{2, false, false}}, [](auto& i) {
             i.m_bUnique = i.m_bIgnoreDupKey = i.m_bPadIndex = true;
             i.m_nFillFactor = 90;
         })},
         {}, {}, {"create UNIQUE nonclustered index  [IX_Ref] on [T] ([Name]) WITH IGNORE_DUP_KEY , FILLFACTOR = 90, PAD_INDEX "},
         0},
        {"2000 statistics norecompute only", false,
         {index(u"IX_s", {{1, false, false}}, [](auto& i) { i.m_bNoRecompute = true; })}, {}, {},
         {"create nonclustered index  [IX_s] on [T] ([Id]) WITH STATISTICS_NORECOMPUTE "}, 0},
        {"2000 unique key", false, {},
         {unique(u"UQ'1", {{1, false, false}, {2, true, false}}, [](auto& k) { k.m_nFillFactor = 70; })}, {},
         {"ALTER TABLE [T] ADD CONSTRAINT [UQ'1] UNIQUE nonclustered([Id], [Name] DESC ) WITH FILLFACTOR = 70"}, 0},
    };
    for (const auto& c : cases) {
        auto table = Table(c.layout2005 ? u"dbo.T" : u"T", c.layout2005 ? u"dbo" : u"");
        table.m_lstColumns.push_back(Column(u"Id", 1, 56, 4, true));
        table.m_lstColumns.push_back(Column(u"Name", 2, 231, 80));
        table.m_lstIndexes = c.indexes;
        table.m_lstUniqueKeys = c.keys;
        const auto statements = BuildTableStatements(table, c.layout2005 ? Settings2005() : Settings2000());
        std::vector<std::string> with_table, after_rows;
        for (const auto& s : statements.m_arrWithTable) with_table.push_back(U8(s.m_strText));
        for (const auto& s : statements.m_arrAfterRows) after_rows.push_back(U8(s.m_strText));
        EXPECT_EQ(with_table, c.with_table) << c.what;
        EXPECT_EQ(after_rows, c.after_rows) << c.what;
        EXPECT_EQ(statements.m_arrLeftOut.size(), c.left_out) << c.what;
    }
}

// ---- User types ----

TEST(UserTypeStatements, BothLayouts) {
    struct Case {
        const char* what;
        std::uint8_t base;
        std::uint16_t length;
        std::uint8_t precision, scale;
        bool not_null;
        std::string v2005, v2000;
    } cases[] = {
        {"varchar", 167, 20, 0, 0, true, "create type  [T'1]]] from [varchar](20) NOT NULL",
         "EXEC sp_addtype N'T''1]',N'varchar(20)','NOT NULL'"},
        {"nvarchar halves", 231, 100, 0, 0, false, "create type  [T'1]]] from [nvarchar](50) NULL",
         "EXEC sp_addtype N'T''1]',N'nvarchar(50)','NULL'"},
        {"max types", 231, 65535, 0, 0, false, "create type  [T'1]]] from [nvarchar](MAX) NULL",
         "EXEC sp_addtype N'T''1]',N'nvarchar(max)','NULL'"},
        {"decimal", 106, 9, 9, 2, false, "create type  [T'1]]] from [decimal](9,2) NULL",
         "EXEC sp_addtype N'T''1]',N'decimal(9,2)','NULL'"},
        {"real takes no length", 59, 4, 0, 0, false, "create type  [T'1]]] from [real] NULL",
         "EXEC sp_addtype N'T''1]',N'real','NULL'"},
        {"timestamp takes no length", 189, 8, 0, 0, true, "create type  [T'1]]] from [timestamp] NOT NULL",
         "EXEC sp_addtype N'T''1]',N'timestamp','NOT NULL'"},
        {"xml takes no length", 241, 65535, 0, 0, false, "create type  [T'1]]] from [xml] NULL",
         "EXEC sp_addtype N'T''1]',N'xml','NULL'"},
        {"date", 40, 3, 10, 0, false, "create type  [T'1]]] from [date] NULL", "EXEC sp_addtype N'T''1]',N'date','NULL'"},
        {"time with its scale", 41, 5, 16, 7, false, "create type  [T'1]]] from [time](7) NULL",
         "EXEC sp_addtype N'T''1]',N'time(7)','NULL'"},
        {"datetimeoffset", 43, 10, 34, 3, false, "create type  [T'1]]] from [datetimeoffset](3) NULL",
         "EXEC sp_addtype N'T''1]',N'datetimeoffset(3)','NULL'"},
        {"unknown base code", 250, 8, 0, 0, false, "create type  [T'1]]] from [varbinary](MAX) NULL",
         "EXEC sp_addtype N'T''1]',N'varbinary(max)','NULL'"},
        {"damaged decimal precision", 108, 17, 99, 2, false, "create type  [T'1]]] from [numeric](38,2) NULL",
         "EXEC sp_addtype N'T''1]',N'numeric(38,2)','NULL'"},
    };
    for (const auto& c : cases) {
        target::UserTypeRow row;
        row.m_strName = u"T'1]";
        row.m_nBaseType = c.base;
        row.m_nLength = c.length;
        row.m_nPrecision = c.precision;
        row.m_nScale = c.scale;
        row.m_bNotNull = c.not_null;
        EXPECT_EQ(U8(target::UserTypeStatement(row, true)), c.v2005) << c.what;
        EXPECT_EQ(U8(target::UserTypeStatement(row, false)), c.v2000) << c.what;
    }
    target::UserTypeRow odd;
    odd.m_strName = u"X";
    odd.m_nBaseType = 250;
    std::vector<std::u16string> notes;
    target::UserTypeStatement(odd, true, &notes);
    EXPECT_EQ(notes.size(), 1u) << "an unknown base code is said";
}

// ---- Foreign keys ----

TEST(ForeignKeys, StatusBits) {
    using target::ReferentialAction;
    struct Case {
        std::uint8_t status;
        bool layout2005;
        target::ForeignKeyFlags flags;
    } cases[] = {
        {0x00, true, {}},
        {0x01, true, {true, false, false}},
        {0x02, true, {false, true, false}},
        {0x04, true, {false, false, true}},
        {0x05, true, {true, false, true}},
        {0x10, true, {false, false, false, ReferentialAction::NoAction, ReferentialAction::Cascade}},
        {0x20, true, {false, false, false, ReferentialAction::NoAction, ReferentialAction::SetNull}},
        {0x40, true, {false, false, false, ReferentialAction::Cascade, ReferentialAction::NoAction}},
        {0xC0, true, {false, false, false, ReferentialAction::SetDefault, ReferentialAction::NoAction}},
        {0x57, true, {true, true, true, ReferentialAction::Cascade, ReferentialAction::Cascade}},
        {0x00, false, {}},
        {0x09, false, {true, false, false}},
        {0x0C, false, {false, true, false}},
        {0x08, false, {false, false, true}},
        {0x10, false, {false, false, false, ReferentialAction::Cascade, ReferentialAction::NoAction}},
        {0x38, false, {false, false, false, ReferentialAction::Cascade, ReferentialAction::Cascade}},
        {0x2C, false, {false, true, false, ReferentialAction::NoAction, ReferentialAction::Cascade}},
    };
    for (const auto& c : cases) {
        const auto flags = c.layout2005 ? target::DecodeForeignKeyStatus2005(c.status)
                                        : target::DecodeForeignKeyStatus2000(c.status);
        EXPECT_EQ(flags, c.flags) << std::hex << int(c.status) << (c.layout2005 ? " 2005" : " 2000");
    }
}

TEST(ForeignKeys, Statements) {
    target::ForeignKeyDefinition key;
    key.m_strName = u"FK_Order]s";
    key.m_strTable = u"[dbo].[Order Details]";
    key.m_strReferenced = u"[dbo].[Orders]";
    key.m_arrColumns = {u"OrderID", u"Re]gion"};
    key.m_arrReferencedColumns = {u"OrderID", u"Region"};
    struct Case {
        std::uint8_t status;
        std::string add_tail, check;
    } cases[] = {
        {0x00, "", "ALTER TABLE [dbo].[Order Details] WITH CHECK CHECK CONSTRAINT [FK_Order]]s]"},
        {0x40, " ON DELETE CASCADE", "ALTER TABLE [dbo].[Order Details] WITH CHECK CHECK CONSTRAINT [FK_Order]]s]"},
        {0x14, " ON UPDATE CASCADE", "ALTER TABLE [dbo].[Order Details] CHECK CONSTRAINT [FK_Order]]s]"},
        {0x57, " ON DELETE CASCADE ON UPDATE CASCADE NOT FOR REPLICATION",
         "ALTER TABLE [dbo].[Order Details] NOCHECK CONSTRAINT [FK_Order]]s]"},
    };
    for (const auto& c : cases) {
        key.m_flags = target::DecodeForeignKeyStatus2005(c.status);
        const auto texts = target::ForeignKeyStatements(key);
        ASSERT_EQ(texts.size(), 2u);
        EXPECT_EQ(U8(texts[0]), "ALTER TABLE [dbo].[Order Details] WITH NOCHECK ADD CONSTRAINT [FK_Order]]s] FOREIGN KEY "
                                "([OrderID],[Re]]gion]) REFERENCES [dbo].[Orders]([OrderID],[Region])" + c.add_tail)
            << std::hex << int(c.status);
        EXPECT_EQ(U8(texts[1]), c.check) << std::hex << int(c.status);
    }
}

// ---- Check constraints and statistics ----

TEST(CheckConstraints, Statements) {
    struct Case {
        std::uint8_t status;
        bool layout2005;
        std::string add, check;
    } cases[] = {
        {0x00, true, "ALTER TABLE [dbo].[Orders] WITH NOCHECK ADD CONSTRAINT [CK_Q'ty] CHECK ( ([Qty]>(0)) )",
         "ALTER TABLE [dbo].[Orders] WITH CHECK CHECK CONSTRAINT [CK_Q'ty]"},
        {0x05, true, "ALTER TABLE [dbo].[Orders] WITH NOCHECK ADD CONSTRAINT [CK_Q'ty] CHECK ( ([Qty]>(0)) )",
         "ALTER TABLE [dbo].[Orders] NOCHECK CONSTRAINT [CK_Q'ty]"},
        {0x04, true, "ALTER TABLE [dbo].[Orders] WITH NOCHECK ADD CONSTRAINT [CK_Q'ty] CHECK ( ([Qty]>(0)) )",
         "ALTER TABLE [dbo].[Orders] CHECK CONSTRAINT [CK_Q'ty]"},
        {0x0D, true,
         "ALTER TABLE [dbo].[Orders] WITH NOCHECK ADD CONSTRAINT [CK_Q'ty] CHECK NOT FOR REPLICATION ( ([Qty]>(0)) )",
         "ALTER TABLE [dbo].[Orders] NOCHECK CONSTRAINT [CK_Q'ty]"},
        {0x09, false, "ALTER TABLE [dbo].[Orders] WITH NOCHECK ADD CONSTRAINT [CK_Q'ty] CHECK ( ([Qty]>(0)) )",
         "ALTER TABLE [dbo].[Orders] NOCHECK CONSTRAINT [CK_Q'ty]"},
        {0x08, false, "ALTER TABLE [dbo].[Orders] WITH NOCHECK ADD CONSTRAINT [CK_Q'ty] CHECK ( ([Qty]>(0)) )",
         "ALTER TABLE [dbo].[Orders] CHECK CONSTRAINT [CK_Q'ty]"},
    };
    for (const auto& c : cases) {
        const auto texts = target::CheckConstraintStatements(u"[dbo].[Orders]", u"CK_Q'ty", u"([Qty]>(0))",
                                                             target::DecodeCheckStatus(c.status, c.layout2005));
        ASSERT_EQ(texts.size(), 2u);
        EXPECT_EQ(U8(texts[0]), c.add) << std::hex << int(c.status);
        EXPECT_EQ(U8(texts[1]), c.check) << std::hex << int(c.status);
    }
}

TEST(StatisticsStatements, ColumnsAndNames) {
    EXPECT_EQ(U8(target::StatisticsStatement(u"st_name", u"[dbo].[Docs]", {u"Title", u"Size"})),
              "Create Statistics [st_name] on [dbo].[Docs] ([Title],[Size])");
    EXPECT_EQ(U8(target::StatisticsStatement(u"st]x", u"[dbo].[dbo.bobs]", {u"a]"})),
              "Create Statistics [st]]x] on [dbo].[dbo.bobs] ([a]]])");
    EXPECT_TRUE(target::StatisticsStatement(u"st", u"[dbo].[T]", {}).empty());
}

}  // namespace
