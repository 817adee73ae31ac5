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

// A wrapped text on one line.
wxString Flat(wxString text) {
    text.Replace("\n", " ");
    return text;
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
    Serve(kVersionPath, Ok(ManifestText("1.0.0.2 Faster scans\n", "1.0.0.2", package)));
    server_.Route(kPackagePath, Ok(package));

    const bool finished = Run([&](CUpdatePropertySheet& sheet) {
        EXPECT_EQ(sheet.GetCurrentPage(), sheet.StartPage());
        EXPECT_FALSE(sheet.IsBackEnabled());
        EXPECT_FALSE(SaveScreenshot(sheet, "update_wizard_welcome").empty());

        CheckFromWelcome(sheet);
        EXPECT_EQ(sheet.ControlText(1075), "A new update 1.0.0.2 is available. Click Next to proceed further.");
        EXPECT_EQ(sheet.ControlText(1074), "Update available");
        EXPECT_TRUE(sheet.IsNextEnabled());
        EXPECT_TRUE(sheet.IsBackEnabled());
        EXPECT_FALSE(sheet.IsControlShown(1076));
        EXPECT_FALSE(sheet.IsIndicatorRunning());
        EXPECT_FALSE(SaveScreenshot(sheet, "update_wizard_new_version").empty());

        DownloadFromCheck(sheet);
        EXPECT_EQ(sheet.LastDownloadResult(), update::kDownloaded);
        EXPECT_EQ(sheet.ControlText(1081), "Download completed");
        EXPECT_EQ(sheet.ControlText(1051), "brindlemoor.deb from 127.0.0.1");
        EXPECT_EQ(sheet.ControlText(1079), "Download completed");
        const std::string saved = (settings_.download_folder / "brindlemoor.deb").string();
        EXPECT_NE(Flat(sheet.ControlText(1090)).Find("1.0.0.2 was saved, not installed"), wxNOT_FOUND);
        // The command names the file, quoted, and checks the signed SHA-256 before apt runs.
        EXPECT_TRUE(sheet.IsControlShown(1091));
        EXPECT_EQ(sheet.ControlText(1091).utf8_string(),
                  "echo '" + Sha256Of(package) + "  " + saved + "' | sha256sum --check && sudo apt install '" +
                      saved + "'");
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

// Today's signed manifest with an older package behind it (a downgrade): refused and deleted.
TEST_F(WizardTest, PackageOtherThanSignedIsDeletedAndFinishStaysOff) {
    Serve(kVersionPath, Ok(ManifestText("1.0.0.2 x\n", "1.0.0.2", "the new package")));
    server_.Route(kPackagePath, Ok("the old package"));
    const bool finished = Run([&](CUpdatePropertySheet& sheet) {
        CheckFromWelcome(sheet);
        DownloadFromCheck(sheet);
        EXPECT_EQ(sheet.LastDownloadResult(), update::kDownloadDamaged);
        EXPECT_NE(Flat(sheet.ControlText(1090)).Find("does not match the signed update information"), wxNOT_FOUND);
        EXPECT_EQ(sheet.ControlText(1079), "Download failed");
        EXPECT_FALSE(sheet.IsControlShown(1091)) << "no install command";
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

// A manifest the maker did not sign is refused and says so; one that offers nothing newer leaves nothing to
// install.
TEST_F(WizardTest, UnsignedFilesAreRefusedAndSaySo) {
    const TestSigningKey other;
    server_.Route(kVersionPath, Ok("1.0.0.2 x\n"));
    server_.Route(kVersionPath + ".sig", Ok(other.Sign("1.0.0.2 x\n")));
    EXPECT_FALSE(Run([&](CUpdatePropertySheet& sheet) {
        CheckFromWelcome(sheet);
        EXPECT_EQ(sheet.LastCheckResult(), update::kCheckNotSigned);
        EXPECT_NE(sheet.ControlText(1075).Find("not signed"), wxNOT_FOUND) << sheet.ControlText(1075);
        EXPECT_EQ(sheet.ControlText(1074), "Update check failed");
        EXPECT_FALSE(sheet.IsNextEnabled());
    }));

    // A manifest whose package line names an older version than it offers.
    const std::string package(20000, 'u');
    Serve(kVersionPath, Ok(ManifestText("1.0.0.2 x\n", "1.0.0.0", package)));
    server_.Route(kPackagePath, Ok(package));
    EXPECT_FALSE(Run([&](CUpdatePropertySheet& sheet) {
        CheckFromWelcome(sheet);
        DownloadFromCheck(sheet);
        EXPECT_EQ(sheet.LastDownloadResult(), update::kDownloadNotOffered);
        const wxString text = Flat(sheet.ControlText(1090));
        EXPECT_NE(text.Find("offers no newer version"), wxNOT_FOUND) << text;
        EXPECT_FALSE(sheet.IsControlShown(1091));
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
        const char* heading = "Update check failed";
        bool key_built_in = true;
    };
    const Case cases[] = {
        {"up to date", Ok("1.0.0.1 Same\n"), "", "This application is updated.", false, false, u"1.0.0.1",
         "No update needed"},
        {"new major", Ok("2.0.0.0 Major\n"), "", "Version 2.0.0.0 is a new major release.", true, false, u"1.0.0.1",
         "New major release"},
        {"newer and a major", Ok("1.0.0.2 a\n2.0.0.0 b\n"), "",
         "A new update 1.0.0.2 is available. Click Next to proceed further.", true, true, u"1.0.0.1",
         "Update available"},
        {"not found", std::nullopt, "", "was not found", false, false},
        {"server error", error_500, "", "was not found", false, false},
        {"malformed", Ok("1.0.x.1 bad\n"), "", "could not be read", false, false},
        {"closed port", std::nullopt,
         "http://127.0.0.1:" + std::to_string(LoopbackHttpServer::ClosedPort()) + "/upgrade/",
         "Connection to server could not be established. Please try later.", false, false},
        {"no update server", std::nullopt, "-", "No update server is configured.", false, false, u"1.0.0.1",
         "Updates not configured"},
        {"no installed version", Ok("1.0.0.2 x\n"), "", "The installed version is not known", false, false, u""},
        {"no signing key built in", Ok("1.0.0.2 x\n"), "", "Updates are not configured in this build", false, false,
         u"1.0.0.1", "Updates not configured", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.route) {
            Serve(kVersionPath, *c.route);
        } else {
            Serve(kVersionPath, [] { HttpRoute r; r.status = 404; return r; }());
        }
        updater_.SetInstalledVersion(c.installed);
        updater_.signing_key = c.key_built_in ? key_.PublicKey() : update::PublicKey{};
        const auto asked_before = server_.Requests().size();
        settings_.base_url = c.base.empty() ? server_.BaseUrl() + "/upgrade/" : c.base == "-" ? "" : c.base;
        Run([&](CUpdatePropertySheet& sheet) {
            CheckFromWelcome(sheet);
            const wxString text = sheet.ControlText(1075);
            EXPECT_NE(text.Find(c.text), wxNOT_FOUND) << text;
            EXPECT_EQ(text.Find("all latest updates"), wxNOT_FOUND);
            EXPECT_EQ(sheet.ControlText(1074), c.heading) << "the heading tells how the check ended";
            if (!c.key_built_in) {
                EXPECT_EQ(server_.Requests().size(), asked_before) << "nothing is asked";
            }
            EXPECT_EQ(sheet.IsControlShown(1076), c.notice);
            EXPECT_EQ(sheet.IsControlShown(1077), c.notice);
            EXPECT_EQ(sheet.IsNextEnabled(), c.next);
            EXPECT_TRUE(sheet.IsBackEnabled());
            EXPECT_FALSE(sheet.IsIndicatorRunning());
            if (std::string(c.what) == "up to date") {
                EXPECT_FALSE(SaveScreenshot(sheet, "update_wizard_up_to_date").empty());
            }
            if (!c.key_built_in) {
                EXPECT_FALSE(SaveScreenshot(sheet, "update_wizard_no_signing_key").empty());
            }
            if (std::string(c.what) == "closed port") {
                EXPECT_FALSE(SaveScreenshot(sheet, "update_wizard_check_failed").empty());
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
    Serve(kVersionPath, Ok(ManifestText("1.0.0.2 x\n", "1.0.0.2", package)));
    server_.Route(kPackagePath, slow);
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

// The main dialog's Updates button runs the wizard (it did nothing before). This build holds no signing key:
// the check page says updates are not configured in it and asks the configured server nothing; the program
// goes on.
TEST(UpdateButton, OpensTheWizard) {
    LoopbackHttpServer server;
    testsupport::TempDir dir;
    const auto config = dir / "brindlemoor.conf";
    { std::ofstream(config) << "[update]\nbase_url = " << server.BaseUrl() << "/upgrade/\n"; }
    ::setenv("BRINDLEMOOR_CONFIG", config.c_str(), 1);
    auto& app = App();
    ResetJobState(app);
    auto* main = new ui::CBrindlemoorDlg(app);
    main->Show();
    Pump(50);
    wxString text;
    wxString heading;
    WhenModalOpens<CUpdatePropertySheet>([&](CUpdatePropertySheet& sheet) {
        PressButton(sheet, wxID_FORWARD);
        WaitUntil([&] { return sheet.IsWorkerIdle() && sheet.LastCheckResult() != -1; }, 10000);
        text = sheet.ControlText(1075);
        heading = sheet.ControlText(1074);
        PressButton(sheet, wxID_CANCEL);
    }, 20000);
    PressButton(*main, app::kIdUpdates);
    EXPECT_NE(text.Find("Updates are not configured in this build"), wxNOT_FOUND) << text;
    EXPECT_EQ(heading, "Updates not configured");
    EXPECT_TRUE(server.Requests().empty()) << "a build without a signing key asks nothing";
    EXPECT_TRUE(main->IsShown()) << "the program goes on";
    delete main;
    Pump(20);
    ::unsetenv("BRINDLEMOOR_CONFIG");
}

}  // namespace
