// A hold on the running job while the user is asked whether to stop it: the job's threads wait at their next
// stop check (and a save's writers before their next document) until the question is answered, so nothing more
// is read, written or named while the user decides, and the answer meets the job where it was asked.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace platform {

class JobPause {
public:
    // The window, before it asks.
    void Hold() {
        std::lock_guard lock(mutex_);
        held_.store(true);
    }
    // The window, once the question is answered (whatever the answer).
    void Release() {
        {
            std::lock_guard lock(mutex_);
            held_.store(false);
        }
        released_.notify_all();
    }
    bool Held() const { return held_.load(std::memory_order_relaxed); }
    // A job's thread: returns at once when nothing holds the job, else when the hold ends.
    void WaitWhileHeld() {
        if (!held_.load(std::memory_order_relaxed)) return;
        std::unique_lock lock(mutex_);
        ++waiting_;
        released_.wait(lock, [this] { return !held_.load(); });
        --waiting_;
    }
    // How many threads wait in WaitWhileHeld now.
    int Waiting() const {
        std::lock_guard lock(mutex_);
        return waiting_;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable released_;
    std::atomic<bool> held_{false};
    int waiting_ = 0;
};

// Holds the job for its lifetime.
class JobPauseHold {
public:
    explicit JobPauseHold(JobPause& pause) : pause_(pause) { pause_.Hold(); }
    ~JobPauseHold() { pause_.Release(); }
    JobPauseHold(const JobPauseHold&) = delete;
    JobPauseHold& operator=(const JobPauseHold&) = delete;

private:
    JobPause& pause_;
};

}  // namespace platform
