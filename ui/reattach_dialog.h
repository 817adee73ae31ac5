// CAddContentDbDlg: after a completed repair, asks for the web application, the damaged content database and
// its server, and saves the re-attach batch file where the user chooses. The file is for the SharePoint
// server; the program never runs it. OfferReattach is the question that leads to it at the end of a repair.
#pragma once

#include <wx/textctrl.h>

#include <filesystem>
#include <functional>

#include "ui/dialog_style.h"

namespace platform {
struct SharedState;
}
namespace app {
struct AppFields;
}

namespace ui {

class CAddContentDbDlg : public CPaleDialog {
public:
    CAddContentDbDlg(wxWindow* parent, platform::SharedState& state, app::AppFields& fields);

    // OK: checks the fields, asks where to save the file, writes it and ends the dialog; any problem is shown
    // and the dialog stays open.
    void OnOK();
    // Cancel, Esc and the close box: the "add it later" message, then the dialog ends.
    void OnCancelAdd();

    wxTextCtrl* UrlEdit() const { return url_; }
    wxTextCtrl* DatabaseEdit() const { return database_; }
    wxTextCtrl* ServerEdit() const { return server_; }
    // The file saved by the last OK; empty before.
    const std::filesystem::path& SavedFile() const { return saved_; }

    // Where to save the batch file: the chosen path, or empty when the user cancels. The default is a save
    // dialog; tests replace it.
    std::function<std::filesystem::path()> choose_path;

protected:
    void OnEscape() override { OnCancelAdd(); }

private:
    void OnButton(wxCommandEvent& event);
    void OnCloseBox(wxCloseEvent& event);
    void Tell(std::u16string text, std::u16string title);

    platform::SharedState& state_;
    app::AppFields& fields_;
    wxTextCtrl* url_ = nullptr;
    wxTextCtrl* database_ = nullptr;
    wxTextCtrl* server_ = nullptr;
    std::filesystem::path saved_;
};

// The end of a completed repair: "Do you want to add this database to your web application now?"; Yes runs
// the batch-file dialog, No shows that the database can be added later.
void OfferReattach(wxWindow* parent, platform::SharedState& state, app::AppFields& fields);

}  // namespace ui
