// pread-based implementation of ReadOnlyFile.
#include "platform/read_only_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <utility>

namespace platform {

ReadOnlyFile::~ReadOnlyFile() { Close(); }

ReadOnlyFile::ReadCall ReadOnlyFile::read_call = ::pread;

ReadOnlyFile::ReadOnlyFile(ReadOnlyFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      memory_(other.memory_),
      in_memory_(std::exchange(other.in_memory_, false)),
      size_(other.size_),
      last_error_(std::move(other.last_error_)) {}

ReadOnlyFile& ReadOnlyFile::operator=(ReadOnlyFile&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
        memory_ = other.memory_;
        in_memory_ = std::exchange(other.in_memory_, false);
        size_ = other.size_;
        last_error_ = std::move(other.last_error_);
    }
    return *this;
}

namespace {

// The paths served from memory.
struct Served {
    std::mutex lock;
    std::map<std::filesystem::path, std::span<const std::uint8_t>> files;
};
Served& ServedFiles() {
    static Served served;
    return served;
}

std::optional<std::span<const std::uint8_t>> ServedBytes(const std::filesystem::path& path) {
    Served& served = ServedFiles();
    const std::lock_guard<std::mutex> hold(served.lock);
    if (served.files.empty()) return std::nullopt;
    const auto found = served.files.find(path);
    if (found == served.files.end()) return std::nullopt;
    return found->second;
}

bool IsPassingError(int error_number) {
    switch (error_number) {
        case EAGAIN: case EBUSY: case ETXTBSY: case EINTR: case EMFILE: case ENFILE: case ENOMEM:
            return true;
        default:
            return false;
    }
}

}  // namespace

std::string NotRegularFileReason(unsigned mode) {
    if (S_ISREG(mode)) return {};
    if (S_ISDIR(mode)) return "it is a directory";
    if (S_ISFIFO(mode)) return "it is a named pipe (FIFO)";
    if (S_ISCHR(mode)) return "it is a character device";
    if (S_ISBLK(mode)) return "it is a block device";
    if (S_ISSOCK(mode)) return "it is a socket";
    return "it is not a regular file";
}

void ServeFromMemory(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
    Served& served = ServedFiles();
    const std::lock_guard<std::mutex> hold(served.lock);
    served.files[path] = bytes;
}

void StopServingFromMemory(const std::filesystem::path& path) {
    Served& served = ServedFiles();
    const std::lock_guard<std::mutex> hold(served.lock);
    served.files.erase(path);
}

bool ReadOnlyFile::Open(const std::filesystem::path& path) {
    Close();
    busy_ = false;
    if (const auto bytes = ServedBytes(path)) {
        memory_ = *bytes;
        in_memory_ = true;
        size_ = bytes->size();
        last_error_.clear();
        return true;
    }
    // Without O_NONBLOCK the open of a named pipe waits for a writer, for ever if none comes.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        const int error_number = errno;
        last_error_ = std::strerror(error_number);
        busy_ = IsPassingError(error_number);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int error_number = errno;
        last_error_ = std::strerror(error_number);
        busy_ = IsPassingError(error_number);
        ::close(fd);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        last_error_ = NotRegularFileReason(st.st_mode);
        ::close(fd);
        return false;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    fd_ = fd;
    size_ = static_cast<std::uint64_t>(st.st_size);
    last_error_.clear();
    return true;
}

void ReadOnlyFile::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    memory_ = {};
    in_memory_ = false;
    size_ = 0;
}

ReadOnlyFile::ReadResult ReadOnlyFile::ReadAt(std::uint64_t pos, void* dst, std::size_t n) const {
    auto* out = static_cast<unsigned char*>(dst);
    ReadResult result;
    std::size_t& done = result.bytes;
    if (in_memory_) {
        if (pos < memory_.size()) {
            done = static_cast<std::size_t>(std::min<std::uint64_t>(n, memory_.size() - pos));
            std::memcpy(out, memory_.data() + pos, done);
        }
    } else if (fd_ >= 0) {
        while (done < n) {
            const ssize_t r = read_call(fd_, out + done, n - done, static_cast<off_t>(pos + done));
            if (r < 0 && errno == EINTR) continue;
            if (r < 0) result.error = errno != 0 ? errno : EIO;
            if (r <= 0) break;
            done += static_cast<std::size_t>(r);
        }
    }
    if (done < n) std::memset(out + done, 0, n - done);
    return result;
}

void ReadOnlyFile::AdviseSequential() const {
    if (fd_ >= 0) ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
}

}  // namespace platform
