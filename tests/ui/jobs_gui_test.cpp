// The jobs end to end in a real window: select a real data file, scan it, the tree of its tables, a click on
// Orders fills the row list; Stop during a scan gives back a usable file page; and Document Recovery on the
// synthetic SharePoint content database: search, scan, uncheck a list, Repair into a folder, the written
// documents and the unchecked tree. Screenshots of the result page in both modes and of the search page.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "app/control_ids.h"
#include "mdf/recovery_engine.h"
#include "platform/text.h"
#include "sharepoint/check_tree.h"
#include "tests/support/corpus.h"
#include "tests/support/page_builder.h"
#include "tests/support/sha256.h"
#include "tests/support/sharepoint_builder.h"
#include "tests/ui/gui_harness.h"
#include "ui/brindlemoor_app.h"
#include "ui/main_dialog.h"
#include "ui/message_dialogs.h"
#include "ui/version_dialog.h"

namespace {

namespace fs = std::filesystem;
using namespace guitest;
using namespace app;

class JobsWindow : public testing::Test {
protected:
    void SetUp() override { dialog_ = OpenMainDialog(); }
    void TearDown() override { CloseMainDialog(dialog_); }

    void SelectFile(const fs::path& file) {
        dialog_->choose_file = [file] { return wxString::FromUTF8(file.string()); };
        dialog_->OnSelectFile();
    }
    // Scan File, then wait for the job's end.
    bool Scan() {
        dialog_->OnScanFile();
        return WaitUntil([] { return App().m_bJobIdle.load(); }, 30000);
    }
    wxTreeItemId Child(const wxTreeItemId& parent, const std::function<bool(const wxString&)>& match) const {
        wxTreeCtrl* tree = dialog_->ResultTree();
        wxTreeItemIdValue cookie;
        for (wxTreeItemId c = tree->GetFirstChild(parent, cookie); c.IsOk(); c = tree->GetNextChild(parent, cookie)) {
            if (match(WholeItemText(*dialog_, c))) return c;
        }
        return {};
    }
    wxTreeItemId Find(const wxTreeItemId& from, const wxString& text) const {
        return FindTreeItem(*dialog_, from, text);
    }
    // A click on the item's label, as the mouse gives it.
    int ClickLabel(const wxTreeItemId& item) { return ClickTreeLabel(*dialog_, item); }
    // A click on the item's check box: the point left of the label where the tree reports its state icon.
    int ClickCheckBox(const wxTreeItemId& item) {
        wxTreeCtrl* tree = dialog_->ResultTree();
        tree->EnsureVisible(item);
        Pump(20);
        wxRect rect;
        EXPECT_TRUE(tree->GetBoundingRect(item, rect, true));
        const int y = rect.y + rect.height / 2;
        for (int x = rect.x - 1; x >= 0; --x) {
            int flags = 0;
            if (tree->HitTest(wxPoint(x, y), flags) == item && (flags & wxTREE_HITTEST_ONITEMSTATEICON)) {
                return dialog_->OnTreeClick(wxPoint(x, y));
            }
        }
        ADD_FAILURE() << "no check box left of " << tree->GetItemText(item);
        return 0;
    }

    ui::CBrindlemoorDlg* dialog_ = nullptr;
};

TEST_F(JobsWindow, ScanOfNorthwindListsItsTablesAndOrdersShowsItsRows) {
    BM_REQUIRE_CORPUS();
    const fs::path file = *testsupport::CorpusDir() / "northwnd_sligo.mdf";
    dialog_->OnCompleteRepair();
    SelectFile(file);
    EXPECT_EQ(dialog_->ControlText(kIdSelectedPath), wxString::FromUTF8(file.string()));
    EXPECT_TRUE(dialog_->IsControlShown(kIdScanFile));
    ASSERT_TRUE(Scan());

    wxTreeCtrl* tree = dialog_->ResultTree();
    const wxTreeItemId root = App().m_hTreeRoot;
    ASSERT_TRUE(root.IsOk());
    EXPECT_EQ(tree->GetItemText(root), wxString::FromUTF8(file.string()));
    // Northwind holds no SharePoint sites: its tables are only "Tables".
    const wxTreeItemId caption = Child(root, [](const wxString& t) { return t == "Tables"; });
    ASSERT_TRUE(caption.IsOk());
    ASSERT_NE(dialog_->Engine(), nullptr);
    EXPECT_EQ(tree->GetChildrenCount(caption, false), dialog_->Engine()->m_lstTables.size());
    const wxTreeItemId orders = Child(caption, [](const wxString& t) { return t.EndsWith("Orders(830)"); });
    ASSERT_TRUE(orders.IsOk());
    EXPECT_TRUE(Child(caption, [](const wxString& t) { return t.EndsWith("Categories(8)"); }).IsOk());
    EXPECT_TRUE(dialog_->IsControlShown(kIdRepair));
    EXPECT_FALSE(dialog_->IsControlShown(kIdScanFile));
    EXPECT_FALSE(SaveScreenshot(*dialog_, "result_page_tables").empty());

    EXPECT_EQ(ClickLabel(orders), 1);
    ASSERT_TRUE(WaitUntil([&] { return App().m_bJobIdle.load() && App().m_pRecoverThread.load() == nullptr; }, 30000));
    EXPECT_EQ(dialog_->ResultList()->GetItemCount(), 830);
    EXPECT_EQ(dialog_->ResultList()->GetColumnCount(), 14);
    wxListItem column;
    column.SetMask(wxLIST_MASK_TEXT);
    ASSERT_TRUE(dialog_->ResultList()->GetColumn(0, column));
    EXPECT_EQ(column.GetText(), "OrderID");
    EXPECT_FALSE(SaveScreenshot(*dialog_, "result_page_orders").empty());

    // A click on the root starts nothing.
    EXPECT_EQ(ClickLabel(root), 1);
    EXPECT_TRUE(App().m_bJobIdle.load());

    // Stop during a table view: the result page stays, with the tree and Repair back.
    EXPECT_EQ(ClickLabel(orders), 1);
    ASSERT_FALSE(App().m_bJobIdle.load());
    WhenModalOpens<ui::CMyMessageDialog>([](ui::CMyMessageDialog& d) { d.EndWith(kIdOk); });
    dialog_->OnStopJob();
    EXPECT_TRUE(App().m_bJobIdle.load());
    EXPECT_EQ(App().m_pRecoverThread.load(), nullptr);
    EXPECT_LE(dialog_->ResultList()->GetItemCount(), 830);
    Pump(50);
    EXPECT_TRUE(App().m_hTreeRoot.IsOk());
    EXPECT_TRUE(dialog_->IsControlShown(kIdRepair));
    EXPECT_FALSE(dialog_->IsControlShown(kIdStopJob));
    EXPECT_TRUE(dialog_->IsControlEnabled(kIdBack));
}

TEST_F(JobsWindow, StopDuringAScanGivesBackTheFilePage) {
    BM_REQUIRE_CORPUS();
    dialog_->OnCompleteRepair();
    SelectFile(*testsupport::CorpusDir() / "northwnd_sligo.mdf");
    const int depth = App().m_nPageDepth;
    // The job cannot finish before the window handles its first message, so Stop meets it running.
    dialog_->OnScanFile();
    ASSERT_FALSE(App().m_bJobIdle.load());
    // A job-ended message of another job changes nothing.
    ui::CBrindlemoorDlg* dialog = dialog_;
    dialog->OnJobEnded(0);
    dialog->OnJobEnded(987654321);
    EXPECT_FALSE(App().m_bJobIdle.load());
    EXPECT_NE(App().m_pRecoverThread.load(), nullptr);
    WhenModalOpens<ui::CMyMessageDialog>([](ui::CMyMessageDialog& d) {
        EXPECT_EQ(d.UpperText(), "Current  process stopped by user.");
        d.EndWith(kIdOk);
    });
    dialog_->OnStopJob();
    EXPECT_TRUE(App().m_bJobIdle.load());
    EXPECT_EQ(App().m_pRecoverThread.load(), nullptr);
    EXPECT_FALSE(App().m_hTreeRoot.IsOk());  // no result page after a stop
    EXPECT_EQ(App().m_nPageDepth, depth);
    EXPECT_TRUE(dialog_->IsControlShown(kIdScanFile));
    EXPECT_TRUE(dialog_->IsControlEnabled(kIdScanFile));
    EXPECT_FALSE(dialog_->IsControlShown(kIdStopJob));
    Pump(100);

    // The window is usable: the same file scans to its end.
    ASSERT_TRUE(Scan());
    EXPECT_TRUE(App().m_hTreeRoot.IsOk());
}

TEST_F(JobsWindow, TheSourceVersionDialogWritesTheClickedChoice) {
    platform::SharedState state;
    ui::CSelectVersionForSQLServer dialog(dialog_, state);
    const int result = RunModal(dialog, [](wxDialog& d) {
        auto& versions = static_cast<ui::CSelectVersionForSQLServer&>(d);
        EXPECT_TRUE(versions.Choice(1005)->GetValue());
        wxCommandEvent click(wxEVT_RADIOBUTTON, 1149);
        click.SetEventObject(versions.Choice(1149));
        versions.Choice(1149)->SetValue(true);
        versions.Choice(1149)->GetEventHandler()->ProcessEvent(click);
        versions.EndWith(kIdOk);
    });
    EXPECT_EQ(result, kIdOk);
    EXPECT_EQ(state.m_dwVersionPair, 0x021B02C1u);
    EXPECT_TRUE(state.m_bSql2012Catalog);
    EXPECT_FALSE(state.m_bSql2000);
}

TEST_F(JobsWindow, DocumentRecoveryFromSearchToSavedDocuments) {
    testsupport::TempDir dir;
    const auto database = testsupport::sharepoint::ContentDatabase::Sample(testsupport::sharepoint::Generation::Sp2010VarBinary);
    fs::create_directories(dir / "data" / "nested");
    database.Build().WriteTo(dir / "data" / "nested" / "WSS_Content.mdf");

    // The search page finds it.
    dialog_->OnDocumentRecovery();
    dialog_->DriveCombo()->Append(wxString::FromUTF8((dir / "data").string() + "/"));
    dialog_->DriveCombo()->SetSelection(dialog_->DriveCombo()->GetCount() - 1);
    dialog_->OnSearchFiles();
    ASSERT_TRUE(WaitUntil([] { return App().m_pFindThread.load() == nullptr; }, 20000));
    Pump(50);
    ASSERT_EQ(dialog_->FoundFileList()->GetItemCount(), 1);
    const fs::path found = platform::ToUtf8(ui::FromWx(dialog_->FoundFileList()->GetItemText(0, 0)));
    EXPECT_EQ(found, dir / "data" / "nested" / "WSS_Content.mdf");
    EXPECT_EQ(dialog_->ControlText(kIdSearchStatus), "Total Database in List is : 1");
    EXPECT_FALSE(SaveScreenshot(*dialog_, "search_page").empty());

    // A click on the found file, then the scan shows the site tree.
    dialog_->OnFileListClick(0);
    EXPECT_TRUE(dialog_->IsControlShown(kIdScanFile));
    ASSERT_TRUE(Scan());
    const wxTreeItemId root = App().m_hTreeRoot;
    ASSERT_TRUE(root.IsOk());
    wxTreeCtrl* tree = dialog_->ResultTree();
    for (const char* label : {"Share Point Server Sites Documents", "Team|Site", "Отдел продаж", "Shared Documents",
                              "2020/2021", "Q1", "Archive", "Old"}) {
        EXPECT_TRUE(Find(root, wxString::FromUTF8(label)).IsOk()) << label;
    }
    EXPECT_EQ(tree->GetItemState(root), sharepoint::kChecked);

    // A click on the list's root folder shows its documents with their icons, last first.
    const wxTreeItemId shared_list = Find(root, "Shared Documents");
    ASSERT_TRUE(shared_list.IsOk());
    const wxTreeItemId shared = Child(shared_list, [](const wxString& t) { return t == "Shared Documents"; });
    ASSERT_TRUE(shared.IsOk());
    EXPECT_EQ(ClickLabel(shared), 1);
    ASSERT_EQ(dialog_->ResultList()->GetItemCount(), 3);
    EXPECT_EQ(dialog_->ResultList()->GetItemText(2, 0), "welcome.txt");
    wxListItem first;
    first.SetId(2);
    first.SetMask(wxLIST_MASK_IMAGE);
    ASSERT_TRUE(dialog_->ResultList()->GetItem(first));
    EXPECT_EQ(first.GetImage(), 12);  // the icon of "txt"
    EXPECT_FALSE(SaveScreenshot(*dialog_, "result_page_documents").empty());
    // A click on the list itself: its items are folders only, so no rows.
    EXPECT_EQ(ClickLabel(shared_list), 1);
    EXPECT_EQ(dialog_->ResultList()->GetItemCount(), 0);
    EXPECT_EQ(dialog_->ResultList()->GetColumnCount(), 4);

    // Uncheck the one list of Archive: the site follows, the root is partly checked.
    const wxTreeItemId old_list = Find(root, "Old");
    EXPECT_EQ(ClickCheckBox(old_list), 1);
    EXPECT_EQ(tree->GetItemState(old_list), sharepoint::kUnchecked);
    EXPECT_EQ(tree->GetItemState(Find(root, "Archive")), sharepoint::kUnchecked);
    EXPECT_EQ(tree->GetItemState(root), sharepoint::kPartlyChecked);
    EXPECT_FALSE(SaveScreenshot(*dialog_, "result_page_documents_unchecked").empty());

    // Repair: the folder picker is answered by the test, the completion message closed.
    const fs::path out = dir / "out";
    fs::create_directory(out);
    App().m_prompts.choose_folder = [out](const std::u16string& title) {
        EXPECT_EQ(title, u"Select a Folder");
        return platform::FromUtf8(out.string());
    };
    WhenModalOpens<ui::CMyMessageDialog>([](ui::CMyMessageDialog& d) { d.EndWith(kIdOk); }, 30000);
    dialog_->OnRepair();
    ASSERT_TRUE(WaitUntil([] { return App().m_bJobIdle.load() && App().m_pRecoverThread.load() == nullptr; }, 30000));
    Pump(100);

    std::vector<fs::path> folders{fs::directory_iterator(out), fs::directory_iterator()};
    ASSERT_EQ(folders.size(), 1u);
    EXPECT_EQ(folders[0].filename().string().rfind("Recoverd ", 0), 0u);
    std::vector<std::string> expected, written;
    for (const auto& line : database.Manifest()) {
        if (line.path.rfind("Archive/", 0) != 0) expected.push_back(line.path + "\t" + line.sha256);
    }
    for (const auto& entry : fs::recursive_directory_iterator(folders[0])) {
        if (entry.is_regular_file()) {
            written.push_back(fs::relative(entry.path(), folders[0]).string() + "\t" +
                              testsupport::Sha256OfFile(entry.path()));
        }
    }
    std::sort(expected.begin(), expected.end());
    std::sort(written.begin(), written.end());
    EXPECT_EQ(written, expected);
    // Every saved item ends unchecked in the window.
    for (const char* label : {"Team|Site", "Shared Documents", "Q1", "Отдел продаж"}) {
        EXPECT_EQ(tree->GetItemState(Find(root, wxString::FromUTF8(label))), sharepoint::kUnchecked) << label;
    }
    EXPECT_EQ(tree->GetItemState(root), sharepoint::kUnchecked);
    EXPECT_FALSE(SaveScreenshot(*dialog_, "result_page_documents_saved").empty());
}

}  // namespace
