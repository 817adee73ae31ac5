// Conversions for the preview.
#include "app/preview_conversion.h"

#include <sys/stat.h>

#include <vector>

namespace app {

namespace fs = std::filesystem;

namespace {

// A file: URL of an absolute path, every byte but the unreserved ones and "/" percent-encoded.
std::string FileUrl(const fs::path& path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string url = "file://";
    for (const unsigned char c : path.string()) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                           c == '.' || c == '_' || c == '~' || c == '/';
        if (plain) {
            url.push_back(static_cast<char>(c));
        } else {
            url.push_back('%');
            url.push_back(kHex[c >> 4]);
            url.push_back(kHex[c & 15]);
        }
    }
    return url;
}

bool MakePrivateFolder(const fs::path& folder) { return mkdir(folder.c_str(), 0700) == 0 || fs::is_directory(folder); }

ConversionResult Failed(platform::ChildEnd end, std::u16string message) {
    ConversionResult result;
    result.end = end;
    result.message = std::move(message);
    return result;
}

// Runs one step; a result that is not ok when the step failed.
ConversionResult RunStep(const ConversionRequest& request, std::vector<std::string> arguments,
                         std::chrono::milliseconds time_limit, const fs::path& expected_output,
                         const std::atomic<bool>* cancel) {
    const fs::path home = request.work_folder / "home";
    const fs::path tmp = request.work_folder / "tmp";
    platform::ChildRun run;
    run.arguments = std::move(arguments);
    run.working_folder = request.work_folder.string();
    run.environment = {"HOME=" + home.string(), "TMPDIR=" + tmp.string(), "PATH=/usr/local/bin:/usr/bin:/bin",
                       "LANG=C.UTF-8"};
    run.output_file = (request.work_folder / "converter.log").string();
    run.time_limit = time_limit;
    const platform::ChildResult child = platform::RunChild(run, cancel);
    switch (child.end) {
        case platform::ChildEnd::Cancelled:
            return Failed(child.end, {});
        case platform::ChildEnd::TimedOut:
            return Failed(child.end, u"The preview took too long to make and was stopped.");
        case platform::ChildEnd::NotStarted:
            return Failed(child.end, u"The program that makes the preview could not be started.");
        default:
            break;
    }
    std::error_code error;
    if (!child.Succeeded() || !fs::is_regular_file(expected_output, error)) {
        return Failed(child.end, u"The preview of this file could not be made.");
    }
    ConversionResult result;
    result.ok = true;
    result.end = child.end;
    result.picture = expected_output;
    return result;
}

}  // namespace

ConversionResult ConvertForPreview(const ConversionRequest& request, const std::atomic<bool>* cancel) {
    if (!request.input.is_absolute() || !request.work_folder.is_absolute()) {
        return Failed(platform::ChildEnd::NotStarted, u"The preview of this file could not be made.");
    }
    for (const char* name : {"home", "tmp"}) {
        if (!MakePrivateFolder(request.work_folder / name)) {
            return Failed(platform::ChildEnd::NotStarted, u"The preview of this file could not be made.");
        }
    }
    fs::path pdf = request.input;
    if (request.viewer != PreviewViewer::Pdf) {
        const fs::path out = request.work_folder / "pdf";
        if (!MakePrivateFolder(out)) return Failed(platform::ChildEnd::NotStarted, u"The preview of this file could not be made.");
        pdf = out / (request.input.stem().string() + ".pdf");
        ConversionResult office = RunStep(
            request,
            {request.tools.office_to_pdf, "--headless", "--invisible", "--nologo", "--norestore", "--nodefault",
             "--nolockcheck", "-env:UserInstallation=" + FileUrl(request.work_folder / "home" / "office"),
             "--convert-to", "pdf", "--outdir", out.string(), request.input.string()},
            request.office_time_limit, pdf, cancel);
        if (!office.ok) return office;
    }
    const fs::path page = request.work_folder / "page";
    return RunStep(request,
                   {request.tools.pdf_to_picture, "-f", "1", "-l", "1", "-singlefile", "-png", "-scale-to",
                    std::to_string(kPdfPageSide), pdf.string(), page.string()},
                   request.pdf_time_limit, request.work_folder / "page.png", cancel);
}

}  // namespace app
