// The questions that a job asks the user while it runs. The window side opens modal dialogs on the UI thread;
// tests and tools answer from a script.
#pragma once

#include <string>

namespace platform {

struct SharedState;

class IUserPrompts {
public:
    virtual ~IUserPrompts() = default;
    // The two-line message dialog with an OK button; returns when it is closed.
    virtual void ShowMessage(const std::u16string& title, const std::u16string& text) = 0;
    // The source-version dialog: the chosen entry writes the version pair and flags into state.
    // True for OK, false for Cancel.
    virtual bool SelectSourceVersion(SharedState& state) = 0;
    // The folder picker with its title; the chosen folder, or empty when the picker was cancelled.
    virtual std::u16string ChooseFolder(const std::u16string& title) { return {}; }
};

// Answers every question without a user: messages are kept, the version dialog is cancelled, the folder
// picker answers folder_answer.
class SilentPrompts final : public IUserPrompts {
public:
    void ShowMessage(const std::u16string& title, const std::u16string& text) override {
        last_title = title;
        last_text = text;
        ++message_count;
    }
    bool SelectSourceVersion(SharedState&) override {
        ++version_dialog_count;
        return false;
    }
    std::u16string ChooseFolder(const std::u16string&) override {
        ++folder_picker_count;
        return folder_answer;
    }
    std::u16string folder_answer;  // what the folder picker answers; empty: cancelled
    int folder_picker_count = 0;
    std::u16string last_title, last_text;
    int message_count = 0;
    int version_dialog_count = 0;
};

}  // namespace platform
