// The 2000-format catalogue end to end on the synthetic database: the listing equals what was built, the
// stored objects and bindings are read, torn sectors are restored, damaged variants still list what they can,
// and a stop anywhere in the chain is reported as a stop.
#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>

#include "mdf/decimal_text.h"
#include "mdf/recovery_engine.h"
#include "platform/text.h"
#include "tests/support/page_builder.h"
#include "tests/support/sql2000_builder.h"
#include "tests/tools/catalog_dump.h"

namespace {

using testsupport::FileBuilder;
using testsupport::TempDir;
namespace s2k = testsupport::sql2000;

// A scan of the file as the scan job runs it, with the messages and prompts recorded.
struct Scan {
    platform::SharedState app;
    platform::RecordingSink sink;
    platform::SilentPrompts prompts;
    std::unique_ptr<mdf::CRecoveryEngine> engine;
    bool ok = false;
    std::string listing;
    std::string errors;

    Scan(const std::filesystem::path& path, platform::IUserPrompts* custom_prompts = nullptr) {
        app.m_strDataFilePath = platform::FromUtf8(path.string());
        engine = std::make_unique<mdf::CRecoveryEngine>(app, &sink, custom_prompts ? custom_prompts : &prompts);
        // The log window's part: each sent log line is appended to the log text.
        sink.on_send = [this](unsigned message, platform::WPARAM, platform::LPARAM) {
            if (message == platform::WM_LOG_LINE) app.m_strLogText += app.m_strLogLine + u"\r\n";
        };
        std::ostringstream err, out;
        ok = catalog_dump::RunScan(*engine, err);
        errors = err.str();
        if (ok) catalog_dump::PrintCatalog(*engine, out);
        listing = out.str();
    }
    const mdf::TableNode* Table(std::int32_t object_id) const {
        for (const auto& t : engine->m_lstTables) {
            if (t.m_nObjectId == object_id) return &t;
        }
        return nullptr;
    }
    const mdf::ColumnNode* Column(std::int32_t object_id, std::u16string_view name) const {
        const auto* table = Table(object_id);
        if (!table) return nullptr;
        for (const auto& c : table->m_lstColumns) {
            if (c.m_pszName == name) return &c;
        }
        return nullptr;
    }
    bool Logged(std::u16string_view part) const { return app.m_strLogText.find(part) != std::u16string::npos; }
};

std::filesystem::path Write(const TempDir& dir, const FileBuilder& file, const std::string& name = "db.mdf") {
    const auto path = dir / name;
    file.WriteTo(path);
    return path;
}

constexpr std::int32_t kCustomers = 1977058079;
constexpr std::int32_t kOrders = 2009058193;
constexpr std::int32_t kLedger = 2041058307;
constexpr std::int32_t kEvents = 2137058649;

}  // namespace

TEST(Catalog2000, SampleDatabaseListsAsBuilt) {
    TempDir dir;
    const auto db = s2k::SampleDatabase();
    s2k::Layout layout;
    Scan scan(Write(dir, db.Build(&layout)));
    ASSERT_TRUE(scan.ok) << scan.errors;
    EXPECT_EQ(scan.listing, db.Listing());

    const auto& app = scan.app;
    EXPECT_TRUE(app.m_bSql2000);
    EXPECT_TRUE(app.m_bCreatedOn2000);
    EXPECT_EQ(app.m_nTableCount, 7);  // dtproperties is not listed
    EXPECT_EQ(app.m_nProcedureCount, 1);  // the ghost procedure is not
    EXPECT_EQ(app.m_nFunctionCount, 3);
    EXPECT_EQ(app.m_nDefaultCount, 2);
    EXPECT_EQ(app.m_nViewCount, 1);  // the system view is not
    EXPECT_EQ(app.m_nRuleCount, 1);
    EXPECT_EQ(app.m_nTriggerCount, 1);

    const auto& engine = *scan.engine;
    ASSERT_EQ(engine.m_arrForeignKeys2000.size(), 1u);
    EXPECT_EQ(engine.m_arrForeignKeys2000[0].m_strName, u"FK_Orders_Customers");
    EXPECT_EQ(engine.m_arrForeignKeys2000[0].m_nParentObjectId, kOrders);
    EXPECT_EQ(engine.m_arrForeignKeys2000[0].m_nStatus, 0x02);
    ASSERT_EQ(engine.m_arrCheckConstraints.size(), 1u);
    EXPECT_EQ(engine.m_arrCheckConstraints[0].m_strName, u"CK_Orders_Qty");
    EXPECT_EQ(engine.m_arrCheckConstraints[0].m_nParentObjectId, kOrders);
    EXPECT_EQ(engine.m_arrCheckConstraints[0].m_nStatus, 0x04);
    ASSERT_EQ(engine.m_lstDefaults.size(), 2u);
    const auto& column_default = engine.m_lstDefaults.back();
    EXPECT_EQ(column_default.m_pszName, u"DF_Orders_Flags");
    EXPECT_EQ(column_default.m_nParentObjectId, kOrders);
    EXPECT_EQ(column_default.m_nParentColumnId, 6);
    EXPECT_EQ(column_default.m_nStatusHigh, 2);

    // Bindings of the stand-alone default and rule.
    const auto& zero = engine.m_lstDefaults.front();
    ASSERT_EQ(zero.m_lstBindings.size(), 1u);
    EXPECT_EQ(zero.m_lstBindings[0].m_strTableName, u"Customers");
    EXPECT_EQ(zero.m_lstBindings[0].m_strColumnName, u"Balance");
    EXPECT_EQ(zero.m_lstBindings[0].m_nDefaultObjectId, zero.m_nObjectId);
    ASSERT_EQ(engine.m_lstRules.size(), 1u);
    ASSERT_EQ(engine.m_lstRules.front().m_lstBindings.size(), 1u);
    EXPECT_EQ(engine.m_lstRules.front().m_lstBindings[0].m_strTableName, u"Orders");
    EXPECT_EQ(engine.m_lstRules.front().m_lstBindings[0].m_strColumnName, u"Qty");

    // Identity columns.
    const auto* customers = scan.Table(kCustomers);
    ASSERT_NE(customers, nullptr);
    EXPECT_TRUE(customers->m_bHasIdentity);
    EXPECT_FALSE(customers->m_bIdentityNotForReplication);
    EXPECT_EQ(customers->m_nColumnCount, 7);
    const auto* id = scan.Column(kCustomers, u"CustomerID");
    ASSERT_NE(id, nullptr);
    EXPECT_EQ(id->m_strIdentitySeed, u"1");
    EXPECT_EQ(id->m_strIdentityIncrement, u"1");
    EXPECT_EQ(id->m_nStatus & 1, 1);
    const auto* orders = scan.Table(kOrders);
    ASSERT_NE(orders, nullptr);
    EXPECT_TRUE(orders->m_bIdentityNotForReplication);
    EXPECT_EQ(scan.Column(kOrders, u"OrderID")->m_strIdentitySeed, u"1000");
    EXPECT_EQ(scan.Column(kOrders, u"OrderID")->m_strIdentityIncrement, u"5");
    const auto* entry = scan.Column(kLedger, u"Entry");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->m_strIdentitySeed, mdf::DecimalToText(*s2k::Decimal(true, 100, 9), 12, 0));
    EXPECT_EQ(entry->m_strIdentityIncrement, mdf::DecimalToText(*s2k::Decimal(true, 10, 9), 12, 0));

    // In-row positions come from the column rows.
    const auto* active = scan.Column(kCustomers, u"Active");
    const auto* vip = scan.Column(kCustomers, u"Vip");
    ASSERT_TRUE(active && vip);
    EXPECT_EQ(active->m_nLeafOffset, vip->m_nLeafOffset);
    EXPECT_EQ(active->m_nBitPos, 0);
    EXPECT_EQ(vip->m_nBitPos, 1);
    EXPECT_EQ(scan.Column(kCustomers, u"Name")->m_nLeafOffset, -1);
    EXPECT_EQ(scan.Column(kCustomers, u"City")->m_nLeafOffset, -2);
    EXPECT_EQ(scan.Column(kCustomers, u"Balance")->m_nLeafOffset, 4 + 4);
    EXPECT_EQ(scan.Column(kCustomers, u"City")->m_nCollationId, 0x3400D008u);
    EXPECT_EQ(scan.Column(kCustomers, u"Balance")->m_nCollationId, 0u);
    EXPECT_EQ(scan.Column(kCustomers, u"Joined")->m_nColumnOrder, 7);

    // Data pages, in IAM order: single-page slots first, then the pages of the uniform extent.
    const auto* events = scan.Table(kEvents);
    ASSERT_NE(events, nullptr);
    std::vector<std::uint64_t> pages;
    for (const auto& p : events->m_lstDataPages) pages.push_back(p.m_nPageOffset / testsupport::kPageSize);
    EXPECT_EQ(pages, layout.data_pages.at(kEvents));
    EXPECT_EQ(pages.size(), 10u);
    EXPECT_EQ(orders->m_lstDataPages.size(), 1u);  // its two ghost rows are not counted
}

TEST(Catalog2000, SampleKeysReachTheKeyReaders) {
    TempDir dir;
    Scan scan(Write(dir, s2k::SampleDatabase().Build()));
    ASSERT_TRUE(scan.ok) << scan.errors;
    scan.engine->ReadPrimaryKeyColumns2000();
    scan.engine->ReadIndexes2000();
    const auto* customers = scan.Table(kCustomers);
    ASSERT_NE(customers, nullptr);
    EXPECT_EQ(customers->m_strPrimaryKeyName2000, u"PK_Customers");
    EXPECT_TRUE(customers->m_bClusteredPrimaryKey);
    ASSERT_EQ(customers->m_arrPrimaryKey2000.size(), 1u);
    EXPECT_EQ(customers->m_arrPrimaryKey2000[0].m_nColumnId, 1);
    const auto* orders = scan.Table(kOrders);
    ASSERT_EQ(orders->m_lstIndexes.size(), 1u);
    EXPECT_EQ(orders->m_lstIndexes[0].m_strName, u"IX_Orders_Customer");
    ASSERT_EQ(orders->m_lstIndexes[0].m_arrColumns.size(), 1u);
    EXPECT_EQ(orders->m_lstIndexes[0].m_arrColumns[0].m_nColumnId, 2);
}

TEST(Catalog2000, RestorationChangesWhatTheStraddlingFieldsRead) {
    TempDir dir;
    s2k::Layout layout;
    const auto path = Write(dir, s2k::SampleDatabase().Build(&layout));
    // The second byte of each field is the last byte of its sector.
    ASSERT_EQ(layout.torn_object_id_at % 512, 510u);
    ASSERT_EQ(layout.torn_column_length_at % 512, 510u);

    platform::SharedState app;
    app.m_strDataFilePath = platform::FromUtf8(path.string());
    mdf::CRecoveryEngine engine(app);
    ASSERT_TRUE(engine.OpenDataFile());
    const std::uint64_t object_page = layout.torn_object_id_at / testsupport::kPageSize * testsupport::kPageSize;
    const std::uint64_t column_page = layout.torn_column_length_at / testsupport::kPageSize * testsupport::kPageSize;

    app.m_bCreatedOn2000 = true;
    engine.LoadTornBits(object_page);
    EXPECT_EQ(static_cast<std::int32_t>(engine.Read32(layout.torn_object_id_at, mdf::Fixup::Single)), kCustomers);
    app.m_bCreatedOn2000 = false;
    EXPECT_NE(static_cast<std::int32_t>(engine.Read32(layout.torn_object_id_at, mdf::Fixup::Single)), kCustomers);

    app.m_bCreatedOn2000 = true;
    engine.LoadTornBits(column_page);
    EXPECT_EQ(engine.Read16(layout.torn_column_length_at, mdf::Fixup::Single), 80);  // Name nvarchar(40)
    app.m_bCreatedOn2000 = false;
    EXPECT_NE(engine.Read16(layout.torn_column_length_at, mdf::Fixup::Single), 80);

    // The whole chain reads them restored.
    Scan scan(path);
    ASSERT_TRUE(scan.ok) << scan.errors;
    ASSERT_NE(scan.Table(kCustomers), nullptr);
    EXPECT_EQ(scan.Column(kCustomers, u"Name")->m_nMaxInRowLength, 80);
}

TEST(Catalog2000, SourceVersionDialogLeadsToThe2000Reader) {
    // A pair that no row of the version table lists: the user names the 2000 format.
    struct Choose2000 final : platform::IUserPrompts {
        void ShowMessage(const std::u16string&, const std::u16string&) override {}
        bool SelectSourceVersion(platform::SharedState& state) override {
            state.m_dwVersionPair = 539u | (539u << 16);
            state.m_bSql2000 = state.m_bCreatedOn2000 = true;
            state.m_bSql2005Catalog = state.m_bLayout2005 = false;
            ++asked;
            return true;
        }
        int asked = 0;
    } prompts;
    TempDir dir;
    const auto db = s2k::SampleDatabase();
    auto file = db.Build();
    file.BootVersion(540, 539);
    Scan scan(Write(dir, file), &prompts);
    ASSERT_TRUE(scan.ok) << scan.errors;
    EXPECT_EQ(prompts.asked, 1);
    EXPECT_EQ(scan.listing, db.Listing());
}

TEST(Catalog2000, DocumentRecoveryReadsThe2000CatalogueToo) {
    TempDir dir;
    const auto db = s2k::SampleDatabase();
    platform::SharedState app;
    app.m_strDataFilePath = platform::FromUtf8(Write(dir, db.Build()).string());
    app.m_bDocumentMode = true;
    mdf::CRecoveryEngine engine(app);
    ASSERT_TRUE(engine.OpenDataFile());
    ASSERT_TRUE(engine.ReadCatalogForVersion());
    EXPECT_EQ(engine.m_lstTables.size(), 7u);
    EXPECT_EQ(app.m_nTopSiteCount + app.m_nDocumentCount, 0);
}

TEST(Catalog2000, TablesOfOneNameUnderTwoOwnersAreBothKeptAndLogged) {
    TempDir dir;
    Scan scan(Write(dir, s2k::SampleDatabase().Build()));
    ASSERT_TRUE(scan.ok) << scan.errors;
    int notes = 0;
    for (const auto& t : scan.engine->m_lstTables) notes += t.m_pszName == u"Notes" ? 1 : 0;
    EXPECT_EQ(notes, 2);
    EXPECT_TRUE(scan.Logged(u"Two tables are named Notes (object ids 2073058421 and 2105058535): both are kept."));
}

TEST(Catalog2000, StaleCopiesOfSystemPagesListEachTableOnce) {
    // A page left behind by an earlier write of sysobjects and syscolumns: the whole-file scan files it too.
    TempDir dir;
    const auto db = s2k::SampleDatabase();
    s2k::Layout layout;
    auto file = db.Build(&layout);
    const auto bytes = file.Bytes();
    auto copy_page = [&](std::uint64_t from, std::uint64_t to) {
        testsupport::PageBytes page;
        std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(from * testsupport::kPageSize), testsupport::kPageSize,
                    page.begin());
        file.SetPage(to, page);
    };
    copy_page(layout.object_pages.front(), layout.page_count);
    copy_page(layout.column_pages.front(), layout.page_count + 1);
    Scan scan(Write(dir, file));
    ASSERT_TRUE(scan.ok) << scan.errors;
    EXPECT_EQ(scan.listing, db.Listing());
    EXPECT_EQ(scan.app.m_nTableCount, 7);
    EXPECT_TRUE(scan.Logged(u"Table Customers (object id 1977058079) was found twice"));
}

TEST(Catalog2000, DamagedVariantsListWhatTheyCan) {
    const auto db = s2k::SampleDatabase().ObjectRowsPerPage(7);
    s2k::Layout layout;
    const auto intact = db.Build(&layout);
    // With seven object rows a page, the second page holds Ledger, both Notes, Events, Empty, dtproperties and
    // the procedure; the second column page holds the columns of both Notes, Events, Empty and dtproperties.
    const std::string full = db.Listing();
    auto lines_of = [&](std::initializer_list<const char*> names) {
        std::string out = "version\t539\t539\n";
        std::istringstream in(full);
        for (std::string line; std::getline(in, line);) {
            for (const char* name : names) {
                if (line.rfind(std::string("table\t") + name + "\t", 0) == 0) out += line + "\n";
            }
        }
        return out;
    };
    auto replace = [](std::string text, const std::string& from, const std::string& to) {
        const auto at = text.find(from);
        if (at != std::string::npos) text.replace(at, from.size(), to);
        return text;
    };
    const std::string events_line = "table\tEvents\t60\tSeq int, Kind tinyint, Payload char(200)";

    struct Variant {
        const char* name;
        bool zero_object_page;
        bool zero_column_page;
        bool cut_iam_page;
        bool truncate_in_iam_page;
    };
    const Variant variants[] = {
        {"second sysobjects page zeroed", true, false, false, false},
        {"second syscolumns page zeroed", false, true, false, false},
        {"IAM page of Events cut in half", false, false, true, false},
        {"file ends inside the IAM page of Events", false, false, false, true},
        {"sysobjects page zeroed and IAM page cut", true, false, true, false},
    };
    for (const auto& v : variants) {
        SCOPED_TRACE(v.name);
        auto bytes = intact.Bytes();
        auto zero = [&](std::uint64_t page, std::size_t from) {
            std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(page * testsupport::kPageSize + from),
                      bytes.begin() + static_cast<std::ptrdiff_t>((page + 1) * testsupport::kPageSize), 0);
        };
        if (v.zero_object_page) zero(layout.object_pages.at(1), 0);
        if (v.zero_column_page) zero(layout.column_pages.at(1), 0);
        if (v.cut_iam_page) zero(layout.iam_page.at(kEvents), testsupport::kPageSize / 2);
        if (v.truncate_in_iam_page) bytes.resize(layout.iam_page.at(kEvents) * testsupport::kPageSize + 4096);

        TempDir dir;
        const auto path = dir / "damaged.mdf";
        {
            std::ofstream out(path, std::ios::binary);
            out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        }
        Scan scan(path);
        ASSERT_TRUE(scan.ok) << scan.errors;
        std::string expected = full;
        if (v.zero_object_page) expected = lines_of({"Customers", "Orders"});
        if (v.zero_column_page) {
            expected = replace(expected, "table\tNotes\t2\tId int, Text varchar(100)", "table\tNotes\t2\t");
            expected = replace(expected, "table\tNotes\t4\tId int, Body nvarchar(50), Stamp bigint", "table\tNotes\t4\t");
            expected = replace(expected, events_line, "table\tEvents\t60\t");
            expected = replace(expected, "table\tEmpty\t0\tA int, B varchar(10)", "table\tEmpty\t0\t");
        }
        if (v.cut_iam_page || v.truncate_in_iam_page) {
            expected = replace(expected, events_line, "table\tEvents\t0\tSeq int, Kind tinyint, Payload char(200)");
        }
        EXPECT_EQ(scan.listing, expected);
    }
}

TEST(Catalog2000, RandomDamageToSystemAndIamPagesNeverBreaksTheScan) {
    const auto db = s2k::SampleDatabase();
    s2k::Layout layout;
    const auto intact = db.Build(&layout).Bytes();
    std::vector<std::uint64_t> targets = layout.object_pages;
    targets.insert(targets.end(), layout.column_pages.begin(), layout.column_pages.end());
    for (const auto& [id, page] : layout.iam_page) targets.push_back(page);
    std::mt19937 random(2000);
    TempDir dir;
    const auto path = dir / "mutated.mdf";
    for (int run = 0; run < 150; ++run) {
        auto bytes = intact;
        for (int k = 0; k < 24; ++k) {
            const std::uint64_t page = targets[random() % targets.size()];
            bytes[page * testsupport::kPageSize + random() % testsupport::kPageSize] = static_cast<std::uint8_t>(random());
        }
        {
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        }
        Scan scan(path);
        for (const auto& table : scan.engine->m_lstTables) {
            for (const auto& page : table.m_lstDataPages) ASSERT_LT(page.m_nPageOffset, bytes.size());
        }
    }
}

TEST(Catalog2000, StopAnywhereInTheChainIsAStop) {
    // The chain sends a start message per stage: page scan, object rows, column rows, allocation walk.
    TempDir dir;
    const auto path = Write(dir, s2k::SampleDatabase().Build());
    for (int stop_at_start = 1; stop_at_start <= 4; ++stop_at_start) {
        SCOPED_TRACE(stop_at_start);
        platform::SharedState app;
        app.m_strDataFilePath = platform::FromUtf8(path.string());
        platform::RecordingSink sink;
        platform::SilentPrompts prompts;
        mdf::CRecoveryEngine engine(app, &sink, &prompts);
        int starts = 0;
        sink.on_send = [&](unsigned message, platform::WPARAM stage, platform::LPARAM) {
            if (message == platform::WM_JOB_PROGRESS && stage == platform::kProgressStart && ++starts == stop_at_start) {
                app.m_bStopJob = true;
            }
        };
        ASSERT_TRUE(engine.OpenDataFile());
        engine.BeginJob();
        EXPECT_FALSE(engine.ReadCatalogForVersion());
        EXPECT_EQ(sink.Count(platform::WM_JOB_ENDED), 1u);
        EXPECT_EQ(prompts.message_count, 0);  // a stop is not an invalid file
        EXPECT_EQ(starts, stop_at_start);
    }
}

TEST(Catalog2000, FileWithoutDataPagesReadsNothing) {
    TempDir dir;
    FileBuilder file;
    file.BootVersion(539, 539).PageCount(16);
    platform::SharedState app;
    app.m_strDataFilePath = platform::FromUtf8(Write(dir, file).string());
    platform::RecordingSink sink;
    mdf::CRecoveryEngine engine(app, &sink);
    ASSERT_TRUE(engine.OpenDataFile());
    app.m_bSql2000 = app.m_bCreatedOn2000 = true;
    EXPECT_EQ(engine.ReadCatalog2000(), 0);
    // Only the page scan's own messages: start and end (steps come only every 1,024 pages and 50 ms).
    EXPECT_EQ(sink.Count(platform::WM_JOB_PROGRESS), 2u);
    EXPECT_TRUE(engine.m_lstTables.empty());
}
