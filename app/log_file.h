// Save Log: the file "Brindlemoor.log" in a folder the user picks, as UTF-16 little-endian without a
// byte-order mark, asking before an existing file is overwritten. Every write and the close are checked,
// and a failure reaches the user as a message text.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace app {

inline constexpr std::u16string_view kLogFileName = u"Brindlemoor.log";

std::filesystem::path LogFilePath(const std::filesystem::path& folder);

// Two bytes per UTF-16 code unit, low byte first; no byte-order mark, no terminator.
std::vector<std::uint8_t> LogFileBytes(std::u16string_view text);

// The text shown when the log file could not be made or written: error is the system's error number, action
// what failed ("creating", "writing").
std::u16string DescribeLogFileError(const std::filesystem::path& path, int error, const char* action,
                                    const std::string& reason = {});

// Writes the log under a temporary name in the file's folder and renames it to its name when whole, replacing
// a file (or a symbolic link, which is not followed) of that name; a folder or device of that name is left
// alone. Empty on success, else the text to show the user.
std::u16string WriteLogFile(const std::filesystem::path& path, std::u16string_view text);

// What Save Log asks on its way. The folder picker returns none on Cancel; the overwrite question returns
// true for Yes.
struct SaveLogQuestions {
    std::function<std::optional<std::filesystem::path>()> pick_folder;
    std::function<bool()> confirm_overwrite;
    std::function<void(const std::u16string& error)> show_error;
};

enum class SaveLogOutcome { Saved, Cancelled, Failed };

// Picks a folder, asks before overwriting (No picks again), writes; a failure is shown through show_error.
SaveLogOutcome SaveLog(const SaveLogQuestions& questions, std::u16string_view text);

}  // namespace app
