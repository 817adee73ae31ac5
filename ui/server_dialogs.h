// The two questions of a complete repair, asked on the user-interface thread for the job: CSqlServerEditon (a
// full server or the embedded edition) and CServerInstance (server, login, the local folder of the failure
// files, the optional server-side data folder, or the embedded edition's own database).
#pragma once

#include <wx/checkbox.h>
#include <wx/radiobut.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <functional>

#include "platform/user_prompts.h"
#include "ui/dialog_style.h"

namespace platform {
struct SharedState;
}

namespace ui {

// Control numbers of the two dialogs.
enum ServerDialogId : int {
    kIdFullEdition = 1005,
    kIdEmbeddedEdition = 1006,
    kIdEditionCaption = 1143,
    kIdServerCancel = 1005,
    kIdEmbeddedDatabase = 1006,
    kIdServerName = 1019,
    kIdServerNameCaption = 1056,
    kIdDatabaseCaption = 1057,
    kIdDestinationCaption = 1061,
    kIdDestinationPath = 1118,
    kIdBrowse = 1119,
    kIdHaveDatabase = 1145,
    kIdLogin = 1150,
    kIdPassword = 1151,
    kIdDataFolder = 1152,
    kIdLoginCaption = 1153,
    kIdDataFolderCaption = 1154,
    kIdPasswordCaption = 1155,
};

class CSqlServerEditon : public CPaleDialog {
public:
    explicit CSqlServerEditon(wxWindow* parent);
    bool Embedded() const { return embedded_; }

private:
    void OnButton(wxCommandEvent& event);
    bool embedded_ = false;
};

class CServerInstance : public CPaleDialog {
public:
    // choice pre-fills the fields and receives them on OK; messages go through state's message lines.
    CServerInstance(wxWindow* parent, platform::SharedState& state, bool embedded, platform::ServerChoice& choice);

    // Answers Browse in place of the folder picker (tests).
    std::function<std::u16string()> choose_folder;

    wxTextCtrl* Field(int id) const { return dynamic_cast<wxTextCtrl*>(FindWindow(id)); }

private:
    void OnButton(wxCommandEvent& event);
    void OnServerText(wxCommandEvent& event);
    void OnHaveDatabase(wxCommandEvent& event);
    void EnableServerFields(bool enable);
    void Refuse(int text_id);
    void Accept();

    platform::SharedState& state_;
    bool embedded_;
    platform::ServerChoice& choice_;
};

}  // namespace ui
