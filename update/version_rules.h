// The update check's rules without any network: version comparison, the signed update manifest, the texts of
// the download's progress and the install command shown at the end.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace update {

// Result codes of CAutoUpdater::CheckForUpdate.
enum CheckResult : int {
    kCheckMalformed = 0,          // a version text (offered or installed) or the version file is malformed
    kCheckNewer = 1,              // a newer version with the same first number
    kCheckNewMajor = 2,           // a version with a greater first number
    kCheckNewerAndSecond = 3,     // the first line offers a newer version and a second line exists
    kCheckNoConnection = 4,       // the server could not be reached
    kCheckNotFound = 5,           // the version file was not there (any status but 200, or a refused redirect)
    kCheckNoInstalledVersion = 8,
    kCheckUpToDate = 9,
    kCheckNotConfigured = 12,     // no update server in the settings
    kCheckNotSigned = 13,         // the manifest's signature is missing or wrong
    kCheckNoSigningKey = 14,      // this build holds no update signing key: nothing is asked
};

// Result codes of CAutoUpdater::DownloadUpdate.
enum DownloadResult : int {
    kDownloaded = 0,
    kDownloadNoConnection = 4,
    kDownloadNotFound = 5,
    kDownloadFailed = 7,          // the transfer broke off, or the file could not be written
    kDownloadCancelled = 10,
    kDownloadDamaged = 11,        // the package's size or SHA-256 differ from the signed manifest's; deleted
    kDownloadNotConfigured = 12,
    kDownloadNotSigned = 13,      // the manifest's signature is missing or wrong; nothing is downloaded
    kDownloadNoSigningKey = 14,   // this build holds no update signing key: nothing is asked
    kDownloadNotOffered = 15,     // the signed manifest offers no newer package (an older or equal one is refused)
};

// The version file may not be longer than this; a version text not longer than kMaxVersionLength.
inline constexpr std::size_t kMaxVersionFileSize = 4096;
inline constexpr std::size_t kMaxVersionLength = 7;

// TRUE when every character is 0 to 9 (an empty text is all digits).
bool IsAllDigits(std::u16string_view text);

// 2: the offered first number is greater; 1: a later number is greater; 0: equal; -1: older; -21: the offered
// text is malformed; -22: the installed one is. Up to four point-separated numbers (empty pieces skipped,
// missing ones 0); a piece that is not all digits, a number above 2^32-1, no piece or a fifth piece is
// malformed.
int CompareVersions(std::u16string_view offered, std::u16string_view installed);

struct VersionOffer {
    int result = kCheckMalformed;   // one of kCheckMalformed, kCheckNewer, kCheckNewMajor, ..., kCheckUpToDate
    std::u16string version;         // the offered version
    std::u16string description;
};

// The check's answer from the version file's bytes: one or two lines (LF or CR LF), each a version of at most
// seven characters, one separator character and a description. A file over 4096 bytes, an empty file, a
// third line, a version text that is too long or malformed make the answer kCheckMalformed.
VersionOffer EvaluateVersionFile(std::string_view body, std::u16string_view installed);

// The signed update manifest "<name>.txt": the version file's one or two lines, then at most one line
// "package <version> <size in bytes> <SHA-256 in 64 hexadecimal digits>" naming the package "<name>.deb" of that
// version. The whole file, package line included, is what the maker signs.
struct PackageEntry {
    std::u16string version;
    std::uint64_t size = 0;
    std::string sha256;  // 64 lower-case hexadecimal digits
};
struct Manifest {
    std::string version_lines;            // for EvaluateVersionFile
    std::optional<PackageEntry> package;  // none: the manifest offers nothing to download
};
// nullopt when the file is over 4096 bytes or its package line is malformed (the version lines are judged by
// EvaluateVersionFile).
std::optional<Manifest> ParseManifest(std::string_view body);

// `text` between single quotes for a POSIX shell (a quote inside becomes '\'').
std::string ShellQuote(std::string_view text);
// The command that installs the checked package: the SHA-256 is checked again by sha256sum before apt runs,
// every path quoted.
std::string InstallCommand(const std::string& package_path, const std::string& sha256);

// "1.50 KB", "512.00 bytes", "2.00 MB", "1.00 GB".
std::u16string FormatFileSize(std::int64_t bytes);

// The download's elapsed-time text: "12 sec(1.50 MB of 3.00 MB copied)" with a known size, "1536 Ko in 12 sec"
// without.
std::u16string FormatTimeText(int seconds, std::uint64_t done, std::optional<std::uint64_t> expected);
// "1.50 KB/sec": the bytes done per second; `seconds` below 1 counts as 1.
std::u16string FormatRateText(std::uint64_t done, int seconds);

}  // namespace update
