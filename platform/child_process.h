// Runs a helper program (a document converter) as a child process: an argument array handed straight to the
// program (no shell ever reads it), an absolute program path, a working folder, an environment of our own
// choosing, stdin from /dev/null, stdout and stderr to a file or /dev/null, no other inherited descriptor,
// and its own process group, so that a time limit or a cancel request ends the program and its children.
#pragma once

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

namespace platform {

struct ChildRun {
    std::vector<std::string> arguments;  // arguments[0]: the program's absolute path
    std::string working_folder;          // absolute; the child starts there
    std::vector<std::string> environment;  // "NAME=value" entries: the child's whole environment
    std::string output_file;             // stdout and stderr go here (created 0600); empty: /dev/null
    std::chrono::milliseconds time_limit{30000};
};

enum class ChildEnd {
    Exited,       // the program ended by itself; exit_code tells how
    Signalled,    // the program was ended by a signal it did not get from us
    TimedOut,     // the time limit passed: the process group was killed
    Cancelled,    // the cancel flag was set: the process group was killed
    NotStarted,   // the program could not be started (error says why)
};

struct ChildResult {
    ChildEnd end = ChildEnd::NotStarted;
    int exit_code = -1;
    std::string error;

    bool Succeeded() const { return end == ChildEnd::Exited && exit_code == 0; }
};

// Runs the program and waits for its end, the time limit or `cancel` (checked every few milliseconds).
ChildResult RunChild(const ChildRun& run, const std::atomic<bool>* cancel = nullptr);

// The absolute path of an executable file named `name` in the folders of `search_path` (a PATH text); only
// absolute folders are looked at. Empty when there is none.
std::string FindProgram(const std::string& name, const std::string& search_path);

}  // namespace platform
