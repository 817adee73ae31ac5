// The records of a data page held against the page's own figures before any of them is read as a row: each slot
// entry against the record area, each record's room (up to the next record, or the end of the used space), and
// the bytes the records take against the free count the header keeps. A separate file because it judges the page
// as a whole, once, where the row decoder judges one record at a time within the room given here.
//
// Page header fields used (offsets in the page):
//   22  u16  slot count
//   28  u16  free bytes on the page (the gaps between records included)
//   30  u16  offset of the first byte after the records (where the next record would go)
// A page written without the two free-space figures (both zero) is held against its slot array alone.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace mdf {

struct RecordArea {
    struct Record {
        std::uint16_t offset = 0;  // page offset of the record's first byte
        std::uint16_t slot = 0;    // the first slot that lists it
    };
    // The records the slots list, by offset (each once).
    std::vector<Record> records;
    // Where the used space ends: the header's offset after the records when it is believable, else the start of
    // the slot array. Each record's room ends at the next record's start, the last one's here.
    std::uint16_t used_end = 0;

    struct Finding {
        bool about_slot = false;  // false: about the page as a whole
        std::uint16_t slot = 0;
        std::uint16_t offset = 0;  // the slot's entry
        std::u16string why;
    };
    std::vector<Finding> findings;

    // Whether a finding names the slot entry at offset (its record is then not to be read as a row).
    bool SlotDamaged(std::uint16_t offset) const;
};

// The page's bytes with the torn-sector ends restored. Every entry outside the record area, or past the end of
// the used space, is a finding about its slot; a header whose used-space end or free count disagrees with the
// records the slots list is a finding about the page (a slot that lost its record, or a slot count changed,
// leaves the records' bytes and the free count apart).
RecordArea CheckRecordArea(std::span<const std::uint8_t> page);
// The same into area, whose vectors keep their room from page to page (the row walk's form).
void CheckRecordArea(std::span<const std::uint8_t> page, RecordArea& area);

// The length of the data record at page offset `at` from its own fields (fixed part, column count, null bitmap,
// variable-value table, versioning tag), or 0 when the record's fields do not fit before limit or its kind has
// no known length.
std::uint16_t DataRecordLength(std::span<const std::uint8_t> page, std::uint16_t at, std::uint16_t limit);

}  // namespace mdf
