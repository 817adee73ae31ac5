// The document tree: the placing rules case by case, the site summary, the counts of what found no place,
// and the indexed build against a literal move-and-restart scan on random rows.
#include <gtest/gtest.h>

#include <random>

#include "mdf/recovery_engine.h"
#include "platform/text.h"

namespace {

using mdf::AllList;
using mdf::AllWebs;
using mdf::SPServerDocumentData;
using mdf::WebList;

AllWebs Web(std::u16string id, std::u16string parent, std::u16string title) {
    AllWebs w;
    w.Id = std::move(id);
    w.ParentWebId = std::move(parent);
    w.Title = std::move(title);
    w.SiteId = u"{SITE}";
    return w;
}

AllList List(std::u16string web, std::u16string id, std::u16string title) {
    AllList l;
    l.tp_WebId = std::move(web);
    l.tp_ID = std::move(id);
    l.tp_Title = std::move(title);
    return l;
}

SPServerDocumentData Item(std::u16string id, std::u16string parent, std::u16string list, std::u16string type,
                          std::u16string leaf, std::uint32_t length = 0) {
    SPServerDocumentData r;
    r.ID = std::move(id);
    r.ParentId = std::move(parent);
    r.listId = std::move(list);
    r.TYPE = std::move(type);
    r.LeafName = std::move(leaf);
    r.ContentLength = length;
    r.ContentOffsetLow = length ? 4096 : 0;
    return r;
}

void DumpDocs(const mdf::sharepointDocsList& node, int depth, std::string& out) {
    for (const auto& child : node.m_lstChildren) {
        out += std::string(depth * 2, ' ') + "I:" + platform::ToUtf8(child->m_doc.LeafName) + "\n";
        DumpDocs(*child, depth + 1, out);
    }
}

void DumpWeb(const WebList& web, int depth, std::string& out) {
    out += std::string(depth * 2, ' ') + "W:" + platform::ToUtf8(web.Title) + "\n";
    for (const auto& sub : web.m_lstSubWebs) DumpWeb(*sub, depth + 1, out);
    for (const auto& list : web.m_lstLists) {
        out += std::string(depth * 2 + 2, ' ') + "L:" + platform::ToUtf8(list->tp_Title) + "\n";
        for (const auto& folder : list->m_lstItems) {
            out += std::string(depth * 2 + 4, ' ') + "F:" + platform::ToUtf8(folder->m_doc.LeafName) + "\n";
            DumpDocs(*folder, depth + 3, out);
        }
    }
}

std::string DumpTree(const mdf::CRecoveryEngine& engine) {
    std::string out;
    for (const auto& root : engine.m_lstWebs) {
        for (const auto& top : root->m_lstSubWebs) DumpWeb(*top, 0, out);
    }
    return out;
}

std::vector<std::u16string> LogLines(mdf::CRecoveryEngine& engine, platform::RecordingSink& sink) {
    auto lines = std::make_shared<std::vector<std::u16string>>();
    sink.on_send = [lines, &engine](unsigned message, platform::WPARAM, platform::LPARAM) {
        if (message == platform::WM_LOG_LINE) lines->push_back(engine.m_app.m_strLogLine);
    };
    engine.BuildWebTree();
    return *lines;
}

struct TreeCase {
    const char* name;
    std::vector<AllWebs> webs;
    std::vector<AllList> lists;
    std::vector<SPServerDocumentData> docs;
    std::string tree;
    std::size_t docs_left;
};

TEST(BuildWebTree, PlacingRules) {
    const TreeCase cases[] = {
        {"two sites with one sub-site each",
         {Web(u"{A}", u"", u"A"), Web(u"{B}", u"", u"B"), Web(u"{A1}", u"{A}", u"A1"), Web(u"{B1}", u"{B}", u"B1")},
         {},
         {},
         "W:A\n  W:A1\nW:B\n  W:B1\n",
         0},
        {"a document without content is left out, an item of another type is placed without it",
         {Web(u"{W}", u"", u"W")},
         {List(u"{W}", u"{L}", u"Docs")},
         {Item(u"{F}", u"{R}", u"{L}", u"1", u"F"), Item(u"{D0}", u"{F}", u"{L}", u"0", u"empty.txt"),
          Item(u"{D1}", u"{F}", u"{L}", u"0", u"full.txt", 10), Item(u"{D2}", u"{F}", u"{L}", u"2", u"site")},
         "W:W\n  L:Docs\n    F:F\n      I:full.txt\n      I:site\n",
         1},
        {"a folder stored before its parent folder lands under it, with its own children",
         {Web(u"{W}", u"", u"W")},
         {List(u"{W}", u"{L}", u"Docs")},
         {Item(u"{F2}", u"{F1}", u"{L}", u"1", u"F2"), Item(u"{X}", u"{F2}", u"{L}", u"0", u"x.txt", 3),
          Item(u"{F1}", u"{R}", u"{L}", u"1", u"F1")},
         "W:W\n  L:Docs\n    F:F1\n      I:F2\n        I:x.txt\n",
         0},
        {"ids that differ in letter case link parent and child",
         {Web(u"{ab}", u"", u"W"), Web(u"{cd}", u"{AB}", u"S")},
         {List(u"{CD}", u"{ef}", u"Docs")},
         {Item(u"{gh}", u"{R}", u"{EF}", u"1", u"F"), Item(u"{ij}", u"{GH}", u"{ef}", u"0", u"d.txt", 1)},
         "W:W\n  W:S\n    L:Docs\n      F:F\n        I:d.txt\n",
         0},
        {"a site under a web that does not exist is not shown",
         {Web(u"{W}", u"", u"W"), Web(u"{O}", u"{GONE}", u"Orphan")},
         {List(u"{GONE}", u"{L}", u"Lost list")},
         {Item(u"{F}", u"{R}", u"{NOLIST}", u"1", u"Lost folder")},
         "W:W\n",
         1},
        {"sub-webs come before lists; a sub-web's lists are its own",
         {Web(u"{W}", u"", u"W"), Web(u"{S}", u"{W}", u"S")},
         {List(u"{W}", u"{L1}", u"WL"), List(u"{S}", u"{L2}", u"SL")},
         {},
         "W:W\n  W:S\n    L:SL\n  L:WL\n",
         0},
        {"an empty folder ID takes records with an empty ParentId but goes no deeper",
         {Web(u"{W}", u"", u"W")},
         {List(u"{W}", u"{L}", u"Docs")},
         {Item(u"", u"{R}", u"{L}", u"1", u"Blank"), Item(u"{G}", u"", u"{L2}", u"1", u"G"),
          Item(u"{H}", u"{G}", u"{L2}", u"0", u"h.txt", 2)},
         "W:W\n  L:Docs\n    F:Blank\n      I:G\n",
         1},
        {"a folder that is its own parent is still placed",
         {Web(u"{W}", u"", u"W")},
         {List(u"{W}", u"{L}", u"Docs")},
         {Item(u"{S}", u"{S}", u"{L}", u"1", u"Self")},
         "W:W\n  L:Docs\n    F:Self\n",
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        platform::SharedState app;
        mdf::CRecoveryEngine engine(app);
        engine.m_arrWebRows = c.webs;
        engine.m_arrListRows = c.lists;
        engine.m_arrDocuments = c.docs;
        EXPECT_EQ(engine.BuildWebTree(), 1);
        EXPECT_EQ(DumpTree(engine), c.tree);
        EXPECT_EQ(engine.m_arrDocuments.size(), c.docs_left);
    }
}

TEST(BuildWebTree, NodesCarryTheirRecordsButNoParentWebId) {
    const mdf::SPServerDocumentData empty;
    EXPECT_TRUE(empty.DirName.empty() && empty.ID.empty() && empty.LeafName.empty() && empty.TYPE.empty());
    EXPECT_EQ(empty.ContentLength64() + empty.ContentOffset64() + empty.ContentFlags, 0u);

    platform::SharedState app;
    mdf::CRecoveryEngine engine(app);
    engine.m_arrWebRows = {Web(u"{W}", u"", u"W"), Web(u"{S}", u"{W}", u"S")};
    engine.m_arrListRows = {List(u"{W}", u"{L}", u"Docs")};
    auto folder = Item(u"{F}", u"{R}", u"{L}", u"1", u"F");
    auto doc = Item(u"{D}", u"{F}", u"{L}", u"0", u"d.bin", 77);
    doc.ContentOffsetHigh = 2;
    doc.ContentFlags = 8;
    doc.TimeCreated = u"2012-01-01 00:00:00.000";
    engine.m_arrDocuments = {folder, doc};
    ASSERT_EQ(engine.BuildWebTree(), 1);
    const WebList& web = *engine.m_lstWebs.at(0)->m_lstSubWebs.at(0);
    EXPECT_EQ(web.SiteId, u"{SITE}");
    EXPECT_TRUE(web.m_lstSubWebs.at(0)->ParentWebId.empty());
    const auto& placed = web.m_lstLists.at(0)->m_lstItems.at(0)->m_lstChildren.at(0)->m_doc;
    EXPECT_EQ(placed.ContentLength64(), 77u);
    EXPECT_EQ(placed.ContentOffset64(), (std::uint64_t{2} << 32) | 4096);
    EXPECT_EQ(placed.ContentFlags, 8u);
    EXPECT_EQ(placed.TimeCreated, u"2012-01-01 00:00:00.000");
}

TEST(BuildWebTree, NoWebRowsNoRootAndNoTopLevelWebAnEmptyRoot) {
    platform::SharedState app;
    mdf::CRecoveryEngine engine(app);
    EXPECT_EQ(engine.BuildWebTree(), 0);
    EXPECT_TRUE(engine.m_lstWebs.empty());
    EXPECT_FALSE(engine.m_strTempFolder.empty());

    engine.m_arrWebRows = {Web(u"{S}", u"{P}", u"S")};
    EXPECT_EQ(engine.BuildWebTree(), 0);
    ASSERT_EQ(engine.m_lstWebs.size(), 1u);
    EXPECT_TRUE(engine.m_lstWebs[0]->m_lstSubWebs.empty());
    EXPECT_EQ(engine.m_arrWebRows.size(), 1u);
}

TEST(BuildWebTree, SiteSummaryCountsEachSitesOwnItemsAndLeftoversAndRestartsPerScan) {
    platform::SharedState app;
    app.m_nSubSiteCount = 40;  // left from an earlier scan
    auto scan = [&app] {
        platform::RecordingSink sink;
        mdf::CRecoveryEngine engine(app, &sink);
        engine.m_arrWebRows = {Web(u"{A}", u"", u"Alpha"), Web(u"{B}", u"", u"Beta"), Web(u"{A1}", u"{A}", u"A1"),
                               Web(u"{B1}", u"{B}", u"B1"), Web(u"{O}", u"{X}", u"Orphan")};
        engine.m_arrListRows = {List(u"{A}", u"{L}", u"Docs"), List(u"{Q}", u"{M}", u"Lost")};
        engine.m_arrDocuments = {Item(u"{F}", u"{R}", u"{L}", u"1", u"F"), Item(u"{D}", u"{F}", u"{L}", u"0", u"d", 1),
                                 Item(u"{E}", u"{F}", u"{L}", u"0", u"no content"),
                                 Item(u"{G}", u"{NOPE}", u"{L}", u"0", u"lost", 5)};
        return LogLines(engine, sink);
    };
    const std::vector<std::u16string> expected = {
        u" Top Level Sites Persent                         :  Alpha",
        u"Total Sub Sites  Persent                         :  1",
        u"Total Lists Persent                                  :  1",
        u"Total Directories Persent                        :  1",
        u"Total  Documents Persent                       :  1",
        std::u16string(62, u'-'),
        // Beta's own: its sub-site, and none of Alpha's list, folder or document.
        u" Top Level Sites Persent                         :  Beta",
        u"Total Sub Sites  Persent                         :  1",
        u"Total Lists Persent                                  :  0",
        u"Total Directories Persent                        :  0",
        u"Total  Documents Persent                       :  0",
        std::u16string(62, u'-'),
        u"Not placed in the tree  :  1 site(s), 1 list(s), 1 folder(s) and document(s)",
        u"    Site not placed : Orphan (id {O})",
        u"    List not placed : Lost (id {M}, site id {Q})",
        u"    Document not placed : lost",
        u"Documents without contents (not shown)  :  1",
    };
    EXPECT_EQ(scan(), expected);
    EXPECT_EQ(app.m_strLogText, std::u16string(62, u'-') + u"\r\n" + std::u16string(62, u'-') + u"\r\n");
    EXPECT_EQ(scan(), expected);  // the counters start again with every scan
    EXPECT_EQ(app.m_nTopSiteCount, 2);
    EXPECT_EQ(app.m_nSubSiteCount, 2) << "the scan's own counters still count every site";
    EXPECT_EQ(app.m_nDocumentCount, 1);
}

TEST(BuildWebTree, StopReturnsZeroWithoutARoot) {
    platform::SharedState app;
    platform::RecordingSink sink;
    mdf::CRecoveryEngine engine(app, &sink);
    engine.m_arrWebRows = {Web(u"{A}", u"", u"A")};
    app.m_bStopJob = true;
    EXPECT_EQ(engine.BuildWebTree(), 0);
    EXPECT_TRUE(engine.m_lstWebs.empty());
    EXPECT_EQ(engine.m_arrWebRows.size(), 1u);
    EXPECT_EQ(sink.Count(platform::WM_JOB_ENDED), 1u);
}

// A list of thousands of documents tells the window how many are left to place at the first document and then
// now and then, not once per document: each message waits for the window.
TEST(BuildWebTree, ThousandsOfDocumentsSendAFewProgressMessages) {
    constexpr int kDocuments = 20000;
    platform::SharedState app;
    platform::RecordingSink sink;
    mdf::CRecoveryEngine engine(app, &sink);
    engine.m_arrWebRows = {Web(u"{W}", u"", u"W")};
    engine.m_arrListRows = {List(u"{W}", u"{L}", u"Docs")};
    std::vector<SPServerDocumentData> docs{Item(u"{F}", u"", u"{L}", u"1", u"F")};
    for (int d = 0; d < kDocuments; ++d) {
        docs.push_back(Item(u"{I" + platform::FromUtf8(std::to_string(d)) + u"}", u"{F}", u"{L}", u"0", u"d", 1));
    }
    engine.m_arrDocuments = docs;
    ASSERT_EQ(engine.BuildWebTree(), 1);
    ASSERT_EQ(app.m_nDocumentCount, kDocuments);
    std::size_t left_messages = 0;
    for (const auto& m : sink.Messages()) {
        left_messages += m.message == platform::WM_JOB_PROGRESS && m.wparam == platform::kProgressRange ? 1 : 0;
    }
    EXPECT_GE(left_messages, 1u);
    EXPECT_LE(left_messages, kDocuments / 1024 + 1);
}

// ---- The literal scan: every level rescans its array from the start after every move. ----

struct RefDoc {
    SPServerDocumentData r;
    bool list_level;  // a folder without a parent folder of its own list
};

struct Reference {
    std::vector<AllWebs> webs;
    std::vector<AllList> lists;
    std::vector<RefDoc> docs;
    int sub = 0, list_count = 0, folders = 0, items = 0;

    static bool Eq(const std::u16string& a, const std::u16string& b) { return platform::EqualsNoCase(a, b); }

    void AttachChildNodes(mdf::sharepointDocsList& node) {
        for (std::size_t i = 0; i < docs.size();) {
            const auto& r = docs[i].r;
            if (Eq(r.ParentId, node.m_doc.ID) && (r.TYPE != u"0" || r.ContentLength != 0)) {
                auto& child = *node.m_lstChildren.emplace_back(std::make_unique<mdf::sharepointDocsList>(r));
                docs.erase(docs.begin() + static_cast<std::ptrdiff_t>(i));
                ++items;
                if (!child.m_doc.ParentId.empty() && child.m_doc.TYPE == u"1") AttachChildNodes(child);
                i = 0;
            } else {
                ++i;
            }
        }
    }
    void AttachListFolders(mdf::structAllList& list) {
        for (std::size_t i = 0; i < docs.size();) {
            if (docs[i].list_level && docs[i].r.TYPE == u"1" && Eq(docs[i].r.listId, list.tp_ID)) {
                auto& node = *list.m_lstItems.emplace_back(std::make_unique<mdf::sharepointDocsList>(docs[i].r));
                docs.erase(docs.begin() + static_cast<std::ptrdiff_t>(i));
                ++folders;
                AttachChildNodes(node);
                i = 0;
            } else {
                ++i;
            }
        }
    }
    void CollectWebLists(WebList& web) {
        for (std::size_t i = 0; i < lists.size();) {
            if (Eq(lists[i].tp_WebId, web.Id)) {
                auto list = std::make_unique<mdf::structAllList>();
                list->tp_ID = lists[i].tp_ID;
                list->tp_Title = lists[i].tp_Title;
                lists.erase(lists.begin() + static_cast<std::ptrdiff_t>(i));
                AttachListFolders(*list);
                web.m_lstLists.push_back(std::move(list));
                ++list_count;
                i = 0;
            } else {
                ++i;
            }
        }
    }
    WebList& Take(WebList& parent, std::size_t i) {
        auto& web = *parent.m_lstSubWebs.emplace_back(std::make_unique<WebList>());
        web.Id = webs[i].Id;
        web.Title = webs[i].Title;
        webs.erase(webs.begin() + static_cast<std::ptrdiff_t>(i));
        return web;
    }
    void AttachSubWebs(WebList& parent) {
        for (std::size_t i = 0; i < webs.size();) {
            if (Eq(webs[i].ParentWebId, parent.Id)) {
                WebList& web = Take(parent, i);
                ++sub;
                CollectWebLists(web);
                AttachSubWebs(web);
                i = 0;
            } else {
                ++i;
            }
        }
    }
    std::unique_ptr<WebList> Build() {
        auto root = std::make_unique<WebList>();
        for (std::size_t i = 0; i < webs.size();) {
            if (webs[i].ParentWebId.empty()) {
                WebList& web = Take(*root, i);
                AttachSubWebs(web);
                CollectWebLists(web);
                i = 0;
            } else {
                ++i;
            }
        }
        return root;
    }
};

TEST(BuildWebTree, SameTreeAsTheLiteralScanOnRandomRows) {
    std::mt19937 random(11);
    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        // Small id pools give duplicates, ids in both letter cases, and parents stored after their children.
        auto id = [&](const char16_t* prefix, unsigned pool) {
            std::u16string s = prefix + platform::Widen(std::to_string(random() % pool));
            return random() % 4 == 0 ? platform::ToUpper(s) : s;
        };
        std::vector<AllWebs> webs(1 + random() % 8);
        for (std::size_t i = 0; i < webs.size(); ++i) {
            webs[i] = Web(id(u"w", 6), random() % 3 == 0 ? u"" : id(u"w", 7), platform::Widen("web" + std::to_string(i)));
        }
        std::vector<AllList> lists(random() % 8);
        for (std::size_t i = 0; i < lists.size(); ++i) {
            lists[i] = List(id(u"w", 7), id(u"l", 5), platform::Widen("list" + std::to_string(i)));
        }
        std::vector<SPServerDocumentData> docs(random() % 30);
        const std::u16string types[] = {u"0", u"1", u"1", u"2"};
        for (std::size_t i = 0; i < docs.size(); ++i) {
            docs[i] = Item(id(u"d", 12), random() % 8 == 0 ? u"" : id(u"d", 13), id(u"l", 6), types[random() % 4],
                           platform::Widen("doc" + std::to_string(i)), random() % 3 == 0 ? 0 : 7);
        }

        Reference reference{webs, lists, {}};
        for (std::size_t i = 0; i < docs.size(); ++i) {
            bool has_parent = false;
            for (std::size_t j = 0; j < docs.size(); ++j) {
                has_parent = has_parent || (j != i && docs[j].TYPE == u"1" && Reference::Eq(docs[j].listId, docs[i].listId) &&
                                            Reference::Eq(docs[j].ID, docs[i].ParentId));
            }
            reference.docs.push_back({docs[i], !has_parent});
        }
        auto reference_root = reference.Build();
        std::string expected;
        for (const auto& top : reference_root->m_lstSubWebs) DumpWeb(*top, 0, expected);

        platform::SharedState app;
        mdf::CRecoveryEngine engine(app);
        engine.m_arrWebRows = webs;
        engine.m_arrListRows = lists;
        engine.m_arrDocuments = docs;
        engine.BuildWebTree();
        ASSERT_EQ(DumpTree(engine), expected);
        EXPECT_EQ(engine.m_arrWebRows.size(), reference.webs.size());
        EXPECT_EQ(engine.m_arrListRows.size(), reference.lists.size());
        ASSERT_EQ(engine.m_arrDocuments.size(), reference.docs.size());
        for (std::size_t i = 0; i < reference.docs.size(); ++i) {
            EXPECT_EQ(engine.m_arrDocuments[i].LeafName, reference.docs[i].r.LeafName);
        }
        EXPECT_EQ(app.m_nSubSiteCount, reference.sub);
        EXPECT_EQ(app.m_nListCount, reference.list_count);
        EXPECT_EQ(app.m_nFolderCount, reference.folders);
        EXPECT_EQ(app.m_nDocumentCount, reference.items);
    }
}

}  // namespace
