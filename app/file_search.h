// The data-file search: FindThread walks a folder (and, when asked, its sub-folders) for "*.mdf" files on a
// joinable thread of its own and hands what it found to the window; and the small rules of the file page
// (the roots offered in place of drive letters, how a typed root is trimmed, sizes and time texts).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/messages.h"

namespace platform {
struct SharedState;
}

namespace app {

struct AppFields;

// The roots the drive list offers: "/" and the mount point of every other real (not virtual) file system in
// the mount table, in the table's order, each once.
std::vector<std::u16string> ListSearchRoots(const std::string& mount_table = "/proc/self/mounts");
// The same with the user's home folder second, right after "/" (when given and not listed already).
std::vector<std::u16string> ListSearchRoots(const std::string& mount_table, std::u16string_view home);
// The root as the search takes it: every trailing separator removed ("/" becomes the empty text, which the
// search reads as the file system's root).
std::u16string TrimSearchRoot(std::u16string_view root);
// A name ending in ".mdf", in any case.
bool IsDataFileName(std::u16string_view name);
// A hidden file or folder: its name starts with ".".
bool IsHiddenName(std::u16string_view name);
// The size in KB, rounded down, as decimal text.
std::u16string SizeInKbText(std::uint64_t bytes);
// A file time as the list shows it and sorts it: local "YYYY-MM-DD HH:MM:SS".
std::u16string FileTimeText(std::time_t when);

// The first parameter of the WM_FOUND_FILES that the walk sends while it runs.
inline constexpr platform::WPARAM kFoundFilesProgress = 2;

// The status line of a running search: the folder being searched and the data files found so far.
std::u16string SearchStatusText(std::u16string_view folder, int found);
// The line after a search: how many data files the list holds, and whether a stop cut the search short (the
// list is then partial).
std::u16string SearchDoneText(int listed, bool stopped);

// The first parameter of WM_SEARCH_DONE after a search that a stop cut short (0 after a whole one).
inline constexpr platform::WPARAM kSearchStopped = 1;

class FindThread {
public:
    FindThread(platform::SharedState& state, AppFields& fields, platform::IMessageSink& owner);
    // Waits for the thread; the window destroys the object after the search's WM_SEARCH_DONE.
    ~FindThread();
    FindThread(const FindThread&) = delete;
    FindThread& operator=(const FindThread&) = delete;

    // How often at most (milliseconds) the walk reports where it is; tests set 0 to see every folder.
    static inline std::atomic<int> m_nReportIntervalMs{100};

    std::vector<std::u16string> m_arrFolders;  // the root, then every sub-folder in pre-order
    std::u16string m_strRoot;                  // the search root; during the walk the folder being searched
    platform::IMessageSink* m_hOwnerWnd;

    void Start();
    void Join();
    bool HasEnded() const { return m_bEnded.load(); }
    // Started and not yet ended.
    bool IsRunning() const { return m_thread.joinable() && !m_bEnded.load(); }

    // The search on the calling thread; ends with WM_SEARCH_DONE (kSearchStopped when a stop cut it short). While it walks, at most every 100 ms, it
    // sends WM_FOUND_FILES (kFoundFilesProgress, folders so far) with the folder it is in (m_strSearchFolder)
    // and the files found since the last one; the files found before a stop are handed over too.
    int Run();
    // Takes the visible "*.mdf" files of folder, then walks every visible sub-folder (no symbolic link, no
    // other file system), appending each to m_arrFolders before its own sub-folders.
    void WalkFolder(const std::u16string& folder);
    // Appends every visible "*.mdf" file of folder to the found files.
    void SearchFolder(const std::u16string& folder);

private:
    void TakeDataFiles(const std::u16string& folder, const std::vector<std::string>& names);
    // Tells the window where the walk is, when the last report is long enough ago.
    void ReportProgress();

    platform::SharedState& m_app;
    AppFields& m_fields;
    std::uint64_t m_nRootDevice = 0;
    bool m_bRootDeviceKnown = false;
    bool m_bCut = false;  // a stop ended the walk before it had looked everywhere
    std::thread m_thread;
    std::atomic<bool> m_bEnded{false};
    std::chrono::steady_clock::time_point m_lastReport;
};

}  // namespace app
