// An Ed25519 key pair made at run time for the update tests, and helpers that write an update manifest and serve
// it with its detached signature ("<path>.sig") from the loopback server. No private key is ever stored anywhere.
#pragma once

#include <string>

#include "tests/support/loopback_http.h"
#include "update/signature.h"

namespace testsupport {

class TestSigningKey {
public:
    TestSigningKey();
    ~TestSigningKey();
    TestSigningKey(const TestSigningKey&) = delete;
    TestSigningKey& operator=(const TestSigningKey&) = delete;

    const update::PublicKey& PublicKey() const { return public_key_; }
    // The 64-byte detached signature of `message`.
    std::string Sign(const std::string& message) const;
    // Writes the private key as PEM (PKCS #8), as `openssl genpkey` does, for the signing script's test.
    void WritePrivateKey(const std::string& path) const;

private:
    void* key_ = nullptr;  // EVP_PKEY
    update::PublicKey public_key_{};
};

// Routes `path` to `body` and "<path>.sig" to the key's signature of it.
void ServeSigned(LoopbackHttpServer& server, const TestSigningKey& key, const std::string& path,
                 const std::string& body);

// An update manifest: `version_lines` (each ending with a line break), then the package line of `version`
// with the size and SHA-256 of `package`.
std::string ManifestText(const std::string& version_lines, const std::string& version,
                         const std::string& package);

// A release as the maker publishes it: the manifest offering `version` with `package`, signed by `key`, and
// the package itself.
void ServeRelease(LoopbackHttpServer& server, const TestSigningKey& key, const std::string& version,
                  const std::string& package);

}  // namespace testsupport
