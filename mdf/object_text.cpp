// The definition text stored for an object: a computed column's expression or a view's, procedure's,
// function's or trigger's source. sysobjvalues rows (8-bit text) in 2005-and-later files, syscomments rows
// (UTF-16 text) in 2000 files; the first matching row is the text.
//
// sysobjvalues row: 4 value class | 5 object id (32) | 9 sub-object id (32) | 24 end of the text (16) |
//                   32.. the text (after a 6-byte first variable column).
// syscomments row:  4 object id (32) | 8 number (16) | 19 end of the text (16) | 21.. the text.
#include <algorithm>

#include "mdf/catalog_page.h"
#include "mdf/key_rows.h"
#include "mdf/recovery_engine.h"
#include "platform/text.h"

namespace mdf {

namespace {

constexpr std::uint8_t kStatisticsValueClass = 60;  // statistics blobs: never a definition text

struct TextLayout {
    std::uint32_t m_nTextEndAt;
    std::uint32_t m_nTextStart;
};
constexpr TextLayout kLayout2005{24, 32};
constexpr TextLayout kLayout2000{19, 21};

}  // namespace

std::u16string CRecoveryEngine::ReadObjectText(std::int32_t object_id, std::uint16_t sub_id) {
    const bool is2005 = m_app.m_bSql2005Catalog;
    const TextLayout layout = is2005 ? kLayout2005 : kLayout2000;
    const PageList& pages = m_plDefinitions;
    std::u16string text;
    for (std::size_t p = 0; p < pages.size(); ++p) {
        const std::uint64_t page = pages.m_arrOffsets[p];
        const std::uint64_t slot_count = pages.m_arrSlotCounts[p];
        m_app.m_abTornBits = {};
        LoadTornBits(page);
        const auto entries = ReadSlotEntries(page, slot_count);
        const std::uint32_t area_end = RecordAreaEnd(slot_count);
        bool matched = false;
        for (const std::uint16_t entry : entries) {
            if (!RecordHolds(entry, layout.m_nTextStart, area_end)) continue;
            const std::uint64_t record = page + entry;
            if (IsGhostRecord(Read8(record))) continue;
            std::uint8_t value_class = 0;
            std::int32_t row_object = 0;
            std::uint32_t row_sub_id = 0;
            if (is2005) {
                value_class = Read8(record + 4);
                row_object = static_cast<std::int32_t>(Read32(record + 5, Fixup::Single));
                row_sub_id = Read32(record + 9, Fixup::Single);
            } else {
                row_object = static_cast<std::int32_t>(Read32(record + 4, Fixup::Single));
                row_sub_id = Read16(record + 8, Fixup::Single);
            }
            // The whole sub-id is compared: a column id of 300 must not find the row of column 44.
            if (row_object != object_id || value_class == kStatisticsValueClass || row_sub_id != sub_id) continue;
            matched = true;
            const std::uint16_t end = Read16(record + layout.m_nTextEndAt, Fixup::Single);
            // A text that ends before it starts, or past the record area (an end offset with its top bit set
            // marks a value stored outside the row), is no text of this row.
            if (end >= layout.m_nTextStart && RecordHolds(entry, end, area_end)) {
                const std::size_t length = end - layout.m_nTextStart;
                const auto bytes = ReadBytes(record + layout.m_nTextStart, length, Fixup::Multi);
                text = is2005 ? platform::AnsiToUtf16(bytes) : platform::Utf16LeToString(bytes);
            }
            break;
        }
        if (StopRequested()) return text;
        if (matched) break;
    }
    return text;
}

}  // namespace mdf
