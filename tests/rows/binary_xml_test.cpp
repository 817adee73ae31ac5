// The stored binary XML form turned into text: the examples of the published binary XML structure, the typed
// values it defines, the escapes of text and attributes, and bytes that do not follow the form.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/text.h"
#include "rows/binary_xml.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A name or text as the form stores it: its length in UTF-16 units (one byte here), then the units.
Bytes Units(std::u16string_view text) {
    Bytes out = {static_cast<std::uint8_t>(text.size())};
    for (const char16_t c : text) {
        out.push_back(static_cast<std::uint8_t>(c & 0xFF));
        out.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return out;
}

const Bytes kHeader = {0xDF, 0xFF, 0x01, 0xB0, 0x04};
const Bytes kHeader2 = {0xDF, 0xFF, 0x02, 0xB0, 0x04};

std::string Text(const Bytes& bytes) {
    const auto text = rows::BinaryXmlText(bytes);
    return text ? platform::ToUtf8(*text) : std::string("<none>");
}

// The "Document" example of the published structure, byte for byte.
TEST(BinaryXml, PublishedDocumentExample) {
    const Bytes bytes = {0xDF, 0xFF, 0x01, 0xB0, 0x04,                                      // header
                         0xF0, 0x04, 0x72, 0x00, 0x6F, 0x00, 0x6F, 0x00, 0x74, 0x00,      // name 1 "root"
                         0xEF, 0x00, 0x00, 0x01,                                          // qname 1
                         0xF8, 0x01,                                                      // <root>
                         0x11, 0x02, 0x0A, 0x00, 0x09, 0x00,                              // "\n\t"
                         0xF0, 0x02, 0x70, 0x00, 0x69, 0x00,                              // name 2 "pi"
                         0xF4, 0x02, 0x04, 0x74, 0x00, 0x65, 0x00, 0x78, 0x00, 0x74, 0x00,  // <?pi text?>
                         0x11, 0x02, 0x0A, 0x00, 0x09, 0x00,                              // "\n\t"
                         0xF3, 0x07, 0x63, 0x00, 0x6F, 0x00, 0x6D, 0x00, 0x6D, 0x00, 0x65, 0x00, 0x6E, 0x00, 0x74,
                         0x00,                                                            // <!--comment-->
                         0x11, 0x01, 0x0A, 0x00,                                          // "\n"
                         0xF7};                                                           // </root>
    EXPECT_EQ(Text(bytes), "<root>\n\t<?pi text?>\n\t<!--comment-->\n</root>");
}

// The "Names" example: <prefix:localName xmlns:prefix="ns"/>, its tokens in the published order.
TEST(BinaryXml, PublishedNamesExample) {
    const Bytes bytes = kHeader + Bytes{0xF0} + Units(u"ns") + Bytes{0xF0} + Units(u"prefix") + Bytes{0xF0} +
                        Units(u"localName") + Bytes{0xEF, 0x01, 0x02, 0x03, 0xF8, 0x01, 0xF0} + Units(u"xmlns:prefix") +
                        Bytes{0xEF, 0x00, 0x04, 0x00, 0xF6, 0x02, 0x11} + Units(u"ns") + Bytes{0xF5, 0xF7};
    EXPECT_EQ(Text(bytes), "<prefix:localName xmlns:prefix=\"ns\"/>");
}

// An element <v> of one atomic value, with the element's name defined first.
Bytes Valued(const Bytes& value, const Bytes& header = kHeader) {
    return header + Bytes{0xF0} + Units(u"v") + Bytes{0xEF, 0x00, 0x00, 0x01, 0xF8, 0x01} + value + Bytes{0xF7};
}

TEST(BinaryXml, TypedValues) {
    struct Case {
        const char* name;
        Bytes value;
        const char* text;
        const Bytes* header = &kHeader;
    };
    const Case cases[] = {
        // The decimal of the published example: 20.003, scale 4, as a 4-byte value.
        {"decimal", {0x0A, 0x07, 0x06, 0x04, 0x01, 0x5E, 0x0D, 0x03, 0x00}, "20.003"},
        {"negative numeric", {0x0B, 0x07, 0x05, 0x02, 0x00, 0x39, 0x30, 0x00, 0x00}, "-123.45"},
        {"int", {0x02, 0xFB, 0xFF, 0xFF, 0xFF}, "-5"},
        {"smallint", {0x01, 0x34, 0x12}, "4660"},
        {"tinyint (signed in this form)", {0x07, 0xFF}, "-1"},
        {"bigint", {0x08, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}, "9223372036854775807"},
        {"unsigned short", {0x89, 0xFF, 0xFF}, "65535"},
        {"xsd byte", {0x88, 0xFF}, "255"},
        {"bit", {0x06, 0x01}, "1"},
        {"boolean", {0x86, 0x00}, "false"},
        // Money is ten-thousandths: 10.3001 is stored as 103001.
        {"money", {0x05, 0x59, 0x92, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00}, "10.3001"},
        {"float", {0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF8, 0x3F}, "1.5"},
        {"real", {0x03, 0x00, 0x00, 0xC0, 0x3F}, "1.5"},
        {"float with an exponent", {0x04, 0x00, 0x00, 0x00, 0x00, 0x84, 0xD7, 0x97, 0x41}, "1.0E8"},
        {"uuid", {0x09, 0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77, 0x66, 0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF},
         "00112233-4455-6677-8899-AABBCCDDEEFF"},
        {"varbinary as base64", {0x0F, 0x03, 'a', 'b', 'c'}, "YWJj"},
        {"binhex", {0x84, 0x03, 0x42, 0xAC, 0xEF}, "42ACEF"},
        // Code page text: its length counts the 4 code page bytes.
        {"varchar of code page 1251", {0x10, 0x06, 0xE3, 0x04, 0x00, 0x00, 0xE0, 0xE1}, "\xD0\xB0\xD0\xB1"},
        {"nchar", {0x0E, 0x02, 'o', 0, 'k', 0}, "ok"},
        // SQL datetime: days from 1900-01-01, then ticks of 1/300 s.
        {"datetime", {0x12, 0xFF, 0x9C, 0x00, 0x00, 0x72, 0xA6, 0xD7, 0x00}, "2010-01-15T13:05:09.5"},
        {"smalldatetime", {0x13, 0x00, 0x00, 0x00, 0x00}, "1900-01-01T00:00:00"},
        // XSD dateTime: 2 + 4 * (ms + 1000 * (s + 60 * (min + 60 * (h + 24 * (day - 1 + 31 * (month - 1 + 12 *
        // (year + 9999)))))))
        {"xsd dateTime", {0x82, 0x22, 0x2E, 0xB4, 0x00, 0x30, 0x7C, 0x05, 0x00}, "2010-01-15T13:05:09Z"},
        // XSD date 2001-02-03 with no offset: 1 + 4 * (840 + 1740 * (2 + 31 * (1 + 12 * 12000)))
        {"xsd date", {0x83, 0x51, 0x96, 0xE5, 0x3B, 0x07, 0x00, 0x00, 0x00}, "2001-02-03Z"},
        // Version 2: date is 3 bytes of days from 0001-01-01; datetime2 a scale, its time, then the date.
        {"date2", {0x7F, 0x96, 0x25, 0x0B}, "2001-02-03", &kHeader2},
        {"datetime2", {0x7E, 0x02, 0x28, 0x23, 0x00, 0x96, 0x25, 0x0B}, "2001-02-03T00:01:30", &kHeader2},
        {"datetimeoffset", {0x7B, 0x00, 0x00, 0x00, 0x00, 0x96, 0x25, 0x0B, 0x3C, 0x00}, "2001-02-03T01:00:00+01:00",
         &kHeader2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Text(Valued(c.value, *c.header)), std::string("<v>") + c.text + "</v>");
    }
}

TEST(BinaryXml, TextAndAttributesAreEscaped) {
    // <a t="x&quot;&lt;&#xA;">&lt;&amp;&gt;&#xD;</a>, and a CDATA section kept as it is.
    const Bytes bytes = kHeader + Bytes{0xF0} + Units(u"a") + Bytes{0xF0} + Units(u"t") +
                        Bytes{0xEF, 0x00, 0x00, 0x01, 0xEF, 0x00, 0x00, 0x02, 0xF8, 0x01, 0xF6, 0x02, 0x11} +
                        Units(u"x\"<\n") + Bytes{0xF5, 0x11} + Units(u"<&>\r") + Bytes{0xF2} + Units(u"<b>") +
                        Bytes{0xF1, 0xF7};
    EXPECT_EQ(Text(bytes), "<a t=\"x&quot;&lt;&#xA;\">&lt;&amp;&gt;&#xD;<![CDATA[<b>]]></a>");
}

TEST(BinaryXml, NamespacesAFormLeavesUndeclaredAreDeclared) {
    // <p:e> in namespace "urn:x" with no xmlns attribute stored for it.
    const Bytes bytes = kHeader + Bytes{0xF0} + Units(u"urn:x") + Bytes{0xF0} + Units(u"p") + Bytes{0xF0} +
                        Units(u"e") + Bytes{0xEF, 0x01, 0x02, 0x03, 0xF8, 0x01, 0xF8, 0x01, 0xF7, 0xF7};
    EXPECT_EQ(Text(bytes), "<p:e xmlns:p=\"urn:x\"><p:e/></p:e>");
}

TEST(BinaryXml, FragmentsNestedDocumentsAndFlushedNames) {
    const Bytes element_a = Bytes{0xF0} + Units(u"a") + Bytes{0xEF, 0x00, 0x00, 0x01, 0xF8, 0x01, 0xF7};
    // Two elements at the root, a nested document with its own names, and names flushed between.
    const Bytes bytes = kHeader + element_a + Bytes{0xEC} + kHeader + Bytes{0xF0} + Units(u"b") +
                        Bytes{0xEF, 0x00, 0x00, 0x01, 0xF8, 0x01, 0xF7, 0xEB, 0xE9} + element_a + Bytes{0x11} +
                        Units(u"t");
    EXPECT_EQ(Text(bytes), "<a/><b/><a/>t");
}

TEST(BinaryXml, BytesThatDoNotFollowTheFormGiveNoText) {
    const Bytes good = Valued(Bytes{0x11} + Units(u"x"));
    ASSERT_EQ(Text(good), "<v>x</v>");
    const std::vector<std::pair<const char*, Bytes>> cases = {
        {"empty", {}},
        {"UTF-16 text, not the binary form", {'<', 0, 'a', 0, '/', 0, '>', 0}},
        {"a version the form does not know", Bytes{0xDF, 0xFF, 0x03, 0xB0, 0x04}},
        {"cut in the middle", Bytes(good.begin(), good.end() - 3)},
        {"an element that never ends", Bytes(good.begin(), good.end() - 1)},
        {"an end without an element", kHeader + Bytes{0xF7}},
        {"a qname that was never defined", kHeader + Bytes{0xF8, 0x05, 0xF7}},
        {"a text longer than the bytes", Valued(Bytes{0x11, 0x7F, 'x', 0})},
        {"a length of more than five bytes", Valued(Bytes{0x11, 0x80, 0x80, 0x80, 0x80, 0x80, 0x01})},
        {"a document type declaration", kHeader + Bytes{0xFC} + Units(u"d")},
        {"an unknown token", kHeader + Bytes{0x55}},
        {"attributes without their end", kHeader + Bytes{0xF0} + Units(u"a") +
                                             Bytes{0xEF, 0x00, 0x00, 0x01, 0xF8, 0x01, 0xF6, 0x01, 0xF7}},
        {"a date of version 2 in a version 1 document", Valued(Bytes{0x7F, 0x96, 0x25, 0x0B})},
    };
    for (const auto& [name, bytes] : cases) EXPECT_EQ(Text(bytes), "<none>") << name;
}

}  // namespace
