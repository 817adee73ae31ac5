// Picture headers: the signature and the declared size of each format the preview decodes.
#include "app/preview_picture.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <fstream>
#include <string>
#include <vector>

namespace app {

namespace {

// Reads at absolute offsets; a read past the end gives false.
class ByteReader {
public:
    explicit ByteReader(std::istream& in) : in_(in) {}

    bool Read(std::uint64_t offset, std::size_t count, std::uint8_t* out) {
        in_.clear();
        in_.seekg(static_cast<std::streamoff>(offset));
        if (!in_) return false;
        in_.read(reinterpret_cast<char*>(out), static_cast<std::streamsize>(count));
        return static_cast<std::size_t>(in_.gcount()) == count;
    }
    // Reads up to count bytes from the start; returns how many there were.
    std::size_t ReadStart(std::size_t count, std::uint8_t* out) {
        in_.clear();
        in_.seekg(0);
        if (!in_) return 0;
        in_.read(reinterpret_cast<char*>(out), static_cast<std::streamsize>(count));
        return static_cast<std::size_t>(in_.gcount());
    }
    bool U8(std::uint64_t offset, std::uint32_t& v) {
        std::uint8_t b = 0;
        if (!Read(offset, 1, &b)) return false;
        v = b;
        return true;
    }
    bool U16(std::uint64_t offset, bool big_endian, std::uint32_t& v) {
        std::array<std::uint8_t, 2> b{};
        if (!Read(offset, 2, b.data())) return false;
        v = big_endian ? (b[0] << 8 | b[1]) : (b[1] << 8 | b[0]);
        return true;
    }
    bool U32(std::uint64_t offset, bool big_endian, std::uint32_t& v) {
        std::array<std::uint8_t, 4> b{};
        if (!Read(offset, 4, b.data())) return false;
        v = big_endian ? (std::uint32_t{b[0]} << 24 | std::uint32_t{b[1]} << 16 | std::uint32_t{b[2]} << 8 | b[3])
                       : (std::uint32_t{b[3]} << 24 | std::uint32_t{b[2]} << 16 | std::uint32_t{b[1]} << 8 | b[0]);
        return true;
    }

private:
    std::istream& in_;
};

PictureHeader Sized(PictureFormat format, std::uint32_t width, std::uint32_t height) {
    if (width == 0 || height == 0) return {};
    return {format, width, height, std::uint64_t{width} * height};
}

PictureHeader ProbePng(ByteReader& r) {
    std::array<std::uint8_t, 4> type{};
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    if (!r.Read(12, 4, type.data()) || type != std::array<std::uint8_t, 4>{'I', 'H', 'D', 'R'}) return {};
    if (!r.U32(16, true, width) || !r.U32(20, true, height)) return {};
    return Sized(PictureFormat::Png, width, height);
}

PictureHeader ProbeJpeg(ByteReader& r) {
    std::uint64_t pos = 2;
    for (int segments = 0; segments < 100000; ++segments) {
        std::uint32_t b = 0;
        if (!r.U8(pos, b) || b != 0xFF) return {};
        std::uint32_t marker = 0xFF;
        while (marker == 0xFF) {  // fill bytes
            if (!r.U8(++pos, marker)) return {};
        }
        ++pos;
        if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;
        if (marker == 0xD9 || marker == 0xDA) return {};  // image data or its end before any frame header
        std::uint32_t length = 0;
        if (!r.U16(pos, true, length) || length < 2) return {};
        const bool frame_header = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame_header) {
            std::uint32_t height = 0;
            std::uint32_t width = 0;
            if (!r.U16(pos + 3, true, height) || !r.U16(pos + 5, true, width)) return {};
            return Sized(PictureFormat::Jpeg, width, height);
        }
        pos += length;
    }
    return {};
}

// Skips a chain of GIF data sub-blocks starting at pos; false when the file ends first.
bool SkipGifSubBlocks(ByteReader& r, std::uint64_t& pos) {
    for (;;) {
        std::uint32_t size = 0;
        if (!r.U8(pos, size)) return false;
        ++pos;
        if (size == 0) return true;
        pos += size;
    }
}

PictureHeader ProbeGif(ByteReader& r) {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t flags = 0;
    if (!r.U16(6, false, width) || !r.U16(8, false, height) || !r.U8(10, flags)) return {};
    PictureHeader header = Sized(PictureFormat::Gif, width, height);
    if (header.format == PictureFormat::Unknown) return {};
    std::uint64_t pos = 13;
    if (flags & 0x80) pos += 3u << ((flags & 7) + 1);
    std::uint64_t frames = 0;
    for (;;) {
        std::uint32_t introducer = 0;
        if (!r.U8(pos, introducer) || introducer == 0x3B) break;
        if (introducer == 0x21) {
            pos += 2;  // introducer and label
            if (!SkipGifSubBlocks(r, pos)) break;
        } else if (introducer == 0x2C) {
            std::uint32_t w = 0;
            std::uint32_t h = 0;
            std::uint32_t image_flags = 0;
            if (!r.U16(pos + 5, false, w) || !r.U16(pos + 7, false, h) || !r.U8(pos + 9, image_flags)) break;
            frames += std::uint64_t{w} * h;
            pos += 10;
            if (image_flags & 0x80) pos += 3u << ((image_flags & 7) + 1);
            pos += 1;  // the code size
            if (!SkipGifSubBlocks(r, pos)) break;
        } else {
            break;
        }
    }
    header.pixels = std::max(header.pixels, frames);
    return header;
}

PictureHeader ProbeBmp(ByteReader& r) {
    std::uint32_t info_size = 0;
    if (!r.U32(14, false, info_size)) return {};
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    if (info_size == 12) {
        if (!r.U16(18, false, width) || !r.U16(20, false, height)) return {};
        return Sized(PictureFormat::Bmp, width, height);
    }
    if (info_size < 16) return {};
    if (!r.U32(18, false, width) || !r.U32(22, false, height)) return {};
    const auto w = static_cast<std::int32_t>(width);
    const auto h = static_cast<std::int32_t>(height);
    if (w <= 0 || h == 0 || h == INT32_MIN) return {};
    return Sized(PictureFormat::Bmp, static_cast<std::uint32_t>(w), static_cast<std::uint32_t>(h < 0 ? -h : h));
}

PictureHeader ProbeTiff(ByteReader& r, bool big_endian) {
    std::uint32_t ifd = 0;
    std::uint32_t count = 0;
    if (!r.U32(4, big_endian, ifd) || !r.U16(ifd, big_endian, count) || count > 4096) return {};
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint64_t entry = std::uint64_t{ifd} + 2 + 12ull * i;
        std::uint32_t tag = 0;
        std::uint32_t type = 0;
        if (!r.U16(entry, big_endian, tag) || !r.U16(entry + 2, big_endian, type)) return {};
        if (tag != 256 && tag != 257) continue;
        std::uint32_t value = 0;
        if (type == 3) {
            if (!r.U16(entry + 8, big_endian, value)) return {};
        } else if (type == 4) {
            if (!r.U32(entry + 8, big_endian, value)) return {};
        } else {
            return {};
        }
        (tag == 256 ? width : height) = value;
    }
    return Sized(PictureFormat::Tiff, width, height);
}

PictureHeader ProbePcx(ByteReader& r) {
    std::uint32_t encoding = 0;
    std::uint32_t x_min = 0, y_min = 0, x_max = 0, y_max = 0;
    if (!r.U8(2, encoding) || encoding != 1) return {};
    if (!r.U16(4, false, x_min) || !r.U16(6, false, y_min) || !r.U16(8, false, x_max) || !r.U16(10, false, y_max)) {
        return {};
    }
    if (x_max < x_min || y_max < y_min) return {};
    return Sized(PictureFormat::Pcx, x_max - x_min + 1, y_max - y_min + 1);
}

PictureHeader ProbePnm(ByteReader& r) {
    std::vector<std::uint8_t> head(4096);
    head.resize(r.ReadStart(head.size(), head.data()));
    std::size_t pos = 2;
    std::array<std::uint64_t, 2> numbers{};
    for (auto& number : numbers) {
        // Blanks and comments, then digits.
        for (;;) {
            while (pos < head.size() && std::isspace(head[pos])) ++pos;
            if (pos < head.size() && head[pos] == '#') {
                while (pos < head.size() && head[pos] != '\n' && head[pos] != '\r') ++pos;
                continue;
            }
            break;
        }
        if (pos >= head.size() || !std::isdigit(head[pos])) return {};
        while (pos < head.size() && std::isdigit(head[pos])) {
            number = number * 10 + (head[pos++] - '0');
            if (number > UINT32_MAX) return {};
        }
    }
    return Sized(PictureFormat::Pnm, static_cast<std::uint32_t>(numbers[0]), static_cast<std::uint32_t>(numbers[1]));
}

PictureHeader ProbeTga(ByteReader& r) {
    std::uint32_t colour_map = 0;
    std::uint32_t type = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    if (!r.U8(1, colour_map) || !r.U8(2, type) || colour_map > 1) return {};
    if (type != 1 && type != 2 && type != 3 && type != 9 && type != 10 && type != 11) return {};
    if (!r.U16(12, false, width) || !r.U16(14, false, height)) return {};
    return Sized(PictureFormat::Tga, width, height);
}

}  // namespace

PictureHeader ProbePicture(std::istream& in, std::string_view extension) {
    ByteReader r(in);
    std::array<std::uint8_t, 8> magic{};
    if (r.ReadStart(magic.size(), magic.data()) < 2) return {};
    constexpr std::array<std::uint8_t, 8> kPng = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (magic == kPng) return ProbePng(r);
    if (magic[0] == 0xFF && magic[1] == 0xD8) return ProbeJpeg(r);
    if (std::equal(magic.begin(), magic.begin() + 4, "GIF8") && (magic[4] == '7' || magic[4] == '9') && magic[5] == 'a') {
        return ProbeGif(r);
    }
    if (magic[0] == 'B' && magic[1] == 'M') return ProbeBmp(r);
    if (magic[0] == 'I' && magic[1] == 'I' && magic[2] == 42 && magic[3] == 0) return ProbeTiff(r, false);
    if (magic[0] == 'M' && magic[1] == 'M' && magic[2] == 0 && magic[3] == 42) return ProbeTiff(r, true);
    if (magic[0] == 0x0A && magic[1] <= 5) return ProbePcx(r);
    if (magic[0] == 'P' && magic[1] >= '1' && magic[1] <= '6') return ProbePnm(r);
    if (extension == "tga") return ProbeTga(r);
    return {};
}

PictureProbe CheckPictureFile(const std::filesystem::path& file, std::string_view extension) {
    PictureProbe probe;
    std::error_code error;
    const auto size = std::filesystem::file_size(file, error);
    if (error) return probe;
    if (size > kPreviewPictureFileLimit) {
        probe.check = PictureCheck::FileTooLarge;
        return probe;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) return probe;
    probe.header = ProbePicture(in, extension);
    if (probe.header.format == PictureFormat::Unknown) {
        probe.check = PictureCheck::UnknownFormat;
    } else if (probe.header.pixels > kPreviewPixelLimit) {
        probe.check = PictureCheck::TooManyPixels;
    } else {
        probe.check = PictureCheck::Fine;
    }
    return probe;
}

}  // namespace app
