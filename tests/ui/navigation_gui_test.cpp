// Moving through the main window's pages with real input through the X server: Tab reaches every control a
// page offers, on the first visit and after Back, and a double click on Back goes back one page, not two.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <wx/choice.h>
#include <wx/treectrl.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/control_ids.h"
#include "tests/support/sharepoint_builder.h"
#include "tests/support/page_builder.h"
#include "tests/ui/gui_harness.h"
#include "ui/bitmap_button.h"
#include "ui/brindlemoor_app.h"
#include "ui/main_dialog.h"

namespace {

namespace fs = std::filesystem;
using namespace guitest;
using namespace app;

// The synthetic content database: a small file whose scan ends in a moment.
fs::path SmallDataFile(const fs::path& folder) {
    const fs::path file = folder / "content.mdf";
    testsupport::sharepoint::ContentDatabase::Sample(testsupport::sharepoint::Generation::Sp2010VarBinary)
        .Build()
        .WriteTo(file);
    return file;
}

const std::map<int, const char*>& ControlNames() {
    static const std::map<int, const char*> names = {
        {kIdCompleteRepair, "Complete Repair"}, {kIdDocumentRecovery, "Document Recovery"},
        {kIdAbout, "About"},                    {kIdViewLog, "View Log"},
        {kIdUpdates, "Updates"},                {kIdHelp, "Help"},
        {kIdMinimize, "Min"},                   {kIdExit, "Exit"},
        {kIdHome, "Home"},                      {kIdBack, "Back"},
        {kIdDriveCombo, "drive list"},          {kIdSearchSubfolders, "Search in subfolders"},
        {kIdSelectFile, "Select File"},         {kIdSearchFiles, "Search File(s)"},
        {kIdFoundFileList, "found-file list"},  {kIdClearList, "Clear List"},
        {kIdScanFile, "Scan File"},             {kIdResultTree, "result tree"},
        {kIdResultList, "result list"},         {kIdRepair, "Repair"},
    };
    return names;
}

class Navigation : public testing::Test {
protected:
    void SetUp() override { dialog_ = OpenMainDialogOnScreen(); }
    void TearDown() override {
        HandWorkerMessagesTo(dialog_);
        delete dialog_;
        Pump(20);
    }

    // The main dialog's controls that Tab gives the focus to, pressing it until the focus comes round again.
    std::set<int> TabRound() {
        std::set<int> reached;
        std::vector<int> order;
        for (int i = 0; i < 40; ++i) {
            TypeKey(WXK_TAB);
            const int id = FocusedControl();
            if (!order.empty() && id == order.front() && order.size() > 1) break;
            order.push_back(id);
            reached.insert(id);
        }
        return reached;
    }

    // The dialog's control that holds the keyboard focus, as the window system sees it: the drop-down list's
    // focus lies on an inner button that the toolkit's own focus tracking does not report. 0: none.
    int FocusedControl() const {
        using WindowFocus = void* (*)(void*);
        using IsAncestor = int (*)(void*, void*);
        static const auto window_focus = reinterpret_cast<WindowFocus>(dlsym(RTLD_DEFAULT, "gtk_window_get_focus"));
        static const auto is_ancestor = reinterpret_cast<IsAncestor>(dlsym(RTLD_DEFAULT, "gtk_widget_is_ancestor"));
        if (window_focus != nullptr && is_ancestor != nullptr) {
            void* focus = window_focus(dialog_->GetHandle());
            for (const wxWindow* child : dialog_->GetChildren()) {
                void* widget = child->GetHandle();
                if (focus != nullptr && (focus == widget || is_ancestor(focus, widget))) return child->GetId();
            }
            return 0;
        }
        const wxWindow* focus = wxWindow::FindFocus();
        while (focus != nullptr && focus->GetParent() != dialog_) focus = focus->GetParent();
        return focus ? focus->GetId() : 0;
    }

    ui::CBrindlemoorDlg* dialog_ = nullptr;
};

// Each page, as the user comes to it, with the controls Tab must reach there: every shown and enabled button,
// list and choice, the header buttons included.
TEST_F(Navigation, TabReachesEveryControlOfEachPage) {
    testsupport::TempDir dir;
    const fs::path file = SmallDataFile(dir.Path());
    const std::vector<int> header = {kIdAbout, kIdViewLog, kIdUpdates, kIdHelp, kIdMinimize, kIdExit};
    struct Page {
        const char* name;
        std::function<void()> go;  // from the page before
        std::vector<int> wanted;
        const char* screenshot;
    };
    const std::vector<int> file_page = {kIdHome,        kIdBack,          kIdDriveCombo, kIdSearchSubfolders,
                                        kIdSelectFile,  kIdSearchFiles,   kIdFoundFileList, kIdClearList,
                                        kIdScanFile};
    const std::vector<Page> pages = {
        {"home", [] {}, {kIdCompleteRepair, kIdDocumentRecovery}, nullptr},
        {"file page, first visit from the home page",
         [&] {
             ClickControl(*dialog_, kIdCompleteRepair);
             // A file found and one chosen: Clear List and Scan File have work to do.
             wxChoice* drives = dialog_->DriveCombo();
             drives->Append(wxString::FromUTF8(dir.Path().string()));
             drives->SetSelection(static_cast<int>(drives->GetCount()) - 1);
             ClickControl(*dialog_, kIdSearchFiles);
             ASSERT_TRUE(WaitUntil([] { return App().m_pFindThread.load() == nullptr; }, 20000));
             Pump(100);
             ClickSelectFile(*dialog_, file);
         },
         file_page, "tab_file_page"},
        {"result page",
         [&] { ASSERT_TRUE(ClickScanFile(*dialog_)); },
         {kIdHome, kIdBack, kIdResultTree, kIdResultList, kIdRepair}, nullptr},
        {"file page after Back", [&] { ClickControl(*dialog_, kIdBack); }, {kIdHome, kIdBack, kIdDriveCombo,
          kIdSearchSubfolders, kIdSelectFile, kIdSearchFiles, kIdScanFile}, nullptr},
        {"home page after Back", [&] { ClickControl(*dialog_, kIdBack); }, {kIdCompleteRepair, kIdDocumentRecovery},
         nullptr},
    };
    for (const Page& page : pages) {
        SCOPED_TRACE(page.name);
        page.go();
        Pump(100);
        const std::set<int> reached = TabRound();
        std::vector<int> wanted = page.wanted;
        wanted.insert(wanted.end(), header.begin(), header.end());
        for (int id : wanted) {
            const auto name = ControlNames().find(id);
            EXPECT_TRUE(reached.count(id)) << "Tab misses " << (name != ControlNames().end() ? name->second : "?");
        }
        for (int id : reached) {
            wxWindow* control = dialog_->FindWindow(id);
            EXPECT_TRUE(control != nullptr && control->IsShown() && control->IsEnabled())
                << "Tab stops on a hidden or disabled control " << id;
            for (int read_only : {kIdFileType, kIdSelectedPath, kIdMethodHint}) {
                EXPECT_NE(id, read_only) << "Tab stops in a text that is only read";
            }
        }
        if (page.screenshot != nullptr) {
            // The focus on Select File, as a user sees it after Tab got there.
            dialog_->FindWindow(kIdSelectFile)->SetFocus();
            Pump(50);
            EXPECT_FALSE(SaveScreenshot(*dialog_, page.screenshot).empty());
        }
    }
}

// A double click on Back on the result page goes back one page, to the file page; a click of its own after
// that goes on to the home page. The same holds for the file page's Back.
TEST_F(Navigation, ADoubleClickOnBackGoesBackOnePage) {
    testsupport::TempDir dir;
    const fs::path file = SmallDataFile(dir.Path());
    ClickControl(*dialog_, kIdCompleteRepair);
    ClickSelectFile(*dialog_, file);
    ASSERT_TRUE(ClickScanFile(*dialog_));
    ASSERT_EQ(App().m_nPageDepth, 2);
    ASSERT_TRUE(dialog_->IsControlShown(kIdRepair));

    wxWindow* back = dialog_->FindWindow(kIdBack);
    const wxSize size = back->GetClientSize();
    DoubleClickAt(*back, wxPoint(size.x / 2, size.y / 2));
    EXPECT_EQ(App().m_nPageDepth, 1) << "the double click went back more than one page";
    EXPECT_TRUE(dialog_->IsControlShown(kIdSelectFile));
    EXPECT_FALSE(dialog_->IsControlShown(kIdCompleteRepair));

    DoubleClickAt(*back, wxPoint(size.x / 2, size.y / 2));
    EXPECT_EQ(App().m_nPageDepth, 0);
    EXPECT_TRUE(dialog_->IsControlShown(kIdCompleteRepair));
    EXPECT_GE(App().m_nPageDepth, 0) << "Back below the home page";
}

}  // namespace
