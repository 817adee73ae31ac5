// Stopping and joining the dialog's workers.
#include "ui/worker_threads.h"

#include <wx/app.h>

#include <chrono>
#include <thread>

#include "app/app_fields.h"
#include "platform/shared_state.h"

namespace ui {

void WorkerThreads::PumpUntil(const std::function<bool()>& done) {
    while (!done()) {
        if (wxTheApp != nullptr) {
            wxTheApp->ProcessPendingEvents();
            wxTheApp->Yield(true);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

WorkerThreads::~WorkerThreads() {
    if (state != nullptr) {
        if (recover && recover->IsRunning()) state->m_bStopJob = true;
        if (find && find->IsRunning()) state->m_bStopSearch = true;
    }
    PumpUntil([this] { return !(recover && recover->IsRunning()) && !(find && find->IsRunning()); });
    if (recover) recover->Join();
    if (find) find->Join();
    if (fields != nullptr) {
        app::CRecoverThread* job = recover.get();
        fields->m_pRecoverThread.compare_exchange_strong(job, nullptr);
        app::FindThread* search = find.get();
        fields->m_pFindThread.compare_exchange_strong(search, nullptr);
    }
}

}  // namespace ui
