// pread-based implementation of ReadOnlyFile.
#include "platform/read_only_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace platform {

ReadOnlyFile::~ReadOnlyFile() { Close(); }

ReadOnlyFile::ReadOnlyFile(ReadOnlyFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), size_(other.size_), last_error_(std::move(other.last_error_)) {}

ReadOnlyFile& ReadOnlyFile::operator=(ReadOnlyFile&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
        size_ = other.size_;
        last_error_ = std::move(other.last_error_);
    }
    return *this;
}

namespace {

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

bool ReadOnlyFile::Open(const std::filesystem::path& path) {
    Close();
    busy_ = false;
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
    size_ = 0;
}

std::size_t ReadOnlyFile::ReadAt(std::uint64_t pos, void* dst, std::size_t n) const {
    auto* out = static_cast<unsigned char*>(dst);
    std::size_t done = 0;
    if (fd_ >= 0) {
        while (done < n) {
            ssize_t r = ::pread(fd_, out + done, n - done, static_cast<off_t>(pos + done));
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) break;
            done += static_cast<std::size_t>(r);
        }
    }
    if (done < n) std::memset(out + done, 0, n - done);
    return done;
}

void ReadOnlyFile::AdviseSequential() const {
    if (fd_ >= 0) ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
}

void ReadOnlyFile::Prefetch(std::uint64_t pos, std::size_t n) const {
    if (fd_ >= 0 && pos < size_) ::posix_fadvise(fd_, static_cast<off_t>(pos), static_cast<off_t>(n), POSIX_FADV_WILLNEED);
}

}  // namespace platform
