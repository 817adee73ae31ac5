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
#include <unordered_map>
#include <unordered_set>

#include "mdf/allocation_maps.h"
#include "mdf/catalog_page.h"
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

constexpr std::uint8_t kTextMixPage = 3;
constexpr std::uint8_t kTextTreePage = 4;
constexpr std::uint32_t kRecordIdOffset = 4;

// Receives the data bytes of one record; false means the bytes could not be taken (the walk ends).
using DeliverFn = std::function<bool(std::span<const std::uint8_t>)>;

std::u16string Number(std::uint64_t n) { return platform::Widen(std::to_string(n)); }

std::u16string Hex(std::uint64_t n) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(n));
    return platform::Widen(text);
}

std::uint32_t U32At(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
           (static_cast<std::uint32_t>(b[at + 2]) << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

// One walk over the chain that starts at (page_offset, slot).
class ChainWalk {
public:
    // A quiet walk sends no message: it looks at the stop request without reporting it, and logs no cut.
    ChainWalk(CRecoveryEngine& engine, const DeliverFn& deliver, const LargeValueOrigin& origin, bool quiet = false)
        : engine_(engine), deliver_(deliver), origin_(origin), quiet_(quiet) {}

    LargeValueEnd Run(std::uint64_t page_offset, std::uint16_t slot) {
        auto& app = engine_.m_app;
        const auto saved_torn_bits = app.m_abTornBits;
        auto& pages = engine_.m_arrVisitedPages;
        auto& slots = engine_.m_arrVisitedSlots;
        pages.clear();
        slots.clear();
        ids_.clear();
        seen_.clear();
        engine_.m_strLargeValueLoss.clear();
        // The first record is met like any other, so a pointer back to it is never followed.
        Meet(page_offset, slot, origin_.record_id);

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
                    engine_.LogLine(u"Large value at page " + Number(page_offset / kPageSize) + u", slot " +
                                    Number(slot) + u" cut after " + Number(limit + 1) + u" records.");
                }
                break;
            }
            if (!Visit(pages[i], slots[i], ids_[i])) {
                end = LargeValueEnd::WriteFailed;
                break;
            }
        }
        if (end == LargeValueEnd::Complete && origin_.length && delivered_ != *origin_.length && losses_ == 0) {
            Lose(Number(delivered_) + u" bytes read of the " + Number(*origin_.length) + u" its pointer names");
        }
        if (end == LargeValueEnd::Complete && losses_ != 0) end = LargeValueEnd::Damaged;
        if (losses_ > 1) engine_.m_strLargeValueLoss += u" and " + Number(losses_ - 1) + u" more";
        app.m_abTornBits = saved_torn_bits;
        pages.clear();
        slots.clear();
        return end;
    }

private:
    // Lists a pair in the order met, once per walk, with the id its record must carry.
    void Meet(std::uint64_t page_offset, std::uint16_t slot, std::optional<std::uint64_t> id) {
        const std::uint64_t key = ((page_offset / kPageSize) << 16) | slot;
        if (!seen_.insert(key).second) return;
        engine_.m_arrVisitedPages.push_back(page_offset);
        engine_.m_arrVisitedSlots.push_back(slot);
        ids_.push_back(id);
    }

    // A record of the value that could not be read as its own: the first one is kept for the caller.
    bool Lose(const std::u16string& why) {
        if (losses_++ == 0) engine_.m_strLargeValueLoss = why;
        return true;
    }

    // Holds the page against what its pointer says it is; the verdict is kept for the rest of the walk.
    bool PageSound(std::uint64_t page_offset) {
        const std::uint64_t number = page_offset / kPageSize;
        if (const auto known = pages_checked_.find(number); known != pages_checked_.end()) return known->second;
        bool sound = false;
        const std::vector<std::uint8_t> header = engine_.ReadBytes(page_offset, 40, Fixup::None);
        const std::u16string page = u"page " + Number(number);
        const std::uint8_t type = header[1];
        if (header[0] != 1) {
            Lose(page + u" has no page header");
        } else if (type != kTextMixPage && type != kTextTreePage) {
            Lose(page + u" is no large-value page (page type " + Number(type) + u")");
        } else if (const std::uint32_t named = U32At(header, kPageHeaderPageIdOffset); named != number) {
            Lose(page + u" is not the page its pointer names (its header says page " + Number(named) + u")");
        } else if (const auto damage = engine_.ScanDamageOf(number)) {
            Lose(page + u" failed its check (" + platform::Widen(PageDamageText(*damage)) + u")");
        } else if (const std::uint32_t owner = U32At(header, kPageHeaderObjectIdOffset);
                   origin_.table_object_id &&
                   !engine_.LargeValuePageOwnedBy(owner, static_cast<std::uint16_t>(header[6] | (header[7] << 8)),
                                                  *origin_.table_object_id)) {
            Lose(page + u" belongs to another object (owner " + Number(owner) + u")");
        } else {
            sound = true;
        }
        pages_checked_.emplace(number, sound);
        return sound;
    }

    // Reads one record and delivers its data or lists its pointers. A record that cannot be read soundly
    // contributes nothing and is counted as lost; false only when the consumer refused bytes.
    bool Visit(std::uint64_t page_offset, std::uint16_t slot, std::optional<std::uint64_t> expected_id) {
        const std::u16string where = u"page " + Number(page_offset / kPageSize) + u", slot " + Number(slot);
        if (page_offset + kPageSize > engine_.m_nFileSize) return Lose(where + u" lies beyond the end of the file");
        if (!PageSound(page_offset)) return true;
        engine_.m_app.m_abTornBits = {};
        engine_.LoadTornBits(page_offset);

        const std::uint32_t slot_count = engine_.Read16(page_offset + kSlotCountOffset);
        if (slot >= slot_count) return Lose(where + u": the page has " + Number(slot_count) + u" slots");
        const std::uint32_t entry_at = static_cast<std::uint32_t>(kPageSize) - 2 - 2u * slot;
        if (entry_at < kPageHeaderSize) return Lose(where + u": no such slot");
        const std::uint32_t entry = engine_.Read16(page_offset + entry_at, Fixup::Single);
        // Records lie between the page header and the slot array; with a damaged slot count the array's true
        // start is unknown and the record is held below its own entry.
        const std::uint32_t record_limit = slot_count <= kMaxSlotCount
                                               ? static_cast<std::uint32_t>(kPageSize) - 2 * slot_count
                                               : entry_at;
        if (entry < kPageHeaderSize || entry + kDataHeaderSize > record_limit) {
            return Lose(where + u": its record offset " + Number(entry) + u" is outside the page's records");
        }
        const std::uint32_t room = record_limit - entry;  // bytes the record may occupy on its page

        const std::uint64_t record = page_offset + entry;
        const std::uint64_t id = engine_.Read64(record + kRecordIdOffset, Fixup::Single);
        if (expected_id && id != *expected_id) {
            return Lose(where + u" holds another value's record (id " + Hex(id) + u", its pointer names " +
                        Hex(*expected_id) + u")");
        }
        const std::uint32_t length = engine_.Read16(record + 2, Fixup::Single);
        const std::uint16_t type = engine_.Read16(record + kTypeOffset, Fixup::Single);
        const std::u16string broken = where + u": its record is broken";
        switch (type) {
            case kSmallRoot: {
                if (room < kSmallRootHeaderSize) return Lose(broken);
                const std::uint32_t n = engine_.Read16(record + 14, Fixup::Single);
                if (kSmallRootHeaderSize + n > room) return Lose(broken);  // would run past the record's page
                return Deliver(record + kSmallRootHeaderSize, n);
            }
            case kDataRecord: {
                if (length < kDataHeaderSize || length > room) return Lose(broken);
                return Deliver(record + kDataHeaderSize, length - kDataHeaderSize);
            }
            case kInternalNode:
            case kLargeRoot:
            case kLargeRootOther: {
                if (room < kNodeHeaderSize) return Lose(broken);
                const std::uint32_t entry_size = type == kInternalNode ? 16 : 12;
                const std::uint32_t count = engine_.Read16(record + 16, Fixup::Single);
                if (kNodeHeaderSize + count * entry_size > room) return Lose(broken);
                for (std::uint32_t k = 0; k < count; ++k) {
                    const std::uint64_t pointer =
                        engine_.Read64(record + kNodeHeaderSize + k * entry_size, Fixup::Single);
                    const std::uint64_t page_number = pointer & 0xFFFFFFFFu;
                    const auto child_slot = static_cast<std::uint16_t>(pointer >> 48);
                    // Every record of a value carries the value's id.
                    Meet(page_number * kPageSize, child_slot, id);
                }
                return true;
            }
            default:
                return Lose(where + u": its record is of no large-value type (" + Number(type) + u")");
        }
    }

    bool Deliver(std::uint64_t pos, std::uint32_t n) {
        buffer_.assign(n, 0);
        engine_.ReadAt(pos, buffer_.data(), n, Fixup::Multi);
        delivered_ += n;
        return deliver_(buffer_);
    }

    CRecoveryEngine& engine_;
    const DeliverFn& deliver_;
    const LargeValueOrigin& origin_;
    bool quiet_;
    std::unordered_set<std::uint64_t> seen_;
    std::vector<std::optional<std::uint64_t>> ids_;
    std::unordered_map<std::uint64_t, bool> pages_checked_;
    std::uint64_t losses_ = 0;
    std::uint64_t delivered_ = 0;
    std::vector<std::uint8_t> buffer_;
};

}  // namespace

LargeValueText CRecoveryEngine::ReadLargeValueText(std::uint64_t page_offset, std::uint16_t slot,
                                                   LargeTextZeros zeros, const LargeValueOrigin& origin) {
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
    result.end = ChainWalk(*this, gather, origin).Run(page_offset, slot);
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

LargeValueEnd CRecoveryEngine::CopyLargeValueToFile(std::uint64_t page_offset, std::uint16_t slot,
                                                   const LargeValueOrigin& origin) {
    const DeliverFn write = [this](std::span<const std::uint8_t> bytes) {
        if (!m_hOutputFile) return false;
        if (bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), m_hOutputFile) == bytes.size()) return true;
        m_nOutputError = errno;
        return false;
    };
    const LargeValueEnd end = ChainWalk(*this, write, origin).Run(page_offset, slot);
    if (end == LargeValueEnd::WriteFailed) LogLine(u"The output file could not be written.");
    return end;
}

LargeValueEnd CRecoveryEngine::ReadLargeValueBytes(std::uint64_t page_offset, std::uint16_t slot,
                                                   std::vector<std::uint8_t>& out, const LargeValueOrigin& origin) {
    const DeliverFn append = [&out](std::span<const std::uint8_t> bytes) {
        out.insert(out.end(), bytes.begin(), bytes.end());
        return true;
    };
    return ChainWalk(*this, append, origin).Run(page_offset, slot);
}

LargeValueEnd CRecoveryEngine::GatherLargeValueBytes(std::uint64_t page_offset, std::uint16_t slot,
                                                     std::vector<std::uint8_t>& out, std::vector<std::uint32_t>& pieces,
                                                     std::size_t max_bytes, const LargeValueOrigin& origin) {
    const DeliverFn append = [&](std::span<const std::uint8_t> bytes) {
        if (bytes.empty()) return true;
        if (bytes.size() > max_bytes - std::min(max_bytes, out.size())) return false;
        out.insert(out.end(), bytes.begin(), bytes.end());
        pieces.push_back(static_cast<std::uint32_t>(bytes.size()));
        return true;
    };
    return ChainWalk(*this, append, origin, true).Run(page_offset, slot);
}

}  // namespace mdf

namespace mdf {

namespace {
constexpr std::uint8_t kLargeValueUnit = 2;
constexpr std::uint8_t kRowOverflowUnit = 3;
}  // namespace

std::optional<std::int32_t> CRecoveryEngine::TableOfPageOwner(std::uint32_t page_object_id,
                                                             std::uint16_t page_index_word) {
    if (!m_app.m_bSql2005Catalog) return static_cast<std::int32_t>(page_object_id);
    if (!m_bUnitTablesMade) {
        std::unordered_map<std::uint64_t, std::int32_t> rowset_tables;
        for (const auto& rowset : m_catalogue.rowsets) rowset_tables.emplace(rowset.id, rowset.object_id);
        for (const auto& unit : m_catalogue.units) {
            const auto table = rowset_tables.find(unit.owner);
            if (table == rowset_tables.end()) continue;
            m_mapUnitTables.emplace(DataPageOwnerKey(unit.unit_object_id, unit.index_word), table->second);
            if (unit.type == kLargeValueUnit || unit.type == kRowOverflowUnit) {
                m_setTablesWithLargeUnits.insert(table->second);
            }
        }
        m_bUnitTablesMade = true;
    }
    const auto found = m_mapUnitTables.find(DataPageOwnerKey(page_object_id, page_index_word));
    if (found == m_mapUnitTables.end()) return std::nullopt;
    return found->second;
}

bool CRecoveryEngine::LargeValuePageOwnedBy(std::uint32_t page_object_id, std::uint16_t page_index_word,
                                            std::int32_t table_object_id) {
    const std::optional<std::int32_t> table = TableOfPageOwner(page_object_id, page_index_word);
    if (table) return *table == table_object_id;
    // A unit the catalogue does not list: the table's own when the catalogue lost its large-value units.
    return m_app.m_bSql2005Catalog && !m_setTablesWithLargeUnits.contains(table_object_id);
}

std::optional<PageDamage> CRecoveryEngine::ScanDamageOf(std::uint64_t page_number) const {
    // The scan lists the pages in file order.
    const auto found = std::lower_bound(m_arrDamagedPages.begin(), m_arrDamagedPages.end(), page_number,
                                        [](const DamagedPage& damaged, std::uint64_t n) { return damaged.page_number < n; });
    if (found == m_arrDamagedPages.end() || found->page_number != page_number) return std::nullopt;
    return found->damage;
}

}  // namespace mdf
