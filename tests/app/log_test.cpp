// Log append rules, Clear Log, the log window set-up and the saved file's bytes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <thread>

#include "app/app_fields.h"
#include "app/log_file.h"
#include "app/log_text.h"
#include "platform/shared_state.h"
#include "tests/support/page_builder.h"

namespace app {
namespace {

TEST(LogText, AppendRules) {
    struct Case {
        const char* name;
        std::u16string before;
        std::u16string line;
        bool no_break;
        std::u16string after;
    };
    const std::u16string long_line(600, u'x');
    const Case cases[] = {
        {"a line goes after a break", u"head", u"line", false, u"head\r\nline"},
        {"no-break flag appends as it stands", u"head", u"line", true, u"headline"},
        {"the log does not end with a break", u"", u"first", false, u"\r\nfirst"},
        {"498 characters fit", u"h", std::u16string(498, u'y'), false, u"h\r\n" + std::u16string(498, u'y')},
        {"a longer line is cut to 498", u"h", long_line, false, u"h\r\n" + std::u16string(498, u'x')},
        {"without a break 500 characters fit", u"h", long_line, true, u"h" + std::u16string(500, u'x')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LogEdit edit;
        edit.SetText(c.before);
        EXPECT_EQ(edit.AppendLine(c.line, c.no_break), c.before) << "the application's copy lags one line";
        EXPECT_EQ(edit.Text(), c.after);
    }
}

TEST(LogText, ClearLeavesTheHeaderAndTheTitleAsCopy) {
    LogEdit edit;
    edit.SetText(LogHeader() + u"\r\nsome line");
    EXPECT_EQ(edit.Clear(), kLogTitle);
    EXPECT_EQ(edit.Text(), LogHeader());
    EXPECT_EQ(LogHeader(), u" Log Report - Brindlemoor.\r\n" + std::u16string(62, u'-'));
}

TEST(LogText, WindowSetUpAndViewerButtons) {
    platform::SharedState state;
    AppFields fields;
    bool enabled = true;
    // Directly after start-up the log holds only the header: the buttons start disabled.
    EXPECT_EQ(PrepareLogWindow(state, fields, enabled), LogHeader());
    EXPECT_FALSE(enabled);
    EXPECT_EQ(fields.m_strLogHeader, LogHeader());
    EXPECT_EQ(state.m_strLogLine, kLogTitle);

    // After one job line the copy still holds the header only; after two it has the first line.
    LogEdit running;
    running.SetText(GetLogText(state));
    SetLogText(state, running.AppendLine(u"File selected", false));
    EXPECT_EQ(PrepareLogWindow(state, fields, enabled), LogHeader());
    EXPECT_FALSE(enabled);
    SetLogText(state, running.AppendLine(u"Tables : 3", false));
    EXPECT_EQ(PrepareLogWindow(state, fields, enabled), LogHeader() + u"\r\nFile selected");
    EXPECT_TRUE(enabled);

    SetLogText(state, std::u16string(kLogTitle));
    PrepareLogWindow(state, fields, enabled);
    EXPECT_FALSE(enabled) << "the title line alone (after Clear Log) counts as empty";
}

TEST(LogText, TwoThreadsWriteTheCopyWithoutLosingText) {
    platform::SharedState state;
    constexpr int kLines = 2000;
    std::thread worker([&] {
        for (int i = 0; i < kLines; ++i) AppendToLogText(state, u"w");
    });
    for (int i = 0; i < kLines; ++i) AppendToLogText(state, u"u");
    worker.join();
    const std::u16string text = GetLogText(state);
    EXPECT_EQ(text.size(), 2u * kLines);
    EXPECT_EQ(std::count(text.begin(), text.end(), u'w'), kLines);
}

std::vector<std::uint8_t> ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(LogFile, BytesAreUtf16LeWithoutMarkOrTerminator) {
    testsupport::TempDir dir;
    const std::u16string text = LogHeader() + u"\r\nZeile \u00e4";
    ASSERT_EQ(WriteLogFile(LogFilePath(dir.Path()), text), u"");
    const auto bytes = ReadAll(dir.Path() / "Brindlemoor.log");
    ASSERT_EQ(bytes.size(), text.size() * 2);
    EXPECT_EQ((std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 6)),
              (std::vector<std::uint8_t>{0x20, 0x00, 0x4C, 0x00, 0x6F, 0x00}));
    EXPECT_EQ(bytes[bytes.size() - 2], 0xE4);
    EXPECT_EQ(bytes.back(), 0x00);
    EXPECT_EQ(bytes, LogFileBytes(text));
}

TEST(LogFile, AsksBeforeOverwritingAndNoPicksAgain) {
    testsupport::TempDir first, second;
    { std::ofstream(first.Path() / "Brindlemoor.log") << "old"; }
    int picks = 0, questions = 0;
    std::vector<std::u16string> errors;
    SaveLogQuestions q{[&]() -> std::optional<std::filesystem::path> {
                           ++picks;
                           return picks == 1 ? first.Path() : second.Path();
                       },
                       [&] {
                           ++questions;
                           return false;  // No: pick again
                       },
                       [&](const std::u16string& e) { errors.push_back(e); }};
    EXPECT_EQ(SaveLog(q, u"AB"), SaveLogOutcome::Saved);
    EXPECT_EQ(picks, 2);
    EXPECT_EQ(questions, 1);
    EXPECT_EQ(ReadAll(first.Path() / "Brindlemoor.log").size(), 3u) << "the refused file is left alone";
    EXPECT_EQ(ReadAll(second.Path() / "Brindlemoor.log"), (std::vector<std::uint8_t>{'A', 0, 'B', 0}));
    EXPECT_TRUE(errors.empty());
}

TEST(LogFile, YesOverwritesAndCancelSavesNothing) {
    testsupport::TempDir dir;
    { std::ofstream(dir.Path() / "Brindlemoor.log") << "older and longer"; }
    SaveLogQuestions q{[&]() -> std::optional<std::filesystem::path> { return dir.Path(); }, [] { return true; },
                       [](const std::u16string&) { FAIL(); }};
    EXPECT_EQ(SaveLog(q, u"A"), SaveLogOutcome::Saved);
    EXPECT_EQ(ReadAll(dir.Path() / "Brindlemoor.log"), (std::vector<std::uint8_t>{'A', 0})) << "truncated";

    SaveLogQuestions cancel{[]() -> std::optional<std::filesystem::path> { return std::nullopt; },
                            [] { return true; }, [](const std::u16string&) { FAIL(); }};
    EXPECT_EQ(SaveLog(cancel, u"A"), SaveLogOutcome::Cancelled);
}

TEST(LogFile, FailuresAreShown) {
    testsupport::TempDir dir;
    std::vector<std::u16string> errors;
    // A folder of the log's name cannot be opened as a file.
    std::filesystem::create_directory(dir.Path() / "Brindlemoor.log");
    SaveLogQuestions q{[&]() -> std::optional<std::filesystem::path> { return dir.Path(); }, [] { return true; },
                       [&](const std::u16string& e) { errors.push_back(e); }};
    EXPECT_EQ(SaveLog(q, u"A"), SaveLogOutcome::Failed);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find(u"Brindlemoor.log"), std::u16string::npos);

    // A full device: every write fails with ENOSPC.
    if (access("/dev/full", W_OK) == 0) {
        const std::u16string error = WriteLogFile("/dev/full", u"some text");
        EXPECT_NE(error.find(u"disk space"), std::u16string::npos);
    }
    // A read-only folder (not for root, who may write anywhere).
    if (geteuid() != 0) {
        testsupport::TempDir locked;
        chmod(locked.Path().c_str(), 0500);
        EXPECT_NE(WriteLogFile(LogFilePath(locked.Path()), u"A").find(u"Access to"), std::u16string::npos);
        chmod(locked.Path().c_str(), 0700);
    }
}

}  // namespace
}  // namespace app
