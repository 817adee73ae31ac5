// Log append rules and the guarded log copy.
#include "app/log_text.h"

#include <mutex>

#include "app/app_fields.h"
#include "platform/shared_state.h"

namespace app {

std::u16string LogHeader() {
    std::u16string header(kLogTitle);
    header += u"\r\n";
    header += kLogSeparator;
    return header;
}

std::u16string LogEdit::AppendLine(std::u16string_view line, bool no_break) {
    std::u16string before = text_;
    std::u16string added;
    if (!no_break) added = u"\r\n";
    added += line;
    if (added.size() > kLogAppendAllowance) added.resize(kLogAppendAllowance);
    text_ += added;
    return before;
}

std::u16string LogEdit::Clear() {
    text_.clear();
    AppendLine(kLogTitle, true);
    std::u16string separator = u"\r\n";
    separator += kLogSeparator;
    return AppendLine(separator, true);
}

std::u16string GetLogText(const platform::SharedState& state) {
    std::lock_guard lock(state.m_logTextMutex);
    return state.m_strLogText;
}

void SetLogText(platform::SharedState& state, std::u16string text) {
    std::lock_guard lock(state.m_logTextMutex);
    state.m_strLogText = std::move(text);
}

void AppendToLogText(platform::SharedState& state, std::u16string_view text) {
    std::lock_guard lock(state.m_logTextMutex);
    state.m_strLogText += text;
}

std::u16string PrepareLogWindow(platform::SharedState& state, AppFields& fields, bool& buttons_enabled) {
    state.m_strLogLine = std::u16string(kLogTitle);
    std::u16string shown;
    {
        std::lock_guard lock(state.m_logTextMutex);
        if (state.m_strLogText.empty()) {
            state.m_strLogText = LogHeader();
            fields.m_strLogHeader = state.m_strLogText;
        }
        shown = state.m_strLogText;
    }
    buttons_enabled = shown != LogHeader() && shown != kLogTitle;
    return shown;
}

}  // namespace app
