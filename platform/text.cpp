// UTF-16/UTF-8 conversion, the Windows-1252 table and the iconv code pages.
#include "platform/text.h"

#include <iconv.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <array>
#include <atomic>
#include <bit>
#include <cerrno>
#include <mutex>
#include <string>
#include <vector>

namespace platform {

namespace {

// Writes the UTF-8 of `text` at `at`, which has room for 3 bytes per UTF-16 unit (the most any unit takes:
// a surrogate pair's 4 bytes stand for two units); returns the end. With `escape`, the four control
// characters of a listing line take two bytes each.
template <bool escape>
char* WriteUtf8(char* at, std::u16string_view text) {
    const char16_t* p = text.data();
    const char16_t* const end = p + text.size();
    while (p < end) {
#if defined(__SSE2__)
        // Eight units at a time while they are plain ASCII (with escape: printable and no backslash): each
        // becomes its one byte. The store may write up to eight bytes, which the room of 3 bytes per unit
        // left to write always holds; only the bytes of the plain units are kept.
        if (end - p >= 8) {
            const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            // Signed compares: units from 0x8000 are negative and count as below the limit.
            __m128i other = _mm_cmpgt_epi16(units, _mm_set1_epi16(0x7F));
            if constexpr (escape) {
                other = _mm_or_si128(other, _mm_cmplt_epi16(units, _mm_set1_epi16(0x20)));
                other = _mm_or_si128(other, _mm_cmpeq_epi16(units, _mm_set1_epi16('\\')));
            } else {
                other = _mm_or_si128(other, _mm_cmplt_epi16(units, _mm_setzero_si128()));
            }
            const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(other));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(at), _mm_packus_epi16(units, units));
            if (mask == 0) {
                at += 8;
                p += 8;
                continue;
            }
            const int plain = std::countr_zero(mask) / 2;
            at += plain;
            p += plain;
        }
#endif
        std::uint32_t cp = *p++;
        if (cp < 0x80) {
            if constexpr (escape) {
                if (cp == '\\' || cp == '\t' || cp == '\r' || cp == '\n') {
                    *at++ = '\\';
                    *at++ = cp == '\\' ? '\\' : cp == '\t' ? 't' : cp == '\r' ? 'r' : 'n';
                    continue;
                }
            }
            *at++ = static_cast<char>(cp);
            continue;
        }
        if (cp >= 0xD800 && cp <= 0xDBFF && p < end && *p >= 0xDC00 && *p <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (*p++ - 0xDC00);
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x800) {
            *at++ = static_cast<char>(0xC0 | (cp >> 6));
            *at++ = static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            *at++ = static_cast<char>(0xE0 | (cp >> 12));
            *at++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            *at++ = static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            *at++ = static_cast<char>(0xF0 | (cp >> 18));
            *at++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            *at++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            *at++ = static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return at;
}

template <bool escape>
void Append(std::string& out, std::u16string_view text) {
    // A short text (most cells of a listing) is written on the stack and appended in one copy, with no room
    // to clear and cut back in out.
    constexpr std::size_t kShortUnits = 128;
    if (text.size() <= kShortUnits) {
        char buffer[3 * kShortUnits];
        out.append(buffer, static_cast<std::size_t>(WriteUtf8<escape>(buffer, text) - buffer));
        return;
    }
    const std::size_t old = out.size();
    out.resize(old + 3 * text.size());
    char* const begin = out.data();
    out.resize(static_cast<std::size_t>(WriteUtf8<escape>(begin + old, text) - begin));
}

}  // namespace

std::string ToUtf8(std::u16string_view text) {
    std::string out;
    Append<false>(out, text);
    return out;
}

void AppendUtf8(std::string& out, std::u16string_view text) { Append<false>(out, text); }

void AppendUtf8Escaped(std::string& out, std::u16string_view text) { Append<true>(out, text); }

std::size_t Utf8Length(std::u16string_view text) {
    std::size_t length = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c < 0x80) {
            length += 1;
        } else if (c < 0x800) {
            length += 2;
        } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            length += 4;
            ++i;
        } else {
            length += 3;  // the rest of the first plane, and a lone surrogate as U+FFFD
        }
    }
    return length;
}

char* WriteUtf8Escaped(char* at, std::u16string_view text) { return WriteUtf8<true>(at, text); }

namespace {

void PutUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

void PutUtf16(std::u16string& out, std::uint32_t cp) {
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
}

// The length of the strictly valid UTF-8 sequence at text[i] (no overlong form, no surrogate, nothing past
// U+10FFFF), with its code point; 0 when the bytes there are not one.
std::size_t ValidUtf8At(std::string_view text, std::size_t i, std::uint32_t& cp) {
    const auto at = [&](std::size_t k) { return static_cast<std::uint8_t>(text[i + k]); };
    const std::uint8_t b0 = at(0);
    std::size_t len = 0;
    std::uint32_t min = 0;
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    } else if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2, cp = b0 & 0x1F, min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3, cp = b0 & 0x0F, min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (i + len > text.size()) return 0;
    for (std::size_t k = 1; k < len; ++k) {
        if ((at(k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (at(k) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

}  // namespace

std::u16string FromSystemName(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        std::uint32_t cp = 0;
        const std::size_t len = ValidUtf8At(bytes, i, cp);
        if (len == 0) {
            out.push_back(static_cast<char16_t>(0xDC00 + static_cast<std::uint8_t>(bytes[i])));
            ++i;
            continue;
        }
        PutUtf16(out, cp);
        i += len;
    }
    return out;
}

std::string ToSystemName(std::u16string_view name) {
    std::string out;
    out.reserve(name.size());
    for (std::size_t i = 0; i < name.size(); ++i) {
        std::uint32_t cp = name[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < name.size() && name[i + 1] >= 0xDC00 && name[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (name[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xDC80 && cp <= 0xDCFF) {
            out.push_back(static_cast<char>(cp - 0xDC00));
            continue;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        PutUtf8(out, cp);
    }
    return out;
}

std::u16string FromUtf8(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const auto b0 = static_cast<std::uint8_t>(text[i]);
        std::uint32_t cp = 0xFFFD;
        size_t len = 1;
        auto cont = [&](size_t k) { return i + k < text.size() && (static_cast<std::uint8_t>(text[i + k]) & 0xC0) == 0x80; };
        auto byte = [&](size_t k) { return static_cast<std::uint32_t>(static_cast<std::uint8_t>(text[i + k]) & 0x3F); };
        if (b0 < 0x80) {
            cp = b0;
        } else if ((b0 & 0xE0) == 0xC0 && cont(1)) {
            cp = ((b0 & 0x1Fu) << 6) | byte(1);
            len = 2;
            if (cp < 0x80) cp = 0xFFFD;
        } else if ((b0 & 0xF0) == 0xE0 && cont(1) && cont(2)) {
            cp = ((b0 & 0x0Fu) << 12) | (byte(1) << 6) | byte(2);
            len = 3;
            if (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
        } else if ((b0 & 0xF8) == 0xF0 && cont(1) && cont(2) && cont(3)) {
            cp = ((b0 & 0x07u) << 18) | (byte(1) << 12) | (byte(2) << 6) | byte(3);
            len = 4;
            if (cp < 0x10000 || cp > 0x10FFFF) cp = 0xFFFD;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += len;
    }
    return out;
}

std::u16string Widen(std::string_view ascii) {
    std::u16string out;
    out.reserve(ascii.size());
    for (char c : ascii) out.push_back(static_cast<char16_t>(static_cast<std::uint8_t>(c)));
    return out;
}

namespace {

constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendCp1252(std::u16string& out, std::span<const std::uint8_t> bytes) {
    const std::size_t start = out.size();
    out.resize(start + bytes.size());
    char16_t* at = out.data() + start;
    for (std::uint8_t b : bytes) *at++ = b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : char16_t(b);
}

class Cp1252 final : public CodePage {
public:
    std::string Name() const override { return "1252"; }
    std::u16string Decode(std::span<const std::uint8_t> bytes) const override {
        std::u16string out;
        AppendCp1252(out, bytes);
        return out;
    }
    std::string Encode(std::u16string_view text) const override {
        std::string out;
        out.reserve(text.size());
        for (char16_t c : text) {
            if (c < 0x80 || (c >= 0xA0 && c < 0x100)) {
                out.push_back(static_cast<char>(c));
                continue;
            }
            char mapped = '?';
            for (size_t k = 0; k < kCp1252High.size(); ++k) {
                if (kCp1252High[k] == c) mapped = static_cast<char>(0x80 + k);
            }
            out.push_back(mapped);
        }
        return out;
    }
};

class IconvCodePage final : public CodePage {
public:
    explicit IconvCodePage(std::string name) : name_(std::move(name)) {}
    std::string Name() const override { return name_; }
    std::u16string Decode(std::span<const std::uint8_t> bytes) const override {
        std::u16string out;
        iconv_t cd = iconv_open("UTF-16LE", name_.c_str());
        if (cd == reinterpret_cast<iconv_t>(-1)) return out;
        std::vector<char> in(bytes.begin(), bytes.end());
        std::vector<char> buf(bytes.size() * 4 + 16);
        char* inp = in.data();
        size_t inleft = in.size();
        while (inleft > 0) {
            char* outp = buf.data();
            size_t outleft = buf.size();
            size_t r = iconv(cd, &inp, &inleft, &outp, &outleft);
            for (char* p = buf.data(); p + 1 < outp; p += 2) {
                out.push_back(static_cast<char16_t>(static_cast<std::uint8_t>(p[0]) | (static_cast<std::uint8_t>(p[1]) << 8)));
            }
            if (r == static_cast<size_t>(-1) && errno != E2BIG) {
                // A byte the code page does not define: show it as U+FFFD and go on with the next.
                out.push_back(0xFFFD);
                ++inp;
                --inleft;
            }
        }
        iconv_close(cd);
        return out;
    }
    std::string Encode(std::u16string_view text) const override {
        std::string out;
        iconv_t cd = iconv_open(name_.c_str(), "UTF-16LE");
        if (cd == reinterpret_cast<iconv_t>(-1)) return out;
        for (char16_t c : text) {
            char in[2] = {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
            char buf[8];
            char* inp = in;
            size_t inleft = 2;
            char* outp = buf;
            size_t outleft = sizeof buf;
            if (iconv(cd, &inp, &inleft, &outp, &outleft) == static_cast<size_t>(-1)) {
                out.push_back('?');
                iconv(cd, nullptr, nullptr, nullptr, nullptr);
            } else {
                out.append(buf, outp);
            }
        }
        iconv_close(cd);
        return out;
    }

private:
    std::string name_;
};

std::mutex g_code_page_mutex;
std::unique_ptr<CodePage> g_custom_code_page;
// Null for Windows-1252. Written under the mutex; read without it (every 8-bit value of a row reads it), which
// is safe because a page once set is never freed.
std::atomic<const CodePage*> g_ansi_code_page{nullptr};

}  // namespace

const CodePage& Windows1252() {
    static const Cp1252 instance;
    return instance;
}

std::unique_ptr<CodePage> MakeIconvCodePage(const std::string& name) {
    iconv_t cd = iconv_open("UTF-16LE", name.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return nullptr;
    iconv_close(cd);
    return std::make_unique<IconvCodePage>(name);
}

const CodePage* CodePageNumbered(unsigned number) {
    if (number == 1252) return &Windows1252();
    static std::mutex mutex;
    static std::vector<std::pair<unsigned, std::unique_ptr<CodePage>>> pages;  // never freed: readers keep them
    std::lock_guard lock(mutex);
    for (const auto& [n, page] : pages) {
        if (n == number) return page.get();
    }
    auto page = MakeIconvCodePage("CP" + std::to_string(number));
    const CodePage* made = page.get();
    pages.emplace_back(number, std::move(page));
    return made;
}

const CodePage& AnsiCodePage() {
    const CodePage* page = g_ansi_code_page.load(std::memory_order_acquire);
    return page ? *page : Windows1252();
}

bool SetAnsiCodePage(const std::string& name) {
    std::string upper;
    for (char c : name) upper.push_back(static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c));
    std::lock_guard lock(g_code_page_mutex);
    if (upper == "1252" || upper == "CP1252" || upper == "WINDOWS-1252") {
        g_ansi_code_page.store(nullptr, std::memory_order_release);
        return true;
    }
    std::string iconv_name = upper;
    if (!upper.empty() && upper.find_first_not_of("0123456789") == std::string::npos) iconv_name = "CP" + upper;
    auto page = MakeIconvCodePage(iconv_name);
    if (!page) return false;
    // The previous page stays alive: a reader on another thread may still hold a reference to it.
    static std::vector<std::unique_ptr<CodePage>> retired;
    if (g_custom_code_page) retired.push_back(std::move(g_custom_code_page));
    g_custom_code_page = std::move(page);
    g_ansi_code_page.store(g_custom_code_page.get(), std::memory_order_release);
    return true;
}

std::u16string AnsiToUtf16(std::span<const std::uint8_t> bytes) {
    size_t n = 0;
    while (n < bytes.size() && bytes[n] != 0) ++n;
    return AnsiCodePage().Decode(bytes.first(n));
}

void AppendAnsiToUtf16(std::u16string& out, std::span<const std::uint8_t> bytes) {
    size_t n = 0;
    while (n < bytes.size() && bytes[n] != 0) ++n;
    const CodePage* page = g_ansi_code_page.load(std::memory_order_acquire);
    if (page) {
        out += page->Decode(bytes.first(n));
    } else {
        AppendCp1252(out, bytes.first(n));
    }
}

void AppendCodePageText(std::u16string& out, std::span<const std::uint8_t> bytes, const CodePage& page) {
    if (&page == &Windows1252()) {
        AppendCp1252(out, bytes);
    } else {
        out += page.Decode(bytes);
    }
}

std::u16string Utf16LeToString(std::span<const std::uint8_t> bytes) {
    std::u16string out;
    out.reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        char16_t c = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
        if (c == 0) break;
        out.push_back(c);
    }
    return out;
}

namespace {
char16_t FoldLower(char16_t c) {
    if (c < 0x80) return (c >= 'A' && c <= 'Z') ? static_cast<char16_t>(c + 32) : c;
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7)) return static_cast<char16_t>(c + 32);
    if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149 && c != 0x17F) {
        // Latin Extended-A alternates upper/lower; the block's two halves differ in parity.
        bool upper_even = (c < 0x138) || (c > 0x148 && c < 0x178);
        if (upper_even ? (c % 2 == 0) : (c % 2 == 1)) return static_cast<char16_t>(c + 1);
        return c;
    }
    if (c == 0x178) return 0xFF;
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return static_cast<char16_t>(c + 32);
    if (c >= 0x410 && c <= 0x42F) return static_cast<char16_t>(c + 32);
    if (c >= 0x400 && c <= 0x40F) return static_cast<char16_t>(c + 80);
    return c;
}
char16_t FoldUpper(char16_t c) {
    if (c < 0x80) return (c >= 'a' && c <= 'z') ? static_cast<char16_t>(c - 32) : c;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 32);
    if (c == 0xFF) return 0x178;
    if (c >= 0x100 && c <= 0x17F) {
        for (char16_t u = c > 0x100 ? static_cast<char16_t>(c - 1) : c; u <= c; ++u) {
            if (u != c && FoldLower(u) == c) return u;
        }
        return c;
    }
    if (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) return static_cast<char16_t>(c - 32);
    if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 32);
    if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 80);
    return c;
}
}  // namespace

std::u16string ToLower(std::u16string_view text) {
    std::u16string out(text);
    for (auto& c : out) c = FoldLower(c);
    return out;
}

std::u16string ToUpper(std::u16string_view text) {
    std::u16string out(text);
    for (auto& c : out) c = FoldUpper(c);
    return out;
}

bool EqualsNoCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldLower(a[i]) != FoldLower(b[i])) return false;
    }
    return true;
}

}  // namespace platform
