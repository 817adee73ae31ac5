// Pure pieces of the stored-object scripts: the two readings of a stored definition's bytes, the test that a
// definition is a CREATE statement of its kind and the failure-file entry. Names and texts in statements are
// quoted by platform/tsql_text.h.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "mdf/repair_tally.h"

namespace objects {

using mdf::ObjectKind;

// One way of reading a definition's bytes: the text and the bytes a failure entry writes for it.
struct TextReading {
    std::u16string text;
    std::vector<std::uint8_t> body;
    bool wide = false;
    bool cut = false;  // the reading stopped at a zero that more text follows: the text is damaged
};

// 8-bit text through the ANSI code page up to the first zero byte; the body is those bytes.
TextReading ReadAs8Bit(std::span<const std::uint8_t> bytes);
// Little-endian UTF-16 up to the first zero unit; an odd last byte pairs with a zero. The body is 2 bytes a
// character.
TextReading ReadAsUtf16(std::span<const std::uint8_t> bytes);
// The reading that the bytes most likely hold: UTF-16 when bytes 1 and 3 are zero (4 bytes or more), else
// 8-bit. For bodies of definitions that no reading makes a statement of.
TextReading LikelyReading(std::span<const std::uint8_t> bytes);
// The stored text of a default constraint or rule-like expression: UTF-16 when the second byte is zero, else
// 8-bit.
TextReading ExpressionReading(std::span<const std::uint8_t> bytes);

// True when a zero character has more text after it: a definition holds no zero of its own.
bool HasZeroInside(std::u16string_view text);

// The word that follows CREATE for the kind ("RULE", "DEFAULT", "TRIGGER", "FUNCTION", "VIEW", "PROCEDURE").
std::u16string_view CreateWord(ObjectKind kind);
// True when the text, read as T-SQL tokens, starts with CREATE, the kind's word (PROC for procedures too) and
// a name.
bool BeginsWithCreate(std::u16string_view text, ObjectKind kind);

// Failure entry: 8 separator bytes (LF CR four times), the body, the separator again, 135 '=' bytes.
std::vector<std::uint8_t> FailureEntry(std::span<const std::uint8_t> body);

// The file a kind's refused definitions go to.
std::u16string_view FailureFileName(ObjectKind kind);
// The kind's name in the log's summary ("views", "stored procedures", ...).
std::u16string_view KindName(ObjectKind kind);

}  // namespace objects
