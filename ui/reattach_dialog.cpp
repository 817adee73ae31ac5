// The batch-file dialog and the question before it.
#include "ui/reattach_dialog.h"

#include <wx/filedlg.h>
#include <wx/stattext.h>
#include <wx/stdpaths.h>

#include "app/app_fields.h"
#include "app/control_ids.h"
#include "app/reattach_batch.h"
#include "platform/shared_state.h"
#include "platform/text.h"
#include "ui/color_button.h"
#include "ui/message_dialogs.h"

namespace ui {

namespace {

constexpr int kIdUrlCaption = 1061;
constexpr int kIdDatabaseCaption = 1056;
constexpr int kIdServerCaption = 1057;
constexpr int kIdDatabaseEdit = 1127;
constexpr int kIdUrlEdit = 1128;
constexpr int kIdServerEdit = 1129;

constexpr char16_t kAddLaterTitle[] = u"Process complete sucessfully.";
constexpr char16_t kAddLaterText[] = u"Add your database manually later.";
constexpr char16_t kAddNowQuestion[] = u"Do you want to add this database to your web application now?";

}  // namespace

CAddContentDbDlg::CAddContentDbDlg(wxWindow* parent, platform::SharedState& state, app::AppFields& fields)
    : CPaleDialog(parent, "Brindlemoor", 289, 172), state_(state), fields_(fields) {
    const wxFont caption_font = ArialFont(15, 400);
    auto caption = [&](int id, const char* text, int y) {
        auto* label = new wxStaticText(this, id, wxString::FromUTF8(text), DluPoint(12, y), DluSize(265, 10));
        label->SetFont(caption_font);
    };
    auto edit = [&](int id, int y) {
        return new wxTextCtrl(this, id, wxString(), DluPoint(12, y), DluSize(265, 14), wxBORDER_SUNKEN);
    };
    caption(kIdUrlCaption, "Enter your Web application URL:", 12);
    url_ = edit(kIdUrlEdit, 24);
    caption(kIdDatabaseCaption, "Enter corrupted database name:  ", 48);
    database_ = edit(kIdDatabaseEdit, 60);
    caption(kIdServerCaption, "Enter Sql Server instance name on which corrupted database attached:", 84);
    server_ = edit(kIdServerEdit, 96);
    new CColorButton(this, app::kIdOk, "OK", DluPoint(289 - 12 - 50 - 6 - 50, 146), DluSize(50, 14));
    new CColorButton(this, app::kIdCancel, "Cancel", DluPoint(289 - 12 - 50, 146), DluSize(50, 14));
    SetDefaultResult(app::kIdOk);
    Bind(wxEVT_BUTTON, &CAddContentDbDlg::OnButton, this);
    Bind(wxEVT_CLOSE_WINDOW, &CAddContentDbDlg::OnCloseBox, this);

    choose_path = [this]() -> std::filesystem::path {
        wxFileDialog dialog(this, "Save the batch file for the SharePoint server",
                            wxStandardPaths::Get().GetDocumentsDir(), "ssexpress.bat",
                            "Batch files (*.bat)|*.bat", wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
        if (dialog.ShowModal() != wxID_OK) return {};
        return std::filesystem::path(dialog.GetPath().utf8_string());
    };
}

void CAddContentDbDlg::Tell(std::u16string text, std::u16string title) {
    state_.m_strMessageText = std::move(text);
    state_.m_strMessageTitle = std::move(title);
    CMyMessageDialog(this, state_).ShowModal();
}

void CAddContentDbDlg::OnOK() {
    app::ReattachInput input;
    input.url = FromWx(url_->GetValue());
    input.damaged_database = FromWx(database_->GetValue());
    input.damaged_server = FromWx(server_->GetValue());
    input.bin_folder = fields_.m_strSharePointBin;
    input.embedded_edition = fields_.m_bEmbeddedEdition;
    input.repaired_database = state_.m_strContentDbName;
    input.repaired_server = fields_.m_strContentDbServer;

    const std::u16string problem = app::CheckReattachInput(input);
    if (!problem.empty()) {
        Tell(problem, {});
        return;
    }
    const std::filesystem::path target = choose_path ? choose_path() : std::filesystem::path();
    if (target.empty()) return;  // the user did not choose a place: the dialog stays
    std::string error;
    if (!app::WriteFileReplacing(target, app::BuildReattachBatch(input), &error)) {
        Tell(u"The batch file could not be saved.", platform::FromUtf8(error));
        return;
    }
    saved_ = target;
    Tell(u"The batch file was saved as " + platform::FromUtf8(target.string()) + u".",
         u"Copy it to the SharePoint server and run it there as a farm administrator.");
    EndWith(app::kIdOk);
}

void CAddContentDbDlg::OnCancelAdd() {
    state_.m_strMessageTitle = kAddLaterTitle;
    state_.m_strMessageText = kAddLaterText;
    CMessageDialog2(this, state_).ShowModal();
    EndWith(app::kIdCancel);
}

void CAddContentDbDlg::OnButton(wxCommandEvent& event) {
    if (event.GetId() == app::kIdOk) {
        OnOK();
    } else if (event.GetId() == app::kIdCancel) {
        OnCancelAdd();
    } else {
        event.Skip();
    }
}

void CAddContentDbDlg::OnCloseBox(wxCloseEvent&) { OnCancelAdd(); }

void OfferReattach(wxWindow* parent, platform::SharedState& state, app::AppFields& fields) {
    state.m_strMessageText = kAddNowQuestion;
    state.m_strMessageTitle.clear();
    if (CMyExitStopDialog(parent, state).ShowModal() == app::kIdOk) {
        CAddContentDbDlg dialog(parent, state, fields);
        dialog.ShowModal();
        return;
    }
    state.m_strMessageTitle = kAddLaterTitle;
    state.m_strMessageText = kAddLaterText;
    CMessageDialog2(parent, state).ShowModal();
}

}  // namespace ui
