// Fuzz target: the walk over a large value's chain of records, through each of its three consumers (text in
// either width, a copy to a file that takes every byte or refuses them all, bytes in memory). The input's last bytes choose the consumer, the version
// flags, the job (which sets the record limit) and the first record (page and slot); the rest is a small
// file image (fuzz/page_image.h).
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <span>
#include <vector>

#include "fuzz/engine_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::uint8_t choice = input.ConsumeIntegral<std::uint8_t>();
    const std::uint8_t flags = input.ConsumeIntegral<std::uint8_t>();
    const std::uint16_t page = input.ConsumeIntegral<std::uint16_t>();
    const std::uint16_t slot = input.ConsumeIntegral<std::uint16_t>();
    // The rest of the input, taken in place (the integrals came from its back).
    const std::span<const std::uint8_t> image(data, input.remaining_bytes());

    fuzz::EngineHarness h("large_value", image, fuzz::EngineHarness::FromImage{});
    h.app.m_bCreatedOn2000 = flags & 1;
    h.app.m_bSql2005Catalog = flags & 2;
    h.app.m_bConvertedFrom2000 = flags & 4;
    h.app.m_bDocumentMode = flags & 8;
    h.engine->m_bWideText = flags & 16;

    const std::uint64_t page_offset = std::uint64_t{page} * mdf::kPageSize;
    switch (choice % 3) {
        case 0: {
            const auto text = h.engine->ReadLargeValueText(page_offset, slot);
            (void)text;
            break;
        }
        case 1: {
            std::FILE* out = std::fopen((flags & 32) ? "/dev/full" : "/dev/null", "wb");
            BM_FUZZ_CHECK(out != nullptr);
            std::setvbuf(out, nullptr, _IONBF, 0);  // a refused write shows at once
            h.engine->m_hOutputFile = out;
            const auto end = h.engine->CopyLargeValueToFile(page_offset, slot);
            BM_FUZZ_CHECK(end != mdf::LargeValueEnd::Stopped);
            h.engine->m_hOutputFile = nullptr;
            std::fclose(out);
            break;
        }
        default: {
            std::vector<std::uint8_t> bytes;
            const auto end = h.engine->ReadLargeValueBytes(page_offset, slot, bytes);
            BM_FUZZ_CHECK(end == mdf::LargeValueEnd::Complete || end == mdf::LargeValueEnd::Cut ||
                          end == mdf::LargeValueEnd::Damaged);
            break;
        }
    }
    return 0;
}
