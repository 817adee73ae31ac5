// System texts and the licence file.
#include "app/about_texts.h"

#include <sys/utsname.h>

#include <fstream>

#include "platform/config_file.h"
#include "platform/text.h"

namespace app {

namespace {

// An os-release value: unquoted, with the shell escapes \" \\ \$ \` resolved.
std::string OsReleaseValue(std::string_view raw) {
    while (!raw.empty() && (raw.back() == ' ' || raw.back() == '\t' || raw.back() == '\r')) raw.remove_suffix(1);
    if (raw.size() >= 2 && (raw.front() == '"' || raw.front() == '\'') && raw.back() == raw.front()) {
        raw = raw.substr(1, raw.size() - 2);
    }
    std::string value;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\\' && i + 1 < raw.size()) ++i;
        value += raw[i];
    }
    return value;
}

}  // namespace

std::u16string OsProductName(const std::filesystem::path& os_release) {
    std::ifstream in(os_release);
    std::string line;
    while (in && std::getline(in, line)) {
        if (line.rfind("PRETTY_NAME=", 0) == 0) {
            std::string value = OsReleaseValue(std::string_view(line).substr(12));
            if (!value.empty()) return platform::FromUtf8(value);
        }
    }
    return u"Error";
}

std::u16string OsProductName() {
    std::error_code error;
    if (std::filesystem::exists("/etc/os-release", error)) return OsProductName("/etc/os-release");
    return OsProductName("/usr/lib/os-release");
}

std::u16string OsVersionText(std::string_view kernel_release) {
    long numbers[3] = {0, 0, 0};
    std::size_t at = 0;
    for (int i = 0; i < 3; ++i) {
        if (at >= kernel_release.size() || kernel_release[at] < '0' || kernel_release[at] > '9') break;
        long value = 0;
        while (at < kernel_release.size() && kernel_release[at] >= '0' && kernel_release[at] <= '9') {
            if (value < 100000000) value = value * 10 + (kernel_release[at] - '0');
            ++at;
        }
        numbers[i] = value;
        if (at >= kernel_release.size() || kernel_release[at] != '.') break;
        ++at;
    }
    const std::string text =
        std::to_string(numbers[0]) + "." + std::to_string(numbers[1]) + "." + std::to_string(numbers[2]);
    return platform::FromUtf8(text);
}

std::u16string OsVersionText() {
    utsname name{};
    if (::uname(&name) != 0) return OsVersionText("");
    return OsVersionText(name.release);
}

std::filesystem::path EulaPath(const platform::ConfigFile& config, const std::filesystem::path& program_folder) {
    const std::string configured = config.GetOr("app", "eula_path", {});
    if (!configured.empty()) return configured;
    return program_folder.parent_path() / "share" / "brindlemoor" / "eula.dat";
}

std::filesystem::path HelpPath(const std::filesystem::path& program_folder) {
    return program_folder.parent_path() / "share" / "brindlemoor" / "help" / "index.html";
}

std::vector<std::u16string> ReadEulaRows(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {u"The licence agreement was not found: " + platform::FromUtf8(path.string())};
    std::vector<std::u16string> rows;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        rows.push_back(platform::FromUtf8(line));
    }
    return rows;
}

}  // namespace app
