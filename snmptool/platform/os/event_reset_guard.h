// A condition that keeps an event set: the trap receiver uses it so that the
// tool's reset after draining cannot clear the event while a trap that came in
// after the last fetch still waits (that trap would otherwise wait for the next
// one to wake the tool).
#pragma once

#include "os/platform_event.h"

// Called by ResetEvent with the event's lock held: true keeps the event set.
// It must not set or reset the event itself.
using EventStillSetCheck = bool (*)();

// Installs `check` (or removes it, when null) on the event.
void SetEventResetGuard(PlatformEvent* event, EventStillSetCheck check);
