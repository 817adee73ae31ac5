// The output folder of a document save, held open by its descriptor. Every folder and file below it is
// reached from that descriptor one name at a time with O_NOFOLLOW (openat, mkdirat), so a symbolic link
// inside the output folder, whether there before the save or put there during it, is refused where a folder
// is expected instead of being followed out of the output folder. Files are written without a name in their
// folder (O_TMPFILE), or under a temporary name where the file system cannot make unnamed files, and get their
// real name only when whole; a file that failed is closed unnamed or deleted, so no cut or empty file is ever
// left under a document's name. A file is named only while its folder still lies below the output
// folder: a folder that another program moved out during the save gets no file, and no folder is made in one.
// The output folder itself must stay where it was opened: once it is found deleted or moved, nothing more is
// made or named (Lost()). Reasons are the system's own texts.
//
// An unnamed file is named through its descriptor (linkat with AT_EMPTY_PATH, which needs a capability most
// users lack) or through /proc/self/fd (which needs /proc): which of them works is tried once when the folder
// is opened, and where neither does, files get a temporary name instead.
//
// Whether a folder still lies below the output folder is asked of the system by its path (/proc/self/fd)
// once per folder opened; after that the save's watch (inotify) on the output folder, the folders above it and
// every folder opened below it answers: as long as none of them was moved, and the folder itself is not removed
// (a folder is removed only when empty, so then so is none above it), every folder still lies where it was
// found. Once any was moved, and where no watch could be set, each check asks by path again.
//
// A save writes many files into few folders, so the folders it opened stay open while the object lives (at
// most kMaxHeldFolders of them, the least recently used closed first): each folder is opened once per save,
// from its parent's descriptor. A failed open is never kept, so it is tried again, name by name, next time.
// The object may be shared by threads: the held folders are guarded by a mutex, and a pending file shares
// its folder's descriptor, which stays open until the file is done even when the folder is let go.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include <sys/types.h>

namespace sharepoint {

// A descriptor that closes itself.
// How this save gives an unnamed file its name (found when the output folder is opened).
enum class UnnamedNaming { ByDescriptor, ThroughProc, None };

// The reason given for whatever a save could not make or name once its output folder was deleted or moved.
inline constexpr char kOutputLostReason[] = "the output folder was deleted or moved";

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd();
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int Get() const { return fd_; }
    bool IsOpen() const { return fd_ >= 0; }
    int Release();

private:
    int fd_ = -1;
};

// A folder at or below the output folder, held open. watched: found below the output folder after its watch was
// set, with every folder between it and the output folder watched as well.
class FolderFd : public UniqueFd {
public:
    using UniqueFd::UniqueFd;
    bool watched = false;
};

// The output folder as it was opened, shared by its files: the place every file and folder is checked against.
struct OutputRoot {
    std::shared_ptr<const FolderFd> fd;
    dev_t device = 0;
    ino_t inode = 0;
    std::string path;     // as it was opened (UTF-8)
    std::string current;  // as the system named it when it was opened (/proc/self/fd); empty when unknown
    UnnamedNaming naming = UnnamedNaming::None;
    mutable std::atomic<bool> lost{false};
    // The watch (inotify) that hears of a move of the output folder, of a folder above it or of a watched folder
    // below it (and of a removal once the folder's last descriptor closes); watching: set up, the output folder
    // and every folder above it watched.
    UniqueFd watch;
    bool watching = false;
    // True while watching and the watch heard nothing since.
    bool Quiet() const;
};

// A file being written below the output folder, unnamed in its folder (or under a temporary name there).
// Commit gives it its name (the safe name, or a numbered one when that exists: nothing is overwritten); a
// pending file that is not committed, or whose commit failed, is deleted.
class PendingFile {
public:
    PendingFile() = default;
    ~PendingFile() { Discard(); }
    PendingFile(PendingFile&& other) noexcept;
    PendingFile& operator=(PendingFile&& other) noexcept;
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    bool IsOpen() const { return file_ != nullptr; }
    // The stream to write to; its failures are kept by Write or NoteWriteError.
    std::FILE* Stream() const { return file_; }
    bool Write(const void* bytes, std::size_t n);
    // Keeps the reason of a write made through Stream() elsewhere (the errno it left).
    void NoteWriteError(int error_number);
    // The bytes the file holds so far, buffered ones included; false with the reason kept when it cannot be told.
    bool BytesWritten(std::uint64_t& bytes);
    // Gives the file the name SafeName(name) in place of the one it was started with (before Commit).
    void RenameTo(std::u16string_view name);
    // Closes the file and names it; false with Error() set when any write, the close or the naming failed
    // (the temporary file is then deleted). The same as FinishBeforeNaming followed by Name.
    bool Commit();
    // The first half of Commit, which any thread may do: closes the file (every write and the close checked)
    // and checks that its folder still lies below the output folder. False with Error() set (the file is then
    // discarded).
    bool FinishBeforeNaming();
    // The second half: gives the closed file its name, the safe name or a numbered one. False with Error() set.
    bool Name();
    // Gives the closed unnamed file its safe name when that name is free, and tries nothing else: a document
    // whose name no document before it can want may be named by the thread that wrote it. False, with the file
    // left as it was, when the name is taken or the link failed (Name then does the naming as usual).
    bool NameIfFree();
    // True once the file has its name (Name then has nothing to do).
    bool Named() const { return !given_name_.empty(); }
    // Takes the name NameIfFree gave back (a document that a stop dropped after it was named so).
    void RemoveName();
    // Closes the file, flushed to the disk first, and gives it its name, replacing a file of that name: a
    // symbolic link there is replaced itself, never followed, and a folder or any other kind of entry there
    // is left alone and fails the commit. False with Error() set on any failure (the temporary file is then
    // deleted and what had the name is untouched).
    bool CommitReplacing();
    // Deletes the temporary file.
    void Discard();
    // The path the file is meant to have, and after a commit the path it got.
    const std::u16string& Path() const { return path_; }
    const std::string& Error() const { return error_; }
    // The folder the file is started in, as its path was given and as it is held open (set when it is prepared).
    const std::u16string& FolderPath() const { return folder_path_; }
    const void* FolderIdentity() const { return folder_.get(); }
    // The safe name it was started with (until RenameTo).
    const std::u16string& Leaf() const { return safe_name_; }
    // The system's error number behind Error(), 0 when it has none.
    int ErrorNumber() const { return error_number_; }

private:
    friend class OutputFolder;
    // Gives the unnamed file held open by fd a temporary name in its folder (temp_name_).
    bool LinkUnderTemporaryName(int fd);
    // Gives the unnamed file held open by fd the name name in its folder, the way the output folder found.
    int LinkUnnamed(int fd, const char* name) const;
    // True when folder_ still lies below the output folder and that is where it was opened; otherwise false with
    // Error() set.
    bool CheckPlace();
    // Flushes (with `sync`, to the disk as well) and closes the stream; an unnamed file keeps a second
    // descriptor in `unnamed` to be named by. False, with the file discarded, when anything failed.
    bool FinishWriting(bool sync, UniqueFd& unnamed);

    std::shared_ptr<const FolderFd> folder_;
    std::shared_ptr<const OutputRoot> root_;
    UniqueFd link_fd_;  // an unnamed file between FinishBeforeNaming and Name: the descriptor it is named by
    std::FILE* file_ = nullptr;
    int fd_ = -1;  // the descriptor under file_ (owned by the stream)
    const std::uint64_t* written_ = nullptr;  // the bytes file_ wrote to fd_ (kept by the stream)
    bool unnamed_ = false;  // made with O_TMPFILE: it has no name in its folder until it is committed
    std::string temp_name_;
    std::string given_name_;  // the name NameIfFree gave
    std::u16string folder_path_;
    std::u16string safe_name_;
    std::u16string path_;
    std::string error_;
    int error_number_ = 0;
};

class OutputFolder {
public:
    // How many folders below the root stay open at most.
    static constexpr std::size_t kMaxHeldFolders = 64;

    // Opens root, the output folder (the links in its own path are followed: it is the folder the user chose).
    bool Open(const std::u16string& root, std::string* error = nullptr);
    bool IsOpen() const { return root_ && root_->IsOpen(); }
    const std::u16string& Root() const { return root_path_; }
    // True once the output folder was found deleted or moved (no longer at the path it was opened by).
    bool Lost() const;
    // Looks whether the output folder is still where it was opened; false (and Lost() from then on) when not.
    bool RootInPlace() const;
    // How files are named in it: found when it was opened.
    UnnamedNaming Naming() const;

    // The folder at path (the root or below it), opened from the root name by name; with create, the folders
    // missing on the way are made. Fails, with the reason, when path is not the root or inside it, when a
    // part of it is a symbolic link or a file, or when the path is longer than the system's path limit.
    // The result is a descriptor of the caller's own (a duplicate of the held one).
    UniqueFd OpenFolder(const std::u16string& path, bool create, std::string* error = nullptr) const;
    // True when the folder at path exists (or was made) as a folder below the root.
    bool MakeFolder(const std::u16string& path, std::string* error = nullptr) const;
    // Makes a folder that did not exist before in parent: SafeName(name) or its numbered names.
    std::u16string MakeNewFolder(const std::u16string& parent, std::u16string_view name,
                                 std::string* error = nullptr) const;
    // Starts the file SafeName(name) in folder (which must exist). When it cannot be started the result is not
    // open and Error() says why.
    PendingFile CreateFile(const std::u16string& folder, std::u16string_view name) const;
    // CreateFile in two steps, so that the file's folder is found in the order of the save while the file itself
    // is opened on another thread: PrepareFile sets its path and holds its folder (when that fails, Error()
    // says why and StartFile leaves it unopened); StartFile opens it. StartFile may run on any thread.
    PendingFile PrepareFile(const std::u16string& folder, std::u16string_view name) const;
    void StartFile(PendingFile& pending) const;

    // How many folders below the root are held open now.
    std::size_t HeldFolderCount() const;

    // Writes out what the file system that holds the output folder keeps in memory (syncfs), so that the files
    // of the save are on the disk; false with the reason when the system reports a failure.
    bool Flush(std::string* error = nullptr) const;
    // The call Flush makes; a test puts a failing one in its place.
    using SyncFileSystemCall = int (*)(int fd);
    static SyncFileSystemCall sync_file_system;
    // The call that opens an unnamed file for writing in a folder (O_TMPFILE); a test puts one in its place
    // that fails as a file system without unnamed files does, so that files get a temporary name instead.
    using OpenUnnamedCall = int (*)(int folder);
    static OpenUnnamedCall open_unnamed_file;
    // The two ways of naming an unnamed file open as fd: through the descriptor itself, and through
    // /proc/self/fd. A test puts failing ones in their place, as a system without the capability or without
    // /proc answers.
    using LinkUnnamedCall = int (*)(int fd, int folder, const char* name);
    static LinkUnnamedCall link_by_descriptor;
    static LinkUnnamedCall link_through_proc;

private:
    using Fd = std::shared_ptr<const FolderFd>;
    struct HeldFolder {
        std::string key;      // the names below the root joined by '/'
        std::u16string text;  // the path text it was asked for by (empty when only passed through)
        Fd folder;
    };
    // The folder at path, held or opened (and then held) from its nearest held ancestor or the root.
    Fd Folder(const std::u16string& path, bool create, std::string* error) const;
    void Hold(std::string key, Fd folder) const;
    // The folder just opened as fd from parent, watched when its watch can be set and it is found below the
    // output folder then.
    Fd Watched(int fd, const FolderFd& parent) const;

    // StartFile's open of the file, unnamed or under a temporary name.
    void OpenFile(PendingFile& pending) const;
    // The folder the path names as it lies now: below the root (and the root in place); otherwise the reason
    // is set, and a folder found outside lets go of the held folders, so they are reached again by name.
    bool MayMakeIn(const Fd& folder, std::string* error) const;

    Fd root_;
    std::shared_ptr<OutputRoot> place_;
    std::u16string root_path_;
    std::string open_error_;
    // Set once the output's file system refused an unnamed file: the files of the save get temporary names.
    mutable std::atomic<bool> no_unnamed_files_{false};
    mutable std::mutex mutex_;
    // The most recently used first.
    mutable std::list<HeldFolder> held_;
    mutable std::map<std::string, std::list<HeldFolder>::iterator, std::less<>> by_key_;
    // The same folders by the path text last asked for: a folder asked for again by the same text is found
    // without taking the text apart.
    mutable std::map<std::u16string, std::list<HeldFolder>::iterator, std::less<>> by_text_;
};

}  // namespace sharepoint
