#include "WorkerThread.h"

#include <objbase.h>

namespace Quivane {
namespace {

bool InSingleThreadedApartment() {
    APTTYPE type = APTTYPE_CURRENT;
    APTTYPEQUALIFIER qualifier = APTTYPEQUALIFIER_NONE;
    return SUCCEEDED(CoGetApartmentType(&type, &qualifier)) && (type == APTTYPE_STA || type == APTTYPE_MAINSTA);
}

// Waits for `done`, delivering the messages other threads send to this one's windows.
bool WaitServingSentMessages(HANDLE done, DWORD patienceMs) {
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        const ULONGLONG spent = GetTickCount64() - start;
        DWORD left = INFINITE;
        if (patienceMs != INFINITE) left = spent >= patienceMs ? 0 : static_cast<DWORD>(patienceMs - spent);
        const DWORD woken = MsgWaitForMultipleObjects(1, &done, FALSE, left, QS_SENDMESSAGE);
        if (woken == WAIT_OBJECT_0) return true;
        if (woken != WAIT_OBJECT_0 + 1) return false;
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE); // delivers what was sent
    }
}

} // namespace

bool WorkerThread::Running() const { return done_ && WaitForSingleObject(done_->Get(), 0) != WAIT_OBJECT_0; }

bool WorkerThread::Wait(DWORD patienceMs) {
    if (!thread_.joinable()) return true;
    HANDLE done = done_->Get();
    bool finished = false;
    if (InSingleThreadedApartment()) {
        // COM's modal loop: calls into this apartment, and sent messages, are served.
        DWORD index = 0;
        finished = SUCCEEDED(CoWaitForMultipleHandles(0, patienceMs, 1, &done, &index)) &&
                   WaitForSingleObject(done, 0) == WAIT_OBJECT_0;
    } else {
        finished = WaitServingSentMessages(done, patienceMs);
    }
    if (finished) thread_.join();
    return finished;
}

void WorkerThread::Join() {
    if (thread_.joinable()) thread_.join();
}

void WorkerThread::LetGo() {
    if (!thread_.joinable()) return;
    if (!Running()) {
        thread_.join();
        return;
    }
    // Its code must stay mapped until it returns, after the last lock it holds.
    PinThisModule();
    thread_.detach();
    done_.reset(); // the thread keeps its own; this worker may start another
}

} // namespace Quivane
