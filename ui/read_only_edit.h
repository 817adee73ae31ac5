// CReadOnlyEdit: a read-only edit box with its own text and background colours and no context menu.
#pragma once

#include <wx/textctrl.h>

#include "app/button_look.h"

namespace ui {

class CReadOnlyEdit : public wxTextCtrl {
public:
    CReadOnlyEdit(wxWindow* parent, int id, const wxPoint& pos, const wxSize& size, long style = 0);

    void SetBackgroundColor(app::Rgb colour);
    void SetTextColor(app::Rgb colour);

private:
    void Swallow(wxEvent&) {}
};

}  // namespace ui
