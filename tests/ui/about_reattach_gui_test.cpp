// The re-attach batch-file dialog, the About box and the licence viewer in a real window: what they show,
// what their buttons do, the link through the launcher, and screenshots.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "app/control_ids.h"
#include "app/reattach_batch.h"
#include "platform/url_launcher.h"
#include "tests/support/page_builder.h"
#include "tests/ui/gui_harness.h"
#include "ui/about_dialog.h"
#include "ui/brindlemoor_app.h"
#include "ui/main_dialog.h"
#include "ui/message_dialogs.h"
#include "ui/reattach_dialog.h"

namespace {

using namespace guitest;
using ui::CAboutDlg;
using ui::CAddContentDbDlg;
using ui::CEULADialog;
using ui::CMessageDialog2;
using ui::CMyExitStopDialog;
using ui::CMyMessageDialog;

void Press(wxWindow& window, int id) {
    wxCommandEvent press(wxEVT_BUTTON, id);
    window.GetEventHandler()->ProcessEvent(press);
}

std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void SetRepairedDatabase(ui::CBrindlemoorApp& app) {
    app.m_strContentDbName = u"Recovered_WSS_Content";
    app.m_strContentDbServer = u"SQLHOST\\REPAIR";
    app.m_strSharePointBin = u"C:\\Program Files\\Common Files\\Microsoft Shared\\Web Server Extensions\\12\\bin";
    app.m_bEmbeddedEdition = false;
}

void FillIn(CAddContentDbDlg& dialog) {
    dialog.UrlEdit()->ChangeValue("http://sharepoint.example:8080/sites/team");
    dialog.DatabaseEdit()->ChangeValue("WSS_Content Old");
    dialog.ServerEdit()->ChangeValue("SPSQL\\SHAREPOINT");
}

TEST(ReattachDialog, SavesTheBatchFileWhereChosenAndSaysHowToRunIt) {
    auto& app = App();
    SetRepairedDatabase(app);
    testsupport::TempDir dir;
    const auto target = dir / "ssexpress.bat";
    { std::ofstream(target) << "older file of the same name"; }

    CAddContentDbDlg dialog(nullptr, app, app);
    FillIn(dialog);
    dialog.Show();
    EXPECT_FALSE(SaveScreenshot(dialog, "reattach_dialog").empty());
    dialog.Hide();
    int asked = 0;
    dialog.choose_path = [&] {
        ++asked;
        return target;
    };
    wxString told_text, told_title;
    WhenModalOpens<CMyMessageDialog>([&](CMyMessageDialog& message) {
        told_text = message.UpperText();
        told_title = message.LowerText();
        Press(message, app::kIdOk);
    });
    EXPECT_EQ(RunModal(dialog, [](wxDialog& open) { Press(open, app::kIdOk); }), app::kIdOk);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(dialog.SavedFile(), target);
    EXPECT_EQ(ReadBytes(target), ReadBytes(std::filesystem::path(BM_GOLDEN_DIR) / "reattach_full.bat"));
    EXPECT_NE(told_text.Find("ssexpress.bat"), wxNOT_FOUND);
    EXPECT_NE(told_title.Find("farm administrator"), wxNOT_FOUND);
    EXPECT_TRUE(app.m_strBatchFile.empty()) << "Exit must not delete the saved file";
}

// Problems keep the dialog open with the reason: empty fields, a refused character, a failed write, and
// no place chosen.
TEST(ReattachDialog, ProblemsKeepTheDialogOpen) {
    auto& app = App();
    SetRepairedDatabase(app);
    testsupport::TempDir dir;
    const auto folder = dir / "a-folder.bat";
    std::filesystem::create_directory(folder);

    struct Case {
        const char* what;
        const char* database;
        std::filesystem::path target;
        const char* told;  // part of the message's upper line; nullptr: no message
    };
    const Case cases[] = {
        {"empty field", "", dir / "x.bat", "Please Enter website url , corrupted database name and servername."},
        {"refused character", "WSS & del", dir / "x.bat", "corrupted database name"},
        {"write fails", "WSS_Content", folder, "could not be saved"},
        {"no place chosen", "WSS_Content", std::filesystem::path(), nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CAddContentDbDlg dialog(nullptr, app, app);
        FillIn(dialog);
        dialog.DatabaseEdit()->ChangeValue(c.database);
        dialog.choose_path = [&] { return c.target; };
        wxString told;
        if (c.told != nullptr) {
            WhenModalOpens<CMyMessageDialog>([&](CMyMessageDialog& message) {
                told = message.UpperText();
                Press(message, app::kIdOk);
            });
        }
        const int result = RunModal(dialog, [&](wxDialog& open) {
            Press(open, app::kIdOk);
            EXPECT_TRUE(open.IsModal()) << "the dialog stays open";
            open.EndModal(-5);
        });
        EXPECT_EQ(result, -5);
        if (c.told != nullptr) {
            EXPECT_NE(told.Find(c.told), wxNOT_FOUND) << told;
        }
        EXPECT_TRUE(dialog.SavedFile().empty());
    }
    EXPECT_TRUE(std::filesystem::is_directory(folder));
}

// Cancel, Esc and the close box all tell that the database can be added later.
TEST(ReattachDialog, CancelShowsTheAddLaterMessage) {
    auto& app = App();
    SetRepairedDatabase(app);
    enum class Way { Cancel, Escape, CloseBox };
    for (Way way : {Way::Cancel, Way::Escape, Way::CloseBox}) {
        SCOPED_TRACE(static_cast<int>(way));
        CAddContentDbDlg dialog(nullptr, app, app);
        wxString upper, lower;
        WhenModalOpens<CMessageDialog2>([&](CMessageDialog2& message) {
            upper = message.UpperText();
            lower = message.LowerText();
            Press(message, app::kIdOk);
        });
        const int result = RunModal(dialog, [&](wxDialog& open) {
            switch (way) {
                case Way::Cancel: Press(open, app::kIdCancel); break;
                case Way::Escape: PressKey(open, WXK_ESCAPE); break;
                case Way::CloseBox: open.Close(); break;
            }
        });
        EXPECT_EQ(result, app::kIdCancel);
        EXPECT_EQ(upper, "Process complete sucessfully.");
        EXPECT_EQ(lower, "Add your database manually later.");
    }
}

// The question at the end of a repair: Yes opens the dialog, No tells that it can be done later.
TEST(ReattachDialog, QuestionAtTheEndOfARepair) {
    auto& app = App();
    SetRepairedDatabase(app);
    {
        wxString question;
        bool dialog_opened = false;
        WhenModalOpens<CMyExitStopDialog>([&](CMyExitStopDialog& ask) {
            question = ask.UpperText();
            WhenModalOpens<CAddContentDbDlg>([&](CAddContentDbDlg& add) {
                dialog_opened = true;
                add.EndModal(app::kIdOk);
            });
            Press(ask, app::kIdOk);
        });
        ui::OfferReattach(nullptr, app, app);
        EXPECT_EQ(question, "Do you want to add this database to your web application now?");
        EXPECT_TRUE(dialog_opened);
    }
    {
        wxString upper;
        WhenModalOpens<CMyExitStopDialog>([&](CMyExitStopDialog& ask) {
            WhenModalOpens<CMessageDialog2>([&](CMessageDialog2& message) {
                upper = message.UpperText();
                Press(message, app::kIdOk);
            });
            Press(ask, app::kIdCancel);
        });
        ui::OfferReattach(nullptr, app, app);
        EXPECT_EQ(upper, "Process complete sucessfully.");
    }
}

// Installs a recording opener for one test.
class LinkRecorder {
public:
    LinkRecorder() {
        previous_ = platform::UrlLauncher::SetOpener([this](const std::string& url) {
            opened.push_back(url);
            return true;
        });
        previous_logger_ = platform::UrlLauncher::SetLogger([this](const std::string& line) { logged.push_back(line); });
    }
    ~LinkRecorder() {
        platform::UrlLauncher::SetOpener(previous_);
        platform::UrlLauncher::SetLogger(previous_logger_);
    }
    std::vector<std::string> opened;
    std::vector<std::string> logged;

private:
    platform::UrlLauncher::Opener previous_;
    platform::UrlLauncher::Logger previous_logger_;
};

ui::AboutInfo FixedInfo(const std::filesystem::path& eula) {
    ui::AboutInfo info;
    info.product_version = u"1.0.0.1";
    info.os_name = u"Debian GNU/Linux 12 (bookworm)";
    info.os_version = u"6.18.44";
    info.support_link = "mailto:support@quorvane.example";
    info.eula_path = eula;
    return info;
}

TEST(AboutBox, ShowsVersionsAndOpensOnlyAllowedLinks) {
    LinkRecorder links;
    CAboutDlg about(nullptr, FixedInfo(BM_SHIPPED_EULA));
    EXPECT_EQ(about.StaticText(1157), ": Brindlemoor");
    EXPECT_EQ(about.StaticText(1158), ": 1.0.0.1");
    EXPECT_EQ(about.StaticText(1163), ": Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(about.StaticText(1164), ": 6.18.44");
    // Each value on one line: as wide as its text and no higher than one line of it.
    for (int id : {1158, 1163, 1164}) {
        wxWindow* value = about.FindWindow(id);
        const wxSize text = value->GetTextExtent(value->GetLabel());
        EXPECT_GE(value->GetSize().GetWidth(), text.GetWidth()) << id;
        EXPECT_LT(value->GetBestSize().GetHeight(), 2 * text.GetHeight()) << id << " is broken across lines";
    }
    EXPECT_FALSE(about.FindWindow(1221)->IsShown()) << "the live-chat link stays hidden";
    about.Show();
    EXPECT_FALSE(SaveScreenshot(about, "about_box").empty());
    EXPECT_FALSE(about.SupportLinkVisited());
    about.OnContactSupport();
    EXPECT_TRUE(about.SupportLinkVisited());
    EXPECT_EQ(links.opened, std::vector<std::string>{"mailto:support@quorvane.example"});
    about.Hide();

    // A link that is not web or mail is refused and logged, and does not look visited; an empty one is not
    // shown at all.
    for (const char* bad : {"file:///etc/passwd", "/usr/bin/xterm", ""}) {
        auto info = FixedInfo(BM_SHIPPED_EULA);
        info.support_link = bad;
        CAboutDlg other(nullptr, info);
        EXPECT_EQ(other.FindWindow(1180)->IsShown(), *bad != '\0') << bad;
        other.OnContactSupport();
        EXPECT_FALSE(other.SupportLinkVisited()) << bad;
    }
    EXPECT_EQ(links.opened.size(), 1u);
    EXPECT_EQ(links.logged.size(), 3u);
}

TEST(AboutBox, LicenceViewerShowsTheFileOrNamesTheMissingOne) {
    CAboutDlg about(nullptr, FixedInfo(BM_SHIPPED_EULA));
    std::vector<wxString> rows;
    WhenModalOpens<CEULADialog>([&](CEULADialog& viewer) {
        rows = viewer.Rows();
        EXPECT_FALSE(SaveScreenshot(viewer, "eula_viewer").empty());
        Press(viewer, app::kIdOk);
    });
    EXPECT_EQ(RunModal(about, [](wxDialog& open) { Press(open, 1149); open.EndModal(app::kIdOk); }), app::kIdOk);
    ASSERT_GT(rows.size(), 5u);
    EXPECT_EQ(rows[0], "BRINDLEMOOR END USER LICENCE AGREEMENT");
    for (const auto& row : rows) EXPECT_EQ(row.Find('\r'), wxNOT_FOUND);

    CEULADialog missing(nullptr, "/nonexistent/eula.dat");
    ASSERT_EQ(missing.Rows().size(), 1u);
    EXPECT_NE(missing.Rows()[0].Find("/nonexistent/eula.dat"), wxNOT_FOUND);
}

// The main dialog's About button opens the box (it did nothing before).
TEST(AboutBox, OpenedByTheMainDialogsButton) {
    auto& app = App();
    ResetJobState(app);
    auto* main = new ui::CBrindlemoorDlg(app);
    main->Show();
    Pump(50);
    bool opened = false;
    WhenModalOpens<CAboutDlg>([&](CAboutDlg& about) {
        opened = about.StaticText(1158) == ": 1.0.0.1";
        Press(about, app::kIdOk);
    });
    Press(*main, app::kIdAbout);
    EXPECT_TRUE(opened);
    delete main;
    Pump(20);
}

}  // namespace
