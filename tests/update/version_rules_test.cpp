// The update check's rules: version comparison, the version file, the manifest's package line, the progress
// texts and the install command.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "update/version_rules.h"

namespace {

using namespace update;

TEST(VersionRules, CompareVersions) {
    const struct {
        const char16_t* offered;
        const char16_t* installed;
        int result;
    } cases[] = {
        {u"1.0.0.2", u"1.0.0.1", 1},   {u"2.0.0.0", u"1.0.0.1", 2},   {u"1.0.0.1", u"1.0.0.1", 0},
        {u"0.9.0.0", u"1.0.0.1", -1},  {u"1.0.0.0", u"1.0.0.1", -1},  {u"1.1", u"1.0.0.9", 1},
        {u"1", u"1.0.0.0", 0},         {u"1..2", u"1.2", 0},          {u".1.", u"1", 0},
        {u"10.0", u"9.99", 2},         {u"1.0.10", u"1.0.9", 1},      {u"1.0.0.1", u"1.0.0.10", -1},
        {u"1.a", u"1.0", -21},         {u"", u"1.0", -21},            {u"...", u"1.0", -21},
        {u"1.2.3.4.5", u"1.0", -21},   {u"-1", u"1.0", -21},          {u"1 0", u"1.0", -21},
        {u"4294967296", u"1", -21},    {u"4294967295", u"1", 2},      {u"99999999999999999999", u"1", -21},
        {u"1.0", u"x", -22},           {u"1.0", u"", -22},            {u"1.0", u"1.2.3.4.5", -22},
        {u"1.x", u"y", -21},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.result));
        EXPECT_EQ(CompareVersions(c.offered, c.installed), c.result);
    }
    EXPECT_TRUE(IsAllDigits(u""));
    EXPECT_TRUE(IsAllDigits(u"0123456789"));
    EXPECT_FALSE(IsAllDigits(u"12a"));
    EXPECT_FALSE(IsAllDigits(u"\uFF11"));  // a full-width digit is not 0 to 9
}

TEST(VersionRules, VersionFile) {
    const struct {
        const char* what;
        std::string body;
        int result;
        const char16_t* version;
        const char16_t* description;
    } cases[] = {
        {"newer", "1.0.0.2 Fixes\n", kCheckNewer, u"1.0.0.2", u"Fixes"},
        {"major", "2.0.0.0 New release", kCheckNewMajor, u"2.0.0.0", u"New release"},
        {"equal", "1.0.0.1 Same\r\n", kCheckUpToDate, u"1.0.0.1", u"Same"},
        {"older", "0.9.0.0 Old\n", kCheckUpToDate, u"0.9.0.0", u"Old"},
        {"major then newer: the second is offered", "2.0.0.0 Major\n1.0.0.2 Minor\n", kCheckNewer, u"1.0.0.2",
         u"Minor"},
        {"newer then major: 3, the first stays", "1.0.0.2 Minor\r\n2.0.0.0 Major\r\n", kCheckNewerAndSecond,
         u"1.0.0.2", u"Minor"},
        {"equal then older: the second's text", "1.0.0.1 Now\n1.0.0.0 Before\n", kCheckUpToDate, u"1.0.0.0",
         u"Before"},
        {"short version, no description", "1.1", kCheckNewer, u"1.1", u""},
        {"tab separator", "1.0.0.3\tTabbed", kCheckNewer, u"1.0.0.3", u"Tabbed"},
        {"a letter", "1.0.a.2 x\n", kCheckMalformed, u"1.0.a.2", u"x"},
        {"version longer than seven characters", "1.0.0.10 x\n", kCheckMalformed, u"", u""},
        {"seven digits are one number", "9999999 x\n", kCheckNewMajor, u"9999999", u"x"},
        {"empty file", "", kCheckMalformed, u"", u""},
        {"only a line break", "\n", kCheckMalformed, u"", u""},
        {"leading blank", " 1.0.0.2 x", kCheckMalformed, u"", u""},
        {"third line", "1.0.0.2 a\n1.0.0.3 b\n1.0.0.4 c\n", kCheckMalformed, u"", u""},
        {"malformed second line", "1.0.0.2 a\nbad b\n", kCheckMalformed, u"1.0.0.2", u"a"},
        {"over 4 KiB", "1.0.0.2 " + std::string(4100, 'x'), kCheckMalformed, u"", u""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const VersionOffer offer = EvaluateVersionFile(c.body, u"1.0.0.1");
        EXPECT_EQ(offer.result, c.result);
        if (c.result != kCheckMalformed) {
            EXPECT_EQ(offer.version, c.version);
            EXPECT_EQ(offer.description, c.description);
        }
    }
    // A file of exactly 4096 bytes is still read.
    std::string full = "1.0.0.2 " + std::string(4096 - 8, 'd');
    EXPECT_EQ(EvaluateVersionFile(full, u"1.0.0.1").result, kCheckNewer);
    // An installed version that is malformed never reads as up to date.
    EXPECT_EQ(EvaluateVersionFile("1.0.0.2 x", u"").result, kCheckMalformed);
}

TEST(VersionRules, FileSizeAndProgressTexts) {
    const struct {
        std::int64_t bytes;
        const char16_t* text;
    } sizes[] = {
        {0, u"0.00 bytes"},          {512, u"512.00 bytes"},        {1023, u"1023.00 bytes"},
        {1024, u"1.00 KB"},          {1536, u"1.50 KB"},            {1048575, u"1024.00 KB"},
        {1048576, u"1.00 MB"},       {5 * 1048576 / 2, u"2.50 MB"}, {1LL << 30, u"1.00 GB"},
        {3LL << 40, u"3072.00 GB"},  {-2048, u"-2.00 KB"},
    };
    for (const auto& s : sizes) {
        SCOPED_TRACE(s.bytes);
        EXPECT_EQ(FormatFileSize(s.bytes), s.text);
    }
    EXPECT_EQ(FormatTimeText(12, 1536, 3 * 1048576), u"12 sec(1.50 KB of 3.00 MB copied)");
    EXPECT_EQ(FormatTimeText(3, 5000, std::nullopt), u"4 Ko in 3 sec");
    EXPECT_EQ(FormatRateText(3072, 2), u"1.50 KB/sec");
    EXPECT_EQ(FormatRateText(700, 0), u"700.00 bytes/sec") << "no division by zero";
}

// The package line is all or nothing: one malformed field refuses the whole manifest.
TEST(VersionRules, ManifestPackageLine) {
    const std::string hash = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";
    const struct {
        const char* what;
        std::string body;
        bool well_formed;
        bool has_package;
        std::uint64_t size;
    } cases[] = {
        {"version lines only", "1.0.0.2 Fixes\n2.0.0.0 Major\n", true, false, 0},
        {"package line", "1.0.0.2 Fixes\npackage 1.0.0.2 300000 " + hash + "\n", true, true, 300000},
        {"CR LF, no final break", "1.0.0.2 Fixes\r\npackage 1.0.0.2 7 " + hash, true, true, 7},
        {"upper-case hash", "1.0.0.2 x\npackage 1.0.0.2 7 " + std::string(64, 'A') + "\n", false, false, 0},
        {"short hash", "1.0.0.2 x\npackage 1.0.0.2 7 " + hash.substr(1) + "\n", false, false, 0},
        {"size zero", "1.0.0.2 x\npackage 1.0.0.2 0 " + hash + "\n", false, false, 0},
        {"leading zero", "1.0.0.2 x\npackage 1.0.0.2 07 " + hash + "\n", false, false, 0},
        {"negative size", "1.0.0.2 x\npackage 1.0.0.2 -7 " + hash + "\n", false, false, 0},
        {"size too large", "1.0.0.2 x\npackage 1.0.0.2 9999999999999999 " + hash + "\n", false, false, 0},
        {"bad version", "1.0.0.2 x\npackage 1.x 7 " + hash + "\n", false, false, 0},
        {"fourth field", "1.0.0.2 x\npackage 1.0.0.2 7 " + hash + " extra\n", false, false, 0},
        {"two blanks", "1.0.0.2 x\npackage 1.0.0.2  7 " + hash + "\n", false, false, 0},
        {"over 4 KiB", std::string(4090, '1') + "\npackage 1.0.0.2 7 " + hash + "\n", false, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto manifest = ParseManifest(c.body);
        ASSERT_EQ(manifest.has_value(), c.well_formed);
        if (!manifest) continue;
        ASSERT_EQ(manifest->package.has_value(), c.has_package);
        if (c.has_package) {
            EXPECT_EQ(manifest->package->version, u"1.0.0.2");
            EXPECT_EQ(manifest->package->size, c.size);
            EXPECT_EQ(manifest->package->sha256, hash);
            EXPECT_EQ(EvaluateVersionFile(manifest->version_lines, u"1.0.0.1").result, kCheckNewer)
                << "the package line is not a version line";
        }
    }
    // A package line anywhere but last is a malformed version line.
    const auto first = ParseManifest("package 1.0.0.2 7 " + hash + "\n1.0.0.2 x\n");
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(EvaluateVersionFile(first->version_lines, u"1.0.0.1").result, kCheckMalformed);
}

TEST(VersionRules, InstallCommandQuotesEveryPath) {
    EXPECT_EQ(ShellQuote("plain"), "'plain'");
    EXPECT_EQ(ShellQuote("it's $HOME `x` \\ \"q\""), "'it'\\''s $HOME `x` \\ \"q\"'");
    const std::string hash(64, 'c');
    EXPECT_EQ(InstallCommand("/home/a b/.cache/brindlemoor/updates/brindlemoor.deb", hash),
              "echo '" + hash + "  /home/a b/.cache/brindlemoor/updates/brindlemoor.deb' | sha256sum --check && "
              "sudo apt install '/home/a b/.cache/brindlemoor/updates/brindlemoor.deb'");
    EXPECT_EQ(InstallCommand("/tmp/o'k/p.deb", "ab"),
              "echo 'ab  /tmp/o'\\''k/p.deb' | sha256sum --check && sudo apt install '/tmp/o'\\''k/p.deb'");
}

}  // namespace
