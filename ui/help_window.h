// CHelpWindow: the program's own help, HTML pages shipped beside the program, shown in a window of their own.
// It is modal like every other window the main dialog opens (the main dialog itself runs modally, and a
// modeless window beside it would get no input).
#pragma once

#include <wx/dialog.h>

#include <filesystem>

class wxHtmlWindow;

namespace ui {

class CHelpWindow : public wxDialog {
public:
    // Loads the page at `page`; IsLoaded() is false when it could not be read.
    CHelpWindow(wxWindow* parent, const std::filesystem::path& page);
    bool IsLoaded() const { return loaded_; }
    wxHtmlWindow* Html() const { return html_; }

private:
    wxHtmlWindow* html_ = nullptr;
    bool loaded_ = false;
};

}  // namespace ui
