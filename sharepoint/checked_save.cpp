// Saves the checked items of the check tree. Each checked item is saved from the very node it shows (two
// siblings with one name are two different saves), with one folder per level of its path below the output
// folder, and is then unchecked in the model and reported, so that a window can uncheck its own view.
#include <algorithm>
#include <optional>
#include <vector>

#include "mdf/recovery_engine.h"
#include "platform/text.h"
#include "sharepoint/check_tree.h"
#include "sharepoint/document_pipeline.h"
#include "sharepoint/output_names.h"
#include "sharepoint/substitute_folder.h"

namespace mdf {

namespace {

bool ShowsNoNode(const sharepoint::CheckItem& item) { return std::holds_alternative<std::monostate>(item.node); }

// The name of the folder a node gets.
std::u16string NodeName(const sharepoint::ShownNode& node) {
    if (const auto* web = std::get_if<const WebList*>(&node)) return (*web)->Title;
    if (const auto* list = std::get_if<const structAllList*>(&node)) return (*list)->tp_Title;
    if (const auto* doc = std::get_if<const sharepointDocsList*>(&node)) return (*doc)->m_doc.LeafName;
    return {};
}

// At most this many content pages are held in memory during a save (128 MiB).
constexpr std::size_t kMaxHeldPages = 16384;

// The pages that hold the contents (in-row bytes, or the root of the chains) of every document below the
// checked items, ascending, at most kMaxHeldPages of them (the first met in tree order when there are more).
// The save follows the tree, and neighbouring documents of a folder lie far apart in the file: without these
// pages held, the page cache would read many of them once for every folder that has a document on them.
// Visits every document and folder that a save of the checked items writes, in tree order: everything below a
// checked web or list, a checked folder with all it holds, a checked document itself.
template <typename Visit>
void ForEachSavedNode(const sharepoint::CheckItem& root, Visit visit) {
    std::vector<const sharepointDocsList*> docs;
    std::vector<const WebList*> webs;
    auto add_doc_tree = [&](const sharepointDocsList& top) {
        docs.push_back(&top);
        while (!docs.empty()) {
            const sharepointDocsList* node = docs.back();
            docs.pop_back();
            visit(*node);
            for (auto it = node->m_lstChildren.rbegin(); it != node->m_lstChildren.rend(); ++it) docs.push_back(it->get());
        }
    };
    auto add_list = [&](const structAllList& list) {
        for (const auto& item : list.m_lstItems) add_doc_tree(*item);
    };
    auto add_web = [&](const WebList& top) {
        webs.push_back(&top);
        while (!webs.empty()) {
            const WebList* web = webs.back();
            webs.pop_back();
            for (const auto& list : web->m_lstLists) add_list(*list);
            for (auto it = web->m_lstSubWebs.rbegin(); it != web->m_lstSubWebs.rend(); ++it) webs.push_back(it->get());
        }
    };
    std::vector<const sharepoint::CheckItem*> items{&root};
    while (!items.empty()) {
        const sharepoint::CheckItem* item = items.back();
        items.pop_back();
        if (item->state == sharepoint::kChecked && !ShowsNoNode(*item)) {
            // Everything below a checked item is saved with it.
            if (const auto* web = std::get_if<const WebList*>(&item->node)) add_web(**web);
            if (const auto* list = std::get_if<const structAllList*>(&item->node)) add_list(**list);
            if (const auto* doc = std::get_if<const sharepointDocsList*>(&item->node)) add_doc_tree(**doc);
            continue;
        }
        if (item->state == sharepoint::kUnchecked) continue;
        for (auto it = item->children.rbegin(); it != item->children.rend(); ++it) items.push_back(it->get());
    }
}

std::vector<std::uint64_t> ContentPagesOfCheckedItems(const sharepoint::CheckItem& root) {
    std::vector<std::uint64_t> pages;
    ForEachSavedNode(root, [&pages](const sharepointDocsList& node) {
        if (node.m_doc.ContentLength64() != 0) pages.push_back(node.m_doc.ContentOffset64() / kPageSize);
    });
    // Repeats of one page are dropped while keeping the first-met pages when there are too many.
    std::vector<std::uint64_t> sorted = pages;
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    if (sorted.size() <= kMaxHeldPages) return sorted;
    std::vector<std::uint64_t> kept;
    std::vector<bool> taken(sorted.size(), false);
    for (std::uint64_t page : pages) {
        const auto at = static_cast<std::size_t>(std::lower_bound(sorted.begin(), sorted.end(), page) - sorted.begin());
        if (taken[at]) continue;
        taken[at] = true;
        kept.push_back(page);
        if (kept.size() == kMaxHeldPages) break;
    }
    std::sort(kept.begin(), kept.end());
    return kept;
}

// The documents (every item that is not a folder) below the checked items: what a whole save would write.
std::uint64_t DocumentsOfCheckedItems(const sharepoint::CheckItem& root) {
    std::uint64_t documents = 0;
    ForEachSavedNode(root, [&documents](const sharepointDocsList& node) {
        if (node.m_doc.TYPE != u"1") ++documents;  // an item of its own kind is written as a file too
    });
    return documents;
}

// Holds the content pages for the time of one save.
class HeldContentPages {
public:
    HeldContentPages(DataFile& file, std::vector<std::uint64_t> pages) : file_(file) {
        file_.HoldPages(std::move(pages));
    }
    ~HeldContentPages() { file_.ReleaseHeldPages(); }
    HeldContentPages(const HeldContentPages&) = delete;
    HeldContentPages& operator=(const HeldContentPages&) = delete;

private:
    DataFile& file_;
};

// The check states of every item below root, in walk order, to be put back as they were.
std::vector<std::pair<sharepoint::CheckItem*, int>> CheckStates(sharepoint::CheckItem& root) {
    std::vector<std::pair<sharepoint::CheckItem*, int>> states;
    std::vector<sharepoint::CheckItem*> pending{&root};
    while (!pending.empty()) {
        sharepoint::CheckItem* item = pending.back();
        pending.pop_back();
        states.emplace_back(item, item->state);
        for (const auto& child : item->children) pending.push_back(child.get());
    }
    return states;
}

const void* NodeOf(const sharepoint::CheckItem& item) {
    if (const auto* web = std::get_if<const WebList*>(&item.node)) return *web;
    if (const auto* list = std::get_if<const structAllList*>(&item.node)) return *list;
    if (const auto* doc = std::get_if<const sharepointDocsList*>(&item.node)) return *doc;
    return nullptr;
}

// A folder with documents directly in it: they are not items of the tree, so only the folder's own check
// brings them into a save.
bool HoldsDocumentsOfItsOwn(const sharepoint::CheckItem& item) {
    const auto* folder = std::get_if<const sharepointDocsList*>(&item.node);
    if (!folder) return false;
    return std::any_of((*folder)->m_lstChildren.begin(), (*folder)->m_lstChildren.end(),
                       [](const auto& child) { return child->m_doc.TYPE == u"0"; });
}

// After a save that ended part way through item: every item at or below it that shows a node the save wrote
// whole is unchecked (with all below it), and the states above are made consistent again; a partly checked
// item then saves only its checked items. Below a folder that was not saved whole and holds documents of its
// own nothing is unchecked: the folder keeps its check, so that Repair saves those documents again (and with
// them what is below it). True when any item was unchecked.
bool UncheckSavedWhole(sharepoint::CheckItem& item, const std::unordered_set<const void*>& whole) {
    if (whole.empty()) return false;
    bool any = false;
    std::vector<sharepoint::CheckItem*> pending{&item};
    while (!pending.empty()) {
        sharepoint::CheckItem* at = pending.back();
        pending.pop_back();
        if (at->state == sharepoint::kUnchecked) continue;
        const void* node = NodeOf(*at);
        if (node && whole.count(node) != 0) {
            at->state = sharepoint::kUnchecked;
            sharepoint::SetChildCheckState(*at);
            if (at->parent) sharepoint::UpdateParentCheckState(*at->parent);
            any = true;
            continue;
        }
        if (HoldsDocumentsOfItsOwn(*at)) continue;
        for (const auto& child : at->children) pending.push_back(child.get());
    }
    return any;
}

}  // namespace

bool CRecoveryEngine::OutputLost() const { return m_pOutputFolder && m_pOutputFolder->Lost(); }

bool CRecoveryEngine::SaveMustEnd() {
    const bool stopped = StopRequested();
    return stopped || OutputLost();
}

void CRecoveryEngine::NoteSavedWhole(const void* node) {
    if (m_pPendingDocuments) {
        m_pPendingDocuments->NoteWholeWhenCommitted(node);
    } else if (!SaveMustEnd()) {
        m_setSavedWhole.insert(node);
    }
}

// The walk goes down only through partly checked items (and the checked caption item), which a single
// unchecked folder deep in a crafted tree makes as deep as the tree itself; its open items are kept on a
// stack rather than the call stack. After every item, and after every item it went down into, an item checks
// for a stop request, which ends it and then its parents in turn.
CRecoveryEngine::SaveTally CRecoveryEngine::SaveCheckedTreeItems(
    sharepoint::CheckItem& item, const std::function<void(const sharepoint::CheckItem&)>& on_saved) {
    struct Level {
        sharepoint::CheckItem* item;
        std::size_t next;
    };
    SaveTally tally;
    tally.documents = DocumentsOfCheckedItems(item);
    // The checks as they were: put back when the files cannot be flushed to the disk at the end.
    const auto states_before = CheckStates(item);
    m_setSavedWhole.clear();
    m_nSaveDocumentsMet = 0;
    // The bar's pass: the documents below the checked items (each document's message says where the save is).
    SendProgress(platform::kProgressStart, static_cast<platform::LPARAM>(std::min<std::uint64_t>(tally.documents, 0x7FFFFFFF)));
    const HeldContentPages held(m_hDataFile, WithSmallGapsFilled(ContentPagesOfCheckedItems(item), kMaxHeldPages));
    std::vector<Level> levels{{&item, 0}};
    // The output folder is opened anew for each save: the folder of an earlier save may be gone. It is made
    // by its name here, at the start, and only here: from then on the save reaches it by its descriptor.
    m_pOutputFolder.reset();
    if (!m_app.m_strOutputFolder.empty()) sharepoint::MakeFolder(m_app.m_strOutputFolder);
    struct Release {
        CRecoveryEngine& engine;
        ~Release() { engine.m_pOutputFolder.reset(); }
    } release{*this};
    // The documents are written on several threads and committed in tree order (document_pipeline.h).
    std::optional<sharepoint::DocumentPipeline> pipeline;
    pipeline.emplace(*this);
    bool walked = false;
    while (!walked) {
        Level& level = levels.back();
        bool finished = false;
        if (level.next == level.item->children.size()) {
            finished = true;
        } else {
            sharepoint::CheckItem& a = *level.item->children[level.next++];
            if (a.state == sharepoint::kChecked && !ShowsNoNode(a)) {
                m_app.m_arrSelectedPath.clear();
                for (const sharepoint::CheckItem* at = &a; at && at->parent; at = at->parent) {
                    m_app.m_arrSelectedPath.push_back(at->label);
                }
                SaveCheckedPath(a);
                CommitPendingDocuments();
                // A stop may have cut the item's save short: it keeps its check, so that Repair saves it again,
                // except for the parts of it that were saved whole before the stop.
                if (!SaveMustEnd()) {
                    a.state = sharepoint::kUnchecked;
                    if (a.parent) sharepoint::UpdateParentCheckState(*a.parent);
                    sharepoint::SetChildCheckState(a);
                    if (on_saved) on_saved(a);
                } else if (UncheckSavedWhole(a, m_setSavedWhole) && on_saved) {
                    on_saved(a);
                }
            } else if (a.state == sharepoint::kPartlyChecked || a.state == sharepoint::kChecked) {
                // Partly checked, or the checked caption item: its checked descendants are saved one by one.
                levels.push_back({&a, 0});
                continue;  // level is not used past this point
            }
            finished = SaveMustEnd();
        }
        while (finished) {
            levels.pop_back();
            if (levels.empty()) {
                walked = true;
                break;
            }
            finished = SaveMustEnd();  // the parent's check after the item it went down into
        }
    }
    pipeline.reset();
    tally.stopped = StopRequested();
    const std::u16string& output = m_app.m_strOutputFolder;
    tally.output_lost = OutputLost();
    if (tally.output_lost) {
        // Nothing more was written once the folder was gone: the documents the save did not reach are not
        // written either, and are counted so.
        const std::uint64_t not_reached = tally.documents > m_nSaveDocumentsMet ? tally.documents - m_nSaveDocumentsMet : 0;
        m_nSaveFailures += not_reached;
        LogLine(u"  The output folder was deleted or moved during the save: " + output + u"; " +
                platform::Widen(std::to_string(not_reached)) + u" document(s) after this point not written");
        // What this save wrote is gone with the folder, or elsewhere: its items keep their checks.
        for (const auto& [at, state] : states_before) at->state = state;
        if (on_saved) on_saved(item);
        return tally;
    }
    // The files are on the disk before anyone is told that the save is done. A save that made no output folder
    // has nothing to flush (and has said why).
    if (!output.empty()) {
        std::string why;
        sharepoint::OutputFolder& folder = sharepoint::OutputFolderFor(*this, output);
        if (folder.IsOpen() && !folder.Flush(&why)) {
            ++m_nSaveFailures;
            tally.flush_failed = true;
            LogLine(u"  Not flushed to the disk: " + output + u" (" + platform::FromUtf8(why) + u")");
            // What this save wrote may not be on the disk: its items keep their checks, so Repair saves them
            // again.
            for (const auto& [at, state] : states_before) at->state = state;
            if (on_saved) on_saved(item);
        }
    }
    return tally;
}

void CRecoveryEngine::SaveCheckedPath(const sharepoint::CheckItem& item) {
    m_arrSavePath = m_app.m_arrSelectedPath;
    // The items from the top-level web down to the checked one.
    std::vector<const sharepoint::CheckItem*> chain;
    for (const sharepoint::CheckItem* at = &item; at && !ShowsNoNode(*at); at = at->parent) chain.push_back(at);
    if (chain.empty()) return;
    std::reverse(chain.begin(), chain.end());
    const auto* top = std::get_if<const WebList*>(&chain.front()->node);
    if (!top) return;

    const std::u16string& output = m_app.m_strOutputFolder;
    std::string why;
    // The output folder is the one the save opened, reached by its descriptor: one deleted or moved meanwhile
    // is not made again by its name.
    if (!sharepoint::OutputFolderFor(*this, output).MakeFolder(output, &why) && !OutputLost()) {
        LogLine(u"  Folder not made: " + output + u" (" + platform::FromUtf8(why) + u")");
    }
    if (chain.size() == 1) {
        m_strSaveFolder = output;
        SaveWeb(**top, output);
        SaveMustEnd();
        return;
    }
    // One folder per level above the checked item: the top-level web's, then its sub-webs', list's and
    // folders' along the path.
    std::u16string folder = output;
    for (std::size_t k = 0; k + 1 < chain.size(); ++k) {
        const std::u16string name = NodeName(chain[k]->node);
        folder = sharepoint::MakeFolderOrSubstitute(*this, sharepoint::JoinPath(folder, name), name);
    }
    const sharepoint::ShownNode& node = chain.back()->node;
    if (const auto* web = std::get_if<const WebList*>(&node)) {
        // A checked sub-web is written directly below the output folder.
        SaveWeb(**web, output);
    } else if (const auto* list = std::get_if<const structAllList*>(&node)) {
        const std::u16string list_folder = sharepoint::MakeFolderOrSubstitute(
            *this, sharepoint::JoinPath(folder, (*list)->tp_Title), (*list)->tp_Title);
        SaveListFolders(**list, list_folder);
    } else if (const auto* doc = std::get_if<const sharepointDocsList*>(&node)) {
        const std::u16string& name = (*doc)->m_doc.LeafName;
        if ((*doc)->m_doc.TYPE == u"1") {
            SaveDocumentTree(**doc, sharepoint::MakeFolderOrSubstitute(*this, sharepoint::JoinPath(folder, name), name));
        } else {
            // An item that is not a folder is a file of its own: written into its parent's folder, as the
            // save of its parent would write it.
            sharepointDocsList holder;
            holder.m_lstChildren.push_back(std::make_unique<sharepointDocsList>((*doc)->m_doc));
            SaveDocumentTree(holder, folder);
        }
    }
    StopRequested();
}

}  // namespace mdf
