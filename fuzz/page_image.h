// The small file image that the multi-page fuzz targets take as input: a size, then runs of bytes placed by page
// and offset; everything else is zeros. A file of a thousand pages thus fits in a few kilobytes, and damage to
// the counts gives short, long and partly written files.
//
//   u16 page count (mod 1025)   u16 bytes of a partial last page (mod 8192)
//   runs: u16 page number, u16 offset in the page (mod 8192), u16 length, bytes
//   (a run is cut at its page end and at the end of the input; runs beyond the file end are dropped)
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <vector>

namespace fuzz {

constexpr std::uint32_t kImageMaxPages = 1024;

// The file the image describes. Its bytes lie in a buffer kept from call to call (only the pages the last
// image wrote are cleared), valid until the next call.
std::span<const std::uint8_t> ExpandPageImage(std::span<const std::uint8_t> image);

// The image of the given pages of a file of page_count pages: each page's runs of non-zero bytes (gaps of a
// few zeros stay inside a run). Used by the seed writer.
std::vector<std::uint8_t> EncodePageImage(std::uint32_t page_count,
                                          const std::map<std::uint32_t, std::vector<std::uint8_t>>& pages);

}  // namespace fuzz
