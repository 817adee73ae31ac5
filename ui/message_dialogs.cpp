// Layout and answers of the message dialogs.
#include "ui/message_dialogs.h"

#include <wx/statbmp.h>

#include "app/control_ids.h"
#include "platform/shared_state.h"

namespace ui {

CMessageDialogBase::CMessageDialogBase(wxWindow* parent, const Layout& layout, const wxString& upper,
                                       const wxString& lower)
    : CPaleDialog(parent, wxString::FromUTF8(layout.caption), layout.width, layout.height),
      no_id_(layout.no_id),
      upper_text_(upper),
      lower_text_(lower) {
    // The sign on the left (82 by 82 pixels), the two lines beside it, the buttons along the bottom right.
    new wxStaticBitmap(this, wxID_ANY, Picture(layout.picture), DluPoint(7, 7), wxSize(82, 82));
    const int text_left = 7 + 82 * 4 / 6 + 8;
    const int text_width = layout.width - text_left - 7;
    const wxFont font(wxFontInfo(layout.text_points).FaceName(wxString::FromUTF8(layout.face)));
    upper_ = new wxStaticText(this, app::kIdMessageUpper, upper, DluPoint(text_left, 12), DluSize(text_width, 28),
                              wxST_NO_AUTORESIZE);
    lower_ = new wxStaticText(this, app::kIdMessageLower, lower, DluPoint(text_left, 44), DluSize(text_width, 32),
                              wxST_NO_AUTORESIZE);
    upper_->SetFont(font);
    lower_->SetFont(font);
    upper_->Wrap(DluX(text_width));
    lower_->Wrap(DluX(text_width));

    const int button_top = layout.height - 7 - 14;
    auto* yes = new CColorButton(this, app::kIdOk, wxString::FromUTF8(layout.yes_label),
                                 DluPoint(layout.width - 7 - 50 - 4 - 50, button_top), DluSize(50, 14));
    auto* no = new CColorButton(this, layout.no_id, wxString::FromUTF8(layout.no_label),
                                DluPoint(layout.width - 7 - 50, button_top), DluSize(50, 14));
    if (!layout.no_shown) {
        no->Hide();
        yes->Move(DluPoint(layout.width - 7 - 50, button_top));
    }
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

CMyMessageDialog::CMyMessageDialog(wxWindow* parent, const platform::SharedState& state)
    : CMessageDialogBase(parent, {"Brindlemoor", 298, 113, 241, "OK", "Cancel", app::kIdCancel, false, 11,
                                  "Liberation Sans"},
                         ToWx(state.m_strMessageText), ToWx(state.m_strMessageTitle)) {}

CMessageDialog2::CMessageDialog2(wxWindow* parent, const platform::SharedState& state)
    : CMessageDialogBase(parent, {"Brindlemoor ", 298, 110, 241, "OK", "Cancel", app::kIdCancel, false, 11,
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
