// The preview's views. Each view is one child window of the frame, made for one document and destroyed by
// the next preview or a close.
#include "ui/preview_pane.h"

#include <wx/bmpbuttn.h>
#include <wx/button.h>
#include <wx/dcbuffer.h>
#include <wx/html/htmlwin.h>
#include <wx/log.h>
#include <wx/mediactrl.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/slider.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/wfstream.h>

#include <fstream>

#include "app/preview_text.h"
#include "platform/text.h"
#include "ui/dialog_style.h"

namespace ui {

namespace fs = std::filesystem;

namespace {

constexpr int kControlsHeight = 30;  // the media controls' row at the frame's bottom

wxBitmapType BitmapTypeOf(app::PictureFormat format) {
    switch (format) {
        case app::PictureFormat::Png: return wxBITMAP_TYPE_PNG;
        case app::PictureFormat::Jpeg: return wxBITMAP_TYPE_JPEG;
        case app::PictureFormat::Gif: return wxBITMAP_TYPE_GIF;
        case app::PictureFormat::Bmp: return wxBITMAP_TYPE_BMP;
        case app::PictureFormat::Tiff: return wxBITMAP_TYPE_TIFF;
        case app::PictureFormat::Pcx: return wxBITMAP_TYPE_PCX;
        case app::PictureFormat::Pnm: return wxBITMAP_TYPE_PNM;
        case app::PictureFormat::Tga: return wxBITMAP_TYPE_TGA;
        case app::PictureFormat::Unknown: break;
    }
    return wxBITMAP_TYPE_INVALID;
}

std::u16string Decimal(std::uint64_t n) { return platform::Widen(std::to_string(n)); }

// The picture, drawn at its place inside the frame and kept as a bitmap of the drawn size: a paint draws it
// again without decoding the file anew.
class PictureView : public wxWindow {
public:
    PictureView(wxWindow* parent, const wxPoint& at, const wxSize& size, const wxImage& image)
        : wxWindow(parent, wxID_ANY, at, size, wxBORDER_NONE | wxFULL_REPAINT_ON_RESIZE) {
        SetBackgroundStyle(wxBG_STYLE_PAINT);
        SetBackgroundColour(*wxWHITE);
        // Windows of this toolkit work in logical pixels, where 96 pixels make an inch.
        place_ = app::PictureDrawRect(image.GetWidth(), image.GetHeight(), {0, 0, size.GetWidth(), size.GetHeight()});
        if (place_.Width() > 0 && place_.Height() > 0) {
            const wxImage drawn = place_.Width() == image.GetWidth() && place_.Height() == image.GetHeight()
                                      ? image
                                      : image.Scale(place_.Width(), place_.Height(), wxIMAGE_QUALITY_HIGH);
            bitmap_ = wxBitmap(drawn);
        }
        Bind(wxEVT_PAINT, [this](wxPaintEvent&) {
            wxAutoBufferedPaintDC dc(this);
            dc.SetBackground(*wxWHITE_BRUSH);
            dc.Clear();
            if (bitmap_.IsOk()) dc.DrawBitmap(bitmap_, place_.left, place_.top, true);
        });
    }
    const app::Rect& Place() const { return place_; }

private:
    app::Rect place_;
    wxBitmap bitmap_;
};

// HTML without the network: every image, background or other resource the page names is refused before it is
// opened, and a link click goes nowhere. The view runs no script.
class SafeHtmlWindow : public wxHtmlWindow {
public:
    SafeHtmlWindow(wxWindow* parent, const wxPoint& at, const wxSize& size)
        : wxHtmlWindow(parent, wxID_ANY, at, size, wxHW_SCROLLBAR_AUTO | wxBORDER_NONE) {}
    wxHtmlOpeningStatus OnOpeningURL(wxHtmlURLType, const wxString&, wxString*) const override { return wxHTML_BLOCK; }
    void OnLinkClicked(const wxHtmlLinkInfo&) override {}
};

// Script and style elements' contents are not text to show.
std::u16string WithoutScripts(const std::u16string& page) {
    std::u16string out;
    const std::u16string lower = platform::ToLower(page);
    std::size_t pos = 0;
    while (pos < page.size()) {
        std::size_t open = std::u16string::npos;
        std::u16string close_tag;
        for (const std::u16string tag : {u"script", u"style"}) {
            const std::size_t at = lower.find(u"<" + tag, pos);
            if (at < open) {
                open = at;
                close_tag = u"</" + tag;
            }
        }
        if (open == std::u16string::npos) {
            out.append(page, pos, std::u16string::npos);
            break;
        }
        out.append(page, pos, open - pos);
        const std::size_t close = lower.find(close_tag, open);
        if (close == std::u16string::npos) break;
        const std::size_t end = lower.find(u'>', close);
        pos = end == std::u16string::npos ? page.size() : end + 1;
    }
    return out;
}

std::u16string TimeText(long milliseconds) {
    const long seconds = milliseconds / 1000;
    std::string text = std::to_string(seconds / 60) + ":" + (seconds % 60 < 10 ? "0" : "") + std::to_string(seconds % 60);
    return platform::Widen(text);
}

}  // namespace

PreviewPicture LoadPreviewPicture(const fs::path& file, std::string_view extension) {
    PreviewPicture picture;
    const app::PictureProbe probe = app::CheckPictureFile(file, extension);
    picture.check = probe.check;
    switch (probe.check) {
        case app::PictureCheck::Fine: break;
        case app::PictureCheck::FileTooLarge:
            picture.message = u"This picture file is too large to preview.";
            return picture;
        case app::PictureCheck::TooManyPixels:
            picture.message = u"This picture is too large to preview (" + Decimal(probe.header.width) + u" × " +
                              Decimal(probe.header.height) + u" pixels).";
            return picture;
        case app::PictureCheck::UnknownFormat:
            picture.message = u"This picture's format cannot be shown in the preview.";
            return picture;
        case app::PictureCheck::Unreadable:
            picture.message = u"The picture could not be read.";
            return picture;
    }
    wxLogNull quiet;  // a damaged file is said so in the preview, not in a log window
    wxFileInputStream in(wxString::FromUTF8(file.string()));
    if (!in.IsOk() || !picture.image.LoadFile(in, BitmapTypeOf(probe.header.format)) || !picture.image.IsOk()) {
        picture.image = wxImage();
        picture.message = u"The picture cannot be decoded; the file may be damaged.";
    }
    return picture;
}

CPreviewPane::CPreviewPane(wxWindow* frame) : frame_(frame), folder_("brindlemoor-preview-") {}

CPreviewPane::~CPreviewPane() { Close(); }

fs::path CPreviewPane::NewDocumentFolder() {
    document_folder_ = folder_.NewSubFolder();
    return document_folder_;
}

wxSize CPreviewPane::FrameSize() const { return frame_->GetClientSize(); }

void CPreviewPane::SetView(View view, wxWindow* window) {
    view_ = view;
    view_window_ = window;
    frame_->Show();
    frame_->Enable();
    if (window != nullptr) window->Show();
    frame_->Refresh();
}

void CPreviewPane::RemoveView() {
    if (media_timer_) media_timer_->Stop();
    if (media_ != nullptr) media_->Stop();
    media_ = nullptr;
    media_loaded_ = false;
    if (view_window_ != nullptr) view_window_->Destroy();
    view_window_ = nullptr;
    view_ = View::None;
}

void CPreviewPane::Close() {
    if (conversion_.joinable()) {
        cancel_->store(true);
        conversion_.join();
    }
    ++generation_;  // a result still queued is no longer wanted
    RemoveView();
    if (!document_folder_.empty()) {
        const std::error_code error = remove ? remove(document_folder_) : folder_.Remove(document_folder_);
        if (error && log) {
            log(u"  The preview's temporary file could not be deleted: " + platform::FromUtf8(document_folder_.string()) +
                u" (" + platform::FromUtf8(error.message()) + u")");
        }
        document_folder_.clear();
    }
}

void CPreviewPane::ShowMessage(const std::u16string& text) {
    RemoveView();
    const wxSize size = FrameSize();
    auto* panel = new wxPanel(frame_, wxID_ANY, wxPoint(0, 0), size);
    panel->SetBackgroundColour(*wxWHITE);
    auto* label = new wxStaticText(panel, wxID_ANY, ToWx(text), wxDefaultPosition, wxDefaultSize, wxALIGN_CENTRE_HORIZONTAL);
    label->Wrap(size.GetWidth() - 40);
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->AddStretchSpacer();
    sizer->Add(label, 0, wxALIGN_CENTRE | wxLEFT | wxRIGHT, 20);
    sizer->AddStretchSpacer();
    panel->SetSizer(sizer);
    panel->Layout();
    SetView(View::Message, panel);
}

std::u16string CPreviewPane::MessageText() const {
    if (view_ != View::Message && view_ != View::Converting) return {};
    for (wxWindow* child : view_window_->GetChildren()) {
        if (auto* label = dynamic_cast<wxStaticText*>(child)) return FromWx(label->GetLabel());
    }
    return {};
}

void CPreviewPane::ShowPicture(const fs::path& file) {
    const PreviewPicture picture = LoadPreviewPicture(file, app::PreviewFileExtension(platform::FromUtf8(file.string())));
    if (!picture.image.IsOk()) {
        ShowMessage(picture.message);
        return;
    }
    RemoveView();
    // The drawing rectangle: the frame's client area less one pixel on each side.
    const wxSize size = FrameSize();
    auto* view = new PictureView(frame_, wxPoint(1, 1), wxSize(size.GetWidth() - 2, size.GetHeight() - 2), picture.image);
    SetView(View::Picture, view);
}

std::optional<app::PreviewText> CPreviewPane::ReadTextForView(const fs::path& file) {
    app::PreviewText text;
    if (!app::ReadPreviewText(file, platform::AnsiCodePage(), text)) {
        ShowMessage(u"The file could not be read.");
        return std::nullopt;
    }
    RemoveView();
    return text;
}

void CPreviewPane::ShowText(const fs::path& file) {
    const auto text = ReadTextForView(file);
    if (!text) return;
    auto* edit = new wxTextCtrl(frame_, wxID_ANY, wxString(), wxPoint(0, 0), FrameSize(),
                                wxTE_MULTILINE | wxTE_READONLY | wxTE_RICH2 | wxHSCROLL | wxBORDER_NONE);
    edit->ChangeValue(ToWx(text->text));
    edit->SetInsertionPoint(0);
    SetView(View::Text, edit);
}

void CPreviewPane::ShowHtml(const fs::path& file) {
    const auto text = ReadTextForView(file);
    if (!text) return;
    auto* html = new SafeHtmlWindow(frame_, wxPoint(0, 0), FrameSize());
    html->SetPage(ToWx(WithoutScripts(text->text)));
    SetView(View::Html, html);
}

void CPreviewPane::ShowMedia(const fs::path& file, bool video, const std::u16string& title) {
    RemoveView();
    const wxSize size = FrameSize();
    auto* panel = new wxPanel(frame_, wxID_ANY, wxPoint(0, 0), size);
    panel->SetBackgroundColour(video ? *wxBLACK : *wxWHITE);
    auto* media = new wxMediaCtrl();
    if (!media->Create(panel, wxID_ANY, wxString(), wxPoint(0, 0), wxDefaultSize, 0, wxMEDIABACKEND_GSTREAMER)) {
        delete media;
        panel->Destroy();
        ShowMessage(u"This file cannot be played: the media player could not be started.");
        return;
    }
    media_ = media;
    media_video_ = video;
    media_loaded_ = false;
    if (!video) {
        media->Hide();
        auto* name = new wxStaticText(panel, wxID_ANY, wxString(), wxDefaultPosition, wxDefaultSize,
                                      wxALIGN_CENTRE_HORIZONTAL | wxST_NO_AUTORESIZE | wxST_ELLIPSIZE_MIDDLE);
        name->SetFont(ArialFont(18, 400));
        name->SetForegroundColour(wxColour(0x3F, 0x66, 0x22));
        name->SetLabel(ToWx(title));
        const int height = name->GetBestSize().GetHeight() + 8;  // room for the descenders
        name->SetSize(10, (size.GetHeight() - kControlsHeight - height) / 2, size.GetWidth() - 20, height);
    }

    // Our own controls: play/pause, the position, the time.
    const int row_top = size.GetHeight() - kControlsHeight;
    auto* controls = new wxPanel(panel, wxID_ANY, wxPoint(0, row_top), wxSize(size.GetWidth(), kControlsHeight));
    controls->SetBackgroundColour(*wxWHITE);
    auto* play = new wxButton(controls, wxID_ANY, "Pause", wxPoint(4, 2), wxSize(70, kControlsHeight - 4));
    auto* position = new wxSlider(controls, wxID_ANY, 0, 0, 1, wxPoint(80, 2),
                                  wxSize(size.GetWidth() - 80 - 110, kControlsHeight - 4));
    auto* time = new wxStaticText(controls, wxID_ANY, "0:00 / 0:00", wxPoint(size.GetWidth() - 104, 8), wxSize(100, 16));
    play->Disable();
    position->Disable();
    play->Bind(wxEVT_BUTTON, [this, play](wxCommandEvent&) {
        if (media_ == nullptr || !media_loaded_) return;
        if (media_->GetState() == wxMEDIASTATE_PLAYING) {
            media_->Pause();
            play->SetLabel("Play");
        } else {
            media_->Play();
            play->SetLabel("Pause");
        }
    });
    position->Bind(wxEVT_SLIDER, [this, position](wxCommandEvent&) {
        if (media_ != nullptr && media_loaded_) media_->Seek(position->GetValue());
    });
    media->Bind(wxEVT_MEDIA_LOADED, [this](wxMediaEvent&) { OnMediaLoaded(); });
    media->Bind(wxEVT_MEDIA_FINISHED, [play](wxMediaEvent& event) {
        play->SetLabel("Play");
        event.Skip();
    });
    controls_play_ = play;
    controls_position_ = position;
    controls_time_ = time;
    SetView(View::Media, panel);

    // Loading is asynchronous: the loaded event starts the playing; without it in time, the file cannot be played.
    media_timer_ = std::make_unique<wxTimer>();
    media_timer_->Bind(wxEVT_TIMER, [this](wxTimerEvent&) { OnMediaTimer(); });
    if (!media->Load(wxString::FromUTF8(file.string()))) {
        ShowMessage(u"This file cannot be played.");
        return;
    }
    media_timer_->StartOnce(static_cast<int>(media_wait.count()));
}

void CPreviewPane::OnMediaLoaded() {
    if (media_ == nullptr || media_loaded_) return;
    media_loaded_ = true;
    media_timer_->Stop();
    PlaceVideo();
    const long length = static_cast<long>(media_->Length());
    controls_position_->SetRange(0, std::max(1L, length));
    controls_position_->Enable();
    controls_play_->Enable();
    controls_time_->SetLabel(ToWx(TimeText(0) + u" / " + TimeText(length)));
    media_->Play();
    media_timer_->Start(250);
}

// The video's rectangle by its size. The player reports the size it knows when the file has loaded; the
// GStreamer player reports none (0 by 0), and then the video takes the frame above the controls, less the
// margins, and the video sink keeps its shape inside that.
void CPreviewPane::PlaceVideo() {
    if (!media_video_ || media_ == nullptr) return;
    const wxSize source = media_->GetBestSize();
    const wxSize size = FrameSize();
    const app::Rect rect = app::MediaDestinationRect(size.GetWidth(), size.GetHeight() - kControlsHeight,
                                                     source.GetWidth(), source.GetHeight());
    media_->SetSize(rect.left, rect.top, rect.Width(), rect.Height());
}

void CPreviewPane::OnMediaTimer() {
    if (media_ == nullptr) return;
    if (!media_loaded_) {
        ShowMessage(u"This file cannot be played.");
        return;
    }
    // The length may be known only once the player has read further than the header.
    const long length = static_cast<long>(media_->Length());
    if (length > 0 && controls_position_->GetMax() != length) controls_position_->SetRange(0, static_cast<int>(length));
    const long at = static_cast<long>(media_->Tell());
    controls_position_->SetValue(static_cast<int>(at));
    controls_time_->SetLabel(ToWx(TimeText(at) + u" / " + TimeText(length)));
}

void CPreviewPane::StartConversion(app::PreviewViewer viewer, const fs::path& file) {
    ShowMessage(u"Making the preview…");
    view_ = View::Converting;
    app::ConversionRequest request;
    request.viewer = viewer;
    request.input = file;
    request.work_folder = document_folder_;
    request.tools = tools;
    request.pdf_time_limit = pdf_time_limit;
    request.office_time_limit = office_time_limit;
    cancel_ = std::make_shared<std::atomic<bool>>(false);
    const unsigned generation = ++generation_;
    conversion_ = std::thread([this, request, cancel = cancel_, generation] {
        const app::ConversionResult result = app::ConvertForPreview(request, cancel.get());
        CallAfter([this, generation, result] { OnConversionDone(generation, result); });
    });
}

void CPreviewPane::OnConversionDone(unsigned generation, const app::ConversionResult& result) {
    if (generation != generation_) return;
    if (conversion_.joinable()) conversion_.join();
    if (result.ok) {
        ShowPicture(result.picture);
    } else if (!result.message.empty()) {
        ShowMessage(result.message);
    }
}

}  // namespace ui
