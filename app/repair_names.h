// Names that the Repair button and the document save make: the target database's name from the data file's
// name, and the time-stamped folder that one document save writes into.
#pragma once

#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>

namespace app {

// The text behind the path's last separator ("\" or "/"); the whole path when it has none (a bare file name).
std::u16string FileNameOfPath(std::u16string_view path);
// "Recovered_" and the name up to its first ".mdf" (found without regard to case, kept as the name spells
// it); "Recovered_" alone when the name holds no ".mdf".
std::u16string RecoveredDatabaseName(std::u16string_view file_name);
// The local time `when` through strftime's `format`, with English day and month names.
std::u16string FormatLocalTime(const char* format, std::time_t when);
// The document save's folder name: "Recoverd " and the local date and time, so saves on different days
// never meet; a save in the same second gets a numbered name from the folder maker.
std::u16string OutputFolderName(std::time_t when);
// Makes the folder for one repair's failure files inside base (made when missing): base/database, or, when
// an earlier repair's folder has that name, base/database (2), (3), ... so that no repair's files replace
// another's. A separator in the database's name is written "_". Empty when no folder could be made.
std::filesystem::path MakeFailureFolder(const std::filesystem::path& base, std::u16string_view database);
// The log's time stamp: "Thursday, December 10, 2026, 01:05:09 PM".
std::u16string LogTimeText(std::time_t when);

}  // namespace app
