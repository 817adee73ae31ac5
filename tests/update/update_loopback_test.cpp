// The version check and the download against the loopback server: results for every answer the server can
// give, a download that is either whole and matches the signed manifest or leaves nothing behind, and nothing
// taken that the maker did not sign for this version.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
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
        {"with its package line", Ok(ManifestText("1.0.0.2 Fixes\n", "1.0.0.2", "pkg")), kCheckNewer, u"1.0.0.2"},
        {"malformed package line", Ok("1.0.0.2 Fixes\npackage 1.0.0.2 3 not-a-hash\n"), kCheckMalformed, nullptr},
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
    const TestSigningKey key;
    CAutoUpdater updater;
    updater.signing_key = key.PublicKey();
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

// A download against the manifest's size and SHA-256: the folder is made private, the file is 0600, and a
// refused download leaves an older file of the same name as it was.
TEST(UpdateDownload, WholeAndCheckedOrNothing) {
    LoopbackHttpServer server;
    const std::string base = server.BaseUrl() + "/upgrade/";
    std::string package(100000, '\0');
    for (std::size_t i = 0; i < package.size(); ++i) package[i] = static_cast<char>(i * 7 + i / 251);
    const std::string signed_manifest = ManifestText("1.0.0.2 Fixes\n", "1.0.0.2", package);

    HttpRoute truncated = Ok(package);
    truncated.declared_length = package.size() + 1000;
    HttpRoute no_length = Ok(package);
    no_length.send_length = false;
    HttpRoute longer = Ok(package + "extra bytes the declaration does not cover");
    longer.declared_length = package.size();
    HttpRoute longer_without_length = Ok(package + "x");
    longer_without_length.send_length = false;
    HttpRoute shorter_declared = Ok(package.substr(0, 5000));
    HttpRoute oversized = Ok(package);
    oversized.declared_length = 5ull << 30;
    HttpRoute stall;
    stall.stall = true;
    const TestSigningKey key;

    struct Case {
        const char* what;
        HttpRoute package_route;
        std::string manifest;
        int result;
    };
    const Case cases[] = {
        {"good", Ok(package), signed_manifest, kDownloaded},
        {"no Content-Length", no_length, signed_manifest, kDownloaded},
        {"body longer than declared: the declared part", longer, signed_manifest, kDownloaded},
        {"truncated", truncated, signed_manifest, kDownloadDamaged},
        {"a byte more than signed, no Content-Length", longer_without_length, signed_manifest, kDownloadDamaged},
        {"shorter than signed", shorter_declared, signed_manifest, kDownloadDamaged},
        {"oversized declaration", oversized, signed_manifest, kDownloadDamaged},
        {"404", Status(404), signed_manifest, kDownloadNotFound},
        {"stalled transfer", stall, signed_manifest, kDownloadNoConnection},
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
        ServeSigned(server, key, kVersionPath, c.manifest);

        CAutoUpdater updater;
        QuickLimits(updater);
        updater.signing_key = key.PublicKey();
        updater.SetInstalledVersion(u"1.0.0.1");
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
            EXPECT_EQ(updater.DownloadedSha256(), Sha256Of(package));
            ::stat(target.c_str(), &info);
            EXPECT_EQ(info.st_mode & 0777, 0600u) << "only its owner can change the package";
            ASSERT_FALSE(shown.empty());
            EXPECT_EQ(shown.front().status_text, u"Getting Internet Session");
            EXPECT_EQ(shown.back().status_text, u"Download completed");
            EXPECT_EQ(shown.back().done, package.size());
            EXPECT_EQ(shown.back().expected, package.size()) << "the signed size";
            EXPECT_NE(shown.back().file_text.find(u"brindlemoor.deb from 127.0.0.1"), std::u16string::npos);
            EXPECT_FALSE(shown.back().time_text.empty());
        } else {
            EXPECT_EQ(ReadBytes(target), "older package") << "an older file stays as it was";
            EXPECT_TRUE(updater.DownloadedFile().empty());
            EXPECT_TRUE(updater.DownloadedSha256().empty());
        }
    }
    for (const std::string& path : server.Requests()) {
        EXPECT_EQ(path.find(".sha256"), std::string::npos) << "no unsigned checksum is asked for";
        EXPECT_EQ(path.find(".deb.sig"), std::string::npos);
    }
}

// A folder above the download folder that another user can change is not used: they could swap the checked
// package before it is installed.
TEST(UpdateDownload, RefusesAFolderOthersCanChange) {
    LoopbackHttpServer server;
    const TestSigningKey key;
    ServeRelease(server, key, "1.0.0.2", "the new package");
    TempDir dir;
    const auto shared = dir / "shared";
    std::filesystem::create_directory(shared);
    ::chmod(shared.c_str(), 0777);
    CAutoUpdater updater;
    updater.signing_key = key.PublicKey();
    updater.SetInstalledVersion(u"1.0.0.1");
    std::atomic<bool> cancel{false};
    EXPECT_EQ(updater.DownloadUpdate(server.BaseUrl() + "/upgrade/", shared / "updates", cancel), kDownloadFailed);
    EXPECT_NE(updater.LastError().find("can be changed by other users"), std::string::npos) << updater.LastError();
    EXPECT_EQ(EntriesIn(shared / "updates"), 0u);
    // Sticky, like /tmp: others cannot move what is ours.
    ::chmod(shared.c_str(), 01777);
    EXPECT_EQ(updater.DownloadUpdate(server.BaseUrl() + "/upgrade/", shared / "updates", cancel), kDownloaded)
        << updater.LastError();
}

TEST(UpdateDownload, CancelIsItsOwnResult) {
    LoopbackHttpServer server;
    std::string package(200000, 'p');
    HttpRoute slow = Ok(package);
    slow.drip_bytes = 4096;
    slow.drip_pause = std::chrono::milliseconds(20);
    const TestSigningKey key;
    ServeRelease(server, key, "1.0.0.2", package);
    server.Route(kPackagePath, slow);
    TempDir dir;
    const auto folder = dir / "updates";

    CAutoUpdater updater;
    QuickLimits(updater);
    updater.signing_key = key.PublicKey();
    updater.SetInstalledVersion(u"1.0.0.1");
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
    ServeRelease(server, key, "1.0.0.2", package);
    TempDir dir;
    const auto folder = dir / "updates";
    std::filesystem::create_directory(folder);
    const auto victim = dir / "victim.txt";
    { std::ofstream(victim) << "must stay"; }
    std::filesystem::create_symlink(victim, folder / "brindlemoor.deb");
    std::filesystem::create_symlink(victim, folder / "brindlemoor.deb.part");

    CAutoUpdater updater;
    updater.signing_key = key.PublicKey();
    updater.SetInstalledVersion(u"1.0.0.1");
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

// Only what the maker signed for a newer version is taken. The server can serve anything: a manifest not signed
// with the maker's key, a package other than the one the signed manifest names (an older release, validly
// signed in its day, included), or an older release whole. Each is refused and leaves nothing; a build without
// a key asks nothing at all.
TEST(UpdateManifest, OnlyWhatTheMakerSignedForANewerVersion) {
    LoopbackHttpServer server;
    const std::string base = server.BaseUrl() + "/upgrade/";
    const TestSigningKey maker;
    const TestSigningKey other;
    std::string package(50000, '\0');
    for (std::size_t i = 0; i < package.size(); ++i) package[i] = static_cast<char>(i * 13 + i / 97);
    const std::string older_package(40000, 'o');  // the installed release's package
    std::string same_size_package = package;
    same_size_package[12345] ^= 0x20;
    const std::string manifest = ManifestText("1.0.0.2 Signed fixes\n", "1.0.0.2", package);
    const std::string older_manifest = ManifestText("1.0.0.0 The old release\n", "1.0.0.0", older_package);

    struct Case {
        const char* what;
        std::string manifest;
        std::optional<std::string> signature;  // none: "<name>.txt.sig" is not there (404)
        std::string served_package;
        update::PublicKey key;
        int check_result;
        int download_result;
        bool package_asked;
    };
    const Case cases[] = {
        {"good", manifest, maker.Sign(manifest), package, maker.PublicKey(), kCheckNewer, kDownloaded, true},
        {"downgrade: today's manifest, an older package", manifest, maker.Sign(manifest), older_package,
         maker.PublicKey(), kCheckNewer, kDownloadDamaged, true},
        {"downgrade: an older release whole", older_manifest, maker.Sign(older_manifest), older_package,
         maker.PublicKey(), kCheckUpToDate, kDownloadNotOffered, false},
        {"the same version again", ManifestText("1.0.0.1 Same\n", "1.0.0.1", package),
         maker.Sign(ManifestText("1.0.0.1 Same\n", "1.0.0.1", package)), package, maker.PublicKey(), kCheckUpToDate,
         kDownloadNotOffered, false},
        {"wrong size", ManifestText("1.0.0.2 x\n", "1.0.0.2", package + "!"),
         maker.Sign(ManifestText("1.0.0.2 x\n", "1.0.0.2", package + "!")), package, maker.PublicKey(), kCheckNewer,
         kDownloadDamaged, true},
        {"wrong hash, same size", manifest, maker.Sign(manifest), same_size_package, maker.PublicKey(), kCheckNewer,
         kDownloadDamaged, true},
        {"package line of another version", ManifestText("1.0.0.2 x\n", "1.0.0.0", package),
         maker.Sign(ManifestText("1.0.0.2 x\n", "1.0.0.0", package)), package, maker.PublicKey(), kCheckNewer,
         kDownloadNotOffered, false},
        {"no package line", "1.0.0.2 x\n", maker.Sign("1.0.0.2 x\n"), package, maker.PublicKey(), kCheckNewer,
         kDownloadNotOffered, false},
        {"manifest unsigned", manifest, std::nullopt, package, maker.PublicKey(), kCheckNotSigned,
         kDownloadNotSigned, false},
        {"manifest signed with another key", manifest, other.Sign(manifest), package, maker.PublicKey(),
         kCheckNotSigned, kDownloadNotSigned, false},
        {"manifest changed after signing", ManifestText("1.0.0.2 Signed fixes\n", "1.0.0.2", older_package),
         maker.Sign(manifest), older_package, maker.PublicKey(), kCheckNotSigned, kDownloadNotSigned, false},
        {"signature cut short", manifest, maker.Sign(manifest).substr(0, 63), package, maker.PublicKey(),
         kCheckNotSigned, kDownloadNotSigned, false},
        {"signature with a byte added", manifest, maker.Sign(manifest) + "\n", package, maker.PublicKey(),
         kCheckNotSigned, kDownloadNotSigned, false},
        {"no key built in (the placeholder)", manifest, maker.Sign(manifest), package, update::PublicKey{},
         kCheckNoSigningKey, kDownloadNoSigningKey, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        server.Route(kVersionPath, Ok(c.manifest));
        server.Route(kVersionPath + ".sig", c.signature ? Ok(*c.signature) : Status(404));
        server.Route(kPackagePath, Ok(c.served_package));
        // What an older client read beside the package: a checksum and a signature that match what is served.
        server.Route(kPackagePath + ".sha256", Ok(Sha256Of(c.served_package)));
        server.Route(kPackagePath + ".sig", Ok(maker.Sign(c.served_package)));

        TempDir dir;
        const auto folder = dir / "updates";
        // The wizard's road (check, then download) and a download on its own both decide alike.
        for (const bool checked_first : {true, false}) {
            SCOPED_TRACE(checked_first ? "after a check" : "download alone");
            const auto before = server.Requests();
            CAutoUpdater updater;
            QuickLimits(updater);
            updater.signing_key = c.key;
            updater.SetInstalledVersion(u"1.0.0.1");
            if (checked_first) {
                EXPECT_EQ(updater.CheckForUpdate(base), c.check_result) << updater.LastError();
                if (c.check_result == kCheckNotSigned) {
                    EXPECT_NE(updater.LastError().find("signature"), std::string::npos) << updater.LastError();
                }
            }
            std::atomic<bool> cancel{false};
            EXPECT_EQ(updater.DownloadUpdate(base, folder, cancel), c.download_result) << updater.LastError();
            const auto after = server.Requests();
            const std::vector<std::string> asked(after.begin() + static_cast<std::ptrdiff_t>(before.size()),
                                                 after.end());
            EXPECT_EQ(std::count(asked.begin(), asked.end(), kPackagePath) > 0, c.package_asked);
            for (const std::string& path : asked) {
                EXPECT_TRUE(path == kVersionPath || path == kVersionPath + ".sig" || path == kPackagePath) << path;
            }
            if (c.key == update::PublicKey{}) {
                EXPECT_TRUE(asked.empty()) << "a build without a key asks nothing";
            }
            if (c.download_result == kDownloaded) {
                EXPECT_EQ(ReadBytes(folder / "brindlemoor.deb"), package);
                std::filesystem::remove(folder / "brindlemoor.deb");
            } else {
                EXPECT_FALSE(updater.LastError().empty());
                EXPECT_TRUE(!std::filesystem::exists(folder) || EntriesIn(folder) == 0u)
                    << "nothing refused is left";
                EXPECT_TRUE(updater.DownloadedFile().empty());
            }
        }
    }
}

// The maker's signing script writes a manifest this program takes: signed with the maker's key, naming the
// package's size and SHA-256, with the second version line where one is given.
TEST(UpdateManifest, SigningScriptMakesAReleaseTheProgramTakes) {
    if (std::system("command -v openssl >/dev/null && command -v xxd >/dev/null") != 0) {
        GTEST_SKIP() << "openssl or xxd is not installed";
    }
    const TestSigningKey maker;
    TempDir dir;
    maker.WritePrivateKey((dir / "key.pem").string());
    std::string package(30000, '\0');
    for (std::size_t i = 0; i < package.size(); ++i) package[i] = static_cast<char>(i * 31 + i / 7);
    { std::ofstream(dir / "brindlemoor.deb", std::ios::binary) << package; }
    const std::string script = std::string(BM_SOURCE_DIR) + "/scripts/sign-update.sh";
    const std::string sign = script + " manifest " + (dir / "key.pem").string() + " " +
                             (dir / "brindlemoor.deb").string() + " 1.0.0.2 'Faster scans' '2.0.0.0 Paid major'" +
                             " >/dev/null";
    ASSERT_EQ(std::system(sign.c_str()), 0) << sign;
    const std::string manifest = ReadBytes(dir / "brindlemoor.txt");
    EXPECT_EQ(manifest, ManifestText("1.0.0.2 Faster scans\n2.0.0.0 Paid major\n", "1.0.0.2", package));

    LoopbackHttpServer server;
    server.Route(kVersionPath, Ok(manifest));
    server.Route(kVersionPath + ".sig", Ok(ReadBytes(dir / "brindlemoor.txt.sig")));
    server.Route(kPackagePath, Ok(package));
    CAutoUpdater updater;
    updater.signing_key = maker.PublicKey();
    updater.SetInstalledVersion(u"1.0.0.1");
    EXPECT_EQ(updater.CheckForUpdate(server.BaseUrl() + "/upgrade/"), kCheckNewerAndSecond) << updater.LastError();
    std::atomic<bool> cancel{false};
    EXPECT_EQ(updater.DownloadUpdate(server.BaseUrl() + "/upgrade/", dir / "updates", cancel), kDownloaded)
        << updater.LastError();

    // A version the program would not read is refused before anything is written.
    std::filesystem::remove(dir / "brindlemoor.txt");
    const std::string bad = script + " manifest " + (dir / "key.pem").string() + " " +
                            (dir / "brindlemoor.deb").string() + " 1.0.0.22 x 2>/dev/null";
    EXPECT_NE(std::system(bad.c_str()), 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "brindlemoor.txt"));
}

}  // namespace
