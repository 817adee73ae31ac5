// Writes whole parts of the document tree as folders and files: a web with its sub-webs and lists, the
// lists of a web, the folders of a list, and everything below a folder. A document counts as recovered only
// when its file was written whole; a site or list is reported repaired only when nothing in it failed.
#include "mdf/recovery_engine.h"
#include "platform/text.h"
#include "sharepoint/output_names.h"
#include "sharepoint/substitute_folder.h"

namespace sharepoint {

std::u16string MakeFolderOrSubstitute(mdf::CRecoveryEngine& engine, const std::u16string& wanted,
                                      const std::u16string& node_name) {
    std::string why;
    // Names are made safe before they get here; a path outside the output folder is still never made.
    if (!IsInsideFolder(engine.m_app.m_strOutputFolder, wanted)) {
        why = "the path leads out of the output folder";
    } else if (MakeFolder(wanted, &why)) {
        return wanted;
    }
    std::string substitute_error;
    const std::u16string substitute = MakeNewFolder(engine.m_app.m_strOutputFolder, node_name, &substitute_error);
    if (substitute.empty()) {
        ++engine.m_nSaveFailures;
        engine.LogLine(u"  Folder not made: " + wanted + u" (" + platform::FromUtf8(why) + u"; no substitute: " +
                       platform::FromUtf8(substitute_error) + u")");
        return wanted;
    }
    NewFile note = CreateNewFile(substitute, u"Actual path in site.txt");
    if (note.file) {
        const std::string path = platform::ToUtf8(wanted);
        std::fwrite(path.data(), 1, path.size(), note.file);
        std::fclose(note.file);
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

// "  Title:Repaired successfully", or how many items of it were not written.
std::u16string OutcomeLine(const std::u16string& title, std::uint64_t failures) {
    if (failures == 0) return u"  " + title + u":" + kRepairedSuccessfully;
    return u"  " + title + u":" + Decimal(failures) + u" item(s) not written";
}

}  // namespace

int CRecoveryEngine::SaveWeb(const WebList& web, const std::u16string& parent_folder) {
    const std::uint64_t failures_before = m_nSaveFailures;
    const std::u16string folder =
        sharepoint::MakeFolderOrSubstitute(*this, sharepoint::JoinPath(parent_folder, web.Title), web.Title);
    for (const auto& sub : web.m_lstSubWebs) {
        SendProgress(platform::kProgressStep, static_cast<platform::LPARAM>(web.m_lstSubWebs.size()));
        SaveSubWeb(*sub, sharepoint::JoinPath(folder, sub->Title));
        if (StopRequested()) return 0;
    }
    if (!web.m_lstLists.empty()) SaveWebLists(web, folder);
    LogLine(OutcomeLine(web.Title, m_nSaveFailures - failures_before));
    LogLine(kSeparatorLine);
    m_app.m_strLogText += m_app.m_strLogLine + u"\r\n";
    StopRequested();
    return 0;
}

int CRecoveryEngine::SaveSubWeb(const WebList& web, const std::u16string& folder) {
    LogLine(kRepairingSite + u"  " + web.Title);
    LogLine(kSeparatorLine);
    m_app.m_strLogText += m_app.m_strLogLine + u"\r\n";
    const std::u16string made = sharepoint::MakeFolderOrSubstitute(*this, folder, web.Title);
    for (const auto& sub : web.m_lstSubWebs) {
        SaveWeb(*sub, made);
        if (StopRequested()) return 0;
    }
    SaveWebLists(web, made);
    StopRequested();
    return 0;
}

int CRecoveryEngine::SaveWebLists(const WebList& web, const std::u16string& folder) {
    for (const auto& list : web.m_lstLists) {
        const std::uint64_t failures_before = m_nSaveFailures;
        SendProgress(platform::kProgressStep, m_app.m_nListCount);
        LogLine(kRepairingList + u"  " + list->tp_Title);
        const std::u16string list_folder = sharepoint::MakeFolderOrSubstitute(
            *this, sharepoint::JoinPath(folder, list->tp_Title), list->tp_Title);
        for (const auto& node : list->m_lstItems) {
            const std::u16string node_folder = sharepoint::MakeFolderOrSubstitute(
                *this, sharepoint::JoinPath(list_folder, node->m_doc.LeafName), node->m_doc.LeafName);
            SaveDocumentTree(*node, node_folder);
            if (StopRequested()) return 0;
        }
        LogLine(OutcomeLine(list->tp_Title, m_nSaveFailures - failures_before));
        LogLine(kSeparatorLine);
        m_app.m_strLogText += m_app.m_strLogLine + u"\r\n";
    }
    StopRequested();
    return 0;
}

int CRecoveryEngine::SaveListFolders(const structAllList& list, const std::u16string& folder) {
    for (const auto& node : list.m_lstItems) {
        const std::u16string node_folder = sharepoint::MakeFolderOrSubstitute(
            *this, sharepoint::JoinPath(folder, node->m_doc.LeafName), node->m_doc.LeafName);
        SaveDocumentTree(*node, node_folder);
        if (StopRequested()) return 0;
    }
    return 0;
}

int CRecoveryEngine::SaveDocumentTree(const sharepointDocsList& node, const std::u16string& folder) {
    for (const auto& child : node.m_lstChildren) {
        SendProgress(platform::kProgressStep, m_app.m_nDocumentCount);
        const SPServerDocumentData& doc = child->m_doc;
        if (doc.TYPE == u"1") {
            const std::u16string child_folder = sharepoint::MakeFolderOrSubstitute(
                *this, sharepoint::JoinPath(folder, doc.LeafName), doc.LeafName);
            SaveDocumentTree(*child, child_folder);
        } else {
            const bool written =
                m_app.m_bVarBinaryContent
                    ? SaveVarBinaryColumnDocument(doc.ContentOffset64(), doc.ContentLength64(), doc.LeafName, folder,
                                                  doc.ContentFlags)
                    : SaveImageColumnDocument(doc.ContentOffset64(), doc.ContentLength64(), doc.LeafName, folder);
            if (written) {
                ++m_app.m_nRecoveredCount;
                SendRecordCount();
            } else {
                ++m_nSaveFailures;
            }
        }
        if (StopRequested()) return 0;
    }
    return 0;
}

}  // namespace mdf
