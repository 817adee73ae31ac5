// Rows captured from the SharePoint tables and the document tree built from them. Plain records of
// strings, held by the engine so that the row decoder can fill them and the document side can join them.
// Every text field is the column's display text; comparisons between them are whole and case-insensitive.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace mdf {

// One row of AllDocs: a document, a folder or another item of a list.
struct SharepointDocs {
    std::u16string DirName;  // carried along, not used by the save
    std::u16string ID;
    std::u16string webid;
    std::u16string LeafName;  // the item's own name
    std::u16string ParentId;  // the folder item that holds it
    std::u16string listId;
    std::u16string TYPE;  // "1" folder, "0" document, anything else an item of its own kind
    std::u16string TimeCreated;
    std::u16string TimeLastModified;
    std::u16string Size;
};

// One row of Webs (AllWebs in later schemas).
struct AllWebs {
    std::u16string Id;
    std::u16string SiteId;
    std::u16string ParentWebId;  // empty for the top-level web of a site
    std::u16string Title;
};

// One row of AllLists.
struct AllList {
    std::u16string tp_WebId;
    std::u16string tp_ID;
    std::u16string tp_Title;
};

// One row of AllDocStreams: whose content it holds and where the Content value's bytes lie in the row.
struct SPSDocStream {
    std::u16string Id;
    std::u16string SiteId;
    std::u16string ParentId;
    std::uint32_t ContentLength = 0;  // bytes of the value inside the row (a pointer or root when outside)
    std::uint32_t ContentOffsetLow = 0;
    std::uint32_t ContentOffsetHigh = 0;
    std::uint32_t ContentFlags = 0;  // flag nibble of the variable-value entry; 8 = root or pointer in the row
};

// A document or folder row joined with the location of its content (all numbers 0 without a stream).
struct SPServerDocumentData {
    std::u16string DirName;
    std::u16string ID;
    std::u16string webid;  // never filled by the join
    std::u16string LeafName;
    std::u16string ParentId;
    std::u16string listId;
    std::u16string TYPE;
    std::u16string TimeCreated;
    std::u16string TimeLastModified;
    std::u16string Size;
    std::uint32_t ContentLength = 0;
    std::uint32_t ContentLengthHigh = 0;
    std::uint32_t ContentOffsetLow = 0;
    std::uint32_t ContentOffsetHigh = 0;
    std::uint32_t ContentFlags = 0;

    std::uint64_t ContentLength64() const { return (std::uint64_t{ContentLengthHigh} << 32) | ContentLength; }
    std::uint64_t ContentOffset64() const { return (std::uint64_t{ContentOffsetHigh} << 32) | ContentOffsetLow; }
};

// Destroys the nodes below a tree node without recursion: the parent links of a damaged or crafted file
// can nest folders (or webs) far deeper than the stack allows a destructor chain to go. Every node's
// children are moved onto a local stack before the node itself is destroyed, so each destructor that runs
// finds no children left.
template <typename Node>
void DestroyNestedNodes(std::vector<std::unique_ptr<Node>>& children,
                        std::vector<std::unique_ptr<Node>> Node::*children_of) {
    std::vector<std::unique_ptr<Node>> pending = std::move(children);
    children.clear();
    while (!pending.empty()) {
        std::unique_ptr<Node> node = std::move(pending.back());
        pending.pop_back();
        if (!node) continue;
        auto& below = (*node).*children_of;
        for (auto& child : below) pending.push_back(std::move(child));
        below.clear();
    }
}

// A folder or item node of the tree: the record it was made from and its children in attach order.
struct sharepointDocsList {
    sharepointDocsList() = default;
    explicit sharepointDocsList(SPServerDocumentData record) : m_doc(std::move(record)) {}
    sharepointDocsList(const sharepointDocsList&) = delete;
    sharepointDocsList& operator=(const sharepointDocsList&) = delete;
    ~sharepointDocsList() { DestroyNestedNodes(m_lstChildren, &sharepointDocsList::m_lstChildren); }

    SPServerDocumentData m_doc;
    std::vector<std::unique_ptr<sharepointDocsList>> m_lstChildren;
};

// A list node: the list's fields and its top-level folders in attach order.
struct structAllList {
    structAllList() = default;
    structAllList(const structAllList&) = delete;
    structAllList& operator=(const structAllList&) = delete;

    std::u16string tp_WebId;
    std::u16string tp_ID;
    std::u16string tp_Title;
    std::vector<std::unique_ptr<sharepointDocsList>> m_lstItems;
};

// A web node; also the root of one tree build (empty strings, the top-level webs as sub-webs).
struct WebList {
    WebList() = default;
    WebList(const WebList&) = delete;
    WebList& operator=(const WebList&) = delete;
    ~WebList() { DestroyNestedNodes(m_lstSubWebs, &WebList::m_lstSubWebs); }

    std::u16string Id;
    std::u16string SiteId;
    std::u16string ParentWebId;  // never filled: a node's parent is where it hangs
    std::u16string Title;
    std::vector<std::unique_ptr<structAllList>> m_lstLists;
    std::vector<std::unique_ptr<WebList>> m_lstSubWebs;
};

}  // namespace mdf
