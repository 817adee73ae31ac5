// Fuzz target: the record lister of one page. The input is the page (any length: a short one is a file cut
// inside the page) and a last byte of version flags that switch the torn-sector restoration on and off. The
// page stands at page 1 of the file, after a page of zeros.
#include <fuzzer/FuzzedDataProvider.h>

#include <span>

#include "fuzz/engine_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::uint8_t flags = input.ConsumeIntegral<std::uint8_t>();
    // The rest of the input, taken in place (the integral came from its back).
    const std::span<const std::uint8_t> page(data, input.remaining_bytes());

    const auto file = fuzz::AfterZeroPages(1, page);
    fuzz::EngineHarness h("record_listing", file);
    h.app.m_bCreatedOn2000 = flags & 1;
    h.app.m_bSql2005Catalog = flags & 2;
    h.app.m_bConvertedFrom2000 = flags & 4;

    constexpr std::uint64_t kPage = mdf::kPageSize;
    BM_FUZZ_CHECK(h.engine->ReadPageRecordOffsets(kPage));
    const auto& offsets = h.app.m_arrRecordOffsets;
    // Every listed record lies inside the page, after its header, inside the file.
    BM_FUZZ_CHECK(offsets.size() <= (mdf::kPageSize - 96) / 2);
    for (std::uint64_t offset : offsets) {
        BM_FUZZ_CHECK(offset >= kPage + 96 && offset < 2 * kPage);
        BM_FUZZ_CHECK(offset < file.size());
    }
    return 0;
}
