// The program's own message boxes: CMyMessageDialog and CMessageDialog2 (a message with OK),
// CMyExitStopDialog (a question with Yes and No) and CFileExist (may a file be overwritten?). The first three
// show the two message fields of the shared state, copied once when the dialog is made. OK and Yes end the
// dialog with kIdOk; No, Esc and the close box with kIdCancel; Enter presses OK or Yes.
#pragma once

#include <wx/stattext.h>

#include "ui/color_button.h"
#include "ui/dialog_style.h"

namespace platform {
struct SharedState;
}

namespace ui {

class CMessageDialogBase : public CPaleDialog {
public:
    // The two lines as given (the statics show them wrapped to their width).
    wxString UpperText() const { return upper_text_; }
    wxString LowerText() const { return lower_text_; }
    CColorButton* Button(int id) const;
    // The picture of the sign on the left (information, question or error).
    int SignPicture() const { return sign_picture_; }

protected:
    struct Layout {
        const char* caption;
        int width, height;  // dialog units
        int picture;
        const char* yes_label;
        const char* no_label;
        int no_id;
        bool no_shown;
        int text_points;
        const char* face;
    };
    CMessageDialogBase(wxWindow* parent, const Layout& layout, const wxString& upper, const wxString& lower);

private:
    void OnButton(wxCommandEvent& event);

    wxStaticText* upper_ = nullptr;
    wxStaticText* lower_ = nullptr;
    int no_id_ = 2;
    int sign_picture_ = 0;
    wxString upper_text_;
    wxString lower_text_;
};

// Upper line m_strMessageText, lower line m_strMessageTitle; a failure carries the error sign.
class CMyMessageDialog : public CMessageDialogBase {
public:
    CMyMessageDialog(wxWindow* parent, const platform::SharedState& state, bool failure = false);
};

// Upper line m_strMessageTitle, lower line m_strMessageText.
class CMessageDialog2 : public CMessageDialogBase {
public:
    CMessageDialog2(wxWindow* parent, const platform::SharedState& state);
};

// The question m_strMessageText above m_strMessageTitle; Yes and No.
class CMyExitStopDialog : public CMessageDialogBase {
public:
    CMyExitStopDialog(wxWindow* parent, const platform::SharedState& state);
};

// "File already exist." / "Do you want to overwrite?"; Yes and No.
class CFileExist : public CMessageDialogBase {
public:
    explicit CFileExist(wxWindow* parent);
};

}  // namespace ui
