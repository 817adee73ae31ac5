// Preview rules: viewer by extension, helper programs, the clicked document, picture and video rectangles.
#include "app/preview_rules.h"

#include <algorithm>
#include <array>
#include <utility>

#include "app/result_lists.h"
#include "platform/child_process.h"
#include "platform/text.h"

namespace app {

namespace {

struct ViewerRow {
    PreviewViewer viewer;
    std::vector<std::u16string_view> extensions;
};

// In the order they are tried; an extension of two rows would get the first.
const std::vector<ViewerRow>& ViewerTable() {
    static const std::vector<ViewerRow> table = {
        {PreviewViewer::Pdf, {u"pdf"}},
        {PreviewViewer::Word, {u"doc", u"docx", u"docm", u"dot", u"dotx"}},
        {PreviewViewer::PowerPoint, {u"pot", u"potx", u"pptm", u"ppsx", u"pps", u"ppt", u"pptx"}},
        {PreviewViewer::Excel, {u"xlb", u"xltm", u"xltx", u"xlw", u"xlsx", u"xls", u"xlt"}},
        {PreviewViewer::Html,
         {u"dwp", u"webpart", u"html", u"xhtml", u"mhtml", u"shtm", u"shtml", u"plg", u"htm", u"mht", u"aspx"}},
        {PreviewViewer::Picture,
         {u"wbmp", u"jp2", u"kdc", u"k25", u"dng", u"tif", u"tiff", u"tga", u"pcx", u"pgx", u"pnm", u"pgm",
          u"ppm", u"pef", u"ras", u"gif", u"jpg", u"jpc", u"jbg", u"x3f", u"png", u"nef", u"erf", u"mng",
          u"jng", u"jfif", u"dib", u"wmf", u"emf", u"jpeg", u"jpe", u"j2k", u"j2c", u"bmp"}},
        {PreviewViewer::Text,
         {u"cxx", u"asp", u"h", u"cpp", u"c", u"cc", u"sln", u"inf", u"asm", u"DEF", u"lic", u"jsm", u"xml",
          u"csproj", u"vcproj", u"dsw", u"dsp", u"text", u"txt", u"php", u"rtf", u"swf"}},
        {PreviewViewer::Video, {u"avi", u"mpeg", u"mpg", u"wmv"}},
        {PreviewViewer::Audio, {u"mp3", u"aiff", u"WAV", u"au"}},
    };
    return table;
}

std::u16string_view ExtensionOf(std::u16string_view file_name) {
    const auto dot = file_name.rfind(u'.');
    return dot == std::u16string_view::npos ? std::u16string_view() : file_name.substr(dot + 1);
}

// MulDiv of the Windows API for the non-negative values used here: a × b / c rounded to the nearest.
int MulDiv(int a, int b, int c) {
    if (c == 0) return -1;
    const long long product = static_cast<long long>(a) * b;
    return static_cast<int>((product + c / 2) / c);
}

}  // namespace

PreviewViewer ChoosePreviewViewer(std::u16string_view file_name) {
    const auto dot = file_name.rfind(u'.');
    if (dot == std::u16string_view::npos) return PreviewViewer::None;
    const std::u16string_view extension = ExtensionOf(file_name);
    for (const auto& row : ViewerTable()) {
        for (const auto candidate : row.extensions) {
            if (platform::EqualsNoCase(candidate, extension)) return row.viewer;
        }
    }
    return PreviewViewer::None;
}

std::string PreviewFileExtension(std::u16string_view file_name) {
    std::string out;
    for (const char16_t c : ExtensionOf(file_name)) {
        if (out.size() == 16) break;
        if (c >= u'A' && c <= u'Z') out.push_back(static_cast<char>(c - u'A' + 'a'));
        else if ((c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9')) out.push_back(static_cast<char>(c));
    }
    return out;
}

PreviewTools DetectPreviewTools(const std::string& search_path) {
    PreviewTools tools;
    tools.pdf_to_picture = platform::FindProgram("pdftoppm", search_path);
    for (const char* name : {"soffice", "libreoffice"}) {
        tools.office_to_pdf = platform::FindProgram(name, search_path);
        if (!tools.office_to_pdf.empty()) break;
    }
    return tools;
}

std::u16string MissingViewerMessage(PreviewViewer viewer, const PreviewTools& tools) {
    static constexpr char16_t kNoPdf[] = u"Please install poppler-utils to see the preview of file.";
    static constexpr char16_t kNoOffice[] = u"Please install LibreOffice (libreoffice-core) to see the preview of file.";
    switch (viewer) {
        case PreviewViewer::Pdf:
            return tools.pdf_to_picture.empty() ? kNoPdf : u"";
        case PreviewViewer::Word:
        case PreviewViewer::PowerPoint:
        case PreviewViewer::Excel:
            if (tools.office_to_pdf.empty()) return kNoOffice;
            return tools.pdf_to_picture.empty() ? kNoPdf : u"";
        default:
            return {};
    }
}

const mdf::sharepointDocsList* FindDocumentForPreview(const std::vector<std::unique_ptr<mdf::WebList>>& webs,
                                                      const std::vector<std::u16string>& click_path) {
    // The first entry the click path ends at; a path that ends at a list names no document.
    const mdf::sharepointDocsList* found = nullptr;
    WalkDocumentPath(webs, click_path, [&found](const mdf::sharepointDocsList* entry, const DocumentEntries&) {
        found = entry;
        return found != nullptr;
    });
    return found;
}

Rect PictureDrawRect(int width, int height, const Rect& frame, int dpi_x, int dpi_y) {
    if (width <= 0 || height <= 0) return {};
    const int frame_width = frame.Width();
    const int frame_height = frame.Height();
    float scale = 1.0f;
    if (frame_width < width || frame_height < height) {
        scale = std::min(static_cast<float>(frame_width) / static_cast<float>(width),
                         static_cast<float>(frame_height) / static_cast<float>(height));
    }
    const int drawn_width = static_cast<int>(static_cast<float>(MulDiv(width, dpi_x, 96)) * scale);
    const int drawn_height = static_cast<int>(static_cast<float>(MulDiv(height, dpi_y, 96)) * scale);
    int x = frame_width - drawn_width;
    if (x >= 2) x /= 2;
    int y = frame_height - drawn_height;
    if (y >= 2) y /= 2;
    return {x, y, x + drawn_width, y + drawn_height};
}

Rect MediaDestinationRect(int frame_width, int frame_height, int source_width, int source_height) {
    constexpr int kMargin = 10;
    int x = 0;
    int y = 0;
    int width = frame_width;
    int height = frame_height;
    if (source_width <= 0 || source_height <= 0 || frame_width <= 0 || frame_height <= 0) {
        // Nothing to keep the shape of: the whole frame.
    } else if (frame_width > source_width && frame_height > source_height) {
        x = (frame_width - source_width) / 2;
        y = (frame_height - source_height) / 2;
        width = source_width;
        height = source_height;
    } else if (static_cast<float>(frame_height) / static_cast<float>(frame_width) <
               static_cast<float>(source_height) / static_cast<float>(source_width)) {
        height = frame_height;
        width = static_cast<int>(static_cast<long long>(frame_height) * source_width / source_height);
        x = (frame_width - width) / 2;
    } else {
        width = frame_width;
        height = static_cast<int>(static_cast<long long>(frame_width) * source_height / source_width);
        y = (frame_height - height) / 2;
    }
    const int top = y + kMargin;
    const int bottom = std::max(top, y + height - kMargin);
    return {x, top, x + std::max(0, width), bottom};
}

}  // namespace app
