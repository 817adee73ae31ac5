// Page checksum and torn-page stamp checks.
#include "mdf/page_check.h"

#include <bit>
#include <cstring>

#include "mdf/data_file.h"

namespace mdf {

namespace {

constexpr std::size_t kWordsPerSector = kSectorSize / 4;
constexpr std::size_t kSectors = kPageSize / kSectorSize;

std::uint32_t Word(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace

std::uint32_t PageChecksum(std::span<const std::uint8_t> page) {
    std::uint32_t checksum = 0;
    for (std::size_t s = 0; s < kSectors; ++s) {
        const std::uint8_t* sector = page.data() + s * kSectorSize;
        std::uint32_t value = 0;
        if constexpr (std::endian::native == std::endian::little) {
            // Eight bytes at a time: the XOR of the 32-bit words is the XOR of the two halves of the 64-bit XOR.
            // Four running XORs, so that no XOR waits for the one before.
            std::uint64_t lanes[4] = {};
            for (std::size_t w = 0; w < kSectorSize / 8; w += 4) {
                for (std::size_t k = 0; k < 4; ++k) {
                    std::uint64_t eight;
                    std::memcpy(&eight, sector + 8 * (w + k), 8);
                    lanes[k] ^= eight;
                }
            }
            const std::uint64_t wide = lanes[0] ^ lanes[1] ^ lanes[2] ^ lanes[3];
            value = static_cast<std::uint32_t>(wide) ^ static_cast<std::uint32_t>(wide >> 32);
        } else {
            for (std::size_t w = 0; w < kWordsPerSector; ++w) value ^= Word(sector + 4 * w);
        }
        if (s == 0) value ^= Word(page.data() + kPageChecksumOffset);  // the stored checksum counts as 0
        checksum ^= std::rotl(value, static_cast<int>(15 - s));
    }
    return checksum;
}

PageDamage CheckPage(std::span<const std::uint8_t> page) {
    if (page.size() < kPageSize || page[0] != 1) return PageDamage::None;  // no page header
    const std::uint16_t flags = static_cast<std::uint16_t>(page[kPageFlagsOffset] | (page[kPageFlagsOffset + 1] << 8));
    const std::uint32_t stored = Word(page.data() + kPageChecksumOffset);
    if (flags & kPageFlagChecksum) {
        return PageChecksum(page) == stored ? PageDamage::None : PageDamage::Checksum;
    }
    if (flags & kPageFlagTornBits) {
        // Every sector after the first ends in the stamp that the torn bits keep for sector 0.
        const std::uint8_t stamp = static_cast<std::uint8_t>(stored & 3);
        for (std::size_t s = 1; s < kSectors; ++s) {
            if ((page[s * kSectorSize + kSectorSize - 1] & 3) != stamp) return PageDamage::TornSector;
        }
    }
    return PageDamage::None;
}

const char* PageDamageText(PageDamage damage) {
    switch (damage) {
        case PageDamage::Checksum: return "checksum mismatch";
        case PageDamage::TornSector: return "torn sector";
        case PageDamage::None: break;
    }
    return "";
}

}  // namespace mdf
