// Preview rules: viewer by extension, helper programs, the clicked document, picture and video rectangles.
#include "app/preview_rules.h"

#include <algorithm>
#include <array>
#include <utility>

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

// The walk from a click path down the document tree, level by level as the document list's walk goes; the
// levels are kept in loops (the tree's depth comes from the data file).
class PreviewWalk {
public:
    explicit PreviewWalk(const std::vector<std::u16string>& path) : path_(path), n_(static_cast<int>(path.size())) {}

    const mdf::sharepointDocsList* SubSitePath(const mdf::WebList& web, const std::u16string& name, int depth) {
        std::vector<std::pair<const mdf::WebList*, int>> chain;
        const mdf::WebList* current = &web;
        const std::u16string* current_name = &name;
        for (int level = depth;; ++level) {
            const mdf::WebList* match = nullptr;
            for (const auto& sub : current->m_lstSubWebs) {
                if (platform::EqualsNoCase(sub->Title, *current_name)) {
                    match = sub.get();
                    break;
                }
            }
            if (!match || level >= n_) break;
            chain.emplace_back(match, level);
            current = match;
            current_name = &Next(level);
        }
        // The deepest web's lists are searched first, as the nested walk reaches them first.
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
            if (const auto* found = ListPath(*it->first, Next(it->second), it->second + 1)) return found;
        }
        return nullptr;
    }

    const mdf::sharepointDocsList* ListPath(const mdf::WebList& web, const std::u16string& name, int depth) {
        for (const auto& list : web.m_lstLists) {
            if (!platform::EqualsNoCase(list->tp_Title, name)) continue;
            if (depth >= n_) return nullptr;  // a list is no document
            return Entries(list->m_lstItems, Next(depth), depth + 1);
        }
        return nullptr;
    }

private:
    const std::u16string& Next(int depth) const { return path_[static_cast<std::size_t>(n_ - 1 - depth)]; }

    const mdf::sharepointDocsList* Entries(const std::vector<std::unique_ptr<mdf::sharepointDocsList>>& entries,
                                           const std::u16string& name, int depth) {
        const auto* current = &entries;
        const std::u16string* current_name = &name;
        for (int level = depth;; ++level) {
            const mdf::sharepointDocsList* match = nullptr;
            for (const auto& entry : *current) {
                if (platform::EqualsNoCase(entry->m_doc.LeafName, *current_name)) {
                    match = entry.get();
                    break;
                }
            }
            if (!match || level >= n_) return match;
            current = &match->m_lstChildren;
            current_name = &Next(level);
        }
    }

    const std::vector<std::u16string>& path_;
    int n_;
};

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
    const int m = static_cast<int>(click_path.size());
    if (m < 3) return nullptr;
    const std::u16string& site_title = click_path[static_cast<std::size_t>(m - 2)];
    const mdf::WebList* site = nullptr;
    for (const auto& root : webs) {
        if (platform::EqualsNoCase(root->Title, site_title)) break;
        for (const auto& sub : root->m_lstSubWebs) {
            if (platform::EqualsNoCase(sub->Title, site_title)) {
                site = sub.get();
                break;
            }
        }
        if (site) break;
    }
    if (!site) return nullptr;
    PreviewWalk walk(click_path);
    const std::u16string& name = click_path[static_cast<std::size_t>(m - 3)];
    if (const auto* found = walk.SubSitePath(*site, name, 3)) return found;
    return walk.ListPath(*site, name, 3);
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
