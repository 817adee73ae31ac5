// CLogDialog: the log window. One instance, created hidden at start-up, collects the lines that the jobs
// report; View Log opens a second, modal instance that shows the application's copy of the log and can clear
// it or save it as "Brindlemoor.log".
#pragma once

#include <functional>
#include <optional>
#include <filesystem>

#include "app/log_text.h"
#include "ui/color_button.h"
#include "ui/dialog_style.h"
#include "ui/read_only_edit.h"

namespace platform {
struct SharedState;
}
namespace app {
struct AppFields;
}

namespace ui {

class CLogDialog : public CPaleDialog {
public:
    CLogDialog(wxWindow* parent, platform::SharedState& state, app::AppFields& fields);

    // Appends a line at the end of the edit box (after a line break unless `no_break`).
    void AppendLine(const std::u16string& text, bool no_break);
    // Appends the state's current log line (m_strLogLine).
    void AppendCurrentLine(bool no_break);
    // Replaces the edit box's text (View Log resets the running log to the header).
    void SetLogText(const std::u16string& text);
    std::u16string EditText() const { return edit_model_.Text(); }

    void OnClearLog();
    void OnSaveLog();

    // The folder picker of Save Log; tests replace it. Returns none on Cancel.
    std::function<std::optional<std::filesystem::path>()> pick_folder;

private:
    void OnButton(wxCommandEvent& event);
    void EnableLogButtons(bool enable);

    platform::SharedState& state_;
    app::AppFields& fields_;
    app::LogEdit edit_model_;
    CReadOnlyEdit* edit_ = nullptr;
};

}  // namespace ui
