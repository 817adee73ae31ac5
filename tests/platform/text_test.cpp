// Text conversions: UTF-16 and UTF-8, the Windows-1252 table, other code pages through iconv.
#include <gtest/gtest.h>

#include <string>

#include "platform/text.h"

using platform::FromUtf8;
using platform::ToUtf8;

TEST(Utf, RoundTripsAllPlanes) {
    const std::u16string text = u"A\u00e9\u4e2d\U0001F600z";
    EXPECT_EQ(ToUtf8(text), "A\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80z");
    EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
}

TEST(Utf, DamagedInputBecomesReplacementCharacters) {
    EXPECT_EQ(ToUtf8(std::u16string(1, char16_t(0xD800)) + u"x"), "\xEF\xBF\xBDx");
    EXPECT_EQ(FromUtf8("\xC3"), u"\uFFFD");
    EXPECT_EQ(FromUtf8("a\xFF" "b"), u"a\uFFFDb");
    EXPECT_EQ(FromUtf8("\xC0\x80"), u"\uFFFD") << "an overlong zero is not read as a zero";
}

TEST(Utf, AppendedInOnePassWithListingEscapes) {
    struct Case {
        std::u16string text;
        const char* plain;
        const char* escaped;
    };
    const Case cases[] = {
        {u"", "", ""},
        {u"plain", "plain", "plain"},
        {u"a\\b\tc\rd\ne", "a\\b\tc\rd\ne", "a\\\\b\\tc\\rd\\ne"},
        {u"\u00E9\u4E2D\U0001F600", "\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80", "\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80"},
        // An unpaired surrogate at the very end, and a low one alone.
        {std::u16string(u"x") + char16_t(0xDBFF), "x\xEF\xBF\xBD", "x\xEF\xBF\xBD"},
        {std::u16string(1, char16_t(0xDC00)) + u"\n", "\xEF\xBF\xBD\n", "\xEF\xBF\xBD\\n"},
        // Three-byte characters only: the most room a unit can take.
        {std::u16string(1000, char16_t(0xFFFF)), nullptr, nullptr},
        // Plain ASCII is taken eight units at a time: a unit to escape or convert at each place of a block of
        // eight, and one just past it, must still be seen.
        {u"abcdefg\\hijklmnop", "abcdefg\\hijklmnop", "abcdefg\\\\hijklmnop"},
        {u"abcdefgh\tijklmnop", "abcdefgh\tijklmnop", "abcdefgh\\tijklmnop"},
        {u"\nbcdefghijklmnop", "\nbcdefghijklmnop", "\\nbcdefghijklmnop"},
        {u"abcdefg\u00E9hijklmnop", "abcdefg\xC3\xA9hijklmnop", "abcdefg\xC3\xA9hijklmnop"},
        {u"abc\u8000efghijklmnop", "abc\xE8\x80\x80" "efghijklmnop", "abc\xE8\x80\x80" "efghijklmnop"},
        {u"abcdefgh\x01\x7F\x1Fjklmnop", "abcdefgh\x01\x7F\x1Fjklmnop", "abcdefgh\x01\x7F\x1Fjklmnop"},
        {u"abcdefghijklmno\r", "abcdefghijklmno\r", "abcdefghijklmno\\r"},
        // Past the 128 units written on the stack: the same text through the other road.
        {std::u16string(130, u'a') + u"\t\u00E9", nullptr, nullptr},
    };
    for (const auto& c : cases) {
        std::string plain = "head\t";
        std::string escaped = "head\t";
        platform::AppendUtf8(plain, c.text);
        platform::AppendUtf8Escaped(escaped, c.text);
        const std::string utf8 = ToUtf8(c.text);
        EXPECT_EQ(plain, "head\t" + utf8);
        if (c.plain != nullptr) {
            EXPECT_EQ(utf8, c.plain);
            EXPECT_EQ(escaped, std::string("head\t") + c.escaped);
        } else if (c.text.size() == 1000) {
            EXPECT_EQ(utf8.size(), 3000u);
            EXPECT_EQ(escaped, plain);
        } else {
            EXPECT_EQ(escaped, "head\t" + std::string(130, 'a') + "\\t\xC3\xA9");
        }
    }
}

// File names keep their bytes through UTF-16 and show each byte that is not UTF-8 as U+FFFD.
TEST(SystemNames, BytesRoundTripAndShowAsReplacementCharacters) {
    struct Case {
        const char* name;
        std::string bytes;
        std::u16string shown;
    };
    const Case cases[] = {
        {"plain ASCII", "data.mdf", u"data.mdf"},
        {"UTF-8 of every length", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", u"\u00E9\u20AC\U0001F600"},
        {"a Latin-1 byte", "caf\xE9", u"caf\uFFFD"},
        {"a lone continuation byte", "a\x80" "b", u"a\uFFFDb"},
        {"an overlong slash", "\xC0\xAF", u"\uFFFD\uFFFD"},
        {"an encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
        {"past U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"a sequence cut by the end", "x\xF0\x9F\x98", u"x\uFFFD\uFFFD\uFFFD"},
        {"valid UTF-8 right after a bad byte", "\xFF\xC3\xA9", u"\uFFFD\u00E9"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::u16string name = platform::FromSystemName(c.bytes);
        EXPECT_EQ(platform::ToSystemName(name), c.bytes);
        EXPECT_EQ(platform::FromUtf8(platform::ToUtf8(name)), c.shown);
    }
    // An unpaired surrogate that no name gave is not a byte.
    EXPECT_EQ(platform::ToSystemName(u"\xD800"), "\xEF\xBF\xBD");
}

TEST(Windows1252, TableCases) {
    struct Case {
        std::uint8_t byte;
        char16_t expected;
    };
    const Case cases[] = {{0x41, u'A'}, {0x80, 0x20AC}, {0x81, 0x0081}, {0x8D, 0x008D}, {0x8F, 0x008F},
                          {0x90, 0x0090}, {0x9D, 0x009D}, {0x9F, 0x0178}, {0xA0, 0x00A0}, {0xE9, 0x00E9},
                          {0xFF, 0x00FF}, {0x96, 0x2013}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.byte);
        std::uint8_t b = c.byte;
        EXPECT_EQ(platform::Windows1252().Decode({&b, 1}), std::u16string(1, c.expected));
        EXPECT_EQ(platform::Windows1252().Encode(std::u16string(1, c.expected)), std::string(1, char(c.byte)));
    }
    EXPECT_EQ(platform::Windows1252().Encode(u"\u4e2d"), "?");
}

TEST(AnsiCodePage, DefaultIs1252AndOthersComeThroughIconv) {
    const std::uint8_t bytes[] = {0xC0, 0xE9, 0x00, 0x41};
    EXPECT_EQ(platform::AnsiToUtf16(bytes), u"\u00c0\u00e9") << "cut at the first zero byte";
    ASSERT_TRUE(platform::SetAnsiCodePage("1251"));
    EXPECT_EQ(platform::AnsiToUtf16(bytes), u"\u0410\u0439");
    EXPECT_FALSE(platform::SetAnsiCodePage("no-such-code-page"));
    EXPECT_EQ(platform::AnsiCodePage().Name(), "CP1251") << "an unknown name changes nothing";
    ASSERT_TRUE(platform::SetAnsiCodePage("1252"));
    EXPECT_EQ(platform::AnsiToUtf16(bytes), u"\u00c0\u00e9");
}

TEST(Utf16Le, CutAtFirstZeroUnit) {
    const std::uint8_t bytes[] = {'a', 0, 'b', 0, 0, 0, 'c', 0, 'd'};
    EXPECT_EQ(platform::Utf16LeToString(bytes), u"ab");
}

TEST(CaseInsensitive, LatinAndCyrillic) {
    EXPECT_TRUE(platform::EqualsNoCase(u"Shared Documents", u"shared DOCUMENTS"));
    EXPECT_TRUE(platform::EqualsNoCase(u"\u00c9t\u00e9", u"\u00e9T\u00c9"));
    EXPECT_TRUE(platform::EqualsNoCase(u"\u0414\u043e\u043a", u"\u0434\u041e\u041a"));
    EXPECT_FALSE(platform::EqualsNoCase(u"abc", u"abd"));
    EXPECT_EQ(platform::ToUpper(u"{abc-\u00e9}"), u"{ABC-\u00c9}");
}
