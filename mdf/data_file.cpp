// Page cache and sequential block reads over the read-only data file.
#include "mdf/data_file.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include <sched.h>
#include <sys/mman.h>

namespace mdf {

namespace {
constexpr std::size_t kMemoryPage = 4096;
constexpr std::size_t kHugePage = 2 * 1024 * 1024;

// The processors this process may run on (taskset, a container's share), which may be fewer than the machine has.
unsigned UsableProcessors() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0) {
        const int count = CPU_COUNT(&set);
        if (count > 0) return static_cast<unsigned>(count);
    }
    return std::thread::hardware_concurrency();
}
}  // namespace

AlignedBuffer::AlignedBuffer(std::size_t size, std::size_t alignment)
    : bytes_(static_cast<std::uint8_t*>(::operator new(size, std::align_val_t{alignment})), Free{alignment}),
      size_(size) {}

AlignedBuffer::AlignedBuffer(std::size_t size) : AlignedBuffer(size, kMemoryPage) {
    std::memset(bytes_.get(), 0, size);
}

AlignedBuffer AlignedBuffer::Unfilled(std::size_t size) {
    if (size < kHugePage) return AlignedBuffer(size, kMemoryPage);
    AlignedBuffer buffer(size, kHugePage);
    ::madvise(buffer.data(), size / kHugePage * kHugePage, MADV_HUGEPAGE);  // only a wish
    return buffer;
}

void AlignedBuffer::Free::operator()(std::uint8_t* p) const { ::operator delete(p, std::align_val_t{alignment}); }

DataFile::DataFile() = default;
DataFile::~DataFile() = default;

void DataFile::GiveSlotItsBytes(CachedPage& slot) const {
    // Made when the slot first takes a page read from the file, not before: a file served from memory needs
    // them only for a last page the file ends in.
    AlignedBuffer& bytes = slot_bytes_[static_cast<std::size_t>(&slot - cache_.data())];
    bytes = AlignedBuffer(kPageSize);
    slot.own = bytes.data();
}

bool DataFile::Open(const std::filesystem::path& path) {
    for (auto& slot : cache_) slot.page_number = UINT64_MAX;
    ReleaseHeldPages();
    {
        const std::lock_guard<std::mutex> hold(unreadable_lock_);
        unreadable_.clear();
    }
    return file_.Open(path);
}

void DataFile::Close() {
    file_.Close();
    ReleaseHeldPages();
    for (auto& slot : cache_) slot.page_number = UINT64_MAX;
}

void DataFile::ReadPages(std::uint64_t first, std::uint64_t count, std::uint8_t* dst) const {
    const auto whole = file_.ReadAt(first * kPageSize, dst, static_cast<std::size_t>(count * kPageSize));
    if (whole.error == 0) return;
    // The pages before the one the read failed in came whole; the rest are read again one at a time, so a bad
    // sector costs its own page only.
    for (std::uint64_t i = whole.bytes / kPageSize; i < count; ++i) {
        std::uint8_t* const page = dst + i * kPageSize;
        if (file_.ReadAt((first + i) * kPageSize, page, kPageSize).error == 0) continue;
        // A page read only in part is no page: none of its bytes are kept.
        std::memset(page, 0, kPageSize);
        const std::lock_guard<std::mutex> hold(unreadable_lock_);
        unreadable_.insert(first + i);
    }
}

std::vector<std::uint64_t> DataFile::UnreadablePages() const {
    const std::lock_guard<std::mutex> hold(unreadable_lock_);
    return {unreadable_.begin(), unreadable_.end()};
}

DataFile::CachedPage& DataFile::Load(std::uint64_t page_number) const {
    auto& slots = cache_;
    if (CachedPage& last = slots[last_slot_]; last.page_number == page_number) {
        last.last_use = ++use_clock_;
        return last;
    }
    CachedPage* victim = &slots[0];
    for (auto& slot : slots) {
        if (slot.page_number == page_number) {
            slot.last_use = ++use_clock_;
            last_slot_ = static_cast<std::size_t>(&slot - slots.data());
            return slot;
        }
        if (slot.last_use < victim->last_use) victim = &slot;
    }
    const auto held = std::lower_bound(held_numbers_.begin(), held_numbers_.end(), page_number);
    const auto memory = file_.MemoryBytes();
    if (file_.InMemory() && (page_number + 1) * kPageSize <= memory.size()) {
        victim->bytes = memory.data() + page_number * kPageSize;
    } else if (held != held_numbers_.end() && *held == page_number) {
        victim->bytes = held_bytes_.data() + (held - held_numbers_.begin()) * kPageSize;
    } else {
        if (victim->own == nullptr) GiveSlotItsBytes(*victim);
        victim->bytes = victim->own;
        ReadPages(page_number, 1, victim->own);
        ++file_reads_;
        ++pages_read_;
    }
    victim->page_number = page_number;
    victim->last_use = ++use_clock_;
    last_slot_ = static_cast<std::size_t>(victim - slots.data());
    return *victim;
}

void DataFile::ReadThroughCache(std::uint64_t pos, void* dst, std::size_t n) const {
    auto* out = static_cast<std::uint8_t*>(dst);
    while (n > 0) {
        const std::uint64_t page_number = pos / kPageSize;
        const std::size_t in_page = static_cast<std::size_t>(pos % kPageSize);
        const std::size_t take = std::min(n, kPageSize - in_page);
        if (pos >= file_.Size()) {
            std::memset(out, 0, n);
            return;
        }
        const CachedPage& page = Load(page_number);
        std::memcpy(out, page.bytes + in_page, take);
        out += take;
        pos += take;
        n -= take;
    }
}

std::span<const std::uint8_t> DataFile::Page(std::uint64_t page_number) const {
    const CachedPage& page = Load(page_number);
    return {page.bytes, kPageSize};
}

void DataFile::LetGoOfHeldSlots() {
    for (auto& slot : cache_) {
        if (slot.bytes == slot.own) continue;
        slot.page_number = UINT64_MAX;
        slot.bytes = slot.own;
    }
}

void DataFile::HoldPages(std::vector<std::uint64_t> page_numbers) {
    if (file_.InMemory()) return;  // every page is in memory already
    LetGoOfHeldSlots();
    // A walk holds chunk after chunk: the buffer of the last chunk is filled again when it is large enough
    // (every byte of it is read or zero-filled below), so the memory is not mapped and cleared afresh each time.
    held_numbers_.clear();
    if (page_numbers.empty()) {
        ReleaseHeldPages();
        return;
    }
    if (held_bytes_.size() < page_numbers.size() * kPageSize) {
        held_bytes_ = AlignedBuffer::Unfilled(page_numbers.size() * kPageSize);
    }
    constexpr std::size_t kMaxRunPages = 128;  // 1 MiB per read at most
    for (std::size_t i = 0; i < page_numbers.size();) {
        std::size_t run = 1;
        while (i + run < page_numbers.size() && run < kMaxRunPages && page_numbers[i + run] == page_numbers[i] + run) ++run;
        ReadPages(page_numbers[i], run, held_bytes_.data() + i * kPageSize);
        ++file_reads_;
        pages_read_ += run;
        i += run;
    }
    held_numbers_ = std::move(page_numbers);
}

void DataFile::HoldPageCopies(std::vector<std::uint64_t> page_numbers, const std::vector<std::uint8_t>& bytes) {
    if (file_.InMemory()) return;
    ReleaseHeldPages();
    if (page_numbers.empty() || bytes.size() != page_numbers.size() * kPageSize) return;
    held_bytes_ = AlignedBuffer::Unfilled(bytes.size());
    std::memcpy(held_bytes_.data(), bytes.data(), bytes.size());
    held_numbers_ = std::move(page_numbers);
}

void DataFile::ReleaseHeldPages() {
    LetGoOfHeldSlots();
    held_numbers_.clear();
    held_numbers_.shrink_to_fit();
    held_bytes_ = AlignedBuffer();
}

std::vector<std::uint64_t> WithSmallGapsFilled(const std::vector<std::uint64_t>& page_numbers, std::size_t limit) {
    constexpr std::uint64_t kMaxGap = 3;
    std::vector<std::uint64_t> runs;
    runs.reserve(page_numbers.size());
    std::size_t added = 0;
    for (const std::uint64_t n : page_numbers) {
        if (!runs.empty() && n > runs.back() + 1 && n - runs.back() - 1 <= kMaxGap &&
            page_numbers.size() + added + (n - runs.back() - 1) <= limit) {
            added += n - runs.back() - 1;
            for (std::uint64_t gap = runs.back() + 1; gap < n; ++gap) runs.push_back(gap);
        }
        runs.push_back(n);
    }
    return runs;
}

void ChunkedPageWalk::Reach(std::size_t index) {
    if (index < chunk_end_ || index >= offsets_.size()) return;
    chunk_end_ = std::min(offsets_.size(), index + kChunkPages);
    std::vector<std::uint64_t> numbers;
    numbers.reserve(chunk_end_ - index);
    for (std::size_t i = index; i < chunk_end_; ++i) numbers.push_back(offsets_[i] / kPageSize);
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    file_.HoldPages(WithSmallGapsFilled(numbers, 4 * kChunkPages));
}

void DataFile::ForEachBlock(
    std::uint64_t first, std::uint64_t count,
    const std::function<void(std::uint64_t, std::uint64_t, std::span<const std::uint8_t>)>& look,
    const std::function<bool(std::uint64_t)>& take) const {
    if (count == 0) return;
    if (file_.InMemory()) {
        // Each block is looked at where it lies (a block the file ends in, in a copy with zeros after the end).
        const auto memory = file_.MemoryBytes();
        AlignedBuffer tail;
        for (std::uint64_t block = 0; block * kScanBlockPages < count; ++block) {
            const std::uint64_t at = first + block * kScanBlockPages;
            const std::uint64_t pages = std::min(kScanBlockPages, count - block * kScanBlockPages);
            std::span<const std::uint8_t> bytes;
            if ((at + pages) * kPageSize <= memory.size()) {
                bytes = memory.subspan(at * kPageSize, pages * kPageSize);
            } else {
                tail = AlignedBuffer(pages * kPageSize);
                ReadPages(at, pages, tail.data());
                bytes = {tail.data(), tail.size()};
            }
            look(block, at, bytes);
            if (!take(block)) return;
        }
        return;
    }
    // The pages ahead come from the system's own read-ahead for a file read in sequence (asked for below). Asking
    // it for 32 MiB windows ahead as well made the uncached scan slower, not faster, both on the plain disk and
    // on one held to 512 MiB/s: the system then looks up again the pages its own read-ahead is bringing in.
    constexpr std::uint64_t kMaxWorkers = 7;
    const std::uint64_t blocks = (count + kScanBlockPages - 1) / kScanBlockPages;
    auto pages_of = [&](std::uint64_t block) { return std::min(kScanBlockPages, count - block * kScanBlockPages); };
    const unsigned cores = UsableProcessors();
    const std::uint64_t workers = std::min({kMaxWorkers, std::max<std::uint64_t>(cores, 2) - 1, blocks});

    // Under `lock`: done[block % kBlocksInFlight] becomes block + 1 when look is through with the block; taken
    // counts the blocks taken; stopped is set once the caller stopped (or look threw). A worker claims the next
    // block (next_block) only when its slot is free: block < taken + kBlocksInFlight. Blocks go to whichever
    // worker is free, so a worker that the system leaves waiting holds up the one block it has, not every
    // worker's share of blocks. Waiting threads sleep on the condition variables; nobody spins.
    std::mutex lock;
    std::condition_variable block_done;
    std::condition_variable slot_free;
    std::array<std::uint64_t, kBlocksInFlight> done{};
    std::uint64_t taken = 0;
    std::uint64_t next_block = 0;  // the next block a worker claims
    bool stopped = false;
    std::exception_ptr failure;
    struct Worker {
        std::thread thread;
        AlignedBuffer bytes;  // made here, so that a failed allocation is thrown to the caller
        std::uint64_t reads = 0;
        std::uint64_t pages = 0;
    };
    std::vector<Worker> pool(static_cast<std::size_t>(workers));
    for (auto& worker : pool) {
        worker.bytes = AlignedBuffer::Unfilled(static_cast<std::size_t>(std::min(kScanBlockPages, count)) * kPageSize);
    }
    auto work = [&](std::uint64_t w) {
        Worker& me = pool[static_cast<std::size_t>(w)];
        std::uint8_t* const block_bytes = me.bytes.data();
        while (true) {
            std::uint64_t block = 0;
            {
                std::unique_lock<std::mutex> hold(lock);
                slot_free.wait(hold, [&] {
                    return stopped || next_block >= blocks || next_block < taken + kBlocksInFlight;
                });
                if (stopped || next_block >= blocks) return;
                block = next_block++;
            }
            const std::uint64_t at = first + block * kScanBlockPages;
            const std::uint64_t pages = pages_of(block);
            ReadPages(at, pages, block_bytes);
            ++me.reads;
            me.pages += pages;
            std::exception_ptr thrown;
            try {
                look(block, at, {block_bytes, pages * kPageSize});
            } catch (...) {
                thrown = std::current_exception();
            }
            {
                const std::lock_guard<std::mutex> hold(lock);
                if (thrown && !failure) failure = thrown;
                done[block % kBlocksInFlight] = block + 1;
            }
            block_done.notify_one();
        }
    };
    // Stops and joins the workers however the taking ends, then counts their reads.
    struct Join {
        const DataFile& file;
        std::vector<Worker>& pool;
        std::mutex& lock;
        std::condition_variable& slot_free;
        bool& stopped;
        ~Join() {
            {
                const std::lock_guard<std::mutex> hold(lock);
                stopped = true;
            }
            slot_free.notify_all();
            for (auto& worker : pool) {
                if (worker.thread.joinable()) worker.thread.join();
                file.file_reads_ += worker.reads;
                file.pages_read_ += worker.pages;
            }
        }
    } join{*this, pool, lock, slot_free, stopped};
    file_.AdviseSequential();
    for (std::uint64_t w = 0; w < workers; ++w) pool[static_cast<std::size_t>(w)].thread = std::thread(work, w);
    for (std::uint64_t block = 0; block < blocks; ++block) {
        {
            std::unique_lock<std::mutex> hold(lock);
            block_done.wait(hold, [&] { return done[block % kBlocksInFlight] == block + 1 || failure; });
            if (failure) std::rethrow_exception(failure);
        }
        if (!take(block)) return;
        {
            const std::lock_guard<std::mutex> hold(lock);
            taken = block + 1;
        }
        slot_free.notify_one();  // one block taken frees one slot
    }
}

}  // namespace mdf
