// The text of an xml value: the server keeps xml in its binary XML form, a stream of tokens with names defined
// once and referenced by number, and typed values in binary. This file turns that form back into XML text, as
// the server itself serializes xml to nvarchar, so the value can be inserted and shown.
//
// The form, as the published binary XML structure lays it out (mb32: 7 bits a byte, low bits first, high bit set
// on every byte but the last):
//   document   DF FF, version 01 or 02 (00 read as 01), B0 04 (UTF-16LE), then content
//   F0 name    NAMEDEF: mb32 length in UTF-16 units, the units; names are numbered from 1 (0: empty)
//   EF u p l   QNAMEDEF: three name numbers (namespace URI, prefix, local name); qnames are numbered from 1
//   F8 q       ELEMENT, then [attributes F5] content F7      F6 q value*  ATTRIBUTE
//   F3 text    COMMENT      F4 name text  PI      F2 text ... F1  CDATA chunks and their end
//   EC ... EB  a nested document with name tables of its own     EA len bytes  extension (skipped)
//   E9         FLUSH: both name tables start again from 1
//   FE, FD, FC-F9  XML declaration and document type
//   atomic values: 01-18, 1B (SQL types), 7A-7F (dates and times of version 2), 81-8C (XSD types)
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace rows {

// The XML text of a stored binary XML value; nothing when the bytes do not follow the form (damage, or a part
// this reader cannot write as text such as a document type declaration). Text is escaped as the server writes
// it: "&", "<", ">" and CR in text; "&", "<", ">", quotes, tab, LF and CR in attribute values.
std::optional<std::u16string> BinaryXmlText(std::span<const std::uint8_t> bytes);

}  // namespace rows
