// The open data file as the readers see it: reads at any absolute position, served from whole pages read
// with pread and kept in a small cache, with zeros beyond the end of the file. The file is opened read-only.
// A file served from memory (platform::ServeFromMemory) is read in place, without copies or worker threads.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "platform/read_only_file.h"

namespace mdf {

// Bytes aligned to 4096 (the memory page), zero-filled; for buffers that pread fills.
class AlignedBuffer {
public:
    AlignedBuffer() = default;
    explicit AlignedBuffer(std::size_t size);
    // A buffer whose bytes are left as the system gives them, for one that is written whole before it is read: it
    // is not cleared, so its memory is first touched by the reads that fill it. One of 2 MiB or more lies on a
    // 2 MiB boundary and is offered to the system for huge pages (fewer faults on the first touch).
    static AlignedBuffer Unfilled(std::size_t size);
    std::uint8_t* data() const { return bytes_.get(); }
    std::size_t size() const { return size_; }

private:
    AlignedBuffer(std::size_t size, std::size_t alignment);
    struct Free {
        Free() noexcept {}
        explicit Free(std::size_t at) noexcept : alignment(at) {}
        void operator()(std::uint8_t* p) const;
        std::size_t alignment = 4096;
    };
    std::unique_ptr<std::uint8_t[], Free> bytes_;
    std::size_t size_ = 0;
};

constexpr std::size_t kPageSize = 8192;
constexpr std::size_t kSectorSize = 512;
constexpr std::uint64_t kBootPageVersionOffset = 73828;  // page 9, offset 100
// The database's 32-bit collation id (the form the catalogue's columns use): page 9, offset 488.
constexpr std::uint64_t kBootPageCollationOffset = 9 * 8192 + 488;

class DataFile {
public:
    DataFile();
    ~DataFile();
    DataFile(const DataFile&) = delete;
    DataFile& operator=(const DataFile&) = delete;

    bool Open(const std::filesystem::path& path);
    void Close();
    bool IsOpen() const { return file_.IsOpen(); }
    // A file served from memory: its pages are read in place, so copies of them save nothing.
    bool InMemory() const { return file_.InMemory(); }
    std::uint64_t Size() const { return file_.Size(); }
    std::uint64_t PageCount() const { return file_.Size() / kPageSize; }
    const std::string& LastError() const { return file_.LastError(); }
    bool LastOpenWasBusy() const { return file_.LastOpenWasBusy(); }

    // Copies n bytes from pos; bytes beyond the end of the file are zeros.
    void Read(std::uint64_t pos, void* dst, std::size_t n) const {
        if (n == 0) return;  // dst may be null then (the data of an empty vector)
        // Most reads are a few bytes of the page read last: served here without a call.
        CachedPage& last = cache_[last_slot_];
        const auto in_page = static_cast<std::size_t>(pos % kPageSize);
        if (last.page_number == pos / kPageSize && in_page + n <= kPageSize) {
            last.last_use = ++use_clock_;
            std::memcpy(dst, last.bytes + in_page, n);
            return;
        }
        ReadThroughCache(pos, dst, n);
    }
    // The whole page that starts at page_number * 8192 (zeros beyond the end of the file). The span stays
    // valid until the next call on this object.
    std::span<const std::uint8_t> Page(std::uint64_t page_number) const;
    // Reads pages [first, first + count) in blocks of kScanBlockPages, several blocks at once on worker threads,
    // for the whole-file scans that look at every page once. look(block, first_page, bytes) runs on the worker
    // that read the block, blocks in any order; then take(block) runs on the calling thread, in block order.
    // At most kBlocksInFlight blocks are looked at or waiting to be taken at any time, so a caller can keep
    // what look found in slot block % kBlocksInFlight until take. take returns false to stop: no later block
    // is taken. look must not touch this object; an exception look throws is thrown again here.
    static constexpr std::uint64_t kScanBlockPages = 64;  // 512 KiB: the block stays in the worker's cache
    static constexpr std::size_t kBlocksInFlight = 32;
    void ForEachBlock(std::uint64_t first, std::uint64_t count,
                      const std::function<void(std::uint64_t block, std::uint64_t first_page,
                                               std::span<const std::uint8_t> bytes)>& look,
                      const std::function<bool(std::uint64_t block)>& take) const;

    // Reads the given pages (ascending, no repeats) in one read per run of neighbouring pages and keeps them
    // until ReleaseHeldPages: a page the cache misses is then copied from memory instead of read again. For
    // jobs that visit pages in an order of their own, such as a save that follows the document tree.
    void HoldPages(std::vector<std::uint64_t> page_numbers);
    // The same with pages already in memory: bytes holds the pages in the order of page_numbers.
    void HoldPageCopies(std::vector<std::uint64_t> page_numbers, const std::vector<std::uint8_t>& bytes);
    void ReleaseHeldPages();
    std::size_t HeldPageCount() const { return held_numbers_.size(); }

    // Reads from the file so far: read calls, and pages they brought in.
    std::uint64_t FileReads() const { return file_reads_; }
    std::uint64_t PagesRead() const { return pages_read_; }

    // The pages the system failed to read since the file was opened (an I/O error), ascending. A read of many
    // pages that fails is made again page by page, so only these pages read as zeros: the others come whole.
    std::vector<std::uint64_t> UnreadablePages() const;

private:
    static constexpr std::size_t kCacheSlots = 16;
    // Each slot's own bytes are aligned to the memory page, so every 8 KiB read lands on whole memory pages: the
    // kernel copies page-aligned destinations at about twice the speed of unaligned ones. A slot of a held page
    // points into the held bytes instead of copying them (see LetGoOfHeldSlots), a slot of a file served from
    // memory into those bytes.
    struct CachedPage {
        std::uint64_t page_number = UINT64_MAX;
        std::uint64_t last_use = 0;
        const std::uint8_t* bytes = nullptr;
        std::uint8_t* own = nullptr;  // the slot's own 8 KiB, for pages read from the file
    };
    CachedPage& Load(std::uint64_t page_number) const;
    void GiveSlotItsBytes(CachedPage& slot) const;
    // Empties the slots that point into the held bytes, before those bytes change or go.
    void LetGoOfHeldSlots();
    void ReadThroughCache(std::uint64_t pos, void* dst, std::size_t n) const;
    // Reads pages [first, first + count) into dst in one read; after a failed read, the pages from the one it
    // failed in are read again one at a time, and each page that fails again is zeros and noted as unreadable.
    // Safe from the block readers' threads.
    void ReadPages(std::uint64_t first, std::uint64_t count, std::uint8_t* dst) const;

    platform::ReadOnlyFile file_;
    std::vector<std::uint64_t> held_numbers_;
    AlignedBuffer held_bytes_;
    mutable std::uint64_t file_reads_ = 0;
    mutable std::uint64_t pages_read_ = 0;
    mutable std::mutex unreadable_lock_;
    mutable std::set<std::uint64_t> unreadable_;
    mutable std::array<AlignedBuffer, kCacheSlots> slot_bytes_;
    mutable std::array<CachedPage, kCacheSlots> cache_;
    mutable std::uint64_t use_clock_ = 0;
    mutable std::size_t last_slot_ = 0;  // the slot Load returned last: readers read field after field of one page
};

// The pages (ascending, no repeats) with the pages of each gap of at most three pages between them added, as
// long as the whole stays within limit pages: for HoldPages, one larger read costs less than several small ones.
std::vector<std::uint64_t> WithSmallGapsFilled(const std::vector<std::uint64_t>& page_numbers, std::size_t limit);

// A walk over a list of pages in the list's order that reads them a chunk at a time: when the walk reaches a
// chunk, its pages are held (one read per run of neighbouring pages), so each page of the list is read from
// the file once, in large reads, however the list is ordered.
class ChunkedPageWalk {
public:
    ChunkedPageWalk(DataFile& file, std::vector<std::uint64_t> page_offsets)
        : file_(file), offsets_(std::move(page_offsets)) {}
    ~ChunkedPageWalk() { file_.ReleaseHeldPages(); }
    ChunkedPageWalk(const ChunkedPageWalk&) = delete;
    ChunkedPageWalk& operator=(const ChunkedPageWalk&) = delete;

    // Call with the index of the list entry the walk is about to read.
    void Reach(std::size_t index);

private:
    static constexpr std::size_t kChunkPages = 256;  // 2 MiB held at a time (8 MiB at most with the gaps filled)
    DataFile& file_;
    std::vector<std::uint64_t> offsets_;
    std::size_t chunk_end_ = 0;
};

}  // namespace mdf
