// Colours of the read-only edit; the context menu is swallowed at the right button and the menu key.
#include "ui/read_only_edit.h"

#include "ui/dialog_style.h"

namespace ui {

CReadOnlyEdit::CReadOnlyEdit(wxWindow* parent, int id, const wxPoint& pos, const wxSize& size, long style)
    : wxTextCtrl(parent, id, wxString(), pos, size, style | wxTE_READONLY) {
    Bind(wxEVT_CONTEXT_MENU, &CReadOnlyEdit::Swallow, this);
    Bind(wxEVT_RIGHT_DOWN, &CReadOnlyEdit::Swallow, this);
    Bind(wxEVT_RIGHT_UP, &CReadOnlyEdit::Swallow, this);
}

void CReadOnlyEdit::SetBackgroundColor(app::Rgb colour) {
    SetBackgroundColour(ToWx(colour));
    Refresh();
}

void CReadOnlyEdit::SetTextColor(app::Rgb colour) {
    SetForegroundColour(ToWx(colour));
    Refresh();
}

}  // namespace ui
