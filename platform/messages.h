// The messages that worker threads send to the main dialog, and the sink they go through. The engine only
// knows this interface; the window side implements it on the UI thread, tests record the calls.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace platform {

using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;

constexpr unsigned WM_USER = 0x0400;
constexpr unsigned WM_FOUND_FILES = WM_USER + 101;
constexpr unsigned WM_SEARCH_DONE = WM_USER + 102;
constexpr unsigned WM_JOB_PROGRESS = WM_USER + 103;
constexpr unsigned WM_JOB_ENDED = WM_USER + 104;
constexpr unsigned WM_SCAN_DONE = WM_USER + 105;
constexpr unsigned WM_TABLE_ROW = WM_USER + 106;
constexpr unsigned WM_DOCUMENT_ROW = WM_USER + 107;
constexpr unsigned WM_LOG_LINE = WM_USER + 108;
constexpr unsigned WM_RECORD_COUNT = WM_USER + 110;
constexpr unsigned WM_TABLE_DONE = WM_USER + 111;
constexpr unsigned WM_FILE_IN_USE = WM_USER + 113;

// Stage codes of WM_JOB_PROGRESS.
constexpr WPARAM kProgressStart = 1;
constexpr WPARAM kProgressStep = 2;
constexpr WPARAM kProgressEnd = 3;
constexpr WPARAM kProgressRange = 4;
// n units of the current pass are done (n counted from the pass's start): a sender that reports seldom tells
// the window where it is, so the bar is right however few messages it sends.
constexpr WPARAM kProgressAt = 5;
// The step of the job that the passes from here on belong to (lParam: a ProgressTitle), so the window can say
// under its bar what the job is doing and how far it is.
constexpr WPARAM kProgressTitle = 6;
enum ProgressTitle : LPARAM {
    kTitleNone = 0,
    kTitleReadingPages = 1,     // the page scan and the catalogue
    kTitleListingDamage = 2,    // the damaged and missing pages, one log line each
    kTitleReadingRecords = 3,   // the records of the SharePoint tables
};

class IMessageSink {
public:
    virtual ~IMessageSink() = default;
    // Returns once the receiver has handled the message.
    virtual void Send(unsigned message, WPARAM wparam, LPARAM lparam) = 0;
    // Queues the message and returns at once.
    virtual void Post(unsigned message, WPARAM wparam, LPARAM lparam) = 0;
};

struct RecordedMessage {
    unsigned message = 0;
    WPARAM wparam = 0;
    LPARAM lparam = 0;
    bool posted = false;
    bool operator==(const RecordedMessage&) const = default;
};

// Keeps every message in order; an optional hook runs on each Send, as a receiver's handler would.
class RecordingSink final : public IMessageSink {
public:
    void Send(unsigned message, WPARAM wparam, LPARAM lparam) override {
        {
            std::lock_guard lock(mutex_);
            messages_.push_back({message, wparam, lparam, false});
        }
        if (on_send) on_send(message, wparam, lparam);
    }
    void Post(unsigned message, WPARAM wparam, LPARAM lparam) override {
        std::lock_guard lock(mutex_);
        messages_.push_back({message, wparam, lparam, true});
    }
    std::vector<RecordedMessage> Messages() const {
        std::lock_guard lock(mutex_);
        return messages_;
    }
    std::size_t Count(unsigned message) const {
        std::lock_guard lock(mutex_);
        std::size_t n = 0;
        for (const auto& m : messages_) n += m.message == message ? 1 : 0;
        return n;
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        messages_.clear();
    }

    std::function<void(unsigned, WPARAM, LPARAM)> on_send;

private:
    mutable std::mutex mutex_;
    std::vector<RecordedMessage> messages_;
};

// Swallows everything; for tools that run an engine without a window.
class NullSink final : public IMessageSink {
public:
    void Send(unsigned, WPARAM, LPARAM) override {}
    void Post(unsigned, WPARAM, LPARAM) override {}
};

}  // namespace platform
