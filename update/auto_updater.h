// CAutoUpdater: the client of the maker's update server. It reads the small update manifest
// "<base>/<name>/<name>.txt" (in memory, never written to disk), trusts it only with a valid maker's signature
// "<name>.txt.sig", and compares its version with the installed one. The manifest also holds the size and SHA-256
// of the package of the version it offers: the download "<base>/<name>/<name>.deb" is taken only when the
// manifest offers a newer version and the bytes written match both, read back through the very descriptor they
// were written with, in a folder only this user can change. A build without a signing key asks nothing. Nothing
// downloaded is ever run.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "update/http_get.h"
#include "update/maker_key.h"
#include "update/signature.h"
#include "update/version_rules.h"

namespace update {

// What the download page shows, handed to the progress callback after each block and at each step.
struct DownloadProgress {
    std::u16string status_text;  // "Getting Internet Session", "Downloading files ...", "Download completed"
    std::u16string file_text;    // "<name>.deb from <host>"
    std::u16string time_text;
    std::u16string rate_text;
    std::uint64_t done = 0;
    std::optional<std::uint64_t> expected;
};

class CAutoUpdater {
public:
    CAutoUpdater();
    ~CAutoUpdater();
    CAutoUpdater(const CAutoUpdater&) = delete;
    CAutoUpdater& operator=(const CAutoUpdater&) = delete;

    // The program's product key (kept for the settings' naming), the installed version and the base name of
    // the files on the server. The version and name default to the compiled-in ones.
    const std::u16string& GetProductKeyPath() const { return m_strProductKey; }
    std::u16string GetInstalledVersion() const { return m_strInstalledVersion; }
    void SetInstalledVersion(std::u16string version) { m_strInstalledVersion = std::move(version); }
    void SetExeName(std::u16string name) { m_strExeName = std::move(name); }
    const std::u16string& ExeName() const { return m_strExeName; }

    // Time limits: the version file's (connect 10 s, whole transfer 30 s) and the download's (connect 10 s,
    // given up below 1 KiB/s for 60 s). Tests shorten them.
    HttpLimits check_limits{10, 30, 0, 0, kMaxVersionFileSize, 5};
    HttpLimits download_limits{10, 0, 1024, 60, 1ull << 30, 5};
    // The key the manifest must be signed with: the maker's, built in. Tests that serve their own files hand in
    // the public half of a key pair they make. The placeholder of zeros means updates are not configured.
    PublicKey signing_key = kMakerPublicKey;

    // The version check against `base_url` ("[update] base_url"); one of the CheckResult codes. The offered
    // version and its description, and the signed manifest, stay until the next check. A set `cancel` ends the
    // transfer (no connection).
    int CheckForUpdate(const std::string& base_url, const std::atomic<bool>* cancel = nullptr);
    const std::u16string& OfferedVersion() const { return m_strOfferedVersion; }
    const std::u16string& Description() const { return m_strDescription; }

    // Downloads the package the signed manifest offers into `folder` (created private, 0700), reporting through
    // `progress`; stops at the next block once `cancel` is set. The manifest is the one of the last check, or
    // is read now when no check has found one. One of the DownloadResult codes; on kDownloaded DownloadedFile()
    // names the file (0600, in a 0700 folder of this user) and DownloadedSha256() its signed SHA-256. On every
    // other result no partial file remains and an older file of the same name is intact.
    int DownloadUpdate(const std::string& base_url, const std::filesystem::path& folder,
                       const std::atomic<bool>& cancel,
                       const std::function<void(const DownloadProgress&)>& progress = {});
    const std::filesystem::path& DownloadedFile() const { return m_downloaded; }
    const std::string& DownloadedSha256() const { return m_downloadedSha256; }
    // Why the last check or download failed, for the log ("" after a success).
    const std::string& LastError() const { return m_strLastError; }

    // The private folder the wizard downloads into: $XDG_CACHE_HOME/brindlemoor/updates (or ~/.cache/...).
    static std::filesystem::path DefaultDownloadFolder();
    // The address of a file under the base URL: base + "/" (when missing) + name + "/" + name + suffix.
    static std::string FileUrl(const std::string& base_url, const std::u16string& name, const char* suffix);

private:
    // Reads the manifest and checks its signature; on success `m_manifest` holds it and the version check's
    // result is returned.
    int ReadManifest(const std::string& base_url, const std::atomic<bool>* cancel);

    std::u16string m_strExeName;
    std::u16string m_strProductKey = u"SOFTWARE\\Quorvane\\Brindlemoor";
    std::u16string m_strInstalledVersion;
    std::u16string m_strOfferedVersion;
    std::u16string m_strSecondVersion;
    std::u16string m_strDescription;
    std::optional<Manifest> m_manifest;  // the last signed manifest, with the check's result in m_manifestResult
    int m_manifestResult = kCheckMalformed;
    std::filesystem::path m_downloaded;
    std::string m_downloadedSha256;
    std::string m_strLastError;
};

}  // namespace update
