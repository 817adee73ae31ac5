// The log window's set-up, appends, Clear Log and Save Log.
#include "ui/log_dialog.h"

#include <wx/dirdlg.h>

#include "app/app_fields.h"
#include "app/control_ids.h"
#include "app/log_file.h"
#include "platform/shared_state.h"
#include "ui/message_dialogs.h"

namespace ui {

CLogDialog::CLogDialog(wxWindow* parent, platform::SharedState& state, app::AppFields& fields)
    : CPaleDialog(parent, "Message Log", 370, 268), state_(state), fields_(fields) {
    edit_ = new CReadOnlyEdit(this, app::kIdLogEdit, DluPoint(7, 7), DluSize(356, 230),
                              wxTE_MULTILINE | wxHSCROLL | wxVSCROLL | wxTE_DONTWRAP | wxBORDER_SUNKEN);
    new CColorButton(this, app::kIdClearLog, "Clear Log", DluPoint(7, 245), DluSize(60, 15));
    new CColorButton(this, app::kIdSaveLog, "Save Log", DluPoint(155, 245), DluSize(60, 15));
    new CColorButton(this, app::kIdCloseLog, "Close", DluPoint(303, 245), DluSize(60, 15));
    SetDefaultResult(app::kIdClearLog);
    Bind(wxEVT_BUTTON, &CLogDialog::OnButton, this);

    edit_->SetBackgroundColor(app::kWhite);
    edit_->SetTextColor(app::Rgb{0, 0, 0});
    bool buttons_enabled = false;
    SetLogText(app::PrepareLogWindow(state_, fields_, buttons_enabled));
    EnableLogButtons(buttons_enabled);

    pick_folder = [this]() -> std::optional<std::filesystem::path> {
        wxDirDialog dialog(this, "Select a folder to save log file", wxEmptyString, wxDD_DEFAULT_STYLE);
        if (dialog.ShowModal() != wxID_OK) return std::nullopt;
        return std::filesystem::path(dialog.GetPath().utf8_string());
    };
}

void CLogDialog::EnableLogButtons(bool enable) {
    FindWindow(app::kIdClearLog)->Enable(enable);
    FindWindow(app::kIdSaveLog)->Enable(enable);
}

void CLogDialog::SetLogText(const std::u16string& text) {
    edit_model_.SetText(text);
    edit_->ChangeValue(ToWx(text));
}

void CLogDialog::AppendLine(const std::u16string& text, bool no_break) {
    const std::size_t before_size = edit_model_.Text().size();
    edit_model_.AppendLine(state_, text, no_break);
    edit_->SetInsertionPointEnd();
    edit_->AppendText(ToWx(std::u16string_view(edit_model_.Text()).substr(before_size)));
}

void CLogDialog::AppendCurrentLine(bool no_break) { AppendLine(state_.m_strLogLine, no_break); }

void CLogDialog::OnClearLog() {
    edit_model_.SetText({});
    edit_->ChangeValue(wxString());
    AppendLine(std::u16string(app::kLogTitle), true);
    AppendLine(u"\r\n" + std::u16string(app::kLogSeparator), true);
    EnableLogButtons(false);
}

void CLogDialog::OnSaveLog() {
    app::SaveLogQuestions questions;
    questions.pick_folder = pick_folder;
    questions.confirm_overwrite = [this] { return CFileExist(this).ShowModal() == app::kIdOk; };
    questions.show_error = [this](const std::u16string& error) {
        state_.m_strMessageText = error;
        state_.m_strMessageTitle.clear();
        CMyMessageDialog(this, state_).ShowModal();
    };
    app::SaveLog(questions, edit_model_.Text());
}

void CLogDialog::OnButton(wxCommandEvent& event) {
    switch (event.GetId()) {
        case app::kIdClearLog:
            OnClearLog();
            break;
        case app::kIdSaveLog:
            OnSaveLog();
            break;
        case app::kIdCloseLog:
            EndWith(app::kIdOk);
            break;
        default:
            event.Skip();
    }
}

}  // namespace ui
