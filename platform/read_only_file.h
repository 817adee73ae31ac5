// A file opened for reading only, read with pread at absolute positions. Data files are never written, so a
// read-only copy of a damaged database opens as well as the original.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace platform {

class ReadOnlyFile {
public:
    ReadOnlyFile() = default;
    ~ReadOnlyFile();
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;
    ReadOnlyFile(ReadOnlyFile&& other) noexcept;
    ReadOnlyFile& operator=(ReadOnlyFile&& other) noexcept;

    // False when the file cannot be opened; LastError() then holds the system's reason.
    bool Open(const std::filesystem::path& path);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    std::uint64_t Size() const { return size_; }
    const std::string& LastError() const { return last_error_; }

    // Reads up to n bytes at pos. Bytes that lie beyond the end of the file, or that the system could not
    // read, are zeros; the result is the number of bytes that really came from the file.
    std::size_t ReadAt(std::uint64_t pos, void* dst, std::size_t n) const;
    // Tells the system the file will be read from start to end (a larger read-ahead window).
    void AdviseSequential() const;
    // Asks the system to start reading [pos, pos + n) into its cache now; returns at once.
    void Prefetch(std::uint64_t pos, std::size_t n) const;

private:
    int fd_ = -1;
    std::uint64_t size_ = 0;
    std::string last_error_;
};

}  // namespace platform
