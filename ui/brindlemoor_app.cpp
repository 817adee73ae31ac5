// Start-up and shut-down of the program.
#include "ui/brindlemoor_app.h"

#include <wx/image.h>
#include <wx/utils.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/url_launcher.h"
#include "ui/log_dialog.h"
#include "ui/main_dialog.h"

namespace ui {

namespace {

// Where the single-instance lock lives: the user's runtime folder, else the program's cache folder; never a
// visible file in the home folder.
wxString InstanceLockFolder() {
    namespace fs = std::filesystem;
    std::error_code error;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && runtime[0] == '/' &&
                                                             fs::is_directory(runtime, error)) {
        return wxString::FromUTF8(runtime);
    }
    fs::path cache;
    if (const char* x = std::getenv("XDG_CACHE_HOME"); x && x[0] == '/') {
        cache = x;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        cache = fs::path(home) / ".cache";
    } else {
        cache = fs::temp_directory_path(error);
    }
    cache /= "brindlemoor";
    fs::create_directories(cache, error);
    return wxString::FromUTF8(cache.string());
}

}  // namespace

CBrindlemoorApp::CBrindlemoorApp() : m_prompts(m_bridge, *this) {}

CBrindlemoorApp::~CBrindlemoorApp() = default;

bool CBrindlemoorApp::OnInit() {
    // No command line: the base class's option parsing is not wanted.
    return true;
}

int CBrindlemoorApp::OnRun() {
    InitInstance();
    return 0;
}

int CBrindlemoorApp::OnExit() { return ExitInstance(); }

void CBrindlemoorApp::CreateLogWindow() {
    if (m_dlgLog == nullptr) m_dlgLog = new CLogDialog(nullptr, *this, *this);
}

bool CBrindlemoorApp::InitInstance() {
    wxInitAllImageHandlers();
    // Links that pass the launcher's check open in the desktop's browser or mail program.
    platform::UrlLauncher::SetOpener(
        [](const std::string& url) { return wxLaunchDefaultBrowser(wxString::FromUTF8(url)); });
    m_pUpdater = std::make_unique<update::CAutoUpdater>();
    SetVendorName("Local AppWizard-Generated Applications");

    // One instance per user: a second start ends here, silently.
    instance_checker_ = std::make_unique<wxSingleInstanceChecker>();
    if (!instance_checker_->Create("SharePointApp", InstanceLockFolder()) || instance_checker_->IsAnotherRunning()) {
        return false;
    }

    CBrindlemoorDlg dialog(*this);
    SetTopWindow(&dialog);
    CreateLogWindow();
    dialog.ShowModal();
    SetTopWindow(nullptr);
    return false;
}

int CBrindlemoorApp::ExitInstance() {
    // Workers still waiting on a sent message return; nothing is delivered any more.
    m_bridge.Close();
    m_pUpdater.reset();
    if (m_dlgLog != nullptr) {
        m_dlgLog->Destroy();
        m_dlgLog = nullptr;
    }
    return wxApp::OnExit();
}

void CBrindlemoorApp::EndProcessNow() {
    m_bridge.Close();
    m_pUpdater.reset();
    std::_Exit(0);
}

}  // namespace ui
