// The server dialog's values outside the window: pre-filled from the settings, refused when a name is empty
// or would reach into the connection's settings.
#include <gtest/gtest.h>

#include "app/server_choice.h"

namespace {

TEST(ServerChoice, PrefilledFromTheSettings) {
    const auto config = platform::ConfigFile::Parse(
        "[sqlserver]\nserver = db.example\\SQL,1433\nlogin = repair\nfailure_folder = /srv/failures\n"
        "data_folder = D:\\Data\n");
    const auto choice = app::ServerChoiceFromConfig(config, u"/default");
    EXPECT_EQ(choice.server, u"db.example\\SQL,1433");
    EXPECT_EQ(choice.login, u"repair");
    EXPECT_EQ(choice.failure_folder, u"/srv/failures");
    EXPECT_EQ(choice.data_folder, u"D:\\Data");
    EXPECT_TRUE(choice.password.empty());
    EXPECT_EQ(app::ServerChoiceFromConfig(platform::ConfigFile::Parse(""), u"/default").failure_folder, u"/default");
}

TEST(ServerChoice, NamesThatWouldInjectAreRefused) {
    struct Case {
        const char* what;
        std::u16string server, login, database;
        bool embedded;
        int problem;
    };
    const Case cases[] = {
        {"host, instance and port", u"db.example\\SQL,1433", u"", u"", false, 0},
        {"empty server", u"", u"", u"", false, 144},
        {"a setting added to the server", u"db;Database=master", u"", u"", false, 144},
        {"braces", u"db{x}", u"", u"", false, 144},
        {"an equals sign in the login", u"db", u"sa=1", u"", false, 144},
        {"embedded without a database", u"db", u"", u"", true, 211},
        {"embedded database with a separator", u"db", u"", u"WSS;x", true, 211},
        {"embedded with its database", u"db", u"", u"WSS_Content", true, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        platform::ServerChoice choice;
        choice.server = c.server;
        choice.login = c.login;
        choice.embedded_database = c.database;
        EXPECT_EQ(app::ServerChoiceProblem(choice, c.embedded), c.problem);
    }
}

}  // namespace
