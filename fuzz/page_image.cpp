// Expanding and encoding the small file images of the fuzz targets.
#include "fuzz/page_image.h"

#include <algorithm>

namespace fuzz {

namespace {
constexpr std::size_t kPage = 8192;

struct Reader {
    std::span<const std::uint8_t> in;
    std::size_t at = 0;
    std::uint16_t U16() {
        std::uint16_t v = 0;
        if (at < in.size()) v = in[at++];
        if (at < in.size()) v = static_cast<std::uint16_t>(v | (in[at++] << 8));
        return v;
    }
    std::span<const std::uint8_t> Take(std::size_t n) {
        n = std::min(n, in.size() - at);
        auto s = in.subspan(at, n);
        at += n;
        return s;
    }
};

void PutU16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
}  // namespace

std::span<const std::uint8_t> ExpandPageImage(std::span<const std::uint8_t> image) {
    // The largest file an image describes, zeros but for the pages the last image wrote.
    static std::vector<std::uint8_t> file((kImageMaxPages + 1) * kPage, 0);
    static std::vector<std::uint64_t> written;
    for (const std::uint64_t page : written) std::fill_n(file.begin() + static_cast<std::ptrdiff_t>(page * kPage), kPage, 0);
    written.clear();
    Reader r{image};
    const std::uint64_t pages = r.U16() % (kImageMaxPages + 1);
    const std::uint64_t partial = r.U16() % kPage;
    const std::uint64_t size = pages * kPage + partial;
    while (r.at < image.size()) {
        const std::uint64_t page = r.U16() % kImageMaxPages;
        const std::uint64_t offset = r.U16() % kPage;
        const std::size_t length = std::min<std::size_t>(r.U16(), kPage - offset);
        const auto bytes = r.Take(length);
        const std::uint64_t pos = page * kPage + offset;
        if (pos >= size || bytes.empty()) continue;
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size(), size - pos));
        std::copy_n(bytes.begin(), n, file.begin() + static_cast<std::ptrdiff_t>(pos));
        written.push_back(page);
    }
    return {file.data(), static_cast<std::size_t>(size)};
}

std::vector<std::uint8_t> EncodePageImage(std::uint32_t page_count,
                                          const std::map<std::uint32_t, std::vector<std::uint8_t>>& pages) {
    std::vector<std::uint8_t> out;
    PutU16(out, static_cast<std::uint16_t>(std::min(page_count, kImageMaxPages)));
    PutU16(out, 0);
    constexpr std::size_t kGap = 16;  // zeros that end a run
    for (const auto& [number, bytes] : pages) {
        if (number >= kImageMaxPages || bytes.size() != kPage) continue;
        std::size_t at = 0;
        while (at < kPage) {
            while (at < kPage && bytes[at] == 0) ++at;
            if (at == kPage) break;
            std::size_t end = at;
            std::size_t zeros = 0;
            while (end < kPage && zeros < kGap) {
                zeros = bytes[end] == 0 ? zeros + 1 : 0;
                ++end;
            }
            end -= zeros;
            PutU16(out, static_cast<std::uint16_t>(number));
            PutU16(out, static_cast<std::uint16_t>(at));
            PutU16(out, static_cast<std::uint16_t>(end - at));
            out.insert(out.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.begin() + static_cast<std::ptrdiff_t>(end));
            at = end;
        }
    }
    return out;
}

}  // namespace fuzz
