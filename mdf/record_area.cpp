// The slot array and the free-space figures of a data page held against the records they describe.
#include "mdf/record_area.h"

#include <algorithm>

#include "mdf/catalog_page.h"
#include "platform/text.h"

namespace mdf {

namespace {

constexpr std::size_t kFreeCountOffset = 28;
constexpr std::size_t kUsedEndOffset = 30;
constexpr std::uint16_t kForwardingStubLength = 9;
constexpr std::uint16_t kVersionTagLength = 14;

std::uint16_t U16(std::span<const std::uint8_t> page, std::size_t at) {
    return static_cast<std::uint16_t>(page[at] | (page[at + 1] << 8));
}

std::u16string Decimal(std::uint64_t n) { return platform::Widen(std::to_string(n)); }

}  // namespace

std::uint16_t DataRecordLength(std::span<const std::uint8_t> page, std::uint16_t at, std::uint16_t limit) {
    limit = static_cast<std::uint16_t>(std::min<std::size_t>(limit, page.size()));
    if (at >= limit) return 0;
    const std::uint8_t status = page[at];
    // Bits 1-3 of the status byte: 0 a row, 1 a row moved here from its page, 2 the stub left behind, 6 a
    // deleted row not yet removed.
    const int kind = (status >> 1) & 7;
    if (kind == 2) return at + kForwardingStubLength <= limit ? kForwardingStubLength : 0;
    if ((kind != 0 && kind != 1 && kind != 6) || (status & 0x10) == 0) return 0;
    if (at + 4u > limit) return 0;
    const std::uint16_t fixed_end = U16(page, at + 2u);
    if (fixed_end < 4 || at + fixed_end + 2u > limit) return 0;
    const std::uint16_t columns = U16(page, at + fixed_end);
    std::size_t end = at + fixed_end + 2u + std::max<std::size_t>(1, (columns + 7u) / 8u);
    if (status & 0x20) {
        if (end + 2 > limit) return 0;
        const std::uint16_t entries = U16(page, end);
        const std::size_t table_end = end + 2 + 2u * entries;
        if (table_end > limit) return 0;
        end = entries == 0 ? table_end : at + (U16(page, table_end - 2) & 0x7FFF);
        if (end < table_end) return 0;
    }
    if (status & 0x40) end += kVersionTagLength;
    if (end > limit) return 0;
    return static_cast<std::uint16_t>(end - at);
}

bool RecordArea::SlotDamaged(std::uint16_t offset) const {
    return std::any_of(findings.begin(), findings.end(),
                       [offset](const Finding& f) { return f.about_slot && f.offset == offset; });
}

RecordArea CheckRecordArea(std::span<const std::uint8_t> page) {
    RecordArea area;
    CheckRecordArea(page, area);
    return area;
}

void CheckRecordArea(std::span<const std::uint8_t> page, RecordArea& area) {
    area.records.clear();
    area.findings.clear();
    area.used_end = 0;
    if (page.size() < kPageSize) return;
    const std::uint32_t stored_count = U16(page, kPageHeaderSlotCountOffset);
    const bool count_damaged = stored_count > kMaxSlotEntries;
    const std::uint32_t slot_count = std::min(stored_count, kMaxSlotEntries);
    const auto slots_start = static_cast<std::uint16_t>(kPageSize - 2 * slot_count);
    if (count_damaged) {
        area.findings.push_back(
            {false, 0, 0, u"slot count " + Decimal(stored_count) + u": more slots than a page holds"});
    }
    const std::uint16_t free_count = U16(page, kFreeCountOffset);
    const std::uint16_t stored_end = U16(page, kUsedEndOffset);
    const bool figures = free_count != 0 || stored_end != 0;
    // Under a damaged count each entry is held below its own place alone (below).
    area.used_end = count_damaged ? static_cast<std::uint16_t>(kPageSize) : slots_start;
    if (figures && !count_damaged) {
        if (stored_end >= kRecordAreaStart && stored_end <= slots_start) {
            area.used_end = stored_end;
        } else {
            area.findings.push_back({false, 0, 0,
                                     u"its header puts the end of its records at offset " + Decimal(stored_end) +
                                         u", outside the record area"});
        }
    }

    for (std::uint32_t k = 0; k < slot_count; ++k) {
        const std::uint16_t entry = U16(page, kPageSize - 2 - 2 * k);
        if (entry == 0) continue;  // an empty slot
        const auto slot = static_cast<std::uint16_t>(k);
        // Under a damaged count the entries read are held only below their own place.
        const std::uint32_t area_end = count_damaged ? kPageSize - 2 - 2 * k : slots_start;
        if (entry < kRecordAreaStart || entry >= area_end) {
            area.findings.push_back(
                {true, slot, entry,
                 u"slot " + Decimal(k) + u" points at offset " + Decimal(entry) + u", outside the record area"});
            continue;
        }
        if (entry >= area.used_end) {
            area.findings.push_back({true, slot, entry,
                                     u"slot " + Decimal(k) + u" points at offset " + Decimal(entry) +
                                         u", past the end of the page's records (" + Decimal(area.used_end) + u")"});
            continue;
        }
        area.records.push_back({entry, slot});
    }
    const auto by_offset = [](const RecordArea::Record& a, const RecordArea::Record& b) { return a.offset < b.offset; };
    if (!std::is_sorted(area.records.begin(), area.records.end(), by_offset)) {
        std::sort(area.records.begin(), area.records.end(), by_offset);
    }
    // A record two slots list is one record (the scan names the page).
    area.records.erase(
        std::unique(area.records.begin(), area.records.end(),
                    [](const RecordArea::Record& a, const RecordArea::Record& b) { return a.offset == b.offset; }),
        area.records.end());

    // The bytes the records take, the slot array and the free count fill the page exactly: a record a slot no
    // longer lists, a slot count that changed or a record whose length changed leaves them apart. Asked only when
    // every record's length is known (the row decoder names a record whose fields do not fit).
    if (figures && !count_damaged) {
        std::uint32_t used = 0;
        bool known = true;
        for (std::size_t i = 0; i < area.records.size(); ++i) {
            const std::uint16_t offset = area.records[i].offset;
            const std::uint16_t room_end = i + 1 < area.records.size() ? area.records[i + 1].offset : area.used_end;
            const std::uint16_t length = DataRecordLength(page, offset, room_end);
            if (length == 0) {
                known = false;
                break;
            }
            used += length;
        }
        const std::uint32_t room = static_cast<std::uint32_t>(kPageSize) - kRecordAreaStart - 2 * slot_count;
        if (known && used + free_count != room) {
            area.findings.push_back({false, 0, 0,
                                     u"its " + Decimal(area.records.size()) + u" record(s) take " + Decimal(used) +
                                         u" bytes, its header counts " + Decimal(free_count) + u" of " + Decimal(room) +
                                         u" free"});
        }
    }
}

}  // namespace mdf
