// Drawing and mouse handling of the gradient push button.
#include "ui/color_button.h"

#include <wx/dcbuffer.h>
#include <wx/settings.h>

#include "ui/dialog_style.h"

namespace ui {

CColorButton::CColorButton(wxWindow* parent, int id, const wxString& label, const wxPoint& pos, const wxSize& size)
    : wxControl(parent, id, pos, size, wxBORDER_NONE) {
    SetLabel(label);
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    Bind(wxEVT_PAINT, &CColorButton::OnPaint, this);
    Bind(wxEVT_ENTER_WINDOW, &CColorButton::OnEnter, this);
    Bind(wxEVT_LEAVE_WINDOW, &CColorButton::OnLeave, this);
    Bind(wxEVT_LEFT_DOWN, &CColorButton::OnLeftDown, this);
    Bind(wxEVT_LEFT_DCLICK, &CColorButton::OnLeftDown, this);
    Bind(wxEVT_LEFT_UP, &CColorButton::OnLeftUp, this);
    Bind(wxEVT_MOUSE_CAPTURE_LOST, &CColorButton::OnCaptureLost, this);
    Bind(wxEVT_KEY_DOWN, &CColorButton::OnKeyDown, this);
    for (const auto& type : {wxEVT_SET_FOCUS, wxEVT_KILL_FOCUS}) {
        Bind(type, [this](wxFocusEvent& event) {
            Refresh();
            event.Skip();
        });
    }
}

void CColorButton::Press() {
    if (!IsEnabled() || !IsShown()) return;
    wxCommandEvent click(wxEVT_BUTTON, GetId());
    click.SetEventObject(this);
    ProcessWindowEvent(click);
}

void CColorButton::OnKeyDown(wxKeyEvent& event) {
    switch (event.GetKeyCode()) {
        case WXK_SPACE:
        case WXK_RETURN:
        case WXK_NUMPAD_ENTER: Press(); return;
        default: event.Skip();
    }
}

app::ColorButtonState CColorButton::DrawState() const {
    return {pressed_ && pointer_inside_, !IsEnabled(), pointer_inside_, true};
}

wxSize CColorButton::DoGetBestSize() const { return DluSize(50, 14); }

void CColorButton::OnPaint(wxPaintEvent&) {
    wxAutoBufferedPaintDC dc(this);
    const wxRect all = GetClientRect();
    dc.SetBackground(wxBrush(GetParent()->GetBackgroundColour()));
    dc.Clear();
    // A flat frame, then the gradient inside it.
    const wxColour frame = wxSystemSettings::GetColour(wxSYS_COLOUR_BTNSHADOW);
    dc.SetPen(wxPen(frame));
    dc.SetBrush(*wxTRANSPARENT_BRUSH);
    dc.DrawRectangle(all);
    const wxRect content = all.Deflate(2, 2);
    const app::Rgb face = [] {
        const wxColour c = wxSystemSettings::GetColour(wxSYS_COLOUR_BTNFACE);
        return app::Rgb{c.Red(), c.Green(), c.Blue()};
    }();
    const app::Gradient gradient = app::ColorButtonGradient(DrawState(), face);
    dc.GradientFillLinear(content, ToWx(gradient.top), ToWx(gradient.bottom), wxSOUTH);

    // The text in the normal text colour, also when disabled, centred and clipped to the frame.
    dc.SetFont(GetFont());
    dc.SetTextForeground(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNTEXT));
    dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
    wxDCClipper clip(dc, all.Deflate(1, 1));
    dc.DrawLabel(GetLabel(), content, wxALIGN_CENTER);
    if (HasFocus()) {
        // The keyboard's place: a dotted frame just inside the gradient.
        dc.SetBrush(*wxTRANSPARENT_BRUSH);
        dc.SetPen(wxPen(*wxBLACK, 1, wxPENSTYLE_DOT));
        dc.DrawRectangle(content.Deflate(1, 1));
    }
}

void CColorButton::OnEnter(wxMouseEvent& event) {
    pointer_inside_ = true;
    Refresh();
    event.Skip();
}

void CColorButton::OnLeave(wxMouseEvent& event) {
    pointer_inside_ = false;
    Refresh();
    event.Skip();
}

void CColorButton::OnLeftDown(wxMouseEvent&) {
    if (!IsEnabled()) return;
    pressed_ = true;
    if (!HasCapture()) CaptureMouse();
    Refresh();
}

void CColorButton::OnLeftUp(wxMouseEvent& event) {
    if (!pressed_) return;
    pressed_ = false;
    if (HasCapture()) ReleaseMouse();
    Refresh();
    if (GetClientRect().Contains(event.GetPosition())) Press();
}

void CColorButton::OnCaptureLost(wxMouseCaptureLostEvent&) {
    pressed_ = false;
    Refresh();
}

}  // namespace ui
