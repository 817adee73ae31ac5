// The search for data files: the folder walk, the file records and the roots offered on the file page.
#include "app/file_search.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>

#include "app/app_fields.h"
#include "platform/shared_state.h"
#include "platform/text.h"

namespace app {

namespace {

// File systems that hold no user files: never offered as a root.
const std::set<std::string> kVirtualFileSystems = {
    "proc",    "sysfs",  "devtmpfs", "devpts", "tmpfs",     "cgroup",  "cgroup2", "pstore", "bpf",
    "tracefs", "debugfs", "securityfs", "mqueue", "hugetlbfs", "configfs", "fusectl", "autofs",
    "binfmt_misc", "nsfs", "overlay_meta", "rpc_pipefs", "efivarfs", "ramfs", "selinuxfs"};

// The mount table escapes blanks and a few other characters as \ooo.
std::string UnescapeMountField(const std::string& field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const std::string digits = field.substr(i + 1, 3);
            if (digits.size() == 3 && std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '7'; })) {
                out.push_back(static_cast<char>(std::stoi(digits, nullptr, 8)));
                i += 3;
                continue;
            }
        }
        out.push_back(field[i]);
    }
    return out;
}

// The path the system calls take for a folder of the walk (the empty root is "/"), in the system's own bytes.
std::string DirPath(const std::u16string& folder) {
    return folder.empty() ? std::string("/") : platform::ToSystemName(folder);
}


// The names of a folder's entries, sorted so that every walk of one tree goes the same way; false when the
// folder cannot be read.
bool ReadEntryNames(const std::u16string& folder, std::vector<std::string>& names) {
    DIR* dir = opendir(DirPath(folder).c_str());
    if (!dir) return false;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        names.push_back(name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return true;
}

bool IsSeparator(char16_t c) { return c == u'/' || c == u'\\'; }

std::u16string TimeOrEmpty(std::int64_t seconds, bool known) {
    if (!known) return {};
    return FileTimeText(static_cast<std::time_t>(seconds));
}

}  // namespace

std::vector<std::u16string> ListSearchRoots(const std::string& mount_table) {
    std::vector<std::u16string> roots{u"/"};
    std::ifstream in(mount_table);
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string device, mount_point, type;
        if (!(fields >> device >> mount_point >> type)) continue;
        if (kVirtualFileSystems.count(type) != 0) continue;
        const std::u16string root = platform::FromSystemName(UnescapeMountField(mount_point));
        if (std::find(roots.begin(), roots.end(), root) == roots.end()) roots.push_back(root);
    }
    return roots;
}

std::vector<std::u16string> ListSearchRoots(const std::string& mount_table, std::u16string_view home) {
    std::vector<std::u16string> roots = ListSearchRoots(mount_table);
    const std::u16string trimmed = TrimSearchRoot(home);
    if (!trimmed.empty() && std::find(roots.begin(), roots.end(), trimmed) == roots.end()) {
        roots.insert(roots.begin() + 1, trimmed);
    }
    return roots;
}

std::u16string TrimSearchRoot(std::u16string_view root) {
    while (!root.empty() && IsSeparator(root.back())) root.remove_suffix(1);
    return std::u16string(root);
}

bool IsDataFileName(std::u16string_view name) {
    if (name.size() < 4) return false;
    return platform::EqualsNoCase(name.substr(name.size() - 4), u".mdf");
}

bool IsHiddenName(std::u16string_view name) { return !name.empty() && name.front() == u'.'; }

std::u16string SizeInKbText(std::uint64_t bytes) { return platform::FromUtf8(std::to_string(bytes >> 10)); }

std::u16string SearchStatusText(std::u16string_view folder, int found) {
    std::u16string text = u"Database found : " + platform::FromUtf8(std::to_string(found)) + u"    Searching : ";
    text += folder.empty() ? std::u16string_view(u"/") : folder;
    return text;
}

std::u16string SearchDoneText(int listed, bool stopped) {
    std::u16string text = u"Total Database in List is : " + platform::FromUtf8(std::to_string(listed));
    if (stopped) text += u" (search stopped: partial)";
    return text;
}

std::u16string FileTimeText(std::time_t when) {
    std::tm local{};
    if (!localtime_r(&when, &local)) return {};
    char buffer[32] = {};
    const std::size_t n = std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &local);
    return platform::FromUtf8(std::string(buffer, n));
}

FindThread::FindThread(platform::SharedState& state, AppFields& fields, platform::IMessageSink& owner)
    : m_hOwnerWnd(&owner), m_app(state), m_fields(fields) {}

FindThread::~FindThread() { Join(); }

void FindThread::Start() {
    if (m_thread.joinable()) return;
    m_thread = std::thread([this] { Run(); });
}

void FindThread::Join() {
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) m_thread.join();
}

int FindThread::Run() {
    platform::IMessageSink& owner = *m_hOwnerWnd;
    const std::u16string root = m_strRoot;
    struct stat root_info {};
    m_bRootDeviceKnown = stat(DirPath(root).c_str(), &root_info) == 0;
    m_nRootDevice = root_info.st_dev;
    m_lastReport = std::chrono::steady_clock::now();

    if (m_fields.m_bSearchSubfolders) {
        owner.Send(platform::WM_FOUND_FILES, 0, -1);
        m_arrFolders.push_back(root);
        WalkFolder(root);
        const std::size_t n = m_arrFolders.size();
        // What the walk found reaches the list, the files found before a stop as well.
        owner.Send(platform::WM_FOUND_FILES, 1, static_cast<platform::LPARAM>(n == 0 ? 0 : n - 1));
        owner.Send(platform::WM_JOB_PROGRESS, platform::kProgressEnd, 0);
    } else if (m_fields.m_bSearchTopFolderOnly) {
        SearchFolder(root);
        owner.Send(platform::WM_FOUND_FILES, 0, 0);
    }

    m_app.m_bStopSearch = true;
    m_fields.m_pFindThread = nullptr;
    owner.Send(platform::WM_SEARCH_DONE, m_bCut ? kSearchStopped : 0, 1);
    m_bEnded = true;
    return 0;
}

void FindThread::ReportProgress() {
    const auto now = std::chrono::steady_clock::now();
    if (now - m_lastReport < std::chrono::milliseconds(m_nReportIntervalMs.load())) return;
    m_lastReport = now;
    m_fields.m_strSearchFolder = m_strRoot;
    m_hOwnerWnd->Send(platform::WM_FOUND_FILES, kFoundFilesProgress, static_cast<platform::LPARAM>(m_arrFolders.size()));
}

void FindThread::WalkFolder(const std::u16string& folder) {
    // One read of each folder: its data files are taken, then its sub-folders walked in name order, so the
    // folders are reached in pre-order and the files found show up while the walk goes on.
    m_strRoot = folder;
    ReportProgress();
    std::vector<std::string> names;
    if (!ReadEntryNames(folder, names)) return;
    TakeDataFiles(folder, names);
    for (const std::string& name : names) {
        if (m_app.m_bStopSearch) {
            m_bCut = true;
            return;
        }
        const std::u16string wide = platform::FromSystemName(name);
        if (IsHiddenName(wide)) continue;
        const std::u16string path = folder + u"/" + wide;
        struct stat info {};
        // lstat: a symbolic link to a folder is not a folder of this walk, so no link loop is followed.
        if (lstat(platform::ToSystemName(path).c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) continue;
        // A mount point below the root is a root of its own in the list of roots.
        if (m_bRootDeviceKnown && info.st_dev != m_nRootDevice) continue;
        m_arrFolders.push_back(path);
        WalkFolder(path);
    }
}

void FindThread::SearchFolder(const std::u16string& folder) {
    std::vector<std::string> names;
    if (!ReadEntryNames(folder, names)) return;
    TakeDataFiles(folder, names);
}

void FindThread::TakeDataFiles(const std::u16string& folder, const std::vector<std::string>& names) {
    const std::u16string prefix = folder + u"/";
    for (const std::string& name : names) {
        // A stop keeps what was found so far.
        if (m_app.m_bStopSearch) {
            m_bCut = true;
            return;
        }
        // Names are kept as the system's bytes (a name that is not UTF-8 opens again as it stands).
        const std::u16string wide = platform::FromSystemName(name);
        if (!IsDataFileName(wide) || IsHiddenName(wide)) continue;
        const std::string path = platform::ToSystemName(prefix + wide);
        struct statx info {};
        if (statx(AT_FDCWD, path.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &info) != 0) continue;
        if (!S_ISREG(info.stx_mode)) continue;  // a folder or device named *.mdf is no data file
        fileProperty& staged = m_fields.m_stagedFile;
        staged.m_strPath = prefix + wide;
        staged.m_strSizeKb = SizeInKbText(info.stx_size);
        staged.m_strCreated = TimeOrEmpty(info.stx_btime.tv_sec, (info.stx_mask & STATX_BTIME) != 0);
        staged.m_strAccessed = TimeOrEmpty(info.stx_atime.tv_sec, (info.stx_mask & STATX_ATIME) != 0);
        staged.m_strModified = TimeOrEmpty(info.stx_mtime.tv_sec, (info.stx_mask & STATX_MTIME) != 0);
        m_fields.m_arrFoundFiles.push_back(staged);
    }
}

}  // namespace app
