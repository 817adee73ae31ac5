// CColorButton: the push button of the small dialogs, drawn as a white-to-green gradient with its text
// centred; the accent darkens while the pointer is over it. A double click counts as two clicks. Tab reaches
// it (a dotted frame shows the focus), and Space or Enter presses the focused button.
#pragma once

#include <wx/control.h>

#include "app/button_look.h"

namespace ui {

class CColorButton : public wxControl {
public:
    CColorButton(wxWindow* parent, int id, const wxString& label, const wxPoint& pos, const wxSize& size);

    // The state the face is drawn in, for tests and screenshots.
    app::ColorButtonState DrawState() const;
    // A press from the keyboard: the click's command, when the button is enabled and shown.
    void Press();
    bool AcceptsFocus() const override { return IsShown() && IsEnabled(); }

private:
    void OnPaint(wxPaintEvent& event);
    void OnEnter(wxMouseEvent& event);
    void OnLeave(wxMouseEvent& event);
    void OnLeftDown(wxMouseEvent& event);
    void OnLeftUp(wxMouseEvent& event);
    void OnCaptureLost(wxMouseCaptureLostEvent& event);
    void OnKeyDown(wxKeyEvent& event);
    wxSize DoGetBestSize() const override;

    bool pointer_inside_ = false;
    bool pressed_ = false;
};

}  // namespace ui
