// Rows captured from the SharePoint tables and the document tree built from them. Plain records of
// strings, held by the engine so that the row decoder can fill them and the document side can join them.
// Every text field is the column's display text; comparisons between them are whole and case-insensitive.
// The uniqueidentifier columns of the rows kept per document are held as CapturedGuid (the same text in
// 24 bytes and no allocation).
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "mdf/captured_guid.h"

namespace mdf {

// One row of AllDocs: a document, a folder or another item of a list.
struct SharepointDocs {
    std::u16string DirName;  // carried along, not used by the save
    CapturedGuid ID;
    CapturedGuid webid;
    std::u16string LeafName;  // the item's own name
    CapturedGuid ParentId;    // the folder item that holds it
    CapturedGuid listId;
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
    CapturedGuid Id;
    CapturedGuid SiteId;
    CapturedGuid ParentId;
    std::uint32_t ContentLength = 0;  // bytes of the value inside the row (a pointer or root when outside)
    std::uint32_t ContentOffsetLow = 0;
    std::uint32_t ContentOffsetHigh = 0;
    std::uint32_t ContentFlags = 0;  // flag nibble of the variable-value entry; 8 = root or pointer in the row
};

// A document or folder row joined with the location of its content (all numbers 0 without a stream).
struct SPServerDocumentData {
    std::u16string DirName;
    CapturedGuid ID;
    CapturedGuid webid;  // never filled by the join
    std::u16string LeafName;
    CapturedGuid ParentId;
    CapturedGuid listId;
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

// The joined records in join order, each one made in the node it will have in the tree: the tree build takes
// the nodes as they are, so no record is held twice while the tree is built. A record's slot is empty once
// its node is taken, until EraseTaken closes the gaps.
class DocumentRecords {
public:
    using Node = std::unique_ptr<sharepointDocsList>;

    DocumentRecords() = default;
    DocumentRecords(std::initializer_list<SPServerDocumentData> records) { Append(records.begin(), records.end()); }
    DocumentRecords(const std::vector<SPServerDocumentData>& records) { Append(records.begin(), records.end()); }

    std::size_t size() const { return m_nodes.size(); }
    bool empty() const { return m_nodes.empty(); }
    void clear() { m_nodes.clear(); }
    void reserve(std::size_t count) { m_nodes.reserve(count); }

    // The record of a slot whose node has not been taken.
    SPServerDocumentData& operator[](std::size_t i) { return m_nodes[i]->m_doc; }
    const SPServerDocumentData& operator[](std::size_t i) const { return m_nodes[i]->m_doc; }

    SPServerDocumentData& push_back(SPServerDocumentData record) {
        return m_nodes.emplace_back(std::make_unique<sharepointDocsList>(std::move(record)))->m_doc;
    }
    // The node of slot i, with its record; the slot stays, empty.
    Node Take(std::size_t i) { return std::move(m_nodes[i]); }
    // Drops the empty slots, the others keeping their order.
    void EraseTaken() {
        std::size_t out = 0;
        for (auto& node : m_nodes) {
            if (node) m_nodes[out++] = std::move(node);
        }
        m_nodes.resize(out);
    }

    // Iterates over the records of the slots (none may be empty).
    template <bool Const>
    class Iterator {
    public:
        using Base = std::conditional_t<Const, std::vector<Node>::const_iterator, std::vector<Node>::iterator>;
        using iterator_category = std::forward_iterator_tag;
        using value_type = SPServerDocumentData;
        using difference_type = std::ptrdiff_t;
        using reference = std::conditional_t<Const, const SPServerDocumentData&, SPServerDocumentData&>;
        using pointer = std::conditional_t<Const, const SPServerDocumentData*, SPServerDocumentData*>;

        Iterator() = default;
        explicit Iterator(Base at) : m_at(at) {}
        reference operator*() const { return (*m_at)->m_doc; }
        pointer operator->() const { return &(*m_at)->m_doc; }
        Iterator& operator++() {
            ++m_at;
            return *this;
        }
        Iterator operator++(int) {
            Iterator before = *this;
            ++m_at;
            return before;
        }
        bool operator==(const Iterator&) const = default;

    private:
        Base m_at{};
    };
    Iterator<false> begin() { return Iterator<false>(m_nodes.begin()); }
    Iterator<false> end() { return Iterator<false>(m_nodes.end()); }
    Iterator<true> begin() const { return Iterator<true>(m_nodes.cbegin()); }
    Iterator<true> end() const { return Iterator<true>(m_nodes.cend()); }

private:
    template <typename It>
    void Append(It first, It last) {
        m_nodes.reserve(static_cast<std::size_t>(std::distance(first, last)));
        for (; first != last; ++first) push_back(*first);
    }

    std::vector<Node> m_nodes;
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
