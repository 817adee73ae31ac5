// Detached Ed25519 signatures of the update's files: "<file>.sig" beside each file on the server holds the
// 64 bytes of the signature of the file's exact bytes, as `openssl pkeyutl -sign -rawin` writes them.
#pragma once

#include <array>
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace update {

using PublicKey = std::array<unsigned char, 32>;
inline constexpr std::size_t kSignatureSize = 64;

// True for the all-zero placeholder that stands where no real key has been built in.
bool IsPlaceholderKey(const PublicKey& key);

// True only when `signature` is exactly 64 bytes and a valid signature of `message` by `key`. A placeholder
// key verifies nothing; `error` says why a check failed.
bool VerifySignature(const PublicKey& key, std::string_view message, std::string_view signature,
                     std::string& error);
// The same for the whole content of a regular file (read through a private mapping, links not followed).
bool VerifyFileSignature(const PublicKey& key, const std::filesystem::path& file, std::string_view signature,
                         std::string& error);

}  // namespace update
