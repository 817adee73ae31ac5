// What the small dialogs and the home page show can be read and reached: label heights in the edition and
// server dialogs, a label per field, the version dialog's every choice inside the window, Tab reaching the
// gradient buttons, the method captions under their buttons, and a tooltip on a cut result-tree name.
#include <gtest/gtest.h>

#include <wx/radiobut.h>
#include <wx/statbox.h>
#include <wx/treectrl.h>
#include <wx/uiaction.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "app/control_ids.h"
#include "app/log_text.h"
#include "tests/ui/gui_harness.h"
#include "ui/about_dialog.h"
#include "ui/brindlemoor_app.h"
#include "ui/color_button.h"
#include "ui/log_dialog.h"
#include "ui/main_dialog.h"
#include "ui/server_dialogs.h"
#include "ui/version_dialog.h"

namespace {

using namespace guitest;

// Text of this height in pixels is read without effort; the old captions were about 7 px of ink in 11 px.
constexpr int kReadableTextHeight = 14;

// The label's own text is drawn whole: the font is large enough and the control as high as its text.
void ExpectReadable(wxWindow& dialog, int id) {
    wxWindow* label = dialog.FindWindow(id);
    ASSERT_NE(label, nullptr) << id;
    const wxSize text = label->GetTextExtent(label->GetLabel());
    EXPECT_GE(text.GetHeight(), kReadableTextHeight) << id << " " << label->GetLabel();
    EXPECT_GE(label->GetSize().GetHeight(), text.GetHeight()) << id << " " << label->GetLabel();
    EXPECT_TRUE(wxRect(dialog.GetClientSize()).Contains(label->GetRect())) << id << " " << label->GetLabel();
}

TEST(Readability, EditionAndServerDialogLabels) {
    auto& app = App();
    {
        ui::CSqlServerEditon edition(nullptr);
        for (int id : {ui::kIdEditionCaption, ui::kIdFullEdition, ui::kIdEmbeddedEdition}) {
            SCOPED_TRACE(id);
            ExpectReadable(edition, id);
        }
    }
    platform::ServerChoice choice;
    choice.failure_folder = u"/tmp/failures";
    ui::CServerInstance server(nullptr, app, false, choice);
    for (int id : {ui::kIdServerNameCaption, ui::kIdLoginCaption, ui::kIdPasswordCaption, ui::kIdDestinationCaption,
                   ui::kIdDataFolderCaption, ui::kIdHaveDatabase, ui::kIdDatabaseCaption}) {
        SCOPED_TRACE(id);
        ExpectReadable(server, id);
    }
    // Login and password each have their own label, right above their own field and clear of it.
    for (const auto& [caption, field] : {std::pair{ui::kIdLoginCaption, ui::kIdLogin},
                                         std::pair{ui::kIdPasswordCaption, ui::kIdPassword}}) {
        const wxRect label = server.FindWindow(caption)->GetRect();
        const wxRect edit = server.FindWindow(field)->GetRect();
        EXPECT_EQ(label.GetLeft(), edit.GetLeft()) << caption;
        EXPECT_LE(label.GetBottom(), edit.GetTop()) << caption;
        EXPECT_LE(label.GetRight(), server.FindWindow(ui::kIdPasswordCaption)->GetRect().GetRight()) << caption;
    }
    EXPECT_NE(server.FindWindow(ui::kIdLoginCaption)->GetLabel(),
              server.FindWindow(ui::kIdPasswordCaption)->GetLabel());
    EXPECT_LT(server.FindWindow(ui::kIdLoginCaption)->GetRect().GetRight(),
              server.FindWindow(ui::kIdPasswordCaption)->GetRect().GetLeft());
    // No label runs into the next row's field.
    for (const auto& [caption, field] : {std::pair{ui::kIdServerNameCaption, ui::kIdServerName},
                                         std::pair{ui::kIdDestinationCaption, ui::kIdDestinationPath},
                                         std::pair{ui::kIdDataFolderCaption, ui::kIdDataFolder},
                                         std::pair{ui::kIdDatabaseCaption, ui::kIdEmbeddedDatabase}}) {
        EXPECT_LE(server.FindWindow(caption)->GetRect().GetBottom(), server.FindWindow(field)->GetRect().GetTop())
            << caption;
    }
    server.Show();
    Pump(100);
    EXPECT_FALSE(SaveScreenshot(server, "server_dialog_labels").empty());
    server.Hide();
}

TEST(Readability, VersionDialogShowsEveryChoiceWhole) {
    ui::CSelectVersionForSQLServer dialog(nullptr, App());
    dialog.Show();
    Pump(100);
    const wxRect client(dialog.GetClientSize());
    wxRect box;
    std::vector<wxRect> buttons;
    for (wxWindow* child : dialog.GetChildren()) {
        if (dynamic_cast<wxStaticBox*>(child) != nullptr) box = child->GetRect();
        if (dynamic_cast<ui::CColorButton*>(child) != nullptr) buttons.push_back(child->GetRect());
    }
    ASSERT_FALSE(box.IsEmpty());
    ASSERT_EQ(buttons.size(), 2u);
    wxRect previous;
    for (int id : {1005, 1006, 1021, 1063, 1064, 1065, 1147, 1148, 1149}) {
        SCOPED_TRACE(id);
        auto* radio = dynamic_cast<wxRadioButton*>(dialog.FindWindow(id));
        ASSERT_NE(radio, nullptr);
        const wxRect rect = radio->GetRect();
        // Whole: as large as its text needs, inside the box and the window, over no other choice or button.
        EXPECT_GE(rect.GetWidth(), radio->GetBestSize().GetWidth());
        EXPECT_GE(rect.GetHeight(), radio->GetBestSize().GetHeight());
        EXPECT_TRUE(box.Contains(rect));
        EXPECT_TRUE(client.Contains(rect));
        for (const wxRect& button : buttons) EXPECT_FALSE(rect.Intersects(button));
        if (!previous.IsEmpty()) {
            EXPECT_FALSE(rect.Intersects(previous));
        }
        previous = rect;
    }
    for (const wxRect& button : buttons) EXPECT_TRUE(client.Contains(button));
    EXPECT_FALSE(SaveScreenshot(dialog, "version_dialog_choices").empty());
    dialog.Hide();
}

// The ids that real Tab presses give the focus to, in order, starting from `first`.
std::vector<int> TabStops(wxDialog& open, wxWindow& first, int presses) {
    wxUIActionSimulator keyboard;
    // Without a window manager the keyboard follows the pointer.
    keyboard.MouseMove(open.GetScreenRect().GetPosition() + wxPoint(20, 20));
    Pump(100);
    first.SetFocus();
    Pump(50);
    std::vector<int> stops;
    for (int i = 0; i < presses; ++i) {
        keyboard.Char(WXK_TAB);
        Pump(50);
        const wxWindow* focus = wxWindow::FindFocus();
        stops.push_back(focus != nullptr ? focus->GetId() : wxID_NONE);
    }
    return stops;
}

TEST(Readability, TabReachesTheGradientButtonsAndSpacePressesThem) {
    auto& app = App();
    app.m_strLogHeader.clear();
    app::SetLogText(app, app::LogHeader() + u"\r\nScanning completed.");  // more than the header: buttons on
    ui::CLogDialog log(nullptr, app, app);
    ASSERT_TRUE(log.FindWindow(app::kIdSaveLog)->IsEnabled());
    std::vector<int> stops;
    int pressed = 0;
    log.Bind(wxEVT_BUTTON, [&](wxCommandEvent& event) {
        if (event.GetId() == app::kIdSaveLog) ++pressed;  // counted, not saved
    });
    RunModal(log, [&](wxDialog& open) {
        stops = TabStops(open, *open.FindWindow(app::kIdLogEdit), 6);
        open.FindWindow(app::kIdSaveLog)->SetFocus();
        Pump(50);
        wxUIActionSimulator().Char(WXK_SPACE);
        Pump(50);
        static_cast<ui::CLogDialog&>(open).EndWith(app::kIdCancel);
    }, 10000);
    const std::set<int> reached(stops.begin(), stops.end());
    EXPECT_TRUE(reached.count(app::kIdClearLog)) << "Clear Log";
    EXPECT_TRUE(reached.count(app::kIdSaveLog)) << "Save Log";
    EXPECT_TRUE(reached.count(app::kIdCloseLog)) << "Close";
    EXPECT_EQ(pressed, 1) << "Space on the focused Save Log";

    ui::AboutInfo info;
    info.product_version = u"1.0.0.1";
    ui::CAboutDlg about(nullptr, info);
    wxWindow* license = about.FindWindowByLabel("View User License");
    ASSERT_NE(license, nullptr);
    wxWindow* ok = about.FindWindow(app::kIdOk);
    ASSERT_NE(ok, nullptr);
    RunModal(about, [&](wxDialog& open) {
        stops = TabStops(open, *ok, 4);
        static_cast<ui::CAboutDlg&>(open).EndWith(app::kIdOk);
    }, 10000);
    EXPECT_NE(std::find(stops.begin(), stops.end(), license->GetId()), stops.end()) << "View User License";
}

TEST(Readability, HomeCaptionsSitUnderTheirButtons) {
    auto* dialog = OpenMainDialog();
    for (const auto& [button, caption] : {std::pair{app::kIdCompleteRepair, app::kIdCompleteRepairCaption},
                                          std::pair{app::kIdDocumentRecovery, app::kIdDocumentRecoveryCaption}}) {
        SCOPED_TRACE(caption);
        const wxRect b = dialog->FindWindow(button)->GetRect();
        const wxRect c = dialog->FindWindow(caption)->GetRect();
        EXPECT_GT(c.GetTop(), b.GetBottom());
        EXPECT_LE(c.GetTop() - b.GetBottom(), 12) << "the caption belongs to the button above it";
        EXPECT_TRUE(c.Intersects(wxRect(b.GetLeft(), c.GetTop(), b.GetWidth(), c.GetHeight())));
    }
    EXPECT_FALSE(SaveScreenshot(*dialog, "main_dialog_home_captions").empty());
    CloseMainDialog(dialog);
}

TEST(Readability, CutTreeNamesShowWholeInATooltip) {
    auto* dialog = OpenMainDialog();
    wxTreeCtrl* tree = dialog->ResultTree();
    tree->Show();
    const wxTreeItemId root = tree->AddRoot("WSS_Content");
    const wxString long_name = "AllUserDataJunctionsAndWorkflowAssociations (1234567 rows)";
    const wxTreeItemId cut = tree->AppendItem(root, long_name);
    const wxTreeItemId whole = tree->AppendItem(root, "Docs (12)");
    tree->ExpandAll();
    Pump(50);
    struct Case {
        wxTreeItemId item;
        bool tooltip;
    };
    for (const Case& c : {Case{cut, true}, Case{whole, false}}) {
        SCOPED_TRACE(tree->GetItemText(c.item));
        wxTreeEvent ask(wxEVT_TREE_ITEM_GETTOOLTIP, tree, c.item);
        tree->GetEventHandler()->ProcessEvent(ask);
        EXPECT_EQ(ask.IsAllowed(), c.tooltip);
        if (c.tooltip) {
            EXPECT_EQ(ask.GetLabel(), long_name);
        }
    }
    CloseMainDialog(dialog);
}

}  // namespace
