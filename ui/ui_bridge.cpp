// Cross-thread delivery through the application's queue of deferred calls.
#include "ui/ui_bridge.h"

#include <wx/app.h>
#include <wx/thread.h>

namespace ui {

struct UiBridge::Call {
    std::function<void()> work;
    bool done = false;
};

void UiBridge::SetHandler(Handler handler) { handler_ = std::move(handler); }

void UiBridge::Deliver(unsigned message, platform::WPARAM wparam, platform::LPARAM lparam) {
    if (handler_) handler_(message, wparam, lparam);
}

void UiBridge::Send(unsigned message, platform::WPARAM wparam, platform::LPARAM lparam) {
    if (before_worker_send && !wxThread::IsMain()) before_worker_send(message, wparam, lparam);
    Invoke([this, message, wparam, lparam] { Deliver(message, wparam, lparam); });
}

void UiBridge::Post(unsigned message, platform::WPARAM wparam, platform::LPARAM lparam) {
    if (IsClosed() || wxTheApp == nullptr) return;
    wxTheApp->CallAfter([this, message, wparam, lparam] {
        if (!IsClosed()) Deliver(message, wparam, lparam);
    });
}

void UiBridge::Invoke(const std::function<void()>& work) {
    if (wxThread::IsMain()) {
        if (!IsClosed()) work();
        return;
    }
    if (IsClosed() || wxTheApp == nullptr) return;
    auto call = std::make_shared<Call>();
    call->work = work;
    wxTheApp->CallAfter([this, call] {
        if (!IsClosed()) call->work();
        {
            std::lock_guard lock(mutex_);
            call->done = true;
        }
        done_.notify_all();
    });
    std::unique_lock lock(mutex_);
    done_.wait(lock, [&] { return call->done || closed_; });
}

void UiBridge::Close() {
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
    }
    done_.notify_all();
}

bool UiBridge::IsClosed() const {
    std::lock_guard lock(mutex_);
    return closed_;
}

}  // namespace ui
