// Job questions as modal dialogs on the user-interface thread.
#include "ui/user_prompts.h"

#include "platform/shared_state.h"
#include <wx/app.h>
#include <wx/dirdlg.h>

#include "ui/dialog_style.h"
#include "ui/message_dialogs.h"
#include "ui/ui_bridge.h"
#include "ui/server_dialogs.h"
#include "ui/version_dialog.h"

namespace ui {

void WxUserPrompts::ShowMessage(const std::u16string& title, const std::u16string& text) {
    bridge_.Invoke([&] {
        state_.m_strMessageTitle = title;
        state_.m_strMessageText = text;
        CMyMessageDialog(nullptr, state_).ShowModal();
    });
}

void WxUserPrompts::ShowError(const std::u16string& title, const std::u16string& text) {
    bridge_.Invoke([&] {
        state_.m_strMessageTitle = title;
        state_.m_strMessageText = text;
        CMyMessageDialog(nullptr, state_, true).ShowModal();
    });
}

bool WxUserPrompts::SelectSourceVersion(platform::SharedState& state) {
    bool ok = false;
    bridge_.Invoke([&] { ok = CSelectVersionForSQLServer(nullptr, state).ShowModal() == 1; });
    return ok;
}

std::u16string WxUserPrompts::ChooseFolder(const std::u16string& title) {
    std::u16string chosen;
    bridge_.Invoke([&] {
        if (choose_folder) {
            chosen = choose_folder(title);
            return;
        }
        wxDirDialog dialog(wxTheApp ? wxTheApp->GetTopWindow() : nullptr, ToWx(title), wxString(),
                           wxDD_DEFAULT_STYLE | wxDD_DIR_MUST_EXIST);
        if (dialog.ShowModal() == wxID_OK) chosen = FromWx(dialog.GetPath());
    });
    return chosen;
}

bool WxUserPrompts::AskServerEdition(bool& embedded) {
    bool ok = false;
    bridge_.Invoke([&] {
        CSqlServerEditon dialog(wxTheApp ? wxTheApp->GetTopWindow() : nullptr);
        ok = dialog.ShowModal() == 1;
        if (ok) embedded = dialog.Embedded();
    });
    return ok;
}

bool WxUserPrompts::AskServer(bool embedded, platform::ServerChoice& choice) {
    bool ok = false;
    bridge_.Invoke([&] {
        CServerInstance dialog(wxTheApp ? wxTheApp->GetTopWindow() : nullptr, state_, embedded, choice);
        ok = dialog.ShowModal() == 1;
    });
    return ok;
}

}  // namespace ui
