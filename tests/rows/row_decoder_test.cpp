// The row walk on hand-built records: record checks, null bitmap, the variable-value table, the prepass, the
// SharePoint capture, and NULL, absent and computed columns in the grid and in the statement.
#include "tests/rows/row_fixture.h"

using namespace rowtest;

TEST(RowRecord, MinimalRecordAndRejectedRecords) {
    RowFixture f;
    f.Column(1, 56, 4, u"Id");
    f.Column(2, 52, 8, u"Small");
    Record minimal;
    minimal.status = 0x10;
    minimal.fixed = {0xD2, 0x04, 0, 0, 0xFB, 0xFF};
    minimal.n = 2;
    f.Decode(minimal);
    EXPECT_EQ(f.Cells(), (std::vector<std::string>{"1234", "-5"}));

    struct Case {
        const char* name;
        std::uint8_t status;
        std::uint64_t at;
    };
    const Case rejected[] = {
        {"ghost status", 0x3C, kRecordOffset},
        {"forwarding stub", 0x04, kRecordOffset},
        {"record at the end of the first page", 0x10, 8192},
    };
    for (const auto& c : rejected) {
        SCOPED_TRACE(c.name);
        Record r = minimal;
        r.status = c.status;
        WriteAndDecode(f, r.Bytes(), c.at, {u"left over"});
        // A record rejected by its status or place leaves the texts untouched.
        EXPECT_EQ(f.Cells(), std::vector<std::string>{"left over"});
    }
    // A status byte of no record and a fixed-part end below 4 are a damaged record: the texts are emptied.
    Record unknown = minimal;
    unknown.status = 0x00;
    WriteAndDecode(f, unknown.Bytes(), kRecordOffset, {u"left over"});
    EXPECT_TRUE(f.Cells().empty());
    EXPECT_EQ(f.engine_.m_lastRecordOutcome, mdf::CRecoveryEngine::RecordOutcome::Damaged);
    auto low = minimal.Bytes();
    low[2] = 3;
    WriteAndDecode(f, low, kRecordOffset, {u"left over"});
    EXPECT_TRUE(f.Cells().empty());
    EXPECT_EQ(f.engine_.m_lastRecordOutcome, mdf::CRecoveryEngine::RecordOutcome::Damaged);
}

TEST(RowRecord, RecycledCellStringsGiveTheSameCells) {
    // A listing hands each row's strings back before the next row: rows that follow one another reuse them,
    // whether the next row has as many cells, more, fewer or none.
    RowFixture f;
    f.Column(1, 56, 4, u"Id");
    f.Column(2, 61, 8, u"When");
    Record r;
    r.status = 0x10;
    r.fixed = {0xD2, 0x04, 0, 0, 0x2C, 0x01, 0, 0, 0x5B, 0x95, 0, 0};  // 1234; 1 s after midnight, 2004-09-07
    r.n = 2;
    f.Decode(r);
    const std::vector<std::string> full = {"1234", "9/7/2004 12:00:01.000 AM"};
    ASSERT_EQ(f.Cells(), full);

    Record null_time = r;
    null_time.bitmap = {0x02};
    Record rejected = r;
    rejected.status = 0x00;
    struct Step {
        const char* name;
        Record record;
        std::vector<std::string> cells;
    };
    const Step steps[] = {
        {"same row again", r, full},
        {"a NULL in place of the long text", null_time, {"1234", " NULL"}},
        {"the long text back", r, full},
        {"a rejected row leaves no cells", rejected, {}},
        {"after the rejected row", r, full},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        f.engine_.RecycleRowCells();
        EXPECT_TRUE(f.app_.m_arrRowValues.empty());
        WriteAndDecode(f, step.record.Bytes(), kRecordOffset, {});
        EXPECT_EQ(f.Cells(), step.cells);
    }

    // A third column: one more cell than the strings handed back, then two fewer.
    f.Column(3, 56, 16, u"More");
    Record wide = r;
    wide.fixed.insert(wide.fixed.end(), {7, 0, 0, 0});
    wide.n = 3;
    f.engine_.RecycleRowCells();
    WriteAndDecode(f, wide.Bytes(), kRecordOffset, {});
    EXPECT_EQ(f.Cells(), (std::vector<std::string>{"1234", "9/7/2004 12:00:01.000 AM", "7"}));
    f.engine_.RecycleRowCells();
    WriteAndDecode(f, null_time.Bytes(), kRecordOffset, {});
    EXPECT_EQ(f.Cells(), (std::vector<std::string>{"1234", " NULL", " NULL"})) << "the third column is absent";
}

TEST(RowRecord, NullBitmapWidthAndOrdinals) {
    // n = 9 columns take two bitmap bytes; the ninth column's flag is bit 0 of the second byte.
    RowFixture f;
    for (std::uint16_t id = 1; id <= 9; ++id) f.Column(id, 48, static_cast<std::int16_t>(3 + id), u"c");
    Record r;
    r.status = 0x10;
    r.fixed = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    r.n = 9;
    r.bitmap = {0x02, 0x01};
    f.Decode(r);
    EXPECT_EQ(f.Cells(), (std::vector<std::string>{"1", " NULL", "3", "4", "5", "6", "7", "8", " NULL"}));

    // n = 8 has one byte: with the ninth column absent from the row (its offset past the fixed part).
    RowFixture g;
    for (std::uint16_t id = 1; id <= 8; ++id) g.Column(id, 48, static_cast<std::int16_t>(3 + id), u"c");
    Record one;
    one.status = 0x10;
    one.fixed = {1, 2, 3, 4, 5, 6, 7, 8};
    one.n = 8;
    one.bitmap = {0x80};
    g.Decode(one);
    EXPECT_EQ(g.Cells(), (std::vector<std::string>{"1", "2", "3", "4", "5", "6", "7", " NULL"}));

    // The 2000 layout takes the column id as the null ordinal, the later ones the physical column.
    RowFixture h;
    h.Column(1, 48, 4, u"a").m_nPhysicalColumn = 2;
    Record x;
    x.status = 0x10;
    x.fixed = {7};
    x.n = 2;
    x.bitmap = {0x01};
    h.Decode(x);
    EXPECT_EQ(h.Cells(), std::vector<std::string>{"7"});
    h.app_.m_bSql2005Catalog = false;
    h.Decode(x);
    EXPECT_EQ(h.Cells(), std::vector<std::string>{" NULL"});
}

TEST(RowRecord, PrepassTurnsLeafOffsetsIntoVariableOrdinals) {
    const std::pair<std::int16_t, std::int16_t> cases[] = {
        {-1, 1}, {-3, 3}, {5, 5}, {0x6FFF, 0x6FFF},
        {0x7FFF, 1},            // + 0x8000 = 0xFFFF, negated 1
        {0x7000, 4096 - 512},   // 0xF000 negated is 4096, above 512
        {-600, 88},             // 600 - 512
        {-512, 512},
        {0, 0},                 // computed
    };
    for (const auto& [leaf, ordinal] : cases) {
        SCOPED_TRACE(leaf);
        RowFixture f;
        auto& c = f.Column(1, 231, leaf, u"v");
        Record r;
        f.Decode(r);
        EXPECT_EQ(c.m_nLeafOffset, ordinal);
        f.Decode(r);  // a second row leaves the ordinal as the first left it
        EXPECT_EQ(c.m_nLeafOffset, ordinal);
    }
}

namespace {

// A document-stream table whose varbinary Content column shows the variable-value entry it lands on.
struct StreamTable {
    RowFixture f;
    StreamTable(std::int16_t content_ordinal = -3) {
        f.table_.m_pszName = u"dbo.AllDocStreams";
        f.Column(1, 167, -1, u"A");  // varchar: any length is whole characters
        f.Column(2, 167, -2, u"B");
        f.Column(3, 165, content_ordinal, u"Content");
        f.app_.m_bRowPreview = false;
    }
    // Decodes the record and returns {offset from record, length, flags} of the Content column, or nothing.
    std::optional<std::array<std::uint64_t, 3>> Content(const Record& r) {
        f.engine_.m_arrStreamRows.clear();
        f.Decode(r);
        if (f.engine_.m_arrStreamRows.size() != 1) return std::nullopt;
        const auto& s = f.engine_.m_arrStreamRows[0];
        if (s.ContentOffsetLow == 0) return std::array<std::uint64_t, 3>{0, 0, 0};
        const std::uint64_t offset = (std::uint64_t{s.ContentOffsetHigh} << 32) | s.ContentOffsetLow;
        return std::array<std::uint64_t, 3>{offset - kRecordOffset, s.ContentLength, s.ContentFlags};
    }
};

Record VarRecord(std::vector<std::uint16_t> ends, std::uint16_t n = 3) {
    Record r;
    r.n = n;
    r.ends = std::move(ends);
    r.var_part = true;
    r.var_data.assign(64, 0x41);
    return r;
}

}  // namespace

TEST(RowRecord, VariableValueTable) {
    // Record: F = 4, n = 3, one bitmap byte, m = 3: the first value starts at 4 + 2 + 1 + 2 + 6 = 15.
    struct Case {
        const char* name;
        std::vector<std::uint16_t> ends;
        std::array<std::uint64_t, 3> content;  // offset, length, flags of the third value
    };
    const Case cases[] = {
        {"back to back", {20, 25, 31}, {25, 6, 0}},
        {"two equal ends: the second has length 0, the third starts at the common end", {20, 20, 26}, {20, 6, 0}},
        {"complex value flag", {20, 25, 0x8000 | 31}, {25, 6, 8}},
        {"bit 12 adds 4096 and makes the flag odd", {20, 25, 0x1000 | 31}, {25, 4102, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StreamTable t;
        auto got = t.Content(VarRecord(c.ends));
        ASSERT_TRUE(got);
        EXPECT_EQ(*got, c.content);
        EXPECT_TRUE(t.f.app_.m_bVarBinaryContent);
    }
}

TEST(RowRecord, VariablePartRejections) {
    // m = n + 1 is accepted; m = 0 and status 0x10 make every variable column absent; m = n + 2 and an end below
    // its start are a damaged record: no row.
    StreamTable t;
    EXPECT_EQ(*t.Content(VarRecord({20, 25, 31}, 2)), (std::array<std::uint64_t, 3>{25, 6, 0}));
    for (const Record& damaged : {VarRecord({20, 25, 31, 40}, 2), VarRecord({20, 18, 26})}) {
        EXPECT_FALSE(t.Content(damaged));
        EXPECT_EQ(t.f.engine_.m_lastRecordOutcome, mdf::CRecoveryEngine::RecordOutcome::Damaged);
        EXPECT_TRUE(t.f.Cells().empty());
    }
    Record none = VarRecord({}, 3);
    EXPECT_EQ(*t.Content(none), (std::array<std::uint64_t, 3>{0, 0, 0}));
    Record no_var_part = VarRecord({20, 25, 31});
    no_var_part.status = 0x10;
    EXPECT_EQ(*t.Content(no_var_part), (std::array<std::uint64_t, 3>{0, 0, 0}));
    // Fewer values than the column's ordinal: absent.
    EXPECT_EQ(*t.Content(VarRecord({20, 25})), (std::array<std::uint64_t, 3>{0, 0, 0}));
}

TEST(RowRecord, CaptureOnlyInTheRecordPassAndOnlyForDbo) {
    StreamTable t;
    t.f.app_.m_bRowPreview = true;
    EXPECT_FALSE(t.Content(VarRecord({20, 25, 31})));
    StreamTable other;
    other.f.table_.m_pszName = u"sp.AllDocStreams";
    EXPECT_FALSE(other.Content(VarRecord({20, 25, 31})));
    StreamTable upper;
    upper.f.table_.m_pszName = u"DBO.ALLDOCSTREAMS";
    EXPECT_TRUE(upper.Content(VarRecord({20, 25, 31})));
}

TEST(RowRecord, CapturedDocumentFields) {
    RowFixture f;
    f.table_.m_pszName = u"dbo.AllDocs";
    f.app_.m_bRowPreview = false;
    f.Column(1, 36, 4, u"Id");      // names compare case-insensitively: lands in ID
    f.Column(2, 48, 20, u"TYPE");
    f.Column(3, 56, 21, u"Size");
    f.Column(4, 61, 25, u"TimeCreated");
    Record r;
    r.status = 0x10;
    r.fixed = FromHex("33221100 5544 7766 8899 AABBCCDDEEFF 01 10000000 00000000 00000000");
    r.n = 4;
    r.bitmap = {0x04};  // Size is NULL: its field stays empty
    f.Decode(r);
    ASSERT_EQ(f.engine_.m_arrDocRows.size(), 1u);
    const auto& doc = f.engine_.m_arrDocRows[0];
    EXPECT_EQ(U8(doc.ID), "{00112233-4455-6677-8899-AABBCCDDEEFF}");
    EXPECT_EQ(U8(doc.TYPE), "1");
    EXPECT_EQ(U8(doc.Size), "");
    EXPECT_EQ(U8(doc.TimeCreated), "1/1/1900 12:00:00.000 AM");
}

// What a column the record does not carry as a value gives, per type code.
struct MissingCase {
    std::uint8_t type;
    const char* insert_null_not_null;
    const char* insert_absent_not_null;
    const char* grid_absent;
    const char* grid_computed;
};

const MissingCase kMissing[] = {
    {34, "''", "''", " NULL", "Formula Base Data"},
    {35, "''", "''", " NULL", "Formula Base Data"},
    // A NOT NULL uniqueidentifier takes the zero GUID: the number 0 does not convert to it.
    {36, "'00000000-0000-0000-0000-000000000000'", "'00000000-0000-0000-0000-000000000000'", " NULL",
     "Formula Base Data"},
    {40, "''", "''", " NULL", "Formula Base Data"},
    {41, "''", "''", " NULL", "Formula Base Data"},
    {42, "''", "''", " NULL", "Formula Base Data"},
    {43, "''", "''", " NULL", "Formula Base Data"},
    {48, "0", "0", " NULL", "Formula Base Data"},
    {52, "0", "0", " NULL", "Formula Base Data"},
    {56, "0", "0", " NULL", "Formula Base Data"},
    {58, "0", "0", " NULL", "Formula Base Data"},
    {59, "0", "0", " NULL", "Formula Base Data"},
    {60, "0", "0", " NULL", "Formula Base Data"},
    {61, "0", "0", " NULL", "Formula Base Data"},
    {62, "0", "0", " NULL", "Formula Base Data"},
    {98, "''", "''", " NULL", "Formula Base Data"},
    {99, "''", "''", " NULL", "Formula Base Data"},
    {104, "0", "0", " NULL", "Formula Base Data"},
    {106, "0", "0", " NULL", "Formula Base Data"},
    {108, "0", "0", " NULL", "Formula Base Data"},
    {122, "0", "0", " NULL", "Formula Base Data"},
    {127, "0", "0", " NULL", "Formula Base Data"},
    {165, "''", "0x", "<NULL>", "<NULL>"},
    {167, "''", "''", "", "Formula Base Data"},
    {173, "''", "''", " NULL", "Formula Base Data"},
    {175, "''", "''", " NULL", "Formula Base Data"},
    // A timestamp is filled by the server: NULL is the only value it accepts.
    {189, "NULL", "NULL", " NULL", "Formula Base Data"},
    {231, "''", "''", " NULL", "Formula Base Data"},
    {239, "''", "''", " NULL", "Formula Base Data"},
    {240, "''", "0x", "0x", "Formula Base Data"},
    {241, "''", "''", " NULL", "Formula Base Data"},
};

bool IsVariable(std::uint8_t t) {
    return t == 34 || t == 35 || t == 98 || t == 99 || t == 165 || t == 167 || t == 231 || t == 240 || t == 241;
}

TEST(MissingColumns, NullAbsentAndComputedByType) {
    for (const auto& c : kMissing) {
        SCOPED_TRACE("type " + std::to_string(c.type));
        // Column 1 is the tested one; column 2 an int that is always present.
        // Absent: fixed columns lie past the fixed part (F = 8), variable ones have no value in the row.
        const std::int16_t absent_leaf = IsVariable(c.type) ? -1 : 8;
        Record base;
        base.status = 0x10;
        base.fixed = {1, 0, 0, 0};
        base.n = 2;
        auto grid = [&](std::int16_t leaf, std::uint8_t bitmap, bool not_null) {
            RowFixture f;
            f.Column(1, c.type, leaf, u"c", not_null);
            f.Column(2, 56, 4, u"i");
            Record r = base;
            r.bitmap = {bitmap};
            f.Decode(r);
            return f.Cells();
        };
        auto insert = [&](std::int16_t leaf, std::uint8_t bitmap, bool not_null) {
            RowFixture f;
            f.Column(1, c.type, leaf, u"c", not_null);
            f.Column(2, 56, 4, u"i");
            auto backend = f.Connect();
            Record r = base;
            r.bitmap = {bitmap};
            f.Decode(r);
            EXPECT_TRUE(f.app_.m_arrRowValues.empty());
            return backend->m_accepted.empty() ? std::string() : U8(backend->m_accepted[0].m_strText);
        };
        EXPECT_EQ(grid(absent_leaf, 0x01, false), (std::vector<std::string>{" NULL", "1"}));
        EXPECT_EQ(grid(absent_leaf, 0x00, false), (std::vector<std::string>{c.grid_absent, "1"}));
        EXPECT_EQ(grid(0, 0x00, false), (std::vector<std::string>{c.grid_computed, "1"}));
        EXPECT_EQ(grid(0, 0x01, false), (std::vector<std::string>{"Formula Base Data", "1"}));
        EXPECT_EQ(insert(absent_leaf, 0x01, false), "insert into [dbo].[T] ([c],[i]) values (NULL,1) ;");
        EXPECT_EQ(insert(absent_leaf, 0x01, true),
                  std::string("insert into [dbo].[T] ([c],[i]) values (") + c.insert_null_not_null + ",1) ;");
        // An absent nullable column is NULL, never a made-up value.
        EXPECT_EQ(insert(absent_leaf, 0x00, false), "insert into [dbo].[T] ([c],[i]) values (NULL,1) ;");
        EXPECT_EQ(insert(absent_leaf, 0x00, true),
                  std::string("insert into [dbo].[T] ([c],[i]) values (") + c.insert_absent_not_null + ",1) ;");
        EXPECT_EQ(insert(0, 0x00, false), "insert into [dbo].[T] ([i]) values (1) ;");
        EXPECT_EQ(insert(0, 0x01, true), "insert into [dbo].[T] ([i]) values (1) ;");
    }
}

TEST(MissingColumns, ColumnOrderBeyondTheRowsColumnCount) {
    // 2000 files: a column whose order number exceeds the row's column count was added later.
    RowFixture f;
    f.app_.m_bSql2005Catalog = false;
    f.Column(1, 56, 4, u"a");
    f.Column(2, 56, 8, u"b").m_nColumnOrder = 3;
    Record r;
    r.status = 0x10;
    r.fixed = {1, 0, 0, 0, 2, 0, 0, 0};
    r.n = 2;
    f.Decode(r);
    EXPECT_EQ(f.Cells(), (std::vector<std::string>{"1", " NULL"}));
}

TEST(MissingColumns, UnknownTypeCodeKeepsItsCell) {
    RowFixture f;
    f.Column(1, 56, 4, u"a");
    f.Column(2, 200, 8, u"odd");
    f.Column(3, 56, 8, u"b");
    Record r;
    r.status = 0x10;
    r.fixed = {1, 0, 0, 0, 2, 0, 0, 0};
    r.n = 3;
    f.Decode(r);
    EXPECT_EQ(f.Cells(), (std::vector<std::string>{"1", "", "2"}));
    auto backend = f.Connect();
    f.Decode(r);
    ASSERT_EQ(backend->m_accepted.size(), 1u);
    EXPECT_EQ(U8(backend->m_accepted[0].m_strText), "insert into [dbo].[T] ([a],[b]) values (1,2) ;");
}

TEST(RowRecord, StopRequestEndsTheRowWithoutStatement) {
    RowFixture f;
    f.Column(1, 56, 4, u"Id");
    auto backend = f.Connect();
    f.app_.m_bStopJob = true;
    Record r;
    r.status = 0x10;
    r.fixed = {1, 0, 0, 0};
    f.Decode(r);
    EXPECT_TRUE(backend->m_executed.empty());
    EXPECT_EQ(f.sink_.Count(platform::WM_JOB_ENDED), 1u);
}
