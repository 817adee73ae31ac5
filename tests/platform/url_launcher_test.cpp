// The link launcher: only http, https and mailto reach the opener; everything else is refused and logged.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/url_launcher.h"

namespace {

using platform::UrlLauncher;

// Installs a recording opener and logger for one test and puts the previous ones back.
class LauncherRecorder {
public:
    LauncherRecorder() {
        previous_opener_ = UrlLauncher::SetOpener([this](const std::string& url) {
            opened.push_back(url);
            return answer;
        });
        previous_logger_ = UrlLauncher::SetLogger([this](const std::string& line) { logged.push_back(line); });
    }
    ~LauncherRecorder() {
        UrlLauncher::SetOpener(previous_opener_);
        UrlLauncher::SetLogger(previous_logger_);
    }
    std::vector<std::string> opened;
    std::vector<std::string> logged;
    bool answer = true;

private:
    UrlLauncher::Opener previous_opener_;
    UrlLauncher::Logger previous_logger_;
};

TEST(UrlLauncher, OnlyWebAndMailAddressesAreOpened) {
    const struct {
        const char* url;
        bool allowed;
    } cases[] = {
        {"https://support.example/brindlemoor", true},
        {"http://support.example/", true},
        {"HTTPS://Support.Example/", true},
        {"mailto:support@example.test", true},
        {"", false},
        {"https://", false},
        {"mailto:", false},
        {"file:///etc/passwd", false},
        {"/usr/bin/xterm", false},
        {"javascript:alert(1)", false},
        {"ftp://host/file", false},
        {"smb://host/share", false},
        {"httpx://host", false},
        {" https://leading.blank", false},
        {"https://host/a b", false},
        {"https://host/\nfile:///x", false},
        {"https://h\xc3\xa9st/", false},
        {"--help", false},
        {"-e https://x", false},
    };
    LauncherRecorder recorder;
    std::vector<std::string> expected;
    std::size_t refused = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        EXPECT_EQ(platform::IsAllowedUrl(c.url), c.allowed);
        EXPECT_EQ(UrlLauncher::Open(c.url), c.allowed);
        if (c.allowed) {
            expected.push_back(c.url);
        } else {
            ++refused;
        }
    }
    EXPECT_EQ(recorder.opened, expected);
    EXPECT_EQ(recorder.logged.size(), refused) << "every refusal is logged";
    for (const auto& line : recorder.logged) {
        for (char c : line) EXPECT_TRUE(c >= 0x20 && c < 0x7F) << "log lines stay printable";
    }
}

TEST(UrlLauncher, AFailingOrMissingOpenerIsLogged) {
    LauncherRecorder recorder;
    recorder.answer = false;
    EXPECT_FALSE(UrlLauncher::Open("https://support.example/"));
    EXPECT_EQ(recorder.logged.size(), 1u);

    const auto opener = UrlLauncher::SetOpener({});
    EXPECT_FALSE(UrlLauncher::Open("https://support.example/"));
    EXPECT_EQ(recorder.logged.size(), 2u);
    UrlLauncher::SetOpener(opener);
}

}  // namespace
