// What every dialog of the program shares: text conversion to wxString, the pale-green background, the Arial
// faces (Liberation Sans, metric-compatible), the template's dialog units, and the picture resources.
#pragma once

#include <wx/bitmap.h>
#include <wx/colour.h>
#include <wx/dialog.h>
#include <wx/font.h>
#include <wx/gdicmn.h>
#include <wx/stattext.h>

#include <string>
#include <string_view>

#include "app/button_look.h"

namespace ui {

wxString ToWx(std::u16string_view text);
std::u16string FromWx(const wxString& text);

inline wxColour ToWx(app::Rgb colour) { return wxColour(colour.red, colour.green, colour.blue); }

// Arial by its cell height in pixels and its weight (100 to 900), as the dialogs ask for it.
wxFont ArialFont(int height_pixels, int weight = 400);
// The templates' own font, "MS Shell Dlg" 8 pt, taken as the Arial face at that size.
wxFont TemplateFont();
// Small print made readable: the face of the templates at the platform's default size.
wxFont ReadableFont();
// Gives the window the readable font and at least the size its text then needs.
void MakeReadable(wxWindow& window);

// Dialog units of the templates in pixels: 4 horizontal units are the template font's average character width
// (6 pixels), 8 vertical units its height (13 pixels). Fixed, so a layout is the same on every machine.
int DluX(int units);
int DluY(int units);
wxPoint DluPoint(int x, int y);
wxSize DluSize(int width, int height);

// A black label of a fixed size, its place and size in dialog units.
wxStaticText* AddText(wxWindow* parent, int id, const wxString& text, int x, int y, int width, int height,
                      const wxFont& font = TemplateFont());

// The picture with this resource number; an empty bitmap for a number without one.
const wxBitmap& Picture(int id);

// Base of the program's small dialogs: pale-green background, the template font, a client area in dialog
// units, and the keyboard of the templates: Esc and the close box end the dialog with the Cancel result,
// Enter presses the default button.
class CPaleDialog : public wxDialog {
public:
    CPaleDialog(wxWindow* parent, const wxString& caption, int width_units, int height_units);

    // The result that Enter ends the dialog with (its default button); 0 when Enter does nothing.
    void SetDefaultResult(int result) { default_result_ = result; }
    // Ends the dialog with `result`, modal or not (a modeless one is hidden).
    void EndWith(int result);

protected:
    virtual void OnEscape() { EndWith(2); }

private:
    void OnCharHook(wxKeyEvent& event);
    void OnClose(wxCloseEvent& event);

    int default_result_ = 0;
};

}  // namespace ui
