// Writes whole parts of the document tree as folders and files: a web with its sub-webs and lists, the
// lists of a web, the folders of a list, and everything below a folder. A document counts as recovered only
// when its file was written whole; a site or list is reported repaired only when nothing in it failed.
#include <optional>
#include <vector>

#include "mdf/recovery_engine.h"
#include "platform/text.h"
#include "sharepoint/document_pipeline.h"
#include "sharepoint/output_names.h"
#include "sharepoint/substitute_folder.h"

namespace sharepoint {

OutputFolder& OutputFolderFor(mdf::CRecoveryEngine& engine, const std::u16string& folder) {
    const std::u16string& output = engine.m_app.m_strOutputFolder;
    const std::u16string& root = !output.empty() && IsInsideFolder(output, folder) ? output : folder;
    auto& held = engine.m_pOutputFolder;
    if (!held || held->Root() != root || !held->IsOpen()) {
        held = std::make_shared<OutputFolder>();
        held->Open(root);
    }
    return *held;
}

std::u16string MakeFolderOrSubstitute(mdf::CRecoveryEngine& engine, const std::u16string& wanted,
                                      const std::u16string& node_name) {
    std::string why;
    const std::u16string& output = engine.m_app.m_strOutputFolder;
    // Names are made safe before they get here; a path outside the output folder is still never made.
    if (!IsInsideFolder(output, wanted)) {
        why = "the path leads out of the output folder";
    } else if (OutputFolderFor(engine, output).MakeFolder(wanted, &why)) {
        return wanted;
    } else if (engine.OutputLost()) {
        // The output folder is gone: no substitute either; the save ends and its last line says so.
        return wanted;
    }
    // The documents handed over come first: what follows logs, and makes a folder and a file of its own.
    if (engine.m_pPendingDocuments) engine.m_pPendingDocuments->CommitAll();
    std::string substitute_error;
    const std::u16string substitute = OutputFolderFor(engine, output).MakeNewFolder(output, node_name, &substitute_error);
    if (substitute.empty()) {
        ++engine.m_nSaveFailures;
        engine.LogLine(u"  Folder not made: " + wanted + u" (" + platform::FromUtf8(why) + u"; no substitute: " +
                       platform::FromUtf8(substitute_error) + u")");
        return wanted;
    }
    // The note says where the folder belongs; a note that could not be written whole is logged like a file.
    PendingFile note = OutputFolderFor(engine, output).CreateFile(substitute, u"Actual path in site.txt");
    const std::string path = platform::ToUtf8(wanted);
    note.Write(path.data(), path.size());
    if (!note.Commit()) {
        engine.LogLine(NotWrittenLine(note.Path(), platform::FromUtf8(note.Error())));
    }
    engine.LogLine(u"  Folder not made: " + wanted + u" (" + platform::FromUtf8(why) + u"); written to " + substitute);
    return substitute;
}

}  // namespace sharepoint

namespace mdf {

namespace {

const std::u16string kRepairedSuccessfully = u"Repaired successfully";
const std::u16string kRepairingSite = u"Repairing Site....";
const std::u16string kRepairingList = u"Repairing List.....";
const std::u16string kSeparatorLine(62, u'-');

std::u16string Decimal(std::uint64_t n) { return platform::Widen(std::to_string(n)); }

// The document's Size in bytes; none when the column holds no plain number (NULL, or not read).
std::optional<std::uint64_t> RecordedSize(const SPServerDocumentData& doc) {
    if (doc.Size.empty() || doc.Size.size() > 19) return std::nullopt;
    std::uint64_t size = 0;
    for (const char16_t c : doc.Size) {
        if (c < u'0' || c > u'9') return std::nullopt;
        size = size * 10 + static_cast<std::uint64_t>(c - u'0');
    }
    return size;
}

// "  Title:Repaired successfully", or how many items of it were not written.
std::u16string OutcomeLine(const std::u16string& title, std::uint64_t failures) {
    if (failures == 0) return u"  " + title + u":" + kRepairedSuccessfully;
    return u"  " + title + u":" + Decimal(failures) + u" item(s) not written";
}

// The folders of the open levels of a save walk. A level's folder is usually its parent's with one more
// name, so the levels share one text and each keeps only its length; a substitute folder (a path of its own)
// starts a new text. The walk keeps its levels on a stack rather than the call stack, because crafted parent
// links can nest folders or webs deeper than the call stack could follow; a full copy of the path per level
// would then cost memory by the square of the depth.
class FolderStack {
public:
    // The innermost level's folder.
    const std::u16string& Top() {
        std::u16string& text = texts_[levels_.back().text];
        text.resize(levels_.back().length);  // drops what a deeper level that is done appended
        return text;
    }
    void Push(const std::u16string& folder) {
        if (!levels_.empty()) {
            const std::u16string& parent = Top();
            if (folder.size() >= parent.size() && folder.compare(0, parent.size(), parent) == 0) {
                const std::size_t text = levels_.back().text;
                texts_[text].append(folder, parent.size());
                levels_.push_back({text, folder.size()});
                return;
            }
        }
        texts_.push_back(folder);
        levels_.push_back({texts_.size() - 1, folder.size()});
    }
    void Pop() {
        const std::size_t text = levels_.back().text;
        levels_.pop_back();
        if (levels_.empty() || levels_.back().text != text) texts_.pop_back();
    }

private:
    struct Level {
        std::size_t text;
        std::size_t length;
    };
    std::vector<std::u16string> texts_;
    std::vector<Level> levels_;
};

// One web being written: as a web of its own (SaveWeb: its folder made from its parent's, a line on its
// outcome at the end) or as a sub-web (SaveSubWeb: announced first, its folder given).
struct WebLevel {
    const WebList* web;
    bool sub_web;
    std::size_t next_sub = 0;
    std::uint64_t failures_before = 0;
};

// The walk that SaveWeb and SaveSubWeb start: each web writes its sub-webs one by one (a web's sub-webs as
// sub-webs, a sub-web's as webs) and then its lists. After every sub-web the parent checks for a stop
// request, which ends it without its lists.
int SaveWebLevels(CRecoveryEngine& engine, const WebLevel& first, const std::u16string& first_folder) {
    std::vector<WebLevel> levels{first};
    FolderStack folders;
    folders.Push(first_folder);
    while (true) {
        WebLevel& level = levels.back();
        const WebList& web = *level.web;
        bool finished = false;
        if (level.next_sub < web.m_lstSubWebs.size()) {
            const WebList& sub = *web.m_lstSubWebs[level.next_sub++];
            std::u16string made;
            if (!level.sub_web) {
                const std::u16string wanted = sharepoint::JoinPath(folders.Top(), sub.Title);
                engine.LogLine(kRepairingSite + u"  " + sub.Title);
                engine.LogLine(kSeparatorLine);
                engine.KeepLogLine();
                made = sharepoint::MakeFolderOrSubstitute(engine, wanted, sub.Title);
                levels.push_back({&sub, true});
            } else {
                const std::uint64_t failures_before = engine.m_nSaveFailures;
                made = sharepoint::MakeFolderOrSubstitute(engine, sharepoint::JoinPath(folders.Top(), sub.Title),
                                                          sub.Title);
                levels.push_back({&sub, false, 0, failures_before});
            }
            folders.Push(made);
            continue;  // level is not used past this point
        }
        if (!level.sub_web) {
            if (!web.m_lstLists.empty()) engine.SaveWebLists(web, folders.Top());
            // A web that a stop cut short gets no outcome line: the save's last line tells of the stop.
            if (!engine.SaveMustEnd()) {
                engine.LogLine(OutcomeLine(web.Title, engine.m_nSaveFailures - level.failures_before));
                engine.LogLine(kSeparatorLine);
                engine.KeepLogLine();
            }
        } else {
            engine.SaveWebLists(web, folders.Top());
        }
        if (!engine.SaveMustEnd()) engine.NoteSavedWhole(&web);
        finished = true;
        while (finished) {
            levels.pop_back();
            folders.Pop();
            if (levels.empty()) return 0;
            finished = engine.SaveMustEnd();  // the parent's check after the sub-web it wrote
        }
    }
}

}  // namespace

int CRecoveryEngine::SaveWeb(const WebList& web, const std::u16string& parent_folder) {
    const std::uint64_t failures_before = m_nSaveFailures;
    const std::u16string folder =
        sharepoint::MakeFolderOrSubstitute(*this, sharepoint::JoinPath(parent_folder, web.Title), web.Title);
    return SaveWebLevels(*this, {&web, false, 0, failures_before}, folder);
}

int CRecoveryEngine::SaveSubWeb(const WebList& web, const std::u16string& folder) {
    LogLine(kRepairingSite + u"  " + web.Title);
    LogLine(kSeparatorLine);
    KeepLogLine();
    const std::u16string made = sharepoint::MakeFolderOrSubstitute(*this, folder, web.Title);
    return SaveWebLevels(*this, {&web, true}, made);
}

int CRecoveryEngine::SaveWebLists(const WebList& web, const std::u16string& folder) {
    for (const auto& list : web.m_lstLists) {
        // The documents of the last item are committed before the walk goes on (see document_pipeline.h); a
        // stop found between them ends the save as the check after a document would.
        if (CommitPendingDocuments() || SaveMustEnd()) return 0;
        const std::uint64_t failures_before = m_nSaveFailures;
        LogLine(kRepairingList + u"  " + list->tp_Title);
        const std::u16string list_folder = sharepoint::MakeFolderOrSubstitute(
            *this, sharepoint::JoinPath(folder, list->tp_Title), list->tp_Title);
        for (const auto& node : list->m_lstItems) {
            if (CommitPendingDocuments() || SaveMustEnd()) return 0;
            const std::u16string node_folder = sharepoint::MakeFolderOrSubstitute(
                *this, sharepoint::JoinPath(list_folder, node->m_doc.LeafName), node->m_doc.LeafName);
            SaveDocumentTree(*node, node_folder);
            if (SaveMustEnd()) return 0;
        }
        // A list the save cut short gets no outcome line: the save's last line tells why it ended.
        if (CommitPendingDocuments() || SaveMustEnd()) return 0;
        LogLine(OutcomeLine(list->tp_Title, m_nSaveFailures - failures_before));
        LogLine(kSeparatorLine);
        KeepLogLine();
        NoteSavedWhole(list.get());
    }
    SaveMustEnd();
    return 0;
}

int CRecoveryEngine::SaveListFolders(const structAllList& list, const std::u16string& folder) {
    for (const auto& node : list.m_lstItems) {
        if (CommitPendingDocuments() || SaveMustEnd()) return 0;
        const std::u16string node_folder = sharepoint::MakeFolderOrSubstitute(
            *this, sharepoint::JoinPath(folder, node->m_doc.LeafName), node->m_doc.LeafName);
        SaveDocumentTree(*node, node_folder);
        if (SaveMustEnd()) return 0;
    }
    NoteSavedWhole(&list);
    return 0;
}

// Everything below node, depth first: a folder's folder is made and filled before its parent's next item.
// The open folders are kept on a stack (see FolderStack); after every item, and after every folder it
// descended into, a folder checks for a stop request, which ends it and then its parents in turn.
int CRecoveryEngine::SaveDocumentTree(const sharepointDocsList& node, const std::u16string& folder) {
    struct Level {
        const sharepointDocsList* node;
        std::size_t next;
    };
    std::vector<Level> levels{{&node, 0}};
    FolderStack folders;
    folders.Push(folder);
    while (true) {
        Level& level = levels.back();
        bool finished = false;
        if (level.next == level.node->m_lstChildren.size()) {
            // Gone through to its end: whole once its documents are committed.
            NoteSavedWhole(level.node);
            finished = true;
        } else {
            const sharepointDocsList& child = *level.node->m_lstChildren[level.next++];
            const SPServerDocumentData& doc = child.m_doc;
            sharepoint::DocumentPipeline* const pipeline = sharepoint::ActivePipeline(*this);
            if (doc.TYPE == u"1") {
                // A folder is made once the documents handed over before it are named: a document and a folder
                // may want one name, and a stop found between them ends the walk before the folder.
                if (CommitPendingDocuments() || SaveMustEnd()) {
                    finished = true;
                } else {
                    const std::u16string child_folder = sharepoint::MakeFolderOrSubstitute(
                        *this, sharepoint::JoinPath(folders.Top(), doc.LeafName), doc.LeafName);
                    levels.push_back({&child, 0});
                    folders.Push(child_folder);
                    continue;  // level is not used past this point
                }
            } else if (pipeline) {
                // Its progress step, and its count and log lines, come when it is committed.
                const sharepoint::DocumentOutcome outcome = sharepoint::SaveDocumentInOrder(
                    *this, *pipeline, doc, RecordedSize(doc), folders.Top(), platform::kProgressAt,
                    static_cast<platform::LPARAM>(++m_nSaveDocumentsMet));
                if (outcome == sharepoint::DocumentOutcome::Written) {
                    ++m_app.m_nRecoveredCount;
                    SendRecordCount();
                } else if (outcome == sharepoint::DocumentOutcome::NotWritten) {
                    ++m_nSaveFailures;
                }
                finished = SaveMustEnd();
            } else {
                // The bar follows the documents: where the save is among those it writes.
                SendProgress(platform::kProgressAt, static_cast<platform::LPARAM>(++m_nSaveDocumentsMet));
                const std::u16string& here = folders.Top();
                const bool written =
                    m_app.m_bVarBinaryContent
                        ? SaveVarBinaryColumnDocument(doc.ContentOffset64(), doc.ContentLength64(), doc.LeafName,
                                                      here, doc.ContentFlags, RecordedSize(doc))
                        : SaveImageColumnDocument(doc.ContentOffset64(), doc.ContentLength64(), doc.LeafName, here,
                                                  RecordedSize(doc));
                if (written) {
                    ++m_app.m_nRecoveredCount;
                    SendRecordCount();
                } else {
                    ++m_nSaveFailures;
                }
                finished = SaveMustEnd();
            }
        }
        while (finished) {
            levels.pop_back();
            folders.Pop();
            if (levels.empty()) return 0;
            finished = SaveMustEnd();  // the parent's check after the folder it descended into
        }
    }
}

}  // namespace mdf
