// A chain of 200,000 nested folders, as crafted parent links can make one, in a list at the bottom of a
// chain of 20,000 nested sub-webs: through the join, the tree, the check tree, a save that goes down the
// partly checked items and writes everything below a checked sub-web, and the destruction of it all, on a
// thread with a 1 MB stack. No step may go deeper into the call stack as the nodes nest deeper. The save
// runs into the file system's path length limit: the folders past it go to substitute folders, and the
// document at the bottom of the chain is still written.
#include <gtest/gtest.h>
#include <pthread.h>

#include <algorithm>
#include <functional>
#include <optional>

#include "sharepoint/check_tree.h"
#include "sharepoint/output_folder.h"
#include "tests/sharepoint/content_fixture.h"

namespace {

using namespace sharepoint_test;
namespace fs = std::filesystem;

constexpr std::size_t kDepth = 200000;    // folders
constexpr std::size_t kWebDepth = 20000;  // webs, the top-level one included
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

std::u16string Id(char16_t kind, std::size_t level) {
    return u"{" + std::u16string(1, kind) + platform::Widen(std::to_string(level)) + u"}";
}

// Long names, each one different, so that the path limit comes after some twenty levels and every
// substitute folder gets a name of its own.
std::u16string FolderName(std::size_t level) {
    return u"folder " + platform::Widen(std::to_string(level)) + u" " + std::u16string(180, u'x');
}
std::u16string WebTitle(std::size_t level) {
    return u"web " + platform::Widen(std::to_string(level)) + u" " + std::u16string(180, u'x');
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
        // The rows: the web chain with one more sub-web ("side") beside the one in its middle, a list in the
        // last web, the folder chain in it and one document at its bottom (the only row with a stream, found
        // by its Id).
        const std::uint64_t offset = content.Place(Bytes(kDeepText));
        content.Write(dir / "data.mdf");
        ASSERT_TRUE(OpenIn(engine, dir / "data.mdf"));
        for (std::size_t level = 0; level < kWebDepth; ++level) {
            mdf::AllWebs web;
            web.Id = Id(u'W', level);
            web.ParentWebId = level == 0 ? u"" : Id(u'W', level - 1);
            web.Title = WebTitle(level);
            engine.m_arrWebRows.push_back(web);
        }
        mdf::AllWebs side;
        side.Id = u"{SIDE}";
        side.ParentWebId = Id(u'W', kWebDepth / 2 - 1);
        side.Title = u"side";
        engine.m_arrWebRows.push_back(side);
        engine.m_arrListRows.push_back({Id(u'W', kWebDepth - 1), u"{L}", u"Docs"});
        engine.m_arrDocRows.reserve(kDepth + 1);
        engine.m_arrDocRows.push_back(Row(Id(u'F', 0), u"{ROOT}", u"1", FolderName(0)));
        for (std::size_t level = 1; level < kDepth; ++level) {
            engine.m_arrDocRows.push_back(Row(Id(u'F', level), Id(u'F', level - 1), u"1", FolderName(level)));
        }
        engine.m_arrDocRows.push_back(Row(u"{DOC}", Id(u'F', kDepth - 1), u"0", u"deep.txt"));
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

    // The last item of a chain of labels below item (label(0) the first), and how many items down it lies.
    static sharepoint::CheckItem* FollowChain(sharepoint::CheckItem& item, std::u16string (*label)(std::size_t),
                                              std::size_t& depth) {
        sharepoint::CheckItem* at = &item;
        for (depth = 0;; ++depth) {
            const auto next = std::find_if(at->children.begin(), at->children.end(),
                                           [&](const auto& child) { return child->label == label(depth); });
            if (next == at->children.end()) return at;
            at = next->get();
        }
    }

    testsupport::TempDir dir;
    ContentFile content;
    platform::SharedState app;
    platform::RecordingSink sink;
    std::optional<mdf::CRecoveryEngine> engine_holder{std::in_place, app, &sink};
    mdf::CRecoveryEngine& engine = *engine_holder;
    SaveOutcome outcome;
};

TEST_F(DeepTree, NestedFoldersAndWebsNeedNoStackDepth) {
    RunOnSmallStack([&] {
        ASSERT_EQ(engine.JoinDocumentStreams(), 1);
        ASSERT_EQ(engine.m_arrDocuments.size(), kDepth + 1);
        ASSERT_EQ(engine.BuildWebTree(), 1);
        EXPECT_EQ(app.m_nTopSiteCount, 1);
        EXPECT_EQ(app.m_nSubSiteCount, static_cast<std::int32_t>(kWebDepth));  // the side web included
        EXPECT_EQ(app.m_nListCount, 1);
        EXPECT_EQ(app.m_nFolderCount, 1);
        EXPECT_EQ(app.m_nDocumentCount, static_cast<std::int32_t>(kDepth));
        EXPECT_TRUE(engine.m_arrWebRows.empty());
        EXPECT_TRUE(engine.m_arrDocuments.empty());

        // web 0 > ... > web kWebDepth-1 > Docs > folder 0 > ... > folder kDepth-1; documents are not items.
        auto tree = sharepoint::BuildDocumentCheckTree(u"data.mdf", engine.m_lstWebs);
        std::size_t depth = 0;
        sharepoint::CheckItem* last_web = FollowChain(*tree->children.at(0), WebTitle, depth);
        ASSERT_EQ(depth, kWebDepth);
        ASSERT_EQ(last_web->children.size(), 1u);
        sharepoint::CheckItem& list_item = *last_web->children[0];
        ASSERT_EQ(list_item.label, u"Docs");
        sharepoint::CheckItem* last_folder = FollowChain(list_item, FolderName, depth);
        ASSERT_EQ(depth, kDepth);
        EXPECT_TRUE(last_folder->children.empty());

        // Only the side web unchecked: every web above it is partly checked, so the save goes down to the middle
        // web, then writes that web below the output folder with everything under it.
        sharepoint::CheckItem* middle = last_web;
        for (std::size_t level = kWebDepth - 1; level >= kWebDepth / 2; --level) middle = middle->parent;
        ASSERT_EQ(middle->label, WebTitle(kWebDepth / 2 - 1));
        ASSERT_EQ(middle->children.size(), 2u);
        sharepoint::CheckItem& side = *middle->children.back();
        ASSERT_EQ(side.label, u"side");
        side.state = sharepoint::kUnchecked;
        sharepoint::UpdateParentCheckState(*side.parent);
        ASSERT_EQ(tree->state, sharepoint::kPartlyChecked);

        app.m_strOutputFolder = platform::FromUtf8((dir / "out").string());
        app.m_nRecoveredCount = 0;
        {
            // The save ends with a syncfs of the output's file system, which here would only make the disk
            // write the hundreds of thousands of folders (minutes on a busy disk); the flush has its own test
            // in the site writers' tests.
            const auto real_sync = sharepoint::OutputFolder::sync_file_system;
            sharepoint::OutputFolder::sync_file_system = [](int) { return 0; };
            engine.SaveCheckedTreeItems(*tree);
            sharepoint::OutputFolder::sync_file_system = real_sync;
        }
        EXPECT_GT(outcome.substitutes, 1000u);
        EXPECT_EQ(outcome.other_failures, 0u);
        EXPECT_EQ(app.m_nRecoveredCount.load(), 1u);
        EXPECT_EQ(engine.m_nSaveFailures, 0u);
        EXPECT_EQ(last_folder->state, sharepoint::kUnchecked);
        EXPECT_EQ(side.state, sharepoint::kUnchecked);
        EXPECT_EQ(tree->state, sharepoint::kUnchecked);

        tree.reset();
        engine_holder.reset();  // the document tree goes with the engine
    });
    EXPECT_FALSE(engine_holder.has_value());
}

}  // namespace
