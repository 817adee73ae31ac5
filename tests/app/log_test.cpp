// Log append rules, Clear Log, the log window set-up and the saved file's bytes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <functional>
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

// Each case acts on the running box (and, for some, a second box or the job thread's appends to the copy)
// and checks the application's copy: the box's text before its newest line, whatever happened in between.
TEST(LogText, CopyKeptByAppendsIsTheBoxBeforeItsNewestLine) {
    struct Case {
        const char* name;
        std::function<void(LogEdit& box, LogEdit& other, platform::SharedState& state)> steps;
        std::u16string copy;
    };
    const std::u16string head = LogHeader();
    const Case cases[] = {
        {"each append brings the copy to the line before",
         [](LogEdit& box, LogEdit&, platform::SharedState& s) {
             box.AppendLine(s, u"a", false);
             box.AppendLine(s, u"b", false);
             box.AppendLine(s, u"c", false);
         },
         head + u"\r\na\r\nb"},
        {"a separator the job added to the copy gives way to the box's text",
         [](LogEdit& box, LogEdit&, platform::SharedState& s) {
             box.AppendLine(s, u"a", false);
             AppendToLogText(s, u"\r\n----");
             box.AppendLine(s, u"b", false);
         },
         head + u"\r\na"},
        {"a copy another window replaced is taken afresh",
         [](LogEdit& box, LogEdit&, platform::SharedState& s) {
             box.AppendLine(s, u"a", false);
             SetLogText(s, u"x");
             box.AppendLine(s, u"b", false);
         },
         head + u"\r\na"},
        {"a copy emptied by another window is taken afresh",
         [](LogEdit& box, LogEdit&, platform::SharedState& s) {
             box.AppendLine(s, u"a", false);
             box.AppendLine(s, u"b", false);
             SetLogText(s, u"");
             box.AppendLine(s, u"c", false);
         },
         head + u"\r\na\r\nb"},
        {"a second box's appends do not mix into the first's",
         [](LogEdit& box, LogEdit& other, platform::SharedState& s) {
             box.AppendLine(s, u"a", false);
             other.SetText(u"viewer");
             other.AppendLine(s, u"v", false);
             box.AppendLine(s, u"b", false);
         },
         head + u"\r\na"},
        {"a box given new text starts the copy from it",
         [](LogEdit& box, LogEdit&, platform::SharedState& s) {
             box.AppendLine(s, u"a", false);
             box.SetText(u"new");
             box.AppendLine(s, u"b", false);
         },
         u"new"},
        {"a cut line is cut in the copy too",
         [](LogEdit& box, LogEdit&, platform::SharedState& s) {
             box.AppendLine(s, std::u16string(600, u'x'), false);
             box.AppendLine(s, u"b", false);
         },
         head + u"\r\n" + std::u16string(498, u'x')},
        {"appends without a break",
         [](LogEdit& box, LogEdit&, platform::SharedState& s) {
             box.AppendLine(s, u"a", true);
             box.AppendLine(s, u"b", true);
         },
         head + u"a"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        platform::SharedState state;
        LogEdit box, other;
        box.SetText(head);
        SetLogText(state, head);
        c.steps(box, other, state);
        EXPECT_EQ(GetLogText(state), c.copy);
    }
}

// A long mixed run against the plain rule (the copy is the box's whole text before each append).
TEST(LogText, LongRunMatchesThePlainRule) {
    platform::SharedState state;
    LogEdit box, plain;
    box.SetText(LogHeader());
    plain.SetText(LogHeader());
    std::u16string expected;
    unsigned seed = 7;
    for (int i = 0; i < 5000; ++i) {
        seed = seed * 1103515245u + 12345u;
        const unsigned pick = (seed >> 16) % 20;
        if (pick == 0) {
            AppendToLogText(state, u"\r\n----");
            continue;
        }
        if (pick == 1) {
            SetLogText(state, u"replaced");
            continue;
        }
        const std::u16string line(1 + (seed >> 8) % 7, static_cast<char16_t>(u'a' + pick));
        box.AppendLine(state, line, pick == 2);
        expected = plain.AppendLine(line, pick == 2);
        ASSERT_EQ(GetLogText(state), expected) << "after step " << i;
    }
    EXPECT_EQ(box.Text(), plain.Text());
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

    // A full disk is named as such (a full device cannot stand in for it: the log is never written through
    // whatever has its name).
    EXPECT_NE(DescribeLogFileError(LogFilePath(dir.Path()), ENOSPC, "writing").find(u"disk space"),
              std::u16string::npos);
    // A read-only folder (not for root, who may write anywhere).
    if (geteuid() != 0) {
        testsupport::TempDir locked;
        chmod(locked.Path().c_str(), 0500);
        EXPECT_NE(WriteLogFile(LogFilePath(locked.Path()), u"A").find(u"Access to"), std::u16string::npos);
        chmod(locked.Path().c_str(), 0700);
    }
}

// What stands at the log's name before Save Log: the log replaces a file or a link (never written through it);
// a folder or a pipe is left alone. No temporary file is left behind either way.
TEST(LogFile, SaveNeverWritesThroughWhatHasTheName) {
    enum class Kind { Nothing, OlderFile, LinkToOutsideFile, DanglingLink, Folder, Pipe };
    struct Case {
        const char* name;
        Kind kind;
        bool asked;
        SaveLogOutcome outcome;
    };
    const Case cases[] = {
        {"no file: created", Kind::Nothing, false, SaveLogOutcome::Saved},
        {"an older, longer log is replaced", Kind::OlderFile, true, SaveLogOutcome::Saved},
        {"a link to a file elsewhere is replaced, the file untouched", Kind::LinkToOutsideFile, true,
         SaveLogOutcome::Saved},
        {"a link to nowhere is asked about and replaced, nothing made where it points", Kind::DanglingLink, true,
         SaveLogOutcome::Saved},
        {"a folder of the name is left alone", Kind::Folder, true, SaveLogOutcome::Failed},
        {"a pipe of the name is left alone", Kind::Pipe, true, SaveLogOutcome::Failed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::TempDir dir, elsewhere;
        const std::filesystem::path log = dir.Path() / "Brindlemoor.log";
        const std::filesystem::path outside = elsewhere.Path() / "victim";
        switch (c.kind) {
            case Kind::Nothing: break;
            case Kind::OlderFile: std::ofstream(log) << "older and longer"; break;
            case Kind::LinkToOutsideFile:
                std::ofstream(outside) << "keep";
                std::filesystem::create_symlink(outside, log);
                break;
            case Kind::DanglingLink: std::filesystem::create_symlink(outside, log); break;
            case Kind::Folder: std::filesystem::create_directory(log); break;
            case Kind::Pipe: ASSERT_EQ(mkfifo(log.c_str(), 0600), 0); break;
        }
        int questions = 0;
        std::vector<std::u16string> errors;
        SaveLogQuestions q{[&]() -> std::optional<std::filesystem::path> { return dir.Path(); },
                           [&] {
                               ++questions;
                               return true;
                           },
                           [&](const std::u16string& e) { errors.push_back(e); }};
        EXPECT_EQ(SaveLog(q, u"AB"), c.outcome);
        EXPECT_EQ(questions, c.asked ? 1 : 0);
        if (c.outcome == SaveLogOutcome::Saved) {
            EXPECT_FALSE(std::filesystem::is_symlink(log));
            EXPECT_EQ(ReadAll(log), (std::vector<std::uint8_t>{'A', 0, 'B', 0}));
            EXPECT_TRUE(errors.empty());
        } else {
            ASSERT_EQ(errors.size(), 1u);
            EXPECT_NE(errors[0].find(u"Brindlemoor.log"), std::u16string::npos);
        }
        if (c.kind == Kind::LinkToOutsideFile) {
            EXPECT_EQ(ReadAll(outside).size(), 4u) << "written through the link";
        }
        if (c.kind == Kind::DanglingLink) {
            EXPECT_FALSE(std::filesystem::exists(outside)) << "made through the link";
        }
        if (c.kind == Kind::Folder) {
            EXPECT_TRUE(std::filesystem::is_directory(log));
        }
        if (c.kind == Kind::Pipe) {
            EXPECT_TRUE(std::filesystem::is_fifo(log));
        }
        std::size_t entries = 0;
        for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Path())) ++entries;
        EXPECT_EQ(entries, c.kind == Kind::Nothing && c.outcome != SaveLogOutcome::Saved ? 0u : 1u)
            << "a temporary file was left behind";
    }
}

}  // namespace
}  // namespace app
