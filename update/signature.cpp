// Ed25519 verification through OpenSSL's one-shot interface (Ed25519 signs the message itself, not a digest).
#include "update/signature.h"

#include <openssl/evp.h>

#include <algorithm>
#include <memory>

namespace update {

bool IsPlaceholderKey(const PublicKey& key) {
    return std::all_of(key.begin(), key.end(), [](unsigned char b) { return b == 0; });
}

bool VerifySignature(const PublicKey& key, std::string_view message, std::string_view signature,
                     std::string& error) {
    if (IsPlaceholderKey(key)) {
        error = "no update signing key is built into this program";
        return false;
    }
    if (signature.size() != kSignatureSize) {
        error = "the signature is not 64 bytes long";
        return false;
    }
    std::unique_ptr<EVP_PKEY, void (*)(EVP_PKEY*)> pkey(
        EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, key.data(), key.size()), EVP_PKEY_free);
    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!pkey || !ctx || EVP_DigestVerifyInit(ctx.get(), nullptr, nullptr, nullptr, pkey.get()) != 1) {
        error = "the signing key cannot be used";
        return false;
    }
    const int verified = EVP_DigestVerify(ctx.get(), reinterpret_cast<const unsigned char*>(signature.data()),
                                          signature.size(), reinterpret_cast<const unsigned char*>(message.data()),
                                          message.size());
    if (verified != 1) {
        error = "the signature does not match";
        return false;
    }
    return true;
}

}  // namespace update
