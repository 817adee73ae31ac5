// Compact row storage of the table view and the index sort of its shown order.
#include "app/row_store.h"

#include <malloc.h>
#include <sys/mman.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <numeric>
#include <thread>
#include <optional>
#include <unordered_map>

#include "platform/text.h"

namespace app {

namespace {

// Blocks are mapped from the system directly, so emptying the store gives them back whatever the allocator's
// thresholds are. A row larger than a block gets a block of its own size.
constexpr std::size_t kBlockBytes = std::size_t{1} << 20;
constexpr std::size_t kPageBytes = 4096;
constexpr std::size_t kSlotBytes = sizeof(std::uint32_t);

char* MapBlock(std::size_t size) {
    void* at = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (at == MAP_FAILED) throw std::bad_alloc();
    return static_cast<char*>(at);
}

void PutVarint(std::string& out, std::size_t value) {
    while (value >= 0x80) {
        out.push_back(static_cast<char>(0x80 | (value & 0x7F)));
        value >>= 7;
    }
    out.push_back(static_cast<char>(value));
}

std::size_t GetVarint(const char*& at) {
    std::size_t value = 0;
    int shift = 0;
    for (;;) {
        const auto byte = static_cast<unsigned char>(*at++);
        value |= static_cast<std::size_t>(byte & 0x7F) << shift;
        if ((byte & 0x80) == 0) return value;
        shift += 7;
    }
}

}  // namespace

RowStore::~RowStore() { Clear(); }

RowStore::Block& RowStore::RoomFor(std::size_t bytes) {
    if (!blocks_.empty()) {
        Block& last = blocks_.back();
        if (last.used + bytes + kSlotBytes * (last.rows + 1) <= last.size) return last;
    }
    Block block;
    block.size = std::max(kBlockBytes, (bytes + kSlotBytes + kPageBytes - 1) / kPageBytes * kPageBytes);
    block.data = MapBlock(block.size);
    block.first_row = rows_;
    blocks_.push_back(block);
    return blocks_.back();
}

void RowStore::Append(const std::vector<std::u16string>& cells) {
    scratch_.clear();
    PutVarint(scratch_, cells.size());
    for (const auto& text : cells) {
        PutVarint(scratch_, platform::Utf8Length(text));
        platform::AppendUtf8(scratch_, text);
    }
    Block& block = RoomFor(scratch_.size());
    std::memcpy(block.data + block.used, scratch_.data(), scratch_.size());
    const auto start = static_cast<std::uint32_t>(block.used);
    ++block.rows;
    std::memcpy(block.data + block.size - kSlotBytes * block.rows, &start, kSlotBytes);
    block.used += scratch_.size();
    ++rows_;
}

const char* RowStore::RowStart(std::size_t row) const {
    if (row >= rows_) return nullptr;
    // Most lookups are near the end (rows arriving) or on screen; the blocks are few, so a binary search is cheap.
    const auto after = std::upper_bound(blocks_.begin(), blocks_.end(), row,
                                        [](std::size_t r, const Block& b) { return r < b.first_row; });
    const Block& block = *(after - 1);
    const std::size_t index = row - block.first_row;
    std::uint32_t start = 0;
    std::memcpy(&start, block.data + block.size - kSlotBytes * (index + 1), kSlotBytes);
    return block.data + start;
}

std::size_t RowStore::CellCount(std::size_t row) const {
    const char* at = RowStart(row);
    return at ? GetVarint(at) : 0;
}

std::string_view RowStore::Cell(std::size_t row, std::size_t column) const {
    const char* at = RowStart(row);
    if (!at) return {};
    const std::size_t count = GetVarint(at);
    if (column >= count) return {};
    for (std::size_t c = 0; c < column; ++c) at += GetVarint(at);
    const std::size_t length = GetVarint(at);
    return {at, length};
}

std::u16string RowStore::CellText(std::size_t row, std::size_t column) const {
    return platform::FromUtf8(Cell(row, column));
}

void RowStore::ForEachCell(std::size_t column,
                           const std::function<void(std::size_t row, std::string_view cell)>& visit) const {
    ForEachCell(column, visit, 0, blocks_.size());
}

void RowStore::ForEachCell(std::size_t column, const std::function<void(std::size_t row, std::string_view cell)>& visit,
                           std::size_t first_block, std::size_t end_block) const {
    for (std::size_t b = first_block; b < std::min(end_block, blocks_.size()); ++b) {
        const Block& block = blocks_[b];
        for (std::uint32_t index = 0; index < block.rows; ++index) {
            std::uint32_t start = 0;
            std::memcpy(&start, block.data + block.size - kSlotBytes * (index + 1), kSlotBytes);
            const char* at = block.data + start;
            const std::size_t count = GetVarint(at);
            std::string_view cell;
            if (column < count) {
                for (std::size_t c = 0; c < column; ++c) at += GetVarint(at);
                const std::size_t length = GetVarint(at);
                cell = {at, length};
            }
            visit(block.first_row + index, cell);
        }
    }
}

void RowStore::Clear() {
    for (const Block& block : blocks_) ::munmap(block.data, block.size);
    std::vector<Block>().swap(blocks_);
    std::string().swap(scratch_);
    rows_ = 0;
    // Whatever the rows' way here left free in the heap goes back too.
    ::malloc_trim(0);
}

std::size_t RowStore::BytesHeld() const {
    std::size_t bytes = blocks_.capacity() * sizeof(Block);
    for (const Block& block : blocks_) bytes += block.size;
    return bytes;
}

namespace {

// A number cell as ParseNumberCell reads it (the C library's strtoll: blanks, a sign, the digits up to the first
// other character, saturating at the 64-bit limits), without a copy of the text.
std::optional<std::int64_t> NumberKey(std::string_view cell) {
    std::size_t i = 0;
    auto space = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    while (i < cell.size() && space(cell[i])) ++i;
    bool negative = false;
    if (i < cell.size() && (cell[i] == '-' || cell[i] == '+')) negative = cell[i++] == '-';
    if (i >= cell.size() || cell[i] < '0' || cell[i] > '9') return std::nullopt;
    // Accumulated as a negative number, whose range reaches the most negative value.
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    std::int64_t value = 0;
    bool saturated = false;
    for (; i < cell.size() && cell[i] >= '0' && cell[i] <= '9'; ++i) {
        const int digit = cell[i] - '0';
        if (saturated) continue;
        if (value < (kMin + digit) / 10) {
            saturated = true;
            continue;
        }
        value = value * 10 - digit;
    }
    if (saturated) return negative ? kMin : std::numeric_limits<std::int64_t>::max();
    if (negative) return value;
    return value == kMin ? std::numeric_limits<std::int64_t>::max() : -value;
}

// From this many rows the keys are read by several threads.
constexpr std::size_t kParallelRows = 200000;

// Keys whose unsigned order is the order of the values.
std::uint64_t OrderedKey(std::int64_t value) { return static_cast<std::uint64_t>(value) ^ (std::uint64_t{1} << 63); }
std::uint64_t OrderedKey(double value) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return (bits >> 63) ? ~bits : bits | (std::uint64_t{1} << 63);
}

// A stable sort of positions by their 64-bit keys, a byte at a time from the least significant; passes over
// bytes that every key shares are left out (row numbers or amounts use three or four of the eight). A byte's
// 256 buckets keep the scattered writes in the cache, where wider digits would miss it on every row.
void RadixSort(std::vector<std::uint64_t>& keys, std::vector<std::uint32_t>& positions) {
    const std::size_t n = keys.size();
    constexpr int kPasses = 8;
    constexpr std::size_t kBuckets = 256;
    std::vector<std::uint32_t> counts(kPasses * kBuckets, 0);
    for (const std::uint64_t key : keys) {
        for (int pass = 0; pass < kPasses; ++pass) ++counts[pass * kBuckets + ((key >> (8 * pass)) & 0xFF)];
    }
    std::vector<std::uint64_t> keys_out;
    std::vector<std::uint32_t> positions_out;
    for (int pass = 0; pass < kPasses; ++pass) {
        std::uint32_t* count = counts.data() + pass * kBuckets;
        if (n == 0 || count[(keys[0] >> (8 * pass)) & 0xFF] == n) continue;  // one bucket holds every key
        if (keys_out.empty()) {
            keys_out.resize(n);
            positions_out.resize(n);
        }
        std::uint32_t sum = 0;
        for (std::size_t b = 0; b < kBuckets; ++b) {
            const std::uint32_t c = count[b];
            count[b] = sum;
            sum += c;
        }
        const int shift = 8 * pass;
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint32_t at = count[(keys[i] >> shift) & 0xFF]++;
            keys_out[at] = keys[i];
            positions_out[at] = positions[i];
        }
        keys.swap(keys_out);
        positions.swap(positions_out);
    }
}

// The first eight bytes of a text, big-endian, zero-padded: where two prefixes differ, they order the texts as a
// byte comparison would; where they are equal the whole texts decide. Most comparisons then touch no text.
struct TextKey {
    std::uint64_t prefix;
    std::string_view text;
    std::uint32_t position;
};

std::uint64_t TextPrefix(std::string_view text) {
    std::uint64_t prefix = 0;
    for (std::size_t i = 0; i < 8; ++i) {
        prefix <<= 8;
        if (i < text.size()) prefix |= static_cast<unsigned char>(text[i]);
    }
    return prefix;
}

// Texts that repeat (a status, a name, a short note) are ranked once each and the rows sorted by rank and
// position, so two equal texts cost no comparison of their bytes. Fills `order` with positions and returns
// true; false, leaving `order` alone, when the texts are mostly different (the prefix sort is then the cheaper).
bool SortByRanks(const std::vector<std::string_view>& cells, bool ascending, std::vector<std::uint32_t>& order) {
    const std::size_t n = cells.size();
    const std::size_t most_distinct = std::max<std::size_t>(1024, n / 16);
    std::unordered_map<std::string_view, std::uint32_t> ids;
    std::vector<std::uint32_t> id_of(n);
    for (std::size_t i = 0; i < n; ++i) {
        const auto found = ids.try_emplace(cells[i], static_cast<std::uint32_t>(ids.size())).first;
        if (ids.size() > most_distinct) return false;
        id_of[i] = found->second;
    }
    std::vector<std::string_view> distinct(ids.size());
    for (const auto& [text, id] : ids) distinct[id] = text;
    std::vector<std::uint32_t> by_text(distinct.size());
    std::iota(by_text.begin(), by_text.end(), 0u);
    std::sort(by_text.begin(), by_text.end(),
              [&distinct](std::uint32_t a, std::uint32_t b) { return distinct[a] < distinct[b]; });
    std::vector<std::uint32_t> rank(distinct.size());
    for (std::size_t r = 0; r < by_text.size(); ++r) {
        rank[by_text[r]] = static_cast<std::uint32_t>(ascending ? r : by_text.size() - 1 - r);
    }
    std::vector<std::uint64_t> keys(n);
    for (std::size_t i = 0; i < n; ++i) keys[i] = (std::uint64_t{rank[id_of[i]]} << 32) | i;
    std::sort(keys.begin(), keys.end());
    for (std::size_t i = 0; i < n; ++i) order[i] = static_cast<std::uint32_t>(keys[i] & 0xFFFFFFFFu);
    return true;
}

}  // namespace

std::vector<std::uint32_t> SortRowOrder(const RowStore& store, const std::vector<std::uint32_t>& shown, int column,
                                        const ColumnSortInfo& info) {
    const std::size_t n = shown.empty() ? store.size() : shown.size();
    std::vector<std::uint32_t> order(n);
    auto row_at = [&](std::size_t position) {
        return shown.empty() ? static_cast<std::uint32_t>(position) : shown[position];
    };
    if (!IsSortable(info) || info.type == kCompareNone || column < 0) {
        for (std::size_t i = 0; i < n; ++i) order[i] = row_at(i);
        return order;
    }
    const bool ascending = IsAscending(info);
    const auto col = static_cast<std::size_t>(column);

    if (info.type == kCompareNumber || info.type == kCompareDateTime || info.type == kCompareDecimal ||
        info.type == kCompareGridDateTime || info.type == kCompareTimeOfDay) {
        // Each shown position's key, read through the store in its own order (a row's position from the
        // inverse of the shown order); positions whose cell does not parse are marked.
        std::vector<std::uint32_t> position_of;
        if (!shown.empty()) {
            position_of.assign(store.size(), std::numeric_limits<std::uint32_t>::max());
            for (std::size_t i = 0; i < n; ++i) position_of[shown[i]] = static_cast<std::uint32_t>(i);
        }
        std::vector<std::uint64_t> keys(n);
        std::vector<std::uint8_t> parsed(n);
        const auto read_key = [&](std::size_t row, std::string_view cell) {
            const std::uint32_t position = shown.empty() ? static_cast<std::uint32_t>(row) : position_of[row];
            if (position >= n) return;  // a row the shown order leaves out
            std::optional<std::uint64_t> key;
            switch (info.type) {
                case kCompareNumber:
                    if (const auto v = NumberKey(cell)) key = OrderedKey(*v);
                    break;
                case kCompareDecimal:
                    if (const auto v = DecimalCellValue(cell)) key = OrderedKey(*v);
                    break;
                case kCompareDateTime:
                    if (const auto v = DateTimeSortKey(platform::FromUtf8(cell))) key = OrderedKey(*v);
                    break;
                default:
                    if (const auto v = GridDateTimeKey(cell, info.type == kCompareTimeOfDay)) key = OrderedKey(*v);
                    break;
            }
            if (!key) return;
            keys[position] = ascending ? *key : ~*key;
            parsed[position] = 1;
        };
        // Each row has its own position, so threads that read different blocks never write the same key.
        const std::size_t blocks = store.BlockCount();
        const std::size_t threads =
            n >= kParallelRows ? std::min<std::size_t>({std::thread::hardware_concurrency(), 8, blocks}) : 1;
        if (threads <= 1) {
            store.ForEachCell(col, read_key);
        } else {
            std::vector<std::thread> readers;
            for (std::size_t t = 0; t < threads; ++t) {
                readers.emplace_back([&, t] {
                    store.ForEachCell(col, read_key, blocks * t / threads, blocks * (t + 1) / threads);
                });
            }
            for (auto& reader : readers) reader.join();
        }
        std::vector<std::uint32_t>().swap(position_of);
        // The parsed ones kept in place, in shown order, with their positions; the others apart.
        std::vector<std::uint32_t> positions;
        std::vector<std::uint32_t> unparsed;
        positions.reserve(n);
        std::size_t kept = 0;
        for (std::size_t i = 0; i < n; ++i) {
            if (!parsed[i]) {
                unparsed.push_back(static_cast<std::uint32_t>(i));
                continue;
            }
            keys[kept++] = keys[i];
            positions.push_back(static_cast<std::uint32_t>(i));
        }
        keys.resize(kept);
        std::vector<std::uint8_t>().swap(parsed);
        RadixSort(keys, positions);
        if (info.type == kCompareDecimal) {
            // Cells whose doubles are equal may still differ in their exact values (more digits than a double
            // holds): such runs are put in their exact order, equal values keeping theirs.
            for (std::size_t first = 0; first < keys.size();) {
                std::size_t last = first + 1;
                while (last < keys.size() && keys[last] == keys[first]) ++last;
                if (last - first > 1) {
                    const std::string_view head = store.Cell(row_at(positions[first]), col);
                    bool all_same = true;
                    for (std::size_t k = first + 1; k < last && all_same; ++k) {
                        all_same = store.Cell(row_at(positions[k]), col) == head;
                    }
                    if (!all_same) {
                        std::stable_sort(positions.begin() + static_cast<std::ptrdiff_t>(first),
                                         positions.begin() + static_cast<std::ptrdiff_t>(last),
                                         [&](std::uint32_t a, std::uint32_t b) {
                                             const int c = CompareDecimalExactly(store.Cell(row_at(a), col),
                                                                                 store.Cell(row_at(b), col));
                                             return ascending ? c < 0 : c > 0;
                                         });
                    }
                }
                first = last;
            }
        }
        // Cells that do not parse come last in either direction, in the order they had.
        std::size_t k = 0;
        for (const std::uint32_t position : positions) order[k++] = row_at(position);
        for (const std::uint32_t position : unparsed) order[k++] = row_at(position);
        return order;
    }

    // Text (and any other type): byte order of the UTF-8, which is what the store keeps.
    std::vector<std::string_view> cells(n);
    for (std::size_t i = 0; i < n; ++i) cells[i] = store.Cell(row_at(i), col);
    if (SortByRanks(cells, ascending, order)) {
        for (auto& row : order) row = row_at(row);
        return order;
    }
    std::vector<TextKey> keys(n);
    for (std::size_t i = 0; i < n; ++i) keys[i] = {TextPrefix(cells[i]), cells[i], static_cast<std::uint32_t>(i)};
    std::vector<std::string_view>().swap(cells);
    std::sort(keys.begin(), keys.end(), [ascending](const TextKey& a, const TextKey& b) {
        if (a.prefix != b.prefix) return ascending ? a.prefix < b.prefix : a.prefix > b.prefix;
        const int c = a.text.compare(b.text);
        if (c != 0) return ascending ? c < 0 : c > 0;
        return a.position < b.position;
    });
    for (std::size_t i = 0; i < n; ++i) order[i] = row_at(keys[i].position);
    return order;
}

}  // namespace app
