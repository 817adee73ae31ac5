// Texts of the main window as a user reads them: a table name cut to the tree keeps its row count, a value of
// several lines stays on its row's one line, the file page's picture buttons and drive list in the readable
// font and not cut, and the server dialog's caption with the one backslash the user types.
#include <gtest/gtest.h>

#include <wx/choice.h>
#include <wx/treectrl.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/control_ids.h"
#include "platform/shared_state.h"
#include "platform/text.h"
#include "platform/user_prompts.h"
#include "tests/mdf/catalog_2005_fixture.h"
#include "tests/support/page_builder.h"
#include "tests/ui/gui_harness.h"
#include "ui/brindlemoor_app.h"
#include "ui/dialog_style.h"
#include "ui/main_dialog.h"
#include "ui/server_dialogs.h"

namespace {

namespace fs = std::filesystem;
using namespace guitest;
using namespace app;

constexpr char16_t kLongName[] = u"CustomerOrdersAcrossEveryRegionAndEveryYearOfTheCompany";
constexpr int kLongRows = 12;

// A row of the fixture's one int column: status (null bitmap), the fixed part's end, the value, the column
// count and its null bitmap.
catalog2005::Bytes IntRecord(std::uint32_t value) {
    catalog2005::Bytes b = {0x10, 0, 8, 0, 0, 0, 0, 0, 1, 0, 0};
    for (int i = 0; i < 4; ++i) b[4 + i] = static_cast<std::uint8_t>(value >> (8 * i));
    return b;
}

std::vector<catalog2005::Bytes> IntRecords(int count) {
    std::vector<catalog2005::Bytes> rows;
    for (int i = 0; i < count; ++i) rows.push_back(IntRecord(static_cast<std::uint32_t>(i + 1)));
    return rows;
}

// A database that is not SharePoint's: one table whose name is far wider than the tree, one short one.
fs::path TwoTableFile(const testsupport::TempDir& dir) {
    catalog2005::Database db;
    db.File().PageCount(80);
    db.SimpleTable(101, kLongName, 5001, 60, IntRecords(kLongRows));
    db.SimpleTable(102, u"Notes", 5002, 61, IntRecords(2));
    // Each table's allocation map names its page: the tables are whole.
    db.File().SetPage(70, catalog2005::IamPage(5001, 0, {{60}}));
    db.File().SetPage(71, catalog2005::IamPage(5002, 0, {{61}}));
    return db.Write(dir, 655, 655, "two_tables.mdf");
}

class WindowTexts : public testing::Test {
protected:
    void SetUp() override { dialog_ = OpenMainDialogOnScreen(); }
    void TearDown() override {
        HandWorkerMessagesTo(dialog_);
        delete dialog_;
        Pump(20);
    }
    ui::CBrindlemoorDlg* dialog_ = nullptr;
};

// The tree is narrower than "dbo.<long name>(12)": the name is cut, the count stays whole and readable, the
// tooltip names the table whole, and a click on the cut item still opens that table.
TEST_F(WindowTexts, ACutTableNameKeepsItsRowCount) {
    testsupport::TempDir dir;
    const fs::path file = TwoTableFile(dir);
    ClickControl(*dialog_, kIdCompleteRepair);
    ClickSelectFile(*dialog_, file);
    ASSERT_TRUE(ClickScanFile(*dialog_));
    wxTreeCtrl* tree = dialog_->ResultTree();
    ASSERT_TRUE(App().m_hTreeRoot.IsOk());
    wxTreeItemIdValue cookie;
    const wxTreeItemId caption = tree->GetFirstChild(App().m_hTreeRoot, cookie);
    EXPECT_EQ(tree->GetItemText(caption), "Tables") << "a database without SharePoint's tables";

    struct Case {
        std::string whole;  // the item's text with the whole name (an incomplete table's mark may follow)
        const char* count;
        bool name_cut;
    };
    const Case cases[] = {{"dbo." + platform::ToUtf8(kLongName) + "(12)", "(12)", true}, {"dbo.Notes(2)", "(2)", false}};
    std::vector<wxTreeItemId> items;
    wxTreeItemIdValue inner;
    for (wxTreeItemId item = tree->GetFirstChild(caption, inner); item.IsOk(); item = tree->GetNextChild(caption, inner)) {
        items.push_back(item);
    }
    ASSERT_EQ(items.size(), 2u);
    for (std::size_t i = 0; i < items.size(); ++i) {
        const std::string text = tree->GetItemText(items[i]).utf8_string();
        SCOPED_TRACE(text);
        EXPECT_TRUE(text.ends_with(cases[i].count)) << "the count is cut";
        EXPECT_EQ(text.find("\u2026") != std::string::npos, cases[i].name_cut);
        if (!cases[i].name_cut) {
            EXPECT_EQ(text, cases[i].whole);
        }
        wxRect shown;
        ASSERT_TRUE(tree->GetBoundingRect(items[i], shown, true));
        EXPECT_LE(shown.GetRight(), tree->GetClientSize().GetWidth()) << "the text runs past the tree's edge";
        // What the item leaves out, its tooltip says.
        wxTreeEvent ask(wxEVT_TREE_ITEM_GETTOOLTIP, tree, items[i]);
        tree->GetEventHandler()->ProcessEvent(ask);
        const std::string tip = ask.GetLabel().utf8_string();
        EXPECT_EQ(ask.IsAllowed(), cases[i].name_cut) << tip;
        if (ask.IsAllowed()) {
            EXPECT_TRUE(tip.starts_with(cases[i].whole)) << tip;
        }
    }
    EXPECT_FALSE(SaveScreenshot(*dialog_, "tree_counts").empty());

    ClickTreeItem(*tree, items[0]);
    ASSERT_TRUE(WaitUntil([] { return JobIdle(); }, 30000));
    Pump(100);
    EXPECT_EQ(dialog_->ResultList()->GetItemCount(), kLongRows) << "the cut item opened its table";
}

TEST_F(WindowTexts, ReadableButtonsDriveListAndOneLineCells) {
    ClickControl(*dialog_, kIdCompleteRepair);
    const double readable = ui::ReadableFont().GetFractionalPointSize();
    // The picture buttons' captions and the drive list in the readable font, each whole inside its control.
    for (int id : {kIdSelectFile, kIdSearchFiles, kIdClearList, kIdScanFile, kIdDriveCombo}) {
        wxWindow* control = dialog_->FindWindow(id);
        SCOPED_TRACE(control->GetLabel().utf8_string());
        EXPECT_GE(control->GetFont().GetFractionalPointSize(), readable);
        if (id == kIdDriveCombo) {
            EXPECT_GE(control->GetSize().GetHeight(), control->GetBestSize().GetHeight()) << "the list's text is cut";
        } else {
            const wxSize text = control->GetTextExtent(control->GetLabel());
            EXPECT_LE(text.GetWidth(), control->GetSize().GetWidth());
            EXPECT_LE(text.GetHeight(), control->GetSize().GetHeight());
        }
    }
    EXPECT_FALSE(SaveScreenshot(*dialog_, "file_page_readable").empty());

    // A value of several lines stays on its row's one line, each break shown by a mark.
    ui::CMyListCtrl* list = dialog_->ResultList();
    list->InsertColumn(0, "Notes", wxLIST_FORMAT_LEFT, 300);
    list->AppendRows({{u"first line\r\nsecond line"}, {u"one\ntwo\rthree"}, {u"plain"}});
    EXPECT_EQ(list->GetItemText(0, 0), wxString::FromUTF8("first line\u21B5second line"));
    EXPECT_EQ(list->GetItemText(1, 0), wxString::FromUTF8("one\u21B5two\u21B5three"));
    EXPECT_EQ(list->GetItemText(2, 0), "plain");
    EXPECT_EQ(list->CellText(0, 0), u"first line\r\nsecond line") << "the value itself is kept";

    // The server name as the user types it: one backslash before the instance.
    platform::ServerChoice choice;
    ui::CServerInstance server(nullptr, App(), false, choice);
    const wxString caption = server.FindWindow(ui::kIdServerNameCaption)->GetLabel();
    EXPECT_TRUE(caption.Contains("(Server Name\\Instance Name)")) << caption;
    EXPECT_FALSE(caption.Contains("\\\\")) << caption;
}

}  // namespace
