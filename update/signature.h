// The detached Ed25519 signature of the update manifest: "<name>.txt.sig" beside it on the server holds the
// 64 bytes of the signature of the manifest's exact bytes, as `openssl pkeyutl -sign -rawin` writes them.
#pragma once

#include <array>
#include <cstddef>
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

}  // namespace update
