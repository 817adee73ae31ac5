// The document tree as the user checks it: items with a label, a state image (1 unchecked, 2 checked,
// 3 partly checked), children, and the web, list or folder node each one shows. The window's tree is a view
// of this model; the save walks it and finds each item's node by identity, never by its label.
#pragma once

#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "mdf/sharepoint_records.h"

namespace sharepoint {

constexpr int kUnchecked = 1;
constexpr int kChecked = 2;
constexpr int kPartlyChecked = 3;

// Label of the one child of the root item, above the top-level webs.
inline constexpr char16_t kCaptionLabel[] = u"Share Point Server Sites Documents";

// The node an item shows; none for the root (the data file) and the caption item.
using ShownNode = std::variant<std::monostate, const mdf::WebList*, const mdf::structAllList*,
                               const mdf::sharepointDocsList*>;

struct CheckItem {
    std::u16string label;
    int state = kChecked;
    ShownNode node;
    CheckItem* parent = nullptr;
    std::vector<std::unique_ptr<CheckItem>> children;

    ~CheckItem();  // without recursion, however deep the items nest
    CheckItem& AddChild(std::u16string child_label, ShownNode shown = {});
};

// The result tree of a document scan: the root labelled with the data file's path, the caption item, then
// every top-level web of every root in webs (Title), below each web its sub-webs (Title) and lists
// (tp_Title), below each list its folders and every item that is not a document (LeafName), recursively.
// Every item starts checked.
std::unique_ptr<CheckItem> BuildDocumentCheckTree(const std::u16string& data_file_path,
                                                  const std::vector<std::unique_ptr<mdf::WebList>>& webs);

// Sets the item's state from its children (all checked: checked; some checked or partly checked: partly
// checked; none: unchecked), then its parent's, up to the root. An item without children keeps its state.
void UpdateParentCheckState(CheckItem& item);
// Gives every descendant the item's state.
void SetChildCheckState(CheckItem& item);

}  // namespace sharepoint
