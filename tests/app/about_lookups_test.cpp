// The About box's system texts, the licence file's rows and place, and the two folder look-ups, over small
// fixture files.
#include <gtest/gtest.h>

#include <fstream>

#include "app/about_texts.h"
#include "app/folder_lookups.h"
#include "platform/config_file.h"
#include "tests/support/page_builder.h"

namespace {

using platform::ConfigFile;
using testsupport::TempDir;

void WriteText(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

TEST(AboutTexts, OsNameFromOsRelease) {
    TempDir dir;
    const struct {
        const char* file;
        const char16_t* name;
    } cases[] = {
        {"NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nID=debian\n",
         u"Debian GNU/Linux 12 (bookworm)"},
        {"PRETTY_NAME='Fedora Linux 39'\r\n", u"Fedora Linux 39"},
        {"PRETTY_NAME=Alpine\n", u"Alpine"},
        {"PRETTY_NAME=\"Say \\\"hi\\\" \\$x\"\n", u"Say \"hi\" $x"},
        {"NAME=Linux\n", u"Error"},
        {"PRETTY_NAME=\"\"\n", u"Error"},
        {"", u"Error"},
    };
    int i = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const auto path = dir / ("os-release" + std::to_string(i++));
        WriteText(path, c.file);
        EXPECT_EQ(app::OsProductName(path), c.name);
    }
    EXPECT_EQ(app::OsProductName(dir / "missing"), u"Error");
}

TEST(AboutTexts, KernelVersionInTheBoxFormat) {
    const struct {
        const char* release;
        const char16_t* text;
    } cases[] = {
        {"6.1.0-13-amd64", u"6.1.0"},   {"5.10.178", u"5.10.178"}, {"6.8", u"6.8.0"},
        {"4.19.0+", u"4.19.0"},         {"7", u"7.0.0"},           {"", u"0.0.0"},
        {"abc", u"0.0.0"},              {"6.5.0.1", u"6.5.0"},     {"6.18.44-fc-v1607", u"6.18.44"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.release);
        EXPECT_EQ(app::OsVersionText(c.release), c.text);
    }
    EXPECT_FALSE(app::OsVersionText().empty());
}

TEST(AboutTexts, LicenceFileRowsAndPlace) {
    TempDir dir;
    const auto eula = dir / "eula.dat";
    WriteText(eula, "First line\r\n\r\nThird line\nlast without break");
    EXPECT_EQ(app::ReadEulaRows(eula),
              (std::vector<std::u16string>{u"First line", u"", u"Third line", u"last without break"}));
    const auto missing = app::ReadEulaRows(dir / "none.dat");
    ASSERT_EQ(missing.size(), 1u);
    EXPECT_NE(missing[0].find(u"none.dat"), std::u16string::npos);

    EXPECT_EQ(app::EulaPath(ConfigFile::Parse("[app]\neula_path = /opt/b/eula.dat\n"), "/usr/bin"),
              "/opt/b/eula.dat");
    EXPECT_EQ(app::EulaPath(ConfigFile::Parse(""), "/usr/local/bin"), "/usr/local/share/brindlemoor/eula.dat");
}

TEST(AboutTexts, ShippedLicenceHasRowsWithoutCarriageReturns) {
    const auto rows = app::ReadEulaRows(BM_SHIPPED_EULA);
    ASSERT_GT(rows.size(), 5u);
    for (const auto& row : rows) EXPECT_EQ(row.find(u'\r'), std::u16string::npos);
}

TEST(FolderLookups, SharePointBinFolderFromTheSettings) {
    EXPECT_EQ(app::ReadSharePointBinFolder(ConfigFile::Parse("[sharepoint]\nbin_folder = \"C:\\SP\\12\\bin\"\n")),
              u"C:\\SP\\12\\bin");
    EXPECT_EQ(app::ReadSharePointBinFolder(ConfigFile::Parse("[other]\nbin_folder = x\n")), u"");
}

TEST(FolderLookups, DefaultDataFolderInOrderOfPrecedence) {
    TempDir dir;
    const auto server_conf = dir / "mssql.conf";
    const auto existing = dir / "data";
    std::filesystem::create_directory(existing);
    WriteText(dir / "other.conf", "[network]\ntcpport = 1433\n");
    WriteText(server_conf, "[filelocation]\ndefaultdatadir = /srv/sql/data\ndefaultlogdir = /srv/sql/log\n");

    struct Case {
        const char* what;
        std::string settings;
        std::filesystem::path conf;
        std::filesystem::path fallback;
        const char16_t* folder;
        bool found;
    };
    const Case cases[] = {
        {"settings first", "[sqlserver]\ndefault_data_folder = /mnt/data\n", server_conf, existing, u"/mnt/data", true},
        {"server configuration", "", server_conf, existing, u"/srv/sql/data", true},
        {"configuration without the key", "", dir / "other.conf", existing, nullptr, true},
        {"usual folder when it exists", "", dir / "missing.conf", existing, nullptr, true},
        {"nothing found", "", dir / "missing.conf", dir / "no-such-folder", u"", false},
        {"a file is not a folder", "", dir / "missing.conf", server_conf, u"", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        bool found = false;
        const auto folder =
            app::ReadSqlServerInstancePaths(ConfigFile::Parse(c.settings), found, {c.conf, c.fallback});
        // No folder given: the existing usual folder is the answer.
        const std::u16string expected = c.folder != nullptr ? std::u16string(c.folder) : existing.u16string();
        EXPECT_EQ(folder, expected);
        EXPECT_EQ(found, c.found);
    }
    // The flag is only ever set, never cleared.
    bool found = true;
    app::ReadSqlServerInstancePaths(ConfigFile::Parse(""), found, {dir / "missing.conf", dir / "none"});
    EXPECT_TRUE(found);
}

}  // namespace
