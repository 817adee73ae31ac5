// Layout and answers of the edition and server dialogs.
#include "ui/server_dialogs.h"

#include <wx/dirdlg.h>

#include <algorithm>

#include "app/control_ids.h"
#include "app/recover_thread.h"
#include "app/server_choice.h"
#include "platform/shared_state.h"
#include "ui/color_button.h"
#include "ui/message_dialogs.h"

namespace ui {

namespace {
constexpr int kEditionWidth = 240;
constexpr int kEditionHeight = 128;
constexpr int kServerWidth = 300;
constexpr int kServerHeight = 204;

// A caption in the readable font, as high as its text needs.
wxStaticText* Caption(wxWindow* parent, int id, const wxString& text, int x, int y, int width) {
    auto* caption = new wxStaticText(parent, id, text, DluPoint(x, y), DluSize(width, 10));
    MakeReadable(*caption);
    return caption;
}
}  // namespace

CSqlServerEditon::CSqlServerEditon(wxWindow* parent) : CPaleDialog(parent, "Brindlemoor", kEditionWidth, kEditionHeight) {
    Caption(this, kIdEditionCaption, "Select your SQL Server Edtion.", 10, 8, 220);
    auto* full = new wxRadioButton(this, kIdFullEdition, " Full Version of SQL Server.", DluPoint(16, 24),
                                   DluSize(210, 12), wxRB_GROUP);
    auto* embedded = new wxRadioButton(this, kIdEmbeddedEdition, "SQL Server Embedded Edtion(MICROSOFT##SSEE).",
                                       DluPoint(16, 40), DluSize(210, 12));
    MakeReadable(*full);
    MakeReadable(*embedded);
    full->SetValue(true);
    auto* note = new wxStaticText(this, wxID_ANY,
                                  "Note: If you are using Embedded Edtion of sql server then you have to add a new blank "
                                  "database in your web apllication to recover your data in this database .",
                                  DluPoint(10, 58), DluSize(220, 36));
    note->Wrap(DluX(220));
    // The readable choices may be wider than the template: the dialog grows to hold them.
    const int width = std::max(DluX(kEditionWidth), std::max(full->GetRect().GetRight(), embedded->GetRect().GetRight()) +
                                                         1 + DluX(10));
    SetClientSize(width, DluY(kEditionHeight));
    new CColorButton(this, app::kIdOk, "OK", wxPoint(width - DluX(60), DluY(kEditionHeight - 22)), DluSize(50, 14));
    SetDefaultResult(app::kIdOk);
    Bind(wxEVT_BUTTON, &CSqlServerEditon::OnButton, this);
}

void CSqlServerEditon::OnButton(wxCommandEvent& event) {
    if (event.GetId() != app::kIdOk) return event.Skip();
    auto* embedded = dynamic_cast<wxRadioButton*>(FindWindow(kIdEmbeddedEdition));
    embedded_ = embedded && embedded->GetValue();
    EndWith(app::kIdOk);
}

CServerInstance::CServerInstance(wxWindow* parent, platform::SharedState& state, bool embedded,
                                 platform::ServerChoice& choice)
    : CPaleDialog(parent, "Brindlemoor", kServerWidth, kServerHeight), state_(state), embedded_(embedded), choice_(choice) {
    const int field_width = kServerWidth - 20;
    Caption(this, kIdServerNameCaption, "Please Enter Your Server Name (Server Name\\Instance Name)", 10, 8, field_width);
    auto* server = new wxTextCtrl(this, kIdServerName, wxString(), DluPoint(10, 20), DluSize(field_width, 13));
    server->ChangeValue(ToWx(choice.server));
    Caption(this, kIdLoginCaption, "SQL login (empty: Kerberos)", 10, 38, 135);
    Caption(this, kIdPasswordCaption, "Password", 155, 38, 135);
    auto* login = new wxTextCtrl(this, kIdLogin, wxString(), DluPoint(10, 50), DluSize(135, 13));
    login->ChangeValue(ToWx(choice.login));
    auto* password = new wxTextCtrl(this, kIdPassword, wxString(), DluPoint(155, 50), DluSize(135, 13), wxTE_PASSWORD);
    password->ChangeValue(ToWx(choice.password));
    Caption(this, kIdDestinationCaption, "Select Destination Path", 10, 68, field_width);
    auto* destination = new wxTextCtrl(this, kIdDestinationPath, wxString(), DluPoint(10, 80), DluSize(field_width - 56, 13),
                                       wxTE_READONLY);
    destination->ChangeValue(ToWx(choice.failure_folder));
    new CColorButton(this, kIdBrowse, "Browse", DluPoint(kServerWidth - 60, 79), DluSize(50, 14));
    Caption(this, kIdDataFolderCaption, "Data folder on the server (optional)", 10, 98, field_width);
    auto* data = new wxTextCtrl(this, kIdDataFolder, wxString(), DluPoint(10, 110), DluSize(field_width, 13));
    data->ChangeValue(ToWx(choice.data_folder));
    auto* have = new wxCheckBox(this, kIdHaveDatabase, "I have created a new database(For Embedded Edtion).",
                                DluPoint(10, 134), DluSize(field_width, 12));
    MakeReadable(*have);
    Caption(this, kIdDatabaseCaption, "Enter Database Name(For Embedded Edtion)", 10, 152, field_width);
    auto* database = new wxTextCtrl(this, kIdEmbeddedDatabase, wxString(), DluPoint(10, 164), DluSize(field_width, 13));
    database->ChangeValue(ToWx(choice.embedded_database));
    new CColorButton(this, app::kIdOk, "OK", DluPoint(kServerWidth - 120, kServerHeight - 22), DluSize(50, 14));
    new CColorButton(this, kIdServerCancel, "Cancel", DluPoint(kServerWidth - 60, kServerHeight - 22), DluSize(50, 14));

    // OK waits for a server name.
    FindWindow(app::kIdOk)->Enable(!choice.server.empty());
    have->Enable(embedded);
    EnableServerFields(!embedded);
    FindWindow(kIdDatabaseCaption)->Enable(false);
    database->Enable(false);
    SetDefaultResult(app::kIdOk);
    Bind(wxEVT_BUTTON, &CServerInstance::OnButton, this);
    Bind(wxEVT_CHECKBOX, &CServerInstance::OnHaveDatabase, this);
    server->Bind(wxEVT_TEXT, &CServerInstance::OnServerText, this);
}

void CServerInstance::EnableServerFields(bool enable) {
    for (int id : {kIdServerName, kIdServerNameCaption, kIdBrowse, kIdDestinationPath, kIdDestinationCaption, kIdLogin,
                   kIdPassword, kIdLoginCaption, kIdPasswordCaption, kIdDataFolder, kIdDataFolderCaption}) {
        FindWindow(id)->Enable(enable);
    }
}

void CServerInstance::OnServerText(wxCommandEvent& event) {
    FindWindow(app::kIdOk)->Enable(!Field(kIdServerName)->GetValue().empty());
    event.Skip();
}

void CServerInstance::OnHaveDatabase(wxCommandEvent& event) {
    const bool checked = event.IsChecked();
    FindWindow(kIdDatabaseCaption)->Enable(checked);
    FindWindow(kIdEmbeddedDatabase)->Enable(checked);
    EnableServerFields(checked);
}

void CServerInstance::Refuse(int text_id) {
    state_.m_strMessageTitle.clear();
    state_.m_strMessageText = app::JobText(text_id);
    CMyMessageDialog(this, state_).ShowModal();
}

void CServerInstance::Accept() {
    Field(kIdServerName)->SetFocus();
    platform::ServerChoice answer = choice_;
    answer.server = FromWx(Field(kIdServerName)->GetValue());
    answer.login = FromWx(Field(kIdLogin)->GetValue());
    answer.password = FromWx(Field(kIdPassword)->GetValue());
    answer.failure_folder = FromWx(Field(kIdDestinationPath)->GetValue());
    answer.data_folder = FromWx(Field(kIdDataFolder)->GetValue());
    answer.embedded_database = FromWx(Field(kIdEmbeddedDatabase)->GetValue());
    auto* have = dynamic_cast<wxCheckBox*>(FindWindow(kIdHaveDatabase));
    answer.have_database = have && have->GetValue();
    if (const int problem = app::ServerChoiceProblem(answer, embedded_)) return Refuse(problem);
    choice_ = answer;
    EndWith(app::kIdOk);
}

void CServerInstance::OnButton(wxCommandEvent& event) {
    switch (event.GetId()) {
        case app::kIdOk: Accept(); break;
        case kIdServerCancel: EndWith(app::kIdCancel); break;
        case kIdBrowse: {
            std::u16string folder;
            if (choose_folder) {
                folder = choose_folder();
            } else {
                wxDirDialog picker(this, "Select a Folder", wxString(), wxDD_DEFAULT_STYLE | wxDD_DIR_MUST_EXIST);
                if (picker.ShowModal() == wxID_OK) folder = FromWx(picker.GetPath());
            }
            if (folder.empty()) break;
            choice_.failure_folder_chosen = true;
            Field(kIdDestinationPath)->ChangeValue(ToWx(folder));
            break;
        }
        default: event.Skip();
    }
}

}  // namespace ui
