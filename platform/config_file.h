// The program's settings: one small INI-style file under the user's configuration folder, standing where
// the registry's keys stand on the original platform. Sections hold "key = value" lines; comments start with
// '#' or ';'. Edits keep every other line as it was, and a password is never written by the program.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class ConfigFile {
public:
    // $BRINDLEMOOR_CONFIG when set, else $XDG_CONFIG_HOME/brindlemoor/brindlemoor.conf, else
    // ~/.config/brindlemoor/brindlemoor.conf.
    static std::filesystem::path DefaultPath();

    // Reads the file; a missing or unreadable file gives an empty configuration (settings are optional).
    static ConfigFile LoadFrom(const std::filesystem::path& path);
    static ConfigFile Load() { return LoadFrom(DefaultPath()); }
    static ConfigFile Parse(std::string_view text);

    // Section and key names compare case-insensitively; values are trimmed of surrounding blanks, and a value
    // in double quotes loses them.
    std::optional<std::string> Get(std::string_view section, std::string_view key) const;
    std::string GetOr(std::string_view section, std::string_view key, std::string fallback) const;

    // Changes or adds one value, keeping every other line. Keys that hold a secret ("password", "pwd") are
    // refused: the program never writes one; returns false then.
    bool Set(std::string_view section, std::string_view key, std::string_view value);
    static bool IsSecretKey(std::string_view key);

    // Writes to a temporary file beside the path and renames it over; false with the system's reason.
    bool SaveTo(const std::filesystem::path& path, std::string* error = nullptr) const;
    std::string Text() const;

private:
    std::vector<std::string> m_lines;
};

}  // namespace platform
