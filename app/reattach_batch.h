// The re-attach batch file: a Windows batch file, for the SharePoint server, that detaches the damaged content
// database from the web application and attaches the repaired one with SharePoint's administration tool. The
// program only writes it; the user copies it to the SharePoint server and runs it there. Every text that goes
// into a batch line is checked first, so no entered character can end a command or start another.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace app {

struct ReattachInput {
    std::u16string url;              // the web application, as entered
    std::u16string damaged_database; // the damaged content database, as entered
    std::u16string damaged_server;   // its server\instance, as entered
    std::u16string bin_folder;       // SharePoint's program folder on that server; empty when unknown
    bool embedded_edition = false;   // the repair wrote into the embedded edition
    std::u16string repaired_database;
    std::u16string repaired_server;
};

// Why the input cannot go into the batch file, naming the field; empty when it can. All three entered
// fields must be filled in ("Please Enter website url , corrupted database name and servername.").
std::u16string CheckReattachInput(const ReattachInput& input);

// The batch file's bytes: ASCII, CRLF line ends, no byte-order mark, no line end after the last line. Only
// for input that CheckReattachInput accepts.
std::string BuildReattachBatch(const ReattachInput& input);

// Writes `bytes` to a new file beside `target` and renames it over `target`, so an older file of that name
// is either replaced whole or left as it was. False with the system's reason in `error`.
bool WriteFileReplacing(const std::filesystem::path& target, const std::string& bytes, std::string* error);

}  // namespace app
