// The update wizard in a real window against the loopback server: the pages and their texts for each check
// result, a download that ends with the file named and never run, a damaged download, Cancel while the worker
// runs, the upgrade link through the launcher, and the Updates button.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include <wx/button.h>

#include "app/control_ids.h"
#include "platform/url_launcher.h"
#include "tests/support/loopback_http.h"
#include "tests/support/page_builder.h"
#include "tests/support/sha256.h"
#include "tests/support/signing_key.h"
#include "tests/ui/gui_harness.h"
#include "ui/brindlemoor_app.h"
#include "ui/main_dialog.h"
#include "ui/update_wizard.h"

namespace {

using namespace guitest;
using namespace testsupport;
using ui::CUpdatePropertySheet;

void PressButton(wxWindow& sheet, int id) {
    wxWindow* button = sheet.FindWindow(id);
    ASSERT_NE(button, nullptr);
    wxCommandEvent press(wxEVT_BUTTON, id);
    press.SetEventObject(button);
    button->GetEventHandler()->ProcessEvent(press);
}

// One wizard against the loopback server, run modally; `act` drives it once it is open.
class WizardTest : public testing::Test {
protected:
    void SetUp() override {
        updater_.SetInstalledVersion(u"1.0.0.1");
        updater_.signing_key = key_.PublicKey();
        updater_.check_limits.connect_seconds = 2;
        updater_.check_limits.total_seconds = 2;
        updater_.download_limits.low_speed_bytes = 1;
        updater_.download_limits.low_speed_seconds = 2;
        settings_.base_url = server_.BaseUrl() + "/upgrade/";
        settings_.upgrade_page = "https://updates.example/upgrade";
        settings_.download_folder = dir_ / "updates";
    }

    bool Run(const std::function<void(CUpdatePropertySheet&)>& act) {
        CUpdatePropertySheet sheet(nullptr, App(), updater_, settings_);
        WhenModalOpens<CUpdatePropertySheet>([&](CUpdatePropertySheet& open) {
            Pump(50);
            act(open);
            if (open.IsModal()) PressButton(open, wxID_CANCEL);  // a test that leaves it open ends it
        }, 30000);
        return sheet.Run();
    }

    // Next from the welcome page, then waits for the check's result to be shown.
    static void CheckFromWelcome(CUpdatePropertySheet& sheet) {
        PressButton(sheet, wxID_FORWARD);
        EXPECT_TRUE(WaitUntil([&] { return sheet.IsWorkerIdle() && sheet.LastCheckResult() != -1; }, 10000));
        Pump(50);
    }

    static void DownloadFromCheck(CUpdatePropertySheet& sheet) {
        PressButton(sheet, wxID_FORWARD);
        EXPECT_TRUE(WaitUntil([&] { return sheet.IsWorkerIdle() && sheet.LastDownloadResult() != -1; }, 10000));
        Pump(50);
    }

    // Serves `route` at `path` with the test key's signature of its body beside it.
    void Serve(const std::string& path, const HttpRoute& route) {
        server_.Route(path, route);
        server_.Route(path + ".sig", Ok(key_.Sign(route.body)));
    }

    LoopbackHttpServer server_;
    const TestSigningKey key_;
    testsupport::TempDir dir_;
    update::CAutoUpdater updater_;
    ui::UpdateSettings settings_;
};

TEST_F(WizardTest, NewVersionDownloadedCheckedAndNamedNeverRun) {
    const std::string package(300000, 'k');
    Serve(kVersionPath, Ok("1.0.0.2 Faster scans\n"));
    Serve(kPackagePath, Ok(package));
    server_.Route(kChecksumPath, Ok(Sha256Of(package) + "  brindlemoor.deb\n"));

    const bool finished = Run([&](CUpdatePropertySheet& sheet) {
        EXPECT_EQ(sheet.GetCurrentPage(), sheet.StartPage());
        EXPECT_FALSE(sheet.IsBackEnabled());
        EXPECT_FALSE(SaveScreenshot(sheet, "update_wizard_welcome").empty());

        CheckFromWelcome(sheet);
        EXPECT_EQ(sheet.ControlText(1075), "A new update 1.0.0.2 is available. Click Next to proceed further.");
        EXPECT_TRUE(sheet.IsNextEnabled());
        EXPECT_TRUE(sheet.IsBackEnabled());
        EXPECT_FALSE(sheet.IsControlShown(1076));
        EXPECT_FALSE(sheet.IsIndicatorRunning());
        EXPECT_FALSE(SaveScreenshot(sheet, "update_wizard_new_version").empty());

        DownloadFromCheck(sheet);
        EXPECT_EQ(sheet.LastDownloadResult(), update::kDownloaded);
        EXPECT_EQ(sheet.ControlText(1081), "Download completed");
        EXPECT_EQ(sheet.ControlText(1051), "brindlemoor.deb from 127.0.0.1");
        const wxString result = sheet.ControlText(1090);
        EXPECT_NE(result.Find(wxString::FromUTF8((settings_.download_folder / "brindlemoor.deb").string())),
                  wxNOT_FOUND);
        EXPECT_NE(result.Find("sudo apt install"), wxNOT_FOUND);
        EXPECT_FALSE(sheet.IsBackShown());
        EXPECT_FALSE(sheet.IsCancelShown());
        EXPECT_TRUE(sheet.IsNextEnabled()) << "Finish after a verified download";
        EXPECT_FALSE(SaveScreenshot(sheet, "update_wizard_downloaded").empty());
        PressButton(sheet, wxID_FORWARD);  // Finish
    });
    EXPECT_TRUE(finished);
    EXPECT_FALSE(App().m_bUpdateCancelled);
    std::ifstream saved(settings_.download_folder / "brindlemoor.deb", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(saved), {}), package);
}

TEST_F(WizardTest, DamagedDownloadIsDeletedAndFinishStaysOff) {
    Serve(kVersionPath, Ok("1.0.0.2 x\n"));
    Serve(kPackagePath, Ok("the package"));
    server_.Route(kChecksumPath, Ok(Sha256Of("another package")));
    const bool finished = Run([&](CUpdatePropertySheet& sheet) {
        CheckFromWelcome(sheet);
        DownloadFromCheck(sheet);
        EXPECT_EQ(sheet.LastDownloadResult(), update::kDownloadDamaged);
        EXPECT_NE(sheet.ControlText(1090).Find("damaged"), wxNOT_FOUND);
        EXPECT_FALSE(sheet.IsNextEnabled()) << "no Finish after a failed download";
        EXPECT_TRUE(sheet.IsCancelShown());
        EXPECT_FALSE(SaveScreenshot(sheet, "update_wizard_bad_checksum").empty());
        // Finish cannot be forced either.
        PressButton(sheet, wxID_FORWARD);
        EXPECT_TRUE(sheet.IsModal());
    });
    EXPECT_FALSE(finished);
    EXPECT_TRUE(App().m_bUpdateCancelled);
    EXPECT_TRUE(std::filesystem::is_empty(settings_.download_folder));
}

// A version file or package the maker did not sign is refused, says so, and leaves nothing to install.
TEST_F(WizardTest, UnsignedFilesAreRefusedAndSaySo) {
    const TestSigningKey other;
    server_.Route(kVersionPath, Ok("1.0.0.2 x\n"));
    server_.Route(kVersionPath + ".sig", Ok(other.Sign("1.0.0.2 x\n")));
    EXPECT_FALSE(Run([&](CUpdatePropertySheet& sheet) {
        CheckFromWelcome(sheet);
        EXPECT_EQ(sheet.LastCheckResult(), update::kCheckNotSigned);
        EXPECT_NE(sheet.ControlText(1075).Find("not signed"), wxNOT_FOUND) << sheet.ControlText(1075);
        EXPECT_FALSE(sheet.IsNextEnabled());
    }));

    const std::string package(20000, 'u');
    Serve(kVersionPath, Ok("1.0.0.2 x\n"));
    server_.Route(kPackagePath, Ok(package));
    server_.Route(kChecksumPath, Ok(Sha256Of(package)));  // the server's own checksum matches what it serves
    server_.Route(kPackagePath + ".sig", Ok(other.Sign(package)));
    EXPECT_FALSE(Run([&](CUpdatePropertySheet& sheet) {
        CheckFromWelcome(sheet);
        DownloadFromCheck(sheet);
        EXPECT_EQ(sheet.LastDownloadResult(), update::kDownloadNotSigned);
        const wxString text = sheet.ControlText(1090);
        EXPECT_NE(text.Find("not signed"), wxNOT_FOUND) << text;
        EXPECT_NE(text.Find("deleted"), wxNOT_FOUND) << text;
        EXPECT_EQ(text.Find("sudo apt install"), wxNOT_FOUND) << text;
        EXPECT_FALSE(sheet.IsNextEnabled()) << "no Finish";
        EXPECT_FALSE(SaveScreenshot(sheet, "update_wizard_not_signed").empty());
    }));
    EXPECT_TRUE(std::filesystem::is_empty(settings_.download_folder));
}

// Each check result's text and controls; none of the failures reads as "all latest updates".
TEST_F(WizardTest, CheckResultsTellFailuresApart) {
    HttpRoute error_500;
    error_500.status = 500;
    struct Case {
        const char* what;
        std::optional<HttpRoute> route;  // none: the version file is not routed (404)
        std::string base;                // empty: the loopback server
        const char* text;
        bool notice;
        bool next;
        const char16_t* installed = u"1.0.0.1";
    };
    const Case cases[] = {
        {"up to date", Ok("1.0.0.1 Same\n"), "", "This application is updated.", false, false},
        {"new major", Ok("2.0.0.0 Major\n"), "", "Version 2.0.0.0 is a new major release.", true, false},
        {"newer and a major", Ok("1.0.0.2 a\n2.0.0.0 b\n"), "",
         "A new update 1.0.0.2 is available. Click Next to proceed further.", true, true},
        {"not found", std::nullopt, "", "was not found", false, false},
        {"server error", error_500, "", "was not found", false, false},
        {"malformed", Ok("1.0.x.1 bad\n"), "", "could not be read", false, false},
        {"closed port", std::nullopt,
         "http://127.0.0.1:" + std::to_string(LoopbackHttpServer::ClosedPort()) + "/upgrade/",
         "Connection to server could not be established. Please try later.", false, false},
        {"no update server", std::nullopt, "-", "No update server is configured.", false, false},
        {"no installed version", Ok("1.0.0.2 x\n"), "", "The installed version is not known", false, false, u""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.route) {
            Serve(kVersionPath, *c.route);
        } else {
            Serve(kVersionPath, [] { HttpRoute r; r.status = 404; return r; }());
        }
        updater_.SetInstalledVersion(c.installed);
        settings_.base_url = c.base.empty() ? server_.BaseUrl() + "/upgrade/" : c.base == "-" ? "" : c.base;
        Run([&](CUpdatePropertySheet& sheet) {
            CheckFromWelcome(sheet);
            const wxString text = sheet.ControlText(1075);
            EXPECT_NE(text.Find(c.text), wxNOT_FOUND) << text;
            EXPECT_EQ(text.Find("all latest updates"), wxNOT_FOUND);
            EXPECT_EQ(sheet.IsControlShown(1076), c.notice);
            EXPECT_EQ(sheet.IsControlShown(1077), c.notice);
            EXPECT_EQ(sheet.IsNextEnabled(), c.next);
            EXPECT_TRUE(sheet.IsBackEnabled());
            EXPECT_FALSE(sheet.IsIndicatorRunning());
            if (std::string(c.what) == "up to date") {
                EXPECT_FALSE(SaveScreenshot(sheet, "update_wizard_up_to_date").empty());
            }
            // Back returns to the welcome page; Next checks again.
            PressButton(sheet, wxID_BACKWARD);
            Pump(50);
            EXPECT_EQ(sheet.GetCurrentPage(), sheet.StartPage());
        });
    }
}

// Cancel while the worker waits on a stalled server or a slow download: the worker is stopped and joined,
// the wizard ends, and no partial file is left.
TEST_F(WizardTest, CancelStopsAndJoinsTheWorker) {
    HttpRoute stall;
    stall.stall = true;
    Serve(kVersionPath, stall);
    EXPECT_FALSE(Run([&](CUpdatePropertySheet& sheet) {
        PressButton(sheet, wxID_FORWARD);
        Pump(100);
        EXPECT_FALSE(sheet.IsWorkerIdle());
        PressButton(sheet, wxID_CANCEL);
        EXPECT_TRUE(sheet.IsWorkerIdle());
    }));

    const std::string package(400000, 's');
    HttpRoute slow = Ok(package);
    slow.drip_bytes = 4096;
    slow.drip_pause = std::chrono::milliseconds(30);
    Serve(kVersionPath, Ok("1.0.0.2 x\n"));
    Serve(kPackagePath, slow);
    server_.Route(kChecksumPath, Ok(Sha256Of(package)));
    EXPECT_FALSE(Run([&](CUpdatePropertySheet& sheet) {
        CheckFromWelcome(sheet);
        PressButton(sheet, wxID_FORWARD);
        EXPECT_TRUE(WaitUntil([&] { return sheet.ControlText(1081) == "Downloading files ..."; }, 10000));
        PressButton(sheet, wxID_CANCEL);
        EXPECT_TRUE(sheet.IsWorkerIdle());
        EXPECT_NE(sheet.LastDownloadResult(), update::kDownloaded);
    }));
    EXPECT_TRUE(App().m_bUpdateCancelled);
    EXPECT_TRUE(std::filesystem::is_empty(settings_.download_folder));
}

TEST_F(WizardTest, UpgradeLinkGoesThroughTheLauncher) {
    std::vector<std::string> opened;
    const auto previous = platform::UrlLauncher::SetOpener([&](const std::string& url) {
        opened.push_back(url);
        return true;
    });
    Serve(kVersionPath, Ok("2.0.0.0 Major\n"));
    Run([&](CUpdatePropertySheet& sheet) {
        CheckFromWelcome(sheet);
        wxWindow* link = sheet.FindWindow(1077);
        ASSERT_NE(link, nullptr);
        wxMouseEvent click(wxEVT_LEFT_UP);
        click.SetEventObject(link);
        link->GetEventHandler()->ProcessEvent(click);
    });
    platform::UrlLauncher::SetOpener(previous);
    EXPECT_EQ(opened, std::vector<std::string>{"https://updates.example/upgrade"});
}

// The main dialog's Updates button runs the wizard (it did nothing before); without an update server the
// check page says so, and the program goes on.
TEST(UpdateButton, OpensTheWizard) {
    testsupport::TempDir dir;
    const auto config = dir / "brindlemoor.conf";
    { std::ofstream(config) << "[update]\n"; }
    ::setenv("BRINDLEMOOR_CONFIG", config.c_str(), 1);
    auto& app = App();
    ResetJobState(app);
    auto* main = new ui::CBrindlemoorDlg(app);
    main->Show();
    Pump(50);
    wxString text;
    WhenModalOpens<CUpdatePropertySheet>([&](CUpdatePropertySheet& sheet) {
        PressButton(sheet, wxID_FORWARD);
        WaitUntil([&] { return sheet.IsWorkerIdle() && sheet.LastCheckResult() != -1; }, 10000);
        text = sheet.ControlText(1075);
        PressButton(sheet, wxID_CANCEL);
    }, 20000);
    PressButton(*main, app::kIdUpdates);
    EXPECT_NE(text.Find("No update server is configured"), wxNOT_FOUND) << text;
    EXPECT_TRUE(main->IsShown()) << "the program goes on";
    delete main;
    Pump(20);
    ::unsetenv("BRINDLEMOOR_CONFIG");
}

}  // namespace
