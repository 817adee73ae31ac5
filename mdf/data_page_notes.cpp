// Data-page notes of the whole-file page scan.
#include "mdf/data_page_notes.h"

#include <algorithm>

#include "mdf/catalog_page.h"

namespace mdf {

DataPageNote NoteDataPage(std::span<const std::uint8_t> page, std::uint64_t page_number) {
    DataPageNote note{};
    if (page.size() < kPageSize) return note;
    auto u16 = [&](std::size_t at) { return static_cast<std::uint16_t>(page[at] | (page[at + 1] << 8)); };
    if (u16(0) != kPageTypeData) return note;
    note.object_id = static_cast<std::uint32_t>(u16(kPageHeaderObjectIdOffset)) |
                     (static_cast<std::uint32_t>(u16(kPageHeaderObjectIdOffset + 2)) << 16);
    std::uint32_t live = 0;
    note.slot_fault = CheckSlots(page, &live);
    note.live_records = static_cast<std::uint16_t>(live);
    note.index_id = page[kPageHeaderIndexIdOffset];
    note.own_page = (static_cast<std::uint32_t>(u16(kPageHeaderPageIdOffset)) |
                     (static_cast<std::uint32_t>(u16(kPageHeaderPageIdOffset + 2)) << 16)) == page_number;
    note.noted = true;
    return note;
}

}  // namespace mdf
