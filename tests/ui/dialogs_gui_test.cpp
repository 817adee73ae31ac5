// The message dialogs and the log window in a real window: texts, the answers of Esc, Enter, the close box
// and the buttons, a message asked for from a worker thread, and screenshots.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <iterator>
#include <thread>

#include <wx/uiaction.h>

#include "app/control_ids.h"
#include "app/log_text.h"
#include "tests/support/page_builder.h"
#include "tests/ui/gui_harness.h"
#include "ui/brindlemoor_app.h"
#include "ui/log_dialog.h"
#include "ui/message_dialogs.h"

namespace {

using namespace guitest;
using ui::CFileExist;
using ui::CMessageDialog2;
using ui::CMessageDialogBase;
using ui::CMyExitStopDialog;
using ui::CMyMessageDialog;

enum class Answer { Escape, Enter, CloseBox, Yes, No };

void Give(wxDialog& dialog, Answer answer, int no_id) {
    switch (answer) {
        case Answer::Escape: PressKey(dialog, WXK_ESCAPE); break;
        case Answer::Enter: PressKey(dialog, WXK_RETURN); break;
        case Answer::CloseBox: dialog.Close(); break;
        case Answer::Yes: {
            wxCommandEvent press(wxEVT_BUTTON, app::kIdOk);
            dialog.GetEventHandler()->ProcessEvent(press);
            break;
        }
        case Answer::No: {
            wxCommandEvent press(wxEVT_BUTTON, no_id);
            dialog.GetEventHandler()->ProcessEvent(press);
            break;
        }
    }
}

// Each dialog's lines and result for every way of answering it.
TEST(MessageDialogs, TextsAndAnswers) {
    auto& app = App();
    app.m_strMessageTitle = u"This process can not be resumed from current state and has to be restarted.";
    app.m_strMessageText = u"Do you want to stop the current process ?";

    struct Case {
        const char* name;
        std::function<CMessageDialogBase*()> make;
        const char* upper;
        const char* lower;
        int no_id;  // 0: no visible No button
    };
    const std::string title = "This process can not be resumed from current state and has to be restarted.";
    const std::string text = "Do you want to stop the current process ?";
    const Case cases[] = {
        {"CMyMessageDialog: text above title", [&] { return new CMyMessageDialog(nullptr, app); }, text.c_str(),
         title.c_str(), 0},
        {"CMessageDialog2: title above text", [&] { return new CMessageDialog2(nullptr, app); }, title.c_str(),
         text.c_str(), 0},
        {"CMyExitStopDialog: question above explanation", [&] { return new CMyExitStopDialog(nullptr, app); },
         text.c_str(), title.c_str(), app::kIdCancel},
        {"CFileExist: fixed question", [] { return new CFileExist(nullptr); }, "File already exist.",
         "Do you want to overwrite?", app::kIdExistNo},
    };
    const std::pair<Answer, int> answers[] = {{Answer::Escape, app::kIdCancel}, {Answer::Enter, app::kIdOk},
                                              {Answer::CloseBox, app::kIdCancel}, {Answer::Yes, app::kIdOk},
                                              {Answer::No, app::kIdCancel}};
    for (const auto& c : cases) {
        for (const auto& [answer, expected] : answers) {
            if (answer == Answer::No && c.no_id == 0) continue;
            SCOPED_TRACE(std::string(c.name) + ", answer " + std::to_string(static_cast<int>(answer)));
            CMessageDialogBase* dialog = c.make();
            EXPECT_EQ(dialog->UpperText().utf8_string(), c.upper);
            EXPECT_EQ(dialog->LowerText().utf8_string(), c.lower);
            ASSERT_NE(dialog->Button(app::kIdOk), nullptr);
            EXPECT_TRUE(dialog->Button(app::kIdOk)->IsShown());
            if (c.no_id == 0) {
                EXPECT_FALSE(dialog->Button(app::kIdCancel)->IsShown()) << "Cancel is hidden";
            }
            const int result = RunModal(*dialog, [&](wxDialog& open) { Give(open, answer, c.no_id); });
            EXPECT_EQ(result, expected);
            dialog->Destroy();
        }
    }
}

// The same answers through the X server's keyboard.
TEST(MessageDialogs, RealKeyPresses) {
    auto& app = App();
    app.m_strMessageText = u"Exit Brindlemoor ?";
    app.m_strMessageTitle.clear();
    for (const auto& [key, expected] : {std::pair{WXK_ESCAPE, app::kIdCancel}, std::pair{WXK_RETURN, app::kIdOk}}) {
        SCOPED_TRACE(key);
        CMyExitStopDialog dialog(nullptr, app);
        const int result = RunModal(dialog, [key = key](wxDialog& open) {
            wxUIActionSimulator keyboard;
            // Without a window manager the keyboard follows the pointer.
            keyboard.MouseMove(open.GetScreenRect().GetPosition() + wxPoint(60, 60));
            Pump(100);
            keyboard.Char(key);
        }, 10000);
        EXPECT_EQ(result, expected);
    }
}

TEST(MessageDialogs, FieldsAreCopiedOnceAndAnEmptyFieldShowsEmpty) {
    auto& app = App();
    app.m_strMessageText = u"Only one line.";
    app.m_strMessageTitle.clear();
    CMyMessageDialog dialog(nullptr, app);
    app.m_strMessageText = u"changed later";
    EXPECT_EQ(dialog.UpperText(), "Only one line.");
    EXPECT_EQ(dialog.LowerText(), "");
}

TEST(MessageDialogs, Screenshots) {
    auto& app = App();
    app.m_strMessageText = u"Do you want to stop the current process ?";
    app.m_strMessageTitle = u"This process can not be resumed from current state and has to be restarted.";
    {
        CMyExitStopDialog question(nullptr, app);
        question.Show();
        EXPECT_FALSE(SaveScreenshot(question, "message_dialog_question").empty());
        question.Hide();
    }
    app.m_strMessageTitle = u"Can not exit!";
    app.m_strMessageText = u"Please first stop the current process before existing Brindlemoor.";
    CMessageDialog2 message(nullptr, app);
    message.Show();
    EXPECT_FALSE(SaveScreenshot(message, "message_dialog_refusal").empty());
    message.Hide();
}

// A job thread asks for a message: the dialog opens on the user-interface thread while the job waits, and
// the job goes on once it is closed.
TEST(MessageDialogs, AskedFromAWorkerThreadDoesNotDeadlock) {
    auto& app = App();
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        app.m_prompts.ShowMessage(u"Unable to open the file.", u"The database is in use.");
        returned = true;
    });
    wxString seen;
    WhenModalOpens<CMyMessageDialog>([&](CMyMessageDialog& dialog) {
        seen = dialog.UpperText();
        PressKey(dialog, WXK_RETURN);
    });
    const bool done = WaitUntil([&] { return returned.load(); }, 10000);
    if (!done) app.m_bridge.Close();  // let the worker go so the test can end
    worker.join();
    EXPECT_TRUE(done);
    EXPECT_EQ(seen, "The database is in use.");
    // The bridge also carries messages sent from many threads at once, each handled before its send returns.
    int handled = 0;
    app.m_bridge.SetHandler([&](unsigned, platform::WPARAM, platform::LPARAM) { ++handled; });
    std::vector<std::thread> senders;
    std::atomic<int> sent{0};
    for (int t = 0; t < 4; ++t) {
        senders.emplace_back([&] {
            for (int i = 0; i < 50; ++i) {
                app.m_bridge.Send(platform::WM_LOG_LINE, 0, 0);
                ++sent;
            }
        });
    }
    EXPECT_TRUE(WaitUntil([&] { return sent.load() == 200; }, 10000));
    for (auto& s : senders) s.join();
    EXPECT_EQ(handled, 200);
    app.m_bridge.SetHandler({});
}

TEST(LogWindow, RunningLogViewerClearAndScreenshot) {
    auto& app = App();
    app::SetLogText(app, {});
    app.m_strLogHeader.clear();
    ui::CLogDialog running(nullptr, app, app);
    EXPECT_EQ(running.EditText(), app::LogHeader());
    EXPECT_FALSE(running.FindWindow(app::kIdSaveLog)->IsEnabled());

    for (const char16_t* line : {u"File selected for repair  : /data/WSS_Content.mdf", u"Total Tables  :  12",
                                 u"Scanning completed."}) {
        app.m_strLogLine = line;
        running.AppendCurrentLine(false);
    }
    EXPECT_EQ(app::GetLogText(app),
              app::LogHeader() + u"\r\nFile selected for repair  : /data/WSS_Content.mdf\r\nTotal Tables  :  12");

    ui::CLogDialog viewer(nullptr, app, app);
    EXPECT_TRUE(viewer.FindWindow(app::kIdClearLog)->IsEnabled());
    viewer.Show();
    EXPECT_FALSE(SaveScreenshot(viewer, "log_window").empty());
    viewer.OnClearLog();
    EXPECT_EQ(viewer.EditText(), app::LogHeader());
    EXPECT_EQ(app::GetLogText(app), app::kLogTitle);
    EXPECT_FALSE(viewer.FindWindow(app::kIdClearLog)->IsEnabled());
    viewer.Hide();
}

TEST(LogWindow, SaveAsksBeforeOverwriting) {
    auto& app = App();
    app::SetLogText(app, {});
    ui::CLogDialog viewer(nullptr, app, app);
    testsupport::TempDir dir;
    { std::ofstream(dir.Path() / "Brindlemoor.log") << "old"; }
    int picks = 0;
    viewer.pick_folder = [&]() -> std::optional<std::filesystem::path> {
        return ++picks <= 2 ? std::optional(dir.Path()) : std::nullopt;
    };
    // First question: No (picks again); second: Yes.
    int questions = 0;
    std::function<void(CFileExist&)> answer = [&](CFileExist& dialog) {
        ++questions;
        if (questions == 1) {
            PressKey(dialog, WXK_ESCAPE);
            WhenModalOpens<CFileExist>(answer);
        } else {
            PressKey(dialog, WXK_RETURN);
        }
    };
    WhenModalOpens<CFileExist>(answer);
    viewer.OnSaveLog();
    EXPECT_EQ(questions, 2);
    std::ifstream in(dir.Path() / "Brindlemoor.log", std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(bytes[0], ' ');
    EXPECT_EQ(bytes[1], 0);
    EXPECT_EQ(bytes.size(), app::LogHeader().size() * 2);
}

TEST(LogWindow, AFailedSaveIsShown) {
    auto& app = App();
    ui::CLogDialog viewer(nullptr, app, app);
    testsupport::TempDir dir;
    std::filesystem::create_directory(dir.Path() / "Brindlemoor.log");  // cannot be opened as a file
    viewer.pick_folder = [&]() -> std::optional<std::filesystem::path> { return dir.Path(); };
    wxString shown;
    WhenModalOpens<CFileExist>([](CFileExist& dialog) { PressKey(dialog, WXK_RETURN); });
    WhenModalOpens<CMyMessageDialog>([&](CMyMessageDialog& dialog) {
        shown = dialog.UpperText();
        PressKey(dialog, WXK_RETURN);
    });
    viewer.OnSaveLog();
    EXPECT_TRUE(shown.Contains("Brindlemoor.log")) << shown;
}

}  // namespace
