// Text at the edges of the engine: the engine keeps UTF-16 (as the data file and the wide ODBC calls do) and
// converts to UTF-8 only where it meets the operating system. 8-bit text is read through the ANSI code page,
// a process-wide setting that defaults to Windows-1252.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace platform {

// Invalid UTF-16 (an unpaired surrogate) becomes U+FFFD; nothing is dropped silently.
std::string ToUtf8(std::u16string_view text);
// The same appended to `out` in one pass, with no string of its own: for texts written by the million.
void AppendUtf8(std::string& out, std::u16string_view text);
// The same with backslash, tab, carriage return and line feed written as \\, \t, \r and \n, so that a
// text stays on one line of a tab-separated listing.
void AppendUtf8Escaped(std::string& out, std::u16string_view text);
// The bytes AppendUtf8Escaped appends, written at `at`, which must have room for 3 bytes per unit of text (the
// bytes past the text's own may be overwritten); returns the end of the text written. For writers that make
// room for a whole line at once.
char* WriteUtf8Escaped(char* at, std::u16string_view text);
// Bytes of the UTF-8 that ToUtf8 and AppendUtf8 write for the text, counted without writing it (a half of a
// surrogate pair without its partner is written as U+FFFD).
std::size_t Utf8Length(std::u16string_view text);
// Invalid UTF-8 bytes become U+FFFD each.
std::u16string FromUtf8(std::string_view text);
// File names as the system keeps them (bytes, usually but not always UTF-8). A byte that is not part of valid
// UTF-8 is carried as the unpaired surrogate U+DC00 + byte, so a name read from a folder opens again byte for
// byte; ToUtf8 shows each such byte as U+FFFD.
std::u16string FromSystemName(std::string_view bytes);
// The bytes of a name made by FromSystemName (any other unpaired surrogate becomes U+FFFD's bytes).
std::string ToSystemName(std::u16string_view name);
// For literals that are plain ASCII: u"..." would do as well, this serves computed std::string texts.
std::u16string Widen(std::string_view ascii);

// One 8-bit code page: bytes to UTF-16 and back.
class CodePage {
public:
    virtual ~CodePage() = default;
    virtual std::string Name() const = 0;
    // Converts every byte given (a zero byte included); callers cut at the first zero where the format asks.
    virtual std::u16string Decode(std::span<const std::uint8_t> bytes) const = 0;
    // Characters that the code page cannot hold become '?'.
    virtual std::string Encode(std::u16string_view text) const = 0;
};

// Windows-1252 from our own table: the five bytes it leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the
// C1 controls of the same value, as Windows does.
const CodePage& Windows1252();
// Any other code page through iconv ("CP1251", "CP932", ...); null when iconv does not know the name.
std::unique_ptr<CodePage> MakeIconvCodePage(const std::string& name);

// The Windows code page of that number (874, 932, 936, 949, 950, 1250 to 1258, 437, 850, ...): 1252 from our
// table, the others through iconv, each made once and kept for the life of the process; null when iconv does
// not know it.
const CodePage* CodePageNumbered(unsigned number);

// The ANSI code page that 8-bit column values and definition texts are read with.
const CodePage& AnsiCodePage();
// Takes a code page name ("1252", "CP1251", "windows-1250"); false and no change when it is unknown.
bool SetAnsiCodePage(const std::string& name);

// 8-bit text up to its first zero byte, through the ANSI code page.
std::u16string AnsiToUtf16(std::span<const std::uint8_t> bytes);
// The same text appended to out; Windows-1252 (the default) is converted in place, with no string of its own.
void AppendAnsiToUtf16(std::u16string& out, std::span<const std::uint8_t> bytes);
// Every byte given (zeros included) through the code page, appended to out; Windows-1252 converted in place.
void AppendCodePageText(std::u16string& out, std::span<const std::uint8_t> bytes, const CodePage& page);
// Little-endian UTF-16 bytes up to the first zero unit; an odd trailing byte is ignored.
std::u16string Utf16LeToString(std::span<const std::uint8_t> bytes);

// Case-insensitive comparison of two UTF-16 texts (simple case folding of Latin, Greek and Cyrillic letters).
bool EqualsNoCase(std::u16string_view a, std::u16string_view b);
std::u16string ToLower(std::u16string_view text);
std::u16string ToUpper(std::u16string_view text);

}  // namespace platform
