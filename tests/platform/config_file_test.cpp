// Settings file: look-ups, edits that keep the other lines, and no password ever written.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/config_file.h"
#include "tests/support/page_builder.h"

using platform::ConfigFile;
using testsupport::TempDir;

TEST(ConfigFile, LooksUpBySectionAndKey) {
    const auto config = ConfigFile::Parse(
        "# comment\r\n[SqlServer]\r\nserver = db1\\inst,1433\r\n; other\r\nlogin=\"sa\"\r\n\r\n[update]\n"
        "base_url = https://example.test/u\n");
    EXPECT_EQ(config.Get("sqlserver", "SERVER"), "db1\\inst,1433");
    EXPECT_EQ(config.Get("sqlserver", "login"), "sa");
    EXPECT_EQ(config.Get("update", "base_url"), "https://example.test/u");
    EXPECT_FALSE(config.Get("update", "server").has_value());
    EXPECT_EQ(config.GetOr("none", "x", "fallback"), "fallback");
}

TEST(ConfigFile, SetKeepsOtherLinesAndNeverWritesASecret) {
    auto config = ConfigFile::Parse("# mine\n[sqlserver]\nserver = a\npassword = s3cret\n\n[other]\nk = v\n");
    EXPECT_TRUE(config.Set("sqlserver", "server", "b"));
    EXPECT_TRUE(config.Set("sqlserver", "port", "1500"));
    EXPECT_TRUE(config.Set("update", "base_url", "https://u"));
    EXPECT_FALSE(config.Set("sqlserver", "password", "other"));
    EXPECT_FALSE(config.Set("sqlserver", "login", "two\nlines"));
    EXPECT_EQ(config.Text(),
              "# mine\n[sqlserver]\nserver = b\npassword = s3cret\nport = 1500\n\n[other]\nk = v\n\n[update]\n"
              "base_url = https://u\n");
}

TEST(ConfigFile, DefaultPathFollowsTheEnvironmentAndSaveRoundTrips) {
    TempDir dir;
    const auto path = dir.Path() / "sub" / "b.conf";
    ::setenv("BRINDLEMOOR_CONFIG", path.c_str(), 1);
    EXPECT_EQ(ConfigFile::DefaultPath(), path);
    auto config = ConfigFile::Load();
    EXPECT_FALSE(config.Get("a", "b"));
    ASSERT_TRUE(config.Set("a", "b", "c"));
    std::string error;
    ASSERT_TRUE(config.SaveTo(path, &error)) << error;
    EXPECT_EQ(ConfigFile::Load().Get("a", "b"), "c");
    ::unsetenv("BRINDLEMOOR_CONFIG");
}
