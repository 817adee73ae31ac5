// The file page's search and the help window as a user meets them, with real pointer input: a search that
// shows where it is and what it found while it runs, a Stop that keeps those files, the list back after Home,
// tooltips and the highlighted row after a second search and Select File, a name that is not UTF-8 opened
// from the list, and the Help button's window.
#include <gtest/gtest.h>

#include <wx/choice.h>
#include <wx/html/htmlwin.h>
#include <wx/listctrl.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/control_ids.h"
#include "app/file_search.h"
#include "platform/messages.h"
#include "platform/text.h"
#include "tests/support/page_builder.h"
#include "tests/ui/gui_harness.h"
#include "ui/brindlemoor_app.h"
#include "ui/dialog_style.h"
#include "ui/help_window.h"
#include "ui/main_dialog.h"

namespace {

namespace fs = std::filesystem;
using namespace guitest;
using namespace app;

class SearchWindow : public testing::Test {
protected:
    void SetUp() override {
        FindThread::m_nReportIntervalMs = 0;  // every folder reported: the pause point below is exact
        dialog_ = OpenMainDialogOnScreen([this](ui::CBrindlemoorDlg& dialog) {
            dialog_ = &dialog;
            App().m_bridge.SetHandler([this](unsigned m, platform::WPARAM w, platform::LPARAM l) {
                dialog_->OnWorkerMessage(m, w, l);
                if (m == platform::WM_FOUND_FILES && w == kFoundFilesProgress && on_report) on_report();
            });
        });
    }
    void TearDown() override {
        FindThread::m_nReportIntervalMs = 100;
        HandWorkerMessagesTo(dialog_);
        delete dialog_;
        Pump(20);
    }
    void Click(int id) { ClickControl(*dialog_, id); }
    // Search File(s) from `root` (with its sub-folders), clicked; waits for the search's end.
    void Search(const fs::path& root) {
        wxChoice* drives = dialog_->DriveCombo();
        drives->Append(wxString::FromUTF8(root.string()));
        drives->SetSelection(static_cast<int>(drives->GetCount()) - 1);
        Click(kIdSearchFiles);
        ASSERT_TRUE(WaitUntil([] { return App().m_pFindThread.load() == nullptr; }, 20000));
        Pump(100);
    }
    std::vector<std::string> Rows() const {
        std::vector<std::string> rows;
        auto* list = dialog_->FoundFileList();
        for (long r = 0; r < list->GetItemCount(); ++r) rows.push_back(list->GetItemText(r, 0).utf8_string());
        return rows;
    }
    std::vector<long> SelectedRows() const {
        std::vector<long> rows;
        auto* list = dialog_->FoundFileList();
        for (long r = 0; r < list->GetItemCount(); ++r) {
            if (list->GetItemState(r, wxLIST_STATE_SELECTED) != 0) rows.push_back(r);
        }
        return rows;
    }
    // The point of a row's path cell in the coordinates of the list's row area.
    wxPoint RowPoint(long row) const {
        auto* list = dialog_->FoundFileList();
        list->EnsureVisible(row);
        wxRect cell;
        EXPECT_TRUE(list->GetSubItemRect(row, 0, cell));
        return cell.GetPosition() - list->RowArea()->GetPosition() + wxPoint(8, cell.height / 2);
    }

    ui::CBrindlemoorDlg* dialog_ = nullptr;
    std::function<void()> on_report;
};

void Touch(const fs::path& path) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << "x";
}

TEST_F(SearchWindow, SearchShowsItsProgressStopKeepsTheFilesAndTheListComesBack) {
    testsupport::TempDir first;
    for (int i = 1; i <= 4; ++i) Touch(first / ("a" + std::to_string(i)) / ("x" + std::to_string(i) + ".mdf"));
    const std::string root = first.Path().string();
    Click(kIdCompleteRepair);

    // Held while the walk enters a3, with a1's and a2's files found: the page shows it runs, where, and how many.
    bool paused = false;
    on_report = [&] {
        if (paused || App().m_nFoundFileCount < 2) return;
        paused = true;
        Pump(50);
        EXPECT_EQ(dialog_->ControlText(kIdSearchStatus).utf8_string(),
                  "Database found : 2    Searching : " + root + "/a3");
        EXPECT_TRUE(dialog_->IsControlShown(kIdSearchStatus));
        EXPECT_TRUE(dialog_->IsControlShown(kIdScanProgress));
        EXPECT_TRUE(dialog_->IsControlShown(kIdStopSearch));
        EXPECT_EQ(Rows(), (std::vector<std::string>{root + "/a1/x1.mdf", root + "/a2/x2.mdf"}))
            << "the files found so far are listed while the search runs";
        EXPECT_FALSE(SaveScreenshot(*dialog_, "search_running").empty());
        Click(kIdStopSearch);
    };
    Search(first.Path());
    on_report = {};
    ASSERT_TRUE(paused);
    EXPECT_EQ(Rows(), (std::vector<std::string>{root + "/a1/x1.mdf", root + "/a2/x2.mdf"}))
        << "Stop threw the files found away";
    // The line after the search says that the list is partial: the search did not look everywhere.
    EXPECT_EQ(dialog_->ControlText(kIdSearchStatus), "Total Database in List is : 2 (search stopped: partial)");
    EXPECT_FALSE(SaveScreenshot(*dialog_, "search_stopped").empty());

    // Home, then back to the file page: the list is there again.
    Click(kIdHome);
    Click(kIdCompleteRepair);
    Pump(50);
    EXPECT_EQ(Rows(), (std::vector<std::string>{root + "/a1/x1.mdf", root + "/a2/x2.mdf"}));
}

TEST_F(SearchWindow, ASecondSearchKeepsTooltipsAndTheHighlightWithTheirRows) {
    testsupport::TempDir first, second;
    Touch(first / "a1" / "x1.mdf");
    Touch(first / "a2" / "x2.mdf");
    Touch(second / "b1" / "y1.mdf");
    // A Latin-1 name: not UTF-8.
    fs::create_directories(second / "b2");
    const std::string latin1 = (second / "b2").string() + "/caf\xE9.mdf";
    { std::ofstream(latin1) << "x"; }
    Click(kIdCompleteRepair);
    Search(first.Path());
    Search(second.Path());
    const std::string r1 = first.Path().string(), r2 = second.Path().string();
    EXPECT_EQ(Rows(), (std::vector<std::string>{r2 + "/b1/y1.mdf", r2 + "/b2/caf\xEF\xBF\xBD.mdf", r1 + "/a1/x1.mdf",
                                                r1 + "/a2/x2.mdf"}))
        << "the later search's files come first, in the order found";

    auto* list = dialog_->FoundFileList();
    wxWindow* rows = list->RowArea();
    for (long row = 0; row < list->GetItemCount(); ++row) {
        MoveTo(*rows, RowPoint(row));
        EXPECT_EQ(rows->GetToolTipText(), list->GetItemText(row, 0)) << "the tooltip of row " << row;
    }

    // The name that is not UTF-8, clicked: the file chosen is the one on disk.
    ClickAt(*rows, RowPoint(1));
    EXPECT_EQ(platform::ToSystemName(App().m_strDataFilePath), latin1);
    struct stat info {};
    EXPECT_EQ(stat(platform::ToSystemName(App().m_strDataFilePath).c_str(), &info), 0);
    EXPECT_TRUE(dialog_->IsControlEnabled(kIdScanFile));

    // A row clicked, then Select File: only the chosen file's row stays highlighted (or none when unlisted).
    struct Case {
        const char* name;
        fs::path chosen;
        std::vector<long> highlighted;
    };
    testsupport::TempDir elsewhere;
    Touch(elsewhere / "other.mdf");
    const Case cases[] = {
        {"a listed file", first / "a2" / "x2.mdf", {3}},
        {"a file not in the list", elsewhere / "other.mdf", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ClickAt(*rows, RowPoint(0));
        ASSERT_EQ(SelectedRows(), (std::vector<long>{0}));
        dialog_->choose_file = [&c] { return wxString::FromUTF8(c.chosen.string()); };
        Click(kIdSelectFile);
        EXPECT_EQ(SelectedRows(), c.highlighted);
        EXPECT_EQ(dialog_->ControlText(kIdSelectedPath).utf8_string(), c.chosen.string());
    }

    // Clear List with the pointer resting on a row: no old tooltip over the empty list.
    MoveTo(*rows, RowPoint(0));
    ASSERT_FALSE(rows->GetToolTipText().empty());
    Click(kIdClearList);
    MoveTo(*rows, wxPoint(20, 10));
    EXPECT_EQ(list->GetItemCount(), 0);
    EXPECT_TRUE(rows->GetToolTipText().empty()) << rows->GetToolTipText();
}

TEST_F(SearchWindow, HelpButtonOpensTheProgramsOwnHelp) {
    bool opened = false;
    WhenModalOpens<ui::CHelpWindow>([&](ui::CHelpWindow& help) {
        opened = true;
        EXPECT_TRUE(help.IsLoaded());
        EXPECT_EQ(help.Html()->GetOpenedPageTitle(), "Brindlemoor Help");
        EXPECT_NE(help.Html()->ToText().Find("Settings file"), wxNOT_FOUND);
        EXPECT_FALSE(SaveScreenshot(help, "help_window").empty());
        wxWindow* close = help.FindWindow(wxID_CANCEL);
        ASSERT_NE(close, nullptr);
        ClickAt(*close, wxPoint(close->GetClientSize().x / 2, close->GetClientSize().y / 2));
    });
    Click(kIdHelp);
    EXPECT_TRUE(WaitUntil([&] { return opened && FindModal<ui::CHelpWindow>() == nullptr; }, 5000));
}

}  // namespace
