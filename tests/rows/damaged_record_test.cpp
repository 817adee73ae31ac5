// Damaged records and slot arrays met by the row walk: each one is a line naming the table and the page (and the
// slot), counted against the table, and no row is made of what the damage left; a sound page gives every row and
// no line.
#include <functional>

#include "mdf/record_area.h"
#include "tests/rows/row_fixture.h"

namespace rowtest {
namespace {

constexpr std::uint64_t kPageNumber = 2;

// Three rows of (Id int, Name varchar) back to back from offset 96, with the page's true free-space figures.
struct SoundPage {
    PageBuilder page;
    std::vector<std::uint16_t> at;  // the records' page offsets
    SoundPage() {
        page.Type(kDataPage);
        for (const char* name : {"Anna", "Bo", "Carla"}) {
            std::vector<std::uint8_t> r = {0x30, 0x00, 0x08, 0x00};
            const auto id = LE32(static_cast<std::uint32_t>(at.size() + 1));
            r.insert(r.end(), id.begin(), id.end());
            for (std::uint8_t b : {0x02, 0x00, 0x00, 0x01, 0x00}) r.push_back(b);  // 2 columns, bitmap, 1 value
            const auto end = LE16(static_cast<std::uint16_t>(15 + std::string(name).size()));
            r.insert(r.end(), end.begin(), end.end());
            r.insert(r.end(), name, name + std::string(name).size());
            at.push_back(page.AddRecord(r));
        }
        Figures(page.FreeOffset(), 3);
    }
    // Offset 30: where the records end; offset 28: the free bytes the records and slots leave.
    void Figures(std::uint16_t used_end, std::uint16_t slots) {
        page.U16(30, used_end);
        page.U16(28, static_cast<std::uint16_t>(kPageSize - used_end - 2 * slots));
    }
};

struct Walked {
    std::uint64_t rows = 0;
    std::uint64_t damaged = 0;
    std::vector<std::string> lines;
    std::vector<std::vector<std::string>> cells;
};

Walked Walk(const SoundPage& sound, const std::function<void(PageBuilder&)>& damage, bool layout2005 = true) {
    RowFixture f;
    f.app_.m_bSql2005Catalog = layout2005;
    f.Column(1, 56, 4, u"Id").m_bPlacedByCatalogue = true;
    f.Column(2, 167, -1, u"Name").m_bPlacedByCatalogue = true;
    f.table_.m_lstColumns.back().m_nMaxInRowLength = 20;
    PageBuilder page = sound.page;
    damage(page);
    FileBuilder file;
    file.SetPage(kPageNumber, page).PageCount(4);
    file.WriteTo(f.dir_ / "data.mdf");
    f.app_.m_strDataFilePath = platform::FromUtf8((f.dir_ / "data.mdf").string());
    EXPECT_TRUE(f.engine_.OpenDataFile());
    f.table_.m_lstDataPages.push_back({kPageNumber * kPageSize});
    Walked w;
    f.sink_.on_send = [&](unsigned message, platform::WPARAM, platform::LPARAM) {
        if (message == platform::WM_LOG_LINE) w.lines.push_back(U8(f.app_.m_strLogLine));
    };
    EXPECT_TRUE(f.engine_.WalkTableRows(f.table_, {}, [&] {
        if (f.engine_.m_lastRecordOutcome == mdf::CRecoveryEngine::RecordOutcome::Row) w.cells.push_back(f.Cells());
        f.engine_.RecycleRowCells();
        return true;
    }));
    w.rows = f.table_.m_losses.rows_read;
    w.damaged = f.table_.m_losses.damaged_records;
    return w;
}

TEST(DamagedRecords, SoundPageGivesEveryRowAndNoLine) {
    for (const bool layout2005 : {true, false}) {
        const Walked w = Walk(
            SoundPage(), [](PageBuilder&) {}, layout2005);
        EXPECT_EQ(w.rows, 3u);
        EXPECT_EQ(w.damaged, 0u);
        EXPECT_TRUE(w.lines.empty()) << w.lines.front();
        EXPECT_EQ(w.cells, (std::vector<std::vector<std::string>>{{"1", "Anna"}, {"2", "Bo"}, {"3", "Carla"}}));
    }
}

TEST(DamagedRecords, EachDamageIsNamedWithItsTablePageAndSlot) {
    const SoundPage sound;
    const std::uint16_t second = sound.at[1];  // the record of slot 1 ("Bo")
    struct Case {
        const char* name;
        std::function<void(PageBuilder&)> damage;
        std::uint64_t rows;     // rows the walk gives
        std::uint64_t damaged;  // damaged records counted
        const char* line;       // the start of the first line, after "Damaged record (page 2"
        bool layout2005 = true;
    };
    const Case cases[] = {
        // The variable-length value's end offset (record offset 13) set to values no record of a page can reach.
        {"end offset 0x7FF0", [&](PageBuilder& p) { p.U16(second + 13, 0x7FF0); }, 2, 1,
         ", slot 1, offset 115; variable-length value 1 ends at offset 32752, beyond the record (17 bytes))"},
        {"end offset 0x1FFF", [&](PageBuilder& p) { p.U16(second + 13, 0x1FFF); }, 2, 1,
         ", slot 1, offset 115; variable"},
        {"end offset 0xFFFF", [&](PageBuilder& p) { p.U16(second + 13, 0xFFFF); }, 2, 1,
         ", slot 1, offset 115; variable"},
        {"end offset running into the next record", [&](PageBuilder& p) { p.U16(second + 13, 40); }, 2, 1,
         ", slot 1, offset 115; variable-length value 1 ends at offset 40, beyond the record (17 bytes))"},
        {"end offset before the value's start", [&](PageBuilder& p) { p.U16(second + 13, 10); }, 2, 1,
         ", slot 1, offset 115; variable-length value 1 ends at offset 10, before it starts at 15)"},
        {"fixed part ending beyond the record", [&](PageBuilder& p) { p.U16(second + 2, 0x0400); }, 2, 1,
         ", slot 1, offset 115; its fixed part ends at offset 1026, beyond the record (17 bytes))"},
        {"column count above the catalogue's", [&](PageBuilder& p) { p.U16(second + 8, 5); }, 2, 1,
         ", slot 1, offset 115; it counts 5 columns, its table 2)"},
        {"column count far above the catalogue's", [&](PageBuilder& p) { p.U16(second + 8, 0x1000); }, 2, 1,
         ", slot 1, offset 115; it counts 4096 columns, its table 2)"},
        {"null bitmap past the record end (the catalogue gives no column count)",
         [&](PageBuilder& p) { p.U16(second + 8, 0x1000); }, 2, 1,
         ", slot 1, offset 115; its null bitmap ends at offset 522, beyond the record (17 bytes))", false},
        {"more variable-length values than columns", [&](PageBuilder& p) { p.U16(second + 11, 9); }, 2, 1,
         ", slot 1, offset 115; it counts 9 variable-length values in 2 columns)"},
        {"status byte of no record", [&](PageBuilder& p) { p.U8(second, 0x31); }, 2, 1,
         ", slot 1, offset 115; its status byte 0x31 is no record's)"},
        {"slot pointing into the header", [&](PageBuilder& p) { p.Slot(1, 40); }, 2, 2,
         "; slot 1 points at offset 40, outside the record area)"},
        {"slot pointing into the slot array", [&](PageBuilder& p) { p.Slot(1, 8190); }, 2, 2,
         "; slot 1 points at offset 8190, outside the record area)"},
        {"slot pointing past the page's records", [&](PageBuilder& p) { p.Slot(1, 400); }, 2, 2,
         "; slot 1 points at offset 400, past the end of the page's records (152))"},
        {"slot pointing inside another record", [&](PageBuilder& p) { p.Slot(1, sound.at[2] + 3); }, 1, 2,
         ", slot 1, offset 135; its status byte 0x00 is no record's)"},
        {"slot emptied", [&](PageBuilder& p) { p.Slot(1, 0); }, 2, 1,
         "; its 2 record(s) take 39 bytes, its header counts 8034 of 8090 free)"},
        {"slot count lowered", [&](PageBuilder& p) { p.SlotCount(2); }, 2, 1,
         "; its 2 record(s) take 36 bytes, its header counts 8034 of 8092 free)"},
        {"end of the records in the header", [&](PageBuilder& p) { p.U16(30, 20); }, 3, 1,
         "; its header puts the end of its records at offset 20, outside the record area)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Walked w = Walk(sound, c.damage, c.layout2005);
        EXPECT_EQ(w.rows, c.rows);
        EXPECT_EQ(w.damaged, c.damaged);
        ASSERT_FALSE(w.lines.empty());
        EXPECT_EQ(w.lines.front().rfind(std::string("Damaged record (page 2") + c.line, 0), 0u) << w.lines.front();
        EXPECT_TRUE(w.lines.front().ends_with(") of table dbo.T")) << w.lines.front();
        // No row of the walk is run-together, empty or all NULL: every row it gives is one of the sound rows.
        for (const auto& row : w.cells) {
            EXPECT_TRUE(row == (std::vector<std::string>{"1", "Anna"}) ||
                        row == (std::vector<std::string>{"2", "Bo"}) || row == (std::vector<std::string>{"3", "Carla"}))
                << row[0] << " " << row[1];
        }
    }
}

TEST(DamagedRecords, UnicodeValueOfOddLength) {
    // An nvarchar value's end moved by one byte into its neighbour: both values would read shifted.
    RowFixture f;
    f.Column(1, 231, -1, u"A");
    f.Column(2, 231, -2, u"B");
    Record r;
    r.n = 2;
    r.var_part = true;
    r.var_data = Utf16Le(u"abcd");
    r.ends = {17, 21};  // the values start at record offset 13: "ab" and "cd", 4 bytes each
    f.Decode(r);
    EXPECT_EQ(f.Cells(), (std::vector<std::string>{"ab", "cd"}));
    r.ends = {16, 21};
    f.Decode(r);
    EXPECT_TRUE(f.Cells().empty());
    EXPECT_EQ(f.engine_.m_lastRecordOutcome, mdf::CRecoveryEngine::RecordOutcome::Damaged);
    EXPECT_EQ(f.table_.m_losses.walk.damaged_records, 1u);
}

TEST(DamagedRecords, LengthOfEachKindOfRecord) {
    SoundPage sound;
    const auto& bytes = sound.page.Build();
    EXPECT_EQ(mdf::DataRecordLength(bytes, sound.at[0], 8192), 19u);
    EXPECT_EQ(mdf::DataRecordLength(bytes, sound.at[0], 100), 0u) << "fields beyond the limit";
    PageBuilder stub;
    stub.Bytes(96, FromHex("04 0800000001000000"));
    EXPECT_EQ(mdf::DataRecordLength(stub.Build(), 96, 8192), 9u);
    PageBuilder versioned;  // fixed part of 8, 2 columns, no variable part, 14-byte versioning tag
    versioned.Bytes(96, FromHex("50 00 0800 01000000 0200 00"));
    EXPECT_EQ(mdf::DataRecordLength(versioned.Build(), 96, 8192), 11u + 14u);
    PageBuilder index;
    index.Bytes(96, FromHex("06 00 0800"));
    EXPECT_EQ(mdf::DataRecordLength(index.Build(), 96, 8192), 0u) << "an index record has no length here";
}

}  // namespace
}  // namespace rowtest
