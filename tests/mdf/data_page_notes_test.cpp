// The page scan's data-page notes stand in for a second read of each page by the allocation walk, so a note
// must say exactly what the field-by-field reads say.
#include <gtest/gtest.h>

#include "mdf/data_page_notes.h"
#include "mdf/table_pages.h"
#include "platform/text.h"
#include "tests/mdf/catalog_2005_fixture.h"

namespace {

using catalog2005::Bytes;
using catalog2005::DataRecord;
using testsupport::PageBuilder;
using testsupport::TempDir;

constexpr std::uint32_t kUnit = 5001;
constexpr std::uint64_t kPage = 40;

struct NoteCase {
    const char* name;
    PageBuilder page;
    bool noted;
};

PageBuilder Page(std::initializer_list<std::uint8_t> statuses) {
    std::vector<Bytes> records;
    for (auto s : statuses) records.push_back(DataRecord(s));
    return catalog2005::DataPage(kUnit, records);
}

TEST(DataPageNote, SaysWhatTheFieldReadsSay) {
    const NoteCase cases[] = {
        {"live, ghost and other statuses", Page({0x30, 0x10, 0x3C, 0x1C, 0x70, 0x32, 0x50, 0x72, 0x04, 0x00}), true},
        {"no slots", Page({}), true},
        {"index id 1", Page({0x30, 0x30}).IndexId(1), true},
        {"entries in the header, past the page and zero", Page({0x30, 0x30, 0x30}).Slot(0, 12).Slot(1, 9000).Slot(2, 0),
         true},
        {"slot count beyond what the page holds", Page({0x30, 0x30}).SlotCount(65535), true},
        {"entry at the page end", Page({0x30, 0x30}).Slot(1, 8192), true},
        {"index page", Page({0x30}).Type(0x0201), false},
        {"2005 data page type", Page({0x30}).Type(0x4101), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        testsupport::FileBuilder file;
        file.SetPage(kPage, c.page);
        file.SetPage(kPage + 1, PageBuilder().U8(0, 0x30));  // a live status byte just past the page
        file.WriteTo(dir / "db.mdf");
        catalog2005::Engine e((dir / "db.mdf").string());

        const auto& bytes = c.page.Build();
        const mdf::DataPageNote note = mdf::NoteDataPage({bytes.data(), bytes.size()}, kPage);
        ASSERT_EQ(note.noted, c.noted);
        if (!note.noted) continue;
        const std::uint64_t offset = kPage * mdf::kPageSize;
        EXPECT_EQ(note.live_records,
                  mdf::CountLiveRecords(e.engine, offset, e.engine.Read16(offset + 22)));
        EXPECT_EQ(note.object_id, e.engine.Read32(offset + 24));
        EXPECT_EQ(note.index_id, e.engine.Read8(offset + 6));
    }
}

// Files with torn-sector restoration are read field by field as before; both ways give the same pages and
// counts on pages whose records and slot entries lie away from the sector ends.
TEST(DataPageNote, WalkWithAndWithoutNotesAlike) {
    for (const bool created_on_2000 : {false, true}) {
        SCOPED_TRACE(created_on_2000 ? "fix-ups on, no notes" : "notes");
        TempDir dir;
        catalog2005::Database db;
        db.SimpleTable(101, u"T", kUnit, 60, {DataRecord(0x30)});
        auto& file = db.File();
        file.SetPage(61, Page({0x30, 0x30, 0x3C}));
        file.SetPage(62, Page({0x30, 0x30, 0x30}).Slot(1, 8192).Slot(2, 40));  // only slot 0 is a record
        file.SetPage(63, Page({0x30}).IndexId(1));                           // left out on 2008 files
        file.SetPage(64, Page({0x30}).ObjectId(kUnit + 1));                  // another unit's page
        file.SetPage(70, catalog2005::IamPage(kUnit, 0, {{60}, {61}, {62}, {63}, {64}, {90}}));
        catalog2005::Engine e(db.Write(dir));
        e.app.m_bCreatedOn2000 = created_on_2000;
        e.engine.ReadCatalog2005();
        const auto* t = e.Table(u"dbo.T");
        ASSERT_NE(t, nullptr);
        std::vector<std::uint64_t> pages;
        for (const auto& p : t->m_lstDataPages) pages.push_back(p.m_nPageOffset / mdf::kPageSize);
        EXPECT_EQ(pages, (std::vector<std::uint64_t>{60, 61, 62}));
        EXPECT_EQ(t->m_nRowCount, 1u + 2 + 1);
        EXPECT_TRUE(e.engine.m_arrDataPageNotes.empty());  // freed after the walk
    }
}

}  // namespace

namespace {

// A record of `length` bytes with a null bitmap and one variable column that ends at the record's end.
Bytes SizedRecord(std::uint16_t length) {
    Bytes b(length, 0);
    b[0] = 0x30;
    b[2] = 8;    // fixed part ends at 8
    b[8] = 2;    // two columns: one bitmap byte at 10
    b[11] = 1;   // one variable column, its end at 13
    b[13] = static_cast<std::uint8_t>(length);
    b[14] = static_cast<std::uint8_t>(length >> 8);
    return b;
}

// What the note says about the slots of a page: records listed twice or overlapping are damage; records that
// lie apart, empty slots, ghosts and entries off the record area are not.
TEST(DataPageNote, SlotFaults) {
    auto two_records = [] {
        PageBuilder page = catalog2005::DataPage(kUnit, {});
        page.AddRecord(SizedRecord(40));
        page.AddRecord(SizedRecord(40));
        return page;
    };
    struct Case {
        const char* name;
        PageBuilder page;
        mdf::SlotFault fault;
        std::uint16_t live;  // slots that list a live record, counted whatever the fault
    };
    const Case cases[] = {
        {"records apart", two_records(), mdf::SlotFault::None, 2},
        {"an empty slot and an entry in the header", two_records().SlotCount(4).Slot(2, 0).Slot(3, 12), mdf::SlotFault::None, 2},
        {"two slots at one record", two_records().Slot(1, 96), mdf::SlotFault::SharedRecord, 2},
        {"a ghost listed twice", two_records().U8(96, 0x3C).Slot(1, 96), mdf::SlotFault::SharedRecord, 0},
        {"the first record runs into the second", two_records().U16(96 + 13, 41), mdf::SlotFault::OverlappingRecords, 2},
        {"a slot inside the first record", two_records().Slot(1, 96 + 20).U8(96 + 20, 0x10).U16(96 + 22, 4),
         mdf::SlotFault::OverlappingRecords, 2},
        {"the first record's ghost runs into the second", two_records().U8(96, 0x3C).U16(96 + 13, 41), mdf::SlotFault::None, 1},
        // Slots out of the records' order take the general check.
        {"records listed in reverse", two_records().Slot(0, 136).Slot(1, 96), mdf::SlotFault::None, 2},
        {"in reverse, the first record runs into the second", two_records().Slot(0, 136).Slot(1, 96).U16(96 + 13, 41),
         mdf::SlotFault::OverlappingRecords, 2},
        {"a record listed again after a later one", two_records().SlotCount(3).Slot(2, 96), mdf::SlotFault::SharedRecord, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto& bytes = c.page.Build();
        const mdf::DataPageNote note = mdf::NoteDataPage({bytes.data(), bytes.size()}, kPage);
        EXPECT_EQ(note.slot_fault, c.fault);
        EXPECT_EQ(note.live_records, c.live);
    }
}

}  // namespace
