// CSelectVersionForSQLServer: asks on which server version the data file was created or to which it was
// converted, when the catalogue reader does not know the file's version pair. A click on a choice writes its
// version pair and flags at once; OK and Cancel only close the dialog.
#pragma once

#include <wx/radiobut.h>

#include <vector>

#include "ui/dialog_style.h"

namespace platform {
struct SharedState;
}

namespace ui {

class CSelectVersionForSQLServer : public CPaleDialog {
public:
    CSelectVersionForSQLServer(wxWindow* parent, platform::SharedState& state);

    // The radio button of a choice by its control id, for tests.
    wxRadioButton* Choice(int radio_id) const;

private:
    void OnRadio(wxCommandEvent& event);
    void OnButton(wxCommandEvent& event);

    platform::SharedState& state_;
};

}  // namespace ui
