#include "tests/support/signing_key.h"

#include "tests/support/sha256.h"

#include <openssl/evp.h>
#include <openssl/pem.h>

#include <cstdio>

#include <memory>
#include <stdexcept>

namespace testsupport {

TestSigningKey::TestSigningKey() {
    EVP_PKEY* key = nullptr;
    std::unique_ptr<EVP_PKEY_CTX, void (*)(EVP_PKEY_CTX*)> ctx(EVP_PKEY_CTX_new_id(EVP_PKEY_ED25519, nullptr),
                                                                EVP_PKEY_CTX_free);
    if (!ctx || EVP_PKEY_keygen_init(ctx.get()) != 1 || EVP_PKEY_keygen(ctx.get(), &key) != 1) {
        throw std::runtime_error("cannot make an Ed25519 key");
    }
    key_ = key;
    std::size_t size = public_key_.size();
    if (EVP_PKEY_get_raw_public_key(key, public_key_.data(), &size) != 1 || size != public_key_.size()) {
        throw std::runtime_error("cannot read the Ed25519 public key");
    }
}

TestSigningKey::~TestSigningKey() { EVP_PKEY_free(static_cast<EVP_PKEY*>(key_)); }

std::string TestSigningKey::Sign(const std::string& message) const {
    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    std::string signature(update::kSignatureSize, '\0');
    std::size_t size = signature.size();
    if (!ctx || EVP_DigestSignInit(ctx.get(), nullptr, nullptr, nullptr, static_cast<EVP_PKEY*>(key_)) != 1 ||
        EVP_DigestSign(ctx.get(), reinterpret_cast<unsigned char*>(signature.data()), &size,
                       reinterpret_cast<const unsigned char*>(message.data()), message.size()) != 1) {
        throw std::runtime_error("cannot sign");
    }
    signature.resize(size);
    return signature;
}

void TestSigningKey::WritePrivateKey(const std::string& path) const {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) throw std::runtime_error("cannot write " + path);
    const bool written = PEM_write_PrivateKey(file, static_cast<EVP_PKEY*>(key_), nullptr, nullptr, 0, nullptr,
                                              nullptr) == 1;
    std::fclose(file);
    if (!written) throw std::runtime_error("cannot write the key to " + path);
}

void ServeSigned(LoopbackHttpServer& server, const TestSigningKey& key, const std::string& path,
                 const std::string& body) {
    server.Route(path, Ok(body));
    server.Route(path + ".sig", Ok(key.Sign(body)));
}

std::string ManifestText(const std::string& version_lines, const std::string& version,
                         const std::string& package) {
    return version_lines + "package " + version + " " + std::to_string(package.size()) + " " + Sha256Of(package) +
           "\n";
}

void ServeRelease(LoopbackHttpServer& server, const TestSigningKey& key, const std::string& version,
                  const std::string& package) {
    ServeSigned(server, key, kVersionPath, ManifestText(version + " New release\n", version, package));
    server.Route(kPackagePath, Ok(package));
}

}  // namespace testsupport
