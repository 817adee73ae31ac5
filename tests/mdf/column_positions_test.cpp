// In-row positions computed from column types and lengths for tables whose catalogue gave none.
#include <gtest/gtest.h>

#include "mdf/column_positions.h"
#include "mdf/recovery_engine.h"

namespace {

constexpr std::uint8_t kInt = 56, kVarchar = 167, kBit = 104, kDatetime = 61, kNvarchar = 231, kUdt = 240;

struct Col {
    std::uint8_t type;
    std::uint16_t max_length;
    bool computed = false;
};

// A table whose columns have column ids and rowset column ids 1, 2, 3, ...
mdf::TableNode MakeTable(const std::vector<Col>& cols) {
    mdf::TableNode table;
    std::uint16_t id = 0;
    for (const auto& c : cols) {
        auto& column = table.AddColumn(++id);
        column.m_nColumnId = id;
        column.m_nRowsetColumnId = id;
        column.m_nType = c.type;
        column.m_nMaxInRowLength = c.max_length;
        column.m_bComputed = c.computed;
    }
    return table;
}

struct Position {
    std::uint16_t leaf;
    std::uint8_t bit;
    std::uint16_t physical;
    bool operator==(const Position&) const = default;
};

std::vector<Position> Positions(const mdf::TableNode& table) {
    std::vector<Position> out;
    for (const auto& c : table.m_lstColumns) {
        out.push_back({static_cast<std::uint16_t>(c.m_nLeafOffset), c.m_nBitPos, c.m_nPhysicalColumn});
    }
    return out;
}

void PrintTo(const Position& p, std::ostream* os) { *os << "{" << p.leaf << ", bit " << int(p.bit) << ", #" << p.physical << "}"; }

struct PositionCase {
    const char* what;
    std::vector<Col> columns;
    std::vector<Position> expected;
};

TEST(ColumnPositions, ComputedFromTypes) {
    const Col i{kInt, 4}, b{kBit, 1};
    const PositionCase cases[] = {
        {"int, varchar, bit, bit, datetime, nvarchar",
         {i, {kVarchar, 50}, b, b, {kDatetime, 8}, {kNvarchar, 80}},
         {{4, 0, 1}, {0xFFFF, 0, 2}, {8, 0, 3}, {8, 1, 4}, {9, 0, 5}, {0xFFFE, 0, 6}}},
        {"nine bits after an int use two bit bytes",
         {i, b, b, b, b, b, b, b, b, b},
         {{4, 0, 1}, {8, 0, 2}, {8, 1, 3}, {8, 2, 4}, {8, 3, 5}, {8, 4, 6}, {8, 5, 7}, {8, 6, 8}, {8, 7, 9}, {9, 0, 10}}},
        {"a fixed column right after a full bit byte follows that byte",
         {i, b, b, b, b, b, b, b, b, i},
         {{4, 0, 1}, {8, 0, 2}, {8, 1, 3}, {8, 2, 4}, {8, 3, 5}, {8, 4, 6}, {8, 5, 7}, {8, 6, 8}, {8, 7, 9}, {9, 0, 10}}},
        {"sixteen bits, then an int, then a bit",
         {b, b, b, b, b, b, b, b, b, b, b, b, b, b, b, b, i, b},
         {{4, 0, 1}, {4, 1, 2}, {4, 2, 3}, {4, 3, 4}, {4, 4, 5}, {4, 5, 6}, {4, 6, 7}, {4, 7, 8},
          {5, 0, 9}, {5, 1, 10}, {5, 2, 11}, {5, 3, 12}, {5, 4, 13}, {5, 5, 14}, {5, 6, 15}, {5, 7, 16},
          {6, 0, 17}, {10, 0, 18}}},
        {"a computed column adds nothing to the others' positions",
         {i, {kInt, 4, true}, i, {kVarchar, 10, true}, {kVarchar, 10}},
         {{4, 0, 1}, {8, 0, 2}, {8, 0, 3}, {0xFFFF, 0, 4}, {0xFFFF, 0, 5}}},
        {"a CLR user type is a variable-length value",
         {i, {kUdt, 0xFFFF}, {kNvarchar, 40}},
         {{4, 0, 1}, {0xFFFF, 0, 2}, {0xFFFE, 0, 3}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto table = MakeTable(c.columns);
        mdf::ComputeTableColumnOffsets(table);
        EXPECT_EQ(Positions(table), c.expected);
    }
}

TEST(ColumnPositions, TableWithAPositionedFirstColumnIsLeftAlone) {
    auto table = MakeTable({{kInt, 4}, {kInt, 4}});
    table.m_lstColumns.front().m_nLeafOffset = 4;
    mdf::ComputeTableColumnOffsets(table);
    EXPECT_EQ(Positions(table), (std::vector<Position>{{4, 0, 0}, {0, 0, 0}}));
}

TEST(ColumnPositions, KeyIsColumnIdWhenRowsetIdsAreMissing) {
    auto table = MakeTable({{kInt, 4}, {kInt, 4}, {kInt, 4}});
    for (auto& c : table.m_lstColumns) c.m_nRowsetColumnId = 0;
    mdf::ComputeTableColumnOffsets(table);
    EXPECT_EQ(Positions(table), (std::vector<Position>{{4, 0, 1}, {8, 0, 2}, {12, 0, 3}}));
}

// 256 columns: an 8-bit count of the columns would wrap to 0 and choose the rowset ids as keys although one
// column lacks its rowset id.
TEST(ColumnPositions, CountsDoNotWrapOnWideTables) {
    std::vector<Col> cols(256, Col{kInt, 4});
    auto table = MakeTable(cols);
    table.m_lstColumns.back().m_nRowsetColumnId = 0;
    mdf::ComputeTableColumnOffsets(table);
    const auto& last = table.m_lstColumns.back();
    EXPECT_EQ(last.m_nPhysicalColumn, 256);
    EXPECT_EQ(static_cast<std::uint16_t>(last.m_nLeafOffset), 4 + 255 * 4);
}

TEST(ColumnPositions, EngineCountsEveryTableAndReportsProgress) {
    platform::SharedState app;
    platform::RecordingSink sink;
    mdf::CRecoveryEngine engine(app, &sink);
    engine.AddTable() = MakeTable({{kInt, 4}});
    engine.AddTable();  // no columns
    app.m_nTableCount = 2;
    app.m_nRecoveredCount = 7;
    engine.ComputeColumnOffsets();
    EXPECT_EQ(app.m_nRecoveredCount.load(), 2u);
    EXPECT_EQ(engine.m_lstTables.front().m_lstColumns.front().m_nLeafOffset, 4);
    using platform::RecordedMessage;
    const std::vector<RecordedMessage> expected = {
        {platform::WM_RECORD_COUNT, 0, 0, false}, {platform::WM_JOB_PROGRESS, 1, 2, false},
        {platform::WM_RECORD_COUNT, 0, 0, false}, {platform::WM_JOB_PROGRESS, 2, 0, false},
        {platform::WM_RECORD_COUNT, 0, 0, false}, {platform::WM_JOB_PROGRESS, 2, 0, false},
        {platform::WM_JOB_PROGRESS, 3, 0, false}};
    EXPECT_EQ(sink.Messages(), expected);
}

}  // namespace
