// The one road from worker threads to the windows: a worker's Send runs the main dialog's handler on the
// user-interface thread and returns when it has run; Post queues it and returns at once; Invoke runs any
// piece of window code (a modal dialog a job asks for) on the user-interface thread and waits for it.
// On the user-interface thread itself every call runs directly.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/messages.h"

namespace ui {

class UiBridge final : public platform::IMessageSink {
public:
    using Handler = std::function<void(unsigned message, platform::WPARAM, platform::LPARAM)>;

    // The receiver of the worker messages (the main dialog); empty detaches it. User-interface thread only.
    void SetHandler(Handler handler);

    void Send(unsigned message, platform::WPARAM wparam, platform::LPARAM lparam) override;
    void Post(unsigned message, platform::WPARAM wparam, platform::LPARAM lparam) override;
    void Invoke(const std::function<void()>& work);

    // Tests: runs on the sending worker thread before each Send from a worker is handed over, so a test can hold
    // a job at a given message (the N-th document's count) while it acts in the window. Set while no worker runs.
    Handler before_worker_send;

    // No more deliveries: waiting workers return, later calls do nothing. For the end of the program.
    void Close();
    bool IsClosed() const;

private:
    struct Call;
    void Deliver(unsigned message, platform::WPARAM wparam, platform::LPARAM lparam);

    Handler handler_;
    mutable std::mutex mutex_;
    std::condition_variable done_;
    bool closed_ = false;
};

}  // namespace ui
