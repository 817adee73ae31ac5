#include "objects/definition_text.h"

#include <algorithm>

#include "platform/text.h"

namespace objects {

namespace {

constexpr std::uint8_t kSeparator[8] = {0x0A, 0x0D, 0x0A, 0x0D, 0x0A, 0x0D, 0x0A, 0x0D};
constexpr std::size_t kRuleLength = 135;

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\f' || c == u'\v'; }
bool IsWordChar(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_' ||
           c == u'#' || c == u'@' || c == u'$';
}

// Position after blanks, "-- line" comments and (nested) "/* block */" comments from pos; npos when a block
// comment never ends.
std::size_t SkipBlanksAndComments(std::u16string_view text, std::size_t pos) {
    while (pos < text.size()) {
        if (IsBlank(text[pos])) {
            ++pos;
        } else if (text.substr(pos, 2) == u"--") {
            const std::size_t end = text.find(u'\n', pos);
            pos = end == std::u16string_view::npos ? text.size() : end + 1;
        } else if (text.substr(pos, 2) == u"/*") {
            int depth = 0;
            do {
                if (pos + 1 >= text.size()) return std::u16string_view::npos;
                if (text.substr(pos, 2) == u"/*") {
                    ++depth;
                    pos += 2;
                } else if (text.substr(pos, 2) == u"*/") {
                    --depth;
                    pos += 2;
                } else {
                    ++pos;
                }
            } while (depth > 0);
        } else {
            break;
        }
    }
    return pos;
}

// The word at pos (letters, digits and the identifier marks).
std::u16string_view WordAt(std::u16string_view text, std::size_t pos) {
    std::size_t end = pos;
    while (end < text.size() && IsWordChar(text[end])) ++end;
    return text.substr(pos, end - pos);
}

}  // namespace

TextReading ReadAs8Bit(std::span<const std::uint8_t> bytes) {
    const auto zero = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
    TextReading reading;
    reading.body.assign(bytes.begin(), zero);
    reading.text = platform::AnsiToUtf16(reading.body);
    reading.cut = std::any_of(zero, bytes.end(), [](std::uint8_t b) { return b != 0; });
    return reading;
}

TextReading ReadAsUtf16(std::span<const std::uint8_t> bytes) {
    TextReading reading;
    reading.wide = true;
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        const std::uint8_t low = bytes[i];
        const std::uint8_t high = i + 1 < bytes.size() ? bytes[i + 1] : 0;
        if (low == 0 && high == 0) {
            reading.cut = std::any_of(bytes.begin() + static_cast<std::ptrdiff_t>(i), bytes.end(),
                                      [](std::uint8_t b) { return b != 0; });
            break;
        }
        reading.text.push_back(static_cast<char16_t>(low | (high << 8)));
        reading.body.push_back(low);
        reading.body.push_back(high);
    }
    return reading;
}

TextReading LikelyReading(std::span<const std::uint8_t> bytes) {
    if (bytes.size() >= 4 && bytes[1] == 0 && bytes[3] == 0) return ReadAsUtf16(bytes);
    return ReadAs8Bit(bytes);
}

TextReading ExpressionReading(std::span<const std::uint8_t> bytes) {
    if (bytes.size() >= 2 && bytes[1] == 0) return ReadAsUtf16(bytes);
    return ReadAs8Bit(bytes);
}

bool HasZeroInside(std::u16string_view text) {
    const std::size_t zero = text.find(u'\0');
    return zero != std::u16string_view::npos && text.find_first_not_of(u'\0', zero) != std::u16string_view::npos;
}

std::u16string_view CreateWord(ObjectKind kind) {
    switch (kind) {
        case ObjectKind::Rule: return u"RULE";
        case ObjectKind::Default: return u"DEFAULT";
        case ObjectKind::Trigger: return u"TRIGGER";
        case ObjectKind::Function: return u"FUNCTION";
        case ObjectKind::View: return u"VIEW";
        case ObjectKind::Procedure: return u"PROCEDURE";
        default: return u"";
    }
}

bool BeginsWithCreate(std::u16string_view text, ObjectKind kind) {
    std::size_t pos = SkipBlanksAndComments(text, 0);
    if (pos == std::u16string_view::npos) return false;
    if (!platform::EqualsNoCase(WordAt(text, pos), u"CREATE")) return false;
    pos = SkipBlanksAndComments(text, pos + 6);
    if (pos == std::u16string_view::npos) return false;
    const std::u16string_view word = WordAt(text, pos);
    const std::u16string_view wanted = CreateWord(kind);
    if (wanted.empty()) return false;
    if (platform::EqualsNoCase(word, wanted)) return true;
    return kind == ObjectKind::Procedure && platform::EqualsNoCase(word, u"PROC");
}

bool IsServerTrigger(std::u16string_view text) {
    std::size_t pos = SkipBlanksAndComments(text, 0);
    if (pos == std::u16string_view::npos || !platform::EqualsNoCase(WordAt(text, pos), u"CREATE")) return false;
    pos = SkipBlanksAndComments(text, pos + 6);
    if (pos == std::u16string_view::npos || !platform::EqualsNoCase(WordAt(text, pos), u"TRIGGER")) return false;
    pos += 7;
    // The trigger's name: parts of words, [ ] or " " identifiers, joined by dots.
    for (;;) {
        pos = SkipBlanksAndComments(text, pos);
        if (pos == std::u16string_view::npos || pos >= text.size()) return false;
        if (text[pos] == u'[' || text[pos] == u'"') {
            const char16_t close = text[pos] == u'[' ? u']' : u'"';
            ++pos;
            for (;; ++pos) {
                if (pos >= text.size()) return false;
                if (text[pos] != close) continue;
                if (pos + 1 < text.size() && text[pos + 1] == close) {
                    ++pos;
                    continue;
                }
                break;
            }
            ++pos;
        } else {
            const std::size_t length = WordAt(text, pos).size();
            if (length == 0) return false;
            pos += length;
        }
        pos = SkipBlanksAndComments(text, pos);
        if (pos == std::u16string_view::npos || pos >= text.size() || text[pos] != u'.') break;
        ++pos;
    }
    for (const std::u16string_view word : {std::u16string_view(u"ON"), std::u16string_view(u"ALL")}) {
        if (!platform::EqualsNoCase(WordAt(text, pos), word)) return false;
        pos = SkipBlanksAndComments(text, pos + word.size());
        if (pos == std::u16string_view::npos) return false;
    }
    return platform::EqualsNoCase(WordAt(text, pos), u"SERVER");
}

std::vector<std::uint8_t> FailureEntry(std::span<const std::uint8_t> body) {
    std::vector<std::uint8_t> entry;
    entry.reserve(2 * sizeof kSeparator + body.size() + kRuleLength);
    entry.insert(entry.end(), std::begin(kSeparator), std::end(kSeparator));
    entry.insert(entry.end(), body.begin(), body.end());
    entry.insert(entry.end(), std::begin(kSeparator), std::end(kSeparator));
    entry.insert(entry.end(), kRuleLength, std::uint8_t{'='});
    return entry;
}

std::u16string BracketName(std::u16string_view name) {
    std::u16string out = u"[";
    for (const char16_t c : name) {
        out.push_back(c);
        if (c == u']') out.push_back(u']');
    }
    out.push_back(u']');
    return out;
}

std::u16string BracketedTableName(std::u16string_view name, bool two_part) {
    if (two_part && name.size() > 1) {
        const std::size_t dot = name.find(u'.', 1);
        if (dot != std::u16string_view::npos) {
            return BracketName(name.substr(0, dot)) + u"." + BracketName(name.substr(dot + 1));
        }
    }
    return BracketName(name);
}

std::u16string StringArgument(std::u16string_view text) {
    std::u16string out = u"N'";
    for (const char16_t c : text) {
        out.push_back(c);
        if (c == u'\'') out.push_back(u'\'');
    }
    out.push_back(u'\'');
    return out;
}

std::u16string_view FailureFileName(ObjectKind kind) {
    switch (kind) {
        case ObjectKind::Rule:
        case ObjectKind::RuleBinding: return u"Rules.txt";
        case ObjectKind::Default:
        case ObjectKind::DefaultBinding:
        case ObjectKind::DefaultConstraint: return u"Default.txt";
        case ObjectKind::Trigger: return u"Triggers.txt";
        case ObjectKind::Function: return u"User_Defined_Function.txt";
        case ObjectKind::View: return u"Views.txt";
        case ObjectKind::Procedure: return u"StoredProcedure.txt";
        case ObjectKind::TypeBinding: return u"";
    }
    return u"";
}

std::u16string_view KindName(ObjectKind kind) {
    switch (kind) {
        case ObjectKind::Rule: return u"rules";
        case ObjectKind::RuleBinding: return u"rule bindings";
        case ObjectKind::Default: return u"defaults";
        case ObjectKind::DefaultBinding: return u"default bindings";
        case ObjectKind::DefaultConstraint: return u"default constraints";
        case ObjectKind::TypeBinding: return u"type bindings";
        case ObjectKind::Trigger: return u"triggers";
        case ObjectKind::Function: return u"user defined functions";
        case ObjectKind::View: return u"views";
        case ObjectKind::Procedure: return u"stored procedures";
    }
    return u"";
}

}  // namespace objects
