// The engine's catalogue records: sorted column insertion and owner lookup.
#include <gtest/gtest.h>

#include "mdf/recovery_engine.h"

TEST(TableNode, AddColumnKeepsColumnIdOrder) {
    mdf::TableNode table;
    std::vector<mdf::ColumnNode*> added;
    int tag = 0;
    for (std::uint16_t id : {3, 1, 2, 2}) {
        auto& column = table.AddColumn(id);
        column.m_nColumnId = id;
        column.m_nColumnOrder = static_cast<std::uint16_t>(++tag);
        EXPECT_EQ(table.m_pCurrentColumn, &column);
        added.push_back(&column);
    }
    std::vector<std::pair<int, int>> order;
    for (const auto& c : table.m_lstColumns) order.push_back({c.m_nColumnId, c.m_nColumnOrder});
    // The second column 2 (tag 4) goes after the first (tag 3).
    EXPECT_EQ(order, (std::vector<std::pair<int, int>>{{1, 2}, {2, 3}, {2, 4}, {3, 1}}));
}

TEST(TableNode, AddColumnAtEitherEnd) {
    mdf::TableNode table;
    for (std::uint16_t id : {5, 9, 1, 65535, 0}) table.AddColumn(id).m_nColumnId = id;
    std::vector<int> ids;
    for (const auto& c : table.m_lstColumns) ids.push_back(c.m_nColumnId);
    EXPECT_EQ(ids, (std::vector<int>{0, 1, 5, 9, 65535}));
}

TEST(CRecoveryEngine, OwnerNameIsTheFirstOwnerWithTheSchemaId) {
    platform::SharedState app;
    mdf::CRecoveryEngine engine(app);
    auto& a = engine.AddOwner();
    a.m_nId = 1;
    a.m_strName = u"dbo";
    auto& b = engine.AddOwner();
    b.m_nId = 5;
    b.m_strName = u"sales";
    auto& c = engine.AddOwner();
    c.m_nId = 5;
    c.m_strName = u"later";
    mdf::TableNode table;
    table.m_nSchemaId = 5;
    EXPECT_EQ(engine.GetOwnerName(table), u"sales");
    table.m_nSchemaId = 7;
    EXPECT_EQ(engine.GetOwnerName(table), u"");
}

TEST(CRecoveryEngine, FreshEngineHasEmptyListsAndOnePostPerStop) {
    platform::SharedState app;
    platform::RecordingSink sink;
    mdf::CRecoveryEngine engine(app, &sink);
    EXPECT_TRUE(engine.m_lstTables.empty());
    EXPECT_FALSE(engine.StopRequested());
    app.m_bStopJob = true;
    EXPECT_TRUE(engine.StopRequested());
    EXPECT_TRUE(engine.StopRequested());
    EXPECT_EQ(sink.Count(platform::WM_JOB_ENDED), 1u);
    EXPECT_TRUE(sink.Messages()[0].posted);
}
