// What the whole-file page scan notes about each data page while the page is in memory anyway: the header
// fields the allocation walk tests and the page's live-record count. The walk then lists and counts a noted
// page without reading it a second time.
#pragma once

#include <cstdint>
#include <span>

#include "mdf/allocation_maps.h"

namespace mdf {

struct DataPageNote {
    std::uint32_t object_id = 0;
    std::uint16_t live_records = 0;
    std::uint8_t index_id = 0;
    bool noted = false;  // false: not a data page, or a page whose count needs the field-by-field reads
    SlotFault slot_fault = SlotFault::None;
    bool own_page = false;  // the page id in the header is the page's own number
};

// The note of one page: live records counted as CountLiveRecords counts them on a file without torn-sector
// restoration. Not noted when the page is no data page (type 0x0101). page_number is where the page lies.
DataPageNote NoteDataPage(std::span<const std::uint8_t> page, std::uint64_t page_number);

}  // namespace mdf
