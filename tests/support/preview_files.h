// Small files of the kinds the document preview shows, made in code: PNG pictures (whole, cut short, or
// declaring far more pixels than they hold), a short WAV sound and a one-page PDF.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

using Bytes = std::vector<std::uint8_t>;

// An RGB picture of width × height: a blue field with a red diagonal band and a yellow border, stored
// uncompressed inside the zlib stream.
Bytes MakePng(std::uint32_t width, std::uint32_t height);
// 60 bytes: a valid signature and header chunk declaring width × height, a 3-byte data chunk and the end chunk.
Bytes MakeDeclaredPng(std::uint32_t width, std::uint32_t height);
// A 16-bit mono WAV of `milliseconds` of a 440 Hz tone at 8000 samples per second.
Bytes MakeWav(int milliseconds);
// An uncompressed AVI of width × height pixels, `frames` frames at 10 per second: a moving bar on blue.
Bytes MakeAvi(std::uint32_t width, std::uint32_t height, std::uint32_t frames);
// A PDF of one 300 × 200 point page: a blue box with "Page one" in white, cross-reference offsets exact.
Bytes MakeOnePagePdf();

void WriteFile(const std::filesystem::path& file, const Bytes& bytes);
Bytes ToBytes(const std::string& text);

}  // namespace testsupport
