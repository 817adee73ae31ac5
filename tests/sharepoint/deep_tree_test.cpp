// A chain of 200,000 nested folders, as crafted parent links can make one, through the join, the tree, the
// check tree, both kinds of save and the destruction of it all, on a thread with a 1 MB stack: no step may
// go deeper into the call stack as the folders nest deeper. The save runs into the file system's path length
// limit; the folders past it go to substitute folders and the document at the bottom is still written.
#include <gtest/gtest.h>
#include <pthread.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <chrono>
#include <cstdio>
static auto T0 = std::chrono::steady_clock::now();
#define MARK(x) std::fprintf(stderr, "%s %.1f\n", x, std::chrono::duration<double>(std::chrono::steady_clock::now() - T0).count())

#include "sharepoint/check_tree.h"
#include "tests/sharepoint/content_fixture.h"

namespace {

using namespace sharepoint_test;
namespace fs = std::filesystem;

constexpr std::size_t kDepth = 200000;
constexpr std::size_t kSmallStack = 1 << 20;
const std::string kDeepText = "contents of the document at the bottom of the chain";

// Runs body on a new thread with a stack of kSmallStack bytes and waits for it.
void RunOnSmallStack(const std::function<void()>& body) {
    pthread_attr_t attributes;
    ASSERT_EQ(pthread_attr_init(&attributes), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attributes, kSmallStack), 0);
    pthread_t thread;
    auto start = [](void* argument) -> void* {
        (*static_cast<const std::function<void()>*>(argument))();
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attributes, start, const_cast<std::function<void()>*>(&body)), 0);
    pthread_attr_destroy(&attributes);
    ASSERT_EQ(pthread_join(thread, nullptr), 0);
}

std::u16string Id(std::size_t level) { return u"{" + platform::Widen(std::to_string(level)) + u"}"; }

// Long names, each one different, so that the path limit comes after a few dozen levels and every
// substitute folder gets a name of its own.
std::u16string FolderName(std::size_t level) {
    return u"folder " + platform::Widen(std::to_string(level)) + u" " + std::u16string(48, u'x');
}

mdf::SharepointDocs Row(std::u16string id, std::u16string parent, std::u16string type, std::u16string leaf) {
    mdf::SharepointDocs r;
    r.ID = std::move(id);
    r.ParentId = std::move(parent);
    r.listId = u"{L}";
    r.TYPE = std::move(type);
    r.LeafName = std::move(leaf);
    return r;
}

struct SaveOutcome {
    std::size_t substitutes = 0;     // "Folder not made: ...; written to ..." lines
    std::size_t other_failures = 0;  // any other line that says something was not made or written
};

class DeepTree : public ::testing::Test {
protected:
    void SetUp() override {
        // The rows: one site with one list, the folder chain, one document at its bottom (the only row with a
        // stream, found by its Id) and, beside the last folder, one more folder left unchecked later.
        const std::uint64_t offset = content.Place(Bytes(kDeepText));
        content.Write(dir / "data.mdf");
        ASSERT_TRUE(OpenIn(engine, dir / "data.mdf"));
        mdf::AllWebs web;
        web.Id = u"{W}";
        web.Title = u"Site";
        engine.m_arrWebRows.push_back(web);
        engine.m_arrListRows.push_back({u"{W}", u"{L}", u"Docs"});
        engine.m_arrDocRows.reserve(kDepth + 2);
        engine.m_arrDocRows.push_back(Row(Id(0), u"{ROOT}", u"1", FolderName(0)));
        for (std::size_t level = 1; level < kDepth; ++level) {
            engine.m_arrDocRows.push_back(Row(Id(level), Id(level - 1), u"1", FolderName(level)));
        }
        engine.m_arrDocRows.push_back(Row(u"{DOC}", Id(kDepth - 1), u"0", u"deep.txt"));
        engine.m_arrDocRows.push_back(Row(u"{SIDE}", Id(kDepth - 2), u"1", u"side"));
        mdf::SPSDocStream stream;
        stream.Id = u"{DOC}";
        stream.ContentLength = static_cast<std::uint32_t>(kDeepText.size());
        stream.ContentOffsetLow = static_cast<std::uint32_t>(offset);
        engine.m_arrStreamRows.push_back(stream);
        sink.on_send = [this](unsigned message, platform::WPARAM, platform::LPARAM) {
            if (message != platform::WM_LOG_LINE) return;
            const std::string line = platform::ToUtf8(app.m_strLogLine);
            if (line.rfind("  Folder not made: ", 0) == 0 && line.find("); written to ") != std::string::npos) {
                ++outcome.substitutes;
            } else if (line.find("not made") != std::string::npos || line.find("Not written") != std::string::npos ||
                       line.find("not written") != std::string::npos) {
                ++outcome.other_failures;
            }
        };
    }

    // The last item of the folder chain below the list item, and how many folders down it lies.
    static sharepoint::CheckItem* LastFolderItem(sharepoint::CheckItem& list_item, std::size_t& depth) {
        sharepoint::CheckItem* item = &list_item;
        for (depth = 0;; ++depth) {
            const auto next = std::find_if(item->children.begin(), item->children.end(),
                                           [&](const auto& child) { return child->label == FolderName(depth); });
            if (next == item->children.end()) return item;
            item = next->get();
        }
    }

    // Saves every checked item into a new output folder; what the log said about it.
    SaveOutcome Save(sharepoint::CheckItem& tree, const std::string& folder) {
        outcome = {};
        app.m_strOutputFolder = platform::FromUtf8((dir / folder).string());
        app.m_nRecoveredCount = 0;
        engine.SaveCheckedTreeItems(tree);
        return outcome;
    }

    testsupport::TempDir dir;
    ContentFile content;
    platform::SharedState app;
    platform::RecordingSink sink;
    std::optional<mdf::CRecoveryEngine> engine_holder{std::in_place, app, &sink};
    mdf::CRecoveryEngine& engine = *engine_holder;
    SaveOutcome outcome;
};

TEST_F(DeepTree, NestedFoldersNeedNoStackDepth) {
    struct M { ~M() { MARK("teardown done"); } } m;
    RunOnSmallStack([&] {
        MARK("start");
        ASSERT_EQ(engine.JoinDocumentStreams(), 1);
        ASSERT_EQ(engine.m_arrDocuments.size(), kDepth + 2);
        ASSERT_EQ(engine.BuildWebTree(), 1);
        EXPECT_EQ(app.m_nFolderCount, 1);
        EXPECT_EQ(app.m_nDocumentCount, static_cast<std::int32_t>(kDepth + 1));
        EXPECT_TRUE(engine.m_arrDocuments.empty());

        // Site > Docs > folder 0 > ... > folder kDepth-1; documents are not items of the check tree.
        MARK("built");
        auto tree = sharepoint::BuildDocumentCheckTree(u"data.mdf", engine.m_lstWebs);
        sharepoint::CheckItem& list_item = *tree->children.at(0)->children.at(0)->children.at(0);
        ASSERT_EQ(list_item.label, u"Docs");
        std::size_t depth = 0;
        sharepoint::CheckItem* last = LastFolderItem(list_item, depth);
        ASSERT_EQ(depth, kDepth);
        EXPECT_TRUE(last->children.empty());
        ASSERT_EQ(last->parent->children.size(), 2u);
        sharepoint::CheckItem& side = *last->parent->children.back();
        EXPECT_EQ(side.label, u"side");

        // Everything checked: the site is written from its web down.
        MARK("checktree");
        const SaveOutcome all = Save(*tree, "all");
        MARK("saved all");
        EXPECT_GT(all.substitutes, 1000u);
        EXPECT_EQ(all.other_failures, 0u);
        EXPECT_EQ(app.m_nRecoveredCount.load(), 1u);
        EXPECT_EQ(engine.m_nSaveFailures, 0u);
        EXPECT_EQ(tree->state, sharepoint::kUnchecked);

        // Only the side folder unchecked: every folder above it is partly checked, so the save goes down the
        // whole chain and writes the last folder, with the document, on its own.
        tree->state = sharepoint::kChecked;
        sharepoint::SetChildCheckState(*tree);
        side.state = sharepoint::kUnchecked;
        sharepoint::UpdateParentCheckState(*side.parent);
        ASSERT_EQ(list_item.state, sharepoint::kPartlyChecked);
        const SaveOutcome one = Save(*tree, "one");
        MARK("saved one");
        EXPECT_GT(one.substitutes, 1000u);
        EXPECT_EQ(one.other_failures, 0u);
        EXPECT_EQ(app.m_nRecoveredCount.load(), 1u);
        EXPECT_EQ(last->state, sharepoint::kUnchecked);
        EXPECT_EQ(side.state, sharepoint::kUnchecked);

        tree.reset();
        engine_holder.reset();  // the document tree goes with the engine
    });
    MARK("destroyed");
    EXPECT_FALSE(engine_holder.has_value());
}

}  // namespace
