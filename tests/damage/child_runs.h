// Runs of one piece of work per number in child processes, a few at a time, each with a time limit: the damage
// sweeps read each damaged copy in a child of its own, so a crash, a sanitizer report or a hang ends that child
// and is judged as that copy's failure while the others go on.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace damage {

// How one child ended.
struct ChildEnd {
    std::uint64_t index = 0;
    std::string output;       // what work returned in the child (what it wrote before it ended, if it did not)
    bool finished = false;    // work returned and the child exited normally
    bool timed_out = false;   // killed at the time limit
    int signal = 0;           // the signal that ended the child (a crash, an abort of a sanitizer), else 0
    int exit_status = 0;      // the child's exit status when it exited by itself
    double seconds = 0;
};

// Runs work(i) for every i in [0, count) in a forked child, at most jobs at once; a child still running after
// limit is killed. ended(end) runs in the calling process as each child ends, in the order they end. work's
// text is handed back whole; the child then ends without running the parent's exit handlers.
void RunInChildren(std::uint64_t count, int jobs, std::chrono::seconds limit,
                   const std::function<std::string(std::uint64_t index)>& work,
                   const std::function<void(const ChildEnd& end)>& ended);

// A positive number from the environment, or fallback when the variable is unset, empty or not positive.
long EnvNumber(const char* name, long fallback);

}  // namespace damage
