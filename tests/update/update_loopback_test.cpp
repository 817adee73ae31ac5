// The version check and the download against the loopback server: results for every answer the server can
// give, and a download that is either whole and checked or leaves nothing behind.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>

#include "tests/support/loopback_http.h"
#include "tests/support/page_builder.h"
#include "tests/support/sha256.h"
#include "tests/support/signing_key.h"
#include "update/auto_updater.h"

namespace {

using namespace update;
using namespace testsupport;

HttpRoute Status(int status) {
    HttpRoute route;
    route.status = status;
    route.body = "<html>error page</html>";
    return route;
}

HttpRoute Redirect(std::string location) {
    HttpRoute route;
    route.status = 302;
    route.location = std::move(location);
    return route;
}

// Short limits so a stalled server is given up quickly.
void QuickLimits(CAutoUpdater& updater) {
    updater.check_limits.connect_seconds = 2;
    updater.check_limits.total_seconds = 2;
    updater.download_limits.connect_seconds = 2;
    updater.download_limits.low_speed_bytes = 1;
    updater.download_limits.low_speed_seconds = 2;
}

TEST(UpdateCheck, ResultsOverLoopback) {
    LoopbackHttpServer server;
    const std::string base = server.BaseUrl() + "/upgrade/";
    HttpRoute stall;
    stall.stall = true;
    HttpRoute no_length = Ok("1.0.0.2 No length");
    no_length.send_length = false;
    HttpRoute huge = Ok("1.0.0.2 x");
    huge.declared_length = 100000;
    HttpRoute slow = Ok("1.0.0.2 Slow but whole\n");
    slow.drip_bytes = 4;
    slow.drip_pause = std::chrono::milliseconds(5);

    struct Case {
        const char* what;
        HttpRoute route;
        int result;
        const char16_t* offered;
    };
    const Case cases[] = {
        {"newer", Ok("1.0.0.2 Fixes\n"), kCheckNewer, u"1.0.0.2"},
        {"major", Ok("2.0.0.0 Major\n"), kCheckNewMajor, u"2.0.0.0"},
        {"equal", Ok("1.0.0.1 Same\n"), kCheckUpToDate, u"1.0.0.1"},
        {"older", Ok("0.9.0.0 Old\n"), kCheckUpToDate, u"0.9.0.0"},
        {"two lines", Ok("1.0.0.2 Minor\n2.0.0.0 Major\n"), kCheckNewerAndSecond, u"1.0.0.2"},
        {"malformed", Ok("1.0.x.2 Letter\n"), kCheckMalformed, nullptr},
        {"empty body", Ok(""), kCheckMalformed, nullptr},
        {"no Content-Length", no_length, kCheckNewer, u"1.0.0.2"},
        {"declared over 4 KiB", huge, kCheckMalformed, nullptr},
        {"body over 4 KiB without length",
         [] {
             auto r = Ok(std::string(5000, '1'));
             r.send_length = false;
             return r;
         }(),
         kCheckMalformed, nullptr},
        {"slow drip", slow, kCheckNewer, u"1.0.0.2"},
        {"404", Status(404), kCheckNotFound, nullptr},
        {"500", Status(500), kCheckNotFound, nullptr},
        {"redirect to file:", Redirect("file:///etc/passwd"), kCheckNotFound, nullptr},
        {"redirect to another host over http", Redirect("http://updates.example/x.txt"), kCheckNotFound, nullptr},
        {"redirect loop", Redirect(kVersionPath), kCheckNotFound, nullptr},
        {"stall", stall, kCheckNoConnection, nullptr},
    };
    const TestSigningKey key;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        server.Route(kVersionPath, c.route);
        server.Route(kVersionPath + ".sig", Ok(key.Sign(c.route.body)));
        CAutoUpdater updater;
        QuickLimits(updater);
        updater.signing_key = key.PublicKey();
        updater.SetInstalledVersion(u"1.0.0.1");
        EXPECT_EQ(updater.CheckForUpdate(base), c.result) << updater.LastError();
        if (c.offered != nullptr) {
            EXPECT_EQ(updater.OfferedVersion(), c.offered);
        }
    }

    // This machine is never reached through a proxy, even when one is set for everything.
    ServeSigned(server, key, kVersionPath, "1.0.0.2 Direct\n");
    const std::string dead_proxy = "http://127.0.0.1:" + std::to_string(LoopbackHttpServer::ClosedPort());
    for (const char* name : {"http_proxy", "HTTPS_PROXY", "ALL_PROXY"}) ::setenv(name, dead_proxy.c_str(), 1);
    {
        CAutoUpdater direct;
        direct.signing_key = key.PublicKey();
        direct.SetInstalledVersion(u"1.0.0.1");
        EXPECT_EQ(direct.CheckForUpdate(base), kCheckNewer) << direct.LastError();
    }
    for (const char* name : {"http_proxy", "HTTPS_PROXY", "ALL_PROXY"}) ::unsetenv(name);

    // Redirects: relative and absolute ones are followed; a loop stops after five.
    ServeSigned(server, key, "/moved/brindlemoor/brindlemoor.txt", "1.0.0.2 Moved\n");
    server.Route(kVersionPath, Redirect("/moved/brindlemoor/brindlemoor.txt"));
    server.Route(kVersionPath + ".sig", Redirect("/moved/brindlemoor/brindlemoor.txt.sig"));
    CAutoUpdater updater;
    updater.signing_key = key.PublicKey();
    updater.SetInstalledVersion(u"1.0.0.1");
    EXPECT_EQ(updater.CheckForUpdate(base), kCheckNewer);
    server.Route(kVersionPath, Redirect(server.BaseUrl() + "/moved/brindlemoor/brindlemoor.txt"));
    EXPECT_EQ(updater.CheckForUpdate(base), kCheckNewer);
    server.Route(kVersionPath, Redirect(kVersionPath));
    const auto before = server.Requests().size();
    EXPECT_EQ(updater.CheckForUpdate(base), kCheckNotFound);
    EXPECT_EQ(server.Requests().size() - before, 6u) << "the first request and five redirects";
}

TEST(UpdateCheck, NothingIsAskedWithoutServerOrInstalledVersion) {
    LoopbackHttpServer server;
    CAutoUpdater updater;
    EXPECT_EQ(updater.CheckForUpdate(""), kCheckNotConfigured);
    updater.SetInstalledVersion(u"");
    EXPECT_EQ(updater.CheckForUpdate(server.BaseUrl() + "/upgrade/"), kCheckNoInstalledVersion);
    EXPECT_TRUE(server.Requests().empty());

    // Plain http to anything but this machine, and other schemes, are never asked.
    updater.SetInstalledVersion(u"1.0.0.1");
    for (const char* base : {"http://updates.example/upgrade/", "ftp://127.0.0.1/", "file:///tmp/"}) {
        SCOPED_TRACE(base);
        EXPECT_EQ(updater.CheckForUpdate(base), kCheckNotFound);
    }
    // A closed port: no connection.
    EXPECT_EQ(updater.CheckForUpdate("http://127.0.0.1:" + std::to_string(LoopbackHttpServer::ClosedPort()) + "/u/"),
              kCheckNoConnection);
    EXPECT_EQ(CAutoUpdater::FileUrl("https://h/upgrade", u"brindlemoor", ".txt"),
              "https://h/upgrade/brindlemoor/brindlemoor.txt");
    EXPECT_TRUE(IsAllowedUpdateUrl("https://updates.example/u"));
    EXPECT_TRUE(IsAllowedUpdateUrl("http://localhost:8080/u"));
    EXPECT_TRUE(IsAllowedUpdateUrl("http://[::1]:8080/u"));
    EXPECT_FALSE(IsAllowedUpdateUrl("http://127.0.0.1.example/u"));
    EXPECT_FALSE(IsAllowedUpdateUrl("http://user@updates.example/u"));
    EXPECT_FALSE(IsAllowedUpdateUrl("http://127.0.0.1@updates.example/u"));
}

std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::size_t EntriesIn(const std::filesystem::path& folder) {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++n;
    return n;
}

TEST(UpdateDownload, WholeAndCheckedOrNothing) {
    LoopbackHttpServer server;
    const std::string base = server.BaseUrl() + "/upgrade/";
    std::string package(100000, '\0');
    for (std::size_t i = 0; i < package.size(); ++i) package[i] = static_cast<char>(i * 7 + i / 251);
    const std::string checksum = Sha256Of(package) + "  brindlemoor.deb\n";

    HttpRoute truncated = Ok(package);
    truncated.declared_length = package.size() + 1000;
    HttpRoute no_length = Ok(package);
    no_length.send_length = false;
    HttpRoute longer = Ok(package + "extra bytes the declaration does not cover");
    longer.declared_length = package.size();
    HttpRoute oversized = Ok(package);
    oversized.declared_length = 5ull << 30;
    HttpRoute stall;
    stall.stall = true;
    const TestSigningKey key;

    struct Case {
        const char* what;
        HttpRoute package_route;
        std::string checksum_body;
        int result;
    };
    const Case cases[] = {
        {"good", Ok(package), checksum, kDownloaded},
        {"no Content-Length", no_length, checksum, kDownloaded},
        {"body longer than declared: the declared part", longer, checksum, kDownloaded},
        {"checksum alone, upper case", Ok(package), [&] {
             std::string upper = Sha256Of(package);
             for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
             return upper;
         }(), kDownloaded},
        {"truncated", truncated, checksum, kDownloadDamaged},
        {"wrong hash", Ok(package), Sha256Of("other") + "  brindlemoor.deb\n", kDownloadDamaged},
        {"unusable checksum file", Ok(package), "not a checksum\n", kDownloadDamaged},
        {"oversized declaration", oversized, checksum, kDownloadDamaged},
        {"404", Status(404), checksum, kDownloadNotFound},
        {"stalled transfer", stall, checksum, kDownloadNoConnection},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const auto folder = dir / "updates";
        std::filesystem::create_directory(folder);
        ::chmod(folder.c_str(), 0755);
        const auto target = folder / "brindlemoor.deb";
        { std::ofstream(target) << "older package"; }
        server.Route(kPackagePath, c.package_route);
        server.Route(kChecksumPath, Ok(c.checksum_body));
        server.Route(kPackagePath + ".sig", Ok(key.Sign(package)));

        CAutoUpdater updater;
        QuickLimits(updater);
        updater.signing_key = key.PublicKey();
        std::atomic<bool> cancel{false};
        std::vector<DownloadProgress> shown;
        const int result =
            updater.DownloadUpdate(base, folder, cancel, [&](const DownloadProgress& p) { shown.push_back(p); });
        EXPECT_EQ(result, c.result) << updater.LastError();
        EXPECT_EQ(EntriesIn(folder), 1u) << "no partial file is left";
        struct stat info {};
        ::stat(folder.c_str(), &info);
        EXPECT_EQ(info.st_mode & 0777, 0700u) << "the folder is private";
        if (c.result == kDownloaded) {
            EXPECT_EQ(ReadBytes(target), package);
            EXPECT_EQ(updater.DownloadedFile(), target);
            ASSERT_FALSE(shown.empty());
            EXPECT_EQ(shown.front().status_text, u"Getting Internet Session");
            EXPECT_EQ(shown.back().status_text, u"Download completed");
            EXPECT_EQ(shown.back().done, package.size());
            EXPECT_NE(shown.back().file_text.find(u"brindlemoor.deb from 127.0.0.1"), std::u16string::npos);
            EXPECT_FALSE(shown.back().time_text.empty());
        } else {
            EXPECT_EQ(ReadBytes(target), "older package") << "an older file stays as it was";
            EXPECT_TRUE(updater.DownloadedFile().empty());
        }
    }
}

TEST(UpdateDownload, CancelIsItsOwnResult) {
    LoopbackHttpServer server;
    std::string package(200000, 'p');
    HttpRoute slow = Ok(package);
    slow.drip_bytes = 4096;
    slow.drip_pause = std::chrono::milliseconds(20);
    server.Route(kPackagePath, slow);
    server.Route(kChecksumPath, Ok(Sha256Of(package)));
    const TestSigningKey key;
    server.Route(kPackagePath + ".sig", Ok(key.Sign(package)));
    TempDir dir;
    const auto folder = dir / "updates";

    CAutoUpdater updater;
    QuickLimits(updater);
    updater.signing_key = key.PublicKey();
    std::atomic<bool> cancel{false};
    int blocks = 0;
    const int result = updater.DownloadUpdate(server.BaseUrl() + "/upgrade/", folder, cancel,
                                              [&](const DownloadProgress& p) {
                                                  if (p.done > 0 && ++blocks == 3) cancel = true;
                                              });
    EXPECT_EQ(result, kDownloadCancelled);
    EXPECT_EQ(EntriesIn(folder), 0u) << "the partial file is removed";
    EXPECT_TRUE(updater.DownloadedFile().empty());

    // Cancelled before it starts: nothing is fetched.
    const auto before = server.Requests().size();
    EXPECT_EQ(updater.DownloadUpdate(server.BaseUrl() + "/upgrade/", folder, cancel), kDownloadCancelled);
    EXPECT_EQ(server.Requests().size(), before);
}

TEST(UpdateDownload, PlantedLinksAreReplacedNeverFollowed) {
    LoopbackHttpServer server;
    const std::string package = "the new package";
    const TestSigningKey key;
    ServeSigned(server, key, kPackagePath, package);
    server.Route(kChecksumPath, Ok(Sha256Of(package)));
    TempDir dir;
    const auto folder = dir / "updates";
    std::filesystem::create_directory(folder);
    const auto victim = dir / "victim.txt";
    { std::ofstream(victim) << "must stay"; }
    std::filesystem::create_symlink(victim, folder / "brindlemoor.deb");
    std::filesystem::create_symlink(victim, folder / "brindlemoor.deb.part");

    CAutoUpdater updater;
    updater.signing_key = key.PublicKey();
    std::atomic<bool> cancel{false};
    EXPECT_EQ(updater.DownloadUpdate(server.BaseUrl() + "/upgrade/", folder, cancel), kDownloaded)
        << updater.LastError();
    EXPECT_EQ(ReadBytes(victim), "must stay");
    EXPECT_FALSE(std::filesystem::is_symlink(folder / "brindlemoor.deb"));
    EXPECT_EQ(ReadBytes(folder / "brindlemoor.deb"), package);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(folder / "brindlemoor.deb.part")));

    // A folder that is a link to somewhere else is not used.
    const auto elsewhere = dir / "elsewhere";
    std::filesystem::create_directory(elsewhere);
    std::filesystem::create_directory_symlink(elsewhere, dir / "linked");
    EXPECT_EQ(updater.DownloadUpdate(server.BaseUrl() + "/upgrade/", dir / "linked", cancel), kDownloadFailed);
    EXPECT_EQ(EntriesIn(elsewhere), 0u);
}

// Only files signed with the maker's key count. The server can serve anything, its checksum included: a
// version file or package without the right signature is refused, and a refused package leaves nothing.
TEST(UpdateSignature, OnlyTheMakersSignatureIsTrusted) {
    LoopbackHttpServer server;
    const std::string base = server.BaseUrl() + "/upgrade/";
    const TestSigningKey maker;
    const TestSigningKey other;
    const std::string version = "1.0.0.2 Signed fixes\n";
    std::string package(50000, '\0');
    for (std::size_t i = 0; i < package.size(); ++i) package[i] = static_cast<char>(i * 13 + i / 97);
    std::string tampered_package = package;
    tampered_package[12345] ^= 0x20;

    struct Served {
        std::string body;
        std::optional<std::string> signature;  // none: "<file>.sig" is not there (404)
    };
    struct Case {
        const char* what;
        Served version_file;
        Served package_file;
        update::PublicKey key;
        int check_result;
        int download_result;
    };
    const Case cases[] = {
        {"good", {version, maker.Sign(version)}, {package, maker.Sign(package)}, maker.PublicKey(), kCheckNewer,
         kDownloaded},
        {"missing", {version, std::nullopt}, {package, std::nullopt}, maker.PublicKey(), kCheckNotSigned,
         kDownloadNotSigned},
        {"wrong key", {version, other.Sign(version)}, {package, other.Sign(package)}, maker.PublicKey(),
         kCheckNotSigned, kDownloadNotSigned},
        {"tampered package", {version, maker.Sign(version)}, {tampered_package, maker.Sign(package)},
         maker.PublicKey(), kCheckNewer, kDownloadNotSigned},
        {"tampered version file", {"2.0.0.0 Signed fixes\n", maker.Sign(version)}, {package, maker.Sign(package)},
         maker.PublicKey(), kCheckNotSigned, kDownloaded},
        {"signature cut short", {version, maker.Sign(version).substr(0, 63)},
         {package, maker.Sign(package).substr(0, 63)}, maker.PublicKey(), kCheckNotSigned, kDownloadNotSigned},
        {"signature with a byte added", {version, maker.Sign(version) + "\n"}, {package, maker.Sign(package) + "\n"},
         maker.PublicKey(), kCheckNotSigned, kDownloadNotSigned},
        {"no key built in (the placeholder)", {version, maker.Sign(version)}, {package, maker.Sign(package)},
         update::PublicKey{}, kCheckNotSigned, kDownloadNotSigned},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        server.Route(kVersionPath, Ok(c.version_file.body));
        server.Route(kVersionPath + ".sig", c.version_file.signature ? Ok(*c.version_file.signature) : Status(404));
        server.Route(kPackagePath, Ok(c.package_file.body));
        // The server's own checksum always matches what it serves: it proves nothing.
        server.Route(kChecksumPath, Ok(Sha256Of(c.package_file.body)));
        server.Route(kPackagePath + ".sig", c.package_file.signature ? Ok(*c.package_file.signature) : Status(404));

        CAutoUpdater updater;
        QuickLimits(updater);
        updater.signing_key = c.key;
        updater.SetInstalledVersion(u"1.0.0.1");
        EXPECT_EQ(updater.CheckForUpdate(base), c.check_result) << updater.LastError();
        if (c.check_result == kCheckNotSigned) {
            EXPECT_NE(updater.LastError().find("signature"), std::string::npos) << updater.LastError();
        }

        TempDir dir;
        const auto folder = dir / "updates";
        std::atomic<bool> cancel{false};
        EXPECT_EQ(updater.DownloadUpdate(base, folder, cancel), c.download_result) << updater.LastError();
        if (c.download_result == kDownloaded) {
            EXPECT_EQ(ReadBytes(folder / "brindlemoor.deb"), package);
        } else {
            EXPECT_NE(updater.LastError().find("signature"), std::string::npos) << updater.LastError();
            EXPECT_EQ(EntriesIn(folder), 0u) << "the refused download is deleted";
            EXPECT_TRUE(updater.DownloadedFile().empty());
        }
    }
}

}  // namespace
