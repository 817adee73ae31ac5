// Captured uniqueidentifier texts: parsing into digits and spelling back.
#include "mdf/captured_guid.h"

#include <cstring>
#include <utility>

#include "platform/text.h"

namespace mdf {

namespace {

constexpr std::size_t kDigitsLength = 36;  // without braces
bool IsDash(std::size_t at) { return at == 8 || at == 13 || at == 18 || at == 23; }

// The value of a hex digit and whether it is a lower-case letter; -1 for anything else.
int DigitValue(char16_t c, bool& lower) {
    lower = false;
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    if (c >= u'a' && c <= u'f') {
        lower = true;
        return c - u'a' + 10;
    }
    return -1;
}

}  // namespace

CapturedGuid::CapturedGuid(std::u16string_view text) : m_digits{} {
    if (text.empty()) return;
    std::u16string_view inner = text;
    Kind kind = kPlain;
    if (text.size() == kDigitsLength + 2 && text.front() == u'{' && text.back() == u'}') {
        inner = text.substr(1, kDigitsLength);
        kind = kBraced;
    }
    bool parsed = inner.size() == kDigitsLength;
    std::uint32_t lower_mask = 0;
    std::uint8_t digits[16] = {};
    for (std::size_t at = 0, digit = 0; parsed && at < inner.size(); ++at) {
        if (IsDash(at)) {
            parsed = inner[at] == u'-';
            continue;
        }
        bool lower = false;
        const int value = DigitValue(inner[at], lower);
        if (value < 0) {
            parsed = false;
            break;
        }
        if (lower) lower_mask |= std::uint32_t{1} << digit;
        digits[digit / 2] |= static_cast<std::uint8_t>(digit % 2 == 0 ? value << 4 : value);
        ++digit;
    }
    if (parsed) {
        std::memcpy(m_digits, digits, sizeof digits);
        m_lower = lower_mask;
        m_kind = kind;
    } else {
        m_text = new std::u16string(text);
        m_kind = kText;
    }
}

CapturedGuid::CapturedGuid(const CapturedGuid& other) : m_digits{}, m_lower(other.m_lower), m_kind(other.m_kind) {
    if (m_kind == kText) m_text = new std::u16string(*other.m_text);
    else std::memcpy(m_digits, other.m_digits, sizeof m_digits);
}

CapturedGuid::CapturedGuid(CapturedGuid&& other) noexcept
    : m_digits{}, m_lower(other.m_lower), m_kind(other.m_kind) {
    if (m_kind == kText) {
        m_text = other.m_text;
        other.m_kind = kEmpty;
    } else {
        std::memcpy(m_digits, other.m_digits, sizeof m_digits);
    }
}

CapturedGuid& CapturedGuid::operator=(CapturedGuid other) noexcept {
    // Every member is plain bytes, so swapping the objects' bytes swaps their values.
    std::uint8_t mine[16];
    std::memcpy(mine, m_digits, sizeof mine);
    std::memcpy(m_digits, other.m_digits, sizeof mine);
    std::memcpy(other.m_digits, mine, sizeof mine);
    std::swap(m_lower, other.m_lower);
    std::swap(m_kind, other.m_kind);
    return *this;
}

CapturedGuid::~CapturedGuid() {
    if (m_kind == kText) delete m_text;
}

bool operator==(const CapturedGuid& a, const CapturedGuid& b) {
    if (a.m_kind == CapturedGuid::kText || b.m_kind == CapturedGuid::kText) return a.Text() == b.Text();
    return a.m_kind == b.m_kind && a.m_lower == b.m_lower && std::memcmp(a.m_digits, b.m_digits, 16) == 0;
}

std::u16string CapturedGuid::Spell(bool lower) const {
    switch (m_kind) {
        case kEmpty:
            return {};
        case kText:
            return lower ? platform::ToLower(*m_text) : *m_text;
        case kBraced:
        case kPlain:
            break;
    }
    static constexpr char16_t kUpper[] = u"0123456789ABCDEF";
    static constexpr char16_t kLower[] = u"0123456789abcdef";
    const bool braced = m_kind == kBraced;
    std::u16string text(kDigitsLength + (braced ? 2 : 0), u'-');
    std::size_t out = 0;
    if (braced) text[out++] = u'{';
    for (std::size_t at = 0, digit = 0; at < kDigitsLength; ++at) {
        if (IsDash(at)) {
            ++out;
            continue;
        }
        const std::uint8_t pair = m_digits[digit / 2];
        const int value = digit % 2 == 0 ? pair >> 4 : pair & 0x0F;
        const bool small = lower || (m_lower >> digit & 1u) != 0;
        text[out++] = (small ? kLower : kUpper)[value];
        ++digit;
    }
    if (braced) text[out] = u'}';
    return text;
}

}  // namespace mdf
