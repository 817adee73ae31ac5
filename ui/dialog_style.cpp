// Shared dialog look and the picture cache.
#include "ui/dialog_style.h"

#include <wx/image.h>

#include <algorithm>
#include <map>

#include <wx/settings.h>
#include <wx/window.h>

#include "app/control_ids.h"
#include "platform/text.h"
#include "res/pictures.h"
#include "ui/color_button.h"

namespace ui {

wxString ToWx(std::u16string_view text) { return wxString::FromUTF8(platform::ToUtf8(text)); }

std::u16string FromWx(const wxString& text) { return platform::FromUtf8(text.utf8_string()); }

wxFont ArialFont(int height_pixels, int weight) {
    return wxFont(wxFontInfo(wxSize(0, height_pixels)).FaceName("Liberation Sans").Weight(weight));
}

wxFont TemplateFont() { return wxFont(wxFontInfo(8).FaceName("Liberation Sans")); }

wxFont ReadableFont() {
    wxFont font = wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT);
    font.SetFaceName("Liberation Sans");
    return font;
}

void MakeReadable(wxWindow& window) {
    window.SetFont(ReadableFont());
    window.InvalidateBestSize();
    const wxSize best = window.GetBestSize();
    const wxSize now = window.GetSize();
    window.SetSize(wxSize(std::max(now.x, best.x), std::max(now.y, best.y)));
}

int DluX(int units) { return (units * 6 + 2) / 4; }
int DluY(int units) { return (units * 13 + 4) / 8; }
wxPoint DluPoint(int x, int y) { return {DluX(x), DluY(y)}; }
wxSize DluSize(int width, int height) { return {DluX(width), DluY(height)}; }

wxStaticText* AddText(wxWindow* parent, int id, const wxString& text, int x, int y, int width, int height,
                      const wxFont& font) {
    auto* item = new wxStaticText(parent, id, text, DluPoint(x, y), DluSize(width, height), wxST_NO_AUTORESIZE);
    item->SetFont(font);
    item->SetForegroundColour(*wxBLACK);
    return item;
}

const wxBitmap& Picture(int id) {
    static std::map<int, wxBitmap> cache;
    auto found = cache.find(id);
    if (found != cache.end()) return found->second;
    if (wxImage::FindHandler(wxBITMAP_TYPE_PNG) == nullptr) wxImage::AddHandler(new wxPNGHandler);
    wxBitmap bitmap;
    const auto bytes = res::PictureBytes(id);
    if (!bytes.empty()) bitmap = wxBitmap::NewFromPNGData(bytes.data(), bytes.size());
    return cache.emplace(id, bitmap).first->second;
}

CPaleDialog::CPaleDialog(wxWindow* parent, const wxString& caption, int width_units, int height_units)
    : wxDialog(parent, wxID_ANY, caption, wxDefaultPosition, wxDefaultSize, wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX) {
    SetFont(TemplateFont());
    SetBackgroundColour(ToWx(app::kBackgroundColour));
    SetClientSize(DluSize(width_units, height_units));
    Bind(wxEVT_CHAR_HOOK, &CPaleDialog::OnCharHook, this);
    Bind(wxEVT_CLOSE_WINDOW, &CPaleDialog::OnClose, this);
}

void CPaleDialog::EndWith(int result) {
    if (IsModal()) {
        EndModal(result);
    } else {
        SetReturnCode(result);
        Hide();
    }
}

void CPaleDialog::OnCharHook(wxKeyEvent& event) {
    switch (event.GetKeyCode()) {
        case WXK_ESCAPE:
            OnEscape();
            return;
        case WXK_RETURN:
        case WXK_NUMPAD_ENTER:
            // A button reached with Tab takes Enter itself.
            if (auto* focused = dynamic_cast<CColorButton*>(FindFocus());
                focused != nullptr && focused->GetParent() == this) {
                focused->Press();
                return;
            }
            if (default_result_ != 0) {
                const wxWindow* button = FindWindow(default_result_);
                if (button != nullptr && !button->IsEnabled()) return;  // a disabled default does nothing
                wxCommandEvent press(wxEVT_BUTTON, default_result_);
                press.SetEventObject(this);
                ProcessWindowEvent(press);
                return;
            }
            break;
        default:
            break;
    }
    event.Skip();
}

void CPaleDialog::OnClose(wxCloseEvent&) { EndWith(app::kIdCancel); }

}  // namespace ui
