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

void LogEdit::SetText(std::u16string text) {
    text_ = std::move(text);
    has_copy_ = false;
}

std::size_t LogEdit::Append(std::u16string_view line, bool no_break) {
    const std::size_t before_size = text_.size();
    const std::size_t room = no_break ? kLogAppendAllowance : kLogAppendAllowance - 2;
    if (!no_break) text_ += u"\r\n";
    text_ += line.substr(0, room);
    return before_size;
}

std::u16string LogEdit::AppendLine(std::u16string_view line, bool no_break) {
    return text_.substr(0, Append(line, no_break));
}

void LogEdit::AppendLine(platform::SharedState& state, std::u16string_view line, bool no_break) {
    const std::size_t before_size = Append(line, no_break);
    const std::u16string_view before = std::u16string_view(text_).substr(0, before_size);
    std::lock_guard lock(state.m_logTextMutex);
    std::u16string& copy = state.m_strLogText;
    if (has_copy_ && state.m_nLogTextReplacements == copy_replacements_ && copy.size() >= copy_size_) {
        copy.resize(copy_size_);
        copy.append(before.substr(copy_size_));
    } else {
        copy.assign(before);
    }
    ++state.m_nLogTextReplacements;
    has_copy_ = true;
    copy_size_ = before.size();
    copy_replacements_ = state.m_nLogTextReplacements;
}

std::u16string LogEdit::Clear() {
    SetText({});
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
    ++state.m_nLogTextReplacements;
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
            ++state.m_nLogTextReplacements;
            fields.m_strLogHeader = state.m_strLogText;
        }
        shown = state.m_strLogText;
    }
    buttons_enabled = shown != LogHeader() && shown != kLogTitle;
    return shown;
}

}  // namespace app
