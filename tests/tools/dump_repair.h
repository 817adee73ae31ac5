// catalog_dump --repair FILE: the Complete Repair job as the window runs it (the scan, then the repair with its
// own steps), against the recording backend, which accepts every statement; every statement is printed as it
// is sent, so the whole road can be checked on any data file.
#pragma once

#include <ostream>
#include <string>

namespace catalog_dump {

// Exit code of a repair that finished with problems (something refused, left out or missing).
constexpr int kExitRepairProblems = 5;

// A statement on one line: CR and LF inside it written as \r and \n.
std::string StatementLine(const std::u16string& text);

// Scans file and repairs it: one line per statement on out, in the order sent (row INSERTs included), then the
// job's end text, each of its lines after "## " (no statement begins so). The job's log goes to err. Returns 0
// when the job completed, kExitRepairProblems when it finished with problems, 1 when it ended before its end
// report (the file not opened, no table, no database).
int RunRepair(const std::string& file, std::ostream& out, std::ostream& err);

}  // namespace catalog_dump
