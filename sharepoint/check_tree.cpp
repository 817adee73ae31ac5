// Building the check tree from the document tree and keeping its three check states consistent.
#include "sharepoint/check_tree.h"

namespace sharepoint {

namespace {

void AddDocumentItems(CheckItem& parent, const mdf::sharepointDocsList& node) {
    for (const auto& child : node.m_lstChildren) {
        if (child->m_doc.TYPE == u"0") continue;  // documents are listed beside the tree, not in it
        AddDocumentItems(parent.AddChild(child->m_doc.LeafName, child.get()), *child);
    }
}

void AddWebItems(CheckItem& parent, const mdf::WebList& web) {
    CheckItem& item = parent.AddChild(web.Title, &web);
    for (const auto& sub : web.m_lstSubWebs) AddWebItems(item, *sub);
    for (const auto& list : web.m_lstLists) {
        CheckItem& list_item = item.AddChild(list->tp_Title, list.get());
        for (const auto& folder : list->m_lstItems) {
            AddDocumentItems(list_item.AddChild(folder->m_doc.LeafName, folder.get()), *folder);
        }
    }
}

}  // namespace

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
    for (auto& child : item.children) {
        child->state = item.state;
        SetChildCheckState(*child);
    }
}

}  // namespace sharepoint
