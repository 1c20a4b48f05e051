// Manual-reset events: what trap reception signals when traps wait.
#pragma once

#include <cstdint>

struct PlatformEvent;

// What a wait ends with (the numbers are Windows' own).
enum : uint32_t {
    kEventSet = 0,
    kEventTimedOut = 258,
    kEventWaitFailed = 0xFFFFFFFF,
};

// A manual-reset event: set stays set until reset.
PlatformEvent* CreatePlatformEvent();
void DestroyPlatformEvent(PlatformEvent* event);
int SetEvent(PlatformEvent* event);
int ResetEvent(PlatformEvent* event);
// Sleeps in the kernel until the event is set or the time is up.
uint32_t WaitForSingleObject(PlatformEvent* event, uint32_t milliseconds);
