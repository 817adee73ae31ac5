// The text of a captured uniqueidentifier value, held as its 32 hex digits (16 bytes) with the form it was
// written in, instead of as a 36- or 38-character string: a million captured documents carry five of them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace mdf {

// Gives back exactly the text it was made from. A well-formed GUID text ("{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
// with or without its braces, each hex digit in either case) is kept as digits, the braces and the case of
// every digit; any other text (a damaged value, a test's short id) is kept as it stands.
class CapturedGuid {
public:
    CapturedGuid() noexcept : m_digits{} {}
    CapturedGuid(std::u16string_view text);
    CapturedGuid(const std::u16string& text) : CapturedGuid(std::u16string_view(text)) {}
    CapturedGuid(const char16_t* text) : CapturedGuid(std::u16string_view(text)) {}
    CapturedGuid(const CapturedGuid& other);
    CapturedGuid(CapturedGuid&& other) noexcept;
    CapturedGuid& operator=(CapturedGuid other) noexcept;
    ~CapturedGuid();

    bool empty() const { return m_kind == kEmpty || (m_kind == kText && m_text->empty()); }
    // Characters of the text.
    std::size_t size() const {
        return m_kind == kText ? m_text->size() : m_kind == kBraced ? 38 : m_kind == kPlain ? 36 : 0;
    }
    // The text as captured.
    std::u16string Text() const { return Spell(false); }
    // The text lower-cased (as platform::ToLower gives it): the key ids are compared by.
    std::u16string LowerText() const { return Spell(true); }
    operator std::u16string() const { return Text(); }

    friend bool operator==(const CapturedGuid& a, const CapturedGuid& b);
    friend bool operator==(const CapturedGuid& a, const std::u16string& b) { return a.Text() == b; }
    friend bool operator==(const CapturedGuid& a, const char16_t* b) { return a.Text() == b; }

private:
    enum Kind : std::uint8_t { kEmpty, kBraced, kPlain, kText };
    std::u16string Spell(bool lower) const;

    union {
        std::uint8_t m_digits[16];  // two hex digits a byte, the first in the high nibble, in text order
        std::u16string* m_text;     // kText only
    };
    std::uint32_t m_lower = 0;  // bit i set: digit i was written in lower case
    Kind m_kind = kEmpty;
};

}  // namespace mdf
