// Database and output folder names of the repair and document-save jobs.
#include "app/repair_names.h"

#include <array>

#include "platform/text.h"

namespace app {

std::u16string FileNameOfPath(std::u16string_view path) {
    const auto cut = path.find_last_of(u"\\/");
    if (cut == std::u16string_view::npos) return std::u16string(path);  // a bare name is its own file name
    return std::u16string(path.substr(cut + 1));
}

std::u16string RecoveredDatabaseName(std::u16string_view file_name) {
    std::u16string lower(file_name);
    for (auto& c : lower) {
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    }
    const auto at = lower.find(u".mdf");
    const std::u16string base = at == std::u16string::npos ? std::u16string() : std::u16string(file_name.substr(0, at));
    return u"Recovered_" + base;
}

std::u16string FormatLocalTime(const char* format, std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    // strftime of the "C" locale (the program never changes LC_TIME) gives the English names.
    std::array<char, 128> buffer{};
    const std::size_t n = std::strftime(buffer.data(), buffer.size(), format, &local);
    return platform::FromUtf8(std::string(buffer.data(), n));
}

std::u16string OutputFolderName(std::time_t when) {
    return u"Recoverd " + FormatLocalTime("%Y-%m-%d %I %M %S %p", when);
}

std::u16string LogTimeText(std::time_t when) { return FormatLocalTime("%A, %B %d, %Y, %I:%M:%S %p", when); }

std::filesystem::path MakeFailureFolder(const std::filesystem::path& base, std::u16string_view database) {
    std::u16string name(database);
    for (char16_t& c : name) {
        if (c == u'/' || c == u'\\') c = u'_';
    }
    if (name.empty() || name == u"." || name == u"..") name = u"_" + name;
    std::error_code ec;
    std::filesystem::create_directories(base, ec);
    for (int n = 1; n < 1000; ++n) {
        const std::u16string folder = n == 1 ? name : name + u" (" + platform::Widen(std::to_string(n)) + u")";
        const std::filesystem::path path = base / platform::ToUtf8(folder);
        // Only a folder made now is this repair's: one that exists holds another repair's files.
        if (std::filesystem::create_directory(path, ec)) return path;
        if (ec && !std::filesystem::exists(path)) return {};
    }
    return {};
}

}  // namespace app
