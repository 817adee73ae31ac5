// The version check and the checked download.
#include "update/auto_updater.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/product_version.h"
#include "platform/text.h"

namespace update {

namespace {

int CheckCodeOf(HttpOutcome outcome) {
    switch (outcome) {
        case HttpOutcome::Connection:
        case HttpOutcome::Cancelled: return kCheckNoConnection;
        case HttpOutcome::TooLarge:
        case HttpOutcome::Truncated: return kCheckMalformed;
        default: return kCheckNotFound;
    }
}

// A folder is safe to keep the package in when no other user can change it or any folder above it: each
// ancestor belongs to root or to this user and is writable by nobody else (unless it is sticky, like /tmp).
bool AncestorsAreSafe(const std::filesystem::path& folder, std::string& error) {
    std::error_code ec;
    const std::filesystem::path parent = std::filesystem::canonical(folder.parent_path(), ec);
    if (ec) {
        error = "cannot resolve " + folder.parent_path().string() + ": " + ec.message();
        return false;
    }
    for (std::filesystem::path at = parent;; at = at.parent_path()) {
        struct stat info {};
        if (::lstat(at.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
            error = at.string() + " is not a folder";
            return false;
        }
        if (info.st_uid != 0 && info.st_uid != ::geteuid()) {
            error = at.string() + " belongs to another user";
            return false;
        }
        if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (info.st_mode & S_ISVTX) == 0) {
            error = at.string() + " can be changed by other users";
            return false;
        }
        if (at == at.parent_path()) return true;
    }
}

// The download folder, opened without following a link: made with 0700 (and its missing parents too) when
// missing; an existing one must be a real folder of this user and loses every right of others. The descriptor
// is kept: the package is made, checked and named through it.
class DownloadFolder {
public:
    ~DownloadFolder() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool Open(const std::filesystem::path& folder, std::string& error) {
        const std::filesystem::path absolute = std::filesystem::absolute(folder).lexically_normal();
        std::filesystem::path at;
        for (const auto& part : absolute.parent_path()) {
            at /= part;
            if (::mkdir(at.c_str(), 0700) != 0 && errno != EEXIST) {
                error = "cannot create " + at.string() + ": " + std::strerror(errno);
                return false;
            }
        }
        if (::mkdir(absolute.c_str(), 0700) != 0 && errno != EEXIST) {
            error = "cannot create " + absolute.string() + ": " + std::strerror(errno);
            return false;
        }
        fd_ = ::open(absolute.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        struct stat info {};
        if (fd_ < 0 || ::fstat(fd_, &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid()) {
            error = absolute.string() + " is not a private folder of this user";
            return false;
        }
        if ((info.st_mode & 07777) != 0700 &&
            (::fchmod(fd_, 0700) != 0 || ::fstat(fd_, &info) != 0 || (info.st_mode & 07777) != 0700)) {
            error = "cannot make " + absolute.string() + " private";
            return false;
        }
        return AncestorsAreSafe(absolute, error);
    }
    int fd() const { return fd_; }

private:
    int fd_ = -1;
};

std::string Hex(const unsigned char* bytes, unsigned size) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (unsigned i = 0; i < size; ++i) {
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 15];
    }
    return out;
}

// The partial file in the private folder: created exclusively (no file, link or anything else may stand at its
// name), 0600, removed on every road except the rename. What decides is the file's content as written: it is
// read back through the descriptor it was written with.
class PartFile {
public:
    PartFile(int folder, std::string name) : folder_(folder), name_(std::move(name)) {}
    ~PartFile() {
        if (fd_ >= 0) ::close(fd_);
        if (created_) ::unlinkat(folder_, name_.c_str(), 0);
    }
    bool Create(std::string& error) {
        ::unlinkat(folder_, name_.c_str(), 0);  // a stale partial file or a planted link is removed, never followed
        fd_ = ::openat(folder_, name_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd_ < 0) {
            error = "cannot create " + name_ + ": " + std::strerror(errno);
            return false;
        }
        created_ = true;
        if (::fchmod(fd_, 0600) != 0) {
            error = "cannot make " + name_ + " private: " + std::strerror(errno);
            return false;
        }
        return true;
    }
    bool Write(const char* data, std::size_t size) {
        while (size > 0) {
            const ssize_t n = ::write(fd_, data, size);
            if (n < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            data += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    }
    // Flushes the file, then reads it whole through its own descriptor: true when it is a private regular file
    // of this user with exactly `size` bytes whose SHA-256 is `sha256`.
    bool Matches(std::uint64_t size, const std::string& sha256, std::string& error) {
        struct stat info {};
        if (::fsync(fd_) != 0 || ::fstat(fd_, &info) != 0) {
            error = "cannot save " + name_ + ": " + std::strerror(errno);
            return false;
        }
        if (!S_ISREG(info.st_mode) || info.st_uid != ::geteuid() || (info.st_mode & 07777) != 0600 ||
            info.st_nlink != 1) {
            error = name_ + " is not a private file of this user";
            return false;
        }
        if (static_cast<std::uint64_t>(info.st_size) != size) {
            error = "the package has " + std::to_string(info.st_size) + " bytes; the signed manifest says " +
                    std::to_string(size);
            return false;
        }
        std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> digest(EVP_MD_CTX_new(), EVP_MD_CTX_free);
        if (!digest || EVP_DigestInit_ex(digest.get(), EVP_sha256(), nullptr) != 1) {
            error = "no SHA-256";
            return false;
        }
        std::vector<char> block(1 << 16);
        std::uint64_t offset = 0;
        while (offset < size) {
            const ssize_t n = ::pread(fd_, block.data(), block.size(), static_cast<off_t>(offset));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                error = "cannot read back " + name_ + (n < 0 ? std::string(": ") + std::strerror(errno) : "");
                return false;
            }
            EVP_DigestUpdate(digest.get(), block.data(), static_cast<std::size_t>(n));
            offset += static_cast<std::uint64_t>(n);
        }
        unsigned char hash[EVP_MAX_MD_SIZE];
        unsigned hash_size = 0;
        EVP_DigestFinal_ex(digest.get(), hash, &hash_size);
        if (offset != size || Hex(hash, hash_size) != sha256) {
            error = "the package's SHA-256 differs from the signed manifest's";
            return false;
        }
        return true;
    }
    // Renames the checked file over `target` in the same folder and makes sure that name now stands for this
    // very file; false leaves `target` as it was (or removes what the rename put there).
    bool Commit(const std::string& target, std::string& error) {
        if (::renameat(folder_, name_.c_str(), folder_, target.c_str()) != 0) {
            error = "cannot save " + target + ": " + std::strerror(errno);
            return false;
        }
        created_ = false;
        struct stat written {};
        struct stat named {};
        if (::fstat(fd_, &written) != 0 || ::fstatat(folder_, target.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
            written.st_dev != named.st_dev || written.st_ino != named.st_ino) {
            error = target + " is not the checked file";
            ::unlinkat(folder_, target.c_str(), 0);
            return false;
        }
        ::close(fd_);
        fd_ = -1;
        ::fsync(folder_);  // the folder's entry reaches the disk too
        return true;
    }

private:
    int folder_;
    std::string name_;
    int fd_ = -1;
    bool created_ = false;
};

// A file's detached signature "<url>.sig" (a small body, in memory).
HttpResult FetchSignature(const std::string& url, const HttpLimits& limits, const std::atomic<bool>* cancel,
                          std::string& signature) {
    HttpRequest request;
    request.url = url + ".sig";
    request.limits = limits;
    request.limits.max_body = 1024;
    request.cancel = cancel;
    request.on_data = [&signature](const char* data, std::size_t size) {
        signature.append(data, size);
        return true;
    };
    return HttpGet(request);
}

}  // namespace

CAutoUpdater::CAutoUpdater()
    : m_strExeName(platform::kProductExeName), m_strInstalledVersion(platform::kProductVersion) {}

CAutoUpdater::~CAutoUpdater() = default;

std::string CAutoUpdater::FileUrl(const std::string& base_url, const std::u16string& name, const char* suffix) {
    std::string url = base_url;
    if (!url.empty() && url.back() != '/') url += '/';
    const std::string file = platform::ToUtf8(name);
    return url + file + "/" + file + suffix;
}

std::filesystem::path CAutoUpdater::DefaultDownloadFolder() {
    const char* cache = std::getenv("XDG_CACHE_HOME");
    std::filesystem::path base;
    if (cache != nullptr && cache[0] == '/') {
        base = cache;
    } else {
        const char* home = std::getenv("HOME");
        base = std::filesystem::path(home != nullptr ? home : "/tmp") / ".cache";
    }
    return base / "brindlemoor" / "updates";
}

int CAutoUpdater::CheckForUpdate(const std::string& base_url, const std::atomic<bool>* cancel) {
    m_strLastError.clear();
    m_manifest.reset();
    if (IsPlaceholderKey(signing_key)) {
        m_strLastError = "this build holds no update signing key";
        return kCheckNoSigningKey;
    }
    if (base_url.empty()) return kCheckNotConfigured;
    if (m_strInstalledVersion.empty()) return kCheckNoInstalledVersion;
    return ReadManifest(base_url, cancel);
}

int CAutoUpdater::ReadManifest(const std::string& base_url, const std::atomic<bool>* cancel) {
    m_manifest.reset();
    std::string body;
    HttpRequest request;
    request.url = FileUrl(base_url, m_strExeName, ".txt");
    request.limits = check_limits;
    request.limits.max_body = kMaxVersionFileSize;
    request.cancel = cancel;
    request.on_data = [&body](const char* data, std::size_t size) {
        body.append(data, size);
        return true;
    };
    const HttpResult fetched = HttpGet(request);
    if (fetched.outcome != HttpOutcome::Ok) {
        m_strLastError = fetched.error;
        return CheckCodeOf(fetched.outcome);
    }
    // Nothing of the manifest counts before its signature is checked.
    std::string signature;
    const HttpResult signed_by = FetchSignature(request.url, check_limits, cancel, signature);
    if (signed_by.outcome == HttpOutcome::Connection || signed_by.outcome == HttpOutcome::Cancelled) {
        m_strLastError = signed_by.error;
        return kCheckNoConnection;
    }
    if (signed_by.outcome != HttpOutcome::Ok) {
        m_strLastError = "the update manifest's signature is missing or unreadable (" + signed_by.error + ")";
        return kCheckNotSigned;
    }
    std::string error;
    if (!VerifySignature(signing_key, body, signature, error)) {
        m_strLastError = "the update manifest's signature is refused: " + error;
        return kCheckNotSigned;
    }
    auto manifest = ParseManifest(body);
    if (!manifest) {
        m_strLastError = "the update manifest's package line is malformed";
        return kCheckMalformed;
    }
    const VersionOffer offer = EvaluateVersionFile(manifest->version_lines, m_strInstalledVersion);
    m_strOfferedVersion = offer.version;
    m_strDescription = offer.description;
    if (offer.result == kCheckMalformed) {
        m_strLastError = "the update manifest is malformed";
        return offer.result;
    }
    m_manifest = std::move(manifest);
    m_manifestResult = offer.result;
    return offer.result;
}

int CAutoUpdater::DownloadUpdate(const std::string& base_url, const std::filesystem::path& folder,
                                 const std::atomic<bool>& cancel,
                                 const std::function<void(const DownloadProgress&)>& progress) {
    m_strLastError.clear();
    m_downloaded.clear();
    m_downloadedSha256.clear();
    if (IsPlaceholderKey(signing_key)) {
        m_strLastError = "this build holds no update signing key";
        return kDownloadNoSigningKey;
    }
    if (base_url.empty()) return kDownloadNotConfigured;
    if (cancel.load()) return kDownloadCancelled;
    DownloadProgress shown;
    auto report = [&] {
        if (progress) progress(shown);
    };
    shown.status_text = u"Getting Internet Session";
    report();

    std::string error;
    DownloadFolder private_folder;
    if (!private_folder.Open(folder, error)) {
        m_strLastError = error;
        return kDownloadFailed;
    }

    // The signed manifest decides what may be downloaded: the last check's, or one read now.
    if (!m_manifest) {
        if (m_strInstalledVersion.empty()) {
            m_strLastError = "the installed version is not known";
            return kDownloadNotOffered;
        }
        switch (ReadManifest(base_url, &cancel)) {
            case kCheckNoConnection: return cancel.load() ? kDownloadCancelled : kDownloadNoConnection;
            case kCheckNotFound: return kDownloadNotFound;
            case kCheckNotSigned: return kDownloadNotSigned;
            default: break;
        }
        if (!m_manifest) return kDownloadNotOffered;
    }
    if (m_manifestResult != kCheckNewer && m_manifestResult != kCheckNewerAndSecond) {
        m_strLastError = "the signed manifest offers no newer version than the installed " +
                         platform::ToUtf8(m_strInstalledVersion);
        return kDownloadNotOffered;
    }
    if (!m_manifest->package || CompareVersions(m_manifest->package->version, m_strOfferedVersion) != 0) {
        m_strLastError = "the signed manifest names no package of version " + platform::ToUtf8(m_strOfferedVersion);
        return kDownloadNotOffered;
    }
    const PackageEntry package = *m_manifest->package;

    const std::string file_name = platform::ToUtf8(m_strExeName) + ".deb";
    PartFile part(private_folder.fd(), file_name + ".part");
    if (!part.Create(error)) {
        m_strLastError = error;
        return kDownloadFailed;
    }

    HttpRequest request;
    request.url = FileUrl(base_url, m_strExeName, ".deb");
    request.limits = download_limits;
    request.limits.max_body = package.size;  // not one byte more than was signed
    request.cancel = &cancel;
    const auto start = std::chrono::steady_clock::now();
    int last_seconds = 1;
    bool write_failed = false;
    std::optional<std::uint64_t> wrong_length;
    request.on_start = [&](std::optional<std::uint64_t> declared) {
        if (declared && *declared != package.size) {
            wrong_length = declared;
            return false;
        }
        shown.expected = package.size;
        shown.status_text = u"Downloading files ...";
        shown.file_text = platform::FromUtf8(file_name + " from " + UrlHost(request.url));
        report();
        return true;
    };
    request.on_data = [&](const char* data, std::size_t size) {
        if (!part.Write(data, size)) {
            write_failed = true;
            return false;
        }
        shown.done += size;
        if (cancel.load()) return true;  // the next progress check stops the transfer; nothing more is shown
        const auto elapsed = std::chrono::steady_clock::now() - start;
        int seconds = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(elapsed + std::chrono::milliseconds(500)).count() /
            1000);
        if (seconds != 0) last_seconds = seconds;
        shown.time_text = FormatTimeText(seconds, shown.done, shown.expected);
        shown.rate_text = FormatRateText(shown.done, last_seconds);
        report();
        return true;
    };
    const HttpResult fetched = HttpGet(request);
    if (cancel.load() || fetched.outcome == HttpOutcome::Cancelled) {
        m_strLastError = "cancelled";
        return kDownloadCancelled;
    }
    if (wrong_length) {
        m_strLastError = "the server declares " + std::to_string(*wrong_length) +
                         " bytes; the signed manifest says " + std::to_string(package.size);
        return kDownloadDamaged;
    }
    if (fetched.outcome != HttpOutcome::Ok) {
        m_strLastError = write_failed ? "cannot write " + file_name + ".part" : fetched.error;
        switch (fetched.outcome) {
            case HttpOutcome::Connection: return kDownloadNoConnection;
            case HttpOutcome::NotFound: return kDownloadNotFound;
            case HttpOutcome::TooLarge:
                m_strLastError = "the package is larger than the signed manifest says";
                return kDownloadDamaged;
            case HttpOutcome::Truncated: return kDownloadDamaged;
            default: return kDownloadFailed;
        }
    }
    if (!part.Matches(package.size, package.sha256, error)) {
        m_strLastError = error;
        return kDownloadDamaged;
    }
    if (!part.Commit(file_name, error)) {
        m_strLastError = error;
        return kDownloadFailed;
    }
    m_downloaded = std::filesystem::absolute(folder).lexically_normal() / file_name;
    m_downloadedSha256 = package.sha256;
    shown.status_text = u"Download completed";
    report();
    return kDownloaded;
}

}  // namespace update
