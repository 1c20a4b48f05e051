// Manual-reset events: a flag under a mutex, and a condition variable that the
// waiters sleep on in the kernel until the flag is set or their time is up.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>

#include "os/event_reset_guard.h"
#include "values/last_error.h"

struct PlatformEvent {
    std::mutex lock;
    std::condition_variable changed;
    bool set = false;
    EventStillSetCheck stillSet = nullptr;
};

PlatformEvent* CreatePlatformEvent()
{
    PlatformEvent* event = new (std::nothrow) PlatformEvent;
    if (event == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    }
    return event;
}

void DestroyPlatformEvent(PlatformEvent* event)
{
    delete event;
}

void SetEventResetGuard(PlatformEvent* event, EventStillSetCheck check)
{
    if (event == nullptr) {
        return;
    }
    std::lock_guard<std::mutex> hold(event->lock);
    event->stillSet = check;
}

int SetEvent(PlatformEvent* event)
{
    if (event == nullptr) {
        SetLastError(ERROR_BAD_ARGUMENT);
        return 0;
    }
    {
        std::lock_guard<std::mutex> hold(event->lock);
        event->set = true;
    }
    event->changed.notify_all();
    return 1;
}

int ResetEvent(PlatformEvent* event)
{
    if (event == nullptr) {
        SetLastError(ERROR_BAD_ARGUMENT);
        return 0;
    }
    std::lock_guard<std::mutex> hold(event->lock);
    // The guard is asked under the event's lock: whoever makes the condition
    // true sets the event afterwards, so either the guard sees it here or the
    // set comes after this reset. No wake-up is lost either way.
    event->set = event->stillSet != nullptr && event->stillSet();
    return 1;
}

uint32_t WaitForSingleObject(PlatformEvent* event, uint32_t milliseconds)
{
    if (event == nullptr) {
        SetLastError(ERROR_BAD_ARGUMENT);
        return kEventWaitFailed;
    }
    std::unique_lock<std::mutex> hold(event->lock);
    const bool signalled = event->changed.wait_for(hold, std::chrono::milliseconds(milliseconds),
                                                   [event] { return event->set; });
    return signalled ? kEventSet : kEventTimedOut;
}
