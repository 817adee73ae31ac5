// Target settings from the settings file and the ODBC connection strings they make: every value braced, so no
// name can add a key of its own.
#include <gtest/gtest.h>

#include "platform/odbc_sql_connection.h"
#include "platform/target_settings.h"
#include "platform/text.h"

using platform::ConfigFile;
using platform::OdbcConnectionString;
using platform::TargetSettings;

namespace {
std::string U8(const std::u16string& s) { return platform::ToUtf8(s); }
}  // namespace

TEST(OdbcConnectionString, BracesEveryValueAsTheDriverReadsIt) {
    struct Case {
        const char16_t* value;
        const char* braced;
    };
    const Case cases[] = {
        {u"plain", "{plain}"},
        {u"", "{}"},
        {u"x;Database=master", "{x;Database=master}"},
        // The driver ends a braced value at the first "}" that a ";" or the end follows: a "}" stays single.
        {u"a}b", "{a}b}"},
        {u"a}", "{a}}"},
        {u"pw;}x", "{pw;}x}"},
        {u"{open", "{{open}"},
        {u"Recovered_a]b'c", "{Recovered_a]b'c}"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(U8(OdbcConnectionString::Braced(c.value)), c.braced) << U8(c.value);
    }
    OdbcConnectionString builder;
    builder.Add(u"SERVER", u"h").Add(u"DATABASE", u"d;x");
    EXPECT_EQ(U8(builder.Text()), "SERVER={h};DATABASE={d;x}");
    // A ";" after a "}" would end the value there and start a key of the value's own: refused, and the text
    // names the key, never the value (it may be the password).
    for (const char16_t* value : {u"}};DRIVER={evil", u"a};PORT={1", u"x}y;z"}) {
        EXPECT_THROW(OdbcConnectionString::Braced(value), platform::SqlError) << U8(value);
        try {
            OdbcConnectionString().Add(u"PWD", value);
            ADD_FAILURE() << U8(value);
        } catch (const platform::SqlError& error) {
            EXPECT_TRUE(platform::IsConnectionLost(error));
            EXPECT_NE(error.Description().find(u"PWD value"), std::u16string::npos);
            EXPECT_EQ(error.Description().find(value), std::u16string::npos);
        }
    }
}

TEST(TargetSettings, ReadsTheSqlServerSection) {
    const auto config = ConfigFile::Parse(
        "[sqlserver]\nserver = db1\nport = 1500\ntds_version = 7.3\nlogin = repair\npassword = \"p;w}d\"\n"
        "data_folder = D:\\Data\nfailure_folder = /home/u/failed\nlogin_timeout = 5\n");
    const auto s = TargetSettings::FromConfig(config);
    EXPECT_EQ(U8(s.m_strServer), "db1");
    EXPECT_EQ(s.m_nPort, 1500);
    EXPECT_EQ(U8(s.m_strTdsVersion), "7.3");
    EXPECT_EQ(U8(s.m_strLogin), "repair");
    EXPECT_EQ(U8(s.m_strPassword), "p;w}d");
    EXPECT_EQ(U8(s.m_strDataFolder), "D:\\Data");
    EXPECT_EQ(U8(s.m_strFailureFolder), "/home/u/failed");
    EXPECT_EQ(s.m_nLoginTimeoutSeconds, 5);
    EXPECT_EQ(U8(s.m_strDriver), "FreeTDS");

    // Missing keys and numbers that are none keep the defaults.
    const auto bad = TargetSettings::FromConfig(ConfigFile::Parse("[sqlserver]\nport = 99999\nlogin_timeout = x\n"));
    EXPECT_EQ(bad.m_nPort, 0);
    EXPECT_EQ(bad.m_nLoginTimeoutSeconds, 15);
    EXPECT_EQ(U8(bad.m_strTdsVersion), "7.4");
    EXPECT_TRUE(bad.m_strDataFolder.empty());
}

TEST(TargetSettings, ConnectionStrings) {
    TargetSettings login;
    login.m_strLogin = u"sa";
    login.m_strPassword = u"pw;}x";
    TargetSettings with_port = login;
    with_port.m_nPort = 1433;
    TargetSettings kerberos;

    struct Case {
        const TargetSettings* settings;
        const char16_t* server;
        const char16_t* database;
        const char* expected;
    };
    const Case cases[] = {
        {&login, u"db1", u"master",
         "DRIVER={FreeTDS};SERVER={db1};DATABASE={master};TDS_Version={7.4};Language={us_english};UID={sa};PWD={pw;}x}"},
        {&with_port, u"db1", u"Recovered_x",
         "DRIVER={FreeTDS};SERVER={db1};PORT={1433};DATABASE={Recovered_x};TDS_Version={7.4};Language={us_english};UID={sa};PWD={pw;}x}"},
        // "host,port" as the user may type it: the typed port wins over the configured one.
        {&with_port, u"db1,1500", u"d",
         "DRIVER={FreeTDS};SERVER={db1};PORT={1500};DATABASE={d};TDS_Version={7.4};Language={us_english};UID={sa};PWD={pw;}x}"},
        // An instance finds its own port.
        {&with_port, u"db1\\SHAREPOINT", u"d",
         "DRIVER={FreeTDS};SERVER={db1\\SHAREPOINT};DATABASE={d};TDS_Version={7.4};Language={us_english};UID={sa};PWD={pw;}x}"},
        // No login: Kerberos through the driver, no user name or password in the string.
        {&kerberos, u"db1", u"d", "DRIVER={FreeTDS};SERVER={db1};DATABASE={d};TDS_Version={7.4};Language={us_english};Trusted_Connection={Yes}"},
        // Names that look like keys stay values.
        {&login, u"x;Database=master", u"a;UID=other}b",
         "DRIVER={FreeTDS};SERVER={x;Database=master};DATABASE={a;UID=other}b};TDS_Version={7.4};Language={us_english};UID={sa};"
         "PWD={pw;}x}"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(U8(c.settings->ConnectionString(c.server, c.database)), c.expected) << U8(c.server);
    }
}
