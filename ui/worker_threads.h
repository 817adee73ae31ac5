// The main dialog's two worker threads (the job and the search) and their end: when the dialog goes, both
// are asked to stop and the application's pending calls keep being handled (a worker may wait on one) until
// both have ended and are joined. A worker is never left running on a window that no longer exists.
#pragma once

#include <functional>
#include <memory>

#include "app/file_search.h"
#include "app/recover_thread.h"

namespace platform {
struct SharedState;
}

namespace ui {

class WorkerThreads {
public:
    WorkerThreads() = default;
    ~WorkerThreads();
    WorkerThreads(const WorkerThreads&) = delete;
    WorkerThreads& operator=(const WorkerThreads&) = delete;

    // Handles the application's events until `done` holds (the user-interface thread waits for a worker
    // this way, so the worker's sent messages are still handled).
    static void PumpUntil(const std::function<bool()>& done);

    std::unique_ptr<app::CRecoverThread> recover;
    std::unique_ptr<app::FindThread> find;

    // The state whose stop flags the end sets; set before the first worker starts.
    platform::SharedState* state = nullptr;
    // The fields that register the running workers; cleared when they still name ours.
    app::AppFields* fields = nullptr;
};

}  // namespace ui
