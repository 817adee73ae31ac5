// The walk over a large value's chain of records (text, ntext, image and values stored out of the row): from the
// first record through roots and internal nodes to the data records, breadth first, each record read in place
// with torn-sector restoration. Three consumers share it: text, a copy to the output file, and bytes in memory.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <span>
#include <string>
#include <unordered_set>

#include "mdf/recovery_engine.h"
#include "platform/text.h"

namespace mdf {

namespace {

constexpr std::uint64_t kSlotCountOffset = 22;
constexpr std::uint32_t kPageHeaderSize = 96;
constexpr std::uint32_t kMaxSlotCount = (kPageSize - kPageHeaderSize) / 2;

constexpr std::uint16_t kSmallRoot = 0;
constexpr std::uint16_t kInternalNode = 2;
constexpr std::uint16_t kDataRecord = 3;
constexpr std::uint16_t kLargeRoot = 4;
constexpr std::uint16_t kLargeRootOther = 5;

constexpr std::uint32_t kTypeOffset = 12;
constexpr std::uint32_t kDataHeaderSize = 14;       // data record: data from offset 14
constexpr std::uint32_t kSmallRootHeaderSize = 20;  // small root: length at 14, data from 20
constexpr std::uint32_t kNodeHeaderSize = 28;       // roots and internal nodes: count at 16, entries from 28

// Receives the data bytes of one record; false means the bytes could not be taken (the walk ends).
using DeliverFn = std::function<bool(std::span<const std::uint8_t>)>;

// One walk over the chain that starts at (page_offset, slot).
class ChainWalk {
public:
    // A quiet walk sends no message: it looks at the stop request without reporting it, and logs no cut.
    ChainWalk(CRecoveryEngine& engine, const DeliverFn& deliver, bool quiet = false)
        : engine_(engine), deliver_(deliver), quiet_(quiet) {}

    LargeValueEnd Run(std::uint64_t page_offset, std::uint16_t slot) {
        auto& app = engine_.m_app;
        const auto saved_torn_bits = app.m_abTornBits;
        auto& pages = engine_.m_arrVisitedPages;
        auto& slots = engine_.m_arrVisitedSlots;
        pages.clear();
        slots.clear();
        seen_.clear();
        // The first record is met like any other, so a pointer back to it is never followed.
        Meet(page_offset, slot);

        const std::uint32_t limit =
            app.m_bDocumentMode ? kLargeValueRecordLimitDocuments : kLargeValueRecordLimitRepair;
        LargeValueEnd end = LargeValueEnd::Complete;
        for (std::size_t i = 0; i < pages.size(); ++i) {
            if (quiet_ ? app.m_bStopJob.load() : engine_.StopRequested()) {
                end = LargeValueEnd::Stopped;
                break;
            }
            // The first record plus `limit` further ones; the next one ends the walk.
            if (i > limit) {
                end = LargeValueEnd::Cut;
                if (!quiet_) {
                    engine_.LogLine(u"Large value at page " + platform::Widen(std::to_string(page_offset / kPageSize)) +
                                    u", slot " + platform::Widen(std::to_string(slot)) + u" cut after " +
                                    platform::Widen(std::to_string(limit + 1)) + u" records.");
                }
                break;
            }
            if (!Visit(pages[i], slots[i])) {
                end = LargeValueEnd::WriteFailed;
                break;
            }
        }
        app.m_abTornBits = saved_torn_bits;
        pages.clear();
        slots.clear();
        return end;
    }

private:
    // Lists a pair in the order met, once per walk.
    void Meet(std::uint64_t page_offset, std::uint16_t slot) {
        const std::uint64_t key = ((page_offset / kPageSize) << 16) | slot;
        if (!seen_.insert(key).second) return;
        engine_.m_arrVisitedPages.push_back(page_offset);
        engine_.m_arrVisitedSlots.push_back(slot);
    }

    // Reads one record and delivers its data or lists its pointers. A record that cannot be read soundly
    // contributes nothing; false only when the consumer refused bytes.
    bool Visit(std::uint64_t page_offset, std::uint16_t slot) {
        // A page at or past the end of the file: this pointer is skipped, the others are still followed.
        if (page_offset + kSlotCountOffset >= engine_.m_nFileSize) return true;
        engine_.m_app.m_abTornBits = {};
        engine_.LoadTornBits(page_offset);

        const std::uint32_t slot_count = engine_.Read16(page_offset + kSlotCountOffset);
        if (slot >= slot_count) return true;
        const std::uint32_t entry_at = static_cast<std::uint32_t>(kPageSize) - 2 - 2u * slot;
        if (entry_at < kPageHeaderSize) return true;
        const std::uint32_t entry = engine_.Read16(page_offset + entry_at, Fixup::Single);
        // Records lie between the page header and the slot array; with a damaged slot count the array's true
        // start is unknown and the record is held below its own entry.
        const std::uint32_t record_limit = slot_count <= kMaxSlotCount
                                               ? static_cast<std::uint32_t>(kPageSize) - 2 * slot_count
                                               : entry_at;
        if (entry < kPageHeaderSize || entry + kDataHeaderSize > record_limit) return true;
        const std::uint32_t room = record_limit - entry;  // bytes the record may occupy on its page

        const std::uint64_t record = page_offset + entry;
        const std::uint32_t length = engine_.Read16(record + 2, Fixup::Single);
        const std::uint16_t type = engine_.Read16(record + kTypeOffset, Fixup::Single);
        switch (type) {
            case kSmallRoot: {
                if (room < kSmallRootHeaderSize) return true;
                const std::uint32_t n = engine_.Read16(record + 14, Fixup::Single);
                if (kSmallRootHeaderSize + n > room) return true;  // would run past the record's page
                return Deliver(record + kSmallRootHeaderSize, n);
            }
            case kDataRecord: {
                if (length < kDataHeaderSize || length > room) return true;
                return Deliver(record + kDataHeaderSize, length - kDataHeaderSize);
            }
            case kInternalNode:
            case kLargeRoot:
            case kLargeRootOther: {
                if (room < kNodeHeaderSize) return true;
                const std::uint32_t entry_size = type == kInternalNode ? 16 : 12;
                const std::uint32_t count = engine_.Read16(record + 16, Fixup::Single);
                if (kNodeHeaderSize + count * entry_size > room) return true;
                for (std::uint32_t k = 0; k < count; ++k) {
                    const std::uint64_t pointer =
                        engine_.Read64(record + kNodeHeaderSize + k * entry_size, Fixup::Single);
                    const std::uint64_t page_number = pointer & 0xFFFFFFFFu;
                    const auto child_slot = static_cast<std::uint16_t>(pointer >> 48);
                    Meet(page_number * kPageSize, child_slot);
                }
                return true;
            }
            default:
                return true;  // carries nothing that is read
        }
    }

    bool Deliver(std::uint64_t pos, std::uint32_t n) {
        buffer_.assign(n, 0);
        engine_.ReadAt(pos, buffer_.data(), n, Fixup::Multi);
        return deliver_(buffer_);
    }

    CRecoveryEngine& engine_;
    const DeliverFn& deliver_;
    bool quiet_;
    std::unordered_set<std::uint64_t> seen_;
    std::vector<std::uint8_t> buffer_;
};

}  // namespace

LargeValueText CRecoveryEngine::ReadLargeValueText(std::uint64_t page_offset, std::uint16_t slot,
                                                   LargeTextZeros zeros) {
    // The pieces are joined as bytes and converted once, so a character split over two records comes out
    // whole. Ending at zeros: each record's piece ends at its first zero (byte, or 16-bit unit for wide text,
    // the units counted over the joined bytes). Keeping them: every byte of every record is taken.
    const bool wide = m_bWideText;
    const bool keep = zeros == LargeTextZeros::Keep;
    std::vector<std::uint8_t> joined;
    const DeliverFn gather = [&](std::span<const std::uint8_t> bytes) {
        if (bytes.empty()) return true;
        if (keep) {
            joined.insert(joined.end(), bytes.begin(), bytes.end());
            return true;
        }
        if (!wide) {
            const auto* zero = static_cast<const std::uint8_t*>(std::memchr(bytes.data(), 0, bytes.size()));
            const std::size_t keep_bytes = zero ? static_cast<std::size_t>(zero - bytes.data()) : bytes.size();
            joined.insert(joined.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(keep_bytes));
            return true;
        }
        const std::size_t first_unit = joined.size() & ~std::size_t{1};  // may begin in the previous piece
        joined.insert(joined.end(), bytes.begin(), bytes.end());
        for (std::size_t i = first_unit; i + 1 < joined.size(); i += 2) {
            if (joined[i] == 0 && joined[i + 1] == 0) {
                joined.resize(i);
                break;
            }
        }
        return true;
    };
    LargeValueText result;
    result.end = ChainWalk(*this, gather).Run(page_offset, slot);
    if (result.end == LargeValueEnd::Stopped) return result;
    if (!keep) {
        result.text = wide ? platform::Utf16LeToString(joined) : platform::AnsiToUtf16(joined);
    } else if (!wide) {
        result.text = platform::AnsiCodePage().Decode(joined);
    } else {
        // An odd last byte is no unit and is left out, as the ending reading leaves it out.
        result.text.reserve(joined.size() / 2);
        for (std::size_t i = 0; i + 1 < joined.size(); i += 2) {
            result.text.push_back(static_cast<char16_t>(joined[i] | (joined[i + 1] << 8)));
        }
    }
    return result;
}

LargeValueEnd CRecoveryEngine::CopyLargeValueToFile(std::uint64_t page_offset, std::uint16_t slot) {
    const DeliverFn write = [this](std::span<const std::uint8_t> bytes) {
        if (!m_hOutputFile) return false;
        if (bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), m_hOutputFile) == bytes.size()) return true;
        m_nOutputError = errno;
        return false;
    };
    const LargeValueEnd end = ChainWalk(*this, write).Run(page_offset, slot);
    if (end == LargeValueEnd::WriteFailed) LogLine(u"The output file could not be written.");
    return end;
}

LargeValueEnd CRecoveryEngine::ReadLargeValueBytes(std::uint64_t page_offset, std::uint16_t slot,
                                                   std::vector<std::uint8_t>& out) {
    const DeliverFn append = [&out](std::span<const std::uint8_t> bytes) {
        out.insert(out.end(), bytes.begin(), bytes.end());
        return true;
    };
    return ChainWalk(*this, append).Run(page_offset, slot);
}

LargeValueEnd CRecoveryEngine::GatherLargeValueBytes(std::uint64_t page_offset, std::uint16_t slot,
                                                     std::vector<std::uint8_t>& out, std::vector<std::uint32_t>& pieces,
                                                     std::size_t max_bytes) {
    const DeliverFn append = [&](std::span<const std::uint8_t> bytes) {
        if (bytes.empty()) return true;
        if (bytes.size() > max_bytes - std::min(max_bytes, out.size())) return false;
        out.insert(out.end(), bytes.begin(), bytes.end());
        pieces.push_back(static_cast<std::uint32_t>(bytes.size()));
        return true;
    };
    return ChainWalk(*this, append, true).Run(page_offset, slot);
}

}  // namespace mdf
