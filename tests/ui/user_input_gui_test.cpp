// The main window driven as a user drives it: real pointer clicks, wheel turns and keys through the X server.
// One highlighted tree item after many clicks, row-list headers that follow a sideways scroll, progress bars
// that fill, the page depth after scans that end without a result page, and a log that keeps its lines after
// View Log.
#include <gtest/gtest.h>

#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/dcclient.h>
#include <wx/dcmemory.h>
#include <wx/listctrl.h>
#include <wx/radiobut.h>
#include <wx/settings.h>
#include <wx/treectrl.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/control_ids.h"
#include "app/log_text.h"
#include "app/progress_model.h"
#include "mdf/progress_pacer.h"
#include "mdf/recovery_engine.h"
#include "platform/messages.h"
#include "platform/text.h"
#include "tests/mdf/catalog_2005_fixture.h"
#include "tests/support/corpus.h"
#include "tests/support/page_builder.h"
#include "tests/support/sharepoint_builder.h"
#include "tests/ui/gui_harness.h"
#include "ui/brindlemoor_app.h"
#include "ui/dialog_style.h"
#include "ui/log_dialog.h"
#include "ui/main_dialog.h"
#include "ui/message_dialogs.h"
#include "ui/version_dialog.h"

namespace {

namespace fs = std::filesystem;
using namespace guitest;
using namespace app;

class UserInput : public testing::Test {
protected:
    void SetUp() override {
        dialog_ = OpenMainDialogOnScreen();
    }
    void TearDown() override {
        HandWorkerMessagesTo(dialog_);
        delete dialog_;
        Pump(20);
    }

    // A click in the middle of one of the window's controls.
    void Click(int id) { ClickControl(*dialog_, id); }
    // Select File answered with `file`, clicked.
    void SelectFile(const fs::path& file) { ClickSelectFile(*dialog_, file); }
    bool Idle() const { return JobIdle(); }
    // Scan File clicked; waits for the job's end.
    bool Scan() { return ClickScanFile(*dialog_); }
    wxTreeItemId Find(const wxTreeItemId& from, const wxString& text) const {
        wxTreeCtrl* tree = dialog_->ResultTree();
        const wxString whole = WholeItemText(*dialog_, from);
        if (whole == text || whole.EndsWith("." + text) || whole.StartsWith(text + "(") ||
            whole.Contains("." + text + "(")) {
            return from;
        }
        wxTreeItemIdValue cookie;
        for (wxTreeItemId c = tree->GetFirstChild(from, cookie); c.IsOk(); c = tree->GetNextChild(from, cookie)) {
            if (const wxTreeItemId found = Find(c, text); found.IsOk()) return found;
        }
        return {};
    }
    // The tree items drawn with the highlight colours.
    std::vector<wxString> Highlighted() const {
        const wxColour highlight = wxSystemSettings::GetColour(wxSYS_COLOUR_HIGHLIGHT);
        wxTreeCtrl* tree = dialog_->ResultTree();
        std::vector<wxString> out;
        std::function<void(const wxTreeItemId&)> walk = [&](const wxTreeItemId& item) {
            const wxColour colour = tree->GetItemBackgroundColour(item);
            if (colour.IsOk() && colour == highlight) out.push_back(WholeItemText(*dialog_, item));
            wxTreeItemIdValue cookie;
            for (wxTreeItemId c = tree->GetFirstChild(item, cookie); c.IsOk(); c = tree->GetNextChild(item, cookie)) {
                walk(c);
            }
        };
        if (App().m_hTreeRoot.IsOk()) walk(App().m_hTreeRoot);
        return out;
    }
    // Complete Repair, the corpus file, Scan File: the table tree of a real file.
    void ScanNorthwind() {
        Click(kIdCompleteRepair);
        SelectFile(*testsupport::CorpusDir() / "northwnd_sligo.mdf");
        ASSERT_TRUE(Scan());
        ASSERT_TRUE(App().m_hTreeRoot.IsOk());
    }
    // A click on a table's label, then the wait for its view to end.
    void OpenTable(const wxString& name) {
        const wxTreeItemId item = Find(App().m_hTreeRoot, name);
        ASSERT_TRUE(item.IsOk()) << name;
        ClickTreeItem(*dialog_->ResultTree(), item);
        ASSERT_TRUE(WaitUntil([&] { return Idle(); }, 30000));
        Pump(50);
    }

    ui::CBrindlemoorDlg* dialog_ = nullptr;
};

TEST_F(UserInput, OnlyTheLastClickedTreeItemIsHighlighted) {
    BM_REQUIRE_CORPUS();
    {
        SCOPED_TRACE("table mode");
        ScanNorthwind();
        for (const char* table : {"Categories", "Orders", "Shippers"}) OpenTable(table);
        const auto highlighted = Highlighted();
        ASSERT_EQ(highlighted.size(), 1u);
        EXPECT_TRUE(highlighted[0].Contains("Shippers")) << highlighted[0];
        EXPECT_FALSE(SaveScreenshot(*dialog_, "tree_single_highlight").empty());
        Click(kIdHome);
    }
    {
        SCOPED_TRACE("document mode");
        testsupport::TempDir dir;
        const auto database =
            testsupport::sharepoint::ContentDatabase::Sample(testsupport::sharepoint::Generation::Sp2010VarBinary);
        database.Build().WriteTo(dir / "WSS_Content.mdf");
        Click(kIdDocumentRecovery);
        SelectFile(dir / "WSS_Content.mdf");
        ASSERT_TRUE(Scan());
        for (const char* folder : {"Shared Documents", "Q1", "Old"}) {
            const wxTreeItemId item = Find(App().m_hTreeRoot, wxString::FromUTF8(folder));
            ASSERT_TRUE(item.IsOk()) << folder;
            ClickTreeItem(*dialog_->ResultTree(), item);
        }
        const auto highlighted = Highlighted();
        ASSERT_EQ(highlighted.size(), 1u);
        EXPECT_EQ(highlighted[0], "Old");
    }
}

// The two windows of the row list: the generic list draws its header and its rows in child windows of their own,
// the header the short one at the top.
struct ListParts {
    wxWindow* header = nullptr;
    wxWindow* rows = nullptr;
};
ListParts PartsOf(wxListCtrl& list) {
    ListParts parts;
    for (wxWindow* child : list.GetChildren()) {
        if (!parts.rows || child->GetSize().y > parts.rows->GetSize().y) parts.rows = child;
    }
    for (wxWindow* child : list.GetChildren()) {
        if (child != parts.rows) parts.header = child;
    }
    return parts;
}

wxImage Capture(wxWindow& window) {
    const wxSize size = window.GetClientSize();
    wxBitmap bitmap(size.x, size.y, 24);
    {
        wxMemoryDC memory(bitmap);
        wxClientDC source(&window);
        memory.Blit(0, 0, size.x, size.y, &source, 0, 0);
    }
    return bitmap.ConvertToImage();
}

TEST_F(UserInput, RowListHeadersFollowASidewaysScrollAndANewTableStartsAtTheLeft) {
    BM_REQUIRE_CORPUS();
    ScanNorthwind();
    OpenTable("Orders");  // fourteen columns: wider than the list
    wxListCtrl* list = dialog_->ResultList();
    const ListParts parts = PartsOf(*list);
    ASSERT_NE(parts.header, nullptr);
    ASSERT_NE(parts.rows, nullptr);
    wxWindow* header = parts.header;
    const wxSize body = parts.rows->GetClientSize();
    WheelAt(*parts.rows, wxPoint(body.x / 2, body.y / 2), true, 4);
    const int scrolled = list->GetScrollPos(wxHORIZONTAL);
    EXPECT_GT(scrolled, 0) << "the sideways wheel scrolls the rows";
    // What the header shows now must be what it shows when drawn afresh at the rows' offset.
    Pump(300);
    const wxImage shown = Capture(*header);
    header->Refresh();
    header->Update();
    Pump(100);
    const wxImage fresh = Capture(*header);
    ASSERT_EQ(shown.GetSize(), fresh.GetSize());
    // A header left at an older offset differs in most of its columns' text, across its width; the odd
    // anti-aliased pixel, or the edge where the last column is cut off, is no drift. So the measure is the
    // share of pixel columns (x) in which any pixel differs.
    const int width = shown.GetWidth();
    const int height = shown.GetHeight();
    int differing = 0;
    for (int x = 0; x < width; ++x) {
        bool differs = false;
        for (int y = 0; y < height && !differs; ++y) {
            differs = shown.GetRed(x, y) != fresh.GetRed(x, y) || shown.GetGreen(x, y) != fresh.GetGreen(x, y) ||
                      shown.GetBlue(x, y) != fresh.GetBlue(x, y);
        }
        differing += differs ? 1 : 0;
    }
    EXPECT_LT(differing, width / 20) << "the header kept an older sideways offset than the rows";
    EXPECT_FALSE(SaveScreenshot(*dialog_, "headers_after_scroll").empty());

    OpenTable("Employees");
    EXPECT_EQ(list->GetScrollPos(wxHORIZONTAL), 0) << "a new table starts at the left";
}

TEST_F(UserInput, ProgressBarsFillDuringTheScanAndTheTableView) {
    BM_REQUIRE_CORPUS();
    // Every worker message passes here after the window has handled it: the bars as the user sees them.
    std::vector<int> scan_values;       // the scan bar after each message of the page pass
    std::vector<int> scan_end_values;   // the scan bar after each pass's end
    std::vector<int> view_values;       // the table-view bar after each row batch
    bool page_pass = false, scan_shot = false, view_shot = false;
    auto& a = App();
    a.m_bridge.SetHandler([&](unsigned m, platform::WPARAM w, platform::LPARAM l) {
        dialog_->OnWorkerMessage(m, w, l);
        wxGauge* scan = dialog_->ScanGauge();
        wxGauge* view = dialog_->ResultGauge();
        if (m == platform::WM_JOB_PROGRESS && !a.m_bTableViewStarted) {
            if (w == platform::kProgressStart && scan_end_values.empty()) page_pass = true;
            if (page_pass && w != platform::kProgressEnd) scan_values.push_back(scan->GetValue());
            if (w == platform::kProgressEnd) {
                page_pass = false;
                scan_end_values.push_back(scan->GetValue());
            }
            if (page_pass && !scan_shot && scan->GetValue() > scan->GetRange() / 3) {
                scan_shot = true;
                EXPECT_FALSE(SaveScreenshot(*dialog_, "progress_scan").empty());
            }
        }
        if (m == platform::WM_TABLE_ROW && a.m_bTableViewStarted) {
            view_values.push_back(view->GetValue());
            if (!view_shot && view->GetValue() > 0 && view->GetValue() < view->GetRange()) {
                view_shot = true;
                EXPECT_FALSE(SaveScreenshot(*dialog_, "progress_table_view").empty());
            }
        }
    });
    {
        // The page pass reports its position at most every 1,024 pages (and 50 ms), which Northwind's 416 pages
        // never reach: here it reports after every page, so the bar is seen filling. (The bar's following of
        // few position messages is ABarFollowsTheAmountOfFewMessages.)
        const mdf::ProgressPacer::Thresholds every_page(1, std::chrono::milliseconds(0));
        ScanNorthwind();
    }
    const int range = dialog_->ScanGauge()->GetRange();
    ASSERT_GT(scan_values.size(), 2u) << "the page pass reported its position";
    EXPECT_GT(scan_values[scan_values.size() / 2], 0) << "half-way through the page pass the bar shows progress";
    EXPECT_LT(scan_values[scan_values.size() / 2], range);
    EXPECT_TRUE(scan_shot);
    ASSERT_FALSE(scan_end_values.empty());
    for (int value : scan_end_values) EXPECT_EQ(value, range) << "every pass ends with a full bar";

    OpenTable("Orders");
    ASSERT_FALSE(view_values.empty());
    EXPECT_GT(view_values.front(), 0);
    EXPECT_EQ(dialog_->ResultGauge()->GetValue(), dialog_->ResultGauge()->GetRange());
    EXPECT_EQ(dialog_->ControlText(kIdRecordCounter), "Recovered Records : 0000000830");
}

// A bar fed by a sender that reports seldom: the amount each message carries, not the number of messages.
TEST_F(UserInput, ABarFollowsTheAmountOfFewMessages) {
    auto& a = App();
    bool finished = false;
    std::vector<int> values;
    std::thread worker([&] {
        a.m_bridge.Send(platform::WM_JOB_PROGRESS, platform::kProgressStart, 100000);
        for (int at : {1024, 50000, 99000}) {
            a.m_bridge.Send(platform::WM_JOB_PROGRESS, platform::kProgressAt, at);
            a.m_bridge.Invoke([&] { values.push_back(dialog_->ScanGauge()->GetValue()); });
        }
        a.m_bridge.Send(platform::WM_JOB_PROGRESS, platform::kProgressEnd, 0);
        a.m_bridge.Invoke([&] { values.push_back(dialog_->ScanGauge()->GetValue()); });
        finished = true;
    });
    EXPECT_TRUE(WaitUntil([&] { return finished; }, 10000));
    worker.join();
    const int range = dialog_->ScanGauge()->GetRange();
    ASSERT_EQ(values.size(), 4u);
    EXPECT_GT(values[0], 0);
    EXPECT_NEAR(values[1], range / 2, range / 100);
    EXPECT_NEAR(values[2], range * 99 / 100, range / 100);
    EXPECT_EQ(values[3], range);
}

// Scans that end without a result page leave the user on the file page with Home and Back, and the next good
// scan's Back goes to the file page again.
TEST_F(UserInput, AScanWithoutAResultPageGivesTheFilePageBack) {
    BM_REQUIRE_CORPUS();
    testsupport::TempDir dir;
    catalog2005::Database no_tables;
    no_tables.File().PageCount(40);
    const fs::path empty_catalogue = no_tables.Write(dir, 655, 655, "no_tables.mdf");
    testsupport::FileBuilder zeros;
    zeros.PageCount(40);
    zeros.WriteTo(dir / "zeros.mdf");

    struct Case {
        const char* what;
        fs::path file;
        bool version_question;
        const char* screenshot;
    };
    const Case cases[] = {
        {"a catalogue without tables", empty_catalogue, false, nullptr},
        {"the version question cancelled", dir / "zeros.mdf", true, "message_not_a_data_file"},
    };
    Click(kIdCompleteRepair);
    EXPECT_EQ(App().m_nPageDepth, 1);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SelectFile(c.file);
        const char* shot = c.screenshot;
        WhenModalOpens<ui::CMyMessageDialog>(
            [shot](ui::CMyMessageDialog& d) {
                if (shot) {
                    EXPECT_FALSE(SaveScreenshot(d, shot).empty());
                }
                d.EndWith(kIdOk);
            },
            20000);
        if (c.version_question) {
            WhenModalOpens<ui::CSelectVersionForSQLServer>([](ui::CSelectVersionForSQLServer& d) { d.EndWith(kIdCancel); },
                                                           20000);
        }
        ASSERT_TRUE(Scan());
        Pump(200);
        EXPECT_FALSE(App().m_hTreeRoot.IsOk());
        EXPECT_EQ(App().m_nPageDepth, 1);
        EXPECT_TRUE(dialog_->IsControlEnabled(kIdHome));
        EXPECT_TRUE(dialog_->IsControlEnabled(kIdBack));
        EXPECT_TRUE(dialog_->IsControlShown(kIdScanFile));
    }
    SelectFile(*testsupport::CorpusDir() / "northwnd_sligo.mdf");
    ASSERT_TRUE(Scan());
    ASSERT_TRUE(App().m_hTreeRoot.IsOk());
    EXPECT_EQ(App().m_nPageDepth, 2);
    Click(kIdBack);
    EXPECT_EQ(App().m_nPageDepth, 1);
    EXPECT_TRUE(dialog_->IsControlShown(kIdScanFile));
    EXPECT_TRUE(dialog_->IsControlShown(kIdSelectFile));
    EXPECT_FALSE(dialog_->IsControlShown(kIdCompleteRepair));
}

// Every line of a message lies inside the dialog: inside its static's width and height, above the buttons.
void ExpectTextFits(ui::CMessageDialogBase& dialog) {
    const wxWindow* ok = dialog.FindWindow(kIdOk);
    ASSERT_NE(ok, nullptr);
    for (int id : {kIdMessageUpper, kIdMessageLower}) {
        auto* text = dynamic_cast<wxStaticText*>(dialog.FindWindow(id));
        ASSERT_NE(text, nullptr);
        wxClientDC dc(text);
        dc.SetFont(text->GetFont());
        const wxRect box = text->GetRect();
        wxCoord width = 0, height = 0;
        dc.GetMultiLineTextExtent(text->GetLabelText(), &width, &height);
        EXPECT_LE(width, box.width) << text->GetLabelText();
        EXPECT_LE(height, box.height) << text->GetLabelText();
        EXPECT_LE(box.GetBottom(), ok->GetPosition().y) << "the text runs under the buttons";
        EXPECT_LE(ok->GetRect().GetBottom(), dialog.GetClientSize().y);
    }
}

TEST_F(UserInput, MessagesFitTheirText) {
    const std::u16string long_folder =
        u"/home/someone/Recovered SharePoint documents/customer archive 2026/Recoverd 2026-12-10 15.40.00";
    struct Case {
        const char* what;
        std::u16string text;
        std::u16string title;
    };
    const Case cases[] = {
        {"the documents' save with its folder", u"\nRecovered documents saved at the desired location.\n" + long_folder,
         u"Recovery process is successfully completed."},
        {"a Save Log error with a long path",
         u"The log could not be saved: creating /home/someone/a-folder-with-a-rather-long-name/and-another-one-below-"
         u"it/Brindlemoor_Log.txt failed (No such file or directory).",
         u""},
        {"a short message", u"Current  process stopped by user.", u""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        platform::SharedState state;
        state.m_strMessageText = c.text;
        state.m_strMessageTitle = c.title;
        ui::CMyMessageDialog dialog(dialog_, state);
        RunModal(dialog, [](wxDialog& d) {
            ExpectTextFits(static_cast<ui::CMessageDialogBase&>(d));
            static_cast<ui::CMessageDialogBase&>(d).EndWith(kIdOk);
        });
    }
}

TEST_F(UserInput, TheDocumentSaveMessageNamesItsFolder) {
    testsupport::TempDir dir;
    const auto database =
        testsupport::sharepoint::ContentDatabase::Sample(testsupport::sharepoint::Generation::Sp2010VarBinary);
    database.Build().WriteTo(dir / "WSS_Content.mdf");
    Click(kIdDocumentRecovery);
    SelectFile(dir / "WSS_Content.mdf");
    ASSERT_TRUE(Scan());
    const fs::path out = dir / "out";
    fs::create_directory(out);
    App().m_prompts.choose_folder = [out](const std::u16string&) { return platform::FromUtf8(out.string()); };
    wxString shown;
    WhenModalOpens<ui::CMyMessageDialog>(
        [&shown](ui::CMyMessageDialog& d) {
            shown = d.UpperText();
            ExpectTextFits(d);
            EXPECT_FALSE(SaveScreenshot(d, "documents_saved_message").empty());
            d.EndWith(kIdOk);
        },
        30000);
    Click(kIdRepair);
    ASSERT_TRUE(WaitUntil([&] { return Idle() && !shown.empty(); }, 30000));
    App().m_prompts.choose_folder = nullptr;
    std::vector<fs::path> folders{fs::directory_iterator(out), fs::directory_iterator()};
    ASSERT_EQ(folders.size(), 1u);
    EXPECT_TRUE(shown.Contains("saved at the desired location.")) << shown;
    EXPECT_TRUE(shown.Contains(wxString::FromUTF8(folders[0].string()))) << shown;
}

TEST_F(UserInput, HelpSaysWhenItsFileIsMissing) {
    testsupport::TempDir empty;
    dialog_->help_page = empty.Path() / "help" / "index.html";
    wxString shown;
    WhenModalOpens<ui::CMyMessageDialog>([&shown](ui::CMyMessageDialog& d) {
        shown = d.UpperText();
        d.EndWith(kIdOk);
    });
    Click(kIdHelp);
    EXPECT_TRUE(WaitUntil([&] { return !shown.empty(); }, 5000));
    EXPECT_TRUE(shown.StartsWith("The help file is missing: ")) << shown;
    EXPECT_TRUE(shown.EndsWith("index.html")) << shown;
}

// The file page's list as the pointer uses it, and a search from "/" that is not "no file chosen".
TEST_F(UserInput, FileListClicksSortAndTheRootSearch) {
    testsupport::TempDir dir;
    const std::vector<std::pair<const char*, int>> files = {{"b.mdf", 3}, {"a.mdf", 1}, {"c.mdf", 2}};
    for (const auto& [name, pages] : files) {
        testsupport::FileBuilder file;
        file.PageCount(static_cast<std::uint32_t>(pages));
        file.WriteTo(dir / name);
    }
    Click(kIdCompleteRepair);
    wxChoice* drives = dialog_->DriveCombo();
    const char* home = std::getenv("HOME");
    if (home && *home && std::string(home) != "/") {
        EXPECT_NE(drives->FindString(wxString::FromUTF8(fs::path(home).lexically_normal().string())), wxNOT_FOUND)
            << "the home folder is offered";
    }
    drives->Append(wxString::FromUTF8(dir.Path().string()));
    drives->SetSelection(static_cast<int>(drives->GetCount()) - 1);
    Click(kIdSearchFiles);
    ASSERT_TRUE(WaitUntil([] { return App().m_pFindThread.load() == nullptr; }, 20000));
    Pump(100);
    auto* list = dialog_->FoundFileList();
    ASSERT_EQ(list->GetItemCount(), 3);
    wxWindow* rows = list->RowArea();
    // Item rectangles are in the list's own coordinates (the header included).
    auto click_row = [&](long row) {
        wxRect rect;
        ASSERT_TRUE(list->GetItemRect(row, rect));
        ClickAt(*list, wxPoint(rect.x + 40, rect.y + rect.height / 2));
    };
    const wxString second = list->GetItemText(1, 0);
    click_row(1);
    EXPECT_EQ(dialog_->ControlText(kIdSelectedPath), second);
    EXPECT_TRUE(dialog_->IsControlEnabled(kIdScanFile));

    // Below the last row: no file is chosen any more.
    wxRect last;
    ASSERT_TRUE(list->GetItemRect(2, last));
    ClickAt(*list, wxPoint(last.x + 40, last.GetBottom() + 30));
    EXPECT_TRUE(App().m_strDataFilePath.empty());
    EXPECT_EQ(dialog_->ControlText(kIdSelectedPath), "");
    EXPECT_FALSE(dialog_->IsControlEnabled(kIdScanFile));

    // The selected row again: chosen again.
    click_row(1);
    EXPECT_EQ(dialog_->ControlText(kIdSelectedPath), second);
    EXPECT_EQ(App().m_strDataFilePath, ui::FromWx(second));

    // A sort by size (header click) moves the rows; the highlighted one is still the chosen file.
    wxWindow* header = nullptr;
    for (wxWindow* child : list->GetChildren()) {
        if (child != rows) header = child;
    }
    ASSERT_NE(header, nullptr);
    ClickAt(*header, wxPoint(list->GetColumnWidth(0) + list->GetColumnWidth(1) / 2, header->GetClientSize().y / 2));
    Pump(100);
    const long selected = list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
    ASSERT_NE(selected, -1);
    EXPECT_EQ(list->GetItemText(selected, 0), dialog_->ControlText(kIdSelectedPath));
    EXPECT_EQ(list->GetNextItem(selected, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED), -1) << "one highlighted row";

    // A search from "/" (its top folder only) keeps "/" as the root: a file that then cannot be opened is
    // reported as a file that cannot be opened, not as no file chosen.
    drives->SetSelection(0);
    ASSERT_EQ(drives->GetStringSelection(), "/");
    dynamic_cast<wxCheckBox*>(dialog_->FindWindow(kIdSearchSubfolders))->SetValue(false);
    Click(kIdSearchFiles);
    ASSERT_TRUE(WaitUntil([] { return App().m_pFindThread.load() == nullptr; }, 20000));
    Pump(100);
    EXPECT_EQ(App().m_strSearchRoot, u"/");
    const long row = list->FindItem(-1, wxString::FromUTF8((dir / "a.mdf").string()));
    ASSERT_NE(row, -1);
    click_row(row);
    fs::remove(dir / "a.mdf");
    wxString shown;
    WhenModalOpens<ui::CMyMessageDialog>(
        [&shown](ui::CMyMessageDialog& d) {
            shown = d.UpperText() + "|" + d.LowerText();
            d.EndWith(kIdOk);
        },
        20000);
    ASSERT_TRUE(Scan());
    EXPECT_TRUE(WaitUntil([&] { return !shown.empty(); }, 5000));
    // A missing file is said to be missing, with its path, not blamed on the server.
    EXPECT_TRUE(shown.Contains("The data file cannot be opened: " + wxString::FromUTF8((dir / "a.mdf").string())))
        << shown;
    EXPECT_TRUE(shown.Contains("No such file or directory")) << shown;
    EXPECT_FALSE(shown.Contains("Please select an appropriate")) << shown;
    EXPECT_EQ(App().m_nPageDepth, 1);
}

// The small print is at least the platform's default size, and its control holds the whole text.
TEST_F(UserInput, SmallPrintIsReadable) {
    const double readable = wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT).GetFractionalPointSize();
    auto expect_readable = [&](wxWindow& control, const wxString& what) {
        EXPECT_GE(control.GetFont().GetFractionalPointSize(), readable - 0.01) << what;
        wxClientDC dc(&control);
        dc.SetFont(control.GetFont());
        wxCoord width = 0, height = 0;
        dc.GetMultiLineTextExtent(control.GetLabel(), &width, &height);
        EXPECT_GE(control.GetSize().x, width) << what << " is cut off";
        EXPECT_GE(control.GetSize().y, height) << what << " is cut off";
    };
    for (int id : {kIdCompleteRepairCaption, kIdDocumentRecoveryCaption}) {
        expect_readable(*dialog_->FindWindow(id), dialog_->FindWindow(id)->GetLabel());
    }

    // The header buttons' labels as shown: the letters stand at least as tall as the label's letters in the
    // readable font (the default size), and the buttons stay apart and inside the banner.
    const fs::path shot = SaveScreenshot(*dialog_, "header_buttons");
    ASSERT_FALSE(shot.empty());
    wxImage window_image(wxString::FromUTF8(shot.string()), wxBITMAP_TYPE_PNG);
    ASSERT_TRUE(window_image.IsOk());
    // Rows of `image` (inside `area`) holding a dark pixel: the height of the drawn letters.
    auto ink_height = [](const wxImage& image, const wxRect& area) {
        int first = -1, last = -1;
        for (int y = area.y; y <= area.GetBottom(); ++y) {
            for (int x = area.x; x <= area.GetRight(); ++x) {
                const int luma = (299 * image.GetRed(x, y) + 587 * image.GetGreen(x, y) + 114 * image.GetBlue(x, y)) / 1000;
                if (luma < 80) {
                    if (first < 0) first = y;
                    last = y;
                    break;
                }
            }
        }
        return first < 0 ? 0 : last - first + 1;
    };
    const wxPoint origin = dialog_->GetScreenRect().GetTopLeft();
    std::vector<wxRect> header;
    for (int id : {kIdAbout, kIdViewLog, kIdUpdates}) {
        wxWindow* button = dialog_->FindWindow(id);
        const wxString label = button->GetLabel();
        wxBitmap sample(200, 60, 24);
        {
            wxMemoryDC dc(sample);
            dc.SetBackground(*wxWHITE_BRUSH);
            dc.Clear();
            dc.SetFont(ui::ReadableFont());
            dc.SetTextForeground(*wxBLACK);
            dc.DrawText(label, 4, 4);
        }
        const int wanted = ink_height(sample.ConvertToImage(), wxRect(0, 0, 200, 60));
        wxRect shown = button->GetScreenRect();
        shown.Offset(-origin.x, -origin.y);
        header.push_back(button->GetRect());
        // Inside the rounded border, clear of its corners.
        EXPECT_GE(ink_height(window_image, wxRect(shown).Deflate(6, 3)), wanted - 1) << label << " is drawn too small";
        expect_readable(*button, label);
    }
    const wxRect banner(wxPoint(0, 0), ui::DluSize(546, 69));
    for (size_t i = 0; i < header.size(); ++i) {
        EXPECT_TRUE(banner.Contains(header[i])) << i;
        if (i + 1 < header.size()) {
            EXPECT_GE(header[i + 1].GetLeft() - header[i].GetRight(), 6) << "header buttons " << i << " and " << i + 1;
        }
        for (int id : {kIdMinimize, kIdExit}) EXPECT_FALSE(header[i].Intersects(dialog_->FindWindow(id)->GetRect())) << i;
    }
    Click(kIdCompleteRepair);
    for (int id : {kIdFileHint, kIdFileTypeCaption, kIdDriveCaption, kIdSelectedPathCaption}) {
        expect_readable(*dialog_->FindWindow(id), dialog_->FindWindow(id)->GetLabel());
    }
    wxWindow* counter = dialog_->FindWindow(kIdRecordCounter);
    counter->SetLabel(ui::ToWx(RecordCounterText(1234567890, true)));
    expect_readable(*counter, "the counter line");
    EXPECT_LE(counter->GetRect().GetRight(), dialog_->FindWindow(kIdRepair)->GetRect().GetLeft())
        << "the counter runs into Repair";

    platform::SharedState state;
    ui::CSelectVersionForSQLServer versions(dialog_, state);
    RunModal(versions, [&](wxDialog& d) {
        for (wxWindow* child : d.GetChildren()) {
            if (auto* radio = dynamic_cast<wxRadioButton*>(child)) expect_readable(*radio, radio->GetLabel());
        }
        static_cast<ui::CSelectVersionForSQLServer&>(d).EndWith(kIdCancel);
    });
}

// The window from the keyboard: Tab goes from button to button and list, never into a read-only text; Space
// presses the focused button; Enter on a result-tree item opens its table.
TEST_F(UserInput, TheKeyboardReachesButtonsListsAndTables) {
    BM_REQUIRE_CORPUS();
    const std::set<int> read_only = {kIdFileType, kIdSelectedPath, kIdMethodHint};
    auto tab_round = [&](int presses) {
        std::vector<int> reached;
        for (int i = 0; i < presses; ++i) {
            TypeKey(WXK_TAB);
            wxWindow* focus = wxWindow::FindFocus();
            reached.push_back(focus ? focus->GetId() : 0);
        }
        return reached;
    };
    dialog_->FindWindow(kIdCompleteRepair)->SetFocus();
    Pump(50);
    const auto home = tab_round(4);
    EXPECT_NE(std::find(home.begin(), home.end(), kIdDocumentRecovery), home.end()) << "Tab reaches the buttons";
    for (int id : home) EXPECT_EQ(read_only.count(id), 0u) << id;

    // Space presses the focused button.
    dialog_->FindWindow(kIdCompleteRepair)->SetFocus();
    Pump(50);
    ASSERT_EQ(wxWindow::FindFocus(), dialog_->FindWindow(kIdCompleteRepair));
    EXPECT_FALSE(SaveScreenshot(*dialog_, "keyboard_focused_button").empty());
    TypeKey(WXK_SPACE);
    EXPECT_EQ(App().m_nPageDepth, 1) << "Space pressed Complete Repair";
    EXPECT_TRUE(dialog_->IsControlShown(kIdSelectFile));

    const auto file_page = tab_round(12);
    EXPECT_NE(std::find(file_page.begin(), file_page.end(), kIdFoundFileList), file_page.end()) << "Tab reaches the list";
    for (int id : file_page) EXPECT_EQ(read_only.count(id), 0u) << "a read-only text took the focus: " << id;
    // A click into the path box puts no caret there either.
    const wxSize box = dialog_->FindWindow(kIdSelectedPath)->GetClientSize();
    ClickAt(*dialog_->FindWindow(kIdSelectedPath), wxPoint(box.x / 2, box.y / 2));
    EXPECT_NE(wxWindow::FindFocus(), dialog_->FindWindow(kIdSelectedPath));

    SelectFile(*testsupport::CorpusDir() / "northwnd_sligo.mdf");
    ASSERT_TRUE(Scan());
    wxTreeCtrl* tree = dialog_->ResultTree();
    tree->SetFocus();
    const wxTreeItemId shippers = Find(App().m_hTreeRoot, "Shippers");
    ASSERT_TRUE(shippers.IsOk());
    tree->SetFocusedItem(shippers);
    tree->SelectItem(shippers);
    Pump(50);
    TypeKey(WXK_RETURN);
    ASSERT_TRUE(WaitUntil([&] { return Idle(); }, 30000));
    Pump(50);
    EXPECT_EQ(dialog_->ResultList()->GetItemCount(), 3) << "Enter opened the table";
    // An arrow key moves to the next table; Enter opens that one.
    TypeKey(WXK_DOWN);
    TypeKey(WXK_RETURN);
    ASSERT_TRUE(WaitUntil([&] { return Idle(); }, 30000));
    Pump(50);
    EXPECT_TRUE(WholeItemText(*dialog_, tree->GetFocusedItem()).Contains("Suppliers"))
        << WholeItemText(*dialog_, tree->GetFocusedItem());
    EXPECT_EQ(dialog_->ResultList()->GetItemCount(), 29);
}

TEST_F(UserInput, ViewLogKeepsTheRunningLogsEarlierLines) {
    auto& a = App();
    auto log_line = [&](const std::u16string& line) {
        bool done = false;
        std::thread worker([&] {
            a.m_strLogLine = line;
            a.m_bridge.Send(platform::WM_LOG_LINE, 0, 0);
            done = true;
        });
        EXPECT_TRUE(WaitUntil([&] { return done; }, 5000));
        worker.join();
    };
    log_line(u"first line before the view");
    log_line(u"second line before the view");
    WhenModalOpens<ui::CLogDialog>([](ui::CLogDialog& d) { d.EndWith(kIdOk); });
    Click(kIdViewLog);
    Pump(100);
    log_line(u"line after the view");
    log_line(u"one more line");
    const std::u16string kept = GetLogText(a);
    for (const char16_t* line : {u"first line before the view", u"second line before the view", u"line after the view"}) {
        EXPECT_NE(kept.find(line), std::u16string::npos) << platform::ToUtf8(line);
    }
    EXPECT_NE(a.m_dlgLog->EditText().find(u"first line before the view"), std::u16string::npos);
}

}  // namespace
