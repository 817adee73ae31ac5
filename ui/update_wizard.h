// The update wizard: a welcome page, a page that asks the update server for a newer version, and a page that
// downloads the new package and checks it against the signed update information. The check and the download
// run on a worker thread that reaches the pages only through the application's bridge; Cancel stops and joins
// the worker before the pages go. The downloaded package is never run: the last page names the file and gives
// a command that checks its signed SHA-256 and installs it, and Finish only closes the wizard.
#pragma once

#include <wx/activityindicator.h>
#include <wx/gauge.h>
#include <wx/stattext.h>
#include <wx/wizard.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "update/auto_updater.h"

namespace ui {

class CBrindlemoorApp;

struct UpdateSettings {
    std::string base_url;      // "[update] base_url"; empty: no update server configured
    std::string upgrade_page;  // "[update] upgrade_page": the "Visit upgrade page" link
    std::filesystem::path download_folder = update::CAutoUpdater::DefaultDownloadFolder();
};

class CUpdatePropertySheet : public wxWizard {
public:
    CUpdatePropertySheet(wxWindow* parent, CBrindlemoorApp& app, update::CAutoUpdater& updater,
                         UpdateSettings settings);
    ~CUpdatePropertySheet() override;

    // Runs the wizard modally from the welcome page; true when it ended with Finish.
    bool Run();

    wxWizardPageSimple* StartPage() const { return start_; }
    wxWizardPageSimple* CheckPage() const { return check_; }
    wxWizardPageSimple* DownloadPage() const { return download_; }

    // For tests and screenshots: a control's text by its number, whether it is shown, the buttons' states.
    wxString ControlText(int id) const;
    bool IsControlShown(int id) const;
    bool IsNextEnabled() const;
    bool IsBackEnabled() const;
    bool IsBackShown() const;
    bool IsCancelShown() const;
    bool IsIndicatorRunning() const;
    // The worker has finished its check or download (or none was started).
    bool IsWorkerIdle() const { return worker_idle_; }
    int LastCheckResult() const { return check_result_; }
    int LastDownloadResult() const { return download_result_; }

    // Cancel, as the button and the close box give it: stops the worker, then the wizard ends.
    void StopWorker();

private:
    void OnPageChanged(wxWizardEvent& event);
    void OnPageChanging(wxWizardEvent& event);
    void OnCancel(wxWizardEvent& event);
    void StartCheck();
    void ShowCheckResult(int result, const std::u16string& offered);
    void StartDownload();
    void ShowDownloadProgress(const update::DownloadProgress& progress);
    void ShowDownloadResult(int result, const std::string& error, const std::filesystem::path& file,
                            const std::string& sha256);
    // Runs `work` on the user-interface thread through the bridge, unless the wizard has been cancelled.
    void ShowOnUiThread(const std::function<void()>& work);
    void SetButtons(bool back, bool next);

    CBrindlemoorApp& app_;
    update::CAutoUpdater& updater_;
    UpdateSettings settings_;
    wxWizardPageSimple* start_ = nullptr;
    wxWizardPageSimple* check_ = nullptr;
    wxWizardPageSimple* download_ = nullptr;
    wxActivityIndicator* indicator_ = nullptr;
    wxGauge* gauge_ = nullptr;
    std::thread worker_;
    std::atomic<bool> worker_idle_{true};
    std::atomic<bool> cancel_{false};
    bool download_verified_ = false;
    int check_result_ = -1;
    int download_result_ = -1;
};

// The Updates button: the wizard with the settings file's update server. Nothing downloaded is run, and the
// program goes on.
void RunUpdateWizard(wxWindow* parent, CBrindlemoorApp& app);

}  // namespace ui
