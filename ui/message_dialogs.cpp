// Layout and answers of the message dialogs.
#include "ui/message_dialogs.h"

#include <wx/dcclient.h>
#include <wx/statbmp.h>

#include <algorithm>

#include "app/control_ids.h"
#include "platform/shared_state.h"

namespace ui {

namespace {

constexpr int kInformationSign = 241;  // a white letter i on a green disc
constexpr int kErrorSign = 242;        // a white cross on a red disc

// Wraps the static's text at blanks to `width`; a word longer than a line (a long path) is broken where it
// reaches the edge, so no part of it lies beyond the static's right edge.
void WrapToWidth(wxStaticText& text, int width) {
    wxClientDC dc(&text);
    dc.SetFont(text.GetFont());
    const auto fits = [&](const wxString& line) { return dc.GetTextExtent(line).GetWidth() <= width; };
    wxString wrapped;
    for (const wxString& paragraph : wxSplit(text.GetLabelText(), '\n', '\0')) {
        wxString line;
        const auto flush = [&] {
            if (!wrapped.empty()) wrapped += '\n';
            wrapped += line;
            line.clear();
        };
        for (const wxString& word : wxSplit(paragraph, ' ', '\0')) {
            const wxString joined = line.empty() ? word : line + ' ' + word;
            if (fits(joined)) {
                line = joined;
                continue;
            }
            if (!line.empty()) flush();
            for (const wxUniChar c : word) {
                if (!line.empty() && !fits(line + c)) flush();
                line += c;
            }
        }
        flush();
    }
    text.SetLabelText(wrapped);
}

}  // namespace

CMessageDialogBase::CMessageDialogBase(wxWindow* parent, const Layout& layout, const wxString& upper,
                                       const wxString& lower)
    : CPaleDialog(parent, wxString::FromUTF8(layout.caption), layout.width, layout.height),
      no_id_(layout.no_id),
      sign_picture_(layout.picture),
      upper_text_(upper),
      lower_text_(lower) {
    // The sign on the left (82 by 82 pixels), the two lines beside it, the buttons along the bottom right.
    new wxStaticBitmap(this, wxID_ANY, Picture(layout.picture), DluPoint(7, 7), wxSize(82, 82));
    const int text_left = 7 + 82 * 4 / 6 + 8;
    const int text_width = layout.width - text_left - 7;
    const wxFont font(wxFontInfo(layout.text_points).FaceName(wxString::FromUTF8(layout.face)));
    upper_ = new wxStaticText(this, app::kIdMessageUpper, wxString(), DluPoint(text_left, 12),
                              DluSize(text_width, 28), wxST_NO_AUTORESIZE);
    lower_ = new wxStaticText(this, app::kIdMessageLower, wxString(), DluPoint(text_left, 44),
                              DluSize(text_width, 32), wxST_NO_AUTORESIZE);
    upper_->SetFont(font);
    lower_->SetFont(font);
    upper_->SetLabelText(upper);  // shown as it stands: an "&" in a path is no mnemonic
    lower_->SetLabelText(lower);
    WrapToWidth(*upper_, DluX(text_width));
    WrapToWidth(*lower_, DluX(text_width));

    // Each line gets at least the height its wrapped text needs, the lower one below the upper one, and the
    // dialog grows by what the lines need beyond the template's room: no text is cut off.
    const auto text_height = [](wxStaticText* text) {
        wxClientDC dc(text);
        dc.SetFont(text->GetFont());
        wxCoord width = 0, height = 0;
        dc.GetMultiLineTextExtent(text->GetLabelText(), &width, &height);
        return static_cast<int>(height);
    };
    const int upper_height = std::max(DluY(28), text_height(upper_));
    const int lower_top = std::max(DluY(44), DluY(12) + upper_height + DluY(4));
    const int lower_height = std::max(DluY(32), text_height(lower_));
    upper_->SetSize(wxSize(DluX(text_width), upper_height));
    lower_->SetSize(wxRect(DluX(text_left), lower_top, DluX(text_width), lower_height));
    const int grow = std::max(0, lower_top + lower_height - DluY(44 + 32));
    if (grow > 0) SetClientSize(GetClientSize() + wxSize(0, grow));

    const int button_top = layout.height - 7 - 14;
    auto* yes = new CColorButton(this, app::kIdOk, wxString::FromUTF8(layout.yes_label),
                                 DluPoint(layout.width - 7 - 50 - 4 - 50, button_top), DluSize(50, 14));
    auto* no = new CColorButton(this, layout.no_id, wxString::FromUTF8(layout.no_label),
                                DluPoint(layout.width - 7 - 50, button_top), DluSize(50, 14));
    if (!layout.no_shown) {
        no->Hide();
        yes->Move(DluPoint(layout.width - 7 - 50, button_top));
    }
    yes->Move(yes->GetPosition() + wxPoint(0, grow));
    no->Move(no->GetPosition() + wxPoint(0, grow));
    SetDefaultResult(app::kIdOk);
    Bind(wxEVT_BUTTON, &CMessageDialogBase::OnButton, this);
}

CColorButton* CMessageDialogBase::Button(int id) const { return dynamic_cast<CColorButton*>(FindWindow(id)); }

void CMessageDialogBase::OnButton(wxCommandEvent& event) {
    if (event.GetId() == app::kIdOk) {
        EndWith(app::kIdOk);
    } else if (event.GetId() == no_id_) {
        EndWith(app::kIdCancel);
    } else {
        event.Skip();
    }
}

CMyMessageDialog::CMyMessageDialog(wxWindow* parent, const platform::SharedState& state, bool failure)
    : CMessageDialogBase(parent, {"Brindlemoor", 298, 113, failure ? kErrorSign : kInformationSign, "OK", "Cancel",
                                  app::kIdCancel, false, 11,
                                  "Liberation Sans"},
                         ToWx(state.m_strMessageText), ToWx(state.m_strMessageTitle)) {}

CMessageDialog2::CMessageDialog2(wxWindow* parent, const platform::SharedState& state)
    : CMessageDialogBase(parent, {"Brindlemoor ", 298, 110, kInformationSign, "OK", "Cancel", app::kIdCancel, false, 11,
                                  "Liberation Sans"},
                         ToWx(state.m_strMessageTitle), ToWx(state.m_strMessageText)) {}

CMyExitStopDialog::CMyExitStopDialog(wxWindow* parent, const platform::SharedState& state)
    : CMessageDialogBase(parent, {"Brindlemoor", 332, 111, 245, "Yes", "No", app::kIdCancel, true, 13,
                                  "Liberation Sans"},
                         ToWx(state.m_strMessageText), ToWx(state.m_strMessageTitle)) {}

CFileExist::CFileExist(wxWindow* parent)
    : CMessageDialogBase(parent, {"Overwrite File", 257, 98, 241, "Yes", "No", app::kIdExistNo, true, 11,
                                  "Liberation Serif"},
                         "File already exist.", "Do you want to overwrite?") {}

}  // namespace ui
