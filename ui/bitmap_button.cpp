// Picture swapping and drawing of the main dialog's buttons.
#include "ui/bitmap_button.h"

#include <wx/dcbuffer.h>

#include "ui/dialog_style.h"

namespace ui {

CMyBitmapButton::CMyBitmapButton(wxWindow* parent, int id, const wxString& label, const wxPoint& pos,
                                 const wxSize& size)
    : wxControl(parent, id, pos, size, wxBORDER_NONE) {
    SetLabel(label);
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    Bind(wxEVT_PAINT, &CMyBitmapButton::OnPaint, this);
    Bind(wxEVT_MOTION, &CMyBitmapButton::OnMotion, this);
    Bind(wxEVT_ENTER_WINDOW, &CMyBitmapButton::OnMotion, this);
    Bind(wxEVT_LEAVE_WINDOW, &CMyBitmapButton::OnLeave, this);
    Bind(wxEVT_LEFT_DOWN, &CMyBitmapButton::OnLeftDown, this);
    Bind(wxEVT_LEFT_DCLICK, &CMyBitmapButton::OnLeftDown, this);
    Bind(wxEVT_LEFT_UP, &CMyBitmapButton::OnLeftUp, this);
    Bind(wxEVT_MOUSE_CAPTURE_LOST, &CMyBitmapButton::OnCaptureLost, this);
    Bind(wxEVT_SET_FOCUS, [this](wxFocusEvent& event) {
        Refresh();
        event.Skip();
    });
    Bind(wxEVT_KILL_FOCUS, [this](wxFocusEvent& event) {
        Refresh();
        event.Skip();
    });
}

void CMyBitmapButton::Press() {
    if (!IsEnabled() || !IsShown()) return;
    wxCommandEvent click(wxEVT_BUTTON, GetId());
    click.SetEventObject(this);
    ProcessWindowEvent(click);
}

void CMyBitmapButton::LoadBitmaps(int normal, int selected, int focused, int disabled) {
    slots_ = {normal, selected, focused, disabled};
    const wxBitmap& picture = Picture(normal);
    if (picture.IsOk()) SetSize(picture.GetWidth(), picture.GetHeight());
    Refresh();
}

int CMyBitmapButton::ShownPicture() const {
    if (!IsEnabled() && slots_.disabled != 0) return slots_.disabled;
    if (held_ && pointer_inside_ && slots_.selected != 0) return slots_.selected;
    return slots_.normal;
}

void CMyBitmapButton::HandlePointer(app::PictureEvent event) {
    switch (event) {
        case app::PictureEvent::Entered:
            if (pointer_inside_) return;  // only the first move after entering swaps
            pointer_inside_ = true;
            if (on_hover) on_hover(true);
            break;
        case app::PictureEvent::Left:
            pointer_inside_ = false;
            if (on_hover) on_hover(false);
            break;
        case app::PictureEvent::Pressed:
            held_ = true;
            break;
        case app::PictureEvent::Released:
            held_ = false;
            break;
    }
    if (const auto slots = app::PictureSlotsFor(GetId(), event)) slots_ = *slots;
    Refresh();
}

void CMyBitmapButton::OnPaint(wxPaintEvent&) {
    wxAutoBufferedPaintDC dc(this);
    dc.SetBackground(wxBrush(GetParent()->GetBackgroundColour()));
    dc.Clear();
    const wxBitmap& picture = Picture(ShownPicture());
    if (picture.IsOk()) {
        dc.DrawBitmap(picture, 0, 0, true);
    } else {
        dc.SetFont(GetFont());
        dc.DrawLabel(GetLabel(), GetClientRect(), wxALIGN_CENTER);
    }
    if (HasFocus()) {
        // The keyboard's place: a dotted frame just inside the button.
        dc.SetBrush(*wxTRANSPARENT_BRUSH);
        dc.SetPen(wxPen(*wxBLACK, 1, wxPENSTYLE_DOT));
        dc.DrawRectangle(GetClientRect().Deflate(2));
    }
}

void CMyBitmapButton::OnMotion(wxMouseEvent& event) {
    HandlePointer(app::PictureEvent::Entered);
    event.Skip();
}

void CMyBitmapButton::OnLeave(wxMouseEvent& event) {
    if (!HasCapture()) HandlePointer(app::PictureEvent::Left);
    event.Skip();
}

void CMyBitmapButton::OnLeftDown(wxMouseEvent&) {
    if (!IsEnabled()) return;
    HandlePointer(app::PictureEvent::Pressed);
    if (!HasCapture()) CaptureMouse();
}

void CMyBitmapButton::OnLeftUp(wxMouseEvent& event) {
    if (!held_) return;
    if (HasCapture()) ReleaseMouse();
    HandlePointer(app::PictureEvent::Released);
    if (!GetClientRect().Contains(event.GetPosition())) {
        HandlePointer(app::PictureEvent::Left);
        return;
    }
    if (IsEnabled()) {
        wxCommandEvent click(wxEVT_BUTTON, GetId());
        click.SetEventObject(this);
        ProcessWindowEvent(click);
    }
}

void CMyBitmapButton::OnCaptureLost(wxMouseCaptureLostEvent&) {
    held_ = false;
    Refresh();
}

}  // namespace ui
