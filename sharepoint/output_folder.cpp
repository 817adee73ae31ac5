// The output folder walked by descriptor: openat / mkdirat with O_NOFOLLOW from the root or a held folder,
// files made unnamed (or under a temporary name) and named without replacing anything when whole.
#include "sharepoint/output_folder.h"

#include <fcntl.h>
#include <linux/limits.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <utility>

#include "platform/text.h"
#include "sharepoint/output_names.h"

namespace sharepoint {

namespace {

std::string ErrorText(int error_number) { return std::strerror(error_number); }

void SetError(std::string* error, std::string text) {
    if (error) *error = std::move(text);
}

// The names of path below root, in order; false when path is neither root nor inside it.
bool NamesBelow(const std::u16string& root, const std::u16string& path, std::vector<std::string>& names) {
    if (!IsInsideFolder(root, path)) return false;
    const auto base = std::filesystem::path(platform::ToUtf8(root)).lexically_normal();
    const auto full = std::filesystem::path(platform::ToUtf8(path)).lexically_normal();
    auto b = base.begin();
    auto f = full.begin();
    for (; b != base.end(); ++b, ++f) {
        if (b->empty() && std::next(b) == base.end()) break;  // the empty element of a trailing separator
        if (f == full.end()) return false;
    }
    names.clear();
    for (; f != full.end(); ++f) {
        if (f->empty()) continue;
        const std::string name = f->string();
        if (name == "." ) continue;
        if (name == "..") return false;
        names.push_back(name);
    }
    return true;
}

// Why name in folder could not be opened as a folder.
std::string NotAFolderReason(int folder, const std::string& name, int error_number) {
    struct stat info {};
    if (::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISLNK(info.st_mode)) return "a symbolic link stands where a folder is expected";
        if (!S_ISDIR(info.st_mode)) return "a file of that name exists";
    }
    return ErrorText(error_number);
}

int OpenChild(int folder, const std::string& name) {
    return ::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

std::atomic<unsigned> g_tempCounter{0};

// The temporary names' prefix: the process id, asked for once.
const std::string& TempPrefix() {
    static const std::string prefix = ".brindlemoor-" + std::to_string(::getpid()) + "-";
    return prefix;
}

// A stream over a descriptor it owns, made without the descriptor checks fdopen makes (one call per file
// saved, for a descriptor just opened for writing). It counts the bytes the file took: the stream cannot seek,
// and the file starts empty, so that is the file's size.
struct StreamTarget {
    int fd;
    std::uint64_t written = 0;
};

ssize_t WriteToFd(void* cookie, const char* bytes, std::size_t n) {
    StreamTarget& target = *static_cast<StreamTarget*>(cookie);
    std::size_t done = 0;
    while (done < n) {
        const ssize_t wrote = ::write(target.fd, bytes + done, n - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) break;  // short: the stream notes the error (errno stays)
        done += static_cast<std::size_t>(wrote);
    }
    target.written += done;
    return static_cast<ssize_t>(done);
}

int LinkByDescriptor(int fd, int folder, const char* name) { return ::linkat(fd, "", folder, name, AT_EMPTY_PATH); }

int LinkThroughProc(int fd, int folder, const char* name) {
    char path[40];
    std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
    return ::linkat(AT_FDCWD, path, folder, name, AT_SYMLINK_FOLLOW);
}

// What the system adds to the path of a removed folder.
constexpr std::string_view kRemovedMark = " (deleted)";

bool EndsWith(const std::string& text, std::string_view end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The path of the folder open as fd, as the system has it now (it follows renames); false when it cannot be
// told (no /proc) or is no path from the top of the file system.
bool CurrentPath(int fd, std::string& path) {
    char link[40];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char buffer[PATH_MAX + 32];
    const ssize_t n = ::readlink(link, buffer, sizeof buffer);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buffer || buffer[0] != '/') return false;
    path.assign(buffer, static_cast<std::size_t>(n));
    return true;
}

// True when path lies below root_path (or is it), both as the system gives them; a removed folder's path
// (marked as such) lies nowhere.
bool PathBelow(const std::string& path, const std::string& root_path) {
    if (EndsWith(path, kRemovedMark)) return false;
    if (root_path == "/" || path == root_path) return true;
    return path.size() > root_path.size() && path.compare(0, root_path.size(), root_path) == 0 &&
           path[root_path.size()] == '/';
}

// What the save's watch hears of a folder: its move and its removal.
constexpr std::uint32_t kWatchedEvents = IN_MOVE_SELF | IN_DELETE_SELF | IN_ONLYDIR;

// Watches the folder open as fd (through /proc/self/fd, which leads to the folder wherever it is now).
bool WatchFolder(int watch, int fd) {
    char link[40];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    return ::inotify_add_watch(watch, link, kWatchedEvents) >= 0;
}

// False once the folder open as fd is removed. The watch hears of moves at once, but of a removal only when the
// last descriptor of the folder closes; a folder is removed only when empty, so a folder that is still there
// has every folder above it still there as well.
bool StillThere(int fd) {
    struct stat info {};
    return ::fstat(fd, &info) == 0 && info.st_nlink > 0;
}

int OpenUnnamedFile(int folder) { return ::openat(folder, ".", O_WRONLY | O_TMPFILE | O_CLOEXEC, 0666); }

// Where a folder lies now, seen from the output folder.
enum class Place { Below, Outside, RootLost };

// True while the output folder is where it was opened; `now` gets its present path when /proc tells it.
bool RootInPlace(const OutputRoot& root, std::string& now) {
    if (root.lost.load(std::memory_order_relaxed)) return false;
    bool in_place = false;
    if (!root.current.empty() && CurrentPath(root.fd->Get(), now)) {
        // A deleted folder's path ends in the system's mark; a moved one's is another path.
        in_place = now == root.current;
    } else {
        now.clear();
        struct stat held {};
        struct stat named {};
        in_place = ::fstat(root.fd->Get(), &held) == 0 && held.st_nlink > 0 && ::stat(root.path.c_str(), &named) == 0 &&
                   named.st_dev == root.device && named.st_ino == root.inode;
    }
    if (!in_place) root.lost.store(true);
    return in_place;
}

// Where the folder open as `folder` lies: below the output folder, outside it (moved out by another program),
// or nowhere that counts, the output folder itself being deleted or moved.
Place PlaceOf(const FolderFd& folder, const OutputRoot& root) {
    // A watched folder was below the output folder when its watch was set: while the watch heard nothing and the
    // folder is not removed, it is.
    if (folder.watched && !root.lost.load(std::memory_order_relaxed) && root.Quiet() && StillThere(folder.Get())) {
        return Place::Below;
    }
    std::string root_path;
    if (!RootInPlace(root, root_path)) return Place::RootLost;
    if (&folder == root.fd.get()) return Place::Below;
    // The folder's path and the output folder's as the system has them now: the folder lies below the output
    // folder when its path does. A removed folder's path is marked as such; it is left to the walk below.
    std::string folder_path;
    if (!root_path.empty() && CurrentPath(folder.Get(), folder_path) && !EndsWith(folder_path, kRemovedMark)) {
        return PathBelow(folder_path, root_path) ? Place::Below : Place::Outside;
    }
    struct stat at {};
    if (::fstat(folder.Get(), &at) != 0) return Place::Outside;
    auto is_root = [&root](const struct stat& info) { return info.st_dev == root.device && info.st_ino == root.inode; };
    if (is_root(at)) return Place::Below;
    // Up through "..", as the folder lies now, until the output folder or the top of the file system (whose
    // ".." is itself).
    UniqueFd up(::openat(folder.Get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    for (int level = 0; up.IsOpen() && level < 4096; ++level) {
        struct stat info {};
        if (::fstat(up.Get(), &info) != 0) return Place::Outside;
        if (is_root(info)) return Place::Below;
        if (info.st_dev == at.st_dev && info.st_ino == at.st_ino) return Place::Outside;
        at = info;
        up = UniqueFd(::openat(up.Get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    }
    return Place::Outside;
}

constexpr char kMovedOutReason[] = "its folder was moved out of the output folder";

int CloseFd(void* cookie) {
    const int fd = static_cast<StreamTarget*>(cookie)->fd;
    delete static_cast<StreamTarget*>(cookie);
    return ::close(fd);
}

// The stream, and where it counts the bytes written (valid until it is closed).
std::FILE* StreamOver(int fd, const std::uint64_t*& written) {
    cookie_io_functions_t io{};
    io.write = WriteToFd;
    io.close = CloseFd;
    auto* target = new StreamTarget{fd};
    std::FILE* stream = ::fopencookie(target, "wb", io);
    if (!stream) {
        const int error_number = errno;
        delete target;
        errno = error_number;
        return nullptr;
    }
    written = &target->written;
    return stream;
}

}  // namespace

UniqueFd::~UniqueFd() {
    if (fd_ >= 0) ::close(fd_);
}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.Release();
    }
    return *this;
}

int UniqueFd::Release() { return std::exchange(fd_, -1); }

bool OutputRoot::Quiet() const {
    if (!watching) return false;
    int pending = 0;
    return ::ioctl(watch.Get(), FIONREAD, &pending) == 0 && pending == 0;
}

namespace {

// Which way of naming an unnamed file works in folder: each is tried once on an unnamed file of its own, whose
// name is taken back at once. None where the folder takes no unnamed files or neither way names one.
UnnamedNaming ProbeUnnamedNaming(int folder) {
    const int fd = OutputFolder::open_unnamed_file(folder);
    if (fd < 0) return UnnamedNaming::None;
    const UniqueFd probe(fd);
    const std::pair<UnnamedNaming, OutputFolder::LinkUnnamedCall> ways[] = {
        {UnnamedNaming::ByDescriptor, OutputFolder::link_by_descriptor},
        {UnnamedNaming::ThroughProc, OutputFolder::link_through_proc},
    };
    for (const auto& [way, link] : ways) {
        for (int attempt = 0; attempt < 100; ++attempt) {
            const std::string name = TempPrefix() + std::to_string(g_tempCounter++) + ".probe";
            if (link(probe.Get(), folder, name.c_str()) == 0) {
                ::unlinkat(folder, name.c_str(), 0);
                return way;
            }
            if (errno != EEXIST) break;
        }
    }
    return UnnamedNaming::None;
}

}  // namespace

bool OutputFolder::Open(const std::u16string& root, std::string* error) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        by_key_.clear();
        by_text_.clear();
        held_.clear();
    }
    auto opened =
        std::make_shared<FolderFd>(::open(platform::ToUtf8(root).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    root_ = opened;
    root_path_ = root;
    place_.reset();
    no_unnamed_files_ = false;
    if (!root_->IsOpen()) {
        open_error_ = ErrorText(errno);
        SetError(error, open_error_);
        return false;
    }
    struct stat info {};
    if (::fstat(root_->Get(), &info) != 0) {
        open_error_ = ErrorText(errno);
        SetError(error, open_error_);
        root_ = std::make_shared<const FolderFd>();
        return false;
    }
    auto place = std::make_shared<OutputRoot>();
    place->fd = root_;
    place->device = info.st_dev;
    place->inode = info.st_ino;
    place->path = platform::ToUtf8(root);
    if (!CurrentPath(root_->Get(), place->current)) place->current.clear();
    place->naming = ProbeUnnamedNaming(root_->Get());
    // The watch: the output folder and every folder above it (a move of any of them moves the output folder),
    // then a look that it is still where its path was taken, so that nothing went unheard in between.
    place->watch = UniqueFd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (place->watch.IsOpen() && !place->current.empty() && WatchFolder(place->watch.Get(), root_->Get())) {
        bool all = true;
        for (std::string above = place->current; all && above.size() > 1;) {
            const std::size_t slash = above.rfind('/');
            above.resize(slash == 0 ? 1 : slash);
            all = ::inotify_add_watch(place->watch.Get(), above.c_str(), kWatchedEvents | IN_DONT_FOLLOW) >= 0;
        }
        std::string now;
        place->watching = all && CurrentPath(root_->Get(), now) && now == place->current;
    }
    if (!place->watching) place->watch = UniqueFd();
    opened->watched = place->watching;
    no_unnamed_files_ = place->naming == UnnamedNaming::None;
    place_ = std::move(place);
    open_error_.clear();
    return true;
}

bool OutputFolder::Lost() const { return place_ && place_->lost.load(); }

bool OutputFolder::RootInPlace() const {
    if (!place_) return false;
    if (!place_->lost.load(std::memory_order_relaxed) && place_->Quiet() && StillThere(root_->Get())) return true;
    std::string now;
    return sharepoint::RootInPlace(*place_, now);
}

UnnamedNaming OutputFolder::Naming() const { return place_ ? place_->naming : UnnamedNaming::None; }

bool OutputFolder::MayMakeIn(const Fd& folder, std::string* error) const {
    switch (PlaceOf(*folder, *place_)) {
        case Place::Below: return true;
        case Place::RootLost:
            SetError(error, kOutputLostReason);
            return false;
        case Place::Outside:
            SetError(error, kMovedOutReason);
            // The held folders may lie outside now: each is opened again by name from the output folder.
            by_key_.clear();
            by_text_.clear();
            held_.clear();
            return false;
    }
    return false;
}

OutputFolder::SyncFileSystemCall OutputFolder::sync_file_system = ::syncfs;
OutputFolder::OpenUnnamedCall OutputFolder::open_unnamed_file = OpenUnnamedFile;
OutputFolder::LinkUnnamedCall OutputFolder::link_by_descriptor = LinkByDescriptor;
OutputFolder::LinkUnnamedCall OutputFolder::link_through_proc = LinkThroughProc;

bool OutputFolder::Flush(std::string* error) const {
    if (!IsOpen()) {
        SetError(error, open_error_.empty() ? "the output folder is not open" : open_error_);
        return false;
    }
    if (sync_file_system(root_->Get()) != 0) {
        SetError(error, ErrorText(errno));
        return false;
    }
    return true;
}

std::size_t OutputFolder::HeldFolderCount() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return held_.size();
}

OutputFolder::Fd OutputFolder::Watched(int fd, const FolderFd& parent) const {
    auto folder = std::make_shared<FolderFd>(fd);
    // Asked by path once, after the watch is set: a move before it is seen here, one after it is heard.
    if (parent.watched && place_->watching && WatchFolder(place_->watch.Get(), fd)) {
        std::string root_path;
        std::string path;
        folder->watched = CurrentPath(root_->Get(), root_path) && root_path == place_->current &&
                          CurrentPath(fd, path) && PathBelow(path, root_path);
    }
    return folder;
}

void OutputFolder::Hold(std::string key, Fd folder) const {
    held_.push_front({std::move(key), {}, std::move(folder)});
    by_key_[held_.front().key] = held_.begin();
    if (held_.size() > kMaxHeldFolders) {
        by_key_.erase(held_.back().key);
        if (!held_.back().text.empty()) by_text_.erase(held_.back().text);
        held_.pop_back();  // closed here, or by the last pending file in it
    }
}

OutputFolder::Fd OutputFolder::Folder(const std::u16string& path, bool create, std::string* error) const {
    if (!IsOpen()) {
        SetError(error, open_error_.empty() ? "the output folder is not open" : open_error_);
        return {};
    }
    if (Lost()) {
        SetError(error, kOutputLostReason);
        return {};
    }
    {
        // A held folder asked for by the same text before passed the checks below then.
        const std::lock_guard<std::mutex> lock(mutex_);
        const auto found = by_text_.find(path);
        if (found != by_text_.end()) {
            held_.splice(held_.begin(), held_, found->second);
            return found->second->folder;
        }
    }
    std::vector<std::string> names;
    if (!NamesBelow(root_path_, path, names)) {
        SetError(error, "the path leads out of the output folder");
        return {};
    }
    // A path that other programs could not use is not made either.
    if (platform::ToUtf8(path).size() >= PATH_MAX) {
        SetError(error, ErrorText(ENAMETOOLONG));
        return {};
    }
    if (names.empty()) {
        // The output folder itself: only while it is where it was opened.
        if (!RootInPlace()) {
            SetError(error, kOutputLostReason);
            return {};
        }
        return root_;
    }
    // The key of the folder k levels down is the first ends[k - 1] bytes of key.
    std::string key;
    std::vector<std::size_t> ends;
    ends.reserve(names.size());
    for (const std::string& name : names) {
        if (!key.empty()) key += '/';
        key += name;
        ends.push_back(key.size());
    }
    const std::lock_guard<std::mutex> lock(mutex_);
    // The nearest held folder on the path; the rest is opened from it name by name.
    std::size_t depth = names.size();
    Fd at;
    for (; depth > 0; --depth) {
        const auto found = by_key_.find(std::string_view(key).substr(0, ends[depth - 1]));
        if (found != by_key_.end()) {
            held_.splice(held_.begin(), held_, found->second);
            at = found->second->folder;
            break;
        }
    }
    if (!at) at = root_;
    for (; depth < names.size(); ++depth) {
        const std::string& name = names[depth];
        int next = OpenChild(at->Get(), name);
        if (next < 0 && errno == ENOENT && create) {
            // A folder is made only where it still lies below the output folder, and only while that is in
            // its place: another program may have moved or deleted either meanwhile.
            if (!MayMakeIn(at, error)) return {};
            if (::mkdirat(at->Get(), name.c_str(), 0777) != 0 && errno != EEXIST) {
                SetError(error, ErrorText(errno));
                return {};
            }
            next = OpenChild(at->Get(), name);
        }
        if (next < 0) {
            SetError(error, NotAFolderReason(at->Get(), name, errno));
            return {};
        }
        at = Watched(next, *at);
        Hold(key.substr(0, ends[depth]), at);
    }
    // The folder asked for is the most recently used now; it is found by this text from now on.
    HeldFolder& asked = held_.front();
    if (asked.text.empty()) {
        asked.text = path;
        by_text_[asked.text] = held_.begin();
    }
    return at;
}

UniqueFd OutputFolder::OpenFolder(const std::u16string& path, bool create, std::string* error) const {
    const Fd folder = Folder(path, create, error);
    if (!folder) return {};
    UniqueFd own(::fcntl(folder->Get(), F_DUPFD_CLOEXEC, 0));
    if (!own.IsOpen()) SetError(error, ErrorText(errno));
    return own;
}

bool OutputFolder::MakeFolder(const std::u16string& path, std::string* error) const {
    return Folder(path, true, error) != nullptr;
}

std::u16string OutputFolder::MakeNewFolder(const std::u16string& parent, std::u16string_view name,
                                           std::string* error) const {
    const Fd folder = Folder(parent, false, error);
    if (!folder) return {};
    const std::u16string safe = SafeName(name);
    for (int n = 0; n <= kMaxNumberedTries; ++n) {
        const std::u16string leaf = n == 0 ? safe : NumberedName(safe, n);
        const std::u16string path = JoinPath(parent, leaf);
        if (platform::ToUtf8(path).size() >= PATH_MAX) {
            SetError(error, ErrorText(ENAMETOOLONG));
            return {};
        }
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (!MayMakeIn(folder, error)) return {};
        }
        if (::mkdirat(folder->Get(), platform::ToUtf8(leaf).c_str(), 0777) == 0) return path;
        if (errno != EEXIST) {
            SetError(error, ErrorText(errno));
            return {};
        }
    }
    SetError(error, "the name and its " + std::to_string(kMaxNumberedTries) + " numbered forms all exist");
    return {};
}

PendingFile OutputFolder::CreateFile(const std::u16string& folder, std::u16string_view name) const {
    PendingFile pending = PrepareFile(folder, name);
    StartFile(pending);
    return pending;
}

PendingFile OutputFolder::PrepareFile(const std::u16string& folder, std::u16string_view name) const {
    PendingFile pending;
    pending.folder_path_ = folder;
    pending.safe_name_ = SafeName(name);
    pending.path_ = JoinPath(folder, pending.safe_name_);
    if (Utf8Length(pending.path_) >= PATH_MAX) {
        pending.error_ = ErrorText(ENAMETOOLONG);
        pending.error_number_ = ENAMETOOLONG;
        return pending;
    }
    pending.folder_ = Folder(folder, false, &pending.error_);
    if (!pending.folder_) return pending;
    pending.root_ = place_;
    return pending;
}

void OutputFolder::StartFile(PendingFile& pending) const {
    if (!pending.folder_ || pending.file_) return;
    if (Lost()) {
        pending.error_ = kOutputLostReason;
        return;
    }
    OpenFile(pending);
    // A file that cannot be made because the output folder went is said to be so, not by the system's reason.
    if (!pending.file_ && !RootInPlace()) {
        pending.error_number_ = 0;
        pending.error_ = kOutputLostReason;
    }
}

void OutputFolder::OpenFile(PendingFile& pending) const {
    if (!no_unnamed_files_.load(std::memory_order_relaxed)) {
        const int fd = open_unnamed_file(pending.folder_->Get());
        if (fd >= 0) {
            pending.file_ = StreamOver(fd, pending.written_);
            if (!pending.file_) {
                pending.error_number_ = errno;
                pending.error_ = ErrorText(errno);
                ::close(fd);
                return;
            }
            pending.fd_ = fd;
            pending.unnamed_ = true;
            return;
        }
        // A file system (or a kernel) without unnamed files: this save names its files the older way. Any
        // other failure is met again below, and reported as the temporary file's.
        if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL || errno == ENOSYS) no_unnamed_files_ = true;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string temp = TempPrefix() + std::to_string(g_tempCounter++) + ".part";
        const int fd = ::openat(pending.folder_->Get(), temp.c_str(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            pending.error_number_ = errno;
            pending.error_ = ErrorText(errno);
            return;
        }
        pending.file_ = StreamOver(fd, pending.written_);
        if (!pending.file_) {
            pending.error_number_ = errno;
            pending.error_ = ErrorText(errno);
            ::close(fd);
            ::unlinkat(pending.folder_->Get(), temp.c_str(), 0);
            return;
        }
        pending.temp_name_ = std::move(temp);
        pending.fd_ = fd;
        return;
    }
    pending.error_ = "no temporary name was free";
}

PendingFile::PendingFile(PendingFile&& other) noexcept
    : folder_(std::move(other.folder_)),
      root_(std::move(other.root_)),
      link_fd_(std::move(other.link_fd_)),
      file_(std::exchange(other.file_, nullptr)),
      fd_(std::exchange(other.fd_, -1)),
      written_(std::exchange(other.written_, nullptr)),
      unnamed_(std::exchange(other.unnamed_, false)),
      temp_name_(std::exchange(other.temp_name_, {})),
      given_name_(std::exchange(other.given_name_, {})),
      folder_path_(std::move(other.folder_path_)),
      safe_name_(std::move(other.safe_name_)),
      path_(std::move(other.path_)),
      error_(std::move(other.error_)),
      error_number_(other.error_number_) {}

PendingFile& PendingFile::operator=(PendingFile&& other) noexcept {
    if (this != &other) {
        Discard();
        folder_ = std::move(other.folder_);
        file_ = std::exchange(other.file_, nullptr);
        fd_ = std::exchange(other.fd_, -1);
        written_ = std::exchange(other.written_, nullptr);
        unnamed_ = std::exchange(other.unnamed_, false);
        root_ = std::move(other.root_);
        link_fd_ = std::move(other.link_fd_);
        temp_name_ = std::exchange(other.temp_name_, {});
        given_name_ = std::exchange(other.given_name_, {});
        folder_path_ = std::move(other.folder_path_);
        safe_name_ = std::move(other.safe_name_);
        path_ = std::move(other.path_);
        error_ = std::move(other.error_);
        error_number_ = other.error_number_;
    }
    return *this;
}

bool PendingFile::Write(const void* bytes, std::size_t n) {
    if (!file_) return false;
    if (n == 0 || std::fwrite(bytes, 1, n, file_) == n) return true;
    NoteWriteError(errno);
    return false;
}

void PendingFile::NoteWriteError(int error_number) {
    if (!error_.empty()) return;
    error_number_ = error_number != 0 ? error_number : EIO;
    error_ = ErrorText(error_number_);
}

bool PendingFile::BytesWritten(std::uint64_t& bytes) {
    if (!file_) return false;
    if (std::fflush(file_) != 0) {
        NoteWriteError(errno);
        return false;
    }
    bytes = *written_;
    return true;
}

void PendingFile::RenameTo(std::u16string_view name) {
    safe_name_ = SafeName(name);
    path_ = JoinPath(folder_path_, safe_name_);
}

bool PendingFile::CheckPlace() {
    if (!folder_ || !root_) {
        error_ = kMovedOutReason;
        return false;
    }
    switch (PlaceOf(*folder_, *root_)) {
        case Place::Below: return true;
        case Place::RootLost: error_ = kOutputLostReason; return false;
        case Place::Outside: error_ = kMovedOutReason; return false;
    }
    return false;
}

int PendingFile::LinkUnnamed(int fd, const char* name) const {
    if (root_ && root_->naming == UnnamedNaming::ThroughProc) {
        return OutputFolder::link_through_proc(fd, folder_->Get(), name);
    }
    return OutputFolder::link_by_descriptor(fd, folder_->Get(), name);
}

bool PendingFile::FinishWriting(bool sync, UniqueFd& unnamed) {
    if (!file_) {
        if (error_.empty()) error_ = "the file was not started";
        Discard();
        return false;
    }
    bool flushed = std::fflush(file_) == 0;
    if (!flushed) NoteWriteError(errno);
    // A full disk or a network folder may report a lost write only when the file is flushed to the disk.
    if (sync && flushed && ::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS) {
        NoteWriteError(errno);
        flushed = false;
    }
    const bool stream_error = std::ferror(file_) != 0;
    if (stream_error) NoteWriteError(errno);
    // An unnamed file is named by a second descriptor, so that the close can report its failure first.
    if (unnamed_ && error_.empty()) {
        unnamed = UniqueFd(::fcntl(fd_, F_DUPFD_CLOEXEC, 0));
        if (!unnamed.IsOpen()) NoteWriteError(errno);
    }
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    fd_ = -1;
    if (!closed) NoteWriteError(errno);
    if (!flushed || stream_error || !closed || !error_.empty()) {
        Discard();
        return false;
    }
    return true;
}

bool PendingFile::Commit() { return FinishBeforeNaming() && Name(); }

bool PendingFile::FinishBeforeNaming() {
    if (!FinishWriting(false, link_fd_)) return false;
    // Another program may have moved the folder while the file was written: a file that would land outside
    // the output folder is not named, and so not counted as saved.
    if (!CheckPlace()) {
        Discard();
        return false;
    }
    return true;
}

bool PendingFile::NameIfFree() {
    if (!folder_ || !unnamed_ || !link_fd_.IsOpen() || !error_.empty()) return false;
    std::string target = platform::ToUtf8(safe_name_);
    if (LinkUnnamed(link_fd_.Get(), target.c_str()) != 0) return false;
    unnamed_ = false;
    link_fd_ = UniqueFd();
    given_name_ = std::move(target);
    path_ = JoinPath(folder_path_, safe_name_);
    return true;
}

void PendingFile::RemoveName() {
    if (given_name_.empty() || !folder_) return;
    ::unlinkat(folder_->Get(), given_name_.c_str(), 0);
    given_name_.clear();
}

bool PendingFile::Name() {
    if (Named()) return true;
    if (!folder_ || (unnamed_ ? !link_fd_.IsOpen() : temp_name_.empty())) {
        if (error_.empty()) error_ = "the file was not started";
        Discard();
        return false;
    }
    // The thread that names the file looks again: the folder may have moved since the file was finished.
    if (!CheckPlace()) {
        Discard();
        return false;
    }
    for (int n = 0; n <= kMaxNumberedTries; ++n) {
        const std::u16string leaf = n == 0 ? safe_name_ : NumberedName(safe_name_, n);
        const std::string target = platform::ToUtf8(leaf);
        if (unnamed_) {
            // The link fails with EEXIST when the name is taken, as the rename below does.
            if (LinkUnnamed(link_fd_.Get(), target.c_str()) == 0) {
                unnamed_ = false;
                link_fd_ = UniqueFd();
                path_ = JoinPath(folder_path_, leaf);
                return true;
            }
            if (errno == EEXIST) continue;
            error_ = ErrorText(errno);
            Discard();
            return false;
        }
        int renamed = ::renameat2(folder_->Get(), temp_name_.c_str(), folder_->Get(), target.c_str(), RENAME_NOREPLACE);
        if (renamed != 0 && (errno == EINVAL || errno == ENOSYS)) {
            // A file system without the no-replace rename: a hard link fails the same way when the name exists.
            renamed = ::linkat(folder_->Get(), temp_name_.c_str(), folder_->Get(), target.c_str(), 0);
            if (renamed == 0) ::unlinkat(folder_->Get(), temp_name_.c_str(), 0);
        }
        if (renamed == 0) {
            temp_name_.clear();
            path_ = JoinPath(folder_path_, leaf);
            return true;
        }
        if (errno != EEXIST) {
            error_ = ErrorText(errno);
            Discard();
            return false;
        }
    }
    error_ = "the name and its " + std::to_string(kMaxNumberedTries) + " numbered forms all exist";
    Discard();
    return false;
}

bool PendingFile::CommitReplacing() {
    // Flushed to the disk first: the file that is replaced must not give way to a cut one.
    UniqueFd unnamed;
    if (!FinishWriting(true, unnamed)) return false;
    // A link cannot replace a name: an unnamed file gets a temporary name first, and that is renamed.
    if (unnamed_ && !LinkUnderTemporaryName(unnamed.Get())) {
        Discard();
        return false;
    }
    const std::string target = platform::ToUtf8(safe_name_);
    struct stat info {};
    if (::fstatat(folder_->Get(), target.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(info.st_mode) &&
        !S_ISLNK(info.st_mode)) {
        error_number_ = S_ISDIR(info.st_mode) ? EISDIR : EEXIST;
        error_ = S_ISDIR(info.st_mode) ? "a folder of that name exists" : "an entry of that name is not a file";
        Discard();
        return false;
    }
    // rename replaces the entry itself: a symbolic link of that name is not followed.
    if (::renameat(folder_->Get(), temp_name_.c_str(), folder_->Get(), target.c_str()) != 0) {
        error_number_ = errno;
        error_ = ErrorText(errno);
        Discard();
        return false;
    }
    temp_name_.clear();
    path_ = JoinPath(folder_path_, safe_name_);
    return true;
}

bool PendingFile::LinkUnderTemporaryName(int fd) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string temp = TempPrefix() + std::to_string(g_tempCounter++) + ".part";
        if (LinkUnnamed(fd, temp.c_str()) == 0) {
            temp_name_ = std::move(temp);
            unnamed_ = false;
            return true;
        }
        if (errno == EEXIST) continue;
        error_number_ = errno;
        error_ = ErrorText(errno);
        return false;
    }
    error_ = "no temporary name was free";
    return false;
}

void PendingFile::Discard() {
    if (file_) {
        std::fclose(file_);  // an unnamed file is gone with its last descriptor
        file_ = nullptr;
        fd_ = -1;
    }
    fd_ = -1;
    link_fd_ = UniqueFd();  // an unnamed file is gone with its last descriptor
    unnamed_ = false;
    if (!temp_name_.empty() && folder_) ::unlinkat(folder_->Get(), temp_name_.c_str(), 0);
    temp_name_.clear();
}

}  // namespace sharepoint
