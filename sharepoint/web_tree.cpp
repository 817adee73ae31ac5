// Builds the document tree web > sub-web > list > folder > item from the captured rows. Each level takes
// the rows that name their parent, in array order, as a scan that restarts after every move would; the rows
// are indexed by parent id once, with a shared cursor per id, so the build is linear. A folder whose parent
// folder of the same list comes later in the array still lands under it.
#include <cstdlib>
#include <filesystem>
#include <unordered_map>
#include <vector>

#include "mdf/progress_pacer.h"
#include "mdf/recovery_engine.h"
#include "platform/text.h"
#include "sharepoint/output_names.h"

namespace mdf {

namespace {

// Row indexes of one key in array order and how far the level's scan has come through them. Every node
// with the same key (ids compare case-insensitively) takes the same rows, so a row that was passed over
// stays passed over for all of them.
struct Bucket {
    std::vector<std::size_t> rows;
    std::size_t next = 0;
};
using BucketMap = std::unordered_map<std::u16string, Bucket>;

Bucket* FindLowered(BucketMap& map, const std::u16string& lowered) {
    const auto found = map.find(lowered);
    return found == map.end() ? nullptr : &found->second;
}
Bucket* Find(BucketMap& map, const std::u16string& key) { return FindLowered(map, platform::ToLower(key)); }
Bucket* Find(BucketMap& map, const CapturedGuid& key) { return FindLowered(map, key.LowerText()); }

bool IsFolder(const SPServerDocumentData& r) { return r.TYPE == u"1"; }
// A document without content is not shown; folders and items of any other kind are.
bool IsShown(const SPServerDocumentData& r) { return r.TYPE != u"0" || r.ContentLength64() != 0; }

std::u16string FolderKey(const CapturedGuid& list_id, const CapturedGuid& id) {
    return list_id.LowerText() + u'\n' + id.LowerText();
}

template <typename T>
void EraseTaken(std::vector<T>& rows, const std::vector<bool>& taken) {
    std::size_t out = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (!taken[i]) {
            if (out != i) rows[out] = std::move(rows[i]);
            ++out;
        }
    }
    rows.resize(out);
}

std::u16string LocalTempFolder() {
    std::filesystem::path base;
    if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache && *cache) base = cache;
    else if (const char* home = std::getenv("HOME"); home && *home) base = std::filesystem::path(home) / ".cache";
    else base = std::filesystem::temp_directory_path();
    return platform::FromUtf8((base / "brindlemoor" / "Temp").string());
}

std::u16string Decimal(std::int64_t n) { return platform::Widen(std::to_string(n)); }

// A new sub-web node of parent, made from the web row (whose texts move into it).
WebList& AddWebNode(WebList& parent, AllWebs& row) {
    auto& web = *parent.m_lstSubWebs.emplace_back(std::make_unique<WebList>());
    web.Id = std::move(row.Id);
    web.SiteId = std::move(row.SiteId);
    web.Title = std::move(row.Title);
    return web;
}

}  // namespace

struct CRecoveryEngine::WebTreeIndex {
    BucketMap webs_by_parent;      // web rows by ParentWebId (top-level webs under "")
    BucketMap lists_by_web;        // list rows by tp_WebId
    BucketMap folders_by_list;     // folder records without a parent folder in their list, by listId
    BucketMap items_by_parent;     // every document record by ParentId
    std::vector<bool> web_taken, list_taken, document_taken;
    std::size_t documents_left = 0;
    // The documents still to place are told at the first and then now and then, not once per document: a site
    // of 100,000 documents would otherwise send the window as many messages, each waiting for the window.
    mdf::ProgressPacer pacer;
    bool told = false;
    bool PaceStep() {
        const bool due = pacer.Step() || !told;
        told = true;
        return due;
    }
};

int CRecoveryEngine::BuildWebTree() {
    m_app.m_nTopSiteCount = 0;
    m_app.m_nSubSiteCount = 0;
    m_app.m_nListCount = 0;
    m_app.m_nFolderCount = 0;
    m_app.m_nDocumentCount = 0;

    m_strTempFolder = LocalTempFolder();
    std::error_code ignored;
    std::filesystem::create_directories(platform::ToUtf8(m_strTempFolder), ignored);

    const std::size_t web_count = m_arrWebRows.size();
    if (web_count == 0) return 0;
    SendProgress(platform::kProgressStep, static_cast<platform::LPARAM>(web_count));

    WebTreeIndex index;
    for (std::size_t i = 0; i < m_arrWebRows.size(); ++i) {
        index.webs_by_parent[platform::ToLower(m_arrWebRows[i].ParentWebId)].rows.push_back(i);
    }
    for (std::size_t i = 0; i < m_arrListRows.size(); ++i) {
        index.lists_by_web[platform::ToLower(m_arrListRows[i].tp_WebId)].rows.push_back(i);
    }
    std::unordered_map<std::u16string, std::size_t> folder_count;
    for (const auto& r : m_arrDocuments) {
        if (IsFolder(r)) ++folder_count[FolderKey(r.listId, r.ID)];
    }
    for (std::size_t i = 0; i < m_arrDocuments.size(); ++i) {
        const auto& r = m_arrDocuments[i];
        index.items_by_parent[r.ParentId.LowerText()].rows.push_back(i);
        if (!IsFolder(r)) continue;
        // Another folder of the same list whose ID is this one's ParentId is its parent: the folder is placed
        // below that one, wherever the two lie in the array.
        const auto parent_key = FolderKey(r.listId, r.ParentId);
        const auto found = folder_count.find(parent_key);
        std::size_t parents = found == folder_count.end() ? 0 : found->second;
        if (parents > 0 && parent_key == FolderKey(r.listId, r.ID)) --parents;  // itself
        if (parents == 0) index.folders_by_list[r.listId.LowerText()].rows.push_back(i);
    }
    index.web_taken.assign(m_arrWebRows.size(), false);
    index.list_taken.assign(m_arrListRows.size(), false);
    index.document_taken.assign(m_arrDocuments.size(), false);
    index.documents_left = m_arrDocuments.size();

    auto root = std::make_unique<WebList>();
    bool placed = false;
    bool stopped = false;
    if (Bucket* top = Find(index.webs_by_parent, std::u16string())) {
        while (top->next < top->rows.size()) {
            if (StopRequested()) {
                stopped = true;
                break;
            }
            const std::size_t i = top->rows[top->next++];
            if (index.web_taken[i]) continue;
            index.web_taken[i] = true;
            WebList& web = AddWebNode(*root, m_arrWebRows[i]);
            placed = true;
            ++m_app.m_nTopSiteCount;
            // The scan's counters run on over all sites; each site's summary counts only what lies below it.
            const SiteCounts before = CurrentSiteCounts();
            AttachSubWebs(web, index);
            CollectWebLists(web, index);
            LogSiteSummary(web.Title, CurrentSiteCounts() - before);
            SendProgress(platform::kProgressStep, static_cast<platform::LPARAM>(web_count));
        }
    }

    EraseTaken(m_arrWebRows, index.web_taken);
    EraseTaken(m_arrListRows, index.list_taken);
    m_arrDocuments.EraseTaken();  // the taken records' slots
    if (stopped) return 0;

    // Rows that no node took are not shown; say how many, so that a damaged parent link does not go unseen.
    std::size_t items_left = 0;
    std::size_t empty_documents = 0;
    for (const auto& r : m_arrDocuments) (IsShown(r) ? items_left : empty_documents) += 1;
    if (!m_arrWebRows.empty() || !m_arrListRows.empty() || items_left != 0) {
        LogLine(u"Not placed in the tree  :  " + Decimal(static_cast<std::int64_t>(m_arrWebRows.size())) +
                u" site(s), " + Decimal(static_cast<std::int64_t>(m_arrListRows.size())) + u" list(s), " +
                Decimal(static_cast<std::int64_t>(items_left)) + u" folder(s) and document(s)");
        // Each by name and place, so that what is missing can be looked for.
        for (const auto& web : m_arrWebRows) LogLine(u"    Site not placed : " + web.Title + u" (id " + web.Id + u")");
        for (const auto& list : m_arrListRows) {
            LogLine(u"    List not placed : " + list.tp_Title + u" (id " + list.tp_ID + u", site id " + list.tp_WebId + u")");
        }
        for (const auto& r : m_arrDocuments) {
            if (!IsShown(r)) continue;
            const std::u16string path = r.DirName.empty() ? r.LeafName : r.DirName + u"/" + r.LeafName;
            LogLine((r.TYPE == u"1" ? u"    Folder not placed : " : u"    Document not placed : ") + path);
        }
    }
    if (empty_documents != 0) {
        LogLine(u"Documents without contents (not shown)  :  " +
                Decimal(static_cast<std::int64_t>(empty_documents)));
    }
    m_lstWebs.push_back(std::move(root));
    return placed ? 1 : 0;
}

// The sub-webs below parent, depth first: each web takes its next sub-web row, fills that web's lists, then
// descends into it before taking its next row. The webs being filled are kept on an explicit stack (webs
// nested by crafted parent links may go deeper than the call stack could); when one is done its parent
// steps the progress and goes on. A stop request ends every open web in turn, each returning 0.
int CRecoveryEngine::AttachSubWebs(WebList& parent, WebTreeIndex& index) {
    Bucket* bucket = Find(index.webs_by_parent, parent.Id);
    if (!bucket) return 0;
    struct Level {
        WebList* web;
        Bucket* bucket;
        int result;
    };
    std::vector<Level> levels{{&parent, bucket, 0}};
    while (true) {
        Level& level = levels.back();
        bool done = level.bucket->next >= level.bucket->rows.size();
        if (!done && StopRequested()) {
            level.result = 0;
            done = true;
        }
        if (done) {
            const int result = level.result;
            levels.pop_back();
            if (levels.empty()) return result;
            SendProgress(platform::kProgressStep, static_cast<platform::LPARAM>(m_arrWebRows.size()));
            continue;
        }
        const std::size_t i = level.bucket->rows[level.bucket->next++];
        if (index.web_taken[i]) continue;
        index.web_taken[i] = true;
        WebList& web = AddWebNode(*level.web, m_arrWebRows[i]);
        level.result = 1;
        ++m_app.m_nSubSiteCount;
        CollectWebLists(web, index);
        if (Bucket* below = Find(index.webs_by_parent, web.Id)) {
            levels.push_back({&web, below, 0});  // level is not used past this point
        } else {
            SendProgress(platform::kProgressStep, static_cast<platform::LPARAM>(m_arrWebRows.size()));
        }
    }
}

int CRecoveryEngine::CollectWebLists(WebList& web, WebTreeIndex& index) {
    Bucket* bucket = Find(index.lists_by_web, web.Id);
    if (!bucket) return 0;
    int result = 0;
    while (bucket->next < bucket->rows.size()) {
        const std::size_t i = bucket->rows[bucket->next++];
        if (index.list_taken[i]) continue;
        index.list_taken[i] = true;
        auto& row = m_arrListRows[i];
        auto list = std::make_unique<structAllList>();
        list->tp_WebId = std::move(row.tp_WebId);
        list->tp_ID = std::move(row.tp_ID);
        list->tp_Title = std::move(row.tp_Title);
        AttachListFolders(*list, index);
        web.m_lstLists.push_back(std::move(list));
        ++m_app.m_nListCount;
        result = 1;
        SendProgress(platform::kProgressStep, static_cast<platform::LPARAM>(m_arrListRows.size()) * 500);
    }
    if (StopRequested()) return 0;
    return result;
}

int CRecoveryEngine::AttachListFolders(structAllList& list, WebTreeIndex& index) {
    Bucket* bucket = Find(index.folders_by_list, list.tp_ID);
    if (!bucket) return 0;
    int result = 0;
    while (bucket->next < bucket->rows.size()) {
        if (StopRequested()) return 0;
        const std::size_t i = bucket->rows[bucket->next++];
        if (index.document_taken[i]) continue;
        index.document_taken[i] = true;
        --index.documents_left;
        auto& node = *list.m_lstItems.emplace_back(m_arrDocuments.Take(i));
        ++m_app.m_nFolderCount;
        result = 1;
        if (index.PaceStep()) SendProgress(platform::kProgressRange, static_cast<platform::LPARAM>(index.documents_left));
        AttachChildNodes(node, index);
    }
    return result;
}

// Everything below node, depth first: each folder takes its next record, and a folder record is filled
// before the next record of its parent is taken. The open folders are kept on an explicit stack, since a
// crafted file can nest folders far deeper than the call stack could follow. Every folder that had records
// to look at ends with a stop check; a stop request gives 0.
int CRecoveryEngine::AttachChildNodes(sharepointDocsList& node, WebTreeIndex& index) {
    Bucket* bucket = Find(index.items_by_parent, node.m_doc.ID);
    if (!bucket) return 0;
    struct Level {
        sharepointDocsList* node;
        Bucket* bucket;
        int result;
    };
    std::vector<Level> levels{{&node, bucket, 0}};
    while (true) {
        Level& level = levels.back();
        if (level.bucket->next >= level.bucket->rows.size()) {
            const int result = StopRequested() ? 0 : level.result;
            levels.pop_back();
            if (levels.empty()) return result;
            continue;
        }
        const std::size_t i = level.bucket->rows[level.bucket->next++];
        if (index.document_taken[i] || !IsShown(m_arrDocuments[i])) continue;
        index.document_taken[i] = true;
        --index.documents_left;
        auto& child = *level.node->m_lstChildren.emplace_back(m_arrDocuments.Take(i));
        ++m_app.m_nDocumentCount;
        level.result = 1;
        if (index.PaceStep()) SendProgress(platform::kProgressRange, static_cast<platform::LPARAM>(index.documents_left));
        // A record with an empty ParentId is taken by a node with an empty ID, but never descends further.
        if (!child.m_doc.ParentId.empty() && IsFolder(child.m_doc)) {
            if (Bucket* below = Find(index.items_by_parent, child.m_doc.ID)) {
                levels.push_back({&child, below, 0});  // level is not used past this point
            }
        }
    }
}

CRecoveryEngine::SiteCounts CRecoveryEngine::CurrentSiteCounts() const {
    return {m_app.m_nSubSiteCount, m_app.m_nListCount, m_app.m_nFolderCount, m_app.m_nDocumentCount};
}

void CRecoveryEngine::LogSiteSummary(const std::u16string& title, const SiteCounts& counts) {
    LogLine(u" Top Level Sites Persent                         :  " + title);
    LogLine(u"Total Sub Sites  Persent                         :  " + Decimal(counts.sub_sites));
    LogLine(u"Total Lists Persent                                  :  " + Decimal(counts.lists));
    LogLine(u"Total Directories Persent                        :  " + Decimal(counts.folders));
    LogLine(u"Total  Documents Persent                       :  " + Decimal(counts.documents));
    LogLine(std::u16string(62, u'-'));
    KeepLogLine();
}

}  // namespace mdf
