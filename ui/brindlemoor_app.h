// CBrindlemoorApp: the program's one application object. It is the home of the shared state (the engine's
// part, platform::SharedState, and the application's own fields) and of the objects that live as long as the
// program: the worker-message bridge, the update object, the hidden log window and the single-instance lock.
#pragma once

#include <wx/app.h>
#include <wx/snglinst.h>
#include <wx/treebase.h>

#include <memory>

#include "app/app_fields.h"
#include "platform/shared_state.h"
#include "ui/ui_bridge.h"
#include "ui/user_prompts.h"
#include "update/auto_updater.h"

namespace ui {

class CLogDialog;

class CBrindlemoorApp : public wxApp, public platform::SharedState, public app::AppFields {
public:
    CBrindlemoorApp();
    ~CBrindlemoorApp() override;

    // Start-up: the update object, the single-instance lock "SharePointApp" (a second instance ends here
    // without a window), the hidden log window, then the main dialog run modally. Returns false always: no
    // message loop follows the main dialog.
    bool InitInstance();
    // Shut-down: deletes the update object and the log window; returns the exit code.
    int ExitInstance();

    // Creates the hidden running log window (start-up; tests call it directly).
    void CreateLogWindow();
    // The main dialog's Exit when a job would not end: deletes the update object and ends the process
    // without running further shut-down code.
    [[noreturn]] void EndProcessNow();

    bool OnInit() override;
    int OnRun() override;
    int OnExit() override;

    CLogDialog* m_dlgLog = nullptr;
    std::unique_ptr<update::CAutoUpdater> m_pUpdater;
    wxWindow* m_pMainDialog = nullptr;
    wxTreeItemId m_hTreeRoot;
    UiBridge m_bridge;
    WxUserPrompts m_prompts;

private:
    std::unique_ptr<wxSingleInstanceChecker> instance_checker_;
};

}  // namespace ui

wxDECLARE_APP(ui::CBrindlemoorApp);
