// The plain rules of the document preview: which viewer a file gets by its extension, which helper programs
// this machine has, the document a click in the document list names, where a picture is drawn in the frame
// and where a video plays in it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mdf/sharepoint_records.h"

namespace app {

enum class PreviewViewer {
    Pdf,         // first page drawn by the PDF converter
    Word,        // Office documents: converted to PDF first
    PowerPoint,
    Excel,
    Html,        // the HTML view (no scripts, nothing fetched)
    Picture,
    Text,        // read-only text
    Video,
    Audio,
    None,        // no viewer: the "no preview" backdrop
};

// By the text after the last "." of the file name, without regard to case.
PreviewViewer ChoosePreviewViewer(std::u16string_view file_name);
// The extension as the preview's own file takes it: the text after the last ".", lower case, letters and
// digits only, at most 16 characters ("" when nothing is left).
std::string PreviewFileExtension(std::u16string_view file_name);

// Helper programs found on this machine (absolute paths; empty when missing).
struct PreviewTools {
    std::string pdf_to_picture;  // pdftoppm (poppler-utils)
    std::string office_to_pdf;   // soffice or libreoffice (LibreOffice)
};
// Looks the programs up in the folders of `search_path` (a PATH text).
PreviewTools DetectPreviewTools(const std::string& search_path);

// The message for a viewer whose helper program is missing; empty when the viewer can be used.
std::u16string MissingViewerMessage(PreviewViewer viewer, const PreviewTools& tools);

// The document that a click on `file_name` names: the click path is the name followed by the selected tree
// path (leaf first, document caption last), walked as the document list walks it. Null when none is found.
const mdf::sharepointDocsList* FindDocumentForPreview(const std::vector<std::unique_ptr<mdf::WebList>>& webs,
                                                      const std::vector<std::u16string>& click_path);

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool operator==(const Rect&) const = default;
};

// Where a picture of w by h pixels is drawn inside `frame` (position relative to the frame's top left): scaled
// down (never up) to fit, by the device's pixels per inch against 96, centred.
Rect PictureDrawRect(int width, int height, const Rect& frame, int dpi_x = 96, int dpi_y = 96);

// Where a video of source size sw by sh plays inside a frame of w by h pixels: its natural size centred when it
// fits, else scaled to fit keeping its shape and centred; 10 pixels off at the top and the bottom. A source
// without a size (audio, or a video whose size is not known) gets the whole frame less the same margins.
Rect MediaDestinationRect(int frame_width, int frame_height, int source_width, int source_height);

}  // namespace app
