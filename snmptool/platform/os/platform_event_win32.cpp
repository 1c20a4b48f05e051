// Manual-reset events on Windows: a system event object, waited on and reset
// by the system's calls.
#include <windows.h>

#include <atomic>
#include <new>

#include "os/event_reset_guard.h"
#include "values/last_error.h"

struct PlatformEvent {
    HANDLE handle = nullptr;
    std::atomic<EventStillSetCheck> stillSet{nullptr};
};

PlatformEvent* CreatePlatformEvent()
{
    PlatformEvent* event = new (std::nothrow) PlatformEvent;
    if (event == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    event->handle = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (event->handle == nullptr) {
        // The system's code stays the layer's: nothing after it sets another.
        delete event;
        return nullptr;
    }
    return event;
}

void DestroyPlatformEvent(PlatformEvent* event)
{
    if (event != nullptr) {
        CloseHandle(event->handle);
        delete event;
    }
}

void SetEventResetGuard(PlatformEvent* event, EventStillSetCheck check)
{
    if (event != nullptr) {
        event->stillSet.store(check);
    }
}

int SetEvent(PlatformEvent* event)
{
    if (event == nullptr) {
        SetLastError(ERROR_BAD_ARGUMENT);
        return 0;
    }
    return ::SetEvent(event->handle) ? 1 : 0;
}

int ResetEvent(PlatformEvent* event)
{
    if (event == nullptr) {
        SetLastError(ERROR_BAD_ARGUMENT);
        return 0;
    }
    if (!::ResetEvent(event->handle)) {
        return 0;
    }
    // Asked after the reset: whoever makes the condition true sets the event
    // afterwards, so either it is seen here or its set comes after the reset.
    const EventStillSetCheck check = event->stillSet.load();
    if (check != nullptr && check()) {
        ::SetEvent(event->handle);
    }
    return 1;
}

uint32_t WaitForSingleObject(PlatformEvent* event, uint32_t milliseconds)
{
    if (event == nullptr) {
        SetLastError(ERROR_BAD_ARGUMENT);
        return kEventWaitFailed;
    }
    const DWORD result = ::WaitForSingleObject(event->handle, milliseconds);
    if (result == WAIT_OBJECT_0) {
        return kEventSet;
    }
    if (result == WAIT_TIMEOUT) {
        return kEventTimedOut;
    }
    return kEventWaitFailed;
}
