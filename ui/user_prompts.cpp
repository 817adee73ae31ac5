// Job questions as modal dialogs on the user-interface thread.
#include "ui/user_prompts.h"

#include "platform/shared_state.h"
#include "ui/message_dialogs.h"
#include "ui/ui_bridge.h"

namespace ui {

void WxUserPrompts::ShowMessage(const std::u16string& title, const std::u16string& text) {
    bridge_.Invoke([&] {
        state_.m_strMessageTitle = title;
        state_.m_strMessageText = text;
        CMyMessageDialog(nullptr, state_).ShowModal();
    });
}

bool WxUserPrompts::SelectSourceVersion(platform::SharedState&) {
    // The source-version dialog comes with the repair setup dialogs; until then the question is cancelled.
    return false;
}

}  // namespace ui
