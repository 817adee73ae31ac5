// CMyBitmapButton: the main dialog's picture button. Four picture slots (normal, selected, focused,
// disabled) that the pointer swaps by the button's control number: the hover set when it enters, the pressed
// set while the button is held, the normal set when it is released or left.
#pragma once

#include <wx/control.h>

#include <chrono>
#include <functional>

#include "app/button_look.h"

namespace ui {

class CMyBitmapButton : public wxControl {
public:
    CMyBitmapButton(wxWindow* parent, int id, const wxString& label, const wxPoint& pos, const wxSize& size);

    // Loads the four slots by picture number (0: none) and sizes the button to the normal picture.
    void LoadBitmaps(int normal, int selected, int focused, int disabled);
    void LoadBitmaps(const app::PictureSlots& slots) {
        LoadBitmaps(slots.normal, slots.selected, slots.focused, slots.disabled);
    }
    const app::PictureSlots& Slots() const { return slots_; }
    // The picture drawn now.
    int ShownPicture() const;
    // The label is drawn over plain pictures in the readable font; the button grows around its centre to hold it,
    // and the picture is widened to the button's size at its middle, so its rounded ends keep their shape.
    void DrawLabelOverPicture();

    // Called with true when the pointer enters the button and false when it leaves.
    std::function<void(bool)> on_hover;

    // The mouse events as the handlers take them; tests drive the button through these.
    void HandlePointer(app::PictureEvent event);
    // A press from the keyboard (Space or Enter while the button has the focus): the click's command.
    void Press();

    // Showing or enabling the button starts its quiet time (below).
    bool Show(bool show = true) override;
    bool Enable(bool enable = true) override;
    // False during the platform's double-click time after the button became visible and enabled: a mouse press
    // then is the second half of a double click on whatever stood there before (Scan File, whose scan ended and
    // put Repair in its place), not a click meant for this button, and is ignored.
    bool AcceptsPressNow() const;

private:
    void OnPaint(wxPaintEvent& event);
    void OnMotion(wxMouseEvent& event);
    void OnLeave(wxMouseEvent& event);
    void OnLeftDown(wxMouseEvent& event);
    void OnLeftUp(wxMouseEvent& event);
    void OnDoubleClick(wxMouseEvent& event);
    void OnCaptureLost(wxMouseCaptureLostEvent& event);
    // Reached with Tab; the focused button shows a dotted frame. The window system builds its Tab order once
    // from the buttons that take the focus; a button hidden at that time (the file page's, before the first
    // visit) would stay out of it for good. So every button is in the order, and the window system passes over
    // those that are hidden or disabled when Tab is pressed.
    bool AcceptsFocus() const override { return true; }
    // Grows the button around its centre to hold the drawn label.
    void FitLabel(const wxSize& picture);

    app::PictureSlots slots_;
    bool pointer_inside_ = false;
    bool held_ = false;
    bool draws_label_ = false;
    bool second_of_double_ = false;  // the press held now is a double click's second
    std::chrono::steady_clock::time_point clickable_since_{};  // when it last became visible and enabled
};

}  // namespace ui
