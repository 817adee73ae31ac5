// CAboutDlg: the product's name and version, the operating system's name and kernel version, the support link
// and the way to the licence agreement. CEULADialog: the licence agreement, one row per line.
#pragma once

#include <wx/listctrl.h>
#include <wx/stattext.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ui/dialog_style.h"

namespace platform {
class ConfigFile;
}

namespace ui {

// What the About box shows and where its links and licence file are.
struct AboutInfo {
    std::u16string product_version;
    std::u16string os_name;
    std::u16string os_version;
    std::string support_link;     // "[app] support_link"
    std::u16string live_chat_text; // "[app] live_chat_text"
    std::string live_chat_link;   // "[app] live_chat_link"
    std::filesystem::path eula_path;

    // From the compiled-in version, this system and the settings file.
    static AboutInfo FromSystem(const platform::ConfigFile& config);
};

class CAboutDlg : public CPaleDialog {
public:
    CAboutDlg(wxWindow* parent, AboutInfo info);

    // The text of a static by its control number (e.g. 1158 the version, 1163 the system's name).
    wxString StaticText(int id) const;
    bool SupportLinkVisited() const { return link_visited_; }

    void OnContactSupport();
    void OnLiveChat();
    // Shows the licence agreement modally.
    void OnViewLicense();

private:
    void OnButton(wxCommandEvent& event);

    AboutInfo info_;
    wxStaticText* support_link_ = nullptr;
    bool link_visited_ = false;
};

class CEULADialog : public CPaleDialog {
public:
    CEULADialog(wxWindow* parent, const std::filesystem::path& eula_path);

    std::vector<wxString> Rows() const;
    wxListCtrl* List() const { return list_; }

private:
    wxListCtrl* list_ = nullptr;
};

// The About button: the box for this system.
void ShowAboutBox(wxWindow* parent);

}  // namespace ui
