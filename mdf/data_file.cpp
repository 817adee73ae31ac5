// Page cache and sequential block reads over the read-only data file.
#include "mdf/data_file.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

namespace mdf {

namespace {
constexpr std::size_t kMemoryPage = 4096;
}  // namespace

AlignedBuffer::AlignedBuffer(std::size_t size)
    : bytes_(static_cast<std::uint8_t*>(::operator new(size, std::align_val_t{kMemoryPage}))), size_(size) {
    std::memset(bytes_.get(), 0, size);
}

void AlignedBuffer::Free::operator()(std::uint8_t* p) const { ::operator delete(p, std::align_val_t{kMemoryPage}); }

DataFile::DataFile() : cache_bytes_(kCacheSlots * kPageSize) {
    for (std::size_t i = 0; i < kCacheSlots; ++i) cache_[i].bytes = cache_bytes_.data() + i * kPageSize;
}
DataFile::~DataFile() = default;

bool DataFile::Open(const std::filesystem::path& path) {
    for (auto& slot : cache_) slot.page_number = UINT64_MAX;
    ReleaseHeldPages();
    return file_.Open(path);
}

void DataFile::Close() {
    file_.Close();
    ReleaseHeldPages();
    for (auto& slot : cache_) slot.page_number = UINT64_MAX;
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
    if (held != held_numbers_.end() && *held == page_number) {
        std::memcpy(victim->bytes, held_bytes_.data() + (held - held_numbers_.begin()) * kPageSize, kPageSize);
    } else {
        file_.ReadAt(page_number * kPageSize, victim->bytes, kPageSize);
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

void DataFile::HoldPages(std::vector<std::uint64_t> page_numbers) {
    ReleaseHeldPages();
    if (page_numbers.empty()) return;
    held_bytes_ = AlignedBuffer(page_numbers.size() * kPageSize);
    constexpr std::size_t kMaxRunPages = 128;  // 1 MiB per read at most
    for (std::size_t i = 0; i < page_numbers.size();) {
        std::size_t run = 1;
        while (i + run < page_numbers.size() && run < kMaxRunPages && page_numbers[i + run] == page_numbers[i] + run) ++run;
        file_.ReadAt(page_numbers[i] * kPageSize, held_bytes_.data() + i * kPageSize, run * kPageSize);
        ++file_reads_;
        pages_read_ += run;
        i += run;
    }
    held_numbers_ = std::move(page_numbers);
}

void DataFile::HoldPageCopies(std::vector<std::uint64_t> page_numbers, const std::vector<std::uint8_t>& bytes) {
    ReleaseHeldPages();
    if (page_numbers.empty() || bytes.size() != page_numbers.size() * kPageSize) return;
    held_bytes_ = AlignedBuffer(bytes.size());
    std::memcpy(held_bytes_.data(), bytes.data(), bytes.size());
    held_numbers_ = std::move(page_numbers);
}

void DataFile::ReleaseHeldPages() {
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

void DataFile::ForEachPage(
    std::uint64_t first, std::uint64_t count,
    const std::function<bool(std::uint64_t, std::span<const std::uint8_t>)>& visit) const {
    constexpr std::uint64_t kBlockPages = 128;  // 1 MiB per read
    constexpr std::uint64_t kPrefetchBlocks = 8;
    constexpr auto kCachedBlockTime = std::chrono::microseconds(150);  // 1 MiB at 7 GB/s
    bool cached = false;
    AlignedBuffer block(static_cast<std::size_t>(std::min(kBlockPages, std::max<std::uint64_t>(count, 1))) * kPageSize);
    file_.AdviseSequential();
    for (std::uint64_t done = 0; done < count;) {
        const std::uint64_t pages = std::min(kBlockPages, count - done);
        // The next blocks are requested before this one is read, so the disk works while the pages are looked
        // at. Not while the blocks come from the system's cache (a block read at memory speed): the request
        // would only look the cached pages up once more.
        if (done == 0) {
            file_.Prefetch(first * kPageSize, kPrefetchBlocks * kBlockPages * kPageSize);
        } else if (!cached) {
            file_.Prefetch((first + done + (kPrefetchBlocks - 1) * kBlockPages) * kPageSize, kBlockPages * kPageSize);
        }
        const auto started = std::chrono::steady_clock::now();
        file_.ReadAt((first + done) * kPageSize, block.data(), pages * kPageSize);
        cached = std::chrono::steady_clock::now() - started < kCachedBlockTime;
        ++file_reads_;
        pages_read_ += pages;
        for (std::uint64_t i = 0; i < pages; ++i) {
            if (!visit(first + done + i, {block.data() + i * kPageSize, kPageSize})) return;
        }
        done += pages;
    }
}

}  // namespace mdf
