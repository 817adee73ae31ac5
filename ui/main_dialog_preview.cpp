// The document preview of the result page: a click on a document in the document list finds it in the
// document tree, writes its content to a temporary copy in the preview's private folder and shows it in the
// preview frame by the viewer its extension names. The preview never touches the path of the last saved
// document: its copy and everything made from it are its own, and only they are deleted.
#include <wx/utils.h>

#include <charconv>
#include <cstdlib>

#include "app/control_ids.h"
#include "app/preview_rules.h"
#include "mdf/recovery_engine.h"
#include "platform/private_folder.h"
#include "platform/text.h"
#include "ui/brindlemoor_app.h"
#include "ui/dialog_style.h"
#include "ui/main_dialog.h"
#include "ui/message_dialogs.h"
#include "ui/preview_pane.h"

namespace ui {

using namespace app;
namespace fs = std::filesystem;

namespace {

// The largest document the preview takes from the data file; pictures have their own, smaller limit.
constexpr std::uint64_t kPreviewFileLimit = 256ull * 1024 * 1024;

std::uint64_t LimitFor(PreviewViewer viewer) {
    return viewer == PreviewViewer::Picture ? kPreviewPictureFileLimit : kPreviewFileLimit;
}

// The size the document's record declares; nullopt when it is no plain number.
std::optional<std::uint64_t> DeclaredSize(const std::u16string& text) {
    const std::string digits = platform::ToUtf8(text);
    std::uint64_t size = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), size);
    if (error != std::errc() || end != digits.data() + digits.size() || digits.empty()) return std::nullopt;
    return size;
}

}  // namespace

CPreviewPane* CBrindlemoorDlg::Preview() {
    if (!m_preview) {
        m_preview = std::make_unique<CPreviewPane>(FindWindow(kIdPreviewFrame));
        m_preview->log = [this](const std::u16string& line) {
            app_.m_strLogLine = line;
            OnLogLine();
        };
    }
    return m_preview.get();
}

void CBrindlemoorDlg::DetectPreviewApplications() {
    const PreviewTools tools = detect_preview_tools ? detect_preview_tools() : PreviewTools{};
    Preview()->tools = tools;
    // Only ever set, as the flags of the programs found are.
    if (!tools.pdf_to_picture.empty()) app_.m_bHasAcrobatReader = true;
    if (!tools.office_to_pdf.empty()) {
        app_.m_bHasWord = true;
        app_.m_bHasExcel = true;
        app_.m_bHasPowerPoint = true;
    }
}

void CBrindlemoorDlg::ClosePreview() {
    if (m_preview) m_preview->Close();
    app_.m_bImagePreviewShown = false;
}

void CBrindlemoorDlg::OnDocumentClick(long row) {
    // The row list of a table keeps its selection; a document clicked while a job runs is not previewed.
    if (!app_.m_bDocumentMode) return;
    if (app_.m_pRecoverThread.load() != nullptr) {
        if (row >= 0) m_listResult->SetItemState(row, 0, wxLIST_STATE_SELECTED);
        return;
    }
    if (row < 0 || row >= m_listResult->GetItemCount()) return;
    const std::u16string name = FromWx(m_listResult->GetItemText(row, 0));
    app_.m_bImagePreviewShown = false;
    FindWindow(kIdResultProgress)->Hide();
    if (app_.m_arrSelectedPath.empty() || !m_pEngine) return;
    m_arrClickPath.clear();
    m_arrClickPath.push_back(name);
    m_arrClickPath.insert(m_arrClickPath.end(), app_.m_arrSelectedPath.begin(), app_.m_arrSelectedPath.end());
    if (const mdf::sharepointDocsList* entry = FindDocumentForPreview(m_pEngine->m_lstWebs, m_arrClickPath)) {
        ExtractDocumentForPreview(*entry);
    }
}

void CBrindlemoorDlg::ExtractDocumentForPreview(const mdf::sharepointDocsList& entry) {
    CPreviewPane* preview = Preview();
    // The previous preview goes first: its view, a conversion still running, its temporary copy. A copy that
    // cannot be deleted is logged; the new preview goes on.
    preview->Close();
    const mdf::SPServerDocumentData& doc = entry.m_doc;
    const PreviewViewer viewer = ChoosePreviewViewer(doc.LeafName);
    ApplyChanges({{kIdPreviewBackdrop, false, false}, {kIdDocumentBackdrop, false, {}}});
    // Nothing is taken from the data file for a document that gets no preview anyway.
    if (viewer == PreviewViewer::None || !MissingViewerMessage(viewer, preview->tools).empty()) {
        ShowPreview({}, doc.LeafName);
        return;
    }

    if (const auto declared = DeclaredSize(doc.Size); declared && *declared > LimitFor(viewer)) {
        preview->ShowMessage(u"This document is too large to preview.");
        return;
    }
    const fs::path folder = preview->NewDocumentFolder();
    if (folder.empty()) {
        preview->ShowMessage(u"The preview has no folder for its temporary file: " +
                             platform::FromUtf8(preview->Folder().Error()));
        return;
    }
    // A fixed name: the document's own name never reaches a converter's command line.
    const std::string extension = PreviewFileExtension(doc.LeafName);
    const std::u16string file_name = platform::FromUtf8(extension.empty() ? "preview" : "preview." + extension);
    const fs::path file = folder / platform::ToUtf8(file_name);

    // The engine notes the path it writes in the save's field; the save's value is put back untouched.
    const std::u16string saved_path = app_.m_strPreviewFile;
    const std::u16string folder_text = platform::FromUtf8(folder.string());
    const bool written = app_.m_bVarBinaryContent
                             ? m_pEngine->SaveVarBinaryColumnDocument(doc.ContentOffset64(), doc.ContentLength64(),
                                                                      file_name, folder_text, doc.ContentFlags)
                             : m_pEngine->SaveImageColumnDocument(doc.ContentOffset64(), doc.ContentLength64(),
                                                                  file_name, folder_text);
    app_.m_strPreviewFile = saved_path;

    std::error_code error;
    if (!written || !fs::is_regular_file(file, error)) {
        preview->ShowMessage(u"The content of this document could not be read from the data file.");
        return;
    }
    platform::PrivateFolder::MakeOwnerOnly(file);
    if (fs::file_size(file, error) > LimitFor(viewer) || error) {
        preview->ShowMessage(u"This document is too large to preview.");
        return;
    }
    ShowPreview(file, doc.LeafName);
}

void CBrindlemoorDlg::ShowPreview(const fs::path& file, const std::u16string& name) {
    CPreviewPane* preview = Preview();
    app_.m_bImagePreviewShown = false;
    ApplyChanges({{kIdPreviewBackdrop, false, false}, {kIdDocumentBackdrop, false, {}}, {kIdResultProgress, false, {}}});
    const PreviewViewer viewer = ChoosePreviewViewer(name);
    switch (viewer) {
        case PreviewViewer::Pdf:
        case PreviewViewer::Word:
        case PreviewViewer::PowerPoint:
        case PreviewViewer::Excel:
            if (const std::u16string missing = MissingViewerMessage(viewer, preview->tools); !missing.empty()) {
                // Said in the preview frame, where the preview would be: a box on every click would only be in
                // the way.
                preview->Close();
                preview->ShowMessage(missing);
                return;
            }
            preview->StartConversion(viewer, file);
            break;
        case PreviewViewer::Html: preview->ShowHtml(file); break;
        case PreviewViewer::Picture:
            preview->ShowPicture(file);
            app_.m_bImagePreviewShown = preview->CurrentView() == CPreviewPane::View::Picture;
            break;
        case PreviewViewer::Text: preview->ShowText(file); break;
        case PreviewViewer::Video: preview->ShowMedia(file, true, name); break;
        case PreviewViewer::Audio: preview->ShowMedia(file, false, name); break;
        case PreviewViewer::None:
            preview->Close();
            ApplyChanges({{kIdPreviewFrame, false, false}, {kIdDocumentBackdrop, true, {}}});
            break;
    }
}

}  // namespace ui
