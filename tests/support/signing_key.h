// An Ed25519 key pair made at run time for the update tests, and helpers that serve a file with its detached
// signature ("<path>.sig") from the loopback server. No private key is ever stored anywhere.
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

private:
    void* key_ = nullptr;  // EVP_PKEY
    update::PublicKey public_key_{};
};

// Routes `path` to `body` and "<path>.sig" to the key's signature of it.
void ServeSigned(LoopbackHttpServer& server, const TestSigningKey& key, const std::string& path,
                 const std::string& body);

}  // namespace testsupport
