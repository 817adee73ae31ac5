// The key readers on pages written from code: primary keys, indexes, unique keys and statistics of 2005-and-later
// files (sysidxstats with sysiscols), the same from 2000 sysindexes rows, and the index-column rows.
#include <gtest/gtest.h>

#include "tests/mdf/key_records.h"

using namespace keytest;
using testsupport::FileBuilder;

namespace {

constexpr std::uint32_t kOrders = 1001;
constexpr std::uint32_t kDetails = 1002;
constexpr std::uint32_t kNotATable = 1003;

struct Column {
    int id;
    bool descending;
    bool included;
    bool operator==(const Column&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Column& c) {
    return os << "{" << c.id << (c.descending ? " desc" : "") << (c.included ? " incl" : "") << "}";
}
std::vector<Column> Columns(const std::vector<mdf::structColindex>& key) {
    std::vector<Column> out;
    for (const auto& c : key) out.push_back({c.m_nColumnId, c.m_bDescending, c.m_bIncluded});
    return out;
}
std::vector<Column> Columns(const std::vector<mdf::StructPk>& key) {
    std::vector<Column> out;
    for (const auto& c : key) out.push_back({c.m_nColumnId, c.m_bDescending, false});
    return out;
}

// 2005+: sysidxstats on page 20, sysiscols on pages 21 and 22.
class Keys2005 : public ::testing::Test {
protected:
    void Build(const std::vector<Bytes>& stats, const std::vector<Bytes>& columns_a,
               const std::vector<Bytes>& columns_b = {}) {
        FileBuilder file;
        file.SetPage(20, SystemPage(54, stats)).SetPage(21, SystemPage(55, columns_a));
        file.SetPage(22, SystemPage(55, columns_b));
        keys_ = std::make_unique<KeyEngine>(file);
        ASSERT_TRUE(keys_->opened());
        auto& e = keys_->engine();
        e.m_plIndexStats.Add(PageOffset(20), stats.size());
        e.m_plIndexes.Add(PageOffset(21), columns_a.size());
        e.m_plIndexes.Add(PageOffset(22), columns_b.size());
        keys_->app().m_bSql2005Catalog = true;
        orders_ = &keys_->AddTable(kOrders, u"dbo.Orders");
        details_ = &keys_->AddTable(kDetails, u"dbo.Order Details");
    }
    void ReadAll() {
        keys_->engine().ReadPrimaryKeys();
        keys_->engine().ReadIndexes();
    }
    std::unique_ptr<KeyEngine> keys_;
    mdf::TableNode* orders_ = nullptr;
    mdf::TableNode* details_ = nullptr;
};

TEST_F(Keys2005, PrimaryKeyColumnsInOrdinalOrderWithClusteringAndStatistics) {
    Build({IndexStatsRecord(kOrders, 1, 0x2B, u"PK_Orders"), IndexStatsRecord(kDetails, 2, 0x2B, u"PK_Details"),
           IndexStatsRecord(kNotATable, 3, 0x2002, u"_WA_Sys_1"), IndexStatsRecord(kOrders, 4, 0x2002, u"st_x")},
          {IndexColumnRecord(kOrders, 1, 3, 5, 2), IndexColumnRecord(kDetails, 2, 3, 1, 1)},
          {IndexColumnRecord(kOrders, 1, 7, 3, 1), IndexColumnRecord(kOrders, 1, 1, 9, 0)});
    keys_->engine().ReadPrimaryKeys();

    EXPECT_EQ(orders_->m_strPrimaryKeyName, u"PK_Orders");
    EXPECT_TRUE(orders_->m_bClusteredPrimaryKey);
    EXPECT_EQ(Columns(orders_->m_arrPrimaryKey), (std::vector<Column>{{3, true, false}, {5, false, false}}));
    EXPECT_EQ(details_->m_strPrimaryKeyName, u"PK_Details");
    EXPECT_FALSE(details_->m_bClusteredPrimaryKey);
    EXPECT_EQ(Columns(details_->m_arrPrimaryKey), (std::vector<Column>{{1, false, false}}));
    // Statistics rows are kept whatever object they belong to.
    ASSERT_EQ(keys_->engine().m_lstStatistics.size(), 2u);
    EXPECT_EQ(keys_->engine().m_lstStatistics.front().m_nObjectId, static_cast<std::int32_t>(kNotATable));
    EXPECT_EQ(keys_->engine().m_lstStatistics.front().m_strName, u"_WA_Sys_1");
    EXPECT_EQ(keys_->engine().m_lstStatistics.back().m_nIndexId, 4);
    EXPECT_EQ(keys_->app().m_bHasStatistics, 2);
}

TEST_F(Keys2005, IndexIdsAreComparedInFull) {
    // Index 257 has the low byte of index 1: its rows must stay with it.
    Build({IndexStatsRecord(kOrders, 1, 0x2B, u"PK_Orders"), IndexStatsRecord(kOrders, 257, 0x03, u"IX_257")},
          {IndexColumnRecord(kOrders, 1, 3, 1, 1), IndexColumnRecord(kOrders, 257, 3, 4, 1),
           IndexColumnRecord(kOrders, 257, 3, 6, 2)});
    ReadAll();
    EXPECT_EQ(Columns(orders_->m_arrPrimaryKey), (std::vector<Column>{{1, false, false}}));
    ASSERT_EQ(orders_->m_lstIndexes.size(), 1u);
    const auto& index = orders_->m_lstIndexes[0];
    EXPECT_EQ(index.m_strName, u"IX_257");
    EXPECT_FALSE(index.m_bClustered);
    EXPECT_EQ(Columns(index.m_arrColumns), (std::vector<Column>{{4, false, false}, {6, false, false}}));
}

TEST_F(Keys2005, IndexWithDescendingAndIncludedColumnsAndOptions) {
    Build({IndexStatsRecord(kOrders, 1, 0x0413, u"IX_clustered", 70),
           IndexStatsRecord(kOrders, 3, 0x4002 | 0x1F, u"IX_unique")},
          {IndexColumnRecord(kOrders, 1, 3, 2, 1), IndexColumnRecord(kOrders, 3, 18, 8, 0)},
          {IndexColumnRecord(kOrders, 1, 7, 4, 2), IndexColumnRecord(kOrders, 3, 3, 5, 1),
           IndexColumnRecord(kOrders, 1, 18, 9, 0)});
    ReadAll();
    ASSERT_EQ(orders_->m_lstIndexes.size(), 2u);
    const auto& clustered = orders_->m_lstIndexes[0];
    EXPECT_TRUE(clustered.m_bClustered);
    EXPECT_FALSE(clustered.m_bUnique);
    EXPECT_TRUE(clustered.m_bPadIndex);
    EXPECT_TRUE(clustered.m_bPageLocksOff);
    EXPECT_FALSE(clustered.m_bRowLocksOff);
    EXPECT_EQ(clustered.m_nFillFactor, 70);
    EXPECT_EQ(clustered.m_nIncludedColumns, 1);
    EXPECT_EQ(Columns(clustered.m_arrColumns),
              (std::vector<Column>{{2, false, false}, {4, true, false}, {9, false, true}}));
    const auto& unique = orders_->m_lstIndexes[1];
    EXPECT_TRUE(unique.m_bUnique);
    EXPECT_TRUE(unique.m_bIgnoreDupKey);
    EXPECT_TRUE(unique.m_bNoRecompute);
    // An included column met before the key columns (on an earlier page) still follows them.
    EXPECT_EQ(Columns(unique.m_arrColumns), (std::vector<Column>{{5, false, false}, {8, false, true}}));
    EXPECT_EQ(unique.m_nIncludedColumns, 1);
}

TEST_F(Keys2005, IndexesThatAreDropped) {
    Build({IndexStatsRecord(kOrders, 2, 0x03, u"IX_gap"), IndexStatsRecord(kOrders, 3, 0x03, u""),
           IndexStatsRecord(kOrders, 4, 0x03, u"IX_no_rows"), IndexStatsRecord(kOrders, 5, 0x03, u"IX_huge_ordinal"),
           IndexStatsRecord(kNotATable, 2, 0x03, u"IX_elsewhere"), IndexStatsRecord(kOrders, 6, 0x07, u"IX_odd")},
          {IndexColumnRecord(kOrders, 2, 3, 1, 3), IndexColumnRecord(kOrders, 3, 3, 1, 1),
           IndexColumnRecord(kOrders, 5, 3, 1, 0x0121), IndexColumnRecord(kNotATable, 2, 3, 1, 1),
           IndexColumnRecord(kOrders, 6, 3, 1, 1)});
    ReadAll();
    // Ordinal 3 alone leaves column 0 first; an empty name, no rows and an ordinal no key can have give no
    // index, and each is named for the repair's report; an index of another object is not one of the tables'.
    // A status read by its bits (0x07: an index ignoring duplicates) is an index like any other.
    ASSERT_EQ(orders_->m_lstIndexes.size(), 1u);
    EXPECT_EQ(orders_->m_lstIndexes[0].m_strName, u"IX_odd");
    EXPECT_TRUE(orders_->m_lstUniqueKeys.empty());
    std::vector<std::u16string> named;
    for (const auto& note : keys_->engine().m_repairTally.keys_not_taken) named.push_back(note.name);
    EXPECT_EQ(named, (std::vector<std::u16string>{u"IX_gap", u"dbo.Orders (index id 3)", u"IX_no_rows",
                                                  u"IX_huge_ordinal"}));
}

// A unique key whose status has more bits than the plain one (0x4F: with IGNORE_DUP_KEY) is a unique key; a
// disabled index is named, not created.
TEST_F(Keys2005, StatusesReadByTheirBits) {
    Build({IndexStatsRecord(kOrders, 2, 0x4F, u"UQ_ignoring"), IndexStatsRecord(kOrders, 3, 0x83, u"IX_disabled"),
           IndexStatsRecord(kOrders, 1, 0x3B, u"PK_padded")},
          {IndexColumnRecord(kOrders, 2, 3, 4, 1), IndexColumnRecord(kOrders, 3, 3, 5, 1),
           IndexColumnRecord(kOrders, 1, 3, 6, 1)});
    ReadAll();
    ASSERT_EQ(orders_->m_lstUniqueKeys.size(), 1u);
    EXPECT_EQ(orders_->m_lstUniqueKeys[0].m_strName, u"UQ_ignoring");
    EXPECT_TRUE(orders_->m_lstUniqueKeys[0].m_bIgnoreDupKey);
    EXPECT_TRUE(orders_->m_lstIndexes.empty());
    EXPECT_EQ(orders_->m_strPrimaryKeyName, u"PK_padded");
    ASSERT_EQ(keys_->engine().m_repairTally.keys_not_taken.size(), 1u);
    EXPECT_EQ(keys_->engine().m_repairTally.keys_not_taken[0].name, u"IX_disabled");
}

TEST_F(Keys2005, KeyOrdinalsBeyondTheLargestKeyAreIgnored) {
    Build({IndexStatsRecord(kOrders, 1, 0x2B, u"PK_Orders")},
          {IndexColumnRecord(kOrders, 1, 3, 1, 1), IndexColumnRecord(kOrders, 1, 3, 2, 40),
           IndexColumnRecord(kOrders, 1, 3, 3, 0x0100)});
    keys_->engine().ReadPrimaryKeys();
    EXPECT_EQ(Columns(orders_->m_arrPrimaryKey), (std::vector<Column>{{1, false, false}}));
}

TEST_F(Keys2005, UniqueKeyConstraints) {
    Build({IndexStatsRecord(kOrders, 2, 0x024B, u"UQ_name", 90), IndexStatsRecord(kOrders, 1, 0x5B, u"UQ_clustered"),
           IndexStatsRecord(kDetails, 3, 0x4B, u"UQ_no_columns")},
          {IndexColumnRecord(kOrders, 2, 3, 3, 2), IndexColumnRecord(kOrders, 2, 7, 1, 1),
           IndexColumnRecord(kOrders, 2, 18, 6, 0), IndexColumnRecord(kOrders, 1, 3, 4, 1)});
    ReadAll();
    EXPECT_TRUE(orders_->m_lstIndexes.empty());
    ASSERT_EQ(orders_->m_lstUniqueKeys.size(), 2u);
    const auto& named = orders_->m_lstUniqueKeys[0];
    EXPECT_EQ(named.m_strName, u"UQ_name");
    EXPECT_TRUE(named.m_bColumnsFound);
    EXPECT_FALSE(named.m_bClustered);
    EXPECT_TRUE(named.m_bRowLocksOff);
    EXPECT_EQ(named.m_nFillFactor, 90);
    // Included columns are not part of a unique key.
    EXPECT_EQ(Columns(named.m_arrColumns), (std::vector<Column>{{1, true, false}, {3, false, false}}));
    const auto& clustered = orders_->m_lstUniqueKeys[1];
    EXPECT_TRUE(clustered.m_bClustered);
    EXPECT_TRUE(clustered.m_bPadIndex);
    EXPECT_TRUE(details_->m_lstUniqueKeys.empty());
}

TEST_F(Keys2005, NameEndOutsideTheRecordAreaGivesNoName) {
    Bytes bad = IndexStatsRecord(kOrders, 2, 0x03, u"IX_bad");
    Put16(bad, 45, 0x7F00);
    Bytes short_end = IndexStatsRecord(kOrders, 3, 0x03, u"IX_short");
    Put16(short_end, 45, 40);
    Build({bad, short_end, IndexStatsRecord(kOrders, 4, 0x03, u"IX_good")},
          {IndexColumnRecord(kOrders, 2, 3, 1, 1), IndexColumnRecord(kOrders, 3, 3, 1, 1),
           IndexColumnRecord(kOrders, 4, 3, 1, 1)});
    ReadAll();
    ASSERT_EQ(orders_->m_lstIndexes.size(), 1u);
    EXPECT_EQ(orders_->m_lstIndexes[0].m_strName, u"IX_good");
}

TEST_F(Keys2005, GhostRowsAndOtherFixedPartsArePassedOver) {
    Bytes ghost_index = IndexStatsRecord(kOrders, 2, 0x03, u"IX_ghost");
    ghost_index[0] = 0x3C;
    Bytes ghost_column = IndexColumnRecord(kOrders, 3, 3, 7, 1);
    ghost_column[0] = 0x1C;
    Build({ghost_index, IndexStatsRecord(kOrders, 3, 0x03, u"IX_live")},
          {IndexColumnRecord(kOrders, 2, 3, 1, 1), ghost_column, IndexColumnRecord(kOrders, 3, 3, 2, 1, 1, 25),
           IndexColumnRecord(kOrders, 3, 3, 5, 1, 1, 27), IndexColumnRecord(kOrders, 3, 3, 6, 2, 2)});
    ReadAll();
    // Fixed parts ending at 26 and at 27 (files of version 706) are read alike.
    ASSERT_EQ(orders_->m_lstIndexes.size(), 1u);
    EXPECT_EQ(Columns(orders_->m_lstIndexes[0].m_arrColumns),
              (std::vector<Column>{{5, false, false}, {6, false, false}}));
}

TEST_F(Keys2005, ProgressPerPageAndTornBitsPutBack) {
    Build({IndexStatsRecord(kOrders, 1, 0x2B, u"PK_Orders")}, {IndexColumnRecord(kOrders, 1, 3, 1, 1)});
    keys_->app().m_abTornBits = {1, 2, 3, 4};
    keys_->engine().ReadPrimaryKeys();
    EXPECT_EQ(keys_->app().m_abTornBits, (std::array<std::uint8_t, 4>{1, 2, 3, 4}));
    using platform::RecordedMessage;
    const auto messages = keys_->sink().Messages();
    const std::vector<RecordedMessage> expected = {{platform::WM_JOB_PROGRESS, 1, 1, false},
                                                   {platform::WM_JOB_PROGRESS, 2, 0, false},
                                                   {platform::WM_JOB_PROGRESS, 3, 0, false}};
    EXPECT_EQ(messages, expected);
}

TEST_F(Keys2005, StopDropsTheIndexBeingBuilt) {
    Build({IndexStatsRecord(kOrders, 2, 0x03, u"IX_a")}, {IndexColumnRecord(kOrders, 2, 3, 1, 1)});
    keys_->app().m_bStopJob = true;
    keys_->engine().ReadIndexes();
    EXPECT_TRUE(orders_->m_lstIndexes.empty());
    EXPECT_EQ(keys_->sink().Count(platform::WM_JOB_ENDED), 1u);
    EXPECT_EQ(keys_->sink().Count(platform::WM_JOB_PROGRESS), 2u);  // the start and the page's step
}

// 2000: sysindexes on page 30.
class Keys2000 : public ::testing::Test {
protected:
    void Build(const std::vector<Bytes>& rows) {
        FileBuilder file;
        file.SetPage(30, SystemPage(2, rows));
        keys_ = std::make_unique<KeyEngine>(file);
        ASSERT_TRUE(keys_->opened());
        keys_->engine().m_plIndexes.Add(PageOffset(30), rows.size());
        orders_ = &keys_->AddTable(kOrders, u"Orders");
        details_ = &keys_->AddTable(kDetails, u"Order Details");
    }
    std::unique_ptr<KeyEngine> keys_;
    mdf::TableNode* orders_ = nullptr;
    mdf::TableNode* details_ = nullptr;
};

TEST_F(Keys2000, IndexesTakeKeyCountColumnsWhenClusteredAndOneFewerOtherwise) {
    Build({IndexRecord2000(kOrders, 0x0000, 1, 2, {{3, 0}, {4, 4}}, u"IX_clustered", 60),
           IndexRecord2000(kOrders, 0x01000102, 2, 2, {{5, 0}, {1, 0}}, u"IX_nonclustered"),
           IndexRecord2000(kOrders, 0x0003, 3, 1, {{6, 0}}, u"IX_no_columns"),
           IndexRecord2000(kOrders, 0x0002, 4, 3, {{7, 0}, {8, 1}, {0, 0}}, u"IX_skips")});
    keys_->engine().ReadIndexes2000();
    ASSERT_EQ(orders_->m_lstIndexes.size(), 4u);
    const auto& clustered = orders_->m_lstIndexes[0];
    EXPECT_EQ(clustered.m_strName, u"IX_clustered");
    EXPECT_TRUE(clustered.m_bClustered);
    EXPECT_EQ(clustered.m_nFillFactor, 60);
    EXPECT_EQ(Columns(clustered.m_arrColumns), (std::vector<Column>{{3, false, false}, {4, true, false}}));
    const auto& nonclustered = orders_->m_lstIndexes[1];
    EXPECT_FALSE(nonclustered.m_bClustered);
    EXPECT_TRUE(nonclustered.m_bPadIndex);
    EXPECT_TRUE(nonclustered.m_bNoRecompute);
    EXPECT_EQ(Columns(nonclustered.m_arrColumns), (std::vector<Column>{{5, false, false}}));
    // Key count 1 on a nonclustered index: neither name nor columns, but the index is kept.
    const auto& bare = orders_->m_lstIndexes[2];
    EXPECT_EQ(bare.m_strName, u"");
    EXPECT_TRUE(bare.m_arrColumns.empty());
    EXPECT_TRUE(bare.m_bUnique);
    EXPECT_TRUE(bare.m_bIgnoreDupKey);
    // Entries with flags mod 4 != 0 or column id 0 are passed over.
    EXPECT_EQ(Columns(orders_->m_lstIndexes[3].m_arrColumns), (std::vector<Column>{{7, false, false}}));
    EXPECT_TRUE(orders_->m_lstIndexes[3].m_bUnique);
    EXPECT_TRUE(details_->m_lstIndexes.empty());
}

TEST_F(Keys2000, KeyEntriesStopAtTheEndOfTheKeysField) {
    // Key count 6 on a clustered index, but the keys field holds two entries: the name after them ("D" is 0x44,
    // a column id and flags of a key column) is no key.
    Build({IndexRecord2000(kOrders, 0x0000, 1, 6, {{3, 0}, {4, 0}}, u"IX_DDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDD"),
           IndexRecord2000(kDetails, 0x1002, 1, 9, {{2, 0}}, u"UQ_details")});
    keys_->engine().ReadIndexes2000();
    ASSERT_EQ(orders_->m_lstIndexes.size(), 1u);
    EXPECT_EQ(Columns(orders_->m_lstIndexes[0].m_arrColumns),
              (std::vector<Column>{{3, false, false}, {4, false, false}}));
    ASSERT_EQ(details_->m_lstUniqueKeys.size(), 1u);
    const auto& unique = details_->m_lstUniqueKeys[0];
    EXPECT_EQ(unique.m_strName, u"UQ_details");
    EXPECT_TRUE(unique.m_bClustered);
    EXPECT_TRUE(unique.m_bColumnsFound);
    EXPECT_EQ(Columns(unique.m_arrColumns), (std::vector<Column>{{2, false, false}}));
}

TEST_F(Keys2000, DamagedKeysFieldGivesNoColumnsAndNoName) {
    Bytes before_start = IndexRecord2000(kOrders, 0x0000, 1, 2, {{3, 0}}, u"IX_a");
    Put16(before_start, 90, 40);
    Bytes past_page = IndexRecord2000(kOrders, 0x0000, 1, 2, {{3, 0}}, u"IX_b");
    Put16(past_page, 90, 0xF000);
    Build({before_start, past_page});
    keys_->engine().ReadIndexes2000();
    ASSERT_EQ(orders_->m_lstIndexes.size(), 2u);
    for (const auto& index : orders_->m_lstIndexes) {
        EXPECT_TRUE(index.m_arrColumns.empty());
        EXPECT_EQ(index.m_strName, u"");
    }
}

TEST_F(Keys2000, PrimaryKeys) {
    Build({IndexRecord2000(kOrders, 0x4812, 1, 2, {{1, 0}, {2, 4}, {9, 0}}, u"PK_Orders"),
           IndexRecord2000(kDetails, 0x0802, 2, 2, {{5, 1}, {6, 0}}, u"PK_Details"),
           IndexRecord2000(kOrders, 0x0002, 2, 2, {{7, 0}}, u"IX_not_a_key")});
    details_->m_bClusteredPrimaryKey = true;
    keys_->engine().ReadPrimaryKeyColumns2000();
    EXPECT_TRUE(orders_->m_bClusteredPrimaryKey);
    EXPECT_EQ(orders_->m_strPrimaryKeyName2000, u"PK_Orders");
    EXPECT_EQ(Columns(orders_->m_arrPrimaryKey2000), (std::vector<Column>{{1, false, false}, {2, true, false}}));
    // First entry not a key column: no columns, but name and clustering are still set.
    EXPECT_FALSE(details_->m_bClusteredPrimaryKey);
    EXPECT_EQ(details_->m_strPrimaryKeyName2000, u"PK_Details");
    EXPECT_TRUE(details_->m_arrPrimaryKey2000.empty());
}

TEST_F(Keys2000, PrimaryKeyEntriesStopAtTheEndOfTheKeysField) {
    Build({IndexRecord2000(kOrders, 0x4812, 1, 8, {{1, 0}}, u"PK_DDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDD")});
    keys_->engine().ReadPrimaryKeyColumns2000();
    EXPECT_EQ(Columns(orders_->m_arrPrimaryKey2000), (std::vector<Column>{{1, false, false}}));
}

// Index-column rows for the statistics script.
TEST(IndexColumnRows, KeepsKeyAndStatisticsColumnsAndCountsPages) {
    const std::vector<Bytes> page_a = {
        IndexColumnRecord(kOrders, 2, 1, 4, 0, 1, 27),  // statistics column, long fixed part
        IndexColumnRecord(kOrders, 2, 0x21, 5, 0, 2),   // 0x20 set
        IndexColumnRecord(kOrders, 2, 0x09, 6, 0, 3),   // 0x08 set
        IndexColumnRecord(kOrders, 3, 3, 7, 1, 1),      // key column
        IndexColumnRecord(kOrders, 3, 18, 8, 0, 2),     // included column
        IndexColumnRecord(kOrders, 3, 7, 9, 2, 3, 25),  // other fixed part
    };
    const std::vector<Bytes> page_b = {IndexColumnRecord(kDetails, 0x10001, 0x107, 10, 1, 1)};
    FileBuilder file;
    file.SetPage(21, SystemPage(55, page_a)).SetPage(22, SystemPage(55, page_b));
    KeyEngine keys(file);
    ASSERT_TRUE(keys.opened());
    // The scan's slot counts are not used: the pages' own are.
    keys.engine().m_plIndexes.Add(PageOffset(21), 0);
    keys.engine().m_plIndexes.Add(PageOffset(22), 0);
    keys.engine().ReadIndexColumnRows();

    struct Node {
        int object_id, index_id, index_column_id, column_id, status;
        bool operator==(const Node&) const = default;
    };
    std::vector<Node> nodes;
    for (const auto& n : keys.engine().m_lstIndexColumns) {
        nodes.push_back({n.m_nObjectId, n.m_nIndexId, n.m_nIndexColumnId, n.m_nColumnId, n.m_nStatus});
    }
    const std::vector<Node> expected = {{1001, 2, 1, 4, 1}, {1001, 3, 1, 7, 3}, {1002, 0x10001, 1, 10, 0x107}};
    EXPECT_EQ(nodes, expected);
    EXPECT_EQ(keys.app().m_nRecoveredCount.load(), 2u);
    EXPECT_EQ(keys.sink().Count(platform::WM_RECORD_COUNT), 3u);

    // A second run appends every row again.
    keys.engine().ReadIndexColumnRows();
    EXPECT_EQ(keys.engine().m_lstIndexColumns.size(), 6u);
}

}  // namespace
