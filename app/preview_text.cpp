// Preview text decoding.
#include "app/preview_text.h"

#include <fstream>
#include <vector>

namespace app {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

void AppendCodePoint(std::u16string& out, char32_t c) {
    if (c == 0) {
        out.push_back(kReplacement);
    } else if (c < 0x10000) {
        out.push_back(static_cast<char16_t>(c));
    } else {
        c -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    }
}

// Decodes UTF-8. Strict: false at the first invalid sequence (the caller then tries the code page); else every
// invalid byte becomes U+FFFD. With `cut`, an incomplete sequence at the very end is dropped.
bool DecodeUtf8(std::span<const std::uint8_t> bytes, bool strict, bool cut, std::u16string& out) {
    std::size_t i = 0;
    const std::size_t n = bytes.size();
    while (i < n) {
        const std::uint8_t b = bytes[i];
        if (b < 0x80) {
            AppendCodePoint(out, b);
            ++i;
            continue;
        }
        int length = 0;
        char32_t c = 0;
        char32_t minimum = 0;
        if (b >= 0xC2 && b <= 0xDF) {
            length = 2, c = b & 0x1F, minimum = 0x80;
        } else if (b >= 0xE0 && b <= 0xEF) {
            length = 3, c = b & 0x0F, minimum = 0x800;
        } else if (b >= 0xF0 && b <= 0xF4) {
            length = 4, c = b & 0x07, minimum = 0x10000;
        }
        bool valid = length != 0;
        int taken = 1;
        for (; valid && taken < length; ++taken) {
            if (i + static_cast<std::size_t>(taken) >= n) {
                if (cut) return true;  // the sequence goes on past the part that was read
                valid = false;
                break;
            }
            const std::uint8_t next = bytes[i + static_cast<std::size_t>(taken)];
            if ((next & 0xC0) != 0x80) {
                valid = false;
                break;
            }
            c = (c << 6) | (next & 0x3F);
        }
        if (valid && (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))) valid = false;
        if (!valid) {
            if (strict) return false;
            out.push_back(kReplacement);
            ++i;
            continue;
        }
        AppendCodePoint(out, c);
        i += static_cast<std::size_t>(length);
    }
    return true;
}

std::u16string DecodeUtf16(std::span<const std::uint8_t> bytes, bool big_endian, bool cut) {
    std::u16string out;
    const std::size_t units = bytes.size() / 2;
    out.reserve(units);
    for (std::size_t i = 0; i < units; ++i) {
        const std::uint8_t first = bytes[2 * i];
        const std::uint8_t second = bytes[2 * i + 1];
        const char16_t u = big_endian ? static_cast<char16_t>((first << 8) | second)
                                      : static_cast<char16_t>((second << 8) | first);
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 1 < units) {
                const std::uint8_t a = bytes[2 * i + 2];
                const std::uint8_t b = bytes[2 * i + 3];
                const char16_t low = big_endian ? static_cast<char16_t>((a << 8) | b) : static_cast<char16_t>((b << 8) | a);
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    out.push_back(u);
                    out.push_back(low);
                    ++i;
                    continue;
                }
            } else if (cut) {
                break;  // its low half lies past the part that was read
            }
            out.push_back(kReplacement);
        } else if ((u >= 0xDC00 && u <= 0xDFFF) || u == 0) {
            out.push_back(kReplacement);
        } else {
            out.push_back(u);
        }
    }
    return out;
}

}  // namespace

PreviewText DecodePreviewText(std::span<const std::uint8_t> bytes, const platform::CodePage& code_page, bool cut) {
    PreviewText result;
    if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
        result.encoding = TextEncoding::Utf8Bom;
        DecodeUtf8(bytes.subspan(3), false, cut, result.text);
        return result;
    }
    if (bytes.size() >= 2 && ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF))) {
        const bool big_endian = bytes[0] == 0xFE;
        result.encoding = big_endian ? TextEncoding::Utf16Be : TextEncoding::Utf16Le;
        result.text = DecodeUtf16(bytes.subspan(2), big_endian, cut);
        return result;
    }
    if (DecodeUtf8(bytes, true, cut, result.text)) {
        result.encoding = TextEncoding::Utf8;
        return result;
    }
    result.encoding = TextEncoding::CodePage;
    result.text = code_page.Decode(bytes);
    for (char16_t& c : result.text) {
        if (c == 0) c = kReplacement;
    }
    return result;
}

bool ReadPreviewText(const std::filesystem::path& file, const platform::CodePage& code_page, PreviewText& out) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    std::vector<std::uint8_t> bytes(kPreviewTextLimit + 1);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (in.bad()) return false;
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    const bool cut = bytes.size() > kPreviewTextLimit;
    if (cut) bytes.resize(kPreviewTextLimit);
    out = DecodePreviewText(bytes, code_page, cut);
    return true;
}

}  // namespace app
