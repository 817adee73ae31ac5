// A file opened for reading only, read with pread at absolute positions. Data files are never written, so a
// read-only copy of a damaged database opens as well as the original.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include <sys/types.h>

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
    bool IsOpen() const { return fd_ >= 0 || in_memory_; }
    // Whether the open file is served from memory (see ServeFromMemory), and its bytes then.
    bool InMemory() const { return in_memory_; }
    std::span<const std::uint8_t> MemoryBytes() const { return memory_; }
    std::uint64_t Size() const { return size_; }
    const std::string& LastError() const { return last_error_; }
    // True when the last failed open met a passing condition (the system out of descriptors or memory, an
    // interrupted call, a busy file) rather than one that waiting cannot cure (missing, not allowed, not a file).
    bool LastOpenWasBusy() const { return busy_; }

    // What one read brought: the number of bytes that came from the file, from pos on (the rest of the buffer
    // is zeros), and the system's error number when a read failed before the end of the file (0 when the read
    // stopped only at the end of the file).
    struct ReadResult {
        std::size_t bytes = 0;
        int error = 0;
    };
    // Reads up to n bytes at pos. Bytes that lie beyond the end of the file, or from the first byte the system
    // could not read on, are zeros.
    ReadResult ReadAt(std::uint64_t pos, void* dst, std::size_t n) const;
    // Tells the system the file will be read from start to end (a larger read-ahead window).
    void AdviseSequential() const;

    // The call every read of an opened file goes through (pread); a test puts one in its place that fails
    // chosen parts of the file as a failing disk does.
    using ReadCall = ssize_t (*)(int fd, void* buffer, std::size_t n, off_t pos);
    static ReadCall read_call;

private:
    int fd_ = -1;
    // The bytes of a file served from memory (see ServeFromMemory); in_memory_ while one is open.
    std::span<const std::uint8_t> memory_;
    bool in_memory_ = false;
    std::uint64_t size_ = 0;
    std::string last_error_;
    bool busy_ = false;
};

// Bytes held in memory, served under a path instead of the file system: while served, a ReadOnlyFile opened at
// that path reads them. The fuzz targets hand each input to the engine this way rather than through a file. The
// bytes must stay alive and unchanged until the path is no longer served.
void ServeFromMemory(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);
void StopServingFromMemory(const std::filesystem::path& path);

// What a file of this mode is, for a refusal: "it is a directory", "it is a named pipe (FIFO)", ...; empty for
// a regular file.
std::string NotRegularFileReason(unsigned mode);

}  // namespace platform
