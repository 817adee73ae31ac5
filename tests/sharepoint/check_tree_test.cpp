// The check tree: the items it shows for a document tree and the propagation of the three check states.
#include <gtest/gtest.h>

#include "platform/text.h"
#include "sharepoint/check_tree.h"

namespace {

using sharepoint::CheckItem;
using sharepoint::kChecked;
using sharepoint::kPartlyChecked;
using sharepoint::kUnchecked;

std::unique_ptr<mdf::sharepointDocsList> Node(std::u16string leaf, std::u16string type) {
    auto node = std::make_unique<mdf::sharepointDocsList>();
    node->m_doc.LeafName = std::move(leaf);
    node->m_doc.TYPE = std::move(type);
    return node;
}

void Dump(const CheckItem& item, int depth, std::string& out) {
    out += std::string(depth * 2, ' ') + platform::ToUtf8(item.label) + " " + std::to_string(item.state) + "\n";
    for (const auto& child : item.children) Dump(*child, depth + 1, out);
}

TEST(BuildDocumentCheckTree, ShowsWebsListsFoldersAndNonDocumentItems) {
    std::vector<std::unique_ptr<mdf::WebList>> roots;
    auto& root = *roots.emplace_back(std::make_unique<mdf::WebList>());
    auto& top = *root.m_lstSubWebs.emplace_back(std::make_unique<mdf::WebList>());
    top.Title = u"Top";
    top.m_lstSubWebs.emplace_back(std::make_unique<mdf::WebList>())->Title = u"Sub";
    auto& list = *top.m_lstLists.emplace_back(std::make_unique<mdf::structAllList>());
    list.tp_Title = u"Docs";
    auto& folder = *list.m_lstItems.emplace_back(Node(u"Folder", u"1"));
    folder.m_lstChildren.push_back(Node(u"a.txt", u"0"));
    auto& inner = *folder.m_lstChildren.emplace_back(Node(u"Inner", u"1"));
    inner.m_lstChildren.push_back(Node(u"b.txt", u"0"));
    folder.m_lstChildren.push_back(Node(u"site item", u"2"));

    const auto tree = sharepoint::BuildDocumentCheckTree(u"/data/content.mdf", roots);
    std::string dump;
    Dump(*tree, 0, dump);
    EXPECT_EQ(dump,
              "/data/content.mdf 2\n"
              "  Share Point Server Sites Documents 2\n"
              "    Top 2\n"
              "      Sub 2\n"
              "      Docs 2\n"
              "        Folder 2\n"
              "          Inner 2\n"
              "          site item 2\n");
    const CheckItem& folder_item = *tree->children[0]->children[0]->children[1]->children[0];
    EXPECT_EQ(std::get<const mdf::sharepointDocsList*>(folder_item.node), &folder);
    EXPECT_EQ(folder_item.parent->parent->parent->parent, tree.get());
}

TEST(UpdateParentCheckState, StateFollowsTheChildren) {
    struct Case {
        const char* name;
        std::vector<int> children;
        int parent;
    };
    const Case cases[] = {
        {"all checked", {kChecked, kChecked}, kChecked},
        {"one checked", {kUnchecked, kChecked}, kPartlyChecked},
        {"one partly checked", {kUnchecked, kPartlyChecked}, kPartlyChecked},
        {"none", {kUnchecked, kUnchecked}, kUnchecked},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CheckItem root;
        CheckItem& middle = root.AddChild(u"middle");
        root.AddChild(u"other").state = kChecked;
        for (int state : c.children) middle.AddChild(u"leaf").state = state;
        middle.state = 0;
        root.state = 0;
        sharepoint::UpdateParentCheckState(middle);
        EXPECT_EQ(middle.state, c.parent);
        // The root sees its two children: "other" checked and the middle item.
        EXPECT_EQ(root.state, c.parent == kChecked ? kChecked : kPartlyChecked);
    }
}

TEST(SetChildCheckState, CopiesTheStateToEveryDescendant) {
    CheckItem root;
    CheckItem& a = root.AddChild(u"a");
    CheckItem& b = a.AddChild(u"b");
    b.AddChild(u"c").state = kPartlyChecked;
    root.state = kUnchecked;
    sharepoint::SetChildCheckState(root);
    EXPECT_EQ(a.state, kUnchecked);
    EXPECT_EQ(b.state, kUnchecked);
    EXPECT_EQ(b.children[0]->state, kUnchecked);
}

}  // namespace
