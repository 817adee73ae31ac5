// The slot array of a page as the catalogue readers read it: entry by entry, each with the torn-sector fix-up.
#include "mdf/catalog_page.h"

#include <algorithm>

#include "mdf/recovery_engine.h"

namespace mdf {

std::vector<std::uint16_t> CRecoveryEngine::ReadSlotEntries(std::uint64_t page_offset, std::uint64_t slot_count) {
    // A damaged slot count can be anything up to 65535; the array cannot reach into the page header, so reading
    // further would only read the header and the pages before this one as slot entries.
    const std::uint64_t count = std::min<std::uint64_t>(slot_count, kMaxSlotEntries);
    std::vector<std::uint16_t> entries(count);
    // Stored from the page end downward: slot k at page offset 8190 - 2k.
    for (std::uint64_t k = 0; k < count; ++k) {
        entries[k] = Read16(page_offset + kPageSize - 2 - 2 * k, Fixup::Single);
    }
    return entries;
}

}  // namespace mdf
