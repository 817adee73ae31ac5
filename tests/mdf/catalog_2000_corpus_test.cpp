// Real column rows in the 2000 layout: pubs_anh.mdf, created in the 2000 format and converted, keeps a page of
// object 3 whose rows (fixed part of 46 bytes, 32 columns) describe the new system tables, with torn bits.
#include <gtest/gtest.h>

#include <map>

#include "mdf/recovery_engine.h"
#include "platform/text.h"
#include "tests/support/corpus.h"

TEST(Columns2000Corpus, LeftOverColumnPageOfPubs) {
    BM_REQUIRE_CORPUS();
    platform::SharedState app;
    app.m_strDataFilePath = platform::FromUtf8((*testsupport::CorpusDir() / "pubs_anh.mdf").string());
    mdf::CRecoveryEngine engine(app);
    ASSERT_TRUE(engine.OpenDataFile());
    // The flags of the (611, 539) row of the version table: restoration is on.
    app.m_bSql2005Catalog = app.m_bConvertedFrom2000 = app.m_bCreatedOn2000 = true;

    constexpr std::uint64_t kPage = 74 * 8192;
    ASSERT_EQ(engine.Read16(kPage), 0x0101);
    ASSERT_EQ(engine.Read32(kPage + 24), 3u);
    const std::map<std::int32_t, int> expected_counts = {{15, 9}, {25, 10}, {26, 3}, {27, 9}, {29, 7},
                                                         {34, 11}, {41, 16}, {44, 8}, {49, 5}};
    for (const auto& [id, count] : expected_counts) {
        auto& table = engine.AddTable();
        table.m_nObjectId = id;
        table.m_pszName = u"t" + platform::Widen(std::to_string(id));
        ++app.m_nTableCount;
    }
    engine.m_plColumns.Add(kPage, engine.Read16(kPage + 22));
    engine.ReadColumns2000();

    for (const auto& table : engine.m_lstTables) {
        SCOPED_TRACE(table.m_nObjectId);
        EXPECT_EQ(table.m_nColumnCount, expected_counts.at(table.m_nObjectId));
        if (table.m_nObjectId != 41) continue;
        std::string listing;
        for (const auto& c : table.m_lstColumns) {
            listing += platform::ToUtf8(c.m_pszName) + ":" + std::to_string(c.m_nType) + ":" +
                       std::to_string(c.m_nMaxInRowLength) + ":" + std::to_string(c.m_nLeafOffset) + " ";
        }
        EXPECT_EQ(listing,
                  "id:56:4:4 number:52:2:8 colid:56:4:10 name:231:256:-1 xtype:48:1:14 utype:56:4:15 "
                  "length:52:2:19 prec:48:1:21 scale:48:1:22 collationid:56:4:23 status:56:4:27 "
                  "maxinrow:52:2:31 xmlns:56:4:33 dflt:56:4:37 chk:56:4:41 idtval:165:64:-2 ");
        for (const auto& c : table.m_lstColumns) {
            if (c.m_pszName == u"name") {
                EXPECT_EQ(c.m_nCollationId, 0x3400D008u);
            }
        }
    }
}
