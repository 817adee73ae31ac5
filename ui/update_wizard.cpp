// The update wizard's pages, its worker and the Updates button.
#include "ui/update_wizard.h"

#include <wx/app.h>
#include <wx/button.h>
#include <wx/dcmemory.h>
#include <wx/sizer.h>
#include <wx/textctrl.h>

#include <chrono>

#include "app/button_look.h"
#include "platform/config_file.h"
#include "platform/text.h"
#include "platform/url_launcher.h"
#include "ui/brindlemoor_app.h"
#include "ui/dialog_style.h"

namespace ui {

namespace {

constexpr int kIdStartTitle = 1084;
constexpr int kIdStartMaker = 1083;
constexpr int kIdCheckTitle = 1074;
constexpr int kIdCheckMaker = 1073;
constexpr int kIdCheckStatus = 1075;
constexpr int kIdMajorNotice = 1076;
constexpr int kIdIndicator = 1069;
constexpr int kIdUpgradeLink = 1077;
constexpr int kIdDownloadTitle = 1079;
constexpr int kIdDownloadStatus = 1081;
constexpr int kIdDownloadFile = 1051;
constexpr int kIdElapsed = 1055;
constexpr int kIdRate = 1052;
constexpr int kIdGauge = 1082;
constexpr int kIdDownloadMaker = 1078;
constexpr int kIdDownloadResult = 1090;
constexpr int kIdInstallCommand = 1091;

constexpr int kGaugeRange = 1000;

const char16_t kSearching[] = u"Tembrel Update Wizard is searching for latest updates available online.";
const char16_t kNoConnection[] = u"Connection to server could not be established. Please try later.";
const char16_t kNotConfigured[] =
    u"No update server is configured. Add base_url to the [update] section of the settings file.";
const char16_t kNoSigningKey[] =
    u"Updates are not configured in this build: it holds no key to check the maker's signature with, so no "
    u"update server is asked. Get new versions from Quorvane directly.";

// The check page's heading once the check has ended.
const char* CheckHeading(int result) {
    using namespace update;
    switch (result) {
        case kCheckNewer:
        case kCheckNewerAndSecond: return "Update available";
        case kCheckNewMajor: return "New major release";
        case kCheckUpToDate: return "No update needed";
        case kCheckNotConfigured:
        case kCheckNoSigningKey: return "Updates not configured";
        default: return "Update check failed";
    }
}

// "A new update  is available. Click Next to proceed further." with the version between the two blanks.
std::u16string NewUpdateText(const std::u16string& version) {
    std::u16string text = u"A new update  is available. Click Next to proceed further.";
    text.insert(13, version);
    return text;
}

wxFont TitleFont() {
    wxFont font = ArialFont(30, 700);
    font.MakeItalic();
    font.MakeUnderlined();
    return font;
}

wxFont MakerFont() {
    wxFont font = ArialFont(16, 700);
    font.MakeItalic();
    return font;
}

// The picture on the left of every page: the program's accent colour with the wizard's name.
wxBitmap SidePicture() {
    wxBitmap bitmap(149, 330);
    wxMemoryDC dc(bitmap);
    dc.SetBackground(wxBrush(ToWx(app::kButtonAccent)));
    dc.Clear();
    dc.SetTextForeground(*wxWHITE);
    dc.SetFont(ArialFont(18, 700));
    dc.DrawText("Brindlemoor", 12, 24);
    dc.SetFont(ArialFont(14, 400));
    dc.DrawText("Update Wizard", 12, 52);
    dc.SelectObject(wxNullBitmap);
    return bitmap;
}

// A page with its title (two lines high when `title_lines` is 2) and the maker's title at the bottom.
wxWizardPageSimple* NewPage(wxWizard* sheet, int title_id, const char* title, int maker_id, int title_lines = 1) {
    auto* page = new wxWizardPageSimple(sheet);
    page->SetBackgroundColour(ToWx(app::kBackgroundColour));
    AddText(page, title_id, wxString::FromUTF8(title), 0, 0, 210, 22 * title_lines, TitleFont());
    AddText(page, maker_id, "  Update Wizard\n\nQuorvane", 0, 150, 120, 30, MakerFont());
    return page;
}

}  // namespace

CUpdatePropertySheet::CUpdatePropertySheet(wxWindow* parent, CBrindlemoorApp& app, update::CAutoUpdater& updater,
                                           UpdateSettings settings)
    : wxWizard(parent, wxID_ANY, "Update Wizard", wxBitmapBundle(SidePicture())),
      app_(app),
      updater_(updater),
      settings_(std::move(settings)) {
    SetBackgroundColour(ToWx(app::kBackgroundColour));
    SetFont(TemplateFont());

    start_ = NewPage(this, kIdStartTitle, "Welcome to the Tembrel update wizard", kIdStartMaker, 2);
    AddText(start_, wxID_ANY,
            "Update wizard checks for the latest updates available and updates product if a newer version is "
            "available online.",
            0, 50, 210, 26);
    AddText(start_, wxID_ANY,
            "It is strongly recommended that you close all other running applications before clicking 'Next'. "
            "This will help prevent any conflict during the update process.",
            0, 80, 210, 34);
    AddText(start_, wxID_ANY, "Click Next to continue...", 0, 122, 210, 10);

    check_ = NewPage(this, kIdCheckTitle, "Checking for updates...", kIdCheckMaker);
    AddText(check_, kIdCheckStatus, ToWx(kSearching), 0, 34, 210, 30);
    AddText(check_, kIdMajorNotice,
            "A new major release is available.You need to pay to upgrade to new version.", 0, 70, 210, 20)
        ->Hide();
    wxFont link_font = TemplateFont();
    link_font.SetUnderlined(true);
    auto* link = AddText(check_, kIdUpgradeLink, "Visit upgrade page", 0, 94, 80, 10, link_font);
    link->SetForegroundColour(wxColour(0, 0, 0xFF));
    link->SetCursor(wxCursor(wxCURSOR_HAND));
    link->Bind(wxEVT_LEFT_UP, [this](wxMouseEvent&) { platform::UrlLauncher::Open(settings_.upgrade_page); });
    link->Hide();
    indicator_ = new wxActivityIndicator(check_, kIdIndicator, DluPoint(0, 112), wxSize(32, 32));

    download_ = NewPage(this, kIdDownloadTitle, "Downloading files...", kIdDownloadMaker);
    AddText(download_, kIdDownloadStatus, "Saving file:", 0, 30, 210, 10);
    AddText(download_, kIdDownloadFile, wxString(), 0, 42, 210, 10);
    AddText(download_, wxID_ANY, "Time elapsed:", 0, 56, 60, 10);
    AddText(download_, kIdElapsed, wxString(), 62, 56, 148, 10);
    AddText(download_, wxID_ANY, "Transfer rate:", 0, 68, 60, 10);
    AddText(download_, kIdRate, wxString(), 62, 68, 148, 10);
    gauge_ = new wxGauge(download_, kIdGauge, kGaugeRange, DluPoint(0, 82), DluSize(210, 10));
    AddText(download_, kIdDownloadResult, wxString(), 0, 96, 210, 18);
    // The install command in a read-only box, so it can be copied whole.
    auto* command = new wxTextCtrl(download_, kIdInstallCommand, wxString(), DluPoint(0, 114), DluSize(210, 34),
                                   wxTE_MULTILINE | wxTE_READONLY | wxTE_BESTWRAP);
    command->Hide();

    wxWizardPageSimple::Chain(start_, check_);
    wxWizardPageSimple::Chain(check_, download_);
    GetPageAreaSizer()->Add(start_);
    SetPageSize(DluSize(210, 180));

    Bind(wxEVT_WIZARD_PAGE_CHANGED, &CUpdatePropertySheet::OnPageChanged, this);
    Bind(wxEVT_WIZARD_PAGE_CHANGING, &CUpdatePropertySheet::OnPageChanging, this);
    Bind(wxEVT_WIZARD_CANCEL, &CUpdatePropertySheet::OnCancel, this);
    Bind(wxEVT_WIZARD_HELP, [](wxWizardEvent&) {});  // Help does nothing
    app_.m_bUpdateCancelled = false;
}

CUpdatePropertySheet::~CUpdatePropertySheet() { StopWorker(); }

bool CUpdatePropertySheet::Run() { return RunWizard(start_); }

void CUpdatePropertySheet::StopWorker() {
    if (!worker_.joinable()) return;
    if (!worker_idle_) {
        cancel_ = true;
        app_.m_bUpdateCancelled = true;
    }
    // The worker may be waiting for the user-interface thread to show its last result: let that run (it does
    // nothing once cancelled), then join.
    while (!worker_idle_) {
        if (wxTheApp != nullptr) wxTheApp->ProcessPendingEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    worker_.join();
}

void CUpdatePropertySheet::ShowOnUiThread(const std::function<void()>& work) {
    app_.m_bridge.Invoke([this, work] {
        if (!cancel_) work();
    });
}

void CUpdatePropertySheet::SetButtons(bool back, bool next) {
    // The wizard sets Back itself after the page-changed event: apply the wanted state after it.
    CallAfter([this, back, next] {
        m_btnPrev->Enable(back);
        m_btnNext->Enable(next);
    });
}

void CUpdatePropertySheet::OnPageChanged(wxWizardEvent& event) {
    if (event.GetPage() == start_) {
        SetButtons(false, true);
    } else if (event.GetPage() == check_) {
        StartCheck();
    } else if (event.GetPage() == download_) {
        m_btnPrev->Hide();  // no way back once the download has started
        gauge_->SetValue(0);
        StartDownload();
    }
}

void CUpdatePropertySheet::OnPageChanging(wxWizardEvent& event) {
    // Finish only after a verified download; Back only on the check page once its check has ended.
    if (event.GetPage() == download_ && !download_verified_) event.Veto();
    if (event.GetPage() == check_ && !worker_idle_) event.Veto();
}

void CUpdatePropertySheet::OnCancel(wxWizardEvent& event) {
    StopWorker();
    app_.m_bUpdateCancelled = true;
    event.Skip();
}

wxString CUpdatePropertySheet::ControlText(int id) const {
    const wxWindow* item = FindWindow(id);
    if (const auto* box = dynamic_cast<const wxTextCtrl*>(item)) return box->GetValue();
    return item != nullptr ? item->GetLabel() : wxString();
}

bool CUpdatePropertySheet::IsControlShown(int id) const {
    const wxWindow* item = FindWindow(id);
    return item != nullptr && item->IsShown();
}

bool CUpdatePropertySheet::IsNextEnabled() const { return m_btnNext->IsEnabled(); }
bool CUpdatePropertySheet::IsBackEnabled() const { return m_btnPrev->IsEnabled(); }
bool CUpdatePropertySheet::IsBackShown() const { return m_btnPrev->IsShown(); }
bool CUpdatePropertySheet::IsCancelShown() const {
    const wxWindow* cancel = FindWindow(wxID_CANCEL);
    return cancel != nullptr && cancel->IsShown();
}
bool CUpdatePropertySheet::IsIndicatorRunning() const { return indicator_->IsRunning(); }

void CUpdatePropertySheet::StartCheck() {
    if (worker_.joinable()) worker_.join();  // an earlier check has ended (Back waits for it)
    cancel_ = false;
    worker_idle_ = false;
    FindWindow(kIdCheckTitle)->SetLabel("Checking for updates...");
    FindWindow(kIdCheckStatus)->SetLabel(ToWx(kSearching));
    FindWindow(kIdMajorNotice)->Hide();
    FindWindow(kIdUpgradeLink)->Hide();
    indicator_->Start();
    SetButtons(false, false);
    worker_ = std::thread([this, base = settings_.base_url] {
        const int result = updater_.CheckForUpdate(base, &cancel_);
        const std::u16string offered = updater_.OfferedVersion();
        ShowOnUiThread([this, result, offered] { ShowCheckResult(result, offered); });
        worker_idle_ = true;
    });
}

void CUpdatePropertySheet::ShowCheckResult(int result, const std::u16string& offered) {
    using namespace update;
    check_result_ = result;
    std::u16string text;
    bool notice = false;
    bool next = false;
    switch (result) {
        case kCheckNewer: text = NewUpdateText(offered); next = true; break;
        case kCheckNewMajor: text = u"Version " + offered + u" is a new major release."; notice = true; break;
        case kCheckNewerAndSecond: text = NewUpdateText(offered); notice = true; next = true; break;
        case kCheckNoConnection: text = kNoConnection; break;
        case kCheckNotFound:
            text = u"The update information was not found on the update server. Please try later.";
            break;
        case kCheckUpToDate: text = u"This application is updated."; break;
        case kCheckNoInstalledVersion:
            text = u"The installed version is not known, so no update can be offered.";
            break;
        case kCheckNotConfigured: text = kNotConfigured; break;
        case kCheckNoSigningKey: text = kNoSigningKey; break;
        case kCheckNotSigned:
            text = u"The update server's version information is not signed by Quorvane (its signature is missing "
                   u"or wrong), so no update is offered.";
            break;
        default: text = u"The update server's answer could not be read. Please try later."; break;
    }
    indicator_->Stop();
    FindWindow(kIdCheckTitle)->SetLabel(CheckHeading(result));
    FindWindow(kIdCheckStatus)->SetLabel(ToWx(text));
    FindWindow(kIdMajorNotice)->Show(notice);
    FindWindow(kIdUpgradeLink)->Show(notice);
    SetButtons(true, next);
}

void CUpdatePropertySheet::StartDownload() {
    if (worker_.joinable()) worker_.join();
    cancel_ = false;
    worker_idle_ = false;
    download_verified_ = false;
    FindWindow(kIdDownloadTitle)->SetLabel("Downloading files...");
    FindWindow(kIdDownloadResult)->SetLabel(wxString());
    FindWindow(kIdInstallCommand)->Hide();
    SetButtons(false, false);
    worker_ = std::thread([this, base = settings_.base_url, folder = settings_.download_folder] {
        auto last_shown = std::chrono::steady_clock::now() - std::chrono::seconds(1);
        std::u16string last_status;
        update::DownloadProgress latest;
        bool latest_shown = true;
        const int result =
            updater_.DownloadUpdate(base, folder, cancel_, [&](const update::DownloadProgress& progress) {
                // Every step is shown; the blocks of one step at most ten times a second.
                latest = progress;
                latest_shown = false;
                const auto now = std::chrono::steady_clock::now();
                if (progress.status_text == last_status && now - last_shown < std::chrono::milliseconds(100)) {
                    return;
                }
                last_shown = now;
                last_status = progress.status_text;
                latest_shown = true;
                ShowOnUiThread([this, progress] { ShowDownloadProgress(progress); });
            });
        if (!latest_shown) ShowOnUiThread([this, latest] { ShowDownloadProgress(latest); });
        const std::string error = updater_.LastError();
        const std::filesystem::path file = updater_.DownloadedFile();
        const std::string sha256 = updater_.DownloadedSha256();
        ShowOnUiThread([this, result, error, file, sha256] { ShowDownloadResult(result, error, file, sha256); });
        worker_idle_ = true;
    });
}

void CUpdatePropertySheet::ShowDownloadProgress(const update::DownloadProgress& progress) {
    FindWindow(kIdDownloadStatus)->SetLabel(ToWx(progress.status_text));
    FindWindow(kIdDownloadFile)->SetLabel(ToWx(progress.file_text));
    FindWindow(kIdElapsed)->SetLabel(ToWx(progress.time_text));
    FindWindow(kIdRate)->SetLabel(ToWx(progress.rate_text));
    if (progress.expected && *progress.expected > 0) {
        gauge_->SetValue(static_cast<int>(std::min<std::uint64_t>(progress.done, *progress.expected) * kGaugeRange /
                                          *progress.expected));
    } else if (progress.done > 0) {
        gauge_->Pulse();
    }
}

void CUpdatePropertySheet::ShowDownloadResult(int result, const std::string& error,
                                              const std::filesystem::path& file, const std::string& sha256) {
    using namespace update;
    download_result_ = result;
    std::u16string status;
    std::u16string text;
    std::string command;
    switch (result) {
        case kDownloaded: {
            command = InstallCommand(file.string(), sha256);
            status = u"Download completed";
            text = u"Version " + updater_.OfferedVersion() +
                   u" was saved, not installed. Close Brindlemoor, then run this command; it checks the signed "
                   u"SHA-256 first:";
            break;
        }
        case kDownloadNoConnection: status = u"Download failed"; text = kNoConnection; break;
        case kDownloadNotFound:
            status = u"Download failed";
            text = u"The update package was not found on the update server. Please try later.";
            break;
        case kDownloadDamaged:
            status = u"Download failed";
            text = u"The downloaded file does not match the signed update information (its size or SHA-256 "
                   u"differ) and has been deleted. Nothing was installed.";
            break;
        case kDownloadNotConfigured: status = u"Download failed"; text = kNotConfigured; break;
        case kDownloadNoSigningKey: status = u"Download failed"; text = kNoSigningKey; break;
        case kDownloadNotSigned:
            status = u"Download failed";
            text = u"The update information is not signed by Quorvane (its signature is missing or wrong), so "
                   u"nothing was downloaded.";
            break;
        case kDownloadNotOffered:
            status = u"Download failed";
            text = u"The signed update information offers no newer version than the installed one, so nothing was "
                   u"downloaded (an older or equal version is never installed).";
            break;
        default:
            status = u"Download failed";
            text = u"The download failed: " + platform::FromUtf8(error);
            break;
    }
    FindWindow(kIdDownloadTitle)->SetLabel(result == kDownloaded ? "Download completed" : "Download failed");
    FindWindow(kIdDownloadStatus)->SetLabel(ToWx(status));
    auto* result_text = static_cast<wxStaticText*>(FindWindow(kIdDownloadResult));
    result_text->SetLabel(ToWx(text));
    result_text->Wrap(DluX(210));
    auto* command_box = static_cast<wxTextCtrl*>(FindWindow(kIdInstallCommand));
    command_box->ChangeValue(wxString::FromUTF8(command));
    command_box->Show(!command.empty());
    if (result == kDownloaded) {
        gauge_->SetValue(kGaugeRange);
        download_verified_ = true;
        FindWindow(wxID_CANCEL)->Hide();
        SetButtons(false, true);
    } else {
        gauge_->SetValue(0);
        SetButtons(false, false);
    }
}

void RunUpdateWizard(wxWindow* parent, CBrindlemoorApp& app) {
    const auto config = platform::ConfigFile::Load();
    UpdateSettings settings;
    settings.base_url = config.GetOr("update", "base_url", {});
    settings.upgrade_page = config.GetOr("update", "upgrade_page", {});
    if (!app.m_pUpdater) app.m_pUpdater = std::make_unique<update::CAutoUpdater>();
    app.m_bUpdateBusy = true;
    {
        CUpdatePropertySheet sheet(parent, app, *app.m_pUpdater, std::move(settings));
        sheet.Run();
        if (sheet.LastDownloadResult() == update::kDownloaded) {
            app.m_strDownloadedSetup = platform::FromUtf8(app.m_pUpdater->DownloadedFile().string());
        }
    }
    app.m_bUpdateBusy = false;
}

}  // namespace ui
