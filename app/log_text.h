// The log's text rules: the header, how a line is appended to a log window's edit box (and what the
// application's copy of the log becomes), Clear Log, and the guarded access to that copy, which the
// user-interface thread and the job thread both write.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {
struct SharedState;
}

namespace app {

struct AppFields;

inline constexpr std::u16string_view kLogTitle = u" Log Report - Brindlemoor.";
inline constexpr std::u16string_view kLogSeparator = u"--------------------------------------------------------------";
// Title, line break, separator.
std::u16string LogHeader();

// Each append may add this many characters, its leading line break included.
constexpr std::size_t kLogAppendAllowance = 500;

// The text of one log window's edit box, with the box's character limit.
class LogEdit {
public:
    const std::u16string& Text() const { return text_; }
    // Replaces the text; the next append takes the application's copy afresh.
    void SetText(std::u16string text);

    // Appends `line` at the end, after a line break unless `no_break`. The limit is raised to the present
    // length plus the allowance first, so a longer line is cut. Returns the text as it was before the append:
    // the application keeps that as its copy of the log.
    std::u16string AppendLine(std::u16string_view line, bool no_break);

    // The same, and the application's copy (state.m_strLogText) becomes the text before this line. The copy
    // lags the box by one line, so normally only the line before this one is added to it: the time is that of
    // the lines, not of the log's length. What the job thread appended to the copy since this box's last
    // append is dropped (the copy is the box's text); a copy that another window replaced is taken afresh.
    void AppendLine(platform::SharedState& state, std::u16string_view line, bool no_break);

    // Clear Log: the box holds exactly the header again; returns the application's new copy (the title line).
    std::u16string Clear();

private:
    // Appends and returns the length of the text before.
    std::size_t Append(std::u16string_view line, bool no_break);

    std::u16string text_;
    // What this box last made of the application's copy: its length, and the state's replacement count
    // just after; has_copy_ is false until the first append after SetText.
    bool has_copy_ = false;
    std::size_t copy_size_ = 0;
    std::uint64_t copy_replacements_ = 0;
};

// Guarded reads and writes of the application's copy of the log (SharedState::m_strLogText).
std::u16string GetLogText(const platform::SharedState& state);
void SetLogText(platform::SharedState& state, std::u16string text);
void AppendToLogText(platform::SharedState& state, std::u16string_view text);

// Set-up of a log window (the running one at start-up and each viewer): sets the current log line to the
// title, builds the header into the log copy when it is empty (and keeps it in m_strLogHeader), and returns
// the text the window shows. `buttons_enabled` tells whether Clear Log and Save Log start enabled: not when the
// log holds only the header or only the title line.
std::u16string PrepareLogWindow(platform::SharedState& state, AppFields& fields, bool& buttons_enabled);

}  // namespace app
