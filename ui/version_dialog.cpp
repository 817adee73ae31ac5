// Layout and clicks of the source-version dialog.
#include "ui/version_dialog.h"

#include <wx/statbox.h>

#include <algorithm>

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
    auto* box = new wxStaticBox(this, wxID_ANY, "Select MS SQL Version on which file was created/imported.",
                                DluPoint(7, 7), DluSize(kWidth - 14, kHeight - 36));
    // The choices in the readable font are taller and wider than the template's units: each row takes what
    // its text needs, and the box and the dialog grow around the last and the longest one.
    int top = DluY(22);
    int right = box->GetRect().GetRight();
    bool first = true;
    for (const auto& choice : app::SourceVersionChoices()) {
        auto* radio = new wxRadioButton(this, choice.radio_id, ToWx(choice.text), wxPoint(DluX(16), top),
                                        DluSize(kWidth - 32, 12), first ? wxRB_GROUP : 0);
        MakeReadable(*radio);
        if (first) radio->SetValue(true);  // checked, but applies nothing until clicked
        first = false;
        top += std::max(DluY(15), radio->GetSize().GetHeight() + 2);
        right = std::max(right, radio->GetRect().GetRight() + DluX(9));
    }
    box->SetSize(wxSize(right - box->GetPosition().x + 1, top + DluY(4) - box->GetPosition().y));
    const wxSize client(std::max(DluX(kWidth), right + 1 + DluX(7)), std::max(DluY(kHeight), top + DluY(4) + DluY(29)));
    SetClientSize(client);
    const int button_top = client.GetHeight() - DluY(21);
    new CColorButton(this, app::kIdOk, "OK", wxPoint(client.GetWidth() - DluX(7 + 50 + 4 + 50), button_top),
                     DluSize(50, 14));
    new CColorButton(this, app::kIdCancel, "Cancel", wxPoint(client.GetWidth() - DluX(7 + 50), button_top),
                     DluSize(50, 14));
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
