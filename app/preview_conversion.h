// Turns a PDF or an Office document into a picture of its first page for the preview, through the helper
// programs: LibreOffice's headless converter (Office to PDF) and pdftoppm (PDF to PNG). Each runs as a child
// process with an argument array, absolute paths, a fixed input name, a HOME of its own inside the work
// folder, stdin from /dev/null and a time limit; a set cancel flag ends it at once. Runs on a worker thread.
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>

#include "app/preview_rules.h"
#include "platform/child_process.h"

namespace app {

struct ConversionRequest {
    PreviewViewer viewer = PreviewViewer::Pdf;  // Pdf, Word, PowerPoint or Excel
    std::filesystem::path input;                // absolute, inside the work folder
    std::filesystem::path work_folder;          // absolute, private, made for this preview
    PreviewTools tools;
    std::chrono::milliseconds pdf_time_limit{20000};
    std::chrono::milliseconds office_time_limit{60000};
};

struct ConversionResult {
    bool ok = false;
    std::filesystem::path picture;  // the first page as PNG when ok
    std::u16string message;         // why there is none (empty when cancelled)
    platform::ChildEnd end = platform::ChildEnd::NotStarted;
};

ConversionResult ConvertForPreview(const ConversionRequest& request, const std::atomic<bool>* cancel);

// Width and height of the picture pdftoppm draws of the page: its longer side.
constexpr int kPdfPageSide = 1024;

}  // namespace app
