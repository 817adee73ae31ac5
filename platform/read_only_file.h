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

    // False when the file cannot be opened; LastError() then holds the reason and LastOpenWasBusy() tells
    // whether a later attempt may succeed. Only regular files are opened: a directory, named pipe, device or
    // socket is refused with a reason that says what it is, and the open itself never waits (a named pipe
    // without a writer would block it for good).
    bool Open(const std::filesystem::path& path);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    std::uint64_t Size() const { return size_; }
    const std::string& LastError() const { return last_error_; }
    // True when the last failed open met a passing condition (the system out of descriptors or memory, an
    // interrupted call, a busy file) rather than one that waiting cannot cure (missing, not allowed, not a file).
    bool LastOpenWasBusy() const { return busy_; }

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
    bool busy_ = false;
};

// What a file of this mode is, for a refusal: "it is a directory", "it is a named pipe (FIFO)", ...; empty for
// a regular file.
std::string NotRegularFileReason(unsigned mode);

}  // namespace platform
