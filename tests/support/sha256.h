// SHA-256 of a file or a byte string, as lowercase hex; for checking corpus files and written documents.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

namespace testsupport {

std::string Sha256Hex(std::span<const std::uint8_t> data);
// Of a byte string held as text.
std::string Sha256Of(std::string_view bytes);
// Empty when the file cannot be read.
std::string Sha256OfFile(const std::filesystem::path& path);

}  // namespace testsupport
