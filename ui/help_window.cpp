// The help window: an HTML view of the shipped help pages with a Close button.
#include "ui/help_window.h"

#include <wx/button.h>
#include <wx/filename.h>
#include <wx/html/htmlwin.h>
#include <wx/sizer.h>

namespace ui {

CHelpWindow::CHelpWindow(wxWindow* parent, const std::filesystem::path& page)
    : wxDialog(parent, wxID_ANY, "Brindlemoor Help", wxDefaultPosition, wxSize(760, 600),
               wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER | wxMAXIMIZE_BOX) {
    html_ = new wxHtmlWindow(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxHW_SCROLLBAR_AUTO);
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(html_, 1, wxEXPAND);
    auto* close = new wxButton(this, wxID_CANCEL, "Close");
    sizer->Add(close, 0, wxALIGN_RIGHT | wxALL, 6);
    SetSizer(sizer);
    SetEscapeId(wxID_CANCEL);
    loaded_ = html_->LoadFile(wxFileName(wxString::FromUTF8(page.string())));
}

}  // namespace ui
