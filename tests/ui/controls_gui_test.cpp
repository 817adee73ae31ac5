// The owner-drawn controls in a real window: the found-file list (sorting with its tooltips and records,
// row colours, deleting rows), the picture buttons' sets and the mode buttons' hint, the colour button's hover.
#include <gtest/gtest.h>
#include <wx/frame.h>
#include <wx/tooltip.h>

#include <functional>

#include "app/button_look.h"
#include "app/control_ids.h"
#include "app/string_table.h"
#include "tests/ui/gui_harness.h"
#include "ui/bitmap_button.h"
#include "ui/brindlemoor_app.h"
#include "ui/color_button.h"
#include "ui/dialog_style.h"
#include "ui/list_controls.h"
#include "ui/read_only_edit.h"
#include "ui/main_dialog.h"

namespace {

using namespace guitest;

class FoundFileListTest : public testing::Test {
protected:
    void SetUp() override {
        frame_ = new wxFrame(nullptr, wxID_ANY, "list", wxDefaultPosition, wxSize(700, 300));
        list_ = new ui::CToolTipListCtrl(frame_, app::kIdFoundFileList, wxPoint(0, 0), wxSize(680, 280));
        for (int c = 0; c < 3; ++c) list_->InsertColumn(c, wxString::Format("c%d", c), wxLIST_FORMAT_LEFT, 200);
        list_->InitColumnSortInfo();
        list_->SetColumnSortInfo(1, app::kSortToggles, app::kCompareNumber);
        list_->SetColumnSortInfo(2, app::kSortToggles, app::kCompareDateTime);
        const char* rows[][3] = {{"/d/a.mdf", "1000", "2024-01-02 10:00:00"},
                                 {"/d/B.mdf", "900", "not a date"},
                                 {"/d/c.mdf", "abc", "2023-05-01 08:00:00"},
                                 {"/d/D.mdf", "5", "2024-01-02 10:00:00.400"}};
        for (long r = 0; r < 4; ++r) {
            list_->InsertItem(r, rows[r][0]);
            list_->SetItem(r, 1, rows[r][1]);
            list_->SetItem(r, 2, rows[r][2]);
            list_->SetItemToolTipText(r, 0, ui::FromWx(rows[r][0]));
            list_->SetItemUserValue(r, static_cast<int>(r));
        }
        list_->ColourRows();
        frame_->Show();
        Pump(50);
    }
    void TearDown() override { delete frame_; }

    std::vector<std::string> Column(int c) const {
        std::vector<std::string> cells;
        for (long r = 0; r < list_->GetItemCount(); ++r) cells.push_back(list_->GetItemText(r, c).utf8_string());
        return cells;
    }

    wxFrame* frame_ = nullptr;
    ui::CToolTipListCtrl* list_ = nullptr;
};

TEST_F(FoundFileListTest, SortsByNumberAndMovesTooltipsAndRecords) {
    ASSERT_TRUE(list_->SortByHeaderClick(1));
    EXPECT_EQ(Column(1), (std::vector<std::string>{"5", "900", "1000", "abc"}));
    EXPECT_EQ(list_->GetSortIndicator(), 1);
    EXPECT_TRUE(list_->IsAscendingSortIndicator());
    for (long r = 0; r < 4; ++r) {
        EXPECT_EQ(ui::ToWx(list_->GetItemToolTipText(r, 0)), list_->GetItemText(r, 0)) << "row " << r;
    }
    EXPECT_EQ(list_->GetItemUserValue(0), 3) << "the record of /d/D.mdf moved with it";

    ASSERT_TRUE(list_->SortByHeaderClick(1));
    EXPECT_EQ(Column(1), (std::vector<std::string>{"1000", "900", "5", "abc"})) << "descending, no number last";
    EXPECT_FALSE(list_->IsAscendingSortIndicator());

    // Row colours follow the new order.
    EXPECT_EQ(list_->GetItemBackgroundColour(0), *wxWHITE);
    EXPECT_EQ(list_->GetItemBackgroundColour(1), ui::ToWx(app::kFoundFileListOddRow));
}

TEST_F(FoundFileListTest, SortsTextAndDates) {
    ASSERT_TRUE(list_->SortByHeaderClick(0));
    EXPECT_EQ(Column(0), (std::vector<std::string>{"/d/B.mdf", "/d/D.mdf", "/d/a.mdf", "/d/c.mdf"}))
        << "upper case first";
    ASSERT_TRUE(list_->SortByHeaderClick(2));
    EXPECT_EQ(Column(2), (std::vector<std::string>{"2023-05-01 08:00:00", "2024-01-02 10:00:00.400",
                                                   "2024-01-02 10:00:00", "not a date"}))
        << "times within the same second keep their order (D before a); no date last";
    EXPECT_EQ(list_->GetSortIndicator(), 2) << "the first column's arrow moved";
}

TEST_F(FoundFileListTest, DeletingRowsKeepsTooltipsWithTheirRows) {
    ASSERT_TRUE(list_->DeleteItem(1));
    EXPECT_EQ(list_->GetItemToolTipText(1, 0), u"/d/c.mdf");
    EXPECT_EQ(list_->GetItemToolTipText(3, 0), u"");
    EXPECT_EQ(list_->GetItemBackgroundColour(1), ui::ToWx(app::kFoundFileListOddRow));
    ASSERT_TRUE(list_->DeleteAllItems());
    EXPECT_EQ(list_->GetItemToolTipText(0, 0), u"") << "clearing the list removes every tooltip";
}

// After each change of the rows, the real pointer over each row's path shows that row's path, and over a list
// emptied under it no tooltip is left.
TEST_F(FoundFileListTest, TooltipsFollowTheirRowsUnderThePointer) {
    struct Case {
        const char* name;
        std::function<void(ui::CToolTipListCtrl&)> change;
    };
    const Case cases[] = {
        {"rows of a later search inserted above",
         [](ui::CToolTipListCtrl& list) {
             for (long r = 0; r < 2; ++r) {
                 const wxString path = wxString::Format("/e/new%ld.mdf", r);
                 const long at = list.InsertRow(r, path);
                 list.SetItemToolTipText(at, 0, ui::FromWx(path));
             }
         }},
        {"a row inserted in the middle",
         [](ui::CToolTipListCtrl& list) { list.SetItemToolTipText(list.InsertRow(2, "/e/mid.mdf"), 0, u"/e/mid.mdf"); }},
        {"sorted by path", [](ui::CToolTipListCtrl& list) { list.SortByHeaderClick(0); }},
        {"a row deleted", [](ui::CToolTipListCtrl& list) { list.DeleteItem(0); }},
    };
    wxWindow* rows = list_->RowArea();
    auto point_of = [&](long row) {
        wxRect cell;
        EXPECT_TRUE(list_->GetSubItemRect(row, 0, cell));
        return cell.GetPosition() - rows->GetPosition() + wxPoint(6, cell.height / 2);
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MoveTo(*rows, point_of(0));  // a tooltip is shown before the change
        c.change(*list_);
        Pump(30);
        for (long row = 0; row < list_->GetItemCount(); ++row) {
            MoveTo(*rows, point_of(row));
            EXPECT_EQ(rows->GetToolTipText(), list_->GetItemText(row, 0)) << "row " << row;
        }
    }
    MoveTo(*rows, point_of(0));
    ASSERT_FALSE(rows->GetToolTipText().empty());
    ASSERT_TRUE(list_->DeleteAllItems());
    Pump(30);
    EXPECT_TRUE(rows->GetToolTipText().empty()) << "an old tooltip stays over the emptied list";
    MoveTo(*rows, wxPoint(10, 10));
    EXPECT_TRUE(rows->GetToolTipText().empty());
}

TEST_F(FoundFileListTest, TooltipOfTheCellUnderThePointerIsCutTo79) {
    list_->SetItemToolTipText(0, 0, std::u16string(120, u'x'));
    wxRect cell;
    ASSERT_TRUE(list_->GetSubItemRect(0, 0, cell));
    // The pointer's position arrives in the coordinates of the row area below the header.
    const wxPoint rows_origin = list_->RowArea()->GetPosition();
    EXPECT_GT(rows_origin.y, 0) << "the header is above the rows";
    EXPECT_EQ(list_->ToolTipAt(cell.GetPosition() - rows_origin + wxPoint(4, cell.height / 2)),
              std::u16string(79, u'x'));
    list_->GetSubItemRect(0, 1, cell);
    EXPECT_EQ(list_->ToolTipAt(cell.GetPosition() - rows_origin + wxPoint(4, cell.height / 2)), u"")
        << "a cell without a stored text shows an empty tooltip";
}

TEST(PictureButtons, SetsSwapWithThePointer) {
    auto& app = App();
    auto* dialog = new ui::CBrindlemoorDlg(app);
    dialog->Show();
    Pump(50);
    auto* scan = static_cast<ui::CMyBitmapButton*>(dialog->FindWindow(app::kIdScanFile));
    scan->Show();
    scan->Enable();
    scan->HandlePointer(app::PictureEvent::Entered);
    EXPECT_EQ(scan->ShownPicture(), 205);
    scan->HandlePointer(app::PictureEvent::Pressed);
    EXPECT_EQ(scan->ShownPicture(), 206);
    scan->HandlePointer(app::PictureEvent::Released);
    EXPECT_EQ(scan->ShownPicture(), 181) << "normal until the pointer leaves and comes back";
    scan->Disable();
    EXPECT_EQ(scan->ShownPicture(), 207);

    // The mode buttons put their description into the hint while the pointer is over them.
    auto* complete = static_cast<ui::CMyBitmapButton*>(dialog->FindWindow(app::kIdCompleteRepair));
    complete->HandlePointer(app::PictureEvent::Entered);
    EXPECT_EQ(dialog->ControlText(app::kIdMethodHint), ui::ToWx(app::LoadString(171)));
    EXPECT_EQ(complete->ShownPicture(), 160);
    complete->HandlePointer(app::PictureEvent::Left);
    EXPECT_EQ(dialog->ControlText(app::kIdMethodHint), "Select Recovery Method");
    delete dialog;
}

TEST(ColorButton, HoverAndDisabledStates) {
    auto* frame = new wxFrame(nullptr, wxID_ANY, "button");
    auto* button = new ui::CColorButton(frame, 1, "OK", wxPoint(10, 10), ui::DluSize(50, 14));
    frame->Show();
    Pump(50);
    wxMouseEvent enter(wxEVT_ENTER_WINDOW);
    button->GetEventHandler()->ProcessEvent(enter);
    EXPECT_TRUE(button->DrawState().pointer_inside);
    wxMouseEvent leave(wxEVT_LEAVE_WINDOW);
    button->GetEventHandler()->ProcessEvent(leave);
    EXPECT_FALSE(button->DrawState().pointer_inside);
    button->Disable();
    EXPECT_TRUE(button->DrawState().disabled);
    int clicks = 0;
    button->Enable();
    frame->Bind(wxEVT_BUTTON, [&](wxCommandEvent&) { ++clicks; });
    for (wxEventType type : {wxEVT_LEFT_DOWN, wxEVT_LEFT_UP, wxEVT_LEFT_DCLICK, wxEVT_LEFT_UP}) {
        wxMouseEvent mouse(type);
        mouse.SetPosition(wxPoint(5, 5));
        button->GetEventHandler()->ProcessEvent(mouse);
    }
    EXPECT_EQ(clicks, 2) << "a double click counts as two clicks";
    delete frame;
}

}  // namespace

namespace {

TEST(ReadOnlyEdit, ColoursAndNoContextMenu) {
    auto* frame = new wxFrame(nullptr, wxID_ANY, "edit");
    auto* edit = new ui::CReadOnlyEdit(frame, 1109, wxPoint(0, 0), wxSize(200, 100), wxTE_MULTILINE);
    edit->SetBackgroundColor(app::kWhite);
    edit->SetTextColor(app::Rgb{0, 0, 0});
    EXPECT_EQ(edit->GetBackgroundColour(), *wxWHITE);
    EXPECT_FALSE(edit->IsEditable());
    int menus_reaching_the_parent = 0;
    frame->Bind(wxEVT_CONTEXT_MENU, [&](wxContextMenuEvent&) { ++menus_reaching_the_parent; });
    wxContextMenuEvent menu(wxEVT_CONTEXT_MENU, edit->GetId());
    menu.SetEventObject(edit);
    EXPECT_TRUE(edit->GetEventHandler()->ProcessEvent(menu)) << "the edit takes the request itself";
    EXPECT_EQ(menus_reaching_the_parent, 0);
    wxMouseEvent right(wxEVT_RIGHT_DOWN);
    EXPECT_TRUE(edit->GetEventHandler()->ProcessEvent(right)) << "the right button never reaches the edit box";
    delete frame;
}

}  // namespace
