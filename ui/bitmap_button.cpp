// Picture swapping and drawing of the main dialog's buttons.
#include "ui/bitmap_button.h"

#include <wx/dcbuffer.h>
#include <wx/image.h>
#include <wx/settings.h>

#include <algorithm>

#include "ui/dialog_style.h"

namespace ui {

namespace {

// `picture` at `size`: the ends are kept as drawn and the middle columns are stretched (the faces' gradient runs
// from top to bottom, so this changes nothing but the width); a different height scales the whole picture.
wxBitmap FitPicture(const wxBitmap& picture, const wxSize& size) {
    if (picture.GetSize() == size) return picture;
    wxImage image = picture.ConvertToImage();
    const int w = image.GetWidth(), h = image.GetHeight();
    if (size.x > w) {
        const int end = std::min(h / 4 + 2, w / 2 - 1);
        wxImage wide(size.x, h);
        wide.Paste(image.GetSubImage(wxRect(0, 0, end, h)), 0, 0);
        wide.Paste(image.GetSubImage(wxRect(end, 0, w - 2 * end, h)).Scale(size.x - 2 * end, h), end, 0);
        wide.Paste(image.GetSubImage(wxRect(w - end, 0, end, h)), size.x - end, 0);
        image = wide;
    }
    if (image.GetSize() != size) image.Rescale(size.x, size.y, wxIMAGE_QUALITY_BILINEAR);
    return wxBitmap(image);
}

}  // namespace

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
    Bind(wxEVT_LEFT_DCLICK, &CMyBitmapButton::OnDoubleClick, this);
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

bool CMyBitmapButton::Show(bool show) {
    const bool was_clickable = IsShown() && IsThisEnabled();
    const bool changed = wxControl::Show(show);
    if (!was_clickable && IsShown() && IsThisEnabled()) clickable_since_ = std::chrono::steady_clock::now();
    return changed;
}

bool CMyBitmapButton::Enable(bool enable) {
    const bool was_clickable = IsShown() && IsThisEnabled();
    const bool changed = wxControl::Enable(enable);
    if (!was_clickable && IsShown() && IsThisEnabled()) clickable_since_ = std::chrono::steady_clock::now();
    return changed;
}

bool CMyBitmapButton::AcceptsPressNow() const {
    int milliseconds = wxSystemSettings::GetMetric(wxSYS_DCLICK_MSEC);
    if (milliseconds <= 0) milliseconds = 500;  // the platform does not say: a common setting
    return std::chrono::steady_clock::now() - clickable_since_ >= std::chrono::milliseconds(milliseconds);
}

void CMyBitmapButton::LoadBitmaps(int normal, int selected, int focused, int disabled) {
    slots_ = {normal, selected, focused, disabled};
    const wxBitmap& picture = Picture(normal);
    if (draws_label_) {
        FitLabel(picture.IsOk() ? picture.GetSize() : GetSize());
    } else if (picture.IsOk()) {
        SetSize(picture.GetWidth(), picture.GetHeight());
    }
    Refresh();
}

void CMyBitmapButton::DrawLabelOverPicture() {
    draws_label_ = true;
    SetFont(ReadableFont().Bold());
    FitLabel(GetSize());
}

void CMyBitmapButton::FitLabel(const wxSize& picture) {
    wxClientDC dc(this);
    dc.SetFont(GetFont());
    const wxSize text = dc.GetTextExtent(GetLabel());
    // Room for the rounded ends beside the text and for the border above and below it.
    const wxSize size(std::max(picture.x, text.x + 14), std::max(picture.y, text.y + 6));
    const wxRect now = GetRect();
    const wxPoint centre(now.x + now.width / 2, now.y + now.height / 2);
    SetSize(centre.x - size.x / 2, centre.y - size.y / 2, size.x, size.y);
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
    if (picture.IsOk() && draws_label_) {
        dc.DrawBitmap(FitPicture(picture, GetClientSize()), 0, 0, true);
        // The faces' own text colours: dark green, darker under the pointer, grey when disabled.
        const wxColour text = !IsEnabled()      ? wxColour(0x90, 0x90, 0x90)
                              : pointer_inside_ ? wxColour(0x0A, 0x24, 0x00)
                                                : wxColour(0x1E, 0x3A, 0x12);
        dc.SetFont(GetFont());
        dc.SetTextForeground(text);
        dc.DrawLabel(GetLabel(), GetClientRect(), wxALIGN_CENTER);
    } else if (picture.IsOk()) {
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
    if (!IsEnabled() || !AcceptsPressNow()) return;
    HandlePointer(app::PictureEvent::Pressed);
    if (!HasCapture()) CaptureMouse();
}

void CMyBitmapButton::OnDoubleClick(wxMouseEvent&) {
    // The second press of a double click is no click of its own: the first one already did what the button
    // does (Back went back a page; a second Back would leave the page the user came to see). The system may
    // have passed this press on as a plain press too; then the press it began ends without a click.
    if (held_) second_of_double_ = true;
}

void CMyBitmapButton::OnLeftUp(wxMouseEvent& event) {
    if (!held_) return;
    if (HasCapture()) ReleaseMouse();
    HandlePointer(app::PictureEvent::Released);
    if (second_of_double_) {
        second_of_double_ = false;
        return;
    }
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
    second_of_double_ = false;
    Refresh();
}

}  // namespace ui
