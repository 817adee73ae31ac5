// The questions that a job asks the user while it runs. The window side opens modal dialogs on the UI thread;
// tests and tools answer from a script.
#pragma once

#include <optional>
#include <string>

namespace platform {

struct SharedState;

// What the server dialog of a repair collects.
struct ServerChoice {
    std::u16string server;             // host[\instance][,port]
    std::u16string login;              // SQL login; empty: integrated (Kerberos) security
    std::u16string password;           // held in memory for the job only, never written
    std::u16string failure_folder;     // local folder for the failure files of refused definitions
    bool failure_folder_chosen = false;  // picked with Browse (not the default)
    std::u16string data_folder;        // optional server-side folder for the new database's files
    bool have_database = false;        // embedded edition: the user created the database
    std::u16string embedded_database;  // embedded edition: its name
};

class IUserPrompts {
public:
    virtual ~IUserPrompts() = default;
    // The two-line message dialog with an OK button; returns when it is closed.
    virtual void ShowMessage(const std::u16string& title, const std::u16string& text) = 0;
    // The same dialog for a failure: it carries the error sign instead of the information sign.
    virtual void ShowError(const std::u16string& title, const std::u16string& text) { ShowMessage(title, text); }
    // The source-version dialog: the chosen entry writes the version pair and flags into state.
    // True for OK, false for Cancel.
    virtual bool SelectSourceVersion(SharedState& state) = 0;
    // The folder picker with its title; the chosen folder, or empty when the picker was cancelled.
    virtual std::u16string ChooseFolder(const std::u16string& title) { return {}; }
    // The edition dialog: sets embedded for the embedded edition. False when it was closed without OK.
    virtual bool AskServerEdition(bool& /*embedded*/) { return false; }
    // The server dialog, pre-filled from choice; false for Cancel.
    virtual bool AskServer(bool /*embedded*/, ServerChoice& /*choice*/) { return false; }
};

// Answers every question without a user: messages are kept, the version dialog is cancelled, the folder
// picker answers folder_answer.
class SilentPrompts final : public IUserPrompts {
public:
    void ShowMessage(const std::u16string& title, const std::u16string& text) override {
        last_title = title;
        last_text = text;
        last_was_error = false;
        ++message_count;
    }
    void ShowError(const std::u16string& title, const std::u16string& text) override {
        ShowMessage(title, text);
        last_was_error = true;
    }
    bool SelectSourceVersion(SharedState&) override {
        ++version_dialog_count;
        return false;
    }
    std::u16string ChooseFolder(const std::u16string&) override {
        ++folder_picker_count;
        return folder_answer;
    }
    bool AskServerEdition(bool& embedded) override {
        ++edition_dialog_count;
        if (!edition_answer) return false;
        embedded = *edition_answer;
        return true;
    }
    bool AskServer(bool, ServerChoice& choice) override {
        ++server_dialog_count;
        if (!server_answer) return false;
        choice = *server_answer;
        return true;
    }
    std::optional<bool> edition_answer;          // embedded or not; empty: the dialog is cancelled
    std::optional<ServerChoice> server_answer;   // empty: cancelled
    int edition_dialog_count = 0;
    int server_dialog_count = 0;
    std::u16string folder_answer;  // what the folder picker answers; empty: cancelled
    int folder_picker_count = 0;
    std::u16string last_title, last_text;
    int message_count = 0;
    bool last_was_error = false;  // the last message was shown as a failure
    int version_dialog_count = 0;
};

}  // namespace platform
