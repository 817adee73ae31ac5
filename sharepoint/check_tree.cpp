// Building the check tree from the document tree and keeping its three check states consistent.
#include "sharepoint/check_tree.h"

#include <cstddef>

namespace sharepoint {

namespace {

// The walks below keep their open levels on explicit stacks: a crafted file can nest folders (or webs)
// deeper than the call stack could follow. Each adds items in the order a depth-first walk would.

// Below parent, every child of node that is not a document, each followed by its own children.
void AddDocumentItems(CheckItem& parent, const mdf::sharepointDocsList& node) {
    struct Level {
        CheckItem* item;
        const mdf::sharepointDocsList* node;
        std::size_t next;
    };
    std::vector<Level> levels{{&parent, &node, 0}};
    while (!levels.empty()) {
        Level& level = levels.back();
        if (level.next == level.node->m_lstChildren.size()) {
            levels.pop_back();
            continue;
        }
        const auto& child = level.node->m_lstChildren[level.next++];
        if (child->m_doc.TYPE == u"0") continue;  // documents are listed beside the tree, not in it
        CheckItem& item = level.item->AddChild(child->m_doc.LeafName, child.get());
        levels.push_back({&item, child.get(), 0});
    }
}

void AddListItems(CheckItem& web_item, const mdf::WebList& web) {
    for (const auto& list : web.m_lstLists) {
        CheckItem& list_item = web_item.AddChild(list->tp_Title, list.get());
        for (const auto& folder : list->m_lstItems) {
            AddDocumentItems(list_item.AddChild(folder->m_doc.LeafName, folder.get()), *folder);
        }
    }
}

// Below parent, the web's item, then under it its sub-webs (each with everything below it) and its lists.
void AddWebItems(CheckItem& parent, const mdf::WebList& web) {
    struct Level {
        CheckItem* item;
        const mdf::WebList* web;
        std::size_t next_sub;
    };
    std::vector<Level> levels{{&parent.AddChild(web.Title, &web), &web, 0}};
    while (!levels.empty()) {
        Level& level = levels.back();
        if (level.next_sub < level.web->m_lstSubWebs.size()) {
            const mdf::WebList& sub = *level.web->m_lstSubWebs[level.next_sub++];
            CheckItem& item = level.item->AddChild(sub.Title, &sub);
            levels.push_back({&item, &sub, 0});
            continue;
        }
        AddListItems(*level.item, *level.web);
        levels.pop_back();
    }
}

}  // namespace

CheckItem::~CheckItem() { mdf::DestroyNestedNodes(children, &CheckItem::children); }

CheckItem& CheckItem::AddChild(std::u16string child_label, ShownNode shown) {
    auto child = std::make_unique<CheckItem>();
    child->label = std::move(child_label);
    child->node = shown;
    child->parent = this;
    children.push_back(std::move(child));
    return *children.back();
}

std::unique_ptr<CheckItem> BuildDocumentCheckTree(const std::u16string& data_file_path,
                                                  const std::vector<std::unique_ptr<mdf::WebList>>& webs) {
    auto root = std::make_unique<CheckItem>();
    root->label = data_file_path;
    CheckItem& caption = root->AddChild(kCaptionLabel);
    for (const auto& tree : webs) {
        for (const auto& top : tree->m_lstSubWebs) AddWebItems(caption, *top);
    }
    return root;
}

void UpdateParentCheckState(CheckItem& item) {
    for (CheckItem* current = &item; current; current = current->parent) {
        if (current->children.empty()) continue;
        bool all_checked = true;
        bool any_marked = false;
        for (const auto& child : current->children) {
            all_checked = all_checked && child->state == kChecked;
            any_marked = any_marked || child->state == kChecked || child->state == kPartlyChecked;
        }
        current->state = all_checked ? kChecked : any_marked ? kPartlyChecked : kUnchecked;
    }
}

void SetChildCheckState(CheckItem& item) {
    std::vector<CheckItem*> pending{&item};
    while (!pending.empty()) {
        CheckItem* at = pending.back();
        pending.pop_back();
        for (auto& child : at->children) {
            child->state = at->state;
            pending.push_back(child.get());
        }
    }
}

}  // namespace sharepoint
