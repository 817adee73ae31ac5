// About box, its links and the licence viewer.
#include "ui/about_dialog.h"

#include <wx/panel.h>
#include <wx/stdpaths.h>

#include <algorithm>

#include "app/about_texts.h"
#include "app/control_ids.h"
#include "platform/config_file.h"
#include "platform/product_version.h"
#include "platform/text.h"
#include "platform/url_launcher.h"
#include "ui/color_button.h"

namespace ui {

namespace {

constexpr int kIdLeftPicture = 1034;
constexpr int kIdTitle = 1213;
constexpr int kIdProductCaption = 1214;
constexpr int kIdSystemCaption = 1215;
constexpr int kIdNameValue = 1157;
constexpr int kIdVersionValue = 1158;
constexpr int kIdOsNameValue = 1163;
constexpr int kIdOsVersionValue = 1164;
constexpr int kIdContactSupport = 1180;
constexpr int kIdLiveChat = 1221;
constexpr int kIdNotice = 1150;
constexpr int kIdViewLicense = 1149;
constexpr int kIdEulaList = 1137;

const wxColour kLinkBlue(0, 0, 0xFF);
const wxColour kLinkPurple(0x80, 0, 0x80);

}  // namespace

AboutInfo AboutInfo::FromSystem(const platform::ConfigFile& config) {
    AboutInfo info;
    info.product_version = platform::kProductVersion;
    info.os_name = app::OsProductName();
    info.os_version = app::OsVersionText();
    info.support_link = config.GetOr("app", "support_link", {});
    info.live_chat_text = platform::FromUtf8(config.GetOr("app", "live_chat_text", {}));
    info.live_chat_link = config.GetOr("app", "live_chat_link", {});
    const std::filesystem::path program =
        std::filesystem::path(wxStandardPaths::Get().GetExecutablePath().utf8_string()).parent_path();
    info.eula_path = app::EulaPath(config, program);
    return info;
}

CAboutDlg::CAboutDlg(wxWindow* parent, AboutInfo info)
    : CPaleDialog(parent, "About Brindlemoor", 375, 226), info_(std::move(info)) {
    // The left band stands for the picture: the program's accent colour with its name.
    auto* band = new wxPanel(this, kIdLeftPicture, wxPoint(0, 0), wxSize(154, DluY(226)));
    band->SetBackgroundColour(ToWx(app::kButtonAccent));
    auto* band_name =
        new wxStaticText(band, wxID_ANY, "Brindlemoor", wxPoint(12, 24), wxSize(138, 30), wxST_NO_AUTORESIZE);
    band_name->SetFont(ArialFont(20, 700));
    band_name->SetForegroundColour(*wxWHITE);

    const int left = 112;  // dialog units, right of the band
    auto text = [this](int id, const wxString& label, int x, int y, int w, const wxFont& font) {
        return AddText(this, id, label, x, y, w, 11, font);
    };
    const wxFont body = ArialFont(14, 400);
    const wxFont heading = ArialFont(15, 700);
    text(kIdTitle, " Brindlemoor", left, 10, 250, ArialFont(26, 700))->SetSize(DluSize(250, 18));
    text(kIdProductCaption, "Product Information", left, 38, 200, heading);
    text(1154, "Name", left + 8, 54, 60, body);
    text(kIdNameValue, ": Brindlemoor", left + 70, 54, 180, body);
    text(1155, "Version", left + 8, 68, 60, body);
    text(kIdVersionValue, ": " + ToWx(info_.product_version), left + 70, 68, 180, body);
    text(kIdSystemCaption, "System Information", left, 92, 200, heading);
    text(1160, "O. S.", left + 8, 108, 60, body);
    text(kIdOsNameValue, ": " + ToWx(info_.os_name), left + 70, 108, 180, body);
    text(1161, "Version", left + 8, 122, 60, body);
    text(kIdOsVersionValue, ": " + ToWx(info_.os_version), left + 70, 122, 180, body);
    // A value is one line: never broken where it has a blank, however long it is.
    for (int id : {kIdNameValue, kIdVersionValue, kIdOsNameValue, kIdOsVersionValue}) {
        wxWindow* value = FindWindow(id);
        const wxSize extent = value->GetTextExtent(value->GetLabel());
        value->SetSize(std::max(value->GetSize().GetWidth(), extent.GetWidth() + 2),
                       std::max(value->GetSize().GetHeight(), extent.GetHeight()));
        if (value->GetRect().GetRight() >= GetClientSize().GetWidth()) {
            SetClientSize(value->GetRect().GetRight() + DluX(7), GetClientSize().GetHeight());
        }
    }

    wxFont link_font = body;
    link_font.SetUnderlined(true);
    support_link_ = text(kIdContactSupport, "Contact Support", left, 146, 80, link_font);
    support_link_->SetForegroundColour(kLinkBlue);
    support_link_->SetCursor(wxCursor(wxCURSOR_HAND));
    support_link_->Bind(wxEVT_LEFT_UP, [this](wxMouseEvent&) { OnContactSupport(); });
    // Without a configured address the link would lead nowhere: it is not shown.
    support_link_->Show(!info_.support_link.empty());
    auto* live_chat = text(kIdLiveChat, ToWx(info_.live_chat_text), left + 100, 146, 120, link_font);
    live_chat->SetCursor(wxCursor(wxCURSOR_HAND));
    live_chat->Bind(wxEVT_LEFT_UP, [this](wxMouseEvent&) { OnLiveChat(); });
    live_chat->Hide();
    text(kIdNotice, "Brindlemoor is made by Quorvane. All rights reserved.", left, 170, 250, ArialFont(12, 400));

    new CColorButton(this, kIdViewLicense, "View User License", DluPoint(left, 200), DluSize(80, 15));
    new CColorButton(this, app::kIdOk, "Close", DluPoint(375 - 10 - 60, 200), DluSize(60, 15));
    SetDefaultResult(app::kIdOk);
    Bind(wxEVT_BUTTON, &CAboutDlg::OnButton, this);
}

wxString CAboutDlg::StaticText(int id) const {
    const auto* item = dynamic_cast<const wxStaticText*>(FindWindow(id));
    return item != nullptr ? item->GetLabel() : wxString();
}

void CAboutDlg::OnContactSupport() {
    // Only a link that was opened turns to the visited colour; a refused one stays as it was.
    if (!platform::UrlLauncher::Open(info_.support_link)) return;
    link_visited_ = true;
    support_link_->SetForegroundColour(kLinkPurple);
    support_link_->Refresh();
}

void CAboutDlg::OnLiveChat() {
    if (platform::UrlLauncher::Open(info_.live_chat_link)) Refresh();
}

void CAboutDlg::OnViewLicense() {
    CEULADialog viewer(this, info_.eula_path);
    viewer.ShowModal();
}

void CAboutDlg::OnButton(wxCommandEvent& event) {
    if (event.GetId() == app::kIdOk) {
        EndWith(app::kIdOk);
    } else if (event.GetId() == kIdViewLicense) {
        OnViewLicense();
    } else {
        event.Skip();
    }
}

CEULADialog::CEULADialog(wxWindow* parent, const std::filesystem::path& eula_path)
    : CPaleDialog(parent, "End User License Agreement", 378, 230) {
    list_ = new wxListCtrl(this, kIdEulaList, DluPoint(7, 7), DluSize(364, 192),
                           wxLC_REPORT | wxLC_NO_HEADER | wxLC_SINGLE_SEL | wxBORDER_SUNKEN);
    list_->InsertColumn(0, "ID", wxLIST_FORMAT_LEFT, 505);
    long row = 0;
    for (const std::u16string& line : app::ReadEulaRows(eula_path)) list_->InsertItem(row++, ToWx(line));
    new CColorButton(this, app::kIdOk, "OK", DluPoint(378 - 7 - 50, 207), DluSize(50, 15));
    SetDefaultResult(app::kIdOk);
    Bind(wxEVT_BUTTON, [this](wxCommandEvent& event) {
        if (event.GetId() == app::kIdOk) {
            EndWith(app::kIdOk);
        } else {
            event.Skip();
        }
    });
}

std::vector<wxString> CEULADialog::Rows() const {
    std::vector<wxString> rows;
    for (long i = 0; i < list_->GetItemCount(); ++i) rows.push_back(list_->GetItemText(i));
    return rows;
}

void ShowAboutBox(wxWindow* parent) {
    CAboutDlg dialog(parent, AboutInfo::FromSystem(platform::ConfigFile::Load()));
    dialog.ShowModal();
}

}  // namespace ui
