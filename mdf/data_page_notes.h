// What the whole-file page scan notes about each data page while the page is in memory anyway: the header
// fields the allocation walk tests and the page's live-record count. The walk then lists and counts a noted
// page without reading it a second time.
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <span>
#include <type_traits>
#include <vector>

#include "mdf/allocation_maps.h"

namespace mdf {

// Plain fields, so that an array of notes can be made without clearing it; DataPageNote{} is all zero (not
// noted, no slot fault).
struct DataPageNote {
    std::uint32_t object_id;
    std::uint16_t live_records;
    std::uint8_t index_id;
    bool noted;  // false: not a data page, or a page whose count needs the field-by-field reads
    SlotFault slot_fault;
    bool own_page;  // the page id in the header is the page's own number
};
static_assert(std::is_trivially_default_constructible_v<DataPageNote>);

// An allocator that leaves the elements a vector grows by as the system gives them (for plain fields only):
// whoever fills them first touches the memory, not the thread that made the vector.
template <typename T>
struct UnclearedAllocator : std::allocator<T> {
    template <typename U>
    struct rebind {
        using other = UnclearedAllocator<U>;
    };
    UnclearedAllocator() = default;
    template <typename U>
    UnclearedAllocator(const UnclearedAllocator<U>&) noexcept {}
    template <typename U>
    void construct(U* at) noexcept(std::is_nothrow_default_constructible_v<U>) {
        ::new (static_cast<void*>(at)) U;
    }
    template <typename U, typename... Args>
    void construct(U* at, Args&&... args) {
        ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
    }
};

// The notes of every page of the file, indexed by page number; resize leaves them unwritten.
using DataPageNotes = std::vector<DataPageNote, UnclearedAllocator<DataPageNote>>;

// The note of one page: live records counted as CountLiveRecords counts them on a file without torn-sector
// restoration. Not noted when the page is no data page (type 0x0101). page_number is where the page lies.
DataPageNote NoteDataPage(std::span<const std::uint8_t> page, std::uint64_t page_number);

}  // namespace mdf
