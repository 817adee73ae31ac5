// The result page's plain rules: table items and the table a click finds, row-list widths, document icons,
// the document walk from a clicked path, check clicks on the document tree; the source-version choices and
// the names a repair and a document save make.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/list_sort.h"
#include "app/repair_names.h"
#include "app/result_lists.h"
#include "app/source_versions.h"
#include "platform/shared_state.h"
#include "platform/text.h"
#include "sharepoint/check_tree.h"

namespace {

TEST(TableItems, TextAndTheTableNameAClickFinds) {
    EXPECT_EQ(app::TableItemText(u"dbo.Items", 12), u"dbo.Items(12)");
    EXPECT_EQ(app::TableItemText(u"dbo.T(1)", 5), u"dbo.T(1)(5)");
    EXPECT_EQ(app::TableNameOfItem(u"dbo.Items(12)"), u"dbo.Items");
    EXPECT_EQ(app::TableNameOfItem(u"dbo.T(1)(5)"), u"dbo.T(1)");
    EXPECT_EQ(app::TableNameOfItem(u"Share Point Server Tables"), u"");
    // A table marked incomplete is still found by a click on its item.
    for (const std::u16string name : {u"dbo.Orders", u"dbo.T(1)", u"x - may be incomplete"}) {
        EXPECT_EQ(app::TableNameOfItem(app::TableItemText(name, 0, true)), name) << platform::ToUtf8(name);
    }
}

// A tree too narrow for an item: the name is cut and marked, the count and the mark after it stay whole.
// `fits` here counts characters, as a tree of fixed-width letters would.
TEST(TableItems, FittedTextCutsTheNameNeverTheCount) {
    struct Case {
        const char* what;
        std::u16string name;
        std::uint64_t rows;
        bool incomplete;
        std::size_t room;
        std::u16string shown;
    };
    const Case cases[] = {
        {"room for all", u"dbo.Orders", 7335008, false, 40, u"dbo.Orders(7335008)"},
        {"exactly the room", u"dbo.Orders", 7335008, false, 19, u"dbo.Orders(7335008)"},
        {"one short", u"dbo.Orders", 7335008, false, 18, u"dbo.Orde\u2026(7335008)"},
        {"the count and the mark kept", u"dbo.OrdersOfTheYear", 12, true, 40,
         u"dbo.OrdersOfThe\u2026(12) - may be incomplete"},
        {"the mark goes before the name", u"dbo.Orders", 12, true, 20, u"dbo.Orders(12)"},
        {"then the name is cut", u"dbo.OrdersOfTheYear", 12, true, 12, u"dbo.Ord\u2026(12)"},
        {"no room for any of the name", u"dbo.Orders", 7335008, false, 5, u"\u2026(7335008)"},
        {"a surrogate pair is not split", u"dbo.\U0001F600\U0001F600x", 1, false, 9, u"dbo.\u2026(1)"},
    };
    for (const Case& c : cases) {
        const auto fits = [&](std::u16string_view text) { return text.size() <= c.room; };
        EXPECT_EQ(app::FittedTableItemText(c.name, c.rows, c.incomplete, fits), c.shown) << c.what;
    }
}

TEST(TableItems, TheTablesCaptionNamesSharePointOnlyForItsDatabases) {
    EXPECT_EQ(app::TablesCaption({u"dbo.AllDocs", u"dbo.Webs", u"dbo.Sites"}), u"Share Point Server Tables");
    EXPECT_EQ(app::TablesCaption({u"Docs", u"webs"}), u"Share Point Server Tables");  // 2000 names, any case
    EXPECT_EQ(app::TablesCaption({u"dbo.Orders", u"dbo.Customers"}), u"Tables");
    EXPECT_EQ(app::TablesCaption({u"dbo.Webs"}), u"Tables");  // sites without documents: not SharePoint's
    EXPECT_EQ(app::TablesCaption({}), u"Tables");
}

TEST(TableItems, ACellOfSeveralLinesReadsOnOneLine) {
    const struct {
        const char* cell;
        const char* shown;
    } cases[] = {
        {"plain", "plain"},
        {"a\r\nb", "a\u21B5b"},
        {"a\nb\rc", "a\u21B5b\u21B5c"},
        {"\r\n\r\n", "\u21B5\u21B5"},
        {"a\n\rb", "a\u21B5\u21B5b"},  // LF CR is two breaks
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(app::CellOnOneLine(c.cell), c.shown) << c.cell;
}

TEST(TableItems, DamageWarningSaysHowManyPagesAndWhichTables) {
    struct Case {
        const char* what;
        std::uint64_t damage;
        std::vector<std::u16string> tables;
        std::u16string text;
    };
    const Case cases[] = {
        {"a sound file", 0, {}, u""},
        {"pages of two tables", 4, {u"dbo.Orders", u"dbo.Products"},
         u"4 damaged or missing page(s) found: rows on them may be missing.\n2 table(s) may be incomplete:\n"
         u"dbo.Orders\ndbo.Products"},
        {"pages no table lists", 1, {},
         u"1 damaged or missing page(s) found: rows on them may be missing.\nNo user table lists them; the log "
         u"names each page."},
        {"a table incomplete without a damaged page", 0, {u"dbo.AllDocStreams"},
         u"1 table(s) may be incomplete:\ndbo.AllDocStreams"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(app::DamageWarningText(c.damage, c.tables), c.text);
    }
}

TEST(TableItems, RowListColumnWidths) {
    EXPECT_EQ(app::RowListColumnWidths(7), (std::vector<int>{70, 70, 70, 70, 70, 70, 129}));
    EXPECT_EQ(app::RowListColumnWidths(1), (std::vector<int>{549}));
    EXPECT_EQ(app::RowListColumnWidths(8), std::vector<int>(8, 70));
    EXPECT_TRUE(app::RowListColumnWidths(0).empty());
}

TEST(TableItems, RowListSortTypeOfEachColumnType) {
    struct Case {
        std::uint8_t type;
        int compare;
    };
    const Case cases[] = {
        {48, app::kCompareNumber},          {52, app::kCompareNumber},          {56, app::kCompareNumber},
        {127, app::kCompareNumber},         {60, app::kCompareDecimal},         {122, app::kCompareDecimal},
        {106, app::kCompareDecimal},        {108, app::kCompareDecimal},        {59, app::kCompareDecimal},
        {62, app::kCompareDecimal},         {61, app::kCompareGridDateTime},    {58, app::kCompareGridDateTime},
        {40, app::kCompareGridDateTime},    {42, app::kCompareGridDateTime},    {43, app::kCompareGridDateTime},
        {41, app::kCompareTimeOfDay},       {104, app::kCompareText},           {167, app::kCompareText},
        {231, app::kCompareText},           {36, app::kCompareText},            {98, app::kCompareText},
    };
    mdf::TableNode table;
    std::vector<int> expected;
    for (const Case& c : cases) {
        mdf::ColumnNode column;
        column.m_nType = c.type;
        table.m_lstColumns.push_back(column);
        expected.push_back(c.compare);
    }
    EXPECT_EQ(app::RowListSortTypes(table), expected);
}

TEST(DocumentIcons, ExtensionTableAndSynonyms) {
    const auto table = app::BuildExtensionTable();
    ASSERT_EQ(table.size(), 26u);
    EXPECT_EQ(table[0], u"pdf");
    EXPECT_EQ(table[2], u" ");
    EXPECT_EQ(table[6], u"doc");
    EXPECT_EQ(table[20], u"sln");
    EXPECT_EQ(table[25], u"mdf");
    const std::pair<const char16_t*, int> cases[] = {
        {u"report.final.docx", 6}, {u"archive.tar.gz", 26}, {u"README", 26},   {u"Setup.VCPROJ", 20},
        {u"setup.dsw", 20},        {u"logo.WBMP", 19},      {u"a.PDF", 0},     {u"page.xhtml", 17},
        {u"clip.avi", 10},         {u"book.XLSX", 5},       {u"deck.pptm", 4}, {u"odd. ", 2},
        {u"main.c", 3},            {u"x.h", 23},            {u"data.mdf", 25}, {u"trailing.", 26},
    };
    for (const auto& [name, icon] : cases) {
        EXPECT_EQ(app::DocumentIconIndex(name, table), icon) << platform::ToUtf8(name);
    }
}

// Site "Team" (a sub-web of the root) with a sub-site "Sub" and the list "Docs": documents A, B, C, a folder
// "F" with document D and a sub-folder "G"; the sub-site has a list also named "Docs" with document E.
struct SampleWebs {
    std::vector<std::unique_ptr<mdf::WebList>> webs;
    SampleWebs() {
        auto root = std::make_unique<mdf::WebList>();
        auto team = std::make_unique<mdf::WebList>();
        team->Title = u"Team";
        auto docs = std::make_unique<mdf::structAllList>();
        docs->tp_Title = u"Docs";
        for (const char16_t* name : {u"A.txt", u"B.doc", u"C.pdf"}) docs->m_lstItems.push_back(Doc(name, u"0"));
        auto folder = Doc(u"F", u"1");
        folder->m_lstChildren.push_back(Doc(u"D.xls", u"0"));
        folder->m_lstChildren.push_back(Doc(u"G", u"1"));
        docs->m_lstItems.push_back(std::move(folder));
        auto sub = std::make_unique<mdf::WebList>();
        sub->Title = u"Sub";
        auto sub_docs = std::make_unique<mdf::structAllList>();
        sub_docs->tp_Title = u"Docs";
        sub_docs->m_lstItems.push_back(Doc(u"E.txt", u"0"));
        sub->m_lstLists.push_back(std::move(sub_docs));
        team->m_lstSubWebs.push_back(std::move(sub));
        team->m_lstLists.push_back(std::move(docs));
        root->m_lstSubWebs.push_back(std::move(team));
        webs.push_back(std::move(root));
    }
    static std::unique_ptr<mdf::sharepointDocsList> Doc(const char16_t* name, const char16_t* type) {
        mdf::SPServerDocumentData d;
        d.LeafName = name;
        d.TYPE = type;
        d.TimeCreated = u"2020-01-02 03:04:05";
        d.TimeLastModified = u"2021-01-02 03:04:05";
        d.Size = u"12";
        return std::make_unique<mdf::sharepointDocsList>(d);
    }
};

std::vector<std::u16string> Names(const std::vector<app::DocumentRow>& rows) {
    std::vector<std::u16string> names;
    for (const auto& row : rows) names.push_back(row.at(0));
    return names;
}

TEST(DocumentWalk, TheClickedPathGivesTheDocumentsOfItsNode) {
    const SampleWebs sample;
    const std::u16string caption = u"Share Point Server Sites Documents";
    struct Case {
        const char* name;
        std::vector<std::u16string> path;  // leaf first
        std::vector<std::u16string> documents;
    };
    const Case cases[] = {
        {"the caption", {caption}, {}},
        {"a site", {u"Team", caption}, {}},
        {"a list, its documents in order", {u"docs", u"TEAM", caption}, {u"A.txt", u"B.doc", u"C.pdf"}},
        {"a folder", {u"F", u"Docs", u"Team", caption}, {u"D.xls"}},
        {"a folder with only folders", {u"G", u"F", u"Docs", u"Team", caption}, {}},
        {"a list of a sub-site", {u"Docs", u"Sub", u"Team", caption}, {u"E.txt"}},
        {"an unknown site", {u"Docs", u"Nowhere", caption}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Names(app::FillDocumentList(sample.webs, c.path)), c.documents);
    }
    const auto rows = app::FillDocumentList(sample.webs, {u"F", u"Docs", u"Team", caption});
    ASSERT_EQ(rows.size(), 1u);
    // The size column holds kilobytes: 12 bytes show as 1.
    EXPECT_EQ(rows[0], (app::DocumentRow{u"D.xls", u"2020-01-02 03:04:05", u"2021-01-02 03:04:05", u"1"}));
}

TEST(DocumentList, SizesShowInKilobytesRoundedUp) {
    const std::pair<std::u16string, std::u16string> cases[] = {
        {u"0", u"0"},           {u"1", u"1"},       {u"1024", u"1"},   {u"1025", u"2"},
        {u"20000", u"20"},      {u"2097152", u"2048"}, {u"", u""},      {u"12a", u"12a"},
        {u"-5", u"-5"},         {u"99999999999999999999", u"99999999999999999999"},
    };
    for (const auto& [bytes, shown] : cases) {
        EXPECT_EQ(app::KilobyteText(bytes), shown) << platform::ToUtf8(bytes);
    }
}

TEST(DocumentWalk, AVeryDeepFolderIsReachedWithoutRecursion) {
    // Folder depth comes from the data file; a chain this deep overflowed the stack when each level was a call.
    constexpr int kDepth = 200000;
    const std::u16string caption = u"Share Point Server Sites Documents";
    std::vector<std::unique_ptr<mdf::WebList>> webs;
    auto root = std::make_unique<mdf::WebList>();
    auto site = std::make_unique<mdf::WebList>();
    site->Title = u"Team";
    auto list = std::make_unique<mdf::structAllList>();
    list->tp_Title = u"Docs";
    std::vector<std::u16string> path;  // leaf first
    auto top = SampleWebs::Doc(u"F", u"1");
    mdf::sharepointDocsList* bottom = top.get();
    path.push_back(u"F");
    for (int level = 1; level < kDepth; ++level) {
        bottom->m_lstChildren.push_back(SampleWebs::Doc(u"F", u"1"));
        bottom = bottom->m_lstChildren.back().get();
        path.push_back(u"F");
    }
    bottom->m_lstChildren.push_back(SampleWebs::Doc(u"deep.txt", u"0"));
    list->m_lstItems.push_back(std::move(top));
    site->m_lstLists.push_back(std::move(list));
    root->m_lstSubWebs.push_back(std::move(site));
    webs.push_back(std::move(root));
    path.insert(path.end(), {u"Docs", u"Team", caption});
    EXPECT_EQ(Names(app::FillDocumentList(webs, path)), std::vector<std::u16string>{u"deep.txt"});
}

TEST(CheckClicks, AFolderCheckedAloneMakesEveryAncestorPartlyChecked) {
    sharepoint::CheckItem root;
    root.label = u"file.mdf";
    auto& caption = root.AddChild(u"caption");
    auto& site = caption.AddChild(u"site");
    auto& list = site.AddChild(u"list");
    auto& other_list = site.AddChild(u"other list");
    auto& f1 = list.AddChild(u"f1");
    auto& f2 = list.AddChild(u"f2");
    auto& inner = f1.AddChild(u"inner");

    app::ToggleCheck(root);  // everything unchecked
    for (auto* item : {&root, &caption, &site, &list, &other_list, &f1, &f2, &inner}) {
        EXPECT_EQ(item->state, sharepoint::kUnchecked);
    }
    app::ToggleCheck(f1);
    EXPECT_EQ(f1.state, sharepoint::kChecked);
    EXPECT_EQ(inner.state, sharepoint::kChecked);
    for (auto* item : {&list, &site, &caption, &root}) EXPECT_EQ(item->state, sharepoint::kPartlyChecked);

    app::ToggleCheck(f2);  // all folders of the list: the list is checked, its site only partly
    EXPECT_EQ(list.state, sharepoint::kChecked);
    EXPECT_EQ(site.state, sharepoint::kPartlyChecked);
    app::ToggleCheck(other_list);
    EXPECT_EQ(site.state, sharepoint::kChecked);
    EXPECT_EQ(root.state, sharepoint::kChecked);

    app::ToggleCheck(inner);  // unchecked below a checked folder
    EXPECT_EQ(f1.state, sharepoint::kUnchecked);
    EXPECT_EQ(list.state, sharepoint::kPartlyChecked);
    app::ToggleCheck(list);  // a partly checked item becomes unchecked with all its descendants
    for (auto* item : {&list, &f1, &f2, &inner}) EXPECT_EQ(item->state, sharepoint::kUnchecked);
    EXPECT_EQ(site.state, sharepoint::kPartlyChecked);
}

TEST(SourceVersions, EachChoiceWritesItsRow) {
    const auto& choices = app::SourceVersionChoices();
    EXPECT_EQ(choices.front().radio_id, 1005);
    platform::SharedState state;
    state.m_bConvertedFrom2000 = false;
    state.m_bSql2012Catalog = false;
    app::ApplySourceVersionChoice(choices[8], state);  // radio 1149: every flag but the 2000 one
    EXPECT_EQ(state.m_dwVersionPair, 0x021B02C1u);
    EXPECT_TRUE(state.m_bSql2005Catalog && state.m_bSql2008Catalog && state.m_bLayout2005 && state.m_bCreatedOn2000 &&
                state.m_bConvertedFrom2000 && state.m_bSql2012Catalog);
    EXPECT_FALSE(state.m_bSql2000);

    // A choice that leaves the conversion and 2012 flags alone.
    app::ApplySourceVersionChoice(choices[0], state);
    EXPECT_EQ(state.m_dwVersionPair, 0x021B021Bu);
    EXPECT_TRUE(state.m_bSql2000 && state.m_bCreatedOn2000);
    EXPECT_FALSE(state.m_bSql2005Catalog || state.m_bSql2008Catalog || state.m_bLayout2005);
    EXPECT_TRUE(state.m_bConvertedFrom2000 && state.m_bSql2012Catalog);
    // The creation version is the high word and the current version the low word.
    for (const auto& choice : choices) {
        EXPECT_TRUE((choice.version_pair >> 16) == 539 || (choice.version_pair >> 16) == 611 ||
                    (choice.version_pair >> 16) == 655 || (choice.version_pair >> 16) == 705);
    }
}

TEST(RepairNames, DatabaseNameAndOutputFolder) {
    EXPECT_EQ(app::RecoveredDatabaseName(u"DATA.MDF"), u"Recovered_DATA");
    EXPECT_EQ(app::RecoveredDatabaseName(u"Backup.bak"), u"Recovered_");
    EXPECT_EQ(app::RecoveredDatabaseName(u"Sales.mdf.old.mdf"), u"Recovered_Sales");
    EXPECT_EQ(app::FileNameOfPath(u"C:\\data\\WSS_Content.mdf"), u"WSS_Content.mdf");
    EXPECT_EQ(app::FileNameOfPath(u"/srv/sql/WSS_Content.mdf"), u"WSS_Content.mdf");
    EXPECT_EQ(app::FileNameOfPath(u"plain.mdf"), u"plain.mdf");  // a bare relative name
    EXPECT_EQ(app::RecoveredDatabaseName(app::FileNameOfPath(u"plain.mdf")), u"Recovered_plain");

    // The folder of a save names the date as well as the time; two days apart never share a name.
    const std::time_t t = 1'700'000'000;
    const std::u16string name = app::OutputFolderName(t);
    EXPECT_EQ(name.rfind(u"Recoverd 20", 0), 0u);
    EXPECT_EQ(name.size(), std::u16string(u"Recoverd 2023-11-14 10 13 20 PM").size());
    EXPECT_NE(app::OutputFolderName(t), app::OutputFolderName(t + 86400));
    EXPECT_NE(app::LogTimeText(t).find(u", 2023, "), std::u16string::npos);
}

TEST(RepairNames, FailureFolderOfEachRepairIsNewAndInsideTheBase) {
    const std::filesystem::path base = std::filesystem::path(::testing::TempDir()) / "failure_folders";
    std::filesystem::remove_all(base);
    struct Case {
        const char16_t* database;
        const char* folder;  // made inside base
    } cases[] = {
        {u"Recovered_site", "Recovered_site"},
        {u"Recovered_site", "Recovered_site (2)"},  // an earlier repair's folder is never reused
        {u"Recovered_site", "Recovered_site (3)"},
        {u"../../etc/x", ".._.._etc_x"},  // a name typed for the embedded edition stays inside the base
        {u"..", "_.."},
        {u"", "_"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(app::MakeFailureFolder(base, c.database), base / c.folder) << c.folder;
        EXPECT_TRUE(std::filesystem::is_directory(base / c.folder)) << c.folder;
    }
    std::filesystem::remove_all(base);
}

}  // namespace
