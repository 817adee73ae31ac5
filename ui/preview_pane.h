// The views of the document preview inside the preview frame of the result page: a picture scaled into the
// frame, read-only text, an HTML view that runs no script and fetches nothing, a media player with its own
// play/pause and position controls, or a line of text saying why nothing is shown. The pane owns the private
// folder that holds the previewed document's temporary copy and deletes only what it made there. PDF and
// Office documents are turned into a picture of their first page on a worker thread; a newer preview or a
// close cancels a conversion that still runs.
#pragma once

#include <wx/event.h>
#include <wx/image.h>
#include <wx/timer.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "app/preview_conversion.h"
#include "app/preview_picture.h"
#include "app/preview_rules.h"
#include "app/preview_text.h"
#include "platform/private_folder.h"

class wxButton;
class wxMediaCtrl;
class wxSlider;
class wxStaticText;
class wxWindow;

namespace ui {

// A picture file read for the preview: the probe first (format, size, limits), then the decoder.
struct PreviewPicture {
    wxImage image;  // valid when the picture was decoded
    app::PictureCheck check = app::PictureCheck::Unreadable;
    std::u16string message;  // why there is no picture
};
PreviewPicture LoadPreviewPicture(const std::filesystem::path& file, std::string_view extension);

class CPreviewPane : public wxEvtHandler {
public:
    enum class View { None, Picture, Text, Html, Media, Message, Converting };

    explicit CPreviewPane(wxWindow* frame);
    ~CPreviewPane() override;
    CPreviewPane(const CPreviewPane&) = delete;
    CPreviewPane& operator=(const CPreviewPane&) = delete;

    // A new empty folder for the next document's temporary copy (the previous preview must be closed first);
    // empty when the private folder cannot be made.
    std::filesystem::path NewDocumentFolder();
    platform::PrivateFolder& Folder() { return folder_; }

    void ShowPicture(const std::filesystem::path& file);
    void ShowText(const std::filesystem::path& file);
    void ShowHtml(const std::filesystem::path& file);
    // Audio shows `title` (the document's name) where a video would play.
    void ShowMedia(const std::filesystem::path& file, bool video, const std::u16string& title = {});
    void StartConversion(app::PreviewViewer viewer, const std::filesystem::path& file);
    void ShowMessage(const std::u16string& text);

    // Removes the view, cancels a running conversion and deletes the temporary copy and what was made from it.
    void Close();

    View CurrentView() const { return view_; }
    wxWindow* ViewWindow() const { return view_window_; }
    std::u16string MessageText() const;
    wxMediaCtrl* Media() const { return media_; }
    bool MediaLoaded() const { return media_loaded_; }
    const std::filesystem::path& DocumentFolder() const { return document_folder_; }

    // Helper programs; the dialog sets them before each scan.
    app::PreviewTools tools;
    // Time limits: the media loaded event, the two converters.
    std::chrono::milliseconds media_wait{15000};
    std::chrono::milliseconds pdf_time_limit{20000};
    std::chrono::milliseconds office_time_limit{60000};
    // Receives a line for the log (a temporary file that could not be deleted).
    std::function<void(const std::u16string&)> log;
    // How the temporary copy is deleted; empty: by the private folder (tests make it fail).
    std::function<std::error_code(const std::filesystem::path&)> remove;

private:
    wxSize FrameSize() const;
    void RemoveView();
    // The file's text for the text and web views, the old view removed; says so in the pane when it cannot be read.
    std::optional<app::PreviewText> ReadTextForView(const std::filesystem::path& file);
    void SetView(View view, wxWindow* window);
    void OnMediaLoaded();
    void OnMediaTimer();
    void PlaceVideo();
    void OnConversionDone(unsigned generation, const app::ConversionResult& result);

    wxWindow* frame_;
    platform::PrivateFolder folder_;
    std::filesystem::path document_folder_;
    View view_ = View::None;
    wxWindow* view_window_ = nullptr;  // child of the frame: the whole view

    // Media.
    wxMediaCtrl* media_ = nullptr;
    bool media_video_ = false;
    bool media_loaded_ = false;
    std::unique_ptr<wxTimer> media_timer_;  // the position display while playing, the load limit before
    wxButton* controls_play_ = nullptr;
    wxSlider* controls_position_ = nullptr;
    wxStaticText* controls_time_ = nullptr;

    // Conversion.
    std::thread conversion_;
    std::shared_ptr<std::atomic<bool>> cancel_;
    unsigned generation_ = 0;
};

}  // namespace ui
