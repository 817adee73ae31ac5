// Ed25519 verification through OpenSSL's one-shot interface (Ed25519 signs the message itself, not a digest).
#include "update/signature.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
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

bool VerifyFileSignature(const PublicKey& key, const std::filesystem::path& file, std::string_view signature,
                         std::string& error) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot read " + file.string() + ": " + std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        error = file.string() + " is not a regular file";
        return false;
    }
    const auto size = static_cast<std::size_t>(info.st_size);
    if (size == 0) {
        ::close(fd);
        return VerifySignature(key, {}, signature, error);
    }
    void* mapped = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    ::close(fd);
    if (mapped == MAP_FAILED) {
        error = "cannot map " + file.string() + ": " + std::strerror(errno);
        return false;
    }
    const bool ok = VerifySignature(key, std::string_view(static_cast<const char*>(mapped), size), signature, error);
    ::munmap(mapped, size);
    return ok;
}

}  // namespace update
