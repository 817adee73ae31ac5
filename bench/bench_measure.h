// What the scale benchmarks measure besides time: sequential reads and writes as the baselines of the ratios,
// the page cache state of a file (dropped or filled before a timed pass), and the peak resident memory of one
// operation, taken in a fresh child process so no earlier pass counts.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace benchmeasure {

// Seconds of a monotonic clock.
double Now();

// Reads the whole file front to back in 1 MiB read() calls (what `cat FILE > /dev/null` does); returns the
// byte count.
std::uint64_t ReadSequentially(const std::filesystem::path& path);
// Asks the kernel to drop the file's pages from the page cache (posix_fadvise DONTNEED: needs no privilege,
// works on clean pages, which is all a read-only data file has).
void DropFromPageCache(const std::filesystem::path& path);

// Peak memory of one run of a named case, in KiB of VmHWM (/proc/self/status) of a child process that runs
// only that case: the program re-runs itself with --peak-rss=NAME. The idle case (nothing) is "idle".
using Cases = std::map<std::string, std::function<void()>>;
std::uint64_t PeakRssKiB(const std::string& name);
// In main, before the benchmark library sees the arguments: runs the case named by --peak-rss=NAME, prints
// its VmHWM and returns the exit code; nothing when the option is absent.
std::optional<int> RunPeakRssCase(int argc, char** argv, const Cases& cases);

// The folders and files below a folder, parents before children, with each file's size.
struct TreeEntry {
    std::filesystem::path relative;
    bool folder = false;
    std::uint64_t size = 0;
};
struct Tree {
    std::vector<TreeEntry> entries;
    std::uint64_t files = 0;
    std::uint64_t folders = 0;
    std::uint64_t bytes = 0;
};
Tree ListTree(const std::filesystem::path& folder);
// Paths below `to` for each entry (made before a timed write, so the timing holds no path arithmetic).
std::vector<std::string> TargetPaths(const Tree& tree, const std::filesystem::path& to);
// Writes the listed tree again at the target paths: every folder made with mkdir, every file created and
// filled with its size in bytes by plain sequential write() calls. The baseline of the document save.
void WriteTree(const Tree& tree, const std::vector<std::string>& targets);

}  // namespace benchmeasure
