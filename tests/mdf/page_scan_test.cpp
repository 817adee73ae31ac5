// The whole-file scans: which page goes to which page list, by page type and owning object, in both formats.
#include <gtest/gtest.h>

#include <filesystem>

#include "mdf/recovery_engine.h"
#include "platform/text.h"
#include "tests/support/page_builder.h"

namespace {

using testsupport::PageBuilder;
using testsupport::TempDir;

struct ScanFixture {
    explicit ScanFixture(const testsupport::FileBuilder& file) {
        file.WriteTo(dir / "s.mdf");
        app.m_strDataFilePath = platform::FromUtf8((dir / "s.mdf").string());
        if (!engine.OpenDataFile()) throw std::runtime_error("open");
    }
    TempDir dir;
    platform::SharedState app;
    platform::RecordingSink sink;
    mdf::CRecoveryEngine engine{app, &sink};
};

// Which list of the engine holds the page (by name), or "" when none does.
std::string ListOf(const mdf::CRecoveryEngine& e, std::uint64_t page_offset) {
    const std::pair<const char*, const mdf::PageList*> lists[] = {
        {"objects", &e.m_plObjects},       {"indexes", &e.m_plIndexes},     {"columns", &e.m_plColumns},
        {"types", &e.m_plTypes},           {"definitions", &e.m_plDefinitions}, {"references", &e.m_plReferences},
        {"rowsets", &e.m_plRowsets},       {"allocunits", &e.m_plAllocationUnits}, {"layouts", &e.m_plColumnLayouts},
        {"indexstats", &e.m_plIndexStats}, {"schemas", &e.m_plSchemas},     {"fkcolumns", &e.m_plForeignKeyColumns},
        {"rowsetcolumns", &e.m_plRowsetColumns}};
    std::string found;
    for (const auto& [name, list] : lists) {
        for (auto offset : list->m_arrOffsets) {
            if (offset == page_offset) found += (found.empty() ? "" : "+") + std::string(name);
        }
    }
    for (auto offset : e.m_arrIamPages) {
        if (offset == page_offset) found += (found.empty() ? "" : "+") + std::string("iam");
    }
    return found;
}

struct FilingCase {
    std::uint16_t type;
    std::uint32_t object_id;
    const char* list2000;
    const char* list2005;  // 2005 files
    const char* list2008;  // 2008 and later files
};

TEST(PageScan, FilingByTypeAndObject) {
    const FilingCase cases[] = {
        {0x0101, 1, "objects", "", ""},
        {0x0101, 2, "indexes", "", ""},
        {0x0101, 3, "columns", "", "rowsetcolumns"},
        {0x0101, 4, "types", "rowsetcolumns", ""},
        {0x0101, 6, "definitions", "", ""},
        {0x0101, 14, "references", "", ""},
        {0x0101, 34, "", "objects", "objects"},
        {0x0101, 5, "", "rowsets", "rowsets"},
        {0x0101, 7, "", "allocunits", "allocunits"},
        {0x0101, 13, "", "layouts", "layouts"},
        {0x0101, 55, "", "indexes", "indexes"},
        {0x0101, 41, "", "columns", "columns"},
        {0x0101, 60, "", "definitions", "definitions"},
        {0x0101, 50, "", "types", "types"},
        {0x0101, 54, "", "indexstats", "indexstats"},
        {0x0101, 64, "", "schemas", "schemas"},
        {0x0101, 74, "", "fkcolumns", "fkcolumns"},
        {0x0101, 99999, "", "", ""},
        {0x4101, 34, "", "objects", "objects"},
        {0x4101, 1, "", "", ""},
        {0x0A01, 1, "iam", "iam", "iam"},
        {0x0A01, 99999, "iam", "iam", "iam"},
        {0x0201, 34, "", "", ""},
    };
    testsupport::FileBuilder file;
    std::uint64_t page = 0;
    for (const auto& c : cases) {
        file.SetPage(page, PageBuilder().Type(c.type).ObjectId(c.object_id).SlotCount(static_cast<std::uint16_t>(page + 1)));
        ++page;
    }
    for (int format = 0; format < 3; ++format) {
        ScanFixture f(file);
        f.app.m_bSql2008Catalog = format == 2;
        const bool met = format == 0 ? f.engine.ScanPages2000() : f.engine.ScanPages2005();
        EXPECT_TRUE(met);
        for (std::size_t i = 0; i < std::size(cases); ++i) {
            const auto& c = cases[i];
            SCOPED_TRACE("format " + std::to_string(format) + ", type " + std::to_string(c.type) + ", object " +
                         std::to_string(c.object_id));
            const char* want = format == 0 ? c.list2000 : format == 1 ? c.list2005 : c.list2008;
            EXPECT_EQ(ListOf(f.engine, i * mdf::kPageSize), want);
        }
        EXPECT_EQ(f.engine.m_plObjects.m_arrSlotCounts.size(), format == 0 ? 1u : 2u);
        if (format != 0) {
            EXPECT_EQ(f.engine.m_plObjects.m_arrSlotCounts[0], 7u);  // slot count filed as stored
        }
    }
}

TEST(PageScan, SecondScanRefillsOnlyTheClearedLists) {
    testsupport::FileBuilder file;
    file.SetPage(0, PageBuilder().Type(0x0101).ObjectId(34));
    file.SetPage(1, PageBuilder().Type(0x0101).ObjectId(5));
    file.SetPage(2, PageBuilder().Type(0x0A01).ObjectId(5));
    ScanFixture f(file);
    f.engine.ScanPages2005();
    f.engine.ScanPages2005();
    EXPECT_EQ(f.engine.m_plObjects.size(), 1u);
    EXPECT_EQ(f.engine.m_plRowsets.size(), 2u);
    EXPECT_EQ(f.engine.m_arrIamPages.size(), 2u);
}

TEST(PageScan, ProgressAndResult) {
    {
        SCOPED_TRACE("only user-table data pages still count as data pages met");
        testsupport::FileBuilder file;
        for (int i = 0; i < 5; ++i) file.SetPage(i, PageBuilder().Type(0x0101).ObjectId(5000));
        ScanFixture f(file);
        EXPECT_TRUE(f.engine.ScanPages2005());
        using platform::RecordedMessage;
        // Steps come only every 1,024 pages (and 50 ms): five pages give the start and the end.
        const std::vector<RecordedMessage> expected = {{platform::WM_JOB_PROGRESS, 1, 5, false},
                                                       {platform::WM_JOB_PROGRESS, 3, 0, false}};
        EXPECT_EQ(f.sink.Messages(), expected);
        EXPECT_TRUE(f.engine.ScanPages2000());
    }
    {
        SCOPED_TRACE("a file without a whole page");
        testsupport::FileBuilder file;
        file.TrailingBytes(100);
        ScanFixture f(file);
        EXPECT_FALSE(f.engine.ScanPages2005());
        using platform::RecordedMessage;
        EXPECT_EQ(f.sink.Messages(), (std::vector<RecordedMessage>{{platform::WM_JOB_PROGRESS, 1, 0, false},
                                                                   {platform::WM_JOB_PROGRESS, 3, 0, false}}));
    }
    {
        SCOPED_TRACE("a stop before the first page");
        testsupport::FileBuilder file;
        for (int i = 0; i < 5; ++i) file.SetPage(i, PageBuilder().Type(0x0101).ObjectId(34));
        ScanFixture f(file);
        f.sink.on_send = [&](unsigned m, platform::WPARAM w, platform::LPARAM) {
            if (m == platform::WM_JOB_PROGRESS && w == 1) f.app.m_bStopJob = true;
        };
        EXPECT_FALSE(f.engine.ScanPages2000());
        EXPECT_EQ(f.sink.Count(platform::WM_JOB_ENDED), 1u);
        EXPECT_EQ(f.engine.m_plObjects.size(), 0u);
        for (const auto& m : f.sink.Messages()) EXPECT_FALSE(m.message == platform::WM_JOB_PROGRESS && m.wparam == 3);
    }
}

// A 1 GiB sparse file (131,072 pages) sends its start, at most one step per 1,024 pages, and its end: a window
// that handles each sent message is not held up page by page.
TEST(PageScan, ALargeFileSendsABoundedNumberOfProgressMessages) {
    TempDir dir;
    const auto path = dir / "large.mdf";
    constexpr std::uint64_t kPages = 131072;
    testsupport::FileBuilder{}.SetPage(0, PageBuilder().Type(0x0101).ObjectId(34)).WriteTo(path);
    std::filesystem::resize_file(path, kPages * mdf::kPageSize);
    platform::SharedState app;
    app.m_strDataFilePath = platform::FromUtf8(path.string());
    platform::RecordingSink sink;
    mdf::CRecoveryEngine engine(app, &sink);
    ASSERT_TRUE(engine.OpenDataFile());
    EXPECT_TRUE(engine.ScanPages2005());
    const auto messages = sink.Messages();
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ(messages.front(), (platform::RecordedMessage{platform::WM_JOB_PROGRESS, 1, kPages, false}));
    EXPECT_EQ(messages.back(), (platform::RecordedMessage{platform::WM_JOB_PROGRESS, 3, 0, false}));
    EXPECT_LE(messages.size(), kPages / 1024 + 2);
    EXPECT_EQ(engine.m_plObjects.size(), 1u);
}

}  // namespace

namespace {

// A GAM page whose bitmap marks the given extents free, stamped with page number 2.
PageBuilder GamPage(std::initializer_list<unsigned> free_extents) {
    std::vector<std::uint8_t> header(94, 0), bitmap(4 + 7988, 0);
    bitmap[2] = 4;
    for (unsigned e : free_extents) bitmap[4 + e / 8] |= static_cast<std::uint8_t>(1u << (e % 8));
    PageBuilder page;
    page.Type(0x0801).U32(32, 2).U16(36, 1);
    page.AddRecord(header);
    page.AddRecord(bitmap);
    return page;
}

// What the kept allocation pages say: an extent the GAM marks free, a page the PFS marks allocated or not; a
// torn-protected GAM page is read with its sector ends restored; a page that is no sound GAM page says nothing.
TEST(AllocationMaps, FreeExtentsAndAllocatedPages) {
    std::vector<std::uint8_t> pfs_record(4 + 8088, 0);
    pfs_record[4 + 20] = 0x40;
    PageBuilder pfs;
    pfs.Type(0x0B01).U32(32, 1).U16(36, 1);
    pfs.AddRecord(pfs_record);
    // Extent 6632 is bit 0 of bitmap byte 829, the last byte of sector 1 of the page (bitmap at 194): tearing
    // the page clears the bit where it lies, and only the torn bits keep it.
    PageBuilder torn = GamPage({6632});
    torn.U16(4, 0x0100).Tear(0);
    struct Case {
        const char* name;
        PageBuilder gam;
        std::uint64_t page;
        bool free;
    };
    const Case cases[] = {
        {"a free extent", GamPage({3}), 3 * 8 + 5, true},
        {"an allocated extent", GamPage({3}), 2 * 8 + 5, false},
        {"a torn-protected GAM, free extent at a sector end", torn, 6632 * 8, true},
        {"a torn-protected GAM, allocated extent at a sector end", torn, 6633 * 8, false},
        {"a GAM page with another page's number", GamPage({3}).U32(32, 7), 3 * 8, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        mdf::AllocationMaps maps;
        const auto& gam = c.gam.Build();
        maps.Take(2, {gam.data(), gam.size()});
        const auto& p = pfs.Build();
        ASSERT_TRUE(maps.Take(1, {p.data(), p.size()}));
        EXPECT_EQ(maps.ExtentFree(c.page), c.free);
        EXPECT_EQ(maps.PageAllocated(20), std::optional<bool>(true));
        EXPECT_EQ(maps.PageAllocated(21), std::optional<bool>(false));
        EXPECT_EQ(maps.PageAllocated(8088), std::nullopt);
    }
}

}  // namespace
