#include "objects/definition_text.h"

#include <algorithm>

#include "platform/text.h"
#include "platform/tsql_text.h"

namespace objects {

namespace {

constexpr std::uint8_t kSeparator[8] = {0x0A, 0x0D, 0x0A, 0x0D, 0x0A, 0x0D, 0x0A, 0x0D};
constexpr std::size_t kRuleLength = 135;

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
    const std::u16string_view wanted = CreateWord(kind);
    if (wanted.empty()) return false;
    const platform::CreateHead head = platform::ReadCreateHead(text);
    return head.ok && head.kind == wanted;
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
