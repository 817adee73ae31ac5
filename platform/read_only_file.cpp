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

bool ReadOnlyFile::Open(const std::filesystem::path& path) {
    Close();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        last_error_ = std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        last_error_ = S_ISDIR(st.st_mode) ? "is a directory" : std::strerror(errno);
        ::close(fd);
        return false;
    }
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
