// Layout and clicks of the source-version dialog.
#include "ui/version_dialog.h"

#include <wx/statbox.h>

#include "app/control_ids.h"
#include "app/source_versions.h"
#include "ui/color_button.h"

namespace ui {

namespace {
constexpr int kWidth = 290;
constexpr int kHeight = 196;
}  // namespace

CSelectVersionForSQLServer::CSelectVersionForSQLServer(wxWindow* parent, platform::SharedState& state)
    : CPaleDialog(parent, "Brindlemoor", kWidth, kHeight), state_(state) {
    new wxStaticBox(this, wxID_ANY, "Select MS SQL Version on which file was created/imported.", DluPoint(7, 7),
                    DluSize(kWidth - 14, kHeight - 36));
    int top = 22;
    bool first = true;
    for (const auto& choice : app::SourceVersionChoices()) {
        auto* radio = new wxRadioButton(this, choice.radio_id, ToWx(choice.text), DluPoint(16, top),
                                        DluSize(kWidth - 32, 12), first ? wxRB_GROUP : 0);
        MakeReadable(*radio);
        if (first) radio->SetValue(true);  // checked, but applies nothing until clicked
        first = false;
        top += 15;
    }
    new CColorButton(this, app::kIdOk, "OK", DluPoint(kWidth - 7 - 50 - 4 - 50, kHeight - 21), DluSize(50, 14));
    new CColorButton(this, app::kIdCancel, "Cancel", DluPoint(kWidth - 7 - 50, kHeight - 21), DluSize(50, 14));
    SetDefaultResult(app::kIdOk);
    Bind(wxEVT_RADIOBUTTON, &CSelectVersionForSQLServer::OnRadio, this);
    Bind(wxEVT_BUTTON, &CSelectVersionForSQLServer::OnButton, this);
}

wxRadioButton* CSelectVersionForSQLServer::Choice(int radio_id) const {
    return dynamic_cast<wxRadioButton*>(FindWindow(radio_id));
}

void CSelectVersionForSQLServer::OnRadio(wxCommandEvent& event) {
    for (const auto& choice : app::SourceVersionChoices()) {
        if (choice.radio_id == event.GetId()) app::ApplySourceVersionChoice(choice, state_);
    }
}

void CSelectVersionForSQLServer::OnButton(wxCommandEvent& event) {
    if (event.GetId() == app::kIdOk) {
        EndWith(app::kIdOk);
    } else if (event.GetId() == app::kIdCancel) {
        EndWith(app::kIdCancel);
    } else {
        event.Skip();
    }
}

}  // namespace ui
