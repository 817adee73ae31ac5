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

// The path the system calls take for a folder of the walk (the empty root is "/").
std::string DirPath(const std::u16string& folder) { return folder.empty() ? std::string("/") : platform::ToUtf8(folder); }

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
        const std::u16string root = platform::FromUtf8(UnescapeMountField(mount_point));
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

    if (m_fields.m_bSearchSubfolders) {
        owner.Send(platform::WM_FOUND_FILES, 0, -1);
        m_arrFolders.push_back(root);
        CollectSubFolders(root);
        const std::size_t n = m_arrFolders.size();
        owner.Send(platform::WM_JOB_PROGRESS, platform::kProgressStep, static_cast<platform::LPARAM>(n));
        for (std::size_t i = 0; i < n; ++i) {
            m_strRoot = m_arrFolders[i];
            SearchFolder(m_arrFolders[i]);
            if (i == n - 1) owner.Send(platform::WM_FOUND_FILES, 1, static_cast<platform::LPARAM>(i));
            if (m_app.m_bStopSearch) break;
            owner.Send(platform::WM_JOB_PROGRESS, platform::kProgressStep, 0);
        }
        owner.Send(platform::WM_JOB_PROGRESS, platform::kProgressEnd, 0);
    } else if (m_fields.m_bSearchTopFolderOnly) {
        SearchFolder(root);
        owner.Send(platform::WM_FOUND_FILES, 0, 0);
    }
    // Files found before a stop are not listed, now or by a later search.
    if (m_app.m_bStopSearch) m_fields.m_arrFoundFiles.clear();

    m_app.m_bStopSearch = true;
    m_fields.m_pFindThread = nullptr;
    owner.Send(platform::WM_SEARCH_DONE, 0, 1);
    m_bEnded = true;
    return 0;
}

void FindThread::CollectSubFolders(const std::u16string& folder) {
    std::vector<std::string> names;
    if (!ReadEntryNames(folder, names)) return;
    for (const std::string& name : names) {
        if (m_app.m_bStopSearch) {
            m_arrFolders.clear();
            return;
        }
        const std::u16string wide = platform::FromUtf8(name);
        if (IsHiddenName(wide)) continue;
        const std::u16string path = folder + u"/" + wide;
        struct stat info {};
        // lstat: a symbolic link to a folder is not a folder of this walk, so no link loop is followed.
        if (lstat(platform::ToUtf8(path).c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) continue;
        // A mount point below the root is a root of its own in the list of roots.
        if (m_bRootDeviceKnown && info.st_dev != m_nRootDevice) continue;
        m_arrFolders.push_back(path);
        CollectSubFolders(path);
    }
}

void FindThread::SearchFolder(const std::u16string& folder) {
    std::vector<std::string> names;
    if (!ReadEntryNames(folder, names)) return;
    const std::u16string prefix = folder + u"/";
    for (const std::string& name : names) {
        if (m_app.m_bStopSearch) {
            m_fields.m_arrFoundFiles.clear();
            return;
        }
        const std::u16string wide = platform::FromUtf8(name);
        if (!IsDataFileName(wide) || IsHiddenName(wide)) continue;
        const std::string path = platform::ToUtf8(prefix + wide);
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
