// The questions a job asks while it runs, answered by modal dialogs that the bridge opens on the
// user-interface thread while the job waits.
#pragma once

#include <functional>

#include "platform/user_prompts.h"

namespace ui {

class UiBridge;

class WxUserPrompts final : public platform::IUserPrompts {
public:
    WxUserPrompts(UiBridge& bridge, platform::SharedState& state) : bridge_(bridge), state_(state) {}

    void ShowMessage(const std::u16string& title, const std::u16string& text) override;
    void ShowError(const std::u16string& title, const std::u16string& text) override;
    bool SelectSourceVersion(platform::SharedState& state) override;
    // The folder picker; `choose_folder`, when set, answers in its place (tests).
    std::u16string ChooseFolder(const std::u16string& title) override;
    std::function<std::u16string(const std::u16string& title)> choose_folder;
    // The edition and server dialogs, modal on the user-interface thread.
    bool AskServerEdition(bool& embedded) override;
    bool AskServer(bool embedded, platform::ServerChoice& choice) override;

private:
    UiBridge& bridge_;
    platform::SharedState& state_;
};

}  // namespace ui
