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

// A private folder: made with 0700 when missing; an existing one must be a real folder of this user, and
// loses every right of others.
bool MakePrivateFolder(const std::filesystem::path& folder, std::string& error) {
    std::error_code ec;
    std::filesystem::create_directories(folder.parent_path(), ec);
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        error = "cannot create " + folder.string() + ": " + std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid()) {
        error = folder.string() + " is not a private folder of this user";
        return false;
    }
    if ((info.st_mode & 0077) != 0 && ::chmod(folder.c_str(), 0700) != 0) {
        error = "cannot make " + folder.string() + " private";
        return false;
    }
    return true;
}

// The first 64 hexadecimal digits of a checksum file ("<hex>  <name>" or the hex alone), lower-cased.
std::optional<std::string> ParseChecksum(const std::string& text) {
    std::string hex;
    for (char c : text) {
        if (hex.size() == 64) break;
        if (c >= '0' && c <= '9') {
            hex += c;
        } else if (c >= 'a' && c <= 'f') {
            hex += c;
        } else if (c >= 'A' && c <= 'F') {
            hex += static_cast<char>(c - 'A' + 'a');
        } else {
            break;
        }
    }
    if (hex.size() != 64) return std::nullopt;
    if (text.size() > 64 && text[64] != ' ' && text[64] != '\t' && text[64] != '\n' && text[64] != '\r') {
        return std::nullopt;
    }
    return hex;
}

std::string Hex(const unsigned char* bytes, unsigned size) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (unsigned i = 0; i < size; ++i) {
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 15];
    }
    return out;
}

// The partial file: created exclusively (no file, link or anything else may stand at its name), removed on
// every road except the rename.
class PartFile {
public:
    explicit PartFile(std::filesystem::path path) : path_(std::move(path)) {}
    ~PartFile() {
        if (fd_ >= 0) ::close(fd_);
        if (created_) ::unlink(path_.c_str());
    }
    bool Create(std::string& error) {
        ::unlink(path_.c_str());  // a stale partial file or a planted link is removed, never followed
        fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd_ < 0) {
            error = "cannot create " + path_.string() + ": " + std::strerror(errno);
            return false;
        }
        created_ = true;
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
    // fsync, close and rename over `target`; false leaves `target` as it was.
    bool Commit(const std::filesystem::path& target, std::string& error) {
        const bool synced = ::fsync(fd_) == 0;
        const bool closed = ::close(fd_) == 0;
        fd_ = -1;
        if (!synced || !closed || ::rename(path_.c_str(), target.c_str()) != 0) {
            error = "cannot save " + target.string() + ": " + std::strerror(errno);
            return false;
        }
        created_ = false;
        // The folder's entry reaches the disk too.
        const int dir = ::open(target.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
        return true;
    }

private:
    std::filesystem::path path_;
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
    if (base_url.empty()) return kCheckNotConfigured;
    if (m_strInstalledVersion.empty()) return kCheckNoInstalledVersion;

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
    // Nothing of the version file counts before its signature is checked.
    std::string signature;
    const HttpResult signed_by = FetchSignature(request.url, check_limits, cancel, signature);
    if (signed_by.outcome == HttpOutcome::Connection || signed_by.outcome == HttpOutcome::Cancelled) {
        m_strLastError = signed_by.error;
        return kCheckNoConnection;
    }
    if (signed_by.outcome != HttpOutcome::Ok) {
        m_strLastError = "the version file's signature is missing or unreadable (" + signed_by.error + ")";
        return kCheckNotSigned;
    }
    std::string error;
    if (!VerifySignature(signing_key, body, signature, error)) {
        m_strLastError = "the version file's signature is refused: " + error;
        return kCheckNotSigned;
    }
    const VersionOffer offer = EvaluateVersionFile(body, m_strInstalledVersion);
    m_strOfferedVersion = offer.version;
    m_strDescription = offer.description;
    if (offer.result == kCheckMalformed) m_strLastError = "the version file is malformed";
    return offer.result;
}

int CAutoUpdater::DownloadUpdate(const std::string& base_url, const std::filesystem::path& folder,
                                 const std::atomic<bool>& cancel,
                                 const std::function<void(const DownloadProgress&)>& progress) {
    m_strLastError.clear();
    m_downloaded.clear();
    if (base_url.empty()) return kDownloadNotConfigured;
    if (cancel.load()) return kDownloadCancelled;
    DownloadProgress shown;
    auto report = [&] {
        if (progress) progress(shown);
    };
    shown.status_text = u"Getting Internet Session";
    report();

    std::string error;
    if (!MakePrivateFolder(folder, error)) {
        m_strLastError = error;
        return kDownloadFailed;
    }

    // The checksum first: small, in memory.
    std::string checksum_text;
    HttpRequest sum_request;
    sum_request.url = FileUrl(base_url, m_strExeName, ".deb.sha256");
    sum_request.limits = check_limits;
    sum_request.limits.max_body = 1024;
    sum_request.cancel = &cancel;
    sum_request.on_data = [&](const char* data, std::size_t size) {
        checksum_text.append(data, size);
        return true;
    };
    const HttpResult sum = HttpGet(sum_request);
    if (sum.outcome != HttpOutcome::Ok) {
        m_strLastError = sum.error;
        switch (sum.outcome) {
            case HttpOutcome::Cancelled: return kDownloadCancelled;
            case HttpOutcome::Connection: return kDownloadNoConnection;
            case HttpOutcome::NotFound: return kDownloadNotFound;
            default: return kDownloadDamaged;
        }
    }
    const auto expected_hash = ParseChecksum(checksum_text);
    if (!expected_hash) {
        m_strLastError = "the checksum file is unusable";
        return kDownloadDamaged;
    }

    // The signature before the package: without one nothing is downloaded.
    const std::string package_url = FileUrl(base_url, m_strExeName, ".deb");
    std::string signature;
    const HttpResult signed_by = FetchSignature(package_url, check_limits, &cancel, signature);
    if (signed_by.outcome != HttpOutcome::Ok) {
        switch (signed_by.outcome) {
            case HttpOutcome::Cancelled: m_strLastError = signed_by.error; return kDownloadCancelled;
            case HttpOutcome::Connection: m_strLastError = signed_by.error; return kDownloadNoConnection;
            default:
                m_strLastError = "the package's signature is missing or unreadable (" + signed_by.error + ")";
                return kDownloadNotSigned;
        }
    }

    const std::string file_name = platform::ToUtf8(m_strExeName) + ".deb";
    const std::filesystem::path target = folder / file_name;
    std::filesystem::path part_path = target;
    part_path += ".part";
    PartFile part(part_path);
    if (!part.Create(error)) {
        m_strLastError = error;
        return kDownloadFailed;
    }

    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> digest(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!digest || EVP_DigestInit_ex(digest.get(), EVP_sha256(), nullptr) != 1) {
        m_strLastError = "no SHA-256";
        return kDownloadFailed;
    }

    HttpRequest request;
    request.url = package_url;
    request.limits = download_limits;
    request.cancel = &cancel;
    const auto start = std::chrono::steady_clock::now();
    int last_seconds = 1;
    bool write_failed = false;
    request.on_start = [&](std::optional<std::uint64_t> declared) {
        shown.expected = declared;
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
        EVP_DigestUpdate(digest.get(), data, size);
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
    if (fetched.outcome != HttpOutcome::Ok) {
        m_strLastError = write_failed ? "cannot write " + part_path.string() : fetched.error;
        switch (fetched.outcome) {
            case HttpOutcome::Connection: return kDownloadNoConnection;
            case HttpOutcome::NotFound: return kDownloadNotFound;
            case HttpOutcome::TooLarge:
            case HttpOutcome::Truncated: return kDownloadDamaged;
            default: return kDownloadFailed;
        }
    }
    if (fetched.content_length && *fetched.content_length != shown.done) {
        m_strLastError = "the size does not match the declared length";
        return kDownloadDamaged;
    }
    unsigned char hash[EVP_MAX_MD_SIZE];
    unsigned hash_size = 0;
    EVP_DigestFinal_ex(digest.get(), hash, &hash_size);
    if (Hex(hash, hash_size) != *expected_hash) {
        m_strLastError = "the SHA-256 does not match";
        return kDownloadDamaged;
    }
    // The whole file as written, read back: the maker's signature decides; without it the partial file goes.
    if (!VerifyFileSignature(signing_key, part_path, signature, error)) {
        m_strLastError = "the package's signature is refused: " + error;
        return kDownloadNotSigned;
    }
    if (!part.Commit(target, error)) {
        m_strLastError = error;
        return kDownloadFailed;
    }
    m_downloaded = target;
    shown.status_text = u"Download completed";
    report();
    return kDownloaded;
}

}  // namespace update
