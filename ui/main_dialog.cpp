// The main dialog's controls, laid out in the template's dialog units, and the home page's set-up.
#include "ui/main_dialog.h"

#include <wx/imaglist.h>
#include <wx/statbmp.h>
#include <wx/statbox.h>

#include <cstdlib>

#include "app/control_ids.h"
#include "app/folder_lookups.h"
#include "app/string_table.h"
#include "platform/config_file.h"
#include "ui/brindlemoor_app.h"
#include "ui/dialog_style.h"
#include "ui/preview_pane.h"

namespace ui {

using namespace app;

namespace {

constexpr int kDialogWidthUnits = 540;
constexpr int kDialogHeightUnits = 368;

// A text that is read, not edited: out of the Tab order (the window system would otherwise put the inner view
// of a text of several lines in it) and given no caret by a click.
class ReadOnlyText : public wxTextCtrl {
public:
    ReadOnlyText(wxWindow* parent, int id, const wxPoint& pos, const wxSize& size, long style)
        : wxTextCtrl(parent, id, wxString(), pos, size, style | wxTE_READONLY) {
        SetCanFocus(false);
    }
    bool AcceptsFocus() const override { return false; }
    bool AcceptsFocusFromKeyboard() const override { return false; }
};

std::unique_ptr<wxImageList> StripImages(std::initializer_list<int> pictures) {
    auto list = std::make_unique<wxImageList>(16, 16, true);
    for (int id : pictures) list->Add(Picture(id), wxColour(0xFF, 0x00, 0xFF));
    return list;
}

}  // namespace

CBrindlemoorDlg::CBrindlemoorDlg(CBrindlemoorApp& app)
    : wxDialog(nullptr, wxID_ANY, "Brindlemoor", wxDefaultPosition, wxDefaultSize, wxBORDER_SIMPLE),
      app_(app) {
    SetFont(TemplateFont());
    SetBackgroundColour(ToWx(kBackgroundColour));
    SetClientSize(DluSize(kDialogWidthUnits, kDialogHeightUnits));
    wxIcon icon;
    icon.CopyFromBitmap(Picture(128));
    SetIcon(icon);
    CreateControls();
    InitHomePage();
    CentreOnScreen();

    end_program = [this](bool job_ended) {
        if (job_ended) {
            EndModal(kIdCancel);
        } else {
            app_.EndProcessNow();
        }
    };
    Bind(wxEVT_BUTTON, &CBrindlemoorDlg::OnButton, this);
    Bind(wxEVT_CHAR_HOOK, &CBrindlemoorDlg::OnCharHook, this);
    Bind(wxEVT_IDLE, &CBrindlemoorDlg::OnIdle, this);
    Bind(wxEVT_CLOSE_WINDOW, &CBrindlemoorDlg::OnClose, this);
    // A click on the result tree (check box, table, site, list or folder); the tree's own handling follows
    // only when the click was not taken here.
    BindChild(m_ctrlTree, wxEVT_LEFT_DOWN, [this](wxMouseEvent& event) {
        if (OnTreeClick(event.GetPosition()) == 0) event.Skip();
    });
    BindChild(m_ctrlTree, wxEVT_TREE_DELETE_ITEM, [this](wxTreeEvent& event) {
        if (event.GetItem() == m_hHighlighted) m_hHighlighted = wxTreeItemId();
        event.Skip();
    });
    // A name or row count cut at the tree's right edge shows whole in a tooltip.
    BindChild(m_ctrlTree, wxEVT_TREE_ITEM_GETTOOLTIP, [this](wxTreeEvent& event) {
        wxRect text;
        if (const std::u16string* whole = WholeTableItemText(event.GetItem());
            whole != nullptr && ToWx(*whole) != m_ctrlTree->GetItemText(event.GetItem())) {
            event.SetToolTip(ToWx(*whole));  // a table whose name the tree shows cut
        } else if (event.GetItem().IsOk() && m_ctrlTree->GetBoundingRect(event.GetItem(), text, true) &&
            text.GetRight() >= m_ctrlTree->GetClientSize().GetWidth()) {
            event.SetToolTip(m_ctrlTree->GetItemText(event.GetItem()));
        } else {
            event.Veto();  // a whole name needs none
        }
    });
    // A click on a document of the result list shows its preview.
    BindChild(m_listResult, wxEVT_LIST_ITEM_SELECTED, [this](wxListEvent& event) {
        OnDocumentClick(event.GetIndex());
        event.Skip();
    });
    detect_preview_tools = [] {
        const char* path = std::getenv("PATH");
        return app::DetectPreviewTools(path != nullptr ? path : "");
    };
    BindChild(m_listFoundFiles, wxEVT_LIST_ITEM_SELECTED, [this](wxListEvent& event) {
        OnFileListClick(event.GetIndex());
        event.Skip();
    });
    // Every click in the rows counts, also one on the row selected already and one below the last row.
    BindChild(m_listFoundFiles->RowArea(), wxEVT_LEFT_UP, [this](wxMouseEvent& event) {
        event.Skip();
        int flags = 0;
        const long row = m_listFoundFiles->HitTest(event.GetPosition(), flags);
        OnFileListClick(flags & wxLIST_HITTEST_ONITEM ? row : -1);
    });
    BindChild(m_listFoundFiles, wxEVT_LIST_COL_CLICK, [this](wxListEvent& event) {
        event.Skip();
        CallAfter([this] { HighlightSelectedFile(); });
    });

    app_.m_pMainDialog = this;
    app_.m_bridge.SetHandler([this](unsigned message, platform::WPARAM wparam, platform::LPARAM lparam) {
        OnWorkerMessage(message, wparam, lparam);
    });
}

CBrindlemoorDlg::~CBrindlemoorDlg() {
    for (auto& unbind : child_unbinds_) unbind();
    // Worker messages that arrive from now on find no receiver.
    if (app_.m_pMainDialog == this) {
        app_.m_bridge.SetHandler({});
        app_.m_pMainDialog = nullptr;
    }
}

CMyBitmapButton* CBrindlemoorDlg::AddPictureButton(int id, const char* label, int x, int y, int w, int h,
                                                   int tooltip) {
    auto* button = new CMyBitmapButton(this, id, wxString::FromUTF8(label), DluPoint(x, y), DluSize(w, h));
    if (tooltip != 0) button->SetToolTip(ToWx(LoadString(tooltip)));
    return button;
}

void CBrindlemoorDlg::CreateControls() {
    // The frame first, so the controls inside it are drawn over it.
    new wxStaticBox(this, kIdFrame, "Brindlemoor", DluPoint(7, 60), DluSize(525, 269));
    new wxStaticBitmap(this, wxID_ANY, Picture(132), DluPoint(0, 0), DluSize(546, 69));

    auto* complete_repair = AddPictureButton(kIdCompleteRepair, "Complete Repair", 85, 86, 101, 69, 0);
    auto* document_recovery = AddPictureButton(kIdDocumentRecovery, "Document Recovery", 312, 86, 101, 69, 0);
    complete_repair->on_hover = [this](bool inside) { SetMethodHint(inside, 171); };
    document_recovery->on_hover = [this](bool inside) { SetMethodHint(inside, 170); };

    m_ctrlTree = new wxTreeCtrl(this, kIdResultTree, DluPoint(15, 72), DluSize(137, 250),
                                wxTR_HAS_BUTTONS | wxTR_LINES_AT_ROOT | wxHSCROLL | wxBORDER_SUNKEN);
    m_listResult = new CMyListCtrl(this, kIdResultList, DluPoint(106, 111), DluSize(371, 250));
    // Under the tree, which gives it room, after a scan that met damaged or missing pages.
    m_editDamageWarning = new wxTextCtrl(this, kIdDamageWarning, wxString(), DluPoint(15, 262), DluSize(137, 60),
                                         wxTE_MULTILINE | wxTE_READONLY | wxBORDER_SIMPLE);
    m_editDamageWarning->SetFont(ReadableFont());
    m_editDamageWarning->SetBackgroundColour(wxColour(0xFF, 0xF1, 0xC4));
    m_editDamageWarning->SetForegroundColour(wxColour(0x9C, 0x00, 0x06));

    new wxStaticText(this, kIdFileHint,
                     "To select a corrupted *.mdf file , click 'Select File' button.To search .mdf file(s) , "
                     "click 'Search File(s)' button.",
                     DluPoint(15, 77), DluSize(509, 19));
    m_editFileType = new ReadOnlyText(this, kIdFileType, DluPoint(185, 126), DluSize(186, 12), 0);
    m_comboDrive = new wxChoice(this, kIdDriveCombo, DluPoint(185, 103), DluSize(186, 12));
    AddPictureButton(kIdSelectFile, "Select File", 442, 100, 66, 15, 184)->DrawLabelOverPicture();
    AddPictureButton(kIdSearchFiles, "Search File(s)", 442, 126, 66, 15, 186)->DrawLabelOverPicture();
    m_checkSubfolders = new wxCheckBox(this, kIdSearchSubfolders, "Search in subfolders", DluPoint(15, 150),
                                       DluSize(111, 13));
    new wxStaticText(this, kIdFileTypeCaption, "MS SQL Server File Type :", DluPoint(15, 126), DluSize(125, 15));
    new wxStaticText(this, kIdDriveCaption, "Look in drive :", DluPoint(15, 103), DluSize(106, 16));
    m_listFoundFiles = new CToolTipListCtrl(this, kIdFoundFileList, DluPoint(15, 183), DluSize(509, 94));
    m_editSelectedPath = new ReadOnlyText(this, kIdSelectedPath, DluPoint(195, 305), DluSize(329, 16), 0);
    new wxStaticText(this, kIdSelectedPathCaption, "Selected File Path :", DluPoint(15, 309), DluSize(144, 16));
    AddPictureButton(kIdScanFile, "Scan File", 427, 334, 66, 15, 187)->DrawLabelOverPicture();
    AddPictureButton(kIdExit, "Exit", 523, 0, 16, 15, 194);
    AddPictureButton(kIdClearList, "Clear List", 442, 284, 66, 15, 192)->DrawLabelOverPicture();
    m_staticSearchStatus = new wxStaticText(this, kIdSearchStatus, wxString(), DluPoint(15, 288), DluSize(164, 14));
    m_progressScan = new wxGauge(this, kIdScanProgress, 10000, DluPoint(16, 165), DluSize(355, 10));
    AddPictureButton(kIdStopSearch, "Stop", 442, 127, 66, 15, 185)->DrawLabelOverPicture();
    AddPictureButton(kIdRepair, "Repair", 427, 334, 66, 15, 200)->DrawLabelOverPicture();
    AddPictureButton(kIdMinimize, "Min", 506, 0, 16, 15, 193);
    AddPictureButton(kIdHome, "Home", 96, 340, 25, 22, 182);
    AddPictureButton(kIdBack, "Back", 185, 340, 25, 22, 181);
    AddPictureButton(kIdAbout, "About", 267, 13, 30, 15, 177)->DrawLabelOverPicture();
    AddPictureButton(kIdUpdates, "Updates", 408, 12, 30, 15, 180)->DrawLabelOverPicture();
    AddPictureButton(kIdHelp, "Help", 7, 340, 25, 22, 176);
    // Read, not edited: neither Tab nor a click puts a caret into it, nor into the two texts above.
    m_editMethodHint = new ReadOnlyText(this, kIdMethodHint, DluPoint(15, 242), DluSize(509, 78),
                                        wxTE_MULTILINE | wxTE_CENTRE | wxTE_NO_VSCROLL | wxBORDER_NONE);
    // The method captions right under their buttons (which end at 155 units).
    new wxStaticText(this, kIdCompleteRepairCaption, "Complete Repair", DluPoint(105, 158), DluSize(110, 13));
    new wxStaticText(this, kIdDocumentRecoveryCaption, "Document Recovery", DluPoint(331, 158), DluSize(134, 13));
    AddPictureButton(kIdViewLog, "View Log", 361, 13, 30, 15, 183)->DrawLabelOverPicture();
    // The header labels grow their buttons around their centres; where one would come close to its right-hand
    // neighbour it moves left, into the free banner between About and View Log.
    const int header[] = {kIdAbout, kIdViewLog, kIdUpdates};
    for (int i = 1; i >= 0; --i) {
        wxWindow* button = FindWindow(header[i]);
        const int room = FindWindow(header[i + 1])->GetRect().GetLeft() - DluX(5) - button->GetRect().GetRight();
        if (room < 0) button->Move(button->GetPosition() + wxPoint(room, 0));
    }
    AddPictureButton(kIdStopJob, "Stop", 427, 334, 66, 15, 191)->DrawLabelOverPicture();
    m_progressResult = new wxGauge(this, kIdResultProgress, 10000, DluPoint(7, 331), DluSize(396, 8));
    new wxStaticBitmap(this, kIdPreviewBackdrop, Picture(243), DluPoint(156, 72), DluSize(367, 128));
    new wxPanel(this, kIdPreviewFrame, DluPoint(156, 72), DluSize(368, 130), wxBORDER_SIMPLE | wxTRANSPARENT_WINDOW);
    // Between Back and Repair, wide enough for the longest counter line in the readable font.
    m_staticRecordCounter = new wxStaticText(this, kIdRecordCounter, wxString(), DluPoint(215, 345), DluSize(206, 10),
                                             wxST_NO_AUTORESIZE);
    m_staticRecordCounter->SetFont(ReadableFont());
    new wxStaticBitmap(this, kIdTableBackdrop, Picture(250), DluPoint(156, 72), DluSize(368, 248));
    new wxStaticBitmap(this, kIdDocumentBackdrop, Picture(253), DluPoint(156, 72), DluSize(367, 128));
}

void CBrindlemoorDlg::InitHomePage() {
    app_.m_bImagePreviewShown = false;
    app_.m_strSharePointBin = app::ReadSharePointBinFolder(platform::ConfigFile::Load());

    m_editMethodHint->SetFont(ArialFont(20, 200));
    m_editMethodHint->SetBackgroundColour(*wxWHITE);
    m_editMethodHint->ChangeValue("Select Recovery Method");

    ApplyChanges(InitHomePageChanges());
    m_editFileType->ChangeValue("MS SQL Server Files(*.mdf)");

    for (int id : {kIdCompleteRepair, kIdDocumentRecovery, kIdClearList, kIdAbout, kIdHelp, kIdUpdates, kIdBack,
                   kIdHome, kIdExit, kIdMinimize, kIdViewLog, kIdStopSearch, kIdStopJob, kIdScanFile, kIdSearchFiles,
                   kIdSelectFile, kIdRepair}) {
        if (const auto faces = InitialFaces(id)) {
            static_cast<CMyBitmapButton*>(FindWindow(id))->LoadBitmaps(*faces);
        }
    }

    m_treeStateImages = StripImages({230});
    m_treeItemImages = StripImages({231, 232, 234});
    m_documentImages = StripImages({233});
    m_ctrlTree->SetStateImageList(m_treeStateImages.get());
    m_ctrlTree->SetImageList(m_treeItemImages.get());
    m_listResult->SetImageList(m_documentImages.get(), wxIMAGE_LIST_NORMAL);

    for (int id : {kIdFileHint, kIdFileTypeCaption, kIdDriveCaption, kIdSelectedPathCaption, kIdSearchStatus,
                   kIdCompleteRepairCaption, kIdDocumentRecoveryCaption, kIdDriveCombo, kIdSearchSubfolders}) {
        MakeReadable(*FindWindow(id));
    }
    app_.m_bTableViewStarted = false;
    app_.m_bRepairStarted = false;
}

void CBrindlemoorDlg::SetMethodHint(bool over_button, int string_id) {
    m_editMethodHint->ChangeValue(over_button ? ToWx(LoadString(string_id)) : wxString("Select Recovery Method"));
}

void CBrindlemoorDlg::ApplyChanges(const ControlChanges& changes) {
    for (const auto& change : changes) {
        wxWindow* control = FindWindow(change.id);
        if (control == nullptr) continue;
        if (change.shown) control->Show(*change.shown);
        if (change.enabled) control->Enable(*change.enabled);
    }
}

bool CBrindlemoorDlg::IsControlShown(int id) const {
    const wxWindow* control = FindWindow(id);
    return control != nullptr && control->IsShown();
}

bool CBrindlemoorDlg::IsControlEnabled(int id) const {
    const wxWindow* control = FindWindow(id);
    return control != nullptr && control->IsThisEnabled();
}

wxString CBrindlemoorDlg::ControlText(int id) const {
    const wxWindow* control = FindWindow(id);
    if (control == nullptr) return {};
    if (const auto* text = dynamic_cast<const wxTextCtrl*>(control)) return text->GetValue();
    return control->GetLabel();
}

}  // namespace ui
