// What the About box and the licence viewer show, without any window: the system lines from os-release and
// the kernel's release text, where the licence file lies, and its rows.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace platform {
class ConfigFile;
}

namespace app {

// The operating system's name: os-release's PRETTY_NAME (quotes and escapes removed); "Error" when the file
// cannot be read or has no PRETTY_NAME.
std::u16string OsProductName(const std::filesystem::path& os_release);
// Reads the first of /etc/os-release and /usr/lib/os-release that exists.
std::u16string OsProductName();

// The kernel's release text (uname's release, e.g. "6.1.0-13-amd64") as "major.minor.patch": "6.1.0", one
// word that the About box never breaks across lines; numbers that are missing count as 0.
std::u16string OsVersionText(std::string_view kernel_release);
// The running kernel's.
std::u16string OsVersionText();

// The licence file: "[app] eula_path" when set, else share/brindlemoor/eula.dat beside the program's bin
// folder (`program_folder` is the folder of the executable).
std::filesystem::path EulaPath(const platform::ConfigFile& config, const std::filesystem::path& program_folder);
// The help's first page: share/brindlemoor/help/index.html beside the program's bin folder.
std::filesystem::path HelpPath(const std::filesystem::path& program_folder);

// The rows of the licence viewer: one per line, without its line end (LF or CR LF); a missing or unreadable
// file gives one row that names the path.
std::vector<std::u16string> ReadEulaRows(const std::filesystem::path& path);

}  // namespace app
