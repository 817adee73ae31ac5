// Text for the preview's text and HTML views: the first part of a file, decoded by its byte-order mark, else as
// UTF-8 when it is valid UTF-8, else through an 8-bit code page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "platform/text.h"

namespace app {

// How much of a file the text and HTML views show.
constexpr std::size_t kPreviewTextLimit = 1024 * 1024;

enum class TextEncoding { Utf8Bom, Utf16Le, Utf16Be, Utf8, CodePage };

struct PreviewText {
    std::u16string text;
    TextEncoding encoding = TextEncoding::Utf8;
};

// `cut`: the bytes end where the reading stopped, not where the file ends, so a character cut in two at the end
// is dropped rather than shown as a replacement character. Zero characters become U+FFFD (a text control would
// end its text there); invalid bytes and unpaired surrogates become U+FFFD.
PreviewText DecodePreviewText(std::span<const std::uint8_t> bytes, const platform::CodePage& code_page, bool cut);

// Reads the first kPreviewTextLimit bytes of the file and decodes them; false when it cannot be read.
bool ReadPreviewText(const std::filesystem::path& file, const platform::CodePage& code_page, PreviewText& out);

}  // namespace app
