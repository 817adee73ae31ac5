// Allocation-map (IAM) pages as the data-page walks read them, and the live-record count of a data page.
// Shared by the walks of both catalogue formats.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace mdf {

class CRecoveryEngine;

// One live record of an IAM page: the header record (fixed-part end 94) with its single-page slots, or an
// extent bitmap with the pages of its set extents (eight per extent), in slot order.
struct IamRecord {
    bool is_header = false;
    std::vector<std::uint32_t> single_pages;  // non-empty slots of this file, in slot order
    std::vector<std::uint64_t> extent_pages;  // page numbers of the set extents, in bitmap order
};

struct IamPageContents {
    std::vector<IamRecord> records;
    bool start_file_damaged = false;  // a header named another file where the database has none
};

// Whether the database has files besides this one: some file number other than 1 is the interval start file of
// two or more IAM pages among iam_pages (every allocation unit with pages in a second file has an IAM page for
// it). One page alone naming another file is damage, not a second file.
bool IamPagesNameOtherFiles(CRecoveryEngine& engine, const std::vector<std::uint64_t>& iam_pages);

// Reads the records of the IAM page at iam. The interval start is the whole 32-bit page number; single-page
// slots of another file are left out; a record that does not fit in the page is refused. An interval start
// file other than 1 is another file's interval (its bitmap is not this file's) only when other_files is set;
// otherwise the field is damage: the interval is read as this file's and the damage is logged.
// With log clear the damage is not logged (a second reading of a page the walk reads too).
IamPageContents ReadIamPage(CRecoveryEngine& engine, std::uint64_t iam, bool other_files = false, bool log = true);

// Live data records (status 0x10, 0x30, 0x32, 0x50, 0x70, 0x72) among the slots whose entries lie on the page
// after its header.
// shared_record, when given, is set when two slots list one record (which is counted once).
std::uint64_t CountLiveRecords(CRecoveryEngine& engine, std::uint64_t page_offset, std::uint64_t slot_count,
                               bool* shared_record = nullptr);

// The start of a damage line for a page of a table: "Damaged page N (why) of " (the report adds the table).
std::u16string DamagedPageLine(std::uint64_t page_number, std::u16string_view why);

// Why a page that a table's allocation map names is not its page, from the page's first 40 bytes: "no page
// header", "holds page M" (another page's id), "page type T", or "a page of object N" (another owner).
std::u16string ForeignPageText(std::span<const std::uint8_t> header, std::uint64_t page_number);

}  // namespace mdf
