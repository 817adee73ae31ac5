// Definition texts from sysobjvalues (2005 and later, 8-bit text) and syscomments (2000, UTF-16 text) rows
// written from code: matching by object and full sub-id, text bounds, torn sectors inside a text.
#include <gtest/gtest.h>

#include "tests/mdf/key_records.h"

using namespace keytest;
using testsupport::FileBuilder;

namespace {

std::unique_ptr<KeyEngine> Definitions(const std::vector<std::vector<Bytes>>& pages, bool sql2005) {
    FileBuilder file;
    for (std::size_t i = 0; i < pages.size(); ++i) file.SetPage(40 + i, SystemPage(sql2005 ? 60 : 6, pages[i]));
    auto keys = std::make_unique<KeyEngine>(file);
    for (std::size_t i = 0; i < pages.size(); ++i)
        keys->engine().m_plDefinitions.Add(PageOffset(40 + i), pages[i].size());
    keys->app().m_bSql2005Catalog = sql2005;
    return keys;
}

struct TextCase {
    const char* what;
    std::int32_t object_id;
    std::uint16_t sub_id;
    std::u16string expected;
    std::vector<std::vector<Bytes>> pages;
};

void ExpectTexts(const std::vector<TextCase>& cases, bool sql2005) {
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto keys = Definitions(c.pages, sql2005);
        ASSERT_TRUE(keys->opened());
        EXPECT_EQ(keys->engine().ReadObjectText(c.object_id, c.sub_id), c.expected);
    }
}

// clang-format off
TEST(ReadObjectText, Rows2005) {
    ExpectTexts({
        {"first matching row", 7, 0, u"CREATE VIEW v AS SELECT 1",
         {{ObjectValueRecord(1, 7, 0, "CREATE VIEW v AS SELECT 1"), ObjectValueRecord(1, 7, 0, "later row")}}},
        {"a zero byte ends the text", 7, 3, u"([a]+[b])",
         {{ObjectValueRecord(1, 7, 3, std::string("([a]+[b])\0tail", 14))}}},
        {"statistics rows are passed over", 7, 2, u"(1)",
         {{ObjectValueRecord(60, 7, 2, "blob"), ObjectValueRecord(1, 7, 2, "(1)")}}},
        {"on a later page", 7, 1, u"CREATE PROCEDURE p",
         {{ObjectValueRecord(1, 8, 0, "other")}, {ObjectValueRecord(1, 7, 1, "CREATE PROCEDURE p")}}},
        {"sub-id 300 is compared in full", 7, 300, u"col 300",
         {{ObjectValueRecord(1, 7, 44, "col 44"), ObjectValueRecord(1, 7, 300, "col 300")}}},
        {"sub-id 44 does not find 300", 7, 44, u"col 44",
         {{ObjectValueRecord(1, 7, 300, "col 300"), ObjectValueRecord(1, 7, 44, "col 44")}}},
        {"no matching row", 9, 0, u"", {{ObjectValueRecord(1, 7, 0, "x")}}},
        {"8-bit text through the code page", 7, 0, u"caf\u00E9", {{ObjectValueRecord(1, 7, 0, "caf\xE9")}}},
        // The first matching row ends the search even when its text cannot be read.
        {"an end before the start gives no text", 7, 0, u"",
         {{ObjectValueRecord(1, 7, 0, "abc", 20), ObjectValueRecord(1, 7, 0, "next")}}},
        {"an end outside the row gives no text", 7, 0, u"", {{ObjectValueRecord(1, 7, 0, "abc", 0x8048)}}},
    }, true);
}

TEST(ReadObjectText, Rows2000) {
    ExpectTexts({
        {"end offset 31: five characters", 7, 0, u"abcde", {{CommentRecord(7, 0, u"abcdefgh", 31)}}},
        {"whole text", 5, 1, u"CREATE PROCEDURE p AS SELECT 1",
         {{CommentRecord(5, 1, u"CREATE PROCEDURE p AS SELECT 1")}}},
        {"number compared in full", 5, 1, u"right",
         {{CommentRecord(5, 257, u"wrong"), CommentRecord(5, 1, u"right")}}},
        {"an end before the start gives no text", 5, 0, u"", {{CommentRecord(5, 0, u"abc", 10)}}},
    }, false);
}
// clang-format on

TEST(ReadObjectText, TornSectorsInsideTheTextAreRestored) {
    // A text of 1,500 characters from page offset 96 + 32 crosses the ends of sectors 0 to 2; sectors 1 and 2
    // end inside it and are torn.
    std::string body(1500, 'R');
    const Bytes record = ObjectValueRecord(1, 7, 0, body);
    auto page = SystemPage(60, {record});
    page.Tear(0);
    FileBuilder file;
    file.SetPage(40, page);
    KeyEngine keys(file);
    ASSERT_TRUE(keys.opened());
    keys.engine().m_plDefinitions.Add(PageOffset(40), 1);
    keys.app().m_bSql2005Catalog = true;
    keys.app().m_bConvertedFrom2000 = true;
    keys.app().m_bCreatedOn2000 = true;
    EXPECT_EQ(platform::ToUtf8(keys.engine().ReadObjectText(7, 0)), body);

    keys.app().m_bCreatedOn2000 = false;  // without restoration the torn bytes show ('R' 0x52 becomes 'P')
    const std::string torn = platform::ToUtf8(keys.engine().ReadObjectText(7, 0));
    EXPECT_EQ(torn[1023 - 128], 'P');
    EXPECT_EQ(torn[1535 - 128], 'P');
}

TEST(ReadObjectText, StopReturnsWhatWasFound) {
    auto keys = Definitions({{ObjectValueRecord(1, 8, 0, "x")}, {ObjectValueRecord(1, 7, 0, "late")}}, true);
    ASSERT_TRUE(keys->opened());
    keys->app().m_bStopJob = true;
    EXPECT_EQ(keys->engine().ReadObjectText(7, 0), u"");
    EXPECT_EQ(keys->sink().Count(platform::WM_JOB_ENDED), 1u);
}

}  // namespace
