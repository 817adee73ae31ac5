// SHA-256 of a file or a byte string, as lowercase hex; for checking corpus files and written documents.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace testsupport {

std::string Sha256Hex(std::span<const std::uint8_t> data);
// Empty when the file cannot be read.
std::string Sha256OfFile(const std::filesystem::path& path);

}  // namespace testsupport
