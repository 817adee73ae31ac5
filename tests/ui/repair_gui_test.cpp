// Complete Repair in a real window: the edition and server dialogs (pre-filled from the settings, OK only with a
// server name, names that would reach into the connection refused, Cancel), and the whole road: scan Northwind,
// Repair, answer both dialogs, the job writes to the TDS server double and ends with the completion text.
// Screenshots of both dialogs and of the end.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include <wx/checkbox.h>
#include <wx/radiobut.h>

#include "app/control_ids.h"
#include "mdf/recovery_engine.h"
#include "platform/text.h"
#include "tests/support/corpus.h"
#include "tests/support/page_builder.h"
#include "tests/support/sql2000_builder.h"
#include "tests/support/tds_server_double.h"
#include "tests/ui/gui_harness.h"
#include "ui/brindlemoor_app.h"
#include "ui/main_dialog.h"
#include "ui/message_dialogs.h"
#include "ui/server_dialogs.h"

namespace {

namespace fs = std::filesystem;
using namespace guitest;

void Press(wxDialog& dialog, int id) {
    wxCommandEvent press(wxEVT_BUTTON, id);
    dialog.GetEventHandler()->ProcessEvent(press);
}

// A settings file in `dir` that points the program at `server` through FreeTDS, made the one the program reads.
void UseServerDouble(const testsupport::TempDir& dir, const testsupport::TdsServerDouble& server) {
    {
        std::ofstream config(dir / "brindlemoor.conf");
        config << "[sqlserver]\nserver = 127.0.0.1\nlogin = tester\ndriver = "
               << platform::ToUtf8(testsupport::FreeTdsDriverPath()) << "\nport = " << server.Port()
               << "\ntds_version = 7.4\nlogin_timeout = 10\nfailure_folder = " << (dir / "failures").string() << "\n";
    }
    setenv("BRINDLEMOOR_CONFIG", (dir / "brindlemoor.conf").c_str(), 1);
}

TEST(ServerDialogs, OkWaitsForAServerAndRefusesInjection) {
    auto& app = App();
    platform::ServerChoice choice;
    choice.failure_folder = u"/tmp/failures";
    ui::CServerInstance dialog(nullptr, app, false, choice);
    wxWindow* ok = dialog.FindWindow(app::kIdOk);
    EXPECT_FALSE(ok->IsEnabled());
    EXPECT_TRUE(dialog.Field(ui::kIdPassword)->HasFlag(wxTE_PASSWORD));
    EXPECT_FALSE(dialog.FindWindow(ui::kIdHaveDatabase)->IsEnabled());

    struct Case {
        const char* server;
        bool closes;
    };
    const Case cases[] = {{"db;Database=master", false}, {"db{x}", false}, {"db=1", false}, {"db.example\\SQL,1433", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.server);
        dialog.Field(ui::kIdServerName)->SetValue(wxString::FromUTF8(c.server));  // a typed change
        EXPECT_TRUE(ok->IsEnabled());
        std::u16string refusal;
        if (!c.closes) {
            WhenModalOpens<ui::CMyMessageDialog>([&](ui::CMyMessageDialog& d) {
                refusal = app.m_strMessageText;
                d.EndWith(app::kIdOk);
            });
        }
        bool still_open = false;
        const int result = RunModal(dialog, [&](wxDialog& d) {
            Press(d, app::kIdOk);  // a refusal shows its message modally and returns when it is closed
            still_open = d.IsModal();
            if (still_open) d.EndModal(app::kIdCancel);
        });
        EXPECT_EQ(still_open, !c.closes);
        if (c.closes) {
            EXPECT_EQ(result, app::kIdOk);
            EXPECT_EQ(choice.server, u"db.example\\SQL,1433");
        } else {
            EXPECT_EQ(refusal, u"Please enter correct server (server\\instance name).");
            EXPECT_TRUE(choice.server.empty());
        }
    }
    dialog.Field(ui::kIdServerName)->SetValue(wxString());
    EXPECT_FALSE(ok->IsEnabled());
    EXPECT_EQ(RunModal(dialog, [](wxDialog& d) { Press(d, ui::kIdServerCancel); }), app::kIdCancel);
}

TEST(ServerDialogs, EmbeddedEditionOpensWithOnlyTheCheckBox) {
    auto& app = App();
    platform::ServerChoice choice;
    choice.server = u"db.example";
    ui::CServerInstance dialog(nullptr, app, true, choice);
    auto* have = dynamic_cast<wxCheckBox*>(dialog.FindWindow(ui::kIdHaveDatabase));
    ASSERT_NE(have, nullptr);
    EXPECT_TRUE(have->IsEnabled());
    for (int id : {ui::kIdServerName, ui::kIdBrowse, ui::kIdEmbeddedDatabase, ui::kIdLogin}) {
        EXPECT_FALSE(dialog.FindWindow(id)->IsEnabled()) << id;
    }
    const int result = RunModal(dialog, [&](wxDialog& d) {
        have->SetValue(true);
        wxCommandEvent click(wxEVT_CHECKBOX, ui::kIdHaveDatabase);
        click.SetInt(1);
        d.GetEventHandler()->ProcessEvent(click);
        for (int id : {ui::kIdServerName, ui::kIdBrowse, ui::kIdEmbeddedDatabase, ui::kIdLogin}) {
            EXPECT_TRUE(d.FindWindow(id)->IsEnabled()) << id;
        }
        dynamic_cast<ui::CServerInstance&>(d).Field(ui::kIdEmbeddedDatabase)->ChangeValue("WSS_Content");
        EXPECT_FALSE(SaveScreenshot(d, "server_instance_embedded").empty());
        Press(d, app::kIdOk);
    });
    EXPECT_EQ(result, app::kIdOk);
    EXPECT_EQ(choice.embedded_database, u"WSS_Content");
}

TEST(RepairWindow, NorthwindRepairedIntoTheServerDouble) {
    BM_REQUIRE_CORPUS();
    if (testsupport::FreeTdsDriverPath().empty()) GTEST_SKIP() << "FreeTDS ODBC driver not found at configure time";
    testsupport::TdsServerDouble server;
    testsupport::TempDir dir;
    UseServerDouble(dir, server);

    App().m_strServerInstance.clear();
    auto* dialog = OpenMainDialog();

    const fs::path file = *testsupport::CorpusDir() / "northwnd_sligo.mdf";
    dialog->OnCompleteRepair();
    dialog->choose_file = [file] { return wxString::FromUTF8(file.string()); };
    dialog->OnSelectFile();
    dialog->OnScanFile();
    ASSERT_TRUE(WaitUntil([] { return App().m_bJobIdle.load(); }, 30000));

    bool edition_seen = false, server_seen = false;
    std::u16string end_title, end_text;
    WhenModalOpens<ui::CSqlServerEditon>([&](ui::CSqlServerEditon& d) {
        edition_seen = true;
        EXPECT_TRUE(dynamic_cast<wxRadioButton*>(d.FindWindow(ui::kIdFullEdition))->GetValue());
        EXPECT_FALSE(SaveScreenshot(d, "server_edition_dialog").empty());
        Press(d, app::kIdOk);
    }, 30000);
    WhenModalOpens<ui::CServerInstance>([&](ui::CServerInstance& d) {
        server_seen = true;
        // Pre-filled from the settings file; the password is typed.
        EXPECT_EQ(d.Field(ui::kIdServerName)->GetValue(), "127.0.0.1");
        EXPECT_EQ(d.Field(ui::kIdLogin)->GetValue(), "tester");
        EXPECT_TRUE(d.FindWindow(app::kIdOk)->IsEnabled());
        d.Field(ui::kIdPassword)->ChangeValue("secret");
        EXPECT_FALSE(SaveScreenshot(d, "server_instance_full").empty());
        Press(d, app::kIdOk);
    }, 30000);
    WhenModalOpens<ui::CMyMessageDialog>([&](ui::CMyMessageDialog& d) {
        end_title = App().m_strMessageTitle;
        end_text = App().m_strMessageText;
        EXPECT_FALSE(SaveScreenshot(d, "repair_completed").empty());
        d.EndWith(app::kIdOk);
    }, 120000);
    // After the completion: not now to the re-attach offer, then its "later" note.
    WhenModalOpens<ui::CMyExitStopDialog>([](ui::CMyExitStopDialog& d) { d.EndWith(app::kIdCancel); }, 120000);
    WhenModalOpens<ui::CMessageDialog2>([](ui::CMessageDialog2& d) { d.EndWith(app::kIdOk); }, 120000);
    dialog->OnRepair();
    ASSERT_TRUE(WaitUntil([] { return App().m_bJobIdle.load() && App().m_pRecoverThread.load() == nullptr; }, 120000));
    Pump(300);
    EXPECT_TRUE(edition_seen);
    EXPECT_TRUE(server_seen);
    EXPECT_EQ(end_title, u"Recovery process is successfully completed.");
    EXPECT_EQ(end_text, u"\nRecovered file saved at the desired location.");
    EXPECT_TRUE(server.HasDatabase(u"Recovered_northwnd_sligo"));
    std::size_t inserts = 0;
    for (const auto& r : server.Statements()) inserts += platform::ToLower(r.text.substr(0, 12)) == u"insert into ";
    EXPECT_GT(inserts, 2000u);
    delete dialog;
    Pump(20);
}

// Stop pressed in the window while the server holds a row INSERT: the window's cancel reaches the statement
// and the job ends at once, where it used to wait for the statement's limit (700 s, and once more).
TEST(RepairWindow, StopWhileTheServerHoldsAnInsertEndsTheJobAtOnce) {
    if (testsupport::FreeTdsDriverPath().empty()) GTEST_SKIP() << "FreeTDS ODBC driver not found at configure time";
    testsupport::TdsServerDouble server;
    server.AddFault(testsupport::TdsFault::Stall(u"insert into [Orders]"));
    testsupport::TempDir dir;
    UseServerDouble(dir, server);
    const fs::path file = dir / "sample.mdf";
    testsupport::sql2000::SampleDatabase().Build().WriteTo(file);

    App().m_strServerInstance.clear();
    auto* dialog = OpenMainDialog();
    dialog->OnCompleteRepair();
    dialog->choose_file = [file] { return wxString::FromUTF8(file.string()); };
    dialog->OnSelectFile();
    dialog->OnScanFile();
    ASSERT_TRUE(WaitUntil([] { return App().m_bJobIdle.load(); }, 30000));

    WhenModalOpens<ui::CSqlServerEditon>([](ui::CSqlServerEditon& d) { Press(d, app::kIdOk); }, 30000);
    WhenModalOpens<ui::CServerInstance>([](ui::CServerInstance& d) {
        d.Field(ui::kIdPassword)->ChangeValue("secret");
        Press(d, app::kIdOk);
    }, 30000);
    dialog->OnRepair();
    ASSERT_TRUE(WaitUntil([&] { return server.StallsBegun() == 1 || App().m_bJobIdle.load(); }, 60000));
    ASSERT_EQ(server.StallsBegun(), 1) << "the repair ended before the held statement";

    std::u16string said;
    WhenModalOpens<ui::CMyMessageDialog>([&](ui::CMyMessageDialog& d) {
        said = App().m_strMessageText;
        d.EndWith(app::kIdOk);
    }, 30000);
    const auto pressed = std::chrono::steady_clock::now();
    dialog->OnStopJob();
    const auto took = std::chrono::steady_clock::now() - pressed;
    // A behaviour bound, generous for a loaded machine.
    EXPECT_LT(took, std::chrono::seconds(5));
    EXPECT_TRUE(App().m_bJobIdle.load());
    EXPECT_EQ(said, u"Current  process stopped by user.");
    const auto statements = server.Statements();
    ASSERT_FALSE(statements.empty());
    EXPECT_TRUE(statements.back().cancelled);
    delete dialog;
    Pump(20);
}

// A repair whose server dialog is left without a login: the driver cannot sign in with Kerberos here, and the
// failure says that, under the error sign, in place of the driver's pointer to its debug log.
TEST(RepairWindow, AConnectionWithoutALoginFailsWithItsReasonUnderTheErrorSign) {
    if (testsupport::FreeTdsDriverPath().empty()) GTEST_SKIP() << "FreeTDS ODBC driver not found at configure time";
    testsupport::TdsServerDouble server;
    testsupport::TempDir dir;
    UseServerDouble(dir, server);
    setenv("KRB5CCNAME", ("FILE:" + (dir / "no_ticket").string()).c_str(), 1);
    const fs::path file = dir / "sample.mdf";
    testsupport::sql2000::SampleDatabase().Build().WriteTo(file);

    App().m_strServerInstance.clear();
    auto* dialog = OpenMainDialogOnScreen();
    ClickControl(*dialog, app::kIdCompleteRepair);
    ClickSelectFile(*dialog, file);
    ASSERT_TRUE(ClickScanFile(*dialog));

    WhenModalOpens<ui::CSqlServerEditon>([](ui::CSqlServerEditon& d) { Press(d, app::kIdOk); }, 30000);
    WhenModalOpens<ui::CServerInstance>([](ui::CServerInstance& d) {
        d.Field(ui::kIdLogin)->ChangeValue(wxString());
        Press(d, app::kIdOk);
    }, 30000);
    std::u16string said;
    int sign = 0;
    WhenModalOpens<ui::CMyMessageDialog>([&](ui::CMyMessageDialog& d) {
        said = App().m_strMessageText + u"\n" + App().m_strMessageTitle;
        sign = d.SignPicture();
        EXPECT_FALSE(SaveScreenshot(d, "connection_failed_no_login").empty());
        d.EndWith(app::kIdOk);
    }, 60000);
    ClickControl(*dialog, app::kIdRepair);
    ASSERT_TRUE(WaitUntil([&] { return sign != 0 && App().m_bJobIdle.load(); }, 60000));
    const std::string text = platform::ToUtf8(said);
    EXPECT_NE(text.find("No SQL login was given"), std::string::npos) << text;
    EXPECT_NE(text.find("Kerberos"), std::string::npos) << text;
    EXPECT_EQ(text.find("TDSDUMPCONFIG"), std::string::npos) << text;
    EXPECT_EQ(sign, 242) << "a failure carries the error sign";
    unsetenv("KRB5CCNAME");
    delete dialog;
    Pump(20);
}

}  // namespace
