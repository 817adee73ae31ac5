// The server's own protection of a page, checked as the page is read: a checksum over the whole page (pages
// of files of the 2005 format and later), or the torn-page stamp in the last two bits of every sector (files
// created in the 2000 format). The page header's flag bits say which one a page carries; a page without a
// header (all zeros, or not header version 1) or without protection is not checked.
#pragma once

#include <cstdint>
#include <span>

namespace mdf {

constexpr std::uint16_t kPageFlagTornBits = 0x0100;
constexpr std::uint16_t kPageFlagChecksum = 0x0200;
constexpr std::size_t kPageFlagsOffset = 4;
constexpr std::size_t kPageChecksumOffset = 60;  // the same four bytes hold the torn bits

enum class PageDamage { None, Checksum, TornSector };

// The checksum the page should carry: the XOR of the 32-bit words of each 512-byte sector (the stored
// checksum counted as 0), the sector values rotated left by 15 minus the sector number and XORed together.
std::uint32_t PageChecksum(std::span<const std::uint8_t> page);

// What is wrong with the page as read (before any torn-sector restoration), by its own protection.
PageDamage CheckPage(std::span<const std::uint8_t> page);

// "checksum mismatch", "torn sector"; empty for None.
const char* PageDamageText(PageDamage damage);

}  // namespace mdf
