// The uniqueidentifier text: the 16 stored bytes in the braced, upper-case form Windows writes a GUID in.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace rows {

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}": the first three groups are little-endian numbers (their bytes
// appear reversed), the last eight bytes in storage order. Missing bytes count as zero.
std::u16string GuidText(std::span<const std::uint8_t> bytes);
// The same text appended to out.
void AppendGuidText(std::u16string& out, std::span<const std::uint8_t> bytes);

}  // namespace rows
